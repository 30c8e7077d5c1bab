// Guards against wrong Green's-function elements from the fast route's bordered and energy passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "coefficients.hpp"
#include "green_kernels.hpp"
#include "phase_shift.hpp"
#include "routes.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double light = 137.0359996287515, infinity = HUGE_VAL;
using Matrix = std::vector<double>;  // column-major

// Treats x and 1/x alike: next to a pole only 1/g is well determined, next to a singular block g.
double chordal_distance(double x, double y) {
    if (std::isinf(x) || std::isinf(y)) return std::isinf(x) && std::isinf(y) ? 0.0 : 1.0;
    return std::fabs(x - y) / std::sqrt((1.0 + x * x) * (1.0 + y * y));
}

struct Pencil {
    Matrix h, s;
    int m;
};

// H = D R D, S = D F D, D over 1e-5..1e10; with pairs the odd indices are Dirac small components.
Pencil random_pencil(int m, int count, unsigned seed, bool monotone, double c = light,
                     bool diagonal_overlap = false) {
    std::mt19937_64 engine(seed);
    auto draw = [&](double lo, double hi) { return lo + (hi - lo) * (engine() >> 11) * 0x1p-53; };
    std::vector<double> d(m);
    for (int i = 0; i < m; ++i)
        d[i] = std::pow(10.0, monotone ? -5.0 + 15.0 * i / (m - 1) : draw(-5.0, 10.0));
    Pencil p{Matrix(static_cast<std::size_t>(m) * m), Matrix(static_cast<std::size_t>(m) * m), m};
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i) {
            double r = i == j ? draw(1.0, 2.0) * (draw(0, 1) < 0.5 ? -1 : 1) : draw(-0.5, 0.5);
            const int small = count == 2 ? i % 2 + j % 2 : 0;  // small components among i, j
            r *= small == 2 ? -2.0 * c * c : small == 1 ? c : 1.0;
            const double f = i == j ? 1.0 : i == j + 1 && !diagonal_overlap ? -0.5 : 0.0;
            p.h[i + j * m] = p.h[j + i * m] = d[i] * r * d[j];
            p.s[i + j * m] = p.s[j + i * m] = d[i] * f * d[j];
        }
    return p;
}

