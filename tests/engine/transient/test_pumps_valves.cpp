// Valve manoeuvres and pump trips.
#include <gtest/gtest.h>

#include <cmath>

#include "hydraulics/pump_curve.h"
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

// A power law of exponent below 1 follows its chord near zero flow, with the same head and slope in the
// run as in the steady state, so a pump near shutoff is held where the steady state left it.
TEST(PumpCurves, ExponentBelowOneFollowsTheSameChordInTheRunAndTheSteadyState) {
    PumpModel steady;
    steady.a = 60.0;
    steady.c = 0.89;
    steady.b = 15.0 / std::pow(0.05, steady.c);
    steady.linear_below = 1e-4;
    const double speed = 0.8;  // time-0 speed, the run's rated speed
    PumpCurve run;
    run.shutoff = speed * speed * steady.a;
    run.coefficient = steady.b * std::pow(speed, 2.0 - steady.c);
    run.exponent = steady.c;
    run.linear_below = speed * steady.linear_below;
    for (const double n : {1.0, 0.5}) {
        for (const double q : {0.0, 2e-5, 8e-5 * speed * n, 0.999e-4 * speed * n, 1e-4 * speed * n, 0.03}) {
            double head = 0.0, slope = 0.0;
            steady.head_gain(q, speed * n, head, slope);
            const PumpCurve::Gain g = run.at(q, n);
            EXPECT_NEAR(g.head, head, 1e-9 * head) << "q " << q << " n " << n;
            EXPECT_NEAR(g.slope, slope, 1e-9 * std::fabs(slope)) << "q " << q << " n " << n;
            EXPECT_TRUE(std::isfinite(slope) && slope < 0.0) << "q " << q << " n " << n;
        }
        // Continuous where the chord meets the law.
        const double edge = 1e-4 * speed * n;
        EXPECT_NEAR(run.at(edge * (1.0 - 1e-9), n).head, run.at(edge * (1.0 + 1e-9), n).head, 1e-6);
    }
}

}  // namespace
}  // namespace vuzizi::transient
