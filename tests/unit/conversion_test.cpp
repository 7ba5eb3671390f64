#include "convert/conversion.h"

#include "convert/cache_listing.h"
#include "convert/merge_script.h"
#include "convert/messages.h"
#include "convert/output_folder.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_remux.h"
#include "tests/fakes/fake_view.h"
#include <gtest/gtest.h>

namespace {

using fakes::FakePlatform;

const char* const kScript = "C:\\tools\\Fok.BAT";
const char* const kTemporary = "C:\\tools\\Fok.tmp";

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.addFile("D:\\vcache\\7f3a9c\\index.dat");
    platform.addFile("D:\\vcache\\7f3a9c\\001.tdl", "AB");
    platform.addFile("D:\\vcache\\a.b.cd\\x.tdl");
    platform.addFile("D:\\vcache\\upper\\a.TDL");
    platform.addFile("D:\\vcache\\upper\\b.Tdl");
    platform.addFolder("D:\\vcache\\empty\\inner");
    convert::ReadCacheFolder(platform, view, state, "D:\\vcache\\");
  }

  void convertEntry(int index) {
    view.selected = {index};
    convert::StartConversion(platform, view, state);
  }
  std::string script() const { return platform.bytesOf(kScript); }
  // The interpreter ends, having left these files; the program judges the end, says why there is no video if there
  // is none, then lets go of the lock.
  std::optional<std::string> endInterpreter() {
    convert::JoinEnd ended = convert::FinishJoin(platform, state);
    if (!ended.failure.empty()) platform.message(ended.failure);
    platform.releaseInterpreter();
    return ended.name;
  }

  FakePlatform platform;
  fakes::FakeView view;
  convert::CacheState state;
};

// Four lines where one copy holds the join; "popd" lets go of the drive letter that
// "pushd" gives a network folder before the script deletes itself.
TEST_F(ConversionTest, WritesTheScriptInTheInterpretersCodePageAndStartsTheInterpreterOnIt) {
  convertEntry(0);
  EXPECT_EQ(script(),
            "pushd \"D:\\vcache\\7f3a9c\\\"\r\nif not errorlevel 1 copy /Y /B \"001.tdl\" "
            "\"C:\\tools\\Fok.tmp\" >nul & if not errorlevel 1 move /Y \"C:\\tools\\Fok.tmp\" "
            "\"C:\\tools\\Shipin7f3a.mp4\" >nul\r\npopd\r\ndel \"C:\\tools\\Fok.BAT\"\r\n");
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].commandLine, "cmd /d /e:on /v:off /c .\\Fok.BAT");

  endInterpreter();
  convertEntry(1);
  EXPECT_NE(script().find("copy /Y /B \"x.tdl\" \"C:\\tools\\Fok.tmp\""), std::string::npos);
  EXPECT_NE(script().find("\"C:\\tools\\Shipina.b.mp4\""), std::string::npos) << "named to the last dot";

  endInterpreter();
  platform.appFolder = "C:\\café";
  convertEntry(0);
  EXPECT_NE(platform.bytesOf("C:\\café\\Fok.BAT").find("\"C:\\caf\x82\\Shipin7f3a.mp4\""), std::string::npos)
      << "in the OEM code page, not the ANSI one";
}

TEST_F(ConversionTest, ExpectedConditionsAreAnsweredWithTheirMessagesAndNoScript) {
  convertEntry(-1);
  convertEntry(2);
  convertEntry(3);
  platform.remove("D:\\vcache\\7f3a9c");
  convertEntry(0);
  ASSERT_EQ(platform.messages.size(), 4u);
  EXPECT_EQ(platform.messages[0], convert::kNoSelection);
  EXPECT_EQ(platform.messages[1], convert::kNoTdlFiles) << "the ending is compared case-sensitively";
  EXPECT_EQ(platform.messages[2], convert::kNoFiles) << "a subfolder is not a file";
  EXPECT_EQ(platform.messages[3].rfind(convert::kSelectedFolderGone, 0), 0u);
  EXPECT_FALSE(platform.has(kScript));
  EXPECT_TRUE(platform.runs.empty());
}

TEST_F(ConversionTest, TheInterpreterComesFromTheSystemFolderAndWithoutItNothingHappens) {
  platform.systemFolderPath = "E:\\Win\\System32";
  convertEntry(0);
  EXPECT_FALSE(platform.has(kScript));
  EXPECT_TRUE(platform.messages.empty());
  platform.addFile("E:\\Win\\System32\\cmd.exe");
  convertEntry(0);
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].program, "E:\\Win\\System32\\cmd.exe");
}

