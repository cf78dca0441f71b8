// Steady heads of the three public Hazen-Williams networks against an independent solution.
//
// The independent solution is a full Newton-Raphson iteration on the unreduced equations
// (one head-loss equation per open link, one continuity equation per junction, flows and heads
// as unknowns together), solved by dense LU in feet and cubic feet per second with the
// format's constant written out here: h = 4.727 L Q^1.852 / (C^1.852 D^4.871). The engine
// instead eliminates the flows (global gradient method) and works in SI. Both take the pump
// curves' fits, the demands at time 0 and the final open/closed states from the engine.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <fstream>

#include "hydraulics/solver_parts.h"
#include "support.h"

namespace vuzizi::testing {
namespace {

constexpr double ft = 0.3048;
constexpr double cfs = ft * ft * ft;
constexpr double kHwConstant = 4.727;
constexpr double kHwFlow = 1.852;
constexpr double kHwDiameter = 4.871;
constexpr double kStartVelocity = 1.0;  // ft/s in every open pipe
constexpr int kNewtonSteps = 100;
constexpr double kResidualGoal = 1e-11;
constexpr double kHeadAgreement = 1e-3;  // ft, the model's head unit

std::string data_file(const char* name) {
    std::ifstream in(std::string(VUZIZI_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Heads of every node in feet from the unreduced Newton iteration; empty if it fails.
std::vector<double> reference_heads(const Network& n, const SteadyState& engine) {
    std::vector<int32_t> open;
    for (std::size_t k = 0; k < n.links.size(); ++k)
        if (engine.state[k] == LinkState::Open) open.push_back(static_cast<int32_t>(k));
    std::vector<int> unknown(n.nodes.size(), -1);
    int junctions = 0;
    for (std::size_t i = 0; i < n.nodes.size(); ++i)
        if (!n.is_fixed_head(static_cast<int32_t>(i))) unknown[i] = static_cast<int>(open.size()) + junctions++;
    const int dim = static_cast<int>(open.size()) + junctions;

    std::vector<double> head(n.nodes.size());
    double mean_fixed = 0.0;
    int fixed = 0;
    for (std::size_t i = 0; i < n.nodes.size(); ++i)
        if (unknown[i] < 0) {
            head[i] = engine.head[i] / ft;  // reservoir head or tank level: data, not a result
            mean_fixed += head[i];
            ++fixed;
        }
    Eigen::VectorXd x(dim);
    for (std::size_t j = 0; j < open.size(); ++j) {
        const Link& l = n.links[static_cast<std::size_t>(open[j])];
        const double d = l.diameter / ft;
        x[static_cast<Eigen::Index>(j)] = kStartVelocity * kPi * d * d / 4.0;
    }
    for (std::size_t i = 0; i < n.nodes.size(); ++i)
        if (unknown[i] >= 0) x[unknown[i]] = mean_fixed / fixed;

    const LinkModels models = prepare_link_models(n);
    for (int step = 0; step < kNewtonSteps; ++step) {
        for (std::size_t i = 0; i < n.nodes.size(); ++i)
            if (unknown[i] >= 0) head[i] = x[unknown[i]];
        Eigen::MatrixXd J = Eigen::MatrixXd::Zero(dim, dim);
        Eigen::VectorXd F = Eigen::VectorXd::Zero(dim);
        for (std::size_t i = 0; i < n.nodes.size(); ++i)
            if (unknown[i] >= 0) F[unknown[i]] = -engine.demand[i] / cfs;
        for (std::size_t j = 0; j < open.size(); ++j) {
            const Link& l = n.links[static_cast<std::size_t>(open[j])];
            const Eigen::Index row = static_cast<Eigen::Index>(j);
            const double q = x[row];
            // Link equation: head at `from` minus head at `to` minus the loss (plus a pump's gain).
            double loss = 0.0, slope = 0.0;
            if (l.kind == LinkKind::Pipe) {
                const double r = kHwConstant * (l.length / ft) /
                                 (std::pow(l.roughness, kHwFlow) * std::pow(l.diameter / ft, kHwDiameter));
                loss = std::copysign(r * std::pow(std::fabs(q), kHwFlow), q);
                slope = kHwFlow * r * std::pow(std::fabs(q), kHwFlow - 1.0);
            } else {
                double gain = 0.0, dgain = 0.0;
                const PumpModel& pump = models.pump[static_cast<std::size_t>(open[j])];
                pump.head_gain(std::max(q, 0.0) * cfs, models.speed[static_cast<std::size_t>(open[j])], gain, dgain);
                loss = -gain / ft;
                slope = -dgain * cfs / ft;
            }
            F[row] = head[static_cast<std::size_t>(l.from)] - head[static_cast<std::size_t>(l.to)] - loss;
            J(row, row) = -slope;
            if (unknown[static_cast<std::size_t>(l.from)] >= 0) {
                J(row, unknown[static_cast<std::size_t>(l.from)]) = 1.0;
                F[unknown[static_cast<std::size_t>(l.from)]] -= q;
                J(unknown[static_cast<std::size_t>(l.from)], row) -= 1.0;
            }
            if (unknown[static_cast<std::size_t>(l.to)] >= 0) {
                J(row, unknown[static_cast<std::size_t>(l.to)]) = -1.0;
                F[unknown[static_cast<std::size_t>(l.to)]] += q;
                J(unknown[static_cast<std::size_t>(l.to)], row) += 1.0;
            }
        }
        if (F.lpNorm<Eigen::Infinity>() < kResidualGoal) return head;
        x -= J.partialPivLu().solve(F);
    }
    return {};
}

class HazenWilliamsReference : public ::testing::TestWithParam<const char*> {};

TEST_P(HazenWilliamsReference, JunctionHeadsAgree) {
    const Loaded l = load(data_file(GetParam()), kLevelWarnings);
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const Network& n = *l.network;
    ASSERT_EQ(n.options.headloss, HeadlossFormula::HazenWilliams);
    for (const Link& link : n.links) {
        ASSERT_NE(link.kind, LinkKind::Valve) << "the reference handles pipes and pumps only";
        ASSERT_EQ(link.minor_loss, 0.0) << link.id;
    }
    const std::vector<double> reference = reference_heads(n, l.state);
    ASSERT_FALSE(reference.empty()) << "the reference iteration did not converge";
    double worst = 0.0;
    for (std::size_t i = 0; i < n.nodes.size(); ++i) {
        const double difference = std::fabs(l.state.head[i] / ft - reference[i]);
        worst = std::max(worst, difference);
        EXPECT_LT(difference, kHeadAgreement) << GetParam() << " node " << n.nodes[i].id;
    }
    RecordProperty("largest_head_difference_ft", std::to_string(worst));
    std::cout << GetParam() << ": largest head difference " << worst << " ft\n";
}

INSTANTIATE_TEST_SUITE_P(Examples, HazenWilliamsReference, ::testing::Values("Net1.inp", "Net2.inp", "Net3.inp"),
                         [](const auto& info) { return std::string(info.param).substr(0, 4); });

}  // namespace
}  // namespace vuzizi::testing
