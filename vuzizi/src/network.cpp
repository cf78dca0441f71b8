// Identifier indices of the network.
#include "network.h"

namespace vuzizi {

double valve_setting_to_si(const UnitSet& units, ValveType type, double value) {
    switch (type) {
        case ValveType::PRV:
        case ValveType::PSV:
        case ValveType::PBV: return units.to_si(Quantity::Pressure, value);
        case ValveType::FCV: return units.to_si(Quantity::Flow, value);
        case ValveType::TCV:
        case ValveType::GPV: break;
    }
    return value;
}

void Network::reserve(std::size_t node_count, std::size_t link_count) {
    nodes.reserve(node_count);
    node_index_.reserve(node_count);
    links.reserve(link_count);
    link_index_.reserve(link_count);
    transient.wave_speed.reserve(link_count);
}

int32_t Network::add_node(Node node) {
    const auto index = static_cast<int32_t>(nodes.size());
    if (!node_index_.insert(nodes, node.id, index)) return kNone;
    nodes.push_back(std::move(node));
    return index;
}

int32_t Network::add_link(Link link) {
    const auto index = static_cast<int32_t>(links.size());
    if (!link_index_.insert(links, link.id, index)) return kNone;
    links.push_back(std::move(link));
    transient.wave_speed.push_back(0.0);
    return index;
}

int32_t Network::add_curve(Curve curve) {
    const auto index = static_cast<int32_t>(curves.size());
    if (!curve_index_.insert(curves, curve.id, index)) return kNone;
    curves.push_back(std::move(curve));
    return index;
}

int32_t Network::add_pattern(Pattern pattern) {
    const auto index = static_cast<int32_t>(patterns.size());
    if (!pattern_index_.insert(patterns, pattern.id, index)) return kNone;
    patterns.push_back(std::move(pattern));
    return index;
}

}  // namespace vuzizi
