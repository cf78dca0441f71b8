// The transient sections of a model file: values in the model's units, refusals that name
// the line and the element.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// US units: 1000 ft of 12 in pipe, wave speed in ft/s.
const std::string kUsBase = R"(
[RESERVOIRS]
R 300
[JUNCTIONS]
J 0 100
[PIPES]
P R J 1000 12 120
[OPTIONS]
UNITS GPM
)";

class ModelSections : public ::testing::Test {
protected:
    void SetUp() override {
        CloseQorvane();
        open_engine(1);
    }
    void TearDown() override { CloseQorvane(); }
};

TEST_F(ModelSections, ValuesAreInTheModelsUnits) {
    const std::string text = kUsBase + "[WAVESPEEDS]\nP 1000\n[TRANSIENT]\nTIMESTEP 0.1\n[AIRVESSELS]\nAV J 35.3 1.2\n";
    ASSERT_EQ(load_model(write_model("us_sections", text)), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    EXPECT_EQ(params().total_reaches, 10);  // 1000 ft at 1000 ft/s is 1 s: ten steps of 0.1 s
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 1)));
    const Curve v = read_curve(ELEMENT_AIR_VESSEL, 2, "AV");
    ASSERT_FALSE(v.values.empty());
    EXPECT_NEAR(v.values[0], 35.3, 1e-9);  // ft3 in, ft3 out
}

TEST_F(ModelSections, TravelTimesInterpolateKeepsThePipesOwnTravelTime) {
    // 1 s of pipe at a step of 0.3 s: three reaches, 11 % fast, unless two reaches and a wait of 1.33
    // steps keep its time.
    struct Case {
        const char* option;
        double adjustment;
        int32_t reaches;
    };
    for (const auto& [option, adjustment, reaches] : {Case{"ADJUST", 0.1111111, 3}, Case{"INTERPOLATE", 0.0, 2}}) {
        const std::string text = kUsBase + "[WAVESPEEDS]\nP 1000\n[TRANSIENT]\nTIMESTEP 0.3\nTRAVELTIMES " + option + "\n";
        ASSERT_EQ(load_model(write_model("travel_times", text)), 0);
        ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
        EXPECT_EQ(params().total_reaches, reaches) << option;
        EXPECT_NEAR(params().largest_adjustment, adjustment, 1e-6) << option;
    }
}

TEST_F(ModelSections, InterpolatedTravelTimesTakeATighterDefaultTolerance) {
    // 1.0005 s of pipe at a step of 0.1 s: ten reaches fit it within 5e-4, inside 0.01, outside 1e-4.
    struct Case {
        const char* options;
        double adjustment;
    };
    for (const auto& [options, adjustment] : {Case{"TRAVELTIMES ADJUST\n", 5.0025e-4}, Case{"", 0.0},
                                              Case{"TRAVELTIMES INTERPOLATE\n", 0.0},
                                              Case{"TRAVELTIMES INTERPOLATE\nWAVESPEEDTOLERANCE 0.01\n", 5.0025e-4}}) {
        const std::string text = kUsBase + "[WAVESPEEDS]\nP 999.5\n[TRANSIENT]\nTIMESTEP 0.1\n" + options;
        ASSERT_EQ(load_model(write_model("interpolated_tolerance", text)), 0);
        ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
        EXPECT_NEAR(params().largest_adjustment, adjustment, 1e-7) << options;
    }
}

// SI model: a valve shutting at once at the end of a line fed by a 20 m reservoir.
const std::string kClosingLine = R"(
[RESERVOIRS]
R1 20
R2 15
[JUNCTIONS]
U 0 0
[PIPES]
P R1 U 1000 500 0.1
[VALVES]
V U R2 500 TCV 1
[OPTIONS]
UNITS LPS
HEADLOSS D-W
[VALVEMOTIONS]
V 0 0
[TRANSIENT]
TIMESTEP 0.01
COLUMNSEPARATION YES
VAPOURPRESSURE 2
)";

