// Method-of-characteristics solver: one common time step, structure-of-arrays state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "end_delay.h"
#include "group_system.h"
#include "model.h"
#include "reach_plan.h"
#include "step_workers.h"
#include "valve_law.h"

namespace vuzizi::transient {

// Below this a steady flow counts as zero (m3/s): the balance of steady flows leaves round-off.
inline constexpr double kTinyFlow = 1e-12;

// Relief discharge is linear this close above the set pressure (m), for a finite slope.
inline constexpr double kReliefLinearBand = 0.01;

// A set of nodes joined by pumps, valves and lumped pipes, or carrying surge devices: solved
// together by Newton's method at each step. Unknowns: node heads, then link flows, then device flows.
struct Cluster {
    std::vector<int32_t> nodes;
    std::vector<int32_t> links;     // into the point-link arrays
    std::vector<int32_t> storages;  // into the storage arrays
    std::vector<int32_t> vessels;   // into the air-vessel arrays
    std::vector<int32_t> reliefs;   // into the relief-valve arrays
    int32_t system = 0;             // into the group systems
    std::vector<int32_t> pipeless;  // free nodes no pipe or device reaches: at rest when no link is open
};

class Solver {
public:
    // Builds the state from the steady values of `model`; false with `error` when it cannot.
    bool prepare(const TransientModel& model, std::string& error);

    // Advances one time step; false with `error` naming the element on a numerical failure.
    bool step(std::string& error);

    const ReachPlan& plan() const { return plan_; }
    int32_t step_threads() const { return workers_ ? workers_->parts() : 1; }  // threads sharing each step
    int64_t steps_done() const { return steps_; }
    double time() const { return static_cast<double>(steps_) * dt_; }

    // Current values, indexed like the model's elements.
    int32_t node_count() const { return static_cast<int32_t>(node_head_.size()); }
    int32_t pipe_count() const { return static_cast<int32_t>(pipe_first_.size()); }
    int32_t pump_count() const { return pump_count_; }
    int32_t valve_count() const { return lumped_begin_ - pump_count_; }
    int32_t lumped_count() const { return static_cast<int32_t>(link_from_.size()) - lumped_begin_; }
    int32_t tank_count() const { return tank_count_; }  // storages 0 .. tank_count - 1 are tanks
    int32_t storage_count() const { return static_cast<int32_t>(storage_node_.size()); }
    int32_t vessel_count() const { return static_cast<int32_t>(vessel_node_.size()); }
    int32_t relief_count() const { return static_cast<int32_t>(relief_node_.size()); }

    double node_head(int32_t n) const { return node_head_[n]; }
    double node_elevation(int32_t n) const { return node_elevation_[n]; }
    double node_demand(int32_t n) const { return demand_now_[n]; }
    double pipe_flow_start(int32_t p) const { return Q_[pipe_first_[p]]; }
    double pipe_flow_end(int32_t p) const { return Q_[pipe_first_[p] + pipe_reaches_[p]]; }
    double pipe_area(int32_t p) const { return pipe_area_[p]; }
    int32_t pipe_from(int32_t p) const { return pipe_from_[p]; }
    int32_t pipe_to(int32_t p) const { return pipe_to_[p]; }
    // Head and flow at point i (0 .. reaches) of a pipe.
    double pipe_point_head(int32_t p, int32_t i) const { return H_[pipe_first_[p] + i]; }
    double pipe_point_flow(int32_t p, int32_t i) const { return Q_[pipe_first_[p] + i]; }
    double pump_flow(int32_t k) const { return link_flow_[k]; }
    double pump_speed(int32_t k) const { return pump_speed_[k]; }
    int32_t pump_from(int32_t k) const { return link_from_[k]; }
    int32_t pump_to(int32_t k) const { return link_to_[k]; }
    double valve_flow(int32_t v) const { return link_flow_[pump_count_ + v]; }
    double valve_opening(int32_t v) const { return valve_opening_[v]; }
    int32_t valve_from(int32_t v) const { return link_from_[pump_count_ + v]; }
    int32_t valve_to(int32_t v) const { return link_to_[pump_count_ + v]; }
    double storage_flow(int32_t s) const { return storage_flow_[s]; }
    double storage_level(int32_t s) const { return storage_level_[s]; }  // free-surface head, m
    double storage_area(int32_t s) const { return storage_area_[s]; }
    int32_t storage_node(int32_t s) const { return storage_node_[s]; }
    double vessel_flow(int32_t v) const { return vessel_flow_[v]; }
    double vessel_gas_volume(int32_t v) const { return vessel_volume_[v]; }
    double vessel_gas_head(int32_t v) const;
    int32_t vessel_node(int32_t v) const { return vessel_node_[v]; }  // gauge head of the gas, m
    double relief_flow(int32_t r) const { return relief_flow_[r]; }
    int32_t relief_node(int32_t r) const { return relief_node_[r]; }

