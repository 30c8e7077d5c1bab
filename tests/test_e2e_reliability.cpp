// Whole runs against damaged and hostile files: saved matrices that must not load, links, FIFOs
// and directories in their place, concurrent writers, full disks, dangerous names and mistyped
// parameter lines.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

namespace fs = std::filesystem;

// A square well at N = nstart = nend, so that a second run reads the saved matrix.
std::string well(int n, const std::string& extra = "") {
    return "pot_type = well\nv0 = -1.0\na = 0.0\nb = 1.0\nscheme = non-relativistic\n"
           "basis = laguerre\nl = 0\ne = 1.0\nnstart = " +
           std::to_string(n) + "\nnend = " + std::to_string(n) + "\n" + extra;
}

std::string user(int nend, const std::string& extra = "") {
    return "e = 1.0\nl = 0\nbasis = laguerre\nscheme = non-relativistic\npot_type = user\n"
           "screen = F\nnend = " +
           std::to_string(nend) + "\n" + extra;
}

// A result or matrix file without its date line (the header's second line).
std::string undated(const std::string& text) {
    const std::size_t first = text.find('\n');
    if (first == std::string::npos) return text;
    return text.substr(0, first + 1) + text.substr(text.find('\n', first + 1) + 1);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string loaded_note =
    " (Info: Elements of the truncated potential have been read from file.)";

void expect_failure(const RunResult& run, const std::string& error_line) {
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(run.err, "SKARVEN will terminate.\n");
    EXPECT_TRUE(contains(run.out, "\n" + error_line + "\n")) << run.out;
    EXPECT_FALSE(contains(run.out, "SKARVEN complete.")) << run.out;
}

// A damaged or foreign saved.vn.5 is not loaded: the results equal those of a run without it,
// and the run installs a whole file of its own in its place.
TEST(Reliability, SavedMatrixThatIsNotWholeIsIntegratedAfresh) {
    RunDirectory reference;
    reference.write("run.inp", well(5));
    ASSERT_EQ(reference.run("run.inp\nout\n").status, 0);
    const std::string results = undated(reference.read("out"));
    const std::string saved = reference.read("saved.vn.5");
    ASSERT_TRUE(contains(reference.run("run.inp\nout\n").out, loaded_note));

    const auto replace_last_value = [](const std::string& value) {
        return [value](const RunDirectory& dir) {
            std::string text = dir.read("saved.vn.5");
            text.erase(text.rfind('\n', text.size() - 2) + 1);
            dir.write("saved.vn.5", text + value + "\n");
        };
    };
    const auto append = [&saved](const std::string& tail) {
        return [&saved, tail](const RunDirectory& dir) { dir.write("saved.vn.5", saved + tail); };
    };
    struct Case {
        const char* name;
        std::function<void(const RunDirectory&)> prepare;
        bool loads;
    };
    const Case cases[] = {
        {"NaN", replace_last_value(" NaN"), false},
        {"Infinity", replace_last_value(" Infinity"), false},
        {"overflowing value", replace_last_value(" 1.0E+999"), false},
        {"torn last value",
         [&saved](const RunDirectory& dir) {
             dir.write("saved.vn.5", saved.substr(0, saved.size() - 12));
         },
         false},
        {"one value too few", replace_last_value(""), false},
        {"one value too many", append(" 1.0E+00\n"), false},
        {"text after the values", append("junk\n"), false},
        {"blank lines after the values", append("\n  \n"), true},
        {"symbolic link to another file",
         [](const RunDirectory& dir) {
             dir.write("precious", "keep me\n");
             fs::remove(dir.work() / "saved.vn.5");
             fs::create_symlink("precious", dir.work() / "saved.vn.5");
         },
         false},
        {"FIFO",
         [](const RunDirectory& dir) {
             fs::remove(dir.work() / "saved.vn.5");
             ::mkfifo((dir.work() / "saved.vn.5").c_str(), 0644);
         },
         false},
    };
    for (const Case& c : cases) {
        RunDirectory dir;
        dir.write("run.inp", well(5));
        dir.write("saved.vn.5", saved);
        c.prepare(dir);
        // A blocked open would hang the run: a writer opened late on the FIFO releases it, and
        // the test then fails on `released`.
        std::atomic<bool> finished = false, released = false;
        std::thread watchdog([&] {
            for (int i = 0; i < 600 && !finished; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!finished && fs::is_fifo(dir.work() / "saved.vn.5")) {
                released = true;
                ::close(::open((dir.work() / "saved.vn.5").c_str(), O_RDWR | O_NONBLOCK));
            }
        });
        const RunResult run = dir.run("run.inp\nout\n");
        finished = true;
        watchdog.join();
        EXPECT_FALSE(released) << c.name;
        EXPECT_EQ(run.status, 0) << c.name << run.out;
        EXPECT_EQ(contains(run.out, loaded_note), c.loads) << c.name;
        EXPECT_EQ(undated(dir.read("out")), results) << c.name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.work() / "saved.vn.5"))) << c.name;
        if (!c.loads) {
            EXPECT_EQ(undated(dir.read("saved.vn.5")), undated(saved)) << c.name;
        }
        if (dir.exists("precious")) {
            EXPECT_EQ(dir.read("precious"), "keep me\n");
        }
    }

    // A directory cannot be replaced: a warning, and the run goes on.
    RunDirectory dir;
    dir.write("run.inp", well(5));
    fs::create_directory(dir.work() / "saved.vn.5");
    const RunResult run = dir.run("run.inp\nout\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(contains(
        run.out, "\n Warning (write_vn_to_file): unable to write the saved potential file.\n"));
    EXPECT_EQ(undated(dir.read("out")), results);
    EXPECT_TRUE(fs::is_directory(dir.work() / "saved.vn.5"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.work()), fs::directory_iterator()), 3)
        << "run.inp, out, saved.vn.5: no temporary file is left";
}

