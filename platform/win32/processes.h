// Starting other programs.
#pragma once

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace platform::win32 {

// Starts the program and returns its process handle at once. With a handle to hand on, the child inherits that
// handle and no other.
Outcome<KernelHandle> startProcess(const RunRequest& request, HANDLE inherited = nullptr);

}  // namespace platform::win32
