// Speed of the decoder against the arithmetic floor it cannot beat, and of the whole transcoding.
//
// The floor is the dependency chain every decoded sample waits for: one multiplication and two
// additions on the previous value, v = t + (s1 * c1 + s2 * c2). Nothing here may be faster than
// running that chain alone over the same data.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "vag/adpcm_decoder.h"
#include "vag/multichain.h"
#include "vag/vag_format.h"
#include "vag_encoder.h"
#include "wav/wav_writer.h"

namespace {

using namespace mirnod;

constexpr std::size_t stream_blocks = 32768;
// The decoding benchmarks run over 64 MiB of blocks: the stream, 256 times over.
constexpr std::size_t stream_repeats = 128;

// Tones under a slowly changing loudness plus a little noise, so that the encoder picks every
// filter and shifts across the whole range.
const std::vector<std::uint8_t>& realistic_stream() {
    static const std::vector<std::uint8_t> blocks = [] {
        const std::uint32_t rate = 44100;
        std::vector<std::int16_t> pcm =
            fixture::synthesise_tones(stream_blocks * samples_per_block, rate);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 40.0);
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const double loudness = 0.5 + 0.5 * std::sin(static_cast<double>(i) / 20000.0);
            pcm[i] = static_cast<std::int16_t>(std::lround(pcm[i] * loudness + noise(random)));
        }
        return fixture::encode_blocks(pcm);
    }();
    return blocks;
}

