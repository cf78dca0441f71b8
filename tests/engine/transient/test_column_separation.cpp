// Column separation: vapour cavities at the valve and along the pipe after a fast closure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

constexpr double kLength = 1000.0, kDiameter = 0.5, kWaveSpeed = 1000.0, kFriction = 0.015, kVelocity = 1.0;
constexpr double kStep = 0.01, kClosure = 0.05;
constexpr double kCollapseWindow = 0.1;  // s after a collapse at the valve: its own rise, before any reflection

// R1 (static head h0) -- pipe -- U (elevation 0) -- valve closing in 0.05 s -- R2.
TransientModel closing_line(double h0, bool cavities) {
    TransientModel m;
    const double q = kVelocity * area_of(kDiameter);
    const double hu = h0 - darcy_loss(kFriction, kLength, kDiameter, q);
    m.nodes = {reservoir("R1", h0), junction("U", 0.0, hu, 0.0), reservoir("R2", hu - 2.0)};
    m.pipes = {pipe("P", 0, 1, kLength, kDiameter, kWaveSpeed, kFriction, q)};
    m.valves = {valve("V", 1, 2, q, {0.0, kClosure}, {1.0, 0.0})};
    m.time_step = kStep;
    m.column_separation = cavities;
    return m;
}

TEST(ColumnSeparation, CavitiesHoldVapourHeadConserveMassAndCollapseWithinJoukowsky) {
    const double h0 = 20.0;
    const TransientModel m = closing_line(h0, true);  // outlives the solver: it keeps the valve's schedule
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    const double vapour = kWaterVapourHead - kAtmosphericHead;  // gauge, at elevation 0
    ASSERT_NEAR(s.node_vapour_head(1), vapour, 1e-12);
    const int32_t reaches = s.plan().reaches[0];
    const double dt = s.plan().time_step;

    double lowest = kNever, collapse_peak = -kNever, largest_cavity = 0.0;
    int collapses = 0, interior_cavity_steps = 0;
    double last_collapse = -kNever;
    double previous = 0.0;
    std::vector<double> before(static_cast<std::size_t>(reaches + 1), 0.0);
    for (int k = 0; k < static_cast<int>(30.0 / dt); ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        const double h = s.node_head(1);
        const double volume = s.node_cavity_volume(1);
        lowest = std::min(lowest, h);
        largest_cavity = std::max(largest_cavity, volume);
        if (previous > 0.0 && volume == 0.0) {
            ++collapses;
            last_collapse = s.time();
        }
        if (s.time() - last_collapse <= kCollapseWindow) collapse_peak = std::max(collapse_peak, h);
        // The node's cavity grows by what the pipe does not bring (the valve shut, no demand).
        const double growth = s.node_cavity_growth(1);
        ASSERT_NEAR(growth, s.valve_flow(0) - s.pipe_flow_end(0), 1e-12) << "step " << k;
        ASSERT_NEAR(volume - previous, dt * growth, 1e-15) << "step " << k;
        if (volume > 0.0) {
            ASSERT_NEAR(h, vapour, 1e-9) << "step " << k;
        }
        previous = volume;
        // Along the pipe: no head below vapour head, volumes following the two sides' flows.
        for (int32_t i = 1; i < reaches; ++i) {
            const double v = s.pipe_point_cavity(0, i);
            const double qd = s.pipe_point_flow(0, i), qu = s.pipe_point_flow_upstream(0, i);
            ASSERT_GE(s.pipe_point_head(0, i), vapour - 1e-9) << "point " << i << " step " << k;
            ASSERT_NEAR(v - before[static_cast<std::size_t>(i)], dt * (qd - qu), 1e-15) << "point " << i;
            if (v == 0.0 && before[static_cast<std::size_t>(i)] == 0.0) {
                ASSERT_EQ(qd, qu);
            }
            if (v > 0.0) ++interior_cavity_steps;
            before[static_cast<std::size_t>(i)] = v;
        }
    }
    EXPECT_NEAR(lowest, vapour, 1e-9);
    EXPECT_GT(largest_cavity, 1e-3);  // m3
    EXPECT_GE(collapses, 1);
    EXPECT_GT(interior_cavity_steps, 0);
    EXPECT_LE(collapse_peak, h0 + kWaveSpeed * kVelocity / kGravity);
    EXPECT_GT(collapse_peak, h0);  // the columns do rejoin with a surge
}

// With the option on but heads that stay above vapour head, every value is the same as without.
class NoSeparation : public ::testing::TestWithParam<double> {};

TEST_P(NoSeparation, ResultsAreBitForBitThoseWithoutTheOption) {
    const double h0 = GetParam();
    const TransientModel on = closing_line(h0, true), off = closing_line(h0, false);
    Solver with, without;
    std::string error;
    ASSERT_TRUE(with.prepare(on, error)) << error;
    ASSERT_TRUE(without.prepare(off, error)) << error;
    for (int k = 0; k < static_cast<int>(10.0 / kStep); ++k) {
        ASSERT_TRUE(with.step(error)) << error;
        ASSERT_TRUE(without.step(error)) << error;
        ASSERT_EQ(with.node_head(1), without.node_head(1)) << "step " << k;
        ASSERT_EQ(with.valve_flow(0), without.valve_flow(0)) << "step " << k;
        for (int32_t i = 0; i <= with.plan().reaches[0]; ++i) {
            ASSERT_EQ(with.pipe_point_head(0, i), without.pipe_point_head(0, i)) << "point " << i;
            ASSERT_EQ(with.pipe_point_flow(0, i), without.pipe_point_flow(0, i)) << "point " << i;
        }
        ASSERT_EQ(with.node_cavity_volume(1), 0.0);
    }
}

