// Demands, fixed heads and pump speeds at a time, from base values and patterns.
#include <cmath>

#include "steady_state.h"

namespace vuzizi {

double pattern_factor(const Network& network, int32_t pattern, double time) {
    if (pattern == kNone) return 1.0;
    const std::vector<double>& m = network.patterns[pattern].multipliers;
    if (m.empty()) return 1.0;
    const double step = network.options.pattern_step;
    const double t = time + network.options.pattern_start;
    const double period = step > 0.0 ? std::floor(t / step) : 0.0;
    const auto index = static_cast<std::size_t>(std::fmod(period, static_cast<double>(m.size())));
    return m[index < m.size() ? index : 0];
}

double junction_demand(const Network& network, int32_t node, double time) {
    const int32_t default_pattern = network.find_pattern(network.options.default_pattern);
    double total = 0.0;
    for (const Demand& d : network.nodes[node].demands) {
        const int32_t pattern = d.pattern == kNone ? default_pattern : d.pattern;
        total += d.base * pattern_factor(network, pattern, time);
    }
    return total * network.options.demand_multiplier;
}

double fixed_head(const Network& network, int32_t node, double time) {
    const Node& n = network.nodes[node];
    if (n.kind == NodeKind::Tank) return n.elevation + n.initial_level;
    return n.elevation * pattern_factor(network, n.head_pattern, time);
}

double pump_speed(const Network& network, int32_t link, double time) {
    const Link& l = network.links[link];
    return l.speed * pattern_factor(network, l.speed_pattern, time);
}

}  // namespace vuzizi
