#include "vag/adpcm_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "reference_decoder.h"
#include "test_support.h"

namespace mirnod {
namespace {

using test::block;
using test::bytes;

// Decodes the blocks in order with one history, as the converter does, and returns the samples
// of the last one. The array is filled with a marker first, to show what a block leaves alone.
std::vector<std::int16_t> decode_sequence(const std::vector<bytes>& blocks,
                                          decoder_history& history) {
    std::vector<std::int16_t> samples(samples_per_block);
    for (const bytes& b : blocks) {
        samples.assign(samples_per_block, 12345);
        decode_block(b.data(), samples.data(), history);
    }
    return samples;
}

struct decode_case {
    const char* what;
    std::vector<bytes> blocks;
    std::vector<std::int16_t> expected_start;
    bool rest_zero;
};

void PrintTo(const decode_case& c, std::ostream* out) {
    *out << c.what;
}

class decode_block_cases : public testing::TestWithParam<decode_case> {};

TEST_P(decode_block_cases, gives_the_expected_samples) {
    const decode_case& c = GetParam();
    decoder_history history;
    const std::vector<std::int16_t> samples = decode_sequence(c.blocks, history);
    const std::vector<std::int16_t> start(samples.begin(),
                                          samples.begin() + c.expected_start.size());
    EXPECT_EQ(start, c.expected_start);
    if (c.rest_zero) {
        for (std::size_t i = c.expected_start.size(); i < samples.size(); ++i) {
            EXPECT_EQ(samples[i], 0) << "sample " << i;
        }
    }
}

// The block after one ending in 0x4F starts from s1 = 16384, s2 = -4096.
const bytes loud_history = block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4F});

