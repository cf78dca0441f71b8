// A run stays physically plausible: friction-dominated reaches stay stable, and a run whose heads
// leave the range the network can reach fails, naming the node and the time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// Reservoir -- one pipe -- a junction drawing q: the steady loss sets the friction of the reach.
struct FrictionCase {
    const char* name;
    double length, diameter, flow, loss;  // m, m, m3/s, m
    bool stop_demand;
};

// 10 m of 100 mm losing 146 m at 1 m3/h: R |Q| is about 40 times the reach's impedance B.
constexpr double kDraw = 1.0 / 3600.0;
const FrictionCase kFrictionCases[] = {
    {"Ordinary", 1000.0, 0.5, 0.2, 2.0, false},
    {"FrictionDominated", 10.0, 0.1, kDraw, 146.0, false},
    {"FrictionDominatedDemandStopped", 10.0, 0.1, kDraw, 146.0, true},
};

class FrictionDominated : public ::testing::TestWithParam<FrictionCase> {};

TEST_P(FrictionDominated, HeadsStayBetweenTheSteadyHeadsAndTheSurge) {
    const FrictionCase& c = GetParam();
    const double h0 = 100.0, wave_speed = 1000.0;
    TransientModel m;
    m.nodes = {reservoir("R", h0), junction("J", 0.0, h0 - c.loss, c.flow)};
    m.pipes = {pipe("P", 0, 1, c.length, c.diameter, wave_speed, 0.02, c.flow)};
    if (c.stop_demand) stop_demand(m, 1);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    const double joukowsky = wave_speed * c.flow / (kGravity * area_of(c.diameter));
    const double low = h0 - c.loss - 1e-6, high = c.stop_demand ? h0 + joukowsky : h0 - c.loss + 1e-6;
    for (int k = 0; k < 2000; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        ASSERT_GE(s.node_head(1), low) << "t = " << s.time();
        ASSERT_LE(s.node_head(1), high) << "t = " << s.time();
    }
}

INSTANTIATE_TEST_SUITE_P(Reaches, FrictionDominated, ::testing::ValuesIn(kFrictionCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two junctions and no reservoir: once J1 stops drawing, the supply of J2 fills a closed pipe and
// the heads climb without end; the run fails instead of reporting them.
TEST(ImplausibleHeads, FailTheRunNamingNodeAndTime) {
    const double q = 0.2, loss = 2.0;
    TransientModel m;
    m.nodes = {junction("J1", 0.0, 50.0, q), junction("J2", 0.0, 50.0 + loss, -q)};
    m.pipes = {pipe("P", 1, 0, 1000.0, 0.5, 1000.0, 0.02, q)};
    stop_demand(m, 0);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    bool failed = false;
    double highest = -kNever;
    for (int k = 0; k < 30000 && !failed; ++k) {
        failed = !s.step(error);
        for (int32_t n = 0; n < 2; ++n) highest = std::max(highest, s.node_head(n));
    }
    ASSERT_TRUE(failed) << "highest head " << highest << " m";
    EXPECT_NE(error.find("node J"), std::string::npos) << error;
    EXPECT_NE(error.find("outside the physically possible range"), std::string::npos) << error;
    EXPECT_NE(error.find("at t = "), std::string::npos) << error;
    EXPECT_LT(highest, 1e4);  // refused long before the heads run away
}

}  // namespace
}  // namespace vuzizi::transient
