#include "media/remux.h"

#include <algorithm>
#include <vector>

#include "media/byte_order.h"
#include "media/demux_pass.h"
#include "media/mp4_boxes.h"
#include "media/psi_tables.h"
#include "media/timeline.h"
#include "media/track_timing.h"
#include "media/ts_packets.h"

namespace media {

namespace {
constexpr std::size_t kSyncedPacketsRequired = 8;
constexpr std::size_t kTablesLookahead = 4096;  // packets searched for the PAT and the PMT
}  // namespace

bool LooksLikeTransportStream(ByteSource& input) {
  const std::uint64_t size = input.size();
  if (size < kSyncedPacketsRequired * kTsPacketSize) return false;
  std::vector<std::uint8_t> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kTablesLookahead * kTsPacketSize)));
  head.resize(input.read(0, head.data(), head.size()));
  const std::size_t packets = head.size() / kTsPacketSize;
  if (packets < kSyncedPacketsRequired) return false;
  for (std::size_t i = 0; i < kSyncedPacketsRequired; ++i)
    if (head[i * kTsPacketSize] != kTsSync) return false;
  ContinuityCheck continuity;
  ProgramTables tables;
  for (std::size_t i = 0; i < packets; ++i) {
    TsPacket packet;
    if (!ParseTsPacket(&head[i * kTsPacketSize], packet)) continue;
    if (tables.push(packet, continuity.next(packet))) return true;
  }
  return false;
}

struct Remuxer::State {
  State(ByteSource& source, SourceTag sourceTag) : input(source), tag(std::move(sourceTag)) {}
  ByteSource& input;
  SourceTag tag;
  bool analysed = false;
  SampleTable table;
  std::vector<std::uint8_t> head;  // ftyp, moov and mdat's header
  std::uint64_t outputSize = 0;
};

namespace {

class TableReceiver : public SampleReceiver {
 public:
  explicit TableReceiver(SampleTable& table) : table_(table) {}
  void video(std::uint32_t track, const VideoAccessUnits&, const AccessUnit& unit, std::int64_t decodeTime,
             std::int64_t presentationTime) override {
    grow(track);
    table_.add(track, unit.sampleSize, decodeTime, presentationTime, unit.key);
  }
  void audio(std::uint32_t track, const std::uint8_t*, std::size_t size, std::int64_t time) override {
    grow(track);
    table_.tracks[track].kind = TrackKind::Audio;
    table_.add(track, static_cast<std::uint32_t>(size), time, kNoTime, true);
  }

 private:
  void grow(std::uint32_t track) {
    if (table_.tracks.size() <= track) table_.tracks.resize(track + 1);
  }
  SampleTable& table_;
};

// Copies each sample into a reused buffer that goes to the sink in large writes, and
// checks that the input still gives the samples the first pass counted.
class FileReceiver : public SampleReceiver {
 public:
  FileReceiver(const SampleTable& table, ByteSink& sink) : table_(table), sink_(sink), next_(table.tracks.size(), 0) {
    buffer_.reserve(kFlushSize + (std::size_t{1} << 16));
  }
  void video(std::uint32_t track, const VideoAccessUnits& units, const AccessUnit& unit, std::int64_t,
             std::int64_t) override {
    if (!expect(track, unit.sampleSize)) return;
    units.appendSample(unit, buffer_);
    afterSample();
  }
  void audio(std::uint32_t track, const std::uint8_t* data, std::size_t size, std::int64_t) override {
    if (!expect(track, size)) return;
    buffer_.insert(buffer_.end(), data, data + size);
    afterSample();
  }
  bool healthy() const override { return !writeFailed_ && !changed_; }
  bool flush() {
    if (!buffer_.empty() && !writeFailed_) {
      writeFailed_ = !sink_.write(buffer_.data(), buffer_.size());
      if (!writeFailed_) written_ += buffer_.size();
    }
    buffer_.clear();
    return !writeFailed_;
  }
  bool writeFailed() const { return writeFailed_; }
  bool changed() const { return changed_; }
  std::uint64_t written() const { return written_; }

 private:
  static constexpr std::size_t kFlushSize = std::size_t{1} << 20;
  bool expect(std::uint32_t track, std::size_t size) {
    if (changed_ || writeFailed_) return false;
    if (track >= next_.size() || next_[track] >= table_.tracks[track].sizes.size() ||
        table_.tracks[track].sizes[next_[track]] != size) {
      changed_ = true;
      return false;
    }
    ++next_[track];
    return true;
  }
  void afterSample() {
    if (buffer_.size() >= kFlushSize) flush();
  }
  const SampleTable& table_;
  ByteSink& sink_;
  std::vector<std::size_t> next_;
  std::vector<std::uint8_t> buffer_;
  bool writeFailed_ = false, changed_ = false;
  std::uint64_t written_ = 0;
};

}  // namespace

Remuxer::Remuxer(ByteSource& input, SourceTag tag) : state_(new State(input, std::move(tag))) {}
Remuxer::~Remuxer() = default;

