// The main window's behaviour: the load step and what each button does.
#pragma once

#include "app/form_layout.h"
#include "app/form_view.h"
#include "convert/cache_state.h"
#include "platform/platform.h"

namespace app {

class MainForm {
 public:
  MainForm(FormView& view, platform::Platform& platform) : view_(view), platform_(platform) {}

  void onLoad();
  void onClick(Control button);
  // The close box ends the program just as the end button does.
  void onClose();
  // The command interpreter of the last conversion has ended, or (not seen) can no
  // longer be watched for.
  void onInterpreterEnded(bool seen);
  void onProgressTimer();

 private:
  void startConversion();

  FormView& view_;
  platform::Platform& platform_;
  convert::CacheState state_;
};

}  // namespace app
