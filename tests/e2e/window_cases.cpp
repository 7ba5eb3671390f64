// The window as a user first sees it: caption, controls, fonts, focus, and the two ways out.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

std::wstring classOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::string rectText(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top) + ")";
}

// Screen pixels as 0x00RRGGBB; read from the screen because another process's
// window cannot be asked to paint into a device context of ours.
std::vector<uint32_t> captureScreen(const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> result;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* pixelsIn = static_cast<const uint32_t*>(bits);
    result.assign(pixelsIn, pixelsIn + static_cast<size_t>(width) * static_cast<size_t>(height));
    for (uint32_t& p : result) p &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return result;
}

int luminance(uint32_t p) { return static_cast<int>(((p >> 16) & 0xFF) * 3 + ((p >> 8) & 0xFF) * 6 + (p & 0xFF)) / 10; }

// Which pixels carry text: those far from the commonest colour. Comparing shapes
// rather than colours keeps a different background brush from hiding a font match.
std::vector<bool> inkOf(const std::vector<uint32_t>& image) {
  std::vector<uint32_t> sorted = image;
  std::sort(sorted.begin(), sorted.end());
  uint32_t background = 0;
  size_t best = 0;
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i;
    while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
    if (j - i > best) best = j - i, background = sorted[i];
    i = j;
  }
  const int base = luminance(background);
  int farthest = 0;
  for (uint32_t p : image) farthest = std::max(farthest, std::abs(luminance(p) - base));
  std::vector<bool> ink(image.size());
  for (size_t i = 0; i < image.size(); ++i)
    ink[i] = farthest > 0 && std::abs(luminance(image[i]) - base) * 2 > farthest;
  return ink;
}

// Share of differing text pixels among all text pixels of either image: 0 for the same drawing.
double inkDifference(const std::vector<bool>& a, const std::vector<bool>& b) {
  if (a.size() != b.size() || a.empty()) return 1.0;
  size_t either = 0, differ = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    either += a[i] || b[i];
    differ += a[i] != b[i];
  }
  return either == 0 ? 1.0 : static_cast<double>(differ) / static_cast<double>(either);
}

void pumpMessages(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

// A label of our own drawn with a chosen font, to hold against one of the program's labels.
class ReferenceLabel {
 public:
  ReferenceLabel(const RECT& screenArea, const wchar_t* text, HFONT font) {
    static const bool registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = DefWindowProcW;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
      windowClass.lpszClassName = L"E2EReferenceLabel";
      return RegisterClassW(&windowClass) != 0;
    }();
    (void)registered;
    const int width = screenArea.right - screenArea.left, height = screenArea.bottom - screenArea.top;
    host_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"E2EReferenceLabel", L"", WS_POPUP | WS_VISIBLE,
                            screenArea.left, screenArea.top, width, height, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    label_ = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, width, height, host_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    UpdateWindow(host_);
    pumpMessages(300);
  }
  ~ReferenceLabel() {
    DestroyWindow(host_);
    pumpMessages(50);
  }
  ReferenceLabel(const ReferenceLabel&) = delete;
  ReferenceLabel& operator=(const ReferenceLabel&) = delete;

 private:
  HWND host_ = nullptr;
  HWND label_ = nullptr;
};

// A place on the screen of the given size that the program's window does not cover.
RECT freeArea(const RECT& avoid, int width, int height) {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  const POINT corners[] = {{screenWidth - width - 8, screenHeight - height - 8},
                           {screenWidth - width - 8, 8},
                           {8, screenHeight - height - 8},
                           {8, 8}};
  for (const POINT& corner : corners) {
    const RECT candidate{corner.x, corner.y, corner.x + width, corner.y + height};
    RECT overlap;
    if (!IntersectRect(&overlap, &candidate, &avoid)) return candidate;
  }
  return RECT{corners[0].x, corners[0].y, corners[0].x + width, corners[0].y + height};
}

