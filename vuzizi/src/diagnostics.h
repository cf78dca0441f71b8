// Messages of the engine on standard error, filtered by the level given when the engine is opened.
// A line reads "vuzizi: <file>:<line>: <kind>: <message>".
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "errors.h"

namespace vuzizi {

// Level thresholds: at or above each, that kind of message is written.
inline constexpr int32_t kLevelErrors = 1;
inline constexpr int32_t kLevelWarnings = 2;
inline constexpr int32_t kLevelTraces = 3;
inline constexpr int32_t kLevelSilent = -1;

// Where a message points to: a file and a line (0: no line).
struct Location {
    std::string_view file;
    int line = 0;
};

class Diagnostics {
public:
    explicit Diagnostics(int32_t level = kLevelSilent);
    Diagnostics(int32_t level, std::ostream& out);

    int32_t level() const { return level_; }
    void set_level(int32_t level) { level_ = level; }

    void error(Location where, Error code, std::string_view detail);
    void warning(Location where, std::string_view message);
    // A warning that matters for every result: written from the error level on.
    void alert(Location where, std::string_view message);
    void trace(Location where, std::string_view message);

    // Counters survive the level: an error is counted even when not written.
    int error_count() const { return errors_; }
    Error first_error() const { return first_; }
    void reset_counts() {
        errors_ = 0;
        first_ = Error::None;
    }

private:
    void write(std::string_view kind, Location where, std::string_view message);

    int32_t level_;
    std::ostream* out_;
    int errors_ = 0;
    Error first_ = Error::None;
};

}  // namespace vuzizi
