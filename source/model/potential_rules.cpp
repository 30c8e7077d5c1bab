// The rule of the fast route's potential blocks. On [0, infinity) the Laguerre basis with a Coulomb
// or Yukawa potential, and the oscillator basis with a Coulomb potential (in t = x^2), give
// u^beta e^-u times a polynomial of degree below 2K: a generalized Gauss-Laguerre rule of K points
// is exact. Everything else (the well, cut-off potentials, the oscillator basis with a Yukawa
// potential to infinity) uses composite Gauss-Legendre panels in x sized by the local wave number
// of the highest basis function, with a Gauss-Jacobi panel at r = 0 for a fractional power there.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "basis.hpp"
#include "potential.hpp"
#include "potential_internal.hpp"
#include "skarven/errors.hpp"
#include "special_gauss.hpp"

namespace skarven::detail {

// ---- The settings and the potential ----------------------------------------------------------

Interval interval_of_potential(const Potential& p) {
    if (p.kind == PotentialKind::well) return {Range::finite, p.a, p.b};
    if (p.kind == PotentialKind::table) {
        // Zero beyond the last sample.
        if (p.table_r.empty()) return {};
        const double last = p.table_r.back();
        const double end = p.r0 > 0.0 ? std::min(p.r0, last) : last;
        if (!(end > 0.0)) return {};
        return {Range::finite, 0.0, end};
    }
    if (p.kind != PotentialKind::none) {
        if (p.r0 > 0.0) return {Range::finite, 0.0, p.r0};
        return {Range::semi_infinite, 0.0, HUGE_VAL};
    }
    return {};
}

bool runtime_kind(PotentialKind kind) {
    return kind == PotentialKind::woods_saxon || kind == PotentialKind::hulthen ||
           kind == PotentialKind::exponential || kind == PotentialKind::gaussian ||
           kind == PotentialKind::morse || kind == PotentialKind::formula ||
           kind == PotentialKind::table;
}

void not_finite_at(double r) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6e", r);
    throw_error("potential", std::string("the potential is not finite at r = ") + text);
}

BasisShape shape_of(const Problem& problem) {
    BasisShape s;
    s.potential = &problem.potential;
    s.gauss = problem.basis.kind == BasisKind::oscillator;
    const Order order = basis_order(problem);
    s.l = order.l;
    s.kappa = order.kappa;
    s.lambda = problem.basis.lambda;
    s.alpha = s.gauss ? s.l + 0.5 : 2.0 * s.l + 1.0;
    return s;
}

namespace {

PotentialSample sample_of(double value) {
    if (!std::isfinite(value)) return {minus_infinity, 0.0, false};
    if (value == 0.0) return {};
    return {log_abs(value), value > 0.0 ? 1.0 : -1.0};
}

}  // namespace

PotentialSample potential_at(const Potential& p, extended r) {
    if (p.kind == PotentialKind::coulomb) {
        if (p.z == 0.0) return {};
        return {log_abs(p.z) - p.alpha * std::log(r), p.z > 0.0 ? -1.0 : 1.0};
    }
    if (p.kind == PotentialKind::yukawa) {
        if (p.g == 0.0) return {};
        return {2.0 * log_abs(p.g) - p.m * r - std::log(r), -1.0};
    }
    return sample_of(potential_value(p, static_cast<double>(r)));
}

std::vector<PotentialSample> batched_samples(const Potential& p, const std::vector<double>& r) {
    if (p.kind != PotentialKind::user || !p.batch_formula || r.empty()) return {};
    std::vector<double> v(r.size(), 0.0);
    p.batch_formula(r.size(), r.data(), v.data());
    std::vector<PotentialSample> samples(r.size());
    for (std::size_t k = 0; k < r.size(); ++k)
        samples[k] = sample_of(v[k]);
    return samples;
}

