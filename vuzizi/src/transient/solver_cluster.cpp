// Newton's method on a group of nodes joined by pumps and valves or carrying surge devices.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "group_elements.h"
#include "solver.h"

namespace vuzizi::transient {

namespace {

constexpr int kMaxNewtonIterations = 60;
constexpr double kNewtonTolerance = 1e-11;  // relative change of every unknown
constexpr int kMaxStatusChanges = 8;        // pump check-valve flips tried in one step
constexpr int kMaxBacktracks = 40;          // halvings that keep a gas volume positive
// A Newton iteration reuses the last factorised Jacobian (a chord step) once the steps are this
// small relative to the unknowns and while they shrink at least kChordContraction times each;
// otherwise it factorises the Jacobian afresh.
constexpr double kChordStart = 1e-4;
constexpr double kChordContraction = 0.25;

}  // namespace

bool Solver::solve_cluster(const Cluster& c, std::string& error) {
    if (cavities_) open_cluster_cavities(c);
    save_cluster_start(c);
    for (int round = 0; round <= kMaxStatusChanges; ++round) {
        // Each round solves the same step again: from the state at its start.
        if (round > 0) restore_cluster_start(c);
        if (!c.pipeless.empty() && !mark_resting_nodes(c, error)) return false;
        if (!newton(c, error)) return false;
        bool changed = false;
        for (int32_t l : c.links) {
            const std::size_t k = static_cast<std::size_t>(l);
            if (link_kind_[k] != LinkKind::Pump || !pump_running_[k]) continue;
            const double lift = node_head_[static_cast<std::size_t>(link_to_[k])] -
                                node_head_[static_cast<std::size_t>(link_from_[k])];
            if (link_open_[k] && link_flow_[k] < 0.0) {
                link_open_[k] = 0;  // the check valve shuts
                changed = true;
            } else if (!link_open_[k] && lift < pump_curve_[k]->at(0.0, pump_speed_[k]).head + pump_offset_[k]) {
                link_open_[k] = 1;  // the pump can lift the water again
                changed = true;
            }
        }
        if (cavities_ && switch_cluster_cavities(c)) changed = true;
        if (!changed) break;
    }
    // After the last round, keep the last status rather than cycle between two.
    if (cavities_) settle_cluster_cavities(c);
    write_lumped_pipes(c);
    return c.pipeless.empty() || check_starved_nodes(c, error);
}

// The flows, levels and volumes that a Newton solve of the group moves on from.
void Solver::save_cluster_start(const Cluster& c) {
    cluster_start_.clear();
    for (int32_t n : c.nodes) cluster_start_.push_back(node_head_[static_cast<std::size_t>(n)]);
    for (int32_t l : c.links) cluster_start_.push_back(link_flow_[static_cast<std::size_t>(l)]);
    for (int32_t s : c.storages) {
        cluster_start_.push_back(storage_flow_[static_cast<std::size_t>(s)]);
        cluster_start_.push_back(storage_level_[static_cast<std::size_t>(s)]);
    }
    for (int32_t v : c.vessels) {
        cluster_start_.push_back(vessel_flow_[static_cast<std::size_t>(v)]);
        cluster_start_.push_back(vessel_volume_[static_cast<std::size_t>(v)]);
    }
}

void Solver::restore_cluster_start(const Cluster& c) {
    auto it = cluster_start_.begin();
    for (int32_t n : c.nodes) node_head_[static_cast<std::size_t>(n)] = *it++;
    for (int32_t l : c.links) link_flow_[static_cast<std::size_t>(l)] = *it++;
    for (int32_t s : c.storages) {
        storage_flow_[static_cast<std::size_t>(s)] = *it++;
        storage_level_[static_cast<std::size_t>(s)] = *it++;
    }
    for (int32_t v : c.vessels) {
        vessel_flow_[static_cast<std::size_t>(v)] = *it++;
        vessel_volume_[static_cast<std::size_t>(v)] = *it++;
    }
}

// A lumped pipe's two points carry its end heads and its one flow.
void Solver::write_lumped_pipes(const Cluster& c) {
    for (int32_t l : c.links) {
        const std::size_t k = static_cast<std::size_t>(l);
        if (link_kind_[k] != LinkKind::LumpedPipe) continue;
        const std::size_t p = static_cast<std::size_t>(lumped_pipe_[k - static_cast<std::size_t>(lumped_begin_)]);
        const std::size_t first = static_cast<std::size_t>(pipe_first_[p]);
        H_next_[first] = node_head_[static_cast<std::size_t>(link_from_[k])];
        H_next_[first + 1] = node_head_[static_cast<std::size_t>(link_to_[k])];
        Q_next_[first] = Q_next_[first + 1] = link_flow_[k];
        if (cavities_) Qu_next_[first] = Qu_next_[first + 1] = link_flow_[k];
    }
}

const char* Solver::link_kind_name(std::size_t link) const {
    switch (link_kind_[link]) {
        case LinkKind::Pump: return "pump";
        case LinkKind::Valve: return "valve";
        case LinkKind::LumpedPipe: return "pipe";
    }
    return "link";
}

// Rows of the group's pumps, valves and lumped pipes, with their continuity at the end nodes.
void Solver::add_link_rows(const Cluster& c, const double* x, GroupSystem& g) const {
    const int nn = static_cast<int>(c.nodes.size());
    auto fixed = [&](int32_t node) { return node_role_[static_cast<std::size_t>(node)] == NodeRole::Fixed; };
    for (std::size_t j = 0; j < c.links.size(); ++j) {
        const std::size_t k = static_cast<std::size_t>(c.links[j]);
        const LinkRow l{nn + static_cast<int>(j), local_index_[static_cast<std::size_t>(link_from_[k])],
                        local_index_[static_cast<std::size_t>(link_to_[k])], fixed(link_from_[k]), fixed(link_to_[k])};
        add_link_continuity(g, l, x);
        if (!link_open_[k]) {
            add_shut_link(g, l, x);
            continue;
        }
        switch (link_kind_[k]) {
            case LinkKind::Pump: {
                const PumpCurve::Gain gain = pump_curve_[k]->at(x[l.row], pump_speed_[k]);
                add_pump(g, l, x, gain.head + pump_offset_[k], gain.slope);
                break;
            }
            case LinkKind::Valve: add_valve(g, l, x, valve_K_[k - static_cast<std::size_t>(pump_count_)]); break;
            case LinkKind::LumpedPipe: {
                const std::size_t m = k - static_cast<std::size_t>(lumped_begin_);
                add_lumped_pipe(g, l, x, {lumped_R_[m], lumped_inertia_[m] / dt_, link_flow_[k]});
                break;
            }
        }
    }
}

// Rows of the group's chambers, tanks, air vessels and relief valves.
void Solver::add_device_rows(const Cluster& c, const double* x, GroupSystem& g) const {
    const int nn = static_cast<int>(c.nodes.size());
    const int nl = static_cast<int>(c.links.size());
    const int ns = static_cast<int>(c.storages.size());
    const double half_dt = 0.5 * dt_;
    auto fixed = [&](int32_t node) { return node_role_[static_cast<std::size_t>(node)] == NodeRole::Fixed; };
    auto local = [&](int32_t node) { return local_index_[static_cast<std::size_t>(node)]; };
    for (int32_t r : c.reliefs) {
        const int32_t node = relief_node_[static_cast<std::size_t>(r)];
        if (fixed(node)) continue;
        double slope = 0.0;
        const double q = relief_discharge(r, x[local(node)], slope);
        add_relief_valve(g, local(node), q, slope);
    }
    for (int j = 0; j < ns; ++j) {
        const std::size_t k = static_cast<std::size_t>(c.storages[static_cast<std::size_t>(j)]);
        const DeviceRow d{nn + nl + j, local(storage_node_[k]), fixed(storage_node_[k])};
        add_storage(g, d, x, {storage_level_[k], half_dt / storage_area_[k], storage_flow_[k], storage_loss_[k]});
    }
    for (std::size_t j = 0; j < c.vessels.size(); ++j) {
        const std::size_t k = static_cast<std::size_t>(c.vessels[j]);
        const DeviceRow d{nn + nl + ns + static_cast<int>(j), local(vessel_node_[k]), fixed(vessel_node_[k])};
        const double q = x[d.row];
        const double volume = vessel_volume_[k] - half_dt * (q + vessel_flow_[k]);
        const double m = vessel_exponent_[k];
        const double gas = vessel_constant_[k] * std::pow(volume, -m);
        const double loss = q >= 0.0 ? vessel_loss_in_[k] : vessel_loss_out_[k];
        const double z = node_elevation_[static_cast<std::size_t>(vessel_node_[k])];
        add_air_vessel(g, d, x, {z, loss, gas, gas * m * half_dt / volume});
    }
}

bool Solver::newton(const Cluster& c, std::string& error) {
    const int nn = static_cast<int>(c.nodes.size());
    const int nl = static_cast<int>(c.links.size());
    const int ns = static_cast<int>(c.storages.size());
    const int nv = static_cast<int>(c.vessels.size());
    const int dim = nn + nl + ns + nv;
    GroupSystem& g = group_systems_[static_cast<std::size_t>(c.system)];
    double* x = unknowns_.data();
    const double half_dt = 0.5 * dt_;

    for (int i = 0; i < nn; ++i) x[i] = node_head_[static_cast<std::size_t>(c.nodes[static_cast<std::size_t>(i)])];
    for (int i = 0; i < nl; ++i) {
        const std::size_t k = static_cast<std::size_t>(c.links[static_cast<std::size_t>(i)]);
        x[nn + i] = link_open_[k] ? link_flow_[k] : 0.0;
    }
    for (int i = 0; i < ns; ++i) x[nn + nl + i] = storage_flow_[static_cast<std::size_t>(c.storages[static_cast<std::size_t>(i)])];
    for (int i = 0; i < nv; ++i) x[nn + nl + ns + i] = vessel_flow_[static_cast<std::size_t>(c.vessels[static_cast<std::size_t>(i)])];

    auto local = [&](int32_t node) { return local_index_[static_cast<std::size_t>(node)]; };
    auto fixed = [&](int32_t node) { return node_role_[static_cast<std::size_t>(node)] == NodeRole::Fixed; };
    auto vessel_volume_at = [&](int i, double q) {
        const std::size_t k = static_cast<std::size_t>(c.vessels[static_cast<std::size_t>(i)]);
        return vessel_volume_[k] - half_dt * (q + vessel_flow_[k]);
    };

    bool converged = false;
    bool refactor = true;
    double last_step = kNever;
    for (int iter = 0; iter < kMaxNewtonIterations && !converged; ++iter) {
        g.clear();
        // Continuity at the nodes, or their imposed head.
        for (int i = 0; i < nn; ++i) {
            const std::size_t n = static_cast<std::size_t>(c.nodes[static_cast<std::size_t>(i)]);
            if (fixed(static_cast<int32_t>(n))) {
                g.residual(i) = x[i] - fixed_head_[n];
                g.add(i, i, 1.0);
            } else if (under_orifice(n)) {
                double slope = 0.0;
                g.residual(i) = node_char_sum_[n] - node_invB_sum_[n] * x[i] - orifice_outflow(n, x[i], slope);
                g.add(i, i, -node_invB_sum_[n] - slope);
            } else {
                g.residual(i) = node_char_sum_[n] - node_invB_sum_[n] * x[i] - demand_now_[n];
                g.add(i, i, -node_invB_sum_[n]);
            }
            if (!node_lumped_storage_.empty() && !fixed(static_cast<int32_t>(n))) {
                // Lumped pipes' storage: what the node's head rise over the step fills.
                const double per_dt = node_lumped_storage_[n] / dt_;
                g.residual(i) -= per_dt * (x[i] - cluster_start_[static_cast<std::size_t>(i)]);
                g.add(i, i, -per_dt);
            }
        }
        add_link_rows(c, x, g);
        add_device_rows(c, x, g);
        if (cavities_) hold_cavity_rows(c, x, g);
        if (!c.pipeless.empty()) hold_resting_rows(c, x, g);
        bool solved = g.solve(newton_step_, refactor);
        if (!solved && !refactor) {
            refactor = true;
            solved = g.solve(newton_step_, true);
        }
        if (!solved) {
            std::ostringstream msg;
            msg << "node " << node_id_[static_cast<std::size_t>(c.nodes[0])]
                << ": the equations of its pumps, valves and devices are singular at t = "
                << static_cast<double>(steps_ + 1) * dt_ << " s";
            error = msg.str();
            return false;
        }
        const double* F = newton_step_.data();
        double largest_step = 0.0;
        double largest_relative = 0.0;
        for (int i = 0; i < dim; ++i) {
            largest_step = std::max(largest_step, std::fabs(F[i]));
            largest_relative = std::max(largest_relative, std::fabs(F[i]) / (1.0 + std::fabs(x[i])));
        }
        refactor = !(largest_relative <= kChordStart && largest_step <= kChordContraction * last_step);
        last_step = largest_step;
        // Keep every gas volume positive.
        double scale = 1.0;
        for (int b = 0; b < kMaxBacktracks; ++b) {
            bool ok = true;
            for (int j = 0; j < nv && ok; ++j) {
                const int row = nn + nl + ns + j;
                ok = vessel_volume_at(j, x[row] + scale * F[row]) > 0.0;
            }
            if (ok) break;
            scale *= 0.5;
        }
        // A step across a relief valve's set pressure stops at the edge of its linear band:
        // the discharge curve bends there and a full step would cycle across it.
        for (int32_t r : c.reliefs) {
            const std::size_t k = static_cast<std::size_t>(r);
            if (fixed(relief_node_[k])) continue;
            const int i = local(relief_node_[k]);
            const double opens = node_elevation_[static_cast<std::size_t>(relief_node_[k])] + relief_set_[k];
            const double from = x[i];
            const double to = from + scale * F[i];
            double target = to;
            if (from <= opens && to > opens + kReliefLinearBand) target = opens + kReliefLinearBand;
            if (from >= opens + kReliefLinearBand && to < opens) target = opens;
            if (target != to) scale *= (target - from) / (to - from);
        }
        converged = true;
        for (int i = 0; i < dim; ++i) {
            double dx = scale * F[i];
            if (i < nn) dx = orifice_head_step(static_cast<std::size_t>(c.nodes[static_cast<std::size_t>(i)]), x[i], dx);
            x[i] += dx;
            if (!(std::fabs(dx) <= kNewtonTolerance * (1.0 + std::fabs(x[i])))) converged = false;
        }
    }
    if (!converged) {
        std::ostringstream msg;
        msg << "node " << node_id_[static_cast<std::size_t>(c.nodes[0])]
            << ": Newton's method did not converge on its pumps, valves and devices at t = "
            << static_cast<double>(steps_ + 1) * dt_ << " s";
        error = msg.str();
        return false;
    }

    for (int i = 0; i < nn; ++i) node_head_[static_cast<std::size_t>(c.nodes[static_cast<std::size_t>(i)])] = x[i];
    for (int i = 0; i < nl; ++i) link_flow_[static_cast<std::size_t>(c.links[static_cast<std::size_t>(i)])] = x[nn + i];
    for (int i = 0; i < ns; ++i) {
        const std::size_t k = static_cast<std::size_t>(c.storages[static_cast<std::size_t>(i)]);
        const double q = x[nn + nl + i];
        storage_level_[k] += half_dt / storage_area_[k] * (q + storage_flow_[k]);
        storage_flow_[k] = q;
    }
    for (int i = 0; i < nv; ++i) {
        const std::size_t k = static_cast<std::size_t>(c.vessels[static_cast<std::size_t>(i)]);
        const double q = x[nn + nl + ns + i];
        vessel_volume_[k] = vessel_volume_at(i, q);
        vessel_flow_[k] = q;
    }
    for (int32_t r : c.reliefs) {
        double slope = 0.0;
        relief_flow_[static_cast<std::size_t>(r)] =
            relief_discharge(r, node_head_[static_cast<std::size_t>(relief_node_[static_cast<std::size_t>(r)])], slope);
    }
    return true;
}

}  // namespace vuzizi::transient