    // Column separation: vapour cavities at nodes and interior points (all zero when not modelled).
    bool models_cavities() const { return cavities_; }
    double node_cavity_volume(int32_t n) const { return cavities_ ? node_cavity_[n] : 0.0; }
    double node_cavity_growth(int32_t n) const { return cavities_ ? node_cavity_growth_[n] : 0.0; }  // m3/s
    double node_vapour_head(int32_t n) const { return cavities_ ? node_vapour_head_[n] : -kNever; }
    double pipe_point_cavity(int32_t p, int32_t i) const { return cavities_ ? point_cavity_[pipe_first_[p] + i] : 0.0; }
    // Flow on the upstream side of point i; pipe_point_flow is the downstream side's.
    double pipe_point_flow_upstream(int32_t p, int32_t i) const {
        const bool interior = i > 0 && i < pipe_reaches_[p];
        return cavities_ && pipe_separated_[p] && interior ? Qu_[pipe_first_[p] + i] : Q_[pipe_first_[p] + i];
    }

private:
    enum class NodeRole : uint8_t { Plain, Fixed, InCluster, Isolated };
    enum class LinkKind : uint8_t { Pump, Valve, LumpedPipe };

    bool build_pipes(const TransientModel& model, std::string& error);
    void build_connections(const TransientModel& model);
    void build_links(const TransientModel& model);
    void build_lumped_pipes(const TransientModel& model);
    // Pumps, valves and devices at each node; whether a node is a dead end with a demand on one valve.
    std::vector<int32_t> point_links_per_node(const TransientModel& model) const;
    bool is_dead_end_demand(const TransientModel& model, int32_t node, const std::vector<int32_t>& links_at) const;
    void build_devices(const TransientModel& model);
    void build_clusters();
    void update_imposed(double t);
    void update_pumps_and_valves(double t);
    // The large loops of a step, each over its range of nodes or pipes, so that parts can share them.
    void compute_characteristics(const double* upstream_flow, std::size_t first_node, std::size_t end_node);
    void advance_interior(std::size_t first_pipe, std::size_t end_pipe);
    void solve_plain_nodes();
    bool solve_cluster(const Cluster& c, std::string& error);
    bool newton(const Cluster& c, std::string& error);
    void add_link_rows(const Cluster& c, const double* x, GroupSystem& g) const;
    void add_device_rows(const Cluster& c, const double* x, GroupSystem& g) const;
    void write_lumped_pipes(const Cluster& c);
    void save_cluster_start(const Cluster& c);
    void restore_cluster_start(const Cluster& c);
    const char* link_kind_name(std::size_t link) const;
    void close_pipe_ends(std::size_t first_node, std::size_t end_node);
    // Splits the step's loops into `parts` parts (solver_parts.cpp); one runs them on this thread.
    void build_parts(int32_t parts);
    // Calls task(part) for each part, on the workers when there are any.
    template <class Task>
    void in_parts(Task task) {
        if (!workers_) return task(std::size_t{0});
        auto by_index = [&task](int32_t part) { task(static_cast<std::size_t>(part)); };
        workers_->run(by_index);
    }
    // The heads the network can reach (solver_plausible.cpp), and the check of the new state: false
    // with `error` naming the node nearest to a head outside them or a flow that is not finite.
    void build_head_range(const TransientModel& model);
    // `points_ok` is what points_plausible gave over every point.
    bool state_plausible(double t, bool points_ok, std::string& error) const;
    bool points_plausible(std::size_t first, std::size_t end) const;  // a quick check that passes when they are
    bool nodes_plausible() const;