INSTANTIATE_TEST_SUITE_P(
    examples, decode_block_cases,
    testing::Values(
        decode_case{"shift 12, no filter", {block(0x0C, 0, {0x21})}, {1, 2}, true},
        decode_case{"shift 0, extreme nibbles", {block(0x00, 0, {0x87})}, {28672, -32768}, true},
        decode_case{"filter 1 decays", {block(0x1C, 0, {0x44})}, {4, 8, 7, 7, 6, 6, 6, 5}, false},
        decode_case{"filter 1 negative",
                    {block(0x1C, 0, {0x88})},
                    {-8, -15, -15, -14, -13, -12, -11},
                    false},
        decode_case{"half rounds up when negative", {block(0x1C, 0, {0x08})}, {-8, -7}, false},
        decode_case{"half rounds up when positive", {block(0x1B, 0, {0x04})}, {8, 8}, false},
        decode_case{"history carried: 32768.0 clamps to 32767",
                    {loud_history, block(0x20, 0)},
                    {32767},
                    false},
        decode_case{"end block between keeps the history",
                    {loud_history, block(0x00, 7, {0x77}), block(0x20, 0)},
                    {32767},
                    false},
        decode_case{
            "big negative value clamps",
            {block(0x00, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x8F}), block(0x20, 0, {0x08})},
            {-32768},
            false}),
    [](const testing::TestParamInfo<decode_case>& info) {
        std::string name = info.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(decode_block, end_block_writes_nothing_and_keeps_history) {
    decoder_history history{1.5, -2.25};
    const std::vector<std::int16_t> samples =
        decode_sequence({block(0x4C, 7, {0x77, 0x77})}, history);
    EXPECT_EQ(samples, std::vector<std::int16_t>(samples_per_block, 12345));
    EXPECT_EQ(history.s1, 1.5);
    EXPECT_EQ(history.s2, -2.25);
}

TEST(decode_block, history_holds_unrounded_values) {
    decoder_history history;
    decode_sequence({block(0x1C, 0, {0x08})}, history);
    // -8, then -7.5, then 26 zero residuals each scaled by 0.9375.
    double expected = -7.5;
    for (int i = 0; i < 26; ++i) {
        expected *= 0.9375;
    }
    EXPECT_EQ(history.s1, expected);
    EXPECT_EQ(history.s2, expected / 0.9375);
}

TEST(decode_block, flag_values_other_than_seven_change_nothing) {
    const bytes nibbles = {0x12, 0x9A, 0x7F, 0x80, 0x33, 0xC4, 0x5D, 0xE6, 0x0F, 0xF0};
    std::vector<std::int16_t> reference;
    for (int flag = 0; flag < 256; ++flag) {
        if (flag == end_block_flag) {
            continue;
        }
        decoder_history history{100.25, -50.5};
        const auto samples =
            decode_sequence({block(0x3A, static_cast<std::uint8_t>(flag), nibbles)}, history);
        if (reference.empty()) {
            reference = samples;
        }
        EXPECT_EQ(samples, reference) << "flag " << flag;
    }
}

// Filter indices past the table decode as filter 0 (no prediction), and shifts 13 to 15 scale
// the residual by 1/2, 1/4 and 1/8.
TEST(decode_block, blocks_outside_the_table_are_safe_and_defined) {
    const bytes nibbles = {0x74, 0x8F, 0x21, 0x00, 0x99};
    for (int filter = 5; filter < 16; ++filter) {
        for (int shift = 0; shift < 16; ++shift) {
            decoder_history outside{3000.5, -1200.0};
            decoder_history filter_zero = outside;
            const auto got = decode_sequence(
                {block(static_cast<std::uint8_t>(filter << 4 | shift), 0, nibbles)}, outside);
            const auto expected =
                decode_sequence({block(static_cast<std::uint8_t>(shift), 0, nibbles)}, filter_zero);
            EXPECT_EQ(got, expected) << "filter " << filter << " shift " << shift;
            EXPECT_EQ(outside.s1, filter_zero.s1);
            EXPECT_EQ(outside.s2, filter_zero.s2);
        }
    }
    struct fraction_case {
        std::uint8_t shift;
        std::vector<std::int16_t> expected;  // nibbles 4, 7, -8, -1
    };
    for (const fraction_case& c :
         {fraction_case{13, {2, 4, -4, 0}}, fraction_case{14, {1, 2, -2, 0}},
          fraction_case{15, {1, 1, -1, 0}}}) {
        decoder_history history;
        const auto samples = decode_sequence({block(c.shift, 0, {0x74, 0xF8})}, history);
        EXPECT_EQ(std::vector<std::int16_t>(samples.begin(), samples.begin() + 4), c.expected)
            << "shift " << int(c.shift);
    }
}

// Random blocks of every filter and shift, loud enough to clamp often, carried through one
// history: the decoder must agree with the plain reference on every sample.
TEST(decode_block, matches_a_plain_reference_on_varied_blocks) {
    const bytes blocks = test::varied_blocks(50000, 99);
    decoder_history fast;
    decoder_history plain;
    std::size_t clamped = 0;
    for (std::size_t at = 0; at < blocks.size(); at += 16) {
        std::int16_t got[samples_per_block] = {};
        std::int16_t expected[samples_per_block] = {};
        decode_block(blocks.data() + at, got, fast);
        if (blocks[at + 1] != end_block_flag) {
            test::reference_decode_block(blocks.data() + at, expected, plain);
        }
        ASSERT_TRUE(std::equal(got, got + samples_per_block, expected)) << "block " << at / 16;
        ASSERT_EQ(fast.s1, plain.s1);
        clamped += static_cast<std::size_t>(std::count_if(
            got, got + samples_per_block, [](auto s) { return s == 32767 || s == -32768; }));
    }
    EXPECT_GT(clamped, 0u);
}

// The sum v + 0.5 is itself rounded to double before the floor, which is why the largest double
// below 0.5 gives 1.
TEST(round_to_sample, rounds_halves_up_and_clamps) {
    struct rounding_case {
        double value;
        std::int16_t expected;
    };
    for (const rounding_case& c : {rounding_case{-7.5, -7},
                                   {7.5, 8},
                                   {-0.5, 0},
                                   {-0.50001, -1},
                                   {32767.4, 32767},
                                   {32767.5, 32767},
                                   {40000.0, 32767},
                                   {-32768.5, -32768},
                                   {-32769.0, -32768},
                                   {-1e9, -32768},
                                   {1e9, 32767},
                                   {0.49999999999999994, 1}}) {
        EXPECT_EQ(round_to_sample(c.value), c.expected) << c.value;
    }
}

}  // namespace
}  // namespace mirnod
