// Factorials, log-factorials and W. J. Cody's gamma and log-gamma functions.
#include "special.hpp"

#include <cmath>
#include <numbers>

#include "skarven/errors.hpp"
#include "special_internal.hpp"

namespace skarven {

namespace {

using std::numbers::pi;
constexpr double ln_sqrt_2pi = 0.9189385332046727417803297;

// Asymptotic series of ln Gamma beyond 12, highest power last (Cody's SPECFUN, from Hart et al.).
constexpr double stirling_c[7] = {
    -1.910444077728e-03,     8.4171387781295e-04,          -5.952379913043012e-04,
    7.93650793500350248e-04, -2.777777777777681622553e-03, 8.333333333333333331554247e-02,
    5.7083835261e-03};

// Sum c[6]/y^12 + ... of the asymptotic series, before its final division by y.
double stirling_sum(double y) {
    const double ysq = y * y;
    double sum = stirling_c[6];
    for (int i = 0; i < 6; ++i)
        sum = sum / ysq + stirling_c[i];
    return sum;
}

// Ratio P(t)/Q(t) of the rational approximations in Cody's DLGAMA: Horner from a chosen
// denominator start.
double cody_ratio(const double (&p)[8], const double (&q)[8], double t, double den_start) {
    double num = 0.0;
    double den = den_start;
    for (int i = 0; i < 8; ++i) {
        num = num * t + p[i];
        den = den * t + q[i];
    }
    return num / den;
}

}  // namespace

double lfact(int n) {
    if (n < 0) throw_error("lfact", "negative argument");
    if (n > 5003) throw_error("lfact", "argument too big");
    return detail::t_lf[static_cast<std::size_t>(n)];
}

// Ascending product (n+1)(n+2)...m; m = n gives the empty product 1.
double fact_over_fact(int m, int n) {
    if (m < n) throw_error("fact_over_fact", "improper arguments");
    if (m == n) return 1.0;
    double result = static_cast<double>(n) + 1.0;
    for (int factor = n + 2; factor <= m; ++factor)
        result *= static_cast<double>(factor);
    return result;
}

namespace detail {

// Gamma function by Cody's rational minimax approximation on [1, 2], moved there by the
// recurrence below 12, by the asymptotic series above and by the reflection formula for
// x <= 0 (W. J. Cody and L. Stoltz, SPECFUN DGAMMA). This program's thresholds replace the
// machine ones: 1/x below 2.22e-14, failure below 1e-307 and above 171.
double dgamma(double x) {
    constexpr double eps = 2.22e-14;
    constexpr double xminin = 1.0e-307;
    constexpr double xbig = 171.0;
    // Rational approximation on [1, 2] (Cody, SPECFUN DGAMMA).
    constexpr double p[8] = {-1.71618513886549492533811e+0, 2.47656508055759199108314e+1,
                             -3.79804256470945635097577e+2, 6.29331155312818442661052e+2,
                             8.66966202790413211295064e+2,  -3.14512729688483675254357e+4,
                             -3.61444134186911729807069e+4, 6.64561438202405440627855e+4};
    constexpr double q[8] = {-3.08402300119738975254353e+1, 3.15350626979604161529144e+2,
                             -1.01515636749021914166146e+3, -3.10777167157231109440444e+3,
                             2.25381184209801510330112e+4,  4.75584627752788110767815e+3,
                             -1.34659959864969306392456e+5, -1.15132259675553483497211e+5};

    bool parity = false;
    double reflection = 1.0;
    double y = x;
    if (y <= 0.0) {
        y = -x;
        const double y1 = std::trunc(y);
        const double frac = y - y1;
        if (frac == 0.0) return gamma_failure;
        if (y1 != std::trunc(y1 * 0.5) * 2.0) parity = true;
        reflection = -pi / std::sin(pi * frac);
        y = y + 1.0;
    }

    double res;
    if (y < eps) {
        if (y < xminin) return gamma_failure;
        res = 1.0 / y;
    } else if (y < 12.0) {
        const double y1 = y;
        double z;
        int n = 0;
        if (y < 1.0) {
            z = y;
            y = y + 1.0;
        } else {
            n = static_cast<int>(y) - 1;
            y = y - static_cast<double>(n);
            z = y - 1.0;
        }
        double num = 0.0;
        double den = 1.0;
        for (int i = 0; i < 8; ++i) {
            num = (num + p[i]) * z;
            den = den * z + q[i];
        }
        res = num / den + 1.0;
        if (y1 < y) {
            res = res / y1;
        } else if (y1 > y) {
            for (int i = 0; i < n; ++i) {
                res = res * y;
                y = y + 1.0;
            }
        }
    } else {
        if (y > xbig) return gamma_failure;
        const double sum = stirling_sum(y) / y - y + ln_sqrt_2pi + (y - 0.5) * std::log(y);
        res = std::exp(sum);
    }
    if (parity) res = -res;
    if (reflection != 1.0) res = reflection / res;
    return res;
}

}  // namespace detail

double specfun::gamma(double x) {
    const double res = detail::dgamma(x);
    if (res == detail::gamma_failure) throw_error("gamma", "improper argument");
    return res;
}

// ln Gamma(x) for x > 0 by Cody's rational minimax approximations on (0.5, 1.5), (1.5, 4) and
// (4, 12) and the asymptotic series beyond (W. J. Cody and L. Stoltz, SPECFUN DLGAMA, with its
// IEEE double constants). Arguments outside (0, 2.55e305] give 1.79e308 without a report.
double specfun::lgamma(double x) {
    constexpr double xbig = 2.55e305;
    constexpr double xinf = 1.79e308;
    constexpr double eps = 2.22e-16;
    constexpr double frtbig = 2.25e76;
    constexpr double pnt68 = 0.6796875;
    constexpr double d1 = -5.772156649015328605195174e-1;
    constexpr double d2 = 4.227843350984671393993777e-1;
    constexpr double d4 = 1.791759469228055000094023e0;
    // Rational approximation on (0.5, 1.5) (Cody, SPECFUN DLGAMA).
    constexpr double p1[8] = {4.945235359296727046734888e0, 2.018112620856775083915565e2,
                              2.290838373831346393026739e3, 1.131967205903380828685045e4,
                              2.855724635671635335736389e4, 3.848496228443793359990269e4,
                              2.637748787624195437963534e4, 7.225813979700288197698961e3};
    constexpr double q1[8] = {6.748212550303777196073036e1, 1.113332393857199323513008e3,
                              7.738757056935398733233834e3, 2.763987074403340708898585e4,
                              5.499310206226157329794414e4, 6.161122180066002127833352e4,
                              3.635127591501940507276287e4, 8.785536302431013170870835e3};
    // Rational approximation on (1.5, 4) (Cody, SPECFUN DLGAMA).
    constexpr double p2[8] = {4.974607845568932035012064e0, 5.424138599891070494101986e2,
                              1.550693864978364947665077e4, 1.847932904445632425417223e5,
                              1.088204769468828767498470e6, 3.338152967987029735917223e6,
                              5.106661678927352456275255e6, 3.074109054850539556250927e6};
    constexpr double q2[8] = {1.830328399370592604055942e2, 7.765049321445005871323047e3,
                              1.331903827966074194402448e5, 1.136705821321969608938755e6,
                              5.267964117437946917577538e6, 1.346701454311101692290052e7,
                              1.782736530353274213975932e7, 9.533095591844353613395747e6};
    // Rational approximation on (4, 12) (Cody, SPECFUN DLGAMA).
    constexpr double p4[8] = {1.474502166059939948905062e4,  2.426813369486704502836312e6,
                              1.214755574045093227939592e8,  2.663432449630976949898078e9,
                              2.940378956634553899906876e10, 1.702665737765398868392998e11,
                              4.926125793377430887588120e11, 5.606251856223951465078242e11};
    constexpr double q4[8] = {2.690530175870899333379843e3,  6.393885654300092398984238e5,
                              4.135599930241388052042842e7,  1.120872109616147941376570e9,
                              1.488613728678813811542398e10, 1.016803586272438228077304e11,
                              3.417476345507377132798597e11, 4.463158187419713286462081e11};

    if (!(x > 0.0 && x <= xbig)) return xinf;
    if (x <= eps) return -std::log(x);
    if (x <= 1.5) {
        double corr;
        double xm1;
        if (x < pnt68) {
            corr = -std::log(x);
            xm1 = x;
        } else {
            corr = 0.0;
            xm1 = (x - 0.5) - 0.5;
        }
        if (x <= 0.5 || x >= pnt68) return corr + xm1 * (d1 + xm1 * cody_ratio(p1, q1, xm1, 1.0));
        const double xm2 = (x - 0.5) - 0.5;
        return corr + xm2 * (d2 + xm2 * cody_ratio(p2, q2, xm2, 1.0));
    }
    if (x <= 4.0) {
        const double xm2 = x - 2.0;
        return xm2 * (d2 + xm2 * cody_ratio(p2, q2, xm2, 1.0));
    }
    if (x <= 12.0) {
        const double xm4 = x - 4.0;
        return d4 + xm4 * cody_ratio(p4, q4, xm4, -1.0);
    }
    const double sum = x <= frtbig ? stirling_sum(x) : 0.0;
    const double corr = std::log(x);
    return sum / x + ln_sqrt_2pi - 0.5 * corr + x * (corr - 1.0);
}

}  // namespace skarven

