#include "media/ts_packets.h"

#include <algorithm>
#include <cstring>

#include "media/byte_order.h"

namespace media {

namespace {
constexpr std::size_t kReadSize = std::size_t{1} << 20;
}

bool ParseTsPacket(const std::uint8_t* bytes, TsPacket& packet) {
  if (bytes[0] != kTsSync || (bytes[1] & 0x80) != 0) return false;
  packet.pid = static_cast<std::uint16_t>(ReadU16(bytes + 1) & 0x1FFF);
  packet.payloadStart = (bytes[1] & 0x40) != 0;
  const unsigned control = (bytes[3] >> 4) & 3;
  packet.continuity = bytes[3] & 0x0F;
  packet.discontinuity = false;
  std::size_t offset = 4;
  if (control & 2) {
    const std::size_t adaptationLength = bytes[4];
    // With a payload the field leaves room for at least one byte of it.
    if (adaptationLength > ((control & 1) ? 182u : 183u)) return false;
    if (adaptationLength > 0) packet.discontinuity = (bytes[5] & 0x80) != 0;
    offset = 5 + adaptationLength;
  }
  packet.hasPayload = (control & 1) != 0 && offset < kTsPacketSize;
  packet.payload = bytes + offset;
  packet.payloadSize = packet.hasPayload ? kTsPacketSize - offset : 0;
  return control != 0;
}

Continuity ContinuityCheck::next(const TsPacket& packet) {
  std::uint8_t& last = last_[packet.pid];
  // The counter only moves with a payload; the null PID never counts.
  if (!packet.hasPayload || packet.pid == 0x1FFF) return Continuity::InOrder;
  const std::uint8_t before = last;
  last = packet.continuity;
  // The first payload bytes and the start flag, enough to tell a repetition from another packet.
  std::uint64_t start = 0;
  if (packet.payloadSize >= sizeof start) {
    std::memcpy(&start, packet.payload, sizeof start);
  } else {
    for (std::size_t i = 0; i < packet.payloadSize; ++i) start = (start << 8) | packet.payload[i];
  }
  start = (start << 1) ^ (packet.payloadStart ? 1 : 0);
  const std::uint64_t startBefore = lastStart_[packet.pid];
  lastStart_[packet.pid] = start;
  if (before == kUnknown || packet.discontinuity) return Continuity::InOrder;
  if (packet.continuity == before) return start == startBefore ? Continuity::Repeated : Continuity::Broken;
  return packet.continuity == ((before + 1) & 0x0F) ? Continuity::InOrder : Continuity::Broken;
}

TsPacketReader::TsPacketReader(ByteSource& source) : source_(source), size_(source.size()) {
  // A small input needs no more than itself.
  buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kReadSize, size_)) + 4 * kTsPacketSize);
}

bool TsPacketReader::ensure(std::size_t bytes) {
  if (filled_ - cursor_ >= bytes) return true;
  if (atEnd_) return false;
  // Keep the unread tail; the buffer never grows.
  std::memmove(buffer_.data(), buffer_.data() + cursor_, filled_ - cursor_);
  bufferStart_ += cursor_;
  filled_ -= cursor_;
  cursor_ = 0;
  while (filled_ < bytes && !atEnd_) {
    const std::uint64_t offset = bufferStart_ + filled_;
    const std::size_t room = buffer_.size() - filled_;
    const std::size_t got = offset < size_ ? source_.read(offset, buffer_.data() + filled_, room) : 0;
    filled_ += got;
    if (got < room) {
      atEnd_ = true;
      readFailed_ = source_.failed();
    }
  }
  return filled_ - cursor_ >= bytes;
}

bool TsPacketReader::next(TsPacket& packet) {
  for (;;) {
    if (!ensure(2 * kTsPacketSize + 1)) {
      if (filled_ - cursor_ < kTsPacketSize) {
        endedInsidePacket_ = filled_ > cursor_;
        cursor_ = filled_;
        return false;
      }
    }
    const std::size_t at = cursor_;
    const bool nextInBuffer = at + kTsPacketSize < filled_;
    if (syncAt(at) && (!nextInBuffer || syncAt(at + kTsPacketSize))) {
      cursor_ += kTsPacketSize;
      if (ParseTsPacket(buffer_.data() + at, packet)) return true;
      continue;
    }
    // Lost step: the first byte that starts two sync bytes 188 apart, or the end.
    ++resyncs_;
    std::size_t scan = at + 1;
    for (;;) {
      while (scan + kTsPacketSize < filled_ && !(buffer_[scan] == kTsSync && buffer_[scan + kTsPacketSize] == kTsSync))
        ++scan;
      if (scan + kTsPacketSize < filled_) break;
      cursor_ = scan;
      if (!ensure(2 * kTsPacketSize + 1)) {
        // Too little left to confirm a packet: the rest cannot be followed.
        endedInsidePacket_ = filled_ > cursor_;
        cursor_ = filled_;
        return false;
      }
      scan = cursor_;
    }
    cursor_ = scan;
  }
}

}  // namespace media
