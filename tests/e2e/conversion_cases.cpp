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
const wchar_t* const kStillConverting = L"上一个视频还在转换，请等它完成后再开始下一个。";
const wchar_t* const kIncomplete = L"视频没有完整生成：";

// The named files of a folder joined in the order given: what the video must hold.
std::string joined(Case& c, const std::wstring& folder, const std::vector<std::wstring>& names) {
  std::string bytes;
  for (const std::wstring& name : names) {
    const auto part = readBytes(folder + L"\\" + name);
    if (!part) c.abort("cannot read fragment " + quoted(name));
    bytes += *part;
  }
  return bytes;
}

int indexOf(Case& c, const std::vector<std::wstring>& names, const std::wstring& name) {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) c.abort("folder " + quoted(name) + " is not among the listed names");
  return static_cast<int>(at - names.begin());
}

void expectNothingWritten(Case& c, const std::wstring& appFolder, const std::string& when) {
  c.check(!fileExists(appFolder + L"\\Fok.BAT"), when + ": Fok.BAT was written");
  c.check(findEntries(appFolder, L"Shipin*", false).empty(), when + ": an output file was written");
}

// Selects the folder, starts the conversion and checks that the output holds the expected bytes.
void convert(Case& c, App& app, const std::vector<std::wstring>& listed, const std::wstring& folderName,
             const std::wstring& outputName, const std::string& expected) {
  const std::string when = "converting " + quoted(folderName);
  app.selectListItem(indexOf(c, listed, folderName));
  app.click(IDC_COMMAND1);
  if (const auto message = awaitOutput(c, app, app.folder() + L"\\" + outputName, expected, when)) {
    c.check(false, when + ": message " + quoted(*message));
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
  // The output's name is taken by a folder, so the copy cannot make the video.
  makeFiles(c, cache + L"\\blocked", {{L"1.tdl", "1"}, {L"2.tdl", "2"}});
  makeFolder(c, appFolder + L"\\Shipinbloc.mp4");
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
  const std::wstring blockedMessage = kIncomplete + appFolder + L"\\Shipinbloc.mp4";
  // "gone" was deleted after the read; the walk over "crowded" may take long.
  const std::tuple<const wchar_t*, std::wstring, bool, DWORD> refusals[] = {
      {L"empty", kNoFiles, false, 15000},        {L"onlyfolder", kNoFiles, false, 15000},
      {L"nolower", kNoTdlFiles, false, 15000},   {L"gone", kFolderGone, true, 15000},
      {L"blocked", blockedMessage, true, 30000}, {L"crowded", kNoTdlFiles, false, 120000}};
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
  // "10.TDL" joins in although only lower-case names make the check pass, and the
  // numbers put it last; in "7f3a9c" only "ytdl" passes the check, and the
  // interpreter joins the capitals.
  makeFiles(c, cache + L"\\abc.def",
            {{L"02.tdl", fragment(1, 3000)},
             {L"01.tdl", fragment(2, 1000)},
             {L"10.TDL", fragment(3, 500)},
             {L"notes.txt", "not a fragment"},
             {L"5.tdl", fragment(4, 70000)}});
  makeFiles(c, cache + L"\\ab", {{L"b.tdl", fragment(5, 10)}, {L"a.tdl", "A"}});
  makeFiles(c, cache + L"\\7f3a9c", {{L"ytdl", "y"}, {L"b.TDL", fragment(7, 200)}, {L"A.TDL", fragment(6, 100)}});
  makeFiles(c, cache + L"\\bigone",
            {{L"1.tdl", fragment(8, 300000)}, {L"2.tdl", fragment(9, 300000)}, {L"3.tdl", fragment(10, 300000)}});
  // Twelve fragments numbered the way the client's servers do, made out of order.
  std::vector<std::wstring> numbered;
  for (int n = 1; n <= 12; ++n) numbered.push_back(L"a0017xk2pq3.321004." + std::to_wstring(n) + L".tdl");
  for (int n : {7, 12, 1, 10, 3, 11, 5, 2, 9, 4, 8, 6}) {
    makeFiles(c, cache + L"\\numbered", {{numbered[static_cast<size_t>(n - 1)], fragment(30 + n, 997 * n)}});
  }

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  const auto join = [&](const wchar_t* folder, const std::vector<std::wstring>& names) {
    return joined(c, cache + L"\\" + folder, names);
  };
  convert(c, app, listed, L"abc.def", L"Shipinabc.mp4", join(L"abc.def", {L"01.tdl", L"02.tdl", L"5.tdl", L"10.TDL"}));
  convert(c, app, listed, L"ab", L"Shipinab.mp4", join(L"ab", {L"a.tdl", L"b.tdl"}));
  convert(c, app, listed, L"7f3a9c", L"Shipin7f3a.mp4", join(L"7f3a9c", {L"A.TDL", L"b.TDL"}));
  convert(c, app, listed, L"bigone", L"Shipinbigo.mp4", join(L"bigone", {L"1.tdl", L"2.tdl", L"3.tdl"}));
  convert(c, app, listed, L"numbered", L"Shipinnumb.mp4", join(L"numbered", numbered));

  // A second conversion must replace the output, also when the new one is shorter.
  removeTree(cache + L"\\abc.def\\5.tdl");
  writeBytes(c, cache + L"\\abc.def\\01.tdl", fragment(11, 20));
  convert(c, app, listed, L"abc.def", L"Shipinabc.mp4", join(L"abc.def", {L"01.tdl", L"02.tdl", L"10.TDL"}));

  c.check(findEntries(cache + L"\\bigone", L"*", false).size() == 3, "the conversion changed the fragment folder");
  expectExplorer(c, app, "Command5");
  expectResponsive(c, app, "after the conversions");
}

// Holds every thread of a process still for as long as it lives.
class Suspension {
 public:
  explicit Suspension(DWORD processId) {
    const UniqueHandle snapshot = own(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
      if (entry.th32OwnerProcessID != processId) continue;
      UniqueHandle thread = own(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread && SuspendThread(thread.get()) != static_cast<DWORD>(-1)) threads_.push_back(std::move(thread));
    }
  }
  ~Suspension() {
    for (const UniqueHandle& thread : threads_) ResumeThread(thread.get());
  }
  bool holds() const { return !threads_.empty(); }

 private:
  std::vector<UniqueHandle> threads_;
};

// A long join in one copy of the program: a second click there, and one in a second
// copy started from the same folder, must wait their turn and leave the running
// script alone; afterwards the second copy converts.
void conversionOneAtATime(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring cache = c.root + L"cache";
  constexpr size_t kParts = 8, kPartBytes = 12u << 20;
  std::string longJoin;
  makeFolder(c, cache + L"\\long");
  for (size_t i = 0; i < kParts; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"part%02zu.tdl", i);
    const std::string bytes = fragment(static_cast<unsigned>(100 + i), kPartBytes);
    writeBytes(c, cache + L"\\long\\" + name, bytes);
    longJoin += bytes;
  }
  makeFiles(c, cache + L"\\short", {{L"1.tdl", fragment(200, 5000)}, {L"2.tdl", fragment(201, 6000)}});
  const std::string shortJoin = joined(c, cache + L"\\short", {L"1.tdl", L"2.tdl"});

  App first(c, appFolder);
  App second(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, first, cache, cache, "read in the first copy");
  readCache(c, second, cache, cache, "read in the second copy");
  second.selectListItem(indexOf(c, listed, L"short"));

  const std::wstring script = appFolder + L"\\Fok.BAT";
  first.selectListItem(indexOf(c, listed, L"long"));
  first.click(IDC_COMMAND1);
  std::vector<DWORD> started;
  if (!waitUntil([&] { return !(started = interpreters(first)).empty(); }, 15000, 5)) {
    c.abort("the first conversion started no interpreter");
  }
  {
    // Held still, the interpreter is "running" for as long as the checks take, on any machine.
    const Suspension held(started.front());
    if (!held.holds()) c.abort("cannot suspend the interpreter");
    const auto commandLine = commandLineOf(started.front());
    c.check(commandLine && commandLine->find(L"/d /v:off /c .\\Fok.BAT") != std::wstring::npos,
            "the interpreter's command line is " + quoted(commandLine.value_or(L"unreadable")));
    const auto running = readBytes(script);
    first.selectListItem(indexOf(c, listed, L"short"));
    first.click(IDC_COMMAND1);
    expectMessage(c, first, kStillConverting, "a second conversion in the same copy");
    second.click(IDC_COMMAND1);
    expectMessage(c, second, kStillConverting, "a conversion in a second copy from the same folder");
    c.check(readBytes(script) == running, "Fok.BAT changed while its interpreter ran");
  }

  if (!waitUntil([&] { return interpreters(first).empty() && !fileExists(script); }, 120000, 100)) {
    c.abort("the long join did not end within 2 minutes");
  }
  expectNoMessage(c, first, "after the long join");
  const auto longOutput = readBytes(appFolder + L"\\Shipinlong.mp4");
  c.check(longOutput == longJoin, "the long join holds " + std::to_string(longOutput ? longOutput->size() : 0) +
                                      " bytes, not the " + std::to_string(longJoin.size()) + " expected");

  convert(c, second, listed, L"short", L"Shipinshor.mp4", shortJoin);
  expectResponsive(c, first, "after both joins");
}

