// Marks a folder walk as under way for as long as the guard lives, so that clicks
// handled while the walk yields can tell, and so that an early return or an
// exception cannot leave the mark behind.
#pragma once

#include "convert/cache_state.h"

namespace convert {

class WalkGuard {
 public:
  explicit WalkGuard(CacheState& state) : state_(state), wasWalking_(state.walking) { state_.walking = true; }
  ~WalkGuard() { state_.walking = wasWalking_; }
  WalkGuard(const WalkGuard&) = delete;
  WalkGuard& operator=(const WalkGuard&) = delete;

 private:
  CacheState& state_;
  bool wasWalking_;
};

}  // namespace convert
