// A cache of transport-stream fragments becomes an MP4: ftyp, moov, then mdat, under the video's name, with the
// caption; the same video converted again replaces its MP4; the window closed during the remux ends the program at
// once and leaves the join under the video's name, while a second copy is told to wait.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"
#include "tests/e2e/video_files.h"

namespace e2e {
namespace {

void awaitCaption(Case& c, const App& app, const std::wstring& expected, const std::string& when) {
  waitUntil([&] { return app.messageBox() || textOf(app.window()) == expected; }, 120000, 50);
  expectMessage(c, app, L"", when);
  const std::wstring caption = textOf(app.window());
  c.check(caption == expected, when + ": the caption is " + quoted(caption) + ", not " + quoted(expected));
}

// Converted twice: the second time the MP4 is neither the fragments' size nor a new name's.
void remuxToMp4(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app"), cache = c.root + L"cache";
  const std::string joined = copyFragments(c, L"small", cache + L"\\0f4c3a9e");
  App app(c, appFolder);
  const std::vector<std::wstring> listed = readCache(c, app, cache, cache, "read");
  const std::wstring converted = std::wstring(L"已转换 Shipin0f4c.mp4 - ") + kCaption;
  for (const char* when : {"first conversion", "the same video again"}) {
    app.selectListItem(0);
    app.click(IDC_COMMAND1);
    app.settle();
    awaitCaption(c, app, converted, when);
    checkMp4(c, appFolder, L"Shipin0f4c.mp4", when);
  }
  c.check(readBytes(appFolder + L"\\Shipin0f4c.mp4") != joined, "the video holds the plain join");
  c.check(!readBytes(appFolder + L"\\Shipin0f4c (2).mp4"), "the same video converted again took a new name");
}

// The first copy is closed as soon as its MP4 has begun; the second copy's click meanwhile must wait its turn.
void remuxClosed(Case& c) {
  const std::wstring appFolder = installProgram(c, c.root + L"app"), cache = c.root + L"cache";
  const std::string joined = copyFragments(c, L"large", cache + L"\\9a8b7c6d");
  App first(c, appFolder);
  App second(c, appFolder);
  readCache(c, first, cache, cache, "read in the first copy");
  readCache(c, second, cache, cache, "read in the second copy");
  first.selectListItem(0);
  second.selectListItem(0);
  first.click(IDC_COMMAND1);
  const std::wstring mp4 = appFolder + L"\\Fok.mp4.tmp";
  if (!waitUntil([&] { return GetFileAttributesW(mp4.c_str()) != INVALID_FILE_ATTRIBUTES || first.messageBox(); },
                 120000, 1) ||
      first.messageBox()) {
    c.abort("the remux never began writing its MP4");
  }
  const std::wstring caption = textOf(first.window());
  const int percent = _wtoi(caption.c_str() + std::wstring(L"正在转换 ").size());
  c.check(caption.rfind(L"正在转换 ", 0) == 0 && percent >= 40 && percent < 100,
          "the caption during the remux is " + quoted(caption));
  second.click(IDC_COMMAND1);
  second.settle();
  const ULONGLONG closed = GetTickCount64();
  PostMessageW(first.window(), WM_CLOSE, 0, 0);
  const bool ended = first.waitForExit(5000);
  const ULONGLONG took = GetTickCount64() - closed;
  c.check(ended && took <= 1500, "the program took " + std::to_string(took) + " ms to end when closed");
  expectMessage(c, second, kStillConverting, "a conversion in a second copy during the remux");
  const auto video = readBytes(appFolder + L"\\Shipin9a8b.mp4");
  c.check(video == joined, "after the close the video holds " + std::to_string(video ? video->size() : 0) +
                               " bytes, not the join's " + std::to_string(joined.size()));
  c.check(GetFileAttributesW(mp4.c_str()) == INVALID_FILE_ATTRIBUTES, "the unfinished MP4 is left after the close");
}

}  // namespace

void addRemuxCases(CaseList& cases) {
  cases.insert(cases.end(), {{L"remux_to_mp4", remuxToMp4}, {L"remux_closed", remuxClosed}});
}

}  // namespace e2e
