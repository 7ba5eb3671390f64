// COM on the user-interface thread from its first use for as long as the owner lives:
// the shell's objects need it, and it must end after the last of them is released.
// Entered late, since the window's first paint needs no COM.
#pragma once

#include "platform/win32/shell.h"

namespace platform::win32 {

class ComApartment {
 public:
  ComApartment() = default;
  ~ComApartment() {
    if (entered_) leaveOle();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // On the thread that owns the windows; a second call changes nothing, as a failed first would again fail.
  void enter() {
    if (tried_) return;
    tried_ = true;
    entered_ = enterOle();
  }

 private:
  bool tried_ = false;
  bool entered_ = false;
};

}  // namespace platform::win32
