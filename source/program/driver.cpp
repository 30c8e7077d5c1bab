#include "driver.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>

#include "analytic.hpp"
#include "coefficients.hpp"
#include "float_mode.hpp"
#include "potential.hpp"
#include "results.hpp"
#include "settings.hpp"
#include "basis.hpp"
#include "sk_g.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

using std::numbers::pi;
constexpr std::string_view routine = "control_calc_delta";
constexpr double infinity = std::numeric_limits<double>::infinity();

struct PhaseShift {
    double tan_delta;
    double delta;
};

// Where the current point lies, for an error message: the basis size in the basis-size pass, the
// energy (shortest form that reads back exactly) in the energy pass.
std::string current_point() {
    if (sk_globals.pass != 2) return "N = " + std::to_string(sk_globals.ntrunc);
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, sk_globals.projectile.e);
    return "e = " + std::string(text, result.ptr);
}

// A number that is not finite here would be written as a wrong phase shift: the run ends.
void require_finite(bool finite, std::string_view what) {
    if (!finite) {
        throw_error(routine, std::string(what) + " at " + current_point());
    }
}

// tan(delta) and delta for the current basis size and energy from the Green's-function element
// at the basis edge and the free solutions' coefficients.
PhaseShift phase_shift(int n) {
    const double g_n = g(n - 1, n - 1);
    // +infinity is the singular truncated matrix, handled below; anything else non-finite is not.
    require_finite(std::isfinite(g_n) || g_n == infinity,
                   "the Green's function element is not finite");
    double coupling;
    double b = 1.0;
    if (relativistic_scheme()) {
        const double e = sk_globals.projectile.e;
        const double light = sk_globals.v_light;
        coupling = free_element(n, n - 1, true);
        b = 2.0 * std::sqrt(e / (2.0 * light * light + e)) * light / sk_globals.projectile.k;
    } else {
        coupling = free_element_nonrel(n, n - 1, sk_globals.projectile.k);
    }
    const double x = b * g_n * coupling;
    const double s0 = s(n - 1);
    const double s1 = s(n);
    const double c0 = c(n - 1);
    const double c1 = c(n);
    require_finite(std::isfinite(coupling) && std::isfinite(b) && std::isfinite(s0) &&
                       std::isfinite(s1) && std::isfinite(c0) && std::isfinite(c1),
                   "the free solutions are not finite");
    // A singular truncated matrix makes g infinite: the formula's limit is -s_N / c_N.
    const double tan_delta = std::isfinite(g_n) ? -(s0 + x * s1) / (c0 + x * c1) : -s1 / c1;
    // A zero denominator gives an infinite tangent, which is written as it is.
    require_finite(!std::isnan(tan_delta), "the phase shift is not a number");
    double delta = std::atan(tan_delta);
    if (sk_globals.shift && delta < 0.0) delta += pi;
    return {tan_delta, delta};
}

// Data lines are flushed as soon as they are complete; any failed write ends the run.
void open_result_file(ResultFile& file) {
    file.require_open();
    write_header(file.unit());
}

void energy_pass(const std::string& root) {
    sk_globals.pass = 2;
    ResultFile file(routine, root + ".en");
    open_result_file(file);
    const bool scr = sk_globals.scr;
    if (scr) {
        say("");
        say("Now calculating phase shifts for a given energy range; n = " +
            format_int(sk_globals.nend, 5) + ":");
    }
    file.write("; NUMERICAL RESULTS: energy  tan(delta)  delta");
    delta_analytic();
    file.write(sk_globals.delta_analytic_error ? "\n" : "  delta_analytical\n");

    const int count = energy_count(sk_globals);
    sk_globals.ntrunc = sk_globals.nend;
    for (int i = 0; i < count; ++i) {
        const double e = grid_energy(sk_globals, i);
        sk_globals.projectile.e = e;
        projectile_set_k(sk_globals.projectile);
        const PhaseShift point = phase_shift(sk_globals.nend);
        file.write(energy_field(e) + format_fixed_fitting(point.tan_delta, 26, 16) +
                   format_fixed_fitting(point.delta, 26, 16));
        if (scr) {
            say(" energy =" + format_fixed(e, 10, 6) +
                "  delta =" + format_fixed(point.delta, 20, 16));
        }
        const double analytic = delta_analytic();
        if (!sk_globals.delta_analytic_error) {
            if (scr)
                say(std::string(11, ' ') + "delta_analytic = " + format_fixed(analytic, 20, 16));
            file.write(format_fixed_fitting(analytic, 26, 16));
        }
        file.write("\n");
        file.flush();
    }
    file.close();
}

}  // namespace

double phase_shift_delta(int n) {
    return phase_shift(n).delta;
}

double free_element(int n, int m, bool non_relativistic_form) {
    const Projectile& p = sk_globals.projectile;
    if (non_relativistic_form || text_is(sk_globals.scheme, "non-relativistic")) {
        return free_element_nonrel(n, m, p.k);
    }
    if (!relativistic_scheme()) return 0.0;
    return free_element_rel(n, m, sk_globals.ntrunc, p.e);
}

void control_calc_delta(const std::string& root_name) {
    const FloatModeGuard mode;
    // An error leaves the caches of this run half-built: they go, so the next run starts afresh.
    struct ReleaseCaches {
        ~ReleaseCaches() {
            release_free_solution_tables();
            release_vn_matrix();
            g_release();
        }
    } release_caches;
    const std::string root(trimmed(root_name));
    const bool scr = sk_globals.scr;

    sk_globals.pass = 1;
    projectile_set_k(sk_globals.projectile);
    ResultFile file(routine, root);
    open_result_file(file);

    const double analytic = delta_analytic();
    if (!sk_globals.delta_analytic_error) {
        if (scr) {
            say("");
            say("delta_analytic =" + format_fixed(analytic, 20, 16));
        }
        file.write("; ANALYTICAL RESULT\n; delta = " + format_fixed(analytic, 20, 15) + "\n;\n");
    }
    file.write("; NUMERICAL RESULTS:  N   tan(delta)   delta\n");
    if (scr) {
        say("");
        say("Calculating numerical phase shifts for fixed projectile energy:");
    }
    for (int n = sk_globals.nstart; n <= sk_globals.nend; ++n) {
        sk_globals.ntrunc = n;
        const PhaseShift point = phase_shift(n);
        file.write(format_int(n, 5) + format_fixed_fitting(point.tan_delta, 26, 16) +
                   format_fixed_fitting(point.delta, 26, 16) + "\n");
        file.flush();
        if (scr) say(" n =" + format_int(n, 5) + "   delta =" + format_fixed(point.delta, 20, 16));
    }
    sk_globals.ntrunc = sk_globals.nend + 1;
    file.close();

    avrg(root);
    rmse(root);

    if (sk_globals.energies) energy_pass(root);
    if (sk_globals.lmax >= 0) partial_wave_pass(root);

    s(1, CacheAction::release);
    c(1, CacheAction::release);
    vn(1, 1, CacheAction::release);
    g_release();
}

}  // namespace skarven
