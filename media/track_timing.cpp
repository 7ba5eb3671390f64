#include "media/track_timing.h"

#include <algorithm>

#include "media/timeline.h"

namespace media {

namespace {

constexpr std::int64_t kMaxCompositionOffset = 10 * kClockRate;
constexpr std::int64_t kAacFrameSamples = 1024;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Keeps the settled times as steps, and lets go of the times the stream gave.
void KeepSteps(TrackSamples& track, const std::vector<std::int64_t>& decode, std::int64_t lastStep) {
  track.durations.clear();
  for (std::size_t i = 0; i + 1 < decode.size(); ++i)
    track.durations.push_back(static_cast<std::uint32_t>(decode[i + 1] - decode[i]));
  track.durations.push_back(static_cast<std::uint32_t>(lastStep));
  track.decodeTimes.clear();
  track.presentationTimes.clear();
}

// Returns the presentation start in 90 kHz.
std::int64_t SettleVideo(TrackSamples& track, TrackTiming& timing) {
  std::vector<std::int64_t> decode = track.decodeTimes.expand();
  const std::vector<std::int64_t> given = decode;
  std::vector<std::int64_t> present = track.presentationTimes.expand();
  const std::int64_t step = TypicalStep(decode, 3600);
  RepairTimeline(decode, step, false);
  std::int64_t offset = 0, earliest = 0, latest = 0;
  track.compositionOffsets.clear();
  for (std::size_t i = 0; i < decode.size(); ++i) {
    // A frame keeps the presentation time the stream gave it when its decode time only moved a little to keep
    // the order; one whose time was replaced or moved with the rest of the track keeps its composition offset.
    const bool sane = present[i] != kNoTime && given[i] != kNoTime && present[i] - given[i] >= 0 &&
                      present[i] - given[i] <= kMaxCompositionOffset;
    if (sane) offset = present[i] - given[i];
    const std::int64_t moved = given[i] == kNoTime ? kNoTime : decode[i] - given[i];
    if (sane && moved != kNoTime && moved >= -3 * step && moved <= 3 * step) {
      present[i] = std::max(present[i], decode[i]);
    } else {
      present[i] = decode[i] + offset;
    }
    track.compositionOffsets.push_back(static_cast<std::uint32_t>(present[i] - decode[i]));
    earliest = i == 0 ? present[i] : std::min(earliest, present[i]);
    latest = i == 0 ? present[i] : std::max(latest, present[i]);
  }
  const std::int64_t first = decode.front();
  timing.mediaStart = earliest - first;
  timing.mediaDuration = decode.back() + step - first;
  timing.editDuration = latest + step - earliest;
  KeepSteps(track, decode, step);
  return earliest;
}

std::int64_t SettleAudio(TrackSamples& track, TrackTiming& timing) {
  std::vector<std::int64_t> times = track.decodeTimes.expand();
  const std::int64_t rate = track.audio.sampleRate();
  track.timescale = static_cast<std::uint32_t>(rate);
  for (auto& time : times)
    if (time != kNoTime) time = FloorDiv(time * rate + kClockRate / 2, kClockRate);
  RepairTimeline(times, kAacFrameSamples, true);
  const std::int64_t first = times.front();
  timing.mediaStart = 0;
  timing.mediaDuration = times.back() + kAacFrameSamples - first;
  timing.editDuration = timing.mediaDuration * kMovieTimescale / rate;
  KeepSteps(track, times, kAacFrameSamples);
  return FloorDiv(first * kClockRate, rate);
}

}  // namespace

std::vector<TrackTiming> SettleTimes(SampleTable& table) {
  std::vector<TrackTiming> timings(table.tracks.size());
  std::vector<std::int64_t> starts(table.tracks.size());
  for (std::size_t i = 0; i < table.tracks.size(); ++i) {
    TrackSamples& track = table.tracks[i];
    if (track.sizes.empty()) continue;
    starts[i] = track.kind == TrackKind::Video ? SettleVideo(track, timings[i]) : SettleAudio(track, timings[i]);
  }
  bool any = false;
  std::int64_t movieStart = 0;
  for (std::size_t i = 0; i < table.tracks.size(); ++i) {
    if (table.tracks[i].sizes.empty()) continue;
    movieStart = any ? std::min(movieStart, starts[i]) : starts[i];
    any = true;
  }
  for (std::size_t i = 0; i < table.tracks.size(); ++i)
    if (!table.tracks[i].sizes.empty()) timings[i].emptyEdit = starts[i] - movieStart;
  return timings;
}

}  // namespace media
