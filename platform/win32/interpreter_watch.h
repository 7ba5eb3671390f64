// One script at a time per folder, across every copy of the program, and the
// watch that tells the window when the interpreter running it has ended.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace platform::win32 {

// Posted to the watching window when the interpreter has ended; its wParam is
// kInterpreterEndSeen, or 0 where the end could not be watched for.
inline constexpr UINT kInterpreterEndedMessage = WM_APP + 1;
inline constexpr WPARAM kInterpreterEndSeen = 1;

// The folder's lock, or nothing while this or another copy holds it or an interpreter started with it still runs.
std::unique_ptr<ScriptLock> lockScriptFolder(const std::string& folder);

class InterpreterWatch {
 public:
  InterpreterWatch() = default;
  InterpreterWatch(const InterpreterWatch&) = delete;
  InterpreterWatch& operator=(const InterpreterWatch&) = delete;
  ~InterpreterWatch() { release(); }

  // Starts the interpreter with the lock, which the interpreter inherits, so that it stays taken until the
  // interpreter ends, even if this program ends first; `window` hears of the end.
  Status start(const RunRequest& request, std::unique_ptr<ScriptLock> lock, HWND window);
  // Lets go of the interpreter and this program's hold on the lock; the wait is gone once it returns.
  void release();

 private:
  KernelHandle interpreter_;
  HANDLE wait_ = nullptr;
  std::unique_ptr<ScriptLock> lock_;
};

}  // namespace platform::win32
