#include "special_quadrature.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace skarven {

namespace {

// Tuning constants of Ooura's table: efs scales eps into the level tolerance; hoff fixes the
// first-level step h0 = hoff / (1 - ln(efs eps)).
constexpr double table_efs = 0.1;
constexpr double finite_hoff = 8.5;
constexpr int table_offset = 5;

}  // namespace

// Abscissae and weights of the tanh-sinh rule on [0, 1] (Ooura, intde2.c "intdeini"): x = 1 /
// (1 + e^(pi sinh s)), level after level with the step halved, each level ending where the
// abscissa would fall below `tiny`. Header: last usable index, points a level, eps, tail cut-off,
// first-sweep abscissa limit, and the midpoint's abscissa and two weights.
void ooura::intde_init(int lenaw, double tiny, double eps, double* table) {
    // The last point of each level is never written: its abscissa would lie beyond `tiny`. Zero
    // is what the formula gives there, and it keeps the table deterministic.
    std::fill_n(table, lenaw, 0.0);
    const double half_pi = std::numbers::pi / 2.0;
    const double tinyln = -std::log(tiny);
    const double epsln = 1.0 - std::log(table_efs * eps);
    const double h0 = finite_hoff / epsln;
    const double ehp = std::exp(h0);
    const double ehm = 1.0 / ehp;
    table[2] = eps;
    table[3] = std::exp(-ehm * epsln);
    table[4] = std::sqrt(table_efs * eps);
    table[table_offset] = 0.5;
    table[table_offset + 1] = h0;
    table[table_offset + 2] = half_pi * h0 * 0.5;
    double h = 2.0;
    int nk = 0;
    int k = table_offset + 3;
    int j = k;
    do {
        double t = h * 0.5;
        do {
            double em = std::exp(h0 * t);
            double ep = half_pi * em;
            em = half_pi / em;
            j = k;
            do {
                const double xw = 1.0 / (1.0 + std::exp(ep - em));
                const double wg = xw * (1.0 - xw) * h0;
                table[j] = xw;
                table[j + 1] = wg * 4.0;
                table[j + 2] = wg * (ep + em);
                ep *= ehp;
                em *= ehm;
                j += 3;
            } while (ep < tinyln && j <= lenaw - 3);
            t += h;
            k += nk;
        } while (t < 1.0);
        h *= 0.5;
        if (nk == 0) {
            if (j > lenaw - 6) j -= 3;
            nk = j - table_offset;
            k += nk;
            table[1] = nk;
        }
    } while (2 * k - table_offset - 3 <= lenaw);
    table[0] = k - 3;
}

}  // namespace skarven