void set_per_sample_counter(benchmark::State& state, std::size_t samples_per_iteration) {
    state.counters["ns_per_sample"] = benchmark::Counter(
        static_cast<double>(samples_per_iteration) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The serial chain: decode_block, block after block.
void decode_block_stream(benchmark::State& state) {
    const std::vector<std::uint8_t>& blocks = realistic_stream();
    std::vector<std::int16_t> samples(stream_blocks * samples_per_block);
    for (auto _ : state) {
        decoder_history history;
        for (std::size_t repeat = 0; repeat < stream_repeats; ++repeat) {
            for (std::size_t b = 0; b < stream_blocks; ++b) {
                decode_block(blocks.data() + b * vag_block_size,
                             samples.data() + b * samples_per_block, history);
            }
            benchmark::DoNotOptimize(samples.data());
        }
        benchmark::ClobberMemory();
    }
    set_per_sample_counter(state, stream_repeats * stream_blocks * samples_per_block);
}
BENCHMARK(decode_block_stream)->Unit(benchmark::kMillisecond);

// The multi-chain decoder with each kernel, over the same blocks in stretches of the transcoding
// loop's length (or of the length given as the second argument, to choose that length). Also
// reports the share of blocks that the repairs decoded a second time.
void decode_stretch_stream(benchmark::State& state) {
    const auto kernel = static_cast<lane_kernel>(state.range(0));
    const auto stretch =
        state.range(1) == 0 ? stretch_blocks : static_cast<std::size_t>(state.range(1));
    if (!use_lane_kernel(kernel)) {
        state.SkipWithError("this processor lacks the instruction set");
        return;
    }
    const std::vector<std::uint8_t>& blocks = realistic_stream();
    std::vector<std::int16_t> samples(stretch * samples_per_block);
    std::vector<decoder_history> recorded(stretch);
    repair_statistics() = {};
    for (auto _ : state) {
        decoder_history history;
        for (std::size_t repeat = 0; repeat < stream_repeats; ++repeat) {
            for (std::size_t at = 0; at < stream_blocks; at += stretch) {
                decode_stretch(blocks.data() + at * vag_block_size, stretch, samples.data(),
                               history, recorded.data());
            }
            benchmark::DoNotOptimize(samples.data());
        }
        benchmark::ClobberMemory();
    }
    use_lane_kernel(best_lane_kernel());
    set_per_sample_counter(state, stream_repeats * stream_blocks * samples_per_block);
    const repair_counts counts = repair_statistics();
    state.counters["redecoded_percent"] =
        100.0 * static_cast<double>(counts.redecoded) / static_cast<double>(counts.blocks);
}
BENCHMARK(decode_stretch_stream)
    ->ArgNames({"kernel", "stretch"})
    ->ArgsProduct({{static_cast<int>(lane_kernel::scalar), static_cast<int>(lane_kernel::sse2),
                    static_cast<int>(lane_kernel::avx2)},
                   {0}})
    ->Unit(benchmark::kMillisecond);
// The same at other stretch lengths, to choose the transcoding loop's.
BENCHMARK(decode_stretch_stream)
    ->Name("choose_stretch")
    ->ArgNames({"kernel", "stretch"})
    ->ArgsProduct({{static_cast<int>(lane_kernel::sse2), static_cast<int>(lane_kernel::avx2)},
                   {4096, 8192, 16384, 32768}})
    ->Unit(benchmark::kMillisecond);

struct floor_input {
    std::vector<double> t;
    std::vector<filter_pair> coefficients;  // one pair per block
};

// The scaled residuals and coefficients of the same stream, worked out beforehand.
const floor_input& precomputed_floor_input() {
    static const floor_input input = [] {
        floor_input made;
        const std::vector<std::uint8_t>& blocks = realistic_stream();
        for (std::size_t at = 0; at < blocks.size(); at += vag_block_size) {
            const std::uint8_t* block = blocks.data() + at;
            made.coefficients.push_back(filter_coefficients[(block[0] >> 4) % filter_count]);
            const double scale = std::ldexp(1.0, 12 - (block[0] & 0x0F));
            for (int i = 0; i < samples_per_block; ++i) {
                const unsigned byte = block[2 + i / 2];
                const int nibble = static_cast<int>(i % 2 == 0 ? byte & 0x0F : byte >> 4);
                made.t.push_back((nibble >= 8 ? nibble - 16 : nibble) * scale);
            }
        }
        return made;
    }();
    return input;
}

void arithmetic_floor(benchmark::State& state) {
    const floor_input& input = precomputed_floor_input();
    for (auto _ : state) {
        double s1 = 0.0;
        double s2 = 0.0;
        double sum = 0.0;
        const double* t = input.t.data();
        for (const filter_pair& c : input.coefficients) {
            for (int i = 0; i < samples_per_block; ++i) {
                const double v = t[i] + (s1 * c.c1 + s2 * c.c2);
                s2 = s1;
                s1 = v;
                sum += v;
            }
            t += samples_per_block;
        }
        benchmark::DoNotOptimize(sum);
    }
    set_per_sample_counter(state, input.t.size());
}
BENCHMARK(arithmetic_floor);

// The whole transcoding loop: a page-cached VAG file in, a WAVE file out.
void transcode_file(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / "mirnod-bench";
    fs::create_directories(directory);
    const fs::path input_path = directory / "stream.vag";
    const std::vector<std::uint8_t>& blocks = realistic_stream();
    const auto data_size = static_cast<std::uint32_t>(blocks.size());
    {
        std::vector<std::uint8_t> file = fixture::make_header("stream", 44100, data_size);
        file.insert(file.end(), blocks.begin(), blocks.end());
        std::FILE* out = std::fopen(input_path.string().c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }
    std::FILE* input = std::fopen(input_path.string().c_str(), "rb");
    const std::string destination = directory.string() + "/";
    // The progress dots go to /dev/null while the loop runs, the report to the console after it.
    std::fflush(stdout);
    const int console = dup(STDOUT_FILENO);
    const int null_device = open("/dev/null", O_WRONLY);
    dup2(null_device, STDOUT_FILENO);
    for (auto _ : state) {
        std::fseek(input, 0, SEEK_SET);
        transcode_to_wav(input, data_size, destination, "stream");
    }
    std::fflush(stdout);
    dup2(console, STDOUT_FILENO);
    close(console);
    close(null_device);
    std::fclose(input);
    const double output_bytes = wav_header_size + stream_blocks * 56.0;
    state.counters["output_MB_per_s"] =
        benchmark::Counter(output_bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    fs::remove_all(directory);
}
BENCHMARK(transcode_file)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
