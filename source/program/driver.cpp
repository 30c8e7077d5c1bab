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
#include "continuity.hpp"
#include "diagnostics.hpp"
#include "float_mode.hpp"
#include "limit.hpp"
#include "results.hpp"
#include "run.hpp"
#include "saved_matrix.hpp"
#include "settings.hpp"
#include "special.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

using std::numbers::pi;
constexpr std::string_view routine = "control_calc_delta";

// The exact phase shift of the run's problem at the current energy. Without a result it returns
// 0 and sets delta_analytic_error, which stays set, so every later call also returns 0.
double delta_analytic() {
    RunSettings& run = run_record;
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
    run_record.ntrunc = run_record.nstart;
    if (run_record.vn_is_loaded || !run_record.vn_file_match) return {};
    const std::size_t order = relativistic_scheme() ? 2 * run_record.nstart : run_record.nstart;
    std::vector<double> matrix(order * order, 0.0);
    read_vn_from_file(static_cast<int>(order), matrix.data());
    if (!run_record.vn_is_loaded) return {};
    return matrix;
}

// "saved.vn.<nend>" at the last basis size (unless it was loaded from there), and
// "saved.vn.<N>" at the size "sk.par" names. The reference route reads "sk.par" at every size
// before the last, the fast route after the first.
void save_potential(const Route& route, int n, bool loaded) {
    const RunSettings& s = run_record;
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
    const double g_n = route.energy_element(run_record.projectile.e);
    return run_phase_shift(route.problem(), n, g_n,
                           free_solutions(route.problem(), run_record.projectile.e));
}

// The limit of delta_N at one energy, and on the branch continuous over the energies.
struct LimitLine {
    double e;
    LimitEstimate estimate;
    double delta_cont;
    Continuity continuity;
};

std::string limit_status(const LimitEstimate& estimate) {
    return estimate.converged ? "converged" : "not-converged";
}

// root.lim: per energy the limit of delta_N, its error, the largest N used, delta on the
// continuous branch, whether the error is within the tolerance and how the branch was found.
// The continuous delta follows the first four columns so that readers of those keep working.
void write_limits(const std::string& root, const std::vector<LimitLine>& lines,
                  std::optional<int> bound_states) {
    ResultFile file(routine, root + ".lim");
    file.require_open();
    write_header(file.unit());
    if (bound_states)
        file.write("; bound states (n_b, delta(0+) = n_b pi): " + std::to_string(*bound_states) +
                   "\n");
    file.write("; NUMERICAL RESULTS: energy  delta  error  N_used  delta_cont  status  branch\n");
    for (const LimitLine& line : lines) {
        const LimitEstimate& estimate = line.estimate;
        file.write(energy_field(line.e) + format_fixed_fitting(estimate.delta, 26, 16) +
                   format_scientific(estimate.error, 12, 3) + format_int(estimate.largest_size, 7) +
                   format_fixed_fitting(line.delta_cont, 26, 16) + "  " + limit_status(estimate) +
                   "  " + continuity_word(line.continuity) + "\n");
    }
    file.close();
}

// A number for a screen message, without the column's padding.
std::string bare_fixed(double value, int decimals) {
    const std::string text = format_fixed(value, 40, decimals);
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

// delta_cont over the energy pass: anchored at n_b pi (not with an attractive Coulomb tail,
// whose bound states are endless and the truncated count only the basis's), refined with
// further limits where delta moves fast, and the doubtful places said on the screen.
void make_continuous(Route& route, std::vector<LimitLine>& lines, std::optional<int>& bound) {
    const RunSettings& s = run_record;
    bound = route.bound_states();
    if (run_problem().zc < 0.0) bound.reset();
    std::optional<double> anchor;
    if (bound) anchor = *bound * pi;
    std::vector<double> energies, deltas;
    for (const LimitLine& line : lines) {
        energies.push_back(line.e);
        deltas.push_back(line.estimate.delta);
    }
    const ContinuousDelta cont = continuous_delta(energies, deltas, anchor, [&](double e) {
        return limit_by_size(route.problem(), e, s.nstart, s.nend, s.tolerance, s.shift).delta;
    });
    for (std::size_t i = 0; i < lines.size(); ++i) {
        lines[i].delta_cont = cont.delta[i];
        lines[i].continuity = cont.status[i];
    }
    if (s.scr) {
        if (bound) say(" bound states: n_b =" + format_int(*bound, 4));
        if (cont.refined > 0)
            show_info("delta_cont: delta followed through " + std::to_string(cont.refined) +
                      (cont.refined == 1 ? " further energy" : " further energies") +
                      " where it moved fast");
    }
    if (!lines.empty() && lines[0].continuity == Continuity::far_from_anchor) {
        show_warning(routine, "delta at the first energy lies " +
                                  bare_fixed(lines[0].delta_cont - *anchor, 4) +
                                  " from n_b pi: a resonance or a threshold below <estart> may "
                                  "have moved it, and its branch is a guess; start lower");
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].continuity != Continuity::jump) continue;
        show_warning(routine, "delta_cont jumps between e = " + bare_fixed(lines[i - 1].e, 6) +
                                  " and " + bare_fixed(lines[i].e, 6) +
                                  " (a resonance narrower than the refinement): from there on it "
                                  "may be off by a multiple of pi");
    }
}

std::string limit_text(const LimitEstimate& estimate) {
    return format_fixed(estimate.delta, 20, 16) + " +- " + format_scientific(estimate.error, 9, 2) +
           "  (N = " + std::to_string(estimate.largest_size) + ", " + limit_status(estimate) + ")";
}

