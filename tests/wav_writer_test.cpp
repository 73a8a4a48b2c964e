#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/platform.h"
#include "reference_decoder.h"
#include "test_support.h"
#include "vag/adpcm_decoder.h"

namespace mirnod {
namespace {

namespace fs = std::filesystem;
using test::bytes;

TEST(output_path_for, takes_the_last_component_and_replaces_the_extension) {
    const std::string sep(1, platform::directory_separator);
    struct naming_case {
        std::string destination;
        std::string name;
        std::string path;
    };
    const naming_case cases[] = {
        {"", "voice.vag", "voice.wav"},
        {"", "a.b.c", "a.b.wav"},
        {"", "voice", "voice.wav"},
        {"", "", ".wav"},
        {"", ".vag", ".wav"},
        {"", "..", "..wav"},
        {"", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP.wav"},
        {"out" + sep, "dir\\sub\\x.vag", "out" + sep + "x.wav"},
        {"out" + sep, "dir/sub/x.vag", "out" + sep + "x.wav"},
        {"out" + sep, "..\\..\\x", "out" + sep + "x.wav"},
        {"out" + sep, "../../x", "out" + sep + "x.wav"},
        {"out" + sep, "x/", "out" + sep + ".wav"},
        {"my.dir" + sep, "name", "my.dir" + sep + "name.wav"},
        {"my.dir" + sep, "a.b/name", "my.dir" + sep + "name.wav"},
    };
    for (const naming_case& c : cases) {
        EXPECT_EQ(output_path_for(c.destination, c.name), c.path) << c.name;
    }
}

TEST(wav_header_template, describes_16_bit_pcm_with_the_full_rate) {
    const auto header = wav_header_template(1, 70000);
    const bytes h(header.begin(), header.end());
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(h.begin() + 8, h.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
    EXPECT_EQ(test::little_endian_32(h, 4), 36u);
    EXPECT_EQ(test::little_endian_32(h, 16), 16u);
    EXPECT_EQ(test::little_endian_32(h, 20), 0x00010001u);  // PCM, one channel
    EXPECT_EQ(test::little_endian_32(h, 24), 70000u);
    EXPECT_EQ(test::little_endian_32(h, 28), 140000u);
    EXPECT_EQ(test::little_endian_32(h, 32), 0x00100002u);  // alignment 2, 16 bits
    EXPECT_EQ(test::little_endian_32(h, 40), 0u);
}

struct transcoded {
    std::string console;
    bytes wav;
    bool exists;
};

// Runs the transcoding loop in this process on a VAG file made from `file`.
transcoded transcode(const bytes& file, std::uint32_t data_size, const std::string& name) {
    test::scratch_directory scratch;
    const fs::path input_path = scratch.path / "input.vag";
    test::write_file(input_path, file);
    std::FILE* input = std::fopen(input_path.string().c_str(), "rb");
    const std::string destination = scratch.path.string() + platform::directory_separator;
    testing::internal::CaptureStdout();
    transcode_to_wav(input, data_size, destination, name);
    transcoded result{testing::internal::GetCapturedStdout(), {}, false};
    std::fclose(input);
    const fs::path output = output_path_for(destination, name);
    result.exists = fs::exists(output);
    result.wav = test::read_file(output);
    return result;
}

void expect_consistent_wav(const bytes& wav, std::size_t data_bytes) {
    ASSERT_EQ(wav.size(), 44 + data_bytes);
    EXPECT_EQ(test::little_endian_32(wav, 4), wav.size() - 8);
    EXPECT_EQ(test::little_endian_32(wav, 40), wav.size() - 44);
}

// A write happens each time the 1,048,578-byte buffer is full and another sample follows, and at
// the end: totals around multiples of the buffer size show both, and the chunked reads of the
// input cross block boundaries on the way.
TEST(transcode_to_wav, writes_through_the_buffer_at_its_boundaries) {
    struct buffer_case {
        std::size_t blocks;
        std::size_t writes;
    };
    for (const buffer_case& c : {buffer_case{1, 1}, buffer_case{18724, 1}, buffer_case{18725, 2},
                                 buffer_case{37449, 2}, buffer_case{37450, 3}}) {
        const bytes blocks = test::varied_blocks(c.blocks, static_cast<std::uint32_t>(c.blocks));
        const auto data_size = static_cast<std::uint32_t>(blocks.size());
        const transcoded result = transcode(test::vag_file("v", data_size, blocks), data_size, "v");
        EXPECT_EQ(result.console, std::string(c.writes, '.')) << c.blocks << " blocks";
        expect_consistent_wav(result.wav, c.blocks * 56);
        EXPECT_EQ(test::wav_samples(result.wav), test::reference_samples(blocks)) << c.blocks;
    }
}

TEST(transcode_to_wav, skips_empty_blocks_and_silences_end_blocks) {
    const bytes empty(16, 0);
    const bytes loud = test::block(0x00, 0, {0x77, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4F});
    const bytes end = test::block(0x4C, 7, {0x77});
    const bytes next = test::block(0x20, 0);
    struct content_case {
        const char* what;
        std::vector<bytes> blocks;
        std::size_t data_bytes;
        std::string console;
    };
    const content_case cases[] = {
        {"no blocks", {}, 0, ""},
        {"only empty blocks", {empty, empty, empty}, 0, ""},
        {"a single end block", {end}, 56, "."},
        {"end and empty blocks in the middle", {loud, empty, end, empty, next}, 168, "."},
    };
    for (const content_case& c : cases) {
        bytes blocks;
        for (const bytes& b : c.blocks) {
            blocks.insert(blocks.end(), b.begin(), b.end());
        }
        const auto data_size = static_cast<std::uint32_t>(blocks.size());
        const transcoded result = transcode(test::vag_file("v", data_size, blocks), data_size, "v");
        EXPECT_EQ(result.console, c.console) << c.what;
        expect_consistent_wav(result.wav, c.data_bytes);
        EXPECT_EQ(test::wav_samples(result.wav), test::reference_samples(blocks)) << c.what;
    }
    // The end block is silence at its place, and the block after it continues the history.
    bytes middle;
    for (const bytes* b : {&loud, &empty, &end, &empty, &next}) {
        middle.insert(middle.end(), b->begin(), b->end());
    }
    const auto samples = test::wav_samples(transcode(test::vag_file("v", 80, middle), 80, "v").wav);
    ASSERT_EQ(samples.size(), 84u);
    EXPECT_TRUE(std::all_of(samples.begin() + 28, samples.begin() + 56, [](auto s) { return !s; }));
    EXPECT_EQ(samples[56], 32767);
}

TEST(transcode_to_wav, stops_at_the_last_whole_block_of_a_short_input) {
    const bytes blocks = test::varied_blocks(4);
    for (std::size_t cut : {0, 1, 15, 16, 17, 40, 63}) {
        const bytes present(blocks.begin(), blocks.begin() + static_cast<long>(cut));
        const transcoded result =
            transcode(test::vag_file("v", 0xFFFFFFF0, present), 0xFFFFFFF0, "v");
        expect_consistent_wav(result.wav, cut / 16 * 56);
        EXPECT_EQ(test::wav_samples(result.wav), test::reference_samples(present)) << cut;
    }
}

TEST(transcode_to_wav, ignores_blocks_past_the_announced_size) {
    const bytes blocks = test::varied_blocks(5);
    const transcoded result = transcode(test::vag_file("v", 47, blocks), 47, "v");
    expect_consistent_wav(result.wav, 2 * 56);
    EXPECT_EQ(test::wav_samples(result.wav),
              test::reference_samples(bytes(blocks.begin(), blocks.begin() + 32)));
}

TEST(transcode_to_wav, refuses_to_create_over_its_own_input) {
    test::scratch_directory scratch;
    const fs::path path = scratch.path / "same.wav";
    const bytes original = test::vag_file("same", 160, test::varied_blocks(10));
    test::write_file(path, original);
    std::FILE* input = std::fopen(path.string().c_str(), "rb");
    const std::string destination = scratch.path.string() + platform::directory_separator;
    testing::internal::CaptureStdout();
    transcode_to_wav(input, 160, destination, "same");
    const std::string console = testing::internal::GetCapturedStdout();
    std::fclose(input);
    EXPECT_EQ(console, "\nerror : can't create file. (" + path.string() + ")");
    EXPECT_EQ(test::read_file(path), original);
}

}  // namespace
}  // namespace mirnod
