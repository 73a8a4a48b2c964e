// Running the program under test on POSIX systems.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace mirnod::test {

namespace fs = std::filesystem;

const char* const line_ending = "\n";
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

run_result run(const fs::path& program, const std::vector<std::string>& arguments,
               const run_options& options) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        return {"", -1};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_ends[0]);
        exec_child(program, arguments, options, pipe_ends[1]);
    }
    close(pipe_ends[1]);
    run_result result{"", -1};
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipe_ends[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace mirnod::test
