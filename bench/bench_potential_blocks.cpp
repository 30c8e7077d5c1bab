// Timing of the potential blocks of the fast route: Yukawa (non-relativistic, Laguerre, on
// [0, infinity), g = m = 1, n = 2000) and the spherical shell (relativistic, well v0 = -1 on
// [0.5, 1], kappa = -1, n = 500). Optional arguments override the two sizes. Prints the best wall
// time of three runs and the process CPU time of that run.
#include <algorithm>
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

void yukawa_run() {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded("non-relativistic", 16);
    sk_globals.potential.pot_type = padded("yukawa", 8);
    sk_globals.potential.g = 1.0;
    sk_globals.potential.m = 1.0;
    sk_globals.potential.r0 = 0.0;
    sk_globals.lambda = 1.0;
}

void shell_run() {
    sk_globals = RunSettings{};
    sk_globals.basis = padded("laguerre", 8);
    sk_globals.scheme = padded("relativistic", 16);
    sk_globals.potential.pot_type = padded("well", 8);
    sk_globals.potential.v0 = -1.0;
    sk_globals.potential.a = 0.5;
    sk_globals.potential.b = 1.0;
    sk_globals.projectile.kappa = -1;
    sk_globals.lambda = 1.0;
}

void time_blocks(const char* name, int n) {
    std::vector<double> phi;
    std::vector<double> psi;
    double best_wall = 1e300;
    double cpu_of_best = 0.0;
    for (int repeat = 0; repeat < 3; ++repeat) {
        const auto start = Clock::now();
        const double cpu_start = cpu_seconds();
        potential_blocks(n, phi, psi);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        if (wall < best_wall) {
            best_wall = wall;
            cpu_of_best = cpu_seconds() - cpu_start;
        }
    }
    double largest = 0.0;
    for (double value : phi)
        largest = std::max(largest, std::abs(value));
    std::printf("%-44s n = %5d: wall %8.3f s, cpu %8.3f s (largest |V| %.6e)\n", name, n, best_wall,
                cpu_of_best, largest);
}

}  // namespace

int main(int argc, char** argv) {
    const int yukawa_n = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int shell_n = argc > 2 ? std::atoi(argv[2]) : 500;
    yukawa_run();
    time_blocks("Yukawa, Laguerre, non-relativistic, r0 = 0", yukawa_n);
    shell_run();
    time_blocks("shell, Laguerre, relativistic, [0.5, 1]", shell_n);
    return 0;
}