void conversionAwkwardNames(Case& c) {
  const std::wstring local = localText();
  const std::wstring appFolder = installProgram(c, c.root + L"a b&c%x%^!(1),;=" + local);
  const std::wstring cache = c.root + local + L" c&d%PATH%^!(2),;=";
  const std::pair<std::wstring, std::wstring> folders[] = {
      {L"s p&%OS%^!(3),;=" + local, L"Shipins p&.mp4"},
      {L"%PATH%.x", L"Shipin%PAT.mp4"},
      {L"(a)^.b", L"Shipin(a)^.mp4"},
      {local, L"Shipin" + local.substr(0, 4) + L".mp4"},
      {L"\u00E9,;=x", L"Shipin\u00E9,;=.mp4"},
      {L"!x!y", L"Shipin!x!y.mp4"},
  };
  unsigned salt = 20;
  for (const auto& [folder, output] : folders) {
    makeFiles(c, cache + L"\\" + folder, {{L"b.tdl", fragment(salt, 777)}, {L"a.tdl", fragment(salt + 1, 333)}});
    salt += 2;
  }

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  for (const auto& [folder, output] : folders) {
    convert(c, app, listed, folder, output, joined(c, cache + L"\\" + folder, {L"a.tdl", L"b.tdl"}));
  }
  expectExplorer(c, app, "Command5 on a folder with awkward characters");
  expectResponsive(c, app, "after the conversions");
}

