// Video access units from PES payloads: split where the stream puts an access unit
// delimiter, NAL units given a 4-byte length instead of a start code, delimiters
// dropped, parameter sets kept in place so a change inside the stream still decodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "media/parameter_sets.h"

namespace media {

struct AccessUnit {
  std::size_t firstNal = 0, nalCount = 0;  // into VideoAccessUnits::nals()
  std::uint32_t sampleSize = 0;            // bytes in length-prefixed form
  bool key = false;
};

class VideoAccessUnits {
 public:
  explicit VideoAccessUnits(VideoCodec codec) : codec_(codec) {}
  // The access units of one payload, in order; usually one, more when the stream put
  // several in one PES (each begun by a delimiter). Units with nothing but delimiters are left out.
  const std::vector<AccessUnit>& split(const std::uint8_t* data, std::size_t size);
  const std::vector<NalUnit>& nals() const { return nals_; }
  // The length-prefixed bytes of one unit from the last split.
  void appendSample(const AccessUnit& unit, std::vector<std::uint8_t>& out) const;

  // Notes the parameter sets a unit carries; damaged when its PES lost or gained bytes.
  void collectParameterSets(const AccessUnit& unit, bool damaged);
  // The sample entry's record, from the sets the key frames carried. One damaged set must not
  // decide the picture size of the whole video: sets that came intact come first, then sets
  // that recur at later key frames, then the earliest; sets that do not parse are passed over.
  std::optional<VideoTrackConfig> config() const;

 private:
  using Sets = std::vector<std::vector<std::uint8_t>>;
  struct SetGroup {
    Sets vps, sps, pps;
    std::uint32_t seen = 0;
    bool damaged = false;  // every time it came, it came in a damaged unit
    bool complete(VideoCodec codec) const {
      return !sps.empty() && !pps.empty() && (codec == VideoCodec::H264 || !vps.empty());
    }
    bool sameSets(const SetGroup& other) const { return vps == other.vps && sps == other.sps && pps == other.pps; }
  };

  VideoCodec codec_;
  std::vector<NalUnit> nals_;
  std::vector<AccessUnit> units_;
  SetGroup pending_;               // the sets since the last key frame that closed a group
  std::vector<SetGroup> groups_;   // distinct groups, in the order they first came
};

}  // namespace media
