#include "convert/batch.h"

#include <string>
#include <vector>

#include "convert/messages.h"
#include "tests/fakes/form_over_fakes.h"
#include <gtest/gtest.h>

namespace {

using app::Control;

const std::string kTitle = app::kWindowCaption;
// A transport stream, as the fake engine tells one; other bytes are a join it leaves alone.
const std::string kStream = "TS" + std::string(38, 'x');

// Several entries of the list converted through the form, with the interpreter's
// joins and the remuxes played by the test.
class BatchTest : public ::testing::Test, protected fakes::FormOverFakes {
 protected:
  // Folder i is listed as "Ti", so that messages name it by that time.
  void addVideo(int created, const std::string& name, const std::vector<std::string>& fragments) {
    platform.addFolder("D:\\v\\" + name, created);
    for (std::size_t i = 0; i < fragments.size(); ++i) {
      platform.addFile("D:\\v\\" + name + "\\" + std::to_string(i + 1) + ".tdl", fragments[i]);
    }
  }
  void read() {
    view.texts[Control::Text1] = "D:\\v";
    form.onClick(Control::Command2);
  }
  void start(std::vector<int> selected) {
    view.selected = std::move(selected);
    form.onClick(Control::Command1);
  }
  std::string scriptedName() const {
    const std::string script = platform.bytesOf("C:\\tools\\Fok.BAT");
    const std::size_t end = script.rfind("\" >nul");
    return script.substr(script.rfind('\\', end) + 1, end - script.rfind('\\', end) - 1);
  }
  // The interpreter's join under the scripted name, then its end, and the remux when one follows.
  void join(const std::string& bytes) {
    if (!bytes.empty()) platform.addFile("C:\\tools\\" + scriptedName(), bytes);
    platform.remove("C:\\tools\\Fok.BAT");
    view.remux.reset();
    form.onInterpreterEnded(true);
    if (view.remux) form.onRemuxEnded(view.remux->run());
  }
};

// Nothing is written before every selected folder has been looked at: what cannot be converted is named at once, in
// one message, and the videos with gaps are asked about in one question, whose No leaves them out.
TEST_F(BatchTest, EveryFolderIsCheckedFirstWithOneMessageForTheSkippedAndOneQuestionForTheGaps) {
  addVideo(1, "aaaa1", {"a"});
  addVideo(2, "bbbb2", {});
  platform.addFolder("D:\\v\\bbbb2\\inner");
  addVideo(3, "cccc3", {"c"});
  platform.addFile("D:\\v\\cccc3\\3.tdl", "c");
  addVideo(4, "dddd4", {"d"});
  addVideo(5, "eeee5", {"e"});
  platform.addFile("D:\\v\\eeee5\\9.tdl", "e");
  addVideo(6, "ffff6", {"f"});
  read();
  platform.remove("D:\\v\\dddd4");

  for (const bool yes : {false, true}) {
    platform.messages.clear();
    platform.questions.clear();
    platform.answerYes = yes;
    start({5, 3, 2, 1, 0, 4});
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].rfind(std::string(convert::kBatchSkipped) + "\nT2：" + convert::kNoFiles + "\nT4：" +
                                             convert::kSelectedFolderGone,
                                         0),
              0u)
        << platform.messages[0];
    EXPECT_EQ(platform.messages[0].find("T6"), std::string::npos);
    EXPECT_EQ(platform.questions, std::vector<std::string>{"2" + std::string(convert::kBatchMissingSegments)});
    // Only the first video's script exists yet; the others follow in list order as each ends.
    std::vector<std::string> order{scriptedName()};
    while (platform.has("C:\\tools\\Fok.BAT")) {
      join("j");
      if (platform.has("C:\\tools\\Fok.BAT")) order.push_back(scriptedName());
    }
    const std::vector<std::string> expected =
        yes ? std::vector<std::string>{"Shipinaaaa.mp4", "Shipincccc.mp4", "Shipineeee.mp4", "Shipinffff.mp4"}
            : std::vector<std::string>{"Shipinaaaa.mp4", "Shipinffff.mp4"};
    EXPECT_EQ(order, expected) << (yes ? "Yes" : "No");
    platform.remove("C:\\tools\\Fok.BAT");
  }
}

