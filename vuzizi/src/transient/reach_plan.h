// Choice of the common time step and of the whole number of reaches of each pipe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

namespace vuzizi::transient {

// Wave speeds are adjusted so that every pipe is a whole number of reaches of one time step.
inline constexpr double kWaveSpeedTolerance = 0.01;   // adjustment sought when choosing the step
inline constexpr int64_t kMaxReaches = 4'000'000;     // reaches of the whole network
// A pipe that a wave crosses in less than one step keeps one reach, its wave slowed to take the
// step; slowed more than this many times, nothing of the pipe is left and the plan is refused.
inline constexpr double kMaxReachStretch = 1e6;

struct ReachPlan {
    double time_step = 0.0;           // s
    std::vector<int32_t> reaches;     // per pipe
    std::vector<double> wave_speed;   // per pipe, as adjusted, m/s
    double largest_adjustment = 0.0;  // largest |adjusted / given - 1| over the pipes
    int64_t total_reaches = 0;
};

// Fills `plan` for the pipes; `requested_step` > 0 imposes the step. Returns false with
// `error` naming the pipe when a pipe cannot be divided (bad length or wave speed, travel times
// out of proportion with the step).
bool plan_reaches(const std::vector<Pipe>& pipes, double requested_step, ReachPlan& plan, std::string& error);

}  // namespace vuzizi::transient
