// The lane kernel in portable C++: four chains side by side in plain doubles. It runs everywhere,
// and out-of-order processors overlap the four chains well.
#include "vag/kernels/lanes_kernel.h"

namespace mirnod::kernels {

void run_lanes_scalar(const lanes_job& job) {
    run_lanes<1, scalar_lanes, plain_lane_work<scalar_lanes, samples_per_block>>(job);
}

}  // namespace mirnod::kernels
