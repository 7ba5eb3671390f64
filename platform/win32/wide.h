// The one pair of conversions between the program's UTF-8 and the UTF-16 of the
// Win32 calls.
#pragma once

#include <string>

namespace platform::win32 {

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
std::string toUtf8(const wchar_t* wide, int length);

}  // namespace platform::win32
