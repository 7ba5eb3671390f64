// The window as a user first sees it: caption, controls, fonts and focus; start-up from a zip; the path box, and
// the bytes its save button writes in the real code pages, how it puts them in place, and what a failed save leaves.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/framework.h"

namespace e2e {
namespace {

const wchar_t* const kLabel3Text =
    L"关注微信公众号“Harlowmere”，获得更多精彩视频和软件隐藏功能!使用过程遇到问题，也可以在微信公众号中反馈，"
    L"我会及时回复的，谢谢！";

struct ExpectedControl {
  int id;
  const char* name;
  const wchar_t* className;
  int left, top, width, height;  // twips
  const wchar_t* text;           // nullptr: the control shows a picture
};

const ExpectedControl kControls[] = {
    {IDC_LABEL1, "Label1", L"Static", 360, 120, 5535, 375, L"腾讯视频客户端的缓存地址"},
    {IDC_TEXT1, "Text1", L"Edit", 360, 600, 6615, 495, L"Text1"},
    {IDC_COMMAND4, "Command4", L"Button", 7200, 600, 735, 735, L"保存缓存地址位置"},
    {IDC_LABEL2, "Label2", L"Static", 2760, 1560, 3975, 495, L"请根据浏览腾讯视频的时间，选择需要转换的视频"},
    {IDC_COMMAND2, "Command2", L"Button", 720, 2160, 1335, 735, L"读取浏览腾讯视频的时间"},
    {IDC_LIST1, "List1", L"ListBox", 2760, 2280, 4215, 3840, L""},
    {IDC_COMMAND1, "Command1", L"Button", 720, 3240, 1335, 615, L"开始转换"},
    {IDC_COMMAND5, "Command5", L"Button", 720, 4200, 1335, 615, L"打开存放mp4视频的文件夹"},
    {IDC_COMMAND3, "Command3", L"Button", 720, 5160, 1335, 735, L"结束"},
    {IDC_IMAGE1, "Image1", L"Static", 720, 6480, 2175, 2175, nullptr},
    {IDC_LABEL3, "Label3", L"Static", 3600, 6720, 3375, 2055, kLabel3Text},
};

const int kTabOrder[] = {IDC_COMMAND1, IDC_COMMAND2, IDC_LIST1,    IDC_COMMAND3,
                         IDC_TEXT1,    IDC_COMMAND4, IDC_COMMAND5, IDC_COMMAND1};

int screenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

int pixels(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

std::string nameOf(HWND window) {
  const int id = GetDlgCtrlID(window);
  for (const ExpectedControl& control : kControls) {
    if (control.id == id) return control.name;
  }
  return window ? "a window with ID " + std::to_string(id) : "nothing";
}

std::string rectText(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top) + ")";
}

// The control's pixels as luminance from 0 to 255, row by row; read from the screen because another process's
// window cannot be asked to paint into a device context of ours.
std::vector<std::vector<int>> luminanceOf(HWND control) {
  RECT area{};
  GetWindowRect(control, &area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  if (!GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS)) pixels.clear();
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::vector<std::vector<int>> rows(pixels.empty() ? 0 : static_cast<size_t>(height));
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint32_t p = pixels[i];
    rows[i / static_cast<size_t>(width)].push_back(
        static_cast<int>((p >> 16 & 0xFF) * 3 + (p >> 8 & 0xFF) * 6 + (p & 0xFF)) / 10);
  }
  return rows;
}

// The most rows with dark pixels in a row: the height of the tallest line of the control's text.
int lineHeight(HWND control) {
  int tallest = 0, run = 0;
  for (const auto& row : luminanceOf(control)) {
    const bool ink = std::any_of(row.begin(), row.end(), [](int l) { return l < 96; });
    tallest = std::max(tallest, run = ink ? run + 1 : 0);
  }
  return tallest;
}

void windowLayout(Case& c) {
  // What a join cut off while no copy of the program watched leaves behind goes once the window shows.
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring leftovers[] = {folder + L"\\Fok.BAT", folder + L"\\Fok.tmp"};
  for (const std::wstring& leftover : leftovers) writeBytes(c, leftover, "x");
  App app(c, folder);
  HWND main = app.window();
  c.check(waitUntil([&] { return !readBytes(leftovers[0]) && !readBytes(leftovers[1]); }, 10000),
          "Fok.BAT and Fok.tmp of an interrupted join are still there after the start");
  const int dpi = screenDpi();
  // The harness runs the window cases again at other DPIs; make sure one really is in force.
  if (const char* wanted = std::getenv("E2E_EXPECT_DPI")) {
    c.check(dpi == std::atoi(wanted), "screen at " + std::to_string(dpi) + " dpi, expected " + wanted);
  }

  const std::wstring caption = textOf(main);
  c.check(caption == kCaption, "window caption " + quoted(caption));

  RECT client{};
  GetClientRect(main, &client);
  const RECT wantClient{0, 0, pixels(8175, dpi), pixels(8865, dpi)};
  c.check(EqualRect(&client, &wantClient) != 0, "client area " + rectText(client) + ", expected " +
                                                    rectText(wantClient) + " at " + std::to_string(dpi) + " dpi");

  for (const ExpectedControl& expected : kControls) {
    const std::string name = expected.name;
    HWND control = GetDlgItem(main, expected.id);
    if (!c.check(control != nullptr, name + " missing")) continue;
    c.check(hasClass(control, expected.className), name + " is not a " + toUtf8(expected.className));
    c.check(IsWindowVisible(control) != 0, name + " is not visible");

    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    const int left = pixels(expected.left, dpi), top = pixels(expected.top, dpi);
    const RECT want{left, top, left + pixels(expected.width, dpi), top + pixels(expected.height, dpi)};
    c.check(EqualRect(&r, &want) != 0, name + " at " + rectText(r) + ", expected " + rectText(want));

    if (expected.text) {
      const std::wstring text = textOf(control);
      c.check(text == expected.text,
              name + " text " + quoted(text) + ", expected " + quoted(std::wstring(expected.text)));
    }
  }

  c.check(!(GetWindowLongW(app.control(IDC_TEXT1), GWL_STYLE) & ES_MULTILINE), "Text1 is a multi-line edit");
  const LONG listStyle = GetWindowLongW(app.control(IDC_LIST1), GWL_STYLE);
  c.check((listStyle & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_NOSEL)) == LBS_EXTENDEDSEL,
          "List1 does not select as Windows lists do with Shift and Ctrl");

