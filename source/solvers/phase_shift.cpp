#include "phase_shift.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>

#include "basis.hpp"
#include "skarven/errors.hpp"

namespace skarven {

PhaseShift phase_shift(const Problem& problem, double e, int n, double g_n,
                       const FreeSolutions& free, bool shift,
                       const std::function<std::string()>& where) {
    // A number that is not finite here would be written as a wrong phase shift.
    auto require_finite = [&](bool finite, std::string_view what) {
        if (!finite) throw_error("control_calc_delta", std::string(what) + " at " + where());
    };
    constexpr double infinity = std::numeric_limits<double>::infinity();
    // +infinity is the singular truncated matrix, handled below; anything else non-finite is not.
    require_finite(std::isfinite(g_n) || g_n == infinity,
                   "the Green's function element is not finite");
    const double k = wave_number(problem.scheme, e);
    // The Dirac coupling is the Schroedinger form of the free element, with the factor b.
    // The free solutions carry the basis order (basis_order) they were made for.
    const double order = free.order();
    const double coupling = free_element_schroedinger(problem.basis, order, n, n - 1, k);
    double b = 1.0;
    if (problem.scheme.dirac) {
        const double light = problem.scheme.light;
        b = 2.0 * std::sqrt(e / (2.0 * light * light + e)) * light / k;
    }
    const double x = b * g_n * coupling;
    const double s0 = free.regular(n - 1);
    const double s1 = free.regular(n);
    const double c0 = free.irregular(n - 1);
    const double c1 = free.irregular(n);
    require_finite(std::isfinite(coupling) && std::isfinite(b) && std::isfinite(s0) &&
                       std::isfinite(s1) && std::isfinite(c0) && std::isfinite(c1),
                   "the free solutions are not finite");
    double tan_delta = std::isfinite(g_n) ? -(s0 + x * s1) / (c0 + x * c1) : -s1 / c1;
    // A zero denominator gives an infinite tangent, which is written as it is.
    require_finite(!std::isnan(tan_delta), "the phase shift is not a number");
    double delta = std::atan(tan_delta);
    if (order != problem.wave.l) {
        // The free solutions of order l' lag those of the wave's l by (l' - l) pi/2.
        delta += (problem.wave.l - order) * (0.5 * std::numbers::pi);
        if (delta > 0.5 * std::numbers::pi) delta -= std::numbers::pi;
        tan_delta = std::tan(delta);
    }
    if (shift && delta < 0.0) delta += std::numbers::pi;
    return {tan_delta, delta};
}

std::string point_at_size(int n) {
    return "N = " + std::to_string(n);
}

std::string point_at_energy(double e) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, e);
    return "e = " + std::string(text, result.ptr);
}

}  // namespace skarven