// Wine keeps no 8.3 names on disk but makes them up for GetShortPathNameW, so these
// paths reach the script in their short forms.
void conversionOutsideCodePage(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app \u0E01\U0001F600");
  const std::wstring cache = c.root + L"cache \u0E01";
  makeFiles(c, cache + L"\\f00d", {{L"1.tdl", fragment(40, 1234)}, {L"2.tdl", fragment(41, 4321)}});

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  convert(c, app, listed, L"f00d", L"Shipinf00d.mp4", joined(c, cache + L"\\f00d", {L"1.tdl", L"2.tdl"}));
  expectResponsive(c, app, "after the conversion");
}

// Below a path longer than 260 characters: the script carries its 8.3 form.
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
  convert(c, app, listed, L"v1", L"Shipinv1.mp4", joined(c, cache + L"\\v1", {L"1.tdl", L"2.tdl"}));
  expectResponsive(c, app, "after converting " + when);
}

}  // namespace

void addConversionCases(CaseList& cases) {
  cases.push_back({L"conversion_refusals", conversionRefusals});
  cases.push_back({L"conversion_join", conversionJoin});
  cases.push_back({L"conversion_one_at_a_time", conversionOneAtATime});
  cases.push_back({L"conversion_awkward_names", conversionAwkwardNames});
  cases.push_back({L"conversion_outside_code_page", conversionOutsideCodePage});
  cases.push_back({L"robust_long_path", robustLongPath});
}

}  // namespace e2e
