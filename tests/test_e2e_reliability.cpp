// Whole runs against damaged and hostile files, reuse of a saved matrix, failed writes and names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "e2e_support.hpp"

namespace skarven::test {
namespace {

namespace fs = std::filesystem;

// A result or matrix file without its date line (the header's second line).
std::string undated(std::string text) {
    const std::size_t first = text.find('\n');
    return first == std::string::npos ? text
                                      : text.erase(first, text.find('\n', first + 1) - first);
}

std::string names(const RunDirectory& dir) {
    std::string names;
    for (const auto& entry : fs::directory_iterator(dir.work()))
        names += entry.path().filename().string() + " ";
    return names;
}

// A damaged, foreign or hostile saved.vn.5 is neither loaded nor followed (a fifo must not block):
// the results are those of a run without it, and a whole file replaces it (a directory stays).
TEST(Reliability, SavedMatrixIsReusedOnlyWhenWhole) {
    const std::string well = lines("pot_type = well|v0 = -1|a = 0|b = 1|nstart = 5|screen = T"),
                      note = " (Info: Elements of the truncated potential have been read from";
    RunDirectory reference;
    reference.write("run.inp", user(5, well));
    ASSERT_EQ(reference.run("run.inp\nout\n").status, 0);
    const std::string results = undated(reference.read("out")),
                      saved = reference.read("saved.vn.5"),
                      head = saved.substr(0, saved.rfind('\n', saved.size() - 2) + 1);
    // A rerun reads the matrix, prints the same and leaves the file; sk.par adds a save; another
    // lambda does not match.
    ASSERT_TRUE(contains(reference.run("run.inp\nout\n").out, note));
    EXPECT_EQ(undated(reference.read("out")), results);
    EXPECT_EQ(reference.read("saved.vn.5"), saved);
    reference.write("sk.par", "6\n");
    reference.write("run.inp", user(7, well));
    EXPECT_TRUE(contains(reference.run("run.inp\nout\n").out, note));
    EXPECT_TRUE(reference.exists("saved.vn.6") && reference.exists("saved.vn.7"));
    reference.write("run.inp", user(5, well + "lambda = 1.5\n"));
    EXPECT_FALSE(contains(reference.run("run.inp\nout\n").out, note));
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"NaN", head + " NaN\n"}, {"Infinity", head + " Infinity\n"},
        {"overflow", head + " 1.0E+999\n"}, {"torn", saved.substr(0, saved.size() - 12)},
        {"one value too few", head + "\n"}, {"one value too many", saved + " 1.0E+00\n"},
        {"text after the values", saved + "junk\n"}, {"blank lines after", saved + "\n  \n"},
        {"link", "keep me\n"}, {"fifo", ""}, {"directory", ""}};
    // clang-format on
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        RunDirectory dir;
        dir.write("run.inp", user(5, well));
        const fs::path file = dir.work() / "saved.vn.5";
        if (!text.empty()) dir.write(name == "link" ? "precious" : "saved.vn.5", text);
        if (name == "link") fs::create_symlink("precious", file);
        if (name == "fifo") ::mkfifo(file.c_str(), 0644);
        if (name == "directory") fs::create_directory(file);
        const RunResult run = dir.run("run.inp\nout\n", 60);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(contains(run.out, note), name == "blank lines after");
        EXPECT_EQ(undated(dir.read("out")), results);
        EXPECT_EQ(contains(run.out,
                           "\n Warning (write_vn_to_file): unable to write the saved "
                           "potential file <saved.vn.5>.\n"),
                  name == "directory");
        EXPECT_EQ(fs::is_regular_file(fs::symlink_status(file)), name != "directory");
        EXPECT_TRUE(name == "directory" || name == "blank lines after" ||
                    undated(dir.read("saved.vn.5")) == undated(saved));
        EXPECT_EQ(names(dir).size(),
                  std::string("run.inp out saved.vn.5 ").size() + (name == "link" ? 9 : 0))
            << names(dir) << ": no temporary file is left";
        EXPECT_TRUE(name != "link" || dir.read("precious") == "keep me\n");
    }
}

