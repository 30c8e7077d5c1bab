// Guards against wrong Green's-function elements from the fast route's bordered and energy passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double light = 137.0359996287515, infinity = std::numeric_limits<double>::infinity();
using Matrix = std::vector<double>;  // column-major

struct Random {  // mt19937_64's sequence is fixed by the standard
    std::mt19937_64 engine;
    double operator()(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(engine() >> 11) * 0x1.0p-53;
    }
};

// The leading n x n block of a (leading dimension ld), in long double.
std::vector<long double> leading(const Matrix& a, int ld, int n) {
    std::vector<long double> m(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            m[i + static_cast<std::size_t>(j) * n] = a[i + static_cast<std::size_t>(j) * ld];
    return m;
}

// Treats x and 1/x alike: next to a pole only 1/g is well determined, next to a singular block g.
double chordal_distance(double x, long double y_long) {
    const double y = static_cast<double>(y_long);
    if (std::isinf(x) || std::isinf(y)) return std::isinf(x) && std::isinf(y) ? 0.0 : 1.0;
    return std::fabs(x - y) / std::sqrt((1.0 + x * x) * (1.0 + y * y));
}

enum class Defect { none, near_singular, singular, decoupled_zero };

struct BorderCase {
    const char* name;
    int steps, count;  // count: indices added per step
    bool monotone;     // diagonal growing with the index, else random in the same range
    Defect defect;
    std::vector<int> defect_steps;  // 1-based steps whose matrix is made (nearly) singular
    std::uint64_t seed;
};

// A = D R D with R of order one and D spreading the diagonal over 1e-10..1e20; with two indices
// per step the second of each pair carries the -2c^2 of the relativistic small-component block.
Matrix bordered_matrix(const BorderCase& c) {
    const int n = c.steps * c.count;
    Random random{std::mt19937_64(c.seed)};
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i)
        d[i] = std::pow(10.0, c.monotone ? -5.0 + 15.0 * i / (n - 1) : random(-5.0, 10.0));
    Matrix a(static_cast<std::size_t>(n) * n);
    auto at = [&](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * n]; };
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n; ++i) {
            double r =
                i == j ? random(1.0, 2.0) * (random(0, 1) < 0.5 ? -1 : 1) : random(-0.5, 0.5);
            const bool small_i = c.count == 2 && i % 2 == 1, small_j = c.count == 2 && j % 2 == 1;
            if (small_i && small_j) r *= -2.0 * light * light;
            if (small_i != small_j) r *= light;
            at(i, j) = at(j, i) = d[i] * r * d[j];
        }
    for (int step : c.defect_steps) {
        const int last = step * c.count - 1;
        if (c.defect == Defect::decoupled_zero) {
            for (int j = 0; j <= last; ++j)
                at(last, j) = at(j, last) = 0.0;
        } else {  // A_last,last = b^T A_lead^-1 b makes the grown matrix singular
            std::vector<long double> b(last);
            for (int i = 0; i < last; ++i)
                b[i] = at(i, last);
            const ReferenceSolve x = reference_solve(last, leading(a, n, last), b);
            long double q = 0.0L;
            for (int i = 0; i < last; ++i)
                q += b[i] * x.x[i];
            at(last, last) =
                static_cast<double>(q) * (c.defect == Defect::singular ? 1.0 : 1.0 + 1e-12);
        }
    }
    return a;
}

// The last `count` columns of the leading order x order block of a, as BorderedGreen takes them.
std::vector<double> border_of(const Matrix& a, int n, int order, int count) {
    std::vector<double> border(static_cast<std::size_t>(count) * order);
    for (int col = 0; col < count; ++col)
        for (int i = 0; i < order; ++i)
            border[col * order + i] = a[i + static_cast<std::size_t>(order - count + col) * n];
    return border;
}