  // The QR code: a picture of dark and light modules, not an empty box.
  size_t dark = 0, light = 0, all = 0;
  for (const auto& row : luminanceOf(app.control(IDC_IMAGE1))) {
    for (int l : row) dark += l<64, light += l> 192, ++all;
  }
  c.check(dark * 10 > all && light * 10 > all, "Image1 does not show a black-and-white picture (" +
                                                   std::to_string(dark) + " dark, " + std::to_string(light) +
                                                   " light of " + std::to_string(all) + " pixels)");

  // Label3 in SimSun 14.25 pt, Label1 in the normal GUI font, some 9 pt.
  const int label1 = lineHeight(app.control(IDC_LABEL1)), label3 = lineHeight(app.control(IDC_LABEL3));
  c.check(label1 > 0 && label3 * 4 > label1 * 5, "Label3's lines are " + std::to_string(label3) +
                                                     " pixels tall, not clearly more than Label1's " +
                                                     std::to_string(label1));

  const DWORD thread = GetWindowThreadProcessId(main, nullptr);
  const auto focus = [thread]() -> HWND {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
  };
  waitUntil([&] { return focus() == app.control(kTabOrder[0]); }, 5000);
  c.check(focus() == app.control(kTabOrder[0]), "focus starts on " + nameOf(focus()) + ", expected Command1");
  for (size_t step = 1; step < std::size(kTabOrder); ++step) {
    HWND from = focus();
    if (!from) c.abort("no control has the focus after " + std::to_string(step - 1) + " Tab presses");
    PostMessageW(from, WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(from, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
    HWND want = app.control(kTabOrder[step]);
    waitUntil([&] { return focus() != from; }, 3000);
    app.settle();
    if (!c.check(focus() == want,
                 "Tab from " + nameOf(from) + " goes to " + nameOf(focus()) + ", expected " + nameOf(want))) {
      return;
    }
  }
}

// As Explorer runs an exe double-clicked inside a zip; the driver's TMP and TEMP are the program's.
void startInTemporaryFolder(Case& c) {
  wchar_t temporary[MAX_PATH + 1] = {};
  if (!GetTempPathW(MAX_PATH + 1, temporary)) c.abort("no temporary folder" + lastError());
  const std::wstring unpacked = std::wstring(temporary) + L"Temp1_x.zip";
  removeTree(unpacked);
  const std::wstring folder = installProgram(c, unpacked + L"\\x");
  {
    App app(c, folder, App::Expect::NoWindow);
    waitUntil([&] { return app.messageBox() || app.waitForExit(0); }, 30000);
    c.check(!visibleWindow(MAIN_WINDOW_CLASS, app.processId()),
            "the window shows although the program runs from the temporary folder");
    expectMessage(c, app, L"程序正在临时文件夹里运行（多半是在压缩包里直接双击打开的）", "start in " + quoted(folder));
    c.check(app.waitForExit(10000), "the program goes on after the message");
  }
  c.check(entries(folder).size() == 1, "the program wrote into the temporary folder");
  removeTree(unpacked);
}

// A first run has no settings file, so the box shows its stored text: a click into it and typing must replace
// that text, and Enter must read what was typed. Clicks while a long walk runs must change nothing: neither a new
// read of another folder nor a conversion of the entry selected meanwhile. The end button ends the program
// without saving the typed path.
void pathBox(Case& c) {
  const std::wstring cache = c.root + L"cache", large = c.root + L"large";
  makeFolder(c, cache + L"\\7f3a9c");
  constexpr int kFolders = 2000;
  makeFolder(c, large);
  for (int i = 0; i < kFolders; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"\\d%05d", i);
    if (!CreateDirectoryW((large + name).c_str(), nullptr)) c.abort("cannot create the numbered folders");
  }
  App app(c, installProgram(c, c.root + L"app"));
  HWND box = app.control(IDC_TEXT1);
  RECT client{};
  GetClientRect(box, &client);
  const LPARAM middle = MAKELPARAM(client.right / 2, client.bottom / 2);
  PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, middle);
  PostMessageW(box, WM_LBUTTONUP, 0, middle);
  const auto selection = [&] { return static_cast<DWORD>(send(box, EM_GETSEL)); };
  c.check(waitUntil([&] { return selection() == MAKELONG(0, 5); }, 3000),
          "a click into the box holding " + quoted(textOf(box)) + " selects " + std::to_string(LOWORD(selection())) +
              " to " + std::to_string(HIWORD(selection())));
  for (wchar_t typed : cache) PostMessageW(box, WM_CHAR, typed, 1);
  waitUntil([&] { return textOf(box).size() >= cache.size(); }, 5000);
  c.check(textOf(box) == cache, "after a click and typing the box holds " + quoted(textOf(box)));
  PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PostMessageW(box, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC01C0001u));
  readCache(c, app, L"", cache, "Enter in the path box");

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
  c.check(!readBytes(app.folder() + L"\\Fok.BAT"), "a click during the walk wrote Fok.BAT");
  app.click(IDC_COMMAND3);
  c.check(app.waitForExit(10000), "Command3 does not end the program");
  c.check(!readBytes(app.folder() + L"\\shezhi.txt"), "ending the program saved the path box");
}

