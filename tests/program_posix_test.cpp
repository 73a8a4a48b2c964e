// What only the Linux program does: paths from the current directory, UTF-8 usage text, the few
// options Linux users expect, and an exit status that tells a script whether the run failed.
#include <gtest/gtest.h>

#include "program_fixture.h"

namespace mirnod::test {
namespace {

const std::string usage_utf8 =
    "Usage : mirnod <file_name> [dest_path]\n"
    "  file_name   vag\xe3\x81\xae\xe5\xa0\xb4\xe6\x89\x80.\n"
    "  dest_path\xe3\x80\x80 \xe5\x87\xba\xe5\x8a\x9b\xe5\x85\x88.("
    "\xe7\x9c\x81\xe7\x95\xa5\xe5\x8f\xaf\xe8\x83\xbd)\n"
    "  /?          \xe3\x81\x93\xe3\x82\x8c\xe3\x82\x92\xe8\xa1\xa8\xe7\xa4\xba.\n";

TEST_F(program, posix_usage_and_options) {
    struct option_case {
        std::vector<std::string> arguments;
        std::string output;
        int exit_status;
    };
    const option_case cases[] = {
        {{}, banner + usage_utf8, 0},
        {{"--help"}, banner + usage_utf8, 0},
        {{"-h", "ignored"}, banner + usage_utf8, 0},
        {{"--version"}, banner, 0},
        // Nothing else is an option.
        {{"/?"}, banner + "error : can't open file (/?).\n", 1},
        {{"--helpx"}, banner + "error : can't open file (--helpx).\n", 1},
        {{"-v"}, banner + "error : can't open file (-v).\n", 1},
    };
    for (const option_case& c : cases) {
        const run_result result = mirnod(c.arguments);
        EXPECT_EQ(result.output, c.output);
        EXPECT_EQ(result.exit_status, c.exit_status);
    }
}

// Relative paths and the default destination are the current directory, wherever the program
// itself lives.
TEST_F(program, posix_paths_are_taken_from_the_current_directory) {
    fs::create_directory(home / "sub");
    fs::create_directory(home / "out");
    write_file(home / "sub" / "in.vag", vag_file("here", 160, varied_blocks(10)));
    const run_result into_current = mirnod({"sub/in.vag"});
    EXPECT_EQ(into_current.output, report("here", "604") + ".done.\n");
    EXPECT_EQ(into_current.exit_status, 0);
    EXPECT_EQ(fs::file_size(home / "here.wav"), 604u);
    const run_result into_out = mirnod({"sub/in.vag", "out"});
    EXPECT_EQ(fs::file_size(home / "out" / "here.wav"), 604u);
    EXPECT_EQ(into_out.exit_status, 0);
    EXPECT_EQ(files_in(bin), std::vector<std::string>{program_name});
}

// A run that printed an error exits with 1; a warning is no error.
TEST_F(program, posix_exit_status_tells_failure_from_success) {
    write_file(home / "good.vag", vag_file("good", 160, varied_blocks(10)));
    write_file(home / "odd.vag", vag_file("odd", 16, block(0x5C, 0, {0x12})));
    write_file(home / "bad.vag", bytes(48, 0));
    write_file(home / "big.vag", vag_file("big", 160000, varied_blocks(10000)));
    struct status_case {
        std::vector<std::string> arguments;
        std::uint64_t file_size_limit;
        int exit_status;
    };
    const status_case cases[] = {
        {{"good.vag"}, 0, 0},
        {{"odd.vag"}, 0, 0},
        {{"missing.vag"}, 0, 1},
        {{"bad.vag"}, 0, 1},
        {{"good.vag", "missing-dir"}, 0, 1},
        {{"big.vag"}, 4096, 1},
    };
    for (const status_case& c : cases) {
        const run_result result = mirnod(c.arguments, c.file_size_limit);
        EXPECT_EQ(result.exit_status, c.exit_status) << c.arguments[0] << ": " << result.output;
    }
}

}  // namespace
}  // namespace mirnod::test
