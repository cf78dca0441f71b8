// Dense or sparse solution of a node group's Newton step.
#include "group_system.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>

#include "dense_solve.h"

namespace vuzizi::transient {

struct GroupSystem::Sparse {
    std::vector<Eigen::Triplet<double, int>> entries;
    Eigen::SparseMatrix<double, Eigen::ColMajor, int> matrix;
    Eigen::SparseLU<Eigen::SparseMatrix<double, Eigen::ColMajor, int>, Eigen::COLAMDOrdering<int>> lu;
    Eigen::VectorXd rhs;
    bool analysed = false;
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
    // The diagonal is always in the pattern: a held row keeps only it.
    for (int i = 0; i < dim_; ++i) s_->entries.emplace_back(i, i, 0.0);
}

void GroupSystem::add(int row, int col, double value) {
    if (sparse_)
        s_->entries.emplace_back(row, col, value);
    else
        dense_[static_cast<std::size_t>(row) * static_cast<std::size_t>(dim_) + static_cast<std::size_t>(col)] += value;
}

void GroupSystem::hold(int row, double offset) {
    held_[static_cast<std::size_t>(row)] = 1;
    residual_[static_cast<std::size_t>(row)] = offset;
}

bool GroupSystem::solve(std::vector<double>& step) {
    const std::size_t n = static_cast<std::size_t>(dim_);
    step.resize(n);
    for (std::size_t i = 0; i < n; ++i) step[i] = -residual_[i];
    if (!sparse_) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!held_[i]) continue;
            std::fill(dense_.begin() + static_cast<std::ptrdiff_t>(i * n),
                      dense_.begin() + static_cast<std::ptrdiff_t>((i + 1) * n), 0.0);
            dense_[i * n + i] = 1.0;
        }
        return solve_dense(dense_.data(), step.data(), dim_);
    }
    // A held row keeps only its diagonal: the first n triplets are the diagonal, set to 1 there.
    for (std::size_t k = 0; k < s_->entries.size(); ++k) {
        const auto& e = s_->entries[k];
        if (!held_[static_cast<std::size_t>(e.row())]) continue;
        s_->entries[k] = Eigen::Triplet<double, int>(e.row(), e.col(), k < n ? 1.0 : 0.0);
    }
    s_->matrix.setFromTriplets(s_->entries.begin(), s_->entries.end());
    if (!s_->analysed) {
        s_->lu.analyzePattern(s_->matrix);
        s_->analysed = true;
    }
    s_->lu.factorize(s_->matrix);
    if (s_->lu.info() != Eigen::Success) return false;
    for (std::size_t i = 0; i < n; ++i) s_->rhs[static_cast<Eigen::Index>(i)] = step[i];
    const Eigen::VectorXd x = s_->lu.solve(s_->rhs);
    if (s_->lu.info() != Eigen::Success) return false;
    for (std::size_t i = 0; i < n; ++i) {
        step[i] = x[static_cast<Eigen::Index>(i)];
        if (!std::isfinite(step[i])) return false;
    }
    return true;
}

}  // namespace vuzizi::transient
