// What the cases put into a cache folder, and how they read the videos the program writes: fragments of made-up
// bytes that only a byte-for-byte join keeps whole, the transport-stream fixtures of scripts/make-ts-fixtures.sh
// (whose folder E2E_TS_FIXTURES names), and the top-level boxes of an MP4.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/byte_order.h"
#include "tests/e2e/framework.h"

namespace e2e {

inline void makeFiles(Case& c, const std::wstring& folder,
                      const std::vector<std::pair<std::wstring, std::string>>& files) {
  makeFolder(c, folder);
  for (const auto& [name, bytes] : files) writeBytes(c, folder + L"\\" + name, bytes);
}

// Pseudo-random fragment bytes, varied by the salt, that start with what a text-mode copy would stop at or change.
inline std::string fragment(unsigned salt, size_t size) {
  std::string bytes("\x1A\x00\r\n", 4);
  unsigned state = salt * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

// The named files of a folder joined in the order given: what the video must hold.
inline std::string joined(Case& c, const std::wstring& folder, const std::vector<std::wstring>& names) {
  std::string bytes;
  for (const std::wstring& name : names) {
    const auto part = readBytes(folder + L"\\" + name);
    if (!part) c.abort("cannot read fragment " + quoted(name));
    bytes += *part;
  }
  return bytes;
}

inline std::wstring fixtureFolder(Case& c, const wchar_t* set) {
  wchar_t folder[MAX_PATH * 2] = {};
  if (!GetEnvironmentVariableW(L"E2E_TS_FIXTURES", folder, MAX_PATH * 2)) {
    c.abort("E2E_TS_FIXTURES names no folder of transport-stream fragments (scripts/make-ts-fixtures.sh)");
  }
  return std::wstring(folder) + L"\\" + set;
}

// The fixture's n.ts as the client names its fragments, numbered from 1; returns their join.
inline std::string copyFragments(Case& c, const wchar_t* set, const std::wstring& folder) {
  const std::wstring from = fixtureFolder(c, set);
  makeFolder(c, folder);
  std::string joined;
  for (int n = 0;; ++n) {
    const auto bytes = readBytes(from + L"\\" + std::to_wstring(n) + L".ts");
    if (!bytes) break;
    writeBytes(c, folder + L"\\k0029vf1a2b.321004." + std::to_wstring(n + 1) + L".tdl", *bytes);
    joined += *bytes;
  }
  if (joined.empty()) c.abort("no fragments in " + quoted(from));
  return joined;
}

// The file's top-level boxes by type, or empty where their sizes do not add up to the file.
inline std::vector<std::string> topLevelBoxes(const std::string& file) {
  std::vector<std::string> types;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
  for (std::size_t at = 0; at < file.size();) {
    if (file.size() - at < 8) return {};
    std::uint64_t size = media::ReadU32(bytes + at);
    if (size == 1 && file.size() - at >= 16) size = media::ReadU64(bytes + at + 8);
    if (size < 8 || size > file.size() - at) return {};
    types.push_back(file.substr(at + 4, 4));
    at += static_cast<std::size_t>(size);
  }
  return types;
}

// The video under its name is an MP4 that a player can start streaming at once, and nothing of the work is left.
inline void checkMp4(Case& c, const std::wstring& appFolder, const std::wstring& name, const std::string& when) {
  const auto bytes = readBytes(appFolder + L"\\" + name);
  const std::vector<std::string> types = topLevelBoxes(bytes.value_or(""));
  const auto moov = std::find(types.begin(), types.end(), "moov"), mdat = std::find(types.begin(), types.end(), "mdat");
  c.check(!types.empty() && types[0] == "ftyp" && moov < mdat && mdat < types.end(),
          when + ": " + quoted(name) + " is no MP4 with ftyp first and moov before mdat");
  for (const wchar_t* left : {L"Fok.BAT", L"Fok.tmp", L"Fok.mp4.tmp"}) {
    c.check(GetFileAttributesW((appFolder + L"\\" + left).c_str()) == INVALID_FILE_ATTRIBUTES,
            when + ": " + quoted(std::wstring(left)) + " is left");
  }
}

}  // namespace e2e
