#include "media/psi_tables.h"

#include <array>

#include "media/byte_order.h"

namespace media {

namespace {

constexpr std::size_t kMaxSection = 1024 + 3;

std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}

// Streams that carry no picture or sound: timed metadata, private sections, SCTE-35 and the like
// are left out; anything else that is picture or sound we cannot take must keep the join.
StreamKind KindOf(std::uint8_t type, const std::uint8_t* descriptors, std::size_t size) {
  switch (type) {
    case 0x01:
    case 0x02:
    case 0x10:
    case 0x1B:
    case 0x1E:
    case 0x1F:
    case 0x20:
    case 0x21:
    case 0x24:
    case 0x25:
    case 0x33:
    case 0x42:
    case 0xD1:
    case 0xD2:
    case 0xD4:
    case 0xEA:
      return StreamKind::Video;
    case 0x03:
    case 0x04:
    case 0x0F:
    case 0x11:
    case 0x1C:
    case 0x2D:
    case 0x2E:
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
    case 0x84:
    case 0x85:
    case 0x87:
    case 0xA1:
    case 0xA2:
      return StreamKind::Audio;
    case 0x06:
      // Private data carries sound when its descriptors say AC-3, E-AC-3, DTS, AAC or Opus.
      for (std::size_t at = 0; at + 2 <= size; at += 2 + descriptors[at + 1]) {
        const std::uint8_t tag = descriptors[at];
        const std::size_t length = descriptors[at + 1];
        if (at + 2 + length > size) break;
        if (tag == 0x6A || tag == 0x7A || tag == 0x7B || tag == 0x7C || tag == 0x81) return StreamKind::Audio;
        if (tag == 0x05 && length >= 4) {
          const std::uint32_t format = ReadU32(descriptors + at + 2);
          if (format == 0x41432D33 /* AC-3 */ || format == 0x45414333 /* EAC3 */ || format == 0x4F707573 /* Opus */ ||
              format == 0x44545331 || format == 0x44545332 || format == 0x44545333 /* DTS1..3 */)
            return StreamKind::Audio;
          if (format == 0x48455643 /* HEVC */ || format == 0x56432D31 /* VC-1 */) return StreamKind::Video;
        }
      }
      return StreamKind::Other;
    default:
      return StreamKind::Other;
  }
}

}  // namespace

std::uint32_t Crc32Mpeg(const std::uint8_t* data, std::size_t size) {
  static const std::array<std::uint32_t, 256> table = MakeCrcTable();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

std::optional<std::vector<std::uint8_t>> SectionAssembler::takeIfComplete() {
  if (section_.size() < 3) return std::nullopt;
  const std::size_t total = 3 + (ReadU16(&section_[1]) & 0x0FFF);
  if (total > kMaxSection || total < 3 + 5 + 4) {
    collecting_ = false;
    return std::nullopt;
  }
  if (section_.size() < total) return std::nullopt;
  collecting_ = false;
  section_.resize(total);
  if (Crc32Mpeg(section_.data(), total) != 0) return std::nullopt;
  return section_;
}

std::optional<std::vector<std::uint8_t>> SectionAssembler::push(const TsPacket& packet, Continuity continuity) {
  if (!packet.hasPayload || continuity == Continuity::Repeated) return std::nullopt;
  if (continuity == Continuity::Broken) collecting_ = false;
  const std::uint8_t* data = packet.payload;
  std::size_t size = packet.payloadSize;
  if (packet.payloadStart) {
    const std::size_t pointer = data[0];
    if (1 + pointer >= size) {
      collecting_ = false;
      return std::nullopt;
    }
    // The bytes before the pointer end the section already begun.
    if (collecting_) {
      section_.insert(section_.end(), data + 1, data + 1 + pointer);
      if (auto done = takeIfComplete()) return done;
    }
    section_.assign(data + 1 + pointer, data + size);
    collecting_ = true;
    return takeIfComplete();
  }
  if (!collecting_) return std::nullopt;
  if (section_.size() + size > kMaxSection) size = kMaxSection - section_.size();
  section_.insert(section_.end(), data, data + size);
  return takeIfComplete();
}

std::optional<std::uint16_t> ParsePat(const std::vector<std::uint8_t>& section) {
  if (section.size() < 12 || section[0] != 0x00) return std::nullopt;
  for (std::size_t at = 8; at + 4 + 4 <= section.size(); at += 4) {
    const std::uint16_t program = ReadU16(&section[at]);
    if (program != 0) return static_cast<std::uint16_t>(ReadU16(&section[at + 2]) & 0x1FFF);
  }
  return std::nullopt;
}

std::optional<std::vector<ElementaryStream>> ParsePmt(const std::vector<std::uint8_t>& section) {
  if (section.size() < 16 || section[0] != 0x02) return std::nullopt;
  const std::size_t end = section.size() - 4;
  std::size_t at = 12 + (ReadU16(&section[10]) & 0x0FFF);
  std::vector<ElementaryStream> streams;
  while (at + 5 <= end) {
    ElementaryStream stream;
    stream.streamType = section[at];
    stream.pid = static_cast<std::uint16_t>(ReadU16(&section[at + 1]) & 0x1FFF);
    const std::size_t infoLength = ReadU16(&section[at + 3]) & 0x0FFF;
    if (at + 5 + infoLength > end) return std::nullopt;
    stream.kind = KindOf(stream.streamType, &section[at + 5], infoLength);
    stream.supported = stream.streamType == 0x1B || stream.streamType == 0x24 || stream.streamType == 0x0F;
    streams.push_back(stream);
    at += 5 + infoLength;
  }
  return streams;
}

std::optional<std::vector<ElementaryStream>> ProgramTables::push(const TsPacket& packet, Continuity continuity) {
  if (packet.pid == 0 && !pmtPid_) {
    if (auto section = pat_.push(packet, continuity)) pmtPid_ = ParsePat(*section);
  } else if (pmtPid_ && packet.pid == *pmtPid_) {
    if (auto section = pmt_.push(packet, continuity)) return ParsePmt(*section);
  }
  return std::nullopt;
}

}  // namespace media
