#include "media/timeline.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace media {

namespace {
constexpr std::int64_t kClockPeriod = std::int64_t{1} << 33;
constexpr std::size_t kReturnWindow = 64;  // samples in which a damaged time must come back to count as one
// A lasting jump back by more steps than this is a clock that started again; a shorter one is an overlap of
// joined pieces, which keeps its times so that the tracks stay in step.
constexpr std::int64_t kRestartJump = 50;
}  // namespace

std::int64_t ClockUnwrapper::unwrap(std::uint64_t clock33) {
  const auto value = static_cast<std::int64_t>(clock33 & (kClockPeriod - 1));
  if (!started_) {
    started_ = true;
    last_ = value;
    return value;
  }
  std::int64_t delta = (value - last_) % kClockPeriod;
  if (delta < 0) delta += kClockPeriod;
  if (delta >= kClockPeriod / 2) delta -= kClockPeriod;
  last_ += delta;
  return last_;
}

std::int64_t TypicalStep(const std::vector<std::int64_t>& times, std::int64_t fallback) {
  std::map<std::int64_t, int> counts;
  for (std::size_t i = 1; i < times.size() && i < 1000; ++i) {
    if (times[i] == kNoTime || times[i - 1] == kNoTime) continue;
    const std::int64_t step = times[i] - times[i - 1];
    if (step > 0 && step < 10 * kClockRate) ++counts[step];
  }
  std::int64_t best = fallback;
  int bestCount = 0;
  for (const auto& entry : counts)
    if (entry.second > bestCount) best = entry.first, bestCount = entry.second;
  return best;
}

void RepairTimeline(std::vector<std::int64_t>& times, std::int64_t step, bool snap) {
  const std::size_t count = times.size();
  if (count == 0) return;
  if (step <= 0) step = 1;
  // Sound is snapped only within the clock's rounding and a muxer's jitter: a shorter hole between joined
  // pieces, less than a frame, still lasts, and closing it would bring all later sound early.
  const std::int64_t tolerance = snap ? step / 8 : 3 * step;
  const auto near = [&](std::int64_t time, std::int64_t expected) {
    return time != kNoTime && std::llabs(time - expected) <= tolerance;
  };
  // The first time that the next one agrees with anchors the track.
  std::size_t anchor = count;
  for (std::size_t i = 0; i < count && i < kReturnWindow; ++i) {
    if (times[i] == kNoTime) continue;
    if (anchor == count) anchor = i;
    if (i + 1 < count && near(times[i + 1], times[i] + step)) {
      anchor = i;
      break;
    }
  }
  if (anchor == count) {
    for (std::size_t i = 0; i < count; ++i) times[i] = static_cast<std::int64_t>(i) * step;
    return;
  }
  std::int64_t previous = times[anchor] - static_cast<std::int64_t>(anchor) * step;
  std::int64_t shift = 0;  // added to every later time after a lasting jump back
  times[0] = previous;
  for (std::size_t i = 1; i < count; ++i) {
    const std::int64_t expected = previous + step;
    const std::int64_t time = times[i] == kNoTime ? kNoTime : times[i] + shift;
    std::int64_t result = expected;
    if (time == kNoTime) {
      result = expected;
    } else if (std::llabs(time - expected) <= tolerance) {
      result = snap ? expected : time;
    } else {
      bool comesBack = false;
      for (std::size_t j = i + 1; j < count && j < i + kReturnWindow && !comesBack; ++j)
        comesBack =
            times[j] != kNoTime && near(times[j] + shift, previous + static_cast<std::int64_t>(j - i + 1) * step);
      if (comesBack) {
        result = expected;
      } else if (time < expected && expected - time > kRestartJump * step) {
        shift += expected - time;
        result = expected;
      } else {
        result = time;
      }
    }
    if (result <= previous) result = previous + 1;
    times[i] = result;
    previous = result;
  }
}

}  // namespace media
