// Head-gain models of pumps: power-law fit of one or three points, a table of points, or
// constant power.
#pragma once

#include <string>
#include <vector>

#include "network.h"

namespace vuzizi {

struct PumpModel {
    enum class Kind { PowerLaw, Table, ConstantPower };
    Kind kind = Kind::PowerLaw;
    // Power law, head gain H = A - B Q^C at full speed (m, m3/s).
    double a = 0.0;
    double b = 0.0;
    double c = 2.0;
    double linear_below = 0.0;  // m3/s at full speed: below it the law follows its chord (exponents below 1)
    std::vector<Point> table;  // flow (m3/s), head (m), flows increasing
    double power = 0.0;        // W, for constant power
    double weight = 0.0;       // specific weight of the fluid, N/m3

    // Head gain at flow q >= 0 and relative speed w > 0, and its derivative dH/dq (<= 0).
    void head_gain(double q, double w, double& head, double& slope) const;
    // Head gain at zero flow; above it the pump cannot deliver. Infinite for constant power.
    double shutoff_head(double w) const;
};

// A power law's loss k q^c below shutoff and its derivative, at flow q >= 0. Below `linear_below` the
// loss follows the chord from zero flow: with c below 1 the law's own slope is infinite there, which
// neither a Newton iteration nor a time step can hold.
struct PowerLoss {
    double loss;   // m
    double slope;  // dloss/dq >= 0
};
PowerLoss power_law_loss(double k, double c, double linear_below, double q);

// Empty when the curve makes a valid head curve, else what is wrong with it.
std::string pump_curve_problem(const Curve& curve, const UnitSet& units);
PumpModel make_pump_model(const Network& network, const Link& pump);

}  // namespace vuzizi