void windowLayout(Case& c) {
  App app(c, installProgram(c, c.root() + L"app"));
  HWND main = app.window();
  const int dpi = screenDpi();
  // The harness runs the window cases again at other DPIs; make sure one really is in force.
  if (const char* wanted = std::getenv("E2E_EXPECT_DPI")) {
    c.check(dpi == std::atoi(wanted), "screen at " + std::to_string(dpi) + " dpi, expected " + wanted);
  }

  wchar_t caption[256] = {};
  GetWindowTextW(main, caption, 256);
  c.check(caption == std::wstring(kCaption), "window caption " + quoted(caption));

  RECT client{};
  GetClientRect(main, &client);
  const int wantWidth = pixels(8175, dpi), wantHeight = pixels(8865, dpi);
  c.check(client.right == wantWidth && client.bottom == wantHeight,
          "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + ", expected " +
              std::to_string(wantWidth) + "x" + std::to_string(wantHeight) + " at " + std::to_string(dpi) + " dpi");

  for (const ExpectedControl& expected : kControls) {
    const std::string name = expected.name;
    HWND control = GetDlgItem(main, expected.id);
    if (!c.check(control != nullptr, name + " missing")) continue;
    const std::wstring className = classOf(control);
    c.check(CompareStringOrdinal(className.c_str(), -1, expected.className, -1, TRUE) == CSTR_EQUAL,
            name + " is a " + utf8(className) + ", expected " + utf8(expected.className));
    c.check(IsWindowVisible(control) != 0, name + " is not visible");

    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    const RECT want{pixels(expected.left, dpi), pixels(expected.top, dpi),
                    pixels(expected.left, dpi) + pixels(expected.width, dpi),
                    pixels(expected.top, dpi) + pixels(expected.height, dpi)};
    c.check(EqualRect(&r, &want) != 0, name + " at " + rectText(r) + ", expected " + rectText(want));

    if (expected.text) {
      const std::wstring text = app.text(expected.id);
      c.check(text == expected.text, name + " text " + quoted(text) + ", expected " + quoted(expected.text));
    }
  }

  const LONG editStyle = GetWindowLongW(app.control(IDC_TEXT1), GWL_STYLE);
  c.check(!(editStyle & ES_MULTILINE), "Text1 is a multi-line edit");
  const LONG listStyle = GetWindowLongW(app.control(IDC_LIST1), GWL_STYLE);
  c.check(!(listStyle & LBS_SORT), "List1 sorts its entries");
  c.check(!(listStyle & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL | LBS_NOSEL)), "List1 is not a single-selection list");
  c.check((listStyle & LBS_NOINTEGRALHEIGHT) != 0, "List1 lacks LBS_NOINTEGRALHEIGHT");
  c.check(app.listCount() == 0, "List1 holds " + std::to_string(app.listCount()) + " entries at start");
  for (int button : {IDC_COMMAND1, IDC_COMMAND2, IDC_COMMAND3, IDC_COMMAND4, IDC_COMMAND5}) {
    const LONG type = GetWindowLongW(app.control(button), GWL_STYLE) & BS_TYPEMASK;
    c.check(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON, nameOf(app.control(button)) + " is not a push button");
  }
  const LONG label3Type = GetWindowLongW(app.control(IDC_LABEL3), GWL_STYLE) & SS_TYPEMASK;
  c.check(label3Type == SS_LEFT || label3Type == SS_CENTER || label3Type == SS_RIGHT, "Label3 does not wrap its text");

  // The QR code: a picture of dark and light modules, not an empty box.
  RECT image{};
  GetWindowRect(app.control(IDC_IMAGE1), &image);
  const std::vector<uint32_t> picture = captureScreen(image);
  size_t dark = 0, light = 0;
  for (uint32_t p : picture) {
    const int l = luminance(p);
    dark += l < 64;
    light += l > 192;
  }
  c.check(dark * 10 > picture.size() && light * 10 > picture.size(),
          "Image1 does not show a black-and-white picture (" + std::to_string(dark) + " dark, " +
              std::to_string(light) + " light of " + std::to_string(picture.size()) + " pixels)");
}

// Share of text pixels that differ between the program's label and ours drawn
// with the font: 0 for the same drawing.
double differenceFrom(HWND programLabel, const RECT& referenceArea, const wchar_t* text, HFONT font) {
  RECT area{};
  GetWindowRect(programLabel, &area);
  const std::vector<bool> program = inkOf(captureScreen(area));
  ReferenceLabel reference(referenceArea, text, font);
  return inkDifference(program, inkOf(captureScreen(referenceArea)));
}

std::string percent(double share) { return std::to_string(static_cast<int>(share * 100)) + "%"; }

