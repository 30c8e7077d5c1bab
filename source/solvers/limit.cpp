#include "limit.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "coefficients.hpp"
#include "parallel_errors.hpp"
#include "phase_shift.hpp"
#include "potential.hpp"
#include "routes.hpp"
#include "skarven/errors.hpp"

namespace skarven {

namespace {

using std::numbers::pi;

// The first stage: about a tenth of a second on the fast route, and sizes enough for the fit.
constexpr int first_stage = 100;

// The jumps of the potential: where the fit gains an oscillation of its own.
std::vector<double> jumps_of(const Potential& p) {
    std::vector<double> radii;
    if (p.kind == PotentialKind::well) {
        if (p.a > 0.0) radii.push_back(p.a);
        if (p.b > p.a) radii.push_back(p.b);
    } else if (p.r0 > 0.0) {
        radii.push_back(p.r0);
    }
    return radii;
}

double phase_at(const SequenceModel::Phase& phase, double n) {
    const double phase_n = phase.root ? phase.scale * std::sqrt(n + phase.shift) : phase.scale * n;
    return phase.log_scale == 0.0 ? phase_n : phase_n + phase.log_scale * std::log(n);
}

int column_count(const SequenceModel& model) {
    const int per_power = 1 + 2 * model.harmonics * static_cast<int>(model.phases.size());
    return 1 + per_power * static_cast<int>(model.powers.size());
}

void fill_row(const SequenceModel& model, double n, double* row) {
    int c = 0;
    row[c++] = 1.0;
    for (double p : model.powers) {
        const double envelope = std::pow(n, -p);
        row[c++] = envelope;
        for (const SequenceModel::Phase& phase : model.phases) {
            const double angle = phase_at(phase, n);
            for (int h = 1; h <= model.harmonics; ++h) {
                row[c++] = envelope * std::cos(h * angle);
                row[c++] = envelope * std::sin(h * angle);
            }
        }
    }
}

struct Fit {
    double constant = 0.0;
    double standard_error = 0.0;  // of the constant, from the residual's scatter
    bool valid = false;
};

// Least squares by Householder QR of the column-scaled design matrix (m x c, m > c).
Fit least_squares(const SequenceModel& model, const std::vector<double>& n,
                  const std::vector<double>& y) {
    const int m = static_cast<int>(n.size());
    const int c = column_count(model);
    Fit fit;
    if (m < 3 * c) return fit;
    // Column-major, with y as the last column so that each reflection reaches it with the rest.
    std::vector<double> a(static_cast<std::size_t>(m) * (c + 1));
    std::vector<double> row(c);
    for (int i = 0; i < m; ++i) {
        fill_row(model, n[i], row.data());
        for (int j = 0; j < c; ++j)
            a[i + static_cast<std::size_t>(j) * m] = row[j];
    }
    std::vector<double> scale(c, 0.0);
    for (int j = 0; j < c; ++j) {
        for (int i = 0; i < m; ++i)
            scale[j] = std::max(scale[j], std::fabs(a[i + static_cast<std::size_t>(j) * m]));
        if (scale[j] == 0.0) return fit;
        for (int i = 0; i < m; ++i)
            a[i + static_cast<std::size_t>(j) * m] /= scale[j];
    }
    double* const b = a.data() + static_cast<std::size_t>(c) * m;
    std::copy(y.begin(), y.end(), b);
    for (int j = 0; j < c; ++j) {
        double* col = a.data() + static_cast<std::size_t>(j) * m;
        double norm = 0.0;
        for (int i = j; i < m; ++i)
            norm = std::hypot(norm, col[i]);
        if (norm == 0.0) return fit;
        const double alpha = col[j] > 0.0 ? -norm : norm;
        col[j] -= alpha;                    // v = x - alpha e_j, stored in place
        const double vv = -alpha * col[j];  // v^T v / 2 ... = norm^2 - alpha x_j
        for (int k = j + 1; k <= c; ++k) {
            double* other = a.data() + static_cast<std::size_t>(k) * m;
            double dot = 0.0;
            for (int i = j; i < m; ++i)
                dot += col[i] * other[i];
            const double f = dot / vv;
            for (int i = j; i < m; ++i)
                other[i] -= f * col[i];
        }
        col[j] = alpha;  // R(j, j)
    }
    // Back substitution for the coefficients; the residual is b[c ... m-1].
    std::vector<double> x(c);
    for (int j = c - 1; j >= 0; --j) {
        double s = b[j];
        for (int k = j + 1; k < c; ++k)
            s -= a[j + static_cast<std::size_t>(k) * m] * x[k];
        x[j] = s / a[j + static_cast<std::size_t>(j) * m];
    }
    double residual = 0.0;
    for (int i = c; i < m; ++i)
        residual += b[i] * b[i];
    const double variance = residual / (m - c);
    // Row 0 of R^-1: the constant's variance is variance * |R^-T e_0|^2.
    std::vector<double> z(c, 0.0);
    for (int j = 0; j < c; ++j) {
        double s = j == 0 ? 1.0 : 0.0;
        for (int k = 0; k < j; ++k)
            s -= a[k + static_cast<std::size_t>(j) * m] * z[k];
        z[j] = s / a[j + static_cast<std::size_t>(j) * m];
    }
    double zz = 0.0;
    for (double v : z)
        zz += v * v;
    fit.constant = x[0] / scale[0];
    fit.standard_error = std::sqrt(variance * zz) / scale[0];
    fit.valid = std::isfinite(fit.constant) && std::isfinite(fit.standard_error);
    return fit;
}

// The sizes in [low, high] and their delta, from the sequence.
void window(const std::vector<int>& sizes, const std::vector<double>& deltas, double low,
            double high, std::vector<double>& n, std::vector<double>& y) {
    n.clear();
    y.clear();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] >= low && sizes[i] <= high) {
            n.push_back(sizes[i]);
            y.push_back(deltas[i]);
        }
    }
}

}  // namespace

