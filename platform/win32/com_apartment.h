// COM on the user-interface thread for as long as the owner lives: the shell's
// objects need it, and it must end after the last of them is released.
#pragma once

#include <ole2.h>

namespace platform::win32 {

class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~ComApartment() {
    if (initialized_) OleUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_;
};

}  // namespace platform::win32
