// Guards against wrong result-file layouts, screen lines and saved-matrix reuse in whole runs.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Lines after the header block (which ends at its second lone ";").
std::vector<std::string> body_of(const std::string& text) {
    std::vector<std::string> lines = lines_of(text);
    int separators = 0;
    std::size_t i = 0;
    for (; i < lines.size() && separators < 2; ++i) {
        if (lines[i] == ";") ++separators;
    }
    return {lines.begin() + static_cast<long>(i), lines.end()};
}

const std::string well_settings =
    "pot_type = well\nv0 = -1.0\na = 0.0\nb = 1.0\nscheme = non-relativistic\n"
    "basis = laguerre\nl = 0\ne = 1.0\n";

RunResult run_in(const RunDirectory& dir, const std::string& params, const std::string& root) {
    dir.write("run.inp", params);
    return dir.run("run.inp\n" + root + "\n");
}

TEST(ResultFiles, SquareWellLayouts) {
    RunDirectory dir;
    const RunResult run = run_in(
        dir, well_settings + "nend = 60\nenergies = T\nestart = 0.5\neend = 1.0\nestep = 0.25\n",
        "well");
    ASSERT_EQ(run.status, 0) << run.out;

    const std::vector<std::string> body = body_of(dir.read("well"));
    ASSERT_EQ(body.size(), 64u);
    EXPECT_EQ(body[0], "; ANALYTICAL RESULT");
    EXPECT_EQ(body[1], "; delta =    0.731005086556607");
    EXPECT_EQ(body[2], ";");
    EXPECT_EQ(body[3], "; NUMERICAL RESULTS:  N   tan(delta)   delta");
    const std::regex data_line("[ 0-9]{5}( {0,25}-?[0-9]+\\.[0-9]{16}){2}");
    for (std::size_t i = 4; i < body.size(); ++i) {
        EXPECT_EQ(body[i].size(), 57u) << body[i];
        EXPECT_TRUE(std::regex_match(body[i], data_line)) << body[i];
        EXPECT_EQ(std::stoi(body[i].substr(0, 5)), static_cast<int>(i) - 3);
    }

    const std::vector<std::string> energy = body_of(dir.read("well.en"));
    ASSERT_EQ(energy.size(), 4u);
    EXPECT_EQ(energy[0], "; NUMERICAL RESULTS: energy  tan(delta)  delta  delta_analytical");
    const std::regex energy_line(" {0,2}[0-9]\\.[0-9]{6}( {0,25}-?[0-9]+\\.[0-9]{16}){3}");
    for (std::size_t i = 1; i < energy.size(); ++i) {
        EXPECT_EQ(energy[i].size(), 88u) << energy[i];
        EXPECT_TRUE(std::regex_match(energy[i], energy_line)) << energy[i];
    }
    EXPECT_EQ(energy[1].substr(0, 10), "  0.500000");
    EXPECT_EQ(energy[3].substr(0, 10), "  1.000000");
    // The last energy is the basis-size pass's energy at the same N.
    EXPECT_EQ(energy[3].substr(10, 52), body.back().substr(5, 52));

    const std::vector<std::string> averages = body_of(dir.read("well.avg"));
    ASSERT_EQ(averages.size(), 1u);
    EXPECT_TRUE(std::regex_match(averages[0], std::regex("   50 {6}0\\.[0-9]{18}"))) << averages[0];
    EXPECT_FALSE(dir.exists("well.rms"));
    EXPECT_TRUE(dir.exists("saved.vn.60"));

    // Screen: the analytic value, one line per basis size and per energy, the notes.
    EXPECT_NE(run.out.find("\ndelta_analytic =  0.7310050865566070\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n\nCalculating numerical phase shifts for fixed projectile energy:\n"
                           " n =    1   delta =  "),
              std::string::npos);
    EXPECT_NE(run.out.find(" (Info: Not enough data points to calculate RMS.)\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("\n\nNow calculating phase shifts for a given energy range; n =    60:\n"
                           " energy =  0.500000  delta =  "),
              std::string::npos);
    EXPECT_NE(run.out.find("           delta_analytic =   0.8454245551484233\n"),
              std::string::npos);
}

