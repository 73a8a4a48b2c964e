// Windows implementation of the platform layer, on the narrow (ANSI) interfaces throughout:
// paths are passed on in the system's code page exactly as they came from the command line.
#include <share.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace mirnod::platform {

const char directory_separator = '\\';
// A drive letter ends a directory part as well ("C:x" is x in C:'s working directory).
const char* const name_separators = "\\/:";

namespace {
// The buffer sizes the system's narrow interfaces are known by.
constexpr DWORD executable_path_size = MAX_PATH;
constexpr DWORD working_directory_size = 512;

// The full path of the running executable, or an empty string when it does not fit the buffer.
std::string executable_path() {
    char buffer[executable_path_size];
    const DWORD length = GetModuleFileNameA(nullptr, buffer, executable_path_size);
    if (length == 0 || length >= executable_path_size) {
        return std::string();  // failed, or cut short
    }
    return std::string(buffer, length);
}

}  // namespace

// The program works from its own directory: relative paths on the command line are taken from
// there. Any failure leaves the working directory alone, silently.
void prepare_working_directory() {
    std::string path = executable_path();
    const std::size_t last_separator = path.rfind(directory_separator);
    if (last_separator == std::string::npos) {
        return;
    }
    path.resize(last_separator + 1);
    SetCurrentDirectoryA(path.c_str());
}

// The Windows console program keeps to its original conventions: Shift_JIS text, no options, and
// exit status 0 after every run.
const text_encoding console_encoding = text_encoding::shift_jis;
const bool takes_options = false;
const int failure_exit_status = 0;

std::string working_directory() {
    char buffer[working_directory_size];
    const DWORD length = GetCurrentDirectoryA(working_directory_size, buffer);
    if (length == 0 || length >= working_directory_size) {
        return std::string();
    }
    // The system keeps the trailing backslash at a drive root (C:\) and nowhere else.
    return std::string(buffer, length);
}

std::FILE* open_input(const std::string& path) {
    return _fsopen(path.c_str(), "rb", _SH_DENYWR);
}

std::FILE* create_output(const std::string& path, std::FILE*) {
    // No other opener may read or write the file meanwhile. The input is open without write
    // sharing, so an output path that names it fails here, before anything is truncated.
    return _fsopen(path.c_str(), "wb", _SH_DENYRW);
}

}  // namespace mirnod::platform
