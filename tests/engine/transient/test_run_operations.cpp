// The run operations: parameters published and refused, boundary conditions acting on the
// run, the memory limit, and results that belong to the network they were computed on.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// Reservoir -- 1000 m of 500 mm pipe -- J drawing 200 l/s; Hazen-Williams, low loss.
const std::string kLine = R"(
[RESERVOIRS]
R 100
[JUNCTIONS]
J 0 200
[PIPES]
P R J 1000 500 150
[OPTIONS]
UNITS LPS
[WAVESPEEDS]
DEFAULT 1000
[TRANSIENT]
TIMESTEP 0.01
)";

class RunOperations : public ::testing::Test {
protected:
    void SetUp() override {
        CloseQorvane();
        open_engine();
        ASSERT_EQ(load_model(write_model("line", kLine)), 0);
    }
    void TearDown() override { CloseQorvane(); }
};

TEST_F(RunOperations, InitPublishesTheStepReachesAndAdjustment) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const CalcParamRecord p = params();
    EXPECT_DOUBLE_EQ(p.time_step, 0.01);
    EXPECT_EQ(p.total_reaches, 100);
    EXPECT_NEAR(p.largest_adjustment, 0.0f, 1e-6f);
    EXPECT_GT(p.horizon, 0.0f);
    EXPECT_GE(p.storage_factor, 1);
    EXPECT_EQ(p.step_count, static_cast<int32_t>(std::lround(p.horizon / 0.01)));
    EXPECT_EQ(p.stored_points, p.step_count / p.storage_factor + 1);
    EXPECT_GT(p.result_limit, p.result_bytes);
}

struct BadParams {
    float horizon;
    int32_t factor;
};

class RefusedParams : public RunOperations, public ::testing::WithParamInterface<BadParams> {};

TEST_P(RefusedParams, EvenStatusAndTheEngineKeepsItsValues) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(12.5f, 3)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(set_params(GetParam().horizon, GetParam().factor)));
    const CalcParamRecord p = params();
    EXPECT_EQ(p.horizon, 12.5f);
    EXPECT_EQ(p.storage_factor, 3);
}

INSTANTIATE_TEST_SUITE_P(Values, RefusedParams,
                         ::testing::Values(BadParams{0.0f, 1}, BadParams{-1.0f, 1}, BadParams{std::nanf(""), 1},
                                           BadParams{INFINITY, 1}, BadParams{10.0f, 0}, BadParams{10.0f, -4}));

TEST_F(RunOperations, ImposedDemandStopRaisesJoukowskyPressure) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("J", NODE_MODE_DEMAND, {{0.0, 0.0}})));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(3.0f, 1)));
    const Curve p = read_curve(ELEMENT_NODE, 2, "J");
    ASSERT_EQ(p.values.size(), 301u);
    const double velocity = 0.2 / (std::numbers::pi * 0.25 / 4.0);
    const double joukowsky = 1000.0 * velocity / 9.80665;
    EXPECT_NEAR(p.values[1] - p.values[0], joukowsky, 0.01 * joukowsky);
    const Curve q = read_curve(ELEMENT_NODE, 1, "J");
    EXPECT_NEAR(q.values[0], 200.0, 1e-6);  // l/s before the stop
    EXPECT_NEAR(q.values[1], 0.0, 1e-9);
}

TEST_F(RunOperations, ImposedHeadIsFollowedWithHoldBeforeAndAfter) {
    // At a reservoir the head follows the series: linear between points, held outside them.
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("R", NODE_MODE_HEAD, {{0.5, 100.0}, {1.5, 110.0}})));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(2.5f, 10)));
    const Curve h = read_curve(ELEMENT_NODE, 0, "R");
    ASSERT_EQ(h.values.size(), 26u);
    for (std::size_t k = 0; k < h.values.size(); ++k) {
        const double t = h.times[k];
        const double expected = t <= 0.5 ? 100.0 : t >= 1.5 ? 110.0 : 100.0 + 10.0 * (t - 0.5);
        EXPECT_NEAR(h.values[k], expected, 1e-9) << "t = " << t;
    }
}

