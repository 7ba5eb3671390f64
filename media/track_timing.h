// From the times the stream gave to the times the MP4 keeps: each track's times set
// straight, and the edit lists that put every track at its place relative to the
// earliest sample, so sound and picture start in step as they did in the stream.
#pragma once

#include <cstdint>
#include <vector>

#include "media/sample_table.h"

namespace media {

constexpr std::uint32_t kMovieTimescale = 90000;

struct TrackTiming {
  std::int64_t emptyEdit = 0;      // movie timescale: nothing of the track shows before this
  std::int64_t mediaStart = 0;     // track timescale: where in its own times the track's presentation begins
  std::int64_t editDuration = 0;   // movie timescale
  std::int64_t mediaDuration = 0;  // track timescale: the sum of all sample durations
};

// Sets each track's times straight into durations (and compositionOffsets) in its own
// timescale, lets go of the times the stream gave, and returns the edits, one per track.
std::vector<TrackTiming> SettleTimes(SampleTable& table);

}  // namespace media
