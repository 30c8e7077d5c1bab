// Wall-clock time of eigensys on random symmetric matrices of orders 100, 400 and 1000.
// Each order is timed over a few repetitions after one warm-up call; the best time is printed.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "lib-rs.hpp"

namespace {

std::vector<double> random_symmetric(int n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> a(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) {
            const double v = uniform(rng);
            a[j * n + i] = v;
            a[i * n + j] = v;
        }
    }
    return a;
}

double seconds_for_one_call(int n, const std::vector<double>& a) {
    std::vector<double> work = a;
    std::vector<double> w(n);
    std::vector<double> z(static_cast<std::size_t>(n) * n);
    const auto start = std::chrono::steady_clock::now();
    const bool converged = skarven::eigensys(n, work.data(), w.data(), z.data());
    const auto stop = std::chrono::steady_clock::now();
    if (!converged) std::fprintf(stderr, "eigensys did not converge at n = %d\n", n);
    return std::chrono::duration<double>(stop - start).count();
}

}  // namespace

int main() {
    std::mt19937_64 rng(12345);
    std::printf("eigensys, %d OpenMP threads\n", omp_get_max_threads());
    std::printf("%6s %12s %12s\n", "n", "best [s]", "mean [s]");
    for (const int n : {100, 400, 1000}) {
        const auto a = random_symmetric(n, rng);
        const int repetitions = n >= 1000 ? 3 : 5;
        seconds_for_one_call(n, a);
        double best = 1.0e300;
        double total = 0.0;
        for (int r = 0; r < repetitions; ++r) {
            const double t = seconds_for_one_call(n, a);
            best = std::min(best, t);
            total += t;
        }
        std::printf("%6d %12.4f %12.4f\n", n, best, total / repetitions);
    }
    return 0;
}
