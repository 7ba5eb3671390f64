#include "media/demux_pass.h"

#include <array>
#include <cstdio>
#include <memory>

#include "media/adts.h"
#include "media/pes_assembler.h"
#include "media/psi_tables.h"
#include "media/timeline.h"
#include "media/ts_packets.h"

namespace media {

namespace {

constexpr std::size_t kVideoPesCap = std::size_t{8} << 20;
constexpr std::size_t kAudioPesCap = std::size_t{1} << 20;
constexpr int kProgressSteps = 300;

struct Stream {
  Stream(std::uint16_t pidIn, std::uint32_t trackIn, TrackKind kindIn, VideoCodec codec)
      : pid(pidIn),
        track(trackIn),
        kind(kindIn),
        pes(kind == TrackKind::Video ? kVideoPesCap : kAudioPesCap, kind == TrackKind::Video),
        units(codec) {}
  std::uint16_t pid;
  std::uint32_t track;
  TrackKind kind;
  PesAssembler pes;
  ClockUnwrapper clock;
  VideoAccessUnits units;
  AdtsSplitter adts;
  std::int64_t lastAudioTime = kNoTime;
};

class Pass {
 public:
  Pass(SampleReceiver& receiver, PassResult& result) : receiver_(receiver), result_(result) { streamOf_.fill(kNone); }

  // False when the stream holds a kind of picture or sound we cannot take.
  bool onPmt(const std::vector<ElementaryStream>& streams) {
    for (const ElementaryStream& es : streams) {
      if (es.kind != StreamKind::Other && !es.supported) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "不支持的音视频格式 (0x%02X)", es.streamType);
        result_.outcome = RemuxOutcome::UnsupportedStream;
        result_.detail = detail;
        return false;
      }
    }
    for (const ElementaryStream& es : streams) {
      if (!es.supported || streams_.size() >= kMaxTracks || streamOf_[es.pid] != kNone) continue;
      const bool video = es.kind == StreamKind::Video;
      const VideoCodec codec = es.streamType == 0x24 ? VideoCodec::H265 : VideoCodec::H264;
      const auto track = static_cast<std::uint32_t>(streams_.size());
      streamOf_[es.pid] = static_cast<std::uint8_t>(track);
      streams_.push_back(std::make_unique<Stream>(es.pid, track, video ? TrackKind::Video : TrackKind::Audio, codec));
      TrackSamples samples;
      samples.kind = video ? TrackKind::Video : TrackKind::Audio;
      samples.pid = es.pid;
      samples.video.codec = codec;
      result_.tracks.push_back(std::move(samples));
    }
    return true;
  }

  void onPacket(const TsPacket& packet, Continuity continuity) {
    const std::uint8_t index = streamOf_[packet.pid];
    if (index == kNone) return;
    Stream& stream = *streams_[index];
    PesUnit unit;
    if (stream.pes.push(packet, continuity, unit)) onUnit(stream, unit);
  }

  void finish(bool cut) {
    for (auto& stream : streams_) {
      PesUnit unit;
      if (stream->pes.finish(cut, unit)) onUnit(*stream, unit);
    }
  }

  std::vector<std::unique_ptr<Stream>>& streams() { return streams_; }

 private:
  static constexpr std::uint8_t kNone = 0xFF;

  bool room() { return emitted_ < kMaxSamples; }

  void onUnit(Stream& stream, const PesUnit& unit) {
    const std::int64_t pts = unit.pts ? stream.clock.unwrap(*unit.pts) : kNoTime;
    const std::int64_t dts = unit.dts ? stream.clock.unwrap(*unit.dts) : pts;
    if (stream.kind == TrackKind::Video) {
      // A damaged access unit stays: decoders hide what was lost, while a missing frame would also spoil every
      // frame that refers to it until the next key frame.
      bool first = true;
      for (const AccessUnit& au : stream.units.split(unit.data, unit.size)) {
        if (!room()) return;
        stream.units.collectParameterSets(au, unit.damaged);
        receiver_.video(stream.track, stream.units, au, first ? dts : kNoTime, first ? pts : kNoTime);
        ++emitted_;
        first = false;
      }
      return;
    }
    const auto& frames = stream.adts.split(unit.data, unit.size, unit.damaged);
    // Any frame returned has set the configuration, and with it a known sample rate.
    const std::int64_t sampleRate = frames.empty() ? 1 : stream.adts.config()->sampleRate();
    for (const auto& frame : frames) {
      if (!room()) return;
      std::int64_t time = kNoTime;
      if (frame.index >= 0 && pts != kNoTime) {
        time = pts + frame.index * 1024 * kClockRate / sampleRate;
      } else if (stream.lastAudioTime != kNoTime) {
        time = stream.lastAudioTime + 1024 * kClockRate / sampleRate;
      }
      stream.lastAudioTime = time;
      receiver_.audio(stream.track, frame.data, frame.size, time);
      ++emitted_;
    }
  }

  SampleReceiver& receiver_;
  PassResult& result_;
  std::vector<std::unique_ptr<Stream>> streams_;
  std::array<std::uint8_t, 8192> streamOf_;  // track index of each PID, or kNone
  std::uint64_t emitted_ = 0;
};

}  // namespace

PassResult RunDemuxPass(ByteSource& input, RemuxControl& control, double progressFrom, double progressTo,
                        SampleReceiver& receiver) {
  PassResult result;
  Pass pass(receiver, result);
  TsPacketReader reader(input);
  ContinuityCheck continuity;
  ProgramTables tables;
  bool haveStreams = false;
  const std::uint64_t size = reader.size();
  const std::uint64_t reportEvery = size / kProgressSteps + 1;
  std::uint64_t nextReport = 0;
  TsPacket packet;
  while (reader.next(packet)) {
    if (reader.position() >= nextReport) {
      nextReport = reader.position() + reportEvery;
      const double share = size == 0 ? 1.0 : static_cast<double>(reader.position()) / static_cast<double>(size);
      if (!control.keepGoing(progressFrom + (progressTo - progressFrom) * share)) {
        result.outcome = RemuxOutcome::Cancelled;
        result.detail = "已取消";
        return result;
      }
      if (!receiver.healthy()) return result;
    }
    const Continuity order = continuity.next(packet);
    if (haveStreams) {
      pass.onPacket(packet, order);
      continue;
    }
    if (auto streams = tables.push(packet, order)) {
      if (!pass.onPmt(*streams)) return result;
      haveStreams = true;
    }
  }
  if (reader.readFailed()) {
    result.outcome = RemuxOutcome::ReadFailed;
    result.detail = "读取失败";
    return result;
  }
  pass.finish(reader.endedInsidePacket());
  if (!haveStreams) {
    result.outcome = RemuxOutcome::Unreadable;
    result.detail = "找不到节目表";
    return result;
  }
  for (auto& stream : pass.streams()) {
    TrackSamples& track = result.tracks[stream->track];
    if (stream->kind == TrackKind::Audio && stream->adts.config()) track.audio = *stream->adts.config();
    result.parameterSets.push_back(std::move(stream->units));
  }
  return result;
}

}  // namespace media
