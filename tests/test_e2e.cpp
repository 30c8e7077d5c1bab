// Whole runs: a wrong dialogue, exit status, result-file layout or reuse of a saved matrix.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

std::string banner() {
    char cpus[16];
    std::snprintf(cpus, sizeof cpus, "%3d", omp_get_num_procs());
    return "\nStarting the SKARVEN program.\n Version: 2.01, 28/01/2007\n Compiled with OpenMP "
           "support. No. of CPUs available: " +
           std::string(cpus) + "\n\nEnter name of the input file  ( <cr> = sk.inp ).\n";
}

const std::string loading = "Loading parameters...\n", loaded = loading + "Load complete.\n",
                  file_list =
                      "\nThe following output files will be created:\n"
                      " <root>     - phase shifts as function of the basis size,\n"
                      " <root>.avg - averaged phase shifts as function of the basis size,\n"
                      " <root>.en  - phase shifts as function of energy of the projectile,\n"
                      " <root>.rms - root mean squared error (for square-well potential only),\n"
                      " saved.vn.<nend>  - elements of the truncated potential.\n"
                      "Enter root name of the output files ( <cr> = sk.out ).\n";

// The end of a complete run, with the CPU time split into hours, minutes and seconds.
const std::regex closing(
    "\nElapsed CPU time: [ 0-9]{4}[0-9] hour\\(s\\), [ 0-9][0-9] minute\\(s\\), "
    "[ 0-9][0-9]\\.[0-9]{2} second\\(s\\)\\.\n\nSKARVEN complete\\.\n\n$");

void expect_complete_run(const RunResult& run) {
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out.starts_with(banner() + loaded + file_list)) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, closing)) << run.out;
}

// Each case: the parameter file's name and text, the answers, and the result file that must
// appear or else the error line that ends the run; extreme settings end promptly, never hang.
TEST(Dialogue, AnswersDefaultsAndErrors) {
    const std::string tiny = user(2), load_error = "Error (loadparams): ";
    const std::string shell =
                          "pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nl = 0\ne = 1.0\n"
                          "nend = 20\nscreen = F\nscheme = non-relativistic\n",
                      laguerre = shell + "basis = laguerre\n",
                      gauss = shell + "basis = gauss\na = 0.0\n",
                      window = "energies = T\nestart = 1.0\neend = 2.0\n";
    const struct {
        std::string name, input, answers, result, error;
    } cases[] = {
        {"sk.inp", tiny, "\n\n", "sk.out", ""},
        {"sk.inp", tiny, "    \n   \n", "sk.out", ""},
        {"sk.inp", tiny, "", "sk.out", ""},
        {"mine.inp", tiny, "mine.inp", "sk.out", ""},
        {"run.par", tiny, "run.par   \nresult   \n", "result", ""},
        {"other.inp", tiny, "\n\n", "", load_error + "unable to open the input file."},
        {"sk.inp", tiny.substr(0, tiny.find("nend")), "\n\n", "",
         load_error + "required parameter missing: <nend>."},
        {"sk.inp", tiny, "\nno/such/directory/out\n", "",
         "Error (control_calc_delta): unable to open the output file."},
        {"sk.inp", laguerre + "lambda = 1e16\nsolver = fast\n", "", "",
         load_error + "<a> lies beyond the reach of the basis."},
        {"sk.inp", laguerre + "l = -2147483648\n", "", "", load_error + "<l> is out of range."},
        {"sk.inp", laguerre + window + "estep = 1e-12\n", "", "",
         load_error + "<estep> is too small for the energy range."},
        {"sk.inp", gauss + window + "lambda = 1e300\nsolver = fast\n", "", "",
         load_error + "<lambda> is out of range."},
        {"sk.inp",
         gauss + window + "scheme = relativistic\nkappa = -1\nv0 = 1.79e308\nsolver = fast\n", "",
         "", load_error + "<v0> is out of range."},
        {"sk.inp", gauss + window + "l = -2\nsolver = fast\n", "", "",
         load_error + "<l> is out of range."},
        {"sk.inp", gauss + "lambda = 0.01\ne = 2.0\n", "", "",
         load_error + "<e> is too large for <lambda> in gaussian basis."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + c.answers);
        RunDirectory dir;
        dir.write(c.name, c.input);
        const RunResult run = dir.run(c.answers, 60);
        if (c.error.empty()) {
            expect_complete_run(run);
            EXPECT_TRUE(dir.exists(c.result));
            EXPECT_EQ(c.result == "sk.out", dir.exists("sk.out"));
        } else if (c.error.starts_with(load_error)) {  // ends before the file list
            expect_failure(run, c.error);
            EXPECT_EQ(run.out, banner() + loading + c.error + "\n");
        } else {
            expect_failure(run, c.error);
            EXPECT_TRUE(run.out.starts_with(banner() + loaded + file_list)) << run.out;
        }
    }
}