// Two runs with other settings write saved.vn.120 in one directory at once. Whenever the file is
// looked at, it is one run's whole file.
TEST(Reliability, ConcurrentWritersEachInstallAWholeFile) {
    // One thread per run: four runs on a shared machine stay quick (the property is the same).
    struct OneThread {
        const char* previous = std::getenv("OMP_NUM_THREADS");
        std::string saved = previous ? previous : "";
        OneThread() { ::setenv("OMP_NUM_THREADS", "1", 1); }
        ~OneThread() {
            if (previous != nullptr) {
                ::setenv("OMP_NUM_THREADS", saved.c_str(), 1);
            } else {
                ::unsetenv("OMP_NUM_THREADS");
            }
        }
    } one_thread;
    const std::string settings[2] = {user(120, "nstart = 120\n"),
                                     user(120, "nstart = 120\nlambda = 1.5\n")};
    std::string whole[2];
    for (int i = 0; i < 2; ++i) {
        RunDirectory alone;
        alone.write("run.inp", settings[i]);
        ASSERT_EQ(alone.run("run.inp\nout\n").status, 0);
        whole[i] = undated(alone.read("saved.vn.120"));
    }
    ASSERT_NE(whole[0], whole[1]);

    RunDirectory first, second;
    fs::remove(second.work());
    fs::create_directory_symlink(first.work(), second.work());
    first.write("a.inp", settings[0]);
    first.write("b.inp", settings[1]);
    std::atomic<int> running = 2;
    RunResult runs[2];
    std::thread a([&] { runs[0] = first.run("a.inp\na\n"), --running; });
    std::thread b([&] { runs[1] = second.run("b.inp\nb\n"), --running; });
    int looks = 0;
    while (running > 0) {
        if (first.exists("saved.vn.120")) {
            const std::string text = undated(first.read("saved.vn.120"));
            EXPECT_TRUE(text == whole[0] || text == whole[1]) << "look " << looks;
            ++looks;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    a.join();
    b.join();
    EXPECT_EQ(runs[0].status, 0);
    EXPECT_EQ(runs[1].status, 0);
    const std::string text = undated(first.read("saved.vn.120"));
    EXPECT_TRUE(text == whole[0] || text == whole[1]);
    for (const auto& entry : fs::directory_iterator(first.work())) {
        EXPECT_FALSE(contains(entry.path().filename().string(), ".tmp")) << entry.path();
    }
}

// A root name whose result file or saved matrix would replace the parameter file, and names
// holding control characters, end the run before anything is written.
TEST(Reliability, DialogueRefusesDangerousNames) {
    struct Case {
        std::string parameter_file;
        std::string answers;
        std::string error;
    };
    const std::string overwrite = "Error (skarven): the output file <";
    const std::string control =
        "Error (skarven): the root name of the output files contains a "
        "control character.";
    const Case cases[] = {
        {"run.inp", "run.inp\nrun.inp\n", overwrite + "run.inp> would overwrite the input file."},
        {"run.en", "run.en\nrun\n", overwrite + "run.en> would overwrite the input file."},
        {"run.avg", "run.avg\n./run\n", overwrite + "./run.avg> would overwrite the input file."},
        {"saved.vn.3", "saved.vn.3\nout\n",
         overwrite + "saved.vn.3> would overwrite the input file."},
        {"run.inp", "run.inp\nout" + std::string(1, '\0') + "x\n", control},
        {"run.inp", "run.inp\nout\tx\n", control},
        {"run.inp", std::string("run.inp\x7f\nout\n"),
         "Error (skarven): the name of the input file contains a control character."},
    };
    for (const Case& c : cases) {
        RunDirectory dir;
        dir.write(c.parameter_file, user(3));
        expect_failure(dir.run(c.answers), c.error);
        EXPECT_EQ(dir.read(c.parameter_file), user(3)) << c.answers;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.work()), fs::directory_iterator()), 1)
            << c.answers;
    }
    // A partial-wave run also writes root.pw, root.xs and root.dcs.
    RunDirectory dir;
    const std::string waves =
        user(3, "energies = T\nestart = 1.0\neend = 2.0\nsolver = fast\nlmax = 1\n");
    dir.write("run.xs", waves);
    expect_failure(dir.run("run.xs\nrun\n"), overwrite + "run.xs> would overwrite the input file.");
    EXPECT_EQ(dir.read("run.xs"), waves);
}