SequenceModel sequence_model(const Problem& problem, double e) {
    SequenceModel model;
    const double q = wave_number(problem.scheme, e) / problem.basis.lambda;
    const int l = problem.wave.l;
    const std::vector<double> jumps = jumps_of(problem.potential);
    if (problem.basis.kind == BasisKind::laguerre) {
        const double cos_theta = (q * q - 0.25) / (q * q + 0.25);
        // A Coulomb tail turns the free coefficients' phase by eta ln N (their n^(i eta)).
        const double eta = problem.zc / wave_number(problem.scheme, e);
        model.phases.push_back({std::acos(std::clamp(cos_theta, -1.0, 1.0)), 0.0, false, eta});
        for (double r : jumps)
            model.phases.push_back({2.0 * std::sqrt(problem.basis.lambda * r), l + 1.0, true});
    } else {
        model.phases.push_back({2.0 * q, 0.5 * l + 0.75, true});
        for (double r : jumps)
            model.phases.push_back({4.0 * problem.basis.lambda * r, 0.5 * l + 0.75, true});
    }
    if (jumps.empty() && problem.basis.kind == BasisKind::laguerre) {
        model.powers = {1.5, 2.0, 2.5};
    } else if (problem.basis.kind == BasisKind::laguerre) {
        model.powers = {1.25};
    } else {
        model.powers = {1.0};
    }
    model.harmonics = 2;
    return model;
}

LimitEstimate estimate_limit(const std::vector<int>& sizes, const std::vector<double>& deltas,
                             const SequenceModel& model, double tolerance) {
    SKARVEN_CHECK(sizes.size() == deltas.size());
    LimitEstimate estimate;
    if (sizes.empty()) return estimate;
    // delta_N is known modulo pi: the sequence is made continuous from its last value back.
    std::vector<double> y = deltas;
    for (std::size_t i = y.size() - 1; i-- > 0;)
        y[i] -= pi * std::round((y[i] - y[i + 1]) / pi);
    const double largest = sizes.back();
    estimate.largest_size = sizes.back();
    std::vector<double> n_high, y_high, n_low, y_low;
    window(sizes, y, 0.5 * largest, largest, n_high, y_high);
    window(sizes, y, 0.25 * largest, 0.5 * largest, n_low, y_low);
    const Fit high = least_squares(model, n_high, y_high);
    const Fit low = least_squares(model, n_low, y_low);
    if (!high.valid) {
        // Too few sizes to fit: the last delta_N, with three times its largest distance from the
        // sizes down to N/4 as the error, and infinite when there is nothing to compare with.
        double spread = 0.0;
        for (std::size_t i = 0; i < y.size(); ++i)
            if (sizes[i] >= 0.25 * largest) spread = std::max(spread, std::fabs(y[i] - y.back()));
        estimate.delta = y.back();
        estimate.error = y.size() > 1 ? 3.0 * spread : std::numeric_limits<double>::infinity();
        estimate.converged = false;
        return estimate;
    }
    estimate.delta = high.constant;
    // Three standard errors of the constant, and three times the difference from the fit one
    // window lower. If the model misses a term that falls as N^-p, the windows' errors differ by
    // the factor 2^p and this one's is the difference over 2^p - 1: three times it covers any
    // p >= 1/2, the slowest approach seen (the oscillator basis).
    double error = 3.0 * high.standard_error;
    if (low.valid)
        error = std::max(error, 3.0 * std::fabs(high.constant - low.constant));
    else
        error = std::max(error, 3.0 * std::fabs(high.constant - y.back()));
    // Rounding of delta_N itself.
    error = std::max(error, 4e-16 * std::max(1.0, std::fabs(high.constant)));
    estimate.error = error;
    estimate.converged = error <= tolerance;
    return estimate;
}

