// Fast route kernels against dense solves in long double: the bordered factorisation at every
// basis size (including sizes where the truncated matrix is singular or nearly so) and the
// energy decomposition at many energies (including energies at and next to eigenvalues).

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "sk_g.hpp"

namespace skarven {
namespace {

constexpr double light = 137.0359996287515;
constexpr double infinity = std::numeric_limits<double>::infinity();

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

using Matrix = std::vector<double>;  // column-major, order from context

// x_want of A x = e_want for the leading n x n block of a (leading dimension ld), by Gaussian
// elimination with partial pivoting in long double; infinity when a pivot is exactly zero.
long double solve_element(const Matrix& a, int ld, int n, int want) {
    std::vector<long double> m(static_cast<std::size_t>(n) * n), rhs(n, 0.0L);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            m[i + j * n] = a[i + static_cast<std::size_t>(j) * ld];
    rhs[want] = 1.0L;
    for (int k = 0; k < n; ++k) {
        int p = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(m[i + k * n]) > std::fabs(m[p + k * n])) p = i;
        if (m[p + k * n] == 0.0L) return infinity;
        for (int j = k; j < n; ++j)
            std::swap(m[k + j * n], m[p + j * n]);
        std::swap(rhs[k], rhs[p]);
        for (int i = k + 1; i < n; ++i) {
            const long double f = m[i + k * n] / m[k + k * n];
            for (int j = k + 1; j < n; ++j)
                m[i + j * n] -= f * m[k + j * n];
            rhs[i] -= f * rhs[k];
        }
    }
    for (int k = n - 1; k >= 0; --k) {
        long double s = rhs[k];
        for (int j = k + 1; j < n; ++j)
            s -= m[k + j * n] * rhs[j];
        rhs[k] = s / m[k + k * n];
    }
    return rhs[want];
}

double chordal_distance(double x, double y) {
    if (std::isinf(x) && std::isinf(y)) return 0.0;
    if (std::isinf(x)) return 1.0 / std::sqrt(1.0 + y * y);
    if (std::isinf(y)) return 1.0 / std::sqrt(1.0 + x * x);
    return std::fabs(x - y) / std::sqrt((1.0 + x * x) * (1.0 + y * y));
}

// ---- BorderedGreen -----------------------------------------------------------------------------

// Modification at one step that makes the truncated matrix singular or nearly so.
enum class Defect { none, near_singular, singular_by_formula, decoupled_zero, duplicate };

struct BorderCase {
    const char* name;
    int steps;
    int count;            // indices added per step
    bool monotone_scale;  // diagonal growing with the index, else random in the same range
    Defect defect;
    std::vector<int> defect_steps;  // 1-based steps whose matrix is made (nearly) singular
    std::uint64_t seed;
};

// Symmetric A = D R D with R of order one (|R_ii| in [1, 2], random signs, |R_ij| <= 1/2) and D
// spreading the diagonal over 1e-10..1e20; with two indices per step the second of each pair is
// a "small component" index whose block carries the -2c^2 of the relativistic matrix.
Matrix bordered_matrix(const BorderCase& c) {
    const int n = c.steps * c.count;
    Random random(c.seed);
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i) {
        const double exponent =
            c.monotone_scale ? -5.0 + 15.0 * i / std::max(n - 1, 1) : random.uniform(-5.0, 10.0);
        d[i] = std::pow(10.0, exponent);
    }
    auto small_component = [&](int i) { return c.count == 2 && i % 2 == 1; };
    Matrix a(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = j; i < n; ++i) {
            double r = i == j ? random.uniform(1.0, 2.0) * (random.uniform(0, 1) < 0.5 ? -1 : 1)
                              : random.uniform(-0.5, 0.5);
            if (small_component(i) && small_component(j)) r *= -2.0 * light * light;
            if (small_component(i) != small_component(j)) r *= light;
            a[i + j * n] = a[j + i * n] = d[i] * r * d[j];
        }
    return a;
}

