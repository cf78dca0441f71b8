// Pipes shorter than the step: a rigid water column between their end nodes, and a short pipe
// in a long line giving the surge of a run fine enough to keep its reaches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using testing::area_of;
using testing::darcy_loss;

constexpr double kLength = 2.0, kDiameter = 0.2, kWaveSpeed = 1000.0;
constexpr double kStep = 0.01;      // five times the pipe's travel time
constexpr double kHeadDrop = 1.0;   // m, imposed across the pipe at t = 0

// Reservoir A -- short pipe S -- node B whose head is held kHeadDrop below A's from the start.
TransientModel column(double friction) {
    TransientModel m;
    m.nodes = {testing::reservoir("A", 100.0), testing::junction("B", 0.0, 100.0, 0.0)};
    m.nodes[1].imposed = Imposed::Head;
    m.nodes[1].series.times = {0.0};
    m.nodes[1].series.values = {100.0 - kHeadDrop};
    m.pipes = {testing::pipe("S", 0, 1, kLength, kDiameter, kWaveSpeed, friction, 0.0)};
    m.time_step = kStep;
    return m;
}

TEST(LumpedPipe, FollowsTheRigidColumnLaw) {
    std::string error;
    // Without friction the column accelerates at g A dH / L: the flow grows linearly. (A zero
    // factor would take the default; the solver reads the model's series, so the model outlives it.)
    const TransientModel frictionless = column(1e-12);
    Solver s;
    ASSERT_TRUE(s.prepare(frictionless, error)) << error;
    ASSERT_EQ(s.plan().lumped_count, 1);
    ASSERT_EQ(s.lumped_count(), 1);
    ASSERT_EQ(s.plan().time_step, kStep);
    const double rate = kGravity * area_of(kDiameter) * kHeadDrop / kLength;
    for (int k = 1; k <= 20; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        EXPECT_NEAR(s.pipe_flow_start(0), rate * k * kStep, 1e-6 * rate * k * kStep);
        EXPECT_EQ(s.pipe_flow_end(0), s.pipe_flow_start(0));
    }
    // With friction it settles at the flow whose loss is the head difference.
    const double f = 0.02;
    const TransientModel rough = column(f);
    Solver r;
    ASSERT_TRUE(r.prepare(rough, error)) << error;
    for (int k = 0; k < 2000; ++k) ASSERT_TRUE(r.step(error)) << error;
    EXPECT_NEAR(darcy_loss(f, kLength, kDiameter, r.pipe_flow_start(0)), kHeadDrop, 1e-6);
}

// Reservoir -- 1000 m -- J1 -- 3 m -- J2 -- 1000 m -- END, whose demand stops at once.
TransientModel line_with_short_pipe(double step) {
    const double q = 0.1, d = 0.4, f = 0.02;
    const double h1 = 100.0 - darcy_loss(f, 1000.0, d, q);
    const double h2 = h1 - darcy_loss(f, 3.0, d, q);
    const double h3 = h2 - darcy_loss(f, 1000.0, d, q);
    TransientModel m;
    m.nodes = {testing::reservoir("R", 100.0), testing::junction("J1", 0.0, h1, 0.0),
               testing::junction("J2", 0.0, h2, 0.0), testing::junction("END", 0.0, h3, q)};
    m.pipes = {testing::pipe("P1", 0, 1, 1000.0, d, kWaveSpeed, f, q), testing::pipe("S", 1, 2, 3.0, d, kWaveSpeed, f, q),
               testing::pipe("P2", 2, 3, 1000.0, d, kWaveSpeed, f, q)};
    m.time_step = step;
    testing::stop_demand(m, 3);
    return m;
}

// Highest and lowest head at END over 4 s.
std::pair<double, double> end_extremes(double step, int32_t expected_lumped) {
    const TransientModel m = line_with_short_pipe(step);
    Solver s;
    std::string error;
    EXPECT_TRUE(s.prepare(m, error)) << error;
    EXPECT_EQ(s.plan().lumped_count, expected_lumped);
    double high = s.node_head(3), low = s.node_head(3);
    const int steps = static_cast<int>(std::lround(4.0 / s.plan().time_step));
    for (int k = 0; k < steps; ++k) {
        EXPECT_TRUE(s.step(error)) << error;
        high = std::max(high, s.node_head(3));
        low = std::min(low, s.node_head(3));
    }
    return {high, low};
}

TEST(LumpedPipe, ShortPipeInALongLineGivesTheFineRunsSurge) {
    const auto fine = end_extremes(0.0005, 0);   // the short pipe keeps six reaches
    const auto coarse = end_extremes(0.01, 1);   // it is lumped
    const double surge = fine.first - fine.second;
    EXPECT_NEAR(coarse.first, fine.first, 0.01 * surge);
    EXPECT_NEAR(coarse.second, fine.second, 0.01 * surge);
}

}  // namespace
}  // namespace vuzizi::transient
