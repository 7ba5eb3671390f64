// The saved cache path: the bytes the save button writes, and what a start makes of a file.
#include <windows.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kNotSaved = L"缓存地址未能保存";
const char* const kUtf8Bom = "\xEF\xBB\xBF";

const std::wstring kEditedPath = L"D:\\视频缓存\\腾讯";

std::string utf16LittleEndianWithMark(const std::wstring& text) {
  std::string bytes = "\xFF\xFE";
  for (const wchar_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

void settingsSaveAndRestore(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt";
  const std::pair<std::wstring, std::string> texts[] = {
      {L"D:\\a,b", "D:\\a,b\r\n"},
      {L"   C:\\lead spaces", "   C:\\lead spaces\r\n"},
      // In the ANSI code page, which differs from the OEM one where that is 1252.
      GetACP() == 936
          ? std::pair<std::wstring, std::string>{L"D:\\中文\\缓存", "D:\\\xD6\xD0\xCE\xC4\\\xBB\xBA\xB4\xE6\r\n"}
          : std::pair<std::wstring, std::string>{L"D:\\\u00E9\\\u00E7", "D:\\\xE9\\\xE7\r\n"},
      {L"D:\\ก\\😀", std::string(kUtf8Bom) + "D:\\\xE0\xB8\x81\\\xF0\x9F\x98\x80\r\n"},
      // In code page 936 频 is C6 B5, which would read back as UTF-8 for Ƶ.
      {L"D:\\频", std::string(kUtf8Bom) + "D:\\\xE9\xA2\x91\r\n"},
      {L"", "\r\n"},
  };
  for (const auto& [typed, written] : texts) {
    const std::string what = "saving " + quoted(typed);
    {
      App app(c, folder);
      app.setText(IDC_TEXT1, typed);
      app.click(IDC_COMMAND4);
      expectNoMessage(c, app, what);
      const auto bytes = readBytes(settings);
      c.check(bytes == written,
              what + ": shezhi.txt holds " + (bytes ? quoted(*bytes) : "no file") + ", expected " + quoted(written));
    }
    App restarted(c, folder);
    const std::wstring shown = restarted.text(IDC_TEXT1);
    c.check(shown == typed, what + ": after a restart the path box shows " + quoted(shown));
  }
}

// Files the save button does not write itself; the ones it does come back in settingsSaveAndRestore.
void settingsLoad(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt";
  const std::tuple<const char*, std::optional<std::string>, std::wstring> files[] = {
      {"no shezhi.txt", std::nullopt, L"Text1"},
      {"an empty shezhi.txt", std::string(), L"Text1"},
      {"a shezhi.txt of one line break", std::string("\r\n"), L""},
      {"a quoted path", std::string("\"D:\\q\"\r\n"), L"D:\\q"},
      {"a path and a blank line", std::string("D:\\x\r\n\r\n"), L"D:\\x"},
      // What Notepad saves by default, and what its "Unicode" and PowerShell 5's > save.
      {"a UTF-8 shezhi.txt without a mark", utf8(kEditedPath), kEditedPath},
      {"a UTF-16 LE shezhi.txt with a mark", utf16LittleEndianWithMark(kEditedPath + L"\r\n"), kEditedPath},
  };
  for (const auto& [label, bytes, expected] : files) {
    removeTree(settings);
    if (bytes) writeBytes(c, settings, *bytes);
    App app(c, folder);
    const std::wstring shown = app.text(IDC_TEXT1);
    c.check(shown == expected, std::string("start with ") + label + ": the path box shows " + quoted(shown) +
                                   ", expected " + quoted(expected));
  }
}

// Root may write read-only files under Wine, so the file is also held open
// without write sharing, which stops every writer.
void settingsSaveDenied(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt";
  const std::string old = "C:\\old\r\n";
  writeBytes(c, settings, old);
  SetFileAttributesW(settings.c_str(), FILE_ATTRIBUTE_READONLY);

  App app(c, folder);
  c.check(app.text(IDC_TEXT1) == L"C:\\old", "the saved path is not shown at start");

  // Where the attribute alone stops writers, it is tried on its own first.
  if (!own(CreateFileW(settings.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr))) {
    app.setText(IDC_TEXT1, L"C:\\new one");
    app.click(IDC_COMMAND4);
    expectMessage(c, app, kNotSaved, "saving over a read-only shezhi.txt", true);
  }

  {
    const UniqueHandle lock =
        own(CreateFileW(settings.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!lock) c.abort("cannot hold shezhi.txt open");
    app.setText(IDC_TEXT1, L"C:\\new two");
    app.click(IDC_COMMAND4);
    expectMessage(c, app, kNotSaved, "saving while shezhi.txt may not be written", true);
    app.settle();
  }
  const auto bytes = readBytes(settings);
  c.check(bytes == old, "a failed save changed shezhi.txt to " + (bytes ? quoted(*bytes) : "no file"));
  c.check(app.text(IDC_TEXT1) == L"C:\\new two", "a failed save changed the path box");

  // A save puts a new file in place instead of rewriting the old one, which a failure halfway would leave
  // cut short: a second name of the old file still holds the old text afterwards.
  SetFileAttributesW(settings.c_str(), FILE_ATTRIBUTE_NORMAL);
  const std::wstring oldName = folder + L"\\shezhi-old.txt";
  if (!CreateHardLinkW(oldName.c_str(), settings.c_str(), nullptr)) c.abort("cannot link shezhi.txt" + lastError());
  app.setText(IDC_TEXT1, L"C:\\new three");
  app.click(IDC_COMMAND4);
  expectNoMessage(c, app, "saving beside a second name of shezhi.txt");
  c.check(readBytes(settings) == std::string("C:\\new three\r\n"), "the save did not write shezhi.txt");
  c.check(readBytes(oldName) == old, "the save rewrote the old shezhi.txt in place");
  expectResponsive(c, app, "after the saves");
}

}  // namespace

void addSettingsCases(CaseList& cases) {
  cases.push_back({L"settings_save_and_restore", settingsSaveAndRestore});
  cases.push_back({L"settings_load", settingsLoad});
  cases.push_back({L"settings_save_denied", settingsSaveDenied});
}

}  // namespace e2e
