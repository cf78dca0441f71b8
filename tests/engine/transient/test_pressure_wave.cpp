// Pressure waves after an instantaneous stop of the flow: Joukowsky rise, period, damping.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using testing::Pipeline;

struct Trace {
    double dt = 0.0;
    std::vector<double> head;  // head at the closed end after each step
};

Trace run_closure(const Pipeline& line, double dt, int steps) {
    TransientModel m = line.model();
    m.time_step = dt;
    testing::stop_demand(m, 1);
    Solver s;
    std::string error;
    EXPECT_TRUE(s.prepare(m, error)) << error;
    Trace trace{s.plan().time_step, {}};
    for (int k = 0; k < steps; ++k) {
        EXPECT_TRUE(s.step(error)) << error;
        trace.head.push_back(s.node_head(1));
    }
    return trace;
}

// Times at which the head crosses `level` going up.
std::vector<double> upward_crossings(const Trace& t, double level) {
    std::vector<double> at;
    for (std::size_t k = 1; k < t.head.size(); ++k)
        if (t.head[k - 1] < level && t.head[k] >= level) at.push_back(static_cast<double>(k + 1) * t.dt);
    return at;
}

TEST(PressureWave, FirstRiseIsJoukowskyAndPeriodIsFourLOverA) {
    Pipeline line;
    line.friction = 1e-6;
    const double dt = 0.01;
    const double period = 4.0 * line.length / line.wave_speed;
    const Trace t = run_closure(line, dt, static_cast<int>(3.5 * period / dt));

    const double velocity = line.q0 / testing::area_of(line.diameter);
    const double joukowsky = line.wave_speed * velocity / kGravity;
    const double h_end = line.model().nodes[1].head;
    EXPECT_NEAR(t.head[0] - h_end, joukowsky, 0.01 * joukowsky);

    const std::vector<double> ups = upward_crossings(t, h_end);
    ASSERT_GE(ups.size(), 2u);
    for (std::size_t i = 1; i < ups.size(); ++i) EXPECT_NEAR(ups[i] - ups[i - 1], period, dt);
    // Between crossings the head holds at +/- the rise for half a period each.
    EXPECT_NEAR(t.head[static_cast<std::size_t>(0.25 * period / dt)] - h_end, joukowsky, 0.01 * joukowsky);
    EXPECT_NEAR(t.head[static_cast<std::size_t>(0.75 * period / dt)] - h_end, -joukowsky, 0.01 * joukowsky);
}

TEST(PressureWave, FrictionDampsTheOscillation) {
    Pipeline line;
    line.friction = 0.03;
    line.q0 = 0.4;
    const double dt = 0.01;
    const double period = 4.0 * line.length / line.wave_speed;
    const int per_period = static_cast<int>(std::lround(period / dt));
    const Trace t = run_closure(line, dt, 8 * per_period);

    // Peak excursion from the reservoir head (the final rest state) in each period.
    std::vector<double> peaks;
    for (int p = 0; p < 8; ++p) {
        double peak = 0.0;
        for (int k = p * per_period; k < (p + 1) * per_period; ++k)
            peak = std::max(peak, std::fabs(t.head[static_cast<std::size_t>(k)] - line.h0));
        peaks.push_back(peak);
    }
    for (std::size_t p = 1; p < peaks.size(); ++p) EXPECT_LT(peaks[p], peaks[p - 1]) << "period " << p;
    EXPECT_LT(peaks.back(), 0.8 * peaks.front());
}

}  // namespace
}  // namespace vuzizi::transient
