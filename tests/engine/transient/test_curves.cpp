// Result curves of a model with every kind of element: the table of codes, the steady start
// values, refusals, and exactly the count written.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// SI model: reservoir, pump, pipes, a valve, a tank and one of each surge device.
const std::string kDeviceModel = R"(
[RESERVOIRS]
SRC 10
[JUNCTIONS]
PO 0 0
A 0 20
B 0 10
C 0 0
[TANKS]
T 40 5 0 20 10 0
[PIPES]
P1 PO A 1000 300 0.1
P2 A B 800 250 0.1
P3 C T 500 200 0.1
[PUMPS]
PU SRC PO HEAD CU
[VALVES]
V B C 200 TCV 2
[CURVES]
CU 60 50
[OPTIONS]
UNITS LPS
HEADLOSS D-W
[WAVESPEEDS]
DEFAULT 1200
P2 1000
[SURGETANKS]
ST A 4
[AIRVESSELS]
AV B 2 1.3
[RELIEFVALVES]
RV C 200 100 0.6
[TRANSIENT]
TIMESTEP 0.01
)";

class Curves : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        open_engine();
        ASSERT_EQ(load_model(write_model("devices", kDeviceModel)), 0);
        ASSERT_TRUE(VUZIZI_STATUS_OK(run(2.0f, 10)));
    }
    static void TearDownTestSuite() { CloseQorvane(); }
};

struct Selection {
    int16_t type, attribute;
    const char* id;
};

struct Start {
    int16_t type, attribute;
    const char* id;
    double value;      // expected first value; NaN: only finite
    double tolerance;
};

class CurveStart : public Curves, public ::testing::WithParamInterface<Start> {};

TEST_P(CurveStart, FirstPointIsTheSteadyValue) {
    const Start s = GetParam();
    const Curve c = read_curve(s.type, s.attribute, s.id);
    ASSERT_TRUE(VUZIZI_STATUS_OK(c.status)) << s.type << "/" << s.attribute << " " << s.id;
    ASSERT_EQ(c.times.size(), 21u);  // 200 steps stored every 10th, and the start
    EXPECT_EQ(c.times[0], 0.0);
    EXPECT_NEAR(c.times[20], 2.0, 1e-9);
    if (std::isnan(s.value)) {
        EXPECT_TRUE(std::isfinite(c.values[0]));
    } else {
        EXPECT_NEAR(c.values[0], s.value, s.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CurveStart,
    ::testing::Values(Start{ELEMENT_NODE, 1, "A", 20.0, 1e-6},       // demand, l/s
                      Start{ELEMENT_NODE, 2, "C", std::nan(""), 0},  // pressure
                      Start{ELEMENT_PUMP, 2, "PU", 1.0, 0.0},        // relative speed
                      Start{ELEMENT_VALVE, 2, "V", 1.0, 0.0},        // relative opening
                      Start{ELEMENT_TANK, 1, "T", 5.0, 1e-9},        // level, m
                      Start{ELEMENT_TANK, 2, "T", 5.0 * std::numbers::pi * 25.0, 1e-6},  // volume, m3
                      Start{ELEMENT_SURGE_TANK, 0, "ST", 0.0, 0.0},  // inflow
                      Start{ELEMENT_AIR_VESSEL, 2, "AV", 2.0, 1e-12},  // gas volume
                      Start{ELEMENT_SURGE_VALVE, 0, "RV", 0.0, 0.0}));  // closed below its set pressure

// Two curves that continuity or geometry ties together at every stored point.
struct Agreement {
    Selection a;       // element type, attribute, identifier
    Selection b;
    double factor;   // a = factor * b
};

class CurveAgreement : public Curves, public ::testing::WithParamInterface<Agreement> {};

TEST_P(CurveAgreement, AtEveryPoint) {
    const Agreement g = GetParam();
    const Curve a = read_curve(g.a.type, g.a.attribute, g.a.id);
    const Curve b = read_curve(g.b.type, g.b.attribute, g.b.id);
    ASSERT_EQ(a.values.size(), 21u);
    ASSERT_EQ(b.values.size(), 21u);
    for (std::size_t k = 0; k < a.values.size(); ++k)
        EXPECT_NEAR(a.values[k], g.factor * b.values[k], 1e-9 * (1.0 + std::fabs(a.values[k]))) << "point " << k;
    EXPECT_GT(std::fabs(a.values[0]), 1.0);  // l/s: the flows are not zero
}

INSTANTIATE_TEST_SUITE_P(
    Table, CurveAgreement,
    ::testing::Values(
        // PO joins only the pump and P1; T only P3; C the valve, P3 and a shut relief valve.
        Agreement{{ELEMENT_LINK, 0, "P1"}, {ELEMENT_PUMP, 0, "PU"}, 1.0},
        Agreement{{ELEMENT_LINK, 3, "P3"}, {ELEMENT_TANK, 0, "T"}, 1.0},
        Agreement{{ELEMENT_VALVE, 0, "V"}, {ELEMENT_LINK, 0, "P3"}, 1.0},
        // Flow in l/s is velocity in m/s times the area in m2 times 1000.
        Agreement{{ELEMENT_LINK, 0, "P1"}, {ELEMENT_LINK, 2, "P1"}, 1000.0 * std::numbers::pi * 0.09 / 4.0}));

TEST_F(Curves, SurgeTankLevelAndVesselPressureStartAtTheirNodesPressure) {
    const Curve a = read_curve(ELEMENT_NODE, 2, "A");
    const Curve st = read_curve(ELEMENT_SURGE_TANK, 1, "ST");
    EXPECT_NEAR(st.values[0], a.values[0], 1e-9);
    const Curve b = read_curve(ELEMENT_NODE, 2, "B");
    const Curve av = read_curve(ELEMENT_AIR_VESSEL, 1, "AV");
    EXPECT_NEAR(av.values[0], b.values[0], 1e-9);
}

class CurveRefusal : public Curves, public ::testing::WithParamInterface<Selection> {};

TEST_P(CurveRefusal, EvenStatusAndNoPoints) {
    const Selection r = GetParam();
    EXPECT_FALSE(VUZIZI_STATUS_OK(select(r.type, r.attribute, r.id)));
    int32_t count = -1;
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNbPtUneCourbe(&kZero, &count)));
    EXPECT_EQ(count, 0);
    double t = -7.0, v = -7.0;
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetUneCourbe(&kZero, &t, &v, nullptr, nullptr, nullptr)));
    EXPECT_EQ(t, -7.0);
    EXPECT_EQ(v, -7.0);
}

