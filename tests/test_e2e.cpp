// Guards against a wrong dialogue, wrong default names and wrong exit statuses of the program.
#include <gtest/gtest.h>
#include <omp.h>

#include <cstdio>
#include <regex>
#include <string>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

std::string banner() {
    char cpus[16];
    std::snprintf(cpus, sizeof cpus, "%3d", omp_get_num_procs());
    return std::string("\nStarting the SKARVEN program.\n") + " Version: 2.01, 28/01/2007\n" +
           " Compiled with OpenMP support. No. of CPUs available: " + cpus + "\n" + "\n" +
           "Enter name of the input file  ( <cr> = sk.inp ).\n";
}

const std::string file_list =
    "\n"
    "The following output files will be created:\n"
    " <root>     - phase shifts as function of the basis size,\n"
    " <root>.avg - averaged phase shifts as function of the basis size,\n"
    " <root>.en  - phase shifts as function of energy of the projectile,\n"
    " <root>.rms - root mean squared error (for square-well potential only),\n"
    " saved.vn.<nend>  - elements of the truncated potential.\n"
    "Enter root name of the output files ( <cr> = sk.out ).\n";

const std::string loaded = "Loading parameters...\nLoad complete.\n";

// The smallest complete run: two basis sizes of the built-in potential, no progress lines.
const std::string tiny_run =
    "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\npot_type = user\n"
    "nend = 2\nscreen = F\n";

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

void expect_fatal_run(const RunResult& run, const std::string& error_line) {
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.err, "SKARVEN will terminate.\n");
    EXPECT_TRUE(run.out.ends_with("\n" + error_line + "\n")) << run.out;
    for (const char* never : {"Elapsed CPU time", "SKARVEN complete.", "SKARVEN will terminate."})
        EXPECT_EQ(run.out.find(never), std::string::npos) << never;
}

// Each case: the files in the directory, the answers, and the result file that must appear
// (empty: the run must end with the error line given).
TEST(Dialogue, AnswersDefaultsAndErrors) {
    const std::string missing_nend =
        "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\npot_type = user\n";
    const struct {
        const char* what;
        std::string input_name, input, answers, result, error;
    } cases[] = {
        {"empty answers", "sk.inp", tiny_run, "\n\n", "sk.out", ""},
        {"blank answers", "sk.inp", tiny_run, "    \n   \n", "sk.out", ""},
        {"no answers at all", "sk.inp", tiny_run, "", "sk.out", ""},
        {"input ending after the first answer", "mine.inp", tiny_run, "mine.inp", "sk.out", ""},
        {"named files, trailing blanks", "run.par", tiny_run, "run.par   \nresult   \n", "result",
         ""},
        {"missing parameter file", "other.inp", tiny_run, "\n\n", "",
         "Error (loadparams): unable to open the input file."},
        {"loader error", "sk.inp", missing_nend, "\n\n", "",
         "Error (loadparams): required parameter missing: <nend>."},
        {"unwritable result file", "sk.inp", tiny_run, "\nno/such/directory/out\n", "",
         "Error (control_calc_delta): unable to open the output file."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunDirectory dir;
        dir.write(c.input_name, c.input);
        const RunResult run = dir.run(c.answers);
        if (c.error.empty()) {
            expect_complete_run(run);
            EXPECT_TRUE(dir.exists(c.result));
            EXPECT_EQ(c.result == "sk.out", dir.exists("sk.out"));
        } else {
            expect_fatal_run(run, c.error);
            // A loader error stops before the file list.
            if (c.error.find("loadparams") != std::string::npos) {
                EXPECT_EQ(run.out, banner() + "Loading parameters...\n" + c.error + "\n");
            } else {
                EXPECT_TRUE(run.out.starts_with(banner() + loaded + file_list)) << run.out;
            }
        }
    }
}

// Warnings (the cut answers, an unknown key) go to standard output and the run goes on.
TEST(Dialogue, AnswersAreCutToHundredCharactersWithAWarning) {
    RunDirectory dir;
    const std::string name(100, 'p'), root(100, 'r');
    dir.write(name, tiny_run + "colour = blue\n");
    const RunResult run = dir.run(name + "ignored\n" + root + "ignored\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.err, "");
    const std::string cut = " Warning (skarven): ";
    const std::string unknown =
        " Warning (loadparams): unknown parameter <colour> = <blue> has been ignored.\n";
    EXPECT_TRUE(run.out.starts_with(banner() + cut +
                                    "the name of the input file has been cut to its "
                                    "first 100 characters <" +
                                    name + ">.\n" + "Loading parameters...\n" + unknown +
                                    "Load complete.\n" + file_list + cut +
                                    "the root name of the output files has been cut to "
                                    "its first 100 characters <" +
                                    root + ">.\n"))
        << run.out;
    EXPECT_TRUE(dir.exists(root));
    // Blanks after the first 100 characters cut nothing.
    dir.write(name, tiny_run);
    expect_complete_run(dir.run(name + "     \n" + root + "   \n"));
}

}  // namespace
}  // namespace skarven::test
