// The remux's files over the fake platform's file system, and an engine that
// stands in for the media core: it takes inputs that start with "TS", writes a
// given MP4 text, and lets a test act at each of its progress points.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/remux_step.h"
#include "tests/fakes/fake_platform.h"

namespace fakes {

class FakeRemuxFiles final : public convert::RemuxFiles {
 public:
  explicit FakeRemuxFiles(FakePlatform& platform) : platform_(platform) {}

  std::unique_ptr<media::ByteSource> openForReading(const std::string& path) override;
  std::unique_ptr<convert::RemuxOutputFile> createNew(const std::string& path, std::string& error) override;
  std::optional<std::uint64_t> freeBytes(const std::string&) override { return freeSpace; }
  platform::Status moveReplacing(const std::string& from, const std::string& to) override;
  void remove(const std::string& path) override {
    if (platform_.kindOf(path) == platform::PathKind::File) platform_.remove(path);
  }

  std::optional<std::uint64_t> freeSpace;
  // Writes past this many bytes of a file are refused, as on a full disk.
  std::optional<std::size_t> diskFullAfter;
  bool refuseMove = false;
  bool refuseNew = false;

 private:
  FakePlatform& platform_;
};

class FakeRemuxEngine final : public convert::RemuxEngine {
 public:
  bool looksLikeTransportStream(media::ByteSource& input) override;
  std::unique_ptr<Passes> open(media::ByteSource& input, media::SourceTag tag) override;
  std::optional<media::SourceTag> readTag(media::ByteSource& mp4) override;

  // What the MP4 holds before its tag; written in pieces of a few bytes, each after a progress point.
  std::string body = "ftypmoovmdat";
  media::RemuxOutcome analyseOutcome = media::RemuxOutcome::Done;
  // Called at every progress point with the share done, before the control is asked.
  std::function<void(double)> onProgress;
  std::vector<media::SourceTag> tagsWritten;
};

}  // namespace fakes
