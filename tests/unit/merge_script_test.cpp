#include "convert/merge_script.h"

#include "convert/cache_listing.h"
#include "convert/fragment_order.h"
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

// Every path is one literal argument to cmd: quoted, % doubled, the rest as it stands.
TEST(MergeScriptLines, QuoteEveryPathAndKeepFourLines) {
  const struct {
    std::string folder, appFolder, output;
    Lines lines;
  } cases[] = {
      {"D:\\vcache\\7f3a9c\\",
       "C:\\tools",
       "Shipin7f3a.mp4",
       {"D:", "cd /d \"D:\\vcache\\7f3a9c\\\"",
        "copy /Y /B \"D:\\vcache\\7f3a9c\\*.tdl\" \"C:\\tools\\Shipin7f3a.mp4\"", "del \"C:\\tools\\Fok.BAT\""}},
      {"E:\\abc\\",
       "C:\\",
       "Shipinabc.mp4",
       {"E:", "cd /d \"E:\\abc\\\"", "copy /Y /B \"E:\\abc\\*.tdl\" \"C:\\Shipinabc.mp4\"", "del \"C:\\Fok.BAT\""}},
      {"D:\\a b&c\\50%^!(x),;=\\",
       "C:\\my %PATH% & tools",
       "Shipin50%^.mp4",
       {"D:", "cd /d \"D:\\a b&c\\50%%^!(x),;=\\\"",
        "copy /Y /B \"D:\\a b&c\\50%%^!(x),;=\\*.tdl\" \"C:\\my %%PATH%% & tools\\Shipin50%%^.mp4\"",
        "del \"C:\\my %%PATH%% & tools\\Fok.BAT\""}},
      // A network folder has no drive to switch to.
      {"\\\\server\\cache\\abc\\",
       "C:\\tools",
       "Shipinabc.mp4",
       {"rem", "cd /d \"\\\\server\\cache\\abc\\\"",
        "copy /Y /B \"\\\\server\\cache\\abc\\*.tdl\" \"C:\\tools\\Shipinabc.mp4\"", "del \"C:\\tools\\Fok.BAT\""}},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(convert::MergeScriptLines(each.folder, each.appFolder, each.output), each.lines) << each.folder;
  }
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
    platform.addFile("C:\\Windows\\System32\\cmd.exe", "");
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
  }

  void convertEntry(int index) {
    view.selected = index;
    convert::StartConversion(platform, view, state);
  }
  std::string script() const { return platform.bytesOf("C:\\tools\\Fok.BAT"); }
  // The interpreter ends and the program hears of it.
  void endInterpreter() {
    platform.interpreterLock.reset();
    convert::FinishConversion(platform, state);
  }

  FakePlatform platform;
  FakeView view;
  CacheState state;
};

TEST_F(ConversionTest, WritesTheScriptAndStartsTheInterpreterMinimizedInTheProgramsFolder) {
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(state.SelectedFolderPath, "D:\\vcache\\7f3a9c\\");
  EXPECT_EQ(script(),
            "D:\r\ncd /d \"D:\\vcache\\7f3a9c\\\"\r\ncopy /Y /B \"D:\\vcache\\7f3a9c\\*.tdl\" "
            "\"C:\\tools\\Shipin7f3a.mp4\"\r\ndel \"C:\\tools\\Fok.BAT\"\r\n");
  ASSERT_EQ(platform.runs.size(), 1u);
  const platform::RunRequest& run = platform.runs[0];
  EXPECT_EQ(run.program, "C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(run.commandLine, "cmd /d /v:off /c .\\Fok.BAT");
  EXPECT_EQ(run.workingDirectory, "C:\\tools");
  EXPECT_EQ(run.style, platform::WindowStyle::Minimized);

  endInterpreter();
  convertEntry(1);
  EXPECT_EQ(state.SelectedFolderPath, "D:\\vcache\\abc.def\\") << "found by its full name";
  EXPECT_NE(script().find("\"D:\\vcache\\abc.def\\*.tdl\" \"C:\\tools\\Shipinabc.mp4\""), std::string::npos);
}

TEST_F(ConversionTest, TheScriptIsWrittenInTheCodePageTheInterpreterReadsIt) {
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
  EXPECT_TRUE(startsWith(platform.messages[3], convert::kSelectedFolderGone));
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
  EXPECT_TRUE(platform.runs.empty());
}

TEST_F(ConversionTest, TheInterpreterComesFromTheSystemFolderAndWithoutItNothingHappens) {
  platform.systemFolderPath = "E:\\Win\\System32";
  convertEntry(0);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
  EXPECT_TRUE(platform.runs.empty());

  platform.addFile("E:\\Win\\System32\\cmd.exe");
  convertEntry(0);
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].program, "E:\\Win\\System32\\cmd.exe");
}

