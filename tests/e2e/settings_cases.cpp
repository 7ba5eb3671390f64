// The saved cache path: the bytes the save button writes in the real code pages, how it puts them in place, and
// what a failed save leaves.
#include <windows.h>

#include <string>
#include <utility>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kNotSaved = L"缓存地址未能保存";
const wchar_t* const kMoveProgram = L"请把程序放到可以写入的文件夹（例如 D:\\tdl2mp4）再运行。";
const std::string kOld = "C:\\old\r\n";

// A save puts a new file in place instead of rewriting the old one, which a failure halfway would leave cut short:
// a second name of the old file still holds the old text afterwards.
void settingsSave(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt", oldName = folder + L"\\shezhi-old.txt";
  const std::pair<std::wstring, std::string> texts[] = {
      // In the ANSI code page, which differs from the OEM one where that is 1252.
      GetACP() == 936
          ? std::pair<std::wstring, std::string>{L"D:\\中文\\缓存", "D:\\\xD6\xD0\xCE\xC4\\\xBB\xBA\xB4\xE6\r\n"}
          : std::pair<std::wstring, std::string>{L"D:\\\u00E9\\\u00E7", "D:\\\xE9\\\xE7\r\n"},
      {L"D:\\ก\\😀",
       "\xEF\xBB\xBF"
       "D:\\\xE0\xB8\x81\\\xF0\x9F\x98\x80\r\n"},
      // In code page 936 频 is C6 B5, which would read back as UTF-8 for Ƶ.
      {L"D:\\频",
       "\xEF\xBB\xBF"
       "D:\\\xE9\xA2\x91\r\n"},
  };
  for (const auto& [typed, written] : texts) {
    const std::string when = "saving " + quoted(typed);
    removeTree(oldName);
    writeBytes(c, settings, kOld);
    if (!CreateHardLinkW(oldName.c_str(), settings.c_str(), nullptr)) c.abort("cannot link shezhi.txt" + lastError());
    {
      App app(c, folder);
      app.setText(IDC_TEXT1, typed);
      app.click(IDC_COMMAND4);
      expectMessage(c, app, L"", when);
    }
    const auto bytes = readBytes(settings);
    c.check(bytes == written,
            when + ": shezhi.txt holds " + quoted(bytes.value_or("")) + ", expected " + quoted(written));
    c.check(readBytes(oldName) == kOld, when + ": the old shezhi.txt was rewritten in place");
    const std::wstring shown = textOf(App(c, folder).control(IDC_TEXT1));
    c.check(shown == typed, when + ": after a restart the path box shows " + quoted(shown));
  }
}

// Held open without write sharing, which stops every writer, root under Wine too: the file is in use, and moving
// the program would not help. A folder where the new file is written first refuses the access, as a folder that
// may not be written does; that message says where to put the program.
void settingsSaveRefused(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt";
  writeBytes(c, settings, kOld);
  App app(c, folder);
  {
    const UniqueHandle lock =
        own(CreateFileW(settings.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!lock) c.abort("cannot hold shezhi.txt open");
    app.setText(IDC_TEXT1, L"C:\\new");
    app.click(IDC_COMMAND4);
    const std::wstring said = expectMessage(c, app, kNotSaved, "saving while shezhi.txt is held open");
    c.check(said.find(kMoveProgram) == std::wstring::npos, "a file in use is blamed on the folder");
  }
  const auto bytes = readBytes(settings);
  c.check(bytes == kOld, "a failed save changed shezhi.txt to " + quoted(bytes.value_or("(no file)")));

  makeFolder(c, settings + L".new");
  app.click(IDC_COMMAND4);
  const std::wstring said = expectMessage(c, app, kNotSaved, "saving where access is denied");
  c.check(said.size() > wcslen(kMoveProgram) &&
              said.compare(said.size() - wcslen(kMoveProgram), std::wstring::npos, kMoveProgram) == 0,
          "a refused save does not end by saying where to put the program: " + quoted(said));
}

}  // namespace

void addSettingsCases(CaseList& cases) {
  cases.insert(cases.end(), {{L"settings_save", settingsSave}, {L"settings_save_refused", settingsSaveRefused}});
}

}  // namespace e2e
