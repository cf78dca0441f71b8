// Diagnostic lines: a single blank followed by the items, written through one replaceable sink.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace session {

// Writes one complete line (newline included); must not fail visibly.
using DiagSink = void (*)(const char* data, std::size_t len);

// Installs the sink (the frame routes lines to Python's standard output); nullptr restores the default,
// which writes to the process's standard output and flushes.
void set_diag_sink(DiagSink sink);

// Writes " " followed by the items, in order, with no separator, and a line feed.
void diag_line(std::initializer_list<std::string_view> items);

// A text argument of a session routine, with all its characters.
inline std::string_view text_item(const char* text, int len) {
    return {text, len > 0 ? static_cast<std::size_t>(len) : 0};
}

// Level checks: error lines above 0, trace lines above 1.
bool errors_enabled();
bool trace_enabled();

}  // namespace session