// Applies the defect at 1-based step `step` of a matrix grown `count` indices at a time.
void make_defect(Matrix& a, int n, int count, int step, Defect defect) {
    const int last = step * count - 1;  // the entry that is changed
    const int lead = last;              // order of the block before it
    auto at = [&](int i, int j) -> double& { return a[i + static_cast<std::size_t>(j) * n]; };
    switch (defect) {
        case Defect::none:
            return;
        case Defect::near_singular:
        case Defect::singular_by_formula: {
            // A_last,last = b^T A_lead^-1 b makes the grown matrix singular in exact arithmetic.
            long double quadratic = 0.0L;
            // One solve: x = A_lead^-1 b by elimination on [A_lead | b].
            std::vector<long double> m(static_cast<std::size_t>(lead) * lead), x(lead);
            for (int j = 0; j < lead; ++j)
                for (int i = 0; i < lead; ++i)
                    m[i + j * lead] = at(i, j);
            for (int i = 0; i < lead; ++i)
                x[i] = at(i, last);
            for (int k = 0; k < lead; ++k) {
                int p = k;
                for (int i = k + 1; i < lead; ++i)
                    if (std::fabs(m[i + k * lead]) > std::fabs(m[p + k * lead])) p = i;
                for (int j = k; j < lead; ++j)
                    std::swap(m[k + j * lead], m[p + j * lead]);
                std::swap(x[k], x[p]);
                for (int i = k + 1; i < lead; ++i) {
                    const long double f = m[i + k * lead] / m[k + k * lead];
                    for (int j = k + 1; j < lead; ++j)
                        m[i + j * lead] -= f * m[k + j * lead];
                    x[i] -= f * x[k];
                }
            }
            for (int k = lead - 1; k >= 0; --k) {
                for (int j = k + 1; j < lead; ++j)
                    x[k] -= m[k + j * lead] * x[j];
                x[k] /= m[k + k * lead];
            }
            for (int i = 0; i < lead; ++i)
                quadratic += static_cast<long double>(at(i, last)) * x[i];
            const double factor = defect == Defect::near_singular ? 1.0 + 1e-12 : 1.0;
            at(last, last) = static_cast<double>(quadratic) * factor;
            return;
        }
        case Defect::decoupled_zero:
            for (int j = 0; j <= last; ++j)
                at(last, j) = at(j, last) = 0.0;
            return;
        case Defect::duplicate:
            // the new index repeats index 0 within the block it joins
            for (int j = 0; j < last; ++j)
                at(last, j) = at(j, last) = at(0, j);
            at(last, last) = at(0, 0);
            at(last, 0) = at(0, last) = at(0, 0);
            return;
    }
}

const std::vector<BorderCase> border_cases = {
    {"one index, growing diagonal", 120, 1, true, Defect::none, {}, 11},
    {"one index, random diagonal", 120, 1, false, Defect::none, {}, 12},
    {"two indices, relativistic blocks", 60, 2, true, Defect::none, {}, 13},
    {"two indices, random diagonal", 60, 2, false, Defect::none, {}, 14},
    {"singular by formula", 100, 1, true, Defect::singular_by_formula, {9, 40, 42, 77}, 15},
    {"within 1e-12 of singular", 100, 1, false, Defect::near_singular, {5, 60}, 16},
    {"decoupled zero index", 80, 1, true, Defect::decoupled_zero, {30}, 17},
    {"duplicated index", 80, 1, true, Defect::duplicate, {25}, 18},
    {"two indices, singular pair", 50, 2, true, Defect::singular_by_formula, {12, 31}, 19},
    {"two indices, decoupled zero", 50, 2, true, Defect::decoupled_zero, {20}, 20},
};

