// libFuzzer target: arbitrary bytes as a model file, read and checked, solved for the steady state,
// then turned into a transient model whose pipes are divided into reaches. A model that reads is
// then loaded through the engine's C interface and run for a few steps, as run_simulation does:
// an exception the interface had to catch counts as a fault, as does any crash. A load or run that
// succeeds is checked for physical plausibility (run_checks.h); violations are counted, their inputs
// kept, and the session's summary printed at exit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "api.h"
#include "c_guard.h"
#include "diagnostics.h"
#include "hydraulics/gradient_system.h"
#include "hydraulics/steady_state.h"
#include "input/model_reader.h"
#include "run_checks.h"
#include "transient/network_adapter.h"
#include "transient/reach_plan.h"
#include "transient/step_events.h"

namespace {

// Trials beyond this only make one input slow, not the solver's code paths different.
constexpr int kMaxTrials = 500;
constexpr std::string_view kInputName = "fuzz.inp";
// A bounded run: at most this long and this many steps, on networks of at most this many reaches
// (each step costs work per reach). Each input runs for its own number of steps, picked from its
// hash, so that a growth the run would catch once it is no longer finite is seen earlier too.
constexpr float kRunHorizon = 2.0f;  // s
constexpr uint64_t kMaxRunSteps = 50;
constexpr int32_t kMaxRunReaches = 20000;
constexpr int32_t kSilentLevel = -1;

// The file the C interface loads: one per fuzzing process.
const std::string& model_path() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("vuzizi_fuzz_" + std::to_string(::getpid()) + ".inp")).string();
    return path;
}

// The input's number of steps, or FUZZ_RUN_STEPS when set (to replay a model for a given length).
uint64_t run_steps(std::string_view text) {
    static const char* forced = std::getenv("FUZZ_RUN_STEPS");
    if (forced != nullptr && std::atoll(forced) > 0) return static_cast<uint64_t>(std::atoll(forced));
    return 1 + fuzz::fingerprint(text) % kMaxRunSteps;
}

// Loads the text through OuvrirReseau and, when it loads, prepares and runs a bounded calculation.
void load_and_run(std::string_view text) {
    {
        std::ofstream out(model_path(), std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) return;
    }
    if (!VUZIZI_STATUS_OK(QorvaneInit())) return;
    char field[MODEL_PATH_LEN + 1];
    std::memset(field, ' ', MODEL_PATH_LEN);
    std::memcpy(field, model_path().data(), std::min<std::size_t>(model_path().size(), MODEL_PATH_LEN));
    field[MODEL_PATH_LEN] = '\0';
    if (OuvrirReseau(field) != 0) return;
    fuzz::check_load(text);
    const int32_t zero = 0;
    CalcParamRecord params{};
    if (!VUZIZI_STATUS_OK(InitCalculQor(&zero)) || !VUZIZI_STATUS_OK(GetParamCalcQor(&params))) return;
    if (params.total_reaches > kMaxRunReaches || !(params.time_step > 0.0)) return;
    const double steps = static_cast<double>(run_steps(text));
    params.horizon = static_cast<float>(std::min<double>(kRunHorizon, steps * params.time_step));
    params.storage_factor = 1;
    if (!(params.horizon > 0.0f) || !VUZIZI_STATUS_OK(SetParamCalcQor(&params))) return;
    if (VUZIZI_STATUS_OK(RunCalculQor())) fuzz::check_run(text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const int32_t level = kSilentLevel;
    if (!VUZIZI_STATUS_OK(OpenQorvaneAPI(&level))) std::abort();
    std::atexit([] {
        std::remove(model_path().c_str());
        fuzz::print_summary(stderr);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vuzizi::Diagnostics diagnostics(vuzizi::kLevelSilent);
    vuzizi::ReadResult read = vuzizi::read_model_text(text, kInputName, diagnostics);
    if (read.error != vuzizi::Error::None || !read.network) return 0;
    const bool bounded_trials = read.network->options.trials <= kMaxTrials;
    if (!bounded_trials) read.network->options.trials = kMaxTrials;
    vuzizi::GradientSystem system(*read.network);
    vuzizi::SteadyState state;
    if (vuzizi::solve_steady_state(*read.network, system, state) == vuzizi::Error::SolverFailed) return 0;

    vuzizi::transient::TransientModel model;
    std::string error;
    if (vuzizi::transient::build_model(*read.network, state, vuzizi::BoundaryConditions{}, model, error)) {
        vuzizi::transient::ReachPlan plan;
        (void)vuzizi::transient::plan_reaches(model.pipes, vuzizi::transient::step_rule(model), plan, error);
    }

    // The engine solves with the model's own trials: inputs with many are left to the part above.
    if (!bounded_trials) return 0;
    const uint64_t caught_before = vuzizi::caught_exceptions();
    load_and_run(text);
    if (vuzizi::caught_exceptions() != caught_before) {
        std::fprintf(stderr, "the engine's C interface caught an exception on this input\n");
        std::abort();
    }
    return 0;
}
