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

// The saved path goes in before any caption, and the window's own caption comes last.
TEST_F(MainFormTest, LoadReadsTheSavedPathThenCaptionsThenTheWindowCaption) {
  platform.addFile("C:\\tools\\shezhi.txt", "D:\\vodcache\r\n");
  form.onLoad();
  ASSERT_EQ(view.textOrder.size(), 9u);
  EXPECT_EQ(view.textOrder.front(), Control::Text1);
  EXPECT_EQ(view.texts[Control::Text1], "D:\\vodcache");
  EXPECT_EQ(view.captionSetAfter, view.textOrder.size());
}

TEST_F(MainFormTest, WithoutASavedPathThePathBoxKeepsItsText) {
  form.onLoad();
  EXPECT_EQ(view.texts.count(Control::Text1), 0u);
  platform.addFile("C:\\tools\\shezhi.txt", "");
  form.onLoad();
  EXPECT_EQ(view.texts.count(Control::Text1), 0u);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(MainFormTest, ButtonsReachTheirActions) {
  form.onLoad();
  form.onClick(Control::Command1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kNoSelection});

  view.texts[Control::Text1] = "C:\\saved";
  form.onClick(Control::Command4);
  EXPECT_EQ(platform.bytesOf("C:\\tools\\shezhi.txt"), "C:\\saved\r\n");

  form.onClick(Control::Command5);
  ASSERT_EQ(platform.runs.size(), 1u);
  EXPECT_EQ(platform.runs[0].commandLine, "explorer \"C:\\tools\"");

  EXPECT_FALSE(platform.ended);
  form.onClick(Control::Command3);
  EXPECT_TRUE(platform.ended);
  platform.ended = false;
  form.onClose();
  EXPECT_TRUE(platform.ended);
}

// Where the end could not be watched for, the video may still be growing: nothing is
// said of it, and the interpreter's own hold on the lock keeps the next one waiting.
TEST_F(MainFormTest, AnInterpreterWhoseEndWasNotSeenIsNotJudged) {
  platform.addFile("C:\\Windows\\System32\\cmd.exe");
  platform.addFile("D:\\v\\abc\\1.tdl", "AB");
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = 0;
  form.onClick(Control::Command1);
  form.onInterpreterEnded(false);
  EXPECT_TRUE(platform.messages.empty());
  form.onClick(Control::Command1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kConversionRunning});
  EXPECT_EQ(platform.runs.size(), 1u);
}

}  // namespace
