// The VAG file as this program reads it: a 48-byte header, then 16-byte ADPCM blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mirnod {

constexpr std::size_t vag_header_size = 48;
constexpr std::size_t vag_block_size = 16;
constexpr std::size_t vag_name_size = 16;

// The header exactly as it stands at offset 0 of the file. Multi-byte fields are big-endian.
struct vag_header {
    std::array<std::uint8_t, vag_header_size> bytes{};
};

// A header is supported when all 48 bytes were read, it starts with "VAGp", its channel byte
// (offset 30) is 0 or 1 and the byte after it is 0. Nothing else in it is checked.
bool is_supported_header(const std::uint8_t* bytes, std::size_t bytes_read);

std::uint32_t read_big_endian_32(const std::uint8_t* bytes);

// Bytes of ADPCM blocks announced after the header; may disagree with the file's length.
std::uint32_t header_data_size(const vag_header& header);
std::uint32_t header_sample_rate(const vag_header& header);
// The channel byte stores 0 for mono as well as 1.
std::uint16_t header_channel_count(const vag_header& header);
// The name field up to its first NUL; all 16 bytes when it has none.
std::string header_name(const vag_header& header);

// Whole blocks announced by a data size; a remainder of up to 15 bytes is ignored.
constexpr std::uint32_t block_count_for(std::uint32_t data_size) {
    return data_size / vag_block_size;
}

}  // namespace mirnod
