// Sections [CURVES] and [PATTERNS]: lines with one identifier add points or multipliers to it.
#include "parse_context.h"

namespace vuzizi {
namespace {

void read_curve(ParseContext& context, const SectionLine& line) {
    const auto id = context.identifier(line, 0, "curve identifier");
    if (!id) return;
    if (line.tokens.size() < 3 || line.tokens.size() % 2 == 0) {
        context.error(Error::MissingValue, "curve '" + *id + "' needs pairs of x and y values");
        return;
    }
    Network& network = context.network;
    int32_t index = network.find_curve(*id);
    if (index == kNone) index = network.add_curve(Curve{*id, {}, context.line});
    for (std::size_t i = 1; i + 1 < line.tokens.size(); i += 2) {
        const auto x = context.number(line, i, "curve x value");
        const auto y = context.number(line, i + 1, "curve y value");
        if (!x || !y) return;
        network.curves[index].points.push_back(Point{*x, *y});
    }
}

void read_pattern(ParseContext& context, const SectionLine& line) {
    const auto id = context.identifier(line, 0, "pattern identifier");
    if (!id) return;
    Network& network = context.network;
    int32_t index = network.find_pattern(*id);
    if (index == kNone) index = network.add_pattern(Pattern{*id, {}, context.line});
    for (std::size_t i = 1; i < line.tokens.size(); ++i) {
        const auto value = context.number(line, i, "pattern multiplier");
        if (!value) return;
        network.patterns[index].multipliers.push_back(*value);
    }
}

const SectionRegistration kCurves("CURVES", kPhaseTables, read_curve);
const SectionRegistration kPatterns("PATTERNS", kPhaseTables, read_pattern);

}  // namespace
}  // namespace vuzizi
