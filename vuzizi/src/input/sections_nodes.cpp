// Sections [JUNCTIONS], [RESERVOIRS] and [TANKS].
#include <cmath>

#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

constexpr std::string_view kNoCurve = "*";

// The run stores a tank's area and its volume at every level in SI and reports them in the
// model's units: a size whose area or full volume is not a finite number in either cannot be used.
bool tank_size_is_finite(const ParseContext& context, const Node& tank) {
    const double area = kPi * tank.diameter * tank.diameter / 4.0;
    const double volume = area * tank.max_level + tank.min_volume;
    const UnitSet& units = context.network.units;
    return std::isfinite(volume) && std::isfinite(units.from_si(Quantity::Area, area)) &&
           std::isfinite(units.from_si(Quantity::Volume, volume));
}

void add_node(ParseContext& context, Node node) {
    const std::string id = node.id;
    if (context.network.add_node(std::move(node)) == kNone)
        context.error(Error::DuplicateId, "node '" + id + "' is already defined");
}

void read_junction(ParseContext& context, const SectionLine& line) {
    const auto id = context.identifier(line, 0, "junction identifier");
    if (!id) return;
    const std::string owner = "junction '" + *id + "'";
    const auto elevation = context.number(line, 1, "elevation", owner);
    const auto demand = context.number_or(line, 2, "demand", owner, 0.0);
    if (!elevation || !demand) return;
    Node node;
    node.id = *id;
    node.kind = NodeKind::Junction;
    node.elevation = context.si(Quantity::Elevation, *elevation);
    node.line = context.line;
    Demand d;
    d.base = context.si(Quantity::Demand, *demand);
    if (line.tokens.size() > 3) {
        d.pattern = context.pattern_ref(line.tokens[3], owner);
        if (d.pattern == kNone) return;
    }
    node.demands.push_back(d);
    add_node(context, std::move(node));
}

void read_reservoir(ParseContext& context, const SectionLine& line) {
    const auto id = context.identifier(line, 0, "reservoir identifier");
    if (!id) return;
    const std::string owner = "reservoir '" + *id + "'";
    const auto head = context.number(line, 1, "head of " + owner);
    if (!head) return;
    Node node;
    node.id = *id;
    node.kind = NodeKind::Reservoir;
    node.elevation = context.si(Quantity::Head, *head);
    node.line = context.line;
    if (line.tokens.size() > 2) {
        node.head_pattern = context.pattern_ref(line.tokens[2], owner);
        if (node.head_pattern == kNone) return;
    }
    add_node(context, std::move(node));
}

void read_tank(ParseContext& context, const SectionLine& line) {
    const auto id = context.identifier(line, 0, "tank identifier");
    if (!id) return;
    const std::string owner = "tank '" + *id + "'";
    const auto elevation = context.number(line, 1, "elevation of " + owner);
    const auto initial = context.number(line, 2, "initial level of " + owner);
    const auto minimum = context.number(line, 3, "minimum level of " + owner);
    const auto maximum = context.number(line, 4, "maximum level of " + owner);
    const auto diameter = context.number(line, 5, "diameter of " + owner);
    const auto min_volume = context.number_or(line, 6, "minimum volume of " + owner, 0.0);
    if (!elevation || !initial || !minimum || !maximum || !diameter || !min_volume) return;
    if (*minimum < 0.0 || *initial < *minimum || *initial > *maximum) {
        context.error(Error::InvalidValue, "levels of " + owner + " must satisfy 0 <= minimum <= initial <= maximum");
        return;
    }
    if (*diameter < 0.0 || *min_volume < 0.0) {
        context.error(Error::InvalidValue, "diameter and minimum volume of " + owner + " must not be negative");
        return;
    }
    Node node;
    node.id = *id;
    node.kind = NodeKind::Tank;
    node.elevation = context.si(Quantity::Elevation, *elevation);
    node.initial_level = context.si(Quantity::Length, *initial);
    node.min_level = context.si(Quantity::Length, *minimum);
    node.max_level = context.si(Quantity::Length, *maximum);
    node.diameter = context.si(Quantity::Length, *diameter);
    node.min_volume = context.si(Quantity::Volume, *min_volume);
    node.line = context.line;
    if (line.tokens.size() > 7 && line.tokens[7] != kNoCurve) {
        node.volume_curve = context.curve_ref(line.tokens[7], owner);
        if (node.volume_curve == kNone) return;
    }
    if (line.tokens.size() > 8) {
        if (equals_ignoring_case(line.tokens[8], "YES"))
            node.overflow = true;
        else if (!equals_ignoring_case(line.tokens[8], "NO")) {
            context.error(Error::InvalidKeyword, "overflow of " + owner + " must be YES or NO");
            return;
        }
    }
    if (node.volume_curve == kNone && node.diameter <= 0.0) {
        context.error(Error::InvalidValue, "diameter of " + owner + " must be positive without a volume curve");
        return;
    }
    if (!tank_size_is_finite(context, node)) {
        context.error(Error::InvalidValue,
                      "area or volume of " + owner + " from its diameter and levels is beyond the range of numbers");
        return;
    }
    add_node(context, std::move(node));
}

const SectionRegistration kJunctions("JUNCTIONS", kPhaseNodes, read_junction);
const SectionRegistration kReservoirs("RESERVOIRS", kPhaseNodes, read_reservoir);
const SectionRegistration kTanks("TANKS", kPhaseNodes, read_tank);

}  // namespace
}  // namespace vuzizi
