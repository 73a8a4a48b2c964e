// POSIX implementation of the platform layer (Linux and the like).
#include <fcntl.h>
#include <sys/file.h>
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

// Linux users expect paths taken from where they are, UTF-8 text, --help, and a status that a
// script can test.
void prepare_working_directory() {}

const text_encoding console_encoding = text_encoding::utf8;
const bool takes_options = true;
const int failure_exit_status = 1;

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

// Takes an advisory lock (LOCK_SH or LOCK_EX) without waiting. Only a lock that another opener
// holds counts as a refusal: on a file system that cannot lock at all the file is used unguarded,
// as every program on it has to.
bool try_lock(int descriptor, int kind) {
    while (flock(descriptor, kind | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return false;
        }
        if (errno != EINTR) {
            return true;
        }
    }
    return true;
}

// Whether `path` still names the file open as `descriptor`: another run may have removed the
// file, or put a new one in its place, between our open and our lock.
bool still_named(const std::string& path, int descriptor) {
    struct stat named;
    struct stat held;
    return stat(path.c_str(), &named) == 0 && fstat(descriptor, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

enum class create_outcome { created, refused, retry };

// One attempt at taking `path` as this run's output, without harming what is there when it is
// refused.
create_outcome try_create(const std::string& path, std::FILE* input, int& descriptor) {
    descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return create_outcome::refused;
    }
    // The input itself (under any name), or a file another run reads or writes right now.
    if (is_same_file(descriptor, fileno(input)) || !try_lock(descriptor, LOCK_EX)) {
        close(descriptor);
        return create_outcome::refused;
    }
    if (!still_named(path, descriptor)) {
        close(descriptor);
        return create_outcome::retry;
    }
    if (!make_empty(descriptor)) {
        close(descriptor);
        return create_outcome::refused;
    }
    return create_outcome::created;
}

}  // namespace

std::FILE* open_input(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return nullptr;
    }
    // Held until the file is closed, so that no other run can take this file as its output
    // meanwhile, and so that a file another run is still writing is not read half-made.
    if (is_directory(fileno(file)) || !try_lock(fileno(file), LOCK_SH)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

std::FILE* create_output(const std::string& path, std::FILE* input) {
    // POSIX has no sharing modes. In their place the file is opened without truncation, checked
    // against the input, and locked exclusively; only then is it emptied. The lock lasts until the
    // file is closed, so two runs aiming at one name never write into the same file.
    constexpr int attempts = 3;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        int descriptor = -1;
        switch (try_create(path, input, descriptor)) {
            case create_outcome::refused:
                return nullptr;
            case create_outcome::retry:
                continue;
            case create_outcome::created:
                std::FILE* file = fdopen(descriptor, "wb");
                if (file == nullptr) {
                    close(descriptor);
                }
                return file;
        }
    }
    return nullptr;
}

}  // namespace mirnod::platform
