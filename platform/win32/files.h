// Whole files: what a path names, its size, reading, writing and removing.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace platform::win32 {

// Writes every byte, in pieces, to an open file.
Status writeAll(HANDLE file, const void* data, std::size_t length);

PathKind kindOf(const std::string& path);
bool isLink(const std::string& path);
// The file under the name itself, never what a link there points to.
std::optional<FileStamp> fileStamp(const std::string& path);
// The size of a plain file; nothing for a folder or a missing path.
std::optional<std::uint64_t> fileSize(const std::string& path);
// The whole file, refused when it is larger than `largest` bytes.
Outcome<std::string> readFile(const std::string& path, std::uint64_t largest);
Status writeFile(const std::string& path, const std::string& bytes);
// Writes beside the file first and moves the copy into place only once it is whole on the disk.
Status replaceFile(const std::string& path, const std::string& bytes);
Status deleteFile(const std::string& path);

}  // namespace platform::win32
