// Simple controls at time 0: a control that holds sets its link's status or setting, in file
// order, so that of two controls of one link that hold, the later one wins.
#include "start_controls.h"

#include <cmath>

#include "solver_parts.h"
#include "supply_paths.h"

namespace vuzizi {
namespace {

bool is_pressure_control(const Network& network, const Control& c) {
    const bool on_node = c.condition == ControlCondition::NodeBelow || c.condition == ControlCondition::NodeAbove;
    return on_node && network.nodes[c.node].kind == NodeKind::Junction;
}

// Whether a node condition holds for a value (tank level or junction pressure head, m).
bool node_condition_holds(const Control& c, double value) {
    if (c.condition == ControlCondition::NodeBelow) return value < c.threshold - kHeadTolerance;
    return value > c.threshold + kHeadTolerance;
}

bool holds_before_solving(const Network& network, const Control& c) {
    switch (c.condition) {
        case ControlCondition::AtTime: return c.time == 0.0;
        case ControlCondition::AtClockTime:
            return std::fmod(c.time, kSecondsPerDay) == std::fmod(network.options.start_clocktime, kSecondsPerDay);
        case ControlCondition::NodeBelow:
        case ControlCondition::NodeAbove: {
            const Node& node = network.nodes[c.node];
            return node.kind == NodeKind::Tank && node_condition_holds(c, node.initial_level);
        }
    }
    return false;
}

// Sets the link as the control says; true when that changed it.
bool apply(const Control& c, Link& link) {
    const LinkStatus status_before = link.status;
    const double speed_before = link.speed;
    const double setting_before = link.setting;
    switch (c.action) {
        case ControlAction::Open:
            link.status = LinkStatus::Open;
            if (link.kind == LinkKind::Pump && link.speed == 0.0) link.speed = 1.0;
            break;
        case ControlAction::Closed: link.status = LinkStatus::Closed; break;
        case ControlAction::Setting:
            if (link.kind == LinkKind::Pump) {
                link.speed = c.setting;
                link.status = c.setting == 0.0 ? LinkStatus::Closed : LinkStatus::Open;
            } else {
                link.setting = c.setting;
                link.status = LinkStatus::Active;
            }
            break;
    }
    return link.status != status_before || link.speed != speed_before || link.setting != setting_before;
}

bool apply_pressure_controls(Network& network, const SteadyState& state) {
    bool changed = false;
    for (const Control& c : network.controls) {
        if (!is_pressure_control(network, c)) continue;
        const double pressure = state.head[c.node] - network.nodes[c.node].elevation;
        if (node_condition_holds(c, pressure)) changed = apply(c, network.links[c.link]) || changed;
    }
    return changed;
}

// Solves under the links' current statuses; Disconnected, without solving, when links held
// closed cut a demand off from every reservoir and tank.
Error solve_supplied(const Network& network, GradientSystem& system, SteadyState& out) {
    const std::vector<char> supplied = supplied_nodes(network);
    if (!cut_off_demands(network, supplied).empty()) return Error::Disconnected;
    const Error result = solve_steady_state(network, system, out);
    if (result != Error::SolverFailed) settle_cut_off_junctions(network, supplied, out);
    return result;
}

}  // namespace

Error solve_with_controls(Network& network, GradientSystem& system, SteadyState& out) {
    std::size_t pressure_controls = 0;
    for (const Control& c : network.controls) {
        if (is_pressure_control(network, c)) ++pressure_controls;
        else if (holds_before_solving(network, c)) apply(c, network.links[c.link]);
    }
    Error result = solve_supplied(network, system, out);
    int iterations = out.iterations;
    // Each round settles at least one control for good unless two of them undo each other;
    // one round per control ends that.
    for (std::size_t round = 0; round < pressure_controls && result == Error::None; ++round) {
        if (!apply_pressure_controls(network, out)) break;
        result = solve_supplied(network, system, out);
        iterations += out.iterations;
    }
    out.iterations = iterations;
    return result;
}

}  // namespace vuzizi