TEST_F(ConversionTest, ASelectionChangeDuringTheWalkCannotMixTwoVideos) {
  platform.onYield = [&] {
    view.selected = {1};
    convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  };
  convertEntry(0);
  EXPECT_NE(script().find("pushd \"D:\\vcache\\7f3a9c\\\""), std::string::npos);
  EXPECT_NE(script().find("\"C:\\tools\\Shipin7f3a.mp4\""), std::string::npos);
}

// Paths the code page cannot hold, and folders too long for cmd, go through their
// 8.3 form; without one nothing is written.
TEST_F(ConversionTest, PathsTheInterpreterCannotReadGoThroughTheirShortFormOrAreRefused) {
  const std::string deep = "D:\\" + std::string(230, 'd');
  platform.appFolder = "C:\\Ÿtools";
  platform.shortNames["C:\\Ÿtools"] = "C:\\TOOLS~1";
  platform.addFile(deep + "\\video\\1.tdl");
  platform.shortNames[deep + "\\video"] = "D:\\DDDDDD~1\\video";
  convert::ReadCacheFolder(platform, view, state, deep);
  convertEntry(0);
  const std::string written = platform.bytesOf("C:\\Ÿtools\\Fok.BAT");
  EXPECT_NE(written.find("pushd \"D:\\DDDDDD~1\\video\\\""), std::string::npos);
  EXPECT_NE(written.find("copy /Y /B \"1.tdl\" \"C:\\TOOLS~1\\Fok.tmp\""), std::string::npos);
  EXPECT_NE(written.find("\"C:\\TOOLS~1\\Shipinvide.mp4\""), std::string::npos);
  EXPECT_EQ(platform.runs.back().workingDirectory, "C:\\TOOLS~1");

  platform.shortNames.erase("C:\\Ÿtools");
  endInterpreter();
  convertEntry(0);
  EXPECT_EQ(platform.messages.back().rfind(convert::kPathNotScriptable, 0), 0u);
}

// However many, numbered fragments are named relative to the folder "cd" made
// current, in numeric order, over as many appending lines as it takes: no short
// names are needed, and no line comes near what cmd reads.
TEST_F(ConversionTest, ManyNumberedFragmentsAreNamedInOrderOverAppendingCopies) {
  const std::string folder = "D:\\vcache\\" + std::string(120, 'v');
  std::set<std::string> inNameOrder;
  for (int i = 1; i <= 10000; ++i) inNameOrder.insert("a0017xk2pq3.321004." + std::to_string(i) + ".tdl");
  for (const std::string& name : inNameOrder) platform.addFile(folder + "\\" + name, "x");
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  convertEntry(4);
  ASSERT_TRUE(platform.messages.empty()) << platform.messages[0];
  const std::string text = script();
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    EXPECT_LT(end - at, 8191u / 2) << "cmd reads 8,191 characters of a line; a cut copy writes into a fragment";
  }
  for (std::size_t i = 1, at = 0; i <= 10000; ++i) {
    at = text.find("\"a0017xk2pq3.321004." + std::to_string(i) + ".tdl\"", at);
    ASSERT_NE(at, std::string::npos) << "fragment " << i << " missing or out of order";
  }
}

// The lock, not this copy's own state, is what keeps a second interpreter from running.
TEST_F(ConversionTest, OneInterpreterAtATimeAcrossEveryCopyOfTheProgram) {
  platform.lockedFolders.insert("C:\\tools");
  convertEntry(0);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kConversionRunning});
  EXPECT_FALSE(platform.has(kScript));

  platform.lockedFolders.clear();
  convertEntry(0);
  EXPECT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.lockedFolders, std::set<std::string>{"C:\\tools"}) << "the interpreter holds the lock";
}

