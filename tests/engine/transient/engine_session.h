// Driving the engine through its C operations from the run and curve tests.
#pragma once

#if defined(_WIN32)
#include <process.h>
#define TRANSIENT_TEST_PID _getpid()
#else
#include <unistd.h>
#define TRANSIENT_TEST_PID getpid()
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api.h"

namespace vuzizi::transient::testing {

inline constexpr int32_t kSilent = -1;
inline constexpr int32_t kZero = 0;

inline std::string write_model(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("vuzizi_transient_" + std::to_string(TRANSIENT_TEST_PID) + "_" + name + ".inp");
    std::ofstream(path) << text;
    return path.string();
}

inline int32_t load_model(const std::string& path) {
    char field[MODEL_PATH_LEN + 1];
    std::memset(field, ' ', MODEL_PATH_LEN);
    std::memcpy(field, path.data(), std::min<std::size_t>(path.size(), MODEL_PATH_LEN));
    field[MODEL_PATH_LEN] = '\0';
    return OuvrirReseau(field);
}

inline void open_engine(int32_t level = kSilent) {
    OpenQorvaneAPI(&level);
    QorvaneInit();
}

// Parametrised tests that each start from a freshly opened engine and close it after.
template <class Case>
class FreshEngine : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        CloseQorvane();
        open_engine();
    }
    void TearDown() override { CloseQorvane(); }
};

// Runs `action` with the engine's messages at level 1 and gives what it wrote to standard error.
inline std::string messages_of(const std::function<void()>& action) {
    int32_t level = 1;
    OpenQorvaneAPI(&level);
    ::testing::internal::CaptureStderr();
    action();
    int32_t silent = kSilent;
    OpenQorvaneAPI(&silent);
    return ::testing::internal::GetCapturedStderr();
}

// Imposes a series on a node as SetNoeudQor receives it.
inline int32_t impose(const std::string& node, int32_t mode, const std::vector<NodePoint>& points) {
    char id[NODE_ID_FIELD_LEN];
    std::memset(id, ' ', sizeof id);
    std::memcpy(id, node.data(), node.size());
    id[node.size()] = '\0';
    NodeRecord rec{};
    std::memcpy(rec.id, id, sizeof id);
    rec.mode = mode;
    rec.count = static_cast<int32_t>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) rec.points[i] = points[i];
    return SetNoeudQor(&kZero, id, &rec);
}

inline int32_t set_params(float horizon, int32_t factor) {
    CalcParamRecord rec{};
    GetParamCalcQor(&rec);
    rec.horizon = horizon;
    rec.storage_factor = factor;
    return SetParamCalcQor(&rec);
}

inline CalcParamRecord params() {
    CalcParamRecord rec{};
    GetParamCalcQor(&rec);
    return rec;
}

// Runs as the session does: prepare, read, overwrite, write back, run.
inline int32_t run(float horizon, int32_t factor) {
    InitCalculQor(&kZero);
    if (!VUZIZI_STATUS_OK(set_params(horizon, factor))) return 0;
    return RunCalculQor();
}

inline int32_t select(int16_t type, int16_t attribute, const std::string& id) {
    CurveSelectRecord sel{};
    sel.element_type = type;
    sel.attribute = attribute;
    sel.one = 1;
    std::memset(sel.id, ' ', sizeof sel.id);
    std::memcpy(sel.id, id.data(), std::min<std::size_t>(id.size(), CURVE_ID_FIELD_LEN));
    if (id.size() < CURVE_ID_FIELD_LEN) sel.id[id.size()] = '\0';
    return SetInfoCourbe(&sel);
}

struct Curve {
    int32_t status = 0;
    std::vector<double> times, values;
};

// Selects and reads a curve; no points when the selection is refused.
inline Curve read_curve(int16_t type, int16_t attribute, const std::string& id) {
    Curve c;
    c.status = select(type, attribute, id);
    int32_t count = -1;
    GetNbPtUneCourbe(&kZero, &count);
    if (!VUZIZI_STATUS_OK(c.status) || count <= 0) return c;
    c.times.resize(static_cast<std::size_t>(count));
    c.values.resize(static_cast<std::size_t>(count));
    int32_t slot1 = 0, slot2 = 0;
    unsigned char area[CURVE_AREA_LEN] = {};
    GetUneCourbe(&kZero, c.times.data(), c.values.data(), &slot1, &slot2, area);
    return c;
}

}  // namespace vuzizi::transient::testing
