// Constant-power pumps in a run: they start at their steady operating point and follow the head
// curve through it, so they hold still, answer a change of head with a finite slope and run down
// after a trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// R1 (10 m) -- pump PU (20 kW) -- J -- 2 km of 300 mm pipe -- R2 (40 m).
const std::string kPoweredLine = R"(
[RESERVOIRS]
R1 10
R2 40
[JUNCTIONS]
J 0 0
[PIPES]
P J R2 2000 300 0.1
[PUMPS]
PU R1 J POWER 20
[OPTIONS]
UNITS LPS
HEADLOSS D-W
[TRANSIENT]
TIMESTEP 0.01
)";

constexpr double kPowerWatts = 20000.0;
constexpr double kWaterWeight = 9.80665 * 1000.0;  // N/m3 of water at specific gravity 1
constexpr float kHorizon = 6.0f;                // s

struct PowerCase {
    const char* name;
    const char* extra;    // sections appended to the model
    bool runs_down;       // the pump's speed and flow fall during the run
};

class PowerPump : public FreshEngine<PowerCase> {};

TEST_P(PowerPump, StartsAtItsOperatingPointAndFollowsItsCurve) {
    const PowerCase c = GetParam();
    ASSERT_EQ(load_model(write_model(std::string("power_pump_") + c.name, kPoweredLine + c.extra)), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(kHorizon, 1)));
    const Curve flow = read_curve(ELEMENT_PUMP, 0, "PU");   // l/s
    const Curve gain = read_curve(ELEMENT_PUMP, 1, "PU");   // m
    const Curve speed = read_curve(ELEMENT_PUMP, 2, "PU");
    ASSERT_FALSE(flow.values.empty());
    ASSERT_EQ(gain.values.size(), flow.values.size());
    // The steady point delivers the pump's power.
    const double q0 = flow.values.front() / 1000.0;
    EXPECT_NEAR(kWaterWeight * q0 * gain.values.front() / kPowerWatts, 1.0, 1e-3);
    const auto [low, high] = std::minmax_element(flow.values.begin(), flow.values.end());
    if (!c.runs_down) {
        EXPECT_NEAR(*low, flow.values.front(), 1e-9 * flow.values.front());
        EXPECT_NEAR(*high, flow.values.front(), 1e-9 * flow.values.front());
        return;
    }
    EXPECT_LT(speed.values.back(), 0.9);
    EXPECT_LT(flow.values.back(), 0.5 * flow.values.front());
    EXPECT_GE(*low, 0.0);  // the check valve: no reverse flow
}

INSTANTIATE_TEST_SUITE_P(Events, PowerPump,
                         ::testing::Values(PowerCase{"steady", "", false},
                                           PowerCase{"trip", "[PUMPTRIPS]\nPU 0.5 5 1450 0.8\n", true}),
                         [](const ::testing::TestParamInfo<PowerCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vuzizi::transient
