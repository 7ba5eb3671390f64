// Where the program may run: not from the temporary folder that an archiver
// unpacks a double-clicked exe into, which takes the videos and the settings with it.
#pragma once

#include <string>

#include "platform/platform.h"

namespace app {

inline constexpr const char* kRunningFromTemporaryFolder =
    "程序正在临时文件夹里运行（多半是在压缩包里直接双击打开的），转换出的视频和保存的地址会随临时文件夹一起被删除。"
    "请先把压缩包里的文件全部解压到一个文件夹，再从那里运行本程序。";

// Whether folder is container itself or lies below it. Both are compared as their
// plain forms (not \\?\), without trailing backslashes, ignoring case; a drive root
// contains nothing here, since a temporary folder set to one would refuse the whole drive.
bool IsWithinFolder(const std::string& folder, const std::string& container);

// At start-up, before the window shows: false, after saying why, when the program
// runs from the user's temporary folder; the folders are compared in long form.
bool MayRunHere(platform::Platform& platform);

}  // namespace app
