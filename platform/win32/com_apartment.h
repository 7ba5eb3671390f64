// COM on the window's thread for as long as the program runs; the shell's parts
// that the window uses need it.
#pragma once

#include <windows.h>

#include <ole2.h>

namespace platform::win32 {

class ComApartment {
 public:
  ComApartment() : started_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~ComApartment() {
    if (started_) OleUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool started_;
};

}  // namespace platform::win32
