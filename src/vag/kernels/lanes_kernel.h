// The body of every lane kernel, written once over the vector width: each kernel file includes it
// and compiles it for its own instruction set. The arithmetic is the plain decoder's, operation
// for operation, on W chains per vector: IEEE double, each product and sum rounded on its own.
#pragma once

#include <cstring>

#include "vag/kernels/lanes.h"

namespace mirnod::kernels {

// W numbers of type T side by side, as the compiler's vector type.
template <typename T, int W>
struct vector_of {
    typedef T type __attribute__((vector_size(W * sizeof(T))));
};

// W doubles side by side; a plain double for one.
template <int W>
struct double_lanes {
    using type = typename vector_of<double, W>::type;
};
template <>
struct double_lanes<1> {
    using type = double;
};

// The portable way of turning a row of decoded values into samples: one lane at a time. An
// instruction set's kernel brings its own, with the same results.
template <int K, int N>
struct plain_rounding {
    // rounded[i][k] = the sample of value[i][k], rounded as round_to_sample does.
    static void round(const double (&values)[N][K], std::int16_t (&rounded)[N][K]) {
        for (int i = 0; i < N; ++i) {
            for (int k = 0; k < K; ++k) {
                rounded[i][k] = round_to_sample(values[i][k]);
            }
        }
    }
    // lane[k][i] = rounded[i][k].
    static void transpose(const std::int16_t (&rounded)[N][K], std::int16_t* const (&lane)[K]) {
        for (int k = 0; k < K; ++k) {
            for (int i = 0; i < N; ++i) {
                lane[k][i] = rounded[i][k];
            }
        }
    }
};

// W doubles per vector, V vectors interleaved: K = W * V chains in flight, enough to cover the
// latency of the chain's multiply and two adds. `rounding` turns the values into samples.
template <int W, int V, typename rounding>
void run_lanes(const lanes_job& job) {
    using vec = typename double_lanes<W>::type;
    constexpr int K = W * V;
    constexpr int N = samples_per_block;

    // The history of every lane, as vectors for the chain and as plain numbers between blocks.
    vec s1[V];
    vec s2[V];
    double lane_s1[K];
    double lane_s2[K];
    for (int k = 0; k < K; ++k) {
        lane_s1[k] = job.starts[k].s1;
        lane_s2[k] = job.starts[k].s2;
    }
    std::memcpy(s1, lane_s1, sizeof s1);
    std::memcpy(s2, lane_s2, sizeof s2);
    for (std::size_t row = 0; row < job.rows; ++row) {
        const std::uint8_t* block[K];
        bool is_end[K];
        double c1_lanes[K];
        double c2_lanes[K];
        double residuals[N][K];  // t for every sample of every lane, off the chain
        for (int k = 0; k < K; ++k) {
            block[k] = job.blocks + (k * job.rows + row) * 16;
            is_end[k] = block[k][1] == end_block_flag;
            const unsigned filter = block[k][0] >> 4;
            const filter_pair c =
                filter < filter_count ? filter_coefficients[filter] : filter_coefficients[0];
            c1_lanes[k] = c.c1;
            c2_lanes[k] = c.c2;
            const double scale = decoder_detail::residual_scale[block[k][0] & 0x0F];
            for (int i = 0; i < N / 2; ++i) {
                const unsigned byte = block[k][2 + i];
                residuals[2 * i][k] = decoder_detail::nibble_value[byte & 0x0F] * scale;
                residuals[2 * i + 1][k] = decoder_detail::nibble_value[byte >> 4] * scale;
            }
        }
        vec c1[V];
        vec c2[V];
        std::memcpy(c1, c1_lanes, sizeof c1);
        std::memcpy(c2, c2_lanes, sizeof c2);

        double values[N][K];
#pragma GCC unroll 28
        for (int i = 0; i < N; ++i) {
#pragma GCC unroll 4
            for (int v = 0; v < V; ++v) {
                vec t;
                std::memcpy(&t, &residuals[i][v * W], sizeof t);
                const vec value = t + (s1[v] * c1[v] + s2[v] * c2[v]);
                s2[v] = s1[v];
                s1[v] = value;
                std::memcpy(&values[i][v * W], &value, sizeof value);
            }
        }
        // Rounding, off the chain.
        std::int16_t rounded[N][K];
        rounding::round(values, rounded);
        std::int16_t* lane_samples[K];
        for (int k = 0; k < K; ++k) {
            lane_samples[k] = job.samples + (k * job.rows + row) * N;
        }
        rounding::transpose(rounded, lane_samples);

        double new_s1[K];
        double new_s2[K];
        std::memcpy(new_s1, s1, sizeof new_s1);
        std::memcpy(new_s2, s2, sizeof new_s2);
        for (int k = 0; k < K; ++k) {
            const std::size_t index = k * job.rows + row;
            if (is_end[k]) {
                // An end block gives silence and leaves the history as it was.
                std::memset(lane_samples[k], 0, N * sizeof(std::int16_t));
            } else {
                lane_s1[k] = new_s1[k];
                lane_s2[k] = new_s2[k];
            }
            job.recorded[index].s1 = lane_s1[k];
            job.recorded[index].s2 = lane_s2[k];
        }
        std::memcpy(s1, lane_s1, sizeof s1);
        std::memcpy(s2, lane_s2, sizeof s2);
    }
}

}  // namespace mirnod::kernels
