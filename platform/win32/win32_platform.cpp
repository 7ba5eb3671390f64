#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "platform/paths.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

// Settings files are a line long; anything far larger is not ours to load.
constexpr LONGLONG kLargestFileRead = 1 << 20;

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// Paths near or past MAX_PATH only work in their \\?\ form, which must be a full,
// normalised path.
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

std::wstring withoutExtendedPrefix(const std::wstring& path) {
  const auto plain = PlainFormOf(toUtf8(path));
  return plain ? toWide(*plain) : path;
}

bool isDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

std::int64_t ticksOf(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

DirectoryEntry entryOf(const WIN32_FIND_DATAW& data) {
  return {toUtf8(data.cFileName), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, ticksOf(data.ftCreationTime),
          (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, toUtf8(data.cAlternateFileName)};
}

FindHandle findFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data, ShortNames shortNames = ShortNames::Skip) {
  const FINDEX_INFO_LEVELS level = shortNames == ShortNames::Report ? FindExInfoStandard : FindExInfoBasic;
  data.cAlternateFileName[0] = L'\0';
  return FindHandle(FindFirstFileExW(forFileApi(pattern).c_str(), level, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
}

class Win32ScriptLock final : public ScriptLock {
 public:
  explicit Win32ScriptLock(KernelHandle mutex) : mutex_(std::move(mutex)) {}
  HANDLE handle() const { return mutex_.get(); }

 private:
  KernelHandle mutex_;
};

// The long form of an existing path, without the \\?\ prefix the call may need; the
// path itself where it has none.
std::wstring longFormOf(const std::wstring& path) {
  const std::wstring given = forFileApi(path);
  const DWORD size = GetLongPathNameW(given.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring longForm(size, L'\0');
  const DWORD length = GetLongPathNameW(given.c_str(), longForm.data(), size);
  if (length == 0 || length >= size) return path;
  longForm.resize(length);
  return withoutExtendedPrefix(longForm);
}

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

void CALLBACK onInterpreterEnded(void* mainWindow, BOOLEAN) {
  PostMessageW(static_cast<HWND>(mainWindow), kInterpreterEndedMessage, kInterpreterEndSeen, 0);
}

class Win32DirectoryReader final : public DirectoryReader {
 public:
  Win32DirectoryReader(FindHandle find, const WIN32_FIND_DATAW& first)
      : find_(std::move(find)), data_(first), havePending_(static_cast<bool>(find_)) {}

  std::optional<DirectoryEntry> next() override {
    while (havePending_) {
      const DirectoryEntry entry = entryOf(data_);
      const bool skip = isDotEntry(data_.cFileName);
      advance();
      if (!skip) return entry;
    }
    return std::nullopt;
  }

  std::string error() const override { return error_; }

 private:
  void advance() {
    if (FindNextFileW(find_.get(), &data_)) return;
    havePending_ = false;
    const DWORD failure = GetLastError();
    if (failure != ERROR_NO_MORE_FILES) error_ = errorText(failure);
  }

  FindHandle find_;
  WIN32_FIND_DATAW data_;
  bool havePending_;
  std::string error_;
};

Status writeAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return lastErrorStatus();
    }
    done += written;
  }
  return Status::success();
}

Status writeNewFile(const std::wstring& path, const std::string& bytes, DWORD flags) {
  FileHandle file(CreateFileW(forFileApi(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | flags, nullptr));
  if (!file) return lastErrorStatus();
  Status written = writeAll(file.get(), bytes);
  if (written.ok() && (flags & FILE_FLAG_WRITE_THROUGH) && !FlushFileBuffers(file.get())) {
    written = lastErrorStatus();
  }
  return written;
}

UINT codePageOf(CodePage page) { return page == CodePage::Ansi ? GetACP() : GetOEMCP(); }

std::wstring decodeWide(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  return wide;
}

// Starts the program; with a handle to hand on, the child inherits that handle and no other.
Outcome<KernelHandle> startProcess(const RunRequest& request, HANDLE inherited) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow =
      static_cast<WORD>(request.style == WindowStyle::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  std::vector<unsigned char> attributes;
  if (inherited) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size) ||
        !UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inherited,
                                   sizeof inherited, nullptr, nullptr)) {
      return Outcome<KernelHandle>::failure(lastErrorText());
    }
  }
  const std::wstring program = toWide(request.program);
  std::wstring commandLine = toWide(request.commandLine);
  const std::wstring folder = toWide(request.workingDirectory);
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.empty() ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr,
                                      inherited != nullptr, inherited ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &process);
  const DWORD failure = GetLastError();
  if (inherited) DeleteProcThreadAttributeList(startup.lpAttributeList);
  if (!started) return Outcome<KernelHandle>::failure(errorText(failure));
  const KernelHandle thread(process.hThread);
  return Outcome<KernelHandle>::success(KernelHandle(process.hProcess));
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

