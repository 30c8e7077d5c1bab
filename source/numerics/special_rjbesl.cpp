// Cylindrical Bessel functions J of real order: W. J. Cody's RJBESL.
#include <algorithm>
#include <cmath>

#include "special.hpp"
#include "special_internal.hpp"

namespace skarven::specfun {

// Bessel functions J_{alpha+k}(x), k = 0..nb-1 (W. J. Cody, SPECFUN RJBESL, after Sookne and
// Olver): a two-term ascending series below 1e-4; above 25, when no order exceeds x, Hankel's
// asymptotic form for the first two orders and forward recurrence; otherwise Miller's backward
// recurrence normalised by the Neumann sum. b must hold max(nb, 1) values. Machine constants
// are this program's IEEE double choices.
void rjbesl(double x, double alpha, int nb, double* b, int& ncalc) {
    constexpr double enten = 1.0e308;
    constexpr double ensig = 1.0e16;
    constexpr double rtnsig = 1.0e-4;
    constexpr double enmten = 1.2e-306;
    constexpr double xlarge = 1.0e4;
    constexpr double pi2 = 0.636619772367581343075535;  // 2/pi
    constexpr double twopi1 = 6.28125;
    constexpr double twopi2 = 1.935307179586476925286767e-3;
    // fact[k] = k! for the asymptotic series (Cody, SPECFUN RJBESL).
    constexpr double fact[25] = {1.0e0,
                                 1.0e0,
                                 2.0e0,
                                 6.0e0,
                                 24.0e0,
                                 1.2e2,
                                 7.2e2,
                                 5.04e3,
                                 4.032e4,
                                 3.6288e5,
                                 3.6288e6,
                                 3.99168e7,
                                 4.790016e8,
                                 6.2270208e9,
                                 8.71782912e10,
                                 1.307674368e12,
                                 2.0922789888e13,
                                 3.55687428096e14,
                                 6.402373705728e15,
                                 1.21645100408832e17,
                                 2.43290200817664e18,
                                 5.109094217170944e19,
                                 1.12400072777760768e21,
                                 2.585201673888497664e22,
                                 6.2044840173323943936e23};
    // The published routine counts orders from 1; so does this translation.
    auto B = [b](int i) -> double& { return b[i - 1]; };

    if (!(nb > 0 && x >= 0.0 && x <= xlarge && alpha >= 0.0 && alpha < 1.0)) {
        B(1) = 0.0;
        ncalc = std::min(nb, 0) - 1;
        return;
    }
    const int magx = static_cast<int>(x);
    ncalc = nb;
    for (int i = 1; i <= nb; ++i)
        B(i) = 0.0;

    if (x < rtnsig) {
        // Two-term ascending series for small x.
        double tempa = 1.0;
        double alpem = 1.0 + alpha;
        double halfx = 0.0;
        if (x > enmten) halfx = 0.5 * x;
        if (alpha != 0.0) tempa = std::pow(halfx, alpha) / (alpha * detail::dgamma(alpha));
        double tempb = 0.0;
        if (x + 1.0 > 1.0) tempb = -halfx * halfx;
        B(1) = tempa + tempa * tempb / alpem;
        if (x != 0.0 && B(1) == 0.0) ncalc = 0;
        if (nb != 1) {
            if (x <= 0.0) {
                for (int n = 2; n <= nb; ++n)
                    B(n) = 0.0;
            } else {
                const double tempc = halfx;
                double tover = (enmten + enmten) / x;
                if (tempb != 0.0) tover = enmten / tempb;
                for (int n = 2; n <= nb; ++n) {
                    tempa = tempa / alpem;
                    alpem = alpem + 1.0;
                    tempa = tempa * tempc;
                    if (tempa <= tover * alpem) tempa = 0.0;
                    B(n) = tempa + tempa * tempb / alpem;
                    if (B(n) == 0.0 && ncalc > n) ncalc = n - 1;
                }
            }
        }
        return;
    }

    if (x > 25.0 && nb <= magx + 1) {
        // Asymptotic series; the argument is reduced by 2*pi carried in two parts.
        const double xc = std::sqrt(pi2 / x);
        const double xin = (0.125 / x) * (0.125 / x);
        int m = 11;
        if (x >= 35.0) m = 8;
        if (x >= 130.0) m = 4;
        const double xm = 4.0 * static_cast<double>(m);
        double t = std::trunc(x / (twopi1 + twopi2) + 0.5);
        const double z = ((x - t * twopi1) - t * twopi2) - (alpha + 0.5) / pi2;
        double vsin = std::sin(z);
        double vcos = std::cos(z);
        double gnu = alpha + alpha;
        for (int i = 1; i <= 2; ++i) {
            double s = ((xm - 1.0) - gnu) * ((xm - 1.0) + gnu) * xin * 0.5;
            t = (gnu - (xm - 3.0)) * (gnu + (xm - 3.0));
            double capp = s * t / fact[2 * m];
            double t1 = (gnu - (xm + 1.0)) * (gnu + (xm + 1.0));
            double capq = s * t1 / fact[2 * m + 1];
            double xk = xm;
            int k = m + m;
            t1 = t;
            for (int j = 2; j <= m; ++j) {
                xk = xk - 4.0;
                s = ((xk - 1.0) - gnu) * ((xk - 1.0) + gnu);
                t = (gnu - (xk - 3.0)) * (gnu + (xk - 3.0));
                capp = (capp + 1.0 / fact[k - 2]) * s * t * xin;
                capq = (capq + 1.0 / fact[k - 1]) * s * t1 * xin;
                k = k - 2;
                t1 = t;
            }
            capp = capp + 1.0;
            capq = (capq + 1.0) * (gnu * gnu - 1.0) * (0.125 / x);
            B(i) = xc * (capp * vcos - capq * vsin);
            if (nb == 1) return;
            t = vsin;
            vsin = -vcos;
            vcos = t;
            gnu = gnu + 2.0;
        }
        if (nb > 2) {
            gnu = alpha + alpha + 2.0;
            for (int j = 3; j <= nb; ++j) {
                B(j) = gnu * B(j - 1) / x - B(j - 2);
                gnu = gnu + 2.0;
            }
        }
        return;
    }

    // Backward recurrence. First find the starting order from the significance test on the
    // forward-recurred P*S, scaling against overflow.
    const int nbmx = nb - magx;
    int n = magx + 1;
    double en = static_cast<double>(n + n) + (alpha + alpha);
    double plast = 1.0;
    double p = en / x;
    double pold;
    double test = ensig + ensig;
    bool start_found = false;
    if (nbmx >= 3) {
        double tover = enten / ensig;
        int nstart = magx + 2;
        int nend = nb - 1;
        en = static_cast<double>(nstart + nstart) - 2.0 + (alpha + alpha);
        for (int k = nstart; k <= nend; ++k) {
            n = k;
            en = en + 2.0;
            pold = plast;
            plast = p;
            p = en * plast / x - pold;
            if (p > tover) {
                // Divide P*S by tover and go on until |P| > 1, then find ncalc, the highest
                // order that passes the backward test.
                tover = enten;
                p = p / tover;
                plast = plast / tover;
                double psave = p;
                double psavel = plast;
                nstart = n + 1;
                do {
                    n = n + 1;
                    en = en + 2.0;
                    pold = plast;
                    plast = p;
                    p = en * plast / x - pold;
                } while (p <= 1.0);
                const double tempb = en / x;
                test = pold * plast * (0.5 - 0.5 / (tempb * tempb));
                test = test / ensig;
                p = plast * tover;
                n = n - 1;
                en = en - 2.0;
                nend = std::min(nb, n);
                ncalc = nend;
                for (int l = nstart; l <= nend; ++l) {
                    pold = psavel;
                    psavel = psave;
                    psave = en * psavel / x - pold;
                    if (psave * psavel > test) {
                        ncalc = l - 1;
                        break;
                    }
                }
                start_found = true;
                break;
            }
        }
        if (!start_found) {
            n = nend;
            en = static_cast<double>(n + n) + (alpha + alpha);
            // Special significance test for nbmx > 2.
            test = std::max(test, std::sqrt(plast * ensig) * std::sqrt(p + p));
        }
    }
    if (!start_found) {
        do {
            n = n + 1;
            en = en + 2.0;
            pold = plast;
            plast = p;
            p = en * plast / x - pold;
        } while (p < test);
    }

    // Backward recursion with the normalisation sum.
    n = n + 1;
    en = en + 2.0;
    double tempb = 0.0;
    double tempa = 1.0 / p;
    int m = 2 * n - 4 * (n / 2);
    double sum = 0.0;
    double em = static_cast<double>(n / 2);
    double alpem = (em - 1.0) + alpha;
    double alp2em = (em + em) + alpha;
    if (m != 0) sum = tempa * alpem * alp2em / em;
    int nend = n - nb;
    if (nend > 0) {
        // Recur down to order nb without storing.
        for (int l = 1; l <= nend; ++l) {
            n = n - 1;
            en = en - 2.0;
            const double tempc = tempb;
            tempb = tempa;
            tempa = (en * tempb) / x - tempc;
            m = 2 - m;
            if (m != 0) {
                em = em - 1.0;
                alp2em = (em + em) + alpha;
                if (n == 1) break;
                alpem = (em - 1.0) + alpha;
                if (alpem == 0.0) alpem = 1.0;
                sum = (sum + tempa * alp2em) * alpem / em;
            }
        }
    }
    B(n) = tempa;
    bool have_b1 = false;  // b(1) stored, only its term of the sum is missing
    bool normalise = false;
    if (nend >= 0) {
        if (nb <= 1) {
            alp2em = alpha;
            if (alpha + 1.0 == 1.0) alp2em = 1.0;
            sum = sum + B(1) * alp2em;
            normalise = true;
        } else {
            n = n - 1;
            en = en - 2.0;
            B(n) = (en * tempa) / x - tempb;
            if (n == 1) {
                have_b1 = true;
            } else {
                m = 2 - m;
                if (m != 0) {
                    em = em - 1.0;
                    alp2em = (em + em) + alpha;
                    alpem = (em - 1.0) + alpha;
                    if (alpem == 0.0) alpem = 1.0;
                    sum = (sum + B(n) * alp2em) * alpem / em;
                }
            }
        }
    }
    if (!normalise && !have_b1) {
        nend = n - 2;
        for (int l = 1; l <= nend; ++l) {
            n = n - 1;
            en = en - 2.0;
            B(n) = (en * B(n + 1)) / x - B(n + 2);
            m = 2 - m;
            if (m != 0) {
                em = em - 1.0;
                alp2em = (em + em) + alpha;
                alpem = (em - 1.0) + alpha;
                if (alpem == 0.0) alpem = 1.0;
                sum = (sum + B(n) * alp2em) * alpem / em;
            }
        }
        B(1) = 2.0 * (alpha + 1.0) * B(2) / x - B(3);
    }
    if (!normalise) {
        em = em - 1.0;
        alp2em = (em + em) + alpha;
        if (alp2em == 0.0) alp2em = 1.0;
        sum = sum + B(1) * alp2em;
    }

    // Normalise; values too small to survive the division are set to zero first.
    if (alpha + 1.0 != 1.0) sum = sum * detail::dgamma(alpha) * std::pow(x * 0.5, -alpha);
    tempa = enmten;
    if (sum > 1.0) tempa = tempa * sum;
    for (int i = 1; i <= nb; ++i) {
        if (std::fabs(B(i)) < tempa) B(i) = 0.0;
        B(i) = B(i) / sum;
    }
}

}  // namespace skarven::specfun
