// The side-by-side chains of the multi-chain decoder, one implementation per instruction set.
// Only the dispatch in multichain.cpp calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vag/adpcm_decoder.h"

namespace mirnod::kernels {

// K segments of `rows` blocks each, one after another, decoded as K independent chains.
struct lanes_job {
    const std::uint8_t* blocks;     // K * rows blocks of 16 bytes
    std::size_t rows;               // blocks per segment
    std::int16_t* samples;          // 28 per block, in block order
    decoder_history* recorded;      // receives the history after every block, in block order
    const decoder_history* starts;  // the K starting histories
};

// The number of chains each kernel runs side by side.
constexpr int scalar_lanes = 4;
constexpr int sse2_lanes = 4;
constexpr int avx2_lanes = 8;

void run_lanes_scalar(const lanes_job& job);
void run_lanes_sse2(const lanes_job& job);
void run_lanes_avx2(const lanes_job& job);

}  // namespace mirnod::kernels
