// Small helpers for the UTF-8 text that the portable code keeps.
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

}  // namespace platform
