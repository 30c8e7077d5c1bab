#pragma once
// Shared test helpers: fatal-error expectations, reference tables, the long-double solver.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "settings.hpp"

namespace skarven::test {

// Fatal errors print on standard output; death tests match standard error, so the statement's
// standard output is sent there. The threadsafe style is safe with OpenMP worker threads alive.
#define EXPECT_FATAL(statement, pattern)                                               \
    do {                                                                               \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                \
        EXPECT_EXIT((::dup2(2, 1), statement), ::testing::ExitedWithCode(1), pattern); \
    } while (0)

// Rows of whitespace-separated numbers from tests/data/<name> ('#' lines skipped), as double or as
// long double for references beyond the double range.
template <class T = double>
std::vector<std::vector<T>> read_table(const std::string& name) {
    std::ifstream in(std::string(SKARVEN_TEST_DATA) + "/" + name);
    EXPECT_TRUE(in.good()) << "missing reference data " << name;
    std::vector<std::vector<T>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<T> row;
        for (std::string field; fields >> field;)
            row.push_back(std::is_same_v<T, double> ? std::strtod(field.c_str(), nullptr)
                                                    : std::strtold(field.c_str(), nullptr));
        rows.push_back(std::move(row));
    }
    return rows;
}

// The reference-table harness: each(row) on every row of tests/data/<table> (at least min_rows),
// with the table's row number traced in any failure.
template <class T = double, class Each>
void for_rows(const std::string& table, std::size_t min_rows, Each each) {
    const auto rows = read_table<T>(table);
    EXPECT_GE(rows.size(), min_rows) << table;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(table + " row " + std::to_string(k + 1));
        each(rows[k]);
    }
}

// Each case of tests/data/<table>, a run of rows that agree in their first `key` columns, as
// each(rows); returns the number of cases.
template <class T = double, class Each>
int for_cases(const std::string& table, std::size_t key, Each each) {
    const auto rows = read_table<T>(table);
    int cases = 0;
    for (auto first = rows.begin(), last = first; first != rows.end(); first = last, ++cases) {
        last = std::find_if(first, rows.end(), [&](const std::vector<T>& r) {
            return !std::equal(r.begin(), r.begin() + key, first->begin());
        });
        SCOPED_TRACE(table + " case " + std::to_string(cases + 1));
        each(std::vector<std::vector<T>>(first, last));
    }
    return cases;
}

inline bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline double relative_error(double computed, double expected) {
    return expected == 0.0 ? std::fabs(computed)
                           : std::fabs(computed - expected) / std::fabs(expected);
}

// The lines of a text file, without their line ends.
inline std::vector<std::string> file_lines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A fresh temporary directory that is the working directory while the object lives.
class ScratchDirectory {
  public:
    ScratchDirectory() : previous_(std::filesystem::current_path()) {
        std::string pattern = std::filesystem::temp_directory_path() / "skarven_test_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
        std::filesystem::current_path(path_ = pattern);
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_, ignored_);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_, path_;
    std::error_code ignored_;
};

// The long-double reference solver: A x = b (A n x n, column-major) by Gaussian elimination with
// partial pivoting on D A D, D = |A_ii|^-1/2 lowered where a coupling is larger, so that rounding
// stays at the long-double level however widely the diagonal spreads.
struct ReferenceSolve {
    std::vector<long double> x, d;  // the solution (empty when a pivot is exactly zero), scaling
};