TEST(ResultFiles, WithoutAnalyticValueThereIsNoFourthColumn) {
    RunDirectory dir;
    const RunResult run =
        run_in(dir,
               "pot_type = yukawa\ng = 1\nm = 1\nr0 = 0\nscheme = non-relativistic\n"
               "basis = laguerre\nl = 1\ne = 0.5\nnend = 5\nscreen = F\n"
               "energies = T\nestart = 0.5\neend = 0.6\nestep = 0.1\n",
               "yuk");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> body = body_of(dir.read("yuk"));
    ASSERT_EQ(body.size(), 6u);
    EXPECT_EQ(body[0], "; NUMERICAL RESULTS:  N   tan(delta)   delta");
    const std::vector<std::string> energy = body_of(dir.read("yuk.en"));
    ASSERT_EQ(energy.size(), 3u);
    EXPECT_EQ(energy[0], "; NUMERICAL RESULTS: energy  tan(delta)  delta");
    EXPECT_EQ(energy[1].size(), 62u);
    // Screen off: only the dialogue, the loader and the notes.
    EXPECT_EQ(run.out.find(" n ="), std::string::npos);
    EXPECT_NE(run.out.find(" (Info: Not enough data points to perform averaging.)\n"),
              std::string::npos);
    EXPECT_NE(run.out.find(" (Info: Analytical result not known. RMS will not be calculated.)\n"),
              std::string::npos);
}

// A later run with the same settings reads the saved matrix at its first basis size and prints
// the same phase shifts; "sk.par" adds one save; another lambda does not match.
TEST(SavedPotential, RerunReusesTheMatrix) {
    RunDirectory dir;
    const std::string shell =
        "pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nscheme = relativistic\n"
        "kappa = -1\nbasis = laguerre\nl = 0\ne = 1.0\n";
    ASSERT_EQ(run_in(dir, shell + "nend = 8\n", "first").status, 0);
    const std::string saved = dir.read("saved.vn.8");
    ASSERT_FALSE(saved.empty());

    const RunResult again = run_in(dir, shell + "nstart = 8\nnend = 8\n", "again");
    ASSERT_EQ(again.status, 0);
    const std::string info =
        " (Info: Elements of the truncated potential have been read from file.)\n";
    EXPECT_NE(again.out.find(info), std::string::npos);
    EXPECT_EQ(body_of(dir.read("again")).back(), body_of(dir.read("first")).back());
    EXPECT_EQ(dir.read("saved.vn.8"), saved);  // not rewritten

    dir.write("sk.par", "9\n");
    const RunResult grown = run_in(dir, shell + "nstart = 8\nnend = 10\n", "grown");
    ASSERT_EQ(grown.status, 0);
    EXPECT_NE(grown.out.find(info), std::string::npos);
    EXPECT_TRUE(dir.exists("saved.vn.9"));
    EXPECT_TRUE(dir.exists("saved.vn.10"));

    const RunResult other = run_in(dir, shell + "lambda = 1.5\nnstart = 8\nnend = 8\n", "other");
    ASSERT_EQ(other.status, 0);
    EXPECT_EQ(other.out.find(info), std::string::npos);
}

// The fast route writes the same files line for line, with its header line and the numbers'
// last digits as the only differences.
TEST(Solvers, FastRouteWritesTheSameFiles) {
    for (const std::string& params :
         {well_settings + "nend = 40\nenergies = T\nestart = 0.5\neend = 1.5\nestep = 0.25\n",
          std::string("pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nscheme = relativistic\n"
                      "kappa = 1\nbasis = gauss\nl = 1\ne = 1.0\nnend = 20\nenergies = T\n"
                      "estart = 0.5\neend = 1.0\n")}) {
        RunDirectory dir;
        ASSERT_EQ(run_in(dir, params, "eigen").status, 0);
        ASSERT_EQ(run_in(dir, params + "solver = fast\n", "fast").status, 0);
        for (const char* suffix : {"", ".en"}) {
            const std::vector<std::string> eigen =
                lines_of(dir.read(std::string("eigen") + suffix));
            std::vector<std::string> fast = lines_of(dir.read(std::string("fast") + suffix));
            auto solver_line = std::find(fast.begin(), fast.end(), "; solver   = fast");
            ASSERT_NE(solver_line, fast.end());
            EXPECT_EQ(*(solver_line - 1), "; shift    = F");
            fast.erase(solver_line);
            ASSERT_EQ(eigen.size(), fast.size());
            for (std::size_t i = 2; i < eigen.size(); ++i) {
                if (eigen[i][0] == ';') {
                    EXPECT_EQ(eigen[i], fast[i]);
                    continue;
                }
                std::istringstream a(eigen[i]), b(fast[i]);
                double x = 0.0, y = 0.0;
                while (a >> x && b >> y)
                    EXPECT_NEAR(x, y, 1e-10) << eigen[i] << "\n" << fast[i];
            }
        }
    }
}

}  // namespace
}  // namespace skarven::test
