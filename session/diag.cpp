// Diagnostic lines of the session routines.
#include "diag.h"

#include <cstdio>
#include <string>

#include "state.h"

namespace session {
namespace {

void write_to_stdout(const char* data, std::size_t len) {
    std::fwrite(data, 1, len, stdout);
    std::fflush(stdout);
}

DiagSink current_sink = write_to_stdout;

}  // namespace

void set_diag_sink(DiagSink sink) { current_sink = sink != nullptr ? sink : write_to_stdout; }

void diag_line(std::initializer_list<std::string_view> items) {
    std::string line(1, ' ');
    for (std::string_view item : items) line.append(item);
    line.push_back('\n');
    current_sink(line.data(), line.size());
}

bool errors_enabled() { return debug > 0; }
bool trace_enabled() { return debug > 1; }

}  // namespace session
