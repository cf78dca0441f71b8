// Junction outflows that follow the orifice law during the run: the law and continuity at every
// step, the damping of a demand step's and a valve closure's wave, the refusal of a junction without steady
// pressure, and fixed demands unchanged bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_session.h"
#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// R -- P1 -- M [-- V -- N] -- P2 -- END: M draws an orifice demand, END a demand that jumps
// to three times its value, which drives M's pressure below zero and back.
struct Line {
    double h0 = 100.0, d = 0.5, f = 0.02, a = 1000.0, q_m = 0.1, q_end = 0.2, z_m = 80.0, valve_drop = 2.0;
    bool through_valve = false;  // M joined to the pipe P2 through a valve: solved with its group

    TransientModel model() const {
        TransientModel m;
        m.orifice_demands = true;
        m.time_step = 0.01;
        const double h_m = h0 - darcy_loss(f, 1000.0, d, q_m + q_end);
        const double h_n = through_valve ? h_m - valve_drop : h_m;
        const double h_end = h_n - darcy_loss(f, 500.0, d, q_end);
        m.nodes = {reservoir("R", h0), junction("M", z_m, h_m, q_m), junction("END", 0.0, h_end, q_end)};
        m.pipes = {pipe("P1", 0, 1, 1000.0, d, a, f, q_m + q_end)};
        int32_t upstream = 1;
        if (through_valve) {
            m.nodes.push_back(junction("N", 0.0, h_n, 0.0));
            m.valves = {valve("V", 1, 3, q_end, {}, {})};
            upstream = 3;
        }
        m.pipes.push_back(pipe("P2", upstream, 2, 500.0, d, a, f, q_end));
        Node& end = m.nodes[2];
        end.imposed = Imposed::Demand;
        end.series.times = {0.0, 0.05};
        end.series.values = {q_end, 3.0 * q_end};
        return m;
    }
};

struct Junction {
    bool through_valve;
    bool cavities;  // column separation as well: M holds a cavity at vapour head while dry
};

class OrificeLaw : public ::testing::TestWithParam<Junction> {};

TEST_P(OrificeLaw, OutflowFollowsThePressureAndBalancesTheNodeAtEveryStep) {
    Line line;
    line.through_valve = GetParam().through_valve;
    TransientModel m = line.model();
    m.column_separation = GetParam().cavities;
    const double p0 = m.nodes[1].head - line.z_m;
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    int dry = 0, flowing = 0, cavity_steps = 0;
    for (int k = 0; k < 600; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        const double p = s.node_head(1) - line.z_m;
        const double q = s.node_demand(1);
        const double law = p > 0.0 ? line.q_m * std::sqrt(p / p0) : 0.0;
        ASSERT_NEAR(q, law, 1e-12 * line.q_m) << "step " << k << ", pressure " << p;
        const double out = line.through_valve ? s.valve_flow(0) : s.pipe_flow_start(1);
        ASSERT_NEAR(s.pipe_flow_end(0) - out + s.node_cavity_growth(1), q, 1e-9) << "continuity at M, step " << k;
        ASSERT_GE(s.node_head(1), s.node_vapour_head(1) - 1e-9) << "step " << k;
        (q > 0.0 ? flowing : dry) += 1;
        if (s.node_cavity_volume(1) > 0.0) ++cavity_steps;
    }
    EXPECT_GT(dry, 10) << flowing;  // the law's zero branch was reached ...
    EXPECT_GT(flowing, 10);  // ... and left again
    EXPECT_EQ(cavity_steps > 0, GetParam().cavities);
}

INSTANTIATE_TEST_SUITE_P(Junctions, OrificeLaw,
                         ::testing::Values(Junction{false, false}, Junction{true, false}, Junction{false, true},
                                           Junction{true, true}),
                         [](const ::testing::TestParamInfo<Junction>& info) {
                             return std::string(info.param.through_valve ? "InGroup" : "OnPipes") +
                                    (info.param.cavities ? "WithCavities" : "");
                         });

