// The gradient system solved again after its values change: reusing earlier factors must give
// the heads a fresh factorisation gives, whether the change is small or large.
#include <gtest/gtest.h>

#include <random>

#include "support.h"

namespace vuzizi::testing {
namespace {

// Large enough for factors dense enough that the engine tries reusing them.
constexpr int kSide = 120;
constexpr double kReservoirHead = 50.0;
constexpr double kDemand = 0.002;

std::string pipe(const std::string& name, const std::string& from, const std::string& to) {
    std::string line = name;
    line.append(" ").append(from).append(" ").append(to).append(" 100 200 100\n");
    return line;
}

std::string grid_model() {
    std::string text = "[RESERVOIRS]\nR " + std::to_string(kReservoirHead) + "\n[JUNCTIONS]\n";
    auto id = [](int r, int c) {
        std::string name = "J";
        name.append(std::to_string(r)).append("_").append(std::to_string(c));
        return name;
    };
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) text += id(r, c) + " 0 1\n";
    text += "[PIPES]\nPR R " + id(0, 0) + " 100 300 100\n";
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
            if (c + 1 < kSide) text.append(pipe("PH" + id(r, c), id(r, c), id(r, c + 1)));
            if (r + 1 < kSide) text.append(pipe("PV" + id(r, c), id(r, c), id(r + 1, c)));
        }
    return text;
}

// Fills the system with link conductances and unit demands, then solves it.
std::vector<double> fill_and_solve(GradientSystem& system, const Network& network,
                                   const std::vector<double>& conductance) {
    std::vector<double> head(network.nodes.size(), 0.0);
    for (std::size_t i = 0; i < network.nodes.size(); ++i)
        if (network.is_fixed_head(static_cast<int32_t>(i))) head[i] = kReservoirHead;
    system.clear();
    for (std::size_t k = 0; k < network.links.size(); ++k)
        system.add_conductance(static_cast<int32_t>(k), conductance[k], head);
    for (std::size_t i = 0; i < network.nodes.size(); ++i) system.add_rhs(static_cast<int32_t>(i), -kDemand);
    EXPECT_TRUE(system.solve(head));
    return head;
}

// Relative spread of the new conductances around the first ones.
class ReusedFactors : public ::testing::TestWithParam<double> {};

TEST_P(ReusedFactors, GiveTheHeadsOfAFreshFactorisation) {
    const Loaded l = load(grid_model());
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    const Network& network = *l.network;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> first(0.01, 1.0);
    std::uniform_real_distribution<double> change(1.0 / (1.0 + GetParam()), 1.0 + GetParam());
    std::vector<double> before(network.links.size()), after(network.links.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        before[k] = first(random);
        after[k] = before[k] * change(random);
    }

    GradientSystem reused(network);
    fill_and_solve(reused, network, before);
    const std::vector<double> again = fill_and_solve(reused, network, after);
    GradientSystem fresh(network);
    const std::vector<double> expected = fill_and_solve(fresh, network, after);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(again[i], expected[i], 1e-10 * std::fabs(expected[i])) << network.nodes[i].id;
}

INSTANTIATE_TEST_SUITE_P(Changes, ReusedFactors, ::testing::Values(0.0, 0.01, 0.3, 3.0, 1000.0));

}  // namespace
}  // namespace vuzizi::testing
