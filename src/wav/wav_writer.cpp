#include "wav/wav_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "vag/adpcm_decoder.h"
#include "vag/multichain.h"
#include "vag/vag_format.h"

namespace mirnod {

namespace {

constexpr std::size_t riff_size_offset = 4;
constexpr std::size_t data_size_offset = 40;
// Blocks read from the input, and decoded side by side, at a time; a short read means the input
// ends there.
constexpr std::size_t blocks_per_read = stretch_blocks;
// The longest file whose RIFF size field (length - 8) still fits in 32 bits.
constexpr std::uint64_t max_wav_length = 0xFFFFFFFFull + 8;

void put_le16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put_le32(std::uint8_t* at, std::uint32_t value) {
    put_le16(at, static_cast<std::uint16_t>(value));
    put_le16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

struct wav_output {
    std::FILE* file;
    // Every write so far appended to the file, so this is also its length.
    std::uint64_t length;
};

// The samples are held as 16-bit values and written out as their bytes, least significant first,
// in pieces of buffer_capacity samples. A stretch of blocks is decoded straight onto the end of
// what the buffer holds, so it has room for one piece and one stretch; the pieces are written
// from where they lie, and what is left, less than a piece, moves to the front.
struct sample_buffer {
    std::int16_t* samples;
    std::size_t count;  // samples held, not bytes
};

constexpr std::size_t buffer_capacity = sample_buffer_size / 2;

bool write_bytes(wav_output& output, const std::uint8_t* bytes, std::size_t count) {
    if (output.length + count > max_wav_length) {
        return false;  // the size fields could not describe the file
    }
    if (std::fwrite(bytes, 1, count, output.file) != count) {
        return false;
    }
    output.length += count;
    return true;
}

// Where a stretch of up to blocks_per_read blocks is read, with the decoder's scratch.
struct stretch_area {
    std::unique_ptr<std::uint8_t[]> blocks;
    std::unique_ptr<decoder_history[]> recorded;
    std::size_t capacity;  // blocks
};

// Room for a stretch of `blocks` blocks: a short file gets no more than it needs.
stretch_area allocate_stretch_area(std::size_t blocks) {
    return {
        std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[blocks * vag_block_size]),
        std::unique_ptr<decoder_history[]>(new (std::nothrow) decoder_history[blocks]), blocks};
}

// Writes `count` samples as one piece, with its progress dot.
bool write_piece(wav_output& output, std::int16_t* samples, std::size_t count) {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint16_t>(samples[i]);
            samples[i] = static_cast<std::int16_t>(value << 8 | value >> 8);
        }
    }
    if (!write_bytes(output, reinterpret_cast<const std::uint8_t*>(samples), count * 2)) {
        return false;
    }
    platform::write_console(".", 1);
    return true;
}

// Writes out every full piece that another sample follows, so that every write but the last is
// exactly sample_buffer_size bytes, and moves the rest to the front.
bool write_full_pieces(wav_output& output, sample_buffer& buffer) {
    std::size_t start = 0;
    while (buffer.count - start > buffer_capacity) {
        if (!write_piece(output, buffer.samples + start, buffer_capacity)) {
            return false;
        }
        start += buffer_capacity;
    }
    if (start > 0) {
        buffer.count -= start;
        std::memmove(buffer.samples, buffer.samples + start, buffer.count * sizeof *buffer.samples);
    }
    return true;
}

// Decodes `count` blocks (at most the stretch area's capacity) onto the end of the buffer.
bool decode_into_buffer(stretch_area& area, std::size_t count, decoder_history& history,
                        wav_output& output, sample_buffer& buffer) {
    decode_stretch(area.blocks.get(), count, buffer.samples + buffer.count, history,
                   area.recorded.get());
    buffer.count += count * samples_per_block;
    return write_full_pieces(output, buffer);
}