TEST(BorderedGreen, EveryStepMatchesDenseSolve) {
    for (const BorderCase& c : border_cases) {
        SCOPED_TRACE(c.name);
        const int n = c.steps * c.count;
        Matrix a = bordered_matrix(c);
        for (int step : c.defect_steps)
            make_defect(a, n, c.count, step, c.defect);

        // The reference solves the diagonally scaled matrix, so that its own rounding stays at
        // the long double level whatever the spread of the diagonal.
        std::vector<double> d(n);
        for (int i = 0; i < n; ++i) {
            const double diagonal = std::fabs(a[i + static_cast<std::size_t>(i) * n]);
            d[i] = diagonal > 0.0 ? 1.0 / std::sqrt(diagonal) : 1.0;
        }
        Matrix scaled(a.size());
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i)
                scaled[i + j * n] = d[i] * a[i + j * n] * d[j];

        BorderedGreen green;
        std::vector<double> border;
        double worst = 0.0, worst_relative = 0.0;
        for (int step = 1; step <= c.steps; ++step) {
            const int order = step * c.count;
            const int edge = 0;
            border.assign(static_cast<std::size_t>(c.count) * order, 0.0);
            for (int col = 0; col < c.count; ++col)
                for (int i = 0; i < order; ++i)
                    border[col * order + i] =
                        a[i + static_cast<std::size_t>(order - c.count + col) * n];
            const double g = green.extend(border.data(), c.count, edge);
            const int at = order - c.count + edge;
            const long double x = solve_element(scaled, n, order, at);

            // Compare scaled elements by the chordal distance |x - y| / sqrt((1 + x^2)(1 + y^2)),
            // which treats x and 1/x alike: next to a pole only 1/g is well determined, next to
            // a singular block only g. For |g| of order one it is the relative error.
            const double computed = g / (d[at] * d[at]);
            const double expected = static_cast<double>(x);
            const double distance = chordal_distance(computed, expected);
            const bool defect_here = std::find(c.defect_steps.begin(), c.defect_steps.end(),
                                               step) != c.defect_steps.end();
            if (defect_here) {
                EXPECT_GT(std::fabs(computed), 1e11) << "step " << step << ": g = " << g;
                if (c.defect == Defect::decoupled_zero) {
                    EXPECT_EQ(g, infinity) << "step " << step;
                }
                EXPECT_GT(green.deferred(), 0) << "step " << step;
            } else {
                worst = std::max(worst, distance);
                if (std::fabs(expected) > 1e-2 && std::fabs(expected) < 1e2)
                    worst_relative = std::max(worst_relative,
                                              std::fabs(computed - expected) / std::fabs(expected));
                EXPECT_LT(distance, 1e-11) << "step " << step << ": expected " << expected
                                           << ", computed " << computed << ", g = " << g;
            }
        }
        EXPECT_EQ(green.order(), n);
        std::printf("  %-30s chordal distance %.1e, relative error %.1e\n", c.name, worst,
                    worst_relative);
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
            const int order = 2 * step;
            const int edge = (step + pass) % 2;
            std::vector<double> border(2 * order);
            for (int col = 0; col < 2; ++col)
                for (int i = 0; i < order; ++i)
                    border[col * order + i] = a[i + (order - 2 + col) * n];
            const double g = green.extend(border.data(), 2, edge);
            const double expected =
                static_cast<double>(solve_element(a, n, order, order - 2 + edge));
            EXPECT_LT(std::fabs(g - expected), 1e-10 * std::fabs(expected))
                << "step " << step << " edge " << edge << ": expected " << expected << ", computed "
                << g;
        }
    }
}

// ---- EnergyGreen -------------------------------------------------------------------------------

enum class Overlap { identity, diagonal, tridiagonal, dense };

struct EnergyCase {
    const char* name;
    int m;
    Overlap overlap;
    bool relativistic_blocks;
    std::uint64_t seed;
};

struct Pencil {
    Matrix h, s;
};

// H = D R_h D and S = D R_s D with the same wide diagonal scaling D (an unnormalised basis);
// R_s is positive definite (diagonally dominant when banded).
Pencil random_pencil(const EnergyCase& c) {
    const int m = c.m;
    Random random(c.seed);
    std::vector<double> d(m);
    for (int i = 0; i < m; ++i)
        d[i] = std::pow(10.0, random.uniform(-5.0, 10.0));
    Pencil p{Matrix(static_cast<std::size_t>(m) * m, 0.0),
             Matrix(static_cast<std::size_t>(m) * m, 0.0)};
    const int half = m / 2;
    for (int j = 0; j < m; ++j)
        for (int i = j; i < m; ++i) {
            double r = i == j ? random.uniform(-2.0, 2.0) : random.uniform(-0.5, 0.5);
            if (c.relativistic_blocks) {
                if (i < half && j < half) r *= -2.0 * light * light;
                if ((i < half) != (j < half)) r *= light;
            }
            p.h[i + j * m] = p.h[j + i * m] = d[i] * r * d[j];
            double rs = 0.0;
            switch (c.overlap) {
                case Overlap::identity:
                    rs = i == j ? 1.0 : 0.0;
                    break;
                case Overlap::diagonal:
                    rs = i == j ? random.uniform(0.5, 2.0) : 0.0;
                    break;
                case Overlap::tridiagonal:
                    rs = i == j ? 1.0 : (i == j + 1 ? random.uniform(-0.45, 0.45) : 0.0);
                    break;
                case Overlap::dense:
                    rs = i == j ? 1.0 : random.uniform(-0.5, 0.5) / m;
                    break;
            }
            if (c.overlap == Overlap::identity) {
                p.s[i + j * m] = rs;  // S = I exactly, no scaling
            } else {
                p.s[i + j * m] = p.s[j + i * m] = d[i] * rs * d[j];
            }
        }
    return p;
}

