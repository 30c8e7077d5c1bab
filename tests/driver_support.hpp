#pragma once
// In-process runs of the phase-shift driver in a temporary working directory.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver.hpp"
#include "settings.hpp"
#include "test_support.hpp"

namespace skarven::test {

struct RunSetup {
    std::string scheme = "non-relativistic";
    std::string basis = "laguerre";
    std::string pot_type = "well";
    double lambda = 1.0;
    int l = 0;
    int kappa = 0;
    double e = 1.0;
    int nstart = 1;
    int nend = 10;
    double v0 = -1.0, a = 0.0, b = 1.0;
    double r0 = 0.0, z = 0.0, alpha = 0.0, g = 0.0, m = 0.0;
    std::string vol = "infinite";
    bool energies = false;
    double estart = 0.0, eend = 0.0, estep = 0.0;
    bool shift = false;
    std::string solver = "eigen";
    // Turns the energy pass on.
    RunSetup& energy_range(double start, double end, double step) {
        energies = true;
        estart = start;
        eend = end;
        estep = step;
        return *this;
    }
};

// What loadparams would leave for these settings.
inline void apply(const RunSetup& s) {
    sk_globals = RunSettings{};
    sk_globals.scheme = padded(s.scheme, 16);
    sk_globals.basis = padded(s.basis, 8);
    sk_globals.potential.pot_type = padded(s.pot_type, 8);
    sk_globals.lambda = s.lambda;
    sk_globals.projectile.l = s.l;
    sk_globals.projectile.kappa = s.kappa;
    sk_globals.projectile.e = s.e;
    sk_globals.nstart = s.nstart;
    sk_globals.nend = s.nend;
    sk_globals.potential.v0 = s.v0;
    sk_globals.potential.a = s.a;
    sk_globals.potential.b = s.b;
    sk_globals.potential.r0 = s.r0;
    sk_globals.potential.z = s.z;
    sk_globals.potential.alpha = s.alpha;
    sk_globals.potential.g = s.g;
    sk_globals.potential.m = s.m;
    sk_globals.vol = padded(s.scheme == "relativistic" ? s.vol : "", 8);
    sk_globals.v_light =
        s.scheme == "relativistic" && s.vol == "finite" ? 137.0359996287515 : 5000.0;
    sk_globals.energies = s.energies;
    sk_globals.estart = s.estart;
    sk_globals.eend = s.eend;
    sk_globals.estep = s.estep;
    sk_globals.shift = s.shift;
    sk_globals.scr = false;
    sk_globals.solver = padded(s.solver, 8);
}

struct Point {
    double x;  // N or energy
    double tan_delta;
    double delta;
};

// Data lines of a result file (everything after the header and marker lines).
inline std::vector<Point> read_points(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<Point> points;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == ';') continue;
        std::istringstream fields(line);
        Point p{};
        fields >> p.x >> p.tan_delta >> p.delta;
        points.push_back(p);
    }
    return points;
}

// A fresh temporary working directory for the duration of a test.
class DriverTest : public ::testing::Test {
  protected:
    void TearDown() override { sk_globals = RunSettings{}; }
    // Runs both passes for `setup` and returns the basis-size points.
    std::vector<Point> run(const RunSetup& setup, const std::string& root = "out") {
        apply(setup);
        control_calc_delta(root);
        return read_points(dir_ / root);
    }
    ScratchDirectory scratch_;
    const std::filesystem::path& dir_ = scratch_.path();
};

}  // namespace skarven::test
