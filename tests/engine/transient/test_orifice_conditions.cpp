// Under DEMANDS ORIFICE, a demand condition either imposes its junction's outflow (FLOW, the
// default) or gives the outflow at the steady pressure, the orifice law scaling it with the
// pressure (DEMANDCONDITIONS ORIFICE).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// R (50 m) -- 1 km of 300 mm pipe -- J (20 l/s); J's condition doubles its demand over 0.5-0.6 s.
const std::string kLine = R"(
[RESERVOIRS]
R 50
[JUNCTIONS]
J 0 20
[PIPES]
P R J 1000 300 0.1
[OPTIONS]
UNITS LPS
HEADLOSS D-W
[TRANSIENT]
TIMESTEP 0.01
DEMANDS ORIFICE
)";

const std::vector<NodePoint> kPulse = {{0.0, 20.0}, {0.5, 20.0}, {0.6, 40.0}};

double condition_at(double t) {
    if (t <= kPulse[1].time) return kPulse[1].value;
    if (t >= kPulse[2].time) return kPulse[2].value;
    const double w = (t - kPulse[1].time) / (kPulse[2].time - kPulse[1].time);
    return kPulse[1].value + w * (kPulse[2].value - kPulse[1].value);
}

struct ConditionCase {
    const char* option;   // DEMANDCONDITIONS value
    bool scaled;          // outflow = condition * sqrt(p / p0); otherwise the condition itself
};

class DemandCondition : public FreshEngine<ConditionCase> {};

TEST_P(DemandCondition, GivesTheOutflowOrScalesTheOrificeLaw) {
    const ConditionCase c = GetParam();
    const std::string text = kLine + "DEMANDCONDITIONS " + c.option + "\n";
    ASSERT_EQ(load_model(write_model(std::string("condition_") + c.option, text)), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("J", 1, kPulse)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(3.0f, 1)));
    const Curve outflow = read_curve(ELEMENT_NODE, 1, "J");    // l/s
    const Curve pressure = read_curve(ELEMENT_NODE, 2, "J");   // m
    ASSERT_FALSE(outflow.values.empty());
    ASSERT_EQ(pressure.values.size(), outflow.values.size());
    const double p0 = pressure.values.front();
    double largest_gap = 0.0;  // between the outflow and the condition
    for (std::size_t k = 0; k < outflow.values.size(); ++k) {
        const double given = condition_at(outflow.times[k]);
        const double expected = c.scaled ? given * std::sqrt(pressure.values[k] / p0) : given;
        EXPECT_NEAR(outflow.values[k], expected, 1e-9 * given) << "t = " << outflow.times[k];
        largest_gap = std::max(largest_gap, std::fabs(outflow.values[k] - given));
    }
    if (c.scaled) {
        EXPECT_GT(largest_gap, 1.0);  // the pressure fell, and the outflow with it
    }
}

INSTANTIATE_TEST_SUITE_P(Options, DemandCondition,
                         ::testing::Values(ConditionCase{"FLOW", false}, ConditionCase{"ORIFICE", true}),
                         [](const ::testing::TestParamInfo<ConditionCase>& info) {
                             return std::string(info.param.option);
                         });

}  // namespace
}  // namespace vuzizi::transient