long double reference_element(const Pencil& p, int m, double e) {
    Matrix a(p.h.size());
    for (std::size_t k = 0; k < a.size(); ++k)
        a[k] = p.h[k] - e * p.s[k];
    // scale by the diagonal of S so that the long double elimination is well balanced
    std::vector<double> d(m);
    for (int i = 0; i < m; ++i)
        d[i] = 1.0 / std::sqrt(p.s[i + static_cast<std::size_t>(i) * m]);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i)
            a[i + j * m] *= d[i] * d[j];
    return solve_element(a, m, m, m - 1) * d[m - 1] * d[m - 1];
}

const std::vector<EnergyCase> energy_cases = {
    {"identity overlap", 40, Overlap::identity, false, 31},
    {"diagonal overlap", 60, Overlap::diagonal, false, 32},
    {"tridiagonal overlap", 80, Overlap::tridiagonal, false, 33},
    {"tridiagonal, relativistic blocks", 80, Overlap::tridiagonal, true, 34},
    {"dense overlap", 50, Overlap::dense, false, 35},
    {"tridiagonal, parallel reduction", 160, Overlap::tridiagonal, true, 36},
};

TEST(EnergyGreen, MatchesDenseSolvesAtManyEnergies) {
    for (const EnergyCase& c : energy_cases) {
        SCOPED_TRACE(c.name);
        const Pencil p = random_pencil(c);
        EnergyGreen green;
        green.decompose(c.m, p.h.data(), p.s.data());
        ASSERT_TRUE(green.converged());
        const std::vector<double>& lambda = green.eigenvalues();
        ASSERT_EQ(static_cast<int>(lambda.size()), c.m);
        const auto [low, high] = std::minmax_element(lambda.begin(), lambda.end());
        const double spread = std::max(std::fabs(*low), std::fabs(*high));

        // Energies across the spectrum and just beside eigenvalues (relative distance 1e-9).
        std::vector<double> energies;
        Random random(c.seed + 100);
        for (int k = 0; k < 30; ++k)
            energies.push_back(random.uniform(*low * 1.1, *high * 1.1));
        for (int k = 0; k < c.m; k += std::max(1, c.m / 8))
            energies.push_back(lambda[k] * (1.0 + (k % 2 == 0 ? 1e-9 : -1e-9)));

        double worst = 0.0;
        for (double e : energies) {
            const double g = green.element(e);
            const double expected = static_cast<double>(reference_element(p, c.m, e));
            double nearest = infinity;
            for (double l : lambda)
                nearest = std::min(nearest, std::fabs(l - e));
            // eigenvalues carry an absolute error of a few eps times the spectrum's size, which
            // the pole magnifies by spread / distance
            const double allowed = 1e-10 + 1e-13 * spread / nearest;
            const double error = std::fabs(g - expected) / std::fabs(expected);
            worst = std::max(worst, error / allowed);
            EXPECT_LT(error, allowed) << "E = " << e << ": expected " << expected << ", computed "
                                      << g << ", distance to the nearest eigenvalue " << nearest;
        }
        std::printf("  %-36s largest error / allowed %.2e\n", c.name, worst);
    }
}

// For large |E|, (H - E S)^-1 -> -S^-1 / E: the weights add up to (S^-1)(last, last).
TEST(EnergyGreen, WeightsAddUpToInverseOverlap) {
    for (const EnergyCase& c : energy_cases) {
        SCOPED_TRACE(c.name);
        const Pencil p = random_pencil(c);
        EnergyGreen green;
        green.decompose(c.m, p.h.data(), p.s.data());
        double sum = 0.0;
        for (double w : green.weights())
            sum += w;
        const double expected = static_cast<double>(solve_element(p.s, c.m, c.m, c.m - 1));
        EXPECT_LT(std::fabs(sum - expected), 1e-12 * expected)
            << "expected " << expected << ", computed " << sum;
    }
}

// S = diag(4^i), H = diag(j_i 4^i): the scaled problem is exact, the eigenvalues are the integers
// j_i, every one of them gives +infinity, and between them only the last index contributes.
TEST(EnergyGreen, ExactEigenvalueGivesInfinity) {
    const int m = 12;
    Matrix h(m * m, 0.0), s(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        s[i + i * m] = std::ldexp(1.0, 2 * i);
        h[i + i * m] = (i - 5) * std::ldexp(1.0, 2 * i);
    }
    EnergyGreen green;
    green.decompose(m, h.data(), s.data());
    for (int i = 0; i < m; ++i)
        EXPECT_EQ(green.element(i - 5), infinity) << "E = " << i - 5;
    const double last = std::ldexp(1.0, 2 * (m - 1));
    for (double e : {-7.5, -0.25, 0.5, 3.75, 100.0}) {
        const double expected = 1.0 / (h[m * m - 1] - e * last);
        EXPECT_LT(std::fabs(green.element(e) - expected), 1e-15 * std::fabs(expected))
            << "E = " << e;
    }
}

