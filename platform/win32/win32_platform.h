// The platform operations on Win32: W functions only, UTF-16 at every call.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace platform::win32 {

// Posted to the main window when the interpreter of a conversion has ended; its
// wParam is kInterpreterEndSeen, or 0 where the end could not be watched for.
inline constexpr UINT kInterpreterEndedMessage = WM_APP + 1;
inline constexpr WPARAM kInterpreterEndSeen = 1;

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(std::wstring applicationTitle) : applicationTitle_(std::move(applicationTitle)) {}
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Message boxes are owned by this window, and the dialog manager sees its
  // messages first so that Tab moves the focus.
  void setMainWindow(HWND window) { mainWindow_ = window; }
  void dispatch(MSG& message) const;
  // Lets go of the interpreter once kInterpreterEndedMessage has come.
  void releaseInterpreter();

  std::string AppFolder() override;
  std::string windowsFolder() override;
  std::string systemFolder() override;
  std::string temporaryFolder() override;
  std::string longPath(const std::string& path) override;
  PathKind kindOf(const std::string& path) override;
  Outcome<std::unique_ptr<DirectoryReader>> openDirectory(const std::string& folder, ShortNames shortNames) override;
  std::string formatCreationTime(std::int64_t created) override;
  Outcome<std::string> readFile(const std::string& path) override;
  std::optional<std::uint64_t> fileSize(const std::string& path) override;
  Status deleteFile(const std::string& path) override;
  Status writeFile(const std::string& path, const std::string& bytes) override;
  Status replaceFile(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> encode(const std::string& utf8, CodePage page) override;
  std::string decode(const std::string& bytes, CodePage page) override;
  std::optional<std::string> shortPath(const std::string& path) override;
  Status run(const RunRequest& request) override;
  std::unique_ptr<ScriptLock> lockScriptFolder(const std::string& folder) override;
  Status runInterpreter(const RunRequest& request, std::unique_ptr<ScriptLock> lock) override;
  void message(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void yield() override;
  void end() override;

 private:
  std::wstring applicationTitle_;
  HWND mainWindow_ = nullptr;
  // The running interpreter, the wait that reports its end, and the lock it shares.
  KernelHandle interpreter_;
  HANDLE interpreterWait_ = nullptr;
  std::unique_ptr<ScriptLock> interpreterLock_;
};

// Why the last Win32 call failed, in the system's own words.
std::string lastErrorText();
std::string errorText(DWORD error);
// The last Win32 call's failure as a Status, marked where the system refused the access.
Status lastErrorStatus();

}  // namespace platform::win32
