// The samples of every track as plain data: what the first pass learns and the
// boxes are computed from. Kept compact, since it is the one thing that grows with
// the video: a few bytes a sample, in blocks that never have to move.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "media/adts.h"
#include "media/parameter_sets.h"

namespace media {

enum class TrackKind { Video, Audio };

// Values appended one by one, held in blocks of a fixed size: growing never copies what is
// there, nor holds it twice as one vector does at the moment it doubles.
template <typename T>
class SampleColumn {
 public:
  void push_back(T value) {
    if (blocks_.empty() || blocks_.back().size() == kBlock) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlock);
    }
    blocks_.back().push_back(value);
    ++size_;
  }
  const T& operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
  T& operator[](std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }
  T& back() { return blocks_.back().back(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 16384;
  std::vector<std::vector<T>> blocks_;
  std::size_t size_ = 0;
};

// Times as the stream gave them (or kNoTime), each kept as its difference to the one before:
// four bytes a sample, and eight more only where the stream jumps by hours.
class StreamTimes {
 public:
  void push_back(std::int64_t time) {
    if (time == kMissing64) {
      steps_.push_back(kMissing);
      return;
    }
    const std::int64_t step = time - last_;
    if (started_ && last_ - time < kLimit && step < kLimit) {
      steps_.push_back(static_cast<std::int32_t>(step));
    } else {
      steps_.push_back(kJump);
      jumps_.push_back(time);
    }
    started_ = true;
    last_ = time;
  }
  std::size_t size() const { return steps_.size(); }
  std::vector<std::int64_t> expand() const {
    std::vector<std::int64_t> times(steps_.size());
    std::int64_t last = 0;
    std::size_t jump = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
      const std::int32_t step = steps_[i];
      if (step == kMissing) {
        times[i] = kMissing64;
        continue;
      }
      last = step == kJump ? jumps_[jump++] : last + step;
      times[i] = last;
    }
    return times;
  }
  void clear() {
    steps_.clear();
    jumps_.clear();
    jumps_.shrink_to_fit();
    started_ = false;
  }

 private:
  static constexpr std::int64_t kMissing64 = std::numeric_limits<std::int64_t>::min();  // kNoTime
  static constexpr std::int32_t kMissing = std::numeric_limits<std::int32_t>::min();
  static constexpr std::int32_t kJump = kMissing + 1;
  static constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  SampleColumn<std::int32_t> steps_;
  std::vector<std::int64_t> jumps_;
  std::int64_t last_ = 0;
  bool started_ = false;
};

struct TrackSamples {
  TrackKind kind = TrackKind::Video;
  std::uint16_t pid = 0;
  std::uint32_t timescale = 90000;
  SampleColumn<std::uint32_t> sizes;
  // As the stream gave them, in 90 kHz, until SettleTimes sets them straight into the two below.
  StreamTimes decodeTimes;
  StreamTimes presentationTimes;  // video only
  // In the track's timescale: from each sample to the next, the last one the usual step.
  SampleColumn<std::uint32_t> durations;
  SampleColumn<std::uint32_t> compositionOffsets;  // video only: presentation minus decode time
  std::vector<bool> keys;                          // video only
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
  SampleColumn<ChunkRun> chunks;
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
    mediaBytes += size;
  }
};

}  // namespace media
