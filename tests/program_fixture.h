// The built program, copied into a scratch directory of its own and started from another one.
// Relative paths are taken from `home`: the program's directory on Windows, the directory it is
// started in elsewhere.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace mirnod::test {

namespace fs = std::filesystem;

inline const std::string banner = "mirnod ver.0.1a by ravoku.\n\n";
inline const std::string sep(1, platform::directory_separator);
inline const std::string program_name = fs::path(MIRNOD_EXECUTABLE).filename().string();

class program : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(bin);
        fs::create_directory(elsewhere);
        fs::copy_file(MIRNOD_EXECUTABLE, bin / program_name);
    }

    run_result mirnod(const std::vector<std::string>& arguments,
                      std::uint64_t file_size_limit = 0) {
        return run(bin / program_name, arguments, {elsewhere, file_size_limit});
    }

    // What a conversion into the default destination prints before its dots.
    std::string report(const std::string& name, const std::string& estimate) {
        return banner + "decode to " + home.string() + "\ndecoding " + name + ".wav (about " +
               estimate + " bytes)";
    }

    // `names` as files_in(home) lists them: with the program when it lives there.
    std::vector<std::string> home_holding(std::vector<std::string> names) const {
        if (home == bin) {
            names.push_back(program_name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Standard output as the program writes it on this system, line endings included.
    static std::string console(const std::string& text) { return console_text(text); }

    static std::vector<std::string> files_in(const fs::path& directory) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    scratch_directory scratch;
    fs::path bin = scratch.path / "bin";
    fs::path elsewhere = scratch.path / "elsewhere";
    fs::path home = paths_from_program_directory ? bin : elsewhere;
};

}  // namespace mirnod::test
