// Head gain of a pump as a function of flow and relative speed (affinity laws).
#pragma once

#include <vector>

namespace vuzizi::transient {

// At rated speed the gain is shutoff - coefficient * Q^exponent, or, when `table_flow` is
// given, the piecewise-linear curve through the table (extended along its end segments).
struct PumpCurve {
    double shutoff = 0.0;      // m
    double coefficient = 0.0;  // m / (m3/s)^exponent
    double exponent = 2.0;
    double linear_below = 0.0;  // m3/s at rated speed: below it the law follows its chord
    std::vector<double> table_flow;  // m3/s, increasing
    std::vector<double> table_head;  // m

    struct Gain {
        double head;     // m
        double slope;    // dhead/dQ
    };

    // Gain at flow q >= 0 and relative speed n > 0.
    Gain at(double q, double n) const;
};

}  // namespace vuzizi::transient
