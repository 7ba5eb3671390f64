#include "convert/remux_step.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "convert/messages.h"
#include "tests/fakes/form_over_fakes.h"
#include <gtest/gtest.h>

namespace {

using app::Control;

const char* const kVideo = "C:\\tools\\Shipin7f3a.mp4";
const char* const kRemuxTemporary = "C:\\tools\\Fok.mp4.tmp";
// What the fragments hold: a transport stream, as the fake engine tells one.
const std::string kJoin = "TS" + std::string(98, 'x');

// A conversion of one cache folder through the form, the interpreter's join and the remux played by the test.
class RemuxStepTest : public ::testing::Test, protected fakes::FormOverFakes {
 protected:
  void SetUp() override {
    platform.addFile("D:\\v\\7f3a9c\\1.tdl", kJoin.substr(0, 60));
    platform.addFile("D:\\v\\7f3a9c\\2.tdl", kJoin.substr(60));
    view.texts[Control::Text1] = "D:\\v";
    form.onClick(Control::Command2);
    view.selected = {0};
  }
  // The click, the script's join under the video's name, and the interpreter's end.
  void join() {
    view.remux.reset();
    form.onClick(Control::Command1);
    script = platform.bytesOf("C:\\tools\\Fok.BAT");
    platform.addFile(kVideo, kJoin);
    form.onInterpreterEnded(true);
    ASSERT_TRUE(view.remux) << "no remux after a join that passed its check";
  }
  void remux() { form.onRemuxEnded(view.remux->run()); }

  std::string script;
};

// The MP4 takes the video's name only when it is whole; meanwhile the caption runs on from the join, never back
// and never to 100, and a second conversion waits its turn. The MP4 carries the folder's name and the join's bytes.
TEST_F(RemuxStepTest, ATransportStreamBecomesTheMp4UnderTheVideosNameWithTheCaptionRunningOn) {
  form.onClick(Control::Command1);
  platform.addFile("C:\\tools\\Fok.tmp", kJoin.substr(0, 50));
  form.onProgressTimer();
  std::vector<int> shown{*view.taskbarProgress};
  // The script's rename: the join's temporary file is gone before the interpreter has ended.
  platform.remove("C:\\tools\\Fok.tmp");
  platform.addFile(kVideo, kJoin);
  form.onProgressTimer();
  shown.push_back(*view.taskbarProgress);
  form.onInterpreterEnded(true);
  ASSERT_TRUE(view.remux);
  bool clicked = false;
  engine.onProgress = [&](double share) {
    form.onProgressTimer();
    shown.push_back(*view.taskbarProgress);
    if (share > 0.5 && !clicked) {
      clicked = true;
      EXPECT_EQ(platform.bytesOf(kVideo), kJoin) << "the join must keep its name while the MP4 grows";
      EXPECT_EQ(platform.lockedFolders.count("C:\\tools"), 1u) << "another copy could start a script meanwhile";
      form.onClick(Control::Command1);
      EXPECT_EQ(captionStart().rfind(convert::kCaptionConverting, 0), 0u) << "the click took the remux's progress away";
    }
  };
  const convert::RemuxReport report = view.remux->run();
  form.onProgressTimer();
  EXPECT_EQ(view.taskbarProgress, 99) << "100 is for the end alone, which the caption tells by name";
  form.onRemuxEnded(report);
  EXPECT_EQ(platform.bytesOf(kVideo), "ftypmoovmdat|tag:7f3a9c|100");
  EXPECT_FALSE(platform.has(kRemuxTemporary));
  EXPECT_EQ(view.caption, std::string("已转换 Shipin7f3a.mp4 - ") + app::kWindowCaption);
  EXPECT_FALSE(view.timerRunning);
  EXPECT_EQ(view.taskbarProgress, std::nullopt);
  EXPECT_TRUE(platform.lockedFolders.empty()) << "the lock outlived the remux";
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kConversionRunning});
  EXPECT_EQ(platform.runs.size(), 1u) << "a second script ran during the remux";
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << "the caption's percentage went back";
  EXPECT_EQ(shown.front(), 20);
  EXPECT_GE(shown.back(), 90);
  EXPECT_LT(shown.back(), 100);

  // The same video converted again: its MP4 is neither the fragments' size nor another video's.
  engine.onProgress = nullptr;
  join();
  EXPECT_NE(script.find("\"C:\\tools\\Shipin7f3a.mp4\""), std::string::npos) << script;
  remux();
  EXPECT_FALSE(platform.has("C:\\tools\\Shipin7f3a (2).mp4"));
  EXPECT_EQ(engine.tagsWritten.size(), 2u);
}

