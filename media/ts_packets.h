// The 188-byte transport packets: their header, the continuity counter of each PID,
// and a reader that finds them in a byte source and finds them again after damage.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/remux.h"

namespace media {

constexpr std::size_t kTsPacketSize = 188;
constexpr std::uint8_t kTsSync = 0x47;

struct TsPacket {
  std::uint16_t pid = 0;
  bool payloadStart = false;
  bool discontinuity = false;  // the adaptation field says the counter restarts here
  bool hasPayload = false;
  std::uint8_t continuity = 0;
  const std::uint8_t* payload = nullptr;
  std::size_t payloadSize = 0;
};

// False for a packet that cannot be followed: no sync byte, the transport error bit
// set, or an adaptation field longer than the packet.
bool ParseTsPacket(const std::uint8_t* bytes, TsPacket& packet);

enum class Continuity { InOrder, Repeated, Broken };

// Per PID, whether a packet follows the one before it: a gap means lost bytes. A packet
// with the counter of the one before is its repetition only if it starts the same way, since
// segments joined end to end restart their counters and may meet on equal values.
class ContinuityCheck {
 public:
  ContinuityCheck() { last_.fill(kUnknown); }
  Continuity next(const TsPacket& packet);

 private:
  static constexpr std::uint8_t kUnknown = 0xFF;
  std::array<std::uint8_t, 8192> last_;
  std::array<std::uint64_t, 8192> lastStart_{};
};

// Walks the packets of a source front to back through one reused buffer. A packet
// counts only with a sync byte at its start and at the next packet's start, so a
// packet that lost or gained bytes is left out and the reader looks for two sync
// bytes 188 apart to go on.
class TsPacketReader {
 public:
  explicit TsPacketReader(ByteSource& source);
  // Points packet into the buffer, valid until the next call; false at the end.
  bool next(TsPacket& packet);
  bool readFailed() const { return readFailed_; }
  // True when the source ended inside a packet, so whatever was being assembled is cut.
  bool endedInsidePacket() const { return endedInsidePacket_; }
  std::uint64_t position() const { return bufferStart_ + cursor_; }
  std::uint64_t size() const { return size_; }
  std::uint64_t resyncs() const { return resyncs_; }

 private:
  bool ensure(std::size_t bytes);  // at least bytes from cursor_ in the buffer, unless the source ends
  bool syncAt(std::size_t at) const { return at < filled_ && buffer_[at] == kTsSync; }

  ByteSource& source_;
  std::uint64_t size_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t bufferStart_ = 0;  // source offset of buffer_[0]
  std::size_t filled_ = 0;
  std::size_t cursor_ = 0;
  bool atEnd_ = false;
  bool readFailed_ = false;
  bool endedInsidePacket_ = false;
  std::uint64_t resyncs_ = 0;
};

}  // namespace media
