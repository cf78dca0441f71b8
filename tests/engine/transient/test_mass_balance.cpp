// Continuity holds at every junction at every step, whatever joins there.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

enum class AtJunction { PipesOnly, AirVessel, SurgeTank, Valve };

// Reservoir -- pipe -- J -- two pipes -- K (demand stopped), with something extra at J.
TransientModel tee(AtJunction extra) {
    TransientModel m;
    const double f = 0.02, a = 1000.0, d = 0.3, q = 0.1;
    const double hj = 100.0 - darcy_loss(f, 800.0, d, q);
    const double hk = hj - darcy_loss(f, 500.0, d, q / 2);
    m.nodes = {reservoir("R", 100.0), junction("J", 10.0, hj, 0.0), junction("K", 5.0, hk, q)};
    m.pipes = {pipe("P1", 0, 1, 800.0, d, a, f, q), pipe("P2", 1, 2, 500.0, d, a, f, q / 2),
               pipe("P3", 1, 2, 500.0, d, a, f, q / 2)};
    switch (extra) {
        case AtJunction::PipesOnly: break;
        case AtJunction::AirVessel: m.air_vessels = {AirVessel{"AV", 1, 1.0, 1.3, 50.0, 100.0}}; break;
        case AtJunction::SurgeTank: m.surge_tanks = {SurgeTank{"ST", 1, 2.0, 10.0}}; break;
        case AtJunction::Valve: {
            // Split J into J and J2 joined by a valve carrying the whole flow.
            m.nodes.push_back(junction("J2", 10.0, hj - 1.0, 0.0));
            m.pipes[1].from = 3;
            m.pipes[2].from = 3;
            m.pipes[1].length = m.pipes[2].length = 500.0;
            m.nodes[2].head = hj - 1.0 - darcy_loss(f, 500.0, d, q / 2);
            m.valves = {valve("V", 1, 3, q, {}, {})};
            break;
        }
    }
    stop_demand(m, 2);
    return m;
}

class MassBalance : public ::testing::TestWithParam<AtJunction> {};

TEST_P(MassBalance, EveryJunctionAtEveryStep) {
    const TransientModel m = tee(GetParam());
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    double largest_flow_change = 0.0;
    for (int k = 0; k < 3000; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        std::vector<double> inflow(static_cast<std::size_t>(s.node_count()), 0.0);
        for (int32_t p = 0; p < s.pipe_count(); ++p) {
            inflow[static_cast<std::size_t>(s.pipe_from(p))] -= s.pipe_flow_start(p);
            inflow[static_cast<std::size_t>(s.pipe_to(p))] += s.pipe_flow_end(p);
        }
        for (int32_t v = 0; v < s.valve_count(); ++v) {
            inflow[static_cast<std::size_t>(s.valve_from(v))] -= s.valve_flow(v);
            inflow[static_cast<std::size_t>(s.valve_to(v))] += s.valve_flow(v);
        }
        for (int32_t v = 0; v < s.vessel_count(); ++v) inflow[static_cast<std::size_t>(s.vessel_node(v))] -= s.vessel_flow(v);
        for (int32_t t = 0; t < s.storage_count(); ++t) inflow[static_cast<std::size_t>(s.storage_node(t))] -= s.storage_flow(t);
        for (int32_t n = 1; n < s.node_count(); ++n)  // node 0 is the reservoir
            ASSERT_NEAR(inflow[static_cast<std::size_t>(n)], s.node_demand(n), 1e-12)
                << m.nodes[static_cast<std::size_t>(n)].id << " at step " << k;
        largest_flow_change = std::max(largest_flow_change, std::fabs(s.pipe_flow_start(0) - 0.1));
    }
    EXPECT_GT(largest_flow_change, 0.01);  // the stop did disturb the network
}

INSTANTIATE_TEST_SUITE_P(Junctions, MassBalance,
                         ::testing::Values(AtJunction::PipesOnly, AtJunction::AirVessel, AtJunction::SurgeTank,
                                           AtJunction::Valve));

}  // namespace
}  // namespace vuzizi::transient
