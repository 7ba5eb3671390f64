// The whole remux on a small hand-built stream: what the MP4's index says about every
// sample, where the tracks start, and what the caller hears when it cannot go on.
#include "media/byte_order.h"
#include "media/mp4_boxes.h"
#include "media/remux.h"
#include "media/timeline.h"
#include "media_stream_builder.h"
#include <gtest/gtest.h>

namespace {

using namespace media_test;

// Constrained baseline 200x100, as libx264 wrote it.
const Bytes kSps = FromHex("6742c00bd9034fe59f011000000300100000030320f142a480");
const Bytes kPps = FromHex("68cb83cb20");
const std::uint64_t kBase = (std::uint64_t{1} << 33) - 10000;  // the clock wraps inside the video
// Decode order with B-frames: (dts, pts) after kBase, in 90 kHz; key frames at 0 and 4.
const std::vector<std::pair<std::uint64_t, std::uint64_t>> kVideoTimes = {
    {0, 7200}, {3600, 18000}, {7200, 10800}, {10800, 14400}, {14400, 28800}, {18000, 21600}, {21600, 25200}};

Bytes VideoFrame(std::size_t index) {
  const bool key = index == 0 || index == 4;
  Bytes frame = {0, 0, 0, 1, 0x09, 0xF0};
  if (key) {
    frame.insert(frame.end(), {0, 0, 0, 1});
    frame.insert(frame.end(), kSps.begin(), kSps.end());
    frame.insert(frame.end(), {0, 0, 0, 1});
    frame.insert(frame.end(), kPps.begin(), kPps.end());
  }
  frame.insert(frame.end(), {0, 0, 1, static_cast<std::uint8_t>(key ? 0x65 : 0x41)});
  frame.insert(frame.end(), 150 + index * 10, static_cast<std::uint8_t>(index + 1));
  return frame;
}

Bytes MakeStream(std::uint8_t audioType = 0x0F) {
  TsBuilder ts;
  ts.tables({{0x1B, 0x100, {}}, {audioType, 0x101, {}}, {0x15, 0x102, {}}});
  // Sound starts one frame (1920 at 48 kHz) before the first picture shows.
  for (std::size_t pes = 0; pes < 4; ++pes) {
    Bytes frames = AdtsFrame(30, 1);
    const Bytes second = AdtsFrame(31, 2);
    frames.insert(frames.end(), second.begin(), second.end());
    ts.pes(0x101, PesPacket(0xC0, (kBase + 7200 - 1920 + pes * 3840) & ((std::uint64_t{1} << 33) - 1), std::nullopt,
                            frames, true));
    for (std::size_t v = pes * 2; v < pes * 2 + 2 && v < kVideoTimes.size(); ++v) {
      const std::uint64_t mask = (std::uint64_t{1} << 33) - 1;
      ts.pes(0x100, PesPacket(0xE0, (kBase + kVideoTimes[v].second) & mask, (kBase + kVideoTimes[v].first) & mask,
                              VideoFrame(v), false));
    }
    ts.pes(0x102, PesPacket(0xBD, std::nullopt, std::nullopt, Bytes(20, 9), true));
  }
  return ts.out;
}

struct Box {
  std::string type;
  std::size_t body, end;
};

std::vector<Box> Children(const Bytes& file, std::size_t from, std::size_t to) {
  std::vector<Box> boxes;
  while (from + 8 <= to) {
    const std::size_t size = media::ReadU32(&file[from]);
    if (size < 8 || from + size > to) break;
    boxes.push_back({std::string(file.begin() + static_cast<std::ptrdiff_t>(from + 4),
                                 file.begin() + static_cast<std::ptrdiff_t>(from + 8)),
                     from + 8, from + size});
    from += size;
  }
  return boxes;
}

// The body of the box at the path; "trak" takes the track's index.
Box Find(const Bytes& file, const std::vector<std::string>& path, int track = 0) {
  Box at{"", 0, file.size()};
  for (const auto& name : path) {
    int skip = name == "trak" ? track : 0;
    bool found = false;
    for (const Box& child : Children(file, at.body, at.end)) {
      if (child.type == name && skip-- == 0) {
        at = child;
        found = true;
        break;
      }
    }
    if (!found) return {"", 0, 0};
  }
  return at;
}

// The 32-bit fields of a full box's body after its version and flags.
std::vector<std::uint32_t> Fields(const Bytes& file, const Box& box) {
  std::vector<std::uint32_t> values;
  for (std::size_t at = box.body + 4; at + 4 <= box.end; at += 4) values.push_back(media::ReadU32(&file[at]));
  return values;
}

class Progress : public media::RemuxControl {
 public:
  bool keepGoing(double share) override {
    EXPECT_GE(share, last);
    last = share;
    ++calls;
    return calls <= stopAfter;
  }
  double last = 0;
  int calls = 0;
  int stopAfter = 1 << 30;
};

TEST(Remux, TheIndexKeepsEveryFramesTimeKeyFlagAndStartInStep) {
  MemorySource source(MakeStream());
  ASSERT_TRUE(media::LooksLikeTransportStream(source));
  media::Remuxer remuxer(source, {"7f3a9c", 123456789});
  Progress control;
  ASSERT_EQ(remuxer.analyse(control).outcome, media::RemuxOutcome::Done);
  MemorySink sink;
  const auto result = remuxer.write(sink, control);
  ASSERT_EQ(result.outcome, media::RemuxOutcome::Done) << result.detail;
  const Bytes& mp4 = sink.bytes;
  EXPECT_EQ(result.writtenBytes, mp4.size());
  EXPECT_EQ(remuxer.outputSize(), mp4.size());
  EXPECT_EQ(control.last, 1.0);

  std::vector<std::string> top;
  for (const Box& box : Children(mp4, 0, mp4.size())) top.push_back(box.type);
  EXPECT_EQ(top, (std::vector<std::string>{"ftyp", "moov", "mdat"}));
  EXPECT_EQ(Find(mp4, {"moov", "trak"}, 2).type, "");  // the data stream is left out

  const std::vector<std::string> stbl = {"moov", "trak", "mdia", "minf", "stbl"};
  const auto in = [&](const char* box) {
    auto path = stbl;
    path.push_back(box);
    return path;
  };
  // Video: 90 kHz, B-frames in ctts, key frames 1 and 5, the clock's wrap invisible.
  EXPECT_EQ(Fields(mp4, Find(mp4, in("stts"), 0)), (std::vector<std::uint32_t>{1, 7, 3600}));
  EXPECT_EQ(Fields(mp4, Find(mp4, in("ctts"), 0)),
            (std::vector<std::uint32_t>{5, 1, 7200, 1, 14400, 2, 3600, 1, 14400, 2, 3600}));
  EXPECT_EQ(Fields(mp4, Find(mp4, in("stss"), 0)), (std::vector<std::uint32_t>{2, 1, 5}));
  const Box avc1 = Find(mp4, {"moov", "trak", "mdia", "minf", "stbl", "stsd"}, 0);
  EXPECT_EQ(media::ReadU16(&mp4[avc1.body + 8 + 8 + 24]), 200);  // width from the SPS
  // Sound: in its sample rate, one frame each.
  EXPECT_EQ(Fields(mp4, Find(mp4, {"moov", "trak", "mdia", "mdhd"}, 1))[2], 48000u);
  EXPECT_EQ(Fields(mp4, Find(mp4, in("stts"), 1)), (std::vector<std::uint32_t>{1, 8, 1024}));
  // Sound starts first; the picture waits for it in an empty edit, then shows from its first presented frame.
  EXPECT_EQ(Fields(mp4, Find(mp4, {"moov", "trak", "edts", "elst"}, 0)),
            (std::vector<std::uint32_t>{2, 1920, 0xFFFFFFFF, 0x00010000, 25200, 7200, 0x00010000}));
  EXPECT_EQ(Fields(mp4, Find(mp4, {"moov", "trak", "edts", "elst"}, 1)),
            (std::vector<std::uint32_t>{1, 8 * 1920, 0, 0x00010000}));

  // The first sample: its parameter sets in place, its delimiter gone, every unit length-prefixed.
  const auto offsets = Fields(mp4, Find(mp4, in("stco"), 0));
  ASSERT_GE(offsets.size(), 2u);
  const std::size_t first = offsets[1];
  EXPECT_EQ(media::ReadU32(&mp4[first]), kSps.size());
  EXPECT_TRUE(std::equal(kSps.begin(), kSps.end(), mp4.begin() + static_cast<std::ptrdiff_t>(first + 4)));

  MemorySource written(mp4);
  const auto tag = media::ReadSourceTag(written);
  ASSERT_TRUE(tag);
  EXPECT_EQ(*tag, (media::SourceTag{"7f3a9c", 123456789}));
  EXPECT_FALSE(media::LooksLikeTransportStream(written));
  MemorySource plain(MakeStream());
  EXPECT_FALSE(media::ReadSourceTag(plain));
}

TEST(Remux, WhatTheCallerHearsWhenItCannotGoOn) {
  MemorySource mp2(MakeStream(0x03));
  media::Remuxer unsupported(mp2, {});
  Progress control;
  EXPECT_EQ(unsupported.analyse(control).outcome, media::RemuxOutcome::UnsupportedStream);

  MemorySource source(MakeStream());
  media::Remuxer remuxer(source, {});
  control.last = 0;
  ASSERT_EQ(remuxer.analyse(control).outcome, media::RemuxOutcome::Done);
  MemorySink full(remuxer.outputSize() - 10);
  EXPECT_EQ(remuxer.write(full, control).outcome, media::RemuxOutcome::WriteFailed);
  Progress stopping;
  stopping.stopAfter = 0;
  MemorySink sink;
  EXPECT_EQ(remuxer.write(sink, stopping).outcome, media::RemuxOutcome::Cancelled);
  control.last = 0.5;
  EXPECT_EQ(remuxer.write(sink = MemorySink(), control).outcome, media::RemuxOutcome::Done);
}

}  // namespace

