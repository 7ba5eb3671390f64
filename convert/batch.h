// Several videos converted in one go: the checks before the first, the order they
// run in, what the caption says meanwhile, and the one report at the end. Each
// video itself is converted exactly as a single one is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "convert/cache_state.h"
#include "convert/remux_step.h"
#include "platform/platform.h"

namespace convert {

class Batch {
 public:
  // Checks every selected entry, in list order, before anything is written. Those
  // that cannot be converted are named in one message; those with missing segments
  // are asked about in one question. The batch holds the videos left to convert,
  // with their folders as they were at the click, whatever the list shows later.
  static Batch Prepare(platform::Platform& platform, CacheState& state, const std::vector<int>& selected);

  bool empty() const { return videos_.empty(); }
  std::size_t size() const { return videos_.size(); }

  // The next video to convert, or nothing once each has had its turn or the batch was stopped.
  const CacheFolder* next();
  // Converts no further video: the program cannot go on with the one in hand.
  void stop() { stopped_ = true; }

  // What became of the video in hand. A video that did not become a playable file,
  // or only a join, is named in the report, by its time, with the cause in the
  // words a single conversion would use.
  void ended(const std::string& name, const RemuxReport& report);
  void failed(const std::string& why);
  // Output names the batch's videos took, which no later one of them may take.
  const std::vector<std::string>& names() const { return names_; }
  void took(const std::string& name) { names_.push_back(name); }

  // The caption's first part while the video in hand is `percent` done: "正在转换 2/5 45%".
  std::string progressCaption(int percent) const;
  // The whole batch's share, for the taskbar.
  int overallPercent(int percent) const;
  // The caption's first part at the end: "已转换 5 个视频", or for one video what a single conversion says.
  std::string endCaption() const;
  // The message after the last video; empty when every one was converted.
  std::string report() const;

 private:
  std::vector<CacheFolder> videos_;
  std::size_t next_ = 0;  // one past the video in hand
  bool stopped_ = false;
  std::size_t convertedCount_ = 0;
  std::string lastCaption_;
  std::vector<std::string> failures_;
  std::vector<std::string> names_;
};

}  // namespace convert