// Answers are cut to 100 characters with a warning (blanks after them cut nothing); warnings
// go to standard output and the run goes on.
TEST(Dialogue, LongAnswersAreCutWithAWarning) {
    RunDirectory dir;
    const std::string name(100, 'p'), root(100, 'r'), cut = " Warning (skarven): ";
    dir.write(name, user(2, "colour = blue\n"));
    const RunResult run = dir.run(name + "ignored\n" + root + "ignored\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out.starts_with(
        banner() + cut + "the name of the input file has been cut to its first 100 characters <" +
        name + ">.\n" + loading +
        " Warning (loadparams): unknown parameter <colour> = <blue> has been ignored.\n"
        "Load complete.\n" +
        file_list + cut +
        "the root name of the output files has been cut to its first 100 characters <" + root +
        ">.\n"))
        << run.out;
    EXPECT_TRUE(dir.exists(root));
    dir.write(name, user(2));
    expect_complete_run(dir.run(name + "     \n" + root + "   \n"));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines after the header block, which ends at its second lone ";".
std::vector<std::string> body_of(const std::string& text) {
    const std::vector<std::string> lines = lines_of(text);
    auto at = std::find(lines.begin(), lines.end(), ";");
    if (at != lines.end()) at = std::find(at + 1, lines.end(), ";");
    return {at == lines.end() ? at : at + 1, lines.end()};
}

const std::string well =
    "pot_type = well\nv0 = -1.0\na = 0.0\nb = 1.0\nscheme = non-relativistic\n"
    "basis = laguerre\nl = 0\ne = 1.0\n";

RunResult run_in(const RunDirectory& dir, const std::string& params, const std::string& root) {
    dir.write("run.inp", params);
    return dir.run("run.inp\n" + root + "\n");
}

TEST(ResultFiles, Layouts) {
    RunDirectory dir;
    const std::string energies = "energies = T\nestart = 0.5\neend = ";
    RunResult run = run_in(dir, well + "nend = 60\n" + energies + "1.0\nestep = 0.25\n", "well");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> body = body_of(dir.read("well")),
                                   energy = body_of(dir.read("well.en")),
                                   averages = body_of(dir.read("well.avg"));
    ASSERT_EQ(body.size(), 64u);
    ASSERT_EQ(energy.size(), 4u);
    ASSERT_EQ(averages.size(), 1u);
    EXPECT_EQ(body[0] + body[1] + body[2] + body[3],
              "; ANALYTICAL RESULT; delta =    0.731005086556607;; NUMERICAL RESULTS:  N   "
              "tan(delta)   delta");
    for (std::size_t i = 4; i < body.size(); ++i) {
        EXPECT_TRUE(std::regex_match(body[i], std::regex("[ 0-9]{5}( *-?[0-9]+\\.[0-9]{16}){2}")));
        EXPECT_EQ(body[i].size(), 57u) << body[i];
        EXPECT_EQ(std::stoi(body[i].substr(0, 5)), static_cast<int>(i) - 3);
    }
    EXPECT_EQ(energy[0], "; NUMERICAL RESULTS: energy  tan(delta)  delta  delta_analytical");
    for (std::size_t i = 1; i < energy.size(); ++i) {
        EXPECT_TRUE(std::regex_match(energy[i],
                                     std::regex(" *[0-9]\\.[0-9]{6}( *-?[0-9]+\\.[0-9]{16}){3}")));
        EXPECT_EQ(energy[i].size(), 88u) << energy[i];
    }
    EXPECT_EQ(energy[1].substr(0, 10) + energy[3].substr(0, 10), "  0.500000  1.000000");
    EXPECT_EQ(energy[3].substr(10, 52), body.back().substr(5, 52));  // same energy, same N
    EXPECT_TRUE(std::regex_match(averages[0], std::regex("   50 {6}0\\.[0-9]{18}"))) << averages[0];
    EXPECT_FALSE(dir.exists("well.rms"));
    EXPECT_TRUE(dir.exists("saved.vn.60"));
    for (const char* part :
         {"\ndelta_analytic =  0.7310050865566070\n",
          "\n\nCalculating numerical phase shifts for fixed projectile energy:\n n =    1   "
          "delta =  ",
          " (Info: Not enough data points to calculate RMS.)\n",
          "\n\nNow calculating phase shifts for a given energy range; n =    60:\n energy =  "
          "0.500000  delta =  ",
          "           delta_analytic =   0.8454245551484233\n"})
        EXPECT_TRUE(contains(run.out, part)) << part;

    // Without an analytic value there is no fourth column; screen = F prints only the notes.
    run = run_in(dir,
                 user(5, "pot_type = yukawa\ng = 1\nm = 1\nr0 = 0\nl = 1\ne = 0.5\n") + energies +
                     "0.6\nestep = 0.1\n",
                 "yuk");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(body_of(dir.read("yuk")).at(0), "; NUMERICAL RESULTS:  N   tan(delta)   delta");
    const std::vector<std::string> yukawa = body_of(dir.read("yuk.en"));
    ASSERT_EQ(yukawa.size(), 3u);
    EXPECT_EQ(yukawa[0], "; NUMERICAL RESULTS: energy  tan(delta)  delta");
    EXPECT_EQ(yukawa[1].size(), 62u);
    EXPECT_FALSE(contains(run.out, " n ="));
    EXPECT_TRUE(contains(run.out, " (Info: Not enough data points to perform averaging.)\n"));
    EXPECT_TRUE(
        contains(run.out, " (Info: Analytical result not known. RMS will not be calculated.)\n"));
}