// The leading n x n block of H - E S, in long double for the reference solver.
template <class T = long double>
std::vector<T> leading(const Pencil& p, int n, double e = 0.0) {
    std::vector<T> a(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            a[i + j * n] = p.h[i + j * p.m] - static_cast<T>(e) * p.s[i + j * p.m];
    return a;
}

enum class Defect { none, near_singular, singular, decoupled_zero };

// Growth by one index or a pair per step; defect steps make the matrix (nearly) singular.
TEST(BorderedGreen, EveryStepMatchesLongDoubleSolve) {
    using enum Defect;
    const struct {
        const char* name;
        int steps, count;
        bool monotone;
        Defect defect;
        std::vector<int> defect_steps;  // 1-based
    } cases[] = {{"one index, random diagonal", 120, 1, false, none, {}},
                 {"two indices, relativistic blocks", 60, 2, true, none, {}},
                 {"singular by formula", 100, 1, true, singular, {9, 40, 42, 77}},
                 {"within 1e-12 of singular", 100, 1, false, near_singular, {5, 60}},
                 {"two indices, singular pair", 50, 2, true, singular, {12, 31}},
                 {"two indices, decoupled zero", 50, 2, true, decoupled_zero, {20}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.steps * c.count;
        Pencil p = random_pencil(n, c.count, n + c.steps, c.monotone);
        auto at = [&](int i, int j) -> double& { return p.h[i + j * n]; };
        for (int step : c.defect_steps) {
            const int last = step * c.count - 1;
            const std::vector<long double> b(&at(0, last), &at(last, last));
            const std::vector<long double> x = reference_solve(last, leading(p, last), b).x;
            const long double q = std::inner_product(b.begin(), b.end(), x.begin(), 0.0L);
            at(last, last) = static_cast<double>(q) * (c.defect == singular ? 1.0 : 1.0 + 1e-12);
            for (int j = 0; j <= last && c.defect == decoupled_zero; ++j)
                at(last, j) = at(j, last) = 0.0;
        }
        BorderedGreen green;
        double first = 0.0;
        for (int step = 1; step <= c.steps; ++step) {
            SCOPED_TRACE(step);
            const int order = step * c.count;
            const bool defect = std::count(c.defect_steps.begin(), c.defect_steps.end(), step) > 0;
            const int edge = c.count == 2 && !defect ? step % 2 : c.count - 1;  // either of a pair
            const std::vector<double> block = leading<double>(p, order);  // the border ends it
            double pair[4];  // the whole block of a pair, every third step
            const bool whole = c.count == 2 && step % 3 == 0;
            const double g = green.extend(&block[(order - c.count) * order], c.count, edge,
                                          whole ? pair : nullptr);
            if (step == 1) first = g;
            const ScaledElement ref =
                reference_element(order, leading(p, order), order - c.count + edge);
            const double computed = g / double(ref.d * ref.d);
            EXPECT_LT(defect ? 0.0 : chordal_distance(computed, ref.x), 1e-11);
            if (whole && !defect) {
                std::vector<long double> b(order, 0.0L);
                b[order - 2] = 1.0L;
                const ReferenceSolve r = reference_solve(order, leading(p, order), b);
                for (int a = 0; a < 2; ++a) {
                    const long double d = r.d[order - 2] * r.d[order - 2 + a];
                    EXPECT_LT(chordal_distance(pair[a] / double(d), double(r.x[order - 2 + a] / d)),
                              1e-11);
                }
                const double d = double(r.d[order - 2] * r.d[order - 1]);
                EXPECT_LT(chordal_distance(pair[2] / d, pair[1] / d), 1e-11);  // symmetric
            }
            EXPECT_TRUE(!defect || (std::fabs(computed) > 1e11 && green.deferred() > 0));
            EXPECT_TRUE(c.defect != decoupled_zero || !defect || g == infinity);
        }
        EXPECT_EQ(green.order(), n);
        green.reset();  // growing after reset starts afresh
        EXPECT_EQ(green.extend(leading<double>(p, c.count).data(), c.count, c.count - 1), first);
    }
}

// Both decompositions across the range and next to poles; the weights add up to (S^-1)(m-1, m-1).
TEST(EnergyGreen, MatchesLongDoubleSolves) {
    const double e0 = 0.31, low = -3.0, high = 4.0;
    const struct {
        const char* name;
        int m, count;
        double c;
        bool monotone, diagonal_overlap = false, zero_diagonal = false;  // H - e0 S at two entries
    } cases[] = {{"Dirac c = 137", 80, 2, light, true},
                 {"one index, order 200", 200, 1, 0.0, true},
                 {"oscillator basis", 120, 1, 0.0, false, true},
                 {"zero diagonals at e0", 60, 1, 0.0, true, false, true}};
    for (const auto& c : cases)
        for (bool shift : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (shift ? ", shift and invert" : ""));
            Pencil p = random_pencil(c.m, c.count, c.m, c.monotone, c.c, c.diagonal_overlap);
            for (int i : {17, p.m - 1})
                if (c.zero_diagonal) p.h[i * (p.m + 1)] = e0 * p.s[i * (p.m + 1)];
            EnergyGreen green;
            // Dirac: index 0 too (the block of indices 0 and m-1).
            const bool first_too = c.count == 2;
            shift ? green.decompose_shifted(p.m, p.h.data(), p.s.data(), e0, first_too)
                  : green.decompose(p.m, p.h.data(), p.s.data(), first_too);
            ASSERT_TRUE(green.converged());
            EXPECT_TRUE(!shift || c.count == 1 || green.pivot_pairs() > 0);
            const std::vector<double>& lambda = green.eigenvalues();
            auto size = [](double l) { return std::fabs(l); };
            const double spread = size(std::ranges::max(lambda, {}, size));
            std::vector<double> energies{e0};
            for (int k = 0; k < 20; ++k)
                energies.push_back(low + (high - low) * (k + 0.37) / 20.0);
            for (int k = 0, poles = 0; k < p.m; ++k)
                if ((lambda[k] > low && lambda[k] < high && poles++ < 8) || (!shift && k % 8 == 0))
                    energies.push_back(lambda[k] + (k % 2 ? 1e-9 : -1e-9) *
                                                       std::max(1.0, std::fabs(lambda[k])));
            for (double e : energies) {
                const double nearest =
                    size(e - std::ranges::min(lambda, {}, [&](double l) { return size(l - e); }));
                const ScaledElement ref = reference_element(p.m, leading(p, p.m, e), p.m - 1);
                const double x = green.element(e) / double(ref.d * ref.d);
                const double error = nearest < 1e-6 ? size(x / double(ref.x) - 1.0)  // at a pole
                                                    : chordal_distance(x, ref.x);
                const double scale = shift ? std::max(1.0, size(e)) : spread;
                const double tolerance = (shift ? 1e-12 : 1e-10) + 2e-13 * scale / nearest;
                EXPECT_LT(error, tolerance) << e;
                if (!first_too || nearest < 1e-6) continue;
                double last = 0.0, mixed = 0.0, first = 0.0;
                green.block(e, last, mixed, first);
                EXPECT_EQ(last, green.element(e));
                std::vector<long double> b(p.m, 0.0L);
                b[0] = 1.0L;
                const ReferenceSolve r = reference_solve(p.m, leading(p, p.m, e), b);
                for (const auto& [g, i] : {std::pair{first, 0}, {mixed, p.m - 1}}) {
                    const long double d = r.d[0] * r.d[i];
                    EXPECT_LT(chordal_distance(g / double(d), double(r.x[i] / d)), tolerance)
                        << e << " " << i;
                }
            }
            if (shift) continue;
            const double sum = std::accumulate(green.weights().begin(), green.weights().end(), 0.0);
            EXPECT_LT(relative_error(sum, reference_element(p.m, p.s, p.m - 1).value()), 1e-12);
        }
}

// S = diag(4^i), H = S diag(e0 + t_i): exact poles at e0 + t_i; e0 on a pole is singular.
TEST(EnergyGreen, ExactPolesAndSingularShift) {
    const int m = 9;
    const double e0 = 0.25, t[m] = {1.0, -4.0, 0.25, -0.25, 16.0, -1.0, 4.0, -16.0, 0.0625};
    Matrix h(m * m, 0.0), s(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        s[i + i * m] = std::ldexp(1.0, 2 * i);
        h[i + i * m] = (e0 + t[i]) * s[i + i * m];
    }
    auto exact = [&](double e) { return 1.0 / (h[m * m - 1] - e * s[m * m - 1]); };
    EnergyGreen green;
    for (bool shift : {false, true}) {
        SCOPED_TRACE(shift);
        shift ? green.decompose_shifted(m, h.data(), s.data(), e0)
              : green.decompose(m, h.data(), s.data());
        ASSERT_TRUE(green.converged());
        for (int i = 0; i < m; ++i)
            EXPECT_EQ(green.element(e0 + t[i]), infinity) << e0 + t[i];
        for (double e : {-7.5, -0.3, 0.26, 0.6, 3.75, 100.0})
            EXPECT_LT(relative_error(green.element(e), exact(e)), 1e-13);
    }
    EXPECT_EQ(green.element(e0), exact(e0));  // the shifted decomposition came last
    EXPECT_EQ(green.reference_distance(), 0.0625);
    green.decompose_shifted(m, h.data(), s.data(), e0 + t[3]);
    EXPECT_FALSE(green.converged());
    EXPECT_TRUE(std::isnan(green.element(1.0)));
}

// A coupling some hundred decades above its diagonal (a saved matrix holding 1.0E+200) scaled S
// below the range of a double, and the Cholesky factor stopped the program on an internal check;
// now the decomposition fails as at a singular shift, and the caller reports the element.
TEST(EnergyGreen, HugeCouplingFailsTheShiftInsteadOfStopping) {
    const int m = 6;
    const struct {
        int row, column;
        double coupling;
    } cases[] = {{1, 0, 1e200}, {4, 2, -1e200}, {5, 0, 1e300}, {5, 4, 1e250}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.coupling);
        Matrix h(m * m, 0.0), s(m * m, 0.0);
        for (int i = 0; i < m; ++i) {
            s[i + i * m] = 2.0, h[i + i * m] = 1.0 + i;
            if (i > 0) s[i + (i - 1) * m] = s[i - 1 + i * m] = -0.5;
        }
        h[c.row + c.column * m] = h[c.column + c.row * m] = c.coupling;
        EnergyGreen green;
        green.decompose_shifted(m, h.data(), s.data(), 0.1);
        EXPECT_FALSE(green.converged());
        EXPECT_TRUE(std::isnan(green.element(0.1)) && std::isnan(green.element(2.0)));
    }
}

