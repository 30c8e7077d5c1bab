// Validation of the problem's values: values the method cannot carry in double precision are
// refused before any work starts, with the parameter file's message for each.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "skarven/errors.hpp"
#include "skarven/problem.hpp"

namespace skarven {

namespace {

// The values come from the parameter file in the program, so its loader's name reports them.
constexpr std::string_view routine = "loadparams";

void require(bool holds, std::string_view message) {
    if (!holds) throw_error(routine, message);
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
// Keeps 2l + 2 far from overflow; the factorial limits below are the tighter ones.
constexpr int largest_l = 1000;
// (k/lambda)^2 up to which the oscillator basis's free solutions are carried.
constexpr double largest_oscillator_q2 = 2000.0;
// The Yukawa decay rate per unit of the basis scale: beyond it the potential is far narrower than
// anything the basis resolves, and the quadrature panels, sized by that rate, grow in proportion.
constexpr double largest_decay_ratio = 100.0;
// A Coulomb power below this grows past the range of a double across the basis.
constexpr double smallest_power = -20.0;

// (k/lambda)^2 at energy e, squared directly rather than through wave_number so that no square
// root rounds the limit.
double scaled_wave_number_squared(const Problem& problem, double e) {
    double k2 = 2.0 * e;
    if (problem.scheme.dirac) {
        const double c = problem.scheme.light;
        k2 = e * (2.0 * c * c + e) / (c * c);
    }
    return k2 / (problem.basis.lambda * problem.basis.lambda);
}

// A power singularity r^-p at the origin is integrable against the basis functions when
// p < 2l + 3 (first component, like r^(l+1)), and in the Dirac scheme p < 2l + 1 for the second
// component (like r^l), or p < 2l + 3 when kappa = -(l + 1) cancels its leading term.
bool singularity_integrable(const Scheme& scheme, const Wave& wave, double p) {
    const int l = wave.l;
    if (!(p < 2.0 * l + 3.0)) return false;
    // Widened so that no l overflows.
    if (!scheme.dirac || std::int64_t{wave.kappa} == -std::int64_t{l} - 1) return true;
    return p < 2.0 * l + 1.0;
}

// The largest |r v(r)| on [R, 2R], sampled.
double largest_r_v(const Potential& p, double from) {
    constexpr int samples = 64;
    double largest = 0.0;
    for (int k = 0; k <= samples; ++k) {
        const double r = from * (1.0 + static_cast<double>(k) / samples);
        const double t = std::fabs(r * potential_value(p, r));
        if (!std::isfinite(t)) return t;
        largest = std::max(largest, t);
    }
    return largest;
}

// r v(r) must keep falling over the doublings beyond the reach of the basis: by at least 5 % a
// doubling (v ~ r^-1.08 passes, a Coulomb tail -z/r does not), or vanish there. The envelope is
// sampled on each doubling so that an oscillating tail (sin(r)/r^2) is judged by its size.
bool tail_falls_off(const Potential& p, double reach) {
    constexpr int doublings = 4;
    double previous = largest_r_v(p, reach);
    for (int j = 1; j < doublings; ++j) {
        const double current = largest_r_v(p, reach * std::ldexp(1.0, j));
        if (!(current == 0.0 || current <= 0.95 * previous)) return false;
        previous = current;
    }
    return std::isfinite(previous);
}

}  // namespace

double log_basis_growth(BasisKind kind, int l, int largest_basis_size) {
    const double n = largest_basis_size + 1.0;
    if (kind == BasisKind::laguerre) return std::lgamma(n + 2.0 * l + 2.0) - std::lgamma(n + 1.0);
    return std::lgamma(n + l + 1.5) - std::lgamma(n + 1.0);
}

bool l_in_range(BasisKind kind, int l, int largest_basis_size) {
    if (l < 0 || l > largest_l) return false;
    if (kind == BasisKind::laguerre && 2 * l + 2 > largest_factorial) return false;
    if (kind == BasisKind::oscillator && l + 2.5 > largest_factorial) return false;
    return log_basis_growth(kind, l, largest_basis_size) <= largest_log_growth;
}

// Twice the turning point of the highest function plus a decay length: the Laguerre functions
// fall at least like e^-(3x/8) beyond it, the oscillator ones like e^-(3x^2/8).
double basis_reach(BasisKind kind, int l, int largest_basis_size) {
    const double n = largest_basis_size + 1.0;
    if (kind == BasisKind::laguerre) return 2.0 * (4.0 * n + 4.0 * l + 8.0) + 3000.0;
    return std::sqrt(4.0 * (4.0 * n + 2.0 * l + 7.0) + 2000.0);
}

// The checks are written so that a comparison with a value that is not a number fails.

void check_wave_pairing(const Scheme& scheme, const Wave& wave) {
    if (!scheme.dirac) return;
    // Widened so that l = INT32_MIN cannot overflow.
    const std::int64_t l = wave.l;
    const std::int64_t kappa = wave.kappa;
    require(kappa == l || kappa == -l - 1, "<l> and <kappa> are not properly correlated");
}

void check_potential_parameters(const Potential& potential) {
    const PotentialKind kind = potential.kind;
    if (kind == PotentialKind::well) {
        require(potential.a < potential.b, "incorrect values of <a> or <b>");
    }
    if (kind == PotentialKind::yukawa) {
        require(potential.m > 0.0, "<m> should be positive");
    }
    if (kind == PotentialKind::woods_saxon) {
        require(potential.diffuse > 0.0, "<diffuse> should be positive");
    }
    if (kind == PotentialKind::hulthen || kind == PotentialKind::exponential ||
        kind == PotentialKind::gaussian || kind == PotentialKind::morse) {
        require(potential.range > 0.0, "<range> should be positive");
    }
    if (kind == PotentialKind::formula) {
        for (double radius : potential.breaks) {
            require(radius > 0.0 && std::isfinite(radius), "<breaks> must be positive radii");
        }
        if (!potential.formula) formula_evaluator(potential.expression);
    }
    if (kind == PotentialKind::table) {
        const std::vector<double>& r = potential.table_r;
        const std::vector<double>& v = potential.table_v;
        bool fits = r.size() == v.size() && r.size() >= 4;
        for (std::size_t i = 0; fits && i < r.size(); ++i) {
            fits = std::isfinite(r[i]) && std::isfinite(v[i]) && (i == 0 || r[i] > r[i - 1]);
        }
        require(fits, "<table> needs at least 4 points of increasing radius and finite values");
    }
}

void check_lambda_positive(const Basis& basis) {
    require(basis.lambda > 0.0, "<lambda> must be positive");
}

void check_l_range(const Basis& basis, const Wave& wave, int largest_basis_size) {
    require(l_in_range(basis.kind, wave.l, largest_basis_size), "<l> is out of range");
}

void check_lambda_range(const Basis& basis) {
    require(basis.lambda <= largest_magnitude && basis.lambda >= 1.0 / largest_magnitude,
            "<lambda> is out of range");
}

void check_energy_fits(const Problem& problem, double e, std::string_view key) {
    const bool oscillator = problem.basis.kind == BasisKind::oscillator;
    const double q2 = scaled_wave_number_squared(problem, e);
    require(oscillator ? q2 <= largest_oscillator_q2 : q2 <= largest_laguerre_q2,
            "<" + std::string(key) + "> is too large for <lambda>" +
                (oscillator ? " in gaussian basis" : ""));
}

void check_potential_range(const Problem& problem, int largest_basis_size) {
    const Potential& p = problem.potential;
    const double lambda = problem.basis.lambda;
    // A strength relative to lambda^2: v0, z lambda^alpha, g^2 lambda.
    auto strength_fits = [lambda](double strength, double lambda_power) {
        if (strength == 0.0) return true;
        return std::log(std::fabs(strength)) + (lambda_power - 2.0) * std::log(lambda) <=
               std::log(largest_relative_strength);
    };
    switch (p.kind) {
        case PotentialKind::well:
            require(strength_fits(p.v0, 0.0), "<v0> is out of range");
            require(lambda * std::fabs(p.a) <=
                        basis_reach(problem.basis.kind, problem.wave.l, largest_basis_size),
                    "<a> lies beyond the reach of the basis");
            break;
        case PotentialKind::coulomb:
            require(p.alpha >= smallest_power &&
                        singularity_integrable(problem.scheme, problem.wave, p.alpha),
                    "<alpha> is out of range");
            require(strength_fits(p.z, p.alpha), "<z> is out of range");
            break;
        case PotentialKind::yukawa:
            require(strength_fits(p.g * p.g, 1.0), "<g> is out of range");
            require(p.m <= largest_decay_ratio * lambda, "<m> is out of range");
            require(singularity_integrable(problem.scheme, problem.wave, 1.0),
                    "<kappa> is out of range");
            break;
        case PotentialKind::woods_saxon:
            require(strength_fits(p.v0, 0.0), "<v0> is out of range");
            require(1.0 / p.diffuse <= largest_decay_ratio * lambda, "<diffuse> is out of range");
            break;
        case PotentialKind::hulthen:
        case PotentialKind::exponential:
        case PotentialKind::gaussian:
            require(strength_fits(p.v0, 0.0), "<v0> is out of range");
            require(1.0 / p.range <= largest_decay_ratio * lambda, "<range> is out of range");
            if (p.kind == PotentialKind::hulthen) {
                // v0 range / r at the origin, like the Yukawa potential.
                require(singularity_integrable(problem.scheme, problem.wave, 1.0),
                        "<kappa> is out of range");
            }
            break;
        case PotentialKind::morse:
            // The repulsive core reaches v0 (2 e^(R/s) - e^(2R/s)) at r = 0.
            require(
                strength_fits(p.v0, 0.0) &&
                    std::log(std::fabs(p.v0) + 1e-300) + 2.0 * std::max(p.radius, 0.0) / p.range <=
                        std::log(largest_relative_strength * lambda * lambda),
                "<v0> is out of range");
            require(1.0 / p.range <= largest_decay_ratio * lambda, "<range> is out of range");
            break;
        case PotentialKind::formula:
            if (p.r0 <= 0.0) {
                require(tail_falls_off(prepared(p), basis_reach(problem.basis.kind, problem.wave.l,
                                                                largest_basis_size) /
                                                        lambda),
                        "<v> must fall off faster than 1/r at large r when <r0> <= 0 (a "
                        "Coulomb-like or growing tail has no phase shift): set <r0> > 0 to cut it");
            }
            break;
        case PotentialKind::user:
        case PotentialKind::table:
        case PotentialKind::none:
            break;
    }
}

void validate(const Problem& problem, int largest_basis_size) {
    check_wave_pairing(problem.scheme, problem.wave);
    check_potential_parameters(problem.potential);
    check_lambda_positive(problem.basis);
    check_l_range(problem.basis, problem.wave, largest_basis_size);
    check_lambda_range(problem.basis);
    check_potential_range(problem, largest_basis_size);
    check_coulomb_tail(problem);
}

// The Coulomb reference problem is tridiagonal in the Laguerre basis only, and carried for the
// Schroedinger equation.
void check_coulomb_tail(const Problem& problem) {
    if (problem.zc == 0.0) return;
    require(std::isfinite(problem.zc) && std::fabs(problem.zc) <= 1e6, "<zc> is out of range");
    require(problem.basis.kind == BasisKind::laguerre, "<zc> needs <basis> = laguerre");
    require(!problem.scheme.dirac, "<zc> needs <scheme> = non-relativistic");
}

void check_basis_sizes(int first, int last) {
    require(first >= 1 && first <= last, "incorrect values of <nstart> or <nend>");
    require(last <= largest_basis, "<nend> is to big");
}

void check_energy_positive(double e) {
    require(e > 0.0, "<e> must be positive");
}

// Beyond l = 40 the basis loses the partial waves (their phase shifts come out near 0) before
// the fast route's factorisation fails outright.
constexpr int largest_lmax = 40;
constexpr int largest_angles = 100000;

void check_partial_wave_sampling(double lconv, int angles) {
    require(lconv > 0.0, "<lconv> must be positive");
    require(angles == 0 || (angles >= 2 && angles <= largest_angles),
            "<angles> must be 0 or between 2 and " + std::to_string(largest_angles));
}

void check_lmax(const Basis& basis, int lmax, int largest_basis_size) {
    require(lmax >= 0 && lmax <= largest_lmax,
            "<lmax> must be between 0 and " + std::to_string(largest_lmax));
    // The highest wave meets the same limits of the basis as a one-wave run at that l.
    require(l_in_range(basis.kind, lmax, largest_basis_size), "<lmax> is out of range");
}

// The partial-wave sums of a Coulomb tail do not converge.
void check_short_range(const Potential& potential) {
    require(!(potential.kind == PotentialKind::coulomb && potential.r0 <= 0.0 &&
              potential.alpha <= 1.0),
            "<lmax> needs a short-range potential: <coulomb> with <alpha> <= 1 needs <r0> > 0");
}

}  // namespace skarven
