// Valve manoeuvres and pump trips.
#include <gtest/gtest.h>

#include <cmath>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// R1 (100 m) -- pipe -- U -- valve -- R2 (80 m).
TransientModel valve_line(double closure_time) {
    TransientModel m;
    const double f = 1e-5, q = 0.2, d = 0.5, length = 1000.0;
    const double hu = 100.0 - darcy_loss(f, length, d, q);
    m.nodes = {reservoir("R1", 100.0), junction("U", 0.0, hu, 0.0), reservoir("R2", 80.0)};
    m.pipes = {pipe("P", 0, 1, length, d, 1000.0, f, q)};
    m.valves = {valve("V", 1, 2, q, {0.0, closure_time}, {closure_time > 0.0 ? 1.0 : 0.0, 0.0})};
    m.time_step = 0.01;
    return m;
}

struct ClosureCase {
    double closure_time;     // s
    double rise_low, rise_high;  // bounds of the peak rise as a fraction of Joukowsky's
};

class ValveClosure : public ::testing::TestWithParam<ClosureCase> {};

TEST_P(ValveClosure, PeakRiseAgainstJoukowsky) {
    const ClosureCase c = GetParam();
    const TransientModel m = valve_line(c.closure_time);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    const double joukowsky = 1000.0 * 0.2 / area_of(0.5) / kGravity;
    double peak = 0.0;
    for (int k = 0; k < static_cast<int>((c.closure_time + 6.0) / 0.01); ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        peak = std::max(peak, s.node_head(1) - m.nodes[1].head);
        ASSERT_GE(s.valve_flow(0), -1e-12);
    }
    EXPECT_GE(peak / joukowsky, c.rise_low);
    EXPECT_LE(peak / joukowsky, c.rise_high);
    EXPECT_EQ(s.valve_flow(0), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Times, ValveClosure,
                         ::testing::Values(ClosureCase{0.0, 0.99, 1.01},   // at once
                                           ClosureCase{20.0, 0.0, 0.3}));  // slow: ten round trips

// R1 (20 m) -- pump -- S -- pipe -- R2 (60 m): the pump lifts against the downstream reservoir.
TransientModel pumped_line(double inertia) {
    TransientModel m;
    const double f = 0.02, q = 0.1, d = 0.3, length = 2000.0;
    const double hs = 60.0 + darcy_loss(f, length, d, q);
    m.nodes = {reservoir("R1", 20.0), junction("S", 0.0, hs, 0.0), reservoir("R2", 60.0)};
    m.pipes = {pipe("P", 1, 2, length, d, 1000.0, f, q)};
    Pump p;
    p.id = "PU";
    p.from = 0;
    p.to = 1;
    p.flow = q;
    p.curve.shutoff = 70.0;
    p.curve.coefficient = (70.0 - (hs - 20.0)) / (q * q);
    p.trip_time = 0.5;
    p.inertia = inertia;
    p.rated_speed = 1450.0;
    p.efficiency = 0.75;
    m.pumps = {p};
    m.time_step = 0.02;
    return m;
}

class PumpTrip : public ::testing::TestWithParam<double> {};

TEST_P(PumpTrip, SpeedFallsDownsurgeFollowsCheckValveShuts) {
    const TransientModel m = pumped_line(GetParam());
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    double speed = 1.0, lowest = m.nodes[1].head;
    for (int k = 0; k < 3000; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        ASSERT_LE(s.pump_speed(0), speed + 1e-15);
        ASSERT_GE(s.pump_flow(0), 0.0);
        speed = s.pump_speed(0);
        lowest = std::min(lowest, s.node_head(1));
        if (s.time() < 0.5) {
            ASSERT_NEAR(s.pump_flow(0), 0.1, 1e-9);
        }
    }
    EXPECT_LT(speed, 0.5);
    EXPECT_EQ(s.pump_flow(0), 0.0);
    EXPECT_LT(lowest, m.nodes[1].head - 5.0);  // downsurge at the pump outlet
}

INSTANTIATE_TEST_SUITE_P(Inertias, PumpTrip, ::testing::Values(0.0, 0.5, 5.0));

}  // namespace
}  // namespace vuzizi::transient
