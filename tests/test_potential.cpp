// Guards against wrong potential elements and blocks, and results that depend on the thread count.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "basis.hpp"
#include "parallel_errors.hpp"
#include "potential.hpp"
#include "skarven/problem.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using B = BasisKind;
using V = PotentialKind;
constexpr bool schroedinger = false, dirac = true;

struct Setting {
    BasisKind basis;
    bool dirac;
    PotentialKind kind;
    int l, kappa;
    double lambda, params[8];  // v0, a, b, z, alpha, g, m, r0: the reference tables' columns
    int n;                     // the basis size
};

// The problem of a setting. The potential matrix does not read the speed of light.
Problem problem_of(const Setting& s) {
    Problem problem;
    problem.basis = {.kind = s.basis, .lambda = s.lambda};
    problem.scheme.dirac = s.dirac;
    problem.wave = {.l = s.l, .kappa = s.kappa};
    Potential& p = problem.potential;
    p.kind = s.kind;
    double* fields[] = {&p.v0, &p.a, &p.b, &p.z, &p.alpha, &p.g, &p.m, &p.r0};
    for (int f = 0; f < 8; ++f)
        *fields[f] = s.params[f];
    return problem;
}

// The matrix of a run whose largest basis has size s.n (its tables sized for s.n + 1).
PotentialMatrix matrix_of(const Setting& s) {
    return PotentialMatrix(problem_of(s), s.n + 1);
}

// The setting of a row of the reference tables whose basis is column `b`.
Setting setting_of(const std::vector<double>& row, int b, int n) {
    static const PotentialKind kinds[] = {V::well, V::coulomb, V::yukawa};
    Setting s{};
    s.basis = row[b] == 0 ? B::laguerre : B::oscillator, s.dirac = row[b + 1] == 1;
    s.kind = kinds[int(row[b + 2])], s.l = int(row[b + 3]), s.kappa = int(row[b + 4]);
    s.lambda = row[b + 5], s.n = n;
    std::copy_n(row.begin() + b + 6, 8, s.params);
    return s;
}

// Eigen-route elements against mpmath, to 1e-12 of the largest element.
TEST(Potential, ElementsMatchHighPrecisionReference) {
    int high_rows = 0;
    for (const bool wide : {false, true}) {
        for_rows(wide ? "potential_wide.txt" : "potential_elements.txt", 150, [&](const auto& row) {
            const int n = int(row[14]), pr = int(row[15]), pc = int(row[16]);
            PotentialMatrix matrix = matrix_of(setting_of(row, 0, n));
            const bool rel = row[1] == 1, psi = rel && pr >= n;
            const int i = !rel ? pr : psi ? pr - n : n - 1 - pr;
            const int j = !rel ? pc : psi ? pc - n : n - 1 - pc;
            high_rows += std::max(i, j) >= 999;
            EXPECT_LT(std::fabs(matrix.element(n, pr, pc) - row[17]) / row[18], 1e-12);
        });
    }
    EXPECT_GE(high_rows, 10);
}

// Formula potentials on both routes (element by element and in blocks) against mpmath, to 1e-12
// of the largest sampled element: smooth, 1/r, r^-1.5 at the origin and a jump at a declared
// break (gen_potential_formula.py, which lists the same formulas).
TEST(Potential, FormulaElementsMatchHighPrecisionReference) {
    const struct {
        const char* text;
        std::vector<double> breaks;
    } formulas[] = {{"-exp(-r*r/4)", {}},
                    {"-3/r", {}},
                    {"-r^(-1.5)*exp(-r)", {}},
                    {"r < 2 ? -1 : 0.5*exp(-r)", {2.0}}};
    constexpr int n = 41;
    std::vector<PotentialMatrix> matrices;
    std::vector<std::vector<double>> blocks;
    for (const auto& f : formulas) {
        Problem problem;
        problem.potential.kind = V::formula;
        problem.potential.expression = f.text;
        problem.potential.breaks = f.breaks;
        if (&f == &formulas[1]) problem.potential.r0 = 6.0;
        matrices.emplace_back(problem, n);
        std::vector<double> phi, psi;
        matrices.back().blocks(n, phi, psi);
        blocks.push_back(phi);
    }
    for_rows("potential_formula.txt", 80, [&](const auto& row) {
        const int c = int(row[0]), i = int(row[4]), j = int(row[5]);
        EXPECT_LT(std::fabs(matrices[c].element(n, i, j) - row[6]) / row[7], 1e-12)
            << i << " " << j;
        EXPECT_LT(std::fabs(blocks[c][i + j * n] - row[6]) / row[7], 1e-12) << i << " " << j;
    });
}

