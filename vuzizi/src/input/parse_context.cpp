// Value readers of section handlers and the number and duration parsers.
#include "parse_context.h"

#include <charconv>
#include <cmath>

#include "text.h"

namespace vuzizi {
namespace {

constexpr double kHoursPerHalfDay = 12.0;
constexpr double kMinutesPerHour = 60.0;

std::string describe(std::string_view what, std::string_view owner) {
    std::string out(what);
    if (!owner.empty()) {
        out += " of ";
        out += owner;
    }
    return out;
}

}  // namespace

std::optional<double> parse_number(std::string_view token) {
    // Locale-independent: a model file reads the same in any process.
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty() || token.front() == '+') return std::nullopt;
    double value = 0.0;
    const char* end = token.data() + token.size();
    const auto result = std::from_chars(token.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> parse_duration(std::string_view value, std::string_view unit) {
    double hours = 0.0;
    if (value.find(':') != std::string_view::npos) {
        double parts[3] = {0.0, 0.0, 0.0};
        int count = 0;
        std::size_t start = 0;
        while (start <= value.size()) {
            const std::size_t colon = value.find(':', start);
            const std::string_view part =
                value.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
            if (count == 3) return std::nullopt;
            const auto n = parse_number(part);
            if (!n || *n < 0.0) return std::nullopt;
            parts[count++] = *n;
            if (colon == std::string_view::npos) break;
            start = colon + 1;
        }
        hours = parts[0] + parts[1] / kMinutesPerHour + parts[2] / kSecondsPerHour;
        if (!unit.empty() && !equals_ignoring_case(unit, "AM") && !equals_ignoring_case(unit, "PM"))
            return std::nullopt;
    } else {
        const auto n = parse_number(value);
        if (!n || *n < 0.0) return std::nullopt;
        if (unit.empty() || starts_with_ignoring_case(unit, "HOUR") || equals_ignoring_case(unit, "AM") ||
            equals_ignoring_case(unit, "PM"))
            hours = *n;
        else if (starts_with_ignoring_case(unit, "SEC"))
            hours = *n / kSecondsPerHour;
        else if (starts_with_ignoring_case(unit, "MIN"))
            hours = *n / kMinutesPerHour;
        else if (starts_with_ignoring_case(unit, "DAY"))
            hours = *n * (kSecondsPerDay / kSecondsPerHour);
        else
            return std::nullopt;
    }
    // Clock times: 12 am is midnight, 1 pm is 13:00.
    if (equals_ignoring_case(unit, "AM") || equals_ignoring_case(unit, "PM")) {
        if (hours >= kHoursPerHalfDay + 1.0) return std::nullopt;
        if (hours >= kHoursPerHalfDay) hours -= kHoursPerHalfDay;
        if (equals_ignoring_case(unit, "PM")) hours += kHoursPerHalfDay;
    }
    return hours * kSecondsPerHour;
}

std::optional<std::string_view> ParseContext::token(const SectionLine& l, std::size_t i, std::string_view what) {
    if (i < l.tokens.size()) return l.tokens[i];
    error(Error::MissingValue, std::string(what));
    return std::nullopt;
}

std::optional<std::string> ParseContext::identifier(const SectionLine& l, std::size_t i, std::string_view what) {
    const auto t = token(l, i, what);
    if (!t) return std::nullopt;
    if (t->size() > kMaxIdLength) {
        error(Error::IdTooLong, std::string(what) + " " + quoted(*t) + " has more than " +
                                    std::to_string(kMaxIdLength) + " characters");
        return std::nullopt;
    }
    return std::string(*t);
}

std::optional<double> ParseContext::number(const SectionLine& l, std::size_t i, std::string_view what) {
    const auto t = token(l, i, what);
    if (!t) return std::nullopt;
    const auto value = parse_number(*t);
    if (!value) error(Error::InvalidValue, std::string(what) + " " + quoted(*t) + " is not a number");
    return value;
}

std::optional<double> ParseContext::number_or(const SectionLine& l, std::size_t i, std::string_view what,
                                              double fallback) {
    if (i >= l.tokens.size()) return fallback;
    return number(l, i, what);
}

std::optional<std::string_view> ParseContext::token(const SectionLine& l, std::size_t i, std::string_view what,
                                                    std::string_view owner) {
    if (i < l.tokens.size()) return l.tokens[i];
    error(Error::MissingValue, describe(what, owner));
    return std::nullopt;
}

std::optional<double> ParseContext::number(const SectionLine& l, std::size_t i, std::string_view what,
                                           std::string_view owner) {
    const auto t = token(l, i, what, owner);
    if (!t) return std::nullopt;
    const auto value = parse_number(*t);
    if (!value) error(Error::InvalidValue, describe(what, owner) + " " + quoted(*t) + " is not a number");
    return value;
}

std::optional<double> ParseContext::number_or(const SectionLine& l, std::size_t i, std::string_view what,
                                              std::string_view owner, double fallback) {
    if (i >= l.tokens.size()) return fallback;
    return number(l, i, what, owner);
}

int32_t ParseContext::node_ref(std::string_view id, std::string_view owner) {
    const int32_t index = network.find_node(id);
    if (index == kNone) error(Error::UndefinedNode, describe(quoted(id), owner));
    return index;
}

int32_t ParseContext::link_ref(std::string_view id, std::string_view owner) {
    const int32_t index = network.find_link(id);
    if (index == kNone) error(Error::UndefinedLink, describe(quoted(id), owner));
    return index;
}

int32_t ParseContext::curve_ref(std::string_view id, std::string_view owner) {
    const int32_t index = network.find_curve(std::string(id));
    if (index == kNone) error(Error::UndefinedCurve, describe(quoted(id), owner));
    return index;
}

int32_t ParseContext::pattern_ref(std::string_view id, std::string_view owner) {
    const int32_t index = network.find_pattern(std::string(id));
    if (index == kNone) error(Error::UndefinedPattern, describe(quoted(id), owner));
    return index;
}

}  // namespace vuzizi
