// Values of every element at every stored step of a run, one frame of doubles per stored step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "solver.h"

namespace vuzizi::transient {

// Stored results may take at most this much memory; a run that would need more is refused.
inline constexpr int64_t kResultMemoryLimit = int64_t{512} * 1024 * 1024;  // bytes

// Where each kind of value sits in a frame.
struct FrameLayout {
    int32_t node_head = 0, node_outflow = 0;
    int32_t pipe_flow_start = 0, pipe_flow_end = 0;
    int32_t pump_flow = 0, pump_speed = 0;
    int32_t valve_flow = 0, valve_opening = 0;
    int32_t storage_flow = 0, storage_level = 0;
    int32_t vessel_flow = 0, vessel_volume = 0, vessel_gas_head = 0;
    int32_t relief_flow = 0;
    int32_t node_cavity = 0;  // present only when the run models column separation
    int32_t size = 0;  // doubles per frame

    static FrameLayout of(const Solver& solver);
};

class ResultStore {
public:
    // Frames a run of `steps` steps keeps when it stores every `factor`-th step (and step 0).
    static int64_t frames_for(int64_t steps, int32_t factor) { return steps / factor + 1; }
    // Bytes those frames take with `frame_size` doubles each (times included); a double, as
    // a long horizon can need more than an integer holds.
    static double bytes_for(int64_t frames, int32_t frame_size) {
        return static_cast<double>(frames) * (static_cast<double>(frame_size) + 1.0) * static_cast<double>(sizeof(double));
    }
    // Smallest storage factor whose frames fit the memory limit; 0 when no 32-bit factor does.
    static int32_t smallest_fitting_factor(int64_t steps, int32_t frame_size);
    // Most steps whose frames fit the memory limit with the largest 32-bit factor; 0 when not
    // even one frame fits. A double: it can pass what an integer holds.
    static double longest_fitting_steps(int32_t frame_size);

    // Lays out and reserves room for `frames` frames; nothing is allocated while recording.
    void start(const Solver& solver, int64_t frames);
    void record(const Solver& solver);
    void clear();

    const FrameLayout& layout() const { return layout_; }
    int64_t frames() const { return static_cast<int64_t>(times_.size()); }
    double time(int64_t k) const { return times_[static_cast<std::size_t>(k)]; }
    const double* frame(int64_t k) const { return values_.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(layout_.size); }

private:
    FrameLayout layout_;
    std::vector<double> times_;
    std::vector<double> values_;
};

}  // namespace vuzizi::transient
