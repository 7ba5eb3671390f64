// The rules of each stage of the remux, on a few hand-built bytes.
#include "media/adts.h"
#include "media/pes_assembler.h"
#include "media/psi_tables.h"
#include "media/timeline.h"
#include "media/track_timing.h"
#include "media/ts_packets.h"
#include "media/video_access_units.h"
#include "media_stream_builder.h"
#include <gtest/gtest.h>

namespace {

using namespace media_test;
using media::Continuity;

std::vector<int> FirstPayloadBytes(Bytes stream, bool* cut = nullptr) {
  MemorySource source(std::move(stream));
  media::TsPacketReader reader(source);
  std::vector<int> seen;
  media::TsPacket packet;
  while (reader.next(packet)) seen.push_back(packet.payload[0]);
  if (cut) *cut = reader.endedInsidePacket();
  return seen;
}

TEST(TsPacketReader, LeavesOutPacketsThatLostOrGainedBytesAndFindsTheStepAgain) {
  std::vector<Bytes> packets;
  for (std::uint8_t i = 0; i < 8; ++i) packets.push_back(Packet(0x100, false, i, Bytes(184, i)));
  Bytes stream;
  for (std::uint8_t i = 0; i < 8; ++i) {
    Bytes packet = packets[i];
    if (i == 2) packet.erase(packet.begin() + 100, packet.begin() + 110);  // lost bytes
    stream.insert(stream.end(), packet.begin(), packet.end());
    if (i == 4) stream.insert(stream.end(), 57, 0x47);  // stray bytes, sync-like
  }
  bool cut = true;
  EXPECT_EQ(FirstPayloadBytes(stream, &cut), (std::vector<int>{0, 1, 3, 4, 5, 6, 7}));
  EXPECT_FALSE(cut);
  stream.resize(stream.size() - 20);
  EXPECT_EQ(FirstPayloadBytes(stream, &cut), (std::vector<int>{0, 1, 3, 4, 5, 6}));
  EXPECT_TRUE(cut);
}

TEST(ContinuityCheck, TellsRepetitionFromLossAndFromJoinedSegments) {
  media::ContinuityCheck check;
  const auto next = [&](std::uint8_t counter, std::uint8_t fill, bool start = false) {
    const Bytes bytes = Packet(0x100, start, counter, Bytes(184, fill));
    media::TsPacket packet;
    EXPECT_TRUE(media::ParseTsPacket(bytes.data(), packet));
    return check.next(packet);
  };
  EXPECT_EQ(next(14, 1), Continuity::InOrder);
  EXPECT_EQ(next(15, 2), Continuity::InOrder);
  EXPECT_EQ(next(0, 3), Continuity::InOrder);
  EXPECT_EQ(next(0, 3), Continuity::Repeated);
  EXPECT_EQ(next(2, 4), Continuity::Broken);
  // A segment counting from 0 that happens to meet an equal counter.
  EXPECT_EQ(next(2, 9, true), Continuity::Broken);
}

TEST(ProgramTables, StreamsAndTheirKindsFromSectionsWithAGoodCrcOnly) {
  const Bytes ac3 = {0x6A, 1, 0};
  const Bytes pmt = PmtSection({{0x1B, 0x100, {}},
                                {0x0F, 0x101, {}},
                                {0x15, 0x102, {}},
                                {0x06, 0x103, ac3},
                                {0x06, 0x104, {}},
                                {0x03, 0x105, {}}});
  const auto streams = media::ParsePmt(pmt);
  ASSERT_TRUE(streams);
  ASSERT_EQ(streams->size(), 6u);
  using media::StreamKind;
  const std::vector<std::pair<StreamKind, bool>> want = {{StreamKind::Video, true},  {StreamKind::Audio, true},
                                                         {StreamKind::Other, false}, {StreamKind::Audio, false},
                                                         {StreamKind::Other, false}, {StreamKind::Audio, false}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ((*streams)[i].kind, want[i].first) << i;
    EXPECT_EQ((*streams)[i].supported, want[i].second) << i;
  }
  EXPECT_EQ(media::ParsePat(PatSection(0x1234)), std::optional<std::uint16_t>(0x1234));

  // Over two packets, then once more with one bit wrong.
  Bytes payload = {0};
  payload.insert(payload.end(), pmt.begin(), pmt.end());
  for (const bool damage : {false, true}) {
    Bytes first(payload.begin(), payload.begin() + 20), second(payload.begin() + 20, payload.end());
    if (damage) second[3] ^= 0x10;
    second.resize(184, 0xFF);
    media::SectionAssembler assembler;
    media::TsPacket packet;
    const Bytes p1 = Packet(0x1000, true, 0, first), p2 = Packet(0x1000, false, 1, second);
    media::ParseTsPacket(p1.data(), packet);
    EXPECT_FALSE(assembler.push(packet, Continuity::InOrder));
    media::ParseTsPacket(p2.data(), packet);
    EXPECT_EQ(assembler.push(packet, Continuity::InOrder).has_value(), !damage);
  }
}

TEST(PesHeader, TimestampsWithGoodMarkersOnly) {
  const Bytes pes = PesPacket(0xE0, 8589934000u, 8589933000u, {1, 2, 3}, false);
  auto header = media::ParsePesHeader(pes.data(), pes.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->pts, std::optional<std::uint64_t>(8589934000u));
  EXPECT_EQ(header->dts, std::optional<std::uint64_t>(8589933000u));
  EXPECT_EQ(header->payloadOffset, 19u);
  Bytes broken = pes;
  broken[11] &= 0xFE;  // a marker bit of the PTS
  header = media::ParsePesHeader(broken.data(), broken.size());
  ASSERT_TRUE(header);
  EXPECT_FALSE(header->pts);
  EXPECT_FALSE(header->dts);
  broken = pes;
  broken[2] = 2;
  EXPECT_FALSE(media::ParsePesHeader(broken.data(), broken.size()));
}

// Feeds packets of one PID to an assembler and returns what it completed: payload size, damaged.
struct Completed {
  std::size_t size;
  bool damaged;
  bool operator==(const Completed& o) const { return size == o.size && damaged == o.damaged; }
};

std::vector<Completed> Assemble(const Bytes& stream, bool joinUntimed, bool cut, std::size_t cap = 1 << 20) {
  media::PesAssembler assembler(cap, joinUntimed);
  media::ContinuityCheck check;
  std::vector<Completed> done;
  media::PesUnit unit;
  for (std::size_t at = 0; at + 188 <= stream.size(); at += 188) {
    media::TsPacket packet;
    media::ParseTsPacket(&stream[at], packet);
    if (assembler.push(packet, check.next(packet), unit)) done.push_back({unit.size, unit.damaged});
  }
  if (assembler.finish(cut, unit)) done.push_back({unit.size, unit.damaged});
  return done;
}

TEST(PesAssembler, LostPacketsDamageOnlyTheirUnitAndCutEndsAreDropped) {
  TsBuilder builder;
  builder.pes(0x100, PesPacket(0xE0, 1000, std::nullopt, Bytes(400, 1), false));
  builder.pes(0x100, PesPacket(0xE0, 4000, std::nullopt, Bytes(400, 2), false));
  builder.pes(0x100, PesPacket(0xE0, 7000, std::nullopt, Bytes(400, 3), true));
  Bytes lost = builder.out;
  lost.erase(lost.begin() + 4 * 188, lost.begin() + 5 * 188);  // inside the second
  EXPECT_EQ(Assemble(lost, false, false), (std::vector<Completed>{{400, false}, {400 - 184, true}, {400, false}}));
  // Losing a unit's tail right before the next start cannot be told from segments meeting, each with its own
  // counters; a unit that declares its length still tells.
  Bytes tail = builder.out;
  tail.erase(tail.begin() + 5 * 188, tail.begin() + 6 * 188);
  EXPECT_EQ(Assemble(tail, false, false), (std::vector<Completed>{{400, false}, {400 - 46, false}, {400, false}}));
  tail = builder.out;
  tail.erase(tail.begin() + 8 * 188, tail.begin() + 9 * 188);
  EXPECT_EQ(Assemble(tail, false, false).back(), (Completed{400 - 46, true}));
  // An open-ended unit at the end counts only when the input did not stop inside a packet.
  const Bytes open(builder.out.begin(), builder.out.begin() + 6 * 188);
  EXPECT_EQ(Assemble(open, false, false).size(), 2u);
  EXPECT_EQ(Assemble(open, false, true).size(), 1u);
  // Past the cap nothing more is held.
  EXPECT_EQ(Assemble(builder.out, false, false, 300), (std::vector<Completed>(3, Completed{184 - 14, true})));
}

TEST(PesAssembler, AVideoUnitWithoutTimeContinuesTheOneBefore) {
  TsBuilder builder;
  builder.pes(0x100, PesPacket(0xE0, 1000, std::nullopt, Bytes(100, 1), false));
  builder.pes(0x100, PesPacket(0xE0, std::nullopt, std::nullopt, Bytes(100, 2), false));
  builder.pes(0x100, PesPacket(0xE0, 4000, std::nullopt, Bytes(100, 3), false));
  EXPECT_EQ(Assemble(builder.out, true, false), (std::vector<Completed>{{200, false}, {100, false}}));
  EXPECT_EQ(Assemble(builder.out, false, false).size(), 3u);
}

TEST(Timeline, ClockWrapsAndDamageAreSetStraight) {
  media::ClockUnwrapper clock;
  const std::uint64_t wrap = std::uint64_t{1} << 33;
  EXPECT_EQ(clock.unwrap(wrap - 1800), static_cast<std::int64_t>(wrap - 1800));
  EXPECT_EQ(clock.unwrap(1800), static_cast<std::int64_t>(wrap + 1800));
  EXPECT_EQ(clock.unwrap(wrap - 3600), static_cast<std::int64_t>(wrap - 3600));

  const std::int64_t none = media::kNoTime;
  // A wild time that comes back, a missing one, a gap that lasts.
  std::vector<std::int64_t> times = {0, 100, 99999, 300, none, 500, 5000, 5100};
  media::RepairTimeline(times, 100, false);
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 100, 200, 300, 400, 500, 5000, 5100}));
  // Overlapping pieces keep their times, squeezed to increase; a clock started again follows on.
  times = {1000, 1100, 1200, 1300, 800, 900, 1000, 1100, 1200, 1300, 1400, -90000, -89900};
  media::RepairTimeline(times, 100, false);
  EXPECT_EQ(times,
            (std::vector<std::int64_t>{1000, 1100, 1200, 1300, 1301, 1302, 1303, 1304, 1305, 1306, 1400, 1500, 1600}));
  // Sound: times near the expected one land on it; a wild first time does not anchor the track.
  times = {7777777, 1024, 2049, 3071, 4096};
  media::RepairTimeline(times, 1024, true);
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 1024, 2048, 3072, 4096}));
  // A hole shorter than a frame lasts; a time off by as much that comes back does not.
  times = {0, 1024, 2432, 3457, 4780, 5504};
  media::RepairTimeline(times, 1024, true);
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 1024, 2432, 3456, 4480, 5504}));
}

