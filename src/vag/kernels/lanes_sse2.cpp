// The lane kernel for SSE2, which every x86-64 processor has: four chains in two vectors of two
// doubles. (Eight chains would need all sixteen registers for the chain alone.)
#include <emmintrin.h>

#include "vag/kernels/lanes_kernel.h"

namespace mirnod::kernels {

namespace {

constexpr int K = sse2_lanes;
constexpr int N = samples_per_block;

// Two decoded values as whole numbers, halves upward, in the low two 32-bit lanes. SSE2 has no
// floor: truncate, then step down where truncation went up, that is for negative fractions.
__m128i round_half_up(__m128d value) {
    const __m128d rounded = _mm_add_pd(value, _mm_set1_pd(0.5));
    const __m128i truncated = _mm_cvttpd_epi32(rounded);
    const __m128i went_up = _mm_castpd_si128(_mm_cmplt_pd(rounded, _mm_cvtepi32_pd(truncated)));
    return _mm_add_epi32(truncated, _mm_shuffle_epi32(went_up, _MM_SHUFFLE(3, 3, 2, 0)));
}

struct sse2_lane_work {
    // One lane at a time, two samples per step. (Converting the nibbles of four lanes at once with
    // SSE2's shuffles measured slower.)
    static void residuals(const std::uint8_t* const (&block)[K], const double (&scale)[K],
                          double (&t)[N][K]) {
        for (int k = 0; k < K; ++k) {
            const __m128d lane_scale = _mm_set1_pd(scale[k]);
            for (int i = 0; i < N / 2; ++i) {
                const __m128d pair =
                    _mm_mul_pd(_mm_load_pd(&nibble_pairs.entry[block[k][2 + i]].low), lane_scale);
                _mm_storel_pd(&t[2 * i][k], pair);
                _mm_storeh_pd(&t[2 * i + 1][k], pair);
            }
        }
    }

    static void store(const double (&values)[N][K], std::int16_t* const (&lane)[K]) {
        std::int16_t rounded[N][K];
        round_rows(values, rounded);
        transpose(rounded, lane);
    }

    static void round_rows(const double (&values)[N][K], std::int16_t (&rounded)[N][K]) {
        for (int i = 0; i < N; ++i) {
            const __m128i low = round_half_up(_mm_loadu_pd(&values[i][0]));
            const __m128i high = round_half_up(_mm_loadu_pd(&values[i][2]));
            // The pack's saturation is the clamp to -32768..32767.
            const __m128i whole = _mm_unpacklo_epi64(low, high);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(rounded[i]), _mm_packs_epi32(whole, whole));
        }
    }

    // Four rows of four samples at a time.
    static void transpose(const std::int16_t (&rounded)[N][K], std::int16_t* const (&lane)[K]) {
        for (int i = 0; i < N; i += 4) {
            const auto row = [&](int r) {
                return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rounded[i + r]));
            };
            const __m128i rows01 = _mm_unpacklo_epi16(row(0), row(1));
            const __m128i rows23 = _mm_unpacklo_epi16(row(2), row(3));
            const __m128i lanes01 = _mm_unpacklo_epi32(rows01, rows23);
            const __m128i lanes23 = _mm_unpackhi_epi32(rows01, rows23);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[0] + i), lanes01);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[1] + i),
                             _mm_unpackhi_epi64(lanes01, lanes01));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[2] + i), lanes23);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(lane[3] + i),
                             _mm_unpackhi_epi64(lanes23, lanes23));
        }
    }
};

}  // namespace

void run_lanes_sse2(const lanes_job& job) {
    run_lanes<2, K / 2, sse2_lane_work>(job);
}

}  // namespace mirnod::kernels
