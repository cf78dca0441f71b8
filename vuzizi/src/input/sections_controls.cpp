// Sections [CONTROLS] and [RULES]. A simple control reads
//   LINK id OPEN|CLOSED|setting IF NODE id BELOW|ABOVE value
//   LINK id OPEN|CLOSED|setting AT TIME t [unit]
//   LINK id OPEN|CLOSED|setting AT CLOCKTIME t [AM|PM]
// The steady state applies the ones that hold at time 0; a control it cannot apply is reported
// with a warning at its line and left out.
#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

// Token positions of a control line.
constexpr std::size_t kLinkId = 1;
constexpr std::size_t kAction = 2;
constexpr std::size_t kConditionWord = 3;
constexpr std::size_t kTimeKind = 4;
constexpr std::size_t kTimeValue = 5;
constexpr std::size_t kTimeUnit = 6;
constexpr std::size_t kNodeWord = 4;
constexpr std::size_t kNodeId = 5;
constexpr std::size_t kComparison = 6;
constexpr std::size_t kThreshold = 7;

bool read_action(ParseContext& context, const SectionLine& line, const Link& link, Control& control) {
    const auto word = context.token(line, kAction, "status or setting of the control");
    if (!word) return false;
    if (equals_ignoring_case(*word, "OPEN") || equals_ignoring_case(*word, "CLOSED")) {
        control.action = equals_ignoring_case(*word, "OPEN") ? ControlAction::Open : ControlAction::Closed;
        return true;
    }
    const auto value = parse_number(*word);
    if (!value || *value < 0.0) {
        context.error(Error::InvalidKeyword, "status '" + std::string(*word) + "' of the control of link '" + link.id + "'");
        return false;
    }
    control.action = ControlAction::Setting;
    if (link.kind == LinkKind::Pump) {
        control.setting = *value;
    } else if (link.kind == LinkKind::Valve && link.valve_type != ValveType::GPV) {
        control.setting = valve_setting_to_si(context.network.units, link.valve_type, *value);
    } else {
        context.warning("control of link '" + link.id + "' gives a setting that the link cannot take; not applied");
        return false;
    }
    return true;
}

bool read_time_condition(ParseContext& context, const SectionLine& line, Control& control) {
    const auto kind = context.token(line, kTimeKind, "TIME or CLOCKTIME of the control");
    const auto value = context.token(line, kTimeValue, "time of the control");
    if (!kind || !value) return false;
    if (equals_ignoring_case(*kind, "TIME")) control.condition = ControlCondition::AtTime;
    else if (equals_ignoring_case(*kind, "CLOCKTIME")) control.condition = ControlCondition::AtClockTime;
    else {
        context.error(Error::InvalidKeyword, "control condition 'AT " + std::string(*kind) + "'");
        return false;
    }
    const std::string_view unit = kTimeUnit < line.tokens.size() ? line.tokens[kTimeUnit] : std::string_view{};
    const auto seconds = parse_duration(*value, unit);
    if (!seconds) {
        context.error(Error::InvalidValue, "time '" + std::string(*value) + "' of the control is not a time");
        return false;
    }
    control.time = *seconds;
    return true;
}

bool read_node_condition(ParseContext& context, const SectionLine& line, Control& control) {
    const auto word = context.token(line, kNodeWord, "NODE of the control");
    const auto id = context.token(line, kNodeId, "node of the control");
    const auto comparison = context.token(line, kComparison, "BELOW or ABOVE of the control");
    if (!word || !id || !comparison) return false;
    if (!equals_ignoring_case(*word, "NODE")) {
        context.error(Error::InvalidKeyword, "control condition 'IF " + std::string(*word) + "'");
        return false;
    }
    control.node = context.node_ref(*id, "control");
    if (control.node == kNone) return false;
    if (equals_ignoring_case(*comparison, "BELOW")) control.condition = ControlCondition::NodeBelow;
    else if (equals_ignoring_case(*comparison, "ABOVE")) control.condition = ControlCondition::NodeAbove;
    else {
        context.error(Error::InvalidKeyword, "comparison '" + std::string(*comparison) + "' of the control");
        return false;
    }
    const auto value = context.number(line, kThreshold, "threshold of the control");
    if (!value) return false;
    const Node& node = context.network.nodes[control.node];
    switch (node.kind) {
        case NodeKind::Tank: control.threshold = context.si(Quantity::Length, *value); return true;
        case NodeKind::Junction: control.threshold = context.si(Quantity::Pressure, *value); return true;
        case NodeKind::Reservoir:
            context.warning("control on reservoir '" + node.id + "', whose level is not defined; not applied");
            return false;
    }
    return false;
}

void read_control(ParseContext& context, const SectionLine& line) {
    const auto first = context.token(line, 0, "LINK of the control");
    const auto id = context.token(line, kLinkId, "link of the control");
    const auto condition = context.token(line, kConditionWord, "IF or AT of the control");
    if (!first || !id || !condition) return;
    if (!equals_ignoring_case(*first, "LINK")) {
        context.error(Error::InvalidKeyword, "control '" + std::string(*first) + "' (LINK expected)");
        return;
    }
    Control control;
    control.line = line.line;
    control.link = context.link_ref(*id, "control");
    if (control.link == kNone) return;
    const Link& link = context.network.links[control.link];
    if (link.check_valve) {
        context.warning("control of link '" + link.id + "', a pipe with a check valve, cannot be applied");
        return;
    }
    if (!read_action(context, line, link, control)) return;
    bool read = false;
    if (equals_ignoring_case(*condition, "AT")) read = read_time_condition(context, line, control);
    else if (equals_ignoring_case(*condition, "IF")) read = read_node_condition(context, line, control);
    else context.error(Error::InvalidKeyword, "control condition '" + std::string(*condition) + "' (IF or AT expected)");
    if (read) context.network.controls.push_back(control);
}

// Rules need the state over time; the steady state does not evaluate them.
void read_rule(ParseContext& context, const SectionLine& line) {
    if (!equals_ignoring_case(line.tokens[0], "RULE")) return;
    const std::string name = line.tokens.size() > 1 ? std::string(line.tokens[1]) : std::string();
    context.warning("rule '" + name + "' is not evaluated by the engine");
}

const SectionRegistration kControls("CONTROLS", kPhaseElementData, read_control);
const SectionRegistration kRules("RULES", kPhaseElementData, read_rule);

}  // namespace
}  // namespace vuzizi
