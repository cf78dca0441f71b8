// The initial steady state of a network by the global gradient method.
#pragma once

#include <string_view>
#include <vector>

#include "errors.h"
#include "gradient_system.h"
#include "network.h"

namespace vuzizi {

// State of a link in the solution. A valve is Active while it controls its setting;
// a pump or check valve closed by the solver itself (not by the model) is Closed as well.
enum class LinkState { Open, Closed, Active };

// One iteration of the solution: how far the flows moved and how many link states changed after it.
struct IterationRecord {
    double relative_change = 0.0;
    int valve_changes = 0;  // PRV, PSV, FCV
    int link_changes = 0;   // check valves and pumps
};

struct SteadyState {
    std::vector<double> head;    // m, per node
    std::vector<double> demand;  // m3/s, per node: outflow from the network at the node
                                 // (a reservoir or tank supplying the network has a negative one)
    std::vector<double> flow;    // m3/s, per link, positive from `from` to `to`
    std::vector<LinkState> state;
    int iterations = 0;
    double relative_change = 0.0;  // sum |dq| / sum |q| of the last iteration
    std::vector<IterationRecord> history;  // every iteration, appended to by each solve
    bool converged = false;
    // Whether the last trial left the flows within ACCURACY and every status unchanged.
    bool settled = false;
    // Set when the state kept does not balance at some junction (see kContinuityFloor): the
    // junction with the largest imbalance, and that imbalance (m3/s).
    int32_t unbalanced_node = kNone;
    double largest_imbalance = 0.0;
    int unsettled_control_line = 0;  // a junction-pressure control that did not settle at time 0
};

// A junction's flows balance when inflow minus outflow minus demand is at most ACCURACY times the
// flows that meet there, plus this floor for flows that are all round-off (m3/s).
inline constexpr double kContinuityFloor = 1.0e-9;

// Solves the steady state at time 0 within the trials and accuracy of the options. Returns None,
// SolverFailed, or NotConverged (then `out` holds the last iterate); the caller reports. Settled
// flows that do not balance at some junction (a path open but all but blocked, whose heads the
// system cannot follow) are not converged either: the iteration goes on. An unconverged state
// that does not balance has `unbalanced_node` set; such a state is never kept (every iterate of
// the method balances otherwise, so UNBALANCED CONTINUE does not cover it).
Error solve_steady_state(const Network& network, GradientSystem& system, SteadyState& out,
                         const std::vector<char>* supplied = nullptr);

// Time-0 boundary values of the network.
double pattern_factor(const Network& network, int32_t pattern, double time);
double junction_demand(const Network& network, int32_t node, double time);  // m3/s
double fixed_head(const Network& network, int32_t node, double time);       // m
double pump_speed(const Network& network, int32_t link, double time);       // relative

}  // namespace vuzizi
