#pragma once
// What the timing programs share: process CPU time and the model problems they time. A program
// that calls the engine's internal objects holds a skarven::FloatModeGuard (float_mode.hpp), so
// that it times the program's floating-point mode.
#include <time.h>

#include "skarven/problem.hpp"

// Process CPU time over all threads, in seconds.
inline double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Laguerre basis, lambda = 1, l = 0. The speed of light does not enter the potential matrix, so
// the Dirac problem leaves it at 0.

// Yukawa g = m = 1 to infinity (r0 = 0), Schroedinger.
inline skarven::Problem yukawa_problem() {
    skarven::Problem problem;
    problem.potential = {.kind = skarven::PotentialKind::yukawa, .r0 = 0.0, .g = 1.0, .m = 1.0};
    return problem;
}

// Square well v0 = -1 on [0, 1], Schroedinger.
inline skarven::Problem square_well_problem() {
    skarven::Problem problem;
    problem.potential = {.kind = skarven::PotentialKind::well, .v0 = -1.0, .a = 0.0, .b = 1.0};
    return problem;
}

// Spherical shell v0 = -1 on [0.5, 1], Dirac, kappa = -1.
inline skarven::Problem shell_problem() {
    skarven::Problem problem;
    problem.scheme = {.dirac = true};
    problem.wave = {.l = 0, .kappa = -1};
    problem.potential = {.kind = skarven::PotentialKind::well, .v0 = -1.0, .a = 0.5, .b = 1.0};
    return problem;
}
