// Steady states against hand calculations from the textbook formulas, written out here.
#include <gtest/gtest.h>

#include <tuple>

#include "support.h"

namespace vuzizi::testing {
namespace {

constexpr double g = 9.80665;
constexpr double pi = 3.14159265358979323846;
constexpr double kTightAccuracy = 1e-10;

// Hazen-Williams in feet and cubic feet per second, h = 4.727 L Q^1.852 / (C^1.852 D^4.871),
// evaluated in SI.
constexpr double ft = 0.3048;
// Weight of water a constant-power pump delivers its power against: h = 8.814 P / Q in ft, hp, ft3/s.
constexpr double kPowerWeight = 745.69987158227 / (8.814 * ft * ft * ft * ft);
double hw_r(double length, double diameter, double c) {
    const double r_ft = 4.727 * (length / ft) / (std::pow(c, 1.852) * std::pow(diameter / ft, 4.871));
    return r_ft * ft / std::pow(ft * ft * ft, 1.852);
}
double hw_loss(double r, double q) { return r * std::pow(std::fabs(q), 1.852) * (q < 0 ? -1.0 : 1.0); }

std::string tight(const std::string& text) {
    return text + "[OPTIONS]\nACCURACY 1e-10\nTRIALS 200\n";
}

TEST(SinglePipe, HazenWilliamsTwoPipesInSeries) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 100\nR2 90\n[JUNCTIONS]\nJ 0 0\n"
        "[PIPES]\nP1 R1 J 800 300 120\nP2 J R2 400 250 120\n[OPTIONS]\nUNITS LPS\nHEADLOSS H-W\n"));
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    ASSERT_EQ(l.solve_error, Error::None);
    const double r1 = hw_r(800, 0.3, 120);
    const double r2 = hw_r(400, 0.25, 120);
    const double q = std::pow(10.0 / (r1 + r2), 1.0 / 1.852);
    EXPECT_NEAR(flow(l, "P1"), q, 1e-7 * q);
    EXPECT_NEAR(flow(l, "P2"), q, 1e-7 * q);
    EXPECT_NEAR(head(l, "J"), 100.0 - r1 * std::pow(q, 1.852), 1e-6);
}

TEST(SinglePipe, ChezyManning) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 100\nR2 90\n[JUNCTIONS]\nJ 0 0\n"
        "[PIPES]\nP1 R1 J 800 300 0.012\nP2 J R2 400 250 0.012\n[OPTIONS]\nUNITS CMH\nHEADLOSS C-M\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    // h = 10.29 n^2 L Q^2 / D^(16/3).
    auto r = [](double length, double d) { return 10.29 * 0.012 * 0.012 * length / std::pow(d, 16.0 / 3.0); };
    const double q = std::sqrt(10.0 / (r(800, 0.3) + r(400, 0.25)));
    EXPECT_NEAR(flow(l, "P1"), q, 1e-7 * q);
}

// Colebrook-White, by plain fixed-point iteration on 1/sqrt(f).
double colebrook_f(double re, double rel_roughness) {
    double x = 8.0;
    for (int i = 0; i < 200; ++i) x = -2.0 * std::log10(rel_roughness / 3.7 + 2.51 * x / re);
    return 1.0 / (x * x);
}

double dw_loss(double q, double length, double d, double eps, double nu) {
    const double area = pi * d * d / 4.0;
    const double v = q / area;
    return colebrook_f(v * d / nu, eps / d) * length / d * v * v / (2.0 * g);
}

TEST(SinglePipe, DarcyWeisbachColebrookTurbulent) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 100\nR2 90\n[JUNCTIONS]\nJ 0 0\n"
        "[PIPES]\nP1 R1 J 800 300 0.26\nP2 J R2 400 250 0.26\n[OPTIONS]\nUNITS LPS\nHEADLOSS D-W\nVISCOSITY 1.0\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const double nu = 1.0e-6;
    const double q = root([&](double x) {
        return dw_loss(x, 800, 0.3, 0.26e-3, nu) + dw_loss(x, 400, 0.25, 0.26e-3, nu) - 10.0;
    }, 1e-6, 2.0);
    EXPECT_GT(4 * q / (pi * 0.3 * nu), 4000.0) << "the case must be turbulent";
    EXPECT_NEAR(flow(l, "P1"), q, 1e-7 * q);
    EXPECT_NEAR(head(l, "J"), 100.0 - dw_loss(q, 800, 0.3, 0.26e-3, nu), 1e-6);
}

