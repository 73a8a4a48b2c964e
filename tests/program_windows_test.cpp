// What only the Windows program does: drive letters, backslash destinations, exclusive output.
#include <gtest/gtest.h>

#include <cstdio>

#include "program_fixture.h"

namespace mirnod::test {
namespace {

TEST_F(program, without_arguments_prints_the_usage_in_shift_jis) {
    const std::string usage =
        "Usage : mirnod <file_name> [dest_path]\n"
        "  file_name   vag"
        "\x82\xcc\x8f\xea\x8f\x8a"
        ".\n"
        "  dest_path"
        "\x81\x40 \x8f\x6f\x97\xcd\x90\xe6.(\x8f\xc8\x97\xaa\x89\xc2\x94\x5c"
        ")\n"
        "  /?          "
        "\x82\xb1\x82\xea\x82\xf0\x95\x5c\x8e\xa6"
        ".\n";
    const run_result result = mirnod({});
    EXPECT_EQ(result.output, console(banner + usage));
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(files_in(home), std::vector<std::string>{program_name});
}

// The Windows program takes no options: these are file names like any other.
TEST_F(program, windows_takes_no_options) {
    for (const std::string option : {"--help", "-h", "--version"}) {
        const run_result result = mirnod({option});
        EXPECT_EQ(result.output, console(banner + "error : can't open file (" + option + ").\n"));
        EXPECT_EQ(result.exit_status, 0);
    }
}

TEST_F(program, windows_destinations_get_a_backslash) {
    write_file(home / "in.vag", vag_file("name", 160, varied_blocks(10)));
    fs::create_directory(home / "out");
    // The build directory is on the host's drive Z: under Wine, the scratch directory on C:.
    const fs::path other_drive = fs::path(MIRNOD_EXECUTABLE).parent_path() / "z-destination";
    fs::create_directories(other_drive);
    const std::string other_drive_text = other_drive.lexically_normal().make_preferred().string();
    struct destination_case {
        std::string argument;
        std::string shown;
        fs::path output;
    };
    const destination_case cases[] = {
        {"out/", "out/\\", home / "out" / "name.wav"},
        {"C:", "C:\\", "C:\\name.wav"},
        {other_drive_text, other_drive_text + "\\", other_drive / "name.wav"},
    };
    for (const destination_case& c : cases) {
        const run_result result = mirnod({"in.vag", c.argument});
        EXPECT_EQ(result.output, console(banner + "decode to " + c.shown +
                                         "\ndecoding name.wav (about 604 bytes).done.\n"));
        EXPECT_EQ(fs::file_size(c.output), 604u) << c.output;
        fs::remove(c.output);
    }
    fs::remove_all(other_drive);
}

TEST_F(program, windows_drive_root_keeps_its_backslash) {
    const fs::path root_program = "C:\\mirnod-root-test.exe";
    fs::copy_file(bin / program_name, root_program, fs::copy_options::overwrite_existing);
    write_file("C:\\mirnod-root-test.vag", vag_file("mirnod-root-test", 0, {}));
    const run_result result = run(root_program, {"mirnod-root-test.vag"}, {elsewhere});
    EXPECT_EQ(result.output, console(banner + "decode to C:\\\ndecoding mirnod-root-test.wav"
                                              " (about 44 bytes)done.\n"));
    EXPECT_EQ(fs::file_size("C:\\mirnod-root-test.wav"), 44u);
    for (const char* leftover :
         {"C:\\mirnod-root-test.exe", "C:\\mirnod-root-test.vag", "C:\\mirnod-root-test.wav"}) {
        fs::remove(leftover);
    }
}

TEST_F(program, windows_name_field_cannot_name_a_drive) {
    write_file(home / "in.vag", vag_file("C:evil.vag", 160, varied_blocks(10)));
    fs::create_directory(home / "out");
    const run_result result = mirnod({"in.vag", "out"});
    EXPECT_TRUE(result.output.ends_with(console(".done.\n"))) << result.output;
    EXPECT_EQ(files_in(home / "out"), std::vector<std::string>{"evil.wav"});
    EXPECT_FALSE(fs::exists("C:\\evil.wav"));
}

// The output is opened exclusively: while anyone else has it open it cannot be replaced.
TEST_F(program, windows_output_open_elsewhere_is_left_alone) {
    write_file(home / "in.vag", vag_file("busy", 160, varied_blocks(10)));
    const bytes old_content = {'o', 'l', 'd'};
    write_file(home / "busy.wav", old_content);
    std::FILE* reader = std::fopen((home / "busy.wav").string().c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    const run_result result = mirnod({"in.vag"});
    std::fclose(reader);
    EXPECT_EQ(result.output,
              console(report("busy", "604") + "\nerror : can't create file. (busy.wav)done.\n"));
    EXPECT_EQ(read_file(home / "busy.wav"), old_content);
}

}  // namespace
}  // namespace mirnod::test
