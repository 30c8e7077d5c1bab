// The library's entry points: validation, the caller's threads and floating-point mode, and the
// routes, the free solutions and the sums put together for one call.
#include "skarven/skarven.hpp"

#include <omp.h>

#include <algorithm>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>

#include "coefficients.hpp"
#include "cross_sections.hpp"
#include "float_mode.hpp"
#include "limit.hpp"
#include "partial_waves.hpp"
#include "phase_shift.hpp"
#include "routes.hpp"
#include "special.hpp"

namespace skarven {

namespace {

// The thread count of one call on the calling thread (an OpenMP setting of each thread of its
// own), put back when the call ends.
class ThreadCount {
  public:
    explicit ThreadCount(int threads) : saved_(omp_get_max_threads()) {
        if (threads > 0) omp_set_num_threads(threads);
    }
    ~ThreadCount() { omp_set_num_threads(saved_); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

  private:
    int saved_;
};

WarningSink collect_into(std::vector<std::string>& warnings) {
    return [&warnings](std::string_view routine, std::string_view message) {
        warnings.push_back(std::string(routine) + ": " + std::string(message));
    };
}

void check_energies(const Problem& problem, const std::vector<double>& energies) {
    for (double e : energies) {
        check_energy_positive(e);
        check_energy_fits(problem, e, "e");
    }
}

// The fast route decomposes around the middle of the energies; a single energy gets the
// parameter file's default step, a tenth of it.
EnergyWindow window_of(const std::vector<double>& energies) {
    if (energies.empty()) return {};
    const auto [low, high] = std::minmax_element(energies.begin(), energies.end());
    const std::size_t count = energies.size();
    const double step = count > 1 && *high > *low ? (*high - *low) / (count - 1) : *high / 10.0;
    return {*low, *high, step};
}

}  // namespace

SizeScan phase_shifts_by_size(const Problem& problem, double e, int first, int last,
                              const Options& options) {
    check_basis_sizes(first, last);
    check_energy_positive(e);
    validate(problem, last);
    check_energy_fits(problem, e, "e");
    const ThreadCount threads(options.threads);
    const FloatModeGuard mode;
    SizeScan scan;
    const std::unique_ptr<Route> route =
        make_route(options.route, problem, last + 1, collect_into(scan.warnings));
    route->begin_sizes(e, first, last, nullptr);
    const FreeSolutions free = free_solutions_of(problem, e, free_solution_top(last));
    for (int n = first; n <= last; ++n) {
        const double g_n = route->size_element(n);
        const PhaseShift point =
            phase_shift(problem, e, n, g_n, free, options.shift, [n] { return point_at_size(n); });
        scan.sizes.push_back(n);
        scan.tan_delta.push_back(point.tan_delta);
        scan.delta.push_back(point.delta);
    }
    return scan;
}

EnergyScan phase_shifts_by_energy(const Problem& problem, int n,
                                  const std::vector<double>& energies, const Options& options) {
    check_basis_sizes(n, n);
    validate(problem, n);
    check_energies(problem, energies);
    const ThreadCount threads(options.threads);
    const FloatModeGuard mode;
    EnergyScan scan;
    const std::unique_ptr<Route> route =
        make_route(options.route, problem, n + 1, collect_into(scan.warnings));
    route->begin_energies(n, window_of(energies));
    for (double e : energies) {
        const double g_n = route->energy_element(e);
        const FreeSolutions free = free_solutions_of(problem, e, free_solution_top(n));
        const PhaseShift point = phase_shift(problem, e, n, g_n, free, options.shift,
                                             [e] { return point_at_energy(e); });
        scan.energies.push_back(e);
        scan.tan_delta.push_back(point.tan_delta);
        scan.delta.push_back(point.delta);
    }
    return scan;
}

Limit phase_shift_limit(const Problem& problem, double e, double tolerance, int largest_size,
                        const Options& options) {
    check_basis_sizes(1, largest_size);
    check_energy_positive(e);
    validate(problem, largest_size);
    check_energy_fits(problem, e, "e");
    if (!(tolerance > 0.0)) throw_error("loadparams", "<tolerance> must be positive");
    const ThreadCount threads(options.threads);
    const FloatModeGuard mode;
    const LimitEstimate estimate =
        limit_by_size(problem, e, 1, largest_size, tolerance, options.shift);
    return {estimate.delta, estimate.error, estimate.largest_size, estimate.converged};
}

PartialWaveResult partial_waves(const Problem& problem, int n, const std::vector<double>& energies,
                                int lmax, double lconv, int angles, const Options& options) {
    Problem first = problem;
    first.wave = {0, problem.scheme.dirac ? -1 : 0};
    check_basis_sizes(n, n);
    validate(first, n);
    check_energies(first, energies);
    check_partial_wave_sampling(lconv, angles);
    check_lmax(first.basis, lmax, n);
    check_short_range(first.potential);
    const ThreadCount threads(options.threads);
    const FloatModeGuard mode;
    const PartialWaveLoop loop = partial_wave_loop(first, n, n + 1, energies, window_of(energies),
                                                   lmax, lconv, options.shift, nullptr, {});
    PartialWaveResult result;
    result.energies = energies;
    result.waves = loop.waves;
    result.delta = loop.deltas;
    result.lmax_reached = loop.lmax_reached;
    result.converged = loop.converged;
    const bool tail = problem.zc != 0.0;
    for (int a = tail ? 1 : 0; a < angles; ++a)
        result.angles.push_back(180.0 * a / (angles - 1));
    if (tail) {
        for (std::size_t w = 0; w < loop.waves.size(); ++w) {
            std::vector<double> phases;
            for (double eta : loop.etas)
                phases.push_back(coulomb_phase(loop.waves[w].l, eta));
            result.coulomb_phase.push_back(std::move(phases));
        }
    }
    for (std::size_t i = 0; i < energies.size(); ++i) {
        const double k = wave_number(problem.scheme, energies[i]);
        const PartialWaves waves = waves_at(loop, problem.scheme.dirac, i);
        result.sigma.push_back(elastic_cross_section(k, waves));
        result.sigma_transport.push_back(transport_cross_section(k, waves));
        std::vector<double> dsigma, ratio;
        for (double degrees : result.angles) {
            const double theta = degrees * std::numbers::pi / 180.0;
            dsigma.push_back(differential_cross_section(k, waves, theta));
            if (tail)
                ratio.push_back(dsigma.back() / rutherford_cross_section(k, waves.eta, theta));
        }
        result.dsigma.push_back(std::move(dsigma));
        if (tail) result.rutherford_ratio.push_back(std::move(ratio));
    }
    return result;
}

}  // namespace skarven