// Both kernels on a pencil shaped like the Laguerre basis (tridiagonal overlap with off-diagonal
// -1/2, whose condition grows like m^2; tridiagonal kinetic part; smooth attractive potential;
// norms over fifteen decades). The energy route loses digits as eps * lambda_max / gap, which is
// why the order is kept moderate here.
TEST(FastRoutes, AgreeOnLaguerreLikePencil) {
    const int m = 200;
    const double energy = 0.37;
    std::vector<double> norm(m);
    for (int i = 0; i < m; ++i)
        norm[i] = std::pow(10.0, 15.0 * i / m - 5.0);
    Matrix h(m * m, 0.0), s(m * m, 0.0), a(m * m, 0.0);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
            const int k = std::abs(i - j);
            const double overlap = k == 0 ? 1.0 : (k == 1 ? -0.5 : 0.0);
            const double kinetic = k == 0 ? 0.25 : (k == 1 ? 0.125 : 0.0);
            const double potential = -0.3 * std::exp(-0.05 * (i + j)) / (1.0 + k);
            h[i + j * m] = norm[i] * (kinetic + potential) * norm[j];
            s[i + j * m] = norm[i] * overlap * norm[j];
            a[i + j * m] = (kinetic + potential - energy * overlap);  // already scaled
        }
    BorderedGreen bordered;
    std::vector<double> border(m);
    double g_bordered = 0.0;
    for (int n = 1; n <= m; ++n) {
        for (int i = 0; i < n; ++i)
            border[i] = h[i + (n - 1) * m] - energy * s[i + (n - 1) * m];
        g_bordered = bordered.extend(border.data(), 1, 0);
    }
    EnergyGreen green;
    green.decompose(m, h.data(), s.data());
    const double expected =
        static_cast<double>(solve_element(a, m, m, m - 1)) / (norm[m - 1] * norm[m - 1]);
    const double e_bordered = std::fabs(g_bordered - expected) / std::fabs(expected);
    const double e_energy = std::fabs(green.element(energy) - expected) / std::fabs(expected);
    EXPECT_LT(e_bordered, 1e-13) << "expected " << expected << ", computed " << g_bordered;
    EXPECT_LT(e_energy, 1e-11) << "expected " << expected << ", computed " << green.element(energy);
    std::printf("  order %d: bordered %.1e, energy route %.1e\n", m, e_bordered, e_energy);
}

// ---- EnergyGreen, shift and invert
// ---------------------------------------------------------------

// Element (m-1, m-1) of (D A D)^-1 in long double for A = H - e S and the symmetric diagonal
// scaling D that bounds every entry by 1 (|A_ii|^-1/2, lowered where a coupling is larger): the
// elimination's rounding then stays at the long double level although the Dirac blocks differ by
// 2c^2 and the basis norms by thirty decades. g = x d_last^2; x is the element in the units of the
// scaled matrix, in which the distance to a pole is measured.
struct ScaledElement {
    long double x, d_last;
};

