// The read, start and folder buttons: the list of a cache folder; the file the real command interpreter joins, with
// awkward and deep paths too, and with a thousand fragments; a run cut off; missing segments; one interpreter at a
// time; and the explorer window.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"
#include "tests/e2e/video_files.h"
#include <tlhelp32.h>

// Holding every thread of a process still, which kernel32 offers no call for.
extern "C" LONG NTAPI NtSuspendProcess(HANDLE process);
extern "C" LONG NTAPI NtResumeProcess(HANDLE process);

namespace e2e {
namespace {

const wchar_t* const kIncomplete = L"视频没有完整生成：";

int indexOf(Case& c, const std::vector<std::wstring>& names, const std::wstring& name) {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) c.abort("folder " + quoted(name) + " is not among the listed names");
  return static_cast<int>(at - names.begin());
}

// Waits until the script is gone and the output holds exactly the expected bytes, the size holding still too, since
// the interpreter may still be writing; then the caption must name the video.
void awaitVideo(Case& c, const App& app, const std::wstring& outputName, const std::string& expected,
                const std::string& when) {
  const std::wstring output = app.folder() + L"\\" + outputName, script = app.folder() + L"\\Fok.BAT";
  const auto done = [&] { return !readBytes(script) && readBytes(output) == expected; };
  waitUntil([&] { return app.messageBox() || (done() && (Sleep(200), done())); }, 30000, 50);
  expectMessage(c, app, L"", when);
  const auto bytes = readBytes(output);
  c.check(bytes == expected, when + ": " + quoted(output) + " holds " + std::to_string(bytes ? bytes->size() : 0) +
                                 " bytes, not the " + std::to_string(expected.size()) + " expected");
  c.check(!readBytes(script) && !readBytes(app.folder() + L"\\Fok.tmp"), when + ": Fok.BAT or Fok.tmp is left");
  const std::wstring caption = textOf(app.window()), converted = L"已转换 " + outputName + L" - " + kCaption;
  c.check(caption == converted, when + ": the caption is " + quoted(caption) + ", not " + quoted(converted));
}

void convert(Case& c, const App& app, const std::vector<std::wstring>& listed, const std::wstring& folder,
             const std::wstring& outputName, const std::string& expected) {
  app.selectListItem(indexOf(c, listed, folder));
  app.click(IDC_COMMAND1);
  awaitVideo(c, app, outputName, expected, "converting " + quoted(folder));
}

// Each folder's files are made in the order given; the join order is by number where the names differ in one run
// of digits, else the order the folder lists them in. The cache folder is hidden and a system folder, holds a
// hidden video folder and a file, and is typed in quotes as Explorer's "Copy as path" gives it. Last the folder
// button opens an explorer window on the program's folder, which goes with the program's job when the case ends.
void conversionJoin(Case& c) {
  // Characters the interpreter would read as commands, variables or separators, and text that both code pages of
  // the locale hold: Chinese where they are 936, Western letters where they are 1252 and 850.
  const std::wstring local = GetOEMCP() == 936 ? L"中文目录名字" : L"\u00E9\u00E0\u00E7\u00E8\u00F9\u00F4";
  const std::wstring appFolder = installProgram(c, c.root + L"a b&c%x%^!(1),;=" + local);
  const std::wstring cache = c.root + local + L" c&d%PATH%^!(2),;=";
  struct Join {
    std::wstring folder, output;
    std::vector<std::wstring> made, order;
  };
  std::vector<Join> joins = {
      // "04.TDL" joins in although only lower-case names make the check pass.
      {L"abc.def",
       L"Shipinabc.mp4",
       {L"02.tdl", L"01.tdl", L"04.TDL", L"notes.txt", L"3.tdl"},
       {L"01.tdl", L"02.tdl", L"3.tdl", L"04.TDL"}},
      // Only "ytdl" passes the check, and the interpreter joins the capitals.
      {L"7f3a9c", L"Shipin7f3a.mp4", {L"ytdl", L"b.TDL", L"A.TDL"}, {L"A.TDL", L"b.TDL"}},
      // The same first four characters: a name of its own, so the video above stays.
      {L"7f3a00", L"Shipin7f3a (2).mp4", {L"1.tdl"}, {L"1.tdl"}},
      {L"%OS%^!(3) &,;=" + local, L"Shipin%OS%.mp4", {L"b.tdl", L"a.tdl"}, {L"a.tdl", L"b.tdl"}},
      {L"!(^)&,;=x", L"Shipin!(^).mp4", {L"b.tdl", L"a.tdl"}, {L"a.tdl", L"b.tdl"}},
      {L"numbered", L"Shipinnumb.mp4", {}, {}},
  };
  // Numbered the way the client's servers do it, made out of order.
  for (int n = 1; n <= 12; ++n) joins.back().order.push_back(L"a0017xk2pq3.321004." + std::to_wstring(n) + L".tdl");
  for (int n : {7, 12, 1, 10, 3, 11, 5, 2, 9, 4, 8, 6}) joins.back().made.push_back(joins.back().order[n - 1]);
  unsigned salt = 0;
  for (const Join& join : joins) {
    for (const std::wstring& name : join.made) {
      ++salt;
      makeFiles(c, cache + L"\\" + join.folder, {{name, fragment(salt, salt * 7919 % 90000)}});
    }
  }
  writeBytes(c, cache + L"\\readme.txt", "not a folder");
  SetFileAttributesW((cache + L"\\7f3a00").c_str(), FILE_ATTRIBUTE_HIDDEN);
  constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  SetFileAttributesW(cache.c_str(), kHiddenSystem);
  if ((GetFileAttributesW(cache.c_str()) & kHiddenSystem) != kHiddenSystem) c.abort("hidden+system does not stick");

  App app(c, appFolder);
  const std::wstring typed = L"\"" + cache + L"\"";
  const std::vector<std::wstring> listed = readCache(c, app, typed, cache, "read");
  c.check(textOf(app.control(IDC_TEXT1)) == typed, "the read changed the path box");
  // A folder under the partial video's name, left by someone, is no file of the program's: the copy would write
  // into it. It is named, and nothing is written or started.
  const std::wstring foreign = appFolder + L"\\Fok.tmp";
  makeFolder(c, foreign);
  writeBytes(c, foreign + L"\\" + joins[0].made[0], "theirs");
  app.selectListItem(indexOf(c, listed, joins[0].folder));
  app.click(IDC_COMMAND1);
  expectMessage(c, app, kOwnNameTaken + foreign, "a folder named Fok.tmp beside the program");
  c.check(!readBytes(appFolder + L"\\Fok.BAT") && readBytes(foreign + L"\\" + joins[0].made[0]) == "theirs",
          "a script was written, or the folder named Fok.tmp was written into");
  if (!removeTree(foreign)) c.abort("cannot remove the folder named Fok.tmp");
  for (const Join& join : joins) {
    convert(c, app, listed, join.folder, join.output, joined(c, cache + L"\\" + join.folder, join.order));
  }
  // The earlier output of the same folder, of the same size, is replaced.
  const std::string first = *readBytes(cache + L"\\abc.def\\01.tdl");
  writeBytes(c, cache + L"\\abc.def\\01.tdl", std::string(first.rbegin(), first.rend()));
  convert(c, app, listed, L"abc.def", L"Shipinabc.mp4", joined(c, cache + L"\\abc.def", joins[0].order));

  app.click(IDC_COMMAND5);
  expectMessage(c, app, L"", "Command5");
  const std::wstring folderName = appFolder.substr(appFolder.rfind(L'\\') + 1);
  const auto shown = [&] {
    for (HWND window : topLevelWindows(L"ExplorerWClass")) {
      wchar_t title[512] = {};
      GetWindowTextW(window, title, 512);
      if (IsWindowVisible(window) && std::wstring(title).find(folderName) != std::wstring::npos) return true;
    }
    return false;
  };
  c.check(waitUntil(shown, 20000, 50), "no new explorer window titled after " + quoted(folderName));
}

// The first command interpreter the program starts, opened with the given rights.
UniqueHandle interpreterOf(Case& c, const App& app, DWORD rights) {
  DWORD found = 0;
  waitUntil(
      [&] {
        const UniqueHandle snapshot = own(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more && !found;
             more = Process32NextW(snapshot.get(), &entry)) {
          const bool isCmd = CompareStringOrdinal(entry.szExeFile, -1, L"cmd.exe", -1, TRUE) == CSTR_EQUAL;
          if (isCmd && entry.th32ParentProcessID == app.processId()) found = entry.th32ProcessID;
        }
        return found != 0;
      },
      15000, 1);
  UniqueHandle interpreter = own(found ? OpenProcess(rights, FALSE, found) : nullptr);
  if (!interpreter) c.abort("the conversion started no interpreter that could be opened" + lastError());
  return interpreter;
}

std::uint64_t sizeOf(const std::wstring& path) { return platform::win32::fileSize(toUtf8(path)).value_or(0); }

// A long join in one copy of the program: a second click there, and one in a second
// copy started from the same folder, must wait their turn and leave the running
// script alone, also once the copy that started it has ended; then the second copy converts.
void conversionOneAtATime(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app");
  const std::wstring cache = c.root + L"cache";
  constexpr size_t kParts = 8, kPartBytes = 12u << 20;
  std::string longJoin;
  makeFolder(c, cache + L"\\long");
  for (size_t i = 0; i < kParts; ++i) {
    const std::string bytes = fragment(static_cast<unsigned>(100 + i), kPartBytes);
    writeBytes(c, cache + L"\\long\\part" + std::to_wstring(i) + L".tdl", bytes);
    longJoin += bytes;
  }
  makeFiles(c, cache + L"\\short", {{L"1.tdl", fragment(200, 5000)}, {L"2.tdl", fragment(201, 6000)}});

  App first(c, appFolder);
  App second(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, first, cache, cache, "read in the first copy");
  readCache(c, second, cache, cache, "read in the second copy");
  second.selectListItem(indexOf(c, listed, L"short"));

  const std::wstring script = appFolder + L"\\Fok.BAT";
  first.selectListItem(indexOf(c, listed, L"long"));
  first.click(IDC_COMMAND1);
  // Held still, the interpreter is "running" for as long as the checks take, on any machine.
  const UniqueHandle interpreter = interpreterOf(c, first, SYNCHRONIZE | PROCESS_SUSPEND_RESUME);
  if (NtSuspendProcess(interpreter.get()) < 0) c.abort("cannot suspend the interpreter");
  const auto running = readBytes(script);
  first.selectListItem(indexOf(c, listed, L"short"));
  first.click(IDC_COMMAND1);
  expectMessage(c, first, kStillConverting, "a second conversion in the same copy");
  // By its close box.
  PostMessageW(first.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  if (!first.waitForExit(10000)) c.abort("the first copy does not end when closed");
  second.click(IDC_COMMAND1);
  expectMessage(c, second, kStillConverting, "a conversion in a second copy once the first has ended");
  c.check(readBytes(script) == running, "Fok.BAT changed while its interpreter ran");
  NtResumeProcess(interpreter.get());

  if (WaitForSingleObject(interpreter.get(), 120000) != WAIT_OBJECT_0) c.abort("the long join did not end in 2 min");
  const auto longOutput = readBytes(appFolder + L"\\Shipinlong.mp4");
  c.check(longOutput == longJoin, "the long join holds " + std::to_string(longOutput ? longOutput->size() : 0) +
                                      " bytes, not the " + std::to_string(longJoin.size()) + " expected");
  convert(c, second, listed, L"short", L"Shipinshor.mp4", joined(c, cache + L"\\short", {L"1.tdl", L"2.tdl"}));
}

// A thousand fragments numbered without padding: the join names each in numeric order. Their folder lies more than
// 260 characters deep below a name outside the code page, and the program's folder name is outside it too: Wine
// keeps no 8.3 names on disk but makes them up for GetShortPathNameW, so both reach the script in short forms.
// The first run is cut off midway: nothing may pass for the video, and the program clears what is left. Then a
// folder with numbers missing: the question comes first; No writes nothing, Yes joins what is there in numeric order.
void conversionManyFragments(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app \u0E01\U0001F600");
  const std::wstring id = L"0f4c3a9e2b7d41c6a8e5f90b1d2c3e4f";
  std::wstring cache = c.root + L"cache \u0E01";
  for (int level = 1; level <= 5; ++level) {
    cache += L"\\nested folder level " + std::to_wstring(level) + L" with a long name to pass MAX_PATH";
  }
  const std::wstring folder = cache + L"\\" + id, gaps = cache + L"\\9b1e";
  makeFolder(c, folder);
  std::vector<std::wstring> order, present;
  for (int n = 1; n <= 1000; ++n) order.push_back(L"a0017xk2pq3.321004." + std::to_wstring(n) + L".tdl");
  std::string expected;
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string bytes = fragment(static_cast<unsigned>(300 + i), 10000 + i % 7 * 1000);
    writeBytes(c, folder + L"\\" + order[i], bytes);
    expected += bytes;
  }
  for (int n : {1, 2, 3, 4, 5, 8, 9, 10}) {
    present.push_back(L"v.321004." + std::to_wstring(n) + L".tdl");
    makeFiles(c, gaps, {{present.back(), fragment(static_cast<unsigned>(500 + n), 3000)}});
  }
  const std::wstring output = appFolder + L"\\Shipin" + id.substr(0, 4) + L".mp4";
  const std::wstring script = appFolder + L"\\Fok.BAT", temporary = appFolder + L"\\Fok.tmp";

  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  app.selectListItem(indexOf(c, listed, id));
  app.click(IDC_COMMAND1);
  const UniqueHandle interpreter = interpreterOf(c, app, SYNCHRONIZE | PROCESS_SUSPEND_RESUME | PROCESS_TERMINATE);
  // Some way into the join, so that the caption has a share to show.
  const bool midway = waitUntil(
      [&] {
        return sizeOf(temporary) >= expected.size() / 20 || WaitForSingleObject(interpreter.get(), 0) == WAIT_OBJECT_0;
      },
      30000, 1);
  NtSuspendProcess(interpreter.get());
  c.check(midway && WaitForSingleObject(interpreter.get(), 0) == WAIT_TIMEOUT,
          "the join ended before it could be cut off");
  // The join is the first 40% of the whole conversion; the remux after it takes the rest.
  const std::wstring progress =
      L"正在转换 " + std::to_wstring(sizeOf(temporary) * 100 / expected.size() * 40 / 100) + L"% - " + kCaption;
  c.check(waitUntil([&] { return textOf(app.window()) == progress; }, 3000),
          "the caption during the join is " + quoted(textOf(app.window())) + ", not " + quoted(progress));
  TerminateProcess(interpreter.get(), 1);
  expectMessage(c, app, kIncomplete + output, "the interpreter killed");
  c.check(!readBytes(output), "a partial video took the final name");
  c.check(!readBytes(script) && !readBytes(temporary), "Fok.BAT or Fok.tmp is left after the killed run");
  c.check(textOf(app.window()) == kCaption, "the caption after the failure is " + quoted(textOf(app.window())));
  convert(c, app, listed, id, L"Shipin" + id.substr(0, 4) + L".mp4", expected);

  for (const int answer : {IDNO, IDYES}) {
    const std::string when = answer == IDNO ? "answered No" : "answered Yes";
    app.selectListItem(indexOf(c, listed, L"9b1e"));
    app.click(IDC_COMMAND1);
    const std::wstring asked = L"这个视频没有缓存完整，缺少 2 个分段，转换出的视频会在这些地方跳过。仍要转换吗？";
    const std::wstring text = answerBox(c, app, asked, when, {IDYES, IDNO}, answer);
    c.check(text == asked, when + ": the question is " + quoted(text));
    if (answer == IDNO) {
      expectMessage(c, app, L"", when);
      c.check(entries(appFolder).size() == 2, "after No the program's folder holds more than the program and a video");
    } else {
      awaitVideo(c, app, L"Shipin9b1e.mp4", joined(c, gaps, present), when);
    }
  }
}

}  // namespace

void addConversionCases(CaseList& cases) {
  cases.insert(cases.end(), {{L"conversion_join", conversionJoin},
                             {L"conversion_many_fragments", conversionManyFragments},
                             {L"conversion_one_at_a_time", conversionOneAtATime}});
}

}  // namespace e2e