// A result file that cannot be written ends the run as a failure.
TEST(Reliability, WriteFailureEndsTheRun) {
    struct Case {
        std::string file;
        std::string settings;
        std::string routine;
    };
    const Case cases[] = {
        {"out", user(3), "control_calc_delta"},
        {"out.en", user(3, "energies = T\nestart = 1.0\neend = 2.0\n"), "control_calc_delta"},
        {"out.avg", user(50), "avrg"},
    };
    for (const Case& c : cases) {
        RunDirectory dir;
        dir.write("run.inp", c.settings);
        fs::create_symlink("/dev/full", dir.work() / c.file);
        expect_failure(
            dir.run("run.inp\nout\n"),
            "Error (" + c.routine + "): unable to write the output file " + c.file + ".");
    }
}

// On a file system of 8 KiB the run fails, and no torn matrix file is left.
TEST(Reliability, FullFileSystemEndsTheRun) {
    RunDirectory dir;
    if (::mount("tmpfs", dir.work().c_str(), "tmpfs", 0, "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{dir.work().string()};
    dir.write("run.inp", user(100));
    const RunResult run = dir.run("run.inp\nout\n");
    expect_failure(run, "Error (control_calc_delta): unable to write the output file out.");
    for (const auto& entry : fs::directory_iterator(dir.work())) {
        EXPECT_FALSE(contains(entry.path().filename().string(), "saved.vn")) << entry.path();
    }
}

// Lines that are not exactly "key = value" are reported with their number and text; the run
// goes on as before (lambda stays 1, e is read as 1).
TEST(Reliability, MistypedLinesAreReported) {
    const std::string beyond_80 = "kappa =" + std::string(71, ' ') + "-12";  // cut at column 80
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"lambda=2.0", "<lambda=2.0> has been ignored"},
        {"lambda\t=\t2.0", "<lambda^I=^I2.0> has been ignored"},
        {"lambda 2.0", "<lambda 2.0> has been ignored"},
        {"lambda = 2.0 3.0", "<lambda = 2.0 3.0> has been read as <lambda> = <2.0>"},
        {"lambda = 1.0", ""},
        {"e = 1,5", "<e = 1,5> has been read as <e> = <1>"},
        {beyond_80, "<" + beyond_80 + "> has been read as <kappa> = <-1>"},
    };
    std::string settings = user(3);
    const int first_line = 8;
    for (const auto& entry : lines)
        settings += entry.first + "\n";
    RunDirectory dir;
    dir.write("run.inp", settings);
    const RunResult run = dir.run("run.inp\nout\n");
    EXPECT_EQ(run.status, 0) << run.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string warning =
            " Warning (loadparams): line " + std::to_string(first_line + i) + " not understood: ";
        EXPECT_EQ(contains(run.out, warning), !lines[i].second.empty()) << lines[i].first;
        if (!lines[i].second.empty()) {
            EXPECT_TRUE(contains(run.out, warning + lines[i].second + ".\n")) << run.out;
        }
    }
    for (const char* line : {"; energy   =     1.0000000000000000\n",
                             "; lambda   =     1.0000000000000000\n", "; kappa    =    -1\n"})
        EXPECT_TRUE(contains(dir.read("out"), line)) << line;
}

// sk.par that holds no basis size is reported once; the run goes on without an extra save.
TEST(Reliability, UnreadableSkParIsReportedOnce) {
    for (const std::string content : {"six\n", "-4\n", "6.5\n"}) {
        RunDirectory dir;
        dir.write("run.inp", user(8));
        dir.write("sk.par", content);
        const RunResult run = dir.run("run.inp\nout\n");
        EXPECT_EQ(run.status, 0);
        const std::string warning =
            " Warning (read_n_to_save_v): unable to read a basis size from sk.par.\n";
        const std::size_t at = run.out.find(warning);
        EXPECT_NE(at, std::string::npos) << content << run.out;
        EXPECT_EQ(run.out.find(warning, at + 1), std::string::npos) << content;
    }
}

// Energies of 1000 and more keep their value in the energy column of the .en file.
TEST(Reliability, WideEnergiesAreStillNumbers) {
    RunDirectory dir;
    dir.write("run.inp", user(2, "energies = T\nestart = 999.5\neend = 1500\nestep = 500.5\n"));
    ASSERT_EQ(dir.run("run.inp\nout\n").status, 0);
    const std::string text = dir.read("out.en");
    EXPECT_TRUE(contains(text, "\n999.500000 ")) << text;
    EXPECT_TRUE(contains(text, "\n1500.00000 ")) << text;
}

}  // namespace
}  // namespace skarven::test
