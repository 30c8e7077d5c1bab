#pragma once
// Double-exponential quadrature (Ooura's table-driven intde).

#include <cmath>

namespace skarven {

// The program's table constants.
inline constexpr int quadrature_lenaw = 8000;
inline constexpr double quadrature_tiny = 1.0e-307;
inline constexpr double quadrature_eps = 1.0e-8;

// Ooura's routine and the pieces of it the potential matrix sums on tabulated values, under the
// routine's own name.
namespace ooura {

// Fill a table of `lenaw` doubles for the finite (tanh-sinh) rule.
void intde_init(int lenaw, double tiny, double eps, double* table);

// Integral of f over [a, b] (oriented). f is any callable double(double).
template <class F>
void intde(F&& f, double a, double b, const double* table, double& i, double& err);

// ---- Definitions -------------------------------------------------------------------------------

// Abscissa of intde's point j of the table on [a, b] with ba = b - a: the midpoint for j = 5,
// else a + ba table[j] (side 0) or b - ba table[j] (side 1).
inline double intde_node(double a, double b, double ba, const double* table, int j, int side) {
    if (j == 5) return (a + b) * table[5];
    const double xa = ba * table[j];
    return side == 0 ? a + xa : b - xa;
}

// intde with the integrand given by its values at the table's points: f(j, side) is the
// integrand at intde_node(a, b, b - a, table, j, side). Same sums in the same order as intde.
// Returns the number of levels summed.
template <class F>
int intde_points(F&& f, double ba, const double* table, double& i, double& err);

// Tanh-sinh rule over [a, b] from a table of intde_init (Ooura, intde2.c "intde"). The step is
// halved level by level until two levels agree to the table's eps relative to the integral of
// |f|; each side's tail is cut where the weighted value falls below the table's cut-off. err < 0
// when the table ran out first. A point is evaluated at most once.
template <class F>
void intde(F&& f, double a, double b, const double* table, double& i, double& err) {
    const double ba = b - a;
    intde_points([&](int j, int side) { return f(intde_node(a, b, ba, table, j, side)); }, ba,
                 table, i, err);
}

template <class F>
int intde_points(F&& f, double ba, const double* table, double& i, double& err) {
    constexpr int noff = 5;
    const int lenawm = static_cast<int>(table[0] + 0.5);
    const int nk = static_cast<int>(table[1] + 0.5);
    const double epsh = table[4];

    i = f(noff, 0);
    double ir = i * table[noff + 1];
    i *= table[noff + 2];
    err = std::fabs(i);
    int k = nk + noff;
    int j = noff;
    double fa = 0.0;
    double fb = 0.0;
    do {
        j += 3;
        fa = f(j, 0);
        fb = f(j, 1);
        ir += (fa + fb) * table[j + 1];
        fa *= table[j + 2];
        fb *= table[j + 2];
        i += fa + fb;
        err += std::fabs(fa) + std::fabs(fb);
    } while (table[j] > epsh && j < k);

    const double errt = err * table[3];
    const double errh = err * epsh;
    double errd = 1.0 + 2.0 * errh;
    int jtmp = j;
    while (std::fabs(fa) > errt && j < k) {
        j += 3;
        fa = f(j, 0);
        ir += fa * table[j + 1];
        fa *= table[j + 2];
        i += fa;
    }
    int jlim = j;
    j = jtmp;
    while (std::fabs(fb) > errt && j < k) {
        j += 3;
        fb = f(j, 1);
        ir += fb * table[j + 1];
        fb *= table[j + 2];
        i += fb;
    }
    if (j < jlim) jlim = j;
    jlim -= noff + 3;

    double h = 1.0;
    int m = 1;
    int klim = k + nk;
    int levels = 1;
    while (errd > errh && klim <= lenawm) {
        ++levels;
        const double iback = i;
        const double irback = ir;
        do {
            jtmp = k + jlim;
            for (j = k + 3; j <= jtmp; j += 3) {
                fa = f(j, 0);
                fb = f(j, 1);
                ir += (fa + fb) * table[j + 1];
                i += (fa + fb) * table[j + 2];
            }
            k += nk;
            j = jtmp;
            do {
                j += 3;
                fa = f(j, 0);
                ir += fa * table[j + 1];
                fa *= table[j + 2];
                i += fa;
            } while (std::fabs(fa) > errt && j < k);
            j = jtmp;
            do {
                j += 3;
                fb = f(j, 1);
                ir += fb * table[j + 1];
                fb *= table[j + 2];
                i += fb;
            } while (std::fabs(fb) > errt && j < k);
        } while (k < klim);
        errd = h * (std::fabs(i - 2.0 * iback) + std::fabs(ir - 2.0 * irback));
        h *= 0.5;
        m *= 2;
        klim = 2 * klim - noff;
    }
    i *= h * ba;
    if (errd > errh) {
        err = -errd * (m * std::fabs(ba));
    } else {
        err *= table[2] * (m * std::fabs(ba));
    }
    return levels;
}

}  // namespace ooura

}  // namespace skarven
