// The settings file beside the program: one line, the cache path last saved.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace app {

inline constexpr const char* kSettingsFileName = "shezhi.txt";
inline constexpr const char* kPathNotSaved = "缓存地址未能保存，原来保存的地址保持不变：";

// How a settings file's bytes are to be read. People edit the file by hand, and
// their editors save UTF-8 or UTF-16 more often than the ANSI code page.
enum class SettingsEncoding { Ansi, Utf8, Utf8WithMark, Utf16LittleEndian, Utf16BigEndian };

// UTF-16 and marked UTF-8 by their byte-order marks; unmarked UTF-8 when the bytes are
// strictly valid UTF-8 and not all ASCII; the ANSI code page for anything else.
SettingsEncoding DetectSettingsEncoding(const std::string& bytes);

// The path a settings file holds, or nothing when the file holds no line at all.
// The saved line comes back as written; a line wrapped in double quotes comes back
// without them, and blank lines after the path are ignored.
std::optional<std::string> ParseSettings(const std::string& bytes, platform::Platform& platform);

// The text as one line ended by CR LF: in the ANSI code page when it can hold the
// text, otherwise as UTF-8 behind a byte-order mark, so nothing comes back mangled.
// That includes ANSI bytes that happen to be valid UTF-8: they would read back as
// other characters.
std::string SettingsBytes(const std::string& text, platform::Platform& platform);

// The saved path, or nothing when there is none to show (no file, an unreadable
// file, an empty file).
std::optional<std::string> LoadSavedPath(platform::Platform& platform);

// Saves text in place of the old file; a failure leaves the old file and says so.
void SaveCachePath(platform::Platform& platform, const std::string& text);

}  // namespace app
