// The window as a user first sees it: caption, controls, fonts, focus, and the two ways out.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
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

// Screen pixels as 0x00RRGGBB; read from the screen because another process's
// window cannot be asked to paint into a device context of ours.
std::vector<uint32_t> captureScreen(const RECT& area) {
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
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

int luminance(uint32_t p) { return static_cast<int>(((p >> 16) & 0xFF) * 3 + ((p >> 8) & 0xFF) * 6 + (p & 0xFF)) / 10; }

// Which pixels carry text: those far from the commonest colour. Comparing shapes
// rather than colours keeps a different background brush from hiding a font match.
std::vector<bool> inkOf(const std::vector<uint32_t>& image) {
  std::map<uint32_t, size_t> counts;
  for (uint32_t p : image) ++counts[p];
  const auto commonest =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  const int base = commonest == counts.end() ? 0 : luminance(commonest->first);
  int farthest = 0;
  for (uint32_t p : image) farthest = std::max(farthest, std::abs(luminance(p) - base));
  std::vector<bool> ink(image.size());
  for (size_t i = 0; i < image.size(); ++i)
    ink[i] = farthest > 0 && std::abs(luminance(image[i]) - base) * 2 > farthest;
  return ink;
}

// Share of text pixels that differ between the program's label and our reference
// label showing the text in the font: 0 for the same drawing.
double differenceFrom(HWND programLabel, HWND reference, HFONT font) {
  RECT area{}, referenceArea{};
  GetWindowRect(programLabel, &area);
  const std::vector<bool> program = inkOf(captureScreen(area));
  SendMessageW(reference, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  UpdateWindow(reference);
  for (const ULONGLONG end = GetTickCount64() + 300; GetTickCount64() < end; Sleep(10)) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  GetWindowRect(reference, &referenceArea);
  const std::vector<bool> drawn = inkOf(captureScreen(referenceArea));
  if (program.size() != drawn.size() || program.empty()) return 1.0;
  size_t either = 0, differ = 0;
  for (size_t i = 0; i < program.size(); ++i) {
    either += program[i] || drawn[i];
    differ += program[i] != drawn[i];
  }
  return either == 0 ? 1.0 : static_cast<double>(differ) / static_cast<double>(either);
}

void windowLayout(Case& c) {
  App app(c, installProgram(c, c.root + L"app"));
  HWND main = app.window();
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
  c.check(!(listStyle & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_NOSEL)), "List1 is not single-selection");

  // The QR code: a picture of dark and light modules, not an empty box.
  RECT image{};
  GetWindowRect(app.control(IDC_IMAGE1), &image);
  const std::vector<uint32_t> picture = captureScreen(image);
  size_t dark = 0, light = 0;
  for (uint32_t p : picture) {
    dark += luminance(p) < 64;
    light += luminance(p) > 192;
  }
  c.check(dark * 10 > picture.size() && light * 10 > picture.size(),
          "Image1 does not show a black-and-white picture (" + std::to_string(dark) + " dark, " +
              std::to_string(light) + " light of " + std::to_string(picture.size()) + " pixels)");
}

std::string percent(double share) { return std::to_string(static_cast<int>(share * 100)) + "%"; }

// The label must match our drawing in one of the fonts it may be in; the match only
// counts where the font it must not be in would not have matched as well. The
// reference label goes to a corner the program's window does not cover.
void checkFont(Case& c, App& app, HWND reference, int id, std::initializer_list<HFONT> fonts,
               const std::string& fontName, HFONT otherFont, const std::string& otherName) {
  HWND label = app.control(id);
  RECT window{}, area{};
  GetWindowRect(app.window(), &window);
  GetWindowRect(label, &area);
  const int width = area.right - area.left, height = area.bottom - area.top;
  const int right = GetSystemMetrics(SM_CXSCREEN) - width - 8, bottom = GetSystemMetrics(SM_CYSCREEN) - height - 8;
  POINT place{right, bottom};
  for (const POINT& corner : {POINT{8, 8}, POINT{8, bottom}, POINT{right, 8}, POINT{right, bottom}}) {
    const RECT candidate{corner.x, corner.y, corner.x + width, corner.y + height};
    RECT overlap;
    if (!IntersectRect(&overlap, &candidate, &window)) place = corner;
  }
  SetWindowPos(reference, HWND_TOPMOST, place.x, place.y, width, height, SWP_NOACTIVATE);
  SetWindowTextW(reference, textOf(label).c_str());
  const std::string name = nameOf(label);
  double best = 1.0, other = 0.0;
  waitUntil(
      [&] {
        for (HFONT font : fonts) best = std::min(best, differenceFrom(label, reference, font));
        other = differenceFrom(label, reference, otherFont);
        return best <= 0.02;
      },
      5000, 100);
  if (c.check(best <= 0.02, name + " is not drawn in " + fontName + " (" + percent(best) + " of text pixels differ)")) {
    c.check(other >= 0.2, "the font check cannot tell " + name + "'s font from " + otherName + " here (" +
                              percent(other) + " differ)");
  }
}

void windowFonts(Case& c) {
  App app(c, installProgram(c, c.root + L"app"));
  // 14.25 pt.
  HFONT simSun = CreateFontW(-MulDiv(1425, screenDpi(), 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"SimSun");
  // "The normal GUI font" is either of the two the system offers for controls.
  HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT messageFont = CreateFontIndirectW(&metrics.lfMessageFont);
  // One label for every drawing: under Wine each top-level window that goes costs seconds.
  HWND reference = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE | SS_LEFT, 0,
                                   0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  checkFont(c, app, reference, IDC_LABEL3, {simSun}, "SimSun 14.25 pt GB2312", guiFont, "the default GUI font");
  checkFont(c, app, reference, IDC_LABEL1, {guiFont, messageFont}, "the normal GUI font", simSun, "SimSun");
  DestroyWindow(reference);
  DeleteObject(simSun);
  DeleteObject(messageFont);
}

void windowTabOrder(Case& c) {
  App app(c, installProgram(c, c.root + L"app"));
  const DWORD thread = GetWindowThreadProcessId(app.window(), nullptr);
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

void windowEnd(Case& c) {
  const std::wstring folder = installProgram(c, c.root + L"app");
  struct Way {
    const char* name;
    UINT message;  // 0: press Command3
    WPARAM wParam;
  };
  for (const Way& way : {Way{"Command3", 0, 0}, Way{"WM_CLOSE", WM_CLOSE, 0},
                         Way{"the close box (SC_CLOSE)", WM_SYSCOMMAND, SC_CLOSE}}) {
    App app(c, folder);
    app.setText(IDC_TEXT1, L"C:\\typed but not saved");
    if (way.message == 0)
      app.click(IDC_COMMAND3);
    else
      PostMessageW(app.window(), way.message, way.wParam, 0);
    c.check(app.waitForExit(10000), std::string(way.name) + " does not end the program");
  }
  c.check(!readBytes(folder + L"\\shezhi.txt"), "ending the program saved the path box");
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
    for (HWND window : topLevelWindows(MAIN_WINDOW_CLASS, app.processId())) {
      c.check(!IsWindowVisible(window), "the window shows although the program runs from the temporary folder");
    }
    expectMessage(c, app, L"程序正在临时文件夹里运行（多半是在压缩包里直接双击打开的）", "start in " + quoted(folder));
    c.check(app.waitForExit(10000), "the program goes on after the message");
  }
  std::vector<std::wstring> names;
  for (const WIN32_FIND_DATAW& entry : entries(folder)) names.push_back(entry.cFileName);
  c.check(names == std::vector<std::wstring>{L"tdl2mp4.exe"},
          "the program wrote into the temporary folder: " + std::to_string(names.size()) + " entries");
  removeTree(unpacked);
}

// A first run has no settings file, so the box shows its stored text: a click into it and typing must replace
// that text, and Enter must read what was typed.
void pathBox(Case& c) {
  const std::wstring cache = c.root + L"cache";
  makeFolder(c, cache + L"\\7f3a9c");
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
}

}  // namespace

void addWindowCases(CaseList& cases) {
  cases.insert(cases.end(), {{L"window_layout", windowLayout},
                             {L"window_fonts", windowFonts},
                             {L"window_tab_order", windowTabOrder},
                             {L"window_end", windowEnd},
                             {L"start_in_temporary_folder", startInTemporaryFolder},
                             {L"path_box", pathBox}});
}

}  // namespace e2e
