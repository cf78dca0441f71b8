// Recording frames of results during a run.
#include "result_store.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vuzizi::transient {

FrameLayout FrameLayout::of(const Solver& s) {
    FrameLayout f;
    int32_t at = 0;
    auto take = [&at](int32_t count) {
        const int32_t start = at;
        at += count;
        return start;
    };
    f.node_head = take(s.node_count());
    f.node_outflow = take(s.node_count());
    f.pipe_flow_start = take(s.pipe_count());
    f.pipe_flow_end = take(s.pipe_count());
    f.pump_flow = take(s.pump_count());
    f.pump_speed = take(s.pump_count());
    f.valve_flow = take(s.valve_count());
    f.valve_opening = take(s.valve_count());
    f.storage_flow = take(s.storage_count());
    f.storage_level = take(s.storage_count());
    f.vessel_flow = take(s.vessel_count());
    f.vessel_volume = take(s.vessel_count());
    f.vessel_gas_head = take(s.vessel_count());
    f.relief_flow = take(s.relief_count());
    f.node_cavity = take(s.models_cavities() ? s.node_count() : 0);
    f.size = at;
    return f;
}

namespace {

// Frames within the memory limit, counted in doubles so that no product overflows.
double frame_capacity(int32_t frame_size) {
    return std::floor(static_cast<double>(kResultMemoryLimit) / ResultStore::bytes_for(1, frame_size));
}

}  // namespace

double ResultStore::longest_fitting_steps(int32_t frame_size) {
    const double capacity = frame_capacity(frame_size);
    // steps / factor + 1 <= capacity  <=>  steps < capacity * factor
    return capacity < 1.0 ? 0.0 : capacity * static_cast<double>(INT32_MAX) - 1.0;
}

int32_t ResultStore::smallest_fitting_factor(int64_t steps, int32_t frame_size) {
    const double capacity = frame_capacity(frame_size);
    if (capacity < 1.0 || steps < 0) return 0;
    // Only step 0 fits: the factor must pass the last step.
    const int64_t factor = capacity < 2.0 ? steps + 1 : [&] {
        // steps / factor + 1 <= frames  <=>  factor >= steps / (frames - 1)
        const int64_t room = static_cast<int64_t>(capacity) - 1;
        return std::max<int64_t>(1, steps / room + (steps % room != 0 ? 1 : 0));
    }();
    return factor <= INT32_MAX ? static_cast<int32_t>(factor) : 0;
}

void ResultStore::start(const Solver& solver, int64_t frames) {
    layout_ = FrameLayout::of(solver);
    times_.clear();
    values_.clear();
    times_.reserve(static_cast<std::size_t>(frames));
    values_.reserve(static_cast<std::size_t>(frames) * static_cast<std::size_t>(layout_.size));
}

void ResultStore::clear() {
    times_ = {};
    values_ = {};
    layout_ = FrameLayout{};
}

void ResultStore::record(const Solver& s) {
    const std::size_t base = values_.size();
    values_.resize(base + static_cast<std::size_t>(layout_.size), 0.0);
    double* f = values_.data() + base;
    const FrameLayout& L = layout_;
    for (int32_t n = 0; n < s.node_count(); ++n) f[L.node_head + n] = s.node_head(n);
    // Net outflow of each node: what its links bring minus what its devices take.
    double* out = f + L.node_outflow;
    for (int32_t p = 0; p < s.pipe_count(); ++p) {
        f[L.pipe_flow_start + p] = s.pipe_flow_start(p);
        f[L.pipe_flow_end + p] = s.pipe_flow_end(p);
        out[s.pipe_from(p)] -= s.pipe_flow_start(p);
        out[s.pipe_to(p)] += s.pipe_flow_end(p);
    }
    for (int32_t k = 0; k < s.pump_count(); ++k) {
        f[L.pump_flow + k] = s.pump_flow(k);
        f[L.pump_speed + k] = s.pump_speed(k);
        out[s.pump_from(k)] -= s.pump_flow(k);
        out[s.pump_to(k)] += s.pump_flow(k);
    }
    for (int32_t v = 0; v < s.valve_count(); ++v) {
        f[L.valve_flow + v] = s.valve_flow(v);
        f[L.valve_opening + v] = s.valve_opening(v);
        out[s.valve_from(v)] -= s.valve_flow(v);
        out[s.valve_to(v)] += s.valve_flow(v);
    }
    for (int32_t k = 0; k < s.storage_count(); ++k) {
        f[L.storage_flow + k] = s.storage_flow(k);
        f[L.storage_level + k] = s.storage_level(k);
        out[s.storage_node(k)] -= s.storage_flow(k);
    }
    for (int32_t k = 0; k < s.vessel_count(); ++k) {
        f[L.vessel_flow + k] = s.vessel_flow(k);
        f[L.vessel_volume + k] = s.vessel_gas_volume(k);
        f[L.vessel_gas_head + k] = s.vessel_gas_head(k);
        out[s.vessel_node(k)] -= s.vessel_flow(k);
    }
    for (int32_t k = 0; k < s.relief_count(); ++k) f[L.relief_flow + k] = s.relief_flow(k);
    // A growing cavity fills what the pipes do not bring: the node's outflow stays its demand.
    if (s.models_cavities())
        for (int32_t n = 0; n < s.node_count(); ++n) {
            f[L.node_cavity + n] = s.node_cavity_volume(n);
            out[n] += s.node_cavity_growth(n);
        }
    times_.push_back(s.time());
}

}  // namespace vuzizi::transient
