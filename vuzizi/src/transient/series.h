// A time series followed by a boundary condition or a valve: linear between points, held outside.
#pragma once

#include <cstddef>
#include <vector>

namespace vuzizi::transient {

struct Series {
    std::vector<double> times;   // s, in increasing order
    std::vector<double> values;

    bool empty() const { return times.empty(); }

    // The first value before the first point, the last after the last point.
    double at(double t) const {
        const std::size_t n = times.size();
        if (n == 0) return 0.0;
        if (t <= times[0]) return values[0];
        if (t >= times[n - 1]) return values[n - 1];
        std::size_t hi = 1;
        while (times[hi] < t) ++hi;
        const double span = times[hi] - times[hi - 1];
        if (span <= 0.0) return values[hi];
        const double w = (t - times[hi - 1]) / span;
        return values[hi - 1] + w * (values[hi] - values[hi - 1]);
    }
};

}  // namespace vuzizi::transient
