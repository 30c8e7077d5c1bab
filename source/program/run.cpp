// The run record's problem and route, as the passes of a run use them.
#include "run.hpp"

#include <algorithm>
#include <string>

#include "diagnostics.hpp"
#include "settings.hpp"

namespace skarven {

// The loaded record holds the speed of light as a number; the run computes with that one.
Problem run_problem() {
    Problem problem = problem_of(run_record);
    if (problem.scheme.dirac) problem.scheme.light = run_record.v_light;
    return problem;
}

// Where the current point lies, for an error message: the basis size in the basis-size pass, the
// energy (shortest form that reads back exactly) in the energy pass.
std::string current_point() {
    if (run_record.pass != 2) return point_at_size(run_record.ntrunc);
    return point_at_energy(run_record.projectile.e);
}

EnergyWindow run_window() {
    return {run_record.estart, run_record.eend, run_record.estep};
}

FreeSolutions free_solutions(const Problem& problem, double e) {
    return free_solutions_of(problem, e, free_solution_top(run_record.nend));
}

PhaseShift run_phase_shift(const Problem& problem, int n, double g_n, const FreeSolutions& free) {
    return phase_shift(problem, run_record.projectile.e, n, g_n, free, run_record.shift,
                       current_point);
}

std::unique_ptr<Route> make_run_route(const Problem& problem) {
    return make_route(fast_solver() ? RouteKind::fast : RouteKind::eigen, problem,
                      std::max(run_record.nend + 1, 1), show_warning);
}

}  // namespace skarven
