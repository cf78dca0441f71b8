// Building the solver's arrays from a model and its steady state.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <sstream>

#include "characteristics.h"
#include "solver.h"
#include "step_events.h"

namespace vuzizi::transient {

namespace {

constexpr double kDefaultFriction = 0.02;     // Darcy factor of a pipe with no steady flow

bool node_in_range(const TransientModel& m, int32_t n) {
    return n >= 0 && static_cast<std::size_t>(n) < m.nodes.size();
}

bool check_ends(const TransientModel& m, std::string& error) {
    auto bad = [&](const char* what, const std::string& id) {
        error = std::string(what) + " " + id + ": refers to a node that does not exist";
        return false;
    };
    for (const Pipe& p : m.pipes)
        if (!node_in_range(m, p.from) || !node_in_range(m, p.to)) return bad("pipe", p.id);
    for (const Pump& p : m.pumps)
        if (!node_in_range(m, p.from) || !node_in_range(m, p.to)) return bad("pump", p.id);
    for (const Valve& v : m.valves)
        if (!node_in_range(m, v.from) || !node_in_range(m, v.to)) return bad("valve", v.id);
    for (const SurgeTank& s : m.surge_tanks)
        if (!node_in_range(m, s.node)) return bad("surge tank", s.id);
    for (const AirVessel& v : m.air_vessels)
        if (!node_in_range(m, v.node)) return bad("air vessel", v.id);
    for (const ReliefValve& r : m.relief_valves)
        if (!node_in_range(m, r.node)) return bad("relief valve", r.id);
    return true;
}

bool check_devices(const TransientModel& m, std::string& error) {
    for (const Node& n : m.nodes)
        if (n.kind == NodeKind::Tank && !(n.tank_area > 0.0)) {
            error = "tank " + n.id + ": surface area must be positive";
            return false;
        }
    for (const SurgeTank& s : m.surge_tanks)
        if (!(s.area > 0.0) || !(s.loss >= 0.0)) {
            error = "surge tank " + s.id + ": area must be positive and loss not negative";
            return false;
        }
    for (const AirVessel& v : m.air_vessels)
        if (!(v.gas_volume > 0.0) || !(v.exponent > 0.0) || !(v.loss_in >= 0.0) || !(v.loss_out >= 0.0)) {
            error = "air vessel " + v.id + ": gas volume and exponent must be positive, losses not negative";
            return false;
        }
    for (const ReliefValve& r : m.relief_valves)
        if (!(r.discharge >= 0.0) || !std::isfinite(r.set_pressure)) {
            error = "relief valve " + r.id + ": discharge coefficient must not be negative";
            return false;
        }
    for (const Pump& p : m.pumps)
        if (p.trip_time < kNever && p.inertia > 0.0 && (!(p.rated_speed > 0.0) || !(p.efficiency > 0.0))) {
            error = "pump " + p.id + ": run-down needs a positive rated speed and efficiency";
            return false;
        }
    return true;
}

}  // namespace

bool Solver::prepare(const TransientModel& model, std::string& error) {
    *this = Solver();
    if (!check_ends(model, error) || !check_devices(model, error)) return false;
    if (!plan_reaches(model.pipes, step_rule(model), plan_, error)) return false;
    dt_ = plan_.time_step;
    vapour_head_ = model.vapour_head;

    const std::size_t n = model.nodes.size();
    node_id_.resize(n);
    node_role_.assign(n, NodeRole::Plain);
    node_elevation_.resize(n);
    node_head_.resize(n);
    base_demand_.resize(n);
    demand_now_.resize(n);
    fixed_head_.resize(n);
    node_imposed_.resize(n);
    node_series_.assign(n, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        const Node& node = model.nodes[i];
        node_id_[i] = node.id;
        node_elevation_[i] = node.elevation;
        node_head_[i] = node.head;
        fixed_head_[i] = node.head;
        const bool junction = node.kind == NodeKind::Junction;
        base_demand_[i] = junction ? node.demand : 0.0;
        demand_now_[i] = base_demand_[i];
        node_imposed_[i] = node.series.empty() ? Imposed::Nothing : node.imposed;
        if (node_imposed_[i] != Imposed::Nothing) {
            node_series_[i] = &node.series;
            imposed_nodes_.push_back(static_cast<int32_t>(i));
        }
        if (node.kind == NodeKind::Reservoir || node_imposed_[i] == Imposed::Head ||
            node_imposed_[i] == Imposed::Pressure)
            node_role_[i] = NodeRole::Fixed;
    }
    if (!build_pipes(model, error)) return false;
    build_connections(model);
    build_links(model);
    build_lumped_pipes(model);
    build_devices(model);
    build_clusters();
    build_resting_candidates();
    if (model.column_separation) build_cavities(model);
    if (!build_orifice_demands(model, error)) return false;
    build_head_range(model);
    // The cavity update walks pipes and nodes together: it runs on one thread.
    build_parts(model.column_separation ? 1 : step_parts(model.threads, plan_.total_reaches));
    update_imposed(0.0);
    update_orifice_conditions(0.0);
    return true;
}

bool Solver::build_pipes(const TransientModel& model, std::string& error) {
    const std::size_t count = model.pipes.size();
    pipe_first_.resize(count);
    pipe_reaches_.resize(count);
    pipe_from_.resize(count);
    pipe_to_.resize(count);
    pipe_B_.resize(count);
    pipe_R_.resize(count);
    pipe_area_.resize(count);
    int64_t points = 0;
    for (std::size_t p = 0; p < count; ++p) {
        pipe_first_[p] = static_cast<int32_t>(points);
        // A lumped pipe keeps its two end points for the results.
        pipe_reaches_[p] = std::max(1, plan_.reaches[p]);
        points += pipe_reaches_[p] + 1;
    }
    H_.assign(static_cast<std::size_t>(points), 0.0);
    Q_.assign(static_cast<std::size_t>(points), 0.0);
    for (std::size_t p = 0; p < count; ++p) {
        const Pipe& pipe = model.pipes[p];
        const int32_t reaches = pipe_reaches_[p];
        const double area = circle_area(pipe.diameter);
        pipe_from_[p] = pipe.from;
        pipe_to_[p] = pipe.to;
        pipe_area_[p] = area;
        // The impedance is the pipe's own: fitting reaches moves its travel time, not its surges.
        pipe_B_[p] = pipe.wave_speed / (kGravity * area);
        const double h_from = model.nodes[static_cast<std::size_t>(pipe.from)].head;
        const double h_to = model.nodes[static_cast<std::size_t>(pipe.to)].head;
        // Quasi-steady friction: the coefficient that reproduces the steady head loss exactly.
        const double qq = pipe.flow * std::fabs(pipe.flow);
        const double steady_R = std::fabs(pipe.flow) > kTinyFlow ? (h_from - h_to) / qq : 0.0;
        if (steady_R > 0.0 && std::isfinite(steady_R)) {
            pipe_R_[p] = steady_R / reaches;
        } else {
            const double f = pipe.friction_factor > 0.0 ? pipe.friction_factor : kDefaultFriction;
            const double dx = pipe.length / reaches;
            pipe_R_[p] = f * dx / (2.0 * kGravity * pipe.diameter * area * area);
        }
        if (!std::isfinite(pipe_B_[p]) || !std::isfinite(pipe_R_[p])) {
            error = "pipe " + pipe.id + ": characteristic impedance or friction is not finite";
            return false;
        }
        const std::size_t first = static_cast<std::size_t>(pipe_first_[p]);
        for (int32_t i = 0; i <= reaches; ++i) {
            const double w = static_cast<double>(i) / reaches;
            H_[first + static_cast<std::size_t>(i)] = h_from + w * (h_to - h_from);
            Q_[first + static_cast<std::size_t>(i)] = pipe.flow;
        }
    }
    H_next_ = H_;
    Q_next_ = Q_;
    return true;
}

void Solver::build_connections(const TransientModel& model) {
    const std::size_t n = model.nodes.size();
    std::vector<int32_t> count(n, 0);
    for (std::size_t p = 0; p < pipe_first_.size(); ++p) {
        if (plan_.lumped(p)) continue;  // joins its nodes in a group instead
        ++count[static_cast<std::size_t>(pipe_from_[p])];
        ++count[static_cast<std::size_t>(pipe_to_[p])];
    }
    node_conn_begin_.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) node_conn_begin_[i + 1] = node_conn_begin_[i] + count[i];
    const std::size_t total = static_cast<std::size_t>(node_conn_begin_[n]);
    conn_adjacent_.resize(total);
    conn_end_.resize(total);
    conn_sign_.resize(total);
    conn_B_.resize(total);
    conn_R_.resize(total);
    conn_invB_.resize(total);
    conn_c_.assign(total, 0.0);
    conn_delay_.assign(total, -1);
    std::vector<int32_t> fill(node_conn_begin_.begin(), node_conn_begin_.end() - 1);
    end_delays_.clear();
    auto add = [&](int32_t node, int32_t adjacent, int32_t end, double sign, std::size_t p) {
        const std::size_t k = static_cast<std::size_t>(fill[static_cast<std::size_t>(node)]++);
        conn_adjacent_[k] = adjacent;
        conn_end_[k] = end;
        conn_sign_[k] = sign;
        conn_B_[k] = pipe_B_[p];
        conn_R_[k] = pipe_R_[p];
        conn_invB_[k] = 1.0 / pipe_B_[p];
        // Before the run a delayed end has seen the steady characteristic.
        const double delay = plan_.end_delay[p];
        if (!(delay > 0.0)) return;
        const std::size_t j = static_cast<std::size_t>(adjacent);
        const double steady = (sign > 0.0 ? plus_characteristic(H_[j], Q_[j], conn_B_[k], conn_R_[k])
                                          : minus_characteristic(H_[j], Q_[j], conn_B_[k], conn_R_[k])).value;
        conn_delay_[k] = static_cast<int32_t>(end_delays_.size());
        end_delays_.emplace_back(delay, steady);
    };
    for (std::size_t p = 0; p < pipe_first_.size(); ++p) {
        if (plan_.lumped(p)) continue;
        const int32_t first = pipe_first_[p];
        const int32_t last = first + pipe_reaches_[p];
        add(pipe_from_[p], first + 1, first, -1.0, p);
        add(pipe_to_[p], last - 1, last, +1.0, p);
    }
    node_invB_sum_.assign(n, 0.0);
    node_char_sum_.assign(n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (int32_t k = node_conn_begin_[i]; k < node_conn_begin_[i + 1]; ++k)
            node_invB_sum_[i] += conn_invB_[static_cast<std::size_t>(k)];
}

void Solver::build_links(const TransientModel& model) {
    pump_count_ = static_cast<int32_t>(model.pumps.size());
    const std::size_t links = model.pumps.size() + model.valves.size();
    link_id_.reserve(links);
    for (const Pump& p : model.pumps) {
        const double lift = model.nodes[static_cast<std::size_t>(p.to)].head -
                            model.nodes[static_cast<std::size_t>(p.from)].head;
        const bool open = p.running && p.flow > kTinyFlow;
        link_id_.push_back(p.id);
        link_kind_.push_back(LinkKind::Pump);
        link_from_.push_back(p.from);
        link_to_.push_back(p.to);
        link_flow_.push_back(open ? p.flow : 0.0);
        link_open_.push_back(open ? 1 : 0);
        pump_curve_.push_back(&p.curve);
        pump_running_.push_back(p.running ? 1 : 0);
        pump_speed_.push_back(p.running ? 1.0 : 0.0);
        // The steady solution may sit a solver tolerance off the curve: keep it exactly steady.
        pump_offset_.push_back(open ? lift - p.curve.at(p.flow, 1.0).head : 0.0);
        pump_trip_.push_back(p.trip_time);
        pump_inertia_.push_back(p.inertia);
        pump_omega_.push_back(p.rated_speed * 2.0 * std::numbers::pi / kSecondsPerMinute);
        pump_efficiency_.push_back(p.efficiency);
    }
    node_valve_outlet_.assign(model.nodes.size(), 0);
    const std::vector<int32_t> links_at = point_links_per_node(model);
    for (const Valve& v : model.valves) {
        const double drop = model.nodes[static_cast<std::size_t>(v.from)].head -
                            model.nodes[static_cast<std::size_t>(v.to)].head;
        const bool flowing = !v.shut && std::fabs(v.flow) > kTinyFlow;
        // An open valve without steady flow takes its open loss: its steady drop tells nothing.
        const double steady = flowing ? std::max(0.0, drop / (v.flow * std::fabs(v.flow))) : v.open_loss;
        const double open = v.open_loss > 0.0 ? v.open_loss : steady;
        const Series* schedule = v.opening.empty() ? nullptr : &v.opening;
        const double first = schedule != nullptr ? schedule->at(0.0) : 1.0;
        const double start = first > 0.0 ? first : 1.0;  // shut at once: the steady state counts as fully open
        // A shut valve whose motion starts shut may open: its loss is then open / opening^2.
        const bool opens_later = v.shut && schedule != nullptr && !(first > 0.0);
        const bool shut_throughout = v.shut && !opens_later;
        link_id_.push_back(v.id);
        link_kind_.push_back(LinkKind::Valve);
        link_from_.push_back(v.from);
        link_to_.push_back(v.to);
        link_flow_.push_back(flowing ? v.flow : 0.0);
        link_open_.push_back(v.shut ? 0 : 1);
        valve_shut_.push_back(shut_throughout ? 1 : 0);
        valve_law_.push_back(opens_later ? ValveLaw{open, open, 1.0} : ValveLaw{steady, open, start});
        valve_K_.push_back(steady);
        valve_opening_.push_back(v.shut ? 0.0 : start);
        valve_schedule_.push_back(schedule);
        int32_t outlet = -1;
        if (model.dead_end_valve_flow && flowing) {
            for (int32_t end : {v.from, v.to})
                if (is_dead_end_demand(model, end, links_at)) outlet = end;
        }
        valve_outlet_.push_back(outlet);
        if (outlet >= 0) node_valve_outlet_[static_cast<std::size_t>(outlet)] = 1;
    }
}

std::vector<int32_t> Solver::point_links_per_node(const TransientModel& model) const {
    std::vector<int32_t> count(model.nodes.size(), 0);
    auto add = [&](int32_t a, int32_t b) {
        ++count[static_cast<std::size_t>(a)];
        ++count[static_cast<std::size_t>(b)];
    };
    for (const Pump& p : model.pumps) add(p.from, p.to);
    for (const Valve& v : model.valves) add(v.from, v.to);
    for (const SurgeTank& s : model.surge_tanks) ++count[static_cast<std::size_t>(s.node)];
    for (const AirVessel& a : model.air_vessels) ++count[static_cast<std::size_t>(a.node)];
    for (const ReliefValve& r : model.relief_valves) ++count[static_cast<std::size_t>(r.node)];
    return count;
}

// A junction with a steady demand whose only element is one valve: no pipe, other link or device.
bool Solver::is_dead_end_demand(const TransientModel& model, int32_t node, const std::vector<int32_t>& links_at) const {
    const std::size_t n = static_cast<std::size_t>(node);
    return model.nodes[n].kind == NodeKind::Junction && node_imposed_[n] == Imposed::Nothing &&
           std::fabs(base_demand_[n]) > kTinyFlow && links_at[n] == 1 && node_conn_begin_[n + 1] == node_conn_begin_[n];
}

void Solver::build_devices(const TransientModel& model) {
    // A tank may be filling or draining in the steady state: it takes what its links bring.
    std::vector<double> inflow(model.nodes.size(), 0.0);
    for (const Pipe& p : model.pipes) {
        inflow[static_cast<std::size_t>(p.from)] -= p.flow;
        inflow[static_cast<std::size_t>(p.to)] += p.flow;
    }
    for (std::size_t l = 0; l < link_from_.size(); ++l) {
        inflow[static_cast<std::size_t>(link_from_[l])] -= link_flow_[l];
        inflow[static_cast<std::size_t>(link_to_[l])] += link_flow_[l];
    }
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
        const Node& node = model.nodes[i];
        if (node.kind != NodeKind::Tank) continue;
        storage_id_.push_back(node.id);
        storage_node_.push_back(static_cast<int32_t>(i));
        storage_area_.push_back(node.tank_area);
        storage_loss_.push_back(0.0);
        storage_flow_.push_back(inflow[i]);
        storage_level_.push_back(node.head);
    }
    tank_count_ = static_cast<int32_t>(storage_id_.size());
    for (const SurgeTank& s : model.surge_tanks) {
        storage_id_.push_back(s.id);
        storage_node_.push_back(s.node);
        storage_area_.push_back(s.area);
        storage_loss_.push_back(s.loss);
        storage_flow_.push_back(0.0);
        storage_level_.push_back(model.nodes[static_cast<std::size_t>(s.node)].head);
    }
    for (const AirVessel& v : model.air_vessels) {
        const Node& node = model.nodes[static_cast<std::size_t>(v.node)];
        const double absolute = node.head - node.elevation + kAtmosphericHead;
        vessel_id_.push_back(v.id);
        vessel_node_.push_back(v.node);
        vessel_flow_.push_back(0.0);
        vessel_volume_.push_back(v.gas_volume);
        vessel_constant_.push_back(absolute * std::pow(v.gas_volume, v.exponent));
        vessel_exponent_.push_back(v.exponent);
        vessel_loss_in_.push_back(v.loss_in);
        vessel_loss_out_.push_back(v.loss_out);
    }
    for (const ReliefValve& r : model.relief_valves) {
        relief_id_.push_back(r.id);
        relief_node_.push_back(r.node);
        relief_set_.push_back(r.set_pressure);
        relief_discharge_.push_back(r.discharge);
        relief_flow_.push_back(0.0);
    }
}

