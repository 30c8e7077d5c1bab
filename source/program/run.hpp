#pragma once
// The run record's problem, route and phase shifts, shared by the passes of a run.

#include <memory>
#include <string>

#include "coefficients.hpp"
#include "phase_shift.hpp"
#include "routes.hpp"
#include "skarven/problem.hpp"

namespace skarven {

// The problem of the run record as values.
Problem run_problem();
// The energies of the energy pass.
EnergyWindow run_window();
// The run's route for `problem`, sized for basis sizes up to nend + 1, with its warnings shown.
std::unique_ptr<Route> make_run_route(const Problem& problem);
// The free solutions' coefficients up to the run's largest index at kinetic energy e.
FreeSolutions free_solutions(const Problem& problem, double e);
// Where the current point lies, for an error message: "N = <ntrunc>" in the basis-size pass,
// "e = <energy>" (shortest form that reads back exactly) in the energy pass.
std::string current_point();
// The phase shift at basis size n and the current energy of the run record.
PhaseShift run_phase_shift(const Problem& problem, int n, double g_n, const FreeSolutions& free);

}  // namespace skarven
