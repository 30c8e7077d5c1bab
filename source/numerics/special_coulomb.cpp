// Coulomb wave functions F_l, G_l and their derivatives by Steed's method (A. R. Barnett,
// Comput. Phys. Commun. 21 (1981) 297 and 27 (1982) 147), and the Coulomb phase.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include "special.hpp"

namespace skarven {

namespace {

// Target accuracy of the continued fractions and the series, a few units of a double's rounding.
constexpr double accuracy = 1.0e-16;
// Lentz's guard against a zero denominator (Thompson and Barnett, J. Comput. Phys. 64 (1986) 490).
constexpr double tiny = 1.0e-300;
// Iteration limits: CF1 needs about rho terms beyond lmax, CF2 about 60/rho at rho near the
// turning point; far beyond either the argument is outside what a double can carry.
constexpr int cf1_limit = 2000000;
constexpr int cf2_limit = 200000;

// CF1: f = F_L'/F_L as S_(L+1) - R_(L+1)^2 / (T_(L+1) - R_(L+2)^2 / (T_(L+2) - ...)), from the
// recurrences u_L' = R_L u_(L-1) - S_L u_L = S_(L+1) u_L - R_(L+1) u_(L+1) (Abramowitz and
// Stegun 14.2.1-2), with S_L = L/rho + eta/L, R_L^2 = 1 + eta^2/L^2, T_L = S_L + S_(L+1), summed
// by the modified Lentz method. `sign` is the sign of F_L: every negative Lentz denominator flips
// it, as in Steed's algorithm, since F_L is positive for L far beyond rho.
struct Cf1 {
    double f;
    double sign;
};

std::optional<Cf1> coulomb_cf1(double eta, double rho, int l) {
    const auto s = [&](double m) { return m / rho + eta / m; };
    const auto r2 = [&](double m) { return 1.0 + (eta / m) * (eta / m); };
    double f = s(l + 1.0);
    if (f == 0.0) f = tiny;
    double c = f;
    double d = 0.0;
    double sign = 1.0;
    for (int j = 1; j <= cf1_limit; ++j) {
        const double m = l + j;
        const double a = -r2(m);
        const double b = s(m) + s(m + 1.0);
        d = b + a * d;
        if (d == 0.0) d = tiny;
        c = b + a / c;
        if (c == 0.0) c = tiny;
        d = 1.0 / d;
        if (d < 0.0) sign = -sign;
        const double delta = c * d;
        f *= delta;
        if (std::fabs(delta - 1.0) < accuracy && m > rho) return Cf1{f, sign};
    }
    return std::nullopt;
}

// CF2: p + iq = H_L+'/H_L+ (H+ = G + iF) = i(1 - eta/rho) + (i/rho) ab/(2(rho - eta + i) +
// (a+1)(b+1)/(2(rho - eta + 2i) + ...)), a = 1 + L + i eta, b = -L + i eta (Barnett 1981; DLMF
// 33.8.2), by the modified Lentz method. Slow below the turning point, where the caller hands
// over to the inward integration.
std::optional<std::complex<double>> coulomb_cf2(double eta, double rho, int l) {
    using complex = std::complex<double>;
    const complex i(0.0, 1.0);
    complex numerator(-(eta * eta + l * (l + 1.0)), eta);  // ab
    complex f = tiny;
    complex c = f;
    complex d = 0.0;
    for (int j = 1; j <= cf2_limit; ++j) {
        const complex b(2.0 * (rho - eta), 2.0 * j);
        const complex a = numerator;
        d = b + a * d;
        if (d == 0.0) d = tiny;
        c = b + a / c;
        if (c == 0.0) c = tiny;
        d = 1.0 / d;
        const complex delta = c * d;
        f *= delta;
        if (std::abs(delta - 1.0) < accuracy) return i * (1.0 - eta / rho) + (i / rho) * f;
        numerator += complex(2.0 * j, 2.0 * eta);  // (a+j)(b+j) - (a+j-1)(b+j-1)
    }
    return std::nullopt;
}

// The L = 0 Coulomb equation u'' = (2 eta/rho - 1) u by Taylor series from (u, u') at `from` to
// `to` < from, in steps of at most half the distance to the singular point rho = 0, where the
// series u = sum a_k t^k, t = rho - rho0, follows rho0 (k+2)(k+1) a_(k+2) = (2 eta - rho0) a_k
// - a_(k-1) - k(k+1) a_(k+1). Stable inward for G, which grows there below the turning point.
void integrate_inward(double eta, double from, double to, double& u, double& up) {
    double rho0 = from;
    while (rho0 > to) {
        const double t = std::max(to - rho0, -0.5 * rho0);
        double a0 = u, a1 = up, a_prev = 0.0;  // a_k, a_(k+1), a_(k-1)
        double sum = a0 + a1 * t, dsum = a1;
        double power = t;  // t^(k+1)
        for (int k = 0; k < 400; ++k) {
            const double a2 = ((2.0 * eta - rho0) * a0 - a_prev - k * (k + 1.0) * a1) /
                              (rho0 * (k + 1.0) * (k + 2.0));
            dsum += (k + 2.0) * a2 * power;
            power *= t;
            const double term = a2 * power;
            sum += term;
            a_prev = a0;
            a0 = a1;
            a1 = a2;
            if (k > 4 && std::fabs(term) <= accuracy * std::fabs(sum) &&
                std::fabs((k + 2.0) * a2 * power / t) <= accuracy * std::fabs(dsum))
                break;
        }
        u = sum;
        up = dsum;
        rho0 += t;
    }
}

}  // namespace

// Steed's method: CF1 at lmax and the downward recurrence give F_l'/F_l for every l up to a
// common factor; CF2 at l = 0 and the Wronskian F'G - FG' = 1 fix that factor and G_0, G_0'; the
// upward recurrence, stable for G, gives the other G_l. Below the l = 0 turning point of a
// repulsive field (rho < 2 eta) CF2 converges slowly and loses q to rounding, so G_0 and G_0' are
// carried there from rho = 2 eta by the inward Taylor series and F_0 = 1/(f_0 G_0 - G_0').
std::optional<CoulombFunctions> coulomb_functions(double eta, double rho, int lmax) {
    if (!(rho > 0.0) || lmax < 0 || !std::isfinite(eta) || !std::isfinite(rho)) return std::nullopt;
    const std::optional<Cf1> cf1 = coulomb_cf1(eta, rho, lmax);
    if (!cf1) return std::nullopt;
    const auto n = static_cast<std::size_t>(lmax) + 1;
    CoulombFunctions out{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
                         std::vector<double>(n)};
    // Downward: u_(L-1) = (S_L u_L + u_L')/R_L, u_(L-1)' = S_L u_(L-1) - R_L u_L, from a start
    // small enough that the growth towards l = 0 stays finite; rescaled where it would not.
    double u = cf1->sign * 1.0e-100;
    double up = cf1->f * u;
    out.f[n - 1] = u;
    out.fp[n - 1] = up;
    for (int m = lmax; m >= 1; --m) {
        const double s = m / rho + eta / m;
        const double r = std::sqrt(1.0 + (eta / m) * (eta / m));
        const double lower = (s * u + up) / r;
        up = s * lower - r * u;
        u = lower;
        if (std::fabs(u) > 1.0e200) {
            for (int k = m; k <= lmax; ++k) {
                out.f[k] *= 1.0e-200;
                out.fp[k] *= 1.0e-200;
            }
            u *= 1.0e-200;
            up *= 1.0e-200;
        }
        out.f[m - 1] = u;
        out.fp[m - 1] = up;
    }
    if (u == 0.0) return std::nullopt;
    const double f0 = up / u;
    double g0 = 0.0, gp0 = 0.0, big_f0 = 0.0;
    if (rho >= 2.0 * eta) {
        const std::optional<std::complex<double>> pq = coulomb_cf2(eta, rho, 0);
        if (!pq) return std::nullopt;
        const double p = pq->real(), q = pq->imag();
        const double gamma = (f0 - p) / q;
        const double w = 1.0 / std::sqrt(q * (1.0 + gamma * gamma));
        big_f0 = std::copysign(w, u);
        g0 = gamma * big_f0;
        gp0 = (p * gamma - q) * big_f0;
    } else {
        const double turning = 2.0 * eta;
        const std::optional<std::complex<double>> pq = coulomb_cf2(eta, turning, 0);
        const std::optional<Cf1> cf1_turning = coulomb_cf1(eta, turning, 0);
        if (!pq || !cf1_turning) return std::nullopt;
        const double p = pq->real(), q = pq->imag();
        const double gamma = (cf1_turning->f - p) / q;
        // F_0 > 0 below its first zero, which lies beyond the turning point.
        const double w = 1.0 / std::sqrt(q * (1.0 + gamma * gamma));
        g0 = gamma * w;
        gp0 = (p * gamma - q) * w;
        integrate_inward(eta, turning, rho, g0, gp0);
        big_f0 = 1.0 / (f0 * g0 - gp0);
    }
    const double scale = big_f0 / u;
    for (std::size_t k = 0; k < n; ++k) {
        out.f[k] *= scale;
        out.fp[k] *= scale;
    }
    // Upward: G_(L+1) = (S_(L+1) G_L - G_L')/R_(L+1), G_(L+1)' = R_(L+1) G_L - S_(L+1) G_(L+1).
    out.g[0] = g0;
    out.gp[0] = gp0;
    for (int m = 1; m <= lmax; ++m) {
        const double s = m / rho + eta / m;
        const double r = std::sqrt(1.0 + (eta / m) * (eta / m));
        out.g[m] = (s * out.g[m - 1] - out.gp[m - 1]) / r;
        out.gp[m] = r * out.g[m - 1] - s * out.g[m];
    }
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isfinite(out.f[k]) || !std::isfinite(out.g[k]) || !std::isfinite(out.fp[k]) ||
            !std::isfinite(out.gp[k]))
            return std::nullopt;
    return out;
}

