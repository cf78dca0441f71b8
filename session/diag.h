// Diagnostic lines: a single blank followed by the items. A routine's lines are queued while it runs
// and handed to the call frame afterwards, so that writing them never comes between two engine calls.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace session {

// The lines one routine queued, each with its line feed, in order.
struct DiagLines {
    std::vector<std::string> lines;
    bool lost = false;  // a line could not be queued for lack of memory
};

// Queues " " followed by the items, in order, with no separator, and a line feed. Never throws:
// a line that cannot be stored marks the queue as having lost one.
void diag_line(std::initializer_list<std::string_view> items) noexcept;

// Hands out the queued lines and empties the queue.
DiagLines take_diag_lines() noexcept;

// A text argument of a session routine, with all its characters.
inline std::string_view text_item(const char* text, int len) {
    return {text, len > 0 ? static_cast<std::size_t>(len) : 0};
}

// Level checks: error lines above 0, trace lines above 1.
bool errors_enabled();
bool trace_enabled();

}  // namespace session
