// H.264 and H.265 access units in Annex B form (start codes), their NAL unit kinds,
// and the decoder configuration record an MP4 sample entry carries (avcC, hvcC),
// built from the stream's own parameter sets. Every function takes bytes the user
// did not make: no input reads outside it, loops without bound or throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace media {

// One NAL unit inside a caller's buffer, without its start code.
struct NalUnit {
  const std::uint8_t* data;
  std::size_t size;
};

// The NAL units between start codes (00 00 01, or 00 00 00 01), in order. Bytes
// before the first start code are not a unit; zero bytes that pad a unit before
// the next start code are not part of it; empty units are left out.
std::vector<NalUnit> SplitAnnexB(const std::uint8_t* data, std::size_t size);

enum class VideoCodec { H264, H265 };

// NAL unit types of the parameter sets.
constexpr int kAvcSps = 7, kAvcPps = 8;
constexpr int kHevcVps = 32, kHevcSps = 33, kHevcPps = 34;

int NalType(VideoCodec codec, const NalUnit& unit);  // -1 for an empty unit
bool IsParameterSet(VideoCodec codec, int nalType);  // SPS/PPS (and VPS for H.265)
bool IsAccessUnitDelimiter(VideoCodec codec, int nalType);
bool IsKeyFrameUnit(VideoCodec codec, int nalType);  // IDR (H.264), IRAP (H.265)

// Whether an SPS reads as one: for H.264 through to the stop bit at its end, for H.265 as far
// as the record needs.
bool SequenceParameterSetReads(VideoCodec codec, const NalUnit& unit);

struct VideoTrackConfig {
  VideoCodec codec;
  std::vector<std::uint8_t> record;  // avcC or hvcC box payload
  std::uint16_t width = 0, height = 0;
};

// From the parameter sets seen (each without start code, emulation prevention
// bytes as in the stream); nothing when they cannot be parsed. The picture size
// and the profile come from the first SPS; every distinct set goes into the record,
// in the order given. vps is ignored for H.264.
std::optional<VideoTrackConfig> BuildVideoConfig(VideoCodec codec, const std::vector<std::vector<std::uint8_t>>& vps,
                                                 const std::vector<std::vector<std::uint8_t>>& sps,
                                                 const std::vector<std::vector<std::uint8_t>>& pps);

}  // namespace media
