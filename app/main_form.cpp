#include "app/main_form.h"

#include <algorithm>

#include "app/settings_file.h"
#include "convert/cache_listing.h"
#include "convert/conversion.h"
#include "convert/messages.h"
#include "convert/output_folder.h"

namespace app {

MainForm::MainForm(FormView& view, platform::Platform& platform, convert::RemuxFiles& remuxFiles,
                   convert::RemuxEngine& remuxEngine)
    : view_(view), platform_(platform), remuxFiles_(remuxFiles), remuxEngine_(remuxEngine) {
  // The MP4 of a video converted before has another size than its fragments; its tag tells it.
  state_.readTag = [this](const std::string& path) -> std::optional<media::SourceTag> {
    const auto source = remuxFiles_.openForReading(path);
    return source ? remuxEngine_.readTag(*source) : std::nullopt;
  };
}

void MainForm::onLoad() {
  if (auto saved = LoadSavedPath(platform_)) view_.setControlText(Control::Text1, *saved);
  for (Control control : kCaptionOrder) view_.setControlText(control, layoutOf(control).loadCaption);
  view_.setWindowCaption(kWindowCaption);
}

void MainForm::onShown() { convert::RemoveInterruptedRun(platform_); }

void MainForm::onClick(Control button) {
  switch (button) {
    case Control::Command1:
      // A click that arrives while a walk yields is dropped: a second walk would
      // refill the list under the first one's feet.
      if (!state_.walking) startConversion();
      break;
    case Control::Command2:
      if (state_.walking) break;
      // The caption tells of the last conversion until the user moves on, but of a running one to its end.
      if (!state_.conversion && !remux_) view_.setWindowCaption(kWindowCaption);
      convert::ReadCacheFolder(platform_, view_, state_, view_.controlText(Control::Text1));
      break;
    case Control::Command3:
      endProgram();
      break;
    case Control::Command4:
      SaveCachePath(platform_, view_.controlText(Control::Text1));
      break;
    case Control::Command5:
      convert::OpenOutputFolder(platform_);
      break;
    default:
      break;
  }
}

void MainForm::onClose() { endProgram(); }

// A running remux is stopped first: it removes its unfinished MP4, and the join keeps the video's name.
void MainForm::endProgram() {
  if (remux_) {
    remux_->cancel();
    view_.awaitRemux();
  }
  platform_.end();
}

void MainForm::startConversion() {
  // The remux holds the lock the interpreter had, and a batch has more to convert: neither is over yet.
  if (remux_ || batch_) {
    platform_.message(convert::kConversionRunning);
    return;
  }
  const std::vector<int> selected = view_.selectedListIndices();
  if (selected.size() > 1 && !state_.conversion) {
    startBatch(selected);
    return;
  }
  const bool wasRunning = state_.conversion.has_value();
  if (!wasRunning) view_.setWindowCaption(kWindowCaption);
  convert::StartConversion(platform_, view_, state_);
  if (wasRunning || !state_.conversion) return;
  shownPercent_ = 0;
  view_.startProgressTimer();
  onProgressTimer();
}

void MainForm::startBatch(const std::vector<int>& selected) {
  view_.setWindowCaption(kWindowCaption);
  convert::Batch batch = convert::Batch::Prepare(platform_, state_, selected);
  // Without the system's interpreter nothing happens, as with a single video.
  if (batch.empty() || !convert::InterpreterPresent(platform_)) return;
  batch_ = std::move(batch);
  continueBatch();
}

void MainForm::continueBatch() {
  while (const convert::CacheFolder* video = batch_->next()) {
    // The folder is read again: the client may have added to it since the click.
    const convert::FolderCheck check = convert::CheckFragmentFolder(platform_, state_, *video);
    const std::string refusal = check.refusal.empty()
                                    ? convert::StartJoin(platform_, state_, *video, check.fragments, batch_->names())
                                    : check.refusal;
    if (refusal.empty()) {
      batch_->took(state_.conversion->outputName);
      shownPercent_ = 0;
      view_.startProgressTimer();
      onProgressTimer();
      return;
    }
    batch_->failed(refusal);
  }
  endBatch();
}

void MainForm::endBatch() {
  const convert::Batch ended = std::move(*batch_);
  batch_.reset();
  showEnd(ended.endCaption());
  view_.flashIfInBackground();
  const std::string report = ended.report();
  if (!report.empty()) platform_.message(report);
}

void MainForm::onProgressTimer() {
  if (remux_) {
    showProgress(convert::ConversionPercent(std::nullopt, remux_->percent()));
  } else if (const auto joined = convert::ConversionProgress(platform_, state_)) {
    showProgress(convert::ConversionPercent(joined, std::nullopt));
  }
}

void MainForm::showProgress(int percent) {
  shownPercent_ = std::max(shownPercent_, percent);
  if (batch_ && batch_->size() > 1) {
    view_.setWindowCaption(batch_->progressCaption(shownPercent_) + " - " + kWindowCaption);
    view_.showTaskbarProgress(batch_->overallPercent(shownPercent_));
    return;
  }
  view_.setWindowCaption(convert::kCaptionConverting + std::to_string(shownPercent_) + "% - " + kWindowCaption);
  view_.showTaskbarProgress(shownPercent_);
}

void MainForm::showEnd(const std::string& captionStart) {
  view_.stopProgressTimer();
  view_.showTaskbarProgress(std::nullopt);
  view_.setWindowCaption(captionStart.empty() ? std::string(kWindowCaption) : captionStart + " - " + kWindowCaption);
}

void MainForm::onInterpreterEnded(bool seen) {
  judgeEnd(seen);
  // Only now may another copy start a script: until the end is judged and cleaned up,
  // its script and partial file would be taken for this run's leftovers. The remux
  // belongs to the conversion and keeps the lock until it ends.
  if (remux_) return;
  platform_.releaseInterpreter();
  if (batch_) continueBatch();
}

void MainForm::judgeEnd(bool seen) {
  // A video whose interpreter may still be writing it cannot be judged yet.
  // Nor may another start while it could still be writing.
  if (!seen) {
    state_.conversion.reset();
    if (batch_) batch_->stop();
    showEnd({});
    return;
  }
  const std::optional<convert::RunningConversion> ended = state_.conversion;
  view_.stopProgressTimer();
  const convert::JoinEnd joined = convert::FinishJoin(platform_, state_);
  if (!joined.name || !ended) {
    if (batch_) {
      batch_->failed(joined.failure);
      return;
    }
    if (!joined.failure.empty()) platform_.message(joined.failure);
    showEnd({});
    return;
  }
  remux_ =
      std::make_shared<convert::RemuxJob>(remuxFiles_, remuxEngine_, ended->appFolder, *joined.name, ended->folder);
  view_.startProgressTimer();
  onProgressTimer();
  view_.startRemux(remux_);
}

void MainForm::onRemuxEnded(const convert::RemuxReport& report) {
  if (!remux_) return;
  const std::string name = remux_->videoName();
  remux_.reset();
  if (batch_) {
    batch_->ended(name, report);
    platform_.releaseInterpreter();
    continueBatch();
    return;
  }
  showEnd(convert::FinishedCaption(name, report));
  platform_.releaseInterpreter();
  view_.flashIfInBackground();
}

void MainForm::onEnterKey(Control focused) {
  if (focused == Control::Text1) onClick(Control::Command2);
}

void MainForm::onDrop(const std::string& firstItem) {
  view_.setControlText(Control::Text1, firstItem);
  onClick(Control::Command2);
}

bool MainForm::pathBoxSelectsAllOnFocus() {
  return view_.controlText(Control::Text1) == layoutOf(Control::Text1).storedText;
}

}  // namespace app
