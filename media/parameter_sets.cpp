#include "media/parameter_sets.h"

#include <algorithm>
#include <cstring>

#include "media/byte_order.h"

namespace media {
namespace {

// Reads bits from a NAL unit's payload with its emulation prevention bytes taken
// out. Reading past the end yields zeros and marks the reader failed, so a parser
// can run straight through and look once at the end; every count a parser loops on
// is bounded by the caller, since zeros alone would not stop a loop.
class BitReader {
 public:
  explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::uint32_t bits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | bit();
    return value;
  }
  bool flag() { return bit() != 0; }
  void skip(std::size_t count) {
    if (count > bitsLeft()) {
      failed_ = true;
      position_ = bytes_.size() * 8;
    } else {
      position_ += count;
    }
  }

  // Exp-Golomb; values past 32 bits cannot occur in a valid stream.
  std::uint32_t ue() {
    int leadingZeros = 0;
    while (!bit()) {
      if (failed_ || ++leadingZeros > 31) {
        failed_ = true;
        return 0;
      }
    }
    return static_cast<std::uint32_t>((std::uint64_t{1} << leadingZeros) - 1 + bits(leadingZeros));
  }
  std::int32_t se() {
    const std::uint32_t code = ue();
    const auto magnitude = static_cast<std::int32_t>((code + 1) / 2);
    return code % 2 ? magnitude : -magnitude;
  }
  // An ue() that must not exceed limit; a larger value fails the reader.
  std::uint32_t ue(std::uint32_t limit) {
    const std::uint32_t value = ue();
    if (value > limit) failed_ = true;
    return value > limit ? 0 : value;
  }

  bool failed() const { return failed_; }
  void fail() { failed_ = true; }
  // Whether what is left is exactly the stop bit and the zeros that fill its byte.
  bool atEnd() {
    if (failed_ || bit() != 1) return false;
    while (position_ < bytes_.size() * 8)
      if (bit() != 0) return false;
    return true;
  }