TEST_F(RunOperations, ImposedPressureIsHeadAboveElevation) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("R", NODE_MODE_PRESSURE, {{0.0, 90.0}})));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 5)));
    const Curve p = read_curve(ELEMENT_NODE, 2, "R");
    ASSERT_GT(p.values.size(), 2u);
    EXPECT_NEAR(p.values.back(), 90.0, 1e-9);
}

TEST_F(RunOperations, NothingImposedStaysSteady) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(5.0f, 50)));
    for (auto [type, attr, id] : {std::tuple{ELEMENT_NODE, 0, "J"}, std::tuple{ELEMENT_LINK, 0, "P"},
                                  std::tuple{ELEMENT_LINK, 3, "P"}}) {
        const Curve c = read_curve(static_cast<int16_t>(type), static_cast<int16_t>(attr), id);
        ASSERT_FALSE(c.values.empty());
        for (double v : c.values) EXPECT_NEAR(v, c.values[0], 1e-9 * std::fabs(c.values[0]));
    }
}

TEST_F(RunOperations, TooMuchToStoreIsRefusedNamingAFactorThatFits) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(3.0e6f, 1)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const CalcParamRecord p = params();
    ASSERT_GT(p.result_bytes, p.result_limit);
    const int32_t fits = p.fitting_factor;
    ASSERT_GT(fits, 1);

    int32_t level = 1;
    OpenQorvaneAPI(&level);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(VUZIZI_STATUS_OK(RunCalculQor()));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("storage factor of " + std::to_string(fits)), std::string::npos) << message;

    // The named factor fits and the one below it does not.
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(3.0e6f, fits)));
    InitCalculQor(&kZero);
    EXPECT_LE(params().result_bytes, params().result_limit);
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(3.0e6f, fits - 1)));
    InitCalculQor(&kZero);
    EXPECT_GT(params().result_bytes, params().result_limit);
}

TEST_F(RunOperations, ResultsGoWithTheirNetwork) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 1)));
    EXPECT_TRUE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, 0, "J")));
    ASSERT_EQ(load_model(write_model("line_again", kLine)), 0);
    EXPECT_FALSE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, 0, "J")));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 1)));
    EXPECT_TRUE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, 0, "J")));
    CloseQorvane();
    open_engine();
    EXPECT_FALSE(VUZIZI_STATUS_OK(select(ELEMENT_NODE, 0, "J")));
    int32_t count = -1;
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNbPtUneCourbe(&kZero, &count)));
    EXPECT_EQ(count, 0);
}

TEST_F(RunOperations, LastRunStaysPublishedUntilTheNextLoadOrPreparation) {
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 2)));
    const CalcParamRecord after = params();
    EXPECT_DOUBLE_EQ(after.time_step, 0.01);
    EXPECT_EQ(after.total_reaches, 100);
    EXPECT_EQ(after.step_count, 50);
    EXPECT_EQ(after.stored_points, 26);
    EXPECT_GT(after.result_bytes, 0.0);
    // A failed preparation publishes nothing; a load forgets the run.
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(3.0e6f, 1)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(RunCalculQor()));
    EXPECT_EQ(params().step_count, 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(0.5f, 2)));
    ASSERT_EQ(load_model(write_model("line_again", kLine)), 0);
    EXPECT_EQ(params().step_count, 0);
    EXPECT_EQ(params().time_step, 0.0);
}

TEST(RunWithoutNetwork, EvenStatusWithAMessage) {
    CloseQorvane();
    open_engine(1);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(RunCalculQor()));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("RunCalculQor: no network is loaded"), std::string::npos) << message;
    CloseQorvane();
}

}  // namespace
}  // namespace vuzizi::transient
