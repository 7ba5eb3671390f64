// A conversion's life: the start button's checks and the script's start, the
// progress while the interpreter runs, the check when it ends, and the clean-up
// of a run that was cut off.
#pragma once

#include <optional>
#include <string>

#include "convert/cache_state.h"
#include "convert/list_view.h"
#include "platform/platform.h"

namespace convert {

// The start button: checks the selection and the folder, asks about missing
// segments, writes the script and starts the interpreter on it, one conversion
// at a time.
void StartConversion(platform::Platform& platform, ListView& list, CacheState& state);

// How far the running join has come, in percent of its fragments' bytes; nothing
// while no conversion runs.
std::optional<int> ConversionProgress(platform::Platform& platform, const CacheState& state);

// The interpreter has ended: the name the complete video took, or nothing after
// saying why there is none and removing what the run left.
std::optional<std::string> FinishConversion(platform::Platform& platform, CacheState& state);

// At start-up: the script and the partial video of a run cut off while no copy
// of the program watched it, unless another copy's conversion is running now.
void RemoveInterruptedRun(platform::Platform& platform);

}  // namespace convert
