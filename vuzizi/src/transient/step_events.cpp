// The fastest imposed event of a model, for the choice of the time step.
#include "step_events.h"

#include <cmath>
#include <numbers>

namespace vuzizi::transient {

namespace {

// Shortest duration over which the series changes from one point to the next; infinity if none.
double shortest_change(const Series& s) {
    double shortest = kNever;
    for (std::size_t i = 1; i < s.times.size(); ++i) {
        const double span = s.times[i] - s.times[i - 1];
        if (span > 0.0 && s.values[i] != s.values[i - 1]) shortest = std::min(shortest, span);
    }
    return shortest;
}

// Time for a tripped pump to run down from its steady power: I w^2 / (2 P), P = rho g Q H / eta.
double run_down_time(const TransientModel& m, const Pump& p) {
    if (!(p.trip_time < kNever) || !p.running || !(p.inertia > 0.0)) return kNever;
    const double lift = m.nodes[static_cast<std::size_t>(p.to)].head - m.nodes[static_cast<std::size_t>(p.from)].head;
    const double power = kWaterDensity * kGravity * p.flow * lift / p.efficiency;
    const double omega = p.rated_speed * 2.0 * std::numbers::pi / kSecondsPerMinute;
    const double time = p.inertia * omega * omega / (2.0 * power);
    return power > 0.0 && std::isfinite(time) ? time : kNever;
}

}  // namespace

StepRule step_rule(const TransientModel& model) {
    StepRule rule;
    rule.requested_step = model.time_step;
    rule.tolerance = model.wave_speed_tolerance;
    rule.interpolate = model.interpolate_travel;
    double fastest = kNever;
    auto consider = [&](double duration, const std::string& id) {
        if (duration < fastest) {
            fastest = duration;
            rule.event_id = id;
        }
    };
    for (const Valve& v : model.valves) consider(shortest_change(v.opening), v.id);
    for (const Pump& p : model.pumps) consider(run_down_time(model, p), p.id);
    for (const Node& n : model.nodes)
        if (n.imposed != Imposed::Nothing) consider(shortest_change(n.series), n.id);
    if (fastest < kNever)
        rule.event_step = fastest / (model.interpolate_travel ? kInterpolatedStepsPerEvent : kStepsPerEvent);
    return rule;
}

}  // namespace vuzizi::transient
