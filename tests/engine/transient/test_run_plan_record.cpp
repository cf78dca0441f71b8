// What a prepared run publishes: the lumped-pipe count in the parameter record, the tolerance
// read from the model, and the plan and horizon trace lines in their exact form.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

constexpr int32_t kTraces = 3;

// Reservoir -- 1 km pipe P1 -- J -- 1 m pipe PX -- K, at an imposed step of 0.01 s: PX is lumped.
std::string short_pipe_model(const std::string& options) {
    return "[RESERVOIRS]\nR 100\n[JUNCTIONS]\nJ 0 10\nK 0 1\n[PIPES]\nP1 R J 1000 500 150\nPX J K 1 500 150\n"
           "[OPTIONS]\nUNITS LPS\n[WAVESPEEDS]\nDEFAULT 1000\n[TRANSIENT]\n" + options;
}

class RunPlanRecord : public ::testing::Test {
protected:
    void SetUp() override {
        CloseQorvane();
        open_engine(kTraces);
    }
    void TearDown() override { CloseQorvane(); }
};

TEST_F(RunPlanRecord, PublishesLumpedPipesAndTracesThePlan) {
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(load_model(write_model("plan_record", short_pipe_model("TIMESTEP 0.01\n"))), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(set_params(0.5f, 2)));
    const std::string traces = ::testing::internal::GetCapturedStderr();
    const CalcParamRecord p = params();
    EXPECT_EQ(p.lumped_pipes, 1);
    EXPECT_EQ(p.total_reaches, 100);
    EXPECT_EQ(p.time_step, 0.01);
    EXPECT_NE(traces.find("run plan: time step 0.01 s set by TIMESTEP, 100 reaches, 1 lumped pipes, "
                          "largest wave-speed adjustment 0 at pipe P1\n"),
              std::string::npos)
        << traces;
    const std::regex horizon("run horizon: 0.5 s, 50 steps, storing every 2, 26 points per curve, ([0-9]+) bytes of results");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(traces, m, horizon)) << traces;
    EXPECT_EQ(std::stod(m[1].str()), p.result_bytes);
}

TEST_F(RunPlanRecord, NoPipeKeepingReachesIsWrittenAsADash) {
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(load_model(write_model("plan_dash", short_pipe_model("TIMESTEP 5\n"))), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
    const std::string traces = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(params().lumped_pipes, 2);
    EXPECT_NE(traces.find("0 reaches, 2 lumped pipes, largest wave-speed adjustment 0 at pipe -\n"), std::string::npos)
        << traces;
}

TEST_F(RunPlanRecord, TheModelsToleranceBoundsTheAdjustment) {
    // Travel times 1 s and 1.37 s: within 5 % the step is a third of a second, within 40 % one second.
    const std::string two_pipes = "[RESERVOIRS]\nR 100\n[JUNCTIONS]\nJ 0 10\nK 0 1\n[PIPES]\nP1 R J 1000 500 150\n"
                                  "P2 J K 1370 500 150\n[OPTIONS]\nUNITS LPS\n[WAVESPEEDS]\nDEFAULT 1000\n[TRANSIENT]\n";
    for (const auto& [tolerance, step] : {std::pair{"0.05", 1.37 / 4.0}, std::pair{"0.4", 1.0}}) {
        ASSERT_EQ(load_model(write_model("plan_tolerance", two_pipes + "WAVESPEEDTOLERANCE " + tolerance + "\n")), 0);
        ASSERT_TRUE(VUZIZI_STATUS_OK(InitCalculQor(&kZero)));
        EXPECT_NEAR(params().time_step, step, 1e-9) << tolerance;
        EXPECT_LE(params().largest_adjustment, std::stof(tolerance)) << tolerance;
    }
}

}  // namespace
}  // namespace vuzizi::transient
