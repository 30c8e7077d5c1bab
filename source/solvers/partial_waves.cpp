#include "partial_waves.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "coefficients.hpp"
#include "limit.hpp"
#include "phase_shift.hpp"

namespace skarven {

std::vector<Wave> waves_of(int l, bool dirac) {
    if (!dirac) return {{l, 0}};
    if (l == 0) return {{0, -1}};
    return {{l, -l - 1}, {l, l}};
}

namespace {

// delta of one wave at every energy. The first wave may follow the energy pass of the same wave,
// whose decomposition is then still in place; every other wave starts the fast route afresh.
std::vector<double> wave_phase_shifts(const Problem& problem, int n, int largest_size,
                                      const std::vector<double>& energies,
                                      const EnergyWindow& window, bool shift, Route* given) {
    std::unique_ptr<Route> own;
    if (given == nullptr) own = make_route(RouteKind::fast, problem, largest_size);
    Route& route = given != nullptr ? *given : *own;
    route.begin_energies(n, window);
    std::vector<double> deltas(energies.size());
    for (std::size_t i = 0; i < energies.size(); ++i) {
        const double e = energies[i];
        const double g_n = route.energy_element(e);
        const FreeSolutions free = free_solutions_of(problem, e, free_solution_top(n));
        deltas[i] =
            phase_shift(problem, e, n, g_n, free, shift, [e] { return point_at_energy(e); }).delta;
    }
    return deltas;
}

}  // namespace

PartialWaveLoop partial_wave_loop(const Problem& problem, int n, int largest_size,
                                  const std::vector<double>& energies, const EnergyWindow& window,
                                  int lmax, double lconv, bool shift, Route* first_route,
                                  const WaveDone& done, double tolerance,
                                  double auto_lambda_energy) {
    PartialWaveLoop result;
    if (problem.zc != 0.0) {
        for (double e : energies)
            result.etas.push_back(problem.zc / wave_number(problem.scheme, e));
    }
    int quiet_in_a_row = 0;
    for (int l = 0; l <= lmax; ++l) {
        double largest_sine = 0.0;
        for (const Wave& wave : waves_of(l, problem.scheme.dirac)) {
            const double start = omp_get_wtime();
            Problem of_wave = problem;
            of_wave.wave = wave;
            if (auto_lambda_energy > 0.0) {
                of_wave.basis.lambda =
                    auto_lambda(wave.l, wave_number(problem.scheme, auto_lambda_energy));
            }
            std::vector<double> deltas;
            if (tolerance > 0.0) {
                std::vector<double> errors;
                int used = 0;
                double worst = 0.0;
                for (const LimitEstimate& limit :
                     limits_by_size(of_wave, energies, 1, n, tolerance, shift)) {
                    deltas.push_back(limit.delta);
                    errors.push_back(limit.error);
                    used = std::max(used, limit.largest_size);
                    worst = std::max(worst, limit.error);
                }
                result.errors.push_back(std::move(errors));
                result.sizes_used.push_back(used);
                result.worst_errors.push_back(worst);
            } else {
                deltas = wave_phase_shifts(of_wave, n, largest_size, energies, window, shift,
                                           result.waves.empty() ? first_route : nullptr);
            }
            for (double delta : deltas)
                largest_sine = std::max(largest_sine, std::fabs(std::sin(delta)));
            const bool limits = tolerance > 0.0;
            if (done) {
                done(wave, deltas, omp_get_wtime() - start, limits ? result.sizes_used.back() : 0,
                     limits ? result.worst_errors.back() : 0.0);
            }
            result.waves.push_back(wave);
            result.deltas.push_back(std::move(deltas));
        }
        result.lmax_reached = l;
        result.last_largest_sine = largest_sine;
        quiet_in_a_row = largest_sine < lconv ? quiet_in_a_row + 1 : 0;
        if (quiet_in_a_row == 2) {
            result.converged = true;
            break;
        }
    }
    return result;
}

PartialWaves waves_at(const PartialWaveLoop& loop, bool dirac, std::size_t i) {
    PartialWaves waves;
    waves.relativistic = dirac;
    if (!loop.etas.empty()) waves.eta = loop.etas[i];
    waves.minus.assign(loop.lmax_reached + 1, 0.0);
    waves.plus.assign(loop.lmax_reached + 1, 0.0);
    for (std::size_t w = 0; w < loop.waves.size(); ++w) {
        const Wave& wave = loop.waves[w];
        const double delta = loop.deltas[w][i];
        if (wave.kappa > 0) {
            waves.plus[wave.l] = delta;
        } else {
            waves.minus[wave.l] = delta;
            if (!waves.relativistic) waves.plus[wave.l] = delta;
        }
    }
    return waves;
}

CrossSectionErrors cross_section_errors(const PartialWaveLoop& loop, bool dirac, std::size_t i,
                                        double k) {
    CrossSectionErrors errors;
    if (loop.errors.empty()) return errors;
    const PartialWaves base = waves_at(loop, dirac, i);
    const double sigma = elastic_cross_section(k, base);
    const double transport = transport_cross_section(k, base);
    // A step far above rounding and far below any error bar that matters.
    constexpr double step = 1e-6;
    for (std::size_t w = 0; w < loop.waves.size(); ++w) {
        const Wave& wave = loop.waves[w];
        PartialWaves waves = base;
        if (wave.kappa > 0) {
            waves.plus[wave.l] += step;
        } else {
            waves.minus[wave.l] += step;
            if (!dirac) waves.plus[wave.l] += step;
        }
        const double error = loop.errors[w][i];
        errors.sigma += std::fabs(elastic_cross_section(k, waves) - sigma) / step * error;
        errors.transport += std::fabs(transport_cross_section(k, waves) - transport) / step * error;
    }
    return errors;
}

}  // namespace skarven