    // Group nodes left with no open link (solver_rest.cpp).
    void build_resting_candidates();
    // Marks them; false with `error` where that cuts off a fixed demand.
    bool mark_resting_nodes(const Cluster& c, std::string& error);
    void hold_resting_rows(const Cluster& c, const double* x, GroupSystem& g) const;
    // False with `error` where a fixed demand drawn through a pump or valve alone has pulled its
    // junction below vapour head: the link, closing, can no longer pass it.
    bool check_starved_nodes(const Cluster& c, std::string& error) const;

    // Column separation (solver_cavities.cpp).
    void build_cavities(const TransientModel& model);
    void advance_interior_with_cavities();
    void solve_plain_nodes_with_cavities();
    void open_cluster_cavities(const Cluster& c);
    void hold_cavity_rows(const Cluster& c, const double* x, GroupSystem& g) const;
    bool switch_cluster_cavities(const Cluster& c);
    void settle_cluster_cavities(const Cluster& c);
    double cluster_node_inflow(const Cluster& c, int32_t node) const;
    void match_end_flows();
    double relief_discharge(int32_t r, double head, double& slope) const;

    // Junction outflows under the orifice law (solver_demand.cpp).
    bool build_orifice_demands(const TransientModel& model, std::string& error);
    void solve_orifice_nodes();
    double orifice_balance(std::size_t n, double supply, double& outflow) const;
    void solve_orifice_node_with_cavity(std::size_t n);
    double junction_outflow(std::size_t n, double head) const;  // the law's, or the demand
    void record_cluster_orifice_demands();
    bool under_orifice(std::size_t n) const { return !orifice_node_.empty() && orifice_node_[n]; }
    // The orifice coefficients of junctions whose demand condition scales them.
    void update_orifice_conditions(double t);
    double orifice_outflow(std::size_t n, double head, double& slope) const;
    double orifice_head_step(std::size_t n, double head, double step) const;

    ReachPlan plan_;
    double dt_ = 0.0;
    double head_floor_ = -kNever, head_ceiling_ = kNever;  // m
    int64_t steps_ = 0;

    // Pipes and their points (two generations, swapped after each step).
    std::vector<int32_t> pipe_first_, pipe_reaches_, pipe_from_, pipe_to_;
    std::vector<double> pipe_B_, pipe_R_, pipe_area_;
    std::vector<double> H_, Q_, H_next_, Q_next_;

    // Pipe ends at nodes: adjacent point, end point, +1 where the pipe ends, -1 where it starts.
    // conn_c_ and conn_invB_ (1 / (B + R |Q_old|)) are the current step's, renewed with the
    // characteristics, and so are node_char_sum_ and node_invB_sum_ (their sums at each node).
    std::vector<int32_t> node_conn_begin_;
    std::vector<int32_t> conn_adjacent_, conn_end_;
    std::vector<double> conn_sign_, conn_B_, conn_R_, conn_invB_, conn_c_;
    // Each end's delay line (into end_delays_), -1 where its pipe keeps whole reaches only.
    std::vector<int32_t> conn_delay_;
    std::vector<EndDelay> end_delays_;

    // Nodes.
    std::vector<std::string> node_id_;
    std::vector<NodeRole> node_role_;
    std::vector<double> node_elevation_, node_head_, node_invB_sum_, node_char_sum_;
    std::vector<double> base_demand_, demand_now_, fixed_head_;
    std::vector<Imposed> node_imposed_;
    std::vector<const Series*> node_series_;
    std::vector<int32_t> plain_nodes_, fixed_nodes_, imposed_nodes_;
    // Q0 / sqrt(p0) of each junction whose outflow follows the orifice law, 0 elsewhere; empty
    // with fixed demands. Those junctions not joined to point elements are solved on their own.
    std::vector<double> orifice_k_;
    std::vector<uint8_t> orifice_node_;  // follows the orifice law
    std::vector<int32_t> orifice_plain_nodes_, orifice_cluster_nodes_;
    // Junctions whose demand condition gives the outflow at the steady pressure p0, and 1 / sqrt(p0).
    std::vector<int32_t> orifice_conditioned_nodes_;
    std::vector<double> orifice_conditioned_scale_;

