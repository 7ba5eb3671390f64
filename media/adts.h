// AAC frames in ADTS: each frame's header gives its length and the stream's
// configuration, which the MP4 keeps once as an AudioSpecificConfig.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace media {

struct AudioConfig {
  std::uint8_t objectType = 0;  // AAC LC is 2
  std::uint8_t frequencyIndex = 0;
  std::uint8_t channelConfig = 0;
  std::uint32_t sampleRate() const;
  std::uint16_t channelCount() const;
  std::vector<std::uint8_t> audioSpecificConfig() const;
  bool operator==(const AudioConfig& other) const {
    return objectType == other.objectType && frequencyIndex == other.frequencyIndex &&
           channelConfig == other.channelConfig;
  }
};

struct AdtsHeader {
  AudioConfig config;
  std::size_t headerSize = 0;  // 7, or 9 with a CRC
  std::size_t frameSize = 0;   // header included
};

// Nothing unless the bytes start a frame we can take: one raw data block, a known
// sample rate, a length that holds its own header.
std::optional<AdtsHeader> ParseAdtsHeader(const std::uint8_t* data, std::size_t size);

// The frames of a stream's PES payloads. A frame counts when it matches the stream's
// configuration and either follows the frame before it or, after bytes that were no frame,
// the next one starts right after it, so a broken header costs only its own frame. A frame
// cut over two PES packets is joined again.
class AdtsSplitter {
 public:
  struct Frame {
    const std::uint8_t* data;  // raw AAC, header stripped
    std::size_t size;
    std::int64_t index;  // frames since the PES that gave the time, or -1 for one begun in the PES before
  };
  // The configuration frames must match, set by the first frame that passes.
  const std::optional<AudioConfig>& config() const { return config_; }
  // Splits one payload; damaged drops a frame carried over from the payload before.
  const std::vector<Frame>& split(const std::uint8_t* data, std::size_t size, bool damaged);

 private:
  bool followedByFrame(const std::uint8_t* data, std::size_t size, std::size_t at) const;

  std::optional<AudioConfig> config_;
  std::vector<std::uint8_t> carry_, joined_;
  std::vector<Frame> frames_;
};

}  // namespace media
