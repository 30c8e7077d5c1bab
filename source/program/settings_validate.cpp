// Validation of the loaded parameters: values the method cannot carry end the run before it
// starts, with one message each.
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "potential.hpp"
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
    std::array<std::string_view, 11> values;  // unused places empty
};
constexpr TextKey text_keys[] = {{"pot_type",
                                  {"well", "coulomb", "yukawa", "user", "woods-saxon", "hulthen",
                                   "exponential", "gaussian", "morse", "formula", "table"}},
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

// Energies of one energy pass, and the smallest step relative to the last energy (successive
// energies then differ by many units in the last place).
constexpr double largest_energy_count = 1e6;
constexpr double smallest_relative_step = 1e-12;

// Settings the method cannot represent in double precision end the run here rather than as a
// hang, an internal check or numbers that are not numbers. The problem's own checks are the
// library's; the energy grid's are the run's.
void validate_ranges(const Problem& problem) {
    const RunSettings& s = run_record;
    check_l_range(problem.basis, problem.wave, s.nend);
    check_lambda_range(problem.basis);
    check_energy_fits(problem, s.projectile.e, "e");
    if (s.energies) {
        const double steps = (s.eend - s.estart) / s.estep;
        // The energy count is the integer part of steps + 1.1.
        require(steps + 1.1 < largest_energy_count + 1.0 &&
                    (s.estart == s.eend || s.estep >= smallest_relative_step * s.eend),
                "<estep> is too small for the energy range");
        check_energy_fits(problem, grid_energy(s, energy_count(s) - 1), "eend");
    }
    check_potential_range(problem, s.nend);
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

// The checks are written so that a comparison with a value that is not a number fails. Text keys
// are checked here; the problem's values by the library, in between, in the loader's order.
void validate() {
    const RunSettings& s = run_record;
    const Problem problem = problem_of(s);
    check_basis_sizes(s.nstart, s.nend);
    check_energy_positive(s.projectile.e);
    if (s.energies) {
        require(s.estart <= s.eend, "incorrect values of <estart> or <eend>");
        require(s.estart > 0.0 && s.eend > 0.0, "<estart> and <eend> must be positive");
        require(s.estep > 0.0, "<estep> must be positive");
    }
    check_wave_pairing(problem.scheme, problem.wave);
    require(is_known_value("pot_type", s.potential.pot_type), unknown_value_message("pot_type"));
    check_potential_parameters(problem.potential);
    require(is_known_value("basis", s.basis), unknown_value_message("basis"));
    require(is_known_value("scheme", s.scheme), unknown_value_message("scheme"));
    if (problem.scheme.dirac) {
        require(is_known_value("v_light", s.vol), unknown_value_message("v_light"));
    }
    check_lambda_positive(problem.basis);
    require(is_known_value("solver", s.solver), unknown_value_message("solver"));
    validate_ranges(problem);
    check_coulomb_tail(problem);
}

void check_partial_wave_keys(const PartialWaveKeys& given) {
    const RunSettings& s = run_record;
    check_partial_wave_sampling(s.lconv, s.angles);
    if (!given.lmax) {
        for (auto [key_given, name] : {std::pair{given.lconv, "lconv"}, {given.angles, "angles"}}) {
            if (key_given) {
                show_warning(loadparams_routine,
                             "<" + std::string(name) + "> has been ignored: it needs <lmax>");
            }
        }
        return;
    }
    check_lmax(problem_of(s).basis, s.lmax, s.nend);
    require(s.energies, "<lmax> needs <energies> = true");
    require(text_is(s.solver, "fast"), "<lmax> needs <solver> = fast");
    check_short_range(problem_of(s).potential);
    if (s.zc != 0.0 && s.angles > 0) {
        show_warning(loadparams_routine,
                     "theta = 0 has been left out of <angles>: the Rutherford amplitude is "
                     "infinite there");
    }
    if (given.l) {
        show_warning(loadparams_routine, "<l> has been ignored: the partial waves start at l = 0");
    }
    if (given.kappa && relativistic_scheme()) {
        show_warning(loadparams_routine,
                     "<kappa> has been ignored: the partial waves start at kappa = -1");
    }
}

// The limit is estimated from every delta_N of the basis-size pass, which only the fast route
// gives at O(N^2) per size.
void check_tolerance(bool given) {
    const RunSettings& s = run_record;
    if (!given) return;
    require(s.tolerance > 0.0 && std::isfinite(s.tolerance), "<tolerance> must be positive");
    require(text_is(s.solver, "fast"), "<tolerance> needs <solver> = fast");
}

// The rule of lambda = auto is for the limit's cost in the Laguerre basis; without a tolerance
// delta_N itself would depend on a scale the user did not choose.
void check_lambda_auto(bool tolerance_given) {
    const RunSettings& s = run_record;
    if (!s.lambda_auto) return;
    require(tolerance_given, "<lambda> = auto needs <tolerance>");
    require(text_is(s.basis, "laguerre"), "<lambda> = auto needs <basis> = laguerre");
}

namespace {

// ln 1e16: a potential fallen by this factor no longer changes a double.
constexpr double negligible_decay = 36.8;
// Result files beyond this many bytes are worth a warning before the run starts.
constexpr double large_output = 1e9;

// lambda |r| beyond which the run's basis functions are negligible.
double run_basis_reach() {
    const RunSettings& s = run_record;
    return basis_reach(problem_of(s).basis.kind, s.projectile.l, s.nend);
}

// Where a finite-range potential ends, and the key that says so.
struct OuterEdge {
    std::string_view key;
    double radius;
};

// b of the well, or r0 of a cut potential; a cut Yukawa potential counts only while it is not
// negligible at the reach of the basis.
std::optional<OuterEdge> outer_edge() {
    const PotentialParams& p = run_record.potential;
    if (text_is(p.pot_type, "well")) return OuterEdge{"b", p.b};
    if (p.r0 <= 0.0) return std::nullopt;
    if (text_is(p.pot_type, "yukawa") &&
        p.m * run_basis_reach() / run_record.lambda > negligible_decay) {
        return std::nullopt;
    }
    return OuterEdge{"r0", p.r0};
}

// Bytes of the files of a partial-wave run as the writers lay them out, headers aside: per energy
// an .en line (10 + 3 x 26 columns), a .pw line (10 + 26 per wave, every wave up to lmax), an
// .xs line (10 + 2 x 24 + 5), and a .dcs block (its "; energy =" line, two blank lines, and
// 12 + 24 columns per angle).
double planned_output_bytes() {
    const RunSettings& s = run_record;
    const double energies = energy_count(s);
    const double waves = relativistic_scheme() ? 2.0 * s.lmax + 1.0 : s.lmax + 1.0;
    const double per_energy = (10.0 + 3.0 * 26.0 + 1.0) + (10.0 + 26.0 * waves + 1.0) +
                              (10.0 + 2.0 * 24.0 + 5.0 + 1.0) +
                              (s.angles > 0 ? 22.0 + 2.0 + 37.0 * s.angles : 0.0);
    return energies * per_energy;
}

}  // namespace

void warn() {
    const RunSettings& s = run_record;
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
    if (relativistic_scheme()) {
        // The regular solution starts as r^gamma; at gamma <= 1/2 its derivative is not square
        // integrable, and no basis of the kinetic-balance kind expands it (gamma^2 < 0: none).
        const double kappa = s.lmax >= 0 ? 1.0 : s.projectile.kappa;
        const double gamma2 = origin_gamma_squared(problem_of(s), kappa);
        if (gamma2 != kappa * kappa && gamma2 <= 0.25) {
            show_warning(loadparams_routine,
                         "the potential's -Z/r at the origin leaves sqrt(kappa^2 - (Z/c)^2) at or "
                         "below 1/2: the regular solution rises too steeply for the basis, and "
                         "delta_N may not converge");
        }
    }
    const std::optional<OuterEdge> edge = outer_edge();
    if (edge && s.lambda * edge->radius > run_basis_reach()) {
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
