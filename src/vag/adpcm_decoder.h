// Decoding of one 16-byte ADPCM block into 28 signed 16-bit samples.
//
// Every filtered value is computed in IEEE double with each product and sum rounded on its own,
// in a fixed order, so that the samples are identical on every machine. Build this code without
// fused multiply-add (-ffp-contract=off) and without -ffast-math.
#pragma once

#include <cstdint>

namespace mirnod {

constexpr int samples_per_block = 28;
constexpr std::uint8_t end_block_flag = 7;

struct filter_pair {
    double c1;
    double c2;
};

constexpr int filter_count = 5;
extern const filter_pair filter_coefficients[filter_count];

// The two most recent unrounded decoded values. They carry over from block to block for the
// whole file; blocks that are not decoded leave them untouched.
struct decoder_history {
    double s1 = 0.0;  // the most recent value
    double s2 = 0.0;  // the one before it
};

// Decodes `block` into `samples[0..27]` and advances `history`. An end block (flag byte 7) writes
// nothing and leaves the history alone.
//
// Filter indices 5 to 15 have no row in the table: such a block decodes with no prediction, as
// filter 0 does. Shifts 13 to 15 would scale the residual by 2^(12 - shift) < 1: the residual is
// scaled by exactly that fraction (1/2, 1/4, 1/8), which is still exact in double. Both keep the
// history finite and every read inside the table.
void decode_block(const std::uint8_t* block, std::int16_t* samples, decoder_history& history);

// Rounds a decoded value to the nearest integer, halves upward, and clamps it to -32768..32767.
inline std::int16_t round_to_sample(double value) {
    double rounded = value + 0.5;
    // Clamping before the floor gives the same result as clamping after it, and keeps the
    // conversion below in range whatever the value.
    rounded = rounded < -32768.0 ? -32768.0 : rounded;
    rounded = rounded > 32767.0 ? 32767.0 : rounded;
    int truncated = static_cast<int>(rounded);
    truncated -= rounded < static_cast<double>(truncated) ? 1 : 0;
    return static_cast<std::int16_t>(truncated);
}

}  // namespace mirnod
