// Validation of the loaded parameters: values the method cannot carry end the run before it
// starts, with one message each.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "settings.hpp"
#include "settings_internal.hpp"

namespace skarven::detail {

namespace {

void require(bool holds, std::string_view message) {
    if (!holds) show_error(loadparams_routine, message);
}

// lambda and 1/lambda stay below this, so that with the basis growth below no product the method
// forms leaves the range of a double.
constexpr double largest_magnitude = 1e20;
// Potential strengths relative to the basis's kinetic scale lambda^2: beyond, the free matrix
// drowns in the rounding of the potential and the two routes part by more than 1e-5.
constexpr double largest_relative_strength = 1e10;
// (k/lambda)^2 in the Laguerre basis: beyond, the kinetic part of the free matrix is below the
// rounding of its energy part.
constexpr double largest_laguerre_q2 = 1e15;
// ln 1e250: the unnormalised basis grows with the index like (n + 2l + 1)!/n! (Laguerre) or
// Gamma(n + l + 3/2)/n! (oscillator); at the first index outside the largest basis it stays below
// 1e250.
constexpr double largest_log_growth = 575.6462732485114;
// The factorial table ends at 170! and the gamma function at 171.
constexpr int largest_factorial = 170;
// (k/lambda)^2 up to which the oscillator basis's free solutions are carried.
constexpr double largest_oscillator_q2 = 2000.0;
// The Yukawa decay rate per unit of the basis scale: beyond it the potential is far narrower than
// anything the basis resolves, and the quadrature panels, sized by that rate, grow in proportion.
constexpr double largest_decay_ratio = 100.0;
// Energies of one energy pass, and the smallest step relative to the last energy (successive
// energies then differ by many units in the last place).
constexpr double largest_energy_count = 1e6;
constexpr double smallest_relative_step = 1e-12;
// A Coulomb power below this grows past the range of a double across the basis.
constexpr double smallest_power = -20.0;

// ln of the largest basis-growth factor of the run (index nend + 1).
double log_basis_growth(int l) {
    const double n = sk_globals.nend + 1.0;
    if (text_is(sk_globals.basis, "laguerre"))
        return std::lgamma(n + 2.0 * l + 2.0) - std::lgamma(n + 1.0);
    return std::lgamma(n + l + 1.5) - std::lgamma(n + 1.0);
}

bool l_in_range(int l) {
    if (l < 0 || l > 1000) return false;
    if (text_is(sk_globals.basis, "laguerre") && 2 * l + 2 > largest_factorial) return false;
    if (text_is(sk_globals.basis, "gauss") && l + 2.5 > largest_factorial) return false;
    return log_basis_growth(l) <= largest_log_growth;
}

// (k/lambda)^2 at energy e.
double scaled_wave_number_squared(double e) {
    double k2 = 2.0 * e;
    if (relativistic_scheme()) {
        const double c =
            text_is(sk_globals.vol, "finite") ? finite_light_speed : infinite_light_speed;
        k2 = e * (2.0 * c * c + e) / (c * c);
    }
    return k2 / (sk_globals.lambda * sk_globals.lambda);
}

// lambda |r| beyond which every basis function of the run has fallen below e^-700 of its largest
// value: twice the turning point of the highest function plus a decay length (the Laguerre
// functions fall at least like e^-(3x/8) beyond, the oscillator ones like e^-(3x^2/8)).
double basis_reach() {
    const double n = sk_globals.nend + 1.0;
    const int l = sk_globals.projectile.l;
    if (text_is(sk_globals.basis, "laguerre")) return 2.0 * (4.0 * n + 4.0 * l + 8.0) + 3000.0;
    return std::sqrt(4.0 * (4.0 * n + 2.0 * l + 7.0) + 2000.0);
}

// A power singularity r^-p at the origin is integrable against the basis functions when
// p < 2l + 3 (first component, like r^(l+1)), and in the Dirac scheme p < 2l + 1 for the second
// component (like r^l), or p < 2l + 3 when kappa = -(l + 1) cancels its leading term.
bool singularity_integrable(double p) {
    const int l = sk_globals.projectile.l;
    if (!(p < 2.0 * l + 3.0)) return false;
    if (!relativistic_scheme() || sk_globals.projectile.kappa == -(l + 1)) return true;
    return p < 2.0 * l + 1.0;
}

// Settings the method cannot represent in double precision end the run here rather than as a
// hang, an internal check or numbers that are not numbers.
void validate_ranges() {
    const RunSettings& s = sk_globals;
    const PotentialParams& p = s.potential;
    require(l_in_range(s.projectile.l), "<l> is out of range");
    require(s.lambda <= largest_magnitude && s.lambda >= 1.0 / largest_magnitude,
            "<lambda> is out of range");
    const bool gauss = text_is(s.basis, "gauss");
    auto energy_fits = [gauss](double e) {
        const double q2 = scaled_wave_number_squared(e);
        return gauss ? q2 <= largest_oscillator_q2 : q2 <= largest_laguerre_q2;
    };
    const std::string_view basis_note = gauss ? " in gaussian basis" : "";
    require(energy_fits(s.projectile.e), "<e> is too large for <lambda>" + std::string(basis_note));
    if (s.energies) {
        const double steps = (s.eend - s.estart) / s.estep;
        // The energy count is the integer part of steps + 1.1.
        require(steps + 1.1 < largest_energy_count + 1.0 &&
                    (s.estart == s.eend || s.estep >= smallest_relative_step * s.eend),
                "<estep> is too small for the energy range");
        // The last energy may lie up to a tenth of a step above eend.
        const double last = s.estart + (static_cast<int>(steps + 1.1) - 1) * s.estep;
        require(energy_fits(last), "<eend> is too large for <lambda>" + std::string(basis_note));
    }
    const std::string& type = p.pot_type;
    // A strength relative to lambda^2: v0, z lambda^alpha, g^2 lambda.
    auto strength_fits = [&s](double strength, double lambda_power) {
        if (strength == 0.0) return true;
        return std::log(std::fabs(strength)) + (lambda_power - 2.0) * std::log(s.lambda) <=
               std::log(largest_relative_strength);
    };
    if (text_is(type, "well")) {
        require(strength_fits(p.v0, 0.0), "<v0> is out of range");
        require(s.lambda * std::fabs(p.a) <= basis_reach(),
                "<a> lies beyond the reach of the basis");
    } else if (text_is(type, "coulomb")) {
        require(p.alpha >= smallest_power && singularity_integrable(p.alpha),
                "<alpha> is out of range");
        require(strength_fits(p.z, p.alpha), "<z> is out of range");
    } else if (text_is(type, "yukawa")) {
        require(strength_fits(p.g * p.g, 1.0), "<g> is out of range");
        require(p.m <= largest_decay_ratio * s.lambda, "<m> is out of range");
        require(singularity_integrable(1.0), "<kappa> is out of range");
    }
}

}  // namespace

// The checks are written so that a comparison with a value that is not a number fails.
void validate() {
    const RunSettings& s = sk_globals;
    const bool relativistic = relativistic_scheme();
    require(s.nstart >= 1 && s.nstart <= s.nend, "incorrect values of <nstart> or <nend>");
    require(s.nend <= 5000, "<nend> is to big");
    require(s.projectile.e > 0.0, "<e> must be positive");
    if (s.energies) {
        require(s.estart <= s.eend, "incorrect values of <estart> or <eend>");
        require(s.estart > 0.0 && s.eend > 0.0, "<estart> and <eend> must be positive");
        require(s.estep > 0.0, "<estep> must be positive");
    }
    if (relativistic) {
        // Widened so that l = INT32_MIN cannot overflow.
        const std::int64_t l_value = s.projectile.l;
        const std::int64_t kappa_value = s.projectile.kappa;
        require(kappa_value == l_value || kappa_value == -l_value - 1,
                "<l> and <kappa> are not properly correlated");
    }
    const std::string& type = s.potential.pot_type;
    require(text_is(type, "well") || text_is(type, "coulomb") || text_is(type, "yukawa") ||
                text_is(type, "user"),
            "<pot_type> must be <well>, <coulomb> or <user>");
    if (text_is(type, "well")) {
        require(s.potential.a < s.potential.b, "incorrect values of <a> or <b>");
    }
    if (text_is(type, "yukawa")) require(s.potential.m > 0.0, "<m> should be positive");
    require(text_is(s.basis, "laguerre") || text_is(s.basis, "gauss"),
            "<basis> must be <gauss> or <laguerre>");
    require(relativistic || text_is(s.scheme, "non-relativistic"),
            "<scheme> must be <relativistic> or <non-relativistic>");
    if (relativistic) {
        require(text_is(s.vol, "finite") || text_is(s.vol, "infinite"),
                "<v_light> must be <finite> or <infinite>");
    }
    require(s.lambda > 0.0, "<lambda> must be positive");
    require(text_is(s.solver, "eigen") || text_is(s.solver, "fast"),
            "<solver> must be <eigen> or <fast>");
    validate_ranges();
}

// Beyond l = 40 the basis loses the partial waves (their phase shifts come out near 0) before
// the fast route's factorisation fails outright.
constexpr int largest_lmax = 40;
constexpr int largest_angles = 100000;

void check_partial_wave_keys(const PartialWaveKeys& given) {
    const RunSettings& s = sk_globals;
    require(s.lconv > 0.0, "<lconv> must be positive");
    require(s.angles == 0 || (s.angles >= 2 && s.angles <= largest_angles),
            "<angles> must be 0 or between 2 and " + std::to_string(largest_angles));
    if (!given.lmax) {
        for (auto [key_given, name] : {std::pair{given.lconv, "lconv"}, {given.angles, "angles"}}) {
            if (key_given) {
                show_warning(loadparams_routine,
                             "<" + std::string(name) + "> has been ignored: it needs <lmax>");
            }
        }
        return;
    }
    require(s.lmax >= 0 && s.lmax <= largest_lmax,
            "<lmax> must be between 0 and " + std::to_string(largest_lmax));
    // The highest wave meets the same limits of the basis as a one-wave run at that l.
    require(l_in_range(s.lmax), "<lmax> is out of range");
    require(s.energies, "<lmax> needs <energies> = true");
    require(text_is(s.solver, "fast"), "<lmax> needs <solver> = fast");
    // The partial-wave sums of a Coulomb tail do not converge.
    require(!(text_is(s.potential.pot_type, "coulomb") && s.potential.r0 <= 0.0 &&
              s.potential.alpha <= 1.0),
            "<lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0");
    if (given.l) {
        show_warning(loadparams_routine, "<l> has been ignored: the partial waves start at l = 0");
    }
    if (given.kappa && relativistic_scheme()) {
        show_warning(loadparams_routine,
                     "<kappa> has been ignored: the partial waves start at kappa = -1");
    }
}

void warn() {
    const RunSettings& s = sk_globals;
    if (text_is(s.basis, "gauss") && (s.projectile.e > 25.0 || (s.energies && s.eend > 25.0))) {
        show_warning(loadparams_routine, "results for e>25 may be inaccurate in gaussian basis");
    }
    if ((text_is(s.scheme, "non-relativistic") && s.nend > 3000) ||
        (relativistic_scheme() && s.nend > 2000)) {
        show_warning(loadparams_routine, "be prepared for a long-running calculations");
    }
}

}  // namespace skarven::detail