std::string errorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length ? std::wstring(text, length) : L"";
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
  std::string described = toUtf8(wide);
  return described.empty() ? "Windows error " + std::to_string(error) : described;
}

std::string lastErrorText() { return errorText(GetLastError()); }

Status lastErrorStatus() {
  const DWORD error = GetLastError();
  // What a folder that may not be written answers: a protected folder such as Program Files, a read-only share or
  // medium. A file held open by another program (sharing or lock violation) is not the folder's fault.
  const bool denied =
      error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NETWORK_ACCESS_DENIED;
  return Status::failure(errorText(error), denied);
}

void Win32Platform::dispatch(MSG& message) const {
  if (mainWindow_ && IsDialogMessageW(mainWindow_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

std::string Win32Platform::AppFolder() {
  std::wstring folder = withoutExtendedPrefix(moduleFileName());
  const auto separator = folder.find_last_of(L'\\');
  if (separator != std::wstring::npos) folder.erase(separator);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return toUtf8(folder);
}

std::string Win32Platform::windowsFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "C:\\Windows";
  return toUtf8(buffer, static_cast<int>(length));
}

std::string Win32Platform::systemFolder() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return JoinPath(windowsFolder(), "System32");
  return toUtf8(buffer, static_cast<int>(length));
}

std::string Win32Platform::temporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return toUtf8(buffer, static_cast<int>(length));
}

std::string Win32Platform::longPath(const std::string& path) { return toUtf8(longFormOf(toWide(path))); }

PathKind Win32Platform::kindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(forFileApi(toWide(path)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

Outcome<std::unique_ptr<DirectoryReader>> Win32Platform::openDirectory(const std::string& folder,
                                                                       ShortNames shortNames) {
  std::wstring pattern = toWide(folder);
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data{};
  FindHandle find = findFirst(pattern, data, shortNames);
  // An empty drive root has no "." entry, so "nothing found" is an empty folder
  // there, not a failure.
  if (!find && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return Outcome<std::unique_ptr<DirectoryReader>>::failure(lastErrorText());
  }
  return Outcome<std::unique_ptr<DirectoryReader>>::success(
      std::make_unique<Win32DirectoryReader>(std::move(find), data));
}

std::string Win32Platform::formatCreationTime(std::int64_t created) {
  const auto ticks = static_cast<ULONGLONG>(created);
  const FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  wchar_t date[96];
  wchar_t time[96];
  const int dateLength = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 96);
  const int timeLength = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 96);
  if (dateLength <= 0 || timeLength <= 0) return {};
  return toUtf8(std::wstring(date) + L" " + time);
}

