// Diagnostic lines of the session routines, queued until the routine has finished.
#include "diag.h"

#include <utility>

#include "state.h"

namespace session {
namespace {

DiagLines queued;

}  // namespace

void diag_line(std::initializer_list<std::string_view> items) noexcept {
    try {
        std::size_t size = 1 + 1;  // the leading blank and the line feed
        for (std::string_view item : items) size += item.size();
        std::string line;
        line.reserve(size);
        line.push_back(' ');
        for (std::string_view item : items) line.append(item);
        line.push_back('\n');
        queued.lines.push_back(std::move(line));
    } catch (...) {  // std::bad_alloc or std::length_error
        queued.lost = true;
    }
}

DiagLines take_diag_lines() noexcept {
    DiagLines taken;
    std::swap(taken, queued);
    return taken;
}

bool errors_enabled() { return debug > 0; }
bool trace_enabled() { return debug > 1; }

}  // namespace session
