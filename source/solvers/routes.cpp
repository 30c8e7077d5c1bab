#include "routes.hpp"

#include <cmath>
#include <string>

#include "basis.hpp"
#include "routes_internal.hpp"

namespace skarven {

std::unique_ptr<Route> make_route(RouteKind kind, const Problem& problem, int largest_size,
                                  WarningSink warn, PotentialBlocksSource blocks) {
    if (kind == RouteKind::fast) return make_fast_route(problem, largest_size, std::move(blocks));
    return make_reference_route(problem, largest_size, std::move(warn));
}

bool keeps_outer_lower_rows(const Problem& problem) {
    return problem.scheme.dirac && problem.basis.kind == BasisKind::laguerre &&
           coulomb_strength_at_origin(problem.potential) != 0.0;
}

// Beyond the basis the free lower rows ask T d = 0 of d_j = c a_j - (2c^2 + e) b_j, which the
// plain element sets to zero there although the potential makes d_(n-1) nonzero; for v ~ -Z/r
// that error does not shrink with n. T = -d^2/dr^2 + l(l+1)/r^2 is the same for kappa and
// -kappa - 1; of its two solutions, d_j ~ (-1)^j (the expansion of r^(l+1), regular) and
// (-1)^j / G(j) (of r^-l), the regular one continues the rows for either sign: d_n = -d_(n-1).
// Folded back into rows phi_(n-1) and psi_(n-1) it adds tau v v^T to their block,
// v = (c, -(2c^2 + e)), and the edge element follows by Sherman-Morrison.
double consistent_edge(const Problem& problem, double l, double e, int n, double g_phi,
                       double g_mixed, double g_psi) {
    const double c = problem.scheme.light;
    const double heavy = 2.0 * c * c + e;
    const double tau = kinetic(problem.basis, l, n - 1, n) / heavy;
    const double gv_phi = c * g_phi - heavy * g_mixed;
    const double gv_psi = c * g_mixed - heavy * g_psi;
    const double vgv = c * gv_phi - heavy * gv_psi;
    return g_phi - tau * gv_phi * gv_phi / (1.0 + tau * vgv);
}

// An infinite or undefined potential element would be scaled and diagonalised into a finite but
// meaningless phase shift; the computation ends instead.
void require_finite_potential(const std::vector<double>& values, int n) {
    for (double value : values) {
        if (!std::isfinite(value))
            throw_error("g", "the potential matrix is not finite at N = " + std::to_string(n));
    }
}

}  // namespace skarven
