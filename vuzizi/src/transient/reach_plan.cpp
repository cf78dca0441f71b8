// Time step rule: bounded by the fastest imposed event and by the share of the network that may be
// lumped, then lowered (within kStepSearchSpan) to the largest step at which every pipe that keeps
// reaches fits a whole number of them within the wave-speed tolerance.
#include "reach_plan.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>

#include "end_delay.h"

namespace vuzizi::transient {

namespace {

constexpr double kStepWithoutPipes = 0.1;    // s, a network of point elements only
constexpr std::size_t kMaxCandidates = 5'000;  // steps tried below the bound
constexpr double kBudget = static_cast<double>(kMaxReaches);
// A step the run would choose beyond this (s) comes of a pipe out of all proportion: refused.
constexpr double kLongestStep = 3600.0;

double adjustment(double travel, double dt) {
    return std::fabs(travel / (std::max(1.0, std::round(travel / dt)) * dt) - 1.0);
}

}  // namespace

bool lumps(double travel, double dt) { return travel < dt; }

namespace {

// The pipes sorted by travel time, with what the search needs of them.
struct Travel {
    const std::vector<double>& time;
    std::vector<std::size_t> order;  // ascending travel time
    double tolerance;
    double fit_window;  // a pipe longer than this many steps fits within the tolerance at any step

    std::vector<std::size_t>::const_iterator from(double t) const {
        return std::lower_bound(order.begin(), order.end(), t, [&](std::size_t i, double v) { return time[i] < v; });
    }

