// The three public example networks load and reach a balanced steady state.
#include <gtest/gtest.h>

#include <fstream>

#include "hydraulics/solver_parts.h"
#include "support.h"

namespace vuzizi::testing {
namespace {

std::string data_file(const char* name) {
    std::ifstream in(std::string(VUZIZI_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct NetworkCase {
    const char* file;
    std::size_t nodes;
    std::size_t links;
};

class PublicNetwork : public ::testing::TestWithParam<NetworkCase> {};

TEST_P(PublicNetwork, LoadsAndBalances) {
    const NetworkCase& c = GetParam();
    const std::string text = data_file(c.file);
    ASSERT_FALSE(text.empty()) << c.file;
    const Loaded l = load(text, kLevelWarnings);
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    ASSERT_EQ(l.solve_error, Error::None) << "iterations " << l.state.iterations;
    const Network& n = *l.network;
    EXPECT_EQ(n.nodes.size(), c.nodes);
    EXPECT_EQ(n.links.size(), c.links);
    double largest = 0.0;
    for (double q : l.state.flow) largest = std::max(largest, std::fabs(q));
    EXPECT_LT(worst_imbalance(n, l.state), 1e-9 * std::max(1.0, largest));
    // Every open pipe: its head difference matches its loss at the computed flow, to the
    // accuracy of the model's own convergence criterion.
    const LinkModels models = prepare_link_models(n);
    for (std::size_t k = 0; k < n.links.size(); ++k) {
        const Link& p = n.links[k];
        if (p.kind != LinkKind::Pipe || l.state.state[k] != LinkState::Open) continue;
        const double dh = l.state.head[p.from] - l.state.head[p.to];
        const Loss loss = open_link_loss(n, models, static_cast<int32_t>(k), l.state.flow[k]);
        EXPECT_NEAR(dh, loss.h, 0.01 + 0.01 * std::fabs(loss.h)) << c.file << " pipe " << p.id;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, PublicNetwork,
                         ::testing::Values(NetworkCase{"Net1.inp", 11, 13}, NetworkCase{"Net2.inp", 36, 40},
                                           NetworkCase{"Net3.inp", 97, 119}),
                         [](const auto& info) { return std::string(info.param.file).substr(0, 4); });

TEST(PublicNetworkDetails, Net3ClosedPumpAndPipeCarryNothing) {
    const Loaded l = load(data_file("Net3.inp"));
    ASSERT_EQ(l.solve_error, Error::None);
    EXPECT_NEAR(flow(l, "10"), 0.0, 1e-6);
    EXPECT_GT(flow(l, "335"), 0.0);
    for (std::size_t k = 0; k < l.network->links.size(); ++k) {
        if (l.network->links[k].status == LinkStatus::Closed) {
            EXPECT_NEAR(l.state.flow[k], 0.0, 1e-6);
        }
    }
}

TEST(PublicNetworkDetails, Net2SupplyIsItsNegativeDemandAtTimeZero) {
    const Loaded l = load(data_file("Net2.inp"));
    ASSERT_EQ(l.solve_error, Error::None);
    double total = 0.0;
    for (std::size_t i = 0; i < l.network->nodes.size(); ++i)
        if (!l.network->is_fixed_head(static_cast<int32_t>(i))) total += l.state.demand[i];
    // Whatever the junctions do not take from each other comes out of the one tank.
    const int32_t tank = node(l, "26");
    ASSERT_NE(tank, kNone);
    EXPECT_NEAR(l.state.demand[tank], -total, 1e-9);
}

}  // namespace
}  // namespace vuzizi::testing
