// Free-solution coefficients over the whole range of basis sizes and energies against 60-digit
// values (tests/data/gen_coefficients_range.py): q^2 = 1, 40, 400, 2000, l = 0, 3, 20, sampled
// n <= 5000, both bases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "coefficients.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace skarven {
namespace {

struct Row {
    int n;
    long double s, c;  // beyond the range of a double at small n and large q^2
};

using Case = std::tuple<int, int, double>;  // basis (0 laguerre, 1 gauss), l, k

std::map<Case, std::vector<Row>> read_reference() {
    std::ifstream in(std::string(SKARVEN_TEST_DATA) + "/coefficients_range.txt");
    EXPECT_TRUE(in.good()) << "missing reference data coefficients_range.txt";
    std::map<Case, std::vector<Row>> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        int basis = 0, l = 0, n = 0;
        std::string k, s, c;
        fields >> basis >> l >> k >> n >> s >> c;
        cases[{basis, l, std::strtod(k.c_str(), nullptr)}].push_back(
            {n, std::strtold(s.c_str(), nullptr), std::strtold(c.c_str(), nullptr)});
    }
    return cases;
}

// Errors relative to sqrt(s_n^2 + c_n^2), after the one power of two the tables may carry.
TEST(CoefficientsAccuracy, MatchSixtyDigitValuesUpToN5000) {
    const auto cases = read_reference();
    ASSERT_EQ(cases.size(), 24u);
    for (const auto& [key, rows] : cases) {
        const auto [basis, l, k] = key;
        const long q2 = std::lround(k * k);
        sk_globals = RunSettings{};
        sk_globals.basis = padded(basis == 0 ? "laguerre" : "gauss", 8);
        sk_globals.projectile.l = l;
        sk_globals.projectile.k = k;
        sk_globals.lambda = 1.0;
        sk_globals.nend = 5000;
        sk_globals.pass = 1;
        SCOPED_TRACE(testing::Message() << basis << " q^2 = " << q2 << " l = " << l);
        const Row& end = rows.back();
        const long double ratio =
            std::hypot(static_cast<long double>(s(end.n)), c(end.n)) / std::hypot(end.s, end.c);
        const long shift = std::lround(std::log2(ratio));
        EXPECT_NEAR(static_cast<double>(std::log2(ratio)), static_cast<double>(shift), 1e-9);
        if (q2 <= 400) {
            EXPECT_EQ(shift, 0);  // natural size
        }
        const long double factor = std::ldexp(1.0L, static_cast<int>(shift));
        for (const Row& row : rows) {
            const long double size = factor * std::hypot(row.s, row.c);
            EXPECT_LT(std::fabs(s(row.n) - factor * row.s) / size, 1e-13) << row.n;
            EXPECT_LT(std::fabs(c(row.n) - factor * row.c) / size, 1e-13) << row.n;
        }
        s(1, CacheAction::release);
        c(1, CacheAction::release);
    }
    sk_globals = RunSettings{};
}

}  // namespace
}  // namespace skarven
