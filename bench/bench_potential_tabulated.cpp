// Timing of the eigen route's potential matrix as the runs build it: the whole lower triangle at
// one basis size (square well, N = 1500 unless given), and the growth by one border per size
// (Yukawa to infinity N = 1 .. 400, relativistic shell N = 1 .. 150). Wall and CPU seconds.
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

void settings(const char* pot_type, const char* scheme, int nend) {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded(scheme, 16);
    sk_globals.potential.pot_type = padded(pot_type, 8);
    sk_globals.potential.v0 = -1.0;
    sk_globals.potential.a = text_is(scheme, "relativistic") ? 0.5 : 0.0;
    sk_globals.potential.b = 1.0;
    sk_globals.potential.g = 1.0;
    sk_globals.potential.m = 1.0;
    sk_globals.projectile.kappa = -1;
    sk_globals.lambda = 1.0;
    sk_globals.nstart = 1;
    sk_globals.nend = nend;
    sk_globals.vn_file_match = false;  // no saved file
}

void report(const char* name, Clock::time_point start, double cpu_start) {
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-44s %2d thread(s) %8.2f s wall %8.2f s CPU\n", name, omp_get_max_threads(), wall,
                cpu_seconds() - cpu_start);
}

// Whole lower triangle at N = nend.
void full(const char* name, int n) {
    sk_globals.ntrunc = n;
    sk_globals.nstart = n;
    sk_globals.pass = 1;
    const int dim = text_is(sk_globals.scheme, "relativistic") ? 2 * n : n;
    std::vector<double> matrix(static_cast<std::size_t>(dim) * dim);
    const auto start = Clock::now();
    const double cpu = cpu_seconds();
    vn_lower_triangle(dim, matrix.data());
    report(name, start, cpu);
}

// The new border at each size, as the basis-size pass asks for it.
void growth(const char* name) {
    const bool rel = text_is(sk_globals.scheme, "relativistic");
    const auto start = Clock::now();
    const double cpu = cpu_seconds();
    sk_globals.pass = 1;
    for (int n = 1; n <= sk_globals.nend; ++n) {
        sk_globals.ntrunc = n;
        const int order = rel ? 2 * n : n;
        std::vector<int> rows, cols;
        border_positions(order, rel, rows, cols);
        std::vector<double> values(rows.size());
        vn_elements(static_cast<int>(rows.size()), rows.data(), cols.data(), values.data());
    }
    report(name, start, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    use_program_float_mode();
    const int n = argc > 1 ? std::atoi(argv[1]) : 1500;
    settings("well", "non-relativistic", n);
    full("square well, whole matrix", n);
    settings("yukawa", "non-relativistic", 400);
    growth("yukawa to infinity, borders N = 1 .. 400");
    settings("well", "relativistic", 150);
    growth("relativistic shell, borders N = 1 .. 150");
    return 0;
}
