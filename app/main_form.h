// The main window's behaviour: the load step and what each button does.
#pragma once

#include <string>

#include "app/form_layout.h"
#include "app/form_view.h"
#include "convert/cache_state.h"
#include "platform/platform.h"

namespace app {

class MainForm {
 public:
  MainForm(FormView& view, platform::Platform& platform) : view_(view), platform_(platform) {}

  void onLoad();
  // Once the window has shown: start-up work that its first paint need not wait for.
  void onShown();
  void onClick(Control button);
  // The close box ends the program just as the end button does.
  void onClose();
  // The command interpreter of the last conversion has ended, or (not seen) can no
  // longer be watched for.
  void onInterpreterEnded(bool seen);
  void onProgressTimer();

  // The path box's own ways in: Enter while it has the focus reads, as the read
  // button does; a folder dropped on the window is read as if typed.
  void onEnterKey(Control focused);
  void onDrop(const std::string& firstItem);
  // While the box shows its stored text, which is no path, focusing it selects that
  // text, so that pasting or typing replaces it.
  bool pathBoxSelectsAllOnFocus();

 private:
  void startConversion();
  void judgeEnd(bool seen);

  FormView& view_;
  platform::Platform& platform_;
  convert::CacheState state_;
};

}  // namespace app
