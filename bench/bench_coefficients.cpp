// Timing of one filling of the free-solution tables (what the energy pass does at every
// energy): N = 5000, l = 0, lambda = 1, both bases, at q^2 = 1, 40, 400 and 2000 unless q^2
// values are given as arguments. Prints the process CPU time per filling.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "coefficients.hpp"
#include "settings.hpp"

namespace {

using namespace skarven;

}  // namespace

int main(int argc, char** argv) {
    std::vector<double> q2s{1.0, 40.0, 400.0, 2000.0};
    if (argc > 1) q2s.assign(argc - 1, 0.0);
    for (int i = 1; i < argc; ++i)
        q2s[i - 1] = std::atof(argv[i]);
    sk_globals.nend = 5000;
    sk_globals.lambda = 1.0;
    sk_globals.projectile.l = 0;
    sk_globals.pass = 2;  // every new energy refills the tables
    for (const char* basis : {"laguerre", "gauss"}) {
        sk_globals.basis = padded(basis, 8);
        for (double q2 : q2s) {
            constexpr int repeats = 20;
            double checksum = 0.0;
            const double start = cpu_seconds();
            for (int r = 0; r < repeats; ++r) {
                // A new energy each time, a few ulps apart.
                sk_globals.projectile.k = std::sqrt(q2) * (1.0 + 1e-15 * r);
                checksum += s(4999) + c(5000);
            }
            const double per_fill = (cpu_seconds() - start) / repeats;
            std::printf("%-8s q^2 = %7.1f  N = 5000  %9.3f ms per filling  (checksum %.3e)\n",
                        basis, q2, 1e3 * per_fill, checksum);
        }
    }
    s(1, CacheAction::release);
    c(1, CacheAction::release);
    return 0;
}
