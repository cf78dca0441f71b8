// Time step and reaches: pipes shorter than the step lumped, the others adjusted within tolerance,
// refusals name the pipe.
#include <gtest/gtest.h>

#include <cmath>

#include "pipelines.h"
#include "reach_plan.h"

namespace vuzizi::transient {
namespace {

using testing::pipe;

StepRule imposing(double step) {
    StepRule rule;
    rule.requested_step = step;
    return rule;
}

struct PlanCase {
    std::vector<double> lengths;  // m, all with a = 1000 m/s
    double requested;             // s, 0 lets the plan choose
    double max_adjustment;        // expected upper bound
    int32_t lumped;               // pipes expected to be lumped
};

class PlanFits : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanFits, EveryPipeIsWholeReachesOfOneStep) {
    const PlanCase c = GetParam();
    std::vector<Pipe> pipes;
    for (std::size_t i = 0; i < c.lengths.size(); ++i) {
        std::string id = std::to_string(i);
        id.insert(id.begin(), 'P');
        pipes.push_back(pipe(id, 0, 1, c.lengths[i], 0.3, 1000.0, 0.02, 0.0));
    }
    ReachPlan plan;
    std::string error;
    ASSERT_TRUE(plan_reaches(pipes, imposing(c.requested), plan, error)) << error;
    if (c.requested > 0.0) {
        EXPECT_EQ(plan.time_step, c.requested);
    }
    double largest = 0.0;
    int64_t total = 0;
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        // A pipe is lumped exactly when a wave crosses it in less than one step.
        const double travel = pipes[i].length / pipes[i].wave_speed;
        EXPECT_EQ(plan.lumped(i), travel < plan.time_step) << pipes[i].id;
        if (plan.lumped(i)) continue;
        // The adjusted wave speed makes a whole number of reaches exactly.
        EXPECT_NEAR(pipes[i].length / (plan.wave_speed[i] * plan.time_step), plan.reaches[i], 1e-9);
        largest = std::max(largest, std::fabs(plan.wave_speed[i] / 1000.0 - 1.0));
        total += plan.reaches[i];
    }
    EXPECT_NEAR(plan.largest_adjustment, largest, 1e-12);
    EXPECT_LE(plan.largest_adjustment, c.max_adjustment);
    EXPECT_EQ(plan.total_reaches, total);
    EXPECT_EQ(plan.lumped_count, c.lumped);
}

INSTANTIATE_TEST_SUITE_P(
    Networks, PlanFits,
    ::testing::Values(PlanCase{{1000.0}, 0.0, 1e-12, 0},                    // one pipe fits exactly
                      PlanCase{{1000.0, 1500.0, 2250.0}, 0.0, 1e-12, 0},   // commensurate lengths
                      PlanCase{{1000.0, 1234.5, 777.7, 3141.6}, 0.0, kDefaultWaveSpeedTolerance, 0},
                      PlanCase{{1000.0, 1234.5}, 0.1, 0.03, 0},            // imposed step
                      PlanCase{{1000.0, 1234.5, 50.0}, 0.1, 0.03, 1},      // imposed step lumps a pipe
                      PlanCase{{0.3, 5000.0}, 0.0, kDefaultWaveSpeedTolerance, 1},  // negligible beside the other
                      PlanCase{{0.3, 1000.0, 1500.0, 2000.0, 2500.0, 3000.0, 3500.0, 4000.0, 4500.0, 5000.0, 5500.0,
                                6000.0, 6500.0, 7000.0, 7500.0, 8000.0, 8500.0, 9000.0, 9500.0, 10000.0, 10500.0},
                               0.0, kDefaultWaveSpeedTolerance, 1},  // a very short pipe among twenty
                      PlanCase{{300.0, 5000.0}, 0.0, kDefaultWaveSpeedTolerance, 0}));  // too few pipes to lump one

TEST(PlanRefusal, NamesThePipeWithoutATravelTime) {
    for (double length : {0.0, -5.0, std::nan("")}) {
        std::vector<Pipe> pipes = {pipe("GOOD", 0, 1, 100.0, 0.3, 1000.0, 0.02, 0.0),
                                   pipe("BAD7", 0, 1, length, 0.3, 1000.0, 0.02, 0.0)};
        ReachPlan plan;
        std::string error;
        EXPECT_FALSE(plan_reaches(pipes, StepRule{}, plan, error));
        EXPECT_NE(error.find("BAD7"), std::string::npos) << error;
    }
}

TEST(PlanRefusal, AStepNeedingTooManyReaches) {
    std::vector<Pipe> pipes = {pipe("LONG", 0, 1, 1e6, 0.3, 1000.0, 0.02, 0.0)};
    ReachPlan plan;
    std::string error;
    EXPECT_FALSE(plan_reaches(pipes, imposing(1e-6), plan, error));
    EXPECT_NE(error.find("reaches"), std::string::npos);
}

}  // namespace
}  // namespace vuzizi::transient