TEST(StreamTimes, KeepMissingTimesAndJumpsOfHoursAsGiven) {
  const std::vector<std::int64_t> given = {5, media::kNoTime, 7, 7 + (std::int64_t{1} << 40), 3, media::kNoTime, -4};
  media::StreamTimes times;
  for (const std::int64_t time : given) times.push_back(time);
  EXPECT_EQ(times.expand(), given);
}

TEST(TrackTiming, AFrameMovedToKeepTheOrderKeepsItsPresentationTime) {
  media::SampleTable table;
  table.tracks.resize(1);
  // Pieces that overlap: the third frame decodes at the same time as the second.
  const std::vector<std::pair<std::int64_t, std::int64_t>> times = {
      {0, 7200}, {3600, 14400}, {3600, 10800}, {7200, 18000}};
  for (const auto& [decode, present] : times) table.add(0, 10, 90000 + decode, 90000 + present, false);
  media::SettleTimes(table);
  // Decoded at 0, 3600, 3601, 7200; shown at 7200, 14400, 10800, 18000.
  std::vector<std::uint32_t> durations, offsets;
  for (std::size_t i = 0; i < times.size(); ++i) {
    durations.push_back(table.tracks[0].durations[i]);
    offsets.push_back(table.tracks[0].compositionOffsets[i]);
  }
  EXPECT_EQ(durations, (std::vector<std::uint32_t>{3600, 1, 3599, 3600}));
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{7200, 10800, 7199, 10800}));
}

