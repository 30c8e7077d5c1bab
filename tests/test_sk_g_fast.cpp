// Guards against wrong Green's-function elements from the fast route's kernels.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "sk_g.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

constexpr double light = 137.0359996287515;
constexpr double infinity = std::numeric_limits<double>::infinity();
using Matrix = std::vector<double>;  // column-major

// splitmix64: the same numbers on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    double uniform(double lo, double hi) {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        return lo + (hi - lo) * static_cast<double>(z >> 11) * 0x1.0p-53;
    }

  private:
    std::uint64_t state_;
};

// The leading n x n block of a (leading dimension ld).
std::vector<long double> leading(const Matrix& a, int ld, int n) {
    std::vector<long double> m(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            m[i + static_cast<std::size_t>(j) * n] = a[i + static_cast<std::size_t>(j) * ld];
    return m;
}

// |x - y| / sqrt((1 + x^2)(1 + y^2)) treats x and 1/x alike: next to a pole only 1/g is well
// determined, next to a singular block only g; for |g| of order one it is the relative error.
double chordal_distance(double x, double y) {
    if (std::isinf(x) && std::isinf(y)) return 0.0;
    if (std::isinf(x)) return 1.0 / std::sqrt(1.0 + y * y);
    if (std::isinf(y)) return 1.0 / std::sqrt(1.0 + x * x);
    return std::fabs(x - y) / std::sqrt((1.0 + x * x) * (1.0 + y * y));
}

// ---- BorderedGreen -----------------------------------------------------------------------------

enum class Defect { none, near_singular, singular_by_formula, decoupled_zero, duplicate };

struct BorderCase {
    const char* name;
    int steps, count;     // count: indices added per step
    bool monotone_scale;  // diagonal growing with the index, else random in the same range
    Defect defect;
    std::vector<int> defect_steps;  // 1-based steps whose matrix is made (nearly) singular
    std::uint64_t seed;
};

// A = D R D with R of order one (|R_ii| in [1, 2], random signs, |R_ij| <= 1/2) and D spreading
// the diagonal over 1e-10..1e20; with two indices per step the second of each pair carries the
// -2c^2 of the relativistic small-component block.
Matrix bordered_matrix(const BorderCase& c) {
    const int n = c.steps * c.count;
    Random random(c.seed);
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i)
        d[i] = std::pow(10.0, c.monotone_scale ? -5.0 + 15.0 * i / std::max(n - 1, 1)
                                               : random.uniform(-5.0, 10.0));
    auto small = [&](int i) { return c.count == 2 && i % 2 == 1; };
    Matrix a(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n; ++i) {
            double r = i == j ? random.uniform(1.0, 2.0) * (random.uniform(0, 1) < 0.5 ? -1 : 1)
                              : random.uniform(-0.5, 0.5);
            if (small(i) && small(j)) r *= -2.0 * light * light;
            if (small(i) != small(j)) r *= light;
            a[i + j * n] = a[j + i * n] = d[i] * r * d[j];
        }
    for (int step : c.defect_steps) {
        const int last = step * c.count - 1;
        auto at = [&](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * n]; };
        if (c.defect == Defect::near_singular || c.defect == Defect::singular_by_formula) {
            // A_last,last = b^T A_lead^-1 b makes the grown matrix singular in exact arithmetic.
            std::vector<long double> b(last);
            for (int i = 0; i < last; ++i)
                b[i] = at(i, last);
            const ReferenceSolve x = reference_solve(last, leading(a, n, last), b);
            long double quadratic = 0.0L;
            for (int i = 0; i < last; ++i)
                quadratic += b[i] * x.x[i];
            at(last, last) = static_cast<double>(quadratic) *
                             (c.defect == Defect::near_singular ? 1.0 + 1e-12 : 1.0);
        } else if (c.defect == Defect::decoupled_zero) {
            for (int j = 0; j <= last; ++j)
                at(last, j) = at(j, last) = 0.0;
        } else if (c.defect == Defect::duplicate) {  // index `last` repeats index 0
            for (int j = 0; j < last; ++j)
                at(last, j) = at(j, last) = at(0, j);
            at(last, last) = at(last, 0) = at(0, last) = at(0, 0);
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
    const BorderCase cases[] = {
        {"one index, growing diagonal", 120, 1, true, Defect::none, {}, 11},
        {"one index, random diagonal", 120, 1, false, Defect::none, {}, 12},
        {"two indices, relativistic blocks", 60, 2, true, Defect::none, {}, 13},
        {"two indices, random diagonal", 60, 2, false, Defect::none, {}, 14},
        {"singular by formula", 100, 1, true, Defect::singular_by_formula, {9, 40, 42, 77}, 15},
        {"within 1e-12 of singular", 100, 1, false, Defect::near_singular, {5, 60}, 16},
        {"decoupled zero index", 80, 1, true, Defect::decoupled_zero, {30}, 17},
        {"duplicated index", 80, 1, true, Defect::duplicate, {25}, 18},
        {"two indices, singular pair", 50, 2, true, Defect::singular_by_formula, {12, 31}, 19},
        {"two indices, decoupled zero", 50, 2, true, Defect::decoupled_zero, {20}, 20}};
    for (const BorderCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = c.steps * c.count;
        const Matrix a = bordered_matrix(c);
        BorderedGreen green;
        for (int step = 1; step <= c.steps; ++step) {
            const int order = step * c.count;
            const double g = green.extend(border_of(a, n, order, c.count).data(), c.count, 0);
            const ScaledElement ref =
                reference_element(order, leading(a, n, order), order - c.count);
            const double computed = g / static_cast<double>(ref.d * ref.d);
            if (std::find(c.defect_steps.begin(), c.defect_steps.end(), step) !=
                c.defect_steps.end()) {
                EXPECT_GT(std::fabs(computed), 1e11) << "step " << step << ": g = " << g;
                if (c.defect == Defect::decoupled_zero) {
                    EXPECT_EQ(g, infinity) << step;
                }
                EXPECT_GT(green.deferred(), 0) << "step " << step;
            } else {
                EXPECT_LT(chordal_distance(computed, static_cast<double>(ref.x)), 1e-11)
                    << "step " << step;
            }
        }
        EXPECT_EQ(green.order(), n);
    }
}

// The edge can be either of the two new indices; growing after reset starts afresh.
TEST(BorderedGreen, EitherEdgeOfAPairAndReset) {
    const BorderCase c{"pair", 20, 2, false, Defect::none, {}, 21};
    const int n = c.steps * 2;
    const Matrix a = bordered_matrix(c);
    BorderedGreen green;
    for (int pass = 0; pass < 2; ++pass) {
        green.reset();
        for (int step = 1; step <= c.steps; ++step) {
            const int order = 2 * step, edge = (step + pass) % 2;
            const double g = green.extend(border_of(a, n, order, 2).data(), 2, edge);
            const double expected =
                reference_element(order, leading(a, n, order), order - 2 + edge).value();
            EXPECT_LT(relative_error(g, expected), 1e-10) << "step " << step << " edge " << edge;
        }
    }
}

// ---- EnergyGreen -------------------------------------------------------------------------------

struct Pencil {
    Matrix h, s;
    int m = 0;
};

// A - E S in long double, for the reference solver.
std::vector<long double> shifted(const Pencil& p, double e) {
    std::vector<long double> a(p.h.size());
    for (std::size_t k = 0; k < a.size(); ++k)
        a[k] = static_cast<long double>(p.h[k]) - static_cast<long double>(e) * p.s[k];
    return a;
}

// ---- EnergyGreen, shift and invert -------------------------------------------------------------

// Pencils shaped like the program's. Basis norms over thirty decades; overlap F tridiagonal
// (1, -1/2), kinetic P tridiagonal (i + 1, -sqrt((i+1)(i+2))/2), smooth attractive potentials plus
// a little noise. Dirac: H = [[V, cP], [cP, -2c^2 P + V']], S = diag(F, P), with the psi block
// first (reversed, as the program orders it) or second. Non-relativistic: H = P/2 + V, S = F.
struct ShiftCase {
    const char* name;
    int basis;         // number of basis functions
    double light;      // 0: non-relativistic
    bool psi_first;    // Dirac ordering
    double reference;  // e0
    double low, high;  // energy range
    int energies;      // energies across the range (besides those next to eigenvalues)
    std::uint64_t seed;
    bool diagonal_overlap = false;  // the oscillator basis
};

Pencil shaped_pencil(const ShiftCase& c) {
    const int n = c.basis, m = c.light > 0.0 ? 2 * n : n;
    Random random(c.seed);
    std::vector<double> norm(n);
    for (int i = 0; i < n; ++i)
        norm[i] = std::pow(10.0, -7.5 + 15.0 * i / std::max(1, n - 1));
    auto overlap = [&](int i, int j) {
        if (i == j) return 1.0;
        return std::abs(i - j) == 1 && !c.diagonal_overlap ? -0.5 : 0.0;
    };
    auto kinetic = [](int i, int j) {
        if (i == j) return i + 1.0;
        const int k = std::min(i, j);
        return std::abs(i - j) == 1 ? -0.5 * std::sqrt((k + 1.0) * (k + 2.0)) : 0.0;
    };
    Matrix noise(static_cast<std::size_t>(n) * n), noise2(noise.size());
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n; ++i) {
            noise[i + j * n] = noise[j + i * n] = random.uniform(-0.01, 0.01);
            noise2[i + j * n] = noise2[j + i * n] = random.uniform(-0.01, 0.01);
        }
    auto potential = [&](int i, int j, double depth, const Matrix& extra) {
        return -depth * std::exp(-0.08 * (i + j)) / (1.0 + std::abs(i - j)) + extra[i + j * n];
    };
    Pencil p{Matrix(static_cast<std::size_t>(m) * m, 0.0),
             Matrix(static_cast<std::size_t>(m) * m, 0.0), m};
    auto set = [&](int r, int col, double h, double s) {
        p.h[r + static_cast<std::size_t>(col) * m] = p.h[col + static_cast<std::size_t>(r) * m] = h;
        p.s[r + static_cast<std::size_t>(col) * m] = p.s[col + static_cast<std::size_t>(r) * m] = s;
    };
    auto phi = [&](int i) { return c.light == 0.0 ? i : c.psi_first ? n + i : i; };
    auto psi = [&](int i) { return c.psi_first ? n - 1 - i : n + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double nn = norm[i] * norm[j];
            if (c.light == 0.0) {
                if (i >= j)
                    set(i, j, nn * (0.5 * kinetic(i, j) + potential(i, j, 1.5, noise)),
                        nn * overlap(i, j));
                continue;
            }
            if (i >= j) {
                set(phi(i), phi(j), nn * potential(i, j, 1.5, noise), nn * overlap(i, j));
                set(psi(i), psi(j),
                    nn * (-2.0 * c.light * c.light * kinetic(i, j) + potential(i, j, 1.0, noise2)),
                    nn * kinetic(i, j));
            }
            set(phi(i), psi(j), nn * c.light * kinetic(i, j), 0.0);
        }
    return p;
}

