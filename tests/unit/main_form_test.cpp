#include "app/main_form.h"

#include "convert/messages.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/fake_view.h"
#include <gtest/gtest.h>

namespace {

using app::Control;

class MainFormTest : public ::testing::Test {
 protected:
  fakes::FakePlatform platform;
  fakes::FakeView view;
  app::MainForm form{view, platform};
};

// Where the end could not be watched for, the video may still be growing: nothing is said of it.
TEST_F(MainFormTest, AnInterpreterWhoseEndWasNotSeenIsNotJudged) {
  platform.addFile("D:\\v\\abc\\1.tdl", "AB");
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = 0;
  form.onClick(Control::Command1);
  form.onInterpreterEnded(false);
  EXPECT_EQ(platform.runs.size(), 1u);
  EXPECT_TRUE(platform.messages.empty());
}

// The stored text is no path: entering the box must let typing replace it. A path the user
// put there is left for editing.
TEST_F(MainFormTest, OnlyTheStoredTextIsSelectedWhenTheBoxIsEntered) {
  const std::pair<const char*, bool> cases[] = {
      {"Text1", true}, {"Text1 ", false}, {"text1", false}, {"", false}, {"D:\\vodcache", false}};
  for (const auto& [text, selects] : cases) {
    view.texts[Control::Text1] = text;
    EXPECT_EQ(form.pathBoxSelectsAllOnFocus(), selects) << text;
  }
}

// A drop, or Enter in the box, takes the typed path's route: into the box, then the read button's checks.
TEST_F(MainFormTest, ADroppedItemAndEnterInTheBoxReadAsTheReadButtonDoes) {
  platform.addFolder("D:\\v\\abc", 5);
  platform.addFile("D:\\v\\abc\\1.tdl");
  form.onDrop("D:\\v");
  EXPECT_EQ(view.texts[Control::Text1], "D:\\v");
  EXPECT_EQ(view.list, std::vector<std::string>{"T5"});
  form.onDrop("D:\\v\\abc\\1.tdl");
  EXPECT_EQ(view.texts[Control::Text1], "D:\\v\\abc\\1.tdl");
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kFolderMissing});
  view.texts[Control::Text1] = "D:\\v";
  view.list.clear();
  form.onEnterKey(Control::List1);
  EXPECT_TRUE(view.list.empty()) << "Enter outside the box read it";
  form.onEnterKey(Control::Text1);
  EXPECT_EQ(view.list, std::vector<std::string>{"T5"});
}

// At start-up the leftovers of a run cut off unwatched go, unless another copy's
// conversion is running and they are its own.
TEST_F(MainFormTest, StartUpRemovesTheScriptAndPartialVideoOnlyWhileTheLockIsFree) {
  for (const char* left : {"C:\\tools\\Fok.BAT", "C:\\tools\\Fok.tmp", "C:\\tools\\Shipin7f3a.mp4"}) {
    platform.addFile(left, "x");
  }
  platform.lockedFolders.insert("C:\\tools");
  form.onLoad();
  EXPECT_TRUE(platform.has("C:\\tools\\Fok.BAT") && platform.has("C:\\tools\\Fok.tmp"));
  platform.lockedFolders.clear();
  form.onLoad();
  EXPECT_FALSE(platform.has("C:\\tools\\Fok.BAT") || platform.has("C:\\tools\\Fok.tmp"));
  EXPECT_TRUE(platform.has("C:\\tools\\Shipin7f3a.mp4"));
  EXPECT_TRUE(platform.lockedFolders.empty());
  EXPECT_TRUE(platform.messages.empty());
}

// The caption shows the running join and then the name the video took, and the
// title again once the user moves on; the taskbar follows the caption.
TEST_F(MainFormTest, TheCaptionFollowsTheConversionFromStartToEnd) {
  const std::string title = app::kWindowCaption;
  platform.addFile("D:\\v\\abc\\1.tdl", std::string(100, 'x'));
  platform.addFile("C:\\tools\\Shipinabc.mp4", "another video");
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = 0;
  form.onClick(Control::Command1);
  EXPECT_EQ(view.caption, "正在转换 0% - " + title);
  EXPECT_TRUE(view.timerRunning);
  platform.addFile("C:\\tools\\Fok.tmp", std::string(45, 'x'));
  form.onProgressTimer();
  EXPECT_EQ(view.caption, "正在转换 45% - " + title);
  EXPECT_EQ(view.taskbarProgress, 45);
  form.onClick(Control::Command2);
  EXPECT_EQ(view.caption, "正在转换 45% - " + title) << "a read while the join runs";

  platform.remove("C:\\tools\\Fok.tmp");
  platform.addFile("C:\\tools\\Shipinabc (2).mp4", std::string(100, 'x'));
  platform.interpreterLock.reset();
  form.onInterpreterEnded(true);
  EXPECT_EQ(view.caption, "已转换 Shipinabc (2).mp4 - " + title);
  EXPECT_FALSE(view.timerRunning);
  EXPECT_EQ(view.taskbarProgress, std::nullopt);
  EXPECT_EQ(view.flashes, 1);
  EXPECT_TRUE(platform.messages.empty());

  form.onClick(Control::Command2);
  EXPECT_EQ(view.caption, title);
  form.onClick(Control::Command1);
  platform.remove("C:\\tools\\Shipinabc (2).mp4");
  platform.interpreterLock.reset();
  form.onInterpreterEnded(true);
  EXPECT_EQ(view.caption, title) << "after a failure";
  EXPECT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(view.flashes, 1);
}

}  // namespace
