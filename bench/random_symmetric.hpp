#pragma once
// The random symmetric test matrix of the eigensolver benchmarks (column-major, both triangles).
#include <random>
#include <vector>

inline std::vector<double> random_symmetric(int n, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> a(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) {
            const double v = uniform(rng);
            a[static_cast<std::size_t>(j) * n + i] = v;
            a[static_cast<std::size_t>(i) * n + j] = v;
        }
    }
    return a;
}
