#include "platform/win32/files.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/error_text.h"
#include "platform/win32/file_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/split_values.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

Status writeAll(HANDLE file, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < length) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes + done, chunk, &written, nullptr) || written == 0) return lastErrorStatus();
    done += written;
  }
  return Status::success();
}

namespace {

// The program writes only files of its own beside itself: a link put under one of
// their names must not carry the bytes to wherever it points.
Status writeNewFile(const std::wstring& path, const std::string& bytes, DWORD flags) {
  FileHandle file(CreateFileW(forFileApi(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr));
  if (!file) return lastErrorStatus();
  Status written = writeAll(file.get(), bytes.data(), bytes.size());
  if (written.ok() && (flags & FILE_FLAG_WRITE_THROUGH) && !FlushFileBuffers(file.get())) {
    written = lastErrorStatus();
  }
  return written;
}

}  // namespace

PathKind kindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(forFileApi(toWide(path)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool isLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(forFileApi(toWide(path)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<FileStamp> fileStamp(const std::string& path) {
  // No access asked for, so a player holding the video open does not stand in the way.
  FileHandle file(CreateFileW(forFileApi(toWide(path)).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file || !GetFileInformationByHandle(file.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return FileStamp{information.dwVolumeSerialNumber, joinHalves(information.nFileIndexHigh, information.nFileIndexLow),
                   ticksOf(information.ftLastWriteTime)};
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(forFileApi(toWide(path)).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return joinHalves(data.nFileSizeHigh, data.nFileSizeLow);
}

Outcome<std::string> readFile(const std::string& path, std::uint64_t largest) {
  FileHandle file(CreateFileW(forFileApi(toWide(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Outcome<std::string>::failure(lastErrorText());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return Outcome<std::string>::failure(lastErrorText());
  if (static_cast<std::uint64_t>(size.QuadPart) > largest) return Outcome<std::string>::failure("file too large");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) {
      return Outcome<std::string>::failure(lastErrorText());
    }
    if (read == 0) break;
    done += read;
  }
  bytes.resize(done);
  return Outcome<std::string>::success(std::move(bytes));
}

Status writeFile(const std::string& path, const std::string& bytes) { return writeNewFile(toWide(path), bytes, 0); }

Status replaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring target = toWide(path);
  const std::wstring temporary = target + toWide(kReplacementSuffix);
  Status written = writeNewFile(temporary, bytes, FILE_FLAG_WRITE_THROUGH);
  if (written.ok() && !MoveFileExW(forFileApi(temporary).c_str(), forFileApi(target).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // The new file was written, so the folder may be written: a denied move is the old file's doing (held open,
    // read-only), which moving the program would not help.
    written = Status::failure(lastErrorText());
  }
  if (!written.ok()) DeleteFileW(forFileApi(temporary).c_str());
  return written;
}

Status deleteFile(const std::string& path) {
  if (!DeleteFileW(forFileApi(toWide(path)).c_str())) return lastErrorStatus();
  return Status::success();
}

}  // namespace platform::win32
