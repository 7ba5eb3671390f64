// The program tables: the PAT names the PMT's PID, the PMT lists the elementary
// streams. Sections are gathered across packets and taken only with a good CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "media/ts_packets.h"

namespace media {

std::uint32_t Crc32Mpeg(const std::uint8_t* data, std::size_t size);

// One table section at a time on one PID.
class SectionAssembler {
 public:
  // A whole section (header to CRC, checked) once the packet completes one; else nothing.
  std::optional<std::vector<std::uint8_t>> push(const TsPacket& packet, Continuity continuity);

 private:
  std::optional<std::vector<std::uint8_t>> takeIfComplete();
  std::vector<std::uint8_t> section_;
  bool collecting_ = false;
};

// The PMT PID of the first program, from a PAT section.
std::optional<std::uint16_t> ParsePat(const std::vector<std::uint8_t>& section);

enum class StreamKind { Video, Audio, Other };

struct ElementaryStream {
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
  StreamKind kind = StreamKind::Other;
  bool supported = false;  // H.264, H.265 or AAC in ADTS
};

std::optional<std::vector<ElementaryStream>> ParsePmt(const std::vector<std::uint8_t>& section);

// The PAT, then the PMT it names: the first program's streams once a PMT came whole.
class ProgramTables {
 public:
  std::optional<std::vector<ElementaryStream>> push(const TsPacket& packet, Continuity continuity);

 private:
  SectionAssembler pat_, pmt_;
  std::optional<std::uint16_t> pmtPid_;
};

}  // namespace media
