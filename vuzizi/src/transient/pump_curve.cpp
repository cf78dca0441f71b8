// Pump head gain with the affinity laws h(Q, n) = n^2 h(Q / n).
#include "pump_curve.h"

#include <cmath>
#include <cstddef>

#include "hydraulics/pump_curve.h"

namespace vuzizi::transient {

namespace {

// Speeds below this act as this: the affinity scaling divides by n.
constexpr double kSlowestSpeed = 1e-6;

PumpCurve::Gain table_gain(const std::vector<double>& flow, const std::vector<double>& head, double q) {
    const std::size_t n = flow.size();
    if (n == 1) return {head[0], 0.0};
    std::size_t hi = 1;
    while (hi + 1 < n && flow[hi] < q) ++hi;
    const double slope = (head[hi] - head[hi - 1]) / (flow[hi] - flow[hi - 1]);
    return {head[hi - 1] + slope * (q - flow[hi - 1]), slope};
}

}  // namespace

PumpCurve::Gain PumpCurve::at(double q, double n) const {
    if (n < kSlowestSpeed) n = kSlowestSpeed;
    if (!table_flow.empty()) {
        const Gain rated = table_gain(table_flow, table_head, q / n);
        return {n * n * rated.head, n * rated.slope};
    }
    // n^2 shutoff - coefficient n^(2-c) q^c, which stays finite as n goes to zero.
    const PowerLoss loss =
        power_law_loss(coefficient * std::pow(n, 2.0 - exponent), exponent, n * linear_below, std::fabs(q));
    return {n * n * shutoff - loss.loss, -loss.slope};
}

}  // namespace vuzizi::transient
