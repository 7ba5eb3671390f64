// One pass over the transport stream: packets to PES to access units and ADTS frames
// to samples. Both passes run this same code, so the second meets exactly the samples
// the first counted, in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/remux.h"
#include "media/sample_table.h"
#include "media/video_access_units.h"

namespace media {

constexpr std::uint64_t kMaxSamples = std::uint64_t{1} << 22;  // about 18 hours of video and sound
constexpr std::size_t kMaxTracks = 8;

// Where the samples go: into the table on the first pass, into the file on the second.
class SampleReceiver {
 public:
  virtual ~SampleReceiver() = default;
  // Video: the unit's NAL units are in units.nals(). Audio: data and size are the raw frame.
  virtual void video(std::uint32_t track, const VideoAccessUnits& units, const AccessUnit& unit,
                     std::int64_t decodeTime, std::int64_t presentationTime) = 0;
  virtual void audio(std::uint32_t track, const std::uint8_t* data, std::size_t size, std::int64_t time) = 0;
  // False stops the pass (the sink refused bytes).
  virtual bool healthy() const { return true; }
};

struct PassResult {
  RemuxOutcome outcome = RemuxOutcome::Done;
  std::string detail;
  // What the first pass learns besides the samples.
  std::vector<TrackSamples> tracks;             // kind, pid and (for video) the parameter sets' config, no samples
  std::vector<VideoAccessUnits> parameterSets;  // per track, video only
};

// progressFrom and progressTo: the share of the whole work this pass covers.
PassResult RunDemuxPass(ByteSource& input, RemuxControl& control, double progressFrom, double progressTo,
                        SampleReceiver& receiver);

}  // namespace media
