// Times of a track: the 33-bit 90 kHz clock made continuous, and the times of a
// whole track set straight after damage before they are written.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace media {

constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kClockRate = 90000;

// The clock wraps every 26.5 hours; a value is taken as the one closest to the
// value before it, so a wrap inside a video goes on counting up.
class ClockUnwrapper {
 public:
  std::int64_t unwrap(std::uint64_t clock33);

 private:
  bool started_ = false;
  std::int64_t last_ = 0;
};

// Sets a track's times straight in place, given the usual step between two samples:
// missing times follow the one before; a time that jumps away and comes back within a
// few samples (a damaged header) is put back in line; a jump forward that lasts is a
// gap and stays; a short jump backward that lasts (pieces that overlap) keeps its times, squeezed to
// stay increasing; a long one (a clock started again) moves everything after it to follow on.
// snap puts times within an eighth of a step of the expected one exactly on it, for
// sound, whose frames follow each other without a hole unless the stream has one.
void RepairTimeline(std::vector<std::int64_t>& times, std::int64_t step, bool snap);

// The most common positive difference between neighbouring times among the first samples,
// or fallback when there is none.
std::int64_t TypicalStep(const std::vector<std::int64_t>& times, std::int64_t fallback);

}  // namespace media
