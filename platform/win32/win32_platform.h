// The platform operations on Win32: W functions only, UTF-16 at every call.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform::win32 {

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(std::wstring applicationTitle) : applicationTitle_(std::move(applicationTitle)) {}

  // Message boxes are owned by this window, and the dialog manager sees its
  // messages first so that Tab moves the focus.
  void setMainWindow(HWND window) { mainWindow_ = window; }
  void dispatch(MSG& message) const;

  std::string AppFolder() override;
  std::string windowsFolder() override;
  std::string exists(const std::string& path, unsigned mask) override;
  PathKind kindOf(const std::string& path) override;
  Outcome<std::unique_ptr<DirectoryReader>> openDirectory(const std::string& folder) override;
  std::string formatCreationTime(std::int64_t created) override;
  Outcome<std::string> readFile(const std::string& path) override;
  Status writeFile(const std::string& path, const std::string& bytes) override;
  Status replaceFile(const std::string& path, const std::string& bytes) override;
  std::optional<std::string> encode(const std::string& utf8, CodePage page) override;
  std::string decode(const std::string& bytes, CodePage page) override;
  std::optional<std::string> shortPath(const std::string& path) override;
  Status run(const RunRequest& request) override;
  void message(const std::string& text) override;
  void yield() override;
  void end() override;

 private:
  std::wstring applicationTitle_;
  HWND mainWindow_ = nullptr;
};

// Why the last Win32 call failed, in the system's own words.
std::string lastErrorText();
std::string errorText(DWORD error);

}  // namespace platform::win32
