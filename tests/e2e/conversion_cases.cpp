// The start button: when it refuses, and the file the command interpreter joins
// when it does not, also at the edges (crowded folders, deep paths); and the
// button that opens the output folder.
#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kNoSelection = L"请选择一个时间";
const wchar_t* const kNoFiles = L"没有找到可以转换的视频文件";
const wchar_t* const kNoTdlFiles = L"没有找到可以转换的tdl视频文件";
const wchar_t* const kFolderGone = L"所选视频的缓存文件夹已不存在或无法打开";
const wchar_t* const kPathUnusable = L"路径中含有命令解释器无法处理的字符或路径过长";

int indexOf(Case& c, const std::vector<std::wstring>& names, const std::wstring& name) {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) c.abort("folder " + quoted(name) + " is not among the listed names");
  return static_cast<int>(at - names.begin());
}

void expectNothingWritten(Case& c, const std::wstring& appFolder, const std::string& when) {
  c.check(!fileExists(appFolder + L"\\Fok.BAT"), when + ": Fok.BAT was written");
  c.check(findEntries(appFolder, L"Shipin*", false).empty(), when + ": an output file was written");
}

// Selects the folder, starts the conversion and checks the output; a message is a
// failure unless it starts with `refusal`, and then nothing may have been written.
void convert(Case& c, App& app, const std::vector<std::wstring>& listed, const std::wstring& cache,
             const std::wstring& folderName, const std::wstring& outputName, const wchar_t* refusal = nullptr) {
  const std::string when = "converting " + quoted(folderName);
  const std::string expected = joinedFragments(c, cache + L"\\" + folderName);
  app.selectListItem(indexOf(c, listed, folderName));
  app.click(IDC_COMMAND1);
  if (const auto message = awaitOutput(c, app, app.folder() + L"\\" + outputName, expected, when)) {
    const bool refused = refusal && message->rfind(refusal, 0) == 0;
    if (c.check(refused, when + ": message " + quoted(*message))) expectNothingWritten(c, app.folder(), when);
  }
}

// The explorer runs in the program's job, so its window goes when the case ends.
void expectExplorer(Case& c, App& app, const std::string& when) {
  const std::vector<HWND> before = topLevelWindows(L"ExplorerWClass");
  app.click(IDC_COMMAND5);
  expectNoMessage(c, app, when);
  const std::wstring folderName = app.folder().substr(app.folder().rfind(L'\\') + 1);
  const auto shown = [&] {
    for (HWND window : topLevelWindows(L"ExplorerWClass")) {
      wchar_t title[512] = {};
      GetWindowTextW(window, title, 512);
      const bool isNew = std::find(before.begin(), before.end(), window) == before.end();
      if (isNew && IsWindowVisible(window) && std::wstring(title).find(folderName) != std::wstring::npos) return true;
    }
    return false;
  };
  c.check(waitUntil(shown, 20000, 50), when + ": no new explorer window titled after " + quoted(folderName));
}

void conversionRefusals(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring cache = c.root + L"cache";
  makeFolder(c, cache + L"\\empty");
  makeFolder(c, cache + L"\\onlyfolder\\x.tdl");
  makeFiles(c, cache + L"\\nolower",
            {{L"a.TDL", "1"}, {L"b.Tdl", "2"}, {L"c.tdl.bak", "3"}, {L"d.tdlx", "4"}, {L"e.txt", "5"}});
  makeFiles(c, cache + L"\\gone", {{L"1.tdl", "1"}});
  makeFolder(c, cache + L"\\crowded");
  for (int i = 0; i < 10000; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"\\crowded\\f%05d.tdl.part", i);
    if (!own(CreateFileW((cache + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr))) {
      c.abort("cannot create the 10,000 files");
    }
  }

  App app(c, appFolder);
  app.click(IDC_COMMAND1);
  expectMessage(c, app, kNoSelection, "Command1 right after start");

  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  app.click(IDC_COMMAND1);
  expectMessage(c, app, kNoSelection, "Command1 with nothing selected");

  removeTree(cache + L"\\gone");
  // "gone" was deleted after the read; the walk over "crowded" may take long.
  const std::tuple<const wchar_t*, const wchar_t*, bool, DWORD> refusals[] = {{L"empty", kNoFiles, false, 15000},
                                                                              {L"onlyfolder", kNoFiles, false, 15000},
                                                                              {L"nolower", kNoTdlFiles, false, 15000},
                                                                              {L"gone", kFolderGone, true, 15000},
                                                                              {L"crowded", kNoTdlFiles, false, 120000}};
  for (const auto& [folder, message, prefixOnly, timeoutMs] : refusals) {
    app.selectListItem(indexOf(c, listed, folder));
    app.click(IDC_COMMAND1);
    expectMessage(c, app, message, "Command1 on " + quoted(folder), prefixOnly, timeoutMs);
  }

  expectNothingWritten(c, appFolder, "after the refusals");
  expectResponsive(c, app, "after the refusals");
}

