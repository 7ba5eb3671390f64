#include "media/video_access_units.h"

#include <algorithm>

#include "media/byte_order.h"

namespace media {

namespace {
constexpr std::size_t kMaxSetsPerKind = 8;
constexpr std::size_t kMaxSetSize = 4096;
constexpr std::size_t kMaxGroups = 16;
}  // namespace

const std::vector<AccessUnit>& VideoAccessUnits::split(const std::uint8_t* data, std::size_t size) {
  nals_ = SplitAnnexB(data, size);
  units_.clear();
  AccessUnit current;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < nals_.size(); ++i) {
    const NalUnit nal = nals_[i];
    const int type = NalType(codec_, nal);
    // A damaged SPS would set up the decoder wrongly until the next one; without it the record's
    // set, or the one the stream repeats at its next key frame, decodes the picture.
    const int spsType = codec_ == VideoCodec::H264 ? kAvcSps : kHevcSps;
    if (type == spsType && !SequenceParameterSetReads(codec_, nal)) continue;
    if (IsAccessUnitDelimiter(codec_, type)) {
      if (current.nalCount != 0) units_.push_back(current);
      current = AccessUnit{kept, 0, 0, false};
      continue;
    }
    nals_[kept] = nal;
    if (current.nalCount == 0) current.firstNal = kept;
    ++kept;
    ++current.nalCount;
    // A sample larger than 4 GiB cannot be; the cap on PES size keeps this far below.
    current.sampleSize += static_cast<std::uint32_t>(4 + nal.size);
    if (IsKeyFrameUnit(codec_, type)) current.key = true;
  }
  nals_.resize(kept);
  if (current.nalCount != 0) units_.push_back(current);
  return units_;
}

void VideoAccessUnits::appendSample(const AccessUnit& unit, std::vector<std::uint8_t>& out) const {
  ByteWriter writer(out);
  for (std::size_t i = unit.firstNal; i < unit.firstNal + unit.nalCount; ++i) {
    const NalUnit& nal = nals_[i];
    writer.u32(static_cast<std::uint32_t>(nal.size));
    writer.bytes(nal.data, nal.size);
  }
}

void VideoAccessUnits::collectParameterSets(const AccessUnit& unit, bool damaged) {
  for (std::size_t i = unit.firstNal; i < unit.firstNal + unit.nalCount; ++i) {
    const NalUnit& nal = nals_[i];
    const int type = NalType(codec_, nal);
    if (!IsParameterSet(codec_, type) || nal.size > kMaxSetSize) continue;
    Sets& sets = codec_ == VideoCodec::H265 ? (type == kHevcVps   ? pending_.vps
                                               : type == kHevcSps ? pending_.sps
                                                                  : pending_.pps)
                                            : (type == kAvcSps ? pending_.sps : pending_.pps);
    std::vector<std::uint8_t> bytes(nal.data, nal.data + nal.size);
    if (sets.size() < kMaxSetsPerKind && std::find(sets.begin(), sets.end(), bytes) == sets.end()) {
      sets.push_back(std::move(bytes));
      pending_.damaged = pending_.damaged || damaged;
    }
  }
  if (!unit.key || !pending_.complete(codec_)) return;
  const auto same = std::find_if(groups_.begin(), groups_.end(),
                                 [&](const SetGroup& group) { return group.sameSets(pending_); });
  if (same != groups_.end()) {
    ++same->seen;
    same->damaged = same->damaged && pending_.damaged;
  } else if (groups_.size() < kMaxGroups) {
    pending_.seen = 1;
    groups_.push_back(std::move(pending_));
  }
  pending_ = SetGroup();
}

std::optional<VideoTrackConfig> VideoAccessUnits::config() const {
  std::vector<const SetGroup*> order;
  for (const SetGroup& group : groups_) order.push_back(&group);
  std::stable_sort(order.begin(), order.end(), [](const SetGroup* a, const SetGroup* b) {
    if (a->damaged != b->damaged) return !a->damaged;
    return (a->seen > 1) > (b->seen > 1);
  });
  // Sets after the last key frame, or in a stream without key frames, count last.
  if (pending_.complete(codec_)) order.push_back(&pending_);
  for (const SetGroup* group : order)
    if (auto built = BuildVideoConfig(codec_, group->vps, group->sps, group->pps)) return built;
  return std::nullopt;
}

}  // namespace media
