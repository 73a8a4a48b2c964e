// The body of every lane kernel, written once over the vector width: each kernel file includes it
// and compiles it for its own instruction set. The arithmetic is the plain decoder's, operation
// for operation, on W chains per vector: IEEE double, each product and sum rounded on its own.
#pragma once

#include <cstring>

#include "vag/kernels/lanes.h"

namespace mirnod::kernels {

// W doubles side by side, as the compiler's vector type; a plain double for one.
template <int W>
struct double_lanes {
    typedef double type __attribute__((vector_size(W * sizeof(double))));
};
template <>
struct double_lanes<1> {
    using type = double;
};

// Both nibbles of every byte as the numbers they stand for, low nibble first: one load gives the
// residuals of two samples before scaling.
struct nibble_pair {
    double low;
    double high;
};
struct nibble_pair_table {
    alignas(16) nibble_pair entry[256];
};
constexpr nibble_pair_table make_nibble_pairs() {
    nibble_pair_table table{};
    for (int byte = 0; byte < 256; ++byte) {
        table.entry[byte] = {decoder_detail::nibble_value[byte & 0x0F],
                             decoder_detail::nibble_value[byte >> 4]};
    }
    return table;
}
constexpr nibble_pair_table nibble_pairs = make_nibble_pairs();

// The work beside the chain, one lane at a time: the portable version. An instruction set's
// kernel brings its own, with the same results.
template <int K, int N>
struct plain_lane_work {
    // t[i][k]: the scaled residual of sample i of block k.
    static void residuals(const std::uint8_t* const (&block)[K], const double (&scale)[K],
                          double (&t)[N][K]) {
        for (int k = 0; k < K; ++k) {
            for (int i = 0; i < N / 2; ++i) {
                const nibble_pair& pair = nibble_pairs.entry[block[k][2 + i]];
                t[2 * i][k] = pair.low * scale[k];
                t[2 * i + 1][k] = pair.high * scale[k];
            }
        }
    }

    // lane[k][i]: the sample of values[i][k], rounded as round_to_sample does.
    static void store(const double (&values)[N][K], std::int16_t* const (&lane)[K]) {
        for (int k = 0; k < K; ++k) {
            for (int i = 0; i < N; i += 2) {
                decoder_detail::round_pair(values[i][k], values[i + 1][k], lane[k] + i);
            }
        }
    }
};

// W doubles per vector, V vectors interleaved: K = W * V chains in flight, enough to cover the
// latency of the chain's multiply and two adds. `lane_work` does what is not on the chain.
template <int W, int V, typename lane_work>
void run_lanes(const lanes_job& job) {
    using vec = typename double_lanes<W>::type;
    constexpr int K = W * V;
    constexpr int N = samples_per_block;

    // The history of every lane, as plain numbers between blocks and as vectors for the chain.
    double lane_s1[K];
    double lane_s2[K];
    for (int k = 0; k < K; ++k) {
        lane_s1[k] = job.starts[k].s1;
        lane_s2[k] = job.starts[k].s2;
    }
    for (std::size_t row = 0; row < job.rows; ++row) {
        const std::uint8_t* block[K];
        std::int16_t* samples[K];
        double c1_lanes[K];
        double c2_lanes[K];
        double scale[K];
        for (int k = 0; k < K; ++k) {
            block[k] = job.blocks + (k * job.rows + row) * 16;
            samples[k] = job.samples + (k * job.rows + row) * N;
            const unsigned filter = block[k][0] >> 4;
            const filter_pair c =
                filter < filter_count ? filter_coefficients[filter] : filter_coefficients[0];
            c1_lanes[k] = c.c1;
            c2_lanes[k] = c.c2;
            scale[k] = decoder_detail::residual_scale[block[k][0] & 0x0F];
        }
        double t[N][K];
        lane_work::residuals(block, scale, t);

        vec c1[V];
        vec c2[V];
        vec s1[V];
        vec s2[V];
        std::memcpy(c1, c1_lanes, sizeof c1);
        std::memcpy(c2, c2_lanes, sizeof c2);
        std::memcpy(s1, lane_s1, sizeof s1);
        std::memcpy(s2, lane_s2, sizeof s2);
        double values[N][K];
#pragma GCC unroll 28
        for (int i = 0; i < N; ++i) {
#pragma GCC unroll 4
            for (int v = 0; v < V; ++v) {
                vec residual;
                std::memcpy(&residual, &t[i][v * W], sizeof residual);
                const vec value = residual + (s1[v] * c1[v] + s2[v] * c2[v]);
                s2[v] = s1[v];
                s1[v] = value;
                std::memcpy(&values[i][v * W], &value, sizeof value);
            }
        }
        lane_work::store(values, samples);

        double new_s1[K];
        double new_s2[K];
        std::memcpy(new_s1, s1, sizeof new_s1);
        std::memcpy(new_s2, s2, sizeof new_s2);
        for (int k = 0; k < K; ++k) {
            if (block[k][1] == end_block_flag) {
                // An end block gives silence and leaves the history as it was.
                std::memset(samples[k], 0, N * sizeof(std::int16_t));
            } else {
                lane_s1[k] = new_s1[k];
                lane_s2[k] = new_s2[k];
            }
            const std::size_t index = k * job.rows + row;
            job.recorded[index].s1 = lane_s1[k];
            job.recorded[index].s2 = lane_s2[k];
        }
    }
}

}  // namespace mirnod::kernels
