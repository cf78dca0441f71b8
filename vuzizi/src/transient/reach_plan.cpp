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

struct Fit {
    double time_step = 0.0;
    int64_t total = 0;
    double adjustment = 0.0;
};

Fit evaluate(const std::vector<double>& travel, double dt) {
    Fit fit{dt, 0, 0.0};
    for (double t : travel) {
        const double n = std::max(1.0, std::round(t / dt));
        fit.total += static_cast<int64_t>(n);
        fit.adjustment = std::max(fit.adjustment, std::fabs(t / (n * dt) - 1.0));
    }
    return fit;
}

Fit search(const std::vector<double>& travel) {
    const double shortest = *std::min_element(travel.begin(), travel.end());
    Fit best;
    bool found = false;
    for (int k = 1; k <= kMaxSubdivisions; ++k) {
        const Fit fit = evaluate(travel, shortest / k);
        if (fit.total > kMaxReaches) break;
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
        if (fit.total > kMaxReaches) continue;
        if (!found || fit.adjustment < best.adjustment) {
            best = fit;
            found = true;
        }
    }
    if (!found) best = evaluate(travel, 2.0 * base);
    return best;
}

}  // namespace

bool plan_reaches(const std::vector<Pipe>& pipes, double requested_step, ReachPlan& plan, std::string& error) {
    std::vector<double> travel;
    travel.reserve(pipes.size());
    for (const Pipe& p : pipes) {
        if (!(p.length > 0.0) || !(p.wave_speed > 0.0) || !std::isfinite(p.length / p.wave_speed)) {
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
        travel.push_back(p.length / p.wave_speed);
    }
    Fit fit;
    if (requested_step > 0.0) {
        fit = travel.empty() ? Fit{requested_step, 0, 0.0} : evaluate(travel, requested_step);
        if (fit.total > kMaxReaches) {
            std::ostringstream msg;
            msg << "time step " << requested_step << " s needs " << fit.total << " reaches, more than "
                << kMaxReaches;
            error = msg.str();
            return false;
        }
    } else {
        fit = travel.empty() ? Fit{kStepWithoutPipes, 0, 0.0} : search(travel);
    }
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
