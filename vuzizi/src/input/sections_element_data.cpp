// Sections [DEMANDS], [STATUS], [COORDINATES] and [VERTICES]: data on nodes and links.
#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

void read_demand(ParseContext& context, const SectionLine& line) {
    const auto id = context.token(line, 0, "junction identifier");
    if (!id) return;
    const int32_t index = context.node_ref(*id, "demand");
    if (index == kNone) return;
    Node& node = context.network.nodes[index];
    const std::string owner = "junction '" + node.id + "'";
    if (node.kind != NodeKind::Junction) {
        context.error(Error::InvalidValue, "demand on '" + node.id + "', which is not a junction");
        return;
    }
    const auto value = context.number(line, 1, "demand of " + owner);
    if (!value) return;
    Demand demand;
    demand.base = context.si(Quantity::Demand, *value);
    if (line.tokens.size() > 2) {
        demand.pattern = context.pattern_ref(line.tokens[2], owner);
        if (demand.pattern == kNone) return;
    }
    demand.category = std::string(line.comment);
    // The first [DEMANDS] line of a junction replaces the demand given in [JUNCTIONS].
    if (!node.demands_replaced) {
        node.demands.clear();
        node.demands_replaced = true;
    }
    node.demands.push_back(std::move(demand));
}

void read_status(ParseContext& context, const SectionLine& line) {
    const auto id = context.token(line, 0, "link identifier");
    const auto word = context.token(line, 1, "status or setting");
    if (!id || !word) return;
    const int32_t index = context.link_ref(*id, "status");
    if (index == kNone) return;
    Link& link = context.network.links[index];
    const std::string owner = "link '" + link.id + "'";
    if (link.check_valve) {
        context.error(Error::InvalidValue, "status of " + owner + ", a pipe with a check valve, cannot be set");
        return;
    }
    if (equals_ignoring_case(*word, "OPEN") || equals_ignoring_case(*word, "CLOSED")) {
        const bool open = equals_ignoring_case(*word, "OPEN");
        link.status = open ? LinkStatus::Open : LinkStatus::Closed;
        if (link.kind == LinkKind::Pump && open && link.speed == 0.0) link.speed = 1.0;
        return;
    }
    const auto value = parse_number(*word);
    if (!value) {
        context.error(Error::InvalidKeyword, "status '" + std::string(*word) + "' of " + owner);
        return;
    }
    if (*value < 0.0) {
        context.error(Error::InvalidValue, "setting of " + owner + " must not be negative");
        return;
    }
    switch (link.kind) {
        case LinkKind::Pipe:
            context.error(Error::InvalidValue, "a pipe takes OPEN or CLOSED, not a setting (" + owner + ")");
            return;
        case LinkKind::Pump:
            link.speed = *value;
            link.status = *value == 0.0 ? LinkStatus::Closed : LinkStatus::Open;
            return;
        case LinkKind::Valve:
            if (link.valve_type == ValveType::GPV) {
                context.error(Error::InvalidValue, "a general purpose valve takes OPEN or CLOSED (" + owner + ")");
                return;
            }
            link.setting = valve_setting_to_si(context.network.units, link.valve_type, *value);
            link.status = LinkStatus::Active;
            return;
    }
}

std::optional<Point> read_point(ParseContext& context, const SectionLine& line, const std::string& owner) {
    const auto x = context.number(line, 1, "x", owner);
    const auto y = context.number(line, 2, "y", owner);
    if (!x || !y) return std::nullopt;
    return Point{*x, *y};
}

void read_coordinates(ParseContext& context, const SectionLine& line) {
    const auto id = context.token(line, 0, "node identifier");
    if (!id) return;
    const int32_t index = context.node_ref(*id, "coordinates");
    if (index == kNone) return;
    if (const auto point = read_point(context, line, "node '" + std::string(*id) + "'"))
        context.network.nodes[index].coordinates = *point;
}

void read_vertex(ParseContext& context, const SectionLine& line) {
    const auto id = context.token(line, 0, "link identifier");
    if (!id) return;
    const int32_t index = context.link_ref(*id, "vertices");
    if (index == kNone) return;
    if (const auto point = read_point(context, line, "link '" + std::string(*id) + "'"))
        context.network.links[index].vertices.push_back(*point);
}

const SectionRegistration kDemands("DEMANDS", kPhaseElementData, read_demand);
const SectionRegistration kStatus("STATUS", kPhaseElementData, read_status);
const SectionRegistration kCoordinates("COORDINATES", kPhaseElementData, read_coordinates);
const SectionRegistration kVertices("VERTICES", kPhaseElementData, read_vertex);

}  // namespace
}  // namespace vuzizi