 private:
  std::size_t bitsLeft() const { return bytes_.size() * 8 - position_; }
  std::uint32_t bit() {
    if (position_ >= bytes_.size() * 8) {
      failed_ = true;
      return 0;
    }
    const std::uint32_t value = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1u;
    ++position_;
    return value;
  }

  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool failed_ = false;
};

// The payload after the NAL header, with every 00 00 03 turned back into 00 00.
BitReader payloadReader(const std::vector<std::uint8_t>& unit, std::size_t headerBytes) {
  std::vector<std::uint8_t> rbsp;
  rbsp.reserve(unit.size());
  int zeros = 0;
  for (std::size_t i = std::min(headerBytes, unit.size()); i < unit.size(); ++i) {
    const std::uint8_t byte = unit[i];
    if (zeros >= 2 && byte == 3) {
      zeros = 0;
      continue;
    }
    zeros = byte == 0 ? zeros + 1 : 0;
    rbsp.push_back(byte);
  }
  return BitReader(std::move(rbsp));
}

// The conformance or frame cropping window, when the SPS has one: left plus right
// and top plus bottom, in the units the caller scales by its chroma subsampling.
struct CropOffsets {
  std::uint64_t across = 0;
  std::uint64_t down = 0;
};

CropOffsets readCropOffsets(BitReader& reader) {
  CropOffsets crop;
  if (!reader.flag()) return crop;
  crop.across = reader.ue();
  crop.across += reader.ue();
  crop.down = reader.ue();
  crop.down += reader.ue();
  return crop;
}

// Picture size after cropping, from the coded size and the crop offsets in chroma
// units; nothing when the result is empty or does not fit the sample entry.
std::optional<std::pair<std::uint16_t, std::uint16_t>> croppedSize(std::uint64_t codedWidth, std::uint64_t codedHeight,
                                                                   std::uint64_t cropX, std::uint64_t cropY) {
  if (cropX >= codedWidth || cropY >= codedHeight) return std::nullopt;
  const std::uint64_t width = codedWidth - cropX;
  const std::uint64_t height = codedHeight - cropY;
  if (width > 0xFFFF || height > 0xFFFF) return std::nullopt;
  return std::make_pair(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
}

// Chroma subsampling factors (horizontal, vertical) for chroma_format_idc 0..3;
// monochrome and separate colour planes count as one sample per luma sample.
std::pair<std::uint32_t, std::uint32_t> chromaSubsampling(std::uint32_t chromaFormat, bool separatePlanes) {
  if (separatePlanes || chromaFormat == 0 || chromaFormat == 3) return {1, 1};
  return chromaFormat == 1 ? std::make_pair(2u, 2u) : std::make_pair(2u, 1u);
}

// The sets in their given order with repeats left out; nothing when one is not of
// the expected kind or is too long for the record's 16-bit length.
std::optional<std::vector<std::vector<std::uint8_t>>> distinctSets(VideoCodec codec,
                                                                   const std::vector<std::vector<std::uint8_t>>& sets,
                                                                   int expectedType) {
  std::vector<std::vector<std::uint8_t>> distinct;
  for (const auto& set : sets) {
    const std::size_t headerBytes = codec == VideoCodec::H264 ? 1 : 2;
    if (set.size() <= headerBytes || set.size() > 0xFFFF) return std::nullopt;
    if (NalType(codec, NalUnit{set.data(), set.size()}) != expectedType) return std::nullopt;
    if (std::find(distinct.begin(), distinct.end(), set) == distinct.end()) distinct.push_back(set);
  }
  if (distinct.empty()) return std::nullopt;
  return distinct;
}

// ---- H.264 ----

constexpr int kAvcDelimiter = 9, kAvcIdr = 5;

struct AvcSps {
  std::uint8_t profile = 0, compatibility = 0, level = 0;
  std::uint32_t chromaFormat = 1, bitDepthLumaMinus8 = 0, bitDepthChromaMinus8 = 0;
  std::uint16_t width = 0, height = 0;
};

// Profiles whose SPS carries chroma format, bit depths and scaling matrices.
bool hasAvcHighFields(std::uint32_t profile) {
  switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
      return true;
    default:
      return false;
  }
}

void skipAvcScalingList(BitReader& reader, int size) {
  std::int32_t lastScale = 8, nextScale = 8;
  for (int j = 0; j < size && !reader.failed(); ++j) {
    if (nextScale != 0) {
      const std::int32_t delta = reader.se();
      if (delta < -128 || delta > 127) reader.fail();
      nextScale = (lastScale + delta + 256) % 256;
    }
    if (nextScale != 0) lastScale = nextScale;
  }
}

void skipAvcHrd(BitReader& reader) {
  const std::uint32_t count = reader.ue(31) + 1;
  reader.skip(8);  // bit_rate_scale, cpb_size_scale
  for (std::uint32_t i = 0; i < count && !reader.failed(); ++i) {
    reader.ue();
    reader.ue();
    reader.skip(1);
  }
  reader.skip(20);  // four delay and offset lengths
}

void skipAvcVui(BitReader& reader) {
  if (reader.flag() && reader.bits(8) == 255) reader.skip(32);  // aspect ratio, given as a width and height
  if (reader.flag()) reader.skip(1);                            // overscan
  if (reader.flag() && (reader.skip(4), reader.flag())) reader.skip(24);  // video signal, colour description
  if (reader.flag()) {                                                   // chroma location
    reader.ue();
    reader.ue();
  }
  if (reader.flag()) reader.skip(65);  // timing
  const bool nalHrd = reader.flag();
  if (nalHrd) skipAvcHrd(reader);
  const bool vclHrd = reader.flag();
  if (vclHrd) skipAvcHrd(reader);
  if (nalHrd || vclHrd) reader.skip(1);  // low_delay_hrd_flag
  reader.skip(1);                        // pic_struct_present_flag
  if (reader.flag()) {                   // bitstream restriction
    reader.skip(1);
    for (int i = 0; i < 6; ++i) reader.ue();
  }
}

// wholeUnit: the SPS must also read through its VUI to the stop bit at its very end, which a
// damaged one rarely does even when its first fields still make sense.
std::optional<AvcSps> parseAvcSps(const std::vector<std::uint8_t>& unit, bool wholeUnit = false) {
  BitReader reader = payloadReader(unit, 1);
  AvcSps sps;
  sps.profile = static_cast<std::uint8_t>(reader.bits(8));
  sps.compatibility = static_cast<std::uint8_t>(reader.bits(8));
  sps.level = static_cast<std::uint8_t>(reader.bits(8));
  reader.ue(31);  // seq_parameter_set_id
  bool separatePlanes = false;
  if (hasAvcHighFields(sps.profile)) {
    sps.chromaFormat = reader.ue(3);
    if (sps.chromaFormat == 3) separatePlanes = reader.flag();
    sps.bitDepthLumaMinus8 = reader.ue(6);
    sps.bitDepthChromaMinus8 = reader.ue(6);
    reader.skip(1);  // qpprime_y_zero_transform_bypass_flag
    if (reader.flag()) {
      const int lists = sps.chromaFormat != 3 ? 8 : 12;
      for (int i = 0; i < lists; ++i) {
        if (reader.flag()) skipAvcScalingList(reader, i < 6 ? 16 : 64);
      }
    }
  }
  reader.ue(12);  // log2_max_frame_num_minus4
  const std::uint32_t pocType = reader.ue(2);
  if (pocType == 0) {
    reader.ue(12);  // log2_max_pic_order_cnt_lsb_minus4
  } else if (pocType == 1) {
    reader.skip(1);  // delta_pic_order_always_zero_flag
    reader.se();     // offset_for_non_ref_pic
    reader.se();     // offset_for_top_to_bottom_field
    const std::uint32_t cycle = reader.ue(255);
    for (std::uint32_t i = 0; i < cycle && !reader.failed(); ++i) reader.se();
  }
  reader.ue();     // max_num_ref_frames
  reader.skip(1);  // gaps_in_frame_num_value_allowed_flag
  const std::uint64_t widthInMbs = std::uint64_t{reader.ue()} + 1;
  const std::uint64_t heightInMapUnits = std::uint64_t{reader.ue()} + 1;
  const bool frameMbsOnly = reader.flag();
  if (!frameMbsOnly) reader.skip(1);  // mb_adaptive_frame_field_flag
  reader.skip(1);                     // direct_8x8_inference_flag
  const CropOffsets crop = readCropOffsets(reader);
  if (wholeUnit) {
    if (reader.flag()) skipAvcVui(reader);
    if (!reader.atEnd()) return std::nullopt;
  }
  if (reader.failed()) return std::nullopt;

  const std::uint64_t fieldFactor = frameMbsOnly ? 1 : 2;
  const auto [subWidth, subHeight] = chromaSubsampling(sps.chromaFormat, separatePlanes);
  const auto size = croppedSize(widthInMbs * 16, heightInMapUnits * 16 * fieldFactor, subWidth * crop.across,
                                subHeight * fieldFactor * crop.down);
  if (!size) return std::nullopt;
  sps.width = size->first;
  sps.height = size->second;
  return sps;
}

std::optional<VideoTrackConfig> buildAvcConfig(const std::vector<std::vector<std::uint8_t>>& spsUnits,
                                               const std::vector<std::vector<std::uint8_t>>& ppsUnits) {
  const auto sps = distinctSets(VideoCodec::H264, spsUnits, kAvcSps);
  const auto pps = distinctSets(VideoCodec::H264, ppsUnits, kAvcPps);
  // The record counts SPS in 5 bits and PPS in 8.
  if (!sps || !pps || sps->size() > 31 || pps->size() > 255) return std::nullopt;
  const auto first = parseAvcSps(sps->front());
  if (!first) return std::nullopt;

  VideoTrackConfig config{VideoCodec::H264, {}, first->width, first->height};
  ByteWriter out(config.record);
  out.u8(1);
  out.u8(first->profile);
  out.u8(first->compatibility);
  out.u8(first->level);
  out.u8(0xFC | 3);  // four-byte NAL lengths
  out.u8(0xE0 | static_cast<std::uint32_t>(sps->size()));
  for (const auto& unit : *sps) {
    out.u16(static_cast<std::uint32_t>(unit.size()));
    out.bytes(unit.data(), unit.size());
  }
  out.u8(static_cast<std::uint32_t>(pps->size()));
  for (const auto& unit : *pps) {
    out.u16(static_cast<std::uint32_t>(unit.size()));
    out.bytes(unit.data(), unit.size());
  }
  // Readers look for these fields after the PPS for the high profiles that can
  // leave 4:2:0 8-bit.
  if (first->profile == 100 || first->profile == 110 || first->profile == 122 || first->profile == 144 ||
      first->profile == 244) {
    out.u8(0xFC | first->chromaFormat);
    out.u8(0xF8 | first->bitDepthLumaMinus8);
    out.u8(0xF8 | first->bitDepthChromaMinus8);
    out.u8(0);  // no SPS extensions
  }
  return config;
}

// ---- H.265 ----

constexpr int kHevcDelimiter = 35;
constexpr int kHevcFirstIrap = 16, kHevcLastIrap = 23;
constexpr std::uint32_t kHevcMaxSubLayers = 7;

struct HevcSps {
  std::uint8_t profileSpaceTierIdc = 0;  // as the record stores them, in one byte
  std::uint32_t compatibility = 0;
  std::uint64_t constraints = 0;  // 48 bits
  std::uint8_t level = 0;
  std::uint32_t maxSubLayersMinus1 = 0;
  bool temporalIdNesting = false;
  std::uint32_t chromaFormat = 1, bitDepthLumaMinus8 = 0, bitDepthChromaMinus8 = 0;
  std::uint32_t minSpatialSegmentation = 0;
  std::uint16_t width = 0, height = 0;
};

void readProfileTierLevel(BitReader& reader, HevcSps& sps) {
  sps.profileSpaceTierIdc = static_cast<std::uint8_t>(reader.bits(8));
  sps.compatibility = reader.bits(32);
  sps.constraints = std::uint64_t{reader.bits(16)} << 32 | reader.bits(32);
  sps.level = static_cast<std::uint8_t>(reader.bits(8));
  const std::uint32_t subLayers = sps.maxSubLayersMinus1;
  bool profilePresent[kHevcMaxSubLayers] = {}, levelPresent[kHevcMaxSubLayers] = {};
  for (std::uint32_t i = 0; i < subLayers; ++i) {
    profilePresent[i] = reader.flag();
    levelPresent[i] = reader.flag();
  }
  if (subLayers > 0) reader.skip(2 * (8 - subLayers));  // reserved_zero_2bits up to eight entries
  for (std::uint32_t i = 0; i < subLayers; ++i) {
    if (profilePresent[i]) reader.skip(88);
    if (levelPresent[i]) reader.skip(8);
  }
}

void skipHevcScalingListData(BitReader& reader) {
  for (int sizeId = 0; sizeId < 4; ++sizeId) {
    for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
      if (!reader.flag()) {
        reader.ue();  // scaling_list_pred_matrix_id_delta
        continue;
      }
      const int coefficients = std::min(64, 1 << (4 + (sizeId << 1)));
      if (sizeId > 1) reader.se();  // scaling_list_dc_coef_minus8
      for (int i = 0; i < coefficients && !reader.failed(); ++i) reader.se();
    }
  }
}

