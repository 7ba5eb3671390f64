// Runs the whole remux on damaged inputs under AddressSanitizer and UndefinedBehaviorSanitizer: the first look,
// both passes into memory, and reading the tag back. Besides what the sanitizers catch, a run stops on a broken
// promise of the interface: an MP4 longer or shorter than the first pass said, or without its tag.
//
// Built with -DREMUX_FUZZ_LIBFUZZER this is a libFuzzer target. Otherwise main() is a seeded mutation loop:
//   fuzz_remux SEED_FILE... [--count N] [--seed S] [--max-bytes B] [--save-to FILE]
// It cuts a window of whole packets out of a seed and damages it as a disk or a download does (bit flips, runs
// of one byte, packets moved, dropped or repeated, bytes after start codes, a splice of two seeds, a cut-off end),
// the same inputs for the same seed and count. --save-to names where the input that stops a run is written.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "media/remux.h"
#include "tests/fakes/memory_bytes.h"

#if __has_include(<sanitizer/common_interface_defs.h>)
#include <sanitizer/common_interface_defs.h>
#define FUZZ_HAS_DEATH_CALLBACK 1
#endif

namespace {

using fakes::MemorySink;
using fakes::MemorySource;

// Keeps the input that stopped a run; the mutation loop sets it.
void (*beforeStopping)() = nullptr;

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "fuzz_remux: %s\n", what);
  if (beforeStopping) beforeStopping();
  std::abort();
}

class Unstopped : public media::RemuxControl {
 public:
  bool keepGoing(double share) override {
    if (!(share >= last_ && share <= 1.0)) broken("progress went back or out of [0, 1]");
    last_ = share;
    return true;
  }

 private:
  double last_ = 0;
};

void remuxOnce(const std::uint8_t* data, std::size_t size) {
  MemorySource input(data, size);
  if (!media::LooksLikeTransportStream(input)) return;
  const media::SourceTag tag{"Shipin 视频", size};
  media::Remuxer remuxer(input, tag);
  Unstopped control;
  if (remuxer.analyse(control).outcome != media::RemuxOutcome::Done) return;
  const std::uint64_t expected = remuxer.outputSize();
  // A sink that fills up part way now and then, from the input's own bytes so a run repeats.
  const bool fillsUp = size > 0 && data[size / 2] % 8 == 0;
  MemorySink sink(fillsUp ? expected / 2 : expected + 1);
  const media::RemuxResult written = remuxer.write(sink, control);
  if (written.writtenBytes != sink.bytes.size()) broken("writtenBytes is not what the sink took");
  if (fillsUp) {
    if (expected > 0 && written.outcome != media::RemuxOutcome::WriteFailed) broken("a full sink went unnoticed");
    return;
  }
  if (written.outcome != media::RemuxOutcome::Done) broken("the second pass failed on input the first one took");
  if (sink.bytes.size() != expected) broken("the MP4's length is not what the first pass said");
  MemorySource mp4(sink.bytes.data(), sink.bytes.size());
  const auto readBack = media::ReadSourceTag(mp4);
  if (!readBack || !(*readBack == tag)) broken("the MP4's tag does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  remuxOnce(data, size);
  // The tag reader also meets files that are not ours.
  MemorySource any(data, size);
  media::ReadSourceTag(any);
  return 0;
}

#ifndef REMUX_FUZZ_LIBFUZZER
namespace {

constexpr std::size_t kPacket = 188;
using Bytes = std::vector<std::uint8_t>;

class Mutator {
 public:
  Mutator(std::vector<Bytes> seeds, std::uint64_t seed, std::size_t maxBytes)
      : seeds_(std::move(seeds)), random_(seed), maxBytes_(maxBytes) {}

  Bytes next() {
    Bytes input = window(pick(seeds_));
    const std::size_t mutations = 1 + below(4);
    for (std::size_t i = 0; i < mutations && !input.empty(); ++i) mutate(input);
    return input;
  }

 private:
  std::size_t below(std::size_t bound) { return bound ? static_cast<std::size_t>(random_() % bound) : 0; }
  const Bytes& pick(const std::vector<Bytes>& from) { return from[below(from.size())]; }

  // Whole packets from a random place, starting at the front half the time since the tables are there.
  Bytes window(const Bytes& seed) {
    const std::size_t packets = seed.size() / kPacket;
    const std::size_t length = std::min(packets, 1 + below(maxBytes_ / kPacket));
    const std::size_t first = below(2) ? 0 : below(packets - length + 1);
    return Bytes(seed.begin() + static_cast<std::ptrdiff_t>(first * kPacket),
                 seed.begin() + static_cast<std::ptrdiff_t>((first + length) * kPacket));
  }

  void mutate(Bytes& input) {
    const std::size_t packets = input.size() / kPacket;
    switch (below(9)) {
      case 0:  // bit flips
        for (std::size_t i = 1 + below(8); i > 0; --i)
          input[below(input.size())] ^= static_cast<std::uint8_t>(1u << below(8));
        break;
      case 1: {  // a run of one byte: zeros, 0xFF, or a start code's bytes
        const std::size_t at = below(input.size());
        const std::size_t length = std::min(input.size() - at, 1 + below(64));
        const std::uint8_t values[] = {0x00, 0xFF, 0x01, 0x47};
        std::memset(input.data() + at, values[below(4)], length);
        break;
      }
      case 2:  // a header field overwritten: the first bytes of a packet, where PID, counters and lengths sit
        if (packets) input[below(packets) * kPacket + 1 + below(20)] = static_cast<std::uint8_t>(random_());
        break;
      case 3:  // a packet dropped
        if (packets > 1) {
          const auto at = input.begin() + static_cast<std::ptrdiff_t>(below(packets) * kPacket);
          input.erase(at, at + kPacket);
        }
        break;
      case 4:  // a packet repeated or moved
        if (packets > 1) {
          const std::size_t from = below(packets) * kPacket, to = below(packets) * kPacket;
          Bytes packet(input.begin() + static_cast<std::ptrdiff_t>(from),
                       input.begin() + static_cast<std::ptrdiff_t>(from + kPacket));
          if (below(2))
            input.erase(input.begin() + static_cast<std::ptrdiff_t>(from),
                        input.begin() + static_cast<std::ptrdiff_t>(from + kPacket));
          const std::size_t at = std::min(to, input.size() / kPacket * kPacket);
          input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), packet.begin(), packet.end());
        }
        break;
      case 5: {  // a splice: the rest from another seed, possibly off the packet grid
        const Bytes other = window(pick(seeds_));
        const std::size_t at = below(input.size());
        input.resize(at);
        const std::size_t skip = below(2) ? 0 : below(kPacket);
        if (skip < other.size())
          input.insert(input.end(), other.begin() + static_cast<std::ptrdiff_t>(skip), other.end());
        break;
      }
      case 6:  // cut off anywhere
        input.resize(below(input.size()) + 1);
        break;
      case 7: {  // the bytes just after a start code (NAL headers, parameter sets, PES headers) changed, or the
                 // unit cut short there by another start code: where a parser most likely reads past the end
        const std::uint8_t startCode[] = {0, 0, 1};
        const auto from = input.begin() + static_cast<std::ptrdiff_t>(below(input.size()));
        const auto found = std::search(from, input.end(), startCode, startCode + 3);
        const std::size_t at = static_cast<std::size_t>(found - input.begin()) + 3 + below(40);
        if (found == input.end() || at + 3 > input.size()) break;
        if (below(2)) {
          input[at] = static_cast<std::uint8_t>(random_());
        } else {
          std::copy(startCode, startCode + 3, input.begin() + static_cast<std::ptrdiff_t>(at));
        }
        break;
      }
      default:  // bytes inserted, so that sync is lost until the next packet boundary is found again
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(below(input.size())), 1 + below(200),
                     static_cast<std::uint8_t>(random_()));
        break;
    }
  }

  std::vector<Bytes> seeds_;
  std::mt19937_64 random_;
  std::size_t maxBytes_;
};

