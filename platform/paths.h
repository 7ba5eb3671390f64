// Rules for Windows path text, shared by the portable code and the Win32 layer.
#pragma once

#include <string>

namespace platform {

inline bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// A drive path (C:\...) or a network path (\\server\share...); anything else would
// be resolved against whatever folder happens to be current.
inline bool IsAbsolutePath(const std::string& path) {
  const bool drivePath = HasDriveLetter(path) && path.size() >= 3 && path[2] == '\\';
  const bool networkPath = path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
  return drivePath || networkPath;
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
