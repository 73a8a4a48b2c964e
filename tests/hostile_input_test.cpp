// Hostile input, end to end: truncated, corrupt and mislabelled files, odd name fields, and paths
// at and past the system's limits. Every case checks the console's last words, the exit status,
// that the input is untouched and exactly which files the destination holds.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <random>

#include "program_fixture.h"
#include "reference_decoder.h"

namespace mirnod::test {
namespace {

struct hostile_case {
    std::string what;
    bytes input;
    std::string output_tail;            // how standard output must end
    std::vector<std::string> produced;  // the files the destination must hold afterwards
    std::size_t wav_size = 0;           // the size of the one produced file
};

const std::string refused = "error : in.vag isn't supported file.\n";

bytes with_size(bytes file, std::uint32_t data_size) {
    file[12] = static_cast<std::uint8_t>(data_size >> 24);
    file[13] = static_cast<std::uint8_t>(data_size >> 16);
    file[14] = static_cast<std::uint8_t>(data_size >> 8);
    file[15] = static_cast<std::uint8_t>(data_size);
    return file;
}

std::vector<hostile_case> hostile_cases() {
    std::vector<hostile_case> cases;
    const bytes three_blocks = vag_file("t", 48, varied_blocks(3, 5));
    for (std::size_t length = 0; length <= three_blocks.size(); ++length) {
        const bytes cut(three_blocks.begin(), three_blocks.begin() + static_cast<long>(length));
        if (length < 48) {
            cases.push_back({"cut to " + std::to_string(length), cut, refused, {}});
        } else {
            cases.push_back({"cut to " + std::to_string(length),
                             cut,
                             "done.\n",
                             {"t.wav"},
                             44 + (length - 48) / 16 * 56});
        }
    }
    struct corruption {
        std::size_t at;
        std::uint8_t value;
    };
    for (const corruption c : {corruption{0, 'v'},
                               {0, 0},
                               {1, 'a'},
                               {2, 'g'},
                               {3, 'P'},
                               {3, 0},
                               {30, 2},
                               {30, 0x80},
                               {30, 0xFF},
                               {31, 1},
                               {31, 0xFF}}) {
        bytes corrupt = three_blocks;
        corrupt[c.at] = c.value;
        cases.push_back({"byte " + std::to_string(c.at) + " = " + std::to_string(c.value),
                         corrupt,
                         refused,
                         {}});
    }
    std::mt19937 random(11);
    bytes noise(1000);
    for (std::uint8_t& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }
    for (const std::uint32_t size : {1000u, 0xFFFFFFFFu}) {
        const std::size_t samples = reference_samples(noise.data(), 992).size();
        cases.push_back({"random blocks, size " + std::to_string(size),
                         vag_file("t", size, noise),
                         "done.\n",
                         {"t.wav"},
                         44 + samples * 2});
    }
    const bytes one_block = vag_file("t", 0, varied_blocks(1, 3));
    for (const std::uint32_t size : {0u, 15u, 16u, 31u, 0xFFFFFFFFu}) {
        cases.push_back({"one block, size " + std::to_string(size),
                         with_size(one_block, size),
                         "done.\n",
                         {"t.wav"},
                         size < 16 ? 44u : 100u});
    }
    return cases;
}

TEST_F(program, survives_hostile_input) {
    fs::create_directory(home / "out");
    for (const hostile_case& c : hostile_cases()) {
        write_file(home / "in.vag", c.input);
        const run_result result = mirnod({"in.vag", "out"});
        EXPECT_TRUE(result.output.ends_with(c.output_tail)) << c.what << ": " << result.output;
        EXPECT_EQ(result.exit_status, c.output_tail == refused ? 1 : 0) << c.what;
        EXPECT_EQ(read_file(home / "in.vag"), c.input) << c.what;
        ASSERT_EQ(files_in(home / "out"), c.produced) << c.what;
        for (const std::string& name : c.produced) {
            const bytes wav = read_file(home / "out" / name);
            EXPECT_EQ(wav.size(), c.wav_size) << c.what;
            EXPECT_EQ(little_endian_32(wav, 4), wav.size() - 8) << c.what;
            EXPECT_EQ(little_endian_32(wav, 40), wav.size() - 44) << c.what;
            fs::remove(home / "out" / name);
        }
        EXPECT_EQ(files_in(home), home_holding({"in.vag", "out"}));
    }
}

// Every byte a name field can hold, and names that try to climb out: the file always lands
// directly in the destination, named after the last component.
TEST_F(program, names_every_output_inside_the_destination) {
    fs::create_directory(home / "out");
    struct name_case {
        std::string field;
        std::string file;
    };
    std::vector<name_case> cases;
    for (int b = 1; b < 256; ++b) {
        const std::string field = std::string("a") + static_cast<char>(b) + "z";
        const std::string file = b == '/' || b == '\\' ? "z.wav"
                                 : b == '.'            ? "a.wav"
                                                       : field + ".wav";
        cases.push_back({field, file});
    }
    for (const name_case& c : {name_case{"..", "..wav"},
                               {".", ".wav"},
                               {"/", ".wav"},
                               {"\\", ".wav"},
                               {"../..", "..wav"},
                               {"/etc/passwd", "passwd.wav"},
                               {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP.wav"}}) {
        cases.push_back(c);
    }
    for (const name_case& c : cases) {
        write_file(home / "in.vag", vag_file(c.field, 16, varied_blocks(1)));
        const run_result result = mirnod({"in.vag", "out"});
        EXPECT_TRUE(result.output.ends_with(".done.\n")) << c.field;
        EXPECT_EQ(files_in(home / "out"), std::vector<std::string>{c.file}) << c.field;
        fs::remove_all(home / "out");
        fs::create_directory(home / "out");
    }
    EXPECT_EQ(files_in(home), home_holding({"in.vag", "out"}));
    EXPECT_EQ(files_in(scratch.path), (std::vector<std::string>{"bin", "elsewhere"}));
}

// A destination chain of directories of at most 200 bytes each, relative to the directory the
// program runs in, whose length with "t.wav" is exactly `length`. Its absolute path is longer than
// the system accepts, so it is made one directory at a time.
std::string long_destination(const fs::path& base, std::size_t length) {
    const std::size_t room = length - std::string("t.wav").size();
    std::vector<std::string> components;
    std::size_t used = 0;
    while (room - used > 201) {
        components.push_back(std::string(200, 'd'));
        used += 201;
    }
    components.push_back(std::string(room - used - 1, 'e'));
    const fs::path start = fs::current_path();
    fs::current_path(base);
    std::string destination;
    for (const std::string& component : components) {
        fs::create_directory(component);
        fs::current_path(component);
        destination += component + "/";
    }
    fs::current_path(start);
    return destination;
}

TEST_F(program, paths_at_and_past_the_system_limit) {
    write_file(home / "in.vag", vag_file("t", 16, varied_blocks(1)));
    const std::string longest = long_destination(home, PATH_MAX - 1);
    const run_result fits = mirnod({"in.vag", longest});
    EXPECT_TRUE(fits.output.ends_with(".done.\n")) << fits.output;

    const std::string too_long = long_destination(home, PATH_MAX);
    const run_result refused_create = mirnod({"in.vag", too_long});
    EXPECT_TRUE(refused_create.output.ends_with("\nerror : can't create file. (" + too_long +
                                                "t.wav)done.\n"));

    const std::string long_input = too_long + "in.vag";
    const run_result refused_open = mirnod({long_input});
    EXPECT_EQ(refused_open.output, banner + "error : can't open file (" + long_input + ").\n");
    EXPECT_EQ(refused_open.exit_status, 1);

    // Only paths relative to the run's directory are short enough to look at and remove.
    const fs::path start = fs::current_path();
    fs::current_path(home);
    EXPECT_EQ(fs::file_size(longest + "t.wav"), 100u);
    fs::remove_all(std::string(200, 'd'));
    fs::current_path(start);
}

TEST_F(program, destinations_that_cannot_take_a_file) {
    write_file(home / "in.vag", vag_file("t", 16, varied_blocks(1)));
    write_file(home / "a_file", {});
    fs::create_directory(home / "locked");
    fs::permissions(home / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const bool locked_works = !std::ofstream(home / "locked" / "probe");  // root writes anyway
    fs::remove(home / "locked" / "probe");
    for (const std::string destination : {"a_file", "missing", "locked"}) {
        if (destination == "locked" && !locked_works) {
            continue;
        }
        const run_result result = mirnod({"in.vag", destination});
        EXPECT_TRUE(result.output.ends_with("\nerror : can't create file. (" + destination +
                                            "/t.wav)done.\n"))
            << result.output;
        EXPECT_EQ(result.exit_status, 1);
    }
    EXPECT_EQ(fs::file_size(home / "a_file"), 0u);
    EXPECT_FALSE(fs::exists(home / "missing"));
}

}  // namespace
}  // namespace mirnod::test