// Reads one short-term reference picture set and appends its delta POCs, which a
// later set may be predicted from. A picture buffer holds at most 16 pictures, so
// more deltas than that mean a broken SPS.
void readShortTermRefPicSet(BitReader& reader, std::size_t index, std::vector<std::vector<std::int32_t>>& sets) {
  constexpr std::uint32_t kMaxDeltas = 16;
  std::vector<std::int32_t> deltas;
  if (index != 0 && reader.flag()) {  // predicted from the set before it
    const std::vector<std::int32_t>& reference = sets[index - 1];
    const bool negative = reader.flag();
    const std::int64_t magnitude = std::int64_t{reader.ue(1u << 15)} + 1;
    const std::int64_t deltaRps = negative ? -magnitude : magnitude;
    for (std::size_t j = 0; j <= reference.size() && !reader.failed(); ++j) {
      const bool usedByCurrent = reader.flag();
      const bool useDelta = usedByCurrent || reader.flag();
      const std::int64_t delta = (j < reference.size() ? reference[j] : 0) + deltaRps;
      if (useDelta && delta != 0) deltas.push_back(static_cast<std::int32_t>(delta));
    }
  } else {
    const std::uint32_t negatives = reader.ue(kMaxDeltas);
    const std::uint32_t positives = reader.ue(kMaxDeltas);
    std::int64_t poc = 0;
    for (std::uint32_t i = 0; i < negatives && !reader.failed(); ++i) {
      poc -= std::int64_t{reader.ue(1u << 15)} + 1;
      reader.skip(1);  // used_by_curr_pic_s0_flag
      deltas.push_back(static_cast<std::int32_t>(poc));
    }
    poc = 0;
    for (std::uint32_t i = 0; i < positives && !reader.failed(); ++i) {
      poc += std::int64_t{reader.ue(1u << 15)} + 1;
      reader.skip(1);  // used_by_curr_pic_s1_flag
      deltas.push_back(static_cast<std::int32_t>(poc));
    }
  }
  if (deltas.size() > kMaxDeltas) reader.fail();
  sets.push_back(std::move(deltas));
}

