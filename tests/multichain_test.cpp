// The multi-chain decoder against the plain reference: every kernel this machine can run must give
// the same samples and the same final history, bit for bit, on streams chosen to make the
// side-by-side chains disagree for long, or never meet again.
#include "vag/multichain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "test_support.h"
#include "varied_streams.h"

namespace mirnod {
namespace {

using test::bytes;

std::uint64_t bits(double value) {
    std::uint64_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

TEST(decode_stretch, every_kernel_matches_the_reference) {
    const std::vector<test::stream_case> cases = test::varied_streams(1, 20000);
    std::size_t kernels_run = 0;
    for (const lane_kernel kernel : {lane_kernel::scalar, lane_kernel::sse2, lane_kernel::avx2}) {
        if (!use_lane_kernel(kernel)) {
            continue;
        }
        ++kernels_run;
        for (const test::stream_case& c : cases) {
            const test::comparison result = test::compare_with_reference(c.blocks, kernel);
            EXPECT_TRUE(result.same) << c.what << ", kernel " << static_cast<int>(kernel)
                                     << ": first difference at sample " << result.first_difference;
        }
    }
    use_lane_kernel(best_lane_kernel());
    EXPECT_GE(kernels_run, 1u);
}

// The same bits on every machine: a fixed stream's final history and a checksum of its samples,
// as an x86-64 build without fused multiply-add computes them. A compiler that fused the chain's
// multiply and add (as aarch64 compilers do unless told not to) would change them.
TEST(decode_stretch, gives_the_same_bits_on_every_machine) {
    const bytes blocks = test::without_filter_zero(test::varied_blocks(20000, 2026));
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
    const bytes blocks = test::decay_into_subnormals(2000);
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
