// The thin layer over the operating system. Everything else in the program is portable C++;
// each operating system has one implementation file of this header, chosen by the build.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace mirnod::platform {

// The byte that separates directories in the paths this system takes and shows.
extern const char directory_separator;

// Bytes that end a directory part inside a VAG header's name field. Everything up to the last of
// them is dropped, so that a name can never place the output outside its destination.
extern const char* const name_separators;

// How this system's users expect a command-line program to behave. The conversion itself, and
// every message, is the same everywhere; these are the only differences.

// Sets the working directory up for the run. On Windows the program works from its own directory,
// so relative paths, and the default destination, are taken from beside the program; elsewhere
// the directory the program was started in is kept.
void prepare_working_directory();

// The encoding of the Japanese usage lines on this system's console.
enum class text_encoding { shift_jis, utf8 };
extern const text_encoding console_encoding;

// Whether a first argument of "--help", "-h" or "--version" is an option rather than a path.
extern const bool takes_options;

// The exit status of a run that printed an error message (every other run exits with 0).
extern const int failure_exit_status;

// The working directory as an absolute path, without a trailing separator except at a root; an
// empty string when the system cannot tell.
std::string working_directory();

// Opens `path` for binary reading, letting others read the file but not write it while it is open
// (on POSIX: a shared advisory lock, which other runs of this program respect). Returns nullptr
// when the file cannot be opened, is not a file (a directory, say), or is being written as
// another run's output.
std::FILE* open_input(const std::string& path);

// Creates or replaces `path` for binary writing, held exclusively until it is closed (on POSIX:
// an exclusive advisory lock, taken before anything is truncated). Returns nullptr, leaving the
// file untouched, when it cannot be created, when it is the file open as `input`, or when another
// opener holds it.
std::FILE* create_output(const std::string& path, std::FILE* input);

// Removes a file this program created; false when the system refuses.
inline bool remove_file(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

// Writes bytes to standard output and makes them visible at once. Standard output is a text
// stream: on Windows each line feed goes out as CR LF; other bytes go out unchanged.
inline void write_console(const char* bytes, std::size_t count) {
    std::fwrite(bytes, 1, count, stdout);
    std::fflush(stdout);
}

inline void write_console(const std::string& text) {
    write_console(text.data(), text.size());
}

}  // namespace mirnod::platform