// Fast-route blocks against mpmath, to 1e-12 of the block's largest sampled element; symmetric.
TEST(Potential, BlocksMatchHighPrecisionReference) {
    const int cases = for_cases("potential_blocks.txt", 1, [](const auto& rows) {
        const Setting s = setting_of(rows.front(), 1, int(rows.front()[15]));
        std::vector<double> blocks[2];
        matrix_of(s).blocks(s.n, blocks[0], blocks[1]);
        ASSERT_EQ(blocks[1].size(), rows.front()[2] == 0 ? 0u : blocks[0].size());
        double scale[2] = {0.0, 0.0};
        for (const auto& r : rows)
            scale[int(r[16])] = std::max(scale[int(r[16])], std::fabs(r[19]));
        for (const auto& r : rows) {
            const std::vector<double>& b = blocks[int(r[16])];
            const std::size_t i = r[17], j = r[18];
            EXPECT_LE(std::fabs(b[i + j * s.n] - r[19]) / scale[int(r[16])], 1e-12)
                << i << " " << j;
            EXPECT_EQ(b[i + j * s.n], b[j + i * s.n]);
        }
    });
    EXPECT_GT(cases, 5);
}

// alpha = 1: Laguerre orthogonality, V(n, n) = -z (n + 2l + 1)!/n! (DE alone gave -231 for -301).
TEST(Potential, HighIndexCoulombElementsFollowLaguerreOrthogonality) {
    const Setting s{B::laguerre, schroedinger, V::coulomb, 1, 0, 0.8, {0, 0, 0, 2, 1}, 301};
    std::vector<int> rows, cols;
    for (int n = 300; n > 0; n -= 23)
        rows.insert(rows.end(), {n, n, n - 1}), cols.insert(cols.end(), {n, n - 1, n});
    std::vector<double> values(rows.size());
    matrix_of(s).elements(s.n, int(rows.size()), rows.data(), cols.data(), values.data());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const int n = std::max(rows[k], cols[k]);
        const double diagonal = -2.0 * (n + 1) * (n + 2) * (n + 3);
        EXPECT_LT(std::fabs(values[k] - (rows[k] == cols[k] ? diagonal : 0.0)) / -diagonal, 1e-12)
            << rows[k] << " " << cols[k];
    }
}

// v = 1 gives the overlap and twice the kinetic matrix (exact Gauss-Laguerre and panel rules).
TEST(Potential, ConstantPotentialGivesOverlapAndKineticMatrices) {
    const Setting settings[] = {
        {B::laguerre, dirac, V::coulomb, 3, 3, 0.6, {1, 0, 1e6, -1, 0}, 400},
        {B::oscillator, dirac, V::coulomb, 2, -3, 1.7, {1, 0, 1e6, -1, 0}, 1000},
        {B::laguerre, dirac, V::well, 1, -2, 1.3, {1, 0, 1e6, -1, 0}, 300},
        {B::oscillator, dirac, V::well, 0, -1, 0.9, {1, 0, 1e6, -1, 0}, 400}};
    for (const Setting& s : settings) {
        const bool gauss = s.basis == B::oscillator;
        SCOPED_TRACE(std::string(gauss ? "oscillator " : "laguerre ") +
                     (s.kind == V::well ? "well" : "coulomb"));
        std::vector<double> phi, psi;
        matrix_of(s).blocks(s.n, phi, psi);
        // The oscillator elements: Gamma(n + l + 3/2)/n! by its product in long double, exactly.
        std::vector<long double> ratio(s.n + 1, std::tgamma(s.l + 1.5L));
        for (int k = 1; k <= s.n; ++k)
            ratio[k] = ratio[k - 1] * (k + s.l + 0.5L) / k;
        const Basis basis{s.basis, s.lambda};
        auto expected = [&](bool psi_block, int i, int j) -> double {  // overlap or kinetic
            if (!gauss) return psi_block ? kinetic(basis, s.l, i, j) : overlap(basis, s.l, i, j);
            if (!psi_block) return i == j ? double(ratio[j] / (2.0L * s.lambda)) : 0.0;
            const long double band = i == j       ? 2.0L * j + s.l + 1.5L
                                     : i == j - 1 ? j
                                     : i == j + 1 ? j + s.l + 1.5L
                                                  : 0.0L;
            return double(s.lambda * ratio[j] / 2.0L * band);
        };
        for (const bool b : {false, true}) {
            const std::vector<double>& block = b ? psi : phi;
            const double scale = *std::max_element(block.begin(), block.end());
            for (int j = 0; j < s.n; ++j)
                for (int i = j; i < s.n; ++i)
                    ASSERT_LE(std::fabs(block[i + j * s.n] - expected(b, i, j)) / scale, 1e-12)
                        << b << ' ' << i << ' ' << j;
        }
    }
}

