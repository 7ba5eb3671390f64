#include "app/main_form.h"

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
  platform.addFile("C:\\Windows\\System32\\cmd.exe");
  platform.addFile("D:\\v\\abc\\1.tdl", "AB");
  view.texts[Control::Text1] = "D:\\v";
  form.onClick(Control::Command2);
  view.selected = 0;
  form.onClick(Control::Command1);
  form.onInterpreterEnded(false);
  EXPECT_EQ(platform.runs.size(), 1u);
  EXPECT_TRUE(platform.messages.empty());
}

}  // namespace
