// The lane kernel for AVX2: eight chains in two vectors of four doubles. This file alone is built
// for AVX2; the dispatch calls it only on processors that have it.
#include <immintrin.h>

#include "vag/kernels/lanes_kernel.h"

namespace mirnod::kernels {

namespace {

constexpr int K = avx2_lanes;
constexpr int N = samples_per_block;

// Four decoded values as whole numbers, halves upward: floor(value + 0.5), exact for values
// below 2^30.
__m128i round_half_up(__m256d value) {
    const __m256d rounded = _mm256_add_pd(value, _mm256_set1_pd(0.5));
    return _mm256_cvttpd_epi32(_mm256_round_pd(rounded, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

struct avx2_rounding {
    static void round(const double (&values)[N][K], std::int16_t (&rounded)[N][K]) {
        for (int i = 0; i < N; ++i) {
            const __m128i low = round_half_up(_mm256_loadu_pd(&values[i][0]));
            const __m128i high = round_half_up(_mm256_loadu_pd(&values[i][4]));
            // The pack's saturation is the clamp to -32768..32767.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rounded[i]), _mm_packs_epi32(low, high));
        }
    }

    // Eight rows of eight samples at a time; the last four rows with four empty ones.
    static void transpose(const std::int16_t (&rounded)[N][K], std::int16_t* const (&lane)[K]) {
        for (int i = 0; i < N; i += 8) {
            const int rows = N - i < 8 ? N - i : 8;
            __m128i r[8];
            for (int j = 0; j < 8; ++j) {
                r[j] = j < rows ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rounded[i + j]))
                                : _mm_setzero_si128();
            }
            __m128i a[8];
            for (int j = 0; j < 4; ++j) {
                a[2 * j] = _mm_unpacklo_epi16(r[2 * j], r[2 * j + 1]);
                a[2 * j + 1] = _mm_unpackhi_epi16(r[2 * j], r[2 * j + 1]);
            }
            // b[0..3]: lanes 0-1, 2-3, 4-5, 6-7 of rows 0-3; b[4..7]: the same of rows 4-7.
            __m128i b[8];
            for (int h = 0; h < 2; ++h) {
                b[4 * h + 0] = _mm_unpacklo_epi32(a[4 * h + 0], a[4 * h + 2]);
                b[4 * h + 1] = _mm_unpackhi_epi32(a[4 * h + 0], a[4 * h + 2]);
                b[4 * h + 2] = _mm_unpacklo_epi32(a[4 * h + 1], a[4 * h + 3]);
                b[4 * h + 3] = _mm_unpackhi_epi32(a[4 * h + 1], a[4 * h + 3]);
            }
            for (int pair = 0; pair < 4; ++pair) {
                const __m128i even = _mm_unpacklo_epi64(b[pair], b[pair + 4]);
                const __m128i odd = _mm_unpackhi_epi64(b[pair], b[pair + 4]);
                if (rows == 8) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane[2 * pair] + i), even);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane[2 * pair + 1] + i), odd);
                } else {
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[2 * pair] + i), even);
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[2 * pair + 1] + i), odd);
                }
            }
        }
    }
};

}  // namespace

void run_lanes_avx2(const lanes_job& job) {
    run_lanes<4, K / 4, avx2_rounding>(job);
}

}  // namespace mirnod::kernels
