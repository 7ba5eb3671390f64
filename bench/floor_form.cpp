// The program's whole window and nothing else: the same client area, the same
// eleven controls with the captions they show, the message font, a SimSun label,
// the QR picture and Common Controls 6. No settings, no COM, no DPI handling, no
// completion: the floor the program's start-up is measured against, so that what
// the window costs is not counted as what the program adds.

// windows.h first: the headers after it build on its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "floor_frame.h"

namespace {

constexpr wchar_t kWindowClass[] = L"BenchFloorForm";
constexpr int kPictureId = 1;  // floor_form.rc
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

enum class Font { Message, SimSun };

constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kList = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;

struct Child {
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
  RECT place;  // left, top, width, height in pixels at 96 dpi
  const wchar_t* text;
  Font font;
};

// In the program's tab order, the order it creates them in.
const Child kChildren[] = {
    {L"BUTTON", kButton, 0, {48, 216, 89, 41}, L"开始转换", Font::Message},
    {L"BUTTON", kButton, 0, {48, 144, 89, 49}, L"读取浏览腾讯视频的时间", Font::Message},
    {L"LISTBOX", kList, WS_EX_CLIENTEDGE, {184, 152, 281, 256}, L"", Font::Message},
    {L"BUTTON", kButton, 0, {48, 344, 89, 49}, L"结束", Font::Message},
    {L"EDIT", kEdit, WS_EX_CLIENTEDGE, {24, 40, 441, 33}, L"C:\\bench\\cache", Font::Message},
    {L"STATIC", kLabel, 0, {24, 8, 369, 25}, L"腾讯视频客户端的缓存地址", Font::Message},
    {L"STATIC", kLabel, 0, {184, 104, 265, 33}, L"请根据浏览腾讯视频的时间，选择需要转换的视频", Font::Message},
    {L"BUTTON", kButton, 0, {480, 40, 49, 49}, L"保存缓存地址位置", Font::Message},
    {L"STATIC",
     kLabel,
     0,
     {240, 448, 225, 137},
     L"关注微信公众号“Harlowmere”，获得更多精彩视频和软件隐藏功能!使用过程遇到问题，也可以在微信公众号中反馈，"
     L"我会及时回复的，谢谢！",
     Font::SimSun},
    {L"BUTTON", kButton, 0, {48, 280, 89, 41}, L"打开存放mp4视频的文件夹", Font::Message},
};
constexpr RECT kPicturePlace = {48, 432, 145, 145};

struct GdiOwner {
  HGDIOBJ object = nullptr;
  ~GdiOwner() {
    if (object) DeleteObject(object);
  }
};

HWND makeChild(HWND parent, HINSTANCE instance, const wchar_t* windowClass, DWORD style, DWORD exStyle,
               const RECT& place, const wchar_t* text) {
  return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top, place.right,
                         place.bottom, parent, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (!bench::registerFloorClass(instance, kWindowClass, bench::quitOnDestroy)) return 1;
  HWND window =
      bench::createFloorWindow(instance, kWindowClass, L"Quendril腾讯视频转换为mp4格式ZV1.0", kStyle, kExStyle);
  if (!window) return 1;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const GdiOwner messageFont{CreateFontIndirectW(&metrics.lfMessageFont)};
  LOGFONTW simSun{};
  simSun.lfHeight = -19;  // 14.25 pt at 96 dpi
  simSun.lfWeight = FW_NORMAL;
  simSun.lfCharSet = GB2312_CHARSET;
  lstrcpynW(simSun.lfFaceName, L"SimSun", LF_FACESIZE);
  const GdiOwner simSunFont{CreateFontIndirectW(&simSun)};
  const GdiOwner picture{
      LoadImageW(instance, MAKEINTRESOURCEW(kPictureId), IMAGE_BITMAP, kPicturePlace.right, kPicturePlace.bottom, 0)};

  for (const Child& child : kChildren) {
    HWND made = makeChild(window, instance, child.windowClass, child.style, child.exStyle, child.place, child.text);
    const HGDIOBJ font = child.font == Font::SimSun ? simSunFont.object : messageFont.object;
    SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  HWND image = makeChild(window, instance, L"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0, kPicturePlace, L"");
  SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.object));

  ShowWindow(window, showCommand);
  UpdateWindow(window);
  return bench::runMessageLoop(window);
}
