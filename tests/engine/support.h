// Helpers of the engine tests: load model text, capture messages, check balances.
#pragma once

#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "diagnostics.h"
#include "hydraulics/gradient_system.h"
#include "hydraulics/start_controls.h"
#include "input/model_reader.h"

namespace vuzizi::testing {

inline constexpr const char* kModelName = "model.inp";

// A model read from text and, when it read without error, its steady state.
struct Loaded {
    Error read_error = Error::None;
    Error solve_error = Error::None;
    std::unique_ptr<Network> network;
    SteadyState state;
    std::string messages;
};

inline Loaded load(const std::string& text, int32_t level = kLevelTraces) {
    Loaded out;
    std::ostringstream messages;
    Diagnostics diagnostics(level, messages);
    ReadResult read = read_model_text(text, kModelName, diagnostics);
    out.read_error = read.error;
    out.network = std::move(read.network);
    if (out.network) {
        GradientSystem system(*out.network);
        out.solve_error = solve_with_controls(*out.network, system, out.state);
    }
    out.messages = messages.str();
    return out;
}

// Largest |inflow - outflow - demand| over the junctions, m3/s.
inline double worst_imbalance(const Network& network, const SteadyState& state) {
    std::vector<double> balance(network.nodes.size(), 0.0);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        balance[network.links[k].from] -= state.flow[k];
        balance[network.links[k].to] += state.flow[k];
    }
    double worst = 0.0;
    for (std::size_t i = 0; i < network.nodes.size(); ++i) {
        if (network.is_fixed_head(static_cast<int32_t>(i))) continue;
        worst = std::max(worst, std::fabs(balance[i] - state.demand[i]));
    }
    return worst;
}

inline int32_t node(const Loaded& l, const std::string& id) { return l.network->find_node(id); }
inline int32_t link(const Loaded& l, const std::string& id) { return l.network->find_link(id); }
inline double head(const Loaded& l, const std::string& id) { return l.state.head[node(l, id)]; }
inline double flow(const Loaded& l, const std::string& id) { return l.state.flow[link(l, id)]; }

// Bisection root of a function increasing in x on [lo, hi].
template <class F>
double root(F f, double lo, double hi) {
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) > 0.0 ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace vuzizi::testing
