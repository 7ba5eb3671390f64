#include "app/main_form.h"

#include "convert/messages.h"
#include "tests/fakes/form_over_fakes.h"
#include <gtest/gtest.h>

namespace {

using app::Control;

class MainFormTest : public ::testing::Test, protected fakes::FormOverFakes {};

// The stored text is no path: entering the box must let typing replace it, but a path the user put there is left
// for editing. A drop, or Enter in the box, takes the typed path's route: into the box, then the read button's checks.
TEST_F(MainFormTest, OnlyTheStoredTextIsSelectedOnEntryAndADropOrEnterReadsAsTheReadButtonDoes) {
  view.texts[Control::Text1] = "Text1";
  EXPECT_TRUE(form.pathBoxSelectsAllOnFocus());
  platform.addFile("D:\\v\\abc\\1.tdl");
  form.onDrop("D:\\v");
  EXPECT_EQ(view.texts[Control::Text1], "D:\\v");
  EXPECT_FALSE(form.pathBoxSelectsAllOnFocus());
  EXPECT_EQ(view.list, std::vector<std::string>{"T0"});
  form.onDrop("D:\\v\\abc\\1.tdl");
  EXPECT_EQ(view.texts[Control::Text1], "D:\\v\\abc\\1.tdl");
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kFolderMissing});
  view.texts[Control::Text1] = "D:\\v";
  view.list.clear();
  form.onEnterKey(Control::List1);
  EXPECT_TRUE(view.list.empty()) << "Enter outside the box read it";
  form.onEnterKey(Control::Text1);
  EXPECT_EQ(view.list, std::vector<std::string>{"T0"});
}

// Once the window shows, the leftovers of a run cut off unwatched go, unless another copy's
// conversion is running and they are its own.
TEST_F(MainFormTest, StartUpRemovesTheScriptAndPartialVideoOnlyWhileTheLockIsFree) {
  platform.addFile("C:\\tools\\Fok.BAT");
  platform.addFile("C:\\tools\\Fok.tmp");
  platform.addFile("C:\\tools\\Fok.mp4.tmp");
  platform.addFile("C:\\tools\\Shipin7f3a.mp4");
  platform.lockedFolders.insert("C:\\tools");
  form.onShown();
  EXPECT_TRUE(platform.has("C:\\tools\\Fok.BAT") && platform.has("C:\\tools\\Fok.tmp") &&
              platform.has("C:\\tools\\Fok.mp4.tmp"));
  platform.lockedFolders.clear();
  form.onShown();
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT") || platform.has("C:\\tools\\Fok.tmp") ||
               platform.has("C:\\tools\\Fok.mp4.tmp"));
  EXPECT_TRUE(platform.has("C:\\tools\\Shipin7f3a.mp4"));
}

// The caption shows the running join, also past a read, and then the name the video
// took, and the title again once the user moves on; the taskbar follows the caption, never past the whole.
TEST_F(MainFormTest, TheCaptionFollowsTheConversionFromStartToEndAndAnUnseenEndIsNotJudged) {
  const std::string title = app::kWindowCaption;
  platform.addFile("D:\\v\\abc\\1.tdl", std::string(100, 'x'));
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = {0};
  form.onClick(Control::Command1);
  platform.addFile("C:\\tools\\Fok.tmp", std::string(45, 'x'));
  form.onProgressTimer();
  form.onClick(Control::Command2);
  EXPECT_EQ(view.caption, "正在转换 18% - " + title) << "the join is the first 40% of the whole";
  EXPECT_EQ(view.taskbarProgress, 18);
  platform.addFile("C:\\tools\\Fok.tmp", std::string(130, 'x'));
  form.onProgressTimer();
  EXPECT_EQ(view.taskbarProgress, 40) << "the join passed the size the fragments had at the start";

  platform.remove("C:\\tools\\Fok.tmp");
  platform.addFile("C:\\tools\\Shipinabc.mp4", std::string(100, 'x'));
  form.onInterpreterEnded(true);
  ASSERT_TRUE(view.remux);
  EXPECT_TRUE(view.timerRunning) << "the join is not yet the end";
  form.onRemuxEnded(view.remux->run());
  EXPECT_EQ(view.caption, "已转换 Shipinabc.mp4 - " + title) << "a join that is no transport stream";
  EXPECT_FALSE(view.timerRunning);
  EXPECT_EQ(view.flashes, 1);
  form.onClick(Control::Command2);
  EXPECT_EQ(view.caption, title);

  // Where the end could not be watched for, the video may still be growing: nothing is said of it.
  form.onClick(Control::Command1);
  platform.remove("C:\\tools\\Shipinabc.mp4");
  form.onInterpreterEnded(false);
  EXPECT_EQ(platform.runs.size(), 2u);
  EXPECT_TRUE(platform.messages.empty());
}

// Until the end is judged and its leftovers are gone, another copy must not start a
// script: the clean-up would delete that copy's script and partial video.
TEST_F(MainFormTest, TheLockIsLetGoOnlyOnceTheEndIsJudgedAndCleanedUp) {
  platform.addFile("D:\\v\\abc\\1.tdl", "x");
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = {0};
  form.onClick(Control::Command1);
  platform.addFile("C:\\tools\\Fok.tmp");
  EXPECT_EQ(platform.lockedFolders.size(), 1u);
  form.onInterpreterEnded(true);
  EXPECT_EQ(platform.messages.size(), 1u);
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT") || platform.has("C:\\tools\\Fok.tmp"));
  EXPECT_TRUE(platform.deletedUnlocked.empty()) << platform.deletedUnlocked[0] << " deleted after the lock was let go";
  EXPECT_TRUE(platform.lockedFolders.empty());
}

}  // namespace
