// The words for a file beside the program that could not be written: the script,
// the settings, the video.
#pragma once

#include <optional>
#include <string>

#include "convert/messages.h"
#include "platform/platform.h"

namespace convert {

// prefix + the system's reason + suffix, and, where the system refused the access,
// the advice to move the program: the folder it runs from cannot be written.
inline std::string CannotWriteMessage(const std::string& prefix, const platform::Status& failure,
                                      const std::string& suffix = "") {
  std::string text = prefix + failure.error + suffix;
  if (failure.accessDenied) text += std::string("\n") + kMoveToWritableFolder;
  return text;
}

// The program's own names beside it (the script, the partial video, the settings'
// new copy) are written and removed freely; a folder or a link under one is the
// user's, or leads elsewhere, and is left alone. The message that names it, or
// nothing while the name is free for the program.
inline std::optional<std::string> OwnNameTaken(platform::Platform& platform, const std::string& path) {
  const platform::PathKind kind = platform.kindOf(path);
  if (kind == platform::PathKind::Missing || (kind == platform::PathKind::File && !platform.isLink(path))) {
    return std::nullopt;
  }
  return kOwnNameTaken + path;
}

}  // namespace convert
