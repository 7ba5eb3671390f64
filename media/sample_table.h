// The samples of every track as plain data: what the first pass learns and the
// boxes are computed from. Kept compact, since it is the one thing that grows with
// the video.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/adts.h"
#include "media/parameter_sets.h"

namespace media {

enum class TrackKind { Video, Audio };

struct TrackSamples {
  TrackKind kind = TrackKind::Video;
  std::uint16_t pid = 0;
  std::uint32_t timescale = 90000;
  std::vector<std::uint32_t> sizes;
  // Decode times; for video in 90 kHz, for sound in the sample rate once set straight.
  std::vector<std::int64_t> decodeTimes;
  std::vector<std::int64_t> presentationTimes;  // video only, 90 kHz
  std::vector<bool> keys;                       // video only
  std::int64_t lastDuration = 0;                // of the last sample, in the track's timescale
  // How the decoder is set up.
  VideoTrackConfig video{VideoCodec::H264, {}, 0, 0};
  AudioConfig audio;
};

// A run of samples of one track that lie together in mdat, in the order they are written.
struct ChunkRun {
  std::uint32_t track;
  std::uint32_t samples;
};

struct SampleTable {
  std::vector<TrackSamples> tracks;
  std::vector<ChunkRun> chunks;
  std::uint64_t totalSamples = 0;
  std::uint64_t mediaBytes = 0;

  void add(std::uint32_t track, std::uint32_t size, std::int64_t decodeTime, std::int64_t presentationTime, bool key) {
    TrackSamples& samples = tracks[track];
    samples.sizes.push_back(size);
    samples.decodeTimes.push_back(decodeTime);
    if (samples.kind == TrackKind::Video) {
      samples.presentationTimes.push_back(presentationTime);
      samples.keys.push_back(key);
    }
    if (chunks.empty() || chunks.back().track != track) chunks.push_back({track, 0});
    ++chunks.back().samples;
    ++totalSamples;
    mediaBytes += size;
  }
};

}  // namespace media
