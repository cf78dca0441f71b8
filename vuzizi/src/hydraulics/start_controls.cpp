// Simple controls at time 0: a control that holds sets its link's status or setting, in file
// order, so that of two controls of one link that hold, the later one wins.
#include "start_controls.h"

#include <cmath>
#include <limits>

#include "solver_parts.h"
#include "supply_paths.h"

namespace vuzizi {
namespace {

bool is_pressure_control(const Network& network, const Control& c) {
    const bool on_node = c.condition == ControlCondition::NodeBelow || c.condition == ControlCondition::NodeAbove;
    return on_node && network.nodes[c.node].kind == NodeKind::Junction;
}

// Whether a junction-pressure condition holds for a pressure head (m): beyond the status margin,
// so that a pressure a round-off away from the value does not decide it.
bool pressure_condition_holds(const Control& c, double pressure) {
    if (c.condition == ControlCondition::NodeBelow) return pressure < c.threshold - kHeadTolerance;
    return pressure > c.threshold + kHeadTolerance;
}

// Whether a tank-level condition holds: at the stated level as well (a tank starting at the level
// of a control meets it).
bool level_condition_holds(const Control& c, double level) {
    if (c.condition == ControlCondition::NodeBelow) return level <= c.threshold;
    return level >= c.threshold;
}

bool holds_before_solving(const Network& network, const Control& c) {
    switch (c.condition) {
        case ControlCondition::AtTime: return c.time == 0.0;
        case ControlCondition::AtClockTime:
            return std::fmod(c.time, kSecondsPerDay) == std::fmod(network.options.start_clocktime, kSecondsPerDay);
        case ControlCondition::NodeBelow:
        case ControlCondition::NodeAbove: {
            const Node& node = network.nodes[c.node];
            return node.kind == NodeKind::Tank && level_condition_holds(c, node.initial_level);
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

// The pressure head at a junction for its controls. A junction with a demand that no link may
// supply has no pressure to hold: it is below every value.
double control_pressure(const Network& network, const SteadyState& state, const std::vector<char>& supplied,
                        int32_t node) {
    if (!supplied[node] && junction_demand(network, node, 0.0) != 0.0) return -std::numeric_limits<double>::infinity();
    return state.head[node] - network.nodes[node].elevation;
}

// Applies the junction-pressure controls that hold; the first control that changed its link, or
// null when none did.
const Control* apply_pressure_controls(Network& network, const SteadyState& state, const std::vector<char>& supplied) {
    const Control* first_change = nullptr;
    for (const Control& c : network.controls) {
        if (!is_pressure_control(network, c)) continue;
        if (!pressure_condition_holds(c, control_pressure(network, state, supplied, c.node))) continue;
        if (apply(c, network.links[c.link]) && first_change == nullptr) first_change = &c;
    }
    return first_change;
}

// What a control may change on a link, kept to undo a round of controls.
struct LinkSettings {
    LinkStatus status;
    double speed;
    double setting;
};

std::vector<LinkSettings> settings_of(const std::vector<Link>& links) {
    std::vector<LinkSettings> out;
    out.reserve(links.size());
    for (const Link& link : links) out.push_back({link.status, link.speed, link.setting});
    return out;
}

void restore(std::vector<Link>& links, const std::vector<LinkSettings>& settings) {
    for (std::size_t k = 0; k < links.size(); ++k) {
        links[k].status = settings[k].status;
        links[k].speed = settings[k].speed;
        links[k].setting = settings[k].setting;
    }
}

// Solves under the links' current statuses. Junctions that links held closed cut off from every
// reservoir and tank take no demand in the solve and then rest (settle_cut_off_junctions); whether
// that leaves a demand unsupplied is decided once the controls have settled.
Error solve_supplied(const Network& network, GradientSystem& system, SteadyState& out, std::vector<char>& supplied) {
    supplied = supplied_nodes(network);
    const Error result = solve_steady_state(network, system, out, &supplied);
    if (result != Error::SolverFailed) settle_cut_off_junctions(network, supplied, out);
    return result;
}

}  // namespace

Error solve_with_controls(Network& network, GradientSystem& system, SteadyState& out) {
    bool pressure_controls = false;
    for (const Control& c : network.controls) {
        if (is_pressure_control(network, c)) pressure_controls = true;
        else if (holds_before_solving(network, c)) apply(c, network.links[c.link]);
    }
    std::vector<char> supplied;
    Error result = solve_supplied(network, system, out, supplied);
    int iterations = out.iterations;
    out.unsettled_control_line = 0;
    // Each round settles at least one control for good unless some of them undo each other; the
    // rounds are bounded so that such controls cannot hold the load for long. A last round that
    // would still change links is undone, so that the statuses kept are those the state was solved with.
    for (int round = 0; pressure_controls && result == Error::None; ++round) {
        const std::vector<LinkSettings> before = settings_of(network.links);
        const Control* changed = apply_pressure_controls(network, out, supplied);
        if (changed == nullptr) break;
        if (round == kMaxControlRounds) {
            out.unsettled_control_line = changed->line;
            restore(network.links, before);
            break;
        }
        result = solve_supplied(network, system, out, supplied);
        iterations += out.iterations;
    }
    out.iterations = iterations;
    // Links held closed that still cut a demand off decide the load whatever the solve gave (with
    // nothing flowing, as behind a closed supply, the relative flow change may not settle).
    if (!cut_off_demands(network, supplied).empty()) return Error::Disconnected;
    // A state that fails the load anyway is not judged further: its link states may still be moving.
    // A settled state whose junctions do not balance is judged: a demand that no open link can
    // carry is the usual cause, and naming the cut-off junction says more than the imbalance.
    const bool kept = network.options.continue_unbalanced && out.unbalanced_node == kNone;
    if (result == Error::SolverFailed || !(result == Error::None || out.settled || kept)) return result;
    // A demand is supplied only over links open in the settled state: links held closed and links
    // that the solution closes (check valves, stopped pumps, valves) both count.
    if (!cut_off_demands(network, supplied_in_solution(network, out)).empty()) return Error::Disconnected;
    return result;
}

}  // namespace vuzizi
