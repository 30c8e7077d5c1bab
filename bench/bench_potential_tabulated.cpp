// Timing of the eigen route's potential matrix as the runs build it: the whole lower triangle at
// one basis size (square well, N = 1500 unless given), and the growth by one border per size
// (Yukawa to infinity N = 1 .. 400, relativistic shell N = 1 .. 150). Wall and CPU seconds.
// Each case has its own PotentialMatrix sized for nend + 1, as a run's route sizes it.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "float_mode.hpp"
#include "potential.hpp"

namespace {

using namespace skarven;
using Clock = std::chrono::steady_clock;

void report(const char* name, Clock::time_point start, double cpu_start) {
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-44s %2d thread(s) %8.2f s wall %8.2f s CPU\n", name, omp_get_max_threads(), wall,
                cpu_seconds() - cpu_start);
}

// Whole lower triangle at N = n.
void full(const char* name, const Problem& problem, int n) {
    PotentialMatrix potential(problem, n + 1);
    const int dim = problem.scheme.dirac ? 2 * n : n;
    std::vector<double> matrix(static_cast<std::size_t>(dim) * dim);
    const auto start = Clock::now();
    const double cpu = cpu_seconds();
    potential.lower_triangle(n, dim, matrix.data());
    report(name, start, cpu);
}

// The new border at each size, as the basis-size pass asks for it.
void growth(const char* name, const Problem& problem, int nend) {
    const bool rel = problem.scheme.dirac;
    const auto start = Clock::now();
    const double cpu = cpu_seconds();
    PotentialMatrix potential(problem, nend + 1);
    for (int n = 1; n <= nend; ++n) {
        const int order = rel ? 2 * n : n;
        std::vector<int> rows, cols;
        border_positions(order, rel, rows, cols);
        std::vector<double> values(rows.size());
        potential.elements(n, static_cast<int>(rows.size()), rows.data(), cols.data(),
                           values.data());
    }
    report(name, start, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    const FloatModeGuard mode;
    const int n = argc > 1 ? std::atoi(argv[1]) : 1500;
    full("square well, whole matrix", square_well_problem(), n);
    growth("yukawa to infinity, borders N = 1 .. 400", yukawa_problem(), 400);
    growth("relativistic shell, borders N = 1 .. 150", shell_problem(), 150);
    return 0;
}
