// Timing of the full potential matrix: Yukawa (non-relativistic, Laguerre, on [0, infinity)) and
// the spherical shell (relativistic, well on [a, b]), N = 200 unless given as the argument.
// Prints the time of an element-by-element build with vn and of the parallel vn_lower_triangle.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "potential.hpp"
#include "settings.hpp"

namespace {

using namespace skarven;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void yukawa_run(int n_size) {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded("non-relativistic", 16);
    sk_globals.potential.pot_type = padded("yukawa", 8);
    sk_globals.potential.g = 1.0;
    sk_globals.potential.m = 1.0;
    sk_globals.potential.r0 = 0.0;
    sk_globals.lambda = 1.0;
    sk_globals.ntrunc = n_size;
    sk_globals.nstart = n_size;
}

void shell_run(int n_size) {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded("relativistic", 16);
    sk_globals.potential.pot_type = padded("well", 8);
    sk_globals.potential.v0 = -1.0;
    sk_globals.potential.a = 0.5;
    sk_globals.potential.b = 1.0;
    sk_globals.projectile.kappa = -1;
    sk_globals.lambda = 1.0;
    sk_globals.ntrunc = n_size;
    sk_globals.nstart = n_size;
}

void run(const char* name, int n_size, bool relativistic) {
    int dim = relativistic ? 2 * n_size : n_size;
    std::vector<double> matrix(static_cast<std::size_t>(dim) * dim, 0.0);

    auto start = Clock::now();
    double cpu_start = cpu_seconds();
    for (int r = 0; r < dim; ++r) {
        for (int c = 0; c <= r; ++c)
            matrix[r + static_cast<std::size_t>(c) * dim] = vn(r, c);
    }
    double serial = seconds_since(start);
    double serial_cpu = cpu_seconds() - cpu_start;

    std::vector<double> parallel(static_cast<std::size_t>(dim) * dim, 0.0);
    start = Clock::now();
    cpu_start = cpu_seconds();
    vn_lower_triangle(dim, parallel.data());
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
    use_program_float_mode();
    int n_size = argc > 1 ? std::atoi(argv[1]) : 200;
    yukawa_run(n_size);
    run("yukawa, non-relativistic, laguerre", n_size, false);
    shell_run(n_size);
    run("shell, relativistic, laguerre", n_size, true);
    return 0;
}
