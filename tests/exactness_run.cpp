// exactness_run [BLOCK_DECODES]: the multi-chain decoder against the plain reference on varied
// streams with new seeds, every kernel this machine runs, until at least BLOCK_DECODES blocks
// (default 10^9) have been decoded by the fast paths and compared. Prints what it compared, the
// share of blocks the repairs decoded again for each kind of stream, and stops at the first
// difference with exit status 1.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "varied_streams.h"

int main(int argc, char** argv) {
    using namespace mirnod;
    const std::uint64_t target = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000000ull;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t compared = 0;
    struct repairs {
        std::uint64_t blocks = 0;
        std::uint64_t redecoded = 0;
        std::uint64_t unmet = 0;
    };
    std::map<std::string, repairs> by_kind;
    for (std::uint32_t seed = 1000; compared < target; ++seed) {
        for (const test::stream_case& c : test::varied_streams(seed, 30000)) {
            const std::string kind = c.what.rfind("odd count", 0) == 0 ? "odd counts" : c.what;
            const test::reference_outcome expected = test::reference_outcome_of(c.blocks);
            for (const lane_kernel kernel :
                 {lane_kernel::scalar, lane_kernel::sse2, lane_kernel::avx2}) {
                if (!supports_lane_kernel(kernel)) {
                    continue;
                }
                repair_statistics() = {};
                const test::comparison result =
                    test::compare_with_reference(c.blocks, expected, kernel);
                if (!result.same) {
                    std::printf("DIFFERENCE: seed %u, %s, kernel %d, sample %zu\n", seed,
                                c.what.c_str(), static_cast<int>(kernel), result.first_difference);
                    return 1;
                }
                compared += c.blocks.size() / 16;
                if (kernel == best_lane_kernel()) {
                    repairs& r = by_kind[kind];
                    r.blocks += repair_statistics().blocks;
                    r.redecoded += repair_statistics().redecoded;
                    r.unmet += repair_statistics().unmet_segments;
                }
            }
        }
        std::fprintf(stderr, "\r%llu block decodes compared",
                     static_cast<unsigned long long>(compared));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%llu block decodes compared with the reference in %.0f s: no difference\n",
                static_cast<unsigned long long>(compared), seconds);
    std::printf("repairs with the best kernel, by kind of stream:\n");
    for (const auto& [kind, r] : by_kind) {
        std::printf("  %-56s %6.2f %% of blocks decoded again, %llu segments never met\n",
                    kind.c_str(), r.blocks == 0 ? 0.0 : 100.0 * r.redecoded / r.blocks,
                    static_cast<unsigned long long>(r.unmet));
    }
    return 0;
}
