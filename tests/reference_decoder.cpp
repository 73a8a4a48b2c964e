#include "reference_decoder.h"

#include <algorithm>
#include <cmath>

namespace mirnod::test {

void reference_decode_block(const std::uint8_t* block, std::int16_t* samples,
                            decoder_history& history) {
    const int filter = block[0] >> 4 < filter_count ? block[0] >> 4 : 0;  // no prediction
    const int shift = block[0] & 0x0F;
    const filter_pair c = filter_coefficients[filter];
    for (int i = 0; i < samples_per_block; ++i) {
        const int nibble = (i % 2 == 0) ? block[2 + i / 2] & 0x0F : block[2 + i / 2] >> 4;
        const int n = nibble >= 8 ? nibble - 16 : nibble;
        const double t = std::ldexp(static_cast<double>(n), 12 - shift);
        const double p = history.s1 * c.c1 + history.s2 * c.c2;
        const double v = t + p;
        history.s2 = history.s1;
        history.s1 = v;
        const double whole = std::floor(v + 0.5);
        samples[i] = static_cast<std::int16_t>(std::clamp(whole, -32768.0, 32767.0));
    }
}

std::vector<std::int16_t> reference_samples(const std::uint8_t* blocks, std::size_t size) {
    std::vector<std::int16_t> samples;
    decoder_history history;
    for (std::size_t at = 0; at + 16 <= size; at += 16) {
        const std::uint8_t* block = blocks + at;
        if (std::all_of(block, block + 16, [](std::uint8_t b) { return b == 0; })) {
            continue;
        }
        std::int16_t decoded[samples_per_block] = {};
        if (block[1] != end_block_flag) {
            reference_decode_block(block, decoded, history);
        }
        samples.insert(samples.end(), decoded, decoded + samples_per_block);
    }
    return samples;
}

std::size_t reference_blocks_outside_table(const std::uint8_t* blocks, std::size_t size) {
    std::size_t count = 0;
    for (std::size_t at = 0; at + 16 <= size; at += 16) {
        const std::uint8_t* block = blocks + at;
        const bool empty = std::all_of(block, block + 16, [](std::uint8_t b) { return b == 0; });
        const bool outside = block[0] >> 4 > 4 || (block[0] & 0x0F) > 12;
        count += !empty && block[1] != end_block_flag && outside ? 1 : 0;
    }
    return count;
}

}  // namespace mirnod::test
