// Junctions of a point-element group that no pipe reaches and that have no open pump or valve
// left: they are at rest, their head held, as a junction behind a closed pipe. Their equation
// would otherwise be empty (no flow enters or leaves) and the group's system singular.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "solver.h"

namespace vuzizi::transient {

void Solver::build_resting_candidates() {
    node_at_rest_.assign(node_head_.size(), 0);
    std::vector<uint8_t> has_device(node_head_.size(), 0);
    for (int32_t s : storage_node_) has_device[static_cast<std::size_t>(s)] = 1;
    for (int32_t v : vessel_node_) has_device[static_cast<std::size_t>(v)] = 1;
    for (int32_t r : relief_node_) has_device[static_cast<std::size_t>(r)] = 1;
    for (Cluster& c : clusters_)
        for (int32_t node : c.nodes) {
            const std::size_t n = static_cast<std::size_t>(node);
            if (node_role_[n] != NodeRole::Fixed && node_invB_sum_[n] == 0.0 && !has_device[n])
                c.pipeless.push_back(node);
        }
}

namespace {

// The pump or valve through which a node of the group is reached: the last one listed.
int32_t link_at(const std::vector<int32_t>& links, const std::vector<int32_t>& from, const std::vector<int32_t>& to,
                int32_t node) {
    int32_t found = -1;
    for (int32_t l : links)
        if (from[static_cast<std::size_t>(l)] == node || to[static_cast<std::size_t>(l)] == node) found = l;
    return found;
}

// The end of a message on a fixed demand that a link cuts off.
constexpr const char* kOrificeAdvice =
    "; with DEMANDS ORIFICE in [TRANSIENT] its outflow follows its pressure and can stop";

}  // namespace

bool Solver::mark_resting_nodes(const Cluster& c, std::string& error) {
    for (int32_t node : c.pipeless) node_at_rest_[static_cast<std::size_t>(node)] = 1;
    for (int32_t l : c.links) {
        const std::size_t k = static_cast<std::size_t>(l);
        if (!link_open_[k]) continue;
        node_at_rest_[static_cast<std::size_t>(link_from_[k])] = 0;
        node_at_rest_[static_cast<std::size_t>(link_to_[k])] = 0;
    }
    for (int32_t node : c.pipeless) {
        const std::size_t n = static_cast<std::size_t>(node);
        if (!node_at_rest_[n] || under_orifice(n) || !(std::fabs(demand_now_[n]) > kTinyFlow)) continue;
        const std::size_t k = static_cast<std::size_t>(link_at(c.links, link_from_, link_to_, node));
        std::ostringstream msg;
        msg << "junction " << node_id_[n] << ": " << link_kind_name(k) << " "
            << link_id_[k] << " cuts off its fixed demand of " << demand_now_[n] << " m3/s at t = "
            << static_cast<double>(steps_ + 1) * dt_
            << " s" << kOrificeAdvice;
        error = msg.str();
        return false;
    }
    return true;
}

bool Solver::check_starved_nodes(const Cluster& c, std::string& error) const {
    for (int32_t node : c.pipeless) {
        const std::size_t n = static_cast<std::size_t>(node);
        if (node_at_rest_[n] || under_orifice(n) || !(demand_now_[n] > kTinyFlow)) continue;
        const double vapour = node_elevation_[n] + vapour_head_ - kAtmosphericHead;
        if (!(node_head_[n] < vapour) || (cavities_ && node_cavity_open_[n])) continue;
        const std::size_t k = static_cast<std::size_t>(link_at(c.links, link_from_, link_to_, node));
        std::ostringstream msg;
        msg << "junction " << node_id_[n] << ": " << link_kind_name(k) << " "
            << link_id_[k] << " no longer passes its fixed demand of " << demand_now_[n]
            << " m3/s at t = " << static_cast<double>(steps_ + 1) * dt_
            << " s (its head falls below vapour head)" << kOrificeAdvice;
        error = msg.str();
        return false;
    }
    return true;
}

void Solver::hold_resting_rows(const Cluster& c, const double* x, GroupSystem& g) const {
    for (int32_t node : c.pipeless) {
        const std::size_t n = static_cast<std::size_t>(node);
        if (!node_at_rest_[n]) continue;
        const int i = local_index_[n];
        g.hold(i, x[i] - node_head_[n]);
    }
}

}  // namespace vuzizi::transient