// A saved matrix whose coupling dwarfs its diagonal by 200 decades stopped the fast energy pass on
// an internal check (status 134); it ends with the error the eigen route gives such a matrix.
TEST(Reliability, AbsurdSavedMatrixEndsTheFastEnergyPassWithAnError) {
    RunDirectory dir;
    dir.write("run.inp", user(5, lines("nstart = 5|solver = fast|energies = T|estart = 0.5|"
                                       "eend = 1.5|estep = 0.5")));
    ASSERT_EQ(dir.run("run.inp\nout\n").status, 0);
    std::string saved = dir.read("saved.vn.5");
    const std::size_t header = saved.find("\n    5    0    0 1.00 laguerre") + 1;
    const std::size_t second = saved.find('\n', saved.find('\n', header) + 1) + 1;  // V(1, 0)
    saved.replace(second, saved.find('\n', second) - second, " 1.0E+200");
    dir.write("saved.vn.5", saved);
    expect_failure(dir.run("run.inp\nout\n"),
                   "Error (control_calc_delta): the Green's function element is not finite at "
                   "e = 0.5.");
    // The energy file keeps what was flushed before the error, here nothing: its header waits in
    // the buffer for the first data line. The lock goes as at a normal end.
    EXPECT_EQ(dir.read("out.en"), "");
    EXPECT_FALSE(dir.exists("out.lock")) << names(dir);
}

