#include "vag/adpcm_decoder.h"

namespace mirnod {

const filter_pair filter_coefficients[filter_count] = {
    {0.0, 0.0},
    {60.0 / 64.0, 0.0},
    {115.0 / 64.0, -52.0 / 64.0},
    {98.0 / 64.0, -55.0 / 64.0},
    {122.0 / 64.0, -60.0 / 64.0},
};

namespace {

// 2^(12 - shift) for every shift a block can hold; all of them are exact in double.
constexpr double residual_scale[16] = {
    4096.0, 2048.0, 1024.0, 512.0, 256.0, 128.0, 64.0, 32.0,
    16.0,   8.0,    4.0,    2.0,   1.0,   0.5,   0.25, 0.125,
};

// The nibble as a two's-complement number, -8 to 7.
inline int signed_nibble(unsigned nibble) {
    return static_cast<int>(nibble ^ 8u) - 8;
}

}  // namespace

void decode_block(const std::uint8_t* block, std::int16_t* samples, decoder_history& history) {
    if (block[1] == end_block_flag) {
        return;
    }
    const unsigned filter = block[0] >> 4;
    const filter_pair coefficients =
        filter < filter_count ? filter_coefficients[filter] : filter_coefficients[0];
    const double scale = residual_scale[block[0] & 0x0F];

    // |n| <= 8 and the scale is a power of two, so n * scale is exactly n shifted by the scale.
    double s1 = history.s1;
    double s2 = history.s2;
    for (int i = 0; i < samples_per_block; ++i) {
        const unsigned byte = block[2 + i / 2];
        const unsigned nibble = (i % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
        const double t = signed_nibble(nibble) * scale;
        const double p = s1 * coefficients.c1 + s2 * coefficients.c2;
        const double v = t + p;
        s2 = s1;
        s1 = v;
        samples[i] = round_to_sample(v);
    }
    history.s1 = s1;
    history.s2 = s2;
}

}  // namespace mirnod
