#include "app/main_form.h"

#include "app/settings_file.h"
#include "convert/cache_listing.h"
#include "convert/merge_script.h"

namespace app {

void MainForm::onLoad() {
  if (auto saved = LoadSavedPath(platform_)) view_.setControlText(Control::Text1, *saved);
  for (Control control : kCaptionOrder) view_.setControlText(control, layoutOf(control).loadCaption);
  view_.setWindowCaption(kWindowCaption);
}

void MainForm::onClick(Control button) {
  switch (button) {
    case Control::Command1:
      // A click that arrives while a walk yields is dropped: a second walk would
      // refill the list under the first one's feet.
      if (!state_.walking) convert::StartConversion(platform_, view_, state_);
      break;
    case Control::Command2:
      if (!state_.walking) convert::ReadCacheFolder(platform_, view_, state_, view_.controlText(Control::Text1));
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

void MainForm::onInterpreterEnded(bool seen) {
  // A video whose interpreter may still be writing it cannot be judged yet.
  if (seen) {
    convert::FinishConversion(platform_, state_);
  } else {
    state_.conversion.reset();
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