// The wave of END's demand step, seen at M: the orifice outflow there takes up part of each swing.
TEST(OrificeDemands, DampTheWaveOfADemandStep) {
    double swing[2] = {};
    for (const bool orifice : {false, true}) {
        Line line;
        line.q_end = 0.05;  // a step small enough that M keeps a positive pressure
        TransientModel m = line.model();
        m.orifice_demands = orifice;
        Solver s;
        std::string error;
        ASSERT_TRUE(s.prepare(m, error)) << error;
        double low = INFINITY, high = -INFINITY;
        for (int k = 0; k < 900; ++k) {
            ASSERT_TRUE(s.step(error)) << error;
            if (k < 600) continue;
            low = std::min(low, s.node_head(1));
            high = std::max(high, s.node_head(1));
        }
        swing[orifice] = high - low;
    }
    EXPECT_GT(swing[0], 0.0);
    EXPECT_LT(swing[1], 0.8 * swing[0]) << "fixed " << swing[0] << ", orifice " << swing[1];
}

// Reservoir, a junction with a demand, a valve shut in 0.5 s at the downstream reservoir.
const std::string kClosure = R"(
[RESERVOIRS]
R 100
R2 40
[JUNCTIONS]
M 0 100
N 0 0
[PIPES]
P1 R M 1000 500 0.1
P2 M N 1000 500 0.1
[VALVES]
V N R2 500 TCV 5
[OPTIONS]
UNITS LPS
HEADLOSS D-W
[WAVESPEEDS]
DEFAULT 1000
[VALVEMOTIONS]
V 0 1
V 0.5 0
[TRANSIENT]
TIMESTEP 0.01
)";

constexpr float kHorizon = 30.0f;

struct Closure {
    Curve head_n, head_m, outflow_m, flow_p1;
};

Closure run_closure(const std::string& name, const std::string& option_line) {
    open_engine();
    Closure c;
    EXPECT_EQ(load_model(write_model(name, kClosure + option_line)), 0);
    EXPECT_TRUE(VUZIZI_STATUS_OK(run(kHorizon, 1)));
    c.head_n = read_curve(ELEMENT_NODE, 0, "N");
    c.head_m = read_curve(ELEMENT_NODE, 0, "M");
    c.outflow_m = read_curve(ELEMENT_NODE, 1, "M");
    c.flow_p1 = read_curve(ELEMENT_LINK, 0, "P1");
    CloseQorvane();
    return c;
}

// Largest swing of the head at N over the last third of the run.
double late_swing(const Curve& head) {
    const auto from = head.values.begin() + static_cast<std::ptrdiff_t>(2 * head.values.size() / 3);
    const auto [low, high] = std::minmax_element(from, head.values.end());
    return *high - *low;
}

TEST(OrificeDemands, FixedByDefaultBitForBitAndTheOrificeDampsTheClosureWave) {
    const Closure none = run_closure("closure_none", "");
    const Closure fixed = run_closure("closure_fixed", "DEMANDS FIXED\n");
    const Closure orifice = run_closure("closure_orifice", "DEMANDS ORIFICE\n");
    ASSERT_FALSE(none.head_n.values.empty());
    EXPECT_EQ(none.head_n.values, fixed.head_n.values);
    EXPECT_EQ(none.head_m.values, fixed.head_m.values);
    EXPECT_EQ(none.outflow_m.values, fixed.outflow_m.values);
    EXPECT_EQ(none.flow_p1.values, fixed.flow_p1.values);

    ASSERT_EQ(orifice.head_n.values.size(), none.head_n.values.size());
    EXPECT_EQ(orifice.outflow_m.values.front(), none.outflow_m.values.front());  // Q0 at the start
    const auto [low, high] = std::minmax_element(orifice.outflow_m.values.begin(), orifice.outflow_m.values.end());
    EXPECT_GT(*high - *low, 0.1 * none.outflow_m.values.front());  // the outflow moves with the wave
    EXPECT_LT(late_swing(orifice.head_n), 0.5 * late_swing(none.head_n));
}

TEST(OrificeDemands, RefusedPreparationNamesTheJunction) {
    std::string model = kClosure + "DEMANDS ORIFICE\n";
    model.replace(model.find("M 0 100"), 7, "M 120 100");  // above the reservoir: no steady pressure
    open_engine(1);
    ASSERT_EQ(load_model(write_model("closure_dry", model)), 0);
    ::testing::internal::CaptureStderr();
    const int32_t status = InitCalculQor(&kZero);
    const std::string message = ::testing::internal::GetCapturedStderr();
    CloseQorvane();
    EXPECT_FALSE(VUZIZI_STATUS_OK(status));
    EXPECT_NE(message.find("junction M"), std::string::npos) << message;
}

}  // namespace
}  // namespace vuzizi::transient