    // Largest adjustment over the pipes that keep reaches at `dt` and might exceed the tolerance,
    // or a value above `limit` as soon as one exceeds it.
    double worst(double dt, double limit) const {
        auto first = from(dt);
        double worst_seen = 0.0;
        for (auto it = first; it != order.end() && time[*it] <= fit_window * dt; ++it) {
            worst_seen = std::max(worst_seen, adjustment(time[*it], dt));
            if (worst_seen > limit) break;
        }
        return worst_seen;
    }
};

struct Bound {
    double step;
    StepSource source;
    std::size_t pipe;  // the pipe setting a Pipe bound
};

// The step at which the pipes shorter than it are at most kLumpedShare of the pipes, or those of
// negligible travel time beside the median pipe's: the travel time of the first pipe beyond.
Bound lumping_bound(const Travel& t) {
    auto allowed = static_cast<std::size_t>(std::floor(kLumpedShare * static_cast<double>(t.order.size())));
    const double median = t.time[t.order[t.order.size() / 2]];
    allowed = std::max(allowed, static_cast<std::size_t>(t.from(kNegligibleTravel * median) - t.order.begin()));
    const std::size_t i = t.order[std::min(allowed, t.order.size() - 1)];
    return {t.time[i], StepSource::Pipe, i};
}

// Steps in [bound / kStepSearchSpan, bound] at which a pipe that might miss the tolerance fits
// exactly, largest first, with the bound itself; each with the pipe it fits.
std::vector<std::pair<double, std::size_t>> candidate_steps(const Travel& t, const Bound& bound, double low) {
    std::vector<std::pair<double, std::size_t>> steps = {{bound.step, bound.pipe}};
    for (std::size_t i : t.order) {
        if (t.time[i] > t.fit_window * bound.step) break;
        for (double k = std::max(1.0, std::ceil(t.time[i] / bound.step)); t.time[i] / k >= low; ++k) {
            steps.emplace_back(t.time[i] / k, i);
            if (steps.size() > 4 * kMaxCandidates) break;
        }
    }
    std::sort(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    steps.erase(std::unique(steps.begin(), steps.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                steps.end());
    if (steps.size() > kMaxCandidates) steps.resize(kMaxCandidates);
    return steps;
}

// The largest candidate within the tolerance, searched down to kStepSearchSpan below the bound or,
// on a network that stays cheap, down to the step at which it takes kCheapReaches. Without one, the
// least adjusted candidate among those that keep the network cheap, or the bound itself.
std::pair<double, std::size_t> search(const Travel& t, const Bound& bound, double floor) {
    const double total = std::accumulate(t.time.begin(), t.time.end(), 0.0);
    const double cheap = total / static_cast<double>(kCheapReaches);
    const double low = std::max(floor, std::min(bound.step / kStepSearchSpan, cheap));
    const auto steps = candidate_steps(t, bound, low);
    auto best = steps.front();
    double best_worst = kNever;
    for (const auto& s : steps) {
        const bool affordable = s.first >= cheap;
        const double w = t.worst(s.first, affordable ? best_worst : t.tolerance);
        if (w <= t.tolerance) return s;
        if (affordable && w < best_worst) {
            best_worst = w;
            best = s;
        }
    }
    return best;
}

bool check_pipes(const std::vector<Pipe>& pipes, std::vector<double>& travel, std::string& error) {
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
    return true;
}

}  // namespace

bool plan_reaches(const std::vector<Pipe>& pipes, const StepRule& rule, ReachPlan& plan, std::string& error) {
    std::vector<double> travel;
    if (!check_pipes(pipes, travel, error)) return false;
    plan = ReachPlan();
    if (rule.requested_step > 0.0) {
        plan.time_step = rule.requested_step;
        plan.source = StepSource::Requested;
    } else if (travel.empty()) {
        const bool by_event = rule.event_step < kStepWithoutPipes;
        plan.time_step = by_event ? rule.event_step : kStepWithoutPipes;
        plan.source = by_event ? StepSource::Event : StepSource::NoPipes;
        if (by_event) plan.source_id = rule.event_id;
    } else {
        Travel t{travel, std::vector<std::size_t>(travel.size()), rule.tolerance, 0.5 / rule.tolerance + 1.0};
        std::iota(t.order.begin(), t.order.end(), std::size_t{0});
        std::stable_sort(t.order.begin(), t.order.end(), [&](std::size_t a, std::size_t b) { return travel[a] < travel[b]; });
        Bound bound = lumping_bound(t);
        if (rule.event_step < bound.step) bound = {rule.event_step, StepSource::Event, bound.pipe};
        // Below this step the network would take more reaches than the budget.
        const double floor = std::accumulate(travel.begin(), travel.end(), 0.0) / kBudget;
        bound.step = std::max(bound.step, floor);
        const auto chosen = search(t, bound, floor);
        plan.time_step = chosen.first;
        plan.source = bound.source;
        plan.source_id = bound.source == StepSource::Event ? rule.event_id : pipes[chosen.second].id;
    }
    const double dt = plan.time_step;
    if (plan.source != StepSource::Requested && !(dt <= kLongestStep)) {
        const std::size_t longest =
            static_cast<std::size_t>(std::max_element(travel.begin(), travel.end()) - travel.begin());
        std::ostringstream msg;
        msg << "pipe " << pipes[longest].id << ": its travel time of " << travel[longest] << " s sets a time step of "
            << dt << " s, longer than the longest of " << kLongestStep << " s";
        error = msg.str();
        return false;
    }
    plan.reaches.assign(pipes.size(), 0);
    plan.wave_speed.assign(pipes.size(), 0.0);
    plan.end_delay.assign(pipes.size(), 0.0);
    // Counts are summed as doubles: a pipe of 1e300 steps never overflows an integer.
    double total = 0.0;
    double most = 0.0;
    std::size_t most_divided = 0;
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        if (lumps(travel[i], dt)) continue;
        const double n = std::max(1.0, std::round(travel[i] / dt));
        total += n;
        if (n > most) {
            most = n;
            most_divided = i;
        }
    }
    if (!(total <= kBudget)) {
        std::ostringstream msg;
        msg << "pipe " << pipes[most_divided].id << ": a time step of " << dt << " s divides the network into more than "
            << kMaxReaches << " reaches";
        error = msg.str();
        return false;
    }
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        plan.wave_speed[i] = pipes[i].wave_speed;
        if (lumps(travel[i], dt)) {
            ++plan.lumped_count;
            continue;
        }
        double n = std::max(1.0, std::round(travel[i] / dt));
        double a = std::fabs(travel[i] / (n * dt) - 1.0);
        if (rule.interpolate && a > rule.tolerance) {
            // Whole reaches that the wave crosses early, and the rest of its travel time waited at the end:
            // a pipe of two steps or more gives up a reach so that its delay, of 1 to 2 steps, is
            // interpolated centred (end_delay.h).
            const double steps = travel[i] / dt;
            n = std::floor(steps);
            if (n >= 1.0 + kCubicDelay) n -= kCubicDelay;
            plan.end_delay[i] = std::clamp(steps - n, 0.0, 1.0 + kCubicDelay);
            a = 0.0;
            ++plan.interpolated_count;
        }
        plan.reaches[i] = static_cast<int32_t>(n);
        // An interpolated pipe keeps its travel time, so its own wave speed.
        plan.wave_speed[i] = plan.end_delay[i] > 0.0 ? pipes[i].wave_speed : pipes[i].length / (n * dt);
        if (plan.most_adjusted < 0 || a > plan.largest_adjustment) {
            plan.largest_adjustment = a;
            plan.most_adjusted = static_cast<int32_t>(i);
        }
    }
    // An interpolated pipe may run a reach fewer than the count budgeted above.
    plan.total_reaches = std::accumulate(plan.reaches.begin(), plan.reaches.end(), int64_t{0});
    return true;
}

}  // namespace vuzizi::transient
