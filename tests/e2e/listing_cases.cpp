// The read button: what the list shows for a cache folder, and clicks while a long walk runs.
#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

// The cache folder is hidden and a system folder; names whose enumeration order differs from the order they were
// made in, and times that run against both, so neither a sort by name nor by time passes.
void listingRead(Case& c) {
  const std::wstring cache = c.root + L"cache";
  const std::vector<std::wstring> names = {L"B2", L"a1", L"中文目录", L"7f3a9c", L"A0", L"a b", L"hidden", L"é,;=x"};
  // From 2020-01-01 UTC on, in 100 ns ticks.
  constexpr ULONGLONG kBase = 132223104000000000ull, kStep = (9 * 86400 + 7 * 3600 + 13 * 60 + 17) * 10000000ull;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring path = cache + L"\\" + names[i];
    makeFolder(c, path);
    // Here a folder's creation time follows its last-write time, so both are set.
    const ULONGLONG ticks = kBase + (names.size() - i) * kStep;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const UniqueHandle folder = own(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder || !SetFileTime(folder.get(), &time, &time, &time)) c.abort("cannot set the time of " + quoted(path));
  }
  writeBytes(c, cache + L"\\readme.txt", "not a folder");
  writeBytes(c, cache + L"\\z.tdl", "not a folder either");
  SetFileAttributesW((cache + L"\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  SetFileAttributesW(cache.c_str(), kHiddenSystem);
  if ((GetFileAttributesW(cache.c_str()) & kHiddenSystem) != kHiddenSystem) c.abort("hidden+system does not stick");

  App app(c, installProgram(c, c.root + L"app"));
  // As pasted from Explorer's "Copy as path", and with the blanks pasting brings: the box keeps what was typed.
  for (const std::wstring& typed :
       {cache + L"\\", L"\\\\?\\" + cache, L"\"" + cache + L"\"", L" \t" + cache + L" \t"}) {
    readCache(c, app, typed, cache, "read of " + quoted(typed));
    c.check(textOf(app.control(IDC_TEXT1)) == typed, "read of " + quoted(typed) + ": the path box changed");
  }
}

// Clicks while a long walk runs must change nothing: neither a new read of another
// folder nor a conversion of the entry selected meanwhile.
void listingLarge(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring large = c.root + L"large";
  constexpr int kFolders = 2000;
  makeFolder(c, large);
  for (int i = 0; i < kFolders; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"\\d%05d", i);
    if (!CreateDirectoryW((large + name).c_str(), nullptr)) c.abort("cannot create the numbered folders");
  }

  App app(c, appFolder);
  app.setText(IDC_TEXT1, large);
  app.click(IDC_COMMAND2);
  app.settle();
  waitUntil([&] { return app.listCount() > 0; }, 30000);
  app.selectListItem(0);
  app.setText(IDC_TEXT1, c.root);
  app.click(IDC_COMMAND1);
  app.click(IDC_COMMAND2);
  app.settle();
  c.check(app.listCount() < kFolders, "the walk was over before clicks during it could be tried");
  // A click acted on during the walk shows as a message box, which ends the wait and is reported.
  readCache(c, app, L"", large, "read of " + std::to_string(kFolders) + " subfolders", 60000);
  c.check(!readBytes(appFolder + L"\\Fok.BAT"), "a click during the walk wrote Fok.BAT");
}

}  // namespace

void addListingCases(CaseList& cases) {
  cases.insert(
      cases.end(),
      {{L"listing_read", listingRead}, {L"listing_large", listingLarge}});
}

}  // namespace e2e