Outcome<std::string> Win32Platform::readFile(const std::string& path) {
  FileHandle file(CreateFileW(forFileApi(toWide(path)).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Outcome<std::string>::failure(lastErrorText());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return Outcome<std::string>::failure(lastErrorText());
  if (size.QuadPart > kLargestFileRead) return Outcome<std::string>::failure("file too large");
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return Outcome<std::string>::failure(lastErrorText());
  }
  bytes.resize(read);
  return Outcome<std::string>::success(std::move(bytes));
}

std::optional<std::uint64_t> Win32Platform::fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(forFileApi(toWide(path)).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Status Win32Platform::deleteFile(const std::string& path) {
  if (!DeleteFileW(forFileApi(toWide(path)).c_str())) return lastErrorStatus();
  return Status::success();
}

Status Win32Platform::writeFile(const std::string& path, const std::string& bytes) {
  return writeNewFile(toWide(path), bytes, 0);
}

Status Win32Platform::replaceFile(const std::string& path, const std::string& bytes) {
  const std::wstring target = toWide(path);
  const std::wstring temporary = target + L".new";
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

std::optional<std::string> Win32Platform::encode(const std::string& utf8, CodePage page) {
  const std::wstring wide = toWide(utf8);
  if (wide.empty()) return std::string();
  const UINT codePage = codePageOf(page);
  const int size =
      WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
  // A character the code page lacks comes out as '?' or a look-alike; only an exact
  // round trip proves the bytes say what the text says.
  if (decodeWide(bytes, codePage) != wide) return std::nullopt;
  return bytes;
}

std::string Win32Platform::decode(const std::string& bytes, CodePage page) {
  return toUtf8(decodeWide(bytes, codePageOf(page)));
}

std::optional<std::string> Win32Platform::shortPath(const std::string& path) {
  const std::wstring longPath = forFileApi(toWide(path));
  const DWORD size = GetShortPathNameW(longPath.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring shortened(size, L'\0');
  const DWORD length = GetShortPathNameW(longPath.c_str(), shortened.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  shortened.resize(length);
  return toUtf8(withoutExtendedPrefix(shortened));
}

// The wait must be gone before the window it posts to; the interpreter runs on.
Win32Platform::~Win32Platform() { releaseInterpreter(); }

Status Win32Platform::run(const RunRequest& request) {
  auto started = startProcess(request, nullptr);
  if (!started.ok()) return Status::failure(started.error());
  return Status::success();
}

std::unique_ptr<ScriptLock> Win32Platform::lockScriptFolder(const std::string& folder) {
  // Inheritable, so that the interpreter holds it too and the lock outlives this
  // program for as long as the interpreter runs.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  KernelHandle mutex(CreateMutexW(&inheritable, FALSE, scriptLockName(toWide(folder)).c_str()));
  if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return nullptr;
  return std::make_unique<Win32ScriptLock>(std::move(mutex));
}

Status Win32Platform::runInterpreter(const RunRequest& request, std::unique_ptr<ScriptLock> lock) {
  // Only this platform makes locks.
  const auto& scriptLock = static_cast<const Win32ScriptLock&>(*lock);
  auto started = startProcess(request, scriptLock.handle());
  if (!started.ok()) return Status::failure(started.error());
  releaseInterpreter();
  interpreter_ = std::move(started.value());
  interpreterLock_ = std::move(lock);
  if (!RegisterWaitForSingleObject(&interpreterWait_, interpreter_.get(), onInterpreterEnded, mainWindow_, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    interpreterWait_ = nullptr;
    // Without the wait nobody would hear of the end: the check is given up, not the
    // conversion, and the lock the interpreter holds still keeps the next one waiting.
    PostMessageW(mainWindow_, kInterpreterEndedMessage, 0, 0);
  }
  return Status::success();
}

void Win32Platform::releaseInterpreter() {
  if (interpreterWait_) UnregisterWaitEx(interpreterWait_, INVALID_HANDLE_VALUE);
  interpreterWait_ = nullptr;
  interpreter_.reset();
  interpreterLock_.reset();
}

void Win32Platform::message(const std::string& text) {
  MessageBoxW(mainWindow_, toWide(text).c_str(), applicationTitle_.c_str(), MB_OK);
}

bool Win32Platform::askYesNo(const std::string& text) {
  return MessageBoxW(mainWindow_, toWide(text).c_str(), applicationTitle_.c_str(), MB_YESNO) == IDYES;
}

void Win32Platform::yield() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    dispatch(message);
  }
}

void Win32Platform::end() { ExitProcess(0); }

}  // namespace platform::win32