TEST(SinglePipe, DarcyWeisbachLaminarIsHagenPoiseuille) {
    // One pipe straight between two reservoirs: no junction at all.
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 10.05\nR2 10\n[PIPES]\nP1 R1 R2 50 10 0.01\n"
        "[OPTIONS]\nUNITS LPS\nHEADLOSS D-W\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const double q = pi * std::pow(0.01, 4) * g * 0.05 / (128.0 * 1.0e-6 * 50.0);
    EXPECT_LT(4 * q / (pi * 0.01 * 1.0e-6), 2000.0) << "the case must be laminar";
    EXPECT_NEAR(flow(l, "P1"), q, 1e-9 * q + 1e-15);
}

TEST(Branched, FlowsAreTheDownstreamDemandsAndHeadsFollowThePath) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR 60\n[JUNCTIONS]\nJ1 10 5\nJ2 12 10\nJ3 8 7\nJ4 5 3\n"
        "[PIPES]\nP1 R J1 1000 300 110\nP2 J1 J2 600 150 100\nP3 J1 J3 700 200 130\nP4 J3 J4 300 100 90\n"
        "[OPTIONS]\nUNITS LPS\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_LT(worst_imbalance(*l.network, l.state), 1e-9);
    const struct {
        const char* pipe;
        double q;
    } expected[] = {{"P1", 0.025}, {"P2", 0.010}, {"P3", 0.010}, {"P4", 0.003}};
    for (const auto& e : expected) EXPECT_NEAR(flow(l, e.pipe), e.q, 1e-9) << e.pipe;
    const double h1 = 60.0 - hw_loss(hw_r(1000, 0.3, 110), 0.025);
    const double h3 = h1 - hw_loss(hw_r(700, 0.2, 130), 0.010);
    EXPECT_NEAR(head(l, "J1"), h1, 1e-6);
    EXPECT_NEAR(head(l, "J2"), h1 - hw_loss(hw_r(600, 0.15, 100), 0.010), 1e-6);
    EXPECT_NEAR(head(l, "J4"), h3 - hw_loss(hw_r(300, 0.1, 90), 0.003), 1e-6);
}

TEST(Looped, MassBalanceAtEveryJunctionAndEnergyAroundEveryLoop) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 80\n[TANKS]\nT1 40 20 0 30 10 0\n"
        "[JUNCTIONS]\nA 10 10\nB 12 15\nC 9 20\nD 11 12\nE 10 8\nF 8 6\n"
        "[PIPES]\n"
        "P1 R1 A 500 400 120\nP2 A B 600 250 110\nP3 B C 500 200 100\nP4 A D 700 250 120\n"
        "P5 D C 400 200 100\nP6 B E 500 150 110\nP7 E F 600 150 110\nP8 C F 550 150 100\n"
        "P9 T1 F 300 200 120\n"
        "[OPTIONS]\nUNITS LPS\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_LT(worst_imbalance(*l.network, l.state), 1e-9);
    const Network& n = *l.network;
    // Each pipe: head difference equals its Hazen-Williams loss at the computed flow.
    std::map<std::string, double> loss;
    for (std::size_t k = 0; k < n.links.size(); ++k) {
        const Link& p = n.links[k];
        loss[p.id] = hw_loss(hw_r(p.length, p.diameter, p.roughness), l.state.flow[k]);
        EXPECT_NEAR(l.state.head[p.from] - l.state.head[p.to], loss[p.id], 1e-6) << p.id;
    }
    // Loops A-B-C-D-A and B-E-F-C-B, and the path R1-...-F-T1 between the two sources.
    EXPECT_NEAR(loss["P2"] + loss["P3"] - loss["P5"] - loss["P4"], 0.0, 1e-6);
    EXPECT_NEAR(loss["P6"] + loss["P7"] - loss["P8"] - loss["P3"], 0.0, 1e-6);
    EXPECT_NEAR(80.0 - loss["P1"] - loss["P2"] - loss["P6"] - loss["P7"] + loss["P9"], 60.0, 1e-6);
}

struct PumpCase {
    const char* name;
    const char* curve;                  // [CURVES] lines of curve C1, LPS and m
    double (*head_gain)(double q);      // hand formula of the same curve, m3/s and m
};

double one_point(double q) { return 4.0 / 3.0 * 40.0 - (40.0 / 3.0) * (q / 0.05) * (q / 0.05); }

