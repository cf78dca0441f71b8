// Small networks with an exact steady state, built for the solver tests.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "model.h"

namespace vuzizi::transient::testing {

inline double area_of(double d) { return std::numbers::pi * d * d / 4.0; }

// Darcy head loss of a pipe at flow q.
inline double darcy_loss(double f, double length, double d, double q) {
    const double a = area_of(d);
    return f * length / d * q * std::fabs(q) / (2.0 * kGravity * a * a);
}

inline Node junction(const std::string& id, double elevation, double head, double demand) {
    Node n;
    n.id = id;
    n.elevation = elevation;
    n.head = head;
    n.demand = demand;
    return n;
}

inline Node reservoir(const std::string& id, double head) {
    Node n;
    n.id = id;
    n.kind = NodeKind::Reservoir;
    n.elevation = head;
    n.head = head;
    return n;
}

inline Pipe pipe(const std::string& id, int32_t from, int32_t to, double length, double d, double a, double f,
                 double q) {
    Pipe p;
    p.id = id;
    p.from = from;
    p.to = to;
    p.length = length;
    p.diameter = d;
    p.wave_speed = a;
    p.friction_factor = f;
    p.flow = q;
    return p;
}

// A valve carrying `q` in the steady state, its opening following `times`/`openings`.
inline Valve valve(const std::string& id, int32_t from, int32_t to, double q, std::vector<double> times,
                   std::vector<double> openings) {
    Valve v;
    v.id = id;
    v.from = from;
    v.to = to;
    v.flow = q;
    v.opening.times = std::move(times);
    v.opening.values = std::move(openings);
    return v;
}

// Reservoir R (head h0) -- pipe P -- node END drawing q0, steady by Darcy friction f.
struct Pipeline {
    double h0 = 100.0, length = 1000.0, diameter = 0.5, wave_speed = 1000.0, friction = 0.0, q0 = 0.2;
    double end_elevation = 0.0;

    TransientModel model() const {
        TransientModel m;
        const double h_end = h0 - darcy_loss(friction, length, diameter, q0);
        m.nodes = {reservoir("R", h0), junction("END", end_elevation, h_end, q0)};
        m.pipes = {pipe("P", 0, 1, length, diameter, wave_speed, friction, q0)};
        return m;
    }
};

// Imposes on node `n` a demand that drops from its steady value to zero at once.
inline void stop_demand(TransientModel& m, int32_t n) {
    Node& node = m.nodes[static_cast<std::size_t>(n)];
    node.imposed = Imposed::Demand;
    node.series.times = {0.0};
    node.series.values = {0.0};
}

}  // namespace vuzizi::transient::testing
