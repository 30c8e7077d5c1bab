// A same-method peer built on LAPACK: the basis-size scan and the energy pass of a parameter file
// with dsyev of the diagonally scaled matrix A_N at every basis size and every energy. Only for
// comparing speed; it shares the program's matrix elements and potential matrix.
//   peer_lapack <parameter file>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "basis.hpp"
#include "bench_support.hpp"
#include "coefficients.hpp"
#include "float_mode.hpp"
#include "potential.hpp"
#include "run.hpp"
#include "settings.hpp"

extern "C" void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                       double* w, double* work, const int* lwork, int* info);

namespace {

using namespace skarven;

// The loaded run: its problem, the potential blocks at nend (whose leading n x n parts serve the
// smaller bases), and the point being computed.
struct Peer {
    Problem problem;
    std::vector<double> vphi, vpsi;
    int blocks = 0;
    double e = 0.0;
    double k = 0.0;
};

// A(r, c) = J + V in the ordering of the program's eigen route, for basis size n.
double element(const Peer& peer, int r, int c, int n) {
    const Basis& basis = peer.problem.basis;
    const int l = peer.problem.wave.l;
    const std::size_t blocks = peer.blocks;
    if (!peer.problem.scheme.dirac) {
        return 0.5 * kinetic(basis, l, r, c) - 0.5 * peer.k * peer.k * overlap(basis, l, r, c) +
               peer.vphi[r + c * blocks];
    }
    const double light = peer.problem.scheme.light;
    if (r < n && c < n) {
        const int i = n - 1 - r, j = n - 1 - c;
        return -peer.e * overlap(basis, l, i, j) + peer.vphi[i + j * blocks];
    }
    if (r < n) return light * kinetic(basis, l, n - 1 - r, c - n);
    if (c < n) return light * kinetic(basis, l, n - 1 - c, r - n);
    return -(2.0 * light * light + peer.e) * kinetic(basis, l, r - n, c - n) +
           peer.vpsi[(r - n) + (c - n) * blocks];
}

// The Green's-function element at the basis edge by a full dsyev of the scaled matrix.
double green(const Peer& peer, int n) {
    const bool dirac = peer.problem.scheme.dirac;
    const int m = dirac ? 2 * n : n;
    std::vector<double> a(static_cast<std::size_t>(m) * m), w(m), scale(m);
    for (int r = 0; r < m; ++r) {
        const double d = std::fabs(element(peer, r, r, n));
        scale[r] = d > 0.0 ? 1.0 / std::sqrt(d) : 1.0;
    }
    for (int c = 0; c < m; ++c) {
        for (int r = c; r < m; ++r)
            a[r + c * m] = element(peer, r, c, n) * scale[r] * scale[c];
    }
    int lwork = -1, info = 0;
    double query = 0.0;
    dsyev_("V", "L", &m, a.data(), &m, w.data(), &query, &lwork, &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    dsyev_("V", "L", &m, a.data(), &m, w.data(), work.data(), &lwork, &info);
    const int p = dirac ? 0 : n - 1;
    double sum = 0.0;
    for (int k = 0; k < m; ++k)
        sum += a[p + k * m] * a[p + k * m] / w[k];
    return scale[p] * scale[p] * sum;
}

double delta(const Peer& peer, int n, const FreeSolutions& free) {
    const Basis& basis = peer.problem.basis;
    const int l = peer.problem.wave.l;
    const double g_n = green(peer, n);
    double coupling =
        0.5 * kinetic(basis, l, n, n - 1) - 0.5 * peer.k * peer.k * overlap(basis, l, n, n - 1);
    double b = 1.0;
    if (peer.problem.scheme.dirac) {
        const double light = peer.problem.scheme.light;
        b = 2.0 * std::sqrt(peer.e / (2.0 * light * light + peer.e)) * light / peer.k;
    }
    const double x = b * g_n * coupling;
    return std::atan(-(free.regular(n - 1) + x * free.regular(n)) /
                     (free.irregular(n - 1) + x * free.irregular(n)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peer_lapack <parameter file>\n");
        return 2;
    }
    loadparams(argv[1]);
    const FloatModeGuard mode;
    Peer peer;
    peer.problem = run_problem();
    peer.e = run_record.projectile.e;
    peer.k = wave_number(peer.problem.scheme, peer.e);
    const int nend = run_record.nend;
    const int top = free_solution_top(nend);
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = cpu_seconds();
    PotentialMatrix(peer.problem, nend + 1).blocks(nend, peer.vphi, peer.vpsi);
    peer.blocks = nend;
    const double potential_cpu = cpu_seconds() - cpu0;
    double last = 0.0;
    {
        const FreeSolutions free(peer.problem.basis, peer.problem.wave.l, peer.k, top);
        for (int n = run_record.nstart; n <= nend; ++n)
            last = delta(peer, n, free);
    }
    const double scan_cpu = cpu_seconds() - cpu0 - potential_cpu;
    if (run_record.energies) {
        const int count = energy_count(run_record);
        for (int i = 0; i < count; ++i) {
            peer.e = grid_energy(run_record, i);
            peer.k = wave_number(peer.problem.scheme, peer.e);
            const FreeSolutions free(peer.problem.basis, peer.problem.wave.l, peer.k, top);
            last = delta(peer, nend, free);
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