// A non-finite potential element is an error naming the basis size. V(0, 0) = -J(0, 0) = 3/4 at
// k = 1 makes the truncated matrix singular, and tan(delta) is then the limit -s_1 / c_1.
TEST(Routes, NonFiniteAndSingularPotentialMatrices) {
    Problem problem;
    problem.potential.kind = PotentialKind::user;
    for (double corner : {std::nan(""), 0.75}) {
        SCOPED_TRACE(corner);
        auto blocks = [corner](PotentialMatrix&, int n, std::vector<double>& phi,
                               std::vector<double>& psi) {
            psi = phi = std::vector<double>(static_cast<std::size_t>(n) * n, 0.0);
            phi[0] = corner;
        };
        const auto route = make_route(RouteKind::fast, problem, 2, {}, blocks);
        route->begin_sizes(0.5, 1, 1, nullptr);
        if (std::isnan(corner)) {
            EXPECT_ERROR(route->size_element(1), "g",
                         "the potential matrix is not finite at N = 1");
            continue;
        }
        const double g = route->size_element(1);
        const FreeSolutions free(problem.basis, 0, 1.0, free_solution_top(1));
        const PhaseShift point = phase_shift(problem, 0.5, 1, g, free, false, [] { return ""; });
        EXPECT_NEAR(point.tan_delta, -0.48 / 0.14, 1e-13);
        EXPECT_NEAR(point.delta, std::atan(-0.48 / 0.14), 1e-13);
    }
}