// One video after another, each as a single conversion: the caption counts, a click on the start button is told to
// wait, a read of the list changes nothing of the batch, a failure does not stop the rest and is reported once at the
// end. Two videos of the batch never share a name, even where the rule for an earlier output would let them.
TEST_F(BatchTest, TheVideosRunInTurnUnderNamesOfTheirOwnAndTheFailuresAreReportedOnceAtTheEnd) {
  addVideo(1, "7f3a01", {kStream.substr(0, 20), kStream.substr(20)});
  addVideo(2, "7f3a02", {"12345", "6789"});
  addVideo(3, "7f3a03", {"abcde", "fghi"});
  addVideo(4, "9999", {"zz"});
  addVideo(5, "8888", {kStream});
  read();
  start({0, 1, 2, 3, 4});
  EXPECT_EQ(platform.runs.size(), 1u);
  EXPECT_TRUE(platform.messages.empty());
  platform.addFile("C:\\tools\\Fok.tmp", kStream.substr(0, 20));
  form.onProgressTimer();
  EXPECT_EQ(view.caption, "正在转换 1/5 20% - " + kTitle);
  EXPECT_EQ(view.taskbarProgress, 4) << "the taskbar shows the whole batch";
  platform.remove("C:\\tools\\Fok.tmp");

  join(kStream);
  EXPECT_EQ(platform.bytesOf("C:\\tools\\Shipin7f3a.mp4"), "ftypmoovmdat|tag:7f3a01|40");
  // A join that is no transport stream keeps its bytes; the next, of the same size, must not replace it.
  EXPECT_EQ(scriptedName(), "Shipin7f3a (2).mp4");
  join("123456789");
  EXPECT_EQ(scriptedName(), "Shipin7f3a (3).mp4");
  form.onClick(Control::Command1);
  EXPECT_EQ(platform.messages, std::vector<std::string>{convert::kConversionRunning});
  platform.remove("D:\\v\\9999");
  form.onClick(Control::Command2);
  platform.addFile("C:\\tools\\Fok.tmp", "abcde");
  form.onProgressTimer();
  EXPECT_EQ(view.caption, "正在转换 3/5 22% - " + kTitle) << "the read took the batch's caption away";
  EXPECT_EQ(view.taskbarProgress, 44);
  platform.remove("C:\\tools\\Fok.tmp");
  join("");
  EXPECT_EQ(scriptedName(), "Shipin8888.mp4") << "a failure stopped the batch, or the removed folder was started";
  files.freeSpace = 1;
  join(kStream);

  EXPECT_EQ(view.caption, "已转换 2 个视频 - " + kTitle);
  EXPECT_EQ(view.taskbarProgress, std::nullopt);
  EXPECT_EQ(view.flashes, 1);
  EXPECT_TRUE(platform.lockedFolders.empty());
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(
      platform.messages[1].rfind(std::string(convert::kBatchFailed) + "\nT3：" + convert::kOutputIncomplete +
                                     "C:\\tools\\Shipin7f3a (3).mp4（文件不存在）\nT4：" + convert::kSelectedFolderGone,
                                 0),
      0u)
      << platform.messages[1];
  EXPECT_NE(
      platform.messages[1].find("\nT5：已合并 Shipin8888.mp4，未能转成标准MP4：" + std::string(convert::kRemuxNoSpace)),
      std::string::npos)
      << "a video left only joined is not reported";
  EXPECT_EQ(platform.bytesOf("C:\\tools\\Shipin7f3a (2).mp4"), "123456789");
}

// Closing the window ends the video in hand as a single conversion ends and starts no further one; so does an end the
// program could not watch for, since that video may still be growing. A batch of one is shown as a single conversion.
TEST_F(BatchTest, NoFurtherVideoStartsOnceTheProgramEndsOrLosesSightOfTheOneInHand) {
  addVideo(1, "aaaa1", {kStream});
  addVideo(2, "bbbb2", {"b"});
  addVideo(3, "cccc3", {"c"});
  addVideo(4, "dddd4", {"d"});
  read();
  start({0, 1, 2});
  platform.remove("C:\\tools\\Fok.BAT");
  platform.addFile("C:\\tools\\Shipinaaaa.mp4", kStream);
  form.onInterpreterEnded(true);
  ASSERT_TRUE(view.remux);
  engine.onProgress = [&](double) { form.onClose(); };
  form.onRemuxEnded(view.remux->run());
  EXPECT_EQ(platform.runs.size(), 1u) << "a video started after the window was closed";
  EXPECT_EQ(platform.bytesOf("C:\\tools\\Shipinaaaa.mp4"), kStream);

  engine.onProgress = nullptr;
  start({1, 2});
  form.onInterpreterEnded(false);
  EXPECT_EQ(platform.runs.size(), 2u);
  EXPECT_EQ(captionStart(), "已转换 0 个视频");

  // One video left after the checks is shown as a single conversion is.
  platform.remove("D:\\v\\cccc3");
  start({2, 3});
  EXPECT_EQ(platform.messages.size(), 1u);
  form.onProgressTimer();
  EXPECT_EQ(view.caption, "正在转换 0% - " + kTitle);
  join("d");
  EXPECT_EQ(view.caption, "已转换 Shipindddd.mp4 - " + kTitle);
}

}  // namespace
