// Big-endian fields, as every transport stream and MP4 structure stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

inline std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t ReadU32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
inline std::uint64_t ReadU64(const std::uint8_t* p) { return (std::uint64_t{ReadU32(p)} << 32) | ReadU32(p + 4); }

// Appends to a growing buffer; the box writer lays out moov this way.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void u8(std::uint32_t v) { out_.push_back(static_cast<std::uint8_t>(v)); }
  void u16(std::uint32_t v) {
    u8(v >> 8);
    u8(v);
  }
  void u24(std::uint32_t v) {
    u8(v >> 16);
    u16(v & 0xFFFF);
  }
  void u32(std::uint32_t v) {
    u16(v >> 16);
    u16(v & 0xFFFF);
  }
  void u64(std::uint64_t v) {
    u32(static_cast<std::uint32_t>(v >> 32));
    u32(static_cast<std::uint32_t>(v));
  }
  void fourcc(const char* code) { bytes(reinterpret_cast<const std::uint8_t*>(code), 4); }
  void bytes(const std::uint8_t* data, std::size_t size) { out_.insert(out_.end(), data, data + size); }
  void zeros(std::size_t count) { out_.insert(out_.end(), count, 0); }
  std::size_t position() const { return out_.size(); }
  // Overwrites a 32-bit field already written, for sizes known only once a box ends.
  void patchU32(std::size_t at, std::uint32_t v) {
    out_[at] = static_cast<std::uint8_t>(v >> 24);
    out_[at + 1] = static_cast<std::uint8_t>(v >> 16);
    out_[at + 2] = static_cast<std::uint8_t>(v >> 8);
    out_[at + 3] = static_cast<std::uint8_t>(v);
  }

 private:
  std::vector<std::uint8_t>& out_;
};

}  // namespace media
