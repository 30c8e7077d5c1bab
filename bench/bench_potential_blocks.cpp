// Timing of the potential blocks of the fast route: Yukawa (non-relativistic, Laguerre, on
// [0, infinity), g = m = 1, n = 2000) and the spherical shell (relativistic, well v0 = -1 on
// [0.5, 1], kappa = -1, n = 500). Optional arguments override the two sizes. Prints the best wall
// time of three runs and the process CPU time of that run.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "float_mode.hpp"
#include "potential.hpp"

namespace {

using namespace skarven;
using Clock = std::chrono::steady_clock;

void time_blocks(const char* name, const Problem& problem, int n) {
    const PotentialMatrix potential(problem, n);
    std::vector<double> phi;
    std::vector<double> psi;
    double best_wall = 1e300;
    double cpu_of_best = 0.0;
    for (int repeat = 0; repeat < 3; ++repeat) {
        const auto start = Clock::now();
        const double cpu_start = cpu_seconds();
        potential.blocks(n, phi, psi);
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
    const FloatModeGuard mode;
    time_blocks("Yukawa, Laguerre, non-relativistic, r0 = 0", yukawa_problem(), yukawa_n);
    time_blocks("shell, Laguerre, relativistic, [0.5, 1]", shell_problem(), shell_n);
    return 0;
}
