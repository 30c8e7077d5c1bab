#pragma once
// Shared test helpers: error expectations, reference tables, the long-double solver.

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
#include <string_view>
#include <type_traits>
#include <vector>

#include "skarven/errors.hpp"

namespace skarven::test {

// The statement throws skarven::Error raised in `routine` with `message`.
#define EXPECT_ERROR(statement, routine, message)                                               \
    do {                                                                                        \
        SCOPED_TRACE(#statement);                                                               \
        ::skarven::test::expect_error([&] { static_cast<void>(statement); }, routine, message); \
    } while (0)

template <class Statement>
void expect_error(Statement statement, std::string_view routine, std::string_view message) {
    try {
        statement();
        ADD_FAILURE() << "no error; expected (" << routine << "): " << message;
    } catch (const Error& error) {
        EXPECT_EQ(error.routine(), routine);
        EXPECT_EQ(error.message(), message);
    }
}

// The numbers of tests/data/<name> row by row ('#' lines skipped), in double or long double.
template <class T = double>
std::vector<std::vector<T>> read_table(const std::string& name) {
    std::ifstream in(std::string(SKARVEN_TEST_DATA) + "/" + name);
    EXPECT_TRUE(in.good()) << "missing reference data " << name;
    std::vector<std::vector<T>> rows;
    std::string field;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        rows.emplace_back();
        for (std::istringstream fields(line); fields >> field;)
            rows.back().push_back(std::is_same_v<T, double> ? std::strtod(field.c_str(), nullptr)
                                                            : std::strtold(field.c_str(), nullptr));
    }
    return rows;
}

// The reference-table harness: each(row) on every row of tests/data/<table>, row number traced.
template <class T = double, class Each>
void for_rows(const std::string& table, std::size_t min_rows, Each each) {
    const auto rows = read_table<T>(table);
    EXPECT_GE(rows.size(), min_rows) << table;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(table + " row " + std::to_string(k + 1));
        each(rows[k]);
    }
}

// each(rows) on every case (run of rows equal in the first `key` columns); returns the count.
template <class T = double, class Each>
int for_cases(const std::string& table, std::size_t key, Each each) {
    const auto rows = read_table<T>(table);
    int cases = 0;
    for (auto a = rows.begin(), b = a; a != rows.end(); a = b, ++cases) {
        while (b != rows.end() && std::equal(a->begin(), a->begin() + key, b->begin()))
            ++b;
        SCOPED_TRACE(table + " case " + std::to_string(cases + 1));
        each(std::vector<std::vector<T>>(a, b));
    }
    return cases;
}

inline bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline double relative_error(double c, double e) {  // computed, expected
    return e == 0.0 ? std::fabs(c) : std::fabs(c - e) / std::fabs(e);
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
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path previous_, path_;
    std::error_code ignored_;
};

// The long-double reference solver: A x = b (column-major) by partial pivoting on D A D, with
// D = |A_ii|^-1/2 lowered where a coupling is larger, however widely the diagonal spreads.
struct ReferenceSolve {
    std::vector<long double> x, d;  // the solution (empty when a pivot is exactly zero), scaling
};

inline ReferenceSolve reference_solve(int n, std::vector<long double> a,
                                      std::vector<long double> b) {
    auto at = [&](int i, int j) -> long double& { return a[i + static_cast<std::size_t>(j) * n]; };
    ReferenceSolve r{{}, std::vector<long double>(n, 1.0L)};
    for (int i = 0; i < n; ++i)
        if (at(i, i) != 0.0L) r.d[i] = 1.0L / std::sqrt(std::fabs(at(i, i)));
    std::vector<long double> coupling(n, 1.0L);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (i != j) coupling[i] = std::max(coupling[i], std::fabs(at(i, j)) * r.d[i] * r.d[j]);
    for (int i = 0; i < n; ++i)
        a.push_back(b[i] * (r.d[i] /= coupling[i]));  // b is column n
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
    r.x.resize(n);
    for (int k = n - 1; k >= 0; --k) {
        for (int j = k + 1; j < n; ++j)
            at(k, n) -= at(k, j) * at(j, n);
        r.x[k] = (at(k, n) /= at(k, k)) * r.d[k];
    }
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

}  // namespace skarven::test
