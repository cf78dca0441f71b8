// Junction outflows that follow the orifice law Q = Q0 sqrt(p / p0) during the run, p0 the
// steady pressure and Q = 0 where the pressure is not positive.
//
// The law is implicit in the head. At a junction joined only to pipes the node equation
// S - I H - k sqrt(H - z) = 0 (S the characteristics' sum, I the sum of 1/B, k = Q0 / sqrt(p0))
// is a quadratic in y = sqrt(H - z) and is solved exactly. At a junction of a point-element
// group the law enters the group's Newton system; the junction's head step is taken in y while
// the pressure is positive, where the equation is smooth (in the head its slope is unbounded
// at zero pressure and Newton's method could cycle across it).
#include <algorithm>
#include <cmath>
#include <sstream>

#include "solver.h"

namespace vuzizi::transient {

bool Solver::build_orifice_demands(const TransientModel& model, std::string& error) {
    if (!model.orifice_demands) return true;
    const std::size_t n = node_head_.size();
    orifice_k_.assign(n, 0.0);
    orifice_node_.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        // Supplies (negative demands) and imposed demands stay as they are, unless the conditions
        // scale the law; fixed heads need none.
        const bool conditioned = model.orifice_conditions && node_imposed_[i] == Imposed::Demand;
        const bool free_node = node_role_[i] == NodeRole::Plain || node_role_[i] == NodeRole::InCluster;
        const bool own_demand = node_imposed_[i] == Imposed::Nothing && base_demand_[i] > kTinyFlow;
        const bool takes_law = model.nodes[i].kind == NodeKind::Junction && free_node && !node_valve_outlet_[i] &&
                               (own_demand || conditioned);
        if (!takes_law) continue;
        const double p0 = model.nodes[i].head - node_elevation_[i];
        if (!(p0 > 0.0)) {
            std::ostringstream msg;
            msg << "junction " << node_id_[i] << ": steady pressure " << p0
                << " m is not positive, so its demand cannot follow the orifice law (DEMANDS ORIFICE)";
            error = msg.str();
            return false;
        }
        if (conditioned) {
            const std::vector<double>& values = model.nodes[i].series.values;
            if (std::any_of(values.begin(), values.end(), [](double v) { return v < 0.0; })) {
                error = "junction " + node_id_[i] +
                        ": a demand condition that scales the orifice law (DEMANDCONDITIONS ORIFICE) must not be "
                        "negative";
                return false;
            }
            orifice_conditioned_nodes_.push_back(static_cast<int32_t>(i));
            orifice_conditioned_scale_.push_back(1.0 / std::sqrt(p0));
        } else {
            orifice_k_[i] = base_demand_[i] / std::sqrt(p0);
        }
        orifice_node_[i] = 1;
        (node_role_[i] == NodeRole::Plain ? orifice_plain_nodes_ : orifice_cluster_nodes_)
            .push_back(static_cast<int32_t>(i));
    }
    std::erase_if(plain_nodes_, [&](int32_t node) { return under_orifice(static_cast<std::size_t>(node)); });
    return true;
}

// Head of a junction on pipes alone whose characteristics bring `supply` (their sum, less what
// a closing cavity takes), and its outflow under the law.
double Solver::orifice_balance(std::size_t n, double supply, double& outflow) const {
    const double z = node_elevation_[n];
    const double inv_b = node_invB_sum_[n];
    const double surplus = supply - inv_b * z;  // I times the pressure with no outflow
    if (surplus <= 0.0) {
        outflow = 0.0;
        return supply / inv_b;
    }
    // I y^2 + k y - surplus = 0, positive root in the form without cancellation.
    const double k = orifice_k_[n];
    const double y = 2.0 * surplus / (k + std::sqrt(k * k + 4.0 * inv_b * surplus));
    outflow = k * y;
    return z + y * y;
}

void Solver::solve_orifice_nodes() {
    for (int32_t node : orifice_plain_nodes_) {
        const std::size_t i = static_cast<std::size_t>(node);
        if (cavities_) {
            solve_orifice_node_with_cavity(i);
        } else {
            node_head_[i] = orifice_balance(i, node_char_sum_[i], demand_now_[i]);
        }
    }
}

// As a plain node with a cavity (solver_cavities.cpp), the outflow following the law.
void Solver::solve_orifice_node_with_cavity(std::size_t i) {
    const double volume = node_cavity_[i];
    const double vapour = node_vapour_head_[i];
    const double h = orifice_balance(i, node_char_sum_[i], demand_now_[i]);
    if (volume == 0.0 && h >= vapour) {
        node_head_[i] = h;
        node_cavity_growth_[i] = 0.0;
        return;
    }
    const double closing = orifice_balance(i, node_char_sum_[i] - volume / dt_, demand_now_[i]);
    if (closing >= vapour) {
        node_head_[i] = closing;
        node_cavity_growth_[i] = -volume / dt_;
        node_cavity_[i] = 0.0;
        return;
    }
    double slope = 0.0;
    demand_now_[i] = orifice_outflow(i, vapour, slope);
    const double inflow = node_char_sum_[i] - node_invB_sum_[i] * vapour - demand_now_[i];
    node_head_[i] = vapour;
    node_cavity_growth_[i] = -inflow;
    node_cavity_[i] = std::max(0.0, volume - dt_ * inflow);
}

// The condition's value is the outflow at the steady pressure: k = value / sqrt(p0).
void Solver::update_orifice_conditions(double t) {
    for (std::size_t j = 0; j < orifice_conditioned_nodes_.size(); ++j) {
        const std::size_t n = static_cast<std::size_t>(orifice_conditioned_nodes_[j]);
        orifice_k_[n] = node_series_[n]->at(t) * orifice_conditioned_scale_[j];
    }
}

double Solver::junction_outflow(std::size_t n, double head) const {
    if (!under_orifice(n)) return demand_now_[n];
    double slope = 0.0;
    return orifice_outflow(n, head, slope);
}

void Solver::record_cluster_orifice_demands() {
    for (int32_t node : orifice_cluster_nodes_) {
        const std::size_t i = static_cast<std::size_t>(node);
        double slope = 0.0;
        demand_now_[i] = node_at_rest_[i] ? 0.0 : orifice_outflow(i, node_head_[i], slope);
    }
}

double Solver::orifice_outflow(std::size_t n, double head, double& slope) const {
    const double pressure = head - node_elevation_[n];
    if (!(pressure > 0.0)) {
        slope = 0.0;
        return 0.0;
    }
    const double y = std::sqrt(pressure);
    slope = 0.5 * orifice_k_[n] / y;
    return orifice_k_[n] * y;
}

double Solver::orifice_head_step(std::size_t n, double head, double step) const {
    if (!under_orifice(n)) return step;
    const double z = node_elevation_[n];
    const double pressure = head - z;
    if (!(pressure > 0.0)) return step;  // no outflow: the equation is linear in the head there
    // The same linearised step in y = sqrt(H - z), where dH = 2 y dy.
    const double y = std::sqrt(pressure);
    const double y_next = y + step / (2.0 * y);
    if (!(y_next > 0.0)) return step;  // leaving the outflow region: the head step reaches its linear part
    return z + y_next * y_next - head;
}

}  // namespace vuzizi::transient