const ShiftCase shift_cases[] = {
    {"Dirac c = 5000, program order", 40, 5000.0, true, 0.31, -3.0, 4.0, 30, 41},
    {"Dirac c = 137, program order", 40, light, true, 0.31, -3.0, 4.0, 30, 42},
    {"Dirac c = 5000, phi block first", 40, 5000.0, false, 0.47, -3.0, 4.0, 30, 43},
    {"Dirac c = 137, phi block first", 40, light, false, -0.23, -3.0, 4.0, 30, 44},
    {"Dirac c = 5000, parallel sizes", 90, 5000.0, true, 0.52, -2.0, 3.0, 12, 45},
    {"non-relativistic, order 200", 200, 0.0, false, 0.37, -1.0, 3.0, 16, 46},
    {"non-relativistic, order 500", 500, 0.0, false, 0.61, 0.0, 2.0, 2, 47}};

// The plain decomposition: energies across the spectrum and within 1e-9 of eigenvalues; the
// weights add up to (S^-1)(last, last), the limit of -E (H - E S)^-1 for large |E|.
TEST(EnergyGreen, MatchesLongDoubleSolvesAtManyEnergies) {
    // All but the last (order 500) case, plus the oscillator basis's diagonal overlap.
    std::vector<ShiftCase> cases(std::begin(shift_cases), std::end(shift_cases) - 1);
    cases.push_back(
        {"non-relativistic, diagonal overlap", 120, 0.0, false, 0.37, -1.0, 3.0, 16, 48, true});
    for (const ShiftCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Pencil p = shaped_pencil(c);
        EnergyGreen green;
        green.decompose(p.m, p.h.data(), p.s.data());
        ASSERT_TRUE(green.converged());
        const std::vector<double>& lambda = green.eigenvalues();
        ASSERT_EQ(static_cast<int>(lambda.size()), p.m);
        double spread = 0.0;
        for (double l : lambda)
            spread = std::max(spread, std::fabs(l));
        std::vector<double> energies;
        Random random(c.seed + 100);
        for (int k = 0; k < c.energies; ++k)
            energies.push_back(random.uniform(c.low, c.high));
        for (int k = 0; k < p.m; k += std::max(1, p.m / 8))
            energies.push_back(lambda[k] * (1.0 + (k % 2 == 0 ? 1e-9 : -1e-9)));
        for (double e : energies) {
            const double expected = reference_element(p.m, shifted(p, e), p.m - 1).value();
            double nearest = infinity;
            for (double l : lambda)
                nearest = std::min(nearest, std::fabs(l - e));
            // Eigenvalues carry an absolute error of a few eps times the spectrum, which the pole
            // magnifies by spread / distance.
            EXPECT_LT(relative_error(green.element(e), expected), 1e-10 + 1e-13 * spread / nearest)
                << "E = " << e;
        }
        double sum = 0.0;
        for (double w : green.weights())
            sum += w;
        EXPECT_LT(relative_error(sum, reference_element(p.m, p.s, p.m - 1).value()), 1e-12);
    }
}

