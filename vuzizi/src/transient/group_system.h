// The linear system of one Newton iteration on a node group: dense for small groups, sparse
// (pattern analysed once, factorised per iteration) for large ones.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vuzizi::transient {

// Groups with more unknowns than this are solved sparsely: below it dense LU is the faster
// (measured on chain-like groups: 9 against 17 us at 32 unknowns, 42 against 53 us at 64).
inline constexpr int kDenseGroupLimit = 64;

class GroupSystem {
public:
    GroupSystem();
    ~GroupSystem();
    GroupSystem(GroupSystem&&) noexcept;
    GroupSystem& operator=(GroupSystem&&) noexcept;

    // A system of `dim` unknowns; `sparse` chooses the solver whatever the size.
    void resize(int dim, bool sparse);
    int dim() const { return dim_; }
    bool sparse() const { return sparse_; }

    // Starts an iteration: residuals and Jacobian entries zero, no row held.
    void clear();
    // Adds `value` to the Jacobian entry (row, col). Every element adds the same entries at
    // each iteration (zero where a term vanishes), so that the sparse pattern stays fixed.
    void add(int row, int col, double value);
    double& residual(int row) { return residual_[static_cast<std::size_t>(row)]; }
    // Replaces row `row` by "unknown `row` = its value - `offset`": residual `offset`, slope 1.
    void hold(int row, double offset);

    // Solves J dx = -F into `step`; false when the matrix is singular. Without `refactor`, the
    // factors of the last factorised Jacobian are used (a chord step): only F is new.
    bool solve(std::vector<double>& step, bool refactor = true);

private:
    struct Sparse;
    bool solve_with_factors(std::vector<double>& step);  // sparse systems
    int dim_ = 0;
    bool sparse_ = false;
    std::vector<double> residual_;
    std::vector<uint8_t> held_;
    std::vector<double> dense_;   // row-major, dense systems only; its LU factors once solved
    std::vector<double> factors_;
    std::vector<int> pivot_;
    std::unique_ptr<Sparse> s_;   // sparse systems only
};

}  // namespace vuzizi::transient
