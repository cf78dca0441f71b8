// Column separation by discrete vapour cavities. A section (interior point or node) whose head
// would fall below vapour head is held there; the flows on its two sides then differ and the
// cavity volume follows their difference, integrated backwards in time (weighting factor 1):
//     V(t + dt) = V(t) + dt * (outflow - inflow)(t + dt).
// A cavity whose volume would not stay positive collapses in that step: the section takes the
// head at which the remaining volume closes exactly, and is a plain section again afterwards.
#include <algorithm>
#include <cmath>

#include "characteristics.h"
#include "solver.h"

namespace vuzizi::transient {

namespace {

bool can_cavitate(double vapour_head) { return vapour_head > -kNever; }

// The C+ and C- characteristics reaching point i from its neighbours, as in the plain update.
struct Characteristics {
    Characteristic plus, minus;
};

inline Characteristics characteristics_at(std::size_t i, const double* H, const double* q_before,
                                          const double* q_after, double B, double R) {
    return {plus_characteristic(H[i - 1], q_before[i - 1], B, R), minus_characteristic(H[i + 1], q_after[i + 1], B, R)};
}

// Elevation of a pipe at its end on `node`: a reservoir has none of its own (its elevation is its
// water level), so the pipe lies there at the height of its other end, or of the lower level when
// both ends are reservoirs.
double pipe_end_elevation(const TransientModel& m, int32_t node, int32_t other) {
    const Node& here = m.nodes[static_cast<std::size_t>(node)];
    const Node& there = m.nodes[static_cast<std::size_t>(other)];
    if (here.kind != NodeKind::Reservoir) return here.elevation;
    if (there.kind != NodeKind::Reservoir) return there.elevation;
    return std::min(here.elevation, there.elevation);
}

}  // namespace

void Solver::build_cavities(const TransientModel& model) {
    cavities_ = true;
    const double gauge_vapour_head = model.vapour_head - kAtmosphericHead;
    const std::size_t n = node_head_.size();
    node_vapour_head_.assign(n, -kNever);
    for (std::size_t i = 0; i < n; ++i) {
        const bool solved = node_role_[i] == NodeRole::Plain || node_role_[i] == NodeRole::InCluster;
        if (model.nodes[i].kind == NodeKind::Junction && solved)
            node_vapour_head_[i] = node_elevation_[i] + gauge_vapour_head;
    }
    node_cavity_.assign(n, 0.0);
    node_cavity_growth_.assign(n, 0.0);
    node_cavity_open_.assign(n, 0);

    // Interior points lie on a straight pipe between its end elevations; pipe ends belong to nodes.
    const std::size_t pipes = pipe_first_.size();
    pipe_vapour_head_.resize(pipes);
    pipe_vapour_slope_.resize(pipes);
    pipe_separated_.assign(pipes, 0);
    for (std::size_t p = 0; p < pipes; ++p) {
        const double z_from = pipe_end_elevation(model, pipe_from_[p], pipe_to_[p]);
        const double z_to = pipe_end_elevation(model, pipe_to_[p], pipe_from_[p]);
        pipe_vapour_head_[p] = z_from + gauge_vapour_head;
        pipe_vapour_slope_[p] = (z_to - z_from) / pipe_reaches_[p];
    }
    point_cavity_.assign(H_.size(), 0.0);
    Qu_ = Q_;
    Qu_next_ = Q_next_;
}

// A pipe without cavities takes the plain update, checked against vapour head as it goes, and keeps
// one flow per point; a pipe that has cavities, or in which the check fails, takes the update
// section by section with the flows of both sides.
void Solver::advance_interior_with_cavities() {
    const double* H = H_.data();
    const double* Qd = Q_.data();
    const double* Qu = Qu_.data();
    double* Hn = H_next_.data();
    double* Qdn = Q_next_.data();
    double* Qun = Qu_next_.data();
    double* V = point_cavity_.data();
    const double dt = dt_;
    const std::size_t pipes = pipe_first_.size();
    for (std::size_t p = 0; p < pipes; ++p) {
        const double B = pipe_B_[p];
        const double R = pipe_R_[p];
        const double vapour_start = pipe_vapour_head_[p];
        const double vapour_slope = pipe_vapour_slope_[p];
        const std::size_t first = static_cast<std::size_t>(pipe_first_[p]);
        const std::size_t last = first + static_cast<std::size_t>(pipe_reaches_[p]);
        if (!pipe_separated_[p]) {
            // Against the pipe's highest vapour head: a cheap test, made exact by the update below.
            double lowest = kNever;
            for (std::size_t i = first + 1; i < last; ++i) {
                const auto [cp, cm] = characteristics_at(i, H, Qd, Qd, B, R);
                const PointState s = meet(cp, cm);
                Hn[i] = s.head;
                Qdn[i] = s.flow;
                lowest = std::min(lowest, s.head);
            }
            const double highest_vapour = std::max(vapour_start, vapour_start + vapour_slope * pipe_reaches_[p]);
            if (lowest >= highest_vapour) {
                // One flow per point: only the start node's characteristic reads the upstream side.
                if (last > first + 1) Qun[first + 1] = Qdn[first + 1];
                continue;
            }
        }
        // The upstream sides were written only if the pipe had cavities in the last step, and never
        // at the end point, which has one flow.
        const double* Qb = Qd;
        if (pipe_separated_[p]) {
            Qu_[last] = Qd[last];
            Qb = Qu;
        }
        bool separated = false;
        for (std::size_t i = first + 1; i < last; ++i) {
            const auto [cp, cm] = characteristics_at(i, H, Qd, Qb, B, R);
            const PointState s = meet(cp, cm);
            const double vapour = vapour_start + static_cast<double>(i - first) * vapour_slope;
            if (V[i] == 0.0 && s.head >= vapour) {
                Hn[i] = s.head;
                Qdn[i] = Qun[i] = s.flow;
                continue;
            }
            // The head at which the cavity would close in this step; below vapour head it stays open.
            // A head below h by dh changes the volume by dt dh (1/Bp + 1/Bm).
            separated = true;
            const double inv_bp = 1.0 / cp.impedance, inv_bm = 1.0 / cm.impedance;
            double head = s.head - V[i] / (dt * (inv_bp + inv_bm));
            const bool open = !(head >= vapour);
            if (open) head = vapour;
            const double qu = (cp.value - head) * inv_bp;
            const double qd = (head - cm.value) * inv_bm;
            Hn[i] = head;
            Qun[i] = qu;
            Qdn[i] = qd;
            V[i] = open ? std::max(0.0, V[i] + dt * (qd - qu)) : 0.0;
        }
        pipe_separated_[p] = separated ? 1 : 0;
    }
}

void Solver::solve_plain_nodes_with_cavities() {
    const double inv_dt = 1.0 / dt_;
    for (int32_t n : plain_nodes_) {
        const std::size_t i = static_cast<std::size_t>(n);
        const double volume = node_cavity_[i];
        const double vapour = node_vapour_head_[i];
        const double h = (node_char_sum_[i] - demand_now_[i]) / node_invB_sum_[i];
        if (volume == 0.0 && h >= vapour) {
            node_head_[i] = h;
            node_cavity_growth_[i] = 0.0;
            continue;
        }
        const double closing = (node_char_sum_[i] - demand_now_[i] - volume * inv_dt) / node_invB_sum_[i];
        if (closing >= vapour) {
            node_head_[i] = closing;
            node_cavity_growth_[i] = -volume * inv_dt;
            node_cavity_[i] = 0.0;
            continue;
        }
        const double inflow = node_char_sum_[i] - node_invB_sum_[i] * vapour - demand_now_[i];
        node_head_[i] = vapour;
        node_cavity_growth_[i] = -inflow;
        node_cavity_[i] = std::max(0.0, volume - dt_ * inflow);
    }
}

void Solver::open_cluster_cavities(const Cluster& c) {
    for (int32_t n : c.nodes) {
        const std::size_t i = static_cast<std::size_t>(n);
        node_cavity_open_[i] = node_cavity_[i] > 0.0 ? 1 : 0;
    }
}

// An open cavity holds its node at vapour head; a closing one takes its remaining volume as inflow.
void Solver::hold_cavity_rows(const Cluster& c, const double* x, GroupSystem& g) const {
    for (std::size_t k = 0; k < c.nodes.size(); ++k) {
        const std::size_t n = static_cast<std::size_t>(c.nodes[k]);
        if (!can_cavitate(node_vapour_head_[n])) continue;
        const int i = static_cast<int>(k);
        if (node_cavity_open_[n]) {
            g.hold(i, x[i] - node_vapour_head_[n]);
        } else if (node_cavity_[n] > 0.0) {
            g.residual(i) -= node_cavity_[n] / dt_;
        }
    }
}

// Opens the cavities of nodes that fell below vapour head and closes those that would empty;
// true when any changed, so that the group is solved again.
bool Solver::switch_cluster_cavities(const Cluster& c) {
    bool changed = false;
    for (int32_t node : c.nodes) {
        const std::size_t n = static_cast<std::size_t>(node);
        if (!can_cavitate(node_vapour_head_[n])) continue;
        if (node_cavity_open_[n]) {
            if (!(node_cavity_[n] - dt_ * cluster_node_inflow(c, node) > 0.0)) {
                node_cavity_open_[n] = 0;
                changed = true;
            }
        } else if (node_head_[n] < node_vapour_head_[n]) {
            node_cavity_open_[n] = 1;
            changed = true;
        }
    }
    return changed;
}

void Solver::settle_cluster_cavities(const Cluster& c) {
    for (int32_t node : c.nodes) {
        const std::size_t n = static_cast<std::size_t>(node);
        if (!can_cavitate(node_vapour_head_[n])) continue;
        const double volume = node_cavity_[n];
        if (node_cavity_open_[n]) {
            node_cavity_growth_[n] = -cluster_node_inflow(c, node);
            node_cavity_[n] = std::max(0.0, volume + dt_ * node_cavity_growth_[n]);
        } else {
            node_cavity_growth_[n] = -volume / dt_;
            node_cavity_[n] = 0.0;
        }
    }
}

// What flows into a node of the group from its pipes and links, less its demand and devices.
double Solver::cluster_node_inflow(const Cluster& c, int32_t node) const {
    const std::size_t n = static_cast<std::size_t>(node);
    double q = node_char_sum_[n] - node_invB_sum_[n] * node_head_[n] - junction_outflow(n, node_head_[n]);
    for (int32_t l : c.links) {
        const std::size_t k = static_cast<std::size_t>(l);
        if (link_from_[k] == node) q -= link_flow_[k];
        if (link_to_[k] == node) q += link_flow_[k];
    }
    for (int32_t s : c.storages)
        if (storage_node_[static_cast<std::size_t>(s)] == node) q -= storage_flow_[static_cast<std::size_t>(s)];
    for (int32_t v : c.vessels)
        if (vessel_node_[static_cast<std::size_t>(v)] == node) q -= vessel_flow_[static_cast<std::size_t>(v)];
    for (int32_t r : c.reliefs)
        if (relief_node_[static_cast<std::size_t>(r)] == node) q -= relief_flow_[static_cast<std::size_t>(r)];
    // What the storage of lumped pipes takes over the step (their heads at its start come first).
    if (!node_lumped_storage_.empty())
        q -= node_lumped_storage_[n] / dt_ *
             (node_head_[n] - cluster_start_[static_cast<std::size_t>(local_index_[n])]);
    return q;
}

// Pipe ends carry one flow (the node's cavity is the node's own). The upstream side of an end point
// is read only where it is a start node's neighbour: on a pipe of one reach.
void Solver::match_end_flows() {
    for (std::size_t p = 0; p < pipe_first_.size(); ++p) {
        if (pipe_reaches_[p] != 1) continue;
        const std::size_t last = static_cast<std::size_t>(pipe_first_[p] + 1);
        Qu_next_[last] = Q_next_[last];
    }
}

}  // namespace vuzizi::transient
