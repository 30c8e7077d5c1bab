#pragma once
// The phase shift from the Green's-function element at the basis edge and the free solutions.

#include <functional>
#include <string>

#include "coefficients.hpp"
#include "skarven/problem.hpp"

namespace skarven {

struct PhaseShift {
    double tan_delta;
    double delta;  // atan(tan_delta), plus pi when negative and `shift` is asked for
};

// tan(delta) = -(s_(n-1) + x s_n) / (c_(n-1) + x c_n), x = b g_n J(n, n-1), at basis size n and
// kinetic energy e, from the element g_n of (J + V)^-1 at the basis edge (+infinity: a singular
// truncated matrix, whose limit -s_n / c_n is taken). A value that is not finite throws
// Error("control_calc_delta", "... at " + where()).
PhaseShift phase_shift(const Problem& problem, double e, int n, double g_n,
                       const FreeSolutions& free, bool shift,
                       const std::function<std::string()>& where);

// The point an error names: "N = <n>", or "e = <e>" in the shortest form that reads back exactly.
std::string point_at_size(int n);
std::string point_at_energy(double e);

}  // namespace skarven
