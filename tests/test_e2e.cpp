// Whole runs: a wrong dialogue, exit status or result-file layout.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

using std::numbers::pi;

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

// A complete run ends with the CPU time split into hours, minutes and seconds.
void expect_complete_run(const RunResult& run) {
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(run.out.starts_with(banner() + loaded + file_list)) << run.out;
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("\nElapsed CPU time: [ 0-9]{4}[0-9] hour\\(s\\), [ 0-9][0-9] "
                            "minute\\(s\\), [ 0-9][0-9]\\.[0-9]{2} second\\(s\\)\\.\n\n"
                            "SKARVEN complete\\.\n\n$")))
        << run.out;
}

// Each case: the parameter file's name and lines, the answers, and the result file that must
// appear or the error line that ends the run.
TEST(Dialogue, AnswersDefaultsAndErrors) {
    const std::string tiny = user(2);
    const struct {
        std::string input, outcome, answers = "\n\n", name = "sk.inp";
    } cases[] = {{tiny, "sk.out"},
                 {tiny, "sk.out", "    \n   \n"},
                 {tiny, "sk.out", ""},
                 {tiny, "sk.out", "mine.inp", "mine.inp"},
                 {tiny, "result", "run.par   \nresult   \n", "run.par"},
                 {tiny, "unable to open the input file <sk.inp>", "\n\n", "other.inp"},
                 {tiny.substr(0, tiny.find("nend")), "required parameter missing: <nend>"},
                 {tiny, "unable to open the output file <no/such/directory/out>",
                  "\nno/such/directory/out\n"},
                 {tiny, "unable to open the output file <taken>", "\ntaken\n", "sk.inp"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input + c.answers);
        RunDirectory dir;
        dir.write(c.name, c.input);
        if (c.answers == "\ntaken\n") std::filesystem::create_directory(dir.work() / "taken");
        const RunResult run = dir.run(c.answers, 60);
        if (c.outcome.find(' ') == std::string::npos) {
            expect_complete_run(run);
            EXPECT_TRUE(dir.exists(c.outcome));
            EXPECT_EQ(c.outcome == "sk.out", dir.exists("sk.out"));
        } else if (c.outcome.starts_with("unable to open the output file")) {
            expect_failure(run, "Error (control_calc_delta): " + c.outcome + ".");
            EXPECT_TRUE(run.out.starts_with(banner() + loaded + file_list)) << run.out;
        } else {  // the loader ends the run before the file list
            expect_failure(run, "Error (loadparams): " + c.outcome + ".");
            EXPECT_EQ(run.out, banner() + loading + "Error (loadparams): " + c.outcome + ".\n");
        }
    }
}

// Answers are cut to 100 characters with a warning on standard output (blanks cut nothing).
TEST(Dialogue, LongAnswersAreCutWithAWarning) {
    RunDirectory dir;
    const std::string name(100, 'p'), root(100, 'r'), cut = " Warning (skarven): the ";
    dir.write(name, user(2));
    const RunResult run = dir.run(name + "ignored\n" + root + "ignored\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(run.out.starts_with(
        banner() + cut + "name of the input file has been cut to its first 100 characters <" +
        name + ">.\n" + loaded + file_list + cut +
        "root name of the output files has been cut to its first 100 characters <" + root + ">.\n"))
        << run.out;
    EXPECT_TRUE(dir.exists(root));
    expect_complete_run(dir.run(name + "     \n" + root + "   \n"));
}

// The text of a result file after its header, which ends at its second lone ";".
std::string body_of(const std::string& text) {
    return text.substr(text.find("\n;\n", text.find("\n;\n") + 1) + 3);
}

RunResult run_in(const RunDirectory& dir, const std::string& params, const std::string& root) {
    dir.write("run.inp", params);
    return dir.run("run.inp\n" + root + "\n");
}

// Every file a run leaves, without the date line of its header.
std::string undated_files(const RunDirectory& dir) {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir.work()))
        paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());  // the directory's own order is not fixed
    std::string all;
    for (const auto& path : paths) {
        all += "== " + path.filename().string() + "\n";
        std::istringstream text(slurp(path));
        for (std::string line; std::getline(text, line);)
            if (!line.starts_with("; date:")) all += line + "\n";
    }
    return all;
}

