// Turns the loaded network, its steady state and the stored boundary conditions into the
// input of a transient run.
#pragma once

#include <string>

#include "boundary.h"
#include "hydraulics/steady_state.h"
#include "model.h"
#include "network.h"

namespace vuzizi::transient {

// Wave speed of a pipe given none, m/s.
inline constexpr double kDefaultWaveSpeed = 1000.0;

// False with `error` naming the element when the network cannot be run.
bool build_model(const Network& network, const SteadyState& steady, const BoundaryConditions& boundaries,
                 TransientModel& model, std::string& error);

}  // namespace vuzizi::transient
