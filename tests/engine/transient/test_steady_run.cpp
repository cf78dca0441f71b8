// A run with nothing changed keeps every head and flow at its steady value.
#include <gtest/gtest.h>

#include <cmath>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// Reservoir -> pump -> pipe network with a loop, a valve, a tank, a surge tank and an air vessel.
// Flows are chosen to balance every junction; heads fall along each pipe, so the friction
// coefficients come out positive.
TransientModel looped_network() {
    TransientModel m;
    m.nodes = {
        reservoir("SRC", 50.0),           // 0
        junction("PUMPOUT", 0.0, 90.0, 0.0),  // 1
        junction("A", 5.0, 85.0, 0.05),   // 2
        junction("B", 4.0, 82.0, 0.10),   // 3
        junction("C", 3.0, 80.0, 0.05),   // 4
        junction("D", 2.0, 78.0, 0.0),    // 5
        junction("E", 1.0, 76.0, 0.10),   // 6
    };
    Node tank;
    tank.id = "T";
    tank.kind = NodeKind::Tank;
    tank.elevation = 60.0;
    tank.head = 82.0;
    tank.tank_area = 100.0;
    m.nodes.push_back(tank);  // 7
    const double a = 1100.0;
    m.pipes = {
        pipe("P1", 1, 2, 600.0, 0.4, a, 0.02, 0.30),
        pipe("P2", 2, 3, 450.0, 0.3, a, 0.02, 0.15),
        pipe("P3", 2, 4, 500.0, 0.3, a, 0.02, 0.10),
        pipe("P4", 3, 4, 300.0, 0.2, a, 0.02, 0.05),
        pipe("P5", 4, 5, 400.0, 0.3, a, 0.02, 0.10),
        pipe("P6", 3, 7, 200.0, 0.2, a, 0.02, 0.0),  // to the tank, no flow
    };
    Pump pump;
    pump.id = "PU";
    pump.from = 0;
    pump.to = 1;
    pump.flow = 0.30;
    pump.curve.shutoff = 55.0;
    pump.curve.coefficient = 150.0;
    m.pumps = {pump};
    Valve valve;
    valve.id = "V";
    valve.from = 5;
    valve.to = 6;
    valve.flow = 0.10;
    m.valves = {valve};
    m.surge_tanks = {SurgeTank{"ST", 2, 3.0, 5.0}};
    m.air_vessels = {AirVessel{"AV", 4, 2.0, 1.2, 10.0, 20.0}};
    m.relief_valves = {ReliefValve{"RV", 5, 120.0, 0.05}};
    return m;
}

// Fixed demands, and demands that follow the orifice law (which gives back Q0 at p0).
class SteadyRun : public ::testing::TestWithParam<bool> {};

TEST_P(SteadyRun, NothingChangedKeepsHeadsAndFlows) {
    TransientModel m = looped_network();
    m.orifice_demands = GetParam();
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    for (int k = 0; k < 2000; ++k) ASSERT_TRUE(s.step(error)) << error;

    constexpr double kTolerance = 1e-9;
    for (int32_t n = 0; n < s.node_count(); ++n) {
        const Node& node = m.nodes[static_cast<std::size_t>(n)];
        EXPECT_NEAR(s.node_head(n), node.head, kTolerance) << node.id;
        if (node.kind == NodeKind::Junction) {
            EXPECT_NEAR(s.node_demand(n), node.demand, kTolerance) << node.id;
        }
    }
    for (int32_t p = 0; p < s.pipe_count(); ++p) {
        const double q = m.pipes[static_cast<std::size_t>(p)].flow;
        const double h_from = m.nodes[static_cast<std::size_t>(m.pipes[static_cast<std::size_t>(p)].from)].head;
        const double h_to = m.nodes[static_cast<std::size_t>(m.pipes[static_cast<std::size_t>(p)].to)].head;
        const int32_t reaches = s.plan().reaches[static_cast<std::size_t>(p)];
        for (int32_t i = 0; i <= reaches; ++i) {
            EXPECT_NEAR(s.pipe_point_flow(p, i), q, kTolerance) << m.pipes[static_cast<std::size_t>(p)].id;
            const double expected = h_from + (h_to - h_from) * i / reaches;
            EXPECT_NEAR(s.pipe_point_head(p, i), expected, kTolerance) << m.pipes[static_cast<std::size_t>(p)].id;
        }
    }
    EXPECT_NEAR(s.pump_flow(0), 0.30, kTolerance);
    EXPECT_NEAR(s.valve_flow(0), 0.10, kTolerance);
    EXPECT_NEAR(s.vessel_gas_volume(0), 2.0, kTolerance);
    EXPECT_NEAR(s.storage_level(s.tank_count()), 85.0, kTolerance);
    EXPECT_EQ(s.relief_flow(0), 0.0);
}

INSTANTIATE_TEST_SUITE_P(DemandLaws, SteadyRun, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Orifice" : "Fixed"; });

}  // namespace
}  // namespace vuzizi::transient
