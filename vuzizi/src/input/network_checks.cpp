// Checks of a network once every section is read: supply, connectivity, curves, valves.
#include <map>
#include <string>

#include "hydraulics/pump_curve.h"
#include "input/model_reader.h"
#include "records.h"

namespace vuzizi {
namespace {

// Disconnected nodes named one by one before a summary line.
constexpr int kMaxNamedDisconnected = 10;

void check_connectivity(const Network& network, std::string_view file, Diagnostics& diagnostics) {
    const std::size_t n = network.nodes.size();
    std::vector<std::vector<int32_t>> neighbours(n);
    for (const Link& link : network.links) {
        neighbours[link.from].push_back(link.to);
        neighbours[link.to].push_back(link.from);
    }
    std::vector<char> reached(n, 0);
    std::vector<int32_t> stack;
    for (std::size_t i = 0; i < n; ++i) {
        if (network.is_fixed_head(static_cast<int32_t>(i))) {
            reached[i] = 1;
            stack.push_back(static_cast<int32_t>(i));
        }
    }
    while (!stack.empty()) {
        const int32_t node = stack.back();
        stack.pop_back();
        for (const int32_t next : neighbours[node]) {
            if (!reached[next]) {
                reached[next] = 1;
                stack.push_back(next);
            }
        }
    }
    int count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (reached[i]) continue;
        if (count < kMaxNamedDisconnected)
            diagnostics.error({file, network.nodes[i].line}, Error::Disconnected, "junction '" + network.nodes[i].id + "'");
        ++count;
    }
    if (count > kMaxNamedDisconnected)
        diagnostics.error({file, 0}, Error::Disconnected,
                          std::to_string(count - kMaxNamedDisconnected) + " more junctions not connected");
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
    check_links(network, file, diagnostics);
    check_connectivity(network, file, diagnostics);
}

}  // namespace vuzizi
