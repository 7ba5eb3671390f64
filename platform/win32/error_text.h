// The system's own words for a failed Win32 call.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform::win32 {

std::string errorText(DWORD error);
std::string lastErrorText();
// The last call's failure as a Status, marked where the system refused the access.
Status lastErrorStatus();

}  // namespace platform::win32
