// The pass that checks every new state: one bad value anywhere, at an even or odd place or in the
// tail the vector loop leaves, fails it; the range's own ends pass.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "plausible_pass.h"

namespace vuzizi::transient {
namespace {

constexpr double kFloor = -50.0, kCeiling = 400.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PlausiblePass, AnyBadValueAnywhereFails) {
    const double bad_heads[] = {kNaN, kInf, -kInf, kFloor - 1e-9, kCeiling + 1e-9};
    const double bad_flows[] = {kNaN, kInf, -kInf};
    for (std::size_t n = 1; n <= 5; ++n) {
        std::vector<double> heads(n, kFloor), flows(n, -1e300);
        heads.back() = kCeiling;
        ASSERT_TRUE(heads_and_flows_plausible(heads.data(), flows.data(), n, kFloor, kCeiling)) << n;
        for (std::size_t at = 0; at < n; ++at) {
            for (double bad : bad_heads) {
                std::vector<double> h = heads;
                h[at] = bad;
                EXPECT_FALSE(heads_and_flows_plausible(h.data(), flows.data(), n, kFloor, kCeiling))
                    << "head " << bad << " at " << at << " of " << n;
                EXPECT_TRUE(heads_and_flows_plausible(nullptr, flows.data(), n, kFloor, kCeiling));
            }
            for (double bad : bad_flows) {
                std::vector<double> q = flows;
                q[at] = bad;
                EXPECT_FALSE(heads_and_flows_plausible(heads.data(), q.data(), n, kFloor, kCeiling))
                    << "flow " << bad << " at " << at << " of " << n;
                EXPECT_FALSE(heads_and_flows_plausible(nullptr, q.data(), n, 0.0, 0.0));
                EXPECT_TRUE(heads_and_flows_plausible(heads.data(), nullptr, n, kFloor, kCeiling));
            }
        }
    }
    EXPECT_TRUE(heads_and_flows_plausible(nullptr, nullptr, 0, kFloor, kCeiling));
}

}  // namespace
}  // namespace vuzizi::transient