void skipSubLayerHrd(BitReader& reader, std::uint32_t cpbCount, bool subPicParams) {
  for (std::uint32_t i = 0; i < cpbCount && !reader.failed(); ++i) {
    reader.ue();  // bit_rate_value_minus1
    reader.ue();  // cpb_size_value_minus1
    if (subPicParams) {
      reader.ue();  // cpb_size_du_value_minus1
      reader.ue();  // bit_rate_du_value_minus1
    }
    reader.skip(1);  // cbr_flag
  }
}

void skipHrdParameters(BitReader& reader, std::uint32_t maxSubLayersMinus1) {
  const bool nal = reader.flag();
  const bool vcl = reader.flag();
  bool subPicParams = false;
  if (nal || vcl) {
    subPicParams = reader.flag();
    if (subPicParams) reader.skip(8 + 5 + 1 + 5);
    reader.skip(4 + 4);  // bit_rate_scale, cpb_size_scale
    if (subPicParams) reader.skip(4);
    reader.skip(5 + 5 + 5);
  }
  for (std::uint32_t i = 0; i <= maxSubLayersMinus1 && !reader.failed(); ++i) {
    const bool fixedGeneral = reader.flag();
    const bool fixedWithinSequence = fixedGeneral || reader.flag();
    bool lowDelay = false;
    if (fixedWithinSequence) {
      reader.ue();  // elemental_duration_in_tc_minus1
    } else {
      lowDelay = reader.flag();
    }
    const std::uint32_t cpbCount = lowDelay ? 1 : reader.ue(31) + 1;
    if (nal) skipSubLayerHrd(reader, cpbCount, subPicParams);
    if (vcl) skipSubLayerHrd(reader, cpbCount, subPicParams);
  }
}

