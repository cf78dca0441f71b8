// Writes a routine's diagnostic lines to Python's standard output.
#pragma once

#include <string>
#include <vector>

namespace binding {

// Writes the lines in order through Python's sys.stdout as it stands at each line. What of a line that
// stream does not take (a short write, a refusal) goes to the process's standard output; bytes it took
// are never written again.
// An interruption raised by the stream (KeyboardInterrupt, SystemExit: anything that is not an
// Exception) is left pending once every line is out; any other error of the stream is dropped.
void write_diag_lines(const std::vector<std::string>& lines);

}  // namespace binding
