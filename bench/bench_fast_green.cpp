// Timing of the fast-route kernels on a model pencil shaped like the non-relativistic problem:
// S tridiagonal (overlap), H tridiagonal kinetic part plus a dense smooth potential, both on an
// unnormalised basis whose diagonal grows over many decades; the shift-and-invert decomposition
// also on a Dirac-shaped pencil of the same order (c = 5000).
//   bench_fast_green [M] [energies]

#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "float_mode.hpp"
#include "green_kernels.hpp"

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

// H = [[-2c^2 P, c P], [c P, V]], S = diag(P, F) on m = 2n positions, the second-component
// block first and reversed (the program's ordering), same norms, overlap and potential as above.
void dirac_pencil(const ModelPencil& base, double light, std::vector<double>& h,
                  std::vector<double>& s) {
    const int n = base.m / 2, m = 2 * n;
    h.assign(static_cast<std::size_t>(m) * m, 0.0);
    s.assign(h.size(), 0.0);
    // kinetic block P: growing diagonal, positive definite
    auto kinetic = [&](int i, int j) {
        const int k = std::abs(i - j);
        const double lower = std::min(i, j) + 1.0;
        const double value =
            k == 0 ? lower : (k == 1 ? -0.5 * std::sqrt(lower * (lower + 1.0)) : 0.0);
        return base.norm[i] * value * base.norm[j];
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int phi_i = n + i, phi_j = n + j, psi_i = n - 1 - i, psi_j = n - 1 - j;
            auto at = [m](int r, int c) {
                return static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * m;
            };
            if (i >= j) {
                h[at(phi_i, phi_j)] = base.hamiltonian(i, j) - 0.25 * base.overlap(i, j);
                s[at(phi_i, phi_j)] = base.overlap(i, j);
            }
            if (psi_i >= psi_j) {
                h[at(psi_i, psi_j)] = -2.0 * light * light * kinetic(i, j);
                s[at(psi_i, psi_j)] = kinetic(i, j);
            }
            if (phi_i >= psi_j) h[at(phi_i, psi_j)] = light * kinetic(i, j);
        }
}

double time_shifted(skarven::EnergyGreen& green, int m, const std::vector<double>& h,
                    const std::vector<double>& s, double e0) {
    const auto start = std::chrono::steady_clock::now();
    green.decompose_shifted(m, h.data(), s.data(), e0);
    return seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int m = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int energies = argc > 2 ? std::atoi(argv[2]) : 1000;
    const skarven::FloatModeGuard mode;
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

    // Shift and invert around e0 = 0.5.
    skarven::EnergyGreen shifted;
    const double t_shifted = time_shifted(shifted, m, h, s, 0.5);
    const double third = shifted.element(energy);
    std::printf(
        "EnergyGreen::decompose_shifted, m = %d: %8.3f s  (%d pivot pairs, distance %.2e)\n", m,
        t_shifted, shifted.pivot_pairs(), shifted.reference_distance());
    std::printf("order %d, E = %.2f: shifted %.15e, relative to bordered %.1e\n", m, energy, third,
                std::fabs(last - third) / std::fabs(last));
    std::vector<double> hd, sd;
    dirac_pencil(pencil, 5000.0, hd, sd);
    const int md = 2 * (m / 2);
    const double t_dirac = time_shifted(shifted, md, hd, sd, 0.5);
    std::printf("decompose_shifted, Dirac pencil m = %d: %8.3f s  (%d pivot pairs)\n", md, t_dirac,
                shifted.pivot_pairs());
    return 0;
}