std::vector<PotentialSample> batched_samples(const Potential& p, const std::vector<extended>& x,
                                             double lambda) {
    if (p.kind != PotentialKind::user || !p.batch_formula) return {};
    std::vector<double> r(x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
        r[k] = static_cast<double>(x[k] / lambda);
    return batched_samples(p, r);
}

namespace {

// Power of r in v near r = 0.
double potential_power(const Potential& p) {
    if (p.kind == PotentialKind::coulomb) return -p.alpha;
    if (p.kind == PotentialKind::yukawa || p.kind == PotentialKind::hulthen) return -1.0;
    return 0.0;
}

// ---- Quadrature points in r ------------------------------------------------------------------

// Gauss-Laguerre in u = scale x with weight u^beta e^-u: the weight is divided out again.
Points laguerre_points(int count, double beta, double scale, double lambda) {
    const GaussRule rule = gauss_rule(laguerre_recurrence(count, beta), count);
    Points points;
    const extended c = static_cast<extended>(scale);
    for (int k = 0; k < count; ++k) {
        const extended u = rule.node[k];
        points.x.push_back(u / c);
        points.log_weight.push_back(rule.log_weight[k] - beta * std::log(u) + u -
                                    std::log(c * lambda));
    }
    return points;
}

// Gauss-Laguerre in t = x^2 with weight t^beta e^-t (dr = dt / (2 lambda sqrt(t))).
Points oscillator_points(int count, double beta, double lambda) {
    const GaussRule rule = gauss_rule(laguerre_recurrence(count, beta), count);
    Points points;
    for (int k = 0; k < count; ++k) {
        const extended t = rule.node[k];
        points.x.push_back(std::sqrt(t));
        points.log_weight.push_back(rule.log_weight[k] - (beta + 0.5L) * std::log(t) + t -
                                    std::log(2.0L * lambda));
    }
    return points;
}

// Points per panel and the phase of the product of two basis functions one panel may hold.
constexpr int panel_points = 32;
constexpr double panel_phase = 40.0;

// Local rate of change (wave number of phi_i phi_j plus the decay rates) in x, from the
// turning-point form of the highest function: the Laguerre functions solve
// u'' + (nu/(4x) - 1/4 + ...) u = 0, the oscillator functions u'' + (nu - x^2 - ...) u = 0.
struct RateModel {
    bool gauss = false;
    double nu = 0.0;
    double decay = 0.0;  // e^-(m r) of the Yukawa potential, per unit x
    double rate(double x) const {
        x = std::fabs(x);
        if (gauss) return 2.0 * std::sqrt(std::max(nu - x * x, 0.0)) + 2.0 * x + decay;
        return 2.0 * std::sqrt(std::max(nu / (4.0 * x) - 0.25, 0.0)) + 1.0 + decay;
    }
    // End of the first panel at x = 0, where the Laguerre phase 2 sqrt(nu x) is finite.
    double first_width() const {
        if (gauss) return panel_phase / rate(0.0);
        return std::min(panel_phase * panel_phase / (4.0 * nu), panel_phase / (1.0 + decay));
    }
    double turning_point() const { return gauss ? std::sqrt(nu) : nu; }
};

// Panels over |x| in [from, to] (from >= 0), mirrored to negative x when `negative`. A panel at
// x = 0 carries the weight s^gamma of the integrand's fractional power there; the panels after it
// are at most twice as wide as their distance from 0, which keeps that singularity away.
void add_panels(double from, double to, bool negative, double gamma, const RateModel& model,
                double lambda, Points& points) {
    if (!(to > from)) return;
    static const GaussRule legendre =
        gauss_rule(jacobi_recurrence(panel_points, 0.0), panel_points);
    auto add = [&](const GaussRule& rule, double start, double width, double power) {
        for (int k = 0; k < panel_points; ++k) {
            const extended s = rule.node[k];
            const extended x = start + width * s;
            points.x.push_back(negative ? -x : x);
            points.log_weight.push_back(rule.log_weight[k] +
                                        std::log(static_cast<extended>(width) / lambda) -
                                        power * std::log(s));
        }
    };
    double x = from;
    const bool from_origin = from == 0.0;
    if (from_origin) {
        const double width = std::min(model.first_width(), to);
        const double power = gamma - std::floor(gamma);
        if (power == 0.0) {
            add(legendre, 0.0, width, 0.0);
        } else {
            add(gauss_rule(jacobi_recurrence(panel_points, power), panel_points), 0.0, width,
                power);
        }
        x = width;
    }
    while (x < to) {
        double width = panel_phase / model.rate(x);
        if (model.gauss) width = panel_phase / std::max(model.rate(x), model.rate(x + width));
        if (from_origin) width = std::min(width, 2.0 * x);
        width = std::min(width, to - x);
        add(legendre, x, width, 0.0);
        x += width;
    }
}

// ---- Rule for one block ----------------------------------------------------------------------

// x^gamma is the behaviour of f_i f_j v at x = 0. psi starts as x^l unless kappa = -(l + 1), when
// its constant term vanishes.
double integrand_power(const BasisShape& s, Component component) {
    if (component == Component::phi) return 2.0 * s.l + 2.0 + potential_power(*s.potential);
    double gamma = 2.0 * s.l + potential_power(*s.potential);
    if (gamma <= -1.0 && s.kappa + s.l + 1 == 0) gamma += 2.0;
    return gamma;
}

// A divergent integral (gamma <= -1) still gets a finite sum: the rule's power is the fractional
// part of gamma.
double rule_power(double beta) {
    return beta > -1.0 ? beta : beta - std::floor(beta);
}

// max_i ln |f_i(x)| + ln |v(r)| / 2 over all indices, for the end of the integrand's tail;
// v_sample is the potential at r = x / lambda.
extended log_envelope(const BasisShape& s, Component component, int n, double x,
                      const PotentialSample& v_sample) {
    if (v_sample.sign == 0.0) return minus_infinity;
    extended best = minus_infinity;
    auto sink = [&best](int, extended mantissa, extended log_factor) {
        if (mantissa != 0.0) best = std::max(best, log_abs(mantissa) + log_factor);
    };
    if (component == Component::phi) {
        phi_values(s, n, x, 0.5 * v_sample.log_abs, sink);
    } else {
        psi_values(s, n, x, 0.5 * v_sample.log_abs, sink);
    }
    return best;
}

// Where the integrand has fallen below e^-80 of its largest sampled value (the functions beyond
// their turning point decay monotonically, the highest index last). Returns `upper` when the
// integrand is still significant there, and `lower` when it vanishes throughout.
double end_of_integrand(const BasisShape& s, Component component, const RateModel& model, int n,
                        double lower, double upper) {
    const double reach = 1.2 * model.turning_point() + 20.0;
    if (upper <= reach) return upper;
    const double start = std::max(lower, 0.0);
    // The potential at a batch of probes at a time: one call of a batch formula per batch.
    constexpr int samples = 64;
    std::vector<double> probes{start};
    if (start < reach) {
        for (int g = 1; g <= samples; ++g) {
            const double fraction = static_cast<double>(g) / samples;
            probes.push_back(start + (reach - start) * fraction * fraction);
        }
    }
    const auto potential_at_probes = [&] {
        std::vector<double> radii;
        for (double x : probes)
            radii.push_back(x / s.lambda);
        std::vector<PotentialSample> v = batched_samples(*s.potential, radii);
        if (v.empty())
            for (double r : radii)
                v.push_back(potential_at(*s.potential, r));
        return v;
    };
    extended largest = minus_infinity;
    const std::vector<PotentialSample> first = potential_at_probes();
    for (std::size_t k = 0; k < probes.size(); ++k)
        largest = std::max(largest, log_envelope(s, component, n, probes[k], first[k]));
    if (largest == minus_infinity) return lower;
    double x = std::max(start, reach);
    while (x < upper) {
        probes.clear();
        for (double probe = x; probe < upper && probes.size() < samples;
             probe += std::max(1.0, (s.gauss ? 0.02 : 0.05) * probe))
            probes.push_back(probe);
        const std::vector<PotentialSample> v = potential_at_probes();
        for (std::size_t k = 0; k < probes.size(); ++k)
            if (log_envelope(s, component, n, probes[k], v[k]) < largest - 40.0) return probes[k];
        x = probes.back();
        x += std::max(1.0, (s.gauss ? 0.02 : 0.05) * x);
    }
    return upper;
}

// ---- Runtime kinds: panels graded toward r = 0 and refined -----------------------------------

// Radii (x = lambda r) where the potential declares a kink or a jump: the breaks of a formula,
// the radius of a Woods-Saxon or Morse form.
std::vector<double> declared_ends(const BasisShape& s) {
    const Potential& p = *s.potential;
    std::vector<double> ends;
    if (p.kind == PotentialKind::formula) {
        for (double r : p.breaks)
            ends.push_back(s.lambda * r);
    }
    if ((p.kind == PotentialKind::woods_saxon || p.kind == PotentialKind::morse) && p.radius > 0.0)
        ends.push_back(s.lambda * p.radius);
    std::sort(ends.begin(), ends.end());
    return ends;
}

// The geometric grading toward 0: panels [w q^(j+1), w q^j], j < graded_panels, then [0, w q^J].
// An integrand r^beta g(r) with beta > -1 is integrated on each to full precision, whatever beta
// is (1/r and r^-alpha potentials, the first component's r^(2l+2) or the second's r^(2l)).
constexpr int graded_panels = 16;
constexpr double grading_ratio = 0.125;
// Bisections of one panel allowed by the refinement (enough to pin a jump nobody declared to
// 1e-16 of the panel).
constexpr int deepest_refinement = 56;

struct Panel {
    double start;
    double width;
};

// Whole-panel and two half-panel sums of q v, q v cos(w(x - c)) and q v sin(w(x - c)) agree to
// 1e-14 of the panel's sum of |q v| or to 1e-16 of the largest panel's: the potential is resolved
// together with the oscillation of the basis products the panel holds. q ~ x^power near 0 is the
// basis product's own behaviour there, so that a singular potential is judged by what it adds.
class PanelCheck {
  public:
    PanelCheck(const BasisShape& s, const RateModel& model, double power)
        : s_(s), model_(model), power_(power) {}

    struct Sums {
        extended value[3] = {0.0L, 0.0L, 0.0L};
        extended absolute = 0.0L;
    };

    Sums sums(const Panel& panel, double centre, double omega) const {
        static const GaussRule legendre =
            gauss_rule(jacobi_recurrence(panel_points, 0.0), panel_points);
        Sums out;
        for (int k = 0; k < panel_points; ++k) {
            const double x = panel.start + panel.width * static_cast<double>(legendre.node[k]);
            const PotentialSample v = potential_at(*s_.potential, x / s_.lambda);
            if (!v.finite) not_finite_at(x / s_.lambda);
            if (v.sign == 0.0) continue;
            const extended q = std::min<extended>(1.0L, std::pow(static_cast<extended>(x), power_));
            const extended term =
                std::exp(legendre.log_weight[k]) * panel.width * q * v.sign * std::exp(v.log_abs);
            const extended phase = omega * (x - centre);
            out.value[0] += term;
            out.value[1] += term * std::cos(phase);
            out.value[2] += term * std::sin(phase);
            out.absolute += std::fabs(term);
        }
        return out;
    }

    // |sum of |q v|| of the panel, for the scale of the check.
    extended absolute(const Panel& panel) const { return sums(panel, panel.start, 0.0).absolute; }

    bool resolved(const Panel& panel, extended largest) const {
        const double centre = panel.start + 0.5 * panel.width;
        const double omega = model_.rate(centre);
        const Sums whole = sums(panel, centre, omega);
        const Sums left = sums({panel.start, 0.5 * panel.width}, centre, omega);
        const Sums right = sums({centre, 0.5 * panel.width}, centre, omega);
        for (int t = 0; t < 3; ++t) {
            const extended difference = std::fabs(whole.value[t] - left.value[t] - right.value[t]);
            if (!(difference <= 1e-14L * whole.absolute || difference <= 1e-16L * largest))
                return false;
        }
        return true;
    }

  private:
    const BasisShape& s_;
    const RateModel& model_;
    double power_;
};

void add_legendre_panel(const Panel& panel, double lambda, Points& points) {
    static const GaussRule legendre =
        gauss_rule(jacobi_recurrence(panel_points, 0.0), panel_points);
    for (int k = 0; k < panel_points; ++k) {
        points.x.push_back(panel.start + panel.width * legendre.node[k]);
        points.log_weight.push_back(legendre.log_weight[k] +
                                    std::log(static_cast<extended>(panel.width) / lambda));
    }
}

// Panels over [0, upper] in x: graded toward 0, sized by the basis's local rate after, ending at
// every declared radius, each bisected until the check passes.
Points graded_points(const BasisShape& s, Component component, const RateModel& model,
                     double upper) {
    std::vector<double> ends;
    for (double end : declared_ends(s)) {
        if (end > 0.0 && end < upper) ends.push_back(end);
    }
    ends.push_back(upper);
    std::vector<Panel> panels;
    const double first = std::min(model.first_width(), ends.front());
    double inner = first * std::pow(grading_ratio, graded_panels);
    panels.push_back({0.0, inner});
    for (int j = graded_panels - 1; j >= 0; --j) {
        const double outer = first * std::pow(grading_ratio, j);
        panels.push_back({inner, outer - inner});
        inner = outer;
    }
    double x = first;
    for (double end : ends) {
        while (x < end) {
            double width = std::min({panel_phase / model.rate(x), 2.0 * x, end - x});
            if (model.gauss) width = std::min(width, panel_phase / model.rate(x + width));
            // A sliver before a declared end joins the panel before it.
            if (end - (x + width) < 1e-3 * width) width = end - x;
            panels.push_back({x, width});
            x += width;
        }
        x = std::max(x, end);
    }

    const double power = component == Component::phi ? 2.0 * s.l + 2.0 : std::max(2.0 * s.l, 0.0);
    const PanelCheck check(s, model, power);
    extended largest = 0.0L;
    for (const Panel& panel : panels)
        largest = std::max(largest, check.absolute(panel));
    Points points;
    // Depth-first bisection keeps the panels in increasing x.
    struct Pending {
        Panel panel;
        int depth;
    };
    std::vector<Pending> stack;
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        stack.push_back({*it, 0});
    while (!stack.empty()) {
        const Pending item = stack.back();
        stack.pop_back();
        if (item.depth < deepest_refinement && !check.resolved(item.panel, largest)) {
            const double half = 0.5 * item.panel.width;
            stack.push_back({{item.panel.start + half, half}, item.depth + 1});
            stack.push_back({{item.panel.start, half}, item.depth + 1});
            continue;
        }
        add_legendre_panel(item.panel, s.lambda, points);
    }
    return points;
}

}  // namespace

// The rule for one block: exact Gauss-Laguerre where the integrand allows it, else panels.
Points block_points(const BasisShape& s, Component component, int n, const Interval& interval) {
    const Potential& p = *s.potential;
    const bool coulomb = p.kind == PotentialKind::coulomb;
    const bool yukawa = p.kind == PotentialKind::yukawa;
    const double gamma = integrand_power(s, component);
    // psi_i psi_j is a polynomial of degree 2n + 2, phi_i phi_j of degree 2n - 2.
    const int count = component == Component::phi ? n + 1 : n + 2;
    if (interval.range == Range::semi_infinite && !s.gauss && (coulomb || yukawa)) {
        const double scale = yukawa ? 1.0 + p.m / s.lambda : 1.0;
        return laguerre_points(count, rule_power(gamma), scale, s.lambda);
    }
    if (interval.range == Range::semi_infinite && s.gauss && coulomb) {
        return oscillator_points(count, rule_power(0.5 * (gamma - 1.0)), s.lambda);
    }

    RateModel model;
    model.gauss = s.gauss;
    model.nu = s.gauss ? 4.0 * n + 2.0 * s.l + 7.0 : 4.0 * n + 2.0 * s.alpha + 6.0;
    model.decay = yukawa ? std::max(p.m, 0.0) / s.lambda : 0.0;
    const double lower = s.lambda * interval.lower;
    const double upper = end_of_integrand(s, component, model, n, lower, s.lambda * interval.upper);
    if (runtime_kind(p.kind)) {
        if (!(upper > 0.0)) return {};
        return graded_points(s, component, model, upper);
    }
    Points points;
    if (lower < 0.0)
        add_panels(std::max(0.0, -upper), -lower, true, gamma, model, s.lambda, points);
    add_panels(std::max(lower, 0.0), upper, false, gamma, model, s.lambda, points);
    return points;
}

}  // namespace skarven::detail
