// The rows and Jacobian entries that each element kind adds to a node group's Newton system.
// Unknowns are heads of the group's nodes and flows of its links and devices; every function
// adds the same entries at each call, whatever its state, so that a sparse pattern stays fixed.
#pragma once

#include "group_system.h"

namespace vuzizi::transient {

// Where a link's flow enters the system: its own unknown and those of its end nodes.
struct LinkRow {
    int row;        // the link's flow
    int from, to;   // heads of its end nodes
    bool from_fixed, to_fixed;  // end heads imposed: no continuity row takes the flow
};

// Continuity: the link's flow leaves `from` and enters `to`.
void add_link_continuity(GroupSystem& g, const LinkRow& l, const double* x);
// A shut link: no flow.
void add_shut_link(GroupSystem& g, const LinkRow& l, const double* x);
// Pump: head rise to - from equals its gain at the flow, `gain` and `slope` taken at x[row].
void add_pump(GroupSystem& g, const LinkRow& l, const double* x, double gain, double slope);
// Valve: head loss from - to = K Q|Q|.
void add_valve(GroupSystem& g, const LinkRow& l, const double* x, double K);

// Pipe shorter than the step, as a rigid column: inertia M = L / (g A) and friction R,
// implicit over the step: from - to = R Q|Q| + M (Q - Q_old) / dt.
struct LumpedColumn {
    double friction;        // R, s2/m5
    double inertia_per_dt;  // M / dt, s/m2
    double old_flow;        // Q at the start of the step, m3/s
};
void add_lumped_pipe(GroupSystem& g, const LinkRow& l, const double* x, const LumpedColumn& c);

// A device on one node: its flow unknown `row` leaves the node `node` (fixed: imposed head).
struct DeviceRow {
    int row;
    int node;
    bool node_fixed;
};

// Open chamber or tank: H = level + rise (Q + Q_old) + loss Q|Q|, the level moving with the inflow
// over the step (rise = dt / (2 area)).
struct Chamber {
    double level, rise, old_flow, loss;
};
void add_storage(GroupSystem& g, const DeviceRow& d, const double* x, const Chamber& c);

// Air vessel: H - z + atmosphere - loss Q|Q| = gas head, `gas` and `gas_slope` (dgas/dQ) taken at x[row].
struct GasCushion {
    double elevation, loss, gas, gas_slope;
};
void add_air_vessel(GroupSystem& g, const DeviceRow& d, const double* x, const GasCushion& c);

// Relief valve discharging `discharge` (slope `slope` in the head) from node row `node`.
void add_relief_valve(GroupSystem& g, int node, double discharge, double slope);

}  // namespace vuzizi::transient
