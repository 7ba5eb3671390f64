// Reading the cache folder: one list entry per subfolder, shown by its creation time.
#pragma once

#include <string>

#include "convert/cache_state.h"
#include "convert/list_view.h"
#include "platform/platform.h"

namespace convert {

// The read button: cleans the typed path (CleanTypedPath) and, if it names a folder,
// makes it `CachePath` and lists its subfolders in place of what was listed before.
void ReadCacheFolder(platform::Platform& platform, ListView& list, CacheState& state, const std::string& typedPath);

// Replaces the list and `CacheFolderNames` with the subfolders of path, yielding to
// the window after each one.
void ListCacheFolders(platform::Platform& platform, ListView& list, CacheState& state, const std::string& path);

}  // namespace convert
