// The remux step over the media core, the one engine the program ships with.
#include <utility>

#include "convert/remux_step.h"

namespace convert {
namespace {

class MediaPasses final : public RemuxEngine::Passes {
 public:
  MediaPasses(media::ByteSource& input, media::SourceTag tag) : remuxer_(input, std::move(tag)) {}
  media::RemuxResult analyse(media::RemuxControl& control) override { return remuxer_.analyse(control); }
  std::uint64_t outputSize() const override { return remuxer_.outputSize(); }
  media::RemuxResult write(media::ByteSink& output, media::RemuxControl& control) override {
    return remuxer_.write(output, control);
  }

 private:
  media::Remuxer remuxer_;
};

class MediaEngine final : public RemuxEngine {
 public:
  bool looksLikeTransportStream(media::ByteSource& input) override { return media::LooksLikeTransportStream(input); }
  std::unique_ptr<Passes> open(media::ByteSource& input, media::SourceTag tag) override {
    return std::make_unique<MediaPasses>(input, std::move(tag));
  }
  std::optional<media::SourceTag> readTag(media::ByteSource& mp4) override { return media::ReadSourceTag(mp4); }
};

}  // namespace

std::unique_ptr<RemuxEngine> MakeMediaRemuxEngine() { return std::make_unique<MediaEngine>(); }

}  // namespace convert
