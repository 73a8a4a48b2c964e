// Running the program under test on Windows (also under Wine).
#include <windows.h>

#include "test_support.h"

namespace mirnod::test {

namespace fs = std::filesystem;

const char* const line_ending = "\r\n";
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

run_result run(const fs::path& program, const std::vector<std::string>& arguments,
               const run_options& options) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        return {"", -1};
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

    run_result result{"", -1};
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            result.output.append(buffer, got);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exit_code = 0;
        if (GetExitCodeProcess(process.hProcess, &exit_code)) {
            result.exit_status = static_cast<int>(exit_code);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(read_end);
    return result;
}

}  // namespace mirnod::test
