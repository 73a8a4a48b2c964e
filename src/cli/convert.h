// The program's front end: the per-file driver and the pieces of the console report.
#pragma once

#include <cstdint>
#include <string>

namespace mirnod {

// Turns the optional destination argument into the destination directory string: empty (the
// working directory) or a path ending in the directory separator.
std::string normalise_destination(const std::string& argument);

// The directory shown on the "decode to" line: the destination when one is given, otherwise the
// working directory.
std::string display_directory(const std::string& destination);

// Opens and accepts the VAG file at `path`, reports what will be written, converts it into
// `destination` and reports the outcome. Every outcome is printed; the result only says whether
// an error message was among it (false), for the exit status.
bool convert_file(const std::string& path, const std::string& destination);

// The number in decimal with a comma between groups of three digits: -2,147,483,648.
std::string format_grouped(std::int32_t value);

// The whole program: banner, working directory, usage (or an option, where the system takes
// them) or one conversion. Returns the exit status.
int run_program(int argc, char** argv);

}  // namespace mirnod