TEST_F(ModelSections, ColumnSeparationHoldsTheGivenVapourPressureAndGivesTheCavityCurve) {
    ASSERT_EQ(load_model(write_model("closing_line", kClosingLine)), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(6.0f, 1)));
    const Curve pressure = read_curve(ELEMENT_NODE, 2, "U");
    const Curve cavity = read_curve(ELEMENT_NODE, 3, "U");
    ASSERT_FALSE(pressure.values.empty());
    ASSERT_EQ(cavity.values.size(), pressure.values.size());
    // 2 m absolute is 2 - 10.33 m gauge; the cavity volume is in m3.
    EXPECT_NEAR(*std::min_element(pressure.values.begin(), pressure.values.end()), 2.0 - 10.33, 1e-9);
    EXPECT_GT(*std::max_element(cavity.values.begin(), cavity.values.end()), 0.01);
    EXPECT_EQ(cavity.values.front(), 0.0);
}

struct BadLine {
    const char* section;   // section text appended to the base model
    const char* expected;  // part of the message
};

class RefusedLine : public ModelSections, public ::testing::WithParamInterface<BadLine> {};

TEST_P(RefusedLine, LoadingFailsNamingLineAndElement) {
    const BadLine c = GetParam();
    const std::string text = kUsBase + c.section;
    const int bad_line = static_cast<int>(std::count(kUsBase.begin(), kUsBase.end(), '\n')) + 2;
    ::testing::internal::CaptureStderr();
    const int32_t result = load_model(write_model("bad_section", text));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(result, 0);
    const std::string line_mark = std::string(":").append(std::to_string(bad_line)).append(":");
    EXPECT_NE(message.find(line_mark), std::string::npos) << message;
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Sections, RefusedLine,
    ::testing::Values(BadLine{"[WAVESPEEDS]\nNOPIPE 1000\n", "NOPIPE"},
                      BadLine{"[WAVESPEEDS]\nP -5\n", "wave speed of pipe 'P'"},
                      BadLine{"[SURGETANKS]\nST NOWHERE 10\n", "NOWHERE"},
                      BadLine{"[SURGETANKS]\nST J 0\n", "surge tank 'ST'"},
                      BadLine{"[AIRVESSELS]\nAV J 10 0.5\n", "air vessel 'AV'"},
                      BadLine{"[RELIEFVALVES]\nRV J 50 4\n", "discharge coefficient of relief valve 'RV'"},
                      BadLine{"[PUMPTRIPS]\nP 1\n", "'P' is not a pump"},
                      BadLine{"[VALVEMOTIONS]\nP 0 1\n", "'P' is not a valve"},
                      BadLine{"[TRANSIENT]\nSTEP 0.1\n", "STEP"},
                      BadLine{"[TRANSIENT]\nCOLUMNSEPARATION MAYBE\n", "MAYBE"},
                      BadLine{"[TRANSIENT]\nVAPOURPRESSURE 15\n", "vapour pressure"},
                      BadLine{"[TRANSIENT]\nDEMANDS SOMETIMES\n", "transient demands 'SOMETIMES'"},
                      BadLine{"[TRANSIENT]\nTRAVELTIMES EXACT\n", "travel times 'EXACT'"},
                      BadLine{"[TRANSIENT]\nWAVESPEEDTOLERANCE 0\n", "wave-speed tolerance must be above 0"},
                      BadLine{"[TRANSIENT]\nWAVESPEEDTOLERANCE 1.5\n", "wave-speed tolerance must be above 0"},
                      BadLine{"[TRANSIENT]\nWAVESPEEDTOLERANCE -0.1\n", "wave-speed tolerance must be above 0"},
                      BadLine{"[TRANSIENT]\nWAVESPEEDTOLERANCE\n", "wave-speed tolerance"},
                      BadLine{"[TRANSIENT]\nTHREADS 0\n", "transient threads must be a whole number from 1 to 4"},
                      BadLine{"[TRANSIENT]\nTHREADS 5\n", "transient threads must be a whole number from 1 to 4"},
                      BadLine{"[TRANSIENT]\nTHREADS 1.5\n", "transient threads must be a whole number from 1 to 4"}));

}  // namespace
}  // namespace vuzizi::transient
