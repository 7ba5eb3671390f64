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

}  // namespace
