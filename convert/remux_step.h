// The step after a join has passed its check: when the joined video is turned into
// a real MP4, what then replaces what, and what the caption says of it. The work
// itself runs away from the window, so everything it touches is behind the two
// interfaces below, which the worker may call from its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "media/remux.h"
#include "platform/platform.h"

namespace convert {

// The MP4 grows under this name beside the program and replaces the join only
// once it is whole; like Fok.tmp, a leftover goes at the next start.
inline constexpr const char* kRemuxTemporaryName = "Fok.mp4.tmp";

// Room kept free beyond the MP4's exact size, for the file system's own records
// and whatever else writes to the disk meanwhile.
inline constexpr std::uint64_t kFreeSpaceMargin = 16u << 20;

// The caption's percentage: the join runs up to this share, the remux takes the
// rest, since it reads the join twice and writes it once more.
inline constexpr int kJoinPercentShare = 40;

// A file the remux writes: front to back, then closed with what the disk said.
class RemuxOutputFile : public media::ByteSink {
 public:
  // Writes what is still buffered and closes the file; false when the disk refused.
  virtual bool finish() = 0;
  // The system's reason for the last refusal, worded for the caption.
  virtual std::string error() const = 0;
};

// The files of the remux. Called from the worker's thread: nothing here may touch
// the window.
class RemuxFiles {
 public:
  virtual ~RemuxFiles() = default;
  // Nothing when the file cannot be opened.
  virtual std::unique_ptr<media::ByteSource> openForReading(const std::string& path) = 0;
  // A file made anew under path, never through a link or junction of that name;
  // on failure nothing, with the reason in error.
  virtual std::unique_ptr<RemuxOutputFile> createNew(const std::string& path, std::string& error) = 0;
  // Bytes the user may still write on the folder's disk; nothing where it cannot be told.
  virtual std::optional<std::uint64_t> freeBytes(const std::string& folder) = 0;
  // Renames from over to, replacing it, as the script's move does.
  virtual platform::Status moveReplacing(const std::string& from, const std::string& to) = 0;
  virtual void remove(const std::string& path) = 0;
};

// What turns a transport stream into an MP4: the media core in the program.
class RemuxEngine {
 public:
  // One input's two passes, as media::Remuxer has them.
  class Passes {
   public:
    virtual ~Passes() = default;
    virtual media::RemuxResult analyse(media::RemuxControl& control) = 0;
    virtual std::uint64_t outputSize() const = 0;
    virtual media::RemuxResult write(media::ByteSink& output, media::RemuxControl& control) = 0;
  };

  virtual ~RemuxEngine() = default;
  virtual bool looksLikeTransportStream(media::ByteSource& input) = 0;
  virtual std::unique_ptr<Passes> open(media::ByteSource& input, media::SourceTag tag) = 0;
  virtual std::optional<media::SourceTag> readTag(media::ByteSource& mp4) = 0;
};

// The engine the program ships with.
std::unique_ptr<RemuxEngine> MakeMediaRemuxEngine();

// How a remux ended, for the caption.
enum class RemuxEnd {
  Replaced,   // the MP4 holds the video's name
  NotTaken,   // the join is no transport stream: it stays, as it always did
  JoinKept,   // the join stays under its name; why says why it is no MP4
  Cancelled,  // the program is ending
};

struct RemuxReport {
  RemuxEnd end = RemuxEnd::JoinKept;
  std::string why;
};

// The MP4's tag for the joined video of a cache subfolder: the folder's own name,
// without its path, and the bytes the join holds.
media::SourceTag TagFor(const std::string& fragmentFolder, std::uint64_t joinedBytes);

// One remux of a joined video. run() is the worker's; cancel() and percent() may
// be called from any thread meanwhile.
class RemuxJob {
 public:
  RemuxJob(RemuxFiles& files, RemuxEngine& engine, std::string appFolder, std::string videoName,
           std::string fragmentFolder);
  RemuxJob(const RemuxJob&) = delete;
  RemuxJob& operator=(const RemuxJob&) = delete;

  RemuxReport run();
  void cancel() { cancelled_ = true; }
  // How far the remux has come, 0 .. 100.
  int percent() const { return percent_; }
  const std::string& videoName() const { return videoName_; }

 private:
  class Control;
  RemuxReport convert(const std::string& video, const std::string& temporary);

  RemuxFiles& files_;
  RemuxEngine& engine_;
  std::string appFolder_;
  std::string videoName_;
  std::string fragmentFolder_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int> percent_{0};
};

// The caption's share of the whole conversion, from the join's share of its bytes
// and, once the join has ended, the remux's own.
int ConversionPercent(std::optional<int> joinPercent, std::optional<int> remuxPercent);

// The caption's first part once the conversion has ended: "已转换 name" or the words
// that the video was only joined, and why.
std::string FinishedCaption(const std::string& videoName, const RemuxReport& report);

}  // namespace convert