TEST_F(ConversionTest, ASelectionChangeDuringTheWalkCannotMixTwoVideos) {
  platform.onYield = [&] {
    view.selected = 1;
    convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  };
  convertEntry(0);
  EXPECT_NE(script().find("\"D:\\vcache\\7f3a9c\\*.tdl\" \"C:\\tools\\Shipin7f3a.mp4\""), std::string::npos);
}

// Paths the code page cannot hold, and folders too long for cmd, go through their
// 8.3 form; without one, or where the output's own name is the problem, nothing is written.
TEST_F(ConversionTest, PathsTheInterpreterCannotReadGoThroughTheirShortFormOrAreRefused) {
  const std::string deep = "D:\\" + std::string(230, 'd');
  platform.appFolder = "C:\\Ÿtools";
  platform.addFolder("C:\\Ÿtools");
  platform.shortNames["C:\\Ÿtools"] = "C:\\TOOLS~1";
  for (const std::string& folder : std::vector<std::string>{"D:\\vcache\\Ÿvideo", "D:\\vcache\\xŸ", deep + "\\video"}) {
    platform.addFolder(folder, 5);
    platform.addFile(folder + "\\1.tdl");
  }
  platform.shortNames["D:\\vcache\\Ÿvideo"] = "D:\\vcache\\VIDEO~1";
  platform.shortNames[deep + "\\video"] = "D:\\DDDDDD~1\\video";
  const auto scriptFor = [&](const std::string& cache) {
    platform.messages.clear();
    endInterpreter();
    convert::ReadCacheFolder(platform, view, state, cache);
    convertEntry(static_cast<int>(state.CacheFolderNames.size()) - 1);
    return platform.messages.empty() ? platform.bytesOf("C:\\Ÿtools\\Fok.BAT") : platform.messages[0];
  };
  EXPECT_TRUE(startsWith(scriptFor("D:\\vcache"), convert::kPathNotScriptable)) << "no short form";
  platform.remove("D:\\vcache\\xŸ");
  // The output's name comes from the base name, which has no short form.
  EXPECT_TRUE(startsWith(scriptFor("D:\\vcache"), convert::kPathNotScriptable));
  EXPECT_FALSE(platform.has("C:\\Ÿtools\\Fok.BAT"));
  EXPECT_NE(scriptFor(deep).find("copy /Y /B \"D:\\DDDDDD~1\\video\\*.tdl\" \"C:\\TOOLS~1\\Shipinvide.mp4\""),
            std::string::npos);
  EXPECT_EQ(platform.runs.back().workingDirectory, "C:\\TOOLS~1");
}

TEST(NumericOrder, ReordersOnlyNamesThatDifferInOneRunOfDigits) {
  using Order = std::vector<std::size_t>;
  const struct {
    std::vector<std::string> names;
    Order order;
  } cases[] = {
      {{"v.321004.1.tdl", "v.321004.10.tdl", "v.321004.11.tdl", "v.321004.2.tdl"}, {0, 3, 1, 2}},
      {{"seg9", "seg10", "seg009a"}, {0, 1, 2}},             // the last differs in more than its number
      {{"001.tdl", "002.tdl", "010.tdl"}, {0, 1, 2}},        // padded: already in order
      {{"10.tdl", "9.tdl", "0010.tdl"}, {1, 0, 2}},          // equal values keep their places
      {{"a1b2.tdl", "a2b1.tdl"}, {0, 1}},                    // two runs differ
      {{"3fa9c.tdl", "7b21e.tdl", "10ce2.tdl"}, {0, 1, 2}},  // hashes say nothing of order
      {{"intro.tdl", "main.tdl"}, {0, 1}},
      {{"x.99999999999999999999.tdl", "x.100000000000000000000.tdl"}, {0, 1}},
  };
  for (const auto& [names, order] : cases) EXPECT_EQ(convert::NumericOrder(names), order) << names[0];
}

TEST(PlanFragments, JoinsWhatTheWildcardMatchesAndListsThemWhereItWouldGoWrong) {
  const auto file = [](std::string name, std::uint64_t size, std::string shortName = "") {
    return platform::DirectoryEntry{std::move(name), false, 0, size, std::move(shortName)};
  };
  const convert::FragmentPlan numbered =
      convert::PlanFragments({file("a.1.tdl", 1), file("a.10.tdl", 10), file("a.2.TDL", 2), file("a.txt", 100)});
  EXPECT_TRUE(numbered.needsExplicitList);
  EXPECT_EQ(numbered.totalBytes, 13u);
  ASSERT_EQ(numbered.fragments.size(), 3u);
  EXPECT_EQ(numbered.fragments[1].name, "a.2.TDL");

  const convert::FragmentPlan stray =
      convert::PlanFragments({file("b.tdl", 5), file("x.tdlx", 7, "X~1.TDL"), file("ytdl", 9)});
  EXPECT_TRUE(stray.needsExplicitList) << "x.tdlx is matched through its short name";
  EXPECT_EQ(stray.totalBytes, 5u);

  EXPECT_FALSE(convert::PlanFragments({file("3fa9.tdl", 1), file("07b2.tdl", 1), file("c.TDL", 1)}).needsExplicitList);
}