// The bound states of the wave, counted from the energy pass's decomposition at one size,
// against the closed forms: a square well of radius 1 and depth K^2 / 2 binds s states for
// K > pi/2, 3 pi/2, ... and p states for K > pi, 2 pi, ... (the zeros of j_(l-1)); the Yukawa
// potential -g^2 e^(-r) / r binds its first two s states for g^2 above 1 / 1.19061 and
// 1 / 0.31026 (the critical screening lengths). The Dirac well, nearly non-relativistic at this
// depth, binds as the Schroedinger one; neither its sea below -2c^2 nor the positron states a
// repulsive well lifts above it (v0 = 8 and 800) count.
TEST(Routes, BoundStatesOfTheTruncatedHamiltonian) {
    using enum PotentialKind;
    const struct {
        PotentialKind kind;
        int l, kappa;
        bool dirac;
        double strength;  // K of the well (below 0: a barrier of K^2 / 2), g of the Yukawa
        int bound;
    } cases[] = {
        {well, 0, 0, false, 1.0, 0},   {well, 0, 0, false, 2.5, 1},   {well, 0, 0, false, 6.0, 2},
        {well, 0, 0, false, 9.0, 3},   {well, 1, 0, false, 2.0, 0},   {well, 1, 0, false, 4.0, 1},
        {well, 1, 0, false, 7.0, 2},   {well, 1, 0, false, 10.0, 3},  {yukawa, 0, 0, false, 0.8, 0},
        {yukawa, 0, 0, false, 1.3, 1}, {yukawa, 0, 0, false, 2.2, 2}, {well, 0, -1, true, 1.0, 0},
        {well, 0, -1, true, 2.5, 1},   {well, 1, 1, true, 4.0, 1},    {well, 0, -1, true, -4.0, 0},
        {well, 0, -1, true, -40.0, 0}};
    for (const auto& c : cases) {
        Problem p;
        p.wave = {c.l, c.kappa};
        p.scheme = {.dirac = c.dirac, .light = light};
        p.potential =
            c.kind == well
                ? Potential{.kind = well, .v0 = -0.5 * c.strength * std::fabs(c.strength), .b = 1.0}
                : Potential{.kind = yukawa, .g = c.strength, .m = 1.0};
        SCOPED_TRACE(std::to_string(c.l) + (c.dirac ? " Dirac " : " ") +
                     std::to_string(c.strength));
        const auto route = make_route(RouteKind::fast, p, 100);
        route->begin_energies(100, {0.5, 2.0, 0.5});
        EXPECT_EQ(route->bound_states(), c.bound);
    }
    // The reference route keeps no decomposition to count from.
    const auto reference = make_route(RouteKind::eigen, Problem{}, 20);
    reference->begin_energies(20, {0.5, 2.0, 0.5});
    EXPECT_EQ(reference->bound_states(), std::nullopt);
}

}  // namespace
}  // namespace skarven::test