INSTANTIATE_TEST_SUITE_P(Table, CurveRefusal,
                         ::testing::Values(Selection{ELEMENT_NODE, 0, "NOPE"},
                                           Selection{ELEMENT_NODE, 3, "A"},       // no cavities without column separation
                                           Selection{ELEMENT_LINK, 0, "PU"},      // a pump is not a pipe
                                           Selection{ELEMENT_PUMP, 0, "P1"},
                                           Selection{ELEMENT_TANK, 1, "A"},       // a junction is not a tank
                                           Selection{ELEMENT_SURGE_TANK, 1, "AV"},
                                           Selection{ELEMENT_SURGE_VALVE, 2, "RV"},
                                           Selection{7, 0, "A"},                  // unknown type
                                           Selection{ELEMENT_NODE, -1, "A"}));

TEST_F(Curves, WritesExactlyTheCountOfTheSelectedCurve) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, 0, "B")));
    int32_t count = 0;
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetNbPtUneCourbe(&kZero, &count)));
    constexpr double kSentinel = -12345.0;
    std::vector<double> times(static_cast<std::size_t>(count) + 4, kSentinel), values(times);
    int32_t slot1 = 0, slot2 = 0;
    unsigned char area[CURVE_AREA_LEN];
    std::memset(area, 'x', sizeof area);
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetUneCourbe(&kZero, times.data(), values.data(), &slot1, &slot2, area)));
    for (std::size_t k = static_cast<std::size_t>(count); k < times.size(); ++k) {
        EXPECT_EQ(times[k], kSentinel);
        EXPECT_EQ(values[k], kSentinel);
    }
    EXPECT_EQ(slot1, count);
    EXPECT_STREQ(reinterpret_cast<const char*>(area), "m");
}

TEST_F(Curves, TheIdentifierEndsAtItsZeroByteOrTheFieldEnd) {
    CurveSelectRecord sel{};
    sel.element_type = ELEMENT_NODE;
    sel.attribute = 0;
    std::memset(sel.id, ' ', sizeof sel.id);
    sel.id[0] = 'A';
    EXPECT_TRUE(VUZIZI_STATUS_OK(SetInfoCourbe(&sel)));  // blanks only: the identifier is A
    std::memset(sel.id, 'A', sizeof sel.id);             // 49 characters, no zero byte
    EXPECT_FALSE(VUZIZI_STATUS_OK(SetInfoCourbe(&sel)));
}

}  // namespace
}  // namespace vuzizi::transient
