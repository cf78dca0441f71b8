// Node groups solved sparsely give the dense solution, and a chain of 6,000 valves steps with
// memory in proportion to its size.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "group_system.h"
#include "pipelines.h"
#include "solver.h"

namespace vuzizi::transient {
namespace {

// A banded system with off-band couplings, like a group of valves and lumped pipes: the rows
// are assembled in the same order each time, one of them held.
void assemble(GroupSystem& g, int n, double shift) {
    g.clear();
    for (int i = 0; i < n; ++i) {
        g.add(i, i, 4.0 + 0.1 * i + shift);
        if (i > 0) g.add(i, i - 1, -1.0 - 0.01 * i);
        if (i + 1 < n) g.add(i, i + 1, -0.5);
        g.add(i, (i * 7) % n, 0.25);  // lands on the diagonal or a band entry for some rows: summed
        g.residual(i) = std::sin(1.0 + i) + shift;
    }
    g.hold(3, 0.5);
}

TEST(GroupSystem, SparseSolutionEqualsTheDenseOne) {
    constexpr int n = 40;
    GroupSystem dense, sparse;
    dense.resize(n, false);
    sparse.resize(n, true);
    for (double shift : {0.0, 0.3, 0.0}) {  // the pattern analysed once, refilled with new values
        std::vector<double> a, b;
        assemble(dense, n, shift);
        assemble(sparse, n, shift);
        ASSERT_TRUE(dense.solve(a));
        ASSERT_TRUE(sparse.solve(b));
        for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], a[i], 1e-12 * (1.0 + std::fabs(a[i]))) << i;
        EXPECT_DOUBLE_EQ(a[3], -0.5);  // the held row: its unknown moves by minus its offset
        // A chord step reuses the factors with a new residual: both kinds agree again.
        dense.residual(0) += 1.0;
        sparse.residual(0) += 1.0;
        ASSERT_TRUE(dense.solve(a, false));
        ASSERT_TRUE(sparse.solve(b, false));
        for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], a[i], 1e-12 * (1.0 + std::fabs(a[i]))) << i;
    }
}

TEST(GroupSystem, ASingularSparseSystemIsReported) {
    GroupSystem g;
    g.resize(kDenseGroupLimit + 1, true);
    g.clear();
    for (int i = 0; i < g.dim(); ++i) g.add(i, i, i == 5 ? 0.0 : 1.0);
    std::vector<double> step;
    EXPECT_FALSE(g.solve(step));
}

// Reservoir -- pipe -- N0 -V1- N1 -V2- ... -Vn- Nn -- pipe -- END, whose demand stops at once.
TEST(GroupSystem, AChainOfSixThousandValvesSteps) {
    constexpr int kValves = 6000;
    constexpr double q = 0.05, drop = 0.001;  // m across each valve
    TransientModel m;
    m.nodes.push_back(testing::reservoir("R", 100.0));
    for (int i = 0; i <= kValves; ++i)
        m.nodes.push_back(testing::junction("N" + std::to_string(i), 0.0, 99.0 - drop * i, 0.0));
    const double h_end = 99.0 - drop * kValves - 1.0;
    m.nodes.push_back(testing::junction("END", 0.0, h_end, q));
    const int32_t end = kValves + 2;
    const double d = 0.3;
    const double f_in = 1.0 / testing::darcy_loss(1.0, 500.0, d, q);  // factor giving a 1 m loss
    m.pipes = {testing::pipe("IN", 0, 1, 500.0, d, 1000.0, f_in, q),
               testing::pipe("OUT", kValves + 1, end, 500.0, d, 1000.0, f_in, q)};
    for (int i = 1; i <= kValves; ++i) m.valves.push_back(testing::valve("V" + std::to_string(i), i, i + 1, q, {}, {}));
    testing::stop_demand(m, end);
    Solver s;
    std::string error;
    ASSERT_TRUE(s.prepare(m, error)) << error;
    for (int k = 0; k < 20; ++k) {
        ASSERT_TRUE(s.step(error)) << error;
        // Nothing stores water inside the chain: every valve carries the same flow.
        for (int v = 1; v < kValves; ++v) ASSERT_NEAR(s.valve_flow(v), s.valve_flow(0), 1e-12) << v;
    }
    EXPECT_LT(s.valve_flow(0), q);  // the stop has reached the chain
}

}  // namespace
}  // namespace vuzizi::transient
