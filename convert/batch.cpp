#include "convert/batch.h"

#include <algorithm>

#include "convert/conversion.h"
#include "convert/messages.h"

namespace convert {
namespace {

std::string listed(const CacheFolder& video, const std::string& why) {
  return video.shownTime + kBatchEntrySeparator + why;
}

std::string withEntries(const char* heading, const std::vector<std::string>& entries) {
  std::string text = heading;
  for (const std::string& entry : entries) text += "\n" + entry;
  return text;
}

}  // namespace

Batch Batch::Prepare(platform::Platform& platform, CacheState& state, const std::vector<int>& selected) {
  std::vector<int> positions = selected;
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  // Copied before the first walk yields: a click may read the list anew meanwhile.
  std::vector<CacheFolder> chosen;
  for (int position : positions) {
    if (position >= 0 && static_cast<std::size_t>(position) < state.CacheFolderNames.size()) {
      chosen.push_back(state.CacheFolderNames[static_cast<std::size_t>(position)]);
    }
  }

  std::vector<std::string> skipped;
  std::vector<bool> incomplete;
  Batch batch;
  for (const CacheFolder& video : chosen) {
    const FolderCheck check = CheckFragmentFolder(platform, state, video);
    if (!check.refusal.empty()) {
      skipped.push_back(listed(video, check.refusal));
      continue;
    }
    batch.videos_.push_back(video);
    incomplete.push_back(check.fragments.missingNumbers > 0);
  }
  if (!skipped.empty()) platform.message(withEntries(kBatchSkipped, skipped));

  const auto gaps = static_cast<std::size_t>(std::count(incomplete.begin(), incomplete.end(), true));
  if (gaps > 0 && !platform.askYesNo(std::to_string(gaps) + kBatchMissingSegments)) {
    std::vector<CacheFolder> complete;
    for (std::size_t i = 0; i < batch.videos_.size(); ++i) {
      if (!incomplete[i]) complete.push_back(std::move(batch.videos_[i]));
    }
    batch.videos_ = std::move(complete);
  }
  return batch;
}

const CacheFolder* Batch::next() { return !stopped_ && next_ < videos_.size() ? &videos_[next_++] : nullptr; }

void Batch::ended(const std::string& name, const RemuxReport& report) {
  lastCaption_ = FinishedCaption(name, report);
  switch (report.end) {
    case RemuxEnd::Replaced:
    case RemuxEnd::NotTaken:
      // As before MP4s were made: the join is the video.
      ++convertedCount_;
      break;
    case RemuxEnd::JoinKept:
      // The join plays, but it is no standard MP4; where the caption would say so, the report does.
      failures_.push_back(listed(videos_[next_ - 1], lastCaption_));
      break;
    case RemuxEnd::Cancelled:
      stop();
      break;
  }
}

void Batch::failed(const std::string& why) {
  lastCaption_.clear();
  failures_.push_back(listed(videos_[next_ - 1], why));
}

std::string Batch::progressCaption(int percent) const {
  return kCaptionConverting + std::to_string(next_) + "/" + std::to_string(videos_.size()) + " " +
         std::to_string(percent) + "%";
}

int Batch::overallPercent(int percent) const {
  if (videos_.empty() || next_ == 0) return 0;
  return static_cast<int>(((next_ - 1) * 100 + static_cast<std::size_t>(std::clamp(percent, 0, 100))) / videos_.size());
}

std::string Batch::endCaption() const {
  if (videos_.size() == 1) return lastCaption_;
  return kCaptionConverted + std::to_string(convertedCount_) + kCaptionBatchConverted;
}

std::string Batch::report() const { return failures_.empty() ? std::string() : withEntries(kBatchFailed, failures_); }

}  // namespace convert
