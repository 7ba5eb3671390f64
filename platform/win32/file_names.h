// Where things are and what they are called: the program's and the system's
// folders, and the long, short and \\?\ forms of a path.
#pragma once

#include <optional>
#include <string>

namespace platform::win32 {

// The form a file call needs: paths near or past MAX_PATH only work as \\?\ paths.
std::wstring forFileApi(const std::wstring& path);

std::string appFolder();
std::string windowsFolder();
std::string systemFolder();
std::string temporaryFolder();
// The long form of an existing path, without the \\?\ prefix the call may need; the path itself where it has none.
std::wstring longFormOf(const std::wstring& path);
// The 8.3 form of an existing path, or nothing where the volume keeps none.
std::optional<std::string> shortFormOf(const std::string& path);

}  // namespace platform::win32
