#include "platform/win32/file_names.h"

#include <windows.h>

#include <cwchar>

#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

std::wstring withoutExtendedPrefix(const std::wstring& path) {
  const auto plain = PlainFormOf(toUtf8(path));
  return plain ? toWide(*plain) : path;
}

std::wstring moduleFileName() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::wstring forFileApi(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || startsWith(path, kExtendedPrefix)) return path;
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (written == 0 || written >= size) return path;
  full.resize(written);
  if (startsWith(full, L"\\\\")) return kExtendedUncPrefix + full.substr(2);
  return kExtendedPrefix + full;
}

std::string appFolder() {
  std::wstring folder = withoutExtendedPrefix(moduleFileName());
  const auto separator = folder.find_last_of(L'\\');
  if (separator != std::wstring::npos) folder.erase(separator);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return toUtf8(folder);
}

std::string windowsFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "C:\\Windows";
  return toUtf8(buffer, static_cast<int>(length));
}

std::string systemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return JoinPath(windowsFolder(), "System32");
  return toUtf8(buffer, static_cast<int>(length));
}

std::string temporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return toUtf8(buffer, static_cast<int>(length));
}

std::wstring longFormOf(const std::wstring& path) {
  const std::wstring given = forFileApi(path);
  // Each call looks up every name of the path on disk, and start-up asks for two paths before
  // its window shows: a single call where the long form fits the given length and then some.
  std::wstring longForm(given.size() + MAX_PATH, L'\0');
  DWORD length = GetLongPathNameW(given.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
  if (length >= longForm.size()) {
    longForm.resize(length);
    length = GetLongPathNameW(given.c_str(), longForm.data(), length);
  }
  if (length == 0 || length >= longForm.size()) return path;
  longForm.resize(length);
  return withoutExtendedPrefix(longForm);
}

std::optional<std::string> shortFormOf(const std::string& path) {
  const std::wstring longPath = forFileApi(toWide(path));
  const DWORD size = GetShortPathNameW(longPath.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring shortened(size, L'\0');
  const DWORD length = GetShortPathNameW(longPath.c_str(), shortened.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  shortened.resize(length);
  return toUtf8(withoutExtendedPrefix(shortened));
}

}  // namespace platform::win32
