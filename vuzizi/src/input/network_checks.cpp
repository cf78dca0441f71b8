// Checks of a network once every section is read: supply, connectivity, curves, valves; and the
// report of demands that closed links cut off.
#include <cfloat>
#include <cmath>
#include <map>
#include <string>

#include "hydraulics/pump_curve.h"
#include "hydraulics/supply_paths.h"
#include "input/model_reader.h"
#include "records.h"

namespace vuzizi {
namespace {

// Disconnected nodes named one by one before a summary line.
constexpr int kMaxNamedDisconnected = 10;

// One error per node (`detail` follows its identifier), then one line for the rest (`rest` follows
// their count).
void report_disconnected(const Network& network, const std::vector<char>& reached, const std::string& detail,
                         const std::string& rest, std::string_view file, Diagnostics& diagnostics) {
    int count = 0;
    for (std::size_t i = 0; i < network.nodes.size(); ++i) {
        if (reached[i]) continue;
        if (count < kMaxNamedDisconnected)
            diagnostics.error({file, network.nodes[i].line}, Error::Disconnected,
                              "junction '" + network.nodes[i].id + "'" + detail);
        ++count;
    }
    if (count > kMaxNamedDisconnected)
        diagnostics.error({file, 0}, Error::Disconnected,
                          std::to_string(count - kMaxNamedDisconnected) + " more junctions" + rest);
}

// A value read within range can still overflow once converted to SI (a setting in bar, a power in
// kW or hp, a demand times the demand multiplier): refused at the element's line.
void check_finite_values(const Network& network, std::string_view file, Diagnostics& diagnostics) {
    // The element is named only for a message: this runs over every element of large networks.
    auto check = [&](double value, const char* what, const char* kind, const std::string& id, int line) {
        if (!std::isfinite(value))
            diagnostics.error({file, line}, Error::InvalidValue,
                              std::string(what) + " of " + kind + " '" + id +
                                  "' is beyond the range of numbers in SI units");
    };
    // The node record reports elevation, head and demand as 32-bit floats in the model's units
    // (values that are not finite at all are reported by `check`).
    const UnitSet& units = network.units;
    auto check_float = [&](double value, Quantity quantity, const char* what, const Node& node) {
        const double reported = units.from_si(quantity, value);
        if (std::isfinite(reported) && std::fabs(reported) > static_cast<double>(FLT_MAX))
            diagnostics.error({file, node.line}, Error::InvalidValue,
                              std::string(what) + " of node '" + node.id + "' is beyond the range of the node record");
    };
    for (const Node& node : network.nodes) {
        check(node.elevation, "elevation", "node", node.id, node.line);
        check_float(node.elevation, node.kind == NodeKind::Reservoir ? Quantity::Head : Quantity::Elevation,
                    node.kind == NodeKind::Reservoir ? "head" : "elevation", node);
        if (node.kind == NodeKind::Tank) check_float(node.elevation + node.max_level, Quantity::Head, "head", node);
        for (const Demand& demand : node.demands)
            check_float(demand.base * network.options.demand_multiplier, Quantity::Demand, "demand", node);
        check(node.initial_level + node.max_level + node.min_level, "level", "node", node.id, node.line);
        check(node.diameter * node.diameter + node.min_volume, "size", "node", node.id, node.line);
        for (const Demand& demand : node.demands)
            check(demand.base * network.options.demand_multiplier, "demand", "node", node.id, node.line);
    }
    for (const Link& link : network.links) {
        check(link.length, "length", "link", link.id, link.line);
        check(link.diameter * link.diameter, "diameter", "link", link.id, link.line);
        check(link.roughness, "roughness", "link", link.id, link.line);
        check(link.minor_loss, "minor loss", "link", link.id, link.line);
        check(link.power, "power", "link", link.id, link.line);
        check(link.setting, "setting", "link", link.id, link.line);
    }
}

bool strictly_increasing_x(const Curve& curve) {
    for (std::size_t i = 1; i < curve.points.size(); ++i)
        if (!(curve.points[i].x > curve.points[i - 1].x)) return false;
    return !curve.points.empty();
}

void check_links(const Network& network, std::string_view file, Diagnostics& diagnostics) {
    std::map<int32_t, std::string> controlled;  // node -> valve holding its pressure
    for (const Link& link : network.links) {
        const Location where{file, link.line};
        if (link.kind == LinkKind::Pump && link.head_curve != kNone) {
            const std::string problem = pump_curve_problem(network.curves[link.head_curve], network.units);
            if (!problem.empty())
                diagnostics.error(where, Error::InvalidCurve,
                                  "head curve '" + network.curves[link.head_curve].id + "' of pump '" + link.id + "': " + problem);
        }
        if (link.kind != LinkKind::Valve) continue;
        if (link.valve_type == ValveType::GPV && !strictly_increasing_x(network.curves[link.loss_curve])) {
            diagnostics.error(where, Error::InvalidCurve,
                              "headloss curve '" + network.curves[link.loss_curve].id + "' of valve '" + link.id +
                                  "' needs flows in increasing order");
        }
        int32_t node = kNone;
        if (link.valve_type == ValveType::PRV) node = link.to;
        if (link.valve_type == ValveType::PSV) node = link.from;
        if (node == kNone) continue;
        if (network.is_fixed_head(node)) {
            diagnostics.error(where, Error::IllegalValveConnection,
                              "valve '" + link.id + "' would control the pressure of reservoir or tank '" +
                                  network.nodes[node].id + "'");
            continue;
        }
        const auto [it, fresh] = controlled.emplace(node, link.id);
        if (!fresh)
            diagnostics.error(where, Error::IllegalValveConnection,
                              "valves '" + it->second + "' and '" + link.id + "' both control node '" +
                                  network.nodes[node].id + "'");
    }
}

}  // namespace

void check_network(const Network& network, std::string_view file, Diagnostics& diagnostics) {
    bool has_supply = false;
    for (std::size_t i = 0; i < network.nodes.size(); ++i) {
        const Node& node = network.nodes[i];
        if (network.is_fixed_head(static_cast<int32_t>(i))) has_supply = true;
        if (node.id.size() > NODE_ID_SIGNIFICANT)
            diagnostics.warning({file, node.line}, "node '" + node.id + "' has more than " +
                                                       std::to_string(NODE_ID_SIGNIFICANT) +
                                                       " characters and cannot be looked up by identifier");
    }
    if (!has_supply) {
        diagnostics.error({file, 0}, Error::NoFixedHead, "");
        return;
    }
    check_finite_values(network, file, diagnostics);
    check_links(network, file, diagnostics);
    report_disconnected(network, connected_nodes(network), "", " not connected", file, diagnostics);
}

void report_cut_off_demands(const Network& network, const SteadyState& state, std::string_view file,
                            Diagnostics& diagnostics) {
    // Junctions without a demand that are cut off count as reached: they have a defined state.
    const std::vector<char> not_held_closed = supplied_nodes(network);
    std::vector<char> held(network.nodes.size(), 1);
    std::vector<char> closed_by_solution(network.nodes.size(), 1);
    for (const int32_t node : cut_off_demands(network, supplied_in_solution(network, state)))
        (not_held_closed[node] ? closed_by_solution : held)[node] = 0;
    report_disconnected(network, held, " has a demand and closed links cut it off from every reservoir and tank",
                        " with a demand cut off by closed links", file, diagnostics);
    report_disconnected(network, closed_by_solution,
                        " has a demand that no open path supplies: links that the steady state closes (check "
                        "valves, pumps that cannot lift or are stopped, valves) cut it off from every reservoir "
                        "and tank",
                        " with a demand cut off by links that the steady state closes", file, diagnostics);
}

}  // namespace vuzizi