// Two runs with other settings write saved.vn.120 in one directory at once: it is always whole.
TEST(Reliability, ConcurrentWritersEachInstallAWholeFile) {
    const std::string one_thread = "OMP_NUM_THREADS=1";  // four quick runs on a shared machine
    const std::string settings[2] = {user(120, "nstart = 120\n"),
                                     user(120, "nstart = 120\nlambda = 1.5\n")};
    std::string whole[2];
    for (int i = 0; i < 2; ++i) {
        RunDirectory alone;
        alone.write("run.inp", settings[i]);
        ASSERT_EQ(alone.run("run.inp\nout\n", 600, one_thread).status, 0);
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
    std::thread a([&] { runs[0] = first.run("a.inp\na\n", 600, one_thread), --running; });
    std::thread b([&] { runs[1] = second.run("b.inp\nb\n", 600, one_thread), --running; });
    for (int looks = 0; running > 0 || looks == 0; ++looks) {
        const std::string text = undated(first.read("saved.vn.120"));
        EXPECT_TRUE(text.empty() || text == whole[0] || text == whole[1]) << "look " << looks;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    a.join();
    b.join();
    EXPECT_TRUE(runs[0].status == 0 && runs[1].status == 0);
    const std::string last = undated(first.read("saved.vn.120"));
    EXPECT_TRUE(last == whole[0] || last == whole[1]);
    EXPECT_FALSE(contains(names(first), ".tmp")) << names(first);
}

// Names that would overwrite the parameter file or hold control characters end the run at once.
TEST(Reliability, DialogueRefusesDangerousNames) {
    const std::string waves =
        user(3, lines("energies = T|estart = 1|eend = 2|solver = fast|lmax = 1"));
    const auto overwrite = [](const std::string& file) {
        return "Error (skarven): the output file <" + file + "> would overwrite the input file.";
    };
    const struct {
        std::string name, answers, error, settings = user(3);
    } cases[] = {
        {"run.inp", "run.inp\nrun.inp\n", overwrite("run.inp")},
        {"run.avg", "run.avg\n./run\n", overwrite("./run.avg")},
        {"saved.vn.3", "saved.vn.3\nout\n", overwrite("saved.vn.3")},
        {"run.xs", "run.xs\nrun\n", overwrite("run.xs"), waves},
        {"run.inp", "run.inp\nout" + std::string(1, '\0') + "x\n",
         "Error (skarven): the root name of the output files contains a control character."},
        {"run.inp", "run.inp\x7f\nout\n",
         "Error (skarven): the name of the input file contains a control character."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        RunDirectory dir;
        dir.write(c.name, c.settings);
        expect_failure(dir.run(c.answers), c.error);
        EXPECT_EQ(dir.read(c.name), c.settings);
        EXPECT_EQ(names(dir), c.name + " ");
    }
}

// A result file that cannot be written (/dev/full, or a full 8 KiB file system, where no torn
// matrix may stay) or created (a directory in the way) ends the run as a failure naming it.
TEST(Reliability, WriteFailureEndsTheRun) {
    const std::string waves =
        user(3, lines("energies = T|estart = 1|eend = 2|solver = fast|lmax = 1|angles = 3"));
    const struct {
        std::string file, settings;
        bool directory = false;
    } cases[] = {
        {"out", user(3)},        {"out.en", user(3, lines("energies = T|estart = 1|eend = 2"))},
        {"out.avg", user(50)},   {"out.pw", waves},
        {"out.xs", waves},       {"out.dcs", waves},
        {"out", user(3), true},  {"out.en", waves, true},
        {"out.xs", waves, true}, {"out.dcs", waves, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        RunDirectory dir;
        dir.write("run.inp", c.settings);
        if (c.directory)
            fs::create_directory(dir.work() / c.file);
        else
            fs::create_symlink("/dev/full", dir.work() / c.file);
        expect_failure(dir.run("run.inp\nout\n"),
                       "Error (" +
                           std::string(c.file == "out.avg" ? "avrg" : "control_calc_delta") +
                           "): unable to " + (c.directory ? "open" : "write") +
                           " the output file <" + c.file + ">.");
        // The files written before the failing one are whole.
        EXPECT_TRUE(c.file != "out.dcs" || data_rows(dir.read("out.xs")).size() == 11u);
    }
    RunDirectory dir;
    if (::mount("tmpfs", dir.work().c_str(), "tmpfs", 0, "size=8k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{dir.work().string()};
    dir.write("run.inp", user(100));
    expect_failure(dir.run("run.inp\nout\n"),
                   "Error (control_calc_delta): unable to write the output file <out>.");
    EXPECT_FALSE(contains(names(dir), "saved.vn")) << names(dir);
}

// A second run with the same root is refused at once while the first holds "<root>.lock", and
// touches nothing; a lock file nobody holds does not block, and a run removes its own at the end.
TEST(Reliability, SecondRunWithTheSameRootIsRefused) {
    const std::string first_run = "; the first run's line\n";
    const struct {
        std::string what, root, lock_text;  // lock_text "-": no lock file
        bool held;
    } cases[] = {{"held", "out", "", true},
                 {"held, another spelling", "./out", "", true},
                 {"left by a killed run", "out", "", false},
                 {"made by hand", "out", "mine\n", false},
                 {"none", "out", "-", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunDirectory dir;
        dir.write("run.inp", user(3));
        dir.write("out", first_run);
        if (c.lock_text != "-") dir.write("out.lock", c.lock_text);
        const int held = c.held ? ::open((dir.work() / "out.lock").c_str(), O_RDWR) : -1;
        ASSERT_TRUE(!c.held || ::flock(held, LOCK_EX | LOCK_NB) == 0);
        const auto start = std::chrono::steady_clock::now();
        const RunResult run = dir.run("run.inp\n" + c.root + "\n", 30);
        if (held >= 0) ::close(held);
        if (c.held) {
            expect_failure(run, "Error (skarven): another run is writing the output files <" +
                                    c.root + "> (lock file <" + c.root + ".lock>).");
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            EXPECT_EQ(dir.read("out"), first_run);
            EXPECT_EQ(names(dir).size(), std::string("out.lock out run.inp ").size()) << names(dir);
        } else {
            EXPECT_EQ(run.status, 0) << run.out;
            EXPECT_NE(dir.read("out"), first_run);
            EXPECT_EQ(dir.exists("out.lock"), c.lock_text == "mine\n") << names(dir);
            EXPECT_TRUE(c.lock_text != "mine\n" || dir.read("out.lock") == "mine\n");
        }
    }
}

// An sk.par without a basis size is reported once and ignored; energies >= 1000 keep their value
// in every file with an energy column.
TEST(Reliability, UnreadableSkParAndWideEnergies) {
    const std::string wide = "energies = T|estart = 999.5|eend = 1500|estep = 500.5";
    RunDirectory dir;
    dir.write("run.inp", user(2, lines(wide)));
    dir.write("sk.par", "-4\n");
    const RunResult run = dir.run("run.inp\nout\n");
    const std::string warning =
        "\n Warning (read_n_to_save_v): unable to read a basis size from sk.par.\n";
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.out, warning)) << run.out;
    EXPECT_EQ(run.out.find(warning), run.out.rfind(warning));
    dir.write("run.inp", user(2, lines(wide + "|solver = fast|lmax = 1|angles = 3")));
    ASSERT_EQ(dir.run("run.inp\nout\n").status, 0);
    for (const std::string file : {"out.en", "out.pw", "out.xs", "out.dcs"})
        for (const std::string energy : {"999.500000", "1500.00000"})
            EXPECT_TRUE(contains(dir.read(file), file == "out.dcs" ? "\n; energy = " + energy + "\n"
                                                                   : "\n" + energy + " "))
                << file << energy;
}

}  // namespace
}  // namespace skarven::test
