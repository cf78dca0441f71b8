// The step the run chooses: it resolves the fastest imposed event in kInterpolatedStepsPerEvent steps
// (kStepsPerEvent under ADJUST), an imposed step is kept, and a tighter wave-speed tolerance keeps the adjustments within it.
#include <gtest/gtest.h>

#include <string>

#include "pipelines.h"
#include "reach_plan.h"
#include "solver.h"
#include "step_events.h"

namespace vuzizi::transient {
namespace {

using testing::Pipeline;

enum class Event { None, ValveClosure, DemandRamp, DemandJump, Imposed };

struct RuleCase {
    const char* name;
    Event event;
    double largest_step;    // s, the step must not exceed it
    StepSource source;
    const char* source_id;  // "" where no element is named
};

// A 1000 m line (one second of travel) ending at a valve V before END.
TransientModel line_with(Event event) {
    TransientModel m = Pipeline().model();
    m.nodes.push_back(testing::junction("OUT", 0.0, m.nodes[1].head, 0.0));
    m.nodes[1].demand = 0.0;
    m.nodes[2].demand = 0.2;
    m.valves = {testing::valve("V", 1, 2, 0.2, {}, {})};
    switch (event) {
        case Event::ValveClosure: m.valves[0].opening = {{1.0, 1.5}, {1.0, 0.0}}; break;
        case Event::DemandRamp:
            m.nodes[2].imposed = Imposed::Demand;
            m.nodes[2].series = {{1.0, 1.2}, {0.2, 0.0}};
            break;
        case Event::DemandJump:
            m.nodes[2].imposed = Imposed::Demand;
            m.nodes[2].series = {{1.0, 1.0}, {0.2, 0.0}};
            break;
        case Event::Imposed: m.time_step = 0.3; break;
        case Event::None: break;
    }
    return m;
}

class StepRuleOf : public ::testing::TestWithParam<RuleCase> {};

TEST_P(StepRuleOf, ResolvesTheFastestEvent) {
    const RuleCase c = GetParam();
    const TransientModel m = line_with(c.event);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    EXPECT_LE(s.plan().time_step, c.largest_step * (1.0 + 1e-12));
    EXPECT_GT(s.plan().time_step, c.largest_step / kStepSearchSpan);
    EXPECT_EQ(s.plan().source, c.source);
    EXPECT_EQ(s.plan().source_id, c.source_id);
    EXPECT_EQ(s.plan().lumped_count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Events, StepRuleOf,
    ::testing::Values(RuleCase{"nothing", Event::None, 1.0, StepSource::Pipe, "P"},
                      RuleCase{"valve", Event::ValveClosure, 0.5 / kStepsPerEvent, StepSource::Event, "V"},
                      RuleCase{"ramp", Event::DemandRamp, 0.2 / kStepsPerEvent, StepSource::Event, "OUT"},
                      // A jump has no duration to resolve: the pipe sets the step.
                      RuleCase{"jump", Event::DemandJump, 1.0, StepSource::Pipe, "P"},
                      RuleCase{"imposed", Event::Imposed, 0.3, StepSource::Requested, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StepRule, AdjustedTravelTimesTakeFewerStepsPerEvent) {
    TransientModel m = line_with(Event::ValveClosure);
    EXPECT_DOUBLE_EQ(step_rule(m).event_step, 0.5 / kInterpolatedStepsPerEvent);
    m.interpolate_travel = false;
    EXPECT_DOUBLE_EQ(step_rule(m).event_step, 0.5 / kStepsPerEvent);
}

TEST(StepRule, APumpTripIsResolvedOverItsRunDown) {
    TransientModel m = Pipeline().model();
    Pump p;
    p.id = "PU";
    p.flow = 0.2;
    p.trip_time = 1.0;
    p.inertia = 2.0;
    p.rated_speed = 1450.0;
    p.efficiency = 0.8;
    m.nodes.push_back(testing::junction("UP", 0.0, m.nodes[1].head - 20.0, 0.0));
    p.from = 2;
    p.to = 1;
    m.pumps = {p};
    const double omega = 1450.0 * 2.0 * std::numbers::pi / kSecondsPerMinute;
    const double run_down = 2.0 * omega * omega / (2.0 * kWaterDensity * kGravity * 0.2 * 20.0 / 0.8);
    const StepRule rule = step_rule(m);
    EXPECT_NEAR(rule.event_step, run_down / kInterpolatedStepsPerEvent, 1e-12 * run_down);
    EXPECT_EQ(rule.event_id, "PU");
}

struct ToleranceCase {
    double tolerance;
};

class Tolerance : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(Tolerance, KeepsTheAdjustmentsWithinIt) {
    std::vector<Pipe> pipes;
    for (double length : {1000.0, 1234.5, 777.7, 3141.6, 2718.3, 1414.2})
        pipes.push_back(testing::pipe("P" + std::to_string(pipes.size()), 0, 1, length, 0.3, 1000.0, 0.02, 0.0));
    StepRule tight, loose;
    tight.tolerance = GetParam().tolerance;
    loose.tolerance = 2.0 * GetParam().tolerance;
    ReachPlan t, l;
    std::string error;
    ASSERT_TRUE(plan_reaches(pipes, tight, t, error)) << error;
    ASSERT_TRUE(plan_reaches(pipes, loose, l, error)) << error;
    EXPECT_LE(t.largest_adjustment, tight.tolerance);
    EXPECT_LE(l.largest_adjustment, loose.tolerance);
    // A looser tolerance never takes a shorter step.
    EXPECT_GE(l.time_step, t.time_step);
}

INSTANTIATE_TEST_SUITE_P(Fractions, Tolerance, ::testing::Values(ToleranceCase{0.05},
                                                                 ToleranceCase{0.1}, ToleranceCase{0.2}));

}  // namespace
}  // namespace vuzizi::transient