ScaledElement scaled_reference(const Pencil& p, int m, double e) {
    std::vector<long double> a(static_cast<std::size_t>(m) * m), d(m);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i) {
            const std::size_t at = i + static_cast<std::size_t>(j) * m;
            a[at] = static_cast<long double>(p.h[at]) - static_cast<long double>(e) * p.s[at];
        }
    for (int i = 0; i < m; ++i) {
        const long double diagonal = std::fabs(a[i + static_cast<std::size_t>(i) * m]);
        d[i] = diagonal > 0.0L ? 1.0L / std::sqrt(diagonal) : 1.0L;
    }
    std::vector<long double> coupling(m, 0.0L);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i)
            if (i != j)
                coupling[i] = std::max(
                    coupling[i], std::fabs(a[i + static_cast<std::size_t>(j) * m]) * d[i] * d[j]);
    for (int i = 0; i < m; ++i)
        if (coupling[i] > 1.0L) d[i] /= coupling[i];
    std::vector<long double> rhs(m, 0.0L);
    for (int j = 0; j < m; ++j)
        for (int i = 0; i < m; ++i)
            a[i + static_cast<std::size_t>(j) * m] *= d[i] * d[j];
    const int want = m - 1;
    rhs[want] = 1.0L;
    for (int k = 0; k < m; ++k) {
        int piv = k;
        for (int i = k + 1; i < m; ++i)
            if (std::fabs(a[i + static_cast<std::size_t>(k) * m]) >
                std::fabs(a[piv + static_cast<std::size_t>(k) * m]))
                piv = i;
        if (a[piv + static_cast<std::size_t>(k) * m] == 0.0L) return {infinity, d[want]};
        for (int j = k; j < m; ++j)
            std::swap(a[k + static_cast<std::size_t>(j) * m],
                      a[piv + static_cast<std::size_t>(j) * m]);
        std::swap(rhs[k], rhs[piv]);
        const long double* pivot_column = &a[static_cast<std::size_t>(k) * m];
        for (int j = k + 1; j < m; ++j) {
            long double* column = &a[static_cast<std::size_t>(j) * m];
            const long double f = column[k] / pivot_column[k];
            if (f == 0.0L) continue;
            for (int i = k + 1; i < m; ++i)
                column[i] -= f * pivot_column[i];
        }
        for (int i = k + 1; i < m; ++i)
            rhs[i] -= pivot_column[i] / pivot_column[k] * rhs[k];
    }
    for (int k = m - 1; k >= 0; --k) {
        long double sum = rhs[k];
        for (int j = k + 1; j < m; ++j)
            sum -= a[k + static_cast<std::size_t>(j) * m] * rhs[j];
        rhs[k] = sum / a[k + static_cast<std::size_t>(k) * m];
    }
    return {rhs[want], d[want]};
}

// Pencils shaped like the program's. Basis norms spread over fifteen decades each way; overlap F
// tridiagonal (1, -1/2), kinetic P tridiagonal with growing diagonal (i + 1, -sqrt((i+1)(i+2))/2),
// smooth attractive potentials plus a little noise. Dirac: H = [[V, cP], [cP, -2c^2 P + V']],
// S = diag(F, P), with the psi block first (reversed, phi_(n-1) last, as the program orders it)
// or second (psi_(n-1) last). Non-relativistic: H = P/2 + V, S = F.
struct ShiftCase {
    const char* name;
    int basis;         // number of basis functions
    double light;      // 0: non-relativistic
    bool psi_first;    // Dirac ordering
    double reference;  // e0
    double low, high;  // energy range
    int energies;      // energies across the range (besides those next to eigenvalues)
    std::uint64_t seed;
};

