// A small VAG encoder for making test inputs and the bundled sample. It is no part of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mirnod::fixture {

// Encodes 16-bit PCM as ADPCM blocks, choosing for every block the filter and shift that give the
// smallest squared error. The PCM is padded with silence to a whole number of blocks. No block it
// makes is all zero, so the converter decodes every one of them.
std::vector<std::uint8_t> encode_blocks(const std::vector<std::int16_t>& pcm);

// A 48-byte header that the converter accepts, with the given name (at most 16 bytes used), sample
// rate and announced data size.
std::vector<std::uint8_t> make_header(const std::string& name, std::uint32_t sample_rate,
                                      std::uint32_t data_size);

// A whole file: the header, announcing exactly the blocks that follow, and the blocks.
std::vector<std::uint8_t> make_vag(const std::string& name, std::uint32_t sample_rate,
                                   const std::vector<std::int16_t>& pcm);

// A few sines below 4 kHz, peaking near 24,000.
std::vector<std::int16_t> synthesise_tones(std::size_t sample_count, std::uint32_t sample_rate);

}  // namespace mirnod::fixture