// The program with command-line `arguments` (shell words) and nothing on standard input.
RunResult run_with_arguments(const RunDirectory& dir, const std::string& arguments) {
    const std::string base = "'" + dir.work().parent_path().string() + "'";
    const int status =
        std::system(("cd " + base + "/work && timeout -s KILL 600 '" SKARVEN_BINARY "' " +
                     arguments + " </dev/null >" + base + "/out 2>" + base + "/err")
                        .c_str());
    return {slurp(dir.work().parent_path() / "out"), slurp(dir.work().parent_path() / "err"),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Data lines of fixed width: N as I5, energies as F10.6, numbers as F26.16. The run named on the
// command line writes the same files, to the byte; its screen is without the two questions.
TEST(ResultFiles, LayoutsAndTheSameRunNamedOnTheCommandLine) {
    RunDirectory dir, named;
    const std::string number = "( +-?[0-9]+\\.[0-9]{16})", window = "energies = T|estart = 0.5|";
    const std::string well = user(60, lines("pot_type = well|v0 = -1|a = 0|b = 1|screen = T|" +
                                            window + "eend = 1|estep = 0.25"));
    RunResult run = run_in(dir, well, "well");
    ASSERT_EQ(run.status, 0) << run.out;
    named.write("run.inp", well);
    const RunResult given = run_with_arguments(named, "run.inp 'well  '");
    ASSERT_EQ(given.status, 0) << given.out << given.err;
    EXPECT_EQ(given.err, "");
    EXPECT_EQ(undated_files(named), undated_files(dir));
    std::string screen = run.out;
    for (const std::string question : {"Enter name of the input file  ( <cr> = sk.inp ).\n",
                                       "Enter root name of the output files ( <cr> = sk.out ).\n"})
        screen.erase(screen.find(question), question.size());
    const auto without_time = [](const std::string& text) {
        return std::regex_replace(text, std::regex("Elapsed CPU time: [^\n]*"), "");
    };
    EXPECT_EQ(without_time(given.out), without_time(screen));
    // An error of the run itself keeps its own status and line.
    expect_failure(run_with_arguments(named, "missing.inp out"),
                   "Error (loadparams): unable to open the input file <missing.inp>.");
    const std::string body = body_of(dir.read("well")), energy = body_of(dir.read("well.en"));
    EXPECT_TRUE(std::regex_match(
        body, std::regex("; ANALYTICAL RESULT\n; delta =    0\\.731005086556607\n;\n; NUMERICAL "
                         "RESULTS:  N   tan\\(delta\\)   delta\n((?=.{57}\n)[ 0-9]{5}" +
                         number + "{2}\n){60}")))
        << body;
    EXPECT_TRUE(std::regex_match(
        energy, std::regex("; NUMERICAL RESULTS: energy  tan\\(delta\\)  delta  delta_analytical\n"
                           "  0\\.500000.{78}\n((?=.{88}\n) *[0-9]\\.[0-9]{6}" +
                           number + "{3}\n){2}")))
        << energy;
    // The last energy is the basis-size pass's energy at the same N.
    EXPECT_EQ(energy.substr(energy.size() - 79, 52), body.substr(body.size() - 53, 52));
    EXPECT_TRUE(
        std::regex_match(body_of(dir.read("well.avg")), std::regex("   50 {6}0\\.[0-9]{18}\n")));
    EXPECT_TRUE(!dir.exists("well.rms") && dir.exists("saved.vn.60"));
    for (const char* part :
         {"\ndelta_analytic =  0.7310050865566070\n\nCalculating numerical phase shifts for "
          "fixed projectile energy:\n n =    1   delta =  ",
          " (Info: Not enough data points to calculate RMS.)\n\nNow calculating phase shifts "
          "for a given energy range; n =    60:\n energy =  0.500000  delta =  ",
          "           delta_analytic =   0.8454245551484233\n"})
        EXPECT_TRUE(contains(run.out, part)) << part << run.out;
    ASSERT_EQ(run_in(dir, well + "solver = fast\n", "fast").status, 0);
    EXPECT_TRUE(contains(dir.read("fast.en"), "\n; shift    = F\n; solver   = fast\n"));
    // Without an analytic value there is no fourth column; screen = F prints only the notes.
    run = run_in(dir,
                 user(5, lines("pot_type = yukawa|g = 1|m = 1|r0 = 0|l = 1|e = 0.5|" + window +
                               "eend = 0.6|estep = 0.1")),
                 "yuk");
    EXPECT_TRUE(
        body_of(dir.read("yuk")).starts_with("; NUMERICAL RESULTS:  N   tan(delta)   delta\n"));
    EXPECT_TRUE(std::regex_match(body_of(dir.read("yuk.en")),
                                 std::regex("; NUMERICAL RESULTS: energy  tan\\(delta\\)  delta\n"
                                            "(.{62}\n){2}")));
    EXPECT_TRUE(contains(run.out, file_list +
                                      " (Info: Not enough data points to perform averaging.)\n"
                                      " (Info: Analytical result not known. RMS will not be "
                                      "calculated.)\n\nElapsed"))
        << run.out;
}

// estart = eend without estep is one energy, with the exact value in both passes where it is
// known: a shell whose inner radius is below what a double resolves is the well's (it was NaN:
// asterisks, then a false rmse warning); under a Coulomb tail F_l and G_l are matched at the edge
// (tests/data/coulomb_well.txt). Otherwise an Info line, and no exact column.
TEST(ResultFiles, OneEnergyWithAndWithoutTheExactValue) {
    const struct {
        std::string settings, delta, columns;  // delta "": not known
        int width;
    } cases[] = {
        {"v0 = -1|a = 1e-155|b = 1", "0.731005086556607", "  delta_analytical", 77},
        {"zc = 1|v0 = -1|a = 0|b = 1", "0.225056495237808", "  delta_analytical  sigma_l", 103},
        {"l = 60|v0 = 0.9999999|a = 1|b = 2", "", "", 51},
        {"zc = 1|v0 = 1.5|a = 0|b = 1", "", "  sigma_l", 77}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        RunDirectory dir;
        const RunResult run = run_in(
            dir,
            user(10, lines("energies = T|estart = 0.5|eend = 0.5|pot_type = well|" + c.settings)),
            "out");
        ASSERT_EQ(run.status, 0) << run.out;
        const std::string sizes = dir.read("out"), energies = dir.read("out.en");
        EXPECT_EQ(contains(sizes, "ANALYTICAL"), !c.delta.empty()) << sizes;
        EXPECT_TRUE(c.delta.empty() || contains(sizes, "\n; delta =    " + c.delta + "\n"))
            << sizes;
        EXPECT_TRUE(contains(energies, "\n; estep    =     0.0500000000000000\n"));
        EXPECT_TRUE(std::regex_match(
            body_of(energies),
            std::regex("; NUMERICAL RESULTS: energy  tan\\(delta\\)  delta" + c.columns +
                       "\n  0\\.500000 .{" + std::to_string(c.width) + "}\n")))
            << energies;
        EXPECT_EQ(contains(run.out,
                           " (Info: Analytical result not known. RMS will not be "
                           "calculated.)\n"),
                  c.delta.empty())
            << run.out;
        EXPECT_FALSE(contains(run.out, "Warning")) << run.out;
    }
}

// The fast route summed the tridiagonalisation's products by thread, and delta moved in its last
// bits with the team size: each route of the fast solver, both passes, at 1, 2 and 3 threads.
TEST(ResultFiles, FastRouteIsTheSameAtAnyThreadCount) {
    const std::string fast = "solver = fast|energies = T|pot_type = yukawa|g = 1|m = 1|r0 = 0|";
    const std::string cases[] = {
        user(150, lines(fast + "estart = 0.1|eend = 5|estep = 0.7")),
        user(70, lines(fast + "scheme = relativistic|v_light = finite|kappa = -1|estart = 0.5|"
                              "eend = 3|estep = 0.5")),
        user(120, lines(fast + "r0 = 0.5|lmax = 3|angles = 91|estart = 1|eend = 2|estep = 0.5"))};
    for (const std::string& settings : cases) {
        SCOPED_TRACE(settings);
        std::string first;
        for (int threads = 1; threads <= 3; ++threads) {
            RunDirectory dir;
            dir.write("run.inp", settings);
            const RunResult run =
                dir.run("run.inp\nout\n", 600, "OMP_NUM_THREADS=" + std::to_string(threads));
            ASSERT_EQ(run.status, 0) << run.out;
            if (threads == 1)
                first = undated_files(dir);
            else
                EXPECT_EQ(undated_files(dir), first) << threads << " threads";
        }
    }
}

// With a tolerance the sizes grow in stages until the limit of delta_N is known to it: root.lim
// holds the limit of the Yukawa s wave (tests/data/limit_reference.txt), within its error, and the
// run stops well before nend. An unreachable tolerance ends at nend, not converged.
TEST(ResultFiles, LimitWithItsError) {
    RunDirectory dir;
    const std::string yukawa = lines(
        "pot_type = yukawa|g = 1|m = 1|r0 = 0|l = 0|e = 1|basis = laguerre|scheme = "
        "non-relativistic|solver = fast|screen = F|nend = 3000");
    const auto lim = [&](const std::string& settings, const std::string& root) {
        EXPECT_EQ(run_in(dir, yukawa + lines(settings), root).status, 0) << root;
        return dir.read(root + ".lim");
    };
    const std::string text = lim("tolerance = 1e-7", "lim");
    const Rows limit = data_rows(text);
    ASSERT_EQ(limit.size(), 1u);
    EXPECT_TRUE(contains(text, "  converged  unanchored\n"));
    EXPECT_EQ(limit[0][4], limit[0][1]);
    EXPECT_NEAR(limit[0][1], 0.9334314568477643, limit[0][2]);
    EXPECT_LE(limit[0][2], 1e-7);
    EXPECT_LT(limit[0][3], 3000);
    EXPECT_EQ(data_rows(dir.read("lim")).size(), static_cast<std::size_t>(limit[0][3]));
    EXPECT_TRUE(contains(dir.read("lim"), "; tolerance = "));
    const std::string tight = lim("nend = 150|tolerance = 1e-12", "tight");
    EXPECT_TRUE(contains(tight, "  not-converged  unanchored\n"));
    EXPECT_EQ(data_rows(tight)[0][3], 150);
    lim("nend = 20", "plain");
    EXPECT_FALSE(dir.exists("plain.lim"));
    // With an energy pass, one line per energy; e = 1 is the same limit again.
    const std::string energies = "tolerance = 1e-6|energies = T|estart = 0.5|eend = 1|estep = 0.5|";
    const std::string scan = lim(energies + "nend = 1000", "scan");
    const Rows rows = data_rows(scan);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], 0.5);
    EXPECT_NEAR(rows[1][1], 0.9334314568477643, rows[1][2]);
    EXPECT_FALSE(contains(scan, "not-converged"));
    // Its one weakly bound state has already pulled delta far below pi at e = 0.5.
    EXPECT_TRUE(contains(scan, "; bound states (n_b, delta(0+) = n_b pi): 1\n"));
    EXPECT_TRUE(contains(scan, "  converged  far-from-anchor\n"));
    // The partial waves: each delta_l a limit followed by its error, the cross sections theirs.
    lim(energies + "nend = 800|lmax = 2|lconv = 1e-3", "waves");
    const Rows pw = data_rows(dir.read("waves.pw")), xs = data_rows(dir.read("waves.xs"));
    ASSERT_EQ(pw.size(), 2u);
    ASSERT_EQ(pw[1].size(), 1u + 2 * 3);
    EXPECT_NEAR(pw[1][1], 0.9334314568477643, pw[1][2]);
    EXPECT_NEAR(pw[1][3], 0.2985456633006859, pw[1][4]);
    EXPECT_LE(pw[1][2], 1e-6);
    ASSERT_EQ(xs.size(), 2u);
    ASSERT_EQ(xs[1].size(), 6u);
    EXPECT_GT(xs[1][4], 0.0);
    EXPECT_LT(xs[1][4], 1e-4 * xs[1][1]);
}