TEST_F(ConversionTest, ACopyLineTooLongForTheInterpreterUsesShortNamesOrIsRefused) {
  const std::string folder = "D:\\vcache\\many";
  platform.addFolder(folder, 5);
  std::map<std::string, int> inNameOrder;
  for (int i = 1; i <= 200; ++i) inNameOrder["a-long-fragment-name-of-the-video." + std::to_string(i) + ".tdl"] = i;
  for (const auto& [name, i] : inNameOrder) {
    platform.addFile(folder + "\\" + name, "x");
    platform.shortNames[folder + "\\" + name] = folder + "\\A" + std::to_string(i) + "~1.TDL";
  }
  convert::ReadCacheFolder(platform, view, state, "D:\\vcache");
  convertEntry(4);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_NE(script().find("\"D:\\vcache\\many\\A1~1.TDL\"+\"D:\\vcache\\many\\A2~1.TDL\"+"), std::string::npos);
  endInterpreter();
  platform.messages.clear();
  platform.remove("C:\\tools\\Fok.BAT");

  platform.shortNames.clear();
  convertEntry(4);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_TRUE(startsWith(platform.messages[0], convert::kTooManyFragments));
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));
}

TEST_F(ConversionTest, OneInterpreterAtATimeAcrossEveryCopyOfTheProgram) {
  convertEntry(0);
  const std::string first = script();
  ASSERT_EQ(platform.runs.size(), 1u);
  convertEntry(1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kConversionRunning});
  EXPECT_EQ(script(), first);

  // The interpreter ends, but another copy of the program now runs one from the same folder.
  platform.addFile("C:\\tools\\Shipin7f3a.mp4", "AB");
  endInterpreter();
  platform.lockedFolders.insert("C:\\tools");
  platform.remove("C:\\tools\\Fok.BAT");
  convertEntry(1);
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages.back(), convert::kConversionRunning);
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT"));

  platform.lockedFolders.clear();
  convertEntry(1);
  EXPECT_EQ(platform.runs.size(), 2u);
  EXPECT_EQ(platform.lockedFolders, std::set<std::string>{"C:\\tools"}) << "the interpreter holds the lock";
}

TEST_F(ConversionTest, TheVideoIsCheckedWhenTheInterpreterEnds) {
  platform.addFile("C:\\tools\\Shipin7f3a.mp4", "an older video");
  const auto finish = [&](const char* output) {
    convertEntry(0);
    EXPECT_FALSE(platform.has("C:\\tools\\Shipin7f3a.mp4")) << "the older file must not pass for the new one";
    if (output) platform.addFile("C:\\tools\\Shipin7f3a.mp4", output);
    endInterpreter();
  };
  finish("AB");
  EXPECT_TRUE(platform.messages.empty());
  finish(nullptr);
  finish("A");
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0], std::string(convert::kOutputIncomplete) + "C:\\tools\\Shipin7f3a.mp4（文件不存在）");
  EXPECT_EQ(platform.messages[1],
            std::string(convert::kOutputIncomplete) + "C:\\tools\\Shipin7f3a.mp4（文件有 1 字节，应有 2 字节）");
}

// A refused access, unlike a file in use, is the folder's doing: those messages say where to put the program.
TEST_F(ConversionTest, FailuresBeforeTheInterpreterRunsAreReportedAndLeaveNoLockBehind) {
  const std::string output = "C:\\tools\\Shipin7f3a.mp4";
  const std::string moveAdvice = std::string("\n") + convert::kMoveToWritableFolder;
  platform.addFile(output, "playing");
  platform.undeletable.insert(output);
  convertEntry(0);
  platform.undeletable.clear();
  platform.failWrites = true;
  convertEntry(0);
  platform.remove(output);
  convertEntry(0);
  platform.failWrites = false;
  platform.failRuns = true;
  convertEntry(0);
  platform.appFolder = "\\\\server\\share\\tools";
  convertEntry(0);
  ASSERT_EQ(platform.messages.size(), 5u);
  EXPECT_EQ(platform.messages[0], convert::kOutputInUse + output + "（in use）");
  EXPECT_EQ(platform.messages[1], convert::kOutputInUse + output + "（access denied）" + moveAdvice);
  EXPECT_EQ(platform.messages[2], convert::kScriptNotWritten + std::string("access denied") + moveAdvice);
  EXPECT_TRUE(startsWith(platform.messages[3], convert::kInterpreterNotStarted));
  EXPECT_EQ(platform.messages[4], convert::kAppFolderOnNetwork + std::string("\\\\server\\share\\tools"));
  EXPECT_TRUE(platform.runs.empty());
  EXPECT_TRUE(platform.lockedFolders.empty());
  EXPECT_FALSE(state.conversion);
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
