// What the window's logic needs of the window: it sets and gets, nothing more.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/form_layout.h"
#include "convert/list_view.h"
#include "convert/remux_step.h"

namespace app {

class FormView : public convert::ListView {
 public:
  virtual std::string controlText(Control control) = 0;
  virtual void setControlText(Control control, const std::string& text) = 0;
  virtual void setWindowCaption(const std::string& text) = 0;
  // While a conversion runs, a timer calls MainForm::onProgressTimer a few times a second.
  virtual void startProgressTimer() = 0;
  virtual void stopProgressTimer() = 0;
  // The taskbar button's progress bar where the system has one; nothing shows none.
  virtual void showTaskbarProgress(std::optional<int> percent) = 0;
  // Draws the user's eye to the window when it is not in front.
  virtual void flashIfInBackground() = 0;
  // Runs the remux away from the window's thread; MainForm::onRemuxEnded follows
  // once it is over, with what run() gave.
  virtual void startRemux(std::shared_ptr<convert::RemuxJob> job) = 0;
  // Waits, briefly, for a cancelled remux to have cleaned up before the program ends.
  virtual void awaitRemux() = 0;
};

}  // namespace app