namespace skarven {

// Lanczos's approximation with g = 7 and nine coefficients (C. Lanczos, SIAM J. Numer. Anal. B 1
// (1964) 86; the coefficients as tabulated by P. Godfrey), in logarithms so that |Gamma| may
// leave the range of a double: Gamma(z + 1) = sqrt(2 pi) t^(z + 1/2) e^-t A(z), t = z + g + 1/2.
std::complex<double> log_gamma(std::complex<double> z) {
    constexpr double pi = 3.14159265358979323846;
    if (z.real() < 0.5) {
        // Gamma(z) Gamma(1 - z) = pi / sin(pi z).
        return std::log(pi) - std::log(std::sin(pi * z)) - log_gamma(1.0 - z);
    }
    static constexpr double coefficient[9] = {
        0.99999999999980993,  676.5203681218851,     -1259.1392167224028,
        771.32342877765313,   -176.61502916214059,   12.507343278686905,
        -0.13857109526572012, 9.9843695780195716e-6, 1.5056327351493116e-7};
    constexpr double g = 7.0;
    const std::complex<double> w = z - 1.0;
    std::complex<double> series = coefficient[0];
    for (int k = 1; k < 9; ++k)
        series += coefficient[k] / (w + static_cast<double>(k));
    const std::complex<double> t = w + g + 0.5;
    return 0.5 * std::log(2.0 * pi) + (w + 0.5) * std::log(t) - t + std::log(series);
}

}  // namespace skarven
