#include "convert/merge_script.h"

#include "convert/fragment_order.h"
#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// A join longer than a line goes on over appending copies of at most the limit's
// length, counted after quoting; only a name longer than a line cannot be written.
TEST(MergeScriptLines, ALongJoinIsCutIntoAppendingCopiesNoLongerThanTheLimit) {
  const std::string start = "if not errorlevel 1 copy /Y /B ";
  const std::string append = start + "\"C:\\t\\Fok.tmp\"+";
  const std::string end = " \"C:\\t\\Fok.tmp\" >nul";
  const std::string rename = "if not errorlevel 1 move /Y \"C:\\t\\Fok.tmp\" \"C:\\t\\S.mp4\" >nul";
  const std::size_t oneName = (start + "\"1%%\"" + end).size();
  const struct {
    Lines names;
    std::size_t limit;
    std::optional<Lines> copies;  // the lines between "pushd" and "popd"
  } cases[] = {
      {{"1%", "2"}, oneName + 4, Lines{start + "\"1%%\"+\"2\"" + end + " & " + rename}},
      {{"1%", "2", "3", "4", "5", "6", "7"},
       (append + "\"6\"+\"7\"" + end).size(),
       Lines{start + "\"1%%\"+\"2\"+\"3\"+\"4\"+\"5\"" + end, append + "\"6\"+\"7\"" + end, rename}},
      {{"1%"}, oneName - 1, std::nullopt},
      {{"1%", "2222222222222222222222222222222"}, oneName + 20, std::nullopt},
  };
  for (const auto& each : cases) {
    const auto lines = convert::MergeScriptLines("D:\\v\\", "C:\\t", "S.mp4", each.names, each.limit);
    ASSERT_EQ(lines.has_value(), each.copies.has_value()) << each.limit;
    if (!lines) continue;
    EXPECT_EQ(Lines(lines->begin() + 1, lines->end() - 2), *each.copies) << each.limit;
  }
}

TEST(NumericOrder, ReordersOnlyNamesThatDifferInOneRunOfDigits) {
  using Order = std::vector<std::size_t>;
  EXPECT_EQ(convert::NumericOrder({"v.321004.1.tdl", "v.321004.10.tdl", "v.321004.11.tdl", "v.321004.2.tdl"}),
            (Order{0, 3, 1, 2}));
  EXPECT_EQ(convert::NumericOrder({"a1b2.tdl", "a2b1.tdl"}), (Order{0, 1})) << "two runs differ";
}

TEST(MissingNumbers, CountsOneSegmentUnderTwoSpellingsOnce) {
  EXPECT_EQ(convert::MissingNumbers({"7.tdl", "007.tdl", "9.tdl"}), 1u);
}

TEST(PlanFragments, JoinsEveryTdlFileInNumericOrderAndNothingElse) {
  const auto file = [](std::string name, std::uint64_t size, std::string shortName = "") {
    return platform::DirectoryEntry{std::move(name), false, 0, size, std::move(shortName)};
  };
  const convert::FragmentPlan numbered =
      convert::PlanFragments({file("a.1.tdl", 1), file("a.10.tdl", 10), file("a.2.TDL", 2), file("a.txt", 100)});
  EXPECT_EQ(numbered.totalBytes, 13u);
  EXPECT_EQ(numbered.missingNumbers, 7u);
  ASSERT_EQ(numbered.fragments.size(), 3u);
  EXPECT_EQ(numbered.fragments[1].name, "a.2.TDL");

  const convert::FragmentPlan stray =
      convert::PlanFragments({file("b.tdl", 5), file("x.tdlx", 7, "X~1.TDL"), file("ytdl", 9)});
  ASSERT_EQ(stray.fragments.size(), 1u) << "x.tdlx is no fragment, whatever its short name";
  EXPECT_EQ(stray.totalBytes, 5u);
}

}  // namespace
