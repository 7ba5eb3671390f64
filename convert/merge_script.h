// The conversion: a four-line script that has the command interpreter join the
// chosen folder's fragments into one MP4 file beside the program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/cache_state.h"
#include "convert/list_view.h"
#include "platform/platform.h"

namespace convert {

inline constexpr const char* kScriptName = "Fok.BAT";

// "Shipin" + the first four characters of the base name + ".mp4".
std::string OutputFileName(const std::string& baseName);

// A path as one literal argument inside a batch file: quoted, so that & ^ ( ) , ;
// = and spaces are taken as they stand, and with % doubled, which a batch file
// expands even inside quotes.
std::string QuoteForBatch(const std::string& path);

// The script's lines, without line ends. folder ends in a backslash. The copy names
// its source by full path, so it joins the right fragments even where the
// interpreter cannot make the folder current: "*.tdl" when fragmentNames is
// empty, otherwise each fragment in the order given.
std::vector<std::string> MergeScriptLines(const std::string& folder, const std::string& appFolder,
                                          const std::string& outputName,
                                          const std::vector<std::string>& fragmentNames = {});

// The form of path that the interpreter can read back from a script written in
// its code page: the path itself, or its 8.3 form when the path holds characters
// the code page lacks or is too long for the interpreter. Nothing when neither fits.
std::optional<std::string> ScriptablePath(platform::Platform& platform, const std::string& path);

// The start button: checks the selection and the folder, writes the script and
// starts the interpreter on it, one conversion at a time.
void StartConversion(platform::Platform& platform, ListView& list, CacheState& state);

// The interpreter has ended: says so when the video it made is missing or does
// not hold every byte of its fragments. Success stays silent.
void FinishConversion(platform::Platform& platform, CacheState& state);

// The open-folder button: the explorer on the program's folder.
void OpenOutputFolder(platform::Platform& platform);

}  // namespace convert
