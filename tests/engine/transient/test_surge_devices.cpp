// Surge tank mass oscillation, air vessel gas law and its oscillation, relief valve limiting.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// Times at which `x` crosses zero going up (linear interpolation between steps).
std::vector<double> upward_zeros(const std::vector<double>& x, double dt) {
    std::vector<double> at;
    for (std::size_t k = 1; k < x.size(); ++k)
        if (x[k - 1] < 0.0 && x[k] >= 0.0) at.push_back(dt * (static_cast<double>(k) + x[k - 1] / (x[k - 1] - x[k])));
    return at;
}

double mean_period(const std::vector<double>& zeros) {
    return (zeros.back() - zeros.front()) / static_cast<double>(zeros.size() - 1);
}

struct Tunnel {
    double length = 2000.0, diameter = 1.0, wave_speed = 1000.0, friction = 1e-4, q0 = 0.3;
    TransientModel model() const {
        Pipeline line;
        line.length = length;
        line.diameter = diameter;
        line.wave_speed = wave_speed;
        line.friction = friction;
        line.q0 = q0;
        TransientModel m = line.model();
        m.time_step = 0.1;
        stop_demand(m, 1);
        return m;
    }
};

class SurgeTankPeriod : public ::testing::TestWithParam<double> {};

TEST_P(SurgeTankPeriod, MatchesRigidColumnFormula) {
    const double area = GetParam();
    const Tunnel tunnel;
    TransientModel m = tunnel.model();
    m.surge_tanks = {SurgeTank{"ST", 1, area, 0.0}};
    const double pipe_area = area_of(tunnel.diameter);
    const double expected = 2.0 * std::numbers::pi * std::sqrt(tunnel.length * area / (kGravity * pipe_area));

    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    std::vector<double> level;
    const int steps = static_cast<int>(3.2 * expected / s.plan().time_step);
    for (int k = 0; k < steps; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        level.push_back(s.storage_level(0) - m.nodes[0].head);
    }
    const std::vector<double> zeros = upward_zeros(level, s.plan().time_step);
    ASSERT_GE(zeros.size(), 2u);
    EXPECT_NEAR(mean_period(zeros), expected, 0.03 * expected);
    // The amplitude of the mass oscillation: Q0 / As * T / (2 pi).
    double top = 0.0;
    for (double y : level) top = std::max(top, y);
    const double amplitude = tunnel.q0 / area * expected / (2.0 * std::numbers::pi);
    EXPECT_NEAR(top, amplitude, 0.05 * amplitude);
}

INSTANTIATE_TEST_SUITE_P(Areas, SurgeTankPeriod, ::testing::Values(5.0, 20.0, 80.0));

TEST(AirVessel, GasFollowsThePolytropicLawAndOscillatesAtItsStiffness) {
    // A vessel far softer than the pipe's own elasticity, so the rigid-column picture holds.
    Tunnel tunnel;
    tunnel.q0 = 0.08;
    tunnel.wave_speed = 1400.0;
    TransientModel m = tunnel.model();
    const double v0 = 20.0, exponent = 1.2;
    m.air_vessels = {AirVessel{"AV", 1, v0, exponent, 0.0, 0.0}};
    const double absolute0 = m.nodes[1].head - m.nodes[1].elevation + kAtmosphericHead;
    const double constant = absolute0 * std::pow(v0, exponent);

    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    // Small oscillations: dH/dV = -m H_abs / V, so T = 2 pi sqrt(L V / (g A m H_abs)).
    const double expected = 2.0 * std::numbers::pi *
                            std::sqrt(tunnel.length * v0 / (kGravity * area_of(tunnel.diameter) * exponent * absolute0));
    std::vector<double> head;
    double smallest_volume = v0;
    const int steps = static_cast<int>(4.2 * expected / s.plan().time_step);
    for (int k = 0; k < steps; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        const double volume = s.vessel_gas_volume(0);
        const double absolute = s.vessel_gas_head(0) + kAtmosphericHead;
        ASSERT_NEAR(absolute * std::pow(volume, exponent) / constant, 1.0, 1e-9) << "step " << k;
        // Without losses the gas head is the node's pressure head.
        ASSERT_NEAR(s.vessel_gas_head(0), s.node_head(1) - m.nodes[1].elevation, 1e-6);
        smallest_volume = std::min(smallest_volume, volume);
        head.push_back(s.node_head(1) - m.nodes[1].head);
    }
    EXPECT_LT(smallest_volume, 0.98 * v0);  // the gas was compressed
    const std::vector<double> zeros = upward_zeros(head, s.plan().time_step);
    ASSERT_GE(zeros.size(), 3u);
    EXPECT_NEAR(mean_period(zeros), expected, 0.05 * expected);
}

TEST(ReliefValve, OpensAboveItsSetPressureAndCutsThePeak) {
    Pipeline line;
    line.friction = 1e-4;
    auto peak_of = [&](bool with_relief, double& largest_discharge) {
        TransientModel m = line.model();
        m.time_step = 0.01;
        stop_demand(m, 1);
        const double set = m.nodes[1].head - m.nodes[1].elevation + 20.0;
        if (with_relief) m.relief_valves = {ReliefValve{"RV", 1, set, 0.05}};
        Solver s;
        std::string error;
        EXPECT_TRUE(s.prepare(m, error)) << error;
        double peak = 0.0;
        largest_discharge = 0.0;
        for (int k = 0; k < 400; ++k) {
            EXPECT_TRUE(s.step(error)) << error;
            const double pressure = s.node_head(1) - m.nodes[1].elevation;
            peak = std::max(peak, pressure);
            if (with_relief) {
                largest_discharge = std::max(largest_discharge, s.relief_flow(0));
                if (pressure <= set) {
                    EXPECT_EQ(s.relief_flow(0), 0.0);
                }
            }
        }
        return peak;
    };
    double discharge = 0.0;
    const double free_peak = peak_of(false, discharge);
    const double relieved_peak = peak_of(true, discharge);
    EXPECT_GT(discharge, 0.01);
    EXPECT_LT(relieved_peak, free_peak - 10.0);
}

}  // namespace
}  // namespace vuzizi::transient
