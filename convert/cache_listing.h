// Reading the cache folder: one list entry per subfolder, shown by its creation time.
#pragma once

#include <string>

#include "convert/cache_state.h"
#include "convert/list_view.h"
#include "platform/platform.h"

namespace convert {

// The last component of a path without anything from its last dot on.
std::string GetBaseName(const std::string& path);

std::string WithTrailingBackslash(std::string path);

// A drive path (C:\...) or a network path (\\server\share...); anything else would
// be resolved against whatever folder happens to be current.
bool IsAbsolutePath(const std::string& path);

// The read button: checks the typed path and, if it names a folder, makes it
// `CachePath` and lists its subfolders in place of what was listed before.
void ReadCacheFolder(platform::Platform& platform, ListView& list, CacheState& state, const std::string& typedPath);

// Replaces the list and `CacheFolderNames` with the subfolders of path, yielding to
// the window after each one.
void ListCacheFolders(platform::Platform& platform, ListView& list, CacheState& state, const std::string& path);

}  // namespace convert
