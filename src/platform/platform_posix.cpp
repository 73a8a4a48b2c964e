// POSIX implementation of the platform layer (Linux and the like).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mirnod::platform {

const char directory_separator = '/';
// A backslash is kept as a separator here too: names written on Windows use it.
const char* const name_separators = "\\/";

std::string executable_path() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return std::string();
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);  // the path may have been cut: try again with more room
    }
}

bool set_working_directory(const std::string& directory) {
    return chdir(directory.c_str()) == 0;
}

std::string working_directory() {
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

namespace {

bool is_same_file(int first, int second) {
    struct stat first_status;
    struct stat second_status;
    if (fstat(first, &first_status) != 0 || fstat(second, &second_status) != 0) {
        return true;  // cannot tell: take the safe side and leave the file alone
    }
    return first_status.st_dev == second_status.st_dev &&
           first_status.st_ino == second_status.st_ino;
}

// Empties the file unless it already is empty. A truncation that changes nothing is skipped on
// purpose: some file systems (ext4) take any truncation to zero as a file being replaced, and then
// write all of its new data out to disk when it is closed, which makes closing a new file slow.
bool make_empty(int descriptor) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) {
        return false;
    }
    return status.st_size == 0 || ftruncate(descriptor, 0) == 0;
}

bool is_directory(int descriptor) {
    struct stat status;
    return fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::FILE* open_input(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr && is_directory(fileno(file))) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

std::FILE* create_output(const std::string& path, std::FILE* input) {
    // POSIX has no sharing modes, so the file is opened without truncation first and compared
    // with the input; only a file that is not the input is emptied.
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    if (is_same_file(descriptor, fileno(input)) || !make_empty(descriptor)) {
        close(descriptor);
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        close(descriptor);
    }
    return file;
}

}  // namespace mirnod::platform
