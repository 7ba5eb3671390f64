// Turns an MPEG transport stream (H.264 or H.265 video, AAC audio in ADTS) into an
// ISO base media file (MP4) without touching a frame: the same bytes of picture and
// sound, put into samples with their times, an index, and moov before mdat.
//
// The input is read twice: once to build the sample table (which fixes every box's
// size and the output's exact length), once to copy the samples out in the order
// the table gives. The output is written once, front to back, so it can go to a
// plain file opened for writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace media {

// Bytes of a file the user did not make: read at any offset, any length.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Copies up to length bytes from offset into buffer; returns how many. Fewer
  // than asked only at the end of the source, or on a failure (then failed()).
  virtual std::size_t read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) = 0;
  virtual bool failed() const { return false; }
};

// Where the MP4 goes, front to back.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not all be written (a full disk, a lost drive).
  virtual bool write(const std::uint8_t* data, std::size_t length) = 0;
};

// Told how far the work has come, in [0, 1]; answers false to stop it.
class RemuxControl {
 public:
  virtual ~RemuxControl() = default;
  virtual bool keepGoing(double doneShare) = 0;
};

// What a converted video carries in its udta box: which cache folder it came from
// and how many bytes that folder's fragments held, so that converting the same
// folder again can tell its own earlier MP4.
struct SourceTag {
  std::string folderName;  // UTF-8, the cache subfolder's own name
  std::uint64_t fragmentBytes = 0;
  bool operator==(const SourceTag& other) const {
    return folderName == other.folderName && fragmentBytes == other.fragmentBytes;
  }
};

enum class RemuxOutcome {
  Done,               // the whole MP4 was written
  NotTransportStream, // no 188-byte sync, or no PAT and PMT: leave the input as it is
  UnsupportedStream,  // an audio or video stream of a kind we do not take, or no video and no audio at all
  Unreadable,         // nothing usable could be followed in the input
  ReadFailed,         // the source failed()
  WriteFailed,        // the sink refused bytes
  Cancelled,          // the control said stop
};

struct RemuxResult {
  RemuxOutcome outcome = RemuxOutcome::Unreadable;
  std::string detail;             // a few words on why, for the caption (UTF-8 Chinese where shown to users)
  std::uint64_t writtenBytes = 0; // bytes given to the sink
};

// Sync bytes at every 188th byte over the first packets, and a PAT and a PMT among
// them: the cheap look that decides whether a remux is tried at all.
bool LooksLikeTransportStream(ByteSource& input);

// The two passes, so a caller can check the free space between them.
class Remuxer {
 public:
  Remuxer(ByteSource& input, SourceTag tag);
  ~Remuxer();
  Remuxer(const Remuxer&) = delete;
  Remuxer& operator=(const Remuxer&) = delete;

  // First pass: reads the whole input and builds the sample table. On Done,
  // outputSize() is the exact length the MP4 will have. Progress runs 0 .. 0.5.
  RemuxResult analyse(RemuxControl& control);
  std::uint64_t outputSize() const;
  // Second pass: writes ftyp, moov, then mdat. Progress runs 0.5 .. 1.
  RemuxResult write(ByteSink& output, RemuxControl& control);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The tag of an MP4 this program wrote, or nothing for any other file.
std::optional<SourceTag> ReadSourceTag(ByteSource& mp4);

}  // namespace media
