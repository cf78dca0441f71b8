// Junctions behind links that carry no steady flow: behind a shut valve, a standby pump or a
// pressure valve at zero flow they are at rest during the run; behind an open valve, or a shut
// one that its motion opens, they take part with its open loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine_session.h"

namespace vuzizi::transient {
namespace {

using namespace testing;

// R -- P1 -- J (10 l/s) -- P2 -- K (5 l/s, stopped at 0.1-0.2 s); a stub S hangs on J by one link.
std::string stub_model(const std::string& stub) {
    return "[RESERVOIRS]\nR 100\n[JUNCTIONS]\nJ 0 10\nK 0 5\nS 0 0\n[PIPES]\nP1 R J 1000 300 0.1\n"
           "P2 J K 500 200 0.1\n" + stub + "\n[CURVES]\nC1 20 120\n[OPTIONS]\nUNITS LPS\nHEADLOSS D-W\n"
           "[TRANSIENT]\nTIMESTEP 0.01\n";
}

struct Stub {
    const char* name;
    const char* link;   // the stub's link and its sections
    bool at_rest;       // S keeps its steady head; otherwise the air vessel on S takes water
};

class StubBehindLink : public FreshEngine<Stub> {};

TEST_P(StubBehindLink, RunsWithTheStubAtRestOrTakingPart) {
    const Stub c = GetParam();
    ASSERT_EQ(load_model(write_model(std::string("stub_") + c.name, stub_model(c.link))), 0);
    ASSERT_TRUE(VUZIZI_STATUS_OK(impose("K", 1, {{0.0, 5.0}, {0.1, 5.0}, {0.2, 0.0}})));
    ASSERT_TRUE(VUZIZI_STATUS_OK(run(3.0f, 1)));
    const Curve j = read_curve(ELEMENT_NODE, 0, "J");
    ASSERT_FALSE(j.values.empty());
    const auto [low, high] = std::minmax_element(j.values.begin(), j.values.end());
    EXPECT_GT(std::max(*high - j.values.front(), j.values.front() - *low), 1.0);  // a wave passed
    const Curve s = read_curve(ELEMENT_NODE, 0, "S");
    ASSERT_EQ(s.values.size(), j.values.size());
    if (c.at_rest) {
        for (double h : s.values) EXPECT_EQ(h, s.values.front());
        return;
    }
    const Curve vessel = read_curve(ELEMENT_AIR_VESSEL, 0, "AV");
    ASSERT_FALSE(vessel.values.empty());
    EXPECT_GT(*std::max_element(vessel.values.begin(), vessel.values.end()), 0.1);  // l/s
}

INSTANTIATE_TEST_SUITE_P(
    Links, StubBehindLink,
    ::testing::Values(Stub{"shut_valve", "[VALVES]\nV J S 100 TCV 1\n[STATUS]\nV CLOSED", true},
                      Stub{"standby_pump", "[PUMPS]\nPU J S HEAD C1\n[STATUS]\nPU CLOSED", true},
                      Stub{"prv_at_zero_flow", "[VALVES]\nV J S 100 PRV 20", true},
                      Stub{"pbv_at_zero_flow", "[VALVES]\nV J S 100 PBV 5", true},
                      Stub{"open_valve_to_vessel", "[VALVES]\nV J S 100 TCV 1\n[AIRVESSELS]\nAV S 0.5", false},
                      Stub{"shut_valve_opened",
                           "[VALVES]\nV J S 100 TCV 1\n[STATUS]\nV CLOSED\n[VALVEMOTIONS]\nV 0 0\nV 0.5 1\n"
                           "[AIRVESSELS]\nAV S 0.5",
                           false}),
    [](const ::testing::TestParamInfo<Stub>& info) { return std::string(info.param.name); });

struct CutOff {
    const char* name;
    const char* motion;    // [VALVEMOTIONS] of valve V, shutting the stub S and its 2 l/s
    const char* message;   // what the failure says
};

class FixedDemandCutOff : public StubBehindLink {};

TEST_F(FixedDemandCutOff, FailsTheRunNamingJunctionValveAndTime) {
    const CutOff cases[] = {
        {"at_once", "V 0 0", "junction S: valve V cuts off its fixed demand of 0.002 m3/s at t = 0.01 s"},
        {"slowly", "V 0 1\nV 2 0", "junction S: valve V no longer passes its fixed demand of 0.002 m3/s at t = 1."},
    };
    for (const CutOff& c : cases) {
        std::string text = stub_model(std::string("[VALVES]\nV J S 100 TCV 1\n[VALVEMOTIONS]\n") + c.motion);
        text.replace(text.find("S 0 0"), 5, "S 0 2");
        ASSERT_EQ(load_model(write_model(std::string("cut_off_") + c.name, text)), 0);
        int32_t level = 1;
        OpenQorvaneAPI(&level);
        ::testing::internal::CaptureStderr();
        const int32_t status = run(3.0f, 1);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(VUZIZI_STATUS_OK(status)) << c.name;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_NE(message.find("DEMANDS ORIFICE"), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace vuzizi::transient
