// libFuzzer target: any bytes as a VAG file, through the real conversion path, from the header
// check to the finished WAVE file. After every input it checks what the program promises:
// - the input file is unchanged, and nothing appears outside the destination directory;
// - a refused header leaves the destination empty;
// - an accepted one leaves exactly one file there, named from the header, whose size fields
//   agree with its length and whose samples are those of the plain reference decoder for the
//   whole blocks the input really holds (56 bytes for every one that is not empty);
// - the console warns about blocks outside the filter table exactly when the reference counts
//   some, and gives their number;
// - on every sixteenth input, the multi-chain decoder, with each kernel this machine runs in turn,
//   gives the reference's samples and final history on a stream long enough for its lanes, made
//   from the input's bytes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/convert.h"
#include "reference_decoder.h"
#include "vag/multichain.h"
#include "vag/vag_format.h"
#include "wav/wav_writer.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;

fs::path root;
fs::path input_path;
fs::path destination;
fs::path console_path;

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bytes read_file(const fs::path& path) {
    bytes content(fs::file_size(path));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return content;
}

std::uint32_t le32(const bytes& data, std::size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | std::uint32_t{data[at + 3]} << 24;
}

std::vector<std::string> names_in(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string read_console() {
    std::fflush(stdout);
    std::ifstream in(console_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The report must end with the dots, the warning when the reference counts blocks outside the
// table, and "done.". (The name field printed earlier may hold any text, a warning's included.)
void check_warning(const std::uint8_t* blocks, std::size_t size) {
    const std::size_t outside = mirnod::test::reference_blocks_outside_table(blocks, size);
    const std::string warning =
        outside == 0 ? std::string()
                     : "\nwarning : " + mirnod::format_grouped(static_cast<std::int32_t>(outside)) +
                           " blocks use a filter or shift outside the table; they were decoded "
                           "without prediction.\n";
    const std::string tail = warning + "done.\n";
    const std::string console = read_console();
    check(console.size() > tail.size() &&
              console.compare(console.size() - tail.size(), tail.size(), tail) == 0,
          "the report does not end with the right warning and done.");
    const char before = console[console.size() - tail.size() - 1];
    check(before == '.' || before == ')', "the warning is not where it belongs");
}

void check_output(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> outputs = names_in(destination);
    if (!mirnod::is_supported_header(data, size)) {
        check(outputs.empty(), "a refused input left a file");
        return;
    }
    mirnod::vag_header header;
    std::copy_n(data, mirnod::vag_header_size, header.bytes.begin());
    check(outputs.size() == 1, "an accepted input did not leave exactly one file");
    check(outputs[0] == mirnod::output_path_for("", mirnod::header_name(header)),
          "the file is not named from the header");

    const std::size_t announced = mirnod::block_count_for(mirnod::header_data_size(header));
    const std::size_t present = std::min(announced, (size - 48) / 16);
    const std::vector<std::int16_t> expected =
        mirnod::test::reference_samples(data + 48, present * 16);
    const bytes wav = read_file(destination / outputs[0]);
    check(wav.size() == 44 + expected.size() * 2, "the data is not 56 bytes per block");
    check(le32(wav, 4) == wav.size() - 8, "the RIFF size disagrees with the length");
    check(le32(wav, 40) == wav.size() - 44, "the data size disagrees with the length");
    check(le32(wav, 24) == mirnod::header_sample_rate(header), "the sample rate is wrong");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto sample = static_cast<std::int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
        check(sample == expected[i], "a sample differs from the reference decoder");
    }
    check_warning(data + 48, present * 16);
    fs::remove(destination / outputs[0]);
}

// The input's bytes as blocks, repeated with a twist each time round until there are enough for
// the lanes, empty blocks left out (the transcoding loop never hands those on).
bytes long_stream(const std::uint8_t* data, std::size_t size) {
    bytes blocks;
    const std::size_t whole = size / 16;
    const std::size_t wanted = 2048 + size % 97;
    for (std::size_t b = 0; whole > 0 && blocks.size() / 16 < wanted; ++b) {
        std::uint8_t block[16];
        std::copy_n(data + (b % whole) * 16, 16, block);
        block[2] ^= static_cast<std::uint8_t>(b / whole);
        if (std::all_of(block, block + 16, [](std::uint8_t x) { return x == 0; })) {
            block[2] = 1;
        }
        blocks.insert(blocks.end(), block, block + 16);
    }
    return blocks;
}

void check_fast_path(const std::uint8_t* data, std::size_t size) {
    const bytes blocks = long_stream(data, size);
    const std::size_t count = blocks.size() / 16;
    if (count == 0) {
        return;
    }
    std::vector<std::int16_t> expected(count * mirnod::samples_per_block, 0);
    mirnod::decoder_history plain;
    for (std::size_t b = 0; b < count; ++b) {
        if (blocks[b * 16 + 1] != mirnod::end_block_flag) {
            mirnod::test::reference_decode_block(&blocks[b * 16],
                                                 &expected[b * mirnod::samples_per_block], plain);
        }
    }
    // One kernel per input, in turn, keeps the fuzzer quick.
    static unsigned turn = 0;
    const auto kernel = static_cast<mirnod::lane_kernel>(turn++ % 3);
    if (!mirnod::use_lane_kernel(kernel)) {
        return;
    }
    std::vector<std::int16_t> got(expected.size());
    std::vector<mirnod::decoder_history> recorded(count);
    mirnod::decoder_history fast;
    mirnod::decode_stretch(blocks.data(), count, got.data(), fast, recorded.data());
    mirnod::use_lane_kernel(mirnod::best_lane_kernel());
    check(got == expected, "the multi-chain decoder differs from the reference");
    check(std::memcmp(&fast, &plain, sizeof fast) == 0,
          "the multi-chain decoder ends with another history");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    root = base / ("mirnod-fuzz-" + std::to_string(getpid()));
    input_path = root / "in.vag";
    destination = root / "out";
    fs::remove_all(root);
    fs::create_directories(destination);
    // The console goes to a file, emptied before every input, for the warning's check.
    console_path = base / ("mirnod-fuzz-console-" + std::to_string(getpid()));
    const int console = open(console_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(console, STDOUT_FILENO);
    close(console);
    std::atexit([] {
        fs::remove_all(root);
        fs::remove(console_path);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::fflush(stdout);
    if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) {
        check(false, "the console file cannot be emptied");
    }
    {
        std::ofstream out(input_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    mirnod::convert_file(input_path.string(), destination.string() + "/");
    check(read_file(input_path) == bytes(data, data + size), "the input changed");
    check(names_in(root) == std::vector<std::string>{"in.vag", "out"},
          "something was written outside the destination");
    check_output(data, size);
    // The long stream costs far more than the conversion: check one input in sixteen, so that the
    // conversion path still gets most of the fuzzer's time.
    static unsigned input_number = 0;
    if (++input_number % 16 == 0) {
        check_fast_path(data, size);
    }
    return 0;
}
