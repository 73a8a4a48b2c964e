// Block streams chosen to make the multi-chain decoder's side-by-side chains disagree for long,
// or never meet again, and the comparison of its outcome with the plain reference decoder. Used
// by the unit tests and by the long exactness run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"
#include "vag/multichain.h"

namespace mirnod::test {

struct stream_case {
    std::string what;
    bytes blocks;  // never an empty block: those never reach the decoder
};

// Random blocks (end blocks and blocks outside the table included), encoded tones and noise, the
// same without filter 0, clipping, decay into subnormals, silence encoded without filter 0, and
// random blocks at odd counts around the lanes' minimum and the stretch length. `size` scales
// the lengths; `seed` varies the content.
std::vector<stream_case> varied_streams(std::uint32_t seed, std::size_t size);

// Every filter 0 (which forgets the history at once) turned into filter 1.
bytes without_filter_zero(bytes blocks);

// One loud block, then zero residuals under filter 1: the history decays through the subnormal
// numbers to zero.
bytes decay_into_subnormals(std::size_t count);

struct comparison {
    bool same;                     // samples and final history, bit for bit
    std::size_t first_difference;  // the first differing sample, or the sample count
};

// What the plain reference decoder makes of `blocks`, block by block (end blocks silent).
struct reference_outcome {
    std::vector<std::int16_t> samples;
    decoder_history history;
};
reference_outcome reference_outcome_of(const bytes& blocks);

// Decodes `blocks` with decode_stretch in the transcoding loop's stretches, using `kernel`, and
// compares samples and final history with the reference's.
comparison compare_with_reference(const bytes& blocks, const reference_outcome& expected,
                                  lane_kernel kernel);

inline comparison compare_with_reference(const bytes& blocks, lane_kernel kernel) {
    return compare_with_reference(blocks, reference_outcome_of(blocks), kernel);
}

}  // namespace mirnod::test
