// The lane kernel for AVX2: eight chains in two vectors of four doubles. This file alone is built
// for AVX2; the dispatch calls it only on processors that have it.
#include <immintrin.h>

#include "vag/kernels/lanes_kernel.h"

namespace mirnod::kernels {

namespace {

constexpr int K = avx2_lanes;
constexpr int N = samples_per_block;
static_assert(K == 8, "the shuffles move eight lanes");

// Eight blocks' 16 bytes regrouped: column[j / 2] holds byte j of blocks 0 to 7, in its low
// eight bytes for even j and in its high eight bytes for odd j.
void byte_columns(const std::uint8_t* const* block, __m128i (&column)[8]) {
    __m128i row[8];
    for (int k = 0; k < 8; ++k) {
        row[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block[k]));
    }
    // pairs[h][p]: bytes 8h to 8h+7 of blocks 2p and 2p+1, interleaved.
    __m128i pairs[2][4];
    for (int p = 0; p < 4; ++p) {
        pairs[0][p] = _mm_unpacklo_epi8(row[2 * p], row[2 * p + 1]);
        pairs[1][p] = _mm_unpackhi_epi8(row[2 * p], row[2 * p + 1]);
    }
    for (int h = 0; h < 2; ++h) {
        // quads[q][g]: bytes 8h+4g to 8h+4g+3 of blocks 4q to 4q+3, four bytes a byte index.
        __m128i quads[2][2];
        for (int q = 0; q < 2; ++q) {
            quads[q][0] = _mm_unpacklo_epi16(pairs[h][2 * q], pairs[h][2 * q + 1]);
            quads[q][1] = _mm_unpackhi_epi16(pairs[h][2 * q], pairs[h][2 * q + 1]);
        }
        for (int g = 0; g < 2; ++g) {
            column[4 * h + 2 * g] = _mm_unpacklo_epi32(quads[0][g], quads[1][g]);
            column[4 * h + 2 * g + 1] = _mm_unpackhi_epi32(quads[0][g], quads[1][g]);
        }
    }
}

// lane[k][i + j] = rounded[j * stride + k] for j below `rows` (8, or 4 for the last rows of a
// block) and eight lanes k.
void transpose_rows(const std::int16_t* rounded, int stride, int rows, std::int16_t* const* lane,
                    int i) {
    __m128i r[8];
    for (int j = 0; j < 8; ++j) {
        r[j] = j < rows ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rounded + j * stride))
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

// Nibbles as the numbers -8 to 7 they stand for, each byte on its own.
__m128i signed_nibbles(__m128i nibbles) {
    const __m128i eight = _mm_set1_epi8(8);
    return _mm_sub_epi8(_mm_xor_si128(nibbles, eight), eight);
}

// Eight numbers -8..7, one a byte, times each lane's scale, into t[0..7].
void scale_nibbles(__m128i nibbles, __m256d scale_low, __m256d scale_high, double* t) {
    const __m256i whole = _mm256_cvtepi8_epi32(signed_nibbles(nibbles));
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
    static void residuals(const std::uint8_t* const (&block)[K], const double (&scale)[K],
                          double (&t)[N][K]) {
        __m128i column[8];
        byte_columns(block, column);
        const __m256d scale_low = _mm256_loadu_pd(scale);
        const __m256d scale_high = _mm256_loadu_pd(scale + 4);
        const __m128i low_nibble = _mm_set1_epi8(0x0F);
        for (int j = 2; j < 16; ++j) {
            const __m128i bytes =
                j % 2 == 0 ? column[j / 2] : _mm_unpackhi_epi64(column[j / 2], column[j / 2]);
            const int i = 2 * (j - 2);
            scale_nibbles(_mm_and_si128(bytes, low_nibble), scale_low, scale_high, t[i]);
            scale_nibbles(_mm_and_si128(_mm_srli_epi16(bytes, 4), low_nibble), scale_low,
                          scale_high, t[i + 1]);
        }
    }

    static void store(const double (&values)[N][K], std::int16_t* const (&lane)[K]) {
        std::int16_t rounded[N][K];
        for (int i = 0; i < N; ++i) {
            round_sample(values[i], rounded[i]);
        }
        for (int i = 0; i < N; i += 8) {
            transpose_rows(rounded[i], K, N - i < 8 ? N - i : 8, lane, i);
        }
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
