// Running the program under test on Windows (also under Wine).
#include <windows.h>

#include "test_support.h"

namespace mirnod::test {

namespace fs = std::filesystem;

const char* const line_ending = "\r\n";
const bool paths_from_program_directory = true;
const int error_exit_status = 0;
const bool can_limit_file_size = false;

namespace {

// Quotes one argument so that the C runtime's command-line parser gives it back unchanged.
std::string quote_argument(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

}  // namespace

started_program start(const fs::path& program, const std::vector<std::string>& arguments,
                      const run_options& options) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        return {};
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

    std::string command = quote_argument(program.string());
    for (const std::string& argument : arguments) {
        command += " " + quote_argument(argument);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    const std::string directory = options.working_directory.string();
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        directory.c_str(), &startup, &process);
    CloseHandle(write_end);
    if (!started) {
        CloseHandle(read_end);
        return {};
    }
    started_program result;
    result.process = reinterpret_cast<std::intptr_t>(process.hProcess);
    result.thread = reinterpret_cast<std::intptr_t>(process.hThread);
    result.output = reinterpret_cast<std::intptr_t>(read_end);
    return result;
}

namespace {

HANDLE handle_of(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

bool read_more(started_program& started) {
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(handle_of(started.output), buffer, sizeof buffer, &got, nullptr) || got == 0) {
        return false;
    }
    started.output_so_far.append(buffer, got);
    return true;
}

// The program has one thread: stopping it stops the program.
void pause(started_program& started) {
    SuspendThread(handle_of(started.thread));
}

void resume(started_program& started) {
    ResumeThread(handle_of(started.thread));
}

run_result finish(started_program& started) {
    run_result result{"", -1};
    if (started.output == -1) {
        return result;
    }
    while (read_more(started)) {
    }
    CloseHandle(handle_of(started.output));
    started.output = -1;
    result.output = std::move(started.output_so_far);
    WaitForSingleObject(handle_of(started.process), INFINITE);
    DWORD exit_code = 0;
    if (GetExitCodeProcess(handle_of(started.process), &exit_code)) {
        result.exit_status = static_cast<int>(exit_code);
    }
    CloseHandle(handle_of(started.process));
    CloseHandle(handle_of(started.thread));
    return result;
}

}  // namespace mirnod::test
