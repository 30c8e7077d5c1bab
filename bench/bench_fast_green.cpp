// Timing of the fast-route kernels on a model pencil shaped like the non-relativistic problem:
// S tridiagonal (overlap), H tridiagonal kinetic part plus a dense smooth potential, both on an
// unnormalised basis whose diagonal grows over many decades.
//   bench_fast_green [M] [energies]

#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sk_g.hpp"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct ModelPencil {
    int m;
    std::vector<double> norm;  // unnormalised basis: entry (i, j) carries norm_i norm_j
    double overlap(int i, int j) const {
        const int k = std::abs(i - j);
        const double value = k == 0 ? 1.0 : (k == 1 ? -0.5 : 0.0);
        return norm[i] * value * norm[j];
    }
    double hamiltonian(int i, int j) const {
        const int k = std::abs(i - j);
        const double kinetic = k == 0 ? 0.25 : (k == 1 ? 0.125 : 0.0);
        const double potential = -0.3 * std::exp(-0.05 * (i + j)) / (1.0 + k);
        return norm[i] * (kinetic + potential) * norm[j];
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int m = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int energies = argc > 2 ? std::atoi(argv[2]) : 1000;
    ModelPencil pencil{m, std::vector<double>(m)};
    for (int i = 0; i < m; ++i)
        pencil.norm[i] = std::pow(10.0, 15.0 * i / m - 5.0);
    const double energy = 0.37;
    std::printf("threads %d, order %d\n", omp_get_max_threads(), m);

    // Pass over basis sizes 1..m at one energy.
    skarven::BorderedGreen bordered;
    std::vector<double> border(m);
    auto start = std::chrono::steady_clock::now();
    double check = 0.0, last = 0.0;
    bordered.reserve(m);
    for (int n = 1; n <= m; ++n) {
        for (int i = 0; i < n; ++i)
            border[i] = pencil.hamiltonian(i, n - 1) - energy * pencil.overlap(i, n - 1);
        last = bordered.extend(border.data(), 1, 0);
        check += last * pencil.norm[n - 1] * pencil.norm[n - 1];
    }
    const double t_bordered = seconds_since(start);
    std::printf("BorderedGreen, M = 1..%d:          %8.3f s  (open at end %d, checksum %.6e)\n", m,
                t_bordered, bordered.deferred(), check);

    // Pass over energies at order m.
    std::vector<double> h(static_cast<std::size_t>(m) * m), s(h.size());
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i) {
            h[i + static_cast<std::size_t>(j) * m] = pencil.hamiltonian(i, j);
            s[i + static_cast<std::size_t>(j) * m] = pencil.overlap(i, j);
        }
    skarven::EnergyGreen green;
    start = std::chrono::steady_clock::now();
    green.decompose(m, h.data(), s.data());
    const double t_decompose = seconds_since(start);
    start = std::chrono::steady_clock::now();
    double sum = 0.0;
    for (int k = 0; k < energies; ++k)
        sum += green.element(0.1 + 0.8 * k / energies);
    const double t_elements = seconds_since(start);
    std::printf("EnergyGreen::decompose, m = %d:    %8.3f s  (converged %d)\n", m, t_decompose,
                green.converged() ? 1 : 0);
    std::printf("EnergyGreen::element x %d:        %8.3f s  (checksum %.6e)\n", energies,
                t_elements, sum);
    // Both routes give the same element at order m and the pass-1 energy.
    const double other = green.element(energy);
    std::printf("order %d, E = %.2f: bordered %.15e, energy route %.15e, relative %.1e\n", m,
                energy, last, other, std::fabs(last - other) / std::fabs(other));
    return 0;
}