// sigma_l = arg Gamma(l + 1 + i eta): Stirling's series for Im ln Gamma at z = 11 + i eta
// (Abramowitz and Stegun 6.1.41, terms to z^-13), brought down to z = 1 + i eta by the
// recurrence Gamma(z + 1) = z Gamma(z), then up to l by sigma_l = sigma_(l-1) + atan(eta/l).
double coulomb_phase(int l, double eta) {
    using complex = std::complex<double>;
    // B_2k / (2k (2k - 1)), k = 1..7 (Abramowitz and Stegun 6.1.41).
    constexpr double stirling[7] = {1.0 / 12.0,   -1.0 / 360.0,      1.0 / 1260.0, -1.0 / 1680.0,
                                    1.0 / 1188.0, -691.0 / 360360.0, 1.0 / 156.0};
    constexpr int shift = 10;
    const complex z(1.0 + shift, eta);
    const complex inverse = 1.0 / z;
    const complex inverse2 = inverse * inverse;
    complex series = 0.0;
    complex power = inverse;
    for (double coefficient : stirling) {
        series += coefficient * power;
        power *= inverse2;
    }
    double sigma = ((z - 0.5) * std::log(z) - z + series).imag();
    for (int j = 0; j < shift; ++j)
        sigma -= std::atan2(eta, 1.0 + j);
    for (int m = 1; m <= l; ++m)
        sigma += std::atan2(eta, static_cast<double>(m));
    return sigma;
}

}  // namespace skarven
