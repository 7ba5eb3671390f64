// Runs the remux core on files, for the tests against ffmpeg, the fuzzing loop and the bench:
//   remux_file IN OUT [FOLDER_NAME FRAGMENT_BYTES]   exit 0 done, 3 input not taken, 1 any other failure
//   remux_file --tag MP4                            prints the source tag, or exits 3
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/remux.h"

namespace {

class FileSource : public media::ByteSource {
 public:
  explicit FileSource(const char* path) : file_(std::fopen(path, "rb")) {
    if (file_ && std::fseek(file_, 0, SEEK_END) == 0) {
      const long long end = ftello(file_);
      size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }
  }
  ~FileSource() override {
    if (file_) std::fclose(file_);
  }
  bool opened() const { return file_ != nullptr; }
  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (!file_) return 0;
    if (offset != position_ && fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
      failed_ = true;
      return 0;
    }
    const std::size_t got = std::fread(buffer, 1, length, file_);
    position_ = offset + got;
    if (got < length && std::ferror(file_)) failed_ = true;
    return got;
  }
  bool failed() const override { return failed_; }

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = ~std::uint64_t{0};
  bool failed_ = false;
};

class FileSink : public media::ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool write(const std::uint8_t* data, std::size_t length) override {
    return std::fwrite(data, 1, length, file_) == length;
  }

 private:
  std::FILE* file_;
};

class Silent : public media::RemuxControl {
 public:
  bool keepGoing(double) override { return true; }
};

const char* NameOf(media::RemuxOutcome outcome) {
  switch (outcome) {
    case media::RemuxOutcome::Done:
      return "Done";
    case media::RemuxOutcome::NotTransportStream:
      return "NotTransportStream";
    case media::RemuxOutcome::UnsupportedStream:
      return "UnsupportedStream";
    case media::RemuxOutcome::Unreadable:
      return "Unreadable";
    case media::RemuxOutcome::ReadFailed:
      return "ReadFailed";
    case media::RemuxOutcome::WriteFailed:
      return "WriteFailed";
    case media::RemuxOutcome::Cancelled:
      return "Cancelled";
  }
  return "?";
}

int Report(const media::RemuxResult& result) {
  std::fprintf(stderr, "%s: %s\n", NameOf(result.outcome), result.detail.c_str());
  switch (result.outcome) {
    case media::RemuxOutcome::Done:
      return 0;
    case media::RemuxOutcome::NotTransportStream:
    case media::RemuxOutcome::UnsupportedStream:
    case media::RemuxOutcome::Unreadable:
      return 3;
    default:
      return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--tag") == 0) {
    FileSource mp4(argv[2]);
    const auto tag = mp4.opened() ? media::ReadSourceTag(mp4) : std::nullopt;
    if (!tag) return 3;
    std::printf("%s\n%llu\n", tag->folderName.c_str(), static_cast<unsigned long long>(tag->fragmentBytes));
    return 0;
  }
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: remux_file IN OUT [FOLDER_NAME FRAGMENT_BYTES] | remux_file --tag MP4\n");
    return 2;
  }
  FileSource input(argv[1]);
  if (!input.opened()) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  media::SourceTag tag;
  if (argc == 5) {
    tag.folderName = argv[3];
    tag.fragmentBytes = std::strtoull(argv[4], nullptr, 10);
  }
  if (!media::LooksLikeTransportStream(input)) {
    return Report({media::RemuxOutcome::NotTransportStream, "no transport stream", 0});
  }
  media::Remuxer remuxer(input, tag);
  Silent control;
  const auto analysed = remuxer.analyse(control);
  if (analysed.outcome != media::RemuxOutcome::Done) return Report(analysed);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::fprintf(stderr, "cannot create %s\n", argv[2]);
    return 1;
  }
  std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
  FileSink sink(out);
  auto written = remuxer.write(sink, control);
  if (std::fclose(out) != 0 && written.outcome == media::RemuxOutcome::Done) {
    written = {media::RemuxOutcome::WriteFailed, "closing the output failed", written.writtenBytes};
  }
  return Report(written);
}
