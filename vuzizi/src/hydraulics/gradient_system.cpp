// Sparse system of the gradient method, over Eigen's simplicial LDLT factorisation.
//
// From one iteration to the next the matrix keeps its pattern and its values move little, so the
// factors of an earlier iteration are first tried as the preconditioner of conjugate gradients on
// the new matrix; only when that does not converge quickly is the matrix factorised afresh. On large
// networks a factorisation costs as much as some twenty solves with the factors.
#include "gradient_system.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>

namespace vuzizi {
namespace {

// A junction whose links all carry no conductance keeps this much on its diagonal.
constexpr double kMinDiagonal = 1.0e-8;

// Conjugate gradients over earlier factors stop at this residual, relative to the right-hand side:
// near rounding, as the direct solve with one refinement step reaches, since the residual is the
// flow imbalance left at the nodes. They give up after this many steps, when a fresh factorisation
// is cheaper than going on.
constexpr double kReuseTolerance = 1.0e-15;
constexpr int kMaxReuseSteps = 12;
// The residual computed afresh cannot fall below rounding in the sums of each balance: this many
// unit roundoffs of the size of those sums are accepted.
constexpr double kRoundingAllowance = 16.0;
// From this many steps on, the mean decrease of the residual so far forecasts whether the
// tolerance is reached in time; a slow start gives up early, when it costs least.
constexpr int kForecastAfterSteps = 3;
// Reuse is tried only where the factors hold at least this many entries per column: below that a
// factorisation costs no more than the ten-odd solves conjugate gradients take.
constexpr double kReuseFromFillPerColumn = 16.0;

// True when the residual, falling at the mean rate of the steps taken, would still be above the
// tolerance after kMaxReuseSteps steps.
bool too_slow(double start, double now, int steps) {
    const double reached = now / start;
    if (!(reached < 1.0)) return true;
    const double steps_needed = steps * std::log(kReuseTolerance) / std::log(reached);
    return steps_needed > kMaxReuseSteps;
}

}  // namespace

struct GradientSystem::Impl {
    using Matrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
    Matrix matrix;  // lower triangle
    Eigen::SimplicialLDLT<Matrix, Eigen::Lower, Eigen::AMDOrdering<int>> solver;
    Eigen::VectorXd rhs;
    std::vector<int> diagonal_slot;  // per unknown, position in the value array
    std::vector<int> link_slot;      // per link, off-diagonal position or -1
    bool factored = false;           // `solver` holds the factors of some earlier matrix
    bool reuse_pays = false;         // the factors are dense enough for reuse to save time

    Eigen::VectorXd product(const Eigen::VectorXd& x) const { return matrix.selfadjointView<Eigen::Lower>() * x; }
    bool solve_with_earlier_factors(Eigen::VectorXd& x) const;
    bool true_residual_small(const Eigen::VectorXd& x, double limit) const;
    bool solve_with_fresh_factors(Eigen::VectorXd& x);
};

// Preconditioned conjugate gradients from x = 0; false when the residual is not small enough
// after kMaxReuseSteps steps, when its decrease so far says it will not be, or when the
// iteration breaks down.
bool GradientSystem::Impl::solve_with_earlier_factors(Eigen::VectorXd& x) const {
    const double start = rhs.norm();
    const double limit = kReuseTolerance * start;
    x.setZero();
    Eigen::VectorXd r = rhs;
    if (start <= limit) return true;
    Eigen::VectorXd z = solver.solve(r);
    Eigen::VectorXd d = z;
    double rz = r.dot(z);
    for (int step = 0; step < kMaxReuseSteps; ++step) {
        const Eigen::VectorXd ad = product(d);
        const double curvature = d.dot(ad);
        if (!(curvature > 0.0) || !(rz > 0.0)) return false;
        const double alpha = rz / curvature;
        x += alpha * d;
        r -= alpha * ad;
        const double remaining = r.norm();
        if (remaining <= limit) return x.allFinite() && true_residual_small(x, limit);
        if (step + 1 >= kForecastAfterSteps && too_slow(start, remaining, step + 1)) return false;
        z = solver.solve(r);
        const double rz_next = r.dot(z);
        d = z + (rz_next / rz) * d;
        rz = rz_next;
    }
    return false;
}

// The residual that conjugate gradients update drifts from the true one: the answer is accepted
// on the true residual, against the tolerance or, when that is below rounding, against rounding.
bool GradientSystem::Impl::true_residual_small(const Eigen::VectorXd& x, double limit) const {
    // |A| |x| + |b| over the stored lower triangle, without a copy of the matrix.
    Eigen::VectorXd sums = rhs.cwiseAbs();
    for (int col = 0; col < matrix.outerSize(); ++col) {
        for (Matrix::InnerIterator it(matrix, col); it; ++it) {
            const double magnitude = std::fabs(it.value());
            sums[it.row()] += magnitude * std::fabs(x[col]);
            if (it.row() != col) sums[col] += magnitude * std::fabs(x[it.row()]);
        }
    }
    const double rounding = kRoundingAllowance * std::numeric_limits<double>::epsilon() * sums.norm();
    return (rhs - product(x)).norm() <= std::max(limit, rounding);
}

bool GradientSystem::Impl::solve_with_fresh_factors(Eigen::VectorXd& x) {
    factored = false;
    solver.factorize(matrix);
    if (solver.info() != Eigen::Success) return false;
    factored = true;
    const auto factor_entries = static_cast<double>(solver.matrixL().nestedExpression().nonZeros());
    reuse_pays = factor_entries >= kReuseFromFillPerColumn * static_cast<double>(matrix.rows());
    x = solver.solve(rhs);
    if (solver.info() != Eigen::Success || !x.allFinite()) return false;
    // One step of iterative refinement: the flows follow from head differences, so the
    // residual of the balance equations is worth removing.
    const Eigen::VectorXd residual = rhs - product(x);
    x += solver.solve(residual);
    return x.allFinite();
}

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
    Eigen::VectorXd x(unknown_count_);
    const bool solved = (s.factored && s.reuse_pays && s.solve_with_earlier_factors(x)) || s.solve_with_fresh_factors(x);
    if (!solved) return false;
    for (std::size_t i = 0; i < unknown_.size(); ++i)
        if (unknown_[i] != kNone) head[i] = x[unknown_[i]];
    return true;
}

}  // namespace vuzizi