// The VUI up to min_spatial_segmentation_idc, the one field the record wants from it.
void readHevcVui(BitReader& reader, HevcSps& sps) {
  if (reader.flag() && reader.bits(8) == 255) reader.skip(32);  // aspect ratio, explicit SAR
  if (reader.flag()) reader.skip(1);                            // overscan
  if (reader.flag()) {                                          // video signal type
    reader.skip(4);
    if (reader.flag()) reader.skip(24);  // colour description
  }
  if (reader.flag()) {  // chroma sample location
    reader.ue();
    reader.ue();
  }
  reader.skip(3);       // neutral_chroma_indication, field_seq, frame_field_info_present
  if (reader.flag()) {  // default display window
    for (int i = 0; i < 4; ++i) reader.ue();
  }
  if (reader.flag()) {  // timing
    reader.skip(64);
    if (reader.flag()) reader.ue();  // num_ticks_poc_diff_one_minus1
    if (reader.flag()) skipHrdParameters(reader, sps.maxSubLayersMinus1);
  }
  if (reader.flag()) {  // bitstream restriction
    reader.skip(3);
    sps.minSpatialSegmentation = reader.ue(4095);
  }
}

std::optional<HevcSps> parseHevcSps(const std::vector<std::uint8_t>& unit) {
  BitReader reader = payloadReader(unit, 2);
  HevcSps sps;
  reader.skip(4);  // sps_video_parameter_set_id
  sps.maxSubLayersMinus1 = reader.bits(3);
  if (sps.maxSubLayersMinus1 >= kHevcMaxSubLayers) return std::nullopt;
  sps.temporalIdNesting = reader.flag();
  readProfileTierLevel(reader, sps);
  reader.ue(15);  // sps_seq_parameter_set_id
  sps.chromaFormat = reader.ue(3);
  const bool separatePlanes = sps.chromaFormat == 3 && reader.flag();
  const std::uint64_t codedWidth = reader.ue();
  const std::uint64_t codedHeight = reader.ue();
  const CropOffsets crop = readCropOffsets(reader);
  sps.bitDepthLumaMinus8 = reader.ue(8);
  sps.bitDepthChromaMinus8 = reader.ue(8);
  if (reader.failed()) return std::nullopt;
  const auto [subWidth, subHeight] = chromaSubsampling(sps.chromaFormat, separatePlanes);
  const auto size =
      croppedSize(codedWidth, codedHeight, subWidth * crop.across, subHeight * crop.down);
  if (!size) return std::nullopt;
  sps.width = size->first;
  sps.height = size->second;

  // The rest only leads up to the VUI; a stream whose SPS is cut short or strange
  // there still has a usable size and profile, so the VUI field just stays 0.
  const std::uint32_t log2MaxPocLsb = reader.ue(12) + 4;
  const bool orderingForEachLayer = reader.flag();
  for (std::uint32_t i = orderingForEachLayer ? 0 : sps.maxSubLayersMinus1; i <= sps.maxSubLayersMinus1; ++i) {
    reader.ue();
    reader.ue();
    reader.ue();
  }
  for (int i = 0; i < 6; ++i) reader.ue();  // block and transform sizes, hierarchy depths
  if (reader.flag() && reader.flag()) skipHevcScalingListData(reader);
  reader.skip(2);       // amp, sample adaptive offset
  if (reader.flag()) {  // PCM
    reader.skip(8);
    reader.ue();
    reader.ue();
    reader.skip(1);
  }
  const std::uint32_t shortTermSets = reader.ue(64);
  std::vector<std::vector<std::int32_t>> sets;
  for (std::uint32_t i = 0; i < shortTermSets && !reader.failed(); ++i) readShortTermRefPicSet(reader, i, sets);
  if (reader.flag()) {  // long-term reference pictures
    const std::uint32_t longTerm = reader.ue(32);
    for (std::uint32_t i = 0; i < longTerm && !reader.failed(); ++i) reader.skip(log2MaxPocLsb + 1);
  }
  reader.skip(2);  // temporal MVP, strong intra smoothing
  HevcSps withVui = sps;
  if (reader.flag()) readHevcVui(reader, withVui);
  return reader.failed() ? sps : withVui;
}