bool is_empty_block(const std::uint8_t* block) {
    std::uint64_t halves[2];
    std::memcpy(halves, block, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

// Drops the empty blocks, which give no samples, moving the others together; returns how many
// are left. Counts the ones that will be decoded outside the filter table or the shift range.
std::size_t keep_decodable_blocks(std::uint8_t* blocks, std::size_t count,
                                  std::uint32_t& outside_table) {
    std::size_t kept = 0;
    for (std::size_t b = 0; b < count; ++b) {
        const std::uint8_t* block = blocks + b * vag_block_size;
        if (is_empty_block(block)) {
            continue;
        }
        outside_table += block[1] != end_block_flag && is_outside_table(block[0]) ? 1 : 0;
        if (kept != b) {
            std::memcpy(blocks + kept * vag_block_size, block, vag_block_size);
        }
        ++kept;
    }
    return kept;
}

// Decodes up to `block_count` blocks from the input's current position into the buffer, counting
// the decoded blocks that lie outside the filter table or the shift range. An input that ends
// early stops the loop at its last whole block.
bool decode_blocks(std::FILE* input, std::uint32_t block_count, stretch_area& area,
                   wav_output& output, sample_buffer& buffer, std::uint32_t& outside_table) {
    decoder_history history;
    std::uint32_t remaining = block_count;
    while (remaining > 0) {
        const std::size_t wanted = std::min<std::size_t>(remaining, area.capacity);
        const std::size_t got = std::fread(area.blocks.get(), vag_block_size, wanted, input);
        const std::size_t kept = keep_decodable_blocks(area.blocks.get(), got, outside_table);
        if (!decode_into_buffer(area, kept, history, output, buffer)) {
            return false;
        }
        if (got < wanted) {
            break;
        }
        remaining -= static_cast<std::uint32_t>(got);
    }
    return true;
}

bool write_size_field(wav_output& output, long offset, std::uint32_t value) {
    std::uint8_t field[4];
    put_le32(field, value);
    return std::fseek(output.file, offset, SEEK_SET) == 0 &&
           std::fwrite(field, 1, sizeof field, output.file) == sizeof field;
}

bool fix_up_sizes(wav_output& output) {
    return write_size_field(output, riff_size_offset,
                            static_cast<std::uint32_t>(output.length - 8)) &&
           write_size_field(output, data_size_offset,
                            static_cast<std::uint32_t>(output.length - wav_header_size)) &&
           std::fflush(output.file) == 0;
}

vag_header reread_header(std::FILE* input) {
    vag_header header;
    if (std::fseek(input, 0, SEEK_SET) == 0) {
        std::fread(header.bytes.data(), 1, header.bytes.size(), input);
    }
    return header;
}

}  // namespace

std::array<std::uint8_t, wav_header_size> wav_header_template(std::uint16_t channels,
                                                              std::uint32_t sample_rate) {
    std::array<std::uint8_t, wav_header_size> header{};
    std::uint8_t* at = header.data();
    std::memcpy(at + 0, "RIFF", 4);
    put_le32(at + riff_size_offset, wav_header_size - 8);
    std::memcpy(at + 8, "WAVE", 4);
    std::memcpy(at + 12, "fmt ", 4);
    put_le32(at + 16, 16);
    put_le16(at + 20, 1);
    put_le16(at + 22, channels);
    put_le32(at + 24, sample_rate);
    put_le32(at + 28, 2u * channels * sample_rate);
    put_le16(at + 32, static_cast<std::uint16_t>(2 * channels));
    put_le16(at + 34, 16);
    std::memcpy(at + 36, "data", 4);
    put_le32(at + data_size_offset, 0);
    return header;
}

std::string output_path_for(const std::string& destination, const std::string& name) {
    const std::size_t last_separator = name.find_last_of(platform::name_separators);
    std::string base = last_separator == std::string::npos ? name : name.substr(last_separator + 1);
    const std::size_t last_stop = base.rfind('.');
    if (last_stop != std::string::npos) {
        base.resize(last_stop);
    }
    return destination + base + ".wav";
}

transcode_result transcode_to_wav(std::FILE* input, std::uint32_t data_size,
                                  const std::string& destination, const std::string& name) {
    const std::string path = output_path_for(destination, name);
    std::FILE* file = platform::create_output(path, input);
    if (file == nullptr) {
        platform::write_console("\nerror : can't create file. (" + path + ")");
        return {false, 0};
    }
    wav_output output{file, 0};

    const vag_header header = reread_header(input);
    const std::uint32_t block_count = block_count_for(data_size);
    const auto wav_header =
        wav_header_template(header_channel_count(header), header_sample_rate(header));
    bool written = write_bytes(output, wav_header.data(), wav_header.size());

    stretch_area area = allocate_stretch_area(
        std::max<std::size_t>(1, std::min<std::size_t>(block_count, blocks_per_read)));
    std::unique_ptr<std::int16_t[]> samples(
        new (std::nothrow) std::int16_t[buffer_capacity + area.capacity * samples_per_block]);
    if (!samples || !area.blocks || !area.recorded) {
        platform::write_console("\nerror : can't allocate memory. (1048576 bytes)");
        std::fclose(file);
        return {false, 0};
    }
    sample_buffer buffer{samples.get(), 0};
    std::uint32_t outside_table = 0;
    written = written && decode_blocks(input, block_count, area, output, buffer, outside_table) &&
              (buffer.count == 0 || write_piece(output, buffer.samples, buffer.count));
    samples.reset();
    area = stretch_area();

    written = written && fix_up_sizes(output);
    written = std::fclose(file) == 0 && written;
    if (!written) {
        // A file that is only partly written would pass for a whole one: take it away.
        platform::remove_file(path);
        platform::write_console("\nerror : can't write file. (" + path + ")");
    }
    return {written, outside_table};
}

}  // namespace mirnod
