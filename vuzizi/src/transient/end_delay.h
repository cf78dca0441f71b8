// The delay a characteristic waits at a pipe end, so that an interpolated pipe keeps its own travel time.
#pragma once

#include <algorithm>
#include <array>

namespace vuzizi::transient {

// A delay of at least this many steps is interpolated by the cubic through four arrivals, centred on it;
// a pipe of two steps or more gives up a reach to wait that long.
inline constexpr double kCubicDelay = 1.0;

// One pipe end's delay line: the value that arrived `delay` steps ago, from this step's arrival and the
// last three, by Lagrange interpolation. A delay of 1 to 2 steps takes the cubic through the arrivals
// 0 .. 3 steps ago, centred on it; a shorter one (a pipe of one reach) the quadratic through 0 .. 2 steps
// ago. Neither amplifies a swing of any frequency, and a swing of 16 steps per period loses 0.06 % where
// linear interpolation takes 2 %. The value is kept between the two arrivals around the delay, so a
// front never overshoots (the cubic alone would by 6 % of its jump, and ring where fronts follow each
// other within a few steps); that costs at most what linear interpolation would lose, and only where an
// extremum falls between two arrivals.
class EndDelay {
public:
    // Starts from the steady state, in which every past arrival was `steady`.
    EndDelay(double delay, double steady) : history_{steady, steady, steady} {
        const double D = delay;
        if (D >= kCubicDelay) {
            weight_ = {-(D - 1.0) * (D - 2.0) * (D - 3.0) / 6.0, D * (D - 2.0) * (D - 3.0) / 2.0,
                       -D * (D - 1.0) * (D - 3.0) / 2.0, D * (D - 1.0) * (D - 2.0) / 6.0};
            bracket_ = 1;
        } else {
            weight_ = {(D - 1.0) * (D - 2.0) / 2.0, -D * (D - 2.0), D * (D - 1.0) / 2.0, 0.0};
            bracket_ = 0;
        }
    }

    // The delayed value, given this step's arrival; the arrival joins the history.
    double pass(double arrived) {
        const std::array<double, 4> s = {arrived, history_[0], history_[1], history_[2]};
        const double out = weight_[0] * s[0] + weight_[1] * s[1] + weight_[2] * s[2] + weight_[3] * s[3];
        const double a = s[bracket_], b = s[bracket_ + 1];
        history_ = {arrived, history_[0], history_[1]};
        return std::clamp(out, std::min(a, b), std::max(a, b));
    }

private:
    std::array<double, 4> weight_{};
    std::array<double, 3> history_;
    int bracket_ = 0;  // the arrivals bracket_ and bracket_ + 1 steps ago enclose the delay
};

}  // namespace vuzizi::transient
