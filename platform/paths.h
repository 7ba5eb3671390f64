// Rules for Windows path text, shared by the portable code and the Win32 layer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace platform {

inline bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Windows ignores case in names; for fixed ASCII parts such as "UNC" or ".tdl" the
// ASCII letters are all there is to fold.
inline bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// \\?\ and \\.\ reach below the file system's paths, to devices and to names that
// Win32 would otherwise rewrite; they look like network paths but are none.
inline bool IsDeviceNamespacePath(const std::string& path) {
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && (path[2] == '?' || path[2] == '.') &&
         (path.size() == 3 || path[3] == '\\');
}

// A drive path (C:\...) or a network path (\\server\share...); anything else would
// be resolved against whatever folder happens to be current, or is no folder path.
inline bool IsAbsolutePath(const std::string& path) {
  const bool drivePath = HasDriveLetter(path) && path.size() >= 3 && path[2] == '\\';
  const bool networkPath =
      path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\' && !IsDeviceNamespacePath(path);
  return drivePath || networkPath;
}

// The plain path that a \\?\ path stands for: \\?\D:\x is D:\x and \\?\UNC\server\x
// is \\server\x. cmd cannot work in the \\?\ form, so a script needs the plain one.
// Nothing for other text, nor for \\?\ forms that have no plain path (volume names).
inline std::optional<std::string> PlainFormOf(const std::string& path) {
  if (path.rfind("\\\\?\\", 0) != 0) return std::nullopt;
  const std::string rest = path.substr(4);
  if (HasDriveLetter(rest)) return rest;
  if (EqualsIgnoringAsciiCase(rest.substr(0, 4), "UNC\\")) return "\\\\" + rest.substr(4);
  return std::nullopt;
}

inline bool HasWildcard(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

inline std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

// folder + "\" + name, without doubling the backslash of a drive root.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

// The last component of a path without anything from its last dot on.
inline std::string GetBaseName(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace platform
