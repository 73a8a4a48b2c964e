#include "vag/multichain.h"

#include <algorithm>
#include <cstring>

#include "vag/kernels/lanes.h"
#include "vag/vag_format.h"

namespace mirnod {

namespace {

// Below this many blocks per segment the repairs would cost more than the lanes gain.
constexpr std::size_t min_rows = 256;

lane_kernel active_kernel = best_lane_kernel();

repair_counts statistics;

bool same_bits(const decoder_history& a, const decoder_history& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

int lanes_of(lane_kernel kernel) {
    switch (kernel) {
        case lane_kernel::avx2:
            return kernels::avx2_lanes;
        case lane_kernel::sse2:
            return kernels::sse2_lanes;
        case lane_kernel::scalar:
            break;
    }
    return kernels::scalar_lanes;
}

// The one place that knows which kernel runs.
void run_lanes(lane_kernel kernel, const kernels::lanes_job& job) {
    switch (kernel) {
#if defined(__x86_64__)
        case lane_kernel::avx2:
            kernels::run_lanes_avx2(job);
            return;
        case lane_kernel::sse2:
            kernels::run_lanes_sse2(job);
            return;
#endif
        default:
            kernels::run_lanes_scalar(job);
            return;
    }
}

void decode_serially(const std::uint8_t* blocks, std::size_t count, std::int16_t* samples,
                     decoder_history& history) {
    for (std::size_t b = 0; b < count; ++b) {
        const std::uint8_t* block = blocks + b * vag_block_size;
        std::int16_t* out = samples + b * samples_per_block;
        if (block[1] == end_block_flag) {
            std::fill_n(out, samples_per_block, std::int16_t{0});
        } else {
            decode_block(block, out, history);
        }
    }
}

// Decodes the segment again from its true starting history until it meets the fast pass, and
// returns the true history at its end.
decoder_history repair_segment(const std::uint8_t* blocks, std::size_t rows, std::int16_t* samples,
                               const decoder_history* recorded, decoder_history history) {
    for (std::size_t b = 0; b < rows; ++b) {
        // End blocks need nothing: the fast pass wrote their silence and kept the history.
        decode_block(blocks + b * vag_block_size, samples + b * samples_per_block, history);
        ++statistics.redecoded;
        if (same_bits(history, recorded[b])) {
            return recorded[rows - 1];
        }
    }
    ++statistics.unmet_segments;
    return history;
}

}  // namespace

lane_kernel best_lane_kernel() {
#if defined(__x86_64__)
    // This also runs while static objects are made, perhaps before the runtime's own detection.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        return lane_kernel::avx2;
    }
    return lane_kernel::sse2;
#else
    return lane_kernel::scalar;
#endif
}

bool supports_lane_kernel(lane_kernel kernel) {
    switch (kernel) {
        case lane_kernel::scalar:
            return true;
#if defined(__x86_64__)
        case lane_kernel::sse2:
            return true;
        case lane_kernel::avx2:
            return __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

bool use_lane_kernel(lane_kernel kernel) {
    if (!supports_lane_kernel(kernel)) {
        return false;
    }
    active_kernel = kernel;
    return true;
}

repair_counts& repair_statistics() {
    return statistics;
}

void decode_stretch(const std::uint8_t* blocks, std::size_t count, std::int16_t* samples,
                    decoder_history& history, decoder_history* recorded) {
    const auto lanes = static_cast<std::size_t>(lanes_of(active_kernel));
    const std::size_t rows = count / lanes;
    if (rows < min_rows) {
        decode_serially(blocks, count, samples, history);
        return;
    }
    statistics.blocks += count;

    static_assert(kernels::scalar_lanes <= kernels::avx2_lanes &&
                  kernels::sse2_lanes <= kernels::avx2_lanes);
    decoder_history starts[kernels::avx2_lanes] = {};
    starts[0] = history;
    run_lanes(active_kernel, {blocks, rows, samples, recorded, starts});

    // Segment 0 started from the true history; each later one is repaired from the true end of
    // the one before it, unless that is exactly where it started.
    decoder_history true_end = recorded[rows - 1];
    for (std::size_t k = 1; k < lanes; ++k) {
        const std::size_t first = k * rows;
        if (same_bits(true_end, starts[k])) {
            true_end = recorded[first + rows - 1];
            continue;
        }
        true_end = repair_segment(blocks + first * vag_block_size, rows,
                                  samples + first * samples_per_block, recorded + first, true_end);
    }
    history = true_end;
    const std::size_t done = lanes * rows;
    decode_serially(blocks + done * vag_block_size, count - done,
                    samples + done * samples_per_block, history);
}

}  // namespace mirnod
