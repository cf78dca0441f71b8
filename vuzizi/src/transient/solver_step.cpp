// One time step: characteristics, interior points, nodes, point-element groups, pipe ends; the loops over
// all nodes, pipes or points in parts (solver_parts.cpp).
#include <algorithm>
#include <cmath>

#include "characteristics.h"
#include "solver.h"

namespace vuzizi::transient {

namespace {

constexpr double kStoppedSpeed = 1e-3;   // relative speed below which a pump counts as stopped

}  // namespace

bool Solver::step(std::string& error) {
    const double t = static_cast<double>(steps_ + 1) * dt_;
    update_imposed(t);
    update_orifice_conditions(t);
    update_pumps_and_valves(t);
    if (cavities_) {
        compute_characteristics(Qu_.data(), 0, node_head_.size());
        advance_interior_with_cavities();
        solve_plain_nodes_with_cavities();
    } else {
        in_parts([this](std::size_t part) {
            compute_characteristics(Q_.data(), node_part_[part], node_part_[part + 1]);
            advance_interior(pipe_part_[part], pipe_part_[part + 1]);
        });
        solve_plain_nodes();
    }
    solve_orifice_nodes();
    for (int32_t n : fixed_nodes_) node_head_[static_cast<std::size_t>(n)] = fixed_head_[static_cast<std::size_t>(n)];
    for (const Cluster& c : clusters_)
        if (!solve_cluster(c, error)) return false;
    record_cluster_orifice_demands();
    in_parts([this](std::size_t part) { close_pipe_ends(node_part_[part], node_part_[part + 1]); });
    if (cavities_) match_end_flows();
    in_parts([this](std::size_t part) {
        part_plausible_[part] = points_plausible(point_part_[part], point_part_[part + 1]) ? 1 : 0;
    });
    const bool points_ok = std::all_of(part_plausible_.begin(), part_plausible_.end(), [](uint8_t ok) { return ok != 0; });
    if (!state_plausible(t, points_ok, error)) return false;
    H_.swap(H_next_);
    Q_.swap(Q_next_);
    if (cavities_) Qu_.swap(Qu_next_);
    ++steps_;
    return true;
}

void Solver::update_imposed(double t) {
    for (int32_t n : imposed_nodes_) {
        const std::size_t i = static_cast<std::size_t>(n);
        const double v = node_series_[i]->at(t);
        switch (node_imposed_[i]) {
            case Imposed::Head: fixed_head_[i] = v; break;
            case Imposed::Pressure: fixed_head_[i] = node_elevation_[i] + v; break;
            case Imposed::Demand: demand_now_[i] = v; break;
            case Imposed::Nothing: break;
        }
    }
}

void Solver::update_pumps_and_valves(double t) {
    for (std::size_t k = 0; k < static_cast<std::size_t>(pump_count_); ++k) {
        if (!pump_running_[k] || t < pump_trip_[k]) continue;
        double n = 0.0;
        if (pump_inertia_[k] > 0.0) {
            // I w dw/dt = -rho g Q h / eta, written for the square of the relative speed.
            const double lift = node_head_[static_cast<std::size_t>(link_to_[k])] -
                                node_head_[static_cast<std::size_t>(link_from_[k])];
            const double power = kWaterDensity * kGravity * std::max(0.0, link_flow_[k]) * std::max(0.0, lift) /
                                 pump_efficiency_[k];
            const double w0 = pump_omega_[k];
            const double n2 = pump_speed_[k] * pump_speed_[k] - 2.0 * dt_ * power / (pump_inertia_[k] * w0 * w0);
            n = n2 > 0.0 ? std::sqrt(n2) : 0.0;
        }
        pump_speed_[k] = n;
        if (n < kStoppedSpeed) {
            pump_speed_[k] = 0.0;
            pump_running_[k] = 0;
            link_open_[k] = 0;
        }
    }
    for (std::size_t v = 0; v < valve_law_.size(); ++v) {
        const std::size_t l = static_cast<std::size_t>(pump_count_) + v;
        if (valve_shut_[v] || valve_schedule_[v] == nullptr) continue;
        const double tau = std::max(0.0, valve_schedule_[v]->at(t));
        valve_opening_[v] = tau;
        link_open_[l] = tau > 0.0 ? 1 : 0;
        const int32_t outlet = valve_outlet_[v];
        if (outlet >= 0) {
            // The valve sets its dead end's outflow; its loss stays the steady one.
            const std::size_t n = static_cast<std::size_t>(outlet);
            demand_now_[n] = base_demand_[n] * tau / valve_law_[v].start;
        } else {
            valve_K_[v] = tau > 0.0 ? valve_law_[v].loss_at(tau) : 0.0;
        }
    }
}

// A pipe's end node sees the C+ characteristic of the point before it (its downstream-side flow)
// and its start node the C- characteristic of the point after it (its upstream-side flow). The
// impedances follow the old flows, so each end's 1/Bp and each node's sum of them are renewed here.
void Solver::compute_characteristics(const double* upstream_flow, std::size_t first_node, std::size_t end_node) {
    const double* H = H_.data();
    const double* Q = Q_.data();
    for (std::size_t i = first_node; i < end_node; ++i) {
        double sum = 0.0, inv_sum = 0.0;
        for (int32_t k = node_conn_begin_[i]; k < node_conn_begin_[i + 1]; ++k) {
            const std::size_t c = static_cast<std::size_t>(k);
            const std::size_t j = static_cast<std::size_t>(conn_adjacent_[c]);
            const bool at_end = conn_sign_[c] > 0.0;
            Characteristic ch = at_end ? plus_characteristic(H[j], Q[j], conn_B_[c], conn_R_[c])
                                       : minus_characteristic(H[j], upstream_flow[j], conn_B_[c], conn_R_[c]);
            // The end's own old flow counts too: at a dead end the neighbour of the far end carries
            // none, and a reach of a pipe of one reach would otherwise keep its swing undamped.
            ch.impedance = std::max(ch.impedance, conn_B_[c] + conn_R_[c] * std::fabs(Q[conn_end_[c]]));
            if (conn_delay_[c] >= 0)
                ch.value = end_delays_[static_cast<std::size_t>(conn_delay_[c])].pass(ch.value);
            const double inv = 1.0 / ch.impedance;
            conn_c_[c] = ch.value;
            conn_invB_[c] = inv;
            sum += ch.value * inv;
            inv_sum += inv;
        }
        node_char_sum_[i] = sum;
        node_invB_sum_[i] = inv_sum;
    }
}

void Solver::advance_interior(std::size_t first_pipe, std::size_t end_pipe) {
    const double* H = H_.data();
    const double* Q = Q_.data();
    double* Hn = H_next_.data();
    double* Qn = Q_next_.data();
    for (std::size_t p = first_pipe; p < end_pipe; ++p) {
        const double B = pipe_B_[p];
        const double R = pipe_R_[p];
        const std::size_t first = static_cast<std::size_t>(pipe_first_[p]);
        const std::size_t last = first + static_cast<std::size_t>(pipe_reaches_[p]);
        for (std::size_t i = first + 1; i < last; ++i) {
            const PointState s = meet(plus_characteristic(H[i - 1], Q[i - 1], B, R),
                                      minus_characteristic(H[i + 1], Q[i + 1], B, R));
            Hn[i] = s.head;
            Qn[i] = s.flow;
        }
    }
}

void Solver::solve_plain_nodes() {
    for (int32_t n : plain_nodes_) {
        const std::size_t i = static_cast<std::size_t>(n);
        node_head_[i] = (node_char_sum_[i] - demand_now_[i]) / node_invB_sum_[i];
    }
}

void Solver::close_pipe_ends(std::size_t first_node, std::size_t end_node) {
    double* Hn = H_next_.data();
    double* Qn = Q_next_.data();
    for (std::size_t i = first_node; i < end_node; ++i) {
        const double h = node_head_[i];
        for (int32_t k = node_conn_begin_[i]; k < node_conn_begin_[i + 1]; ++k) {
            const std::size_t c = static_cast<std::size_t>(k);
            const std::size_t e = static_cast<std::size_t>(conn_end_[c]);
            Hn[e] = h;
            Qn[e] = conn_sign_[c] * (conn_c_[c] - h) * conn_invB_[c];
        }
    }
}

double Solver::relief_discharge(int32_t r, double head, double& slope) const {
    const std::size_t k = static_cast<std::size_t>(r);
    const double over = head - node_elevation_[static_cast<std::size_t>(relief_node_[k])] - relief_set_[k];
    const double cd = relief_discharge_[k];
    if (over <= 0.0) {
        slope = 0.0;
        return 0.0;
    }
    // Linear near the set pressure so that Newton's method sees a finite slope.
    if (over < kReliefLinearBand) {
        slope = cd / std::sqrt(kReliefLinearBand);
        return slope * over;
    }
    const double q = cd * std::sqrt(over);
    slope = 0.5 * cd / std::sqrt(over);
    return q;
}

double Solver::vessel_gas_head(int32_t v) const {
    const std::size_t k = static_cast<std::size_t>(v);
    return vessel_constant_[k] / std::pow(vessel_volume_[k], vessel_exponent_[k]) - kAtmosphericHead;
}

}  // namespace vuzizi::transient
