#include "app/main_form.h"

#include "app/settings_file.h"
#include "convert/cache_listing.h"
#include "convert/conversion.h"
#include "convert/messages.h"
#include "convert/output_folder.h"

namespace app {

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
      if (!state_.conversion) view_.setWindowCaption(kWindowCaption);
      convert::ReadCacheFolder(platform_, view_, state_, view_.controlText(Control::Text1));
      break;
    case Control::Command3:
      platform_.end();
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

void MainForm::onClose() { platform_.end(); }

void MainForm::startConversion() {
  const bool wasRunning = state_.conversion.has_value();
  if (!wasRunning) view_.setWindowCaption(kWindowCaption);
  convert::StartConversion(platform_, view_, state_);
  if (wasRunning || !state_.conversion) return;
  view_.startProgressTimer();
  onProgressTimer();
}

void MainForm::onProgressTimer() {
  const auto percent = convert::ConversionProgress(platform_, state_);
  if (!percent) return;
  view_.setWindowCaption(convert::kCaptionConverting + std::to_string(*percent) + "% - " + kWindowCaption);
  view_.showTaskbarProgress(percent);
}

void MainForm::onInterpreterEnded(bool seen) {
  view_.stopProgressTimer();
  view_.showTaskbarProgress(std::nullopt);
  view_.setWindowCaption(kWindowCaption);
  judgeEnd(seen);
  // Only now may another copy start a script: until the end is judged and cleaned up,
  // its script and partial file would be taken for this run's leftovers.
  platform_.releaseInterpreter();
}

void MainForm::judgeEnd(bool seen) {
  // A video whose interpreter may still be writing it cannot be judged yet.
  if (!seen) {
    state_.conversion.reset();
    return;
  }
  if (const auto name = convert::FinishConversion(platform_, state_)) {
    view_.setWindowCaption(convert::kCaptionConverted + *name + " - " + kWindowCaption);
    view_.flashIfInBackground();
  }
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
