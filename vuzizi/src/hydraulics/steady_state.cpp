// Global gradient iteration: linearise every link, solve for the junction heads, update the
// flows, then revise the states of valves, check valves and pumps until nothing moves.
#include "steady_state.h"

#include <algorithm>
#include <cmath>

#include "solver_parts.h"

namespace vuzizi {
namespace {

constexpr double kInitialVelocity = kFoot;   // m/s, first guess of the flow in pipes and valves
constexpr double kDesignHeadRatio = 0.75;    // first guess of a pump: where H is 3/4 of shutoff
constexpr double kInitialPumpFlow = 1.0e-3;  // m3/s, first guess of a pump with nothing better
constexpr double kPowerPumpLeastStep = 0.5;  // a constant-power pump's flow falls at most to this fraction

double initial_flow(const Link& link, const PumpModel& pump) {
    if (link.kind != LinkKind::Pump) return kInitialVelocity * kPi * link.diameter * link.diameter / 4.0;
    if (pump.kind == PumpModel::Kind::PowerLaw && pump.b > 0.0)
        return std::pow((1.0 - kDesignHeadRatio) * pump.a / pump.b, 1.0 / pump.c);
    if (pump.kind == PumpModel::Kind::Table) return pump.table[pump.table.size() / 2].x;
    return kInitialPumpFlow;
}

// A constant-power pump has no curve to start from: it starts with the largest first guess of the
// pipes at its ends, the flow it feeds. Started far below its flow, the Newton steps on its head
// P / (w q) only about double the flow from one iteration to the next.
void start_power_pumps(const Network& network, const LinkModels& models, std::vector<double>& flow) {
    std::vector<double> largest_pipe_flow(network.nodes.size(), 0.0);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& l = network.links[k];
        if (l.kind != LinkKind::Pipe) continue;
        largest_pipe_flow[l.from] = std::max(largest_pipe_flow[l.from], flow[k]);
        largest_pipe_flow[l.to] = std::max(largest_pipe_flow[l.to], flow[k]);
    }
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const Link& l = network.links[k];
        if (l.kind != LinkKind::Pump || models.pump[k].kind != PumpModel::Kind::ConstantPower || flow[k] == 0.0)
            continue;
        const double fed = std::max(largest_pipe_flow[l.from], largest_pipe_flow[l.to]);
        if (fed > 0.0) flow[k] = fed;
    }
}

// A Newton step on the head P / (w q) of a constant-power pump overshoots from above, to a flow
// near zero or reversed, where the head is out of all proportion and the flow barely moves again.
// Such a step is cut to a fraction of the last flow; true when one was cut, so that the iteration
// goes on: the flows then do not balance.
bool hold_power_pumps(const Network& network, const LinkModels& models, const std::vector<LinkState>& state,
                      const std::vector<double>& flow, std::vector<double>& next) {
    bool held = false;
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        if (network.links[k].kind != LinkKind::Pump || models.pump[k].kind != PumpModel::Kind::ConstantPower ||
            state[k] == LinkState::Closed)
            continue;
        const double least = kPowerPumpLeastStep * flow[k];
        if (next[k] < least) {
            next[k] = least;
            held = true;
        }
    }
    return held;
}

LinkState initial_state(const Link& link, double speed) {
    if (link.status == LinkStatus::Closed) return LinkState::Closed;
    if (link.kind == LinkKind::Pump && speed <= 0.0) return LinkState::Closed;
    if (link.kind == LinkKind::Valve && link.status == LinkStatus::Active) return LinkState::Active;
    return LinkState::Open;
}

bool controls_pressure(const Link& link, LinkState state) {
    return link.kind == LinkKind::Valve && state == LinkState::Active &&
           (link.valve_type == ValveType::PRV || link.valve_type == ValveType::PSV);
}

// Inflow minus outflow minus demand at every node, for the given flows.
void imbalance(const Network& network, const std::vector<double>& flow, const std::vector<double>& demand,
               std::vector<double>& out) {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = -demand[i];
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        out[network.links[k].from] -= flow[k];
        out[network.links[k].to] += flow[k];
    }
}

// The junction whose flows balance worst, if any fails kContinuityFloor's rule: sets
// `unbalanced_node` and `largest_imbalance`, and returns whether every junction balances. Links of
// resting junctions count as carrying nothing (their flows are set to none once solved), and the
// resting junctions themselves are not judged.
bool junctions_balance(const Network& network, const LinkModels& models, const std::vector<char>* supplied,
                       const std::vector<double>& demand, SteadyState& out) {
    const std::size_t n = network.nodes.size();
    std::vector<double> balance(n);
    std::vector<double> met(n);
    for (std::size_t i = 0; i < n; ++i) {
        balance[i] = -demand[i];
        met[i] = std::fabs(demand[i]);
    }
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        if (models.isolated[k]) continue;
        const Link& l = network.links[k];
        balance[l.from] -= out.flow[k];
        balance[l.to] += out.flow[k];
        met[l.from] += std::fabs(out.flow[k]);
        met[l.to] += std::fabs(out.flow[k]);
    }
    out.unbalanced_node = kNone;
    out.largest_imbalance = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (network.is_fixed_head(static_cast<int32_t>(i)) || (supplied != nullptr && !(*supplied)[i])) continue;
        const double excess = std::fabs(balance[i]) - (network.options.accuracy * met[i] + kContinuityFloor);
        if (excess > 0.0 && std::fabs(balance[i]) > out.largest_imbalance) {
            out.unbalanced_node = static_cast<int32_t>(i);
            out.largest_imbalance = std::fabs(balance[i]);
        }
    }
    return out.unbalanced_node == kNone;
}

}  // namespace

