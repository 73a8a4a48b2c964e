// Decoding of one 16-byte ADPCM block into 28 signed 16-bit samples.
//
// Every filtered value is computed in IEEE double with each product and sum rounded on its own,
// in a fixed order, so that the samples are identical on every machine. Build this code without
// fused multiply-add (-ffp-contract=off) and without -ffast-math.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mirnod {

constexpr int samples_per_block = 28;
constexpr std::uint8_t end_block_flag = 7;

struct filter_pair {
    double c1;
    double c2;
};

constexpr int filter_count = 5;
inline constexpr filter_pair filter_coefficients[filter_count] = {
    {0.0, 0.0},
    {60.0 / 64.0, 0.0},
    {115.0 / 64.0, -52.0 / 64.0},
    {98.0 / 64.0, -55.0 / 64.0},
    {122.0 / 64.0, -60.0 / 64.0},
};

// The two most recent unrounded decoded values. They carry over from block to block for the
// whole file; blocks that are not decoded leave them untouched.
struct decoder_history {
    double s1 = 0.0;  // the most recent value
    double s2 = 0.0;  // the one before it
};

// Whether a block's filter and shift byte lies outside the coefficient table or the shift range.
// Such blocks still decode (see decode_block), but the user is told how many there were.
constexpr bool is_outside_table(std::uint8_t filter_shift) {
    return (filter_shift >> 4) >= filter_count || (filter_shift & 0x0F) > 12;
}

// Rounds a decoded value to the nearest integer, halves upward, and clamps it to -32768..32767.
// Decoded values stay far inside the int range (|v| < 2^30 for every block the decoder accepts,
// since blocks outside the table decode like blocks inside it), so the conversion is defined.
inline std::int16_t round_to_sample(double value) {
    const double rounded = value + 0.5;
    int whole = static_cast<int>(rounded);  // toward zero: one too high for negative fractions
    whole -= rounded < whole ? 1 : 0;
    whole = whole < -32768 ? -32768 : whole;
    whole = whole > 32767 ? 32767 : whole;
    return static_cast<std::int16_t>(whole);
}

namespace decoder_detail {

// 2^(12 - shift) for every shift a block can hold; all of them are exact in double.
inline constexpr double residual_scale[16] = {
    4096.0, 2048.0, 1024.0, 512.0, 256.0, 128.0, 64.0, 32.0,
    16.0,   8.0,    4.0,    2.0,   1.0,   0.5,   0.25, 0.125,
};

// Each nibble as the two's-complement number it stands for, -8 to 7.
inline constexpr double nibble_value[16] = {
    0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, -8.0, -7.0, -6.0, -5.0, -4.0, -3.0, -2.0, -1.0,
};

// Rounds two decoded values to samples exactly as round_to_sample does. SSE2, part of every
// x86-64 processor, does both at once: the pack instruction's saturation is the clamp, and
// truncation stays in range because decoded values stay below 2^30.
inline void round_pair(double low, double high, std::int16_t* samples) {
#if defined(__SSE2__)
    const __m128d rounded = _mm_add_pd(_mm_set_pd(high, low), _mm_set1_pd(0.5));
    const __m128i truncated = _mm_cvttpd_epi32(rounded);
    // All ones (-1) in each 64-bit lane where truncation went up, that is for negative fractions.
    const __m128i went_up = _mm_castpd_si128(_mm_cmplt_pd(rounded, _mm_cvtepi32_pd(truncated)));
    const __m128i floored =
        _mm_add_epi32(truncated, _mm_shuffle_epi32(went_up, _MM_SHUFFLE(3, 3, 2, 0)));
    const std::int32_t pair = _mm_cvtsi128_si32(_mm_packs_epi32(floored, floored));
    std::memcpy(samples, &pair, sizeof pair);
#else
    samples[0] = round_to_sample(low);
    samples[1] = round_to_sample(high);
#endif
}

}  // namespace decoder_detail

// Decodes `block` into `samples[0..27]` and advances `history`. An end block (flag byte 7) writes
// nothing and leaves the history alone.
//
// Filter indices 5 to 15 have no row in the table: such a block decodes with no prediction, as
// filter 0 does. Shifts 13 to 15 would scale the residual by 2^(12 - shift) < 1: the residual is
// scaled by exactly that fraction (1/2, 1/4, 1/8), which is still exact in double. Both keep the
// history finite and every read inside the table.
//
// It is defined here, inline, so that the transcoding loop keeps the history in registers from
// block to block.
inline void decode_block(const std::uint8_t* block, std::int16_t* samples,
                         decoder_history& history) {
    if (block[1] == end_block_flag) {
        return;
    }
    const unsigned filter = block[0] >> 4;
    const filter_pair c =
        filter < filter_count ? filter_coefficients[filter] : filter_coefficients[0];
    const double scale = decoder_detail::residual_scale[block[0] & 0x0F];

    // Each value waits for the one before it: one multiplication and two additions. That chain
    // sets the pace; the rest of the work on a sample (its residual, its rounding) does not feed
    // the chain and runs beside it. |n| <= 8 and the scale is a power of two, so t is exact.
    double s1 = history.s1;
    double s2 = history.s2;
#pragma GCC unroll 14
    for (int i = 0; i < samples_per_block / 2; ++i) {
        const unsigned byte = block[2 + i];
        const double t_low = decoder_detail::nibble_value[byte & 0x0F] * scale;
        const double t_high = decoder_detail::nibble_value[byte >> 4] * scale;
        const double v_low = t_low + (s1 * c.c1 + s2 * c.c2);
        const double v_high = t_high + (v_low * c.c1 + s1 * c.c2);
        decoder_detail::round_pair(v_low, v_high, samples + 2 * i);
        s2 = v_low;
        s1 = v_high;
    }
    history.s1 = s1;
    history.s2 = s2;
}

}  // namespace mirnod
