// Wall-clock time of eigensys on random symmetric matrices (orders 100, 400 and 1000 unless given).
// Each order is timed over a few repetitions after one warm-up call; the best time is printed.
//   bench_eigensys [--save FILE] [n...]
// --save writes the matrix of the last order as raw doubles (column-major) for peer_eigh.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "lib-rs.hpp"
#include "random_symmetric.hpp"

namespace {

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

int main(int argc, char** argv) {
    const char* save = nullptr;
    std::vector<int> orders;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
            save = argv[++i];
        } else {
            orders.push_back(std::atoi(argv[i]));
        }
    }
    if (orders.empty()) orders = {100, 400, 1000};
    std::mt19937_64 rng(12345);
    std::printf("eigensys, %d OpenMP threads\n", omp_get_max_threads());
    std::printf("%6s %12s %12s\n", "n", "best [s]", "mean [s]");
    std::vector<double> a;
    for (const int n : orders) {
        a = random_symmetric(n, rng);
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
    if (save != nullptr) {
        std::FILE* out = std::fopen(save, "wb");
        if (out == nullptr || std::fwrite(a.data(), sizeof(double), a.size(), out) != a.size() ||
            std::fclose(out) != 0) {
            std::fprintf(stderr, "bench_eigensys: cannot write %s\n", save);
            return 1;
        }
    }
    return 0;
}
