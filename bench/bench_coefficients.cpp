// Timing of one filling of the free-solution tables (what the energy pass does at every
// energy): N = 5000, l = 0, lambda = 1, both bases, at q^2 = 1, 40, 400 and 2000 unless q^2
// values are given as arguments. Prints the process CPU time per filling.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "coefficients.hpp"
#include "float_mode.hpp"
#include "skarven/problem.hpp"

int main(int argc, char** argv) {
    using namespace skarven;
    std::vector<double> q2s{1.0, 40.0, 400.0, 2000.0};
    if (argc > 1) q2s.assign(argc - 1, 0.0);
    for (int i = 1; i < argc; ++i)
        q2s[i - 1] = std::atof(argv[i]);
    const FloatModeGuard mode;
    constexpr int largest_size = 5000;
    const int top = free_solution_top(largest_size);
    for (const BasisKind kind : {BasisKind::laguerre, BasisKind::oscillator}) {
        const Basis basis{kind, 1.0};
        const char* name = kind == BasisKind::laguerre ? "laguerre" : "gauss";
        for (double q2 : q2s) {
            constexpr int repeats = 20;
            double checksum = 0.0;
            const double start = cpu_seconds();
            for (int r = 0; r < repeats; ++r) {
                // A new energy each time, a few ulps apart.
                const double k = std::sqrt(q2) * (1.0 + 1e-15 * r);
                const FreeSolutions free(basis, 0, k, top);
                checksum += free.regular(largest_size - 1) + free.irregular(largest_size);
            }
            const double per_fill = (cpu_seconds() - start) / repeats;
            std::printf("%-8s q^2 = %7.1f  N = 5000  %9.3f ms per filling  (checksum %.3e)\n", name,
                        q2, 1e3 * per_fill, checksum);
        }
    }
    return 0;
}
