// A folder's entries, one at a time in the file system's own order, and their times as the user reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform::win32 {

Outcome<std::unique_ptr<DirectoryReader>> openDirectory(const std::string& folder, ShortNames shortNames);
// The user's short date and long time, in local time.
std::string formatCreationTime(std::int64_t created);

}  // namespace platform::win32
