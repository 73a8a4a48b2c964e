#include "vag/vag_format.h"

#include <cstring>

namespace mirnod {

namespace {
constexpr std::size_t magic_offset = 0;
constexpr std::size_t data_size_offset = 12;
constexpr std::size_t sample_rate_offset = 16;
constexpr std::size_t channel_offset = 30;
constexpr std::size_t reserved_offset = 31;
constexpr std::size_t name_offset = 32;
}  // namespace

bool is_supported_header(const std::uint8_t* bytes, std::size_t bytes_read) {
    if (bytes_read < vag_header_size) {
        return false;
    }
    return std::memcmp(bytes + magic_offset, "VAGp", 4) == 0 && bytes[channel_offset] <= 1 &&
           bytes[reserved_offset] == 0;
}

std::uint32_t read_big_endian_32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

std::uint32_t header_data_size(const vag_header& header) {
    return read_big_endian_32(header.bytes.data() + data_size_offset);
}

std::uint32_t header_sample_rate(const vag_header& header) {
    return read_big_endian_32(header.bytes.data() + sample_rate_offset);
}

std::uint16_t header_channel_count(const vag_header& header) {
    const std::uint8_t channel_byte = header.bytes[channel_offset];
    return channel_byte == 0 ? 1 : channel_byte;
}

std::string header_name(const vag_header& header) {
    const char* field = reinterpret_cast<const char*>(header.bytes.data() + name_offset);
    std::size_t length = 0;
    while (length < vag_name_size && field[length] != '\0') {
        ++length;
    }
    return std::string(field, length);
}

}  // namespace mirnod