TEST(AdtsSplitter, ABrokenHeaderCostsOnlyItsFrameAndCutFramesAreJoined) {
  Bytes payload;
  for (std::uint8_t i = 0; i < 4; ++i) {
    Bytes frame = AdtsFrame(20 + i, i);
    if (i == 1) frame[1] = 0x00;  // sync word broken
    payload.insert(payload.end(), frame.begin(), frame.end());
  }
  media::AdtsSplitter splitter;
  const Bytes earlier = AdtsFrame(10, 0);
  ASSERT_EQ(splitter.split(earlier.data(), earlier.size(), false).size(), 1u);
  auto frames = splitter.split(payload.data(), payload.size(), false);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].size, 20u);
  EXPECT_EQ(frames[1].data[0], 2);
  EXPECT_EQ(frames[1].index, 2);  // the lost frame still took its time
  EXPECT_EQ(frames[2].index, 3);
  ASSERT_TRUE(splitter.config());
  EXPECT_EQ(splitter.config()->audioSpecificConfig(), (Bytes{0x11, 0x90}));
  EXPECT_EQ(splitter.config()->sampleRate(), 48000u);

  // A frame cut over two payloads.
  const Bytes whole = AdtsFrame(50, 7);
  const Bytes first(whole.begin(), whole.begin() + 30);
  Bytes second(whole.begin() + 30, whole.end());
  const Bytes next = AdtsFrame(10, 8);
  second.insert(second.end(), next.begin(), next.end());
  EXPECT_TRUE(splitter.split(first.data(), first.size(), false).empty());
  frames = splitter.split(second.data(), second.size(), false);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].size, 50u);
  EXPECT_EQ(frames[0].index, -1);
  EXPECT_EQ(frames[1].index, 0);
  // Not when bytes between were lost.
  splitter.split(first.data(), first.size(), false);
  EXPECT_EQ(splitter.split(second.data(), second.size(), true).size(), 1u);
}

