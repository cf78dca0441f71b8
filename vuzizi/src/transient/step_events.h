// The time-step rule of a run: its imposed step and tolerance, and the fastest imposed event.
#pragma once

#include "model.h"
#include "reach_plan.h"

namespace vuzizi::transient {

// Steps that resolve the fastest imposed event (a valve's motion, a pump's run-down, a ramp of a
// boundary condition) when the run chooses its step.
// Under TRAVELTIMES ADJUST, whose errors come from its adjustments rather than the step.
inline constexpr double kStepsPerEvent = 20.0;
// Under TRAVELTIMES INTERPOLATE (the default), the rule for studies of an event's every peak: a run reports the extremes
// of its steps, and a peak that is a corner (where an event's start or end arrives) is met up to half a
// step from its tip. On Net6 the error that leaves scatters with the step's phase against the peaks (1.9 to
// 2.3 % of the largest surge between 0.0087 and 0.0095 s); this many steps keep it below 1.7 %.
inline constexpr double kInterpolatedStepsPerEvent = 70.0;

// The rule for `model`: its TIMESTEP and WAVESPEEDTOLERANCE, and the largest step that gives its
// fastest event kInterpolatedStepsPerEvent steps (kStepsPerEvent under TRAVELTIMES ADJUST). A change with
// no duration (a jump of a series, a pump stopped at once) cannot be resolved by any step and sets none.
StepRule step_rule(const TransientModel& model);

}  // namespace vuzizi::transient
