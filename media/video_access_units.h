// Video access units from PES payloads: split where the stream puts an access unit
// delimiter, NAL units given a 4-byte length instead of a start code, delimiters
// dropped, parameter sets kept in place so a change inside the stream still decodes.
#pragma once

#include <cstddef>
#include <cstdint>
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

  // The first distinct parameter sets, kept until the first key frame that has them all.
  void collectParameterSets(const AccessUnit& unit);
  bool parameterSetsComplete() const;
  const std::vector<std::vector<std::uint8_t>>& vps() const { return vps_; }
  const std::vector<std::vector<std::uint8_t>>& sps() const { return sps_; }
  const std::vector<std::vector<std::uint8_t>>& pps() const { return pps_; }

 private:
  VideoCodec codec_;
  std::vector<NalUnit> nals_;
  std::vector<AccessUnit> units_;
  std::vector<std::vector<std::uint8_t>> vps_, sps_, pps_;
  bool setsClosed_ = false;
};

}  // namespace media