void windowFonts(Case& c) {
  App app(c, installProgram(c, c.root() + L"app"));
  RECT windowArea{};
  GetWindowRect(app.window(), &windowArea);
  const auto referenceAreaFor = [&](HWND label) {
    RECT area{};
    GetWindowRect(label, &area);
    return freeArea(windowArea, area.right - area.left, area.bottom - area.top);
  };

  const int dpi = screenDpi();
  // 14.25 pt.
  HFONT simSun = CreateFontW(-MulDiv(1425, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"SimSun");
  // "The normal GUI font" is either of the two the system offers for controls.
  HFONT guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HFONT messageFont = CreateFontIndirectW(&metrics.lfMessageFont);

  HWND label3 = app.control(IDC_LABEL3);
  const RECT label3Reference = referenceAreaFor(label3);
  double label3Best = 1.0, label3Default = 0.0;
  waitUntil(
      [&] {
        label3Best = std::min(label3Best, differenceFrom(label3, label3Reference, kLabel3Text, simSun));
        label3Default = differenceFrom(label3, label3Reference, kLabel3Text, guiFont);
        return label3Best <= 0.02;
      },
      5000, 100);
  c.check(label3Best <= 0.02,
          "Label3 does not look drawn in SimSun 14.25 pt GB2312 (" + percent(label3Best) + " of text pixels differ)");
  // A match only counts where the other font would not have matched as well.
  if (label3Best <= 0.02) {
    c.check(label3Default >= 0.2,
            "the font check cannot tell SimSun from the default GUI font here (" + percent(label3Default) + " differ)");
  }

  HWND label1 = app.control(IDC_LABEL1);
  const wchar_t* label1Text = L"腾讯视频客户端的缓存地址";
  const RECT label1Reference = referenceAreaFor(label1);
  double label1Best = 1.0, label1SimSun = 0.0;
  waitUntil(
      [&] {
        label1Best = std::min({label1Best, differenceFrom(label1, label1Reference, label1Text, guiFont),
                               differenceFrom(label1, label1Reference, label1Text, messageFont)});
        label1SimSun = differenceFrom(label1, label1Reference, label1Text, simSun);
        return label1Best <= 0.02;
      },
      5000, 100);
  c.check(label1Best <= 0.02, "Label1 is not drawn in the normal GUI font (" + percent(label1Best) +
                                  " of text pixels differ from the nearer of the two)");
  if (label1Best <= 0.02) {
    c.check(label1SimSun >= 0.2,
            "the font check cannot tell Label1's font from SimSun here (" + percent(label1SimSun) + " differ)");
  }
  DeleteObject(simSun);
  DeleteObject(messageFont);
}

void windowTabOrder(Case& c) {
  App app(c, installProgram(c, c.root() + L"app"));
  HWND first = app.control(kTabOrder[0]);
  waitUntil([&] { return app.focus() == first; }, 5000);
  c.check(app.focus() == first, "focus starts on " + nameOf(app.focus()) + ", expected Command1");

  for (size_t step = 1; step < std::size(kTabOrder); ++step) {
    HWND from = app.focus();
    if (!from) c.abort("no control has the focus after " + std::to_string(step - 1) + " Tab presses");
    PostMessageW(from, WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(from, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
    HWND want = app.control(kTabOrder[step]);
    waitUntil([&] { return app.focus() != from; }, 3000);
    app.settle();
    if (!c.check(app.focus() == want,
                 "Tab from " + nameOf(from) + " goes to " + nameOf(app.focus()) + ", expected " + nameOf(want))) {
      return;
    }
  }
}

void windowEnd(Case& c) {
  const std::wstring folder = installProgram(c, c.root() + L"app");
  {
    App app(c, folder);
    app.setText(IDC_TEXT1, L"C:\\typed but not saved");
    app.click(IDC_COMMAND3);
    c.check(app.waitForExit(10000), "Command3 does not end the program");
    c.check(!fileExists(folder + L"\\shezhi.txt"), "ending the program saved the path box");
  }
  {
    App app(c, folder);
    PostMessageW(app.window(), WM_CLOSE, 0, 0);
    c.check(app.waitForExit(10000), "WM_CLOSE does not end the program");
  }
  {
    App app(c, folder);
    PostMessageW(app.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    c.check(app.waitForExit(10000), "the close box (SC_CLOSE) does not end the program");
  }
}

}  // namespace

void addWindowCases(CaseList& cases) {
  cases.push_back({L"window_layout", windowLayout});
  cases.push_back({L"window_fonts", windowFonts});
  cases.push_back({L"window_tab_order", windowTabOrder});
  cases.push_back({L"window_end", windowEnd});
}

}  // namespace e2e
