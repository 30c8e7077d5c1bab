#pragma once
// delta = lim delta_N with an error bar, from the sequence delta_N of growing basis sizes.
//
// The approach to the limit has a known form: delta_N - delta is a sum of powers N^-p times
// oscillations in N. In the Laguerre basis their phase is N theta, cos theta = (q^2 - 1/4) /
// (q^2 + 1/4) with q = k / lambda (the phase of the free solutions' coefficients); a jump of the
// potential at R adds the phase 2 sqrt((N + l + 1) lambda R) of the basis functions there. In the
// oscillator basis the free coefficients oscillate with 2 q sqrt(N + l/2 + 3/4). A least-squares
// fit of that form on the sizes N/2 ... N gives the limit; the same fit on N/4 ... N/2, and the
// scatter the fit leaves, give its error.

#include <functional>
#include <vector>

#include "phase_shift.hpp"

#include "skarven/problem.hpp"

namespace skarven {

// The columns of the fit besides the constant: N^-p cos(h phase_j(N)) and N^-p sin(h phase_j(N))
// for every power p, phase j and harmonic h = 1 ... harmonics, and N^-p itself.
struct SequenceModel {
    struct Phase {
        double scale = 0.0;  // phase(N) = scale * N (linear) or scale * sqrt(N + shift)
        double shift = 0.0;
        bool root = false;
        double log_scale = 0.0;  // plus log_scale * ln N (a Coulomb tail's eta)
    };
    std::vector<Phase> phases;
    std::vector<double> powers;
    int harmonics = 2;
};

// The model of delta_N - delta for the problem at kinetic energy e.
SequenceModel sequence_model(const Problem& problem, double e);

struct LimitEstimate {
    double delta = 0.0;  // the estimate of lim delta_N, on the branch of the last delta_N
    double error = 0.0;  // estimated absolute error of delta
    int largest_size = 0;
    bool converged = false;  // error <= tolerance
};

// The estimate from delta_N at consecutive sizes (sizes[i] = sizes[0] + i). Too few sizes for
// the fit (fewer than three per column) give not-converged with three times the largest
// distance of delta_N (N >= N_last/4) from the last as the error, infinite for one size.
LimitEstimate estimate_limit(const std::vector<int>& sizes, const std::vector<double>& deltas,
                             const SequenceModel& model, double tolerance);

// The limit at kinetic energy e by the fast route: delta_N for N = min(first_size, 25) ... in
// stages ending at max(first_size, 100), twice that, ... (largest_size at most), the estimate
// after each stage, stopped at the first within the tolerance. `each` sees every N from
// first_size on and its phase shift as it comes. Cost: about 1.15 times one pass to the last N,
// O(N^3) / 3.
LimitEstimate limit_by_size(const Problem& problem, double e, int first_size, int largest_size,
                            double tolerance, bool shift,
                            const std::function<void(int, const PhaseShift&)>& each = {});

// The Laguerre basis scale at which the limit of wave l at wave number k needs the fewest sizes
// (lambda = auto): max(2, 4k) (1 + l/25) in 1/bohr. Measured on Yukawa potentials of range 1 and
// 3 for l = 0 ... 25 and e = 0.05 ... 50 hartree; README gives the table.
double auto_lambda(int l, double k);

// The limits at several energies of one problem, each as limit_by_size gives it alone (`each`
// only with one energy). A stage integrates the potential blocks once for all its energies and
// runs the energies in parallel, one route per thread; the results do not depend on the threads.
std::vector<LimitEstimate> limits_by_size(
    const Problem& problem, const std::vector<double>& energies, int first_size, int largest_size,
    double tolerance, bool shift, const std::function<void(int, const PhaseShift&)>& each = {});

}  // namespace skarven
