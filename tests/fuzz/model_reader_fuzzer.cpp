// libFuzzer target: arbitrary bytes as a model file, read and checked, then solved for the steady state.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "diagnostics.h"
#include "hydraulics/gradient_system.h"
#include "hydraulics/steady_state.h"
#include "input/model_reader.h"

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
    (void)vuzizi::solve_steady_state(*read.network, system, state);
    return 0;
}
