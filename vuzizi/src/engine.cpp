// Lifecycle of the engine instance and loading of a model.
#include "engine.h"

#include <chrono>
#include <cstdio>

#include "hydraulics/start_controls.h"
#include "input/model_reader.h"

namespace vuzizi {
namespace {

std::string describe_divergence(const SteadyState& state, const Network& network) {
    char text[160];
    if (state.unbalanced_node != kNone) {
        std::snprintf(text, sizeof text, "' is out of balance by %.3g m3/s: the flows settled on heads that no open path can follow",
                      state.largest_imbalance);
        return "junction '" + network.nodes[static_cast<std::size_t>(state.unbalanced_node)].id + text;
    }
    std::snprintf(text, sizeof text, "after %d trials the relative flow change is %.3g (accuracy %.3g)",
                  state.iterations, state.relative_change, network.options.accuracy);
    return text;
}

// The line a failed steady state is reported at: the unbalanced junction's, else none.
int divergence_line(const SteadyState& state, const Network& network) {
    return state.unbalanced_node == kNone ? 0 : network.nodes[static_cast<std::size_t>(state.unbalanced_node)].line;
}

std::string describe_iteration(std::size_t number, const IterationRecord& record) {
    char text[160];
    std::snprintf(text, sizeof text, "iteration %zu: relative flow change %.3g, %d valve and %d link state changes",
                  number, record.relative_change, record.valve_changes, record.link_changes);
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

    using Milliseconds = std::chrono::duration<double, std::milli>;
    const auto solve_start = std::chrono::steady_clock::now();
    auto system = std::make_unique<GradientSystem>(*read.network);
    const auto iterations_start = std::chrono::steady_clock::now();
    SteadyState state;
    const Error solved = solve_with_controls(*read.network, *system, state);
    const auto solve_end = std::chrono::steady_clock::now();
    if (diagnostics_.level() >= kLevelTraces) {
        for (std::size_t i = 0; i < state.history.size(); ++i)
            diagnostics_.trace({path, 0}, describe_iteration(i + 1, state.history[i]));
        // The system's ordering and analysis are done once per network, before the iterations.
        char text[120];
        std::snprintf(text, sizeof text, "steady state solved in %.3f ms, %.3f ms of them ordering the system",
                      Milliseconds(solve_end - solve_start).count(),
                      Milliseconds(iterations_start - solve_start).count());
        diagnostics_.trace({path, 0}, text);
    }
    if (state.unsettled_control_line != 0)
        diagnostics_.warning({path, state.unsettled_control_line},
                             "the junction-pressure controls do not settle at time 0 within " +
                                 std::to_string(kMaxControlRounds) +
                                 " rounds (this control still changes its link): the state of the last solve is kept");
    if (solved == Error::Disconnected) {
        report_cut_off_demands(*read.network, state, path, diagnostics_);
        return error_code(solved);
    }
    if (solved == Error::SolverFailed) {
        diagnostics_.error({path, 0}, solved, "a part of the network has no defined head");
        return error_code(solved);
    }
    if (solved == Error::NotConverged) {
        const std::string reason = describe_divergence(state, *read.network);
        const int line = divergence_line(state, *read.network);
        if (!read.network->options.continue_unbalanced || state.unbalanced_node != kNone) {
            diagnostics_.error({path, line}, solved, reason);
            return error_code(solved);
        }
        diagnostics_.alert({path, line}, "steady state not converged, kept as UNBALANCED CONTINUE asks: " + reason);
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
