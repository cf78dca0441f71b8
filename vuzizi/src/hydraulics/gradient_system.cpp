// Sparse system of the gradient method, over Eigen's simplicial LDLT factorisation.
#include "gradient_system.h"

#include <algorithm>

#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

namespace vuzizi {
namespace {

// A junction whose links all carry no conductance keeps this much on its diagonal.
constexpr double kMinDiagonal = 1.0e-8;

}  // namespace

struct GradientSystem::Impl {
    using Matrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
    Matrix matrix;  // lower triangle
    Eigen::SimplicialLDLT<Matrix, Eigen::Lower, Eigen::AMDOrdering<int>> solver;
    Eigen::VectorXd rhs;
    std::vector<int> diagonal_slot;  // per unknown, position in the value array
    std::vector<int> link_slot;      // per link, off-diagonal position or -1
};

GradientSystem::GradientSystem(const Network& network) : impl_(std::make_unique<Impl>()), network_(network) {
    unknown_.assign(network.nodes.size(), kNone);
    for (std::size_t i = 0; i < network.nodes.size(); ++i)
        if (!network.is_fixed_head(static_cast<int32_t>(i))) unknown_[i] = unknown_count_++;

    using Triplet = Eigen::Triplet<double, int>;
    std::vector<Triplet> entries;
    entries.reserve(network.links.size() + unknown_count_);
    for (int32_t u = 0; u < unknown_count_; ++u) entries.emplace_back(u, u, 1.0);
    for (const Link& link : network.links) {
        const int32_t a = unknown_[link.from];
        const int32_t b = unknown_[link.to];
        if (a != kNone && b != kNone) entries.emplace_back(std::max(a, b), std::min(a, b), 1.0);
    }
    Impl& s = *impl_;
    s.matrix.resize(unknown_count_, unknown_count_);
    s.matrix.setFromTriplets(entries.begin(), entries.end());
    s.matrix.makeCompressed();
    s.rhs = Eigen::VectorXd::Zero(unknown_count_);

    auto slot = [&s](int row, int col) {
        const int* outer = s.matrix.outerIndexPtr();
        const int* inner = s.matrix.innerIndexPtr();
        const int* found = std::lower_bound(inner + outer[col], inner + outer[col + 1], row);
        return static_cast<int>(found - inner);
    };
    s.diagonal_slot.resize(unknown_count_);
    for (int32_t u = 0; u < unknown_count_; ++u) s.diagonal_slot[u] = slot(u, u);
    s.link_slot.assign(network.links.size(), -1);
    for (std::size_t k = 0; k < network.links.size(); ++k) {
        const int32_t a = unknown_[network.links[k].from];
        const int32_t b = unknown_[network.links[k].to];
        if (a != kNone && b != kNone) s.link_slot[k] = slot(std::max(a, b), std::min(a, b));
    }
    // The ordering and the symbolic factorisation depend on the pattern only.
    if (unknown_count_ > 0) s.solver.analyzePattern(s.matrix);
}

GradientSystem::~GradientSystem() = default;

void GradientSystem::clear() {
    std::fill_n(impl_->matrix.valuePtr(), impl_->matrix.nonZeros(), 0.0);
    impl_->rhs.setZero();
}

void GradientSystem::add_conductance(int32_t link, double p, const std::vector<double>& fixed_head) {
    const Link& l = network_.links[link];
    const int32_t a = unknown_[l.from];
    const int32_t b = unknown_[l.to];
    double* values = impl_->matrix.valuePtr();
    if (a != kNone) values[impl_->diagonal_slot[a]] += p;
    if (b != kNone) values[impl_->diagonal_slot[b]] += p;
    if (a != kNone && b != kNone) {
        values[impl_->link_slot[link]] -= p;
    } else if (a != kNone) {
        impl_->rhs[a] += p * fixed_head[l.to];
    } else if (b != kNone) {
        impl_->rhs[b] += p * fixed_head[l.from];
    }
}

void GradientSystem::add_diagonal(int32_t node, double value) {
    const int32_t u = unknown_[node];
    if (u != kNone) impl_->matrix.valuePtr()[impl_->diagonal_slot[u]] += value;
}

void GradientSystem::add_rhs(int32_t node, double value) {
    const int32_t u = unknown_[node];
    if (u != kNone) impl_->rhs[u] += value;
}

bool GradientSystem::solve(std::vector<double>& head) {
    if (unknown_count_ == 0) return true;
    Impl& s = *impl_;
    double* values = s.matrix.valuePtr();
    for (int32_t u = 0; u < unknown_count_; ++u)
        if (values[s.diagonal_slot[u]] < kMinDiagonal) values[s.diagonal_slot[u]] = kMinDiagonal;
    s.solver.factorize(s.matrix);
    if (s.solver.info() != Eigen::Success) return false;
    Eigen::VectorXd x = s.solver.solve(s.rhs);
    if (s.solver.info() != Eigen::Success || !x.allFinite()) return false;
    // One step of iterative refinement: the flows follow from head differences, so the
    // residual of the balance equations is worth removing.
    const Eigen::VectorXd residual = s.rhs - s.matrix.selfadjointView<Eigen::Lower>() * x;
    x += s.solver.solve(residual);
    if (!x.allFinite()) return false;
    for (std::size_t i = 0; i < unknown_.size(); ++i)
        if (unknown_[i] != kNone) head[i] = x[unknown_[i]];
    return true;
}

}  // namespace vuzizi
