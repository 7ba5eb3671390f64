// The words for a file beside the program that could not be written: the script,
// the settings, the video.
#pragma once

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

}  // namespace convert
