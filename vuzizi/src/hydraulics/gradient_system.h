// The sparse symmetric system of the gradient method over the junction heads: its pattern is
// built and ordered once per network, then refilled and refactorised at every iteration.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "network.h"

namespace vuzizi {

class GradientSystem {
public:
    explicit GradientSystem(const Network& network);
    ~GradientSystem();
    GradientSystem(const GradientSystem&) = delete;
    GradientSystem& operator=(const GradientSystem&) = delete;

    // Unknown index of a node, or kNone for a fixed-head node.
    int32_t unknown(int32_t node) const { return unknown_[node]; }
    int32_t unknown_count() const { return unknown_count_; }

    void clear();
    // Adds a link of conductance p between two nodes (either may be fixed: then its head,
    // from `fixed_head`, goes to the right-hand side).
    void add_conductance(int32_t link, double p, const std::vector<double>& fixed_head);
    void add_diagonal(int32_t node, double value);
    void add_rhs(int32_t node, double value);
    // Factorises and solves; writes the junction heads into `head`. False when singular.
    bool solve(std::vector<double>& head);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::vector<int32_t> unknown_;
    int32_t unknown_count_ = 0;
    const Network& network_;
};

}  // namespace vuzizi
