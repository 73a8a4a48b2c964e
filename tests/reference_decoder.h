// The decoding rules in their plainest form, one sample at a time: what the tests and the fuzzer
// hold the real decoder and the transcoding loop to. No GoogleTest here, so the fuzzer can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vag/adpcm_decoder.h"

namespace mirnod::test {

// One block, as decode_block should decode it (an end block is left to the caller).
void reference_decode_block(const std::uint8_t* block, std::int16_t* samples,
                            decoder_history& history);

// The samples a WAVE file should hold for these blocks: empty blocks skipped, end blocks silent,
// a trailing partial block ignored.
std::vector<std::int16_t> reference_samples(const std::uint8_t* blocks, std::size_t size);

inline std::vector<std::int16_t> reference_samples(const std::vector<std::uint8_t>& blocks) {
    return reference_samples(blocks.data(), blocks.size());
}

// How many of these blocks are decoded although their filter index is above 4 or their shift
// above 12 (empty blocks and end blocks are not decoded at all).
std::size_t reference_blocks_outside_table(const std::uint8_t* blocks, std::size_t size);

}  // namespace mirnod::test
