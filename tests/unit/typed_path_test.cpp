#include "convert/typed_path.h"

#include <gtest/gtest.h>

namespace {

TEST(CleanTypedPath, TakesOffWhatPastingPutsAroundAPathAndNothingWithin) {
  const struct {
    const char* typed;
    const char* cleaned;
  } cases[] = {
      {"\"D:\\视频\\vodcache\"", "D:\\视频\\vodcache"},
      {" \tD:\\vcache \t", "D:\\vcache"},
      {"D:\\vcache\r\n", "D:\\vcache"},
      {"\xE3\x80\x80"
       "D:\\视频\xE3\x80\x80 ",
       "D:\\视频"},
      {" \"D:\\vcache \" ", "D:\\vcache"},
      {"D:/vcache/7f3a", "D:\\vcache\\7f3a"},
      {"//server/share", "\\\\server\\share"},
      {"D:\\a b\\c\xE3\x80\x80"
       "d",
       "D:\\a b\\c\xE3\x80\x80"
       "d"},
      {"\"\"D:\\x\"\"", "\"D:\\x\""},
      {"\"D:\\x", "\"D:\\x"},
      {"D:\\x\"", "D:\\x\""},
      {"\"", "\""},
      {"\"\"", ""},
      {" \r\n\t", ""},
  };
  for (const auto& each : cases) EXPECT_EQ(convert::CleanTypedPath(each.typed), each.cleaned) << each.typed;
}

}  // namespace
