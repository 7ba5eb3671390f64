// PES packets of one elementary stream, gathered from its transport packets, with
// their PTS and DTS (still the raw 33-bit clock).
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "media/ts_packets.h"

namespace media {

struct PesHeader {
  std::size_t payloadOffset = 0;
  std::size_t declaredLength = 0;  // bytes after the length field; 0 when the stream leaves it open
  std::optional<std::uint64_t> pts, dts;
};

// Nothing when the bytes do not start a PES packet we can follow. A timestamp whose
// marker bits are wrong is left out rather than trusted.
std::optional<PesHeader> ParsePesHeader(const std::uint8_t* data, std::size_t size);

struct PesUnit {
  const std::uint8_t* data = nullptr;  // the payload, without the PES header
  std::size_t size = 0;
  std::optional<std::uint64_t> pts, dts;
  bool damaged = false;  // bytes were lost or added inside it
};

// Bytes appended packet by packet into storage that is kept from one unit to the next, so an
// append is a copy and nothing more; it never grows past limit unless one unit needs it.
class ByteBuffer {
 public:
  void append(const std::uint8_t* data, std::size_t size, std::size_t limit) {
    // A packet with an empty payload brings nothing, and memcpy takes no null pointer even for no bytes.
    if (size == 0) return;
    if (size_ + size > storage_.size())
      storage_.resize(std::max(size_ + size, std::min(2 * storage_.size(), limit)));
    std::memcpy(storage_.data() + size_, data, size);
    size_ += size;
  }
  void clear() { size_ = 0; }
  const std::uint8_t* data() const { return storage_.data(); }
  std::size_t size() const { return size_; }
  void swap(ByteBuffer& other) {
    storage_.swap(other.storage_);
    std::swap(size_, other.size_);
  }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t size_ = 0;
};

class PesAssembler {
 public:
  // joinUntimed: a PES without a PTS continues the one before it, as when an access
  // unit is cut over several PES packets. cap bounds the bytes held.
  PesAssembler(std::size_t cap, bool joinUntimed) : cap_(cap), joinUntimed_(joinUntimed) {}
  // True when this packet completed a unit; it stays valid until the next call.
  bool push(const TsPacket& packet, Continuity continuity, PesUnit& completed);
  // The unit still open at the end of the input; cut says the input stopped inside a packet.
  bool finish(bool cut, PesUnit& completed);

 private:
  bool complete(PesUnit& completed);
  void checkLength();

  std::size_t cap_;
  bool joinUntimed_;
  ByteBuffer current_, done_;
  bool collecting_ = false;
  bool damaged_ = false;
  bool overflow_ = false;  // past the cap: nothing more of this unit is kept
  std::optional<std::uint64_t> pts_, dts_;
  std::size_t expected_ = 0;  // payload bytes the current PES packet declares, 0 when open
  std::size_t received_ = 0;  // payload bytes of the current PES packet
};

}  // namespace media