// Across the range (and at e0) the scaled element must match to 1e-12 in the chordal metric.
// Within 1e-9 of a pole g ~ w / (lambda - E) is fixed by the pole's position, which no double
// precision method knows better than a few eps |lambda|, so there the implied shift of the pole,
// |x/x_ref - 1| |E - lambda|, is checked instead.
TEST(EnergyGreenShifted, MatchesLongDoubleSolves) {
    for (const ShiftCase& c : shift_cases) {
        SCOPED_TRACE(c.name);
        const Pencil p = shaped_pencil(c);
        EnergyGreen green;
        green.decompose_shifted(p.m, p.h.data(), p.s.data(), c.reference);
        ASSERT_TRUE(green.converged());
        if (c.light > 0.0) {
            EXPECT_GT(green.pivot_pairs(), 0);
        }
        auto scaled = [&](double e, ScaledElement& ref) {
            ref = reference_element(p.m, shifted(p, e), p.m - 1);
            return green.element(e) / static_cast<double>(ref.d * ref.d);
        };
        std::vector<double> energies{c.reference};
        Random random(c.seed + 100);
        for (int k = 0; k < c.energies; ++k)
            energies.push_back(random.uniform(c.low, c.high));
        for (double e : energies) {
            ScaledElement ref{};
            const double computed = scaled(e, ref);
            EXPECT_LT(chordal_distance(computed, static_cast<double>(ref.x)), 1e-12) << "E = " << e;
        }
        int poles = 0;
        for (double lambda : green.eigenvalues()) {
            if (lambda <= c.low || lambda >= c.high || poles >= c.energies / 2 + 2) continue;
            const double e = lambda + (poles++ % 2 == 0 ? 1e-9 : -1e-9);
            ScaledElement ref{};
            const double computed = scaled(e, ref);
            const double expected = static_cast<double>(ref.x);
            EXPECT_GT(std::fabs(expected), 1e3) << "E = " << e << " is not next to a pole";
            EXPECT_LT(std::fabs(computed / expected - 1.0) * 1e-9,
                      1e-13 * std::max(1.0, std::fabs(lambda)))
                << "E = " << e;
        }
        EXPECT_GT(poles, 1);
    }
}

