// What the path box's text names. Paths arrive pasted from other programs, dressed
// the way those programs dress them.
#pragma once

#include <string>

namespace convert {

// The path the typed text stands for: without the whitespace around it (space, tab,
// CR, LF and the ideographic space of Chinese input methods), without one pair of
// double quotes around that (Explorer's "Copy as path"), and with / read as \, as
// every Win32 call reads it.
std::string CleanTypedPath(const std::string& typed);

}  // namespace convert
