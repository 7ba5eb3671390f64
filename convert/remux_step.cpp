#include "convert/remux_step.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "convert/messages.h"
#include "platform/paths.h"

namespace convert {

class RemuxJob::Control final : public media::RemuxControl {
 public:
  explicit Control(RemuxJob& job) : job_(job) {}
  bool keepGoing(double doneShare) override {
    const int percent = static_cast<int>(std::clamp(doneShare, 0.0, 1.0) * 100);
    // Readers of the caption must never see it go back.
    if (percent > job_.percent_) job_.percent_ = percent;
    return !job_.cancelled_;
  }

 private:
  RemuxJob& job_;
};

media::SourceTag TagFor(const std::string& fragmentFolder, std::uint64_t joinedBytes) {
  std::string folder = fragmentFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return {folder.substr(folder.find_last_of('\\') + 1), joinedBytes};
}

RemuxJob::RemuxJob(RemuxFiles& files, RemuxEngine& engine, std::string appFolder, std::string videoName,
                   std::string fragmentFolder)
    : files_(files),
      engine_(engine),
      appFolder_(std::move(appFolder)),
      videoName_(std::move(videoName)),
      fragmentFolder_(std::move(fragmentFolder)) {}

RemuxReport RemuxJob::run() {
  const std::string video = platform::JoinPath(appFolder_, videoName_);
  const std::string temporary = platform::JoinPath(appFolder_, kRemuxTemporaryName);
  RemuxReport report;
  // Nothing may escape the worker's thread; running out of memory on a strange input is one more input not taken.
  try {
    report = convert(video, temporary);
  } catch (const std::exception&) {
    report = {RemuxEnd::JoinKept, kRemuxUnreadable};
  }
  // Whatever stopped the MP4, the join keeps the name and nothing half-made stays.
  if (report.end != RemuxEnd::Replaced) files_.remove(temporary);
  return report;
}

namespace {

RemuxReport joinKept(std::string why) { return {RemuxEnd::JoinKept, std::move(why)}; }

RemuxReport reportOf(const media::RemuxResult& result, const std::string& writeError) {
  switch (result.outcome) {
    case media::RemuxOutcome::Done:
      break;
    case media::RemuxOutcome::NotTransportStream:
      return {RemuxEnd::NotTaken, {}};
    case media::RemuxOutcome::UnsupportedStream:
      return joinKept(kRemuxUnsupported);
    case media::RemuxOutcome::Unreadable:
      return joinKept(kRemuxUnreadable);
    case media::RemuxOutcome::ReadFailed:
      return joinKept(kRemuxReadFailed);
    case media::RemuxOutcome::WriteFailed:
      return joinKept(kRemuxWriteFailed + writeError);
    case media::RemuxOutcome::Cancelled:
      return {RemuxEnd::Cancelled, {}};
  }
  return {RemuxEnd::Replaced, {}};
}

}  // namespace

RemuxReport RemuxJob::convert(const std::string& video, const std::string& temporary) {
  Control control(*this);
  std::unique_ptr<media::ByteSource> source = files_.openForReading(video);
  if (!source) return joinKept(kRemuxReadFailed);
  if (!engine_.looksLikeTransportStream(*source)) return {RemuxEnd::NotTaken, {}};
  auto passes = engine_.open(*source, TagFor(fragmentFolder_, source->size()));
  const RemuxReport analysed = reportOf(passes->analyse(control), {});
  if (analysed.end != RemuxEnd::Replaced) return analysed;

  const std::uint64_t needed = passes->outputSize() + kFreeSpaceMargin;
  const auto free = files_.freeBytes(appFolder_);
  if (free && *free < needed) return joinKept(kRemuxNoSpace);

  std::string error;
  std::unique_ptr<RemuxOutputFile> output = files_.createNew(temporary, error);
  if (!output) return joinKept(kRemuxWriteFailed + error);
  const media::RemuxResult written = passes->write(*output, control);
  // The file must be closed whatever happened, and a refusal at the close counts as one in the middle.
  const bool closed = output->finish();
  const RemuxReport wrote = reportOf(written, output->error());
  if (wrote.end != RemuxEnd::Replaced) return wrote;
  if (!closed) return joinKept(kRemuxWriteFailed + output->error());
  output.reset();
  // The join is open for reading until here; a rename over an open file fails.
  passes.reset();
  source.reset();
  const platform::Status moved = files_.moveReplacing(temporary, video);
  if (!moved.ok()) return joinKept(kRemuxNotReplaced + moved.error);
  percent_ = 100;
  return {RemuxEnd::Replaced, {}};
}

int ConversionPercent(std::optional<int> joinPercent, std::optional<int> remuxPercent) {
  const int whole = remuxPercent ? kJoinPercentShare + *remuxPercent * (100 - kJoinPercentShare) / 100
                                 : joinPercent.value_or(100) * kJoinPercentShare / 100;
  // 100 is the end's alone, which the caption shows by name instead.
  return std::min(whole, 99);
}

std::string FinishedCaption(const std::string& videoName, const RemuxReport& report) {
  if (report.end == RemuxEnd::JoinKept) return kCaptionJoinedOnly + videoName + kCaptionNotStandardMp4 + report.why;
  return kCaptionConverted + videoName;
}

}  // namespace convert
