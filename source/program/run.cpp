// The run record's problem and route, as the passes of a run use them.
#include "run.hpp"

#include <algorithm>
#include <charconv>
#include <string>

#include "diagnostics.hpp"
#include "settings.hpp"

namespace skarven {

// The problem of the run record as values.
Problem run_problem() {
    const RunSettings& s = sk_globals;
    Problem problem;
    problem.basis.kind = text_is(s.basis, "gauss") ? BasisKind::oscillator : BasisKind::laguerre;
    problem.basis.lambda = s.lambda;
    problem.scheme.dirac = relativistic_scheme();
    problem.scheme.light = s.v_light;
    problem.wave.l = s.projectile.l;
    problem.wave.kappa = s.projectile.kappa;
    const PotentialParams& p = s.potential;
    Potential& v = problem.potential;
    if (text_is(p.pot_type, "well")) v.kind = PotentialKind::well;
    if (text_is(p.pot_type, "coulomb")) v.kind = PotentialKind::coulomb;
    if (text_is(p.pot_type, "yukawa")) v.kind = PotentialKind::yukawa;
    if (text_is(p.pot_type, "user")) v.kind = PotentialKind::user;
    v.r0 = p.r0;
    v.v0 = p.v0;
    v.a = p.a;
    v.b = p.b;
    v.z = p.z;
    v.alpha = p.alpha;
    v.g = p.g;
    v.m = p.m;
    return problem;
}

// Where the current point lies, for an error message: the basis size in the basis-size pass, the
// energy (shortest form that reads back exactly) in the energy pass.
std::string current_point() {
    if (sk_globals.pass != 2) return "N = " + std::to_string(sk_globals.ntrunc);
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, sk_globals.projectile.e);
    return "e = " + std::string(text, result.ptr);
}

EnergyWindow run_window() {
    return {sk_globals.estart, sk_globals.eend, sk_globals.estep};
}

FreeSolutions free_solutions(const Problem& problem, double k) {
    return FreeSolutions(problem.basis, problem.wave.l, k, free_solution_top(sk_globals.nend));
}

PhaseShift run_phase_shift(const Problem& problem, int n, double g_n, const FreeSolutions& free) {
    return phase_shift(problem, sk_globals.projectile.e, n, g_n, free, sk_globals.shift,
                       current_point);
}

std::unique_ptr<Route> make_run_route(const Problem& problem) {
    return make_route(fast_solver() ? RouteKind::fast : RouteKind::eigen, problem,
                      std::max(sk_globals.nend + 1, 1), show_warning);
}

}  // namespace skarven
