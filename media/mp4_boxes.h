// The boxes of the MP4, computed from the sample table: ftyp, then moov with its
// index, then mdat's header. moov's size depends only on the table, so the offsets
// of the chunks behind it are known before a byte is written.
#pragma once

#include <cstdint>
#include <vector>

#include "media/remux.h"
#include "media/sample_table.h"
#include "media/track_timing.h"

namespace media {

std::vector<std::uint8_t> BuildFtyp();
// dataOffset: where the first byte of the first chunk lands in the file.
std::vector<std::uint8_t> BuildMoov(const SampleTable& table, const std::vector<TrackTiming>& timings,
                                    const SourceTag& tag, std::uint64_t dataOffset);
// A 64-bit size when the samples do not fit in a 32-bit one.
std::vector<std::uint8_t> BuildMdatHeader(std::uint64_t payloadBytes);

// Our own box in udta that carries the source tag.
constexpr char kSourceTagBox[] = "tdlS";
std::vector<std::uint8_t> SourceTagPayload(const SourceTag& tag);
std::optional<SourceTag> ParseSourceTagPayload(const std::uint8_t* data, std::size_t size);

}  // namespace media
