// The program's folder as the place the videos land: which name a new video
// takes there, the names the program keeps for its own files there, and the
// explorer that shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/remux.h"
#include "platform/platform.h"

namespace convert {

// "Shipin" + the first four characters of the base name + ".mp4".
std::string OutputFileName(const std::string& baseName);

// The name the video of baseName's folder takes in appFolder: its own name while
// that is free or holds this folder's earlier output (a join of exactly
// expectedBytes, or an MP4 whose tag names the same folder and bytes), else the
// first "Shipin7f3a (2).mp4", "(3)", ... that is. A name in `taken` belongs to another
// video of the same run and is never chosen, whatever stands under it.
std::string ChooseOutputName(platform::Platform& platform, const std::string& appFolder, const std::string& baseName,
                             std::uint64_t expectedBytes, const media::SourceTag& tag = {},
                             const std::function<std::optional<media::SourceTag>(const std::string&)>& readTag = {},
                             const std::vector<std::string>& taken = {});

// The program's own names beside it (the script, the partial video, the settings'
// new copy) are written and removed freely; a folder or a link under one is the
// user's, or leads elsewhere, and is left alone. The message that names it, or
// nothing while the name is free for the program.
std::optional<std::string> OwnNameTaken(platform::Platform& platform, const std::string& path);

// The open-folder button: the explorer on the program's folder.
void OpenOutputFolder(platform::Platform& platform);

}  // namespace convert
