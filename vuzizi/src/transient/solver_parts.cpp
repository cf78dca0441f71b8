// The split of a step's large loops into parts of about equal work.
#include <algorithm>
#include <memory>
#include <system_error>

#include "solver.h"

namespace vuzizi::transient {

namespace {

// Boundaries of `parts` ranges over [0, count) with about equal shares of `total` work, where
// `work_before(i)` is the work of the items before item i (rising with i).
template <class WorkBefore>
std::vector<std::size_t> split(std::size_t count, int32_t parts, double total, WorkBefore work_before) {
    std::vector<std::size_t> bounds(static_cast<std::size_t>(parts) + 1, count);
    bounds[0] = 0;
    std::size_t i = 0;
    for (int32_t k = 1; k < parts; ++k) {
        const double share = total * static_cast<double>(k) / static_cast<double>(parts);
        while (i < count && work_before(i) < share) ++i;
        bounds[static_cast<std::size_t>(k)] = i;
    }
    return bounds;
}

}  // namespace

void Solver::build_parts(int32_t parts) {
    parts = std::max(1, parts);
    workers_.reset();
    if (parts > 1) {
        try {
            workers_ = std::make_unique<StepWorkers>(parts);
        } catch (const std::system_error&) {
            parts = 1;  // no more threads to be had: the run takes the calling thread alone
        }
    }
    const std::size_t nodes = node_head_.size(), pipes = pipe_first_.size(), points = H_.size();
    node_part_ = split(nodes, parts, static_cast<double>(node_conn_begin_[nodes]),
                       [this](std::size_t i) { return static_cast<double>(node_conn_begin_[i]); });
    pipe_part_ = split(pipes, parts, static_cast<double>(points),
                       [this](std::size_t p) { return static_cast<double>(pipe_first_[p]); });
    point_part_ = split(points, parts, static_cast<double>(points),
                        [](std::size_t i) { return static_cast<double>(i); });
    part_plausible_.assign(static_cast<std::size_t>(parts), 1);
}

}  // namespace vuzizi::transient
