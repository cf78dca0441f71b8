// The range of heads a run can physically reach, and the check of every new state against it.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "plausible_pass.h"
#include "solver.h"

namespace vuzizi::transient {

namespace {

// Rises and falls of several surges may superpose (reflections, collapses of vapour cavities):
// the range allows this many times the largest Joukowsky change of any pipe.
constexpr double kSurgeAllowance = 4.0;
// Beyond all the above, so that a run near the range's ends is never failed by it.
constexpr double kHeadRangeMargin = 100.0;  // m
// No head beyond this either way, imposed or not: about 10 GPa of water, far past the bursting
// pressure of any pipe and past where a constant wave speed describes water at all.
constexpr double kPhysicalHeadLimit = 1e6;  // m

struct Extent {
    double low = kNever, high = -kNever;
    void add(double v) {
        if (!std::isfinite(v)) return;
        low = std::min(low, v);
        high = std::max(high, v);
    }
};

}  // namespace

// From the model: its fixed and steady heads, elevations and imposed heads span [low, high];
// pumps can add their shutoff heads above it (and below it when they pull); a change of the
// largest flow of the network in any pipe moves a head by at most its Joukowsky head a Q / (g A);
// an imposed demand can also pull a head down by what it loses to friction on every pipe. The
// range never passes the physical limit, whatever is imposed.
void Solver::build_head_range(const TransientModel& model) {
    Extent heads;
    double largest_flow = 0.0, imposed_flow = 0.0;
    for (const Node& node : model.nodes) {
        heads.add(node.head);
        heads.add(node.elevation);
        largest_flow = std::max(largest_flow, std::fabs(node.demand));
        if (node.series.empty()) continue;
        for (double v : node.series.values) {
            switch (node.imposed) {
                case Imposed::Head: heads.add(v); break;
                case Imposed::Pressure: heads.add(node.elevation + v); break;
                case Imposed::Demand: imposed_flow = std::max(imposed_flow, std::fabs(v)); break;
                case Imposed::Nothing: break;
            }
        }
    }
    largest_flow = std::max(largest_flow, imposed_flow);
    double lifts = 0.0;
    for (const Pump& p : model.pumps) {
        const double lift = model.nodes[static_cast<std::size_t>(p.to)].head - model.nodes[static_cast<std::size_t>(p.from)].head;
        lifts += std::max({0.0, p.curve.at(0.0, 1.0).head, lift});
        largest_flow = std::max(largest_flow, std::fabs(p.flow));
    }
    for (const Valve& v : model.valves) largest_flow = std::max(largest_flow, std::fabs(v.flow));
    for (const Pipe& p : model.pipes) largest_flow = std::max(largest_flow, std::fabs(p.flow));

    double joukowsky = 0.0, friction = 0.0;
    for (std::size_t p = 0; p < pipe_first_.size(); ++p) {
        joukowsky = std::max(joukowsky, pipe_B_[p] * largest_flow);
        friction += pipe_R_[p] * pipe_reaches_[p] * imposed_flow * imposed_flow;
    }
    const double surge = kSurgeAllowance * joukowsky + kHeadRangeMargin;
    head_floor_ = heads.low - lifts - friction - surge;
    head_ceiling_ = heads.high + lifts + surge;
    head_floor_ = std::clamp(head_floor_, -kPhysicalHeadLimit, kPhysicalHeadLimit);
    head_ceiling_ = std::clamp(head_ceiling_, -kPhysicalHeadLimit, kPhysicalHeadLimit);
}

// Whether the new heads of points [first, end) are in range and their flows finite (the points of all
// pipes are contiguous); nodes_plausible likewise for the nodes and links.
bool Solver::points_plausible(std::size_t first, std::size_t end) const {
    return heads_and_flows_plausible(H_next_.data() + first, Q_next_.data() + first, end - first, head_floor_,
                                     head_ceiling_) &&
           (!cavities_ || heads_and_flows_plausible(nullptr, Qu_next_.data() + first, end - first, 0.0, 0.0));
}

bool Solver::nodes_plausible() const {
    return heads_and_flows_plausible(node_head_.data(), nullptr, node_head_.size(), head_floor_, head_ceiling_) &&
           heads_and_flows_plausible(nullptr, link_flow_.data(), link_flow_.size(), 0.0, 0.0);
}

// Heads fixed at a node (reservoirs, imposed heads) stay finite while the flows beside them may
// not: every head and flow of the new state is checked, not the node heads alone. A comparison
// with the range fails for a head that is not a number as well.
bool Solver::state_plausible(double t, bool points_ok, std::string& error) const {
    const double floor = head_floor_, ceiling = head_ceiling_;
    if (points_ok && nodes_plausible()) return true;
    auto in_range = [floor, ceiling](double h) { return h >= floor && h <= ceiling; };
    std::ostringstream msg;
    auto out_of_range = [&](double h) {
        msg << "head " << h << " m is outside the physically possible range (" << floor << " to " << ceiling
            << " m) at t = " << t << " s";
    };
    for (std::size_t i = 0; i < node_head_.size(); ++i) {
        const double h = node_head_[i];
        if (in_range(h)) continue;
        msg << "node " << node_id_[i] << ": ";
        if (std::isfinite(h))
            out_of_range(h);
        else
            msg << "head is not finite at t = " << t << " s";
        error = msg.str();
        return false;
    }
    for (std::size_t p = 0; p < pipe_first_.size(); ++p) {
        const std::size_t first = static_cast<std::size_t>(pipe_first_[p]);
        const std::size_t last = first + static_cast<std::size_t>(pipe_reaches_[p]);
        for (std::size_t i = first; i <= last; ++i) {
            const bool upstream_finite = !cavities_ || std::isfinite(Qu_next_[i]);
            if (in_range(H_next_[i]) && std::isfinite(Q_next_[i]) && upstream_finite) continue;
            msg << "node " << node_id_[static_cast<std::size_t>(i - first <= last - i ? pipe_from_[p] : pipe_to_[p])]
                << ": ";
            const std::string pipe_name = "the pipe from node " + node_id_[static_cast<std::size_t>(pipe_from_[p])] +
                                          " to node " + node_id_[static_cast<std::size_t>(pipe_to_[p])];
            if (std::isfinite(H_next_[i]) && !in_range(H_next_[i])) {
                msg << "in " << pipe_name << ", ";
                out_of_range(H_next_[i]);
            } else {
                msg << "head or flow of " << pipe_name << " is not finite at t = " << t << " s";
            }
            error = msg.str();
            return false;
        }
    }
    for (std::size_t k = 0; k < link_flow_.size(); ++k) {
        if (std::isfinite(link_flow_[k])) continue;
        msg << "node " << node_id_[static_cast<std::size_t>(link_from_[k])] << ": flow of "
            << link_kind_name(k) << " " << link_id_[k] << " is not finite at t = " << t
            << " s";
        error = msg.str();
        return false;
    }
    return true;
}

}  // namespace vuzizi::transient