// Dirac phi positions reversed; lower triangle only; no integral gives exactly 0.
TEST(Potential, LayoutsAndElementsWithoutIntegral) {
    Setting s{B::laguerre, dirac, V::well, 0, -1, 1.0, {-1, 0, 2}, 3};
    std::vector<double> matrix(36, -7.0);
    PotentialMatrix two_component = matrix_of(s);
    two_component.lower_triangle(3, 6, matrix.data());
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_TRUE(
                same_bits(matrix[r + c * 6], c <= r ? two_component.element(3, r, c) : -7.0))
                << r << " " << c;
    s.dirac = schroedinger;
    PotentialMatrix one_component = matrix_of(s);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c <= r; ++c)
            EXPECT_TRUE(same_bits(one_component.element(3, 2 - r, 2 - c), matrix[r + c * 6]))
                << r << " " << c;
    // A Coulomb potential would give a nonzero integral for every one of these index pairs; an
    // unknown potential name reaches the model as the kind none.
    const std::tuple<bool, PotentialKind, int, int> zeros[] = {
        {schroedinger, V::coulomb, 3, 0}, {schroedinger, V::coulomb, 0, 3},
        {dirac, V::coulomb, 1, 3},        {dirac, V::coulomb, 4, 0},
        {dirac, V::user, 4, 4},           {schroedinger, V::none, 1, 1}};
    for (const auto& [scheme, kind, n, m] : zeros) {
        PotentialMatrix zero =
            matrix_of({B::laguerre, scheme, kind, 0, -1, 1.0, {0, 0, 0, 1, 1}, 3});
        EXPECT_TRUE(same_bits(zero.element(3, n, m), 0.0))
            << scheme << " " << int(kind) << " " << n << m;
    }
    // Blocks: zero for a user potential; no psi block in the Schroedinger scheme, none at n = 0.
    std::vector<double> phi{1.0}, psi;
    matrix_of({B::laguerre, dirac, V::user, 1, 1, 1.0, {0, 0, 0, 0, 0, 0, 0, 2}, 5})
        .blocks(5, phi, psi);
    EXPECT_TRUE(phi == std::vector<double>(25, 0.0) && psi == phi);
    PotentialMatrix coulomb =
        matrix_of({B::oscillator, schroedinger, V::coulomb, 0, 0, 1.0, {0, 0, 0, 1, 1}, 4});
    coulomb.blocks(4, phi, psi);
    EXPECT_TRUE(phi.size() == 16u && psi.empty());
    coulomb.blocks(0, phi, psi);
    EXPECT_TRUE(phi.empty());
}

// Same bits on one and two threads (also after another problem's matrix has been integrated);
// a batch of elements gives the bits of its elements one at a time.
TEST(Potential, ResultsDoNotDependOnThreadCount) {
    const Setting settings[] = {
        {B::laguerre, dirac, V::coulomb, 0, -1, 1.0, {0, 0, 0, 1, 1}, 80},
        {B::oscillator, dirac, V::well, 0, -1, 1.0, {-1, 0.5, 1}, 150},
        {B::laguerre, dirac, V::yukawa, 1, -2, 1.2, {0, 0, 0, 0, 0, 1, 0.5}, 203}};
    const int saved = omp_get_max_threads();
    for (const Setting& s : settings) {
        std::vector<int> rows, cols;
        for (int k = 0; k < 2 * s.n; ++k)
            rows.insert(rows.end(), {0, 2 * s.n - 1, s.n}), cols.insert(cols.end(), {k, k, k});
        std::vector<double> values[2], phi[2], psi[2];
        std::vector<PotentialMatrix> matrices;
        for (int t = 0; t < 2; ++t) {
            omp_set_num_threads(t + 1);
            Setting other = s;
            other.lambda *= 1.5;
            matrix_of(other).element(other.n, 0, 0);
            matrices.push_back(matrix_of(s));
            values[t].resize(rows.size());
            matrices[t].elements(s.n, int(rows.size()), rows.data(), cols.data(), values[t].data());
            matrices[t].blocks(s.n, phi[t], psi[t]);
        }
        omp_set_num_threads(1);  // single elements on one thread, the batches above on one and two
        for (std::size_t k = 0; k < rows.size(); ++k)
            EXPECT_TRUE(same_bits(values[0][k], values[1][k]) &&
                        same_bits(values[0][k], matrices[1].element(s.n, rows[k], cols[k])))
                << k;
        EXPECT_TRUE(phi[0] == phi[1] && psi[0] == psi[1]);
    }
    omp_set_num_threads(saved);
}