// A file already under the video's name stays untouched unless it is this
// folder's earlier output: a join of the fragments' size, or an MP4 tagged with
// the same folder and the same bytes.
// A name another video of the same run took is never chosen, in whatever case it is written.
TEST(ChooseOutputName, ReplacesOnlyAnEarlierOutputOfTheSameSizeOrTag) {
  const struct {
    std::vector<std::pair<std::string, std::string>> present;  // name, bytes
    std::string chosen;
  } cases[] = {
      {{{"Shipin7f3a.mp4", "ABC"}}, "Shipin7f3a.mp4"},
      {{{"Shipin7f3a.mp4", "ABCD"}}, "Shipin7f3a (2).mp4"},
      {{{"Shipin7f3a.mp4", "AB"}, {"Shipin7f3a (2).mp4", "ABCDE"}}, "Shipin7f3a (3).mp4"},
      {{{"Shipin7f3a.mp4", "mp4|tag:7f3a9c|3"}}, "Shipin7f3a.mp4"},
      {{{"Shipin7f3a.mp4", "mp4|tag:7f3a00|3"}, {"Shipin7f3a (2).mp4", "mp4|tag:7f3a9c|4"}}, "Shipin7f3a (3).mp4"},
  };
  for (const auto& each : cases) {
    FakePlatform platform;
    fakes::FakeRemuxFiles files(platform);
    fakes::FakeRemuxEngine engine;
    const auto readTag = [&](const std::string& path) { return engine.readTag(*files.openForReading(path)); };
    for (const auto& [name, bytes] : each.present) platform.addFile("C:\\tools\\" + name, bytes);
    EXPECT_EQ(convert::ChooseOutputName(platform, "C:\\tools", "7f3a9c", 3, {"7f3a9c", 3}, readTag), each.chosen)
        << each.present.size() << " present";
  }
  FakePlatform platform;
  platform.addFile("C:\\tools\\Shipin7f3a.mp4", "ABC");
  EXPECT_EQ(convert::ChooseOutputName(platform, "C:\\tools", "7F3A9C", 3, {}, {}, {"Shipin7f3a.mp4"}),
            "Shipin7F3A (2).mp4");
  EXPECT_EQ(convert::OutputFileName("腾讯视频缓存"), "Shipin腾讯视频.mp4") << "four characters, not bytes";
}

// When the interpreter ends, the video counts only under its final name, as a file
// this run put there, with the bytes its fragments hold now; whatever the run left is removed.
TEST_F(ConversionTest, TheEndIsJudgedByTheFinalNameAndWhatTheRunLeftIsRemoved) {
  const std::string output = "C:\\tools\\Shipin7f3a.mp4", fragment = "D:\\vcache\\7f3a9c\\001.tdl";
  const struct {
    const char* output;
    const char* temporary;
    bool scriptLeft;
    std::optional<std::string> converted;
    std::string message;
  } cases[] = {
      {"ABC", nullptr, true, "Shipin7f3a.mp4", ""},  // the fragment grew meanwhile; cut off before the delete line
      {"ABC", "A", true, std::nullopt, "（文件有 1 字节，应有 3 字节）"},
      {"AB", nullptr, false, std::nullopt, "（文件有 2 字节，应有 3 字节）"},
      {nullptr, nullptr, false, std::nullopt, "（文件不存在）"},
  };
  for (const auto& each : cases) {
    platform.messages.clear();
    platform.remove(output);
    convertEntry(0);
    ASSERT_TRUE(state.conversion);
    platform.addFile(fragment, "ABC");
    platform.remove(kScript);
    if (each.scriptLeft) platform.addFile(kScript, "x");
    if (each.output) platform.addFile(output, each.output);
    if (each.temporary) platform.addFile(kTemporary, each.temporary);
    EXPECT_EQ(endInterpreter(), each.converted) << each.message;
    EXPECT_EQ(platform.messages.empty(), each.message.empty());
    if (!each.message.empty()) {
      EXPECT_EQ(platform.messages[0], convert::kOutputIncomplete + output + each.message);
    }
    EXPECT_FALSE(platform.has(kScript));
    EXPECT_FALSE(platform.has(kTemporary));
    platform.addFile(fragment, "AB");
  }
  // A complete join that could not take the name: a player holds the file.
  convertEntry(0);
  platform.addFile(kTemporary, "AB");
  EXPECT_EQ(endInterpreter(), std::nullopt);
  EXPECT_EQ(platform.messages.back(), convert::kOutputInUse + output);

  // The earlier video of the same size is still there when the copy wrote nothing:
  // only a rename of this run's join counts.
  platform.addFile(output, "AB");
  convertEntry(0);
  EXPECT_EQ(endInterpreter(), std::nullopt);
  EXPECT_EQ(platform.messages.back(), convert::kOutputIncomplete + output + convert::kOutputFromEarlierRun);
  EXPECT_TRUE(platform.has(output));
  convertEntry(0);
  platform.addFile(output, "AB");
  EXPECT_EQ(endInterpreter(), "Shipin7f3a.mp4");
}