Error solve_steady_state(const Network& network, GradientSystem& system, SteadyState& out,
                         const std::vector<char>* supplied) {
    const std::size_t n = network.nodes.size();
    const std::size_t m = network.links.size();
    LinkModels models = prepare_link_models(network);
    if (supplied != nullptr)
        for (std::size_t k = 0; k < m; ++k)
            models.isolated[k] = !(*supplied)[network.links[k].from] || !(*supplied)[network.links[k].to];

    std::vector<double> demand(n, 0.0);
    out.head.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const auto node = static_cast<int32_t>(i);
        if (network.is_fixed_head(node))
            out.head[i] = fixed_head(network, node, 0.0);
        else {
            if (supplied == nullptr || (*supplied)[i]) demand[i] = junction_demand(network, node, 0.0);
            out.head[i] = network.nodes[i].elevation;
        }
    }
    out.flow.resize(m);
    out.state.resize(m);
    for (std::size_t k = 0; k < m; ++k) {
        out.flow[k] = initial_flow(network.links[k], models.pump[k]);
        out.state[k] = models.isolated[k] ? LinkState::Closed : initial_state(network.links[k], models.speed[k]);
        if (out.state[k] == LinkState::Closed) out.flow[k] = 0.0;
    }
    start_power_pumps(network, models, out.flow);

    std::vector<LinkCoefficient> coef(m);
    std::vector<double> next(m);
    std::vector<double> balance(n);
    std::size_t pressure_valves = 0;
    out.converged = false;
    out.iterations = 0;
    out.settled = false;
    for (int trial = 1; trial <= network.options.trials; ++trial) {
        out.iterations = trial;
        imbalance(network, out.flow, demand, balance);
        system.clear();
        pressure_valves = 0;
        for (std::size_t k = 0; k < m; ++k) {
            const Link& l = network.links[k];
            const auto link = static_cast<int32_t>(k);
            const double q = out.flow[k];
            if (controls_pressure(l, out.state[k])) {
                // The controlled node is held at the setting; the flow follows from its balance.
                const bool prv = l.valve_type == ValveType::PRV;
                const int32_t held = prv ? l.to : l.from;
                coef[k] = {0.0, prv ? balance[l.to] : -balance[l.from]};
                system.add_diagonal(held, kPinConductance);
                system.add_rhs(held, kPinConductance * models.control_head[k]);
                ++pressure_valves;
            } else if (l.kind == LinkKind::Valve && l.valve_type == ValveType::FCV && out.state[k] == LinkState::Active) {
                coef[k] = {0.0, q - l.setting};
            } else {
                coef[k] = plain_coefficient(network, models, link, out.state[k], q);
            }
            if (coef[k].p > 0.0) system.add_conductance(link, coef[k].p, out.head);
            const double known = q - coef[k].y;
            system.add_rhs(l.from, -known);
            system.add_rhs(l.to, known);
        }
        for (std::size_t i = 0; i < n; ++i) system.add_rhs(static_cast<int32_t>(i), -demand[i]);
        if (!system.solve(out.head)) return Error::SolverFailed;

        for (std::size_t k = 0; k < m; ++k) {
            const Link& l = network.links[k];
            next[k] = out.flow[k] - coef[k].y + coef[k].p * (out.head[l.from] - out.head[l.to]);
        }
        // Flows of pressure-holding valves close the balance of the node they hold; a chain of
        // such valves settles in as many passes as it has valves.
        for (std::size_t pass = 0; pass < pressure_valves; ++pass) {
            imbalance(network, next, demand, balance);
            for (std::size_t k = 0; k < m; ++k) {
                const Link& l = network.links[k];
                if (!controls_pressure(l, out.state[k])) continue;
                const double delta = l.valve_type == ValveType::PRV ? -balance[l.to] : balance[l.from];
                next[k] += delta;
                balance[l.from] -= delta;
                balance[l.to] += delta;
            }
        }

        const bool pumps_held = hold_power_pumps(network, models, out.state, out.flow, next);

        double change = 0.0;
        double total = 0.0;
        for (std::size_t k = 0; k < m; ++k) {
            change += std::fabs(next[k] - out.flow[k]);
            total += std::fabs(next[k]);
        }
        out.flow.swap(next);
        out.relative_change = total > 0.0 ? change / total : change;
        if (!std::isfinite(out.relative_change)) return Error::SolverFailed;

        IterationRecord record{out.relative_change, 0, 0};
        record.valve_changes = update_valve_states(network, models, out.head, out.flow, out.state);
        const bool within_accuracy = out.relative_change <= network.options.accuracy;
        if (within_accuracy) record.link_changes = update_link_states(network, models, out.head, out.flow, out.state);
        out.history.push_back(record);
        // Settled flows that do not balance yet go on: the flow into a dead end behind a link of
        // almost no conductance falls by about half each trial.
        out.settled = within_accuracy && !pumps_held && record.valve_changes == 0 && record.link_changes == 0;
        if (out.settled && junctions_balance(network, models, supplied, demand, out)) {
            out.converged = true;
            break;
        }
    }
    if (!out.converged) junctions_balance(network, models, supplied, demand, out);

    // Links of resting junctions keep the state they start the run in; they carry no flow.
    for (std::size_t k = 0; k < m; ++k)
        if (models.isolated[k]) out.state[k] = initial_state(network.links[k], models.speed[k]);

    out.demand.assign(n, 0.0);
    for (std::size_t k = 0; k < m; ++k) {
        out.demand[network.links[k].from] -= out.flow[k];
        out.demand[network.links[k].to] += out.flow[k];
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!network.is_fixed_head(static_cast<int32_t>(i))) out.demand[i] = demand[i];
    return out.converged ? Error::None : Error::NotConverged;
}

}  // namespace vuzizi
