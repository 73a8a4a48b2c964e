// Decoding long runs of blocks faster than one arithmetic chain allows, with exactly the samples
// and the final history that decode_block gives block after block.
//
// Every decoded value waits for the one before it, so one chain runs at the latency of its
// arithmetic. The filters forget, though: two chains decoding the same blocks from different
// histories become bit-identical after a few dozen blocks, and stay so, since decoding is
// deterministic. So a run of blocks is cut into segments that are decoded side by side as
// independent chains (SIMD lanes), each but the first starting from a zero history. Then each
// segment is repaired in order: from its true starting history it is decoded again, block by
// block, until its history equals, bit for bit, the one the fast pass recorded after the same
// block. From there on the fast samples are exact.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vag/adpcm_decoder.h"

namespace mirnod {

// Blocks the transcoding loop reads and hands to decode_stretch at a time. With 8 lanes that is
// 4,096 blocks a segment, against repairs of typically 20 to 60 blocks.
constexpr std::size_t stretch_blocks = 32768;

// The ways of running the side-by-side chains: portable C++, and the x86-64 instruction sets.
enum class lane_kernel { scalar, sse2, avx2 };

// The kernel the processor supports best; what decode_stretch uses unless told otherwise.
lane_kernel best_lane_kernel();

// Whether this build and this processor can run `kernel`.
bool supports_lane_kernel(lane_kernel kernel);

// Makes decode_stretch use `kernel` (for tests and benchmarks); false, changing nothing, when it
// is not supported here.
bool use_lane_kernel(lane_kernel kernel);

// Decodes `count` non-empty blocks (end blocks allowed: they give 28 zero samples and leave the
// history alone) into `samples[0 .. 28 * count)`, starting from and advancing `history`.
// The outcome is exactly that of decode_block called block after block. Short runs go through
// decode_block itself. `recorded` is room for `count` histories, used while decoding.
void decode_stretch(const std::uint8_t* blocks, std::size_t count, std::int16_t* samples,
                    decoder_history& history, decoder_history* recorded);

// What a repair cost, for the benchmarks: blocks decoded twice, and segments that never met the
// fast pass again before their end.
struct repair_counts {
    std::uint64_t blocks = 0;
    std::uint64_t redecoded = 0;
    std::uint64_t unmet_segments = 0;
};
repair_counts& repair_statistics();

}  // namespace mirnod
