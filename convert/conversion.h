// A conversion's life: the start button's checks and the script's start, the
// progress while the interpreter runs, the check when it ends, and the clean-up
// of a run that was cut off.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/cache_state.h"
#include "convert/fragment_order.h"
#include "convert/list_view.h"
#include "platform/platform.h"

namespace convert {

// What a video's folder holds for the join, or why it cannot be converted.
struct FolderCheck {
  std::string refusal;  // the message that says why; empty when there are fragments to join
  FragmentPlan fragments;
};

// Reads the video's folder, yielding to the window meanwhile; sets SelectedFolderPath to it.
FolderCheck CheckFragmentFolder(platform::Platform& platform, CacheState& state, const CacheFolder& video);

// False when the system's command interpreter is missing, which the start button passes over in silence.
bool InterpreterPresent(platform::Platform& platform);

// Writes the script for a checked folder and starts the interpreter on it, one
// conversion at a time: empty once it runs, else the message that says why not.
// The video never takes one of the names in `taken` (compared as Windows does, without case).
std::string StartJoin(platform::Platform& platform, CacheState& state, const CacheFolder& video,
                      const FragmentPlan& fragments, const std::vector<std::string>& taken = {});

// The start button with one entry selected: checks the selection and the folder,
// asks about missing segments, then starts the join.
void StartConversion(platform::Platform& platform, ListView& list, CacheState& state);

// How far the running join has come, in percent of its fragments' bytes; nothing
// while no conversion runs.
std::optional<int> ConversionProgress(platform::Platform& platform, const CacheState& state);

// How a join ended, once what the run left has been removed.
struct JoinEnd {
  std::optional<std::string> name;  // the complete video's name
  std::string failure;              // without a name: the message that says why, if there is one
};

// The interpreter has ended: judges the join and cleans up, showing nothing.
JoinEnd FinishJoin(platform::Platform& platform, CacheState& state);

// At start-up: the script and the partial video of a run cut off while no copy
// of the program watched it, unless another copy's conversion is running now.
void RemoveInterruptedRun(platform::Platform& platform);

}  // namespace convert
