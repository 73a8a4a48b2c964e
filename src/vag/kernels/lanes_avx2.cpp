// The lane kernel for AVX2: eight chains in two vectors of four doubles. This file alone is built
// for AVX2; the dispatch calls it only on processors that have it.
#include <immintrin.h>

#include "vag/kernels/lanes_kernel.h"
#include "vag/kernels/sse2_shuffles.h"

namespace mirnod::kernels {

namespace {

constexpr int K = avx2_lanes;
constexpr int N = samples_per_block;
static_assert(K == 8, "the shuffles move eight lanes");

// Eight numbers -8..7, one a byte, times each lane's scale, into t[0..7].
void scale_nibbles(__m128i nibbles, __m256d scale_low, __m256d scale_high, double* t) {
    const __m256i whole = _mm256_cvtepi8_epi32(sse2::signed_nibbles(nibbles));
    _mm256_storeu_pd(t,
                     _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(whole)), scale_low));
    _mm256_storeu_pd(
        t + 4, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(whole, 1)), scale_high));
}

// Four decoded values as whole numbers, halves upward: floor(value + 0.5), exact for values
// below 2^30.
__m128i round_half_up(__m256d value) {
    const __m256d rounded = _mm256_add_pd(value, _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_round_pd(rounded, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

struct avx2_lane_work {
    struct row {
        __m128i column[8];
        __m256d scale_low;
        __m256d scale_high;
    };

    static void residuals(const std::uint8_t* const (&block)[K], const double (&scale)[K],
                          double (&t)[N][K]) {
        const row r = prepare(block, scale);
        for (int j = 2; j < 16; ++j) {
            residual_pair(r, j, t[2 * (j - 2)], t[2 * (j - 2) + 1]);
        }
    }

    static void store(const double (&values)[N][K], std::int16_t* const (&lane)[K]) {
        std::int16_t rounded[N][K];
        for (int i = 0; i < N; ++i) {
            round_sample(values[i], rounded[i]);
        }
        for (int i = 0; i < N; i += 8) {
            sse2::transpose_rows(rounded[i], K, N - i < 8 ? N - i : 8, lane, i);
        }
    }

    static row prepare(const std::uint8_t* const* block, const double* scale) {
        row r;
        sse2::byte_columns(block, r.column);
        r.scale_low = _mm256_loadu_pd(scale);
        r.scale_high = _mm256_loadu_pd(scale + 4);
        return r;
    }

    static void residual_pair(const row& r, int j, double* t_low, double* t_high) {
        const __m128i column = r.column[j / 2];
        const __m128i bytes = j % 2 == 0 ? column : _mm_unpackhi_epi64(column, column);
        const __m128i low_nibble = _mm_set1_epi8(0x0F);
        scale_nibbles(_mm_and_si128(bytes, low_nibble), r.scale_low, r.scale_high, t_low);
        scale_nibbles(_mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble), r.scale_low,
                      r.scale_high, t_high);
    }

    static void round_sample(const double* values, std::int16_t* rounded) {
        const __m128i low = round_half_up(_mm256_loadu_pd(values));
        const __m128i high = round_half_up(_mm256_loadu_pd(values + 4));
        // The pack's saturation is the clamp to -32768..32767.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rounded), _mm_packs_epi32(low, high));
    }
};

}  // namespace

void run_lanes_avx2(const lanes_job& job) {
    run_lanes<4, K / 4, avx2_lane_work>(job);
}

}  // namespace mirnod::kernels
