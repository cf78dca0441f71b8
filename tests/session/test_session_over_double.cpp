// The session routines over the journaling double, linked as a program of its own: each engine call
// arrives with its arguments where the engine expects them, in the calling convention of the build,
// and the engine's answers come back into the routines' outputs.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "api.h"
#include "routines.h"

extern "C" {
VUZIZI_API void dbl_reset(void);
VUZIZI_API void dbl_set_return(const char* op, int32_t value);
VUZIZI_API void dbl_set_output(const char* op, int32_t arg, const void* bytes, int32_t len);
VUZIZI_API int32_t dbl_call_count(void);
VUZIZI_API const char* dbl_call_op(int32_t call);
VUZIZI_API int32_t dbl_call_arg(int32_t call, int32_t arg, void* out, int32_t cap);
}

namespace {

constexpr int32_t kNodeIndex = 7;
constexpr double kElevation = 12.5;
constexpr double kHead = 80.25;
constexpr float kHorizon = 30.0f;
constexpr float kStoreFactor = 2.0f;

std::string journal() {
    std::string ops;
    for (int32_t call = 0; call < dbl_call_count(); ++call) ops += std::string(dbl_call_op(call)) + " ";
    return ops;
}

template <typename Record>
Record argument(int32_t call, int32_t arg) {
    Record record{};
    EXPECT_EQ(dbl_call_arg(call, arg, &record, sizeof record), static_cast<int32_t>(sizeof record));
    return record;
}

TEST(SessionOverDouble, CallsReachTheEngineAndAnswersComeBack) {
    dbl_reset();
    int32_t level = 1;
    char version[session::kPversLen];
    session::init(&level, version, session::kPversLen);
    EXPECT_EQ(argument<int32_t>(0, 0), level);

    NodeRecord node{};
    node.elevation = kElevation;
    node.head = kHead;
    dbl_set_return("IndiceNoeudQor", kNodeIndex);
    dbl_set_output("GetNoeudQor", 1, &node, sizeof node);
    char eid[] = "N1";
    int32_t idx = 0;
    float fz = 0, fcs = 0, fch = 0;
    session::get_node(eid, &idx, &fz, &fcs, &fch, 2);
    EXPECT_EQ(idx, kNodeIndex);
    EXPECT_EQ(fz, static_cast<float>(kElevation));
    EXPECT_EQ(fch, static_cast<float>(kHead));

    float horizon = kHorizon, storefact = kStoreFactor;
    int32_t fstat = 0;
    session::run_simulation(&horizon, &storefact, &fstat);
    EXPECT_EQ(journal(),
              "OpenQorvaneAPI QorvaneInit GetNumeroVersion IndiceNoeudQor GetNoeudQor "
              "InitCalculQor GetParamCalcQor SetParamCalcQor RunCalculQor ");
    const auto node_field = argument<std::array<char, NODE_ID_FIELD_LEN>>(3, 0);
    EXPECT_EQ(std::memcmp(node_field.data(), "N1", 3), 0);
    EXPECT_EQ(argument<int32_t>(4, 0), kNodeIndex);
    const auto params = argument<CalcParamRecord>(7, 0);
    EXPECT_EQ(params.horizon, kHorizon);
    EXPECT_EQ(params.storage_factor, static_cast<int32_t>(kStoreFactor));
}

}  // namespace
