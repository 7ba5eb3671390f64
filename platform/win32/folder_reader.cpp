#include "platform/win32/folder_reader.h"

#include <windows.h>

#include <cwchar>

#include "platform/win32/error_text.h"
#include "platform/win32/file_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/split_values.h"
#include "platform/win32/wide.h"

namespace platform::win32 {
namespace {

bool isDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

// UTF-8 has no form for such a name: the conversion puts U+FFFD in its place.
bool hasUnpairedSurrogate(const wchar_t* name) {
  const auto isHigh = [](wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
  const auto isLow = [](wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
  for (const wchar_t* at = name; *at; ++at) {
    if (isHigh(*at) && isLow(at[1])) {
      ++at;
    } else if (isHigh(*at) || isLow(*at)) {
      return true;
    }
  }
  return false;
}

DirectoryEntry entryOf(const WIN32_FIND_DATAW& data) {
  return {toUtf8(data.cFileName),          (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          ticksOf(data.ftCreationTime),    joinHalves(data.nFileSizeHigh, data.nFileSizeLow),
          toUtf8(data.cAlternateFileName), hasUnpairedSurrogate(data.cFileName)};
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

}  // namespace

Outcome<std::unique_ptr<DirectoryReader>> openDirectory(const std::string& folder, ShortNames shortNames) {
  std::wstring pattern = toWide(folder);
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data{};
  // The basic level leaves out the 8.3 name, which costs a little per entry.
  const FINDEX_INFO_LEVELS level = shortNames == ShortNames::Report ? FindExInfoStandard : FindExInfoBasic;
  FindHandle find(FindFirstFileExW(forFileApi(pattern).c_str(), level, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
  // An empty drive root has no "." entry, so "nothing found" is an empty folder
  // there, not a failure.
  if (!find && GetLastError() != ERROR_FILE_NOT_FOUND) {
    return Outcome<std::unique_ptr<DirectoryReader>>::failure(lastErrorText());
  }
  return Outcome<std::unique_ptr<DirectoryReader>>::success(
      std::make_unique<Win32DirectoryReader>(std::move(find), data));
}

std::string formatCreationTime(std::int64_t created) {
  const auto ticks = static_cast<ULONGLONG>(created);
  const FILETIME utc{lowHalf(ticks), highHalf(ticks)};
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

}  // namespace platform::win32
