// Boundary conditions stored by SetNoeudQor for the next run, per node index.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace vuzizi {

// What a series imposes on its node; values as NODE_MODE_* of the node record.
enum class BoundaryMode : int32_t { Head = 0, Demand = 1, Pressure = 2 };

struct BoundaryPoint {
    double time = 0.0;   // s from the start of the run
    double value = 0.0;  // SI: head in m, demand in m3/s, pressure as metres of fluid head
};

struct BoundaryCondition {
    BoundaryMode mode = BoundaryMode::Head;
    std::vector<BoundaryPoint> points;
};

// Keyed by the 0-based node index; a node has at most one condition, the last one set.
using BoundaryConditions = std::map<int32_t, BoundaryCondition>;

}  // namespace vuzizi
