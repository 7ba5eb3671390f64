#include "convert/merge_script.h"

#include "convert/cache_listing.h"
#include "convert/messages.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_view.h"
#include <gtest/gtest.h>

namespace {

using convert::CacheState;
using fakes::FakePlatform;
using fakes::FakeView;
using Lines = std::vector<std::string>;

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(MergeScriptLines, WorkedExampleJoinsTheFolderIntoTheProgramsFolder) {
  EXPECT_EQ(
      convert::MergeScriptLines("D:\\vcache\\7f3a9c\\", "C:\\tools", "Shipin7f3a.mp4"),
      (Lines{"D:", "cd /d \"D:\\vcache\\7f3a9c\\\"",
             "copy/B \"D:\\vcache\\7f3a9c\\*.tdl\" \"C:\\tools\\Shipin7f3a.mp4\"", "del \"C:\\tools\\Fok.BAT\""}));
}

TEST(MergeScriptLines, DriveRootsGetOneBackslash) {
  const Lines lines = convert::MergeScriptLines("E:\\abc\\", "C:\\", "Shipinabc.mp4");
  EXPECT_EQ(lines[2], "copy/B \"E:\\abc\\*.tdl\" \"C:\\Shipinabc.mp4\"");
  EXPECT_EQ(lines[3], "del \"C:\\Fok.BAT\"");
}

TEST(MergeScriptLines, CharactersTheInterpreterWouldReadAreTakenLiterally) {
  const Lines lines = convert::MergeScriptLines("D:\\a b&c\\50%^!(x),;=\\", "C:\\my %PATH% & tools", "Shipin50%^.mp4");
  EXPECT_EQ(lines[1], "cd /d \"D:\\a b&c\\50%%^!(x),;=\\\"");
  EXPECT_EQ(lines[2], "copy/B \"D:\\a b&c\\50%%^!(x),;=\\*.tdl\" \"C:\\my %%PATH%% & tools\\Shipin50%%^.mp4\"");
  EXPECT_EQ(lines[3], "del \"C:\\my %%PATH%% & tools\\Fok.BAT\"");
}

TEST(MergeScriptLines, ANetworkFolderKeepsFourLines) {
  const Lines lines = convert::MergeScriptLines("\\\\server\\cache\\abc\\", "C:\\tools", "Shipinabc.mp4");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "rem");
}

TEST(OutputFileName, TakesTheFirstFourCharactersOfTheBaseName) {
  EXPECT_EQ(convert::OutputFileName("7f3a9c"), "Shipin7f3a.mp4");
  EXPECT_EQ(convert::OutputFileName("ab"), "Shipinab.mp4");
  EXPECT_EQ(convert::OutputFileName(""), "Shipin.mp4");
  EXPECT_EQ(convert::OutputFileName("腾讯视频缓存"), "Shipin腾讯视频.mp4");
}

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.addFile(convert::kCommandInterpreter, "");
    platform.addFolder("C:\\tools");
    platform.addFolder("D:\\vcache\\7f3a9c", 1);
    platform.addFile("D:\\vcache\\7f3a9c\\index.dat");
    platform.addFile("D:\\vcache\\7f3a9c\\001.tdl", "AB");
    platform.addFolder("D:\\vcache\\abc.def", 2);
    platform.addFile("D:\\vcache\\abc.def\\x.tdl");
    platform.addFolder("D:\\vcache\\upper", 3);
    platform.addFile("D:\\vcache\\upper\\a.TDL");
    platform.addFile("D:\\vcache\\upper\\b.Tdl");
    platform.addFolder("D:\\vcache\\empty", 4);
    platform.addFolder("D:\\vcache\\empty\\inner");
    convert::ReadCacheFolder(platform, view, state, "D:\\vcache\\");
    platform.yields = 0;
  }

  void convertEntry(int index) {
    view.selected = index;
    convert::StartConversion(platform, view, state);
  }
  std::string script() const { return platform.bytesOf("C:\\tools\\Fok.BAT"); }

  FakePlatform platform;
  FakeView view;
  CacheState state;
};