const wchar_t* const kNotSaved = L"缓存地址未能保存";
const wchar_t* const kMoveProgram = L"请把程序放到可以写入的文件夹（例如 D:\\tdl2mp4）再运行。";
const std::string kOld = "C:\\old\r\n";

// A save puts a new file in place instead of rewriting the old one, which a failure halfway would leave cut short:
// a second name of the old file still holds the old text afterwards. Each restart that shows the saved text makes
// the next save.
//
// Then shezhi.txt is held open without write sharing, which stops every writer, root under Wine too: the file is
// in use, and moving the program would not help. A folder where the new file is written first refuses the access,
// as a folder that may not be written does; that message says where to put the program.
void settingsSave(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  const std::wstring settings = folder + L"\\shezhi.txt", oldName = folder + L"\\shezhi-old.txt";
  const std::pair<std::wstring, std::string> texts[] = {
      // In the ANSI code page, which differs from the OEM one where that is 1252.
      GetACP() == 936
          ? std::pair<std::wstring, std::string>{L"D:\\中文\\缓存", "D:\\\xD6\xD0\xCE\xC4\\\xBB\xBA\xB4\xE6\r\n"}
          : std::pair<std::wstring, std::string>{L"D:\\\u00E9\\\u00E7", "D:\\\xE9\\\xE7\r\n"},
      // In no code page: UTF-8 with its mark.
      {L"D:\\ก\\😀",
       "\xEF\xBB\xBF"
       "D:\\\xE0\xB8\x81\\\xF0\x9F\x98\x80\r\n"},
  };
  std::optional<App> app;
  app.emplace(c, folder);
  for (const auto& [typed, written] : texts) {
    const std::string when = "saving " + quoted(typed);
    removeTree(oldName);
    writeBytes(c, settings, kOld);
    if (!CreateHardLinkW(oldName.c_str(), settings.c_str(), nullptr)) c.abort("cannot link shezhi.txt" + lastError());
    app->setText(IDC_TEXT1, typed);
    app->click(IDC_COMMAND4);
    expectMessage(c, *app, L"", when);
    const auto bytes = readBytes(settings);
    c.check(bytes == written,
            when + ": shezhi.txt holds " + quoted(bytes.value_or("")) + ", expected " + quoted(written));
    c.check(readBytes(oldName) == kOld, when + ": the old shezhi.txt was rewritten in place");
    app.emplace(c, folder);
    const std::wstring shown = textOf(app->control(IDC_TEXT1));
    c.check(shown == typed, when + ": after a restart the path box shows " + quoted(shown));
  }

  writeBytes(c, settings, kOld);
  {
    const UniqueHandle lock =
        own(CreateFileW(settings.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!lock) c.abort("cannot hold shezhi.txt open");
    app->setText(IDC_TEXT1, L"C:\\new");
    app->click(IDC_COMMAND4);
    const std::wstring said = expectMessage(c, *app, kNotSaved, "saving while shezhi.txt is held open");
    c.check(said.find(kMoveProgram) == std::wstring::npos, "a file in use is blamed on the folder");
  }
  const auto bytes = readBytes(settings);
  c.check(bytes == kOld, "a failed save changed shezhi.txt to " + quoted(bytes.value_or("(no file)")));

  // A folder under the name the new copy is written to belongs to someone else: named, and left as it was.
  const std::wstring copyName = settings + L".new";
  makeFolder(c, copyName);
  app->click(IDC_COMMAND4);
  expectMessage(c, *app, kOwnNameTaken + copyName, "saving beside a folder named shezhi.txt.new");
  c.check(readBytes(settings) == kOld && entries(copyName).empty(), "the save went on beside a folder in its way");
}

}  // namespace

void addWindowCases(CaseList& cases) {
  cases.insert(cases.end(), {{L"window_layout", windowLayout},
                             {L"start_in_temporary_folder", startInTemporaryFolder},
                             {L"path_box", pathBox},
                             {L"settings_save", settingsSave}});
}

}  // namespace e2e
