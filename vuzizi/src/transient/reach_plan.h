// Choice of the common time step, of the pipes lumped as rigid columns, and of the whole number of
// reaches of every other pipe.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model.h"

namespace vuzizi::transient {

inline constexpr int64_t kMaxReaches = 4'000'000;  // reaches of the whole network
// Share of the network's pipes that may be lumped when the run chooses the step; pipes whose travel
// time is below this fraction of the median pipe's are lumped whatever their number.
inline constexpr double kLumpedShare = 0.05;
inline constexpr double kNegligibleTravel = 1e-3;
// The chosen step may fall this many times below its bound to fit the pipes within tolerance, or
// further on a network that keeps at most kCheapReaches (a 30 s run of about a second).
inline constexpr double kStepSearchSpan = 4.0;
inline constexpr int64_t kCheapReaches = 20'000;

// What bounded the time step.
enum class StepSource : uint8_t { Pipe, Event, Requested, NoPipes };

struct StepRule {
    double requested_step = 0.0;  // s; > 0 imposes the step
    double tolerance = kDefaultWaveSpeedTolerance;
    bool interpolate = false;     // pipes beyond the tolerance keep their travel time by a delay at each end
    double event_step = std::numeric_limits<double>::infinity();  // s: largest step resolving the events
    std::string event_id;         // element whose event sets event_step
};

struct ReachPlan {
    double time_step = 0.0;           // s
    std::vector<int32_t> reaches;     // per pipe; 0 for a lumped pipe
    std::vector<double> wave_speed;   // per pipe, as adjusted, m/s (as given for a lumped or interpolated pipe)
    // Per pipe, the steps (0 .. 2) that a wave waits at each end after crossing its reaches:
    // nonzero where whole reaches would move the travel time beyond the tolerance.
    std::vector<double> end_delay;
    double largest_adjustment = 0.0;  // largest |adjusted / given - 1| over the pipes that keep reaches
    int32_t most_adjusted = -1;       // the pipe with that adjustment; -1 when no pipe keeps reaches
    int64_t total_reaches = 0;
    int32_t lumped_count = 0;
    int32_t interpolated_count = 0;   // pipes with an end delay
    StepSource source = StepSource::NoPipes;
    std::string source_id;            // the pipe or event element that set the step

    bool lumped(std::size_t pipe) const { return reaches[pipe] == 0; }
};

// Whether a pipe of travel time `travel` is lumped at step `dt`: a wave crosses it in less than one step.
bool lumps(double travel, double dt);

// Fills `plan` for the pipes under `rule`. Returns false with `error` naming the pipe when a pipe
// cannot be divided (bad length, diameter or wave speed, more reaches than the budget).
bool plan_reaches(const std::vector<Pipe>& pipes, const StepRule& rule, ReachPlan& plan, std::string& error);

}  // namespace vuzizi::transient
