// What a section handler works with: the network being built, messages at the current line,
// and the value readers that report what is wrong where.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "diagnostics.h"
#include "network.h"
#include "section_table.h"

namespace vuzizi {

// Longest identifier a model file may use.
inline constexpr std::size_t kMaxIdLength = 31;

struct ParseContext {
    Network& network;
    Diagnostics& diagnostics;
    std::string_view file;
    int line = 0;

    void error(Error code, const std::string& detail) { diagnostics.error({file, line}, code, detail); }
    void warning(const std::string& message) { diagnostics.warning({file, line}, message); }
    void trace(const std::string& message) { diagnostics.trace({file, line}, message); }

    // Token i of the line, or a MissingValue error naming `what`.
    std::optional<std::string_view> token(const SectionLine& l, std::size_t i, std::string_view what);
    // A new identifier: checked for length.
    std::optional<std::string> identifier(const SectionLine& l, std::size_t i, std::string_view what);
    // A finite number; `what` names it in the message.
    std::optional<double> number(const SectionLine& l, std::size_t i, std::string_view what);
    // A number when the token is there, else `fallback`; nullopt only on an invalid token.
    std::optional<double> number_or(const SectionLine& l, std::size_t i, std::string_view what,
                                    double fallback);
    // The same, naming the value as `what` of `owner` (built only for a message: the readers of
    // large sections call these once per value).
    std::optional<std::string_view> token(const SectionLine& l, std::size_t i, std::string_view what,
                                          std::string_view owner);
    std::optional<double> number(const SectionLine& l, std::size_t i, std::string_view what, std::string_view owner);
    std::optional<double> number_or(const SectionLine& l, std::size_t i, std::string_view what,
                                    std::string_view owner, double fallback);
    // References to earlier definitions; kNone with an error when undefined.
    int32_t node_ref(std::string_view id, std::string_view owner);
    int32_t link_ref(std::string_view id, std::string_view owner);
    int32_t curve_ref(std::string_view id, std::string_view owner);
    int32_t pattern_ref(std::string_view id, std::string_view owner);

    // Value of a model-unit quantity in SI.
    double si(Quantity q, double value) const { return network.units.to_si(q, value); }
};

// Sets the network's unit set from its options; run after the settings phase.
void update_units(Network& network);

// Number parsing: the whole token must be a finite number.
std::optional<double> parse_number(std::string_view token);
// A duration: decimal hours, or h:mm[:ss], optionally followed by a unit word
// (SEC, MIN, HOUR, DAY, or AM/PM for a clock time). Seconds.
std::optional<double> parse_duration(std::string_view value, std::string_view unit);

}  // namespace vuzizi
