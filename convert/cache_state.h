// The window-level state that the listing writes and the conversion reads.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/remux.h"
#include "platform/platform.h"

namespace convert {

struct CacheFolder {
  std::string baseName;      // the name without anything from its last dot on
  std::string fullPath;      // the folder itself, without a trailing backslash
  bool nameAltered = false;  // fullPath is not the folder's name, which UTF-8 cannot hold
  std::string shownTime;     // the list's text for it, by which messages name the video
};

// A conversion whose interpreter has been started and has not been seen to end.
struct RunningConversion {
  std::string appFolder;
  std::string outputName;
  std::string folder;                               // the fragments' folder, ending in a backslash
  std::vector<std::string> fragmentNames;           // every fragment the script names, in its order
  std::uint64_t expectedBytes = 0;                  // the fragments' sum at the start
  std::optional<platform::FileStamp> outputBefore;  // what stood under the output's name at the start
};

struct CacheState {
  std::string CachePath;                      // as the read button cleaned it
  std::vector<CacheFolder> CacheFolderNames;  // entry i belongs to list position i
  std::string SelectedFolderPath;             // always ends in a backslash
  bool walking = false;                       // a walk is under way and has yielded to the window
  std::optional<RunningConversion> conversion;
  // The tag of an MP4 this program made, read from the file at a path; nothing for any other file.
  std::function<std::optional<media::SourceTag>(const std::string& path)> readTag;
};

}  // namespace convert
