// A run of more reach updates (steps x reaches) than the work limit is refused with its expected
// work and the longest horizon within the limit; the model's WORKLIMIT sets the limit, and no
// advice of a refusal leads to a run beyond it.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// Reservoir -- 1.5 km of pipe -- J drawing 10 l/s; a step of 0.01 s gives 150 reaches.
std::string line_with(const std::string& transient_options) {
    return "[RESERVOIRS]\nR 100\n[JUNCTIONS]\nJ 0 10\n[PIPES]\nP1 R J 1500 500 150\n[OPTIONS]\nUNITS LPS\n"
           "[WAVESPEEDS]\nDEFAULT 1000\n[TRANSIENT]\n" +
           transient_options;
}

constexpr double kRunnableWork = 1e6;  // advised runs this small are run, not only prepared

enum class Advised { Horizon, StorageFactor };

struct WorkCase {
    const char* name;
    std::string options;
    float horizon;       // s
    const char* refusal;  // in the message, with the advised value as its group
    Advised advice;
    double limit;        // reach updates the advised run must stay within
};

class WorkBound : public FreshEngine<WorkCase> {};

TEST_P(WorkBound, RefusalGivesTheWorkAndItsAdviceStaysWithinTheLimit) {
    const WorkCase& c = GetParam();
    ASSERT_EQ(load_model(write_model("work_bound", line_with(c.options))), 0);
    const std::string message = messages_of([&] { EXPECT_FALSE(VUZIZI_STATUS_OK(run(c.horizon, 1))); });
    std::smatch advised;
    ASSERT_TRUE(std::regex_search(message, advised, std::regex(c.refusal))) << message;
    const double value = std::stod(advised[1].str());
    const bool shorter = c.advice == Advised::Horizon;
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(shorter ? static_cast<float>(value) : c.horizon,
                                            shorter ? 1 : static_cast<int32_t>(value))));
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const CalcParamRecord p = params();
    EXPECT_LE(static_cast<double>(p.step_count) * p.total_reaches, c.limit);
    if (c.limit <= kRunnableWork) {
        EXPECT_TRUE(VUZIZI_STATUS_OK(RunCalculQor()));
    }
}

constexpr double kDefaultLimit = 1e11;

INSTANTIATE_TEST_SUITE_P(
    Limits, WorkBound,
    ::testing::Values(
        // 1e9 steps on 150 reaches: beyond the default limit, the work stated.
        WorkCase{"default_limit", "TIMESTEP 0.01\n", 1.0e7f,
                 "takes 1000000000 time steps of 0\\.01 s on 150 reaches, 1\\.5e\\+11 reach updates, more than the "
                 "limit of 1e\\+11 \\(WORKLIMIT in \\[TRANSIENT\\] sets it\\); the horizon must be at most "
                 "([0-9.e+]+) s",
                 Advised::Horizon, kDefaultLimit},
        // Lowered by the model: 100 steps of 150 reaches are more than 1000.
        WorkCase{"lowered", "TIMESTEP 0.01\nWORKLIMIT 1000\n", 1.0f,
                 "15000 reach updates, more than the limit of 1000 \\(WORKLIMIT in \\[TRANSIENT\\] sets it\\); the "
                 "horizon must be at most ([0-9.e+]+) s",
                 Advised::Horizon, 1000.0},
        // Raised by the model: the memory refusal comes instead, and its factor stays within.
        WorkCase{"raised", "TIMESTEP 0.01\nWORKLIMIT 1e12\n", 1.0e7f, "a storage factor of ([0-9]+) would fit",
                 Advised::StorageFactor, 1e12}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vuzizi::transient
