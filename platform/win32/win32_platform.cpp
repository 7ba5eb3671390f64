#include "platform/win32/win32_platform.h"

#include "platform/win32/code_pages.h"
#include "platform/win32/file_names.h"
#include "platform/win32/files.h"
#include "platform/win32/folder_reader.h"
#include "platform/win32/message_boxes.h"
#include "platform/win32/message_loop.h"
#include "platform/win32/processes.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// Settings files are a line long; anything far larger is not ours to load.
constexpr std::uint64_t kLargestFileRead = 1 << 20;

}  // namespace

std::string Win32Platform::AppFolder() { return appFolder(); }
std::string Win32Platform::windowsFolder() { return win32::windowsFolder(); }
std::string Win32Platform::systemFolder() { return win32::systemFolder(); }
std::string Win32Platform::temporaryFolder() { return win32::temporaryFolder(); }
std::string Win32Platform::longPath(const std::string& path) { return toUtf8(longFormOf(toWide(path))); }
std::optional<std::string> Win32Platform::shortPath(const std::string& path) { return shortFormOf(path); }

PathKind Win32Platform::kindOf(const std::string& path) { return win32::kindOf(path); }
bool Win32Platform::isLink(const std::string& path) { return win32::isLink(path); }
std::optional<FileStamp> Win32Platform::fileStamp(const std::string& path) { return win32::fileStamp(path); }
Outcome<std::unique_ptr<DirectoryReader>> Win32Platform::openDirectory(const std::string& folder,
                                                                       ShortNames shortNames) {
  return win32::openDirectory(folder, shortNames);
}
std::string Win32Platform::formatCreationTime(std::int64_t created) { return win32::formatCreationTime(created); }
Outcome<std::string> Win32Platform::readFile(const std::string& path) {
  return win32::readFile(path, kLargestFileRead);
}
std::optional<std::uint64_t> Win32Platform::fileSize(const std::string& path) { return win32::fileSize(path); }
Status Win32Platform::deleteFile(const std::string& path) { return win32::deleteFile(path); }
Status Win32Platform::writeFile(const std::string& path, const std::string& bytes) {
  return win32::writeFile(path, bytes);
}
Status Win32Platform::replaceFile(const std::string& path, const std::string& bytes) {
  return win32::replaceFile(path, bytes);
}

std::optional<std::string> Win32Platform::encode(const std::string& utf8, CodePage page) {
  return win32::encode(utf8, page);
}
std::string Win32Platform::decode(const std::string& bytes, CodePage page) { return win32::decode(bytes, page); }

Status Win32Platform::run(const RunRequest& request) {
  auto started = startProcess(request);
  return started.ok() ? Status::success() : Status::failure(started.error());
}
std::unique_ptr<ScriptLock> Win32Platform::lockScriptFolder(const std::string& folder) {
  return win32::lockScriptFolder(folder);
}
Status Win32Platform::runInterpreter(const RunRequest& request, std::unique_ptr<ScriptLock> lock) {
  // Before the window exists there is nobody to tell of the end, and no conversion to start.
  if (!interpreterWatch_) return Status::failure("no window to report to");
  return interpreterWatch_->start(request, std::move(lock), window_);
}

void Win32Platform::releaseInterpreter() {
  if (interpreterWatch_) interpreterWatch_->release();
}

void Win32Platform::message(const std::string& text) { showMessage(window_, applicationTitle_, text); }
bool Win32Platform::askYesNo(const std::string& text) { return win32::askYesNo(window_, applicationTitle_, text); }
void Win32Platform::yield() { dispatchPending(window_); }
void Win32Platform::end() { ExitProcess(0); }

}  // namespace platform::win32
