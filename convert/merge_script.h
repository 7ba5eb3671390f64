// The script's text: the lines that have the command interpreter join a folder's
// fragments into a video beside the program, quoted and cut to lengths cmd reads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "convert/fragment_order.h"
#include "platform/platform.h"

namespace convert {

inline constexpr const char* kScriptName = "Fok.BAT";
// The join grows under this name beside the program and takes the video's name
// only once every copy has succeeded, so a broken run never looks like a video.
inline constexpr const char* kTemporaryName = "Fok.tmp";

// Well under the 8,191 characters cmd reads of a line, since a cut copy line
// writes into its first source, a fragment of the user's cache.
inline constexpr std::size_t kLongestCopyLine = 4000;

// A path as one literal argument inside a batch file: quoted, so that & ^ ( ) , ;
// = and spaces are taken as they stand, and with % doubled, which a batch file
// expands even inside quotes.
std::string QuoteForBatch(const std::string& path);

// The script's lines, without line ends; folder ends in a backslash. "pushd" makes
// the folder current, the copy names each fragment relative to it in the order
// given, on as many copy lines of at most longestLine characters as it takes, each
// appending to the temporary file, and "popd" lets go of the folder before the
// script deletes itself. Four lines whenever one copy line holds the join. Nothing
// when a single name does not fit a line.
std::optional<std::vector<std::string>> MergeScriptLines(const std::string& folder, const std::string& appFolder,
                                                         const std::string& outputName,
                                                         const std::vector<std::string>& fragmentNames,
                                                         std::size_t longestLine = kLongestCopyLine);

// The form of path that the interpreter can read back from a script written in
// its code page: the path itself, or its 8.3 form when the path holds characters
// the code page lacks or is too long for the interpreter. Nothing when neither fits.
std::optional<std::string> ScriptablePath(platform::Platform& platform, const std::string& path);

struct ScriptPlan {
  std::vector<std::string> lines;
  std::string workingFolder;      // the program's folder as the script names it
  const char* refusal = nullptr;  // a message instead of a script
  std::string refused;            // what the message names
};

// The script for a folder's fragments, each named: a wildcard would also take what
// the client writes while the join runs, in the file system's order.
ScriptPlan PlanMergeScript(platform::Platform& platform, const FragmentPlan& fragments, const std::string& folder,
                           const std::string& appFolder, const std::string& outputName);

}  // namespace convert