// 200 m: the lowest head stays far above vapour head; 93 m: a few metres above the static head at
// which a cavity first forms at the valve.
INSTANTIATE_TEST_SUITE_P(StaticHeads, NoSeparation, ::testing::Values(200.0, 93.0));

// The laboratory line: a 32 m reservoir, 37.23 m of 22.1 mm pipe (a = 1319 m/s), a valve 3.53 m up
// carrying 0.3 m/s and shut at once; frictionless, so that the single cavity at the valve has a
// closed-form solution along the characteristics. At 4L/a the wave back from the reservoir reaches
// the cavity before it has filled: the valve stays at vapour head for the final filling, sending a
// slice of liquid at vapour head up the pipe, which the reservoir turns into a short pulse at the
// valve 2L/a after the collapse.
struct SingleCavity {
    double first_peak, cavity_duration, collapse_head, pulse_head, pulse_start, final_filling;
};

constexpr double kLabLength = 37.23, kLabDiameter = 0.0221, kLabWaveSpeed = 1319.0, kLabVelocity = 0.3;
constexpr double kLabReservoir = 32.0, kLabValveElevation = 3.53;
constexpr double kLabValveLoss = 2.0, kLabClosure = 1e-9;  // m at the steady flow; s, a shut at once

SingleCavity single_cavity_solution(double vapour) {
    const double b = kLabWaveSpeed / kGravity, h0 = kLabReservoir, v0 = kLabVelocity;
    const double round_trip = 2.0 * kLabLength / kLabWaveSpeed;
    const double opening = (vapour - (h0 - b * v0)) / b;         // velocity away from the valve's cavity
    const double returning = (h0 - (vapour + b * opening)) / b;  // behind the reservoir's reflection
    const double collapse_head = h0 + b * returning;
    const double filling_velocity = (collapse_head - vapour) / b;
    const double final_filling = opening * round_trip / filling_velocity;
    const double pulse_head = 2.0 * h0 - (vapour - b * filling_velocity);
    return {h0 + b * v0, round_trip + final_filling, collapse_head, pulse_head, 3.0 * round_trip, final_filling};
}

class LabLine : public ::testing::TestWithParam<int> {};

TEST_P(LabLine, FollowsTheExactSingleCavitySolutionAndItsShortPulse) {
    const int reaches = GetParam();
    const double q = kLabVelocity * area_of(kLabDiameter);
    TransientModel m;
    m.nodes = {reservoir("R1", kLabReservoir), junction("U", kLabValveElevation, kLabReservoir, 0.0),
               reservoir("R2", kLabReservoir - kLabValveLoss)};
    m.pipes = {pipe("P", 0, 1, kLabLength, kLabDiameter, kLabWaveSpeed, 0.0, q)};
    m.valves = {valve("V", 1, 2, q, {0.0, kLabClosure}, {1.0, 0.0})};
    m.time_step = kLabLength / kLabWaveSpeed / reaches;
    m.column_separation = true;
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    ASSERT_EQ(s.plan().reaches[0], reaches);
    const double dt = s.plan().time_step;
    const SingleCavity exact = single_cavity_solution(s.node_vapour_head(1));
    const double round_trip = 2.0 * kLabLength / kLabWaveSpeed;

    double first_peak = -kNever, opened = -1.0, collapsed = -1.0, collapse_head = 0.0;
    double highest = -kNever, highest_at = 0.0;
    double previous = 0.0;
    const int steps = static_cast<int>(3.5 * round_trip / dt);
    for (int k = 0; k < steps; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        const double h = s.node_head(1), volume = s.node_cavity_volume(1);
        if (s.time() < round_trip) first_peak = std::max(first_peak, h);
        if (opened < 0.0 && volume > 0.0) opened = s.time() - dt;
        if (collapsed < 0.0 && previous > 0.0 && volume == 0.0) collapsed = s.time();
        // The step of the collapse ends partway up; the next one is on the plateau.
        if (collapsed > 0.0 && s.time() > collapsed && collapse_head == 0.0) collapse_head = h;
        if (h > highest) {
            highest = h;
            highest_at = s.time();
        }
        previous = volume;
    }
    EXPECT_NEAR(first_peak, exact.first_peak, 0.01);
    ASSERT_GT(collapsed, opened);
    EXPECT_NEAR(collapsed - opened, exact.cavity_duration, 0.01 * exact.cavity_duration);
    EXPECT_NEAR(collapse_head, exact.collapse_head, 0.001 * exact.collapse_head);
    // The pulse: where the step resolves the final filling, its full height; on a coarser grid one
    // step of it, lower, never above it.
    EXPECT_LE(highest, exact.pulse_head + 0.01);
    EXPECT_GE(highest_at, exact.pulse_start - 2.0 * dt);
    EXPECT_LE(highest_at, exact.pulse_start + exact.final_filling + 2.0 * dt);
    if (dt < exact.final_filling / 4.0) {
        EXPECT_GT(highest, 0.99 * exact.pulse_head);
    }
}

// 16 reaches: a step longer than the final filling; 64 and 256: two and ten steps of the pulse.
INSTANTIATE_TEST_SUITE_P(Reaches, LabLine, ::testing::Values(16, 64, 256));

TEST(ColumnSeparation, WithoutTheOptionHeadsFallBelowVapourHead) {
    const TransientModel m = closing_line(20.0, false);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    double lowest = kNever;
    for (int k = 0; k < static_cast<int>(5.0 / kStep); ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        lowest = std::min(lowest, s.node_head(1));
    }
    EXPECT_LT(lowest, kWaterVapourHead - kAtmosphericHead - 50.0);
}

}  // namespace
}  // namespace vuzizi::transient
