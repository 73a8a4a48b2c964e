// Moving eight lanes between rows and columns with SSE2's unpack instructions (also available, in
// their VEX form, to the AVX2 kernel). Used by the x86-64 lane kernels only.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace mirnod::kernels::sse2 {

// Eight blocks' 16 bytes regrouped: column[j / 2] holds byte j of blocks 0 to 7, in its low
// eight bytes for even j and in its high eight bytes for odd j.
inline void byte_columns(const std::uint8_t* const* block, __m128i (&column)[8]) {
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
inline void transpose_rows(const std::int16_t* rounded, int stride, int rows,
                           std::int16_t* const* lane, int i) {
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
inline __m128i signed_nibbles(__m128i nibbles) {
    const __m128i eight = _mm_set1_epi8(8);
    return _mm_sub_epi8(_mm_xor_si128(nibbles, eight), eight);
}

}  // namespace mirnod::kernels::sse2
