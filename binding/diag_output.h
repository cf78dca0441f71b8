// Routes the session's diagnostic lines to Python's standard output.
#pragma once

namespace binding {

void route_diagnostics_to_python();

}  // namespace binding
