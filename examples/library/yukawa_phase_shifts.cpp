// s-wave phase shifts of the Yukawa potential -g^2 e^(-m r) / r (g = m = 1, atomic units):
// delta_N at e = 1 hartree for a few basis sizes, then delta(E) at N = 400.
#include <cstdio>
#include <vector>

#include "skarven/skarven.hpp"

int main() {
    skarven::Problem problem;  // Laguerre basis, lambda = 1, Schroedinger scheme, l = 0
    problem.potential = {.kind = skarven::PotentialKind::yukawa, .g = 1.0, .m = 1.0};
    try {
        const skarven::SizeScan by_size = skarven::phase_shifts_by_size(problem, 1.0, 50, 400);
        std::printf("#    N   delta_N (e = 1)\n");
        for (std::size_t i = 0; i < by_size.sizes.size(); i += 50)
            std::printf("%6d %20.16f\n", by_size.sizes[i], by_size.delta[i]);
        const std::vector<double> energies = {0.25, 0.5, 1.0, 2.0, 4.0};
        const skarven::EnergyScan by_energy = skarven::phase_shifts_by_energy(problem, 400, energies);
        std::printf("#  energy   delta (N = 400)\n");
        for (std::size_t i = 0; i < energies.size(); ++i)
            std::printf("%9.4f %20.16f\n", by_energy.energies[i], by_energy.delta[i]);
    } catch (const skarven::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