// A user potential given as a batch formula gives the bits of the same function given point by
// point, on the double-exponential tables (cut at r0) and on the rules (infinite range), and the
// engine calls it once per level or rule, never inside a parallel loop.
TEST(Potential, BatchFormulaGivesThePointwiseBitsInFewCalls) {
    const auto v = [](double r) { return -1.5 * std::exp(-0.7 * r) / r + 0.2 * std::exp(-r * r); };
    const std::tuple<bool, double, int> cases[] = {
        {schroedinger, 3.0, 40}, {dirac, 3.0, 30}, {schroedinger, 0.0, 60}, {dirac, 0.0, 30}};
    omp_set_num_threads(2);
    for (const auto& [scheme, r0, n] : cases) {  // n: the basis size
        SCOPED_TRACE(std::to_string(r0) + (scheme ? " dirac" : " schroedinger"));
        Problem pointwise = problem_of({B::laguerre, scheme, V::user, 0, -1, 1.0, {}, n});
        pointwise.potential.r0 = r0;
        pointwise.potential.formula = v;
        Problem batched = pointwise;
        batched.potential.formula = {};
        int calls = 0, in_parallel = 0;
        std::size_t points = 0;
        batched.potential.batch_formula = [&](std::size_t count, const double* r, double* out) {
            ++calls;
            points += count;
            in_parallel += omp_in_parallel();
            for (std::size_t k = 0; k < count; ++k)
                out[k] = v(r[k]);
        };
        PotentialMatrix one(pointwise, n), all(batched, n);
        const int dim = scheme ? 2 * n : n;
        std::vector<double> expected(dim * dim), computed(dim * dim), phi[2], psi[2];
        one.lower_triangle(n, dim, expected.data());
        all.lower_triangle(n, dim, computed.data());
        EXPECT_TRUE(expected == computed);
        one.blocks(n, phi[0], psi[0]);
        all.blocks(n, phi[1], psi[1]);
        EXPECT_TRUE(phi[0] == phi[1] && psi[0] == psi[1]);
        EXPECT_EQ(in_parallel, 0);
        EXPECT_GT(points, 100u * static_cast<std::size_t>(calls) / 4) << calls << " calls";
    }
    omp_set_num_threads(1);
}

// An error in a parallel loop comes out after the loop, from the lowest failing iteration whatever
// the thread count, and every iteration below it has run.
TEST(ParallelErrors, LowestFailingIterationAtAnyThreadCount) {
    const int saved = omp_get_max_threads();
    for (int threads : {1, 2, 4}) {
        omp_set_num_threads(threads);
        std::vector<char> ran(200, 0);
        FirstError error;  // on four threads 150 starts a chunk and fails first
#pragma omp parallel for schedule(static)
        for (int k = 0; k < 200; ++k) {
            error.run(k, [&] {
                ran[k] = 1;
                if (k == 150 || k == 62 || k == 61) throw_error("loop", std::to_string(k));
            });
        }
        EXPECT_TRUE(error.failed());
        EXPECT_ERROR(error.rethrow(), "loop", "61");
        EXPECT_EQ(std::count(ran.begin(), ran.begin() + 62, 1), 62) << threads;
    }
    omp_set_num_threads(saved);
    FirstError check, none;
    check.run(0, [] { SKARVEN_CHECK(false); });
    EXPECT_THROW(check.rethrow(), InternalError);
    none.run(0, [] {});
    EXPECT_FALSE(none.failed());
    EXPECT_NO_THROW(none.rethrow());
}

}  // namespace
}  // namespace skarven::test
