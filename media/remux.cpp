#include "media/remux.h"

#include <algorithm>
#include <vector>

#include "media/psi_tables.h"
#include "media/ts_packets.h"

namespace media {

namespace {
constexpr std::size_t kSyncedPacketsRequired = 8;
constexpr std::size_t kTablesLookahead = 4096;  // packets searched for the PAT and the PMT
}  // namespace

bool LooksLikeTransportStream(ByteSource& input) {
  const std::uint64_t size = input.size();
  if (size < kSyncedPacketsRequired * kTsPacketSize) return false;
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kTablesLookahead * kTsPacketSize)));
  head.resize(input.read(0, head.data(), head.size()));
  const std::size_t packets = head.size() / kTsPacketSize;
  if (packets < kSyncedPacketsRequired) return false;
  for (std::size_t i = 0; i < kSyncedPacketsRequired; ++i)
    if (head[i * kTsPacketSize] != kTsSync) return false;
  ContinuityCheck continuity;
  SectionAssembler patSection, pmtSection;
  std::optional<std::uint16_t> pmtPid;
  for (std::size_t i = 0; i < packets; ++i) {
    TsPacket packet;
    if (!ParseTsPacket(&head[i * kTsPacketSize], packet)) continue;
    const Continuity order = continuity.next(packet);
    if (packet.pid == 0 && !pmtPid) {
      if (auto section = patSection.push(packet, order)) pmtPid = ParsePat(*section);
    } else if (pmtPid && packet.pid == *pmtPid) {
      if (auto section = pmtSection.push(packet, order))
        if (ParsePmt(*section)) return true;
    }
  }
  return false;
}

struct Remuxer::State {
  ByteSource& input;
  SourceTag tag;
};

Remuxer::Remuxer(ByteSource& input, SourceTag tag) : state_(new State{input, std::move(tag)}) {}
Remuxer::~Remuxer() = default;

RemuxResult Remuxer::analyse(RemuxControl&) { return {RemuxOutcome::Unreadable, "not done", 0}; }
std::uint64_t Remuxer::outputSize() const { return 0; }
RemuxResult Remuxer::write(ByteSink&, RemuxControl&) { return {RemuxOutcome::Unreadable, "not done", 0}; }

std::optional<SourceTag> ReadSourceTag(ByteSource&) { return std::nullopt; }

}  // namespace media
