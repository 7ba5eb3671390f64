#include "media/mp4_boxes.h"

#include <algorithm>
#include <limits>

#include "media/byte_order.h"

namespace media {

namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

class BoxWriter {
 public:
  explicit BoxWriter(std::vector<std::uint8_t>& out) : w(out) {}
  void begin(const char* type) {
    open_.push_back(w.position());
    w.u32(0);
    w.fourcc(type);
  }
  void beginFull(const char* type, std::uint32_t version, std::uint32_t flags) {
    begin(type);
    w.u8(version);
    w.u24(flags);
  }
  void end() {
    const std::size_t start = open_.back();
    open_.pop_back();
    w.patchU32(start, static_cast<std::uint32_t>(w.position() - start));
  }
  void matrix() {
    const std::uint32_t values[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (std::uint32_t v : values) w.u32(v);
  }
  ByteWriter w;

 private:
  std::vector<std::size_t> open_;
};

bool Needs64(std::int64_t value) { return value > static_cast<std::int64_t>(kMaxU32); }

void WriteMvhd(BoxWriter& b, std::int64_t duration, std::uint32_t nextTrack) {
  const bool wide = Needs64(duration);
  b.beginFull("mvhd", wide ? 1 : 0, 0);
  if (wide) {
    b.w.u64(0), b.w.u64(0), b.w.u32(kMovieTimescale), b.w.u64(static_cast<std::uint64_t>(duration));
  } else {
    b.w.u32(0), b.w.u32(0), b.w.u32(kMovieTimescale), b.w.u32(static_cast<std::uint32_t>(duration));
  }
  b.w.u32(0x00010000);  // rate 1.0
  b.w.u16(0x0100);      // volume 1.0
  b.w.zeros(10);
  b.matrix();
  b.w.zeros(24);
  b.w.u32(nextTrack);
  b.end();
}

void WriteTkhd(BoxWriter& b, const TrackSamples& track, std::uint32_t id, std::int64_t duration) {
  const bool wide = Needs64(duration);
  b.beginFull("tkhd", wide ? 1 : 0, 3);  // enabled, in the movie
  if (wide) {
    b.w.u64(0), b.w.u64(0), b.w.u32(id), b.w.u32(0), b.w.u64(static_cast<std::uint64_t>(duration));
  } else {
    b.w.u32(0), b.w.u32(0), b.w.u32(id), b.w.u32(0), b.w.u32(static_cast<std::uint32_t>(duration));
  }
  b.w.zeros(8);
  b.w.u16(0);                                       // layer
  b.w.u16(track.kind == TrackKind::Audio ? 1 : 0);  // alternate group: sound tracks replace each other
  b.w.u16(track.kind == TrackKind::Audio ? 0x0100 : 0);
  b.w.u16(0);
  b.matrix();
  b.w.u32(std::uint32_t{track.video.width} << 16);
  b.w.u32(std::uint32_t{track.video.height} << 16);
  b.end();
}

void WriteEdts(BoxWriter& b, const TrackTiming& timing) {
  const bool wide = Needs64(timing.editDuration) || Needs64(timing.emptyEdit) || Needs64(timing.mediaStart);
  b.begin("edts");
  b.beginFull("elst", wide ? 1 : 0, 0);
  b.w.u32(timing.emptyEdit > 0 ? 2 : 1);
  const auto entry = [&](std::int64_t duration, std::int64_t mediaTime) {
    if (wide) {
      b.w.u64(static_cast<std::uint64_t>(duration));
      b.w.u64(static_cast<std::uint64_t>(mediaTime));
    } else {
      b.w.u32(static_cast<std::uint32_t>(duration));
      b.w.u32(static_cast<std::uint32_t>(mediaTime));
    }
    b.w.u16(1), b.w.u16(0);
  };
  if (timing.emptyEdit > 0) entry(timing.emptyEdit, -1);
  entry(timing.editDuration, timing.mediaStart);
  b.end();
  b.end();
}

void WriteMdhd(BoxWriter& b, const TrackSamples& track, std::int64_t duration) {
  const bool wide = Needs64(duration);
  b.beginFull("mdhd", wide ? 1 : 0, 0);
  if (wide) {
    b.w.u64(0), b.w.u64(0), b.w.u32(track.timescale), b.w.u64(static_cast<std::uint64_t>(duration));
  } else {
    b.w.u32(0), b.w.u32(0), b.w.u32(track.timescale), b.w.u32(static_cast<std::uint32_t>(duration));
  }
  b.w.u16(0x55C4);  // "und"
  b.w.u16(0);
  b.end();
}

void WriteHdlr(BoxWriter& b, const TrackSamples& track) {
  const bool video = track.kind == TrackKind::Video;
  b.beginFull("hdlr", 0, 0);
  b.w.u32(0);
  b.w.fourcc(video ? "vide" : "soun");
  b.w.zeros(12);
  const char* name = video ? "VideoHandler" : "SoundHandler";
  b.w.bytes(reinterpret_cast<const std::uint8_t*>(name), 13);
  b.end();
}

void WriteDescriptor(ByteWriter& w, std::uint8_t tag, std::size_t length) {
  w.u8(tag);
  w.u8(static_cast<std::uint32_t>(length));  // every descriptor here is shorter than 128 bytes
}

void WriteSampleEntry(BoxWriter& b, const TrackSamples& track, std::uint32_t id) {
  b.beginFull("stsd", 0, 0);
  b.w.u32(1);
  if (track.kind == TrackKind::Video) {
    const bool h265 = track.video.codec == VideoCodec::H265;
    b.begin(h265 ? "hvc1" : "avc1");
    b.w.zeros(6), b.w.u16(1);  // data reference 1
    b.w.zeros(16);
    b.w.u16(track.video.width), b.w.u16(track.video.height);
    b.w.u32(0x00480000), b.w.u32(0x00480000);  // 72 dpi
    b.w.u32(0), b.w.u16(1);                    // one frame per sample
    b.w.zeros(32);                             // compressor name
    b.w.u16(0x0018), b.w.u16(0xFFFF);
    b.begin(h265 ? "hvcC" : "avcC");
    b.w.bytes(track.video.record.data(), track.video.record.size());
    b.end();
    b.end();
  } else {
    const auto config = track.audio.audioSpecificConfig();
    b.begin("mp4a");
    b.w.zeros(6), b.w.u16(1);
    b.w.zeros(8);
    b.w.u16(track.audio.channelCount()), b.w.u16(16);
    b.w.u32(0);
    b.w.u32(track.audio.sampleRate() <= 0xFFFF ? track.audio.sampleRate() << 16 : 0);
    b.beginFull("esds", 0, 0);
    const std::size_t decoderSpecific = 2 + config.size();
    const std::size_t decoderConfig = 13 + decoderSpecific;
    WriteDescriptor(b.w, 0x03, 3 + 2 + decoderConfig + 3);
    b.w.u16(id), b.w.u8(0);
    WriteDescriptor(b.w, 0x04, decoderConfig);
    b.w.u8(0x40);  // MPEG-4 audio
    b.w.u8(0x15);  // audio stream
    b.w.u24(0), b.w.u32(0), b.w.u32(0);
    WriteDescriptor(b.w, 0x05, config.size());
    b.w.bytes(config.data(), config.size());
    WriteDescriptor(b.w, 0x06, 1);
    b.w.u8(0x02);
    b.end();
    b.end();
  }
  b.end();
}

// Runs of equal values, as stts and ctts keep them.
template <typename Value>
void WriteRuns(BoxWriter& b, const SampleColumn<Value>& values) {
  const std::size_t count = values.size();
  std::uint32_t runs = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (i == 0 || values[i] != values[i - 1]) ++runs;
  b.w.u32(runs);
  for (std::size_t i = 0; i < count;) {
    std::size_t end = i + 1;
    while (end < count && values[end] == values[i]) ++end;
    b.w.u32(static_cast<std::uint32_t>(end - i));
    b.w.u32(static_cast<std::uint32_t>(values[i]));
    i = end;
  }
}

void WriteStbl(BoxWriter& b, const SampleTable& table, std::uint32_t trackIndex, std::uint32_t id,
               const std::vector<std::uint64_t>& chunkOffsets, bool wideOffsets) {
  const TrackSamples& track = table.tracks[trackIndex];
  const std::size_t count = track.sizes.size();
  b.begin("stbl");
  WriteSampleEntry(b, track, id);

  b.beginFull("stts", 0, 0);
  WriteRuns(b, track.durations);
  b.end();

  if (track.kind == TrackKind::Video) {
    bool any = false;
    for (std::size_t i = 0; i < track.compositionOffsets.size() && !any; ++i) any = track.compositionOffsets[i] != 0;
    if (any) {
      b.beginFull("ctts", 0, 0);
      WriteRuns(b, track.compositionOffsets);
      b.end();
    }
    const std::size_t keys = static_cast<std::size_t>(std::count(track.keys.begin(), track.keys.end(), true));
    // Without stss every sample is a key frame; a stream without any is still better seekable by none.
    if (keys != count) {
      b.beginFull("stss", 0, 0);
      b.w.u32(static_cast<std::uint32_t>(keys));
      for (std::size_t i = 0; i < count; ++i)
        if (track.keys[i]) b.w.u32(static_cast<std::uint32_t>(i + 1));
      b.end();
    }
  }

  b.beginFull("stsz", 0, 0);
  bool allSame = true;
  for (std::size_t i = 1; i < count && allSame; ++i) allSame = track.sizes[i] == track.sizes[0];
  b.w.u32(allSame ? track.sizes[0] : 0);
  b.w.u32(static_cast<std::uint32_t>(count));
  if (!allSame)
    for (std::size_t i = 0; i < count; ++i) b.w.u32(track.sizes[i]);
  b.end();

  // stsc: a new entry only where the samples per chunk change.
  b.beginFull("stsc", 0, 0);
  const std::size_t stscCount = b.w.position();
  b.w.u32(0);
  std::uint32_t entries = 0, chunkNumber = 0, lastSamples = 0;
  for (std::size_t i = 0; i < table.chunks.size(); ++i) {
    const ChunkRun& chunk = table.chunks[i];
    if (chunk.track != trackIndex) continue;
    ++chunkNumber;
    if (chunk.samples != lastSamples) {
      b.w.u32(chunkNumber), b.w.u32(chunk.samples), b.w.u32(1);
      lastSamples = chunk.samples;
      ++entries;
    }
  }
  b.w.patchU32(stscCount, entries);
  b.end();

  b.beginFull(wideOffsets ? "co64" : "stco", 0, 0);
  b.w.u32(chunkNumber);
  for (std::size_t i = 0; i < table.chunks.size(); ++i) {
    if (table.chunks[i].track != trackIndex) continue;
    if (wideOffsets) {
      b.w.u64(chunkOffsets[i]);
    } else {
      b.w.u32(static_cast<std::uint32_t>(chunkOffsets[i]));
    }
  }
  b.end();
  b.end();
}

}  // namespace

std::vector<std::uint8_t> BuildFtyp() {
  std::vector<std::uint8_t> out;
  BoxWriter b(out);
  b.begin("ftyp");
  b.w.fourcc("isom");
  b.w.u32(0x200);
  for (const char* brand : {"isom", "iso2", "avc1", "mp41"}) b.w.fourcc(brand);
  b.end();
  return out;
}

std::vector<std::uint8_t> BuildMdatHeader(std::uint64_t payloadBytes) {
  std::vector<std::uint8_t> out;
  ByteWriter w(out);
  if (payloadBytes + 8 > kMaxU32) {
    w.u32(1);
    w.fourcc("mdat");
    w.u64(payloadBytes + 16);
  } else {
    w.u32(static_cast<std::uint32_t>(payloadBytes + 8));
    w.fourcc("mdat");
  }
  return out;
}

std::vector<std::uint8_t> SourceTagPayload(const SourceTag& tag) {
  std::vector<std::uint8_t> out;
  ByteWriter w(out);
  w.u8(0);  // version
  w.u64(tag.fragmentBytes);
  w.bytes(reinterpret_cast<const std::uint8_t*>(tag.folderName.data()), tag.folderName.size());
  return out;
}

std::optional<SourceTag> ParseSourceTagPayload(const std::uint8_t* data, std::size_t size) {
  if (size < 9 || data[0] != 0) return std::nullopt;
  SourceTag tag;
  tag.fragmentBytes = ReadU64(data + 1);
  tag.folderName.assign(reinterpret_cast<const char*>(data + 9), size - 9);
  return tag;
}

std::vector<std::uint8_t> BuildMoov(const SampleTable& table, const std::vector<TrackTiming>& timings,
                                    const SourceTag& tag, std::uint64_t dataOffset) {
  std::vector<std::uint64_t> chunkOffsets(table.chunks.size());
  {
    std::vector<std::size_t> next(table.tracks.size(), 0);
    std::uint64_t offset = dataOffset;
    for (std::size_t i = 0; i < table.chunks.size(); ++i) {
      chunkOffsets[i] = offset;
      const TrackSamples& track = table.tracks[table.chunks[i].track];
      for (std::uint32_t s = 0; s < table.chunks[i].samples; ++s) offset += track.sizes[next[table.chunks[i].track]++];
    }
  }
  const bool wideOffsets = !chunkOffsets.empty() && chunkOffsets.back() > kMaxU32;

  std::vector<std::uint8_t> out;
  // Room for the most the sample boxes can take, so the box is never copied while it grows; what
  // a stream with its usual steps leaves unused is never touched.
  std::size_t bound = 65536 + 24 * table.chunks.size();
  for (const TrackSamples& track : table.tracks) bound += 24 * track.sizes.size();
  out.reserve(bound);
  BoxWriter b(out);
  b.begin("moov");
  std::int64_t movieDuration = 0;
  for (std::size_t i = 0; i < table.tracks.size(); ++i)
    if (!table.tracks[i].sizes.empty())
      movieDuration = std::max(movieDuration, timings[i].emptyEdit + timings[i].editDuration);
  WriteMvhd(b, movieDuration, static_cast<std::uint32_t>(table.tracks.size() + 1));
  for (std::size_t i = 0; i < table.tracks.size(); ++i) {
    const TrackSamples& track = table.tracks[i];
    if (track.sizes.empty()) continue;
    const auto id = static_cast<std::uint32_t>(i + 1);
    b.begin("trak");
    WriteTkhd(b, track, id, timings[i].emptyEdit + timings[i].editDuration);
    WriteEdts(b, timings[i]);
    b.begin("mdia");
    WriteMdhd(b, track, timings[i].mediaDuration);
    WriteHdlr(b, track);
    b.begin("minf");
    if (track.kind == TrackKind::Video) {
      b.beginFull("vmhd", 0, 1);
      b.w.zeros(8);
    } else {
      b.beginFull("smhd", 0, 0);
      b.w.zeros(4);
    }
    b.end();
    b.begin("dinf");
    b.beginFull("dref", 0, 0);
    b.w.u32(1);
    b.beginFull("url ", 0, 1);  // the samples are in this file
    b.end();
    b.end();
    b.end();
    WriteStbl(b, table, static_cast<std::uint32_t>(i), id, chunkOffsets, wideOffsets);
    b.end();  // minf
    b.end();  // mdia
    b.end();  // trak
  }
  b.begin("udta");
  b.begin(kSourceTagBox);
  const auto payload = SourceTagPayload(tag);
  b.w.bytes(payload.data(), payload.size());
  b.end();
  b.end();
  b.end();  // moov
  return out;
}

}  // namespace media
