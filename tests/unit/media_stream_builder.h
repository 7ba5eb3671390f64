// Hand-built transport streams for the media tests: packets, tables with their CRC,
// PES packets cut over as many packets as they need.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "media/psi_tables.h"
#include "media/remux.h"
#include "tests/fakes/memory_bytes.h"

namespace media_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// One packet; a payload shorter than 184 bytes is padded with adaptation-field stuffing.
inline Bytes Packet(std::uint16_t pid, bool start, std::uint8_t counter, const Bytes& payload) {
  Bytes packet = {0x47, static_cast<std::uint8_t>((start ? 0x40 : 0) | (pid >> 8)), static_cast<std::uint8_t>(pid),
                  static_cast<std::uint8_t>(0x10 | (counter & 0x0F))};
  const std::size_t stuffing = 184 - payload.size();
  if (stuffing > 0) {
    packet[3] |= 0x20;
    packet.push_back(static_cast<std::uint8_t>(stuffing - 1));
    if (stuffing > 1) packet.push_back(0);
    for (std::size_t i = 2; i < stuffing; ++i) packet.push_back(0xFF);
  }
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

inline Bytes WithCrc(Bytes section) {
  const std::uint32_t crc = media::Crc32Mpeg(section.data(), section.size());
  for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
  return section;
}

inline Bytes PatSection(std::uint16_t pmtPid) {
  return WithCrc({0x00, 0xB0, 13, 0, 1, 0xC1, 0, 0, 0, 1, static_cast<std::uint8_t>(0xE0 | (pmtPid >> 8)),
                  static_cast<std::uint8_t>(pmtPid)});
}

struct StreamEntry {
  std::uint8_t type;
  std::uint16_t pid;
  Bytes descriptors;
};

inline Bytes PmtSection(const std::vector<StreamEntry>& streams) {
  Bytes body = {0, 1, 0xC1, 0, 0, 0xE1, 0x00, 0xF0, 0};
  for (const auto& s : streams) {
    body.insert(body.end(), {s.type, static_cast<std::uint8_t>(0xE0 | (s.pid >> 8)), static_cast<std::uint8_t>(s.pid),
                             0xF0, static_cast<std::uint8_t>(s.descriptors.size())});
    body.insert(body.end(), s.descriptors.begin(), s.descriptors.end());
  }
  const std::size_t length = body.size() + 4;
  Bytes section = {0x02, static_cast<std::uint8_t>(0xB0 | (length >> 8)), static_cast<std::uint8_t>(length)};
  section.insert(section.end(), body.begin(), body.end());
  return WithCrc(section);
}

inline void PutTimestamp(Bytes& out, unsigned prefix, std::uint64_t t) {
  out.push_back(static_cast<std::uint8_t>((prefix << 4) | ((t >> 29) & 0x0E) | 1));
  out.push_back(static_cast<std::uint8_t>(t >> 22));
  out.push_back(static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1));
  out.push_back(static_cast<std::uint8_t>(t >> 7));
  out.push_back(static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1));
}

inline Bytes PesPacket(std::uint8_t streamId, std::optional<std::uint64_t> pts, std::optional<std::uint64_t> dts,
                       const Bytes& payload, bool declareLength) {
  Bytes header;
  if (pts && dts) {
    PutTimestamp(header, 3, *pts);
    PutTimestamp(header, 1, *dts);
  } else if (pts) {
    PutTimestamp(header, 2, *pts);
  }
  const std::size_t length = declareLength ? 3 + header.size() + payload.size() : 0;
  const std::uint8_t flags = pts && dts ? 0xC0 : pts ? 0x80 : 0;
  Bytes pes;
  pes.reserve(9 + header.size() + payload.size());
  for (const std::uint8_t b :
       {std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{1}, streamId, static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length), std::uint8_t{0x80}, flags, static_cast<std::uint8_t>(header.size())})
    pes.push_back(b);
  for (const std::uint8_t b : header) pes.push_back(b);
  for (const std::uint8_t b : payload) pes.push_back(b);
  return pes;
}

// A stream under construction, keeping each PID's continuity counter.
class TsBuilder {
 public:
  void section(std::uint16_t pid, const Bytes& section) {
    Bytes payload = {0};
    payload.insert(payload.end(), section.begin(), section.end());
    payload.resize(184, 0xFF);
    append(Packet(pid, true, counter_[pid]++, payload));
  }
  void tables(const std::vector<StreamEntry>& streams) {
    section(0, PatSection(0x1000));
    section(0x1000, PmtSection(streams));
  }
  void pes(std::uint16_t pid, const Bytes& pes) {
    for (std::size_t at = 0; at < pes.size(); at += 184) {
      const Bytes piece(pes.begin() + static_cast<std::ptrdiff_t>(at),
                        pes.begin() + static_cast<std::ptrdiff_t>(std::min(pes.size(), at + 184)));
      append(Packet(pid, at == 0, counter_[pid]++, piece));
    }
  }
  void append(const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
  Bytes out;

 private:
  std::map<std::uint16_t, std::uint8_t> counter_;
};

// An ADTS frame of AAC LC, 48 kHz, stereo, with payload bytes of a given value.
inline Bytes AdtsFrame(std::size_t payloadSize, std::uint8_t fill) {
  const std::size_t length = 7 + payloadSize;
  Bytes frame = {0xFF,
                 0xF1,
                 0x4C,
                 static_cast<std::uint8_t>(0x80 | (length >> 11)),
                 static_cast<std::uint8_t>(length >> 3),
                 static_cast<std::uint8_t>(((length & 7) << 5) | 0x1F),
                 0xFC};
  frame.insert(frame.end(), payloadSize, fill);
  return frame;
}

using fakes::MemorySink;
using fakes::MemorySource;

}  // namespace media_test
