// The built program, end to end: a copy of it runs from its own directory while the tests start
// it from another one, and its console output, exit status and files are checked.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "program_fixture.h"
#include "reference_decoder.h"
#include "vag_encoder.h"

namespace mirnod::test {
namespace {

TEST_F(program, reports_inputs_it_cannot_use) {
    write_file(home / "bad.vag", [] {
        bytes file = vag_file("bad", 160, varied_blocks(10));
        file[3] = 'P';
        return file;
    }());
    bytes header_only = vag_file("short", 0, {});
    header_only.pop_back();
    write_file(home / "short.vag", header_only);
    fs::create_directory(home / "folder.vag");
    struct refusal_case {
        std::vector<std::string> arguments;
        std::string output;
    };
    const refusal_case cases[] = {
        {{"/?"}, "error : can't open file (/?).\n"},
        {{""}, "error : can't open file ().\n"},
        {{"missing.vag"}, "error : can't open file (missing.vag).\n"},
        {{"folder.vag"}, "error : can't open file (folder.vag).\n"},
        {{"bad.vag", "out"}, "error : bad.vag isn't supported file.\n"},
        {{"short.vag"}, "error : short.vag isn't supported file.\n"},
    };
    for (const refusal_case& c : cases) {
        const run_result result = mirnod(c.arguments);
        EXPECT_EQ(result.output, console(banner + c.output));
        EXPECT_EQ(result.exit_status, error_exit_status);
    }
    EXPECT_EQ(files_in(home), home_holding({"bad.vag", "folder.vag", "short.vag"}));
}

TEST_F(program, converts_and_reports_sizes) {
    struct conversion_case {
        const char* name;
        std::uint32_t data_size;
        bytes blocks;
        std::string estimate;
        std::string dots;
        std::size_t wav_size;
    };
    const conversion_case cases[] = {
        {"voice.vag", 160, varied_blocks(10), "604", ".", 604},
        {"zero", 0, {}, "44", "", 44},
        {"fifteen", 15, bytes(15, 0x11), "44", "", 44},
        {"end", 16, block(0x00, 7), "100", ".", 100},
        {"silent", 48, bytes(48, 0), "212", "", 44},
        // A short file whose header claims far more: the estimate wraps, the output does not.
        {"liar", 0x24924930, varied_blocks(3), "-2,147,483,564", ".", 212},
    };
    for (const conversion_case& c : cases) {
        write_file(home / "in.vag", vag_file(c.name, c.data_size, c.blocks));
        const run_result result = mirnod({"in.vag"});
        EXPECT_EQ(result.output, console(report(c.name, c.estimate) + c.dots + "done.\n"));
        EXPECT_EQ(result.exit_status, 0);
        const fs::path output = home / (fs::path(c.name).stem().string() + ".wav");
        const bytes wav = read_file(output);
        ASSERT_EQ(wav.size(), c.wav_size) << c.name;
        EXPECT_EQ(little_endian_32(wav, 4), c.wav_size - 8);
        EXPECT_EQ(little_endian_32(wav, 40), c.wav_size - 44);
        fs::remove(output);
    }
}

TEST_F(program, places_the_output_in_the_destination) {
    write_file(home / "in.vag", vag_file("name", 160, varied_blocks(10)));
    write_file(home / "escape.vag", vag_file("../../x", 160, varied_blocks(10)));
    write_file(home / "escape2.vag", vag_file("..\\..\\y.vag", 160, varied_blocks(10)));
    fs::create_directory(home / "out");
    fs::create_directory(scratch.path / "abs.dir");
    const std::string absolute = (scratch.path / "abs.dir").string() + sep;
    struct destination_case {
        std::vector<std::string> arguments;
        std::string shown;
        fs::path output;
    };
    const destination_case cases[] = {
        {{"in.vag", "out"}, "out" + sep, home / "out" / "name.wav"},
        {{"in.vag", "out" + sep}, "out" + sep, home / "out" / "name.wav"},
        {{"in.vag", "."}, home.string(), home / "name.wav"},
        {{"in.vag", absolute}, absolute, scratch.path / "abs.dir" / "name.wav"},
        {{"in.vag", "out", "ignored"}, "out" + sep, home / "out" / "name.wav"},
        {{"escape.vag", "out"}, "out" + sep, home / "out" / "x.wav"},
        {{"escape2.vag", "out"}, "out" + sep, home / "out" / "y.wav"},
    };
    for (const destination_case& c : cases) {
        const run_result result = mirnod(c.arguments);
        const std::string expected_start = console(banner + "decode to " + c.shown + "\n");
        EXPECT_EQ(result.output.substr(0, expected_start.size()), expected_start);
        EXPECT_TRUE(result.output.ends_with(console(".done.\n"))) << result.output;
        EXPECT_EQ(fs::file_size(c.output), 604u) << c.output;
        fs::remove(c.output);
    }
    EXPECT_EQ(files_in(home / "out"), std::vector<std::string>{});
    EXPECT_EQ(files_in(scratch.path), (std::vector<std::string>{"abs.dir", "bin", "elsewhere"}));
}

// The output path can name the input itself, directly or through a link: the input must survive.
TEST_F(program, never_overwrites_its_input) {
    const bytes same = vag_file("same", 160, varied_blocks(10));
    const bytes linked = vag_file("link", 160, varied_blocks(10));
    write_file(home / "same.wav", same);
    write_file(home / "linked.wav", linked);
    std::error_code no_links;
    fs::create_symlink(home / "linked.wav", home / "link.wav", no_links);
    struct self_case {
        std::string input;
        std::string name;
        const bytes& content;
    };
    for (const self_case& c :
         {self_case{"same.wav", "same", same}, self_case{"linked.wav", "link", linked}}) {
        if (c.name == "link" && no_links) {
            continue;  // this system would not make the link
        }
        const run_result result = mirnod({c.input});
        EXPECT_EQ(result.output, console(report(c.name, "604") + "\nerror : can't create file. (" +
                                         c.name + ".wav)done.\n"));
        EXPECT_EQ(read_file(home / c.input), c.content);
    }
}

TEST_F(program, removes_an_output_it_could_not_write) {
    // 20,000 blocks make 1,120,044 bytes: the first full buffer goes out, the rest does not fit.
    write_file(home / "big.vag", vag_file("big", 320000, varied_blocks(20000)));
    fs::create_directory(home / "out");
    struct failure_case {
        std::uint64_t limit;
        std::vector<std::string> arguments;
        std::string dots;
        std::string message;
    };
    const failure_case cases[] = {
        {4096, {"big.vag"}, "", "can't write file. (big.wav)"},
        {1100000, {"big.vag", "out"}, ".", "can't write file. (out" + sep + "big.wav)"},
        {0, {"big.vag", "missing"}, "", "can't create file. (missing" + sep + "big.wav)"},
    };
    for (const failure_case& c : cases) {
        if (c.limit != 0 && !can_limit_file_size) {
            continue;
        }
        const run_result result = mirnod(c.arguments, c.limit);
        EXPECT_TRUE(result.output.ends_with(
            console(" bytes)" + c.dots + "\nerror : " + c.message + "done.\n")))
            << result.output;
        EXPECT_EQ(result.exit_status, error_exit_status);
        EXPECT_EQ(files_in(home / "out"), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(home / "big.wav"));
    }
}

// Blocks of a later variant of the format lie outside the filter table: they are decoded as
// before, and the user is told how many there were. End blocks and empty blocks are not decoded,
// so they are never counted.
TEST_F(program, warns_about_blocks_outside_the_table) {
    const bytes nibbles = {0x21, 0x43, 0x65, 0x87};
    bytes mixed;
    for (const bytes& b : {block(0x1C, 0, nibbles), block(0x5C, 0x10, nibbles),
                           block(0x0D, 0, nibbles), block(0xFF, 0x70, nibbles),
                           block(0x50, 7, nibbles), bytes(16, 0), block(0x4C, 2, nibbles)}) {
        mixed.insert(mixed.end(), b.begin(), b.end());
    }
    bytes many;
    for (int i = 0; i < 1234; ++i) {
        const bytes b = block(0x6C, 0, nibbles);
        many.insert(many.end(), b.begin(), b.end());
    }
    struct warning_case {
        bytes blocks;
        std::string estimate;
        std::string count;
    };
    for (const warning_case& c :
         {warning_case{mixed, "436", "3"}, warning_case{many, "69,148", "1,234"}}) {
        const auto size = static_cast<std::uint32_t>(c.blocks.size());
        write_file(home / "in.vag", vag_file("odd", size, c.blocks));
        const run_result result = mirnod({"in.vag"});
        EXPECT_EQ(result.output,
                  console(report("odd", c.estimate) + ".\nwarning : " + c.count +
                          " blocks use a filter or shift outside the table; they were decoded "
                          "without prediction.\ndone.\n"));
        EXPECT_EQ(wav_samples(read_file(home / "odd.wav")), reference_samples(c.blocks));
    }
}

// Tones encoded by the fixture encoder must come back out of the program close to what went in.
TEST_F(program, round_trip_keeps_the_sound) {
    const std::uint32_t rate = 22050;
    const std::vector<std::int16_t> pcm = fixture::synthesise_tones(2 * rate, rate);
    write_file(home / "tones.vag", fixture::make_vag("tones", rate, pcm));
    const run_result result = mirnod({"tones.vag"});
    ASSERT_TRUE(result.output.ends_with(console("done.\n"))) << result.output;
    const bytes wav = read_file(home / "tones.wav");
    EXPECT_EQ(little_endian_32(wav, 24), rate);
    const std::vector<std::int16_t> decoded = wav_samples(wav);
    ASSERT_GE(decoded.size(), pcm.size());
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        signal += double(pcm[i]) * pcm[i];
        noise += (double(decoded[i]) - pcm[i]) * (double(decoded[i]) - pcm[i]);
    }
    const double snr_db = 10.0 * std::log10(signal / noise);
    std::printf("round-trip SNR: %.1f dB\n", snr_db);
    RecordProperty("snr_db", std::to_string(snr_db));
    EXPECT_GE(snr_db, 30.0);
}

}  // namespace
}  // namespace mirnod::test
