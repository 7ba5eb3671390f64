// The operations the program's logic calls, carried out by the Win32 area that does each.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/interpreter_watch.h"

namespace platform::win32 {

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(std::wstring applicationTitle) : applicationTitle_(std::move(applicationTitle)) {}

  // From here on message boxes belong to the window, waiting messages go through its dialog manager, and
  // conversions are watched by its watch.
  void attachWindow(HWND window, InterpreterWatch& watch) {
    window_ = window;
    interpreterWatch_ = &watch;
  }

  std::string AppFolder() override;
  std::string windowsFolder() override;
  std::string systemFolder() override;
  std::string temporaryFolder() override;
  std::string longPath(const std::string& path) override;
  PathKind kindOf(const std::string& path) override;
  bool isLink(const std::string& path) override;
  std::optional<FileStamp> fileStamp(const std::string& path) override;
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
  void releaseInterpreter() override;
  void message(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void yield() override;
  void end() override;

 private:
  std::wstring applicationTitle_;
  HWND window_ = nullptr;
  InterpreterWatch* interpreterWatch_ = nullptr;
};

}  // namespace platform::win32
