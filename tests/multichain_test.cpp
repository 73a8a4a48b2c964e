// The multi-chain decoder against the plain reference: every kernel this machine can run must give
// the same samples and the same final history, bit for bit, on streams chosen to make the
// side-by-side chains disagree for long, or never meet again.
#include "vag/multichain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "reference_decoder.h"
#include "test_support.h"
#include "vag_encoder.h"

namespace mirnod {
namespace {

using test::bytes;

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

bytes encoded_tones_and_noise(std::size_t count) {
    std::vector<std::int16_t> pcm = fixture::synthesise_tones(count * samples_per_block, 44100);
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 2000.0);
    for (std::size_t i = pcm.size() / 2; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(std::clamp(pcm[i] + noise(random), -32768.0, 32767.0));
    }
    return fixture::encode_blocks(pcm);
}

// Every filter 0 (which forgets the history at once) turned into filter 1.
bytes without_filter_zero(bytes blocks) {
    for (std::size_t at = 0; at < blocks.size(); at += 16) {
        if (blocks[at] >> 4 == 0) {
            blocks[at] |= 0x10;
        }
    }
    return blocks;
}

// Loud residuals with strong filters: values far outside 16 bits, clamped.
bytes clipping(std::size_t count) {
    bytes all;
    for (std::size_t b = 0; b < count; ++b) {
        const bytes one = test::block(static_cast<std::uint8_t>(0x40 | b % 3), 0,
                                      {0x77, 0x77, 0x07, 0x70, 0x77, 0x88, 0x17, 0x77});
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// One loud block, then zero residuals under filter 1: the history decays through the subnormal
// numbers to zero.
bytes decay_into_subnormals(std::size_t count) {
    return blocks_of({test::block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x77}),
                      repeated(test::block(0x1C, 0, {}), count)});
}

// Silence written with prediction filters: the chains decay for a long time, and may settle into
// different tiny cycles that never meet.
bytes silence_without_filter_zero(std::size_t count) {
    bytes all = test::block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77, 0x77});
    for (std::size_t b = 0; b < count; ++b) {
        const bytes silent = test::block(static_cast<std::uint8_t>(0x20 + (b % 3) * 0x10 + 12), 0);
        all.insert(all.end(), silent.begin(), silent.end());
    }
    return all;
}

struct stream_case {
    const char* what;
    bytes blocks;
};

std::vector<stream_case> streams() {
    const bytes tones = encoded_tones_and_noise(20000);
    std::vector<stream_case> cases = {
        {"random blocks, end blocks and blocks outside the table", random_blocks(40000, 1)},
        {"encoded tones and noise", tones},
        {"encoded tones without filter 0", without_filter_zero(tones)},
        {"clipping", clipping(20000)},
        {"decay into subnormals", decay_into_subnormals(40000)},
        {"silence encoded without filter 0", silence_without_filter_zero(40000)},
    };
    // Around the shortest run that takes the lanes, and odd counts that leave a tail.
    for (const std::size_t count : {2047, 2048, 2049, 4096 + 7, 16383, 16384, 16385}) {
        cases.push_back({"odd count", without_filter_zero(random_blocks(count, 7))});
    }
    return cases;
}

std::uint64_t bits(double value) {
    std::uint64_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

TEST(decode_stretch, every_kernel_matches_the_reference) {
    const std::vector<stream_case> cases = streams();
    std::size_t kernels_run = 0;
    for (const lane_kernel kernel : {lane_kernel::scalar, lane_kernel::sse2, lane_kernel::avx2}) {
        if (!use_lane_kernel(kernel)) {
            continue;
        }
        ++kernels_run;
        for (const stream_case& c : cases) {
            const std::size_t count = c.blocks.size() / 16;
            // The reference, block by block.
            std::vector<std::int16_t> expected(count * samples_per_block, 0);
            decoder_history plain;
            for (std::size_t b = 0; b < count; ++b) {
                if (c.blocks[b * 16 + 1] != end_block_flag) {
                    test::reference_decode_block(&c.blocks[b * 16],
                                                 &expected[b * samples_per_block], plain);
                }
            }
            // The fast path, in the transcoding loop's stretches.
            std::vector<std::int16_t> got(count * samples_per_block, 12345);
            std::vector<decoder_history> recorded(stretch_blocks);
            decoder_history fast;
            for (std::size_t at = 0; at < count; at += stretch_blocks) {
                const std::size_t n = std::min(stretch_blocks, count - at);
                decode_stretch(&c.blocks[at * 16], n, &got[at * samples_per_block], fast,
                               recorded.data());
            }
            const auto where = std::mismatch(got.begin(), got.end(), expected.begin());
            EXPECT_TRUE(where.first == got.end())
                << c.what << ", kernel " << static_cast<int>(kernel) << ": first difference at "
                << "sample " << (where.first - got.begin());
            EXPECT_EQ(bits(fast.s1), bits(plain.s1)) << c.what;
            EXPECT_EQ(bits(fast.s2), bits(plain.s2)) << c.what;
        }
    }
    use_lane_kernel(best_lane_kernel());
    EXPECT_GE(kernels_run, 1u);
}

// The same bits on every machine: a fixed stream's final history and a checksum of its samples,
// as an x86-64 build without fused multiply-add computes them. A compiler that fused the chain's
// multiply and add (as aarch64 compilers do unless told not to) would change them.
TEST(decode_stretch, gives_the_same_bits_on_every_machine) {
    const bytes blocks = without_filter_zero(test::varied_blocks(20000, 2026));
    const std::size_t count = blocks.size() / 16;
    std::vector<std::int16_t> samples(count * samples_per_block);
    std::vector<decoder_history> recorded(stretch_blocks);
    decoder_history history;
    for (std::size_t at = 0; at < count; at += stretch_blocks) {
        const std::size_t n = std::min(stretch_blocks, count - at);
        decode_stretch(&blocks[at * 16], n, &samples[at * samples_per_block], history,
                       recorded.data());
    }
    std::uint64_t checksum = 14695981039346656037u;  // FNV-1a over the samples' bits
    for (const std::int16_t sample : samples) {
        checksum = (checksum ^ static_cast<std::uint16_t>(sample)) * 1099511628211u;
    }
    EXPECT_EQ(bits(history.s1), 0xc0a50c82ab7edb70u);  // -2694.2552146571034
    EXPECT_EQ(bits(history.s2), 0xc09ab3585176ee4fu);  // -1708.836248262687
    EXPECT_EQ(checksum, 0x3c5de6de67e4697bu);
}

// The decaying stream really reaches the subnormal numbers, where flushing to zero would show.
TEST(decode_stretch, decay_passes_through_subnormals) {
    const bytes blocks = decay_into_subnormals(2000);
    decoder_history history;
    bool subnormal = false;
    std::int16_t samples[samples_per_block];
    for (std::size_t at = 0; at < blocks.size(); at += 16) {
        decode_block(&blocks[at], samples, history);
        subnormal = subnormal || std::fpclassify(history.s1) == FP_SUBNORMAL;
    }
    EXPECT_TRUE(subnormal);
}

}  // namespace
}  // namespace mirnod
