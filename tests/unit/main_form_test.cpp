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

TEST_F(MainFormTest, LoadReadsTheSavedPathThenCaptionsThenTheWindowCaption) {
  platform.addFile("C:\\tools\\shezhi.txt", "D:\\vodcache\r\n");
  form.onLoad();
  const std::vector<Control> expected{Control::Text1,    Control::Label1,   Control::Label2,
                                      Control::Label3,   Control::Command1, Control::Command2,
                                      Control::Command3, Control::Command4, Control::Command5};
  EXPECT_EQ(view.textOrder, expected);
  EXPECT_EQ(view.texts[Control::Text1], "D:\\vodcache");
  EXPECT_EQ(view.texts[Control::Command1], "开始转换");
  EXPECT_EQ(view.texts[Control::Command5], "打开存放mp4视频的文件夹");
  EXPECT_EQ(view.caption, "Quendril腾讯视频转换为mp4格式ZV1.0");
  EXPECT_EQ(view.captionSetAfter, expected.size());
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

}  // namespace
