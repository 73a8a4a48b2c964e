// make_vag: writes a VAG file for trying the converter out.
//
//   make_vag <out.vag> [--name NAME] [--rate HZ] [--seconds S] [--pcm FILE] [--repeat N]
//            [--data-size N]
//
// The sound is a few synthesised tones lasting S seconds (default 1), or the raw 16-bit
// little-endian mono PCM of FILE. --repeat writes the encoded blocks N times over, for large
// files made quickly. --data-size writes N into the header instead of the true size.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vag_encoder.h"

namespace {

struct options {
    std::string output;
    std::string name = "sample";
    std::uint32_t rate = 22050;
    double seconds = 1.0;
    std::string pcm_path;
    std::uint32_t repeat = 1;
    bool has_data_size = false;
    std::uint32_t data_size = 0;
};

int usage() {
    std::fputs(
        "usage: make_vag <out.vag> [--name NAME] [--rate HZ] [--seconds S] [--pcm FILE]"
        " [--repeat N] [--data-size N]\n",
        stderr);
    return 2;
}

bool parse(int argc, char** argv, options& parsed) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--name" && has_value) {
            parsed.name = argv[++i];
        } else if (argument == "--rate" && has_value) {
            parsed.rate = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (argument == "--seconds" && has_value) {
            parsed.seconds = std::strtod(argv[++i], nullptr);
        } else if (argument == "--pcm" && has_value) {
            parsed.pcm_path = argv[++i];
        } else if (argument == "--repeat" && has_value) {
            parsed.repeat = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (argument == "--data-size" && has_value) {
            parsed.has_data_size = true;
            parsed.data_size = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 0));
        } else if (parsed.output.empty() && argument.rfind("--", 0) != 0) {
            parsed.output = argument;
        } else {
            return false;
        }
    }
    return !parsed.output.empty() && parsed.repeat >= 1;
}

bool read_pcm(const std::string& path, std::vector<std::int16_t>& pcm) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    pcm.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    options parsed;
    if (!parse(argc, argv, parsed)) {
        return usage();
    }
    std::vector<std::int16_t> pcm;
    if (!parsed.pcm_path.empty()) {
        if (!read_pcm(parsed.pcm_path, pcm)) {
            std::fprintf(stderr, "make_vag: can't read %s\n", parsed.pcm_path.c_str());
            return 1;
        }
    } else {
        const auto count = static_cast<std::size_t>(parsed.seconds * parsed.rate);
        pcm = mirnod::fixture::synthesise_tones(count, parsed.rate);
    }
    const std::vector<std::uint8_t> blocks = mirnod::fixture::encode_blocks(pcm);
    const std::uint64_t true_size = std::uint64_t{blocks.size()} * parsed.repeat;
    const std::uint32_t data_size =
        parsed.has_data_size ? parsed.data_size : static_cast<std::uint32_t>(true_size);
    std::vector<std::uint8_t> file =
        mirnod::fixture::make_header(parsed.name, parsed.rate, data_size);
    file.reserve(file.size() + true_size);
    for (std::uint32_t i = 0; i < parsed.repeat; ++i) {
        file.insert(file.end(), blocks.begin(), blocks.end());
    }
    std::ofstream out(parsed.output, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_vag: can't write %s\n", parsed.output.c_str());
        return 1;
    }
    return 0;
}
