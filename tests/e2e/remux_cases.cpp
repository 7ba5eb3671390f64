// A cache of transport-stream fragments becomes an MP4: ftyp, moov, then mdat, under the video's name, with the
// caption; the same video converted again replaces its MP4; the window closed during the remux ends the program at
// once and leaves the join under the video's name, while a second copy is told to wait. The fragments are made by
// scripts/make-ts-fixtures.sh, whose folder E2E_TS_FIXTURES names.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kStillConverting = L"上一个视频还在转换，请等它完成后再开始下一个。";

std::wstring fixtureFolder(Case& c, const wchar_t* set) {
  wchar_t folder[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableW(L"E2E_TS_FIXTURES", folder, MAX_PATH * 2)) {
    c.abort("E2E_TS_FIXTURES names no folder of transport-stream fragments (scripts/make-ts-fixtures.sh)");
  }
  return std::wstring(folder) + L"\\" + set;
}

// The fixture's n.ts as the client names its fragments, numbered from 1; returns their join.
std::string copyFragments(Case& c, const wchar_t* set, const std::wstring& folder) {
  const std::wstring from = fixtureFolder(c, set);
  makeFolder(c, folder);
  std::string joined;
  for (int n = 0;; ++n) {
    const auto bytes = readBytes(from + L"\\" + std::to_wstring(n) + L".ts");
    if (!bytes) break;
    writeBytes(c, folder + L"\\k0029vf1a2b.321004." + std::to_wstring(n + 1) + L".tdl", *bytes);
    joined += *bytes;
  }
  if (joined.empty()) c.abort("no fragments in " + quoted(from));
  return joined;
}

std::uint64_t bigEndian(const std::string& bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

// The file's top-level boxes by type, or empty where their sizes do not add up to the file.
std::vector<std::string> topLevelBoxes(const std::string& file) {
  std::vector<std::string> types;
  for (std::size_t at = 0; at < file.size();) {
    if (file.size() - at < 8) return {};
    std::uint64_t size = bigEndian(file, at, 4);
    if (size == 1 && file.size() - at >= 16) size = bigEndian(file, at + 8, 8);
    if (size < 8 || size > file.size() - at) return {};
    types.push_back(file.substr(at + 4, 4));
    at += static_cast<std::size_t>(size);
  }
  return types;
}

std::size_t indexOfBox(const std::vector<std::string>& types, const char* type) {
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (types[i] == type) return i;
  }
  return types.size();
}

// The video under its name is an MP4 that a player can start streaming at once, and nothing of the work is left.
void checkMp4(Case& c, const std::wstring& appFolder, const std::wstring& name, const std::string& when) {
  const auto bytes = readBytes(appFolder + L"\\" + name);
  const std::vector<std::string> types = topLevelBoxes(bytes.value_or(""));
  const std::size_t moov = indexOfBox(types, "moov"), mdat = indexOfBox(types, "mdat");
  c.check(!types.empty() && types[0] == "ftyp" && moov < mdat && mdat < types.size(),
          when + ": " + quoted(name) + " is no MP4 with ftyp first and moov before mdat");
  for (const wchar_t* left : {L"Fok.BAT", L"Fok.tmp", L"Fok.mp4.tmp"}) {
    c.check(GetFileAttributesW((appFolder + L"\\" + left).c_str()) == INVALID_FILE_ATTRIBUTES,
            when + ": " + quoted(std::wstring(left)) + " is left");
  }
}

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
