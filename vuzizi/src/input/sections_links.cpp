// Sections [PIPES], [PUMPS] and [VALVES].
#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

struct ValveTypeRow {
    std::string_view keyword;
    ValveType type;
};

constexpr ValveTypeRow kValveTypes[] = {
    {"PRV", ValveType::PRV}, {"PSV", ValveType::PSV}, {"PBV", ValveType::PBV},
    {"FCV", ValveType::FCV}, {"TCV", ValveType::TCV}, {"GPV", ValveType::GPV},
};

void add_link(ParseContext& context, Link link) {
    const std::string id = link.id;
    if (context.network.add_link(std::move(link)) == kNone)
        context.error(Error::DuplicateId, "link '" + id + "' is already defined");
}

// Identifier and end nodes, common to every link; false after an error.
bool read_ends(ParseContext& context, const SectionLine& line, std::string_view kind, Link& link) {
    const auto id = context.identifier(line, 0, std::string(kind) + " identifier");
    if (!id) return false;
    link.id = *id;
    link.line = context.line;
    const std::string owner = std::string(kind) + " '" + *id + "'";
    const auto from = context.token(line, 1, "start node", owner);
    const auto to = context.token(line, 2, "end node", owner);
    if (!from || !to) return false;
    link.from = context.node_ref(*from, owner);
    link.to = context.node_ref(*to, owner);
    if (link.from == kNone || link.to == kNone) return false;
    if (link.from == link.to) {
        context.error(Error::SameEndNodes, owner + " starts and ends at node '" + std::string(*from) + "'");
        return false;
    }
    return true;
}

void read_pipe(ParseContext& context, const SectionLine& line) {
    Link link;
    link.kind = LinkKind::Pipe;
    if (!read_ends(context, line, "pipe", link)) return;
    const std::string owner = "pipe '" + link.id + "'";
    const auto length = context.number(line, 3, "length", owner);
    const auto diameter = context.number(line, 4, "diameter", owner);
    const auto roughness = context.number(line, 5, "roughness", owner);
    if (!length || !diameter || !roughness) return;
    // The status may stand in place of the minor loss.
    std::size_t status_at = 7;
    double minor = 0.0;
    if (line.tokens.size() > 6) {
        if (const auto value = parse_number(line.tokens[6])) {
            minor = *value;
        } else {
            status_at = 6;
        }
    }
    if (*length <= 0.0 || *diameter <= 0.0 || *roughness <= 0.0 || minor < 0.0) {
        context.error(Error::InvalidValue, "length, diameter and roughness of " + owner +
                                               " must be positive and its minor loss not negative");
        return;
    }
    if (line.tokens.size() > status_at) {
        const std::string_view status = line.tokens[status_at];
        if (equals_ignoring_case(status, "CV"))
            link.check_valve = true;
        else if (equals_ignoring_case(status, "CLOSED"))
            link.status = LinkStatus::Closed;
        else if (!equals_ignoring_case(status, "OPEN")) {
            context.error(Error::InvalidKeyword, "status '" + std::string(status) + "' of " + owner);
            return;
        }
    }
    link.length = context.si(Quantity::Length, *length);
    link.diameter = context.si(Quantity::Diameter, *diameter);
    link.roughness = context.si(Quantity::Roughness, *roughness);
    link.minor_loss = minor;
    add_link(context, std::move(link));
}

void read_pump(ParseContext& context, const SectionLine& line) {
    Link link;
    link.kind = LinkKind::Pump;
    if (!read_ends(context, line, "pump", link)) return;
    const std::string owner = "pump '" + link.id + "'";
    for (std::size_t i = 3; i < line.tokens.size(); i += 2) {
        const std::string_view keyword = line.tokens[i];
        const auto value = context.token(line, i + 1, std::string(keyword) + " value of " + owner);
        if (!value) return;
        if (equals_ignoring_case(keyword, "HEAD")) {
            link.head_curve = context.curve_ref(*value, owner);
            if (link.head_curve == kNone) return;
        } else if (equals_ignoring_case(keyword, "POWER")) {
            const auto power = context.number(line, i + 1, "power of " + owner);
            if (!power) return;
            if (*power <= 0.0) {
                context.error(Error::InvalidValue, "power of " + owner + " must be positive");
                return;
            }
            link.power = context.si(Quantity::Power, *power);
        } else if (equals_ignoring_case(keyword, "SPEED")) {
            const auto speed = context.number(line, i + 1, "speed of " + owner);
            if (!speed) return;
            if (*speed < 0.0) {
                context.error(Error::InvalidValue, "speed of " + owner + " must not be negative");
                return;
            }
            link.speed = *speed;
        } else if (equals_ignoring_case(keyword, "PATTERN")) {
            link.speed_pattern = context.pattern_ref(*value, owner);
            if (link.speed_pattern == kNone) return;
        } else {
            context.error(Error::InvalidKeyword, quoted(keyword) + " of " + owner);
            return;
        }
    }
    if (link.head_curve == kNone && link.power <= 0.0) {
        context.error(Error::MissingValue, owner + " needs a HEAD curve or a POWER");
        return;
    }
    add_link(context, std::move(link));
}

void read_valve(ParseContext& context, const SectionLine& line) {
    Link link;
    link.kind = LinkKind::Valve;
    if (!read_ends(context, line, "valve", link)) return;
    const std::string owner = "valve '" + link.id + "'";
    const auto diameter = context.number(line, 3, "diameter of " + owner);
    const auto type = context.token(line, 4, "type of " + owner);
    const auto setting = context.token(line, 5, "setting of " + owner);
    const auto minor = context.number_or(line, 6, "minor loss of " + owner, 0.0);
    if (!diameter || !type || !setting || !minor) return;
    if (*diameter <= 0.0 || *minor < 0.0) {
        context.error(Error::InvalidValue, "diameter of " + owner + " must be positive and its minor loss not negative");
        return;
    }
    bool known = false;
    for (const ValveTypeRow& row : kValveTypes) {
        if (equals_ignoring_case(*type, row.keyword)) {
            link.valve_type = row.type;
            known = true;
        }
    }
    if (!known) {
        context.error(Error::InvalidKeyword, "type '" + std::string(*type) + "' of " + owner);
        return;
    }
    link.diameter = context.si(Quantity::Diameter, *diameter);
    link.minor_loss = *minor;
    link.status = LinkStatus::Active;
    if (link.valve_type == ValveType::GPV) {
        link.loss_curve = context.curve_ref(*setting, owner);
        if (link.loss_curve == kNone) return;
    } else {
        const auto value = context.number(line, 5, "setting of " + owner);
        if (!value) return;
        if (*value < 0.0) {
            context.error(Error::InvalidValue, "setting of " + owner + " must not be negative");
            return;
        }
        link.setting = valve_setting_to_si(context.network.units, link.valve_type, *value);
    }
    add_link(context, std::move(link));
}

const SectionRegistration kPipes("PIPES", kPhaseLinks, read_pipe);
const SectionRegistration kPumps("PUMPS", kPhaseLinks, read_pump);
const SectionRegistration kValves("VALVES", kPhaseLinks, read_valve);

}  // namespace
}  // namespace vuzizi