void Solver::build_clusters() {
    const std::size_t n = node_head_.size();
    std::vector<int32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int32_t x) {
        while (parent[static_cast<std::size_t>(x)] != x) {
            parent[static_cast<std::size_t>(x)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(x)])];
            x = parent[static_cast<std::size_t>(x)];
        }
        return x;
    };
    std::vector<uint8_t> member(n, 0);
    for (std::size_t l = 0; l < link_from_.size(); ++l) {
        member[static_cast<std::size_t>(link_from_[l])] = member[static_cast<std::size_t>(link_to_[l])] = 1;
        parent[static_cast<std::size_t>(root(link_from_[l]))] = root(link_to_[l]);
    }
    for (int32_t s : storage_node_) member[static_cast<std::size_t>(s)] = 1;
    for (int32_t v : vessel_node_) member[static_cast<std::size_t>(v)] = 1;
    for (int32_t r : relief_node_) member[static_cast<std::size_t>(r)] = 1;

    std::vector<int32_t> cluster_of(n, -1);
    local_index_.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        if (!member[i]) continue;
        const std::size_t r = static_cast<std::size_t>(root(static_cast<int32_t>(i)));
        if (cluster_of[r] < 0) {
            cluster_of[r] = static_cast<int32_t>(clusters_.size());
            clusters_.emplace_back();
        }
        Cluster& c = clusters_[static_cast<std::size_t>(cluster_of[r])];
        local_index_[i] = static_cast<int32_t>(c.nodes.size());
        c.nodes.push_back(static_cast<int32_t>(i));
    }
    auto cluster_at = [&](int32_t node) -> Cluster& {
        return clusters_[static_cast<std::size_t>(cluster_of[static_cast<std::size_t>(root(node))])];
    };
    for (std::size_t l = 0; l < link_from_.size(); ++l) cluster_at(link_from_[l]).links.push_back(static_cast<int32_t>(l));
    for (std::size_t s = 0; s < storage_node_.size(); ++s) cluster_at(storage_node_[s]).storages.push_back(static_cast<int32_t>(s));
    for (std::size_t v = 0; v < vessel_node_.size(); ++v) cluster_at(vessel_node_[v]).vessels.push_back(static_cast<int32_t>(v));
    for (std::size_t r = 0; r < relief_node_.size(); ++r) cluster_at(relief_node_[r]).reliefs.push_back(static_cast<int32_t>(r));

    std::size_t largest = 0;
    group_systems_.resize(clusters_.size());
    for (std::size_t k = 0; k < clusters_.size(); ++k) {
        Cluster& c = clusters_[k];
        const std::size_t dim = c.nodes.size() + c.links.size() + c.storages.size() + c.vessels.size();
        largest = std::max(largest, dim);
        c.system = static_cast<int32_t>(k);
        group_systems_[k].resize(static_cast<int>(dim), dim > static_cast<std::size_t>(kDenseGroupLimit));
    }
    unknowns_.assign(largest, 0.0);

    for (std::size_t i = 0; i < n; ++i) {
        if (member[i]) {
            if (node_role_[i] != NodeRole::Fixed) node_role_[i] = NodeRole::InCluster;
            continue;  // fixed members are solved with their cluster
        }
        if (node_role_[i] == NodeRole::Fixed) {
            fixed_nodes_.push_back(static_cast<int32_t>(i));
        } else if (node_invB_sum_[i] > 0.0) {
            plain_nodes_.push_back(static_cast<int32_t>(i));
        } else {
            node_role_[i] = NodeRole::Isolated;
        }
    }
}

}  // namespace vuzizi::transient