// parallelismType from the PPS: 3 for wavefronts, 2 for tiles, 1 for neither;
// 0 when PPS differ, use both, or cannot be read.
std::uint8_t hevcParallelism(const std::vector<std::vector<std::uint8_t>>& ppsUnits) {
  std::optional<std::uint8_t> common;
  for (const auto& unit : ppsUnits) {
    BitReader reader = payloadReader(unit, 2);
    reader.ue();                     // pps_pic_parameter_set_id
    reader.ue();                     // pps_seq_parameter_set_id
    reader.skip(7);                  // dependent slices, output flag, extra slice header bits, sign hiding, cabac init
    reader.ue();                     // num_ref_idx_l0_default_active_minus1
    reader.ue();                     // num_ref_idx_l1_default_active_minus1
    reader.se();                     // init_qp_minus26
    reader.skip(2);                  // constrained intra, transform skip
    if (reader.flag()) reader.ue();  // diff_cu_qp_delta_depth
    reader.se();                     // pps_cb_qp_offset
    reader.se();                     // pps_cr_qp_offset
    reader.skip(4);                  // slice chroma offsets, weighted pred, weighted bipred, transquant bypass
    const bool tiles = reader.flag();
    const bool wavefronts = reader.flag();
    if (reader.failed()) return 0;
    const std::uint8_t type = tiles && wavefronts ? 0 : wavefronts ? 3 : tiles ? 2 : 1;
    if (common && *common != type) return 0;
    common = type;
  }
  return common.value_or(0);
}