// The listing at the click is the plan: fragments the client writes while the
// question about the gap is open, or while the copy runs, are neither joined nor
// counted, and the planned ones join in numeric order.
TEST_F(ConversionTest, FragmentsArrivingAfterTheClickAreLeftOutOfTheJoinAndItsCheck) {
  const std::string folder = "D:\\vcache\\grow\\";
  for (int n : {1, 2, 3, 5})
    platform.addFile(folder + "v.321004." + std::to_string(n) + ".tdl", std::string(1, static_cast<char>('a' + n)));
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  convertEntry(4);
  for (int n : {4, 6, 7, 8, 9, 10, 11, 12}) platform.addFile(folder + "v.321004." + std::to_string(n) + ".tdl", "x");
  EXPECT_NE(script().find("copy /Y /B \"v.321004.1.tdl\"+\"v.321004.2.tdl\"+\"v.321004.3.tdl\"+\"v.321004.5.tdl\" "
                          "\"C:\\tools\\Fok.tmp\""),
            std::string::npos)
      << script();
  platform.addFile("C:\\tools\\Shipingrow.mp4", "bcdf");
  EXPECT_EQ(endInterpreter(), "Shipingrow.mp4");
  EXPECT_TRUE(platform.messages.empty());
}

// A folder, a junction or a link under one of the program's own names is not the
// program's to write through or remove: it is named, and nothing is written.
TEST_F(ConversionTest, AFolderOrLinkUnderTheProgramsOwnNamesIsRefusedByName) {
  const std::string refused[] = {kTemporary, kScript, "C:\\tools\\Fok.mp4.tmp"};
  for (const std::string& own : refused) {
    for (const bool link : {false, true}) {
      platform.messages.clear();
      if (link) {
        platform.addFile(own, "elsewhere");
        platform.links.insert(own);
      } else {
        platform.addFolder(own);
      }
      convertEntry(0);
      EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kOwnNameTaken + own}) << own << link;
      EXPECT_EQ(platform.kindOf(own), link ? platform::PathKind::File : platform::PathKind::Folder);
      EXPECT_EQ(platform.bytesOf(own), link ? "elsewhere" : "");
      EXPECT_TRUE(platform.runs.empty());
      EXPECT_TRUE(platform.lockedFolders.empty());
      platform.links.clear();
      platform.remove(own);
    }
    EXPECT_FALSE(platform.has(kScript));
  }
}

TEST_F(ConversionTest, MissingSegmentsAreAskedAboutBeforeAnythingIsWritten) {
  for (int n : {10, 1, 2, 3, 7, 8}) platform.addFile("D:\\vcache\\gaps\\v.321004." + std::to_string(n) + ".tdl", "x");
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  platform.answerYes = false;
  convertEntry(4);
  EXPECT_EQ(platform.questions, std::vector<std::string>{std::string(convert::kMissingSegmentsBefore) + "4" +
                                                         convert::kMissingSegmentsAfter});
  EXPECT_FALSE(platform.has(kScript));
  platform.answerYes = true;
  convertEntry(4);
  EXPECT_EQ(platform.runs.size(), 1u);
  EXPECT_NE(script().find("\"v.321004.3.tdl\"+\"v.321004.7.tdl\""), std::string::npos);
  endInterpreter();
  convertEntry(0);
  EXPECT_EQ(platform.questions.size(), 2u) << "a folder without gaps asks nothing";
}

// A refused access is the folder's doing: those messages say where to put the program.
TEST_F(ConversionTest, FailuresBeforeTheInterpreterRunsAreReportedAndLeaveNoLockBehind) {
  const std::string moveAdvice = std::string("\n") + convert::kMoveToWritableFolder;
  platform.addFile(kTemporary, "stale");
  platform.failWrites = true;
  convertEntry(0);
  platform.remove(kTemporary);
  convertEntry(0);
  platform.failWrites = false;
  platform.failRuns = true;
  convertEntry(0);
  platform.appFolder = "\\\\server\\share\\tools";
  convertEntry(0);
  ASSERT_EQ(platform.messages.size(), 4u);
  EXPECT_EQ(platform.messages[0], convert::kOutputInUse + std::string(kTemporary) + "（access denied）" + moveAdvice);
  EXPECT_EQ(platform.messages[1], convert::kScriptNotWritten + std::string("access denied") + moveAdvice);
  EXPECT_EQ(platform.messages[2], convert::kInterpreterNotStarted + std::string("cannot start"));
  EXPECT_EQ(platform.messages[3], convert::kAppFolderOnNetwork + std::string("\\\\server\\share\\tools"));
  EXPECT_TRUE(platform.runs.empty());
  EXPECT_TRUE(platform.lockedFolders.empty());
  EXPECT_FALSE(state.conversion);
}

// A backslash before the closing quote would escape it.
TEST(OpenOutputFolder, StartsTheExplorerOnTheProgramsFolderQuoted) {
  FakePlatform platform;
  platform.appFolder = "C:\\";
  convert::OpenOutputFolder(platform);
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].commandLine, "explorer \"C:\\\\\"");
}

}  // namespace
