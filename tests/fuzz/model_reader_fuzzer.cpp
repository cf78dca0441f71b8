// libFuzzer target: arbitrary bytes as a model file, read and checked, solved for the steady state,
// then turned into a transient model whose pipes are divided into reaches.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnostics.h"
#include "hydraulics/gradient_system.h"
#include "hydraulics/steady_state.h"
#include "input/model_reader.h"
#include "transient/network_adapter.h"
#include "transient/reach_plan.h"

namespace {

// Trials beyond this only make one input slow, not the solver's code paths different.
constexpr int kMaxTrials = 500;
constexpr std::string_view kInputName = "fuzz.inp";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vuzizi::Diagnostics diagnostics(vuzizi::kLevelSilent);
    vuzizi::ReadResult read = vuzizi::read_model_text(text, kInputName, diagnostics);
    if (read.error != vuzizi::Error::None || !read.network) return 0;
    if (read.network->options.trials > kMaxTrials) read.network->options.trials = kMaxTrials;
    vuzizi::GradientSystem system(*read.network);
    vuzizi::SteadyState state;
    if (vuzizi::solve_steady_state(*read.network, system, state) == vuzizi::Error::SolverFailed) return 0;

    vuzizi::transient::TransientModel model;
    std::string error;
    if (!vuzizi::transient::build_model(*read.network, state, vuzizi::BoundaryConditions{}, model, error)) return 0;
    vuzizi::transient::ReachPlan plan;
    (void)vuzizi::transient::plan_reaches(model.pipes, model.time_step, plan, error);
    return 0;
}
