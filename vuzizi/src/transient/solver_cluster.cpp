// Newton's method on a group of nodes joined by pumps and valves or carrying surge devices.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "dense_solve.h"
#include "solver.h"

namespace vuzizi::transient {

namespace {

constexpr int kMaxNewtonIterations = 60;
constexpr double kNewtonTolerance = 1e-11;  // relative change of every unknown
constexpr int kMaxStatusChanges = 8;        // pump check-valve flips tried in one step
constexpr int kMaxBacktracks = 40;          // halvings that keep a gas volume positive

}  // namespace

bool Solver::solve_cluster(const Cluster& c, std::string& error) {
    if (cavities_) open_cluster_cavities(c);
    for (int round = 0; round <= kMaxStatusChanges; ++round) {
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
    return c.pipeless.empty() || check_starved_nodes(c, error);
}

bool Solver::newton(const Cluster& c, std::string& error) {
    const int nn = static_cast<int>(c.nodes.size());
    const int nl = static_cast<int>(c.links.size());
    const int ns = static_cast<int>(c.storages.size());
    const int nv = static_cast<int>(c.vessels.size());
    const int dim = nn + nl + ns + nv;
    double* x = unknowns_.data();
    double* J = jacobian_.data();
    double* F = residual_.data();
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
    for (int iter = 0; iter < kMaxNewtonIterations && !converged; ++iter) {
        std::fill(J, J + dim * dim, 0.0);
        // Continuity at the nodes, or their imposed head.
        for (int i = 0; i < nn; ++i) {
            const std::size_t n = static_cast<std::size_t>(c.nodes[static_cast<std::size_t>(i)]);
            if (fixed(static_cast<int32_t>(n))) {
                F[i] = x[i] - fixed_head_[n];
                J[i * dim + i] = 1.0;
            } else if (under_orifice(n)) {
                double slope = 0.0;
                F[i] = node_char_sum_[n] - node_invB_sum_[n] * x[i] - orifice_outflow(n, x[i], slope);
                J[i * dim + i] = -node_invB_sum_[n] - slope;
            } else {
                F[i] = node_char_sum_[n] - node_invB_sum_[n] * x[i] - demand_now_[n];
                J[i * dim + i] = -node_invB_sum_[n];
            }
        }
        for (int32_t r : c.reliefs) {
            const int i = local(relief_node_[static_cast<std::size_t>(r)]);
            if (fixed(relief_node_[static_cast<std::size_t>(r)])) continue;
            double slope = 0.0;
            F[i] -= relief_discharge(r, x[i], slope);
            J[i * dim + i] -= slope;
        }
        // Pumps and valves.
        for (int j = 0; j < nl; ++j) {
            const std::size_t k = static_cast<std::size_t>(c.links[static_cast<std::size_t>(j)]);
            const int row = nn + j;
            const int iu = local(link_from_[k]);
            const int id = local(link_to_[k]);
            const double q = x[row];
            if (!fixed(link_from_[k])) {
                F[iu] -= q;
                J[iu * dim + row] -= 1.0;
            }
            if (!fixed(link_to_[k])) {
                F[id] += q;
                J[id * dim + row] += 1.0;
            }
            if (!link_open_[k]) {
                F[row] = q;
                J[row * dim + row] = 1.0;
            } else if (link_kind_[k] == LinkKind::Pump) {
                const PumpCurve::Gain g = pump_curve_[k]->at(q, pump_speed_[k]);
                F[row] = x[id] - x[iu] - g.head - pump_offset_[k];
                J[row * dim + id] += 1.0;
                J[row * dim + iu] -= 1.0;
                J[row * dim + row] = -g.slope;
            } else {
                const double K = valve_K_[k - static_cast<std::size_t>(pump_count_)];
                F[row] = x[iu] - x[id] - K * q * std::fabs(q);
                J[row * dim + iu] += 1.0;
                J[row * dim + id] -= 1.0;
                J[row * dim + row] = -2.0 * K * std::fabs(q);
            }
        }
        // Open chambers and tanks: H = level + loss, the level moving with the inflow.
        for (int j = 0; j < ns; ++j) {
            const std::size_t k = static_cast<std::size_t>(c.storages[static_cast<std::size_t>(j)]);
            const int row = nn + nl + j;
            const int i = local(storage_node_[k]);
            const double q = x[row];
            if (!fixed(storage_node_[k])) {
                F[i] -= q;
                J[i * dim + row] -= 1.0;
            }
            const double rise = half_dt / storage_area_[k];
            F[row] = x[i] - (storage_level_[k] + rise * (q + storage_flow_[k])) - storage_loss_[k] * q * std::fabs(q);
            J[row * dim + i] = 1.0;
            J[row * dim + row] = -rise - 2.0 * storage_loss_[k] * std::fabs(q);
        }
        // Air vessels: gas head from the polytropic law, volume moving with the inflow.
        for (int j = 0; j < nv; ++j) {
            const std::size_t k = static_cast<std::size_t>(c.vessels[static_cast<std::size_t>(j)]);
            const int row = nn + nl + ns + j;
            const int i = local(vessel_node_[k]);
            const double q = x[row];
            if (!fixed(vessel_node_[k])) {
                F[i] -= q;
                J[i * dim + row] -= 1.0;
            }
            const double volume = vessel_volume_at(j, q);
            const double m = vessel_exponent_[k];
            const double gas = vessel_constant_[k] * std::pow(volume, -m);
            const double loss = q >= 0.0 ? vessel_loss_in_[k] : vessel_loss_out_[k];
            const double z = node_elevation_[static_cast<std::size_t>(vessel_node_[k])];
            F[row] = x[i] - z + kAtmosphericHead - loss * q * std::fabs(q) - gas;
            J[row * dim + i] = 1.0;
            J[row * dim + row] = -2.0 * loss * std::fabs(q) - gas * m * half_dt / volume;
        }
        if (cavities_) hold_cavity_rows(c, x, J, F, dim);
        if (!c.pipeless.empty()) hold_resting_rows(c, x, J, F, dim);
        for (int i = 0; i < dim; ++i) F[i] = -F[i];
        if (!solve_dense(J, F, dim)) {
            std::ostringstream msg;
            msg << "node " << node_id_[static_cast<std::size_t>(c.nodes[0])]
                << ": the equations of its pumps, valves and devices are singular at t = "
                << static_cast<double>(steps_ + 1) * dt_ << " s";
            error = msg.str();
            return false;
        }
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
