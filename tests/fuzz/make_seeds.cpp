// make_seeds <dir>: writes the fuzzer's starting corpus, made with the fixture encoder.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "vag_encoder.h"

namespace {

using bytes = std::vector<std::uint8_t>;

void write(const std::string& path, const bytes& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
}

bytes with_blocks(bytes file, const bytes& blocks) {
    file.insert(file.end(), blocks.begin(), blocks.end());
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_seeds <dir>\n", stderr);
        return 2;
    }
    using namespace mirnod::fixture;
    const std::string dir = std::string(argv[1]) + "/";
    const auto tones = synthesise_tones(28 * 12, 22050);
    write(dir + "tones.vag", make_vag("tones.vag", 22050, tones));
    write(dir + "header_only.vag", make_header("zero", 44100, 0));
    bytes end_block(16, 0);
    end_block[1] = 7;
    write(dir + "end_block.vag", with_blocks(make_header("end", 8000, 16), end_block));
    write(dir + "empty_blocks.vag", with_blocks(make_header("empty", 8000, 48), bytes(48, 0)));
    write(dir + "liar.vag",
          with_blocks(make_header("liar", 22050, 0x24924930), encode_blocks(tones)));
    write(dir + "escape.vag", make_vag("..\\../x.vag", 11025, tones));
    write(dir + "long_name.vag", make_vag("ABCDEFGHIJKLMNOP", 96000, tones));
    bytes every_header_byte;
    for (int b = 0; b < 256; ++b) {
        bytes block(16, 0x5A);
        block[0] = static_cast<std::uint8_t>(b);
        block[1] = 0;
        every_header_byte.insert(every_header_byte.end(), block.begin(), block.end());
    }
    write(dir + "every_filter_and_shift.vag",
          with_blocks(make_header("all", 44100, 256 * 16), every_header_byte));
    return 0;
}