void conversionJoin(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring cache = c.root + L"cache";
  // "10.TDL" joins in although only lower-case names make the check pass; in
  // "7f3a9c" only "ytdl" passes the check, and the interpreter joins the capitals.
  makeFiles(c, cache + L"\\abc.def",
            {{L"02.tdl", fragment(1, 3000)},
             {L"01.tdl", fragment(2, 1000)},
             {L"10.TDL", fragment(3, 500)},
             {L"notes.txt", "not a fragment"},
             {L"5.tdl", fragment(4, 70000)}});
  makeFiles(c, cache + L"\\ab", {{L"a.tdl", "A"}, {L"b.tdl", fragment(5, 10)}});
  makeFiles(c, cache + L"\\7f3a9c", {{L"ytdl", "y"}, {L"A.TDL", fragment(6, 100)}, {L"b.TDL", fragment(7, 200)}});
  makeFiles(c, cache + L"\\bigone",
            {{L"1.tdl", fragment(8, 300000)}, {L"2.tdl", fragment(9, 300000)}, {L"3.tdl", fragment(10, 300000)}});

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  convert(c, app, listed, cache, L"abc.def", L"Shipinabc.mp4");
  convert(c, app, listed, cache, L"ab", L"Shipinab.mp4");
  convert(c, app, listed, cache, L"7f3a9c", L"Shipin7f3a.mp4");
  convert(c, app, listed, cache, L"bigone", L"Shipinbigo.mp4");

  // A second conversion must replace the output, also when the new one is shorter.
  removeTree(cache + L"\\abc.def\\5.tdl");
  writeBytes(c, cache + L"\\abc.def\\01.tdl", fragment(11, 20));
  convert(c, app, listed, cache, L"abc.def", L"Shipinabc.mp4");

  c.check(findEntries(cache + L"\\bigone", L"*", false).size() == 3, "the conversion changed the fragment folder");
  expectExplorer(c, app, "Command5");
  expectResponsive(c, app, "after the conversions");
}

void conversionAwkwardNames(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"a b&c%x%^!(1),;=中文");
  const std::wstring cache = c.root + L"缓存 c&d%PATH%^!(2),;=";
  const std::pair<const wchar_t*, const wchar_t*> folders[] = {
      {L"s p&%OS%^!(3),;=中", L"Shipins p&.mp4"}, {L"%PATH%.x", L"Shipin%PAT.mp4"}, {L"(a)^.b", L"Shipin(a)^.mp4"},
      {L"中文目录名字", L"Shipin中文目录.mp4"},   {L"é,;=x", L"Shipiné,;=.mp4"},    {L"!x!y", L"Shipin!x!y.mp4"},
  };
  unsigned salt = 20;
  for (const auto& [folder, output] : folders) {
    makeFiles(c, cache + L"\\" + folder, {{L"b.tdl", fragment(salt, 777)}, {L"a.tdl", fragment(salt + 1, 333)}});
    salt += 2;
  }

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  for (const auto& [folder, output] : folders) convert(c, app, listed, cache, folder, output);
  expectExplorer(c, app, "Command5 on a folder with awkward characters");
  expectResponsive(c, app, "after the conversions");
}

// Whether the path has an 8.3 form that code page 936 holds entirely.
bool shortFormFits(const std::wstring& path) {
  wchar_t buffer[32768];
  const DWORD size = GetShortPathNameW(path.c_str(), buffer, 32768);
  BOOL usedDefault = FALSE;
  return size > 0 && size < 32768 &&
         WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, buffer, static_cast<int>(size), nullptr, 0, nullptr,
                             &usedDefault) > 0 &&
         !usedDefault;
}

void conversionOutsideCodePage(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app ก😀");
  const std::wstring cache = c.root + L"cache ก";
  makeFiles(c, cache + L"\\f00d", {{L"1.tdl", fragment(40, 1234)}, {L"2.tdl", fragment(41, 4321)}});

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  if (shortFormFits(appFolder) && shortFormFits(cache)) {
    convert(c, app, listed, cache, L"f00d", L"Shipinf00d.mp4");
  } else {
    app.selectListItem(indexOf(c, listed, L"f00d"));
    app.click(IDC_COMMAND1);
    expectMessage(c, app, kPathUnusable, "converting without short names", true);
    expectNothingWritten(c, appFolder, "converting without short names");
  }
  expectResponsive(c, app, "after the conversion");
}

// Below a path longer than 260 characters: converted through the 8.3 form, or refused clearly.
void robustLongPath(Case& c) {
  std::wstring cache = c.root + L"deep";
  for (int level = 1; level <= 5; ++level) {
    cache += L"\\nested folder level " + std::to_wstring(level) + L" with a long name to pass MAX_PATH";
  }
  if (cache.size() <= 260) c.abort("the deep path is not longer than 260 characters");
  makeFiles(c, cache + L"\\v1", {{L"1.tdl", fragment(60, 5000)}, {L"2.tdl", fragment(61, 6000)}});
  App app(c, installProgram(c, c.root + L"app"));
  const std::string when = "below a " + std::to_string(cache.size()) + "-character path";
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read " + when);
  convert(c, app, listed, cache, L"v1", L"Shipinv1.mp4", kPathUnusable);
  expectResponsive(c, app, "after converting " + when);
}

}  // namespace

void addConversionCases(CaseList& cases) {
  cases.push_back({L"conversion_refusals", conversionRefusals});
  cases.push_back({L"conversion_join", conversionJoin});
  cases.push_back({L"conversion_awkward_names", conversionAwkwardNames});
  cases.push_back({L"conversion_outside_code_page", conversionOutsideCodePage});
  cases.push_back({L"robust_long_path", robustLongPath});
}

}  // namespace e2e