TEST(BorderedGreen, EveryStepMatchesLongDoubleSolve) {
    using enum Defect;
    const BorderCase cases[] = {
        {"one index, random diagonal", 120, 1, false, none, {}, 12},
        {"two indices, relativistic blocks", 60, 2, true, none, {}, 13},
        {"singular by formula", 100, 1, true, singular, {9, 40, 42, 77}, 15},
        {"within 1e-12 of singular", 100, 1, false, near_singular, {5, 60}, 16},
        {"two indices, singular pair", 50, 2, true, singular, {12, 31}, 19},
        {"two indices, decoupled zero", 50, 2, true, decoupled_zero, {20}, 20}};
    for (const BorderCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.steps * c.count;
        const Matrix a = bordered_matrix(c);
        BorderedGreen green;
        double first = 0.0;
        for (int step = 1; step <= c.steps; ++step) {
            const int order = step * c.count;
            const bool defect = std::count(c.defect_steps.begin(), c.defect_steps.end(), step) > 0;
            const int edge = c.count == 2 && !defect ? step % 2 : c.count - 1;  // either of a pair
            const double g = green.extend(border_of(a, n, order, c.count).data(), c.count, edge);
            if (step == 1) first = g;
            const ScaledElement ref =
                reference_element(order, leading(a, n, order), order - c.count + edge);
            const double computed = g / static_cast<double>(ref.d * ref.d);
            if (defect) {
                EXPECT_GT(std::fabs(computed), 1e11) << "step " << step;
                EXPECT_TRUE(c.defect != decoupled_zero || g == infinity) << "step " << step;
                EXPECT_GT(green.deferred(), 0) << "step " << step;
            } else {
                EXPECT_LT(chordal_distance(computed, ref.x), 1e-11) << "step " << step;
            }
        }
        EXPECT_EQ(green.order(), n);
        green.reset();  // growing after reset starts afresh
        EXPECT_EQ(green.extend(border_of(a, n, c.count, c.count).data(), c.count, c.count - 1),
                  first);
    }
}

// Pencils shaped like the program's: basis norms over thirty decades, overlap F tridiagonal
// (1, -1/2) or diagonal (oscillator), kinetic P tridiagonal (i + 1, -sqrt((i+1)(i+2))/2), smooth
// attractive potentials with a little noise. Dirac: H = [[V, cP], [cP, -2c^2 P + V']],
// S = diag(F, P), the psi block first (reversed, as the program orders it) or second.
// Non-relativistic: H = P/2 + V, S = F.
struct ShiftCase {
    const char* name;
    int basis;
    double light;  // 0: non-relativistic
    bool psi_first;
    double reference, low, high;  // e0 and the energy range
    int energies;
    bool diagonal_overlap = false, zero_diagonal = false;  // H - e0 S zero at two diagonal entries
};

struct Pencil {
    Matrix h, s;
    int m = 0;
};

Pencil shaped_pencil(const ShiftCase& c) {
    const int n = c.basis, m = c.light > 0.0 ? 2 * n : n;
    Random random{std::mt19937_64(static_cast<std::uint64_t>(n))};
    auto overlap = [&](int i, int j) {
        return i == j ? 1.0 : std::abs(i - j) == 1 && !c.diagonal_overlap ? -0.5 : 0.0;
    };
    auto kinetic = [](int i, int j) {
        const double k = std::min(i, j) + 1.0;
        return i == j ? k : std::abs(i - j) == 1 ? -0.5 * std::sqrt(k * (k + 1.0)) : 0.0;
    };
    Pencil p{Matrix(static_cast<std::size_t>(m) * m, 0.0),
             Matrix(static_cast<std::size_t>(m) * m, 0.0), m};
    auto set = [&](int r, int col, double h, double s) {
        p.h[r + static_cast<std::size_t>(col) * m] = p.h[col + static_cast<std::size_t>(r) * m] = h;
        p.s[r + static_cast<std::size_t>(col) * m] = p.s[col + static_cast<std::size_t>(r) * m] = s;
    };
    auto phi = [&](int i) { return c.light > 0.0 && c.psi_first ? n + i : i; };
    auto psi = [&](int i) { return c.psi_first ? n - 1 - i : n + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double norms = std::pow(10.0, -15.0 + 15.0 * (i + j) / (n - 1));
            const double v = -std::exp(-0.08 * (i + j)) / (1.0 + std::abs(i - j));
            if (c.light > 0.0) set(phi(i), psi(j), norms * c.light * kinetic(i, j), 0.0);
            if (i < j) continue;
            const double h = c.light > 0.0 ? 0.0 : 0.5 * kinetic(i, j);
            set(phi(i), phi(j), norms * (h + 1.5 * v + random(-0.01, 0.01)), norms * overlap(i, j));
            if (c.light > 0.0)
                set(psi(i), psi(j),
                    norms * (-2.0 * c.light * c.light * kinetic(i, j) + v + random(-0.01, 0.01)),
                    norms * kinetic(i, j));
        }
    if (c.zero_diagonal)
        for (int i : {17, m - 1})
            p.h[i * (m + 1)] = c.reference * p.s[i * (m + 1)];
    return p;
}

// (H - E S) in long double for the reference solver.
std::vector<long double> shifted(const Pencil& p, double e) {
    std::vector<long double> a(p.h.size());
    for (std::size_t k = 0; k < a.size(); ++k)
        a[k] = static_cast<long double>(p.h[k]) - static_cast<long double>(e) * p.s[k];
    return a;
}