// A well binding two s states (K = 6): delta_cont starts just below 2 pi at e = 0.01, falls
// continuously on the grid of step 0.5 (its first step, faster than pi/4, followed through
// energies in between) and is the limit on another branch.
TEST(ResultFiles, ContinuousDeltaAnchoredByLevinson) {
    RunDirectory dir;
    const RunResult run = run_in(
        dir,
        lines("pot_type = well|v0 = -18|a = 0|b = 1|l = 0|e = 1|basis = laguerre|lambda = 1|"
              "scheme = non-relativistic|solver = fast|screen = T|nend = 200|tolerance = 1e-6|"
              "energies = T|estart = 0.01|eend = 2.01|estep = 0.5"),
        "well");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(contains(run.out, " bound states: n_b =   2\n"));
    EXPECT_TRUE(contains(run.out, " (Info: delta_cont: delta followed through ")) << run.out;
    const std::string text = dir.read("well.lim");
    EXPECT_TRUE(contains(text, "; bound states (n_b, delta(0+) = n_b pi): 2\n"));
    EXPECT_TRUE(contains(text, "  delta_cont  status  branch\n"));
    const Rows rows = data_rows(text);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_GT(rows[0][4], 2 * pi - 0.3);
    EXPECT_LT(rows[0][4], 2 * pi);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_NEAR(std::remainder(rows[i][4] - rows[i][1], pi), 0.0, 1e-12);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LT(rows[i][4], rows[i - 1][4]);
        EXPECT_GT(rows[i][4], rows[i - 1][4] - 1.0);
    }
    EXPECT_TRUE(contains(text, "  anchored\n"));
    EXPECT_FALSE(contains(text, "jump"));
    EXPECT_FALSE(contains(run.out, "Warning"));
}