// A later run with the same settings reads the saved matrix at its first basis size and prints
// the same phase shifts; "sk.par" adds one save; another lambda does not match.
TEST(ResultFiles, RerunReusesTheSavedMatrix) {
    RunDirectory dir;
    const std::string shell =
                          "pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nkappa = -1\nl = 0\n"
                          "scheme = relativistic\nbasis = laguerre\ne = 1.0\nnstart = 8\n",
                      info = " (Info: Elements of the truncated potential have been read from";
    ASSERT_EQ(run_in(dir, shell + "nend = 8\n", "first").status, 0);
    const std::string saved = dir.read("saved.vn.8");
    const RunResult again = run_in(dir, shell + "nend = 8\n", "again");
    EXPECT_TRUE(contains(again.out, info));
    EXPECT_EQ(body_of(dir.read("again")), body_of(dir.read("first")));
    EXPECT_EQ(dir.read("saved.vn.8"), saved);  // not rewritten
    dir.write("sk.par", "9\n");
    EXPECT_TRUE(contains(run_in(dir, shell + "nend = 10\n", "grown").out, info));
    EXPECT_TRUE(dir.exists("saved.vn.9") && dir.exists("saved.vn.10"));
    EXPECT_FALSE(contains(run_in(dir, shell + "lambda = 1.5\nnend = 8\n", "other").out, info));
}

// The fast route writes the same files with one more header line; numbers differ in their
// last digits only.
TEST(ResultFiles, FastRouteWritesTheSameFiles) {
    RunDirectory dir;
    const std::string params =
        "pot_type = well\nv0 = -1.0\na = 0.5\nb = 1.0\nscheme = relativistic\nkappa = 1\nl = 1\n"
        "basis = gauss\ne = 1.0\nnend = 20\nenergies = T\nestart = 0.5\neend = 1.0\n";
    ASSERT_EQ(run_in(dir, params, "eigen").status, 0);
    ASSERT_EQ(run_in(dir, params + "solver = fast\n", "fast").status, 0);
    for (const std::string suffix : {"", ".en"}) {
        std::string fast = dir.read("fast" + suffix);
        const std::size_t at = fast.find("\n; shift    = F\n; solver   = fast\n");
        ASSERT_NE(at, std::string::npos) << fast;
        const std::vector<std::string> a = lines_of(dir.read("eigen" + suffix)),
                                       b = lines_of(fast.erase(at + 16, 18));
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 2; i < a.size(); ++i) {
            const Rows x = data_rows(a[i]), y = data_rows(b[i]);
            EXPECT_TRUE(!x.empty() || a[i] == b[i]) << a[i] << "\n" << b[i];
            for (std::size_t j = 0; !x.empty() && j < x[0].size(); ++j)
                EXPECT_NEAR(x[0][j], y.at(0).at(j), 1e-10) << a[i] << "\n" << b[i];
        }
    }
}

}  // namespace
}  // namespace skarven::test
