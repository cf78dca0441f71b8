// Reading a model file into a new network.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "diagnostics.h"
#include "hydraulics/steady_state.h"
#include "network.h"

namespace vuzizi {

struct ReadResult {
    Error error = Error::None;          // the first error found
    std::unique_ptr<Network> network;   // set only when there was no error
};

// Reads the model file at `path`. Every error is reported through `diagnostics` with its line.
ReadResult read_model_file(const std::string& path, Diagnostics& diagnostics);
// The same from text already in memory; `name` stands for the file in messages.
ReadResult read_model_text(std::string_view text, std::string_view name, Diagnostics& diagnostics);

// Checks of the whole network after reading (connectivity, supply, valve connections).
void check_network(const Network& network, std::string_view file, Diagnostics& diagnostics);
// Names the junctions with a demand that no open path of the solved `state` supplies: those that
// links held closed (by the model or the time-0 controls applied to `network`) cut off, then those
// that links closed by the solution (check valves, stopped pumps, valves) cut off.
void report_cut_off_demands(const Network& network, const SteadyState& state, std::string_view file,
                            Diagnostics& diagnostics);

}  // namespace vuzizi
