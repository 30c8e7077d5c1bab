#pragma once
// Shared test helpers: fatal-error expectations and reference-data reading.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings.hpp"

namespace skarven::test {

// Fatal errors print on standard output; death tests match standard error, so the statement's
// standard output is sent there. The threadsafe style re-executes the test binary, which is safe
// with OpenMP worker threads alive.
#define EXPECT_FATAL(statement, pattern)                \
    do {                                                \
        GTEST_FLAG_SET(death_test_style, "threadsafe"); \
        EXPECT_EXIT(                                    \
            {                                           \
                ::dup2(2, 1);                           \
                statement;                              \
            },                                          \
            ::testing::ExitedWithCode(1), pattern);     \
    } while (0)

// Rows of whitespace-separated numbers from tests/data/<name>; lines starting with '#' skipped.
inline std::vector<std::vector<double>> read_table(const std::string& name) {
    std::ifstream in(std::string(SKARVEN_TEST_DATA) + "/" + name);
    EXPECT_TRUE(in.good()) << "missing reference data " << name;
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        std::string field;
        while (fields >> field)
            row.push_back(std::strtod(field.c_str(), nullptr));
        rows.push_back(std::move(row));
    }
    return rows;
}

inline double relative_error(double computed, double expected) {
    if (expected == 0.0) return std::fabs(computed);
    return std::fabs(computed - expected) / std::fabs(expected);
}

// Fresh run settings for each test.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { sk_globals = RunSettings{}; }
    void TearDown() override { sk_globals = RunSettings{}; }
};

}  // namespace skarven::test
