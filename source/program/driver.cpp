#include "driver.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analytic.hpp"
#include "diagnostics.hpp"
#include "float_mode.hpp"
#include "results.hpp"
#include "run.hpp"
#include "saved_matrix.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

using std::numbers::pi;
constexpr std::string_view routine = "control_calc_delta";

// The exact phase shift of the run's problem at the current energy. Without a result it returns
// 0 and sets delta_analytic_error, which stays set, so every later call also returns 0.
double delta_analytic() {
    RunSettings& run = sk_globals;
    if (run.delta_analytic_error) return 0.0;
    const std::optional<double> delta = exact_phase_shift(run_problem(), run.projectile.e);
    if (!delta) {
        run.delta_analytic_error = true;
        return 0.0;
    }
    if (run.shift && *delta < 0.0) return *delta + pi;
    return *delta;
}

// The saved matrix of the first basis size when "saved.vn.<nstart>" matches the run (sets
// vn_is_loaded); its lower triangle stands in for the integrals there.
std::vector<double> load_saved_potential() {
    sk_globals.ntrunc = sk_globals.nstart;
    if (sk_globals.vn_is_loaded || !sk_globals.vn_file_match) return {};
    const std::size_t order = relativistic_scheme() ? 2 * sk_globals.nstart : sk_globals.nstart;
    std::vector<double> matrix(order * order, 0.0);
    read_vn_from_file(static_cast<int>(order), matrix.data());
    if (!sk_globals.vn_is_loaded) return {};
    return matrix;
}

// "saved.vn.<nend>" at the last basis size (unless it was loaded from there), and
// "saved.vn.<N>" at the size "sk.par" names. The reference route reads "sk.par" at every size
// before the last, the fast route after the first.
void save_potential(const Route& route, int n, bool loaded) {
    const RunSettings& s = sk_globals;
    const int order = relativistic_scheme() ? 2 * n : n;
    if (n == s.nend) {
        if (!loaded || s.nstart != s.nend)
            write_vn_to_file(order, route.potential_in_saved_order(n).data());
        return;
    }
    if (fast_solver() && n == s.nstart) return;
    const int n_save = read_n_to_save_v();
    if (n != s.nstart && n == n_save)
        write_vn_to_file(order, route.potential_in_saved_order(n).data());
}

// The phase shift at the current energy of the energy pass at basis size n.
PhaseShift energy_phase_shift(Route& route, int n) {
    const double g_n = route.energy_element(sk_globals.projectile.e);
    return run_phase_shift(route.problem(), n, g_n,
                           free_solutions(route.problem(), sk_globals.projectile.k));
}

// Data lines are flushed as soon as they are complete; any failed write ends the run.
void open_result_file(ResultFile& file) {
    file.require_open();
    write_header(file.unit());
}

void energy_pass(const std::string& root, Route& route) {
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
    route.begin_energies(sk_globals.nend, run_window());
    for (int i = 0; i < count; ++i) {
        const double e = grid_energy(sk_globals, i);
        sk_globals.projectile.e = e;
        projectile_set_k(sk_globals.projectile);
        const PhaseShift point = energy_phase_shift(route, sk_globals.nend);
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

void control_calc_delta(const std::string& root_name) {
    const FloatModeGuard mode;
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
    const std::unique_ptr<Route> route = make_run_route(run_problem());
    const std::vector<double> saved = load_saved_potential();
    const bool loaded = sk_globals.vn_is_loaded;
    route->begin_sizes(sk_globals.projectile.e, sk_globals.nstart, sk_globals.nend,
                       saved.empty() ? nullptr : &saved);
    std::optional<FreeSolutions> free;
    for (int n = sk_globals.nstart; n <= sk_globals.nend; ++n) {
        sk_globals.ntrunc = n;
        const double g_n = route->size_element(n);
        save_potential(*route, n, loaded);
        // After the first element, as the tables were filled on first use.
        if (!free) free.emplace(free_solutions(run_problem(), sk_globals.projectile.k));
        const PhaseShift point = run_phase_shift(run_problem(), n, g_n, *free);
        file.write(format_int(n, 5) + format_fixed_fitting(point.tan_delta, 26, 16) +
                   format_fixed_fitting(point.delta, 26, 16) + "\n");
        file.flush();
        if (scr) say(" n =" + format_int(n, 5) + "   delta =" + format_fixed(point.delta, 20, 16));
    }
    sk_globals.ntrunc = sk_globals.nend + 1;
    file.close();

    avrg(root);
    rmse(root);

    if (sk_globals.energies) energy_pass(root, *route);
    if (sk_globals.lmax >= 0) partial_wave_pass(root, *route);
}

}  // namespace skarven
