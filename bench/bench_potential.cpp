// Timing of the full potential matrix: Yukawa (non-relativistic, Laguerre, on [0, infinity)) and
// the spherical shell (relativistic, well on [a, b]), N = 200 unless given as the argument.
// Prints the time of an element-by-element build with PotentialMatrix::element and of the
// parallel PotentialMatrix::lower_triangle, both on one object sized for N.
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

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void run(const char* name, const Problem& problem, int n_size) {
    const bool relativistic = problem.scheme.dirac;
    int dim = relativistic ? 2 * n_size : n_size;
    // Sized for this basis alone, as a run whose largest basis is N would size it.
    PotentialMatrix potential(problem, n_size);
    std::vector<double> matrix(static_cast<std::size_t>(dim) * dim, 0.0);

    auto start = Clock::now();
    double cpu_start = cpu_seconds();
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c)
            matrix[r + static_cast<std::size_t>(c) * dim] = potential.element(n_size, r, c);
    }
    double serial = seconds_since(start);
    double serial_cpu = cpu_seconds() - cpu_start;

    std::vector<double> parallel(static_cast<std::size_t>(dim) * dim, 0.0);
    start = Clock::now();
    cpu_start = cpu_seconds();
    potential.lower_triangle(n_size, dim, parallel.data());
    double threaded = seconds_since(start);
    double threaded_cpu = cpu_seconds() - cpu_start;
    bool same = true;
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c) {
            std::size_t k = r + static_cast<std::size_t>(c) * dim;
            same = same && matrix[k] == parallel[k];
        }
    }

    // One integral per element of each component's lower triangle (the couplings are 0).
    const long elements = (relativistic ? 2L : 1L) * n_size * (n_size + 1) / 2;
    std::printf("%-34s N = %d, order %d: %ld integrals\n", name, n_size, dim, elements);
    std::printf(
        "  vn element by element         %7.2f s wall %7.2f s CPU (%.1f us CPU per integral)\n",
        serial, serial_cpu, 1e6 * serial_cpu / static_cast<double>(elements));
    std::printf("  vn_lower_triangle, %d thread(s) %7.2f s wall %7.2f s CPU (same bits: %s)\n",
                omp_get_max_threads(), threaded, threaded_cpu, same ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
    const FloatModeGuard mode;
    int n_size = argc > 1 ? std::atoi(argv[1]) : 200;
    run("yukawa, non-relativistic, laguerre", yukawa_problem(), n_size);
    run("shell, relativistic, laguerre", shell_problem(), n_size);
    return 0;
}
