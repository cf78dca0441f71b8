// Pipes shorter than the time step, taken as rigid water columns between their end nodes.
//
// Such a pipe has no reaches: its flow is one unknown of the node group that its end nodes join,
// with inertia L / (g A) and the friction of the whole pipe, and half its storage g A L / a^2 at
// each end node. Inertia and storage together give the pipe its wave impedance a / (g A), so a
// front crosses it without the reflection that inertia alone would make. What it leaves out is
// the travel of waves along it, shorter than one step.
#include "solver.h"

namespace vuzizi::transient {

void Solver::build_lumped_pipes(const TransientModel& model) {
    lumped_begin_ = static_cast<int32_t>(link_from_.size());
    for (std::size_t p = 0; p < model.pipes.size(); ++p) {
        if (!plan_.lumped(p)) continue;
        const Pipe& pipe = model.pipes[p];
        link_id_.push_back(pipe.id);
        link_kind_.push_back(LinkKind::LumpedPipe);
        link_from_.push_back(pipe.from);
        link_to_.push_back(pipe.to);
        link_flow_.push_back(pipe.flow);
        link_open_.push_back(1);
        lumped_pipe_.push_back(static_cast<int32_t>(p));
        // One reach stands for the whole pipe: its friction is the pipe's.
        lumped_R_.push_back(pipe_R_[p] * pipe_reaches_[p]);
        lumped_inertia_.push_back(pipe.length / (kGravity * pipe_area_[p]));
        if (node_lumped_storage_.empty()) node_lumped_storage_.assign(model.nodes.size(), 0.0);
        const double half_storage = 0.5 * kGravity * pipe_area_[p] * pipe.length / (pipe.wave_speed * pipe.wave_speed);
        node_lumped_storage_[static_cast<std::size_t>(pipe.from)] += half_storage;
        node_lumped_storage_[static_cast<std::size_t>(pipe.to)] += half_storage;
    }
}

}  // namespace vuzizi::transient