Pencil shaped_pencil(const ShiftCase& c) {
    const int n = c.basis;
    Random random(c.seed);
    std::vector<double> norm(n);
    for (int i = 0; i < n; ++i)
        norm[i] = std::pow(10.0, -7.5 + 15.0 * i / std::max(1, n - 1));
    auto overlap = [](int i, int j) { return i == j ? 1.0 : (std::abs(i - j) == 1 ? -0.5 : 0.0); };
    auto kinetic = [](int i, int j) {
        if (i == j) return i + 1.0;
        if (std::abs(i - j) == 1)
            return -0.5 * std::sqrt((std::min(i, j) + 1.0) * (std::min(i, j) + 2.0));
        return 0.0;
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
    const int m = c.light > 0.0 ? 2 * n : n;
    Pencil p{Matrix(static_cast<std::size_t>(m) * m, 0.0),
             Matrix(static_cast<std::size_t>(m) * m, 0.0)};
    auto set = [&](int r, int col, double h, double s) {
        p.h[r + static_cast<std::size_t>(col) * m] = p.h[col + static_cast<std::size_t>(r) * m] = h;
        p.s[r + static_cast<std::size_t>(col) * m] = p.s[col + static_cast<std::size_t>(r) * m] = s;
    };
    if (c.light == 0.0) {
        for (int j = 0; j < n; ++j)
            for (int i = j; i < n; ++i)
                set(i, j, norm[i] * (0.5 * kinetic(i, j) + potential(i, j, 1.5, noise)) * norm[j],
                    norm[i] * overlap(i, j) * norm[j]);
        return p;
    }
    const double c2 = c.light * c.light;
    // positions of phi_i and psi_i
    auto phi = [&](int i) { return c.psi_first ? n + i : i; };
    auto psi = [&](int i) { return c.psi_first ? n - 1 - i : n + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double nn = norm[i] * norm[j];
            if (i >= j) {
                set(phi(i), phi(j), nn * potential(i, j, 1.5, noise), nn * overlap(i, j));
                set(psi(i), psi(j), nn * (-2.0 * c2 * kinetic(i, j) + potential(i, j, 1.0, noise2)),
                    nn * kinetic(i, j));
            }
            set(phi(i), psi(j), nn * c.light * kinetic(i, j), 0.0);
        }
    return p;
}

constexpr double large_light = 5000.0;

const std::vector<ShiftCase> shift_cases = {
    {"Dirac c = 5000, program order", 40, large_light, true, 0.31, -3.0, 4.0, 30, 41},
    {"Dirac c = 137, program order", 40, light, true, 0.31, -3.0, 4.0, 30, 42},
    {"Dirac c = 5000, phi block first", 40, large_light, false, 0.47, -3.0, 4.0, 30, 43},
    {"Dirac c = 137, phi block first", 40, light, false, -0.23, -3.0, 4.0, 30, 44},
    {"Dirac c = 5000, parallel sizes", 90, large_light, true, 0.52, -2.0, 3.0, 12, 45},
    {"non-relativistic, order 200", 200, 0.0, false, 0.37, -1.0, 3.0, 16, 46},
    {"non-relativistic, order 800", 800, 0.0, false, 0.61, 0.0, 2.0, 2, 47},
};

// Across the range (and at e0 itself) the element must match to 1e-12 in the chordal metric on the
// scaled element. Within 1e-9 of a pole, g ~ w / (lambda - E) is fixed by the pole's position,
// which no double precision method knows better than a few eps |lambda| (rounding the input
// entries once moves it by as much; shift and invert adds a factor ~ (lambda - e0)^2 / distance
// from e0 to the spectrum), so there the implied shift of the pole, |x/x_ref - 1| |E - lambda|,
// is checked instead.
TEST(EnergyGreenShifted, MatchesLongDoubleSolves) {
    for (const ShiftCase& c : shift_cases) {
        SCOPED_TRACE(c.name);
        const Pencil p = shaped_pencil(c);
        const int m = c.light > 0.0 ? 2 * c.basis : c.basis;
        EnergyGreen green;
        green.decompose_shifted(m, p.h.data(), p.s.data(), c.reference);
        ASSERT_TRUE(green.converged());
        if (c.light > 0.0) {
            EXPECT_GT(green.pivot_pairs(), 0);
        }

        std::vector<double> energies{c.reference};
        Random random(c.seed + 100);
        for (int k = 0; k < c.energies; ++k)
            energies.push_back(random.uniform(c.low, c.high));
        std::vector<double> poles;
        for (double lambda : green.eigenvalues())
            if (lambda > c.low && lambda < c.high &&
                static_cast<int>(poles.size()) < c.energies / 2 + 2)
                poles.push_back(lambda);
        EXPECT_GT(poles.size(), 1u);

        double worst = 0.0, worst_shift = 0.0;
        for (double e : energies) {
            const ScaledElement reference = scaled_reference(p, m, e);
            const double expected = static_cast<double>(reference.x);
            const double computed =
                green.element(e) / static_cast<double>(reference.d_last * reference.d_last);
            const double distance = chordal_distance(computed, expected);
            worst = std::max(worst, distance);
            EXPECT_LT(distance, 1e-12) << "E = " << e << ": expected " << expected << ", computed "
                                       << computed << ", chordal distance " << distance;
        }
        for (std::size_t k = 0; k < poles.size(); ++k) {
            const double e = poles[k] + (k % 2 == 0 ? 1e-9 : -1e-9);
            const ScaledElement reference = scaled_reference(p, m, e);
            const double expected = static_cast<double>(reference.x);
            const double computed =
                green.element(e) / static_cast<double>(reference.d_last * reference.d_last);
            EXPECT_GT(std::fabs(expected), 1e3) << "E = " << e << " is not next to a pole";
            const double shift = std::fabs(computed / expected - 1.0) * 1e-9;
            const double allowed = 1e-13 * std::max(1.0, std::fabs(poles[k]));
            worst_shift = std::max(worst_shift, shift / std::max(1.0, std::fabs(poles[k])));
            EXPECT_LT(shift, allowed) << "E = " << e << ": expected " << expected << ", computed "
                                      << computed << ", pole shift " << shift;
        }
        std::printf("  %-34s order %4d, %2d pivot pairs: chordal %.1e, pole shift %.1e\n", c.name,
                    m, green.pivot_pairs(), worst, worst_shift);
    }
}

// H - e0 S with zero diagonal entries (one inside, one at the wanted index): the scaling takes
// those rows' size from their couplings.
TEST(EnergyGreenShifted, ZeroDiagonalAtTheReference) {
    const ShiftCase c{"zero diagonal", 60, 0.0, false, 0.4, -1.0, 3.0, 12, 51};
    Pencil p = shaped_pencil(c);
    const int m = c.basis;
    for (int i : {17, m - 1}) {
        const std::size_t at = i + static_cast<std::size_t>(i) * m;
        p.h[at] = c.reference * p.s[at];
        ASSERT_EQ(p.h[at] - c.reference * p.s[at], 0.0);
    }
    EnergyGreen green;
    green.decompose_shifted(m, p.h.data(), p.s.data(), c.reference);
    ASSERT_TRUE(green.converged());
    Random random(c.seed);
    for (int k = 0; k < c.energies; ++k) {
        const double e = k == 0 ? c.reference : random.uniform(c.low, c.high);
        const ScaledElement reference = scaled_reference(p, m, e);
        const double expected = static_cast<double>(reference.x);
        const double computed =
            green.element(e) / static_cast<double>(reference.d_last * reference.d_last);
        EXPECT_LT(chordal_distance(computed, expected), 1e-12)
            << "E = " << e << ": expected " << expected << ", computed " << computed;
    }
}

// S = diag(4^i), H = S diag(e0 + t_i) with t_i = +-4^k: every step is exact, so E = e0 + t_i
// makes 1 - eps mu_i exactly zero (+infinity), E = e0 returns 1 / (H_pp - e0 S_pp), and other
// energies give 1 / (H_pp - E S_pp) to rounding. E0 on an eigenvalue makes H - e0 S singular.
TEST(EnergyGreenShifted, ExactPolesAndSingularShift) {
    const int m = 9;
    const double e0 = 0.25;
    const double t[m] = {1.0, -4.0, 0.25, -0.25, 16.0, -1.0, 4.0, -16.0, 0.0625};
    Matrix h(m * m, 0.0), s(m * m, 0.0);
    for (int i = 0; i < m; ++i) {
        s[i + i * m] = std::ldexp(1.0, 2 * i);
        h[i + i * m] = (e0 + t[i]) * s[i + i * m];
    }
    EnergyGreen green;
    green.decompose_shifted(m, h.data(), s.data(), e0);
    ASSERT_TRUE(green.converged());
    for (int i = 0; i < m; ++i)
        EXPECT_EQ(green.element(e0 + t[i]), infinity) << "E = " << e0 + t[i];
    const double last = s[m * m - 1];
    EXPECT_EQ(green.element(e0), 1.0 / (h[m * m - 1] - e0 * last));
    EXPECT_EQ(green.reference_distance(), 0.0625);
    for (double e : {-7.5, -0.3, 0.26, 0.6, 3.75, 100.0}) {
        const double expected = 1.0 / (h[m * m - 1] - e * last);
        EXPECT_LT(std::fabs(green.element(e) - expected), 1e-13 * std::fabs(expected))
            << "E = " << e << ": expected " << expected << ", computed " << green.element(e);
    }

    green.decompose_shifted(m, h.data(), s.data(), e0 + t[3]);
    EXPECT_FALSE(green.converged());
    EXPECT_TRUE(std::isnan(green.element(1.0)));
}

// The parallel loops split work by thread but sum in a fixed order, except the tridiagonal
// reduction's partial sums: one and two threads agree to the last few bits.
TEST(EnergyGreenShifted, ThreadCountChangesLastBitsOnly) {
    const ShiftCase c{"threads", 70, large_light, true, 0.31, -2.0, 3.0, 20, 52};
    const Pencil p = shaped_pencil(c);
    const int m = 2 * c.basis;
    const int threads = omp_get_max_threads();
    EnergyGreen one, two;
    omp_set_num_threads(1);
    one.decompose_shifted(m, p.h.data(), p.s.data(), c.reference);
    omp_set_num_threads(2);
    two.decompose_shifted(m, p.h.data(), p.s.data(), c.reference);
    omp_set_num_threads(threads);
    Random random(c.seed);
    for (int k = 0; k < c.energies; ++k) {
        const double e = random.uniform(c.low, c.high);
        const double g1 = one.element(e), g2 = two.element(e);
        EXPECT_LT(std::fabs(g1 - g2), 1e-12 * std::fabs(g1))
            << "E = " << e << ": one thread " << g1 << ", two threads " << g2;
    }
}

}  // namespace
}  // namespace skarven
