// The program: dialogue, parameter loading, the phase-shift run and its CPU time.
#include <omp.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <cstdio>
#include <string>
#include <string_view>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "driver.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace {

constexpr std::size_t answer_width = 100;

// Subnormal results and inputs count as zero (MXCSR flush-to-zero 0x8000, denormals-are-zero
// 0x0040). Set before any thread starts, so that the worker threads inherit it.
void flush_subnormals_to_zero() {
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

void put_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

// One line of standard input, of which the first 100 characters count. A blank answer, or
// standard input ending before any answer, gives the default.
std::string read_answer(const char* default_answer) {
    std::fflush(stdout);
    std::string answer;
    int ch;
    while ((ch = std::getchar()) != EOF && ch != '\n') {
        if (answer.size() <= answer_width) answer.push_back(static_cast<char>(ch));
    }
    // A carriage return that ends the line belongs to the line end, not to the name.
    if (ch == '\n' && answer.size() <= answer_width && !answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    if (answer.size() > answer_width) answer.resize(answer_width);
    const std::string_view name = skarven::trimmed(answer);
    return name.empty() ? std::string(default_answer) : std::string(name);
}

// User plus system time of the whole process, all threads, in seconds.
float cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return static_cast<float>(seconds);
}

std::string elapsed_line(float t0, float t1) {
    const float elapsed = t1 - t0;
    const int hours = static_cast<int>(elapsed / 3600.0f);
    const float rest = elapsed - 3600.0f * static_cast<float>(hours);
    const int minutes = static_cast<int>(rest / 60.0f);
    const float seconds = rest - 60.0f * static_cast<float>(minutes);
    return "Elapsed CPU time: " + skarven::format_int(hours, 5) + " hour(s), " +
           skarven::format_int(minutes, 2) + " minute(s), " + skarven::format_fixed(seconds, 5, 2) +
           " second(s).";
}

}  // namespace

int main() {
    flush_subnormals_to_zero();
    // Line buffering keeps the dialogue in order with standard error when both are piped.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);

    put_line("");
    put_line("Starting the SKARVEN program.");
    put_line(" Version: 2.01, 28/01/2007");
    put_line(" Compiled with OpenMP support. No. of CPUs available: " +
             skarven::format_int(omp_get_num_procs(), 3));
    put_line("");
    put_line("Enter name of the input file  ( <cr> = sk.inp ).");
    const std::string input_file = read_answer("sk.inp");

    skarven::loadparams(input_file);

    put_line("");
    put_line("The following output files will be created:");
    put_line(" <root>     - phase shifts as function of the basis size,");
    put_line(" <root>.avg - averaged phase shifts as function of the basis size,");
    put_line(" <root>.en  - phase shifts as function of energy of the projectile,");
    put_line(" <root>.rms - root mean squared error (for square-well potential only),");
    put_line(" saved.vn.<nend>  - elements of the truncated potential.");
    put_line("Enter root name of the output files ( <cr> = sk.out ).");
    const std::string root = read_answer("sk.out");

    const float t0 = cpu_seconds();
    skarven::control_calc_delta(root);
    const float t1 = cpu_seconds();

    put_line("");
    put_line(elapsed_line(t0, t1));
    put_line("");
    put_line("SKARVEN complete.");
    put_line("");
    std::fflush(stdout);
    return 0;
}
