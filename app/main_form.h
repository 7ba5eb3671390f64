// The main window's behaviour: the load step and what each button does.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/form_layout.h"
#include "app/form_view.h"
#include "convert/batch.h"
#include "convert/cache_state.h"
#include "convert/remux_step.h"
#include "platform/platform.h"

namespace app {

class MainForm {
 public:
  MainForm(FormView& view, platform::Platform& platform, convert::RemuxFiles& remuxFiles,
           convert::RemuxEngine& remuxEngine);

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
  // The remux the view started has ended.
  void onRemuxEnded(const convert::RemuxReport& report);

  // The path box's own ways in: Enter while it has the focus reads, as the read
  // button does; a folder dropped on the window is read as if typed.
  void onEnterKey(Control focused);
  void onDrop(const std::string& firstItem);
  // While the box shows its stored text, which is no path, focusing it selects that
  // text, so that pasting or typing replaces it.
  bool pathBoxSelectsAllOnFocus();

 private:
  void startConversion();
  void startBatch(const std::vector<int>& selected);
  // Starts the batch's next video that can be started; ends the batch after its last.
  void continueBatch();
  void endBatch();
  void endProgram();
  void showProgress(int percent);
  void showEnd(const std::string& captionStart);
  void judgeEnd(bool seen);

  FormView& view_;
  platform::Platform& platform_;
  convert::CacheState state_;
  convert::RemuxFiles& remuxFiles_;
  convert::RemuxEngine& remuxEngine_;
  std::shared_ptr<convert::RemuxJob> remux_;
  std::optional<convert::Batch> batch_;
  int shownPercent_ = 0;
};

}  // namespace app
