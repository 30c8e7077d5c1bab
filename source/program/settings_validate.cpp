// Validation of the loaded parameters: values the method cannot carry end the run before it
// starts, with one message each.
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings.hpp"
#include "settings_internal.hpp"
#include "text_format.hpp"

namespace skarven::detail {

namespace {

void require(bool holds, std::string_view message) {
    if (!holds) throw_error(loadparams_routine, message);
}

// The values of each text key, in the order its refusal lists them.
struct TextKey {
    std::string_view name;
    std::array<std::string_view, 4> values;  // unused places empty
};
constexpr TextKey text_keys[] = {{"pot_type", {"well", "coulomb", "yukawa", "user"}},
                                 {"basis", {"gauss", "laguerre"}},
                                 {"scheme", {"relativistic", "non-relativistic"}},
                                 {"v_light", {"finite", "infinite"}},
                                 {"solver", {"eigen", "fast"}}};

const TextKey& text_key(std::string_view name) {
    for (const TextKey& key : text_keys) {
        if (key.name == name) return key;
    }
    SKARVEN_CHECK(false);
    return text_keys[0];
}

bool is_known_value(std::string_view name, std::string_view field) {
    for (std::string_view value : text_key(name).values) {
        if (!value.empty() && text_is(field, value)) return true;
    }
    return false;
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
        const double last = grid_energy(s, energy_count(s) - 1);
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

std::string unknown_value_message(std::string_view key) {
    std::string message = "<" + std::string(key) + "> must be ";
    const auto& values = text_key(key).values;
    std::size_t count = 0;
    while (count < values.size() && !values[count].empty()) {
        ++count;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) message += i + 1 == count ? " or " : ", ";
        message += "<" + std::string(values[i]) + ">";
    }
    return message;
}

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
    require(is_known_value("pot_type", type), unknown_value_message("pot_type"));
    if (text_is(type, "well")) {
        require(s.potential.a < s.potential.b, "incorrect values of <a> or <b>");
    }
    if (text_is(type, "yukawa")) require(s.potential.m > 0.0, "<m> should be positive");
    require(is_known_value("basis", s.basis), unknown_value_message("basis"));
    require(is_known_value("scheme", s.scheme), unknown_value_message("scheme"));
    if (relativistic) require(is_known_value("v_light", s.vol), unknown_value_message("v_light"));
    require(s.lambda > 0.0, "<lambda> must be positive");
    require(is_known_value("solver", s.solver), unknown_value_message("solver"));
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

namespace {

// ln 1e16: a potential fallen by this factor no longer changes a double.
constexpr double negligible_decay = 36.8;
// Result files beyond this many bytes are worth a warning before the run starts.
constexpr double large_output = 1e9;

// Where a finite-range potential ends, and the key that says so.
struct OuterEdge {
    std::string_view key;
    double radius;
};

// b of the well, or r0 of a cut potential; a cut Yukawa potential counts only while it is not
// negligible at the reach of the basis.
std::optional<OuterEdge> outer_edge() {
    const PotentialParams& p = sk_globals.potential;
    if (text_is(p.pot_type, "well")) return OuterEdge{"b", p.b};
    if (p.r0 <= 0.0) return std::nullopt;
    if (text_is(p.pot_type, "yukawa") &&
        p.m * basis_reach() / sk_globals.lambda > negligible_decay) {
        return std::nullopt;
    }
    return OuterEdge{"r0", p.r0};
}

// Bytes of the files of a partial-wave run as the writers lay them out, headers aside: per energy
// an .en line (10 + 3 x 26 columns), a .pw line (10 + 26 per wave, every wave up to lmax), an
// .xs line (10 + 2 x 24 + 5), and a .dcs block (its "; energy =" line, two blank lines, and
// 12 + 24 columns per angle).
double planned_output_bytes() {
    const RunSettings& s = sk_globals;
    const double energies = energy_count(s);
    const double waves = relativistic_scheme() ? 2.0 * s.lmax + 1.0 : s.lmax + 1.0;
    const double per_energy = (10.0 + 3.0 * 26.0 + 1.0) + (10.0 + 26.0 * waves + 1.0) +
                              (10.0 + 2.0 * 24.0 + 5.0 + 1.0) +
                              (s.angles > 0 ? 22.0 + 2.0 + 37.0 * s.angles : 0.0);
    return energies * per_energy;
}

}  // namespace

void warn() {
    const RunSettings& s = sk_globals;
    const PotentialParams& p = s.potential;
    if (text_is(s.basis, "gauss") && (s.projectile.e > 25.0 || (s.energies && s.eend > 25.0))) {
        show_warning(loadparams_routine, "results for e>25 may be inaccurate in gaussian basis");
    }
    if ((text_is(s.scheme, "non-relativistic") && s.nend > 3000) ||
        (relativistic_scheme() && s.nend > 2000)) {
        show_warning(loadparams_routine, "be prepared for a long-running calculations");
    }
    // The one-wave run is kept: the divergence itself may be what is studied.
    if (text_is(p.pot_type, "coulomb") && p.alpha <= 1.0 && p.r0 <= 0.0 && p.z != 0.0) {
        show_warning(loadparams_routine,
                     "<coulomb> with <alpha> <= 1 and <r0> <= 0 has an infinite range: delta_N "
                     "has no limit, it grows like (z/k) ln N (faster for <alpha> < 1) and wraps "
                     "modulo pi (a cut-off <r0> > 0 gives a finite range)");
    }
    const std::optional<OuterEdge> edge = outer_edge();
    if (edge && s.lambda * edge->radius > basis_reach()) {
        show_warning(loadparams_routine, "<" + std::string(edge->key) +
                                             "> lies beyond the reach of the basis at <nend>: "
                                             "the results are limited by the basis");
    }
    if (s.lmax >= 0) {
        const double bytes = planned_output_bytes();
        if (bytes > large_output) {
            const std::string size = format_fixed(bytes / 1e9, 24, 1);
            show_warning(loadparams_routine, "the result files may take up to " +
                                                 size.substr(size.find_first_not_of(' ')) +
                                                 " GB: <angles> and the energies set the size");
        }
    }
}

}  // namespace skarven::detail
