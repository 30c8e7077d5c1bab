// Cylindrical Bessel functions Y of real order: W. J. Cody's RYBESL.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "special.hpp"

namespace skarven::specfun {

// Bessel functions Y_{alpha+k}(x), k = 0..nb-1 (W. J. Cody, SPECFUN RYBESL, after Temme and
// Campbell): Temme's series below 3, his continued-fraction method below 16 and Campbell's
// asymptotic expansion beyond, each giving two adjacent orders, then forward recurrence that
// stops short of overflow. Half-integral orders take the closed forms of Y_{-1/2}, Y_{1/2}.
// by must hold max(nb, 1) values.
void rybesl(double x, double alpha, int nb, double* by, int& ncalc) {
    constexpr double eps = 1.11e-16;
    constexpr double del = 1.0e-8;
    constexpr double xmin = 1.0e-307;
    constexpr double xinf = 1.0e308;
    constexpr double thresh = 16.0;
    constexpr double xlarge = 1.0e8;
    constexpr double fivpi = 1.5707963267948966192e1;
    constexpr double pim5 = 7.0796326794896619231e-1;  // 5*pi - 15
    using std::numbers::pi;
    constexpr double piby2 = pi / 2.0;
    constexpr double sq2bpi = 7.9788456080286535588e-1;  // sqrt(2/pi)
    constexpr double onbpi = 3.1830988618379067154e-1;   // 1/pi
    // Chebyshev expansion of 1/Gamma(1-x), |x| <= 1/2 (Cody, SPECFUN RYBESL).
    constexpr double ch[21] = {
        -0.67735241822398840964e-23, -0.61455180116049879894e-22, 0.29017595056104745456e-20,
        0.13639417919073099464e-18,  0.23826220476859635824e-17,  -0.90642907957550702534e-17,
        -0.14943667065169001769e-14, -0.33919078305362211264e-13, -0.17023776642512729175e-12,
        0.91609750938768647911e-11,  0.24230957900482704055e-09,  0.17451364971382984243e-08,
        -0.33126119768180852711e-07, -0.86592079961391259661e-06, -0.49717367041957398581e-05,
        0.76309597585908126618e-04,  0.12719271366545622927e-02,  0.17063050710955562222e-02,
        -0.76852840844786673690e-01, -0.28387654227602353814e+00, 0.92187029365045265648e+00};
    // The published routine counts orders from 1; so does this translation.
    auto BY = [by](int i) -> double& { return by[i - 1]; };

    const double ex = x;
    double enu = alpha;
    if (!(nb > 0 && x >= xmin && ex < xlarge && enu >= 0.0 && enu < 1.0)) {
        BY(1) = 0.0;
        ncalc = std::min(nb, 0) - 1;
        return;
    }
    const double xna = std::trunc(enu + 0.5);
    int na = static_cast<int>(xna);
    if (na == 1) enu = enu - xna;
    double ya;
    double ya1;
    if (enu == -0.5) {
        const double p = sq2bpi / std::sqrt(ex);
        ya = p * std::sin(ex);
        ya1 = -p * std::cos(ex);
    } else if (ex < 3.0) {
        // Temme's series for small x.
        double b = ex * 0.5;
        double d = -std::log(b);
        double f = enu * d;
        double e = std::pow(b, -enu);
        double c = std::fabs(enu) < del ? onbpi : enu / std::sin(enu * pi);
        // sinh(f)/f
        double s;
        if (std::fabs(f) < 1.0) {
            const double x2 = f * f;
            double en = 19.0;
            s = 1.0;
            for (int i = 1; i <= 9; ++i) {
                s = s * x2 / en / (en - 1.0) + 1.0;
                en = en - 2.0;
            }
        } else {
            s = (e - 1.0 / e) * 0.5 / f;
        }
        // 1/Gamma(1-enu) from its Chebyshev series, split into even and odd parts.
        const double x2 = enu * enu * 8.0;
        double aye = ch[0];
        double even = 0.0;
        double alfa = ch[1];
        double odd = 0.0;
        for (int i = 3; i <= 19; i += 2) {
            even = -(aye + aye + even);
            aye = -even * x2 - aye + ch[i - 1];
            odd = -(alfa + alfa + odd);
            alfa = -odd * x2 - alfa + ch[i];
        }
        even = (even * 0.5 + aye) * x2 - aye + ch[20];
        odd = (odd + alfa) * 2.0;
        const double gamma_inv = odd * enu + even;
        double g = e * gamma_inv;
        e = (e + 1.0 / e) * 0.5;
        f = 2.0 * c * (odd * e + even * s * d);
        e = enu * enu;
        double p = g * c;
        double q = onbpi / g;
        c = enu * piby2;
        double r = std::fabs(c) < del ? 1.0 : std::sin(c) / c;
        r = pi * c * r * r;
        c = 1.0;
        d = -b * b;
        double h = 0.0;
        ya = f + r * q;
        ya1 = p;
        double en = 0.0;
        while (true) {
            en = en + 1.0;
            if (!(std::fabs(g / (1.0 + std::fabs(ya))) + std::fabs(h / (1.0 + std::fabs(ya1))) >
                  eps))
                break;
            f = (f * en + p + q) / (en * en - e);
            c = c * d / en;
            p = p / (en - enu);
            q = q / (en + enu);
            g = c * (f + r * q);
            h = c * p - en * g;
            ya = ya + g;
            ya1 = ya1 + h;
        }
        ya = -ya;
        ya1 = -ya1 / b;
    } else if (ex < thresh) {
        // Temme's continued-fraction scheme for moderate x.
        double c = (0.5 - enu) * (0.5 + enu);
        double b = ex + ex;
        double e = (ex * onbpi * std::cos(enu * pi) / eps);
        e = e * e;
        double p = 1.0;
        double q = -ex;
        double r = 1.0 + ex * ex;
        double s = r;
        double en = 2.0;
        double en1 = en;
        double d;
        while (r * en * en < e) {
            en1 = en + 1.0;
            d = (en - 1.0 + c / en) / s;
            p = (en + en - p * d) / en1;
            q = (-b + q * d) / en1;
            s = p * p + q * q;
            r = r * s;
            en = en1;
        }
        double f = p / s;
        p = f;
        double g = -q / s;
        q = g;
        while (true) {
            en = en - 1.0;
            if (!(en > 0.0)) break;
            r = en1 * (2.0 - p) - 2.0;
            s = b + en1 * q;
            d = (en - 1.0 + c / en) / (r * r + s * s);
            p = d * r;
            q = d * s;
            e = f + 1.0;
            f = p * e - g * q;
            g = q * e + p * g;
            en1 = en;
        }
        f = 1.0 + f;
        d = f * f + g * g;
        const double pa = f / d;
        const double qa = -g / d;
        d = enu + 0.5 - p;
        q = q + ex;
        const double pa1 = (pa * q - qa * d) / ex;
        const double qa1 = (qa * q + pa * d) / ex;
        b = ex - piby2 * (enu + 0.5);
        c = std::cos(b);
        s = std::sin(b);
        d = sq2bpi / std::sqrt(ex);
        ya = d * (pa * s + qa * c);
        ya1 = d * (qa1 * s - pa1 * c);
    } else {
        // Campbell's asymptotic scheme, with the argument reduced modulo 5*pi.
        na = 0;
        double d1 = std::trunc(ex / fivpi);
        int i = static_cast<int>(d1);
        double dmu = ((ex - 15.0 * d1) - d1 * pim5) - (alpha + 0.5) * piby2;
        double cosmu;
        double sinmu;
        if (i - 2 * (i / 2) == 0) {
            cosmu = std::cos(dmu);
            sinmu = std::sin(dmu);
        } else {
            cosmu = -std::cos(dmu);
            sinmu = -std::sin(dmu);
        }
        const double ddiv = 8.0 * ex;
        dmu = alpha;
        const double den = std::sqrt(ex);
        ya = 0.0;
        ya1 = 0.0;
        for (int k = 1; k <= 2; ++k) {
            double p = cosmu;
            cosmu = sinmu;
            sinmu = -p;
            d1 = (2.0 * dmu - 1.0) * (2.0 * dmu + 1.0);
            double d2 = 0.0;
            double div = ddiv;
            p = 0.0;
            double q = 0.0;
            const double q0 = d1 / div;
            double term = q0;
            for (i = 2; i <= 20; ++i) {
                d2 = d2 + 8.0;
                d1 = d1 - d2;
                div = div + ddiv;
                term = -term * d1 / div;
                p = p + term;
                d2 = d2 + 8.0;
                d1 = d1 - d2;
                div = div + ddiv;
                term = term * d1 / div;
                q = q + term;
                if (std::fabs(term) <= eps) break;
            }
            p = p + 1.0;
            q = q + q0;
            if (k == 1) {
                ya = sq2bpi * (p * cosmu - q * sinmu) / den;
            } else {
                ya1 = sq2bpi * (p * cosmu - q * sinmu) / den;
            }
            dmu = dmu + 1.0;
        }
    }
    if (na == 1) {
        // One forward step back up from the shifted order alpha - 1.
        double h = 2.0 * (enu + 1.0) / ex;
        if (h > 1.0 && std::fabs(ya1) > xinf / h) {
            h = 0.0;
            ya = 0.0;
        }
        h = h * ya1 - ya;
        ya = ya1;
        ya1 = h;
    }

    // Forward recurrence from the first two orders, stopping before a value would overflow.
    BY(1) = ya;
    if (nb == 1) {
        // The published routine stores the second order too; here there is no room for it.
        ncalc = 1;
        return;
    }
    BY(2) = ya1;
    if (ya1 == 0.0) {
        ncalc = 1;
    } else {
        double aye = 1.0 + alpha;
        const double twobyx = 2.0 / ex;
        ncalc = 2;
        for (int i = 3; i <= nb; ++i) {
            if (twobyx < 1.0) {
                if (std::fabs(BY(i - 1)) * twobyx >= xinf / aye) break;
            } else {
                if (std::fabs(BY(i - 1)) >= xinf / aye / twobyx) break;
            }
            BY(i) = twobyx * aye * BY(i - 1) - BY(i - 2);
            aye = aye + 1.0;
            ncalc = ncalc + 1;
        }
    }
    for (int i = ncalc + 1; i <= nb; ++i)
        BY(i) = 0.0;
}

}  // namespace skarven::specfun
