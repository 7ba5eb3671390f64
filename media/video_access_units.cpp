#include "media/video_access_units.h"

#include <algorithm>

namespace media {

namespace {
constexpr std::size_t kMaxSetsPerKind = 8;
constexpr std::size_t kMaxSetSize = 4096;
constexpr int kH265Vps = 32, kH265Sps = 33, kH264Sps = 7;
}  // namespace

const std::vector<AccessUnit>& VideoAccessUnits::split(const std::uint8_t* data, std::size_t size) {
  nals_ = SplitAnnexB(data, size);
  units_.clear();
  AccessUnit current;
  for (std::size_t i = 0; i < nals_.size(); ++i) {
    const int type = NalType(codec_, nals_[i]);
    if (IsAccessUnitDelimiter(codec_, type)) {
      if (current.nalCount != 0) units_.push_back(current);
      current = AccessUnit{i + 1, 0, 0, false};
      continue;
    }
    if (current.nalCount == 0) current.firstNal = i;
    ++current.nalCount;
    // A sample larger than 4 GiB cannot be; the cap on PES size keeps this far below.
    current.sampleSize += static_cast<std::uint32_t>(4 + nals_[i].size);
    if (IsKeyFrameUnit(codec_, type)) current.key = true;
  }
  if (current.nalCount != 0) units_.push_back(current);
  return units_;
}

void VideoAccessUnits::appendSample(const AccessUnit& unit, std::vector<std::uint8_t>& out) const {
  for (std::size_t i = unit.firstNal; i < unit.firstNal + unit.nalCount; ++i) {
    const NalUnit& nal = nals_[i];
    const auto size = static_cast<std::uint32_t>(nal.size);
    const std::uint8_t length[4] = {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                                    static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
    out.insert(out.end(), length, length + 4);
    out.insert(out.end(), nal.data, nal.data + nal.size);
  }
}

void VideoAccessUnits::collectParameterSets(const AccessUnit& unit) {
  if (setsClosed_) return;
  for (std::size_t i = unit.firstNal; i < unit.firstNal + unit.nalCount; ++i) {
    const NalUnit& nal = nals_[i];
    const int type = NalType(codec_, nal);
    if (!IsParameterSet(codec_, type) || nal.size > kMaxSetSize) continue;
    auto& sets = codec_ == VideoCodec::H265 ? (type == kH265Vps   ? vps_
                                               : type == kH265Sps ? sps_
                                                                  : pps_)
                                            : (type == kH264Sps ? sps_ : pps_);
    std::vector<std::uint8_t> bytes(nal.data, nal.data + nal.size);
    if (sets.size() < kMaxSetsPerKind && std::find(sets.begin(), sets.end(), bytes) == sets.end())
      sets.push_back(std::move(bytes));
  }
  if (unit.key && parameterSetsComplete()) setsClosed_ = true;
}

bool VideoAccessUnits::parameterSetsComplete() const {
  return !sps_.empty() && !pps_.empty() && (codec_ == VideoCodec::H264 || !vps_.empty());
}

}  // namespace media