inline ReferenceSolve reference_solve(int n, std::vector<long double> a,
                                      std::vector<long double> b) {
    auto at = [&](int i, int j) -> long double& { return a[i + static_cast<std::size_t>(j) * n]; };
    ReferenceSolve r{{}, std::vector<long double>(n, 1.0L)};
    for (int i = 0; i < n; ++i)
        if (at(i, i) != 0.0L) r.d[i] = 1.0L / std::sqrt(std::fabs(at(i, i)));
    std::vector<long double> coupling(n, 0.0L);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (i != j) coupling[i] = std::max(coupling[i], std::fabs(at(i, j)) * r.d[i] * r.d[j]);
    for (int i = 0; i < n; ++i) {
        if (coupling[i] > 1.0L) r.d[i] /= coupling[i];
        a.push_back(b[i] * r.d[i]);  // b is column n
    }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            at(i, j) *= r.d[i] * r.d[j];
    for (int k = 0; k < n; ++k) {
        int p = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
        if (at(p, k) == 0.0L) return r;
        for (int j = k; j <= n; ++j)
            std::swap(at(k, j), at(p, j));
        for (int j = k + 1; j <= n; ++j)
            if (const long double f = at(k, j) / at(k, k); f != 0.0L)
                for (int i = k + 1; i < n; ++i)
                    at(i, j) -= f * at(i, k);
    }
    for (int k = n - 1; k >= 0; --k) {
        for (int j = k + 1; j < n; ++j)
            at(k, n) -= at(k, j) * at(j, n);
        at(k, n) /= at(k, k);
    }
    for (int i = 0; i < n; ++i)
        r.x.push_back(at(i, n) * r.d[i]);
    return r;
}

// Element (want, want) of A^-1 as x = g / d_want^2 (infinity when singular) and d_want.
struct ScaledElement {
    long double x, d;
    double value() const { return static_cast<double>(x * d * d); }
};

template <class Matrix>
ScaledElement reference_element(int n, const Matrix& a, int want) {
    std::vector<long double> b(n, 0.0L);
    b[want] = 1.0L;
    const ReferenceSolve r = reference_solve(n, {a.begin(), a.end()}, b);
    const long double d = r.d[want];
    return {r.x.empty() ? HUGE_VALL : r.x[want] / (d * d), d};
}

// Fresh run settings for each test.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { sk_globals = RunSettings{}; }
    void TearDown() override { sk_globals = RunSettings{}; }
};

// TRANSITION
#include <cstdio>
#include <map>
// The reference-table harness: every comparison against a stored reference goes through check(),
// which fails beyond the tolerance and keeps the worst error per branch; the worst errors are
// printed when the check ends.
class Accuracy {
  public:
    explicit Accuracy(std::string what) : what_(std::move(what)) {}
    Accuracy(const Accuracy&) = delete;
    Accuracy& operator=(const Accuracy&) = delete;
    ~Accuracy() {
        for (const auto& [branch, worst] : worst_)
            std::printf("[accuracy] %-14s %-44s worst %.2e\n", what_.c_str(), branch.c_str(),
                        worst);
    }
    void check(double error, double tolerance, const std::string& branch,
               const std::string& where) {
        double& worst = worst_[branch];
        worst = std::max(worst, error);
        EXPECT_LE(error, tolerance) << what_ << " [" << branch << "] " << where;
    }
    // Runs `each` on every row of tests/data/<table>, which must hold at least min_rows rows.
    template <class Each>
    void rows(const std::string& table, std::size_t min_rows, Each each) {
        const auto all = read_table(table);
        EXPECT_GE(all.size(), min_rows) << table;
        for (const auto& row : all)
            each(row);
    }

  private:
    std::string what_;
    std::map<std::string, double> worst_;
};

// The run settings of one basis, scheme and potential type; pass stays as it is.
inline void use_run(const char* basis, const char* scheme, const char* pot_type, int l, int kappa,
                    double lambda) {
    sk_globals.basis = padded(basis, 8);
    sk_globals.scheme = padded(scheme, 16);
    sk_globals.potential.pot_type = padded(pot_type, 8);
    sk_globals.projectile.l = l;
    sk_globals.projectile.kappa = kappa;
    sk_globals.lambda = lambda;
}

// Sets v0, a, b, z, alpha, g, m, r0 (the order of the reference tables' columns).
inline void set_potential_params(const double* values) {
    PotentialParams& p = sk_globals.potential;
    double* fields[] = {&p.v0, &p.a, &p.b, &p.z, &p.alpha, &p.g, &p.m, &p.r0};
    for (int f = 0; f < 8; ++f)
        *fields[f] = values[f];
}

}  // namespace skarven::test