double auto_lambda(int l, double k) {
    return std::max(2.0, 4.0 * k) * (1.0 + l / 25.0);
}

LimitEstimate limit_by_size(const Problem& problem, double e, int first_size, int largest_size,
                            double tolerance, bool shift,
                            const std::function<void(int, const PhaseShift&)>& each) {
    return limits_by_size(problem, {e}, first_size, largest_size, tolerance, shift, each).front();
}

std::vector<LimitEstimate> limits_by_size(const Problem& problem,
                                          const std::vector<double>& energies, int first_size,
                                          int largest_size, double tolerance, bool shift,
                                          const std::function<void(int, const PhaseShift&)>& each) {
    SKARVEN_CHECK(first_size >= 1 && largest_size >= first_size);
    SKARVEN_CHECK(!each || energies.size() == 1);
    if (energies.empty()) return {};
    const int count = static_cast<int>(energies.size());
    struct Sequence {
        std::unique_ptr<FreeSolutions> free;
        std::vector<int> sizes;
        std::vector<double> deltas;
        LimitEstimate estimate;
        bool done = false;
    };
    std::vector<Sequence> sequences(energies.size());
    // The fit needs the sizes from a quarter of the last one: the sequence starts low whatever
    // the first size asked for, which only bounds the sizes reported and the last size used.
    int first = std::min(first_size, first_stage / 4);
    for (int stage_last = std::min(largest_size, std::max(first_size, first_stage));;
         stage_last = std::min(largest_size, 2 * stage_last)) {
        // One integration of the potential blocks per stage serves every energy.
        std::vector<double> phi, psi;
        PotentialMatrix(problem, stage_last + 1).blocks(stage_last, phi, psi);
        const PotentialBlocksSource blocks = [&](PotentialMatrix&, int n, std::vector<double>& p,
                                                 std::vector<double>& q) {
            SKARVEN_CHECK(n == stage_last);
            p = phi;
            q = psi;
        };
        FirstError error;
        // The energies are independent: one route per thread, each sequence in a fixed order.
#pragma omp parallel if (count > 1)
        {
            std::unique_ptr<Route> route;
#pragma omp for schedule(dynamic)
            for (int i = 0; i < count; ++i) {
                error.run(i, [&] {
                    Sequence& sequence = sequences[i];
                    if (sequence.done) return;
                    const double e = energies[i];
                    if (!sequence.free) {
                        sequence.free = std::make_unique<FreeSolutions>(
                            free_solutions_of(problem, e, free_solution_top(largest_size)));
                    }
                    if (!route)
                        route = make_route(RouteKind::fast, problem, stage_last + 1, {}, blocks);
                    route->begin_sizes(e, first, stage_last, nullptr);
                    for (int n = first; n <= stage_last; ++n) {
                        const double g_n = route->size_element(n);
                        const PhaseShift point =
                            phase_shift(problem, e, n, g_n, *sequence.free, shift,
                                        [n] { return point_at_size(n); });
                        if (each && n >= first_size) each(n, point);
                        sequence.sizes.push_back(n);
                        sequence.deltas.push_back(point.delta);
                    }
                    sequence.estimate = estimate_limit(sequence.sizes, sequence.deltas,
                                                       sequence_model(problem, e), tolerance);
                    sequence.done = sequence.estimate.converged || stage_last == largest_size;
                });
            }
        }
        error.rethrow();
        first = stage_last + 1;
        if (std::all_of(sequences.begin(), sequences.end(),
                        [](const Sequence& sequence) { return sequence.done; }))
            break;
    }
    std::vector<LimitEstimate> estimates;
    for (const Sequence& sequence : sequences)
        estimates.push_back(sequence.estimate);
    return estimates;
}

}  // namespace skarven