// H - e0 S with zero diagonal entries (one inside, one at the wanted index): the scaling takes
// those rows' size from their couplings.
TEST(EnergyGreenShifted, ZeroDiagonalAtTheReference) {
    const ShiftCase c{"zero diagonal", 60, 0.0, false, 0.4, -1.0, 3.0, 12, 51};
    Pencil p = shaped_pencil(c);
    for (int i : {17, p.m - 1}) {
        const std::size_t at = i + static_cast<std::size_t>(i) * p.m;
        p.h[at] = c.reference * p.s[at];
        ASSERT_EQ(p.h[at] - c.reference * p.s[at], 0.0);
    }
    EnergyGreen green;
    green.decompose_shifted(p.m, p.h.data(), p.s.data(), c.reference);
    ASSERT_TRUE(green.converged());
    Random random(c.seed);
    for (int k = 0; k < c.energies; ++k) {
        const double e = k == 0 ? c.reference : random.uniform(c.low, c.high);
        const ScaledElement ref = reference_element(p.m, shifted(p, e), p.m - 1);
        EXPECT_LT(chordal_distance(green.element(e) / static_cast<double>(ref.d * ref.d),
                                   static_cast<double>(ref.x)),
                  1e-12)
            << "E = " << e;
    }
}

// S = diag(4^i), H = S diag(e0 + t_i) with t_i = +-4^k: every step is exact, so E = e0 + t_i gives
// +infinity, E = e0 returns 1 / (H_pp - e0 S_pp), other energies 1 / (H_pp - E S_pp) to rounding;
// the same holds for the plain decomposition. E0 on an eigenvalue makes H - e0 S singular.
TEST(EnergyGreenShifted, ExactPolesAndSingularShift) {
    const int m = 9;
    const double e0 = 0.25;
    const double t[m] = {1.0, -4.0, 0.25, -0.25, 16.0, -1.0, 4.0, -16.0, 0.0625};
    Matrix h(m * m, 0.0), s(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        s[i + i * m] = std::ldexp(1.0, 2 * i);
        h[i + i * m] = (e0 + t[i]) * s[i + i * m];
    }
    const double last = s[m * m - 1];
    EnergyGreen green;
    green.decompose(m, h.data(), s.data());
    for (int i = 0; i < m; ++i)
        EXPECT_EQ(green.element(e0 + t[i]), infinity) << "plain, E = " << e0 + t[i];
    for (double e : {-7.5, -0.3, 0.26, 0.6, 3.75, 100.0})
        EXPECT_LT(relative_error(green.element(e), 1.0 / (h[m * m - 1] - e * last)), 1e-15);
    green.decompose_shifted(m, h.data(), s.data(), e0);
    ASSERT_TRUE(green.converged());
    for (int i = 0; i < m; ++i)
        EXPECT_EQ(green.element(e0 + t[i]), infinity) << "E = " << e0 + t[i];
    EXPECT_EQ(green.element(e0), 1.0 / (h[m * m - 1] - e0 * last));
    EXPECT_EQ(green.reference_distance(), 0.0625);
    for (double e : {-7.5, -0.3, 0.26, 0.6, 3.75, 100.0})
        EXPECT_LT(relative_error(green.element(e), 1.0 / (h[m * m - 1] - e * last)), 1e-13);
    green.decompose_shifted(m, h.data(), s.data(), e0 + t[3]);
    EXPECT_FALSE(green.converged());
    EXPECT_TRUE(std::isnan(green.element(1.0)));
}

// The parallel loops sum in a fixed order except the tridiagonal reduction's partial sums.
TEST(EnergyGreenShifted, ThreadCountChangesLastBitsOnly) {
    const ShiftCase c{"threads", 70, 5000.0, true, 0.31, -2.0, 3.0, 20, 52};
    const Pencil p = shaped_pencil(c);
    const int threads = omp_get_max_threads();
    EnergyGreen one, two;
    omp_set_num_threads(1);
    one.decompose_shifted(p.m, p.h.data(), p.s.data(), c.reference);
    omp_set_num_threads(2);
    two.decompose_shifted(p.m, p.h.data(), p.s.data(), c.reference);
    omp_set_num_threads(threads);
    Random random(c.seed);
    for (int k = 0; k < c.energies; ++k) {
        const double e = random.uniform(c.low, c.high);
        EXPECT_LT(relative_error(two.element(e), one.element(e)), 1e-12) << "E = " << e;
    }
}

}  // namespace
}  // namespace skarven::test