// Both decompositions across the energy range, at e0 and next to poles, where only the pole's
// position is determined: the error allows a pole shift of a few eps of the energy after shift
// and invert, of the spectrum without. The plain weights add up to (S^-1)(last, last).
TEST(EnergyGreen, MatchesLongDoubleSolves) {
    const ShiftCase cases[] = {
        {"Dirac c = 137, program order", 40, light, true, 0.31, -3.0, 4.0, 30},
        {"Dirac c = 5000, phi block first", 40, 5000.0, false, 0.47, -3.0, 4.0, 30},
        {"Dirac c = 5000, parallel sizes", 90, 5000.0, true, 0.52, -2.0, 3.0, 12},
        {"non-relativistic, order 200", 200, 0.0, false, 0.37, -1.0, 3.0, 16},
        {"oscillator basis", 120, 0.0, false, 0.37, -1.0, 3.0, 16, true},
        {"zero diagonals at e0", 60, 0.0, false, 0.4, -1.0, 3.0, 12, false, true}};
    for (const ShiftCase& c : cases)
        for (bool shift : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (shift ? ", shift and invert" : ""));
            const Pencil p = shaped_pencil(c);
            EnergyGreen green;
            if (shift) {
                green.decompose_shifted(p.m, p.h.data(), p.s.data(), c.reference);
            } else {
                green.decompose(p.m, p.h.data(), p.s.data());
            }
            ASSERT_TRUE(green.converged());
            EXPECT_TRUE(!shift || c.light == 0.0 || green.pivot_pairs() > 0);
            const std::vector<double>& lambda = green.eigenvalues();
            double spread = 0.0;
            for (double l : lambda)
                spread = std::max(spread, std::fabs(l));
            std::vector<double> energies{c.reference};
            Random random{std::mt19937_64(7)};
            for (int k = 0; k < c.energies; ++k)
                energies.push_back(random(c.low, c.high));
            for (int k = 0, poles = 0; k < p.m; ++k)
                if ((lambda[k] > c.low && lambda[k] < c.high && poles++ < 8) ||
                    (!shift && k % 8 == 0))
                    energies.push_back(lambda[k] + (k % 2 ? 1e-9 : -1e-9) *
                                                       std::max(1.0, std::fabs(lambda[k])));
            for (double e : energies) {
                double nearest = infinity;
                for (double l : lambda)
                    nearest = std::min(nearest, std::fabs(l - e));
                const ScaledElement ref = reference_element(p.m, shifted(p, e), p.m - 1);
                const double x = green.element(e) / static_cast<double>(ref.d * ref.d);
                const double error = nearest < 1e-6
                                         ? std::fabs(x / static_cast<double>(ref.x) - 1.0)
                                         : chordal_distance(x, ref.x);
                EXPECT_LT(error,
                          (shift ? 1e-12 : 1e-10) +
                              2e-13 * (shift ? std::max(1.0, std::fabs(e)) : spread) / nearest)
                    << "E = " << e;
            }
            if (shift) continue;
            double sum = 0.0;
            for (double w : green.weights())
                sum += w;
            EXPECT_LT(relative_error(sum, reference_element(p.m, p.s, p.m - 1).value()), 1e-12);
        }
}

// S = diag(4^i), H = S diag(e0 + t_i): every step is exact, so E = e0 + t_i gives +infinity and
// other energies 1 / (H_pp - E S_pp); e0 on an eigenvalue makes H - e0 S singular.
TEST(EnergyGreen, ExactPolesAndSingularShift) {
    const int m = 9;
    const double e0 = 0.25, t[m] = {1.0, -4.0, 0.25, -0.25, 16.0, -1.0, 4.0, -16.0, 0.0625};
    Matrix h(m * m, 0.0), s(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        s[i + i * m] = std::ldexp(1.0, 2 * i);
        h[i + i * m] = (e0 + t[i]) * s[i + i * m];
    }
    EnergyGreen green;
    for (bool shift : {false, true}) {
        if (shift) {
            green.decompose_shifted(m, h.data(), s.data(), e0);
            EXPECT_EQ(green.element(e0), 1.0 / (h[m * m - 1] - e0 * s[m * m - 1]));
            EXPECT_EQ(green.reference_distance(), 0.0625);
        } else {
            green.decompose(m, h.data(), s.data());
        }
        ASSERT_TRUE(green.converged());
        for (int i = 0; i < m; ++i)
            EXPECT_EQ(green.element(e0 + t[i]), infinity) << shift << ", E = " << e0 + t[i];
        for (double e : {-7.5, -0.3, 0.26, 0.6, 3.75, 100.0})
            EXPECT_LT(relative_error(green.element(e), 1.0 / (h[m * m - 1] - e * s[m * m - 1])),
                      1e-13);
    }
    green.decompose_shifted(m, h.data(), s.data(), e0 + t[3]);
    EXPECT_FALSE(green.converged());
    EXPECT_TRUE(std::isnan(green.element(1.0)));
}

}  // namespace
}  // namespace skarven::test