// Data lines are flushed as soon as they are complete; any failed write ends the run.
void open_result_file(ResultFile& file) {
    file.require_open();
    write_header(file.unit());
}

void energy_pass(const std::string& root, Route& route) {
    run_record.pass = 2;
    ResultFile file(routine, root + ".en");
    open_result_file(file);
    const bool scr = run_record.scr;
    if (scr) {
        say("");
        say("Now calculating phase shifts for a given energy range; n = " +
            format_int(run_record.nend, 5) + ":");
    }
    file.write("; NUMERICAL RESULTS: energy  tan(delta)  delta");
    delta_analytic();
    file.write(run_record.delta_analytic_error ? "" : "  delta_analytical");
    // With a tail the Coulomb phase of each energy ends the line.
    const double zc = run_record.zc;
    file.write(zc != 0.0 ? "  sigma_l\n" : "\n");

    const int count = energy_count(run_record);
    run_record.ntrunc = run_record.nend;
    route.begin_energies(run_record.nend, run_window());
    std::vector<double> energies;  // of the limits, with a tolerance
    for (int i = 0; i < count; ++i) {
        const double e = grid_energy(run_record, i);
        run_record.projectile.e = e;
        projectile_set_k(run_record.projectile);
        const PhaseShift point = energy_phase_shift(route, run_record.nend);
        file.write(energy_field(e) + format_fixed_fitting(point.tan_delta, 26, 16) +
                   format_fixed_fitting(point.delta, 26, 16));
        if (scr) {
            say(" energy =" + format_fixed(e, 10, 6) +
                "  delta =" + format_fixed(point.delta, 20, 16));
        }
        const double analytic = delta_analytic();
        if (!run_record.delta_analytic_error) {
            if (scr)
                say(std::string(11, ' ') + "delta_analytic = " + format_fixed(analytic, 20, 16));
            file.write(format_fixed_fitting(analytic, 26, 16));
        }
        if (zc != 0.0) {
            file.write(format_fixed_fitting(
                coulomb_phase(run_record.projectile.l, zc / run_record.projectile.k), 26, 16));
        }
        file.write("\n");
        file.flush();
        if (run_record.tolerance > 0.0) energies.push_back(e);
    }
    file.close();
    if (run_record.tolerance > 0.0) {
        const std::vector<LimitEstimate> estimates =
            limits_by_size(route.problem(), energies, run_record.nstart, run_record.nend,
                           run_record.tolerance, run_record.shift);
        std::vector<LimitLine> limits;
        for (std::size_t i = 0; i < energies.size(); ++i) {
            if (scr) {
                say(" energy =" + format_fixed(energies[i], 10, 6) +
                    "  delta_limit = " + limit_text(estimates[i]));
            }
            limits.push_back(
                {energies[i], estimates[i], estimates[i].delta, Continuity::unanchored});
        }
        std::optional<int> bound;
        make_continuous(route, limits, bound);
        write_limits(root, limits, bound);
    }
}

}  // namespace

void control_calc_delta(const std::string& root_name) {
    const FloatModeGuard mode;
    const std::string root(trimmed(root_name));
    const bool scr = run_record.scr;

    run_record.pass = 1;
    projectile_set_k(run_record.projectile);
    ResultFile file(routine, root);
    open_result_file(file);

    const double analytic = delta_analytic();
    if (!run_record.delta_analytic_error) {
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
    const RunSettings& s = run_record;
    auto write_point = [&](int n, const PhaseShift& point) {
        run_record.ntrunc = n;
        file.write(format_int(n, 5) + format_fixed_fitting(point.tan_delta, 26, 16) +
                   format_fixed_fitting(point.delta, 26, 16) + "\n");
        file.flush();
        if (scr) say(" n =" + format_int(n, 5) + "   delta =" + format_fixed(point.delta, 20, 16));
    };
    std::unique_ptr<Route> route = make_run_route(run_problem());
    std::optional<LimitEstimate> estimate;
    if (s.tolerance > 0.0) {
        // The sizes grow in stages until the limit is known well enough; the saved matrix is
        // neither read nor written.
        estimate = limit_by_size(run_problem(), s.projectile.e, s.nstart, s.nend, s.tolerance,
                                 s.shift, write_point);
    } else {
        const std::vector<double> saved = load_saved_potential();
        const bool loaded = run_record.vn_is_loaded;
        route->begin_sizes(s.projectile.e, s.nstart, s.nend, saved.empty() ? nullptr : &saved);
        std::optional<FreeSolutions> free;
        for (int n = s.nstart; n <= s.nend; ++n) {
            run_record.ntrunc = n;
            const double g_n = route->size_element(n);
            save_potential(*route, n, loaded);
            // After the first element, as the tables were filled on first use.
            if (!free) free.emplace(free_solutions(run_problem(), s.projectile.e));
            write_point(n, run_phase_shift(run_problem(), n, g_n, *free));
        }
    }
    run_record.ntrunc = run_record.nend + 1;
    file.close();
    if (estimate) {
        if (scr) {
            say("");
            say("delta_limit =" + limit_text(*estimate));
        }
        // With an energy pass root.lim holds its energies instead. One energy has no neighbours
        // to follow and no decomposition to count bound states from: delta_cont is the limit.
        if (!s.energies)
            write_limits(root,
                         {{s.projectile.e, *estimate, estimate->delta, Continuity::unanchored}},
                         std::nullopt);
    }

    write_block_averages(root);
    write_rms_errors(root);

    if (run_record.energies) energy_pass(root, *route);
    if (run_record.lmax >= 0) partial_wave_pass(root, *route);
}

}  // namespace skarven