// Every way the MP4 can fail leaves the join whole under the video's name and no half-made MP4; the caption says the
// video was only joined, and why. A join that is no transport stream is not touched and is reported as before.
TEST_F(RemuxStepTest, WhenNoMp4CanBeMadeTheJoinStaysAndTheCaptionSaysWhy) {
  struct Failure {
    std::function<void()> arrange;
    std::string why;
  };
  const std::vector<Failure> failures = {
      {[&] { files.freeSpace = (16u << 20) + 10; }, convert::kRemuxNoSpace},
      {[&] { files.diskFullAfter = 6; }, std::string(convert::kRemuxWriteFailed) + "disk full"},
      {[&] { engine.analyseOutcome = media::RemuxOutcome::UnsupportedStream; }, convert::kRemuxUnsupported},
      {[&] { files.refuseMove = true; }, std::string(convert::kRemuxNotReplaced) + "in use"},
      {[&] { files.refuseNew = true; }, std::string(convert::kRemuxWriteFailed) + "access denied"},
  };
  for (const Failure& failure : failures) {
    files.freeSpace.reset();
    files.diskFullAfter.reset();
    files.refuseMove = false;
    files.refuseNew = false;
    engine.analyseOutcome = media::RemuxOutcome::Done;
    failure.arrange();
    join();
    remux();
    EXPECT_EQ(captionStart(), "已合并 Shipin7f3a.mp4，未能转成标准MP4：" + failure.why);
    EXPECT_EQ(platform.bytesOf(kVideo), kJoin) << failure.why;
    EXPECT_FALSE(platform.has(kRemuxTemporary)) << failure.why;
    EXPECT_TRUE(platform.messages.empty()) << "a message box for a video that plays: " << failure.why;
  }
  files.refuseMove = false;
  files.freeSpace = (16u << 20) + 100;
  platform.remove("D:\\v\\7f3a9c\\1.tdl");
  platform.addFile("D:\\v\\7f3a9c\\1.tdl", std::string(60, 'e'));
  const std::string encrypted = std::string(60, 'e') + kJoin.substr(60);
  engine.tagsWritten.clear();
  view.remux.reset();
  form.onClick(Control::Command1);
  platform.addFile(kVideo, encrypted);
  form.onInterpreterEnded(true);
  remux();
  EXPECT_EQ(captionStart(), "已转换 Shipin7f3a.mp4");
  EXPECT_EQ(platform.bytesOf(kVideo), encrypted);
  EXPECT_TRUE(engine.tagsWritten.empty());
}

// Closing the window, or the end button, stops the remux at its next step: the program waits for it to clear up
// before it ends, and the join keeps the video's name.
TEST_F(RemuxStepTest, ClosingDuringTheRemuxRemovesTheUnfinishedMp4AndKeepsTheJoin) {
  for (const bool byEndButton : {false, true}) {
    join();
    engine.onProgress = [&](double share) {
      if (share > 0.6 && !platform.bytesOf(kRemuxTemporary).empty()) {
        byEndButton ? form.onClick(Control::Command3) : form.onClose();
      }
    };
    const convert::RemuxReport report = view.remux->run();
    EXPECT_EQ(report.end, convert::RemuxEnd::Cancelled);
    EXPECT_EQ(view.remuxWaits, byEndButton ? 2 : 1) << "the program ended without waiting for the remux";
    EXPECT_EQ(platform.bytesOf(kVideo), kJoin);
    EXPECT_FALSE(platform.has(kRemuxTemporary));
    form.onRemuxEnded(report);
    engine.onProgress = nullptr;
  }
}

}  // namespace
