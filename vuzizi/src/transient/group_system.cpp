// Dense or sparse solution of a node group's Newton step.
#include "group_system.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <utility>

#include "dense_solve.h"

namespace vuzizi::transient {

struct GroupSystem::Sparse {
    std::vector<Eigen::Triplet<double, int>> entries;
    Eigen::SparseMatrix<double, Eigen::ColMajor, int> matrix;
    Eigen::SparseLU<Eigen::SparseMatrix<double, Eigen::ColMajor, int>, Eigen::COLAMDOrdering<int>> lu;
    Eigen::VectorXd rhs, solution;
    // Position in the matrix's values of each entry, in the order the elements add them; valid
    // while they add the same entries as when it was recorded.
    std::vector<int> slot;
    std::vector<std::pair<int, int>> recorded;
    bool matches = false;
    bool analysed = false;

    // Builds the matrix from the entries and records where each went; analyses the new pattern.
    void rebuild() {
        matrix.setFromTriplets(entries.begin(), entries.end());
        matrix.makeCompressed();
        recorded.resize(entries.size());
        slot.resize(entries.size());
        const int* outer = matrix.outerIndexPtr();
        const int* inner = matrix.innerIndexPtr();
        for (std::size_t k = 0; k < entries.size(); ++k) {
            const int c = entries[k].col();
            const int* at = std::lower_bound(inner + outer[c], inner + outer[c + 1], entries[k].row());
            slot[k] = static_cast<int>(at - inner);
            recorded[k] = {entries[k].row(), c};
        }
        lu.analyzePattern(matrix);
        analysed = true;
    }

    // Writes the entries' values through the recorded positions.
    void refill() {
        double* values = matrix.valuePtr();
        std::fill(values, values + matrix.nonZeros(), 0.0);
        for (std::size_t k = 0; k < entries.size(); ++k) values[slot[k]] += entries[k].value();
    }
};

GroupSystem::GroupSystem() = default;
GroupSystem::~GroupSystem() = default;
GroupSystem::GroupSystem(GroupSystem&&) noexcept = default;
GroupSystem& GroupSystem::operator=(GroupSystem&&) noexcept = default;

void GroupSystem::resize(int dim, bool sparse) {
    dim_ = dim;
    sparse_ = sparse;
    const std::size_t n = static_cast<std::size_t>(dim);
    residual_.assign(n, 0.0);
    held_.assign(n, 0);
    if (sparse) {
        dense_.clear();
        s_ = std::make_unique<Sparse>();
        s_->matrix.resize(dim, dim);
        s_->rhs.resize(dim);
    } else {
        dense_.assign(n * n, 0.0);
        factors_.assign(n * n, 0.0);
        pivot_.assign(n, 0);
        s_.reset();
    }
}

void GroupSystem::clear() {
    std::fill(residual_.begin(), residual_.end(), 0.0);
    std::fill(held_.begin(), held_.end(), 0);
    if (!sparse_) {
        std::fill(dense_.begin(), dense_.end(), 0.0);
        return;
    }
    s_->entries.clear();
    s_->matches = s_->analysed;
    // The diagonal is always in the pattern: a held row keeps only it.
    for (int i = 0; i < dim_; ++i) s_->entries.emplace_back(i, i, 0.0);
}

void GroupSystem::add(int row, int col, double value) {
    if (sparse_) {
        Sparse& s = *s_;
        const std::size_t k = s.entries.size();
        if (s.matches && (k >= s.recorded.size() || s.recorded[k] != std::pair<int, int>(row, col))) s.matches = false;
        s.entries.emplace_back(row, col, value);
    } else
        dense_[static_cast<std::size_t>(row) * static_cast<std::size_t>(dim_) + static_cast<std::size_t>(col)] += value;
}

void GroupSystem::hold(int row, double offset) {
    held_[static_cast<std::size_t>(row)] = 1;
    residual_[static_cast<std::size_t>(row)] = offset;
}

bool GroupSystem::solve(std::vector<double>& step, bool refactor) {
    const std::size_t n = static_cast<std::size_t>(dim_);
    step.resize(n);
    for (std::size_t i = 0; i < n; ++i) step[i] = -residual_[i];
    if (!sparse_) {
        if (refactor) {
            for (std::size_t i = 0; i < n; ++i) {
                if (!held_[i]) continue;
                std::fill(dense_.begin() + static_cast<std::ptrdiff_t>(i * n),
                          dense_.begin() + static_cast<std::ptrdiff_t>((i + 1) * n), 0.0);
                dense_[i * n + i] = 1.0;
            }
            factors_ = dense_;
            if (!factor_dense(factors_.data(), pivot_.data(), dim_)) return false;
        }
        solve_factored(factors_.data(), pivot_.data(), step.data(), dim_);
        for (double v : step)
            if (!std::isfinite(v)) return false;
        return true;
    }
    if (!refactor) return solve_with_factors(step);
    // A held row keeps only its diagonal: the first n triplets are the diagonal, set to 1 there.
    for (std::size_t k = 0; k < s_->entries.size(); ++k) {
        const auto& e = s_->entries[k];
        if (!held_[static_cast<std::size_t>(e.row())]) continue;
        s_->entries[k] = Eigen::Triplet<double, int>(e.row(), e.col(), k < n ? 1.0 : 0.0);
    }
    // The pattern is analysed once; only a change of the entries added analyses it again.
    if (s_->matches && s_->entries.size() == s_->recorded.size())
        s_->refill();
    else
        s_->rebuild();
    s_->lu.factorize(s_->matrix);
    if (s_->lu.info() != Eigen::Success) return false;
    return solve_with_factors(step);
}

bool GroupSystem::solve_with_factors(std::vector<double>& step) {
    const std::size_t n = static_cast<std::size_t>(dim_);
    for (std::size_t i = 0; i < n; ++i) s_->rhs[static_cast<Eigen::Index>(i)] = step[i];
    s_->solution = s_->lu.solve(s_->rhs);
    if (s_->lu.info() != Eigen::Success) return false;
    for (std::size_t i = 0; i < n; ++i) {
        step[i] = s_->solution[static_cast<Eigen::Index>(i)];
        if (!std::isfinite(step[i])) return false;
    }
    return true;
}

}  // namespace vuzizi::transient