const Bytes* currentInput = nullptr;
std::string saveTo;

void saveCurrentInput() {
  if (!currentInput || saveTo.empty()) return;
  std::ofstream(saveTo, std::ios::binary)
      .write(reinterpret_cast<const char*>(currentInput->data()), static_cast<std::streamsize>(currentInput->size()));
  std::fprintf(stderr, "fuzz_remux: the input is in %s\n", saveTo.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Bytes> seeds;
  std::uint64_t count = 1000, seed = 1;
  std::size_t maxBytes = 64 * 1024;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (i + 1 < argc && argument == "--count") {
      count = std::strtoull(argv[++i], nullptr, 10);
    } else if (i + 1 < argc && argument == "--seed") {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (i + 1 < argc && argument == "--save-to") {
      saveTo = argv[++i];
    } else if (i + 1 < argc && argument == "--max-bytes") {
      maxBytes = std::strtoull(argv[++i], nullptr, 10);
    } else {
      std::ifstream file(argument, std::ios::binary);
      Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      if (bytes.size() < kPacket) {
        std::fprintf(stderr, "fuzz_remux: %s: not a seed\n", argument.c_str());
        return 2;
      }
      seeds.push_back(std::move(bytes));
    }
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "usage: fuzz_remux SEED_FILE... [--count N] [--seed S] [--max-bytes B] [--save-to FILE]\n");
    return 2;
  }
  beforeStopping = saveCurrentInput;
#ifdef FUZZ_HAS_DEATH_CALLBACK
  __sanitizer_set_death_callback(saveCurrentInput);
#endif
  // The seeds themselves first: the undamaged path must hold the same promises.
  for (const Bytes& each : seeds) {
    currentInput = &each;
    LLVMFuzzerTestOneInput(each.data(), each.size());
  }
  Mutator mutator(std::move(seeds), seed, maxBytes);
  for (std::uint64_t i = 0; i < count; ++i) {
    const Bytes input = mutator.next();
    currentInput = &input;
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  currentInput = nullptr;
  std::printf("fuzz_remux: %llu inputs, seed %llu\n", static_cast<unsigned long long>(count),
              static_cast<unsigned long long>(seed));
  return 0;
}
#endif
