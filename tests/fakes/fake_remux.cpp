#include "tests/fakes/fake_remux.h"

#include <algorithm>
#include <cstring>

#include "tests/fakes/memory_bytes.h"

namespace fakes {
namespace {

// Every write lands in the fake file system at once, so a test sees the file grow.
class PlatformFile final : public convert::RemuxOutputFile {
 public:
  PlatformFile(FakePlatform& platform, std::string path, std::optional<std::size_t> fullAfter)
      : platform_(platform), path_(std::move(path)), fullAfter_(fullAfter) {}
  bool write(const std::uint8_t* data, std::size_t length) override {
    std::string bytes = platform_.bytesOf(path_);
    const std::size_t room = fullAfter_ ? (*fullAfter_ > bytes.size() ? *fullAfter_ - bytes.size() : 0) : length;
    bytes.append(reinterpret_cast<const char*>(data), std::min(room, length));
    platform_.addFile(path_, bytes);
    if (room < length) error_ = "disk full";
    return room >= length;
  }
  bool finish() override { return error_.empty(); }
  std::string error() const override { return error_; }

 private:
  FakePlatform& platform_;
  std::string path_;
  std::optional<std::size_t> fullAfter_;
  std::string error_;
};

std::string readAll(media::ByteSource& source) {
  std::string bytes(static_cast<std::size_t>(source.size()), '\0');
  bytes.resize(source.read(0, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
  return bytes;
}

// The tag as the fake engine writes it after the body: "|tag:" name "|" bytes.
constexpr const char* kTagMark = "|tag:";

class FakePasses final : public convert::RemuxEngine::Passes {
 public:
  FakePasses(FakeRemuxEngine& engine, media::SourceTag tag) : engine_(engine), tag_(std::move(tag)) {}

  media::RemuxResult analyse(media::RemuxControl& control) override {
    for (double share : {0.0, 0.25, 0.5}) {
      if (!point(control, share)) return {media::RemuxOutcome::Cancelled, {}, 0};
    }
    return {engine_.analyseOutcome, {}, 0};
  }
  std::uint64_t outputSize() const override { return output().size(); }
  media::RemuxResult write(media::ByteSink& sink, media::RemuxControl& control) override {
    const std::string bytes = output();
    std::uint64_t written = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 4) {
      if (!point(control, 0.5 + 0.5 * static_cast<double>(at) / static_cast<double>(bytes.size()))) {
        return {media::RemuxOutcome::Cancelled, {}, written};
      }
      const std::size_t length = std::min<std::size_t>(4, bytes.size() - at);
      if (!sink.write(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), length)) {
        return {media::RemuxOutcome::WriteFailed, {}, written};
      }
      written += length;
    }
    engine_.tagsWritten.push_back(tag_);
    return {media::RemuxOutcome::Done, {}, written};
  }

 private:
  std::string output() const {
    return engine_.body + kTagMark + tag_.folderName + "|" + std::to_string(tag_.fragmentBytes);
  }
  bool point(media::RemuxControl& control, double share) {
    if (engine_.onProgress) engine_.onProgress(share);
    return control.keepGoing(share);
  }

  FakeRemuxEngine& engine_;
  media::SourceTag tag_;
};

}  // namespace

std::unique_ptr<media::ByteSource> FakeRemuxFiles::openForReading(const std::string& path) {
  if (platform_.kindOf(path) != platform::PathKind::File) return nullptr;
  const std::string bytes = platform_.bytesOf(path);
  return std::make_unique<MemorySource>(bytes.data(), bytes.size());
}

std::unique_ptr<convert::RemuxOutputFile> FakeRemuxFiles::createNew(const std::string& path, std::string& error) {
  if (refuseNew) {
    error = "access denied";
    return nullptr;
  }
  platform_.addFile(path, "");
  return std::make_unique<PlatformFile>(platform_, path, diskFullAfter);
}

platform::Status FakeRemuxFiles::moveReplacing(const std::string& from, const std::string& to) {
  if (refuseMove) return platform::Status::failure("in use");
  const std::string bytes = platform_.bytesOf(from);
  platform_.remove(from);
  platform_.addFile(to, bytes);
  return platform::Status::success();
}

bool FakeRemuxEngine::looksLikeTransportStream(media::ByteSource& input) {
  std::uint8_t start[2] = {};
  return input.read(0, start, 2) == 2 && start[0] == 'T' && start[1] == 'S';
}

std::unique_ptr<convert::RemuxEngine::Passes> FakeRemuxEngine::open(media::ByteSource&, media::SourceTag tag) {
  return std::make_unique<FakePasses>(*this, std::move(tag));
}

std::optional<media::SourceTag> FakeRemuxEngine::readTag(media::ByteSource& mp4) {
  const std::string bytes = readAll(mp4);
  const auto mark = bytes.rfind(kTagMark);
  if (mark == std::string::npos) return std::nullopt;
  const std::string rest = bytes.substr(mark + std::strlen(kTagMark));
  const auto bar = rest.rfind('|');
  if (bar == std::string::npos) return std::nullopt;
  return media::SourceTag{rest.substr(0, bar), std::stoull(rest.substr(bar + 1))};
}

}  // namespace fakes
