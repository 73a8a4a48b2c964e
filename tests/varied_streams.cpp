#include "varied_streams.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "reference_decoder.h"
#include "vag_encoder.h"

namespace mirnod::test {

bytes without_filter_zero(bytes blocks) {
    for (std::size_t at = 0; at < blocks.size(); at += 16) {
        if (blocks[at] >> 4 == 0) {
            blocks[at] |= 0x10;
        }
    }
    return blocks;
}

// Loud residuals with strong filters: values far outside 16 bits, clamped.
namespace {

bytes blocks_of(std::initializer_list<bytes> parts) {
    bytes all;
    for (const bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

bytes repeated(const bytes& block, std::size_t count) {
    bytes all;
    for (std::size_t i = 0; i < count; ++i) {
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// Any byte anywhere, end blocks and blocks outside the table included, but never an empty block:
// those never reach the decoder.
bytes random_blocks(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    bytes all(count * 16);
    for (std::size_t b = 0; b < count; ++b) {
        for (int i = 0; i < 16; ++i) {
            all[b * 16 + i] = static_cast<std::uint8_t>(random());
        }
        all[b * 16 + 1] = static_cast<std::uint8_t>(random() % 9);  // end blocks now and then
        all[b * 16 + 2] |= 1;
    }
    return all;
}

bytes encoded_tones_and_noise(std::size_t count, std::uint32_t seed) {
    std::vector<std::int16_t> pcm =
        fixture::synthesise_tones(count * samples_per_block, 22050 + seed % 22050);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2000.0);
    for (std::size_t i = pcm.size() / 2; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(std::clamp(pcm[i] + noise(random), -32768.0, 32767.0));
    }
    return fixture::encode_blocks(pcm);
}

bytes clipping(std::size_t count) {
    bytes all;
    for (std::size_t b = 0; b < count; ++b) {
        const bytes one = block(static_cast<std::uint8_t>(0x40 | b % 3), 0,
                                {0x77, 0x77, 0x07, 0x70, 0x77, 0x88, 0x17, 0x77});
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

bytes silence_without_filter_zero(std::size_t count) {
    bytes all = block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x77});
    for (std::size_t b = 0; b < count; ++b) {
        const bytes silent = block(static_cast<std::uint8_t>(0x20 + (b % 3) * 0x10 + 12), 0);
        all.insert(all.end(), silent.begin(), silent.end());
    }
    return all;
}

}  // namespace

bytes decay_into_subnormals(std::size_t count) {
    return blocks_of({block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x77}),
                      repeated(block(0x1C, 0, {}), count)});
}

// Silence written with prediction filters: the chains decay for a long time, and may settle into
// different tiny cycles that never meet.
std::vector<stream_case> varied_streams(std::uint32_t seed, std::size_t size) {
    // The encoder tries every filter and shift for every block: the slowest stream to make.
    const bytes tones = encoded_tones_and_noise(size / 4, seed);
    std::vector<stream_case> cases = {
        {"random blocks, end blocks and blocks outside the table", random_blocks(2 * size, seed)},
        {"encoded tones and noise", tones},
        {"encoded tones without filter 0", without_filter_zero(tones)},
        {"clipping", clipping(size)},
        {"decay into subnormals", decay_into_subnormals(2 * size)},
        {"silence encoded without filter 0", silence_without_filter_zero(2 * size)},
    };
    // Around the shortest run that takes the lanes, and odd counts that leave a tail.
    for (const std::size_t count :
         {std::size_t{1023}, std::size_t{2047}, std::size_t{2048}, std::size_t{2049},
          std::size_t{4096 + 7}, stretch_blocks - 1, stretch_blocks, stretch_blocks + 1}) {
        cases.push_back({"odd count " + std::to_string(count),
                         without_filter_zero(random_blocks(count, seed + 7))});
    }
    return cases;
}

reference_outcome reference_outcome_of(const bytes& blocks) {
    const std::size_t count = blocks.size() / 16;
    reference_outcome outcome{std::vector<std::int16_t>(count * samples_per_block, 0), {}};
    for (std::size_t b = 0; b < count; ++b) {
        if (blocks[b * 16 + 1] != end_block_flag) {
            reference_decode_block(&blocks[b * 16], &outcome.samples[b * samples_per_block],
                                   outcome.history);
        }
    }
    return outcome;
}

comparison compare_with_reference(const bytes& blocks, const reference_outcome& expected,
                                  lane_kernel kernel) {
    const std::size_t count = blocks.size() / 16;
    std::vector<std::int16_t> got(count * samples_per_block, 12345);
    std::vector<decoder_history> recorded(stretch_blocks);
    decoder_history fast;
    const lane_kernel before = best_lane_kernel();
    use_lane_kernel(kernel);
    for (std::size_t at = 0; at < count; at += stretch_blocks) {
        const std::size_t n = std::min(stretch_blocks, count - at);
        decode_stretch(&blocks[at * 16], n, &got[at * samples_per_block], fast, recorded.data());
    }
    use_lane_kernel(before);
    const auto where = std::mismatch(got.begin(), got.end(), expected.samples.begin());
    const bool same_history = std::memcmp(&fast, &expected.history, sizeof fast) == 0;
    return {where.first == got.end() && same_history,
            static_cast<std::size_t>(where.first - got.begin())};
}

}  // namespace mirnod::test
