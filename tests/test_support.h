// Helpers shared by the test suites: scratch directories, whole-file reads and writes, VAG
// fixtures and running the built program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mirnod::test {

using bytes = std::vector<std::uint8_t>;

// A fresh, empty directory under the system's temporary directory, removed by the destructor.
struct scratch_directory {
    scratch_directory();
    ~scratch_directory();
    scratch_directory(const scratch_directory&) = delete;
    scratch_directory& operator=(const scratch_directory&) = delete;
    std::filesystem::path path;
};

void write_file(const std::filesystem::path& path, const bytes& content);
bytes read_file(const std::filesystem::path& path);

// 16 bytes: the block with the given first two bytes and the nibble bytes 2 to 15.
bytes block(std::uint8_t filter_shift, std::uint8_t flag, std::vector<std::uint8_t> nibbles = {});

// A VAG file holding `blocks` after a header with this name, rate and data size.
bytes vag_file(const std::string& name, std::uint32_t data_size, const bytes& blocks,
               std::uint32_t sample_rate = 22050);

// `count` blocks of varied, never empty content with every filter and every shift in the table.
bytes varied_blocks(std::size_t count, std::uint32_t seed = 1);

std::uint32_t little_endian_32(const bytes& data, std::size_t offset);

// The WAVE file the program must make of this VAG file: every whole block it holds, up to the
// header's data size, decoded by the plain reference decoder.
bytes expected_wav(const bytes& vag);

// The samples a WAVE file holds after its 44-byte header.
std::vector<std::int16_t> wav_samples(const bytes& wav);

// What the program writes for a line feed on standard output: CR LF on Windows.
extern const char* const line_ending;
// `text` with its line feeds as the program writes them.
std::string console_text(const std::string& text);

// Whether relative paths on the program's command line are taken from the program's own directory
// (Windows) rather than from the directory it is started in.
extern const bool paths_from_program_directory;

// The exit status of a run that printed an error message.
extern const int error_exit_status;

// Whether run() can hold the program to a file-size limit on this system.
extern const bool can_limit_file_size;

struct run_result {
    std::string output;  // everything written to standard output
    int exit_status;     // -1 when the program did not exit normally
};

struct run_options {
    std::filesystem::path working_directory;
    // A limit on the size of files the program writes, in bytes; 0 for none. SIGXFSZ is ignored
    // so that writes past it fail instead of killing the program.
    std::uint64_t file_size_limit = 0;
};

// A program started and not yet finished; its standard output is read through a pipe.
struct started_program {
    std::intptr_t process = -1;  // the process id (POSIX) or handle (Windows)
    std::intptr_t thread = -1;   // the main thread's handle (Windows)
    std::intptr_t output = -1;   // the read end of the pipe
    std::string output_so_far;
};

started_program start(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments, const run_options& options);

// Appends what the program's output holds next to output_so_far; false at its end.
bool read_more(started_program& started);

// Reads the program's output until it holds `text`; false when the output ended first.
bool read_until(started_program& started, const std::string& text);

// Stops the program where it stands, and lets it go on.
void pause(started_program& started);
void resume(started_program& started);

// Reads the rest of the output and waits for the program to end.
run_result finish(started_program& started);

inline run_result run(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments, const run_options& options) {
    started_program started = start(program, arguments, options);
    return finish(started);
}

}  // namespace mirnod::test