TEST(VideoAccessUnits, DelimitersSplitAndGoAndNalUnitsGetTheirLengthButNotADamagedSps) {
  // The SPS is cut short before its stop bit.
  const Bytes payload = {0,    0,    0,    1, 0x09, 0xF0, 0, 0,    1,    0x67, 0x42, 0, 0,    1,
                         0x65, 0xBB, 0xCC, 0, 0,    0,    1, 0x09, 0xF0, 0,    0,    1, 0x41, 0xDD};
  media::VideoAccessUnits units(media::VideoCodec::H264);
  const auto& split = units.split(payload.data(), payload.size());
  ASSERT_EQ(split.size(), 2u);
  EXPECT_TRUE(split[0].key);
  EXPECT_FALSE(split[1].key);
  EXPECT_EQ(split[0].sampleSize, 4u + 3);
  Bytes sample;
  units.appendSample(split[0], sample);
  units.appendSample(split[1], sample);
  EXPECT_EQ(sample, (Bytes{0, 0, 0, 3, 0x65, 0xBB, 0xCC, 0, 0, 0, 2, 0x41, 0xDD}));
}

TEST(VideoAccessUnits, TheRecordTakesSetsThatCameIntactAndRecurOverTheFirstOnes) {
  const Bytes sps318x238 =
      FromHex("677a0015b6d9470e0807c704040642020504c40a14036505043d456022000003000200000300643e28532c");
  const Bytes sps200x100 = FromHex("6742c00bd9034fe59f011000000300100000030320f142a480");
  const auto widthAfter = [&](const std::vector<std::pair<const Bytes*, bool>>& keyFrames) {
    media::VideoAccessUnits units(media::VideoCodec::H264);
    for (const auto& [sps, damaged] : keyFrames) {
      Bytes payload = {0, 0, 1};
      payload.insert(payload.end(), sps->begin(), sps->end());
      for (int byte : {0, 0, 1, 0x68, 0xCB, 0x83, 0xCB, 0x20, 0, 0, 1, 0x65, 0x88}) payload.push_back(static_cast<std::uint8_t>(byte));
      for (const auto& unit : units.split(payload.data(), payload.size())) units.collectParameterSets(unit, damaged);
    }
    const auto config = units.config();
    return config ? config->width : 0;
  };
  EXPECT_EQ(widthAfter({{&sps318x238, false}}), 318);
  EXPECT_EQ(widthAfter({{&sps318x238, false}, {&sps200x100, false}, {&sps200x100, false}}), 200);
  EXPECT_EQ(widthAfter({{&sps200x100, true}, {&sps200x100, true}, {&sps318x238, false}}), 318);
}

}  // namespace