// H = A - B Q^C through (0, 60), (q1, h1), (q2, h2).
double power_law(double q, double q1, double h1, double q2, double h2) {
    const double c = std::log((60.0 - h2) / (60.0 - h1)) / std::log(q2 / q1);
    const double b = (60.0 - h1) / std::pow(q1, c);
    return 60.0 - b * std::pow(q, c);
}

double three_point(double q) { return power_law(q, 0.05, 45.0, 0.08, 25.0); }

// An exponent below 1 (0.89, as real pump curves have), whose slope is infinite at shutoff.
double three_point_below_one(double q) { return power_law(q, 0.05, 45.0, 0.1, 32.2); }

double multi_point(double q) {
    const double x[] = {0.0, 0.03, 0.06, 0.09};
    const double y[] = {60.0, 55.0, 42.0, 20.0};
    int k = 1;
    while (k < 3 && q > x[k]) ++k;
    return y[k - 1] + (y[k] - y[k - 1]) * (q - x[k - 1]) / (x[k] - x[k - 1]);
}

const PumpCase kPumps[] = {
    {"one_point", "C1 50 40\n", one_point},
    {"three_point", "C1 0 60\nC1 50 45\nC1 80 25\n", three_point},
    {"three_point_below_one", "C1 0 60\nC1 50 45\nC1 100 32.2\n", three_point_below_one},
    {"multi_point", "C1 0 60\nC1 30 55\nC1 60 42\nC1 90 20\n", multi_point},
};

class PumpOperatingPoint : public ::testing::TestWithParam<PumpCase> {};

