// Timing of the full potential matrix: Yukawa (non-relativistic, Laguerre, on [0, infinity)) and
// the spherical shell (relativistic, well on [a, b]), N = 200 unless given as the argument.
// Prints the time of an element-by-element build with vn, of the parallel vn_lower_triangle, and
// the average number of integrand calls per integrated element.
#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_support.hpp"
#include "potential.hpp"
#include "settings.hpp"
#include "sk_basis.hpp"
#include "special_quadrature.hpp"

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

// Integrand calls of the whole lower triangle, by the integrators called directly with a
// counting wrapper around the program's integrands; returns (elements integrated, calls).
std::pair<long, long> count_calls(int n_size, bool relativistic, bool semi_infinite) {
    static std::vector<double> finite(quadrature_lenaw);
    static std::vector<double> infinite(quadrature_lenaw);
    static bool built = false;
    if (!built) {
        intde_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, finite.data());
        intdei_init(quadrature_lenaw, quadrature_tiny, quadrature_eps, infinite.data());
        built = true;
    }
    const PotentialParams& p = sk_globals.potential;
    long elements = 0;
    long calls = 0;
    auto integrate = [&](auto integrand) {
        auto counted = [&](double r) {
            ++calls;
            return integrand(r);
        };
        double value = 0.0;
        double err = 0.0;
        if (semi_infinite) {
            intdei(counted, 0.0, infinite.data(), value, err);
        } else {
            intde(counted, p.a, p.b, finite.data(), value, err);
        }
        ++elements;
    };
    for (int n = 0; n < n_size; ++n) {
        for (int m = 0; m <= n; ++m) {
            sk_globals.ii = n;
            sk_globals.jj = m;
            integrate(fi_v_fi);
            if (relativistic) integrate(psi_v_psi);
        }
    }
    return {elements, calls};
}

void run(const char* name, int n_size, bool relativistic, bool semi_infinite) {
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

    auto [elements, calls] = count_calls(n_size, relativistic, semi_infinite);
    std::printf("%-34s N = %d, order %d: %ld integrals\n", name, n_size, dim, elements);
    std::printf(
        "  vn element by element         %7.2f s wall %7.2f s CPU (%.1f us CPU per integral)\n",
        serial, serial_cpu, 1e6 * serial_cpu / static_cast<double>(elements));
    std::printf("  vn_lower_triangle, %d thread(s) %7.2f s wall %7.2f s CPU (same bits: %s)\n",
                omp_get_max_threads(), threaded, threaded_cpu, same ? "yes" : "NO");
    std::printf("  integrand calls per integral %8.1f\n",
                static_cast<double>(calls) / static_cast<double>(elements));
}

}  // namespace

int main(int argc, char** argv) {
    use_program_float_mode();
    int n_size = argc > 1 ? std::atoi(argv[1]) : 200;
    yukawa_run(n_size);
    run("yukawa, non-relativistic, laguerre", n_size, false, true);
    shell_run(n_size);
    run("shell, relativistic, laguerre", n_size, true, false);
    return 0;
}
