// The steady state at time 0 under the model's simple controls.
#pragma once

#include "steady_state.h"

namespace vuzizi {

// Applies the controls on time, clock time and tank levels that hold at time 0 to the link
// statuses of `network`, solves, then applies the junction-pressure controls that hold in the
// solution and solves again while they change a status. Returns as solve_steady_state, or
// Disconnected when the statuses cut a junction with a demand off from every reservoir and tank
// (supplied_nodes then names them); the iterations of every solve are added up in `out.iterations`.
Error solve_with_controls(Network& network, GradientSystem& system, SteadyState& out);

}  // namespace vuzizi