TEST(Mp4Boxes, OffsetsAndMdatTakeSixtyFourBitsOnlyPastFourGibibytes) {
  // Two sound tracks taking turns, so that every sample is a chunk of its own.
  media::SampleTable table;
  table.tracks.resize(2);
  for (auto& track : table.tracks) {
    track.kind = media::TrackKind::Audio;
    track.audio = {2, 3, 2};
  }
  for (std::uint32_t i = 0; i < 6; ++i) table.add(i % 2, 0x30000000u, (i / 2) * 1920, media::kNoTime, true);
  const auto timings = media::SettleTimes(table);
  const auto offsetsBox = [&](std::uint64_t dataOffset) {
    const Bytes moov = media::BuildMoov(table, timings, {}, dataOffset);
    for (const char* type : {"co64", "stco"}) {
      const Box box = Find(moov, {"moov", "trak", "mdia", "minf", "stbl", type});
      if (!box.type.empty()) return box.type;
    }
    return std::string();
  };
  EXPECT_EQ(offsetsBox(0x0FFFFFFFu), "stco");  // the last chunk starts at 4 GiB less one byte
  EXPECT_EQ(offsetsBox(0x10000000u), "co64");
  EXPECT_EQ(media::BuildMdatHeader(0xFFFFFFF7u).size(), 8u);
  const Bytes large = media::BuildMdatHeader(0xFFFFFFF8u);
  ASSERT_EQ(large.size(), 16u);
  EXPECT_EQ(media::ReadU32(&large[0]), 1u);
  EXPECT_EQ(media::ReadU64(&large[8]), std::uint64_t{0xFFFFFFF8u} + 16);
}
