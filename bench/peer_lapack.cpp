// A same-method peer built on LAPACK: the basis-size scan and the energy pass of a parameter file
// with dsyev of the diagonally scaled matrix A_N at every basis size and every energy. Only for
// comparing speed; it shares the program's matrix elements and potential matrix.
//   peer_lapack <parameter file>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench_support.hpp"
#include "coefficients.hpp"
#include "potential.hpp"
#include "settings.hpp"
#include "basis.hpp"

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                       double* w, double* work, const int* lwork, int* info);

namespace {

using namespace skarven;

std::vector<double> vphi, vpsi;
int blocks = 0;

// A(r, c) = J + V in the ordering of the program's eigen route, for basis size n.
double element(int r, int c, int n) {
    const Projectile& p = sk_globals.projectile;
    if (!relativistic_scheme()) {
        return 0.5 * psipsi(r, c) - 0.5 * p.k * p.k * fifi(r, c) + vphi[r + c * blocks];
    }
    const double light = sk_globals.v_light;
    if (r < n && c < n) {
        const int i = n - 1 - r, j = n - 1 - c;
        return -p.e * fifi(i, j) + vphi[i + j * blocks];
    }
    if (r < n) return light * psipsi(n - 1 - r, c - n);
    if (c < n) return light * psipsi(n - 1 - c, r - n);
    return -(2.0 * light * light + p.e) * psipsi(r - n, c - n) + vpsi[(r - n) + (c - n) * blocks];
}

// The Green's-function element at the basis edge by a full dsyev of the scaled matrix.
double green(int n) {
    const int m = relativistic_scheme() ? 2 * n : n;
    std::vector<double> a(static_cast<std::size_t>(m) * m), w(m), scale(m);
    for (int r = 0; r < m; ++r) {
        const double d = std::fabs(element(r, r, n));
        scale[r] = d > 0.0 ? 1.0 / std::sqrt(d) : 1.0;
    }
    for (int c = 0; c < m; ++c) {
        for (int r = c; r < m; ++r)
            a[r + c * m] = element(r, c, n) * scale[r] * scale[c];
    }
    int lwork = -1, info = 0;
    double query = 0.0;
    dsyev_("V", "L", &m, a.data(), &m, w.data(), &query, &lwork, &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dsyev_("V", "L", &m, a.data(), &m, w.data(), work.data(), &lwork, &info);
    const int p = relativistic_scheme() ? 0 : n - 1;
    double sum = 0.0;
    for (int k = 0; k < m; ++k)
        sum += a[p + k * m] * a[p + k * m] / w[k];
    return scale[p] * scale[p] * sum;
}

double delta(int n) {
    const Projectile& p = sk_globals.projectile;
    const double g_n = green(n);
    double coupling = 0.5 * psipsi(n, n - 1) - 0.5 * p.k * p.k * fifi(n, n - 1);
    double b = 1.0;
    if (relativistic_scheme()) {
        const double light = sk_globals.v_light;
        b = 2.0 * std::sqrt(p.e / (2.0 * light * light + p.e)) * light / p.k;
    }
    const double x = b * g_n * coupling;
    return std::atan(-(s(n - 1) + x * s(n)) / (c(n - 1) + x * c(n)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peer_lapack <parameter file>\n");
        return 2;
    }
    loadparams(argv[1]);
    sk_globals.pass = 1;
    projectile_set_k(sk_globals.projectile);
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpu_seconds();
    potential_blocks(sk_globals.nend, vphi, vpsi);
    blocks = sk_globals.nend;
    const double potential_cpu = cpu_seconds() - cpu0;
    double last = 0.0;
    for (int n = sk_globals.nstart; n <= sk_globals.nend; ++n) {
        sk_globals.ntrunc = n;
        last = delta(n);
    }
    const double scan_cpu = cpu_seconds() - cpu0 - potential_cpu;
    if (sk_globals.energies) {
        sk_globals.pass = 2;
        const int count =
            static_cast<int>((sk_globals.eend - sk_globals.estart) / sk_globals.estep + 1.1);
        for (int i = 0; i < count; ++i) {
            sk_globals.projectile.e = sk_globals.estart + i * sk_globals.estep;
            projectile_set_k(sk_globals.projectile);
            last = delta(sk_globals.nend);
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf(
        "peer_lapack: wall %.3f s, cpu %.3f s (potential %.3f s, basis-size scan %.3f s), "
        "last delta %.16f\n",
        wall, cpu_seconds() - cpu0, potential_cpu, scan_cpu, last);
    return 0;
}
