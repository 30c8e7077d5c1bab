// The partial-wave loop: every l (both kappa of it in the Dirac scheme) at N = nend over the
// energies of the energy pass, then their sums into cross sections.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "cross_sections.hpp"
#include "diagnostics.hpp"
#include "driver.hpp"
#include "float_mode.hpp"
#include "limit.hpp"
#include "partial_waves.hpp"
#include "results.hpp"
#include "run.hpp"
#include "settings.hpp"
#include "special.hpp"
#include "text_format.hpp"

namespace skarven {

namespace {

constexpr std::string_view routine = "control_calc_delta";
using std::numbers::pi;

std::vector<double> energy_grid() {
    const int count = energy_count(run_record);
    std::vector<double> energies(std::max(count, 0));
    for (int i = 0; i < count; ++i)
        energies[i] = grid_energy(run_record, i);
    return energies;
}

void set_energy(double e) {
    Projectile& p = run_record.projectile;
    p.e = e;
    projectile_set_k(p);
}

// The header, then the lines through put_line: flushed one at a time, or collected 64 KiB at a
// time and written page by page for root.dcs.
void open_with_header(ResultFile& file, int lmax_reached, std::size_t batch = 0) {
    file.require_open();
    if (batch > 0) file.batch_lines(batch);
    write_partial_wave_header(file.unit(), lmax_reached);
    file.flush();
}

std::string column_name(const Wave& wave) {
    return relativistic_scheme() ? "delta(kappa=" + std::to_string(wave.kappa) + ")"
                                 : "delta(l=" + std::to_string(wave.l) + ")";
}

void write_phase_shifts(const std::string& root, const PartialWaveLoop& loop,
                        const std::vector<double>& energies) {
    ResultFile file(routine, root + ".pw");
    open_with_header(file, loop.lmax_reached);
    // With a tolerance each delta is a limit and its error follows it; with a tail the wave's
    // Coulomb phase comes last.
    const bool errors = !loop.errors.empty();
    const bool tail = !loop.etas.empty();
    std::string columns = "; NUMERICAL RESULTS: energy";
    for (const Wave& wave : loop.waves) {
        columns += "  " + column_name(wave) + (errors ? "  error" : "");
        if (tail) columns += "  coulomb_phase(l=" + std::to_string(wave.l) + ")";
    }
    file.put_line(columns);
    for (std::size_t i = 0; i < energies.size(); ++i) {
        std::string text = energy_field(energies[i]);
        for (std::size_t w = 0; w < loop.deltas.size(); ++w) {
            text += format_fixed(loop.deltas[w][i], 26, 16);
            if (errors) text += format_scientific(loop.errors[w][i], 12, 3);
            if (tail)
                text += format_fixed_fitting(coulomb_phase(loop.waves[w].l, loop.etas[i]), 26, 16);
        }
        file.put_line(text);
    }
    file.close();
}

void write_cross_sections(const std::string& root, const PartialWaveLoop& loop,
                          const std::vector<double>& energies) {
    ResultFile file(routine, root + ".xs");
    open_with_header(file, loop.lmax_reached);
    const bool errors = !loop.errors.empty();
    if (!loop.etas.empty()) {
        // Under a tail both integrals diverge: the nuclear parts (see transport_cross_section).
        file.put_line(errors ? "; NUMERICAL RESULTS: energy  sigma_N  sigma_tr_N  lmax_used  "
                               "sigma_N_error  sigma_tr_N_error"
                             : "; NUMERICAL RESULTS: energy  sigma_N  sigma_tr_N  lmax_used");
    } else {
        file.put_line(errors ? "; NUMERICAL RESULTS: energy  sigma  sigma_tr  lmax_used  "
                               "sigma_error  sigma_tr_error"
                             : "; NUMERICAL RESULTS: energy  sigma  sigma_tr  lmax_used");
    }
    for (std::size_t i = 0; i < energies.size(); ++i) {
        set_energy(energies[i]);
        const double k = run_record.projectile.k;
        const PartialWaves waves = waves_at(loop, relativistic_scheme(), i);
        std::string line = energy_field(energies[i]) +
                           format_scientific(elastic_cross_section(k, waves), 24, 15) +
                           format_scientific(transport_cross_section(k, waves), 24, 15) +
                           format_int(loop.lmax_reached, 5);
        if (errors) {
            const CrossSectionErrors e = cross_section_errors(loop, relativistic_scheme(), i, k);
            line += format_scientific(e.sigma, 12, 3) + format_scientific(e.transport, 12, 3);
        }
        file.put_line(line);
    }
    file.close();
}

// One block per energy, two blank lines between blocks (gnuplot's `index` counts blocks so).
void write_differential_cross_sections(const std::string& root, const PartialWaveLoop& loop,
                                       const std::vector<double>& energies) {
    const int angles = run_record.angles;
    ResultFile file(routine, root + ".dcs");
    open_with_header(file, loop.lmax_reached, std::size_t{1} << 16);
    // Under a tail f_C is infinite at theta = 0, and the ratio to Rutherford follows each value.
    const bool tail = !loop.etas.empty();
    file.put_line(tail ? "; NUMERICAL RESULTS: theta(deg)  dsigma/dOmega  ratio_to_Rutherford, one "
                         "block per energy"
                       : "; NUMERICAL RESULTS: theta(deg)  dsigma/dOmega, one block per energy");
    for (std::size_t i = 0; i < energies.size(); ++i) {
        set_energy(energies[i]);
        const double k = run_record.projectile.k;
        const PartialWaves waves = waves_at(loop, relativistic_scheme(), i);
        if (i > 0) file.put_line("\n");
        file.put_line("; energy = " + energy_field(energies[i]));
        for (int a = tail ? 1 : 0; a < angles; ++a) {
            const double degrees = 180.0 * a / (angles - 1);
            const double theta = degrees * pi / 180.0;
            const double value = differential_cross_section(k, waves, theta);
            std::string line = format_fixed(degrees, 12, 6) + format_scientific(value, 24, 15);
            if (tail) {
                line += format_scientific(value / rutherford_cross_section(k, waves.eta, theta), 24,
                                          15);
            }
            file.put_line(line);
        }
        file.flush();
    }
    file.close();
}

}  // namespace

// Cost per wave other than the first: the potential blocks at N = nend, one decomposition of the
// energy pencil (order N, 2N in the Dirac scheme), then O(N) per energy. The kernels run in
// parallel inside each wave; the waves run one after the other, in l order.
void partial_wave_pass(const std::string& root, Route& first_route) {
    const FloatModeGuard mode;
    const RunSettings& s = run_record;
    const Projectile first = s.projectile;
    const std::vector<double> energies = energy_grid();
    const double auto_k = wave_number(run_problem().scheme, window_energy(s));
    if (s.scr) {
        say("");
        say("Now calculating partial waves l = 0 ... " + std::to_string(s.lmax) +
            "; n = " + format_int(s.nend, 5) + ":");
    }
    const PartialWaveLoop loop = partial_wave_loop(
        run_problem(), s.nend, std::max(s.nend + 1, 1), energies, run_window(), s.lmax, s.lconv,
        s.shift, &first_route,
        [&s, auto_k](const Wave& wave, const std::vector<double>& deltas, double seconds,
                     int sizes_used, double worst_error) {
            if (!s.scr) return;
            double largest = 0.0;
            for (double delta : deltas)
                largest = std::max(largest, std::fabs(delta));
            const std::string name = relativistic_scheme() ? " kappa =" + format_int(wave.kappa, 4)
                                                           : " l =" + format_int(wave.l, 4);
            say(name + "   time =" + format_fixed(seconds, 9, 3) +
                " s   max |delta| =" + format_fixed(largest, 20, 16) +
                (sizes_used > 0 ? "   N <=" + format_int(sizes_used, 5) +
                                      "   error <=" + format_scientific(worst_error, 9, 2)
                                : "") +
                (s.lambda_auto ? "   lambda =" + format_fixed(auto_lambda(wave.l, auto_k), 9, 4)
                               : ""));
        },
        s.tolerance, s.lambda_auto ? window_energy(s) : 0.0);
    if (s.scr && loop.converged) {
        say(" partial waves converged at l =" + format_int(loop.lmax_reached, 4));
    }
    if (!loop.converged) {
        show_warning(routine,
                     "partial waves not converged at <lmax>: largest |sin(delta)| of "
                     "the last l is " +
                         format_scientific(loop.last_largest_sine, 9, 2));
    }
    write_phase_shifts(root, loop, energies);
    write_cross_sections(root, loop, energies);
    if (s.angles > 0) write_differential_cross_sections(root, loop, energies);
    set_energy(energies.empty() ? first.e : energies.back());
}

}  // namespace skarven
