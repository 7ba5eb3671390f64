// The read button: which paths it takes, and what the list shows for a cache folder.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kFolderMissing = L"文件夹不存在，请填入正确的腾讯视频缓存文件保存地址";

// Here a folder's creation time follows its last-write time, so both are set.
void setFolderTime(Case& c, const std::wstring& path, ULONGLONG ticks) {
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const UniqueHandle folder = own(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder || !SetFileTime(folder.get(), &time, &time, &time)) c.abort("cannot set the time of " + quoted(path));
}

void makeNumberedFolders(Case& c, const std::wstring& parent, int count) {
  makeFolder(c, parent);
  for (int i = 0; i < count; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"d%05d", i);
    if (!CreateDirectoryW((parent + L"\\" + name).c_str(), nullptr)) c.abort("cannot create the numbered folders");
  }
}

void listingRead(Case& c) {
  App app(c, installProgram(c, c.root + L"app"));

  // Names whose enumeration order differs from the order they were made in, and
  // times that run against both, so neither a sort by name nor by time passes.
  const std::wstring cache = c.root + L"cache";
  std::vector<std::wstring> names = {L"B2",     L"a1",  L"Zeta", L"_under", L"abc.def",  L"中文目录", L"ab",
                                     L"7f3a9c", L"A0",  L"a b",  L"a-b",    L"文件夹二", L"x.y.z",    L"~tilde",
                                     L"[b]",    L"{c}", L"0",    L"9z",     L"hidden",   L"é,;=x"};
  for (int i = 0; names.size() < 40; ++i) names.push_back(L"f" + std::to_wstring(39 - i));
  for (const std::wstring& name : names) makeFolder(c, cache + L"\\" + name);
  makeFiles(c, cache, {{L"readme.txt", "not a folder"}, {L"z.tdl", "not a folder either"}});
  SetFileAttributesW((cache + L"\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  // From 2020-01-01 UTC on, in 100 ns ticks.
  constexpr ULONGLONG kBase = 132223104000000000ull, kStep = (9 * 86400 + 7 * 3600 + 13 * 60 + 17) * 10000000ull;
  for (size_t i = 0; i < names.size(); ++i)
    setFolderTime(c, cache + L"\\" + names[i], kBase + (names.size() - i) * kStep);

  // Whatever pasting brings around the path lists the same folder, and the box keeps what was typed.
  std::wstring slashed = cache;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  const std::wstring typedForms[] = {
      cache,   cache + L"\\",      L"\"" + cache + L"\"", L" \t" + cache + L"  ", L"\x3000\"" + cache + L" \"\x3000",
      slashed, L"\\\\?\\" + cache,
  };
  for (const std::wstring& typed : typedForms) {
    const std::string when = "read of 40 subfolders typed as " + quoted(typed);
    readCache(c, app, typed, cache, when);
    c.check(app.text(IDC_TEXT1) == typed, when + ": the path box changed to " + quoted(app.text(IDC_TEXT1)));
  }

  const std::wstring flat = c.root + L"flat";
  makeFiles(c, flat, {{L"a.tdl", "file"}, {L"b.txt", "file"}});
  readCache(c, app, flat, flat, "read of a folder without subfolders");

  const std::wstring hidden = c.root + L"hiddencache";
  for (const wchar_t* name : {L"one", L"two.x", L"three"}) makeFolder(c, hidden + L"\\" + name);
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  SetFileAttributesW(hidden.c_str(), kHiddenSystem);
  if ((GetFileAttributesW(hidden.c_str()) & kHiddenSystem) != kHiddenSystem) c.abort("hidden+system does not stick");
  readCache(c, app, hidden + L"\\", hidden, "read of a hidden system folder");
  expectResponsive(c, app, "after the reads");
}

// Paths the read button must refuse, from plain mistakes to huge and garbled ones;
// whatever comes, the program must still be there and answering afterwards.
void listingRejected(Case& c) {
  App app(c, installProgram(c, c.root + L"app"));
  const std::wstring cache = c.root + L"cache";
  for (const wchar_t* name : {L"x1", L"x2", L"x3"}) makeFolder(c, cache + L"\\" + name);
  writeBytes(c, c.root + L"plain.txt", "a file, not a folder");
  readCache(c, app, cache, cache, "first read");
  const std::vector<std::wstring> before = app.listItems();

  // The program's working folder is the case folder, so "cache" would name a real folder if taken relative.
  const std::wstring rejected[] = {c.root + L"missing",
                                   L"",
                                   c.root + L"plain.txt",
                                   c.root + L"plain.txt\\",
                                   cache + L"\\*",
                                   cache + L"?",
                                   L"cache",
                                   L"cache\\",
                                   L"C:\\" + std::wstring(32764, L'a'),
                                   cache + L". .",
                                   L"\\\\.\\" + cache,
                                   L"C:\\e2e\\\x01\x02\x1F",
                                   L"C:\\e2e\\nothing\r\n" + cache,
                                   L"\"" + cache,
                                   cache + L"\\\"x\"",
                                   L"|<>*?\"",
                                   L"\x7F",
                                   cache + L"\\x1\\..\\..\\..\\..\\..\\\x1B"};
  for (const std::wstring& typed : rejected) {
    const std::string when = "Command2 with " + quoted(typed);
    app.setText(IDC_TEXT1, typed);
    // The edit control may itself cut the huge and garbled texts; the program must leave what it holds.
    const std::wstring held = app.text(IDC_TEXT1);
    app.click(IDC_COMMAND2);
    expectMessage(c, app, kFolderMissing, when);
    expectResponsive(c, app, when);
    c.check(app.text(IDC_TEXT1) == held, when + ": the path box changed to " + quoted(app.text(IDC_TEXT1)));
    c.check(app.listItems() == before, when + ": the list changed");
  }
}

void listingLarge(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring thousand = c.root + L"c1000";
  const std::wstring tenThousand = c.root + L"c10000";
  const std::wstring three = c.root + L"c3";
  makeNumberedFolders(c, thousand, 1000);
  makeNumberedFolders(c, tenThousand, 10000);
  makeNumberedFolders(c, three, 3);

  App app(c, appFolder);
  readCache(c, app, thousand, thousand, "read of 1,000 subfolders");

  // Clicks while the long walk runs must change nothing: neither a new read of
  // another folder nor a conversion of the entry selected meanwhile.
  app.setText(IDC_TEXT1, tenThousand);
  app.click(IDC_COMMAND2);
  app.settle();
  waitUntil([&] { return app.listCount() > 0; }, 30000);
  app.selectListItem(0);
  app.setText(IDC_TEXT1, three);
  app.click(IDC_COMMAND1);
  app.click(IDC_COMMAND2);
  app.settle();
  c.check(app.listCount() < 10000, "the walk of 10,000 folders was over before clicks during it could be tried");

  // A click acted on during the walk shows as a message box, which ends the wait and is reported below.
  bool shrank = false;
  app.waitListSettled(10000, 180000, &shrank);
  c.check(!shrank, "the list was cleared again during the walk: a second read started");
  expectNoMessage(c, app, "after the walk of 10,000 folders");
  checkList(c, app, expectedListing(tenThousand), "read of 10,000 subfolders", 180000);
  c.check(!fileExists(appFolder + L"\\Fok.BAT"), "a click during the walk wrote Fok.BAT");
  expectResponsive(c, app, "after the long walk");
}

}  // namespace

void addListingCases(CaseList& cases) {
  cases.push_back({L"listing_read", listingRead});
  cases.push_back({L"listing_rejected_paths", listingRejected});
  cases.push_back({L"listing_large", listingLarge});
}

}  // namespace e2e
