// Running the program under test on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "test_support.h"

namespace mirnod::test {

namespace fs = std::filesystem;

const char* const line_ending = "\n";
const bool paths_from_program_directory = false;
const int error_exit_status = 1;
const bool can_limit_file_size = true;

namespace {

[[noreturn]] void exec_child(const fs::path& program, const std::vector<std::string>& arguments,
                             const run_options& options, int output) {
    dup2(output, STDOUT_FILENO);
    if (chdir(options.working_directory.c_str()) != 0) {
        _exit(126);
    }
    if (options.file_size_limit != 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{options.file_size_limit, options.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    std::string program_name = program.string();
    argv.push_back(program_name.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    execv(program_name.c_str(), argv.data());
    _exit(127);
}

}  // namespace

started_program start(const fs::path& program, const std::vector<std::string>& arguments,
                      const run_options& options) {
    int pipe_ends[2];
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        exec_child(program, arguments, options, pipe_ends[1]);
    }
    close(pipe_ends[1]);
    started_program started;
    started.process = child;
    started.output = pipe_ends[0];
    return started;
}

bool read_more(started_program& started) {
    char buffer[4096];
    ssize_t got;
    do {
        got = read(static_cast<int>(started.output), buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return false;
    }
    started.output_so_far.append(buffer, static_cast<std::size_t>(got));
    return true;
}

void pause(started_program& started) {
    kill(static_cast<pid_t>(started.process), SIGSTOP);
}

void resume(started_program& started) {
    kill(static_cast<pid_t>(started.process), SIGCONT);
}

run_result finish(started_program& started) {
    run_result result{"", -1};
    if (started.output < 0) {
        return result;
    }
    while (read_more(started)) {
    }
    close(static_cast<int>(started.output));
    started.output = -1;
    result.output = std::move(started.output_so_far);
    int status = 0;
    const auto child = static_cast<pid_t>(started.process);
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace mirnod::test
