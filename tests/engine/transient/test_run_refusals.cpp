// Runs the engine refuses: extreme travel times, step counts beyond the record, results beyond
// the memory limit. A refusal is an even status with a message, leaves no results behind, and
// its advice, when followed, is accepted.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <regex>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

constexpr int16_t kHead = 0;
constexpr float kShortHorizon = 0.5f;  // s
constexpr float kLongHorizon = 1.0e8f;  // s: more results than the memory limit when every step is stored
constexpr float kEndlessHorizon = 1.0e30f;  // s: more steps than the record's step count
constexpr double kAdviceTolerance = 1e-5;  // the advice is rounded down to six digits

// Reservoir -- 1 km pipe P1 -- J -- pipe PX -- K; 10 l/s drawn at J.
std::string line_model(const std::string& px_length, const std::string& px_speed, const std::string& extra = "") {
    return "[RESERVOIRS]\nR 100\n[JUNCTIONS]\nJ 0 10\nK 0 0\n[PIPES]\nP1 R J 1000 500 150\nPX J K " + px_length +
           " 500 150\n[OPTIONS]\nUNITS LPS\n[WAVESPEEDS]\nDEFAULT 1000\nPX " + px_speed + "\n" + extra;
}

class Refusals : public ::testing::Test {
protected:
    void SetUp() override {
        CloseQorvane();
        open_engine();
    }
    void TearDown() override { CloseQorvane(); }
    void load(const std::string& text) { ASSERT_EQ(load_model(write_model("refusals", text)), 0); }
};

struct ExtremePipe {
    const char* name;
    std::string model;
    const char* named;  // how the message names pipe PX
};

class ExtremeTravelTime : public Refusals, public ::testing::WithParamInterface<ExtremePipe> {};

TEST_P(ExtremeTravelTime, RunIsRefusedNamingThePipe) {
    load(GetParam().model);
    int32_t status = 1;
    const std::string message = messages_of([&] { status = run(kShortHorizon, 1); });
    EXPECT_FALSE(VUZIZI_STATUS_OK(status));
    EXPECT_NE(message.find(GetParam().named), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Models, ExtremeTravelTime,
    ::testing::Values(
        ExtremePipe{"very_long", line_model("1e300", "1000"), "pipe PX: its travel time of 1e+297 s sets a time step"},
        ExtremePipe{"very_slow", line_model("1000", "1e-300"), "pipe PX: its travel time of 1e+303 s sets a time step"},
        ExtremePipe{"tiny_step", line_model("2000", "1000", "[TRANSIENT]\nTIMESTEP 1e-20\n"),
                    "pipe PX: a time step of 1e-20 s divides the network"}),
    [](const auto& info) { return std::string(info.param.name); });

// A pipe of vanishing travel time beside an ordinary one is lumped: the run neither refuses nor
// takes the step that pipe would need.
TEST_F(Refusals, AVanishingPipeIsLumped) {
    for (const std::string& model : {line_model("1e-300", "1000"), line_model("1000", "1e308")}) {
        load(model);
        EXPECT_TRUE(VUZIZI_STATUS_OK(run(kShortHorizon, 1)));
        EXPECT_EQ(params().lumped_pipes, 1);
        EXPECT_EQ(params().time_step, 1.0);  // P1's travel time
    }
}

struct Refusal {
    const char* name;
    std::function<int32_t()> refused_run;
    const char* message;
};

class RefusedRun : public Refusals, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedRun, LeavesNoResults) {
    load(line_model("500", "1000"));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(kShortHorizon, 1)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, kHead, "J")));
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("J", NODE_MODE_DEMAND, {{0.0, 0.0}})));
    int32_t status = 1;
    const std::string message = messages_of([&] { status = GetParam().refused_run(); });
    EXPECT_FALSE(VUZIZI_STATUS_OK(status));
    EXPECT_NE(message.find(GetParam().message), std::string::npos) << message;
    int32_t count = -1;
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNbPtUneCourbe(&kZero, &count)));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, kHead, "J")));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedRun,
    ::testing::Values(
        Refusal{"beyond_the_memory_limit", [] { return run(kLongHorizon, 1); }, "MiB of results, more than the limit"},
        Refusal{"beyond_the_step_count", [] { return run(kEndlessHorizon, INT32_MAX); },
                "takes more than 2147483647 time steps"},
        // As the module runs: prepared, then the parameters are refused and no run starts.
        Refusal{"parameters_refused",
                [] {
                    InitCalculQor(&kZero);
                    return set_params(INFINITY, 1);
                },
                "horizon inf s must be positive"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Advice {
    const char* name;
    float horizon;
    int32_t factor;
    const char* pattern;  // its group: the advised factor or horizon
    bool advises_factor;
};

class RefusalAdvice : public Refusals, public ::testing::WithParamInterface<Advice> {};

TEST_P(RefusalAdvice, FollowedIsAccepted) {
    const Advice& a = GetParam();
    load(line_model("500", "1000"));
    const std::string message = messages_of([&] { EXPECT_FALSE(VUZIZI_STATUS_OK(run(a.horizon, a.factor))); });
    std::smatch advised;
    ASSERT_TRUE(std::regex_search(message, advised, std::regex(a.pattern))) << message;
    const double value = std::stod(advised[1].str());
    const float horizon = a.advises_factor ? a.horizon : static_cast<float>(value);
    const int32_t factor = a.advises_factor ? static_cast<int32_t>(value) : INT32_MAX;
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(horizon, factor)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const CalcParamRecord p = params();
    EXPECT_LE(p.result_bytes, p.result_limit);
    EXPECT_LE(std::ceil(p.horizon / p.time_step), static_cast<double>(INT32_MAX));
    if (!a.advises_factor) {
        // The longest horizon is advised, and by how much the refused one passes it.
        EXPECT_NEAR(value, INT32_MAX * p.time_step, kAdviceTolerance * value);
        EXPECT_NEAR(std::stod(advised[2].str()), a.horizon - value, kAdviceTolerance * a.horizon);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalAdvice,
    ::testing::Values(Advice{"a_factor_fits", kLongHorizon, 1, "a storage factor of ([0-9]+) would fit", true},
                      Advice{"no_factor_fits", kEndlessHorizon, INT32_MAX,
                             "the horizon must be at most ([0-9.e+]+) s, ([0-9.e+]+) s shorter", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vuzizi::transient