RemuxResult Remuxer::analyse(RemuxControl& control) {
  State& s = *state_;
  s.analysed = false;
  s.table = SampleTable();
  TableReceiver receiver(s.table);
  PassResult pass = RunDemuxPass(s.input, control, 0.0, 0.5, receiver);
  if (pass.outcome != RemuxOutcome::Done) return {pass.outcome, pass.detail, 0};
  if (pass.tracks.empty()) return {RemuxOutcome::UnsupportedStream, "没有音视频", 0};
  // The table holds what came; the pass knows which stream each track is.
  s.table.tracks.resize(pass.tracks.size());
  bool anySamples = false;
  for (std::size_t i = 0; i < pass.tracks.size(); ++i) {
    TrackSamples& track = s.table.tracks[i];
    track.kind = pass.tracks[i].kind;
    track.pid = pass.tracks[i].pid;
    if (track.sizes.empty()) continue;
    if (track.kind == TrackKind::Video) {
      auto config = pass.parameterSets[i].config();
      if (!config) return {RemuxOutcome::Unreadable, "视频参数无法读取", 0};
      track.video = std::move(*config);
    } else {
      track.audio = pass.tracks[i].audio;
    }
    anySamples = true;
  }
  if (!anySamples) return {RemuxOutcome::Unreadable, "找不到可用的音视频", 0};
  const auto timings = SettleTimes(s.table);
  const auto ftyp = BuildFtyp();
  const auto mdatHeader = BuildMdatHeader(s.table.mediaBytes);
  // moov's size does not depend on the offsets it holds, only on whether they need 64 bits.
  std::vector<std::uint8_t> moov = BuildMoov(s.table, timings, s.tag, ftyp.size() + mdatHeader.size());
  for (int round = 0; round < 3; ++round) {
    const std::size_t before = moov.size();
    moov = std::vector<std::uint8_t>();  // gone before the next is built: it is the largest thing here
    moov = BuildMoov(s.table, timings, s.tag, ftyp.size() + before + mdatHeader.size());
    if (moov.size() == before) break;
  }
  // Around moov in place: the room BuildMoov leaves spare takes the few bytes without a copy.
  s.head = std::move(moov);
  s.head.insert(s.head.begin(), ftyp.begin(), ftyp.end());
  s.head.insert(s.head.end(), mdatHeader.begin(), mdatHeader.end());
  // The second pass checks only the sizes.
  for (TrackSamples& track : s.table.tracks) {
    track.durations.clear();
    track.compositionOffsets.clear();
    std::vector<bool>().swap(track.keys);
  }
  s.outputSize = s.head.size() + s.table.mediaBytes;
  s.analysed = true;
  return {RemuxOutcome::Done, "", 0};
}

std::uint64_t Remuxer::outputSize() const { return state_->analysed ? state_->outputSize : 0; }

RemuxResult Remuxer::write(ByteSink& output, RemuxControl& control) {
  State& s = *state_;
  if (!s.analysed) return {RemuxOutcome::Unreadable, "未分析", 0};
  if (!output.write(s.head.data(), s.head.size())) return {RemuxOutcome::WriteFailed, "写入失败", 0};
  FileReceiver receiver(s.table, output);
  PassResult pass = RunDemuxPass(s.input, control, 0.5, 1.0, receiver);
  receiver.flush();
  const std::uint64_t written = s.head.size() + receiver.written();
  if (receiver.writeFailed()) return {RemuxOutcome::WriteFailed, "写入失败", written};
  if (pass.outcome != RemuxOutcome::Done) return {pass.outcome, pass.detail, written};
  if (receiver.changed() || written != s.outputSize) return {RemuxOutcome::ReadFailed, "源文件已改变", written};
  control.keepGoing(1.0);
  return {RemuxOutcome::Done, "", written};
}

std::optional<SourceTag> ReadSourceTag(ByteSource& mp4) {
  // Walks box headers only: ftyp first, then moov, udta and our box inside them.
  const std::uint64_t size = mp4.size();
  const auto header = [&](std::uint64_t at, std::uint64_t end, std::uint64_t& boxSize, std::uint32_t& type,
                          std::uint64_t& bodyAt) {
    std::uint8_t bytes[16];
    if (at + 8 > end || mp4.read(at, bytes, 8) != 8) return false;
    boxSize = ReadU32(bytes);
    type = ReadU32(bytes + 4);
    bodyAt = at + 8;
    if (boxSize == 1) {
      if (at + 16 > end || mp4.read(at + 8, bytes + 8, 8) != 8) return false;
      boxSize = ReadU64(bytes + 8);
      bodyAt = at + 16;
    } else if (boxSize == 0) {
      boxSize = end - at;
    }
    return boxSize >= bodyAt - at && boxSize <= end - at;
  };
  const auto find = [&](std::uint64_t from, std::uint64_t end, const char* wanted, std::uint64_t& bodyAt,
                        std::uint64_t& bodyEnd) {
    const std::uint32_t code = ReadU32(reinterpret_cast<const std::uint8_t*>(wanted));
    for (std::uint64_t at = from; at < end;) {
      std::uint64_t boxSize = 0, body = 0;
      std::uint32_t type = 0;
      if (!header(at, end, boxSize, type, body)) return false;
      if (type == code) {
        bodyAt = body;
        bodyEnd = at + boxSize;
        return true;
      }
      at += boxSize;
    }
    return false;
  };
  std::uint64_t boxSize = 0, body = 0;
  std::uint32_t type = 0;
  if (!header(0, size, boxSize, type, body) || type != ReadU32(reinterpret_cast<const std::uint8_t*>("ftyp")))
    return std::nullopt;
  std::uint64_t moovAt = 0, moovEnd = 0, udtaAt = 0, udtaEnd = 0, tagAt = 0, tagEnd = 0;
  if (!find(0, size, "moov", moovAt, moovEnd) || !find(moovAt, moovEnd, "udta", udtaAt, udtaEnd) ||
      !find(udtaAt, udtaEnd, kSourceTagBox, tagAt, tagEnd))
    return std::nullopt;
  constexpr std::uint64_t kMaxTag = 4096;
  if (tagEnd - tagAt > kMaxTag) return std::nullopt;
  std::vector<std::uint8_t> payload(static_cast<std::size_t>(tagEnd - tagAt));
  if (mp4.read(tagAt, payload.data(), payload.size()) != payload.size()) return std::nullopt;
  return ParseSourceTagPayload(payload.data(), payload.size());
}

}  // namespace media
