// Writing one accepted VAG input out as a 16-bit PCM RIFF WAVE file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace mirnod {

constexpr std::size_t wav_header_size = 44;
// Samples are gathered here and written out whenever it is full, one progress dot per write.
constexpr std::size_t sample_buffer_size = 1048576 + 2;

// The 44-byte WAVE header for integer PCM, 16 bits per sample, with both size fields set to
// describe a file with no samples yet; they are rewritten once the samples are out.
std::array<std::uint8_t, wav_header_size> wav_header_template(std::uint16_t channels,
                                                              std::uint32_t sample_rate);

// The output path: `destination` followed by the name's last path component, cut at its last
// full stop, with ".wav" appended.
std::string output_path_for(const std::string& destination, const std::string& name);

struct transcode_result {
    bool written;  // false when an error was printed and no WAVE file was made or kept
    // Decoded blocks whose filter or shift lies outside the table (see decode_block).
    std::uint32_t blocks_outside_table;
};

// Creates the WAVE file for `input` (open, accepted, at offset 0) in `destination`, decodes the
// blocks that `data_size` announces and that the file really holds, and fixes up the size fields.
// Every failure is printed; a file that could not be written completely is removed.
transcode_result transcode_to_wav(std::FILE* input, std::uint32_t data_size,
                                  const std::string& destination, const std::string& name);

}  // namespace mirnod