    // Pumps, then valves, then lumped pipes, as point links.
    int32_t pump_count_ = 0;
    int32_t lumped_begin_ = 0;
    std::vector<std::string> link_id_;
    std::vector<LinkKind> link_kind_;
    std::vector<int32_t> link_from_, link_to_;
    std::vector<double> link_flow_;
    std::vector<uint8_t> link_open_;
    std::vector<const PumpCurve*> pump_curve_;
    std::vector<double> pump_speed_, pump_offset_, pump_trip_, pump_inertia_, pump_omega_, pump_efficiency_;
    std::vector<uint8_t> pump_running_;
    std::vector<uint8_t> valve_shut_;  // shut throughout the run
    std::vector<ValveLaw> valve_law_;
    std::vector<double> valve_K_, valve_opening_;
    std::vector<const Series*> valve_schedule_;
    // Lumped pipes: the pipe each stands for, its whole friction coefficient and inertia L / (g A).
    std::vector<int32_t> lumped_pipe_;
    std::vector<double> lumped_R_, lumped_inertia_;
    // Per node, half the storage g A L / a^2 (m2) of each lumped pipe ending there; empty without any.
    std::vector<double> node_lumped_storage_;
    // The dead-end junction whose outflow a valve sets (DEADENDVALVES FLOW), -1 elsewhere; per node,
    // whether a valve sets its outflow.
    std::vector<int32_t> valve_outlet_;
    std::vector<uint8_t> node_valve_outlet_;
    std::vector<uint8_t> node_at_rest_;  // group nodes at rest in the current solve
    double vapour_head_ = kWaterVapourHead;  // absolute, m of water

    // Storages (tanks and surge tanks), air vessels, relief valves.
    int32_t tank_count_ = 0;
    std::vector<std::string> storage_id_, vessel_id_, relief_id_;
    std::vector<int32_t> storage_node_, vessel_node_, relief_node_;
    std::vector<double> storage_area_, storage_loss_, storage_flow_, storage_level_;
    std::vector<double> vessel_flow_, vessel_volume_, vessel_constant_, vessel_exponent_;
    std::vector<double> vessel_loss_in_, vessel_loss_out_;
    std::vector<double> relief_set_, relief_discharge_, relief_flow_;

    // Column separation. Q_ holds the flow on the downstream side of each point, Qu_ the upstream
    // side's; they differ only where a cavity is open. Volumes in m3, vapour heads in m (gauge
    // head at the section's elevation; -infinity where no cavity can form).
    bool cavities_ = false;
    std::vector<double> Qu_, Qu_next_;
    std::vector<double> point_cavity_;
    std::vector<double> pipe_vapour_head_, pipe_vapour_slope_;  // at the start point, change per reach
    std::vector<uint8_t> pipe_separated_;  // some point of the pipe had a cavity or two flows last step
    std::vector<double> node_vapour_head_, node_cavity_, node_cavity_growth_;
    std::vector<uint8_t> node_cavity_open_;  // cluster nodes held at vapour head in the current solve

    // Point-element groups, their linear systems, and the Newton workspace sized for the largest.
    std::vector<Cluster> clusters_;
    std::vector<GroupSystem> group_systems_;
    std::vector<double> unknowns_, newton_step_, cluster_start_;  // cluster_start_: node heads first
    std::vector<int32_t> local_index_;  // node -> position in its cluster's unknowns

    // The parts the large loops of a step are split into (step_workers.h): part k takes the nodes,
    // pipes and points from entry k to entry k + 1 of these, balanced by connections, reaches and
    // points. Without workers there is one part.
    std::unique_ptr<StepWorkers> workers_;
    std::vector<std::size_t> node_part_, pipe_part_, point_part_;
    std::vector<uint8_t> part_plausible_;
};

}  // namespace vuzizi::transient
