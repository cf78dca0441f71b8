// Time step search: the shortest travel time divided by 1, 2, 3, ... until every pipe fits.
#include "reach_plan.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace vuzizi::transient {

namespace {

constexpr int kMaxSubdivisions = 2000;   // divisions of the shortest travel time tried
constexpr int kBudgetScanSteps = 400;    // steps tried between the budget step and twice it
constexpr double kStepWithoutPipes = 0.1;  // s, a network of point elements only

// Reach count standing for "over the budget": counts are compared as doubles before they are
// converted, so a pipe of 1e300 travel steps never overflows an integer.
constexpr int64_t kOverBudget = kMaxReaches + 1;

struct Fit {
    double time_step = 0.0;
    int64_t total = 0;
    double adjustment = 0.0;
    std::size_t most_divided = 0;  // pipe with the most reaches
};

Fit evaluate(const std::vector<double>& travel, double dt) {
    Fit fit{dt, 0, 0.0, 0};
    double most = 0.0;
    for (std::size_t i = 0; i < travel.size(); ++i) {
        const double n = std::max(1.0, std::round(travel[i] / dt));
        if (n > most) {
            most = n;
            fit.most_divided = i;
        }
        if (!(n <= static_cast<double>(kMaxReaches - fit.total)) || fit.total >= kOverBudget) {
            fit.total = kOverBudget;
        } else {
            fit.total += static_cast<int64_t>(n);
        }
        fit.adjustment = std::max(fit.adjustment, std::fabs(travel[i] / (n * dt) - 1.0));
    }
    return fit;
}

bool usable(const Fit& fit) {
    return fit.total <= kMaxReaches && fit.time_step > 0.0 && std::isfinite(fit.time_step);
}

Fit search(const std::vector<double>& travel) {
    const double shortest = *std::min_element(travel.begin(), travel.end());
    Fit best;
    bool found = false;
    for (int k = 1; k <= kMaxSubdivisions; ++k) {
        const Fit fit = evaluate(travel, shortest / k);
        if (!usable(fit)) break;
        if (!found || fit.adjustment < best.adjustment) {
            best = fit;
            found = true;
        }
        if (fit.adjustment <= kWaveSpeedTolerance) return fit;
    }
    if (found) return best;
    // The shortest pipe alone would exceed the budget: spread the budget over the network and
    // let the pipes shorter than one reach take the adjustment.
    double sum = 0.0;
    for (double t : travel) sum += t;
    const double base = sum / static_cast<double>(kMaxReaches);
    for (int m = 0; m <= kBudgetScanSteps; ++m) {
        const Fit fit = evaluate(travel, base * (1.0 + static_cast<double>(m) / kBudgetScanSteps));
        if (!usable(fit)) continue;
        if (!found || fit.adjustment < best.adjustment) {
            best = fit;
            found = true;
        }
    }
    if (!found) best = evaluate(travel, 2.0 * base);
    return best;
}

// Refuses (naming the pipe) a step that would slow a pipe's wave more than kMaxReachStretch times.
bool stretch_fits(const std::vector<Pipe>& pipes, const std::vector<double>& travel, double dt, bool requested,
                  std::string& error) {
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        if (dt / travel[i] <= kMaxReachStretch) continue;
        std::ostringstream msg;
        msg << "pipe " << pipes[i].id << ": its travel time of " << travel[i] << " s is more than "
            << kMaxReachStretch << " times shorter than the time step of " << dt << " s";
        if (!requested) {
            const auto longest =
                static_cast<std::size_t>(std::max_element(travel.begin(), travel.end()) - travel.begin());
            msg << " that pipe " << pipes[longest].id << " (travel time " << travel[longest] << " s) needs within "
                << kMaxReaches << " reaches";
        }
        error = msg.str();
        return false;
    }
    return true;
}

}  // namespace

bool plan_reaches(const std::vector<Pipe>& pipes, double requested_step, ReachPlan& plan, std::string& error) {
    std::vector<double> travel;
    travel.reserve(pipes.size());
    for (const Pipe& p : pipes) {
        const double travel_time = p.length / p.wave_speed;
        if (!(p.length > 0.0) || !(p.wave_speed > 0.0) || !(travel_time > 0.0) || !std::isfinite(travel_time)) {
            std::ostringstream msg;
            msg << "pipe " << p.id << ": length " << p.length << " m and wave speed " << p.wave_speed
                << " m/s do not give a travel time";
            error = msg.str();
            return false;
        }
        if (!(p.diameter > 0.0)) {
            error = "pipe " + p.id + ": diameter must be positive";
            return false;
        }
        travel.push_back(travel_time);
    }
    Fit fit;
    if (requested_step > 0.0)
        fit = travel.empty() ? Fit{requested_step, 0, 0.0, 0} : evaluate(travel, requested_step);
    else
        fit = travel.empty() ? Fit{kStepWithoutPipes, 0, 0.0, 0} : search(travel);
    if (!usable(fit)) {
        std::ostringstream msg;
        msg << "pipe " << pipes[fit.most_divided].id << ": a time step of " << fit.time_step
            << " s divides the network into more than " << kMaxReaches << " reaches";
        error = msg.str();
        return false;
    }
    if (!stretch_fits(pipes, travel, fit.time_step, requested_step > 0.0, error)) return false;
    plan.time_step = fit.time_step;
    plan.total_reaches = fit.total;
    plan.largest_adjustment = fit.adjustment;
    plan.reaches.assign(pipes.size(), 1);
    plan.wave_speed.assign(pipes.size(), 0.0);
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        const double n = std::max(1.0, std::round(travel[i] / fit.time_step));
        plan.reaches[i] = static_cast<int32_t>(n);
        plan.wave_speed[i] = pipes[i].length / (n * fit.time_step);
    }
    return true;
}

}  // namespace vuzizi::transient
