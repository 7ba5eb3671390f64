#include "media/parameter_sets.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using media::VideoCodec;

Bytes fromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// Parameter sets as libx264 and libx265 wrote them; the sizes are what ffprobe
// reports for those streams, the records what ffmpeg put into an MP4 of them.
// High 4:2:2 10-bit, field coded, 318x238 cropped from 320x256, with a 4x4 scaling list put into the SPS
// (libx264 sends its lists in the PPS; ffmpeg decodes the stream with this SPS and ffprobe gives the same size).
const Bytes kHigh422Sps =
    fromHex("677a0015b6d9470e0807c704040642020504c40a14036505043d456022000003000200000300643e28532c");
const Bytes kHigh422Pps = fromHex("68fba3cb3002c0");
// Constrained baseline 200x100, cropped from 208x112.
const Bytes kBaselineSps = fromHex("6742c00bd9034fe59f011000000300100000030320f142a480");
const Bytes kBaselinePps = fromHex("68cb83cb20");
// Main 10 with two temporal sub-layers, 318x238 in a 320x240 conformance window;
// the profile fields before the size hold emulation prevention bytes.
const Bytes kMain10Vps = fromHex("40010c02ffff02200000030090000003000003003c00009598acc048");
const Bytes kMain10Sps =
    fromHex("42010202200000030090000003000003003c0000a00a080f1d53659598acd24995e02d010000030001000003001908");
const Bytes kMain10Pps = fromHex("4401c172b46240");

TEST(SplitAnnexB, UnitsLieBetweenStartCodesWithoutPaddingOrLeadingBytes) {
  const Bytes stream = {0xAA, 0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x67, 0,    0, 3, 1,
                        0,    0, 0, 0, 1, 0,    0,    1, 0, 0, 1,    0x65, 0, 0, 0};
  const auto units = media::SplitAnnexB(stream.data(), stream.size());
  std::vector<Bytes> got;
  for (const auto& unit : units) got.emplace_back(unit.data, unit.data + unit.size);
  EXPECT_EQ(got, (std::vector<Bytes>{{0x09, 0xF0}, {0x67, 0, 0, 3, 1}, {0x65}}));
  EXPECT_TRUE(media::SplitAnnexB(stream.data(), 4).empty());
  EXPECT_TRUE(media::SplitAnnexB(nullptr, 0).empty());
}

TEST(NalKinds, ParameterSetsDelimitersAndKeyFramesPerCodec) {
  const Bytes idr = {0x65}, hevcCra = {0x2A, 0x01}, hevcTrail = {0x02, 0x01};
  EXPECT_EQ(media::NalType(VideoCodec::H264, {idr.data(), 1}), 5);
  EXPECT_EQ(media::NalType(VideoCodec::H265, {hevcCra.data(), 2}), 21);
  EXPECT_EQ(media::NalType(VideoCodec::H265, {hevcCra.data(), 0}), -1);
  EXPECT_TRUE(media::IsKeyFrameUnit(VideoCodec::H264, 5));
  EXPECT_FALSE(media::IsKeyFrameUnit(VideoCodec::H264, 1));
  EXPECT_TRUE(media::IsKeyFrameUnit(VideoCodec::H265, 16));
  EXPECT_TRUE(media::IsKeyFrameUnit(VideoCodec::H265, 21));
  EXPECT_FALSE(media::IsKeyFrameUnit(VideoCodec::H265, 1));
  EXPECT_FALSE(media::IsKeyFrameUnit(VideoCodec::H265, 24));
  EXPECT_TRUE(media::IsParameterSet(VideoCodec::H265, 32));
  EXPECT_FALSE(media::IsParameterSet(VideoCodec::H264, 5));
  EXPECT_TRUE(media::IsAccessUnitDelimiter(VideoCodec::H264, 9));
  EXPECT_TRUE(media::IsAccessUnitDelimiter(VideoCodec::H265, 35));
}

TEST(BuildVideoConfig, AvcRecordAndCroppedSizeFromTheStreamsSets) {
  const auto high = media::BuildVideoConfig(VideoCodec::H264, {}, {kHigh422Sps, kHigh422Sps}, {kHigh422Pps});
  ASSERT_TRUE(high);
  EXPECT_EQ(high->width, 318);
  EXPECT_EQ(high->height, 238);
  EXPECT_EQ(high->record, fromHex("017a0015ffe1002b677a0015b6d9470e0807c704040642020504c40a14036505043d456022000003"
                                  "000200000300643e28532c01000768fba3cb3002c0fefafa00"));
  const auto baseline = media::BuildVideoConfig(VideoCodec::H264, {}, {kBaselineSps}, {kBaselinePps});
  ASSERT_TRUE(baseline);
  EXPECT_EQ(baseline->width, 200);
  EXPECT_EQ(baseline->height, 100);
  EXPECT_EQ(baseline->record,
            fromHex("0142c00bffe100196742c00bd9034fe59f011000000300100000030320f142a48001000568cb83cb20"));
}

TEST(BuildVideoConfig, HevcRecordAndConformanceWindowFromTheStreamsSets) {
  const auto config = media::BuildVideoConfig(VideoCodec::H265, {kMain10Vps}, {kMain10Sps}, {kMain10Pps, kMain10Pps});
  ASSERT_TRUE(config);
  EXPECT_EQ(config->width, 318);
  EXPECT_EQ(config->height, 238);
  EXPECT_EQ(config->record,
            fromHex("0102200000009000000000003cf000fcfdfafa00001303a00001001c40010c02ffff02200000030090000003000003003c"
                    "00009598acc048a10001002f42010202200000030090000003000003003c0000a00a080f1d53659598acd24995e02d0100"
                    "00030001000003001908a2000100074401c172b46240"));
}

TEST(BuildVideoConfig, NothingFromMissingMisplacedOrCutSets) {
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H264, {}, {kBaselineSps}, {}));
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H264, {}, {kBaselinePps}, {kBaselinePps}));
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H265, {}, {kMain10Sps}, {kMain10Pps}));
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H265, {kMain10Vps}, {kMain10Vps}, {kMain10Pps}));
  // Cut before the cropping fields (H.264) or the bit depths (H.265).
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H264, {}, {Bytes(kBaselineSps.begin(), kBaselineSps.begin() + 8)},
                                       {kBaselinePps}));
  EXPECT_FALSE(media::BuildVideoConfig(VideoCodec::H265, {kMain10Vps},
                                       {Bytes(kMain10Sps.begin(), kMain10Sps.begin() + 24)}, {kMain10Pps}));
}

}  // namespace
