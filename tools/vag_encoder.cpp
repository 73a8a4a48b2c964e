#include "vag_encoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "vag/adpcm_decoder.h"
#include "vag/vag_format.h"

namespace mirnod::fixture {

namespace {

constexpr int max_shift = 12;

struct block_choice {
    int filter = 0;
    int shift = max_shift;
    int nibbles[samples_per_block] = {};
    double error = std::numeric_limits<double>::infinity();
};

// Encodes one block with a fixed filter and shift, following the decoder's own arithmetic so
// that the prediction sees exactly the history the decoder will have.
block_choice try_block(const std::int16_t* pcm, int filter, int shift, decoder_history history) {
    block_choice choice;
    choice.filter = filter;
    choice.shift = shift;
    choice.error = 0.0;
    const filter_pair c = filter_coefficients[filter];
    const double scale = std::ldexp(1.0, max_shift - shift);
    for (int i = 0; i < samples_per_block; ++i) {
        const double p = history.s1 * c.c1 + history.s2 * c.c2;
        const double wanted = std::round((pcm[i] - p) / scale);
        const int n = static_cast<int>(std::clamp(wanted, -8.0, 7.0));
        const double v = n * scale + p;
        history.s2 = history.s1;
        history.s1 = v;
        const double difference = round_to_sample(v) - pcm[i];
        choice.error += difference * difference;
        choice.nibbles[i] = n;
    }
    return choice;
}

void write_block(const block_choice& choice, std::uint8_t* block) {
    block[0] = static_cast<std::uint8_t>(choice.filter << 4 | choice.shift);
    block[1] = 0;
    for (int i = 0; i < samples_per_block; i += 2) {
        const unsigned low = static_cast<unsigned>(choice.nibbles[i]) & 0x0F;
        const unsigned high = static_cast<unsigned>(choice.nibbles[i + 1]) & 0x0F;
        block[2 + i / 2] = static_cast<std::uint8_t>(high << 4 | low);
    }
}

void put_be32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

std::vector<std::uint8_t> encode_blocks(const std::vector<std::int16_t>& pcm) {
    std::vector<std::int16_t> padded = pcm;
    padded.resize((pcm.size() + samples_per_block - 1) / samples_per_block * samples_per_block);
    std::vector<std::uint8_t> blocks(padded.size() / samples_per_block * vag_block_size);
    decoder_history history;
    for (std::size_t b = 0; b * samples_per_block < padded.size(); ++b) {
        const std::int16_t* samples = padded.data() + b * samples_per_block;
        block_choice best;
        // Larger shifts first: on a tie (silence) the block keeps a non-zero shift byte and so
        // is never mistaken for an empty block.
        for (int shift = max_shift; shift >= 0; --shift) {
            for (int filter = 0; filter < filter_count; ++filter) {
                const block_choice candidate = try_block(samples, filter, shift, history);
                if (candidate.error < best.error) {
                    best = candidate;
                }
            }
        }
        std::uint8_t* block = blocks.data() + b * vag_block_size;
        write_block(best, block);
        std::int16_t decoded[samples_per_block];
        decode_block(block, decoded, history);  // carry the decoder's exact history on
    }
    return blocks;
}

std::vector<std::uint8_t> make_header(const std::string& name, std::uint32_t sample_rate,
                                      std::uint32_t data_size) {
    std::vector<std::uint8_t> header(vag_header_size, 0);
    std::copy_n("VAGp", 4, header.begin());
    put_be32(header.data() + 4, 0x20);  // version, which the converter does not read
    put_be32(header.data() + 12, data_size);
    put_be32(header.data() + 16, sample_rate);
    std::copy_n(name.begin(), std::min(name.size(), vag_name_size), header.begin() + 32);
    return header;
}

std::vector<std::uint8_t> make_vag(const std::string& name, std::uint32_t sample_rate,
                                   const std::vector<std::int16_t>& pcm) {
    const std::vector<std::uint8_t> blocks = encode_blocks(pcm);
    std::vector<std::uint8_t> file =
        make_header(name, sample_rate, static_cast<std::uint32_t>(blocks.size()));
    file.insert(file.end(), blocks.begin(), blocks.end());
    return file;
}

std::vector<std::int16_t> synthesise_tones(std::size_t sample_count, std::uint32_t sample_rate) {
    struct tone {
        double frequency;
        double amplitude;
    };
    const tone tones[] = {{220.0, 9000.0}, {440.0, 7000.0}, {1250.0, 5000.0}, {3100.0, 3000.0}};
    const double pi = std::acos(-1.0);
    std::vector<std::int16_t> pcm(sample_count);
    for (std::size_t i = 0; i < sample_count; ++i) {
        const double time = static_cast<double>(i) / sample_rate;
        double value = 0.0;
        for (const tone& t : tones) {
            value += t.amplitude * std::sin(2.0 * pi * t.frequency * time);
        }
        pcm[i] = static_cast<std::int16_t>(std::lround(value));
    }
    return pcm;
}

}  // namespace mirnod::fixture
