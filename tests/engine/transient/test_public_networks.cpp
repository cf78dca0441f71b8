// The public example networks run from their steady state and stay near it when nothing
// is imposed (their tanks fill or drain slowly).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

constexpr float kHorizon = 8.0f;  // s: Net1's tank 2 fills 0.00087 ft/s, within the drift allowed

struct Public {
    const char* file;
    const char* node;       // a junction to follow
    double largest_drift;   // ft over the run
};

class PublicNetwork : public FreshEngine<Public> {};

TEST_P(PublicNetwork, RunsAndStaysNearItsSteadyState) {
    const Public c = GetParam();
    ASSERT_EQ(load_model(std::string(TRANSIENT_TEST_DATA) + "/" + c.file), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const CalcParamRecord p = params();
    EXPECT_GT(p.time_step, 0.0);
    EXPECT_GT(p.total_reaches, 0);
    EXPECT_TRUE(std::isfinite(p.largest_adjustment));
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(kHorizon, 1)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(RunCalculQor()));
    const Curve h = read_curve(ELEMENT_NODE, 0, c.node);
    ASSERT_EQ(h.values.size(), static_cast<std::size_t>(params().step_count) + 1);
    for (double v : h.values) EXPECT_NEAR(v, h.values[0], c.largest_drift);
}

INSTANTIATE_TEST_SUITE_P(Files, PublicNetwork,
                         ::testing::Values(Public{"Net1.inp", "22", 0.01}, Public{"Net2.inp", "11", 0.01},
                                           Public{"Net3.inp", "10", 0.01}));

}  // namespace
}  // namespace vuzizi::transient
