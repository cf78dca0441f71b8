// The steady state at time 0 under the model's simple controls.
#pragma once

#include "steady_state.h"

namespace vuzizi {

// Rounds of junction-pressure controls at time 0 (apply those that hold, solve again) before the
// controls count as not settling: each round settles at least one control for good unless some
// undo each other, and a load cannot be interrupted.
inline constexpr int kMaxControlRounds = 10;

// Applies the controls on time, clock time and tank levels that hold at time 0 to the link
// statuses of `network`, solves, then applies the junction-pressure controls that hold in the
// solution and solves again while they change a status, for at most kMaxControlRounds rounds
// (`out.unsettled_control_line` then names a control that still changes its link). Returns as
// solve_steady_state, or Disconnected when the settled state leaves a junction with a demand with
// no open path from any reservoir or tank (supplied_in_solution then names them); the iterations
// of every solve are added up in `out.iterations`.
Error solve_with_controls(Network& network, GradientSystem& system, SteadyState& out);

}  // namespace vuzizi