std::optional<VideoTrackConfig> buildHevcConfig(const std::vector<std::vector<std::uint8_t>>& vpsUnits,
                                                const std::vector<std::vector<std::uint8_t>>& spsUnits,
                                                const std::vector<std::vector<std::uint8_t>>& ppsUnits) {
  const auto vps = distinctSets(VideoCodec::H265, vpsUnits, kHevcVps);
  const auto sps = distinctSets(VideoCodec::H265, spsUnits, kHevcSps);
  const auto pps = distinctSets(VideoCodec::H265, ppsUnits, kHevcPps);
  if (!vps || !sps || !pps) return std::nullopt;
  const auto first = parseHevcSps(sps->front());
  if (!first) return std::nullopt;

  VideoTrackConfig config{VideoCodec::H265, {}, first->width, first->height};
  ByteWriter out(config.record);
  out.u8(1);
  out.u8(first->profileSpaceTierIdc);
  out.u32(first->compatibility);
  out.u16(static_cast<std::uint32_t>(first->constraints >> 32));
  out.u32(static_cast<std::uint32_t>(first->constraints));
  out.u8(first->level);
  out.u16(0xF000 | first->minSpatialSegmentation);
  // The parallelism hint only means something with a bound on segment size.
  out.u8(0xFC | (first->minSpatialSegmentation ? hevcParallelism(*pps) : 0));
  out.u8(0xFC | first->chromaFormat);
  out.u8(0xF8 | first->bitDepthLumaMinus8);
  out.u8(0xF8 | first->bitDepthChromaMinus8);
  out.u16(0);  // average frame rate unknown
  // Constant frame rate unknown, temporal layers, nesting, four-byte NAL lengths.
  out.u8((first->maxSubLayersMinus1 + 1) << 3 | (first->temporalIdNesting ? 4 : 0) | 3);
  out.u8(3);
  for (const auto& [type, units] :
       {std::make_pair(kHevcVps, &*vps), std::make_pair(kHevcSps, &*sps), std::make_pair(kHevcPps, &*pps)}) {
    out.u8(0x80 | type);  // complete: the samples need none of their own
    out.u16(static_cast<std::uint32_t>(units->size()));
    for (const auto& unit : *units) {
      out.u16(static_cast<std::uint32_t>(unit.size()));
      out.bytes(unit.data(), unit.size());
    }
  }
  return config;
}

}  // namespace

std::vector<NalUnit> SplitAnnexB(const std::uint8_t* data, std::size_t size) {
  std::vector<NalUnit> units;
  if (!data) return units;
  const std::uint8_t* const end = data + size;
  const std::uint8_t* unitStart = nullptr;
  const auto close = [&](const std::uint8_t* unitEnd) {
    while (unitEnd > unitStart && unitEnd[-1] == 0) --unitEnd;
    if (unitEnd > unitStart) units.push_back(NalUnit{unitStart, static_cast<std::size_t>(unitEnd - unitStart)});
  };
  // A start code ends in the byte 01 after two zeros: look for the 01s, the rare byte.
  const std::uint8_t* scan = data + std::min<std::size_t>(size, 2);
  while (scan < end) {
    const auto* one = static_cast<const std::uint8_t*>(std::memchr(scan, 1, static_cast<std::size_t>(end - scan)));
    if (!one) break;
    if (one[-1] == 0 && one[-2] == 0) {
      if (unitStart) close(one - 2);
      unitStart = one + 1;
    }
    scan = one + 1;
  }
  if (unitStart) close(end);
  return units;
}

bool SequenceParameterSetReads(VideoCodec codec, const NalUnit& unit) {
  if (!unit.data) return false;
  const std::vector<std::uint8_t> bytes(unit.data, unit.data + unit.size);
  return codec == VideoCodec::H264 ? parseAvcSps(bytes, true).has_value() : parseHevcSps(bytes).has_value();
}

int NalType(VideoCodec codec, const NalUnit& unit) {
  if (!unit.data || unit.size == 0) return -1;
  return codec == VideoCodec::H264 ? unit.data[0] & 0x1F : (unit.data[0] >> 1) & 0x3F;
}

bool IsParameterSet(VideoCodec codec, int nalType) {
  if (codec == VideoCodec::H264) return nalType == kAvcSps || nalType == kAvcPps;
  return nalType == kHevcVps || nalType == kHevcSps || nalType == kHevcPps;
}

bool IsAccessUnitDelimiter(VideoCodec codec, int nalType) {
  return nalType == (codec == VideoCodec::H264 ? kAvcDelimiter : kHevcDelimiter);
}

bool IsKeyFrameUnit(VideoCodec codec, int nalType) {
  if (codec == VideoCodec::H264) return nalType == kAvcIdr;
  return nalType >= kHevcFirstIrap && nalType <= kHevcLastIrap;
}

std::optional<VideoTrackConfig> BuildVideoConfig(VideoCodec codec, const std::vector<std::vector<std::uint8_t>>& vps,
                                                 const std::vector<std::vector<std::uint8_t>>& sps,
                                                 const std::vector<std::vector<std::uint8_t>>& pps) {
  return codec == VideoCodec::H264 ? buildAvcConfig(sps, pps) : buildHevcConfig(vps, sps, pps);
}

}  // namespace media
