// The window-level state that the listing writes and the conversion reads.
#pragma once

#include <string>
#include <vector>

namespace convert {

struct CacheFolder {
  std::string baseName;  // the name without anything from its last dot on
  std::string fullPath;  // the folder itself, without a trailing backslash
};

struct CacheState {
  std::string CachePath;                      // as the read button cleaned it
  std::vector<CacheFolder> CacheFolderNames;  // entry i belongs to list position i
  std::string SelectedFolderPath;             // always ends in a backslash
  bool walking = false;                       // a walk is under way and has yielded to the window
};

}  // namespace convert
