// TRAVELTIMES INTERPOLATE: pipes that whole reaches fit only beyond the tolerance keep their own travel
// time by a delay at each end; the others are planned as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "pipelines.h"
#include "reach_plan.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using testing::Pipeline;

TEST(TravelTimes, OnlyPipesBeyondTheToleranceAreInterpolated) {
    // At 0.1 s and 1000 m/s: exact, within 1 %, 12.345 and 1.55 steps, and a pipe shorter than a step.
    const std::vector<double> lengths = {1000.0, 1004.0, 1234.5, 155.0, 50.0};
    std::vector<Pipe> pipes;
    for (std::size_t i = 0; i < lengths.size(); ++i)
        pipes.push_back(testing::pipe("P" + std::to_string(i), 0, 1, lengths[i], 0.3, 1000.0, 0.02, 0.0));
    struct Expected {
        bool interpolate;
        std::vector<int32_t> reaches;
        std::vector<double> delay;
        int32_t interpolated;
        double largest;
    };
    for (const Expected& e : {Expected{false, {10, 10, 12, 2, 0}, {0, 0, 0, 0, 0}, 0, 0.225},
                              Expected{true, {10, 10, 11, 1, 0}, {0, 0, 1.345, 0.55, 0}, 2, 0.004}}) {
        StepRule rule;
        rule.requested_step = 0.1;
        rule.interpolate = e.interpolate;
        ReachPlan plan;
        std::string error;
        ASSERT_TRUE(plan_reaches(pipes, rule, plan, error)) << error;
        EXPECT_EQ(plan.reaches, e.reaches) << e.interpolate;
        for (std::size_t i = 0; i < pipes.size(); ++i) {
            EXPECT_NEAR(plan.end_delay[i], e.delay[i], 1e-9) << pipes[i].id;
            // Reaches and delay together take the pipe's own travel time.
            if (plan.end_delay[i] > 0.0) {
                EXPECT_NEAR((plan.reaches[i] + plan.end_delay[i]) * 0.1, lengths[i] / 1000.0, 1e-12);
                EXPECT_EQ(plan.wave_speed[i], 1000.0);
            }
        }
        EXPECT_EQ(plan.interpolated_count, e.interpolated);
        EXPECT_NEAR(plan.largest_adjustment, e.largest, 2e-3) << e.interpolate;
        EXPECT_EQ(plan.lumped_count, 1);
    }
}

Pipeline nearly_frictionless() {
    Pipeline line;
    line.friction = 1e-6;
    return line;
}

// The head at the line's end, its demand stopped at once (or over `ramp` seconds) when `stop`.
std::vector<double> closed_end_heads(bool interpolate, double dt, int steps, bool stop, double ramp = 0.0) {
    const Pipeline line = nearly_frictionless();
    TransientModel m = line.model();
    m.time_step = dt;
    m.interpolate_travel = interpolate;
    if (stop) testing::stop_demand(m, 1);
    if (stop && ramp > 0.0) {
        m.nodes[1].series.times = {0.0, ramp};
        m.nodes[1].series.values = {line.q0, 0.0};
    }
    Solver s;
    std::string error;
    EXPECT_TRUE(s.prepare(m, error)) << error;
    std::vector<double> heads;
    for (int k = 0; k < steps; ++k) {
        EXPECT_TRUE(s.step(error)) << error;
        heads.push_back(s.node_head(1));
    }
    return heads;
}

// Mean time between upward crossings of `level`.
double mean_period(const std::vector<double>& heads, double level, double dt) {
    std::vector<double> ups;
    for (std::size_t k = 1; k < heads.size(); ++k)
        if (heads[k - 1] < level && heads[k] >= level) ups.push_back(static_cast<double>(k) * dt);
    EXPECT_GE(ups.size(), 3u);
    return ups.size() < 2 ? 0.0 : (ups.back() - ups.front()) / static_cast<double>(ups.size() - 1);
}

TEST(TravelTimes, AnInterpolatedPipeKeepsItsPeriodWithoutOvershootAndStaysSteady) {
    // A 1 s pipe (a period of 4 s) at a step of 0.4 s waits 1.5 steps beyond one reach (a cubic); at
    // 0.625 s, 0.6 of a step beyond its only reach (a quadratic). Whole reaches give it 1.2 s and 1.25 s.
    struct Case {
        double dt, adjusted_travel;
    };
    const double period = 4.0;
    const Pipeline line = nearly_frictionless();
    const double h_end = line.model().nodes[1].head;
    const double rise = line.wave_speed * line.q0 / testing::area_of(line.diameter) / kGravity;
    for (const Case& c : {Case{0.4, 1.2}, Case{0.625, 1.25}}) {
        const double dt = c.dt;
        const int steps = static_cast<int>(8 * period / dt);
        EXPECT_NEAR(mean_period(closed_end_heads(false, dt, steps, true), h_end, dt), 4.0 * c.adjusted_travel, dt);
        const std::vector<double> heads = closed_end_heads(true, dt, steps, true);
        EXPECT_NEAR(mean_period(heads, h_end, dt), period, 0.5 * dt) << dt;
        // Interpolation smooths the fronts but never carries the head beyond the Joukowsky rise (and the
        // friction loss the stopped line packs).
        const double packing = line.h0 - h_end;
        EXPECT_NEAR(heads.front() - h_end, rise, 0.01 * rise) << dt;
        EXPECT_LE(*std::max_element(heads.begin(), heads.end()), h_end + rise + packing + 1e-9) << dt;
        EXPECT_GE(*std::min_element(heads.begin(), heads.end()), h_end - rise - packing - 1e-9) << dt;

        // A swing excited smoothly keeps over half its amplitude over eight periods (0.73 at ten steps
        // per period, 0.57 at 6.4), where linear interpolation leaves 0.30 and 0.06.
        const int per_period = static_cast<int>(period / dt);
        const std::vector<double> smooth = closed_end_heads(true, dt, steps, true, 2.0);
        auto swing = [&](int from) {
            const auto first = smooth.begin() + from, last = first + per_period;
            return *std::max_element(first, last) - *std::min_element(first, last);
        };
        EXPECT_GT(swing(steps - per_period), 0.5 * swing(per_period)) << dt << ": " << swing(per_period);

        // With nothing imposed the delayed ends hold the steady state.
        for (double h : closed_end_heads(true, dt, steps, false)) EXPECT_NEAR(h, h_end, 1e-9) << dt;
    }
}

}  // namespace
}  // namespace vuzizi::transient