TEST_F(ConversionTest, WritesTheScriptAndStartsTheInterpreterMinimizedInTheProgramsFolder) {
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(state.SelectedFolderPath, "D:\\vcache\\7f3a9c\\");
  EXPECT_EQ(script(),
            "D:\r\ncd /d \"D:\\vcache\\7f3a9c\\\"\r\ncopy/B \"D:\\vcache\\7f3a9c\\*.tdl\" "
            "\"C:\\tools\\Shipin7f3a.mp4\"\r\ndel \"C:\\tools\\Fok.BAT\"\r\n");
  ASSERT_EQ(platform.runs.size(), 1u);
  const platform::RunRequest& run = platform.runs[0];
  EXPECT_EQ(run.program, "C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(run.commandLine, "cmd /v:off /c Fok.BAT");
  EXPECT_EQ(run.workingDirectory, "C:\\tools");
  EXPECT_EQ(run.style, platform::WindowStyle::Minimized);
  EXPECT_EQ(platform.yields, 1) << "one yield for the file that did not match";
}

TEST_F(ConversionTest, AFolderNameWithADotIsFoundByItsFullName) {
  convertEntry(1);
  EXPECT_EQ(state.SelectedFolderPath, "D:\\vcache\\abc.def\\");
  EXPECT_NE(script().find("copy/B \"D:\\vcache\\abc.def\\*.tdl\" \"C:\\tools\\Shipinabc.mp4\""), std::string::npos);
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
  EXPECT_TRUE(startsWith(platform.messages[3], convert::kSelectedFolderGone));
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
  EXPECT_TRUE(platform.runs.empty());
}

TEST_F(ConversionTest, WithoutTheInterpreterNothingHappensAndNothingIsSaid) {
  platform.remove(convert::kCommandInterpreter);
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
  EXPECT_TRUE(platform.runs.empty());
}

TEST_F(ConversionTest, ASelectionChangeDuringTheWalkCannotMixTwoVideos) {
  platform.onYield = [&] {
    view.selected = 1;
    convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  };
  convertEntry(0);
  EXPECT_NE(script().find("\"D:\\vcache\\7f3a9c\\*.tdl\" \"C:\\tools\\Shipin7f3a.mp4\""), std::string::npos);
}

TEST_F(ConversionTest, PathsTheCodePageCannotHoldGoThroughTheirShortForm) {
  platform.appFolder = "C:\\Ÿtools";
  platform.addFolder("C:\\Ÿtools");
  platform.shortNames["C:\\Ÿtools"] = "C:\\TOOLS~1";
  platform.addFolder("D:\\vcache\\Ÿvideo", 5);
  platform.addFile("D:\\vcache\\Ÿvideo\\1.tdl");
  platform.shortNames["D:\\vcache\\Ÿvideo"] = "D:\\vcache\\VIDEO~1";
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  platform.messages.clear();
  convertEntry(4);
  // The name comes from the base name, which the code page cannot hold either.
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(startsWith(platform.messages[0], convert::kPathNotScriptable));

  platform.messages.clear();
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_NE(platform.bytesOf("C:\\Ÿtools\\Fok.BAT").find("\"C:\\TOOLS~1\\Shipin7f3a.mp4\""), std::string::npos);
  EXPECT_EQ(platform.runs.back().workingDirectory, "C:\\TOOLS~1");
}

TEST_F(ConversionTest, WithoutAShortFormAnUnwritablePathIsRefused) {
  platform.addFolder("D:\\vcache\\Ÿ", 5);
  platform.addFile("D:\\vcache\\Ÿ\\1.tdl");
  platform.addFolder("D:\\vcache\\Ÿ\\abcd", 6);
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache\\Ÿ");
  convertEntry(0);
  EXPECT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(platform.runs.empty());
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
}

TEST_F(ConversionTest, LongFoldersUseTheirShortFormOrAreRefused) {
  const std::string deep = "D:\\" + std::string(230, 'd');
  platform.addFolder(deep + "\\video", 1);
  platform.addFile(deep + "\\video\\1.tdl");
  convert::ReadCacheFolder(platform, view, state, deep);
  convertEntry(0);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(startsWith(platform.messages[0], convert::kPathNotScriptable));

  platform.messages.clear();
  platform.shortNames[deep + "\\video"] = "D:\\DDDDDD~1\\video";
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_NE(script().find("copy/B \"D:\\DDDDDD~1\\video\\*.tdl\""), std::string::npos);
}

TEST_F(ConversionTest, FailuresToWriteOrStartAreReported) {
  platform.failWrites = true;
  convertEntry(0);
  platform.failWrites = false;
  platform.failRuns = true;
  convertEntry(0);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_TRUE(startsWith(platform.messages[0], convert::kScriptNotWritten));
  EXPECT_TRUE(startsWith(platform.messages[1], convert::kInterpreterNotStarted));
}

TEST(OpenOutputFolder, StartsTheExplorerOnTheProgramsFolderQuoted) {
  FakePlatform platform;
  platform.appFolder = "C:\\my tools,1";
  convert::OpenOutputFolder(platform);
  platform.appFolder = "C:\\";
  convert::OpenOutputFolder(platform);
  ASSERT_EQ(platform.runs.size(), 2u);
  EXPECT_EQ(platform.runs[0].program, "C:\\Windows\\explorer.exe");
  EXPECT_EQ(platform.runs[0].commandLine, "explorer \"C:\\my tools,1\"");
  EXPECT_EQ(platform.runs[0].style, platform::WindowStyle::Normal);
  EXPECT_EQ(platform.runs[1].commandLine, "explorer \"C:\\\\\"");
}

}  // namespace