// --help and --version print to standard output and exit 0; a command line the program does not
// take prints the fault and the usage on standard error, exits 2 and touches no file.
TEST(CommandLine, HelpVersionAndBadArguments) {
    const std::string usage =
        "Usage: skarven [PARAMFILE ROOT]\n       skarven --help | --version\n";
    const struct {
        std::string arguments, out, err;
        int status;
    } cases[] = {
        {"--version", "skarven " SKARVEN_VERSION "\n", "", 0},
        {"run.inp --version out", "skarven " SKARVEN_VERSION "\n", "", 0},
        {"--help", usage, "", 0},
        {"-h --bogus", usage, "", 0},
        {"run.inp", "", "skarven: expected a parameter file and a root name, got 1 name\n", 2},
        {"a b c", "", "skarven: expected a parameter file and a root name, got 3 names\n", 2},
        {"--bogus run.inp out", "", "skarven: unknown option <--bogus>\n", 2},
        {"-- run.inp", "", "skarven: expected a parameter file and a root name, got 1 name\n", 2},
        {"run.inp '  '", "", "skarven: the root name of the output files is empty\n", 2},
        {"\"$(printf 'run\\t.inp')\" out", "",
         "skarven: the name of the input file contains a control character\n", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        RunDirectory dir;
        dir.write("run.inp", user(2));
        const RunResult run = run_with_arguments(dir, c.arguments);
        EXPECT_EQ(run.status, c.status);
        if (c.status == 0) {
            EXPECT_TRUE(run.out.starts_with(c.out)) << run.out;
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, c.err + usage + "Try 'skarven --help' for more information.\n");
        }
        EXPECT_FALSE(dir.exists("out") || dir.exists("sk.out"));
    }
    // A name after -- may start with a dash.
    RunDirectory dir;
    dir.write("-run.inp", user(2));
    EXPECT_EQ(run_with_arguments(dir, "-- -run.inp -out").status, 0);
    EXPECT_TRUE(dir.exists("-out"));
}

}  // namespace
}  // namespace skarven::test
