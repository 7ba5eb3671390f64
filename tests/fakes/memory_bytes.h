// The remux's reader and writer over bytes in memory, for the tests of the core and
// of the conversion that calls it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "media/remux.h"

namespace fakes {

// Keeps its own copy of the bytes.
class MemorySource final : public media::ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  MemorySource(const void* data, std::size_t size)
      : bytes_(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {}

  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = std::min<std::size_t>(length, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Refuses bytes past its limit, as a full disk does.
class MemorySink final : public media::ByteSink {
 public:
  explicit MemorySink(std::uint64_t limit = UINT64_MAX) : limit_(limit) {}
  bool write(const std::uint8_t* data, std::size_t length) override {
    if (bytes.size() + length > limit_) return false;
    bytes.insert(bytes.end(), data, data + length);
    return true;
  }

  std::vector<std::uint8_t> bytes;

 private:
  std::uint64_t limit_;
};

}  // namespace fakes
