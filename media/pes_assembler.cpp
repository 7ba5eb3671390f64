#include "media/pes_assembler.h"

#include "media/byte_order.h"

namespace media {

namespace {

std::optional<std::uint64_t> ReadTimestamp(const std::uint8_t* p, unsigned prefix) {
  if ((p[0] >> 4) != prefix && !(prefix == 3 && (p[0] >> 4) == 1)) return std::nullopt;
  if ((p[0] & 1) == 0 || (p[2] & 1) == 0 || (p[4] & 1) == 0) return std::nullopt;
  return (std::uint64_t{(p[0] >> 1) & 7u} << 30) | (static_cast<std::uint64_t>(ReadU16(p + 1) >> 1) << 15) |
         (ReadU16(p + 3) >> 1);
}

bool HasOptionalHeader(std::uint8_t streamId) {
  return streamId != 0xBC && streamId != 0xBE && streamId != 0xBF && streamId != 0xF0 && streamId != 0xF1 &&
         streamId != 0xF2 && streamId != 0xF8 && streamId != 0xFF;
}

}  // namespace

std::optional<PesHeader> ParsePesHeader(const std::uint8_t* data, std::size_t size) {
  if (size < 6 || data[0] != 0 || data[1] != 0 || data[2] != 1) return std::nullopt;
  PesHeader header;
  header.declaredLength = ReadU16(data + 4);
  if (!HasOptionalHeader(data[3])) {
    header.payloadOffset = 6;
    return header;
  }
  if (size < 9 || (data[6] & 0xC0) != 0x80) return std::nullopt;
  const unsigned flags = data[7] >> 6;
  const std::size_t headerLength = data[8];
  header.payloadOffset = 9 + headerLength;
  if (header.payloadOffset > size) return std::nullopt;
  if (header.declaredLength != 0 && header.declaredLength < 3 + headerLength) return std::nullopt;
  if (flags == 2 && headerLength >= 5) header.pts = ReadTimestamp(data + 9, 2);
  if (flags == 3 && headerLength >= 10) {
    header.pts = ReadTimestamp(data + 9, 3);
    header.dts = ReadTimestamp(data + 14, 1);
    if (!header.pts) header.dts.reset();
  }
  return header;
}

void PesAssembler::checkLength() {
  if (expected_ != 0 && received_ > expected_) damaged_ = true;
}

bool PesAssembler::complete(PesUnit& completed) {
  if (!collecting_) return false;
  collecting_ = false;
  if (expected_ != 0 && received_ != expected_) damaged_ = true;
  done_.swap(current_);
  completed.data = done_.data();
  completed.size = done_.size();
  completed.pts = pts_;
  completed.dts = dts_;
  completed.damaged = damaged_;
  return true;
}

bool PesAssembler::push(const TsPacket& packet, Continuity continuity, PesUnit& completed) {
  if (continuity == Continuity::Repeated || !packet.hasPayload) return false;
  // A break right before a new PES is where joined segments meet, each counting from its own start: the
  // unit before is whole unless its declared length says otherwise.
  if (continuity == Continuity::Broken && !packet.payloadStart) damaged_ = true;
  if (!packet.payloadStart) {
    if (!collecting_) return false;
    if (overflow_ || current_.size() + packet.payloadSize > cap_) {
      damaged_ = overflow_ = true;
      return false;
    }
    current_.append(packet.payload, packet.payloadSize, cap_);
    received_ += packet.payloadSize;
    checkLength();
    return false;
  }
  const auto header = ParsePesHeader(packet.payload, packet.payloadSize);
  const bool continues = joinUntimed_ && header && !header->pts && collecting_ && !damaged_;
  bool emitted = false;
  if (continues && expected_ != 0 && received_ != expected_) damaged_ = true;
  if (!continues) {
    emitted = complete(completed);
    current_.clear();
    damaged_ = overflow_ = false;
    pts_ = header ? header->pts : std::nullopt;
    dts_ = header ? header->dts : std::nullopt;
  }
  if (!header) {
    // Not a PES start: whatever follows up to the next start belongs to nothing we can trust.
    return emitted;
  }
  collecting_ = true;
  expected_ = header->declaredLength == 0 ? 0 : header->declaredLength - (header->payloadOffset - 6);
  const std::size_t payloadSize = packet.payloadSize - header->payloadOffset;
  received_ = payloadSize;
  if (current_.size() + payloadSize > cap_) {
    damaged_ = overflow_ = true;
  } else {
    current_.append(packet.payload + header->payloadOffset, payloadSize, cap_);
  }
  checkLength();
  return emitted;
}

bool PesAssembler::finish(bool cut, PesUnit& completed) {
  // An open-ended PES at the end is whole unless the input stopped inside a packet.
  if (collecting_ && expected_ == 0 && cut) collecting_ = false;
  return complete(completed);
}

}  // namespace media
