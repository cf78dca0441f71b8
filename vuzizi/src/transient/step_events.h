// The time-step rule of a run: its imposed step and tolerance, and the fastest imposed event.
#pragma once

#include "model.h"
#include "reach_plan.h"

namespace vuzizi::transient {

// Steps that resolve the fastest imposed event (a valve's motion, a pump's run-down, a ramp of a
// boundary condition) when the run chooses its step.
inline constexpr double kStepsPerEvent = 20.0;

// The rule for `model`: its TIMESTEP and WAVESPEEDTOLERANCE, and the largest step that gives its
// fastest event kStepsPerEvent steps. A change with no duration (a jump of a series, a pump
// stopped at once) cannot be resolved by any step and sets none.
StepRule step_rule(const TransientModel& model);

}  // namespace vuzizi::transient
