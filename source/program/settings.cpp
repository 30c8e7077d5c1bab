#include "settings.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "settings_internal.hpp"

namespace skarven {

RunSettings run_record;

std::string padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, width));
    field.resize(width, ' ');
    return field;
}

std::string_view trimmed(std::string_view text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool fast_solver() {
    return text_is(run_record.solver, "fast");
}

bool relativistic_scheme() {
    return text_is(run_record.scheme, "relativistic");
}

double window_energy(const RunSettings& settings) {
    return settings.energies ? 0.5 * (settings.estart + settings.eend) : settings.projectile.e;
}

bool text_is(std::string_view field, std::string_view value) {
    return trimmed(field) == trimmed(value);
}

void projectile_set_k(Projectile& projectile) {
    projectile.k =
        wave_number({.dirac = relativistic_scheme(), .light = run_record.v_light}, projectile.e);
}

int energy_count(const RunSettings& s) {
    return static_cast<int>((s.eend - s.estart) / s.estep + 1.1);
}

double grid_energy(const RunSettings& s, int i) {
    return s.estart + i * s.estep;
}

Problem problem_of(const RunSettings& s) {
    Problem problem;
    problem.basis = {
        .kind = text_is(s.basis, "gauss") ? BasisKind::oscillator : BasisKind::laguerre,
        .lambda = s.lambda};
    if (text_is(s.scheme, "relativistic")) {
        problem.scheme = {.dirac = true,
                          .light = text_is(s.vol, "finite") ? detail::finite_light_speed
                                                            : detail::infinite_light_speed};
    }
    problem.wave = {.l = s.projectile.l, .kappa = s.projectile.kappa};
    const PotentialParams& p = s.potential;
    PotentialKind kind = PotentialKind::none;
    if (text_is(p.pot_type, "well")) kind = PotentialKind::well;
    if (text_is(p.pot_type, "coulomb")) kind = PotentialKind::coulomb;
    if (text_is(p.pot_type, "yukawa")) kind = PotentialKind::yukawa;
    if (text_is(p.pot_type, "user")) kind = PotentialKind::user;
    if (text_is(p.pot_type, "woods-saxon")) kind = PotentialKind::woods_saxon;
    if (text_is(p.pot_type, "hulthen")) kind = PotentialKind::hulthen;
    if (text_is(p.pot_type, "exponential")) kind = PotentialKind::exponential;
    if (text_is(p.pot_type, "gaussian")) kind = PotentialKind::gaussian;
    if (text_is(p.pot_type, "morse")) kind = PotentialKind::morse;
    if (text_is(p.pot_type, "formula")) kind = PotentialKind::formula;
    if (text_is(p.pot_type, "table")) kind = PotentialKind::table;
    problem.potential = {.kind = kind,
                         .r0 = p.r0,
                         .v0 = p.v0,
                         .a = p.a,
                         .b = p.b,
                         .z = p.z,
                         .alpha = p.alpha,
                         .g = p.g,
                         .m = p.m,
                         .formula = {},
                         .radius = p.radius,
                         .diffuse = p.diffuse,
                         .range = p.range,
                         .expression = p.formula,
                         .breaks = p.breaks,
                         .table_r = p.table_r,
                         .table_v = p.table_v};
    problem.zc = s.zc;
    return problem;
}

std::string potential_hash_text(const RunSettings& s) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", potential_hash(problem_of(s).potential));
    return text;
}

std::string pot_type_text(const PotentialParams& potential) {
    const std::string_view text = trimmed(potential.pot_type);
    return padded(text, std::max<std::size_t>(text.size(), 8));
}

}  // namespace skarven
