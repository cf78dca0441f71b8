// Rows of the surge devices of a node group: open chambers and tanks, air vessels, relief valves.
#include <cmath>

#include "group_elements.h"
#include "model.h"

namespace vuzizi::transient {

namespace {

void take_from_node(GroupSystem& g, const DeviceRow& d, const double* x) {
    if (d.node_fixed) return;
    g.residual(d.node) -= x[d.row];
    g.add(d.node, d.row, -1.0);
}

}  // namespace

void add_storage(GroupSystem& g, const DeviceRow& d, const double* x, const Chamber& c) {
    const double q = x[d.row];
    take_from_node(g, d, x);
    g.residual(d.row) = x[d.node] - (c.level + c.rise * (q + c.old_flow)) - c.loss * q * std::fabs(q);
    g.add(d.row, d.node, 1.0);
    g.add(d.row, d.row, -c.rise - 2.0 * c.loss * std::fabs(q));
}

void add_air_vessel(GroupSystem& g, const DeviceRow& d, const double* x, const GasCushion& c) {
    const double q = x[d.row];
    take_from_node(g, d, x);
    g.residual(d.row) = x[d.node] - c.elevation + kAtmosphericHead - c.loss * q * std::fabs(q) - c.gas;
    g.add(d.row, d.node, 1.0);
    g.add(d.row, d.row, -2.0 * c.loss * std::fabs(q) - c.gas_slope);
}

void add_relief_valve(GroupSystem& g, int node, double discharge, double slope) {
    g.residual(node) -= discharge;
    g.add(node, node, -slope);
}

}  // namespace vuzizi::transient
