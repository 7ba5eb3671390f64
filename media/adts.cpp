#include "media/adts.h"

namespace media {

namespace {
constexpr std::uint32_t kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                          22050, 16000, 12000, 11025, 8000,  7350};
constexpr std::size_t kMaxFrame = 8191;
}  // namespace

std::uint32_t AudioConfig::sampleRate() const { return frequencyIndex < 13 ? kSampleRates[frequencyIndex] : 0; }

std::uint16_t AudioConfig::channelCount() const {
  if (channelConfig == 7) return 8;
  return channelConfig == 0 ? 2 : channelConfig;
}

std::vector<std::uint8_t> AudioConfig::audioSpecificConfig() const {
  return {static_cast<std::uint8_t>((objectType << 3) | (frequencyIndex >> 1)),
          static_cast<std::uint8_t>(((frequencyIndex & 1) << 7) | (channelConfig << 3))};
}

std::optional<AdtsHeader> ParseAdtsHeader(const std::uint8_t* data, std::size_t size) {
  if (size < 7 || data[0] != 0xFF || (data[1] & 0xF6) != 0xF0) return std::nullopt;
  AdtsHeader header;
  header.headerSize = (data[1] & 1) ? 7 : 9;
  header.config.objectType = static_cast<std::uint8_t>((data[2] >> 6) + 1);
  header.config.frequencyIndex = static_cast<std::uint8_t>((data[2] >> 2) & 0x0F);
  header.config.channelConfig = static_cast<std::uint8_t>(((data[2] & 1) << 2) | (data[3] >> 6));
  header.frameSize = (std::size_t{data[3] & 3u} << 11) | (std::size_t{data[4]} << 3) | (data[5] >> 5);
  const unsigned rawBlocks = data[6] & 3;
  if (header.config.frequencyIndex > 12 || rawBlocks != 0 || header.frameSize <= header.headerSize) return std::nullopt;
  return header;
}

bool AdtsSplitter::followedByFrame(const std::uint8_t* data, std::size_t size, std::size_t at) const {
  if (at == size) return true;
  if (at + 1 == size) return data[at] == 0xFF;
  return data[at] == 0xFF && (data[at + 1] & 0xF6) == 0xF0;
}

const std::vector<AdtsSplitter::Frame>& AdtsSplitter::split(const std::uint8_t* data, std::size_t size, bool damaged) {
  frames_.clear();
  std::size_t at = 0;
  if (!carry_.empty() && !damaged) {
    // The frame begun in the payload before: complete it from this one's first bytes.
    const auto header = ParseAdtsHeader(carry_.data(), carry_.size());
    if (header && header->frameSize > carry_.size() && header->frameSize - carry_.size() <= size &&
        followedByFrame(data, size, header->frameSize - carry_.size())) {
      const std::size_t rest = header->frameSize - carry_.size();
      joined_.assign(carry_.begin(), carry_.end());
      joined_.insert(joined_.end(), data, data + rest);
      if (!config_) config_ = header->config;
      if (header->config == *config_)
        frames_.push_back({joined_.data() + header->headerSize, header->frameSize - header->headerSize, -1});
      at = rest;
    }
  }
  carry_.clear();
  std::int64_t index = 0;
  std::size_t goodBytes = 0, goodFrames = 0, skipped = 0;
  while (at < size) {
    const auto header = ParseAdtsHeader(data + at, size - at);
    if (header && (!config_ || header->config == *config_)) {
      if (at + header->frameSize > size) {
        // Cut by the end of the payload: the next payload may hold the rest.
        if (size - at < kMaxFrame) carry_.assign(data + at, data + size);
        break;
      }
      // In step (where the frame before ended, or where the payload starts) a frame of the stream's own
      // configuration is trusted; after skipped bytes the next frame must confirm it.
      const bool inStep = config_ && skipped == 0;
      if (inStep || followedByFrame(data, size, at + header->frameSize)) {
        if (!config_) config_ = header->config;
        if (skipped != 0) {
          // Frames lost in the skipped bytes still took their time: guess how many from the frames kept.
          const std::size_t average = goodFrames > 0 ? goodBytes / goodFrames : header->frameSize;
          index += static_cast<std::int64_t>((skipped + average / 2) / average);
          skipped = 0;
        }
        goodBytes += header->frameSize;
        ++goodFrames;
        frames_.push_back({data + at + header->headerSize, header->frameSize - header->headerSize, index++});
        at += header->frameSize;
        continue;
      }
    }
    // Not a frame we can trust: look for the next sync word.
    const std::size_t from = at++;
    while (at < size && data[at] != 0xFF) ++at;
    skipped += at - from;
  }
  return frames_;
}

}  // namespace media
