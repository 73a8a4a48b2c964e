#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "reference_decoder.h"
#include "vag/vag_format.h"
#include "vag_encoder.h"
#include "wav/wav_writer.h"

namespace mirnod::test {

namespace fs = std::filesystem;

scratch_directory::scratch_directory() {
    std::random_device entropy;
    for (;;) {
        path = fs::temp_directory_path() / ("mirnod-test-" + std::to_string(entropy()));
        if (fs::create_directory(path)) {
            break;
        }
    }
    path = fs::canonical(path);
}

scratch_directory::~scratch_directory() {
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

void write_file(const fs::path& path, const bytes& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
}

bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bytes block(std::uint8_t filter_shift, std::uint8_t flag, std::vector<std::uint8_t> nibbles) {
    bytes result(16, 0);
    result[0] = filter_shift;
    result[1] = flag;
    for (std::size_t i = 0; i < nibbles.size() && i < 14; ++i) {
        result[2 + i] = nibbles[i];
    }
    return result;
}

bytes vag_file(const std::string& name, std::uint32_t data_size, const bytes& blocks,
               std::uint32_t sample_rate) {
    bytes file = fixture::make_header(name, sample_rate, data_size);
    file.insert(file.end(), blocks.begin(), blocks.end());
    return file;
}

bytes varied_blocks(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    bytes result(count * 16);
    for (std::size_t b = 0; b < count; ++b) {
        std::uint8_t* at = result.data() + b * 16;
        at[0] = static_cast<std::uint8_t>((random() % 5) << 4 | random() % 13);
        at[1] = static_cast<std::uint8_t>(random() % 7);
        for (int i = 2; i < 16; ++i) {
            at[i] = static_cast<std::uint8_t>(random());
        }
        at[2] |= 1;  // never an empty block
    }
    return result;
}

std::uint32_t little_endian_32(const bytes& data, std::size_t offset) {
    return static_cast<std::uint32_t>(data.at(offset)) |
           static_cast<std::uint32_t>(data.at(offset + 1)) << 8 |
           static_cast<std::uint32_t>(data.at(offset + 2)) << 16 |
           static_cast<std::uint32_t>(data.at(offset + 3)) << 24;
}

bytes expected_wav(const bytes& vag) {
    vag_header header;
    std::copy_n(vag.begin(), vag_header_size, header.bytes.begin());
    const std::size_t present = (vag.size() - vag_header_size) / vag_block_size;
    const std::size_t blocks =
        std::min<std::size_t>(block_count_for(header_data_size(header)), present);
    const std::vector<std::int16_t> samples =
        reference_samples(vag.data() + vag_header_size, blocks * vag_block_size);
    const auto template_bytes =
        wav_header_template(header_channel_count(header), header_sample_rate(header));
    bytes wav(template_bytes.begin(), template_bytes.end());
    for (const std::int16_t sample : samples) {
        wav.push_back(static_cast<std::uint8_t>(sample));
        wav.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(sample) >> 8));
    }
    const auto length = static_cast<std::uint32_t>(wav.size());
    for (const std::size_t at : {std::size_t{4}, std::size_t{40}}) {
        const std::uint32_t value = length - static_cast<std::uint32_t>(at == 4 ? 8 : 44);
        for (int i = 0; i < 4; ++i) {
            wav[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    return wav;
}

std::vector<std::int16_t> wav_samples(const bytes& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
        samples.push_back(static_cast<std::int16_t>(wav[i] | wav[i + 1] << 8));
    }
    return samples;
}

bool read_until(started_program& started, const std::string& text) {
    while (started.output_so_far.find(text) == std::string::npos) {
        if (!read_more(started)) {
            return false;
        }
    }
    return true;
}

std::string console_text(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c == '\n') {
            result += line_ending;
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace mirnod::test
