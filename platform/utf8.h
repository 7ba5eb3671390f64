// Small helpers for the UTF-8 text that the portable code keeps, and for taking
// the other Unicode forms into it.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

inline bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `count` characters (code points), or the whole text if it is shorter.
inline std::string firstCharacters(const std::string& text, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size() && seen < count; ++seen) {
    ++end;
    while (end < text.size() && isContinuationByte(text[end])) ++end;
  }
  return text.substr(0, end);
}

// Length in UTF-16 code units, which is what Windows path limits count.
inline std::size_t utf16Length(const std::string& text) {
  std::size_t units = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (isContinuationByte(c)) continue;
    units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

inline bool hasControlCharacter(const std::string& text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// Whether the bytes are UTF-8 as Windows judges it strictly (MB_ERR_INVALID_CHARS):
// no overlong forms, no surrogates, nothing above U+10FFFF, no cut-off sequence.
inline bool isStrictUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The second byte's range is where overlong forms, surrogates and code points
    // past U+10FFFF are told apart from the rest.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!isContinuationByte(bytes[i + k])) return false;
    }
    i += length;
  }
  return true;
}

inline void appendUtf8(std::string& text, char32_t point) {
  if (point < 0x80) {
    text += static_cast<char>(point);
  } else if (point < 0x800) {
    text += static_cast<char>(0xC0 | (point >> 6));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    text += static_cast<char>(0xE0 | (point >> 12));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (point >> 18));
    text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (point & 0x3F));
  }
}

enum class ByteOrder { LittleEndian, BigEndian };

// UTF-16 bytes as UTF-8. Whatever a file holds, the result is valid UTF-8: an
// unpaired surrogate, or a last byte without its partner, becomes U+FFFD.
inline std::string utf16ToUtf8(const std::string& bytes, ByteOrder order) {
  constexpr char32_t kReplacement = 0xFFFD;
  const auto unitAt = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return order == ByteOrder::LittleEndian ? static_cast<char32_t>(first | (second << 8))
                                            : static_cast<char32_t>((first << 8) | second);
  };
  const auto isHigh = [](char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
  const auto isLow = [](char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };

  std::string text;
  std::size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) {
    const char32_t unit = unitAt(at);
    if (isHigh(unit) && at + 3 < bytes.size() && isLow(unitAt(at + 2))) {
      appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00));
      at += 2;
    } else {
      appendUtf8(text, isHigh(unit) || isLow(unit) ? kReplacement : unit);
    }
  }
  if (at < bytes.size()) appendUtf8(text, kReplacement);
  return text;
}

}  // namespace platform
