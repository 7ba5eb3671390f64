#include "platform/win32/interpreter_watch.h"

#include <cstdint>

#include "platform/win32/file_names.h"
#include "platform/win32/processes.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

class Win32ScriptLock final : public ScriptLock {
 public:
  explicit Win32ScriptLock(KernelHandle mutex) : mutex_(std::move(mutex)) {}
  HANDLE handle() const { return mutex_.get(); }

 private:
  KernelHandle mutex_;
};

// One name per folder, however it is spelled: the long form, upper-cased, hashed
// to fit a kernel object's name.
std::wstring scriptLockName(const std::wstring& folder) {
  std::wstring canonical = longFormOf(folder);
  if (!canonical.empty()) CharUpperBuffW(canonical.data(), static_cast<DWORD>(canonical.size()));
  std::uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : canonical) {
    hash ^= static_cast<std::uint16_t>(unit);
    hash *= 1099511628211ull;
  }
  std::wstring name = L"Local\\tdl2mp4-script-";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 0xF];
  return name;
}

void CALLBACK onInterpreterEnded(void* window, BOOLEAN) {
  PostMessageW(static_cast<HWND>(window), kInterpreterEndedMessage, kInterpreterEndSeen, 0);
}

}  // namespace

std::unique_ptr<ScriptLock> lockScriptFolder(const std::string& folder) {
  // Inheritable, so that the interpreter holds it too and the lock outlives this
  // program for as long as the interpreter runs.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  KernelHandle mutex(CreateMutexW(&inheritable, FALSE, scriptLockName(toWide(folder)).c_str()));
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return nullptr;
  return std::make_unique<Win32ScriptLock>(std::move(mutex));
}

Status InterpreterWatch::start(const RunRequest& request, std::unique_ptr<ScriptLock> lock, HWND window) {
  // Only this file makes locks.
  const auto& scriptLock = static_cast<const Win32ScriptLock&>(*lock);
  auto started = startProcess(request, scriptLock.handle());
  if (!started.ok()) return Status::failure(started.error());
  release();
  interpreter_ = std::move(started.value());
  lock_ = std::move(lock);
  if (!RegisterWaitForSingleObject(&wait_, interpreter_.get(), onInterpreterEnded, window, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
    // Without the wait nobody would hear of the end: the check is given up, not the
    // conversion, and the lock the interpreter holds still keeps the next one waiting.
    PostMessageW(window, kInterpreterEndedMessage, 0, 0);
  }
  return Status::success();
}

void InterpreterWatch::release() {
  if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
  wait_ = nullptr;
  interpreter_.reset();
  lock_.reset();
}

}  // namespace platform::win32
