// Text in the system's ANSI and OEM code pages, the one place bytes of a text file meet the program's UTF-8.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform::win32 {

// Nothing when a character has no place in the code page.
std::optional<std::string> encode(const std::string& utf8, CodePage page);
std::string decode(const std::string& bytes, CodePage page);

}  // namespace platform::win32
