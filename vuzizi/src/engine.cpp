// Lifecycle of the engine instance and loading of a model.
#include "engine.h"

#include <cstdio>

#include "hydraulics/start_controls.h"
#include "input/model_reader.h"

namespace vuzizi {
namespace {

std::string describe_divergence(const SteadyState& state, const Options& options) {
    char text[160];
    std::snprintf(text, sizeof text, "after %d trials the relative flow change is %.3g (accuracy %.3g)",
                  state.iterations, state.relative_change, options.accuracy);
    return text;
}

}  // namespace

int32_t Engine::open(int32_t level) {
    diagnostics_.set_level(level);
    open_ = true;
    return kStatusOk;
}

void Engine::initialise() {
    if (!open_) return;
    drop_network();
    initialised_ = true;
}

void Engine::close() {
    drop_network();
    open_ = false;
    initialised_ = false;
    diagnostics_.set_level(kLevelSilent);
}

void Engine::drop_network() {
    system_.reset();
    network_.reset();
    steady_ = SteadyState{};
    boundaries_.clear();
    model_path_.clear();
    ++generation_;
}

int32_t Engine::load(const std::string& path) {
    if (!open_ || !initialised_) {
        diagnostics_.error({}, Error::EngineNotReady, "no model can be loaded");
        return error_code(Error::EngineNotReady);
    }
    if (path.empty()) {
        diagnostics_.error({}, Error::InvalidPath, "the path is blank");
        return error_code(Error::InvalidPath);
    }
    ReadResult read = read_model_file(path, diagnostics_);
    if (read.error != Error::None) return error_code(read.error);

    auto system = std::make_unique<GradientSystem>(*read.network);
    SteadyState state;
    const Error solved = solve_with_controls(*read.network, *system, state);
    if (solved == Error::Disconnected) {
        report_cut_off_demands(*read.network, path, diagnostics_);
        return error_code(solved);
    }
    if (solved == Error::SolverFailed) {
        diagnostics_.error({path, 0}, solved, "a part of the network has no defined head");
        return error_code(solved);
    }
    if (solved == Error::NotConverged) {
        const std::string reason = describe_divergence(state, read.network->options);
        if (!read.network->options.continue_unbalanced) {
            diagnostics_.error({path, 0}, solved, reason);
            return error_code(solved);
        }
        diagnostics_.alert({path, 0}, "steady state not converged, kept as UNBALANCED CONTINUE asks: " + reason);
    }
    if (solved == Error::None)
        diagnostics_.trace({path, 0}, "steady state converged in " + std::to_string(state.iterations) + " iterations");
    network_ = std::move(read.network);
    system_ = std::move(system);
    steady_ = std::move(state);
    boundaries_.clear();
    model_path_ = path;
    ++generation_;
    return error_code(Error::None);
}

Engine& engine() {
    static Engine instance;
    return instance;
}

}  // namespace vuzizi
