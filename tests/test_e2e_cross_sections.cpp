// Whole runs with wrong numbers: high-energy phase shifts and cross sections against references.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <initializer_list>
#include <numbers>
#include <string>
#include <vector>

#include "e2e_support.hpp"
#include "test_support.hpp"

namespace skarven::test {
namespace {

using std::numbers::pi;

// The data lines of `files` after one run of user(nend, lines(extra)) at nstart = nend.
std::vector<Rows> run_rows(int nend, const std::string& extra,
                           std::initializer_list<const char*> files) {
    RunDirectory dir;
    dir.write("sk.inp", user(nend, lines("nstart = " + std::to_string(nend) + "|" + extra)));
    const RunResult run = dir.run("\n\n");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::vector<Rows> rows;
    for (const char* file : files)
        rows.push_back(data_rows(dir.read(file)));
    return rows;
}

// Where the oscillator basis needs extended precision (q^2 = 40, 100), large-N block averages match
// an independent radial integration (tests/data/gen_yukawa_high_energy.py; spread 1.5e-5, 6e-5).
TEST(WholeRun, HighEnergyOscillatorBasisMatchesTheRadialEquation) {
    const auto reference = read_table("yukawa_high_energy.txt");
    ASSERT_EQ(reference.size(), 2u);
    const std::string yukawa =
        "nstart = 1|pot_type = yukawa|g = 1.5|m = 1|r0 = 3|basis = gauss|solver = fast|";
    const struct {
        int nend;
        std::string extra;
        double delta, tolerance;
    } cases[] = {{3000, yukawa + "e = 200|lambda = 2", reference[0][2], 4e-5},
                 {2000, yukawa + "scheme = relativistic|v_light = finite|e = 20|kappa = -1",
                  reference[1][2], 1.5e-4}};
    for (const auto& c : cases) {
        const Rows averages = run_rows(c.nend, c.extra, {"sk.out.avg"})[0];
        ASSERT_GE(averages.size(), 3u) << c.extra;
        for (std::size_t i = averages.size() - 3; i < averages.size(); ++i)
            EXPECT_NEAR(averages[i][1], c.delta, c.tolerance) << c.extra << averages[i][0];
    }
}

const std::string waves = "solver = fast|energies = T|";

// The Dirac shell against sums over its exact phase shifts (tests/data/gen_cross_sections.py);
// its edges make delta_N converge slowly: at N = 600 (or 1000) the sums are within 2e-4.
TEST(WholeRun, CrossSectionsMatchSumsOverExactPhaseShifts) {
    const Rows reference = read_table("cross_sections_reference.txt");
    ASSERT_EQ(reference.size(), 9u);
    const Rows xs = run_rows(600,
                             waves +
                                 "pot_type = well|v0 = -1|a = 0.5|b = 1|lmax = 8|"
                                 "scheme = relativistic|v_light = finite|kappa = -1|"
                                 "estart = 0.5|eend = 1.5|estep = 0.5",
                             {"sk.out.xs"})[0];
    ASSERT_EQ(xs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<double>& ref = reference[6 + i];
        EXPECT_DOUBLE_EQ(xs[i][0], ref[1]);
        EXPECT_LT(relative_error(xs[i][1], ref[5]), 1e-3) << ref[1];
        EXPECT_LT(relative_error(xs[i][2], ref[6]), 1e-3) << ref[1];
    }
}

// sigma against (4 pi / k) Im f(0) from root.pw's phase shifts, sigma and sigma_tr against
// Simpson sums of root.dcs over the sphere.
TEST(WholeRun, OpticalTheoremAndAngularIntegrals) {
    const std::vector<Rows> run =
        run_rows(200,
                 waves +
                     "pot_type = yukawa|g = 1|m = 1|r0 = 0|estart = 0.5|eend = 2.5|"
                     "estep = 1|lmax = 12|angles = 2001",
                 {"sk.out.pw", "sk.out.xs", "sk.out.dcs"});
    const Rows &pw = run[0], &xs = run[1], &dcs = run[2];
    ASSERT_TRUE(pw.size() == 3 && xs.size() == 3 && dcs.size() == 3 * 2001);
    for (std::size_t i = 0; i < 3; ++i) {
        const double k = std::sqrt(2.0 * xs[i][0]);
        std::complex<double> forward;
        for (std::size_t l = 0; l + 1 < pw[i].size(); ++l)
            forward += (2.0 * l + 1.0) * (std::polar(1.0, 2.0 * pw[i][l + 1]) - 1.0);
        EXPECT_LT(relative_error(-2.0 * pi / (k * k) * forward.real(), xs[i][1]), 1e-10);
        double sigma = 0.0, transport = 0.0;
        for (int a = 0; a <= 2000; ++a) {
            const double theta = dcs[i * 2001 + a][0] * pi / 180.0,
                         weight = (a == 0 || a == 2000) ? 1.0 : (a % 2 == 1 ? 4.0 : 2.0),
                         dsigma = weight * dcs[i * 2001 + a][1] * std::sin(theta);
            sigma += dsigma;
            transport += dsigma * (1.0 - std::cos(theta));
        }
        EXPECT_LT(relative_error(2.0 * pi * (pi / 2000) / 3.0 * sigma, xs[i][1]), 1e-6);
        EXPECT_LT(relative_error(2.0 * pi * (pi / 2000) / 3.0 * transport, xs[i][2]), 1e-6);
    }
}

// The loop stops after the first two l with |sin delta| < lconv at every energy; the waves left
// out change sigma by < 1e-8 relative (the cut at r0 = 1 keeps high waves' errors below lconv).
TEST(WholeRun, PartialWavesStopEarly) {
    const std::string yukawa = waves +
                               "pot_type = yukawa|g = 1|m = 1|r0 = 1|lmax = 40|"
                               "estart = 2|eend = 4|estep = 1|lconv = ";
    const Rows stopped = run_rows(300, yukawa + "1e-6", {"sk.out.xs"})[0];
    const std::vector<Rows> full = run_rows(300, yukawa + "1e-300", {"sk.out.xs", "sk.out.pw"});
    ASSERT_TRUE(!stopped.empty() && full[0].size() == stopped.size());
    const int reached = static_cast<int>(stopped[0][3]);
    ASSERT_LT(reached, 40);
    EXPECT_EQ(full[0][0][3], 40.0);
    const auto quiet = [&](int l) {  // column l + 1 of root.pw holds wave l
        for (const std::vector<double>& row : full[1])
            if (std::fabs(std::sin(row[l + 1])) >= 1e-6) return false;
        return true;
    };
    EXPECT_TRUE(quiet(reached) && quiet(reached - 1));
    for (int l = 1; l < reached - 1; ++l)
        EXPECT_FALSE(quiet(l) && quiet(l + 1)) << l;
    for (std::size_t i = 0; i < stopped.size(); ++i)
        EXPECT_LT(relative_error(stopped[i][1], full[0][i][1]), 1e-8);
}

// A square well under a Coulomb tail, one run: delta_l against the matched phase shifts
// (tests/data/coulomb_well.txt, e = 1), sigma_l beside each against mpmath (coulomb_phase.txt,
// eta = 0.5 at e = 2), theta = 0 left out with the loader's warning, the ratio to the Rutherford
// formula, and sigma_tr_N against a Simpson sum of (1 - cos theta)(dsigma/dOmega - Rutherford).
TEST(WholeRun, CrossSectionsUnderACoulombTail) {
    RunDirectory dir;
    dir.write("sk.inp",
              user(300, lines(waves + "nstart = 300|pot_type = well|v0 = -1|a = 0|b = 1|zc = 1|"
                                      "lmax = 8|estart = 0.5|eend = 2|estep = 0.5|angles = 2001")));
    const RunResult run = dir.run("\n\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out,
                         " Warning (loadparams): theta = 0 has been left out of <angles>: "
                         "the Rutherford amplitude is infinite there.\n"));
    const Rows pw = data_rows(dir.read("sk.out.pw")), xs = data_rows(dir.read("sk.out.xs")),
               dcs = data_rows(dir.read("sk.out.dcs")), en = data_rows(dir.read("sk.out.en"));
    ASSERT_TRUE(pw.size() == 4 && xs.size() == 4 && dcs.size() == 4 * 2000 && en.size() == 4);
    EXPECT_TRUE(
        contains(dir.read("sk.out.xs"), "; NUMERICAL RESULTS: energy  sigma_N  sigma_tr_N"));
    const auto delta = [&](int i, int l) { return pw[i][1 + 2 * l]; };
    const auto phase = [&](int i, int l) { return pw[i][2 + 2 * l]; };
    int exact = 0;
    // Columns zc, v0, a, b, l, e, delta.
    for_rows("coulomb_well.txt", 42, [&](const std::vector<double>& r) {
        if (r[0] != 1.0 || r[1] != -1.0 || r[2] != 0.0 || r[3] != 1.0 || r[5] != 1.0) return;
        EXPECT_NEAR(delta(1, static_cast<int>(r[4])), r[6], 2e-3) << "l = " << r[4];
        ++exact;
    });
    EXPECT_EQ(exact, 3);
    // The basis-size pass at e = 1 names sigma_l of its wave in the header.
    const std::string by_size = dir.read("sk.out");
    const std::size_t line = by_size.find("\n; sigma_l  = ");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(std::stod(by_size.substr(line + 14, 22)), phase(1, 0));
    for (auto [l, sigma] :
         {std::pair(0, -2.4405829890542776e-1), std::pair(1, 2.1958931009537835e-1),
          std::pair(2, 4.6456797322224251e-1), std::pair(5, 8.5374029767479281e-1)})
        EXPECT_NEAR(phase(3, l), sigma, 1e-15) << l;
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(en[i].back(), phase(i, 0));  // the energy pass ends its lines with sigma_l
        const double k = std::sqrt(2.0 * xs[i][0]), eta = 1.0 / k;
        double transport = 0.0;
        for (int a = 1; a <= 2000; ++a) {
            const std::vector<double>& row = dcs[i * 2000 + a - 1];
            const double theta = row[0] * pi / 180.0, s = std::sin(0.5 * theta),
                         rutherford = eta * eta / (4.0 * k * k * s * s * s * s);
            EXPECT_LT(relative_error(row[2], row[1] / rutherford), 1e-14);
            const double weight = a == 2000 ? 1.0 : (a % 2 == 1 ? 4.0 : 2.0);
            transport += weight * (row[1] - rutherford) * (1.0 - std::cos(theta)) * std::sin(theta);
        }
        EXPECT_EQ(dcs[i * 2000][0], 0.09);
        EXPECT_LT(relative_error(2.0 * pi * (pi / 2000) / 3.0 * transport, xs[i][2]), 1e-6);
    }
}

}  // namespace
}  // namespace skarven::test