TEST_P(PumpOperatingPoint, LiesOnTheCurveAndTheSystemCurve) {
    const PumpCase& c = GetParam();
    const Loaded l = load(tight(std::string("[RESERVOIRS]\nR1 10\nR2 40\n[JUNCTIONS]\nJ1 0 0\n") +
                                "[CURVES]\n" + c.curve + "[PUMPS]\nU1 R1 J1 HEAD C1\n" +
                                "[PIPES]\nP1 J1 R2 1000 300 120\n[OPTIONS]\nUNITS LPS\n"));
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    ASSERT_EQ(l.solve_error, Error::None);
    const double r = hw_r(1000, 0.3, 120);
    const double q = root([&](double x) { return 30.0 + hw_loss(r, x) - c.head_gain(x); }, 0.0, 0.1);
    EXPECT_NEAR(flow(l, "U1"), q, 1e-7);
    EXPECT_NEAR(head(l, "J1"), 10.0 + c.head_gain(q), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Curves, PumpOperatingPoint, ::testing::ValuesIn(kPumps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Pumps, ConstantPowerDeliversItsPower) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 10\nR2 40\n[JUNCTIONS]\nJ1 0 0\n[PUMPS]\nU1 R1 J1 POWER 20\n"
        "[PIPES]\nP1 J1 R2 1000 300 120\n[OPTIONS]\nUNITS LPS\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const double q = flow(l, "U1");
    EXPECT_NEAR(kPowerWeight * q * (head(l, "J1") - 10.0), 20.0e3, 1e-3);
}

// Constant-power pumps far from their first guess, the flow of the pipe they feed: U1 delivers a
// tenth of it (a full Newton step would reverse it, where it stays), U2 four times it (a step only
// about doubles its flow). Both deliver their power, in 9 iterations where a start at 1 L/s took 12.
TEST(Pumps, ConstantPowerFarFromItsFirstGuessSettlesQuickly) {
    const Loaded l = load(tight(
        "[RESERVOIRS]\nR1 10\nR2 40\n[JUNCTIONS]\nJ1 0 0\nJ2 0 0\n[PUMPS]\nU1 R1 J1 POWER 2\nU2 R1 J2 POWER 30\n"
        "[PIPES]\nP1 J1 R2 1000 600 120\nP2 J2 R2 1000 300 120\n[OPTIONS]\nUNITS LPS\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    for (const auto& [pump, power, diameter] : {std::tuple{"U1", 2.0e3, 0.6}, std::tuple{"U2", 30.0e3, 0.3}}) {
        const double r = hw_r(1000, diameter, 120);
        const double q = root([&](double x) { return 30.0 + hw_loss(r, x) - power / (kPowerWeight * x); }, 1e-4, 1.0);
        EXPECT_NEAR(flow(l, pump), q, 1e-7 * q) << pump;
    }
    EXPECT_LE(l.state.iterations, 9);
}

TEST(Pumps, ClosedByStatusCarriesNoFlow) {
    const Loaded l = load(
        "[RESERVOIRS]\nR1 10\nR2 40\n[JUNCTIONS]\nJ1 0 1\n[CURVES]\nC1 50 40\n[PUMPS]\nU1 R1 J1 HEAD C1\n"
        "[PIPES]\nP1 J1 R2 1000 300 120\n[STATUS]\nU1 CLOSED\n[OPTIONS]\nUNITS LPS\n");
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_NEAR(flow(l, "U1"), 0.0, 1e-6);
    EXPECT_NEAR(flow(l, "P1"), -0.001, 1e-9);
}

// A pump that cannot lift against its delivery head, or that is stopped, carries no flow either
// way: it closes as a check valve would (a half-speed pump with a shutoff of 10 m below a tank
// 40 m up would otherwise carry a reverse flow; a stopped one, the demand with no head).
struct IdlePumpCase {
    const char* name;
    const char* model;
};

const IdlePumpCase kIdlePumps[] = {
    {"half_speed_below_a_tank",
     "[RESERVOIRS]\nR1 10\n[TANKS]\nT 40 10 0 20 10\n[JUNCTIONS]\nJ1 0 0\n[CURVES]\nC1 50 30\n"
     "[PUMPS]\nU1 R1 J1 HEAD C1 SPEED 0.5\n[PIPES]\nP1 J1 T 1000 300 120\n"},
    {"speed_zero_beside_a_pipe",
     "[RESERVOIRS]\nR1 50\n[JUNCTIONS]\nJ1 0 10\n[CURVES]\nC1 50 30\n[PUMPS]\nU1 R1 J1 HEAD C1 SPEED 0\n"
     "[PIPES]\nP1 R1 J1 1000 300 120\n"},
    {"speed_pattern_zero_at_start",
     "[RESERVOIRS]\nR1 50\n[JUNCTIONS]\nJ1 0 10\n[CURVES]\nC1 50 30\n[PATTERNS]\nOFF 0 1\n"
     "[PUMPS]\nU1 R1 J1 HEAD C1 PATTERN OFF\n[PIPES]\nP1 R1 J1 1000 300 120\n"},
};

class IdlePump : public ::testing::TestWithParam<IdlePumpCase> {};

TEST_P(IdlePump, ClosesAndCarriesNoFlow) {
    const Loaded l = load(std::string(GetParam().model) + "[OPTIONS]\nUNITS LPS\n");
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_EQ(l.state.state[link(l, "U1")], LinkState::Closed);
    EXPECT_NEAR(flow(l, "U1"), 0.0, 1e-6);
    EXPECT_LT(worst_imbalance(*l.network, l.state), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Cases, IdlePump, ::testing::ValuesIn(kIdlePumps),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr const char* kPrvNetwork =
    "[RESERVOIRS]\nR1 100\n[JUNCTIONS]\nJ1 0 0\nJ2 10 20\nJ3 5 10\n"
    "[PIPES]\nP1 R1 J1 500 200 120\nP2 J2 J3 300 150 120\n"
    "[OPTIONS]\nUNITS LPS\n";

TEST(Valves, PressureReducingValveHoldsItsSetting) {
    const Loaded l = load(tight(std::string(kPrvNetwork) + "[VALVES]\nV1 J1 J2 150 PRV 30\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_EQ(l.state.state[link(l, "V1")], LinkState::Active);
    EXPECT_NEAR(head(l, "J2") - 10.0, 30.0, 1e-4);
    EXPECT_NEAR(flow(l, "V1"), 0.030, 1e-8);
    EXPECT_LT(worst_imbalance(*l.network, l.state), 1e-8);
    EXPECT_NEAR(head(l, "J1"), 100.0 - hw_loss(hw_r(500, 0.2, 120), 0.030), 1e-6);
}

TEST(Valves, PressureReducingValveOpensWhenTheSettingCannotBeReached) {
    const Loaded l = load(tight(std::string(kPrvNetwork) + "[VALVES]\nV1 J1 J2 150 PRV 95\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_EQ(l.state.state[link(l, "V1")], LinkState::Open);
    EXPECT_LT(head(l, "J2"), 105.0);
    EXPECT_NEAR(flow(l, "V1"), 0.030, 1e-8);
}

TEST(Valves, PressureSettingInKilopascals) {
    // 30 m of water at specific gravity 1 is 30 * 9.80665 kPa.
    const Loaded l = load(tight(std::string(kPrvNetwork) + "[VALVES]\nV1 J1 J2 150 PRV 294.1995\n"
                                                           "[OPTIONS]\nPRESSURE KPA\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_NEAR(head(l, "J2") - 10.0, 30.0, 1e-4);
}

constexpr const char* kTwoReservoirs =
    "[RESERVOIRS]\nR1 100\nR2 50\n[JUNCTIONS]\nJ1 0 0\nJ2 0 0\n"
    "[PIPES]\nP1 R1 J1 500 200 120\nP2 J2 R2 500 200 120\n"
    "[OPTIONS]\nUNITS LPS\n";

TEST(Valves, FlowControlValveLimitsTheFlow) {
    const Loaded l = load(tight(std::string(kTwoReservoirs) + "[VALVES]\nV1 J1 J2 200 FCV 15\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_NEAR(flow(l, "V1"), 0.015, 1e-9);
    EXPECT_GT(head(l, "J1"), head(l, "J2"));
}

TEST(Valves, PressureBreakerValveTakesItsLoss) {
    const Loaded l = load(tight(std::string(kTwoReservoirs) + "[VALVES]\nV1 J1 J2 200 PBV 5\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const double r = hw_r(500, 0.2, 120);
    const double q = std::pow(45.0 / (2.0 * r), 1.0 / 1.852);
    EXPECT_NEAR(flow(l, "V1"), q, 1e-6 * q);
    EXPECT_NEAR(head(l, "J1") - head(l, "J2"), 5.0, 1e-5);
}

TEST(Valves, ThrottleValveAddsItsLossCoefficient) {
    const Loaded l = load(tight(std::string(kTwoReservoirs) + "[VALVES]\nV1 J1 J2 200 TCV 8\n"));
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    const double r = hw_r(500, 0.2, 120);
    const double area = pi * 0.04 / 4.0;
    const double q = root([&](double x) { return 2.0 * hw_loss(r, x) + 8.0 * x * x / (2.0 * g * area * area) - 50.0; },
                          0.0, 1.0);
    EXPECT_NEAR(flow(l, "V1"), q, 1e-6 * q);
}

TEST(Valves, CheckValveClosesAgainstHigherHead) {
    const Loaded l = load(
        "[RESERVOIRS]\nR1 50\nR2 60\n[JUNCTIONS]\nJ1 0 10\n"
        "[PIPES]\nP1 R1 J1 100 200 120 0 CV\nP2 R2 J1 100 200 120\n[OPTIONS]\nUNITS LPS\n");
    ASSERT_EQ(l.solve_error, Error::None) << l.messages;
    EXPECT_EQ(l.state.state[link(l, "P1")], LinkState::Closed);
    EXPECT_NEAR(flow(l, "P1"), 0.0, 1e-6);
    EXPECT_NEAR(flow(l, "P2"), 0.010, 1e-6);
}

TEST(Convergence, TooFewTrialsIsReportedNotHidden) {
    const Loaded l = load(std::string(kTwoReservoirs) + "[VALVES]\nV1 J1 J2 200 TCV 8\n[OPTIONS]\nTRIALS 1\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_EQ(l.solve_error, Error::NotConverged);
    EXPECT_FALSE(l.state.converged);
    EXPECT_EQ(l.state.iterations, 1);
}

// A path open but all but blocked: the demand at A would need heads far beyond what the system can
// follow, and the settled flows do not balance there. Such a state is not converged, and names A.
struct BlockedPath {
    const char* name;
    const char* pipe;  // the line of P, from R to A
};
const BlockedPath kBlockedPaths[] = {
    {"hazen_williams_c_near_zero", "P R A 150 50 0.01"},
    {"huge_minor_loss", "P R A 150 50 100 1e12"},
    {"diameter_near_zero", "P R A 150 1e-9 100"},
};

class UnbalancedState : public ::testing::TestWithParam<BlockedPath> {};

TEST_P(UnbalancedState, IsNotConvergedAndNamesTheJunction) {
    const Loaded l = load(std::string("[JUNCTIONS]\nA 0 0.5\nB 0 0\n[RESERVOIRS]\nR 32\n[PIPES]\n") +
                          GetParam().pipe + "\nQ R B 10 50 100\n[OPTIONS]\nUNITS LPS\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_EQ(l.solve_error, Error::NotConverged);
    EXPECT_EQ(l.state.unbalanced_node, node(l, "A"));
    EXPECT_GT(l.state.largest_imbalance, 0.5 * 0.5e-3);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnbalancedState, ::testing::ValuesIn(kBlockedPaths),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vuzizi::testing
