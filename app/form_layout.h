// The window's controls as data: where each sits in twips, its place in the tab
// order, the text it is created with and the caption the load step gives it.
#pragma once

#include <array>

#include "app/resource.h"

namespace app {

enum class Control { Label1, Text1, Command4, Label2, Command2, List1, Command1, Command5, Command3, Image1, Label3 };

enum class ControlKind { Label, TextBox, Button, ListBox, Picture };

inline constexpr int kNoTabStop = -1;

struct ControlLayout {
  Control control;
  int id;  // child window identifier
  ControlKind kind;
  int left, top, width, height;  // twips
  int tabIndex;                  // kNoTabStop for controls that take no focus
  const char* storedText;
  const char* loadCaption;  // nullptr: the load step leaves the text alone
};

inline constexpr int kClientWidthTwips = 8175;
inline constexpr int kClientHeightTwips = 8865;
inline constexpr int kTwipsPerInch = 1440;

inline constexpr const char* kStoredWindowCaption = "Form1";
inline constexpr const char* kWindowCaption = "Quendril腾讯视频转换为mp4格式ZV1.0";

// Label3's font: SimSun 14.25 pt, regular, GB2312 character set.
inline constexpr const char* kLabel3FontFace = "SimSun";
inline constexpr int kLabel3FontCentipoints = 1425;

inline constexpr std::array<ControlLayout, 11> kFormLayout = {{
    {Control::Label1, IDC_LABEL1, ControlKind::Label, 360, 120, 5535, 375, 5, "Label1", "腾讯视频客户端的缓存地址"},
    {Control::Text1, IDC_TEXT1, ControlKind::TextBox, 360, 600, 6615, 495, 4, "Text1", nullptr},
    {Control::Command4, IDC_COMMAND4, ControlKind::Button, 7200, 600, 735, 735, 7, "Command4", "保存缓存地址位置"},
    {Control::Label2, IDC_LABEL2, ControlKind::Label, 2760, 1560, 3975, 495, 6, "Label2",
     "请根据浏览腾讯视频的时间，选择需要转换的视频"},
    {Control::Command2, IDC_COMMAND2, ControlKind::Button, 720, 2160, 1335, 735, 1, "Command2",
     "读取浏览腾讯视频的时间"},
    {Control::List1, IDC_LIST1, ControlKind::ListBox, 2760, 2280, 4215, 3840, 2, "", nullptr},
    {Control::Command1, IDC_COMMAND1, ControlKind::Button, 720, 3240, 1335, 615, 0, "Command1", "开始转换"},
    {Control::Command5, IDC_COMMAND5, ControlKind::Button, 720, 4200, 1335, 615, 9, "Command5",
     "打开存放mp4视频的文件夹"},
    {Control::Command3, IDC_COMMAND3, ControlKind::Button, 720, 5160, 1335, 735, 3, "Command3", "结束"},
    {Control::Image1, IDC_IMAGE1, ControlKind::Picture, 720, 6480, 2175, 2175, kNoTabStop, "", nullptr},
    {Control::Label3, IDC_LABEL3, ControlKind::Label, 3600, 6720, 3375, 2055, 8, "Label3",
     "关注微信公众号“Harlowmere”，获得更多精彩视频和软件隐藏功能!使用过程遇到问题，也可以在微信公众号中反馈，"
     "我会及时回复的，谢谢！"},
}};

// The order in which the load step assigns captions.
inline constexpr std::array<Control, 8> kCaptionOrder = {Control::Label1,   Control::Label2,   Control::Label3,
                                                         Control::Command1, Control::Command2, Control::Command3,
                                                         Control::Command4, Control::Command5};

constexpr const ControlLayout& layoutOf(Control control) {
  for (const ControlLayout& entry : kFormLayout) {
    if (entry.control == control) return entry;
  }
  return kFormLayout[0];
}

}  // namespace app
