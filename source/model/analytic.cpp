#include "analytic.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>

#include "special.hpp"

namespace skarven {

namespace {

using std::numbers::pi;

// Large-component order l, small-component order and sign of the free Dirac solutions for the
// current kappa: kappa > 0 pairs j_l with j_(l-1), kappa <= 0 with j_(l+1) and a minus sign.
struct DiracOrders {
    double l;
    double l_bar;
    double sign;
};

DiracOrders dirac_orders(const Wave& wave) {
    const int l = wave.l;
    if (wave.kappa > 0) return {double(l), double(l - 1), 1.0};
    return {double(l), double(l + 1), -1.0};
}

// Collects the Bessel values of one matching; one that the routines cannot give leaves the
// matching without a result.
class BesselValues {
  public:
    double operator()(std::optional<double> value) {
        if (!value) complete_ = false;
        return value.value_or(0.0);
    }
    bool complete() const { return complete_; }

  private:
    bool complete_ = true;
};

// 2x2 product c = a b, all stored column by column (11, 21, 12, 22).
void multiply_2x2(const double* a, const double* b, double* c) {
    c[0] = a[0] * b[0] + a[2] * b[1];
    c[1] = a[1] * b[0] + a[3] * b[1];
    c[2] = a[0] * b[2] + a[2] * b[3];
    c[3] = a[1] * b[2] + a[3] * b[3];
}

// Schroedinger square well (a = 0) of radius b: the regular solution j_l(qr) inside, matched
// in value and derivative to j_l(kr) - tan(delta) n_l(kr) outside.
std::optional<double> tan_delta_well(double l, double k, double q, double b) {
    BesselValues v;
    const double jq = v(sphbess(l, q * b));
    const double jpk = v(sphbess_prim(l, k * b));
    const double jk = v(sphbess(l, k * b));
    const double npk = v(sphneum_prim(l, k * b));
    const double nk = v(sphneum(l, k * b));
    const double jpq = v(sphbess_prim(l, q * b));
    if (!v.complete()) return std::nullopt;
    return (k * jpk * jq - q * jk * jpq) / (k * npk * jq - q * nk * jpq);
}

// ln of (2l+1)!! (2l-1)!!, with (-1)!! = 1.
double log_double_factorials(double l) {
    return std::lgamma(2.0 * l + 2.0) + std::lgamma(2.0 * l + 1.0) - 2.0 * l * std::log(2.0) -
           2.0 * std::lgamma(l + 1.0);
}

// Whether a shell whose inner radius is too small for n_l(qa) in a double is the well of radius
// b to double precision. With ka, qa <= 1 the leading terms bound the irregular part,
// |B/A| ~ (qa)^(2l+1) |q^2 - k^2| a^2 / ((2l+1)!! (2l-1)!! (2l+1)(2l+3)), here with a factor 10
// to spare; it must not move (u, u') at b by a relative 1e-17.
bool shell_is_well(double l, double k, double q, double a, double jqb, double jpqb, double nqb,
                   double npqb) {
    if (k * a > 1.0 || q * a > 1.0) return false;
    const double log_mixing = std::log(10.0) + (2.0 * l + 1.0) * std::log(q * a) +
                              std::log(std::fabs(q * q - k * k) * a * a) -
                              std::log((2.0 * l + 1.0) * (2.0 * l + 3.0)) -
                              log_double_factorials(l);
    const double regular = std::max(std::fabs(jqb), std::fabs(jpqb));
    const double irregular = std::max(std::fabs(nqb), std::fabs(npqb));
    return log_mixing + std::log(irregular) <= std::log(1e-17) + std::log(regular);
}

// Schroedinger shell a < r < b: j_l(kr) inside, A j_l(qr) + B n_l(qr) in the shell (matched
// at a), free again outside (matched at b). The common factor of A and B cancels in tan(delta).
// An inner radius so small that n_l(qa) leaves the range of a double leaves B/A below any
// rounding: the shell is then the well of radius b (A = 1, B = 0), when shell_is_well says so.
std::optional<double> tan_delta_shell(double l, double k, double q, double a, double b) {
    BesselValues v;
    BesselValues inner_irregular;
    const double jka = v(sphbess(l, k * a));
    const double jpka = v(sphbess_prim(l, k * a));
    const double nqa = inner_irregular(sphneum(l, q * a));
    const double npqa = inner_irregular(sphneum_prim(l, q * a));
    const double jqa = v(sphbess(l, q * a));
    const double jpqa = v(sphbess_prim(l, q * a));
    const double jqb = v(sphbess(l, q * b));
    const double jpkb = v(sphbess_prim(l, k * b));
    const double jkb = v(sphbess(l, k * b));
    const double npqb = v(sphneum_prim(l, q * b));
    const double nkb = v(sphneum(l, k * b));
    const double jpqb = v(sphbess_prim(l, q * b));
    const double nqb = v(sphneum(l, q * b));
    const double npkb = v(sphneum_prim(l, k * b));
    if (!v.complete()) return std::nullopt;
    double big_a = 1.0;
    double big_b = 0.0;
    if (inner_irregular.complete()) {
        big_a = q * jka * npqa - k * jpka * nqa;
        big_b = k * jpka * jqa - q * jka * jpqa;
    } else if (!shell_is_well(l, k, q, a, jqb, jpqb, nqb, npqb)) {
        return std::nullopt;
    }
    const double u = big_a * jqb + big_b * nqb;
    const double du = q * (big_a * jpqb + big_b * npqb);
    return (k * jpkb * u - jkb * du) / (k * npkb * u - nkb * du);
}

// Dirac shell: the first-order radial equations only require both components to be continuous,
// so the outer coefficients of the regular inner solution are Y(b, k) X(b, q) Y(a, q) X(a, k)
// applied to (1, 0), Y being the adjugate of X (the determinants cancel in the ratio).
std::optional<double> tan_delta_dirac_shell(const Wave& wave, double c, double k, double a,
                                            double b, double e, double v0) {
    const double c2 = c * c;
    const double eps = e - v0;
    const double q = std::sqrt(eps * (eps + 2.0 * c2)) / c;
    const double ratio_q = std::sqrt(eps / (eps + 2.0 * c2));
    const double ratio_k = std::sqrt(e / (2.0 * c2 + e));
    double yb[4], xb[4], ya[4], xa[4];
    const bool complete = free_dirac_adjugate(wave, yb, b, k, ratio_k) &&
                          free_dirac_solutions(wave, xb, b, q, ratio_q) &&
                          free_dirac_adjugate(wave, ya, a, q, ratio_q) &&
                          free_dirac_solutions(wave, xa, a, k, ratio_k);
    if (!complete) return std::nullopt;
    double p[4], t[4], m[4];
    multiply_2x2(ya, xa, p);
    multiply_2x2(xb, p, t);
    multiply_2x2(yb, t, m);
    return m[1] / m[0];
}

// F_l, G_l and their r-derivatives at radius r for wave number p under the tail zc/r
// (eta = zc/p); no value when the Coulomb routines give none there.
struct CoulombValues {
    double f, fp, g, gp;
};

std::optional<CoulombValues> coulomb_values(int l, double zc, double p, double r) {
    const std::optional<CoulombFunctions> c = coulomb_functions(zc / p, p * r, l);
    if (!c) return std::nullopt;
    const auto i = static_cast<std::size_t>(l);
    return CoulombValues{c->f[i], p * c->fp[i], c->g[i], p * c->gp[i]};
}

// Square well or shell v0 (a < r < b) under the tail zc/r (Schroedinger scheme): F_l(eta, kr)
// for r < a, A F_l(eta_in, qr) + B G_l(eta_in, qr) in the shell with eta_in = zc/q (matched at
// a; A = 1, B = 0 for a = 0), F_l(eta, kr) + tan(delta) G_l(eta, kr) outside (matched at b).
// The Wronskian F'G - FG' = 1 makes the common factor of A and B cancel in tan(delta).
std::optional<double> tan_delta_coulomb_shell(int l, double zc, double k, double q, double a,
                                              double b) {
    double big_a = 1.0;
    double big_b = 0.0;
    if (a > 0.0) {
        const std::optional<CoulombValues> outer = coulomb_values(l, zc, k, a);
        const std::optional<CoulombValues> inner = coulomb_values(l, zc, q, a);
        if (!outer || !inner) return std::nullopt;
        big_a = outer->f * inner->gp - inner->g * outer->fp;
        big_b = inner->f * outer->fp - inner->fp * outer->f;
    }
    const std::optional<CoulombValues> shell = coulomb_values(l, zc, q, b);
    const std::optional<CoulombValues> free = coulomb_values(l, zc, k, b);
    if (!shell || !free) return std::nullopt;
    const double u = big_a * shell->f + big_b * shell->g;
    const double du = big_a * shell->fp + big_b * shell->gp;
    return -(free->fp * u - free->f * du) / (free->gp * u - free->g * du);
}

// The s wave of the uncut Hulthen potential v0 e^(-r/s) / (1 - e^(-r/s)) (Schroedinger
// scheme): with y = e^(-r/s) the radial equation is hypergeometric, and the connection of its
// solution regular at r = 0 to e^(+-ikr) gives, with K = k s and q = sqrt(-2 v0 s^2 - K^2),
//   delta = arg Gamma(1 + 2iK) - arg Gamma(1 + iK + q) - arg Gamma(1 + iK - q)   (mod pi).
std::optional<double> hulthen_s_wave(const Problem& problem, double e) {
    const Potential& pot = problem.potential;
    if (problem.scheme.dirac || problem.wave.l != 0 || pot.r0 > 0.0 || !(pot.range > 0.0))
        return std::nullopt;
    const double big_k = wave_number(problem.scheme, e) * pot.range;
    const std::complex<double> q =
        std::sqrt(std::complex<double>(-2.0 * pot.v0 * pot.range * pot.range - big_k * big_k));
    const std::complex<double> i_k(0.0, big_k);
    const double delta = log_gamma(1.0 + 2.0 * i_k).imag() - log_gamma(1.0 + i_k + q).imag() -
                         log_gamma(1.0 + i_k - q).imag();
    if (!std::isfinite(delta)) return std::nullopt;
    // Into (-pi/2, pi/2], as atan(tan delta) of the other closed forms.
    return std::atan(std::tan(delta));
}

}  // namespace

// Matching free and shell solutions built from spherical Bessel and Neumann functions, in the
// Schroedinger or the Dirac scheme, or from Coulomb functions under a tail (Schroedinger); the
// s wave of the Hulthen potential in gamma functions.
std::optional<double> exact_phase_shift(const Problem& problem, double e) {
    const Potential& pot = problem.potential;
    // Under a Coulomb tail only the Schroedinger well has a closed form here.
    if (problem.zc != 0.0 && (pot.kind != PotentialKind::well || problem.scheme.dirac))
        return std::nullopt;
    if (pot.kind == PotentialKind::hulthen) return hulthen_s_wave(problem, e);
    if (pot.kind != PotentialKind::well || e < pot.v0) return std::nullopt;
    const double k = wave_number(problem.scheme, e);
    std::optional<double> tan_delta = 0.0;
    if (problem.zc != 0.0) {
        // e = v0 leaves no wave number in the shell (eta_in infinite): no value there.
        const double q = std::sqrt(2.0 * (e - pot.v0));
        if (!(q > 0.0)) return std::nullopt;
        if (pot.b != 0.0)
            tan_delta = tan_delta_coulomb_shell(problem.wave.l, problem.zc, k, q, pot.a, pot.b);
    } else if (problem.scheme.dirac) {
        tan_delta =
            tan_delta_dirac_shell(problem.wave, problem.scheme.light, k, pot.a, pot.b, e, pot.v0);
    } else {
        const double l = problem.wave.l;
        const double q = std::sqrt(2.0 * (e - pot.v0));
        if (pot.a != 0.0 && pot.b != 0.0) {
            tan_delta = tan_delta_shell(l, k, q, pot.a, pot.b);
        } else if (pot.b != 0.0) {
            tan_delta = tan_delta_well(l, k, q, pot.b);
        }
    }
    // NaN: the matching lost every digit (values under- or overflowing together).
    if (!tan_delta || std::isnan(*tan_delta)) return std::nullopt;
    return std::atan(*tan_delta);
}

// Regular free Dirac solution (column 1) and minus the irregular one (column 2) at radius r,
// large component in row 1, small component (ratio times the partner order) in row 2.
bool free_dirac_solutions(const Wave& wave, double* x, double r, double p, double ratio) {
    const DiracOrders o = dirac_orders(wave);
    const double arg = p * r;
    BesselValues v;
    x[0] = v(sphbess(o.l, arg));
    x[1] = o.sign * ratio * v(sphbess(o.l_bar, arg));
    x[2] = -v(sphneum(o.l, arg));
    x[3] = -o.sign * ratio * v(sphneum(o.l_bar, arg));
    return v.complete();
}

// Adjugate of free_dirac_solutions' matrix at the same point, so that Y X = det(X) I.
bool free_dirac_adjugate(const Wave& wave, double* y, double r, double p, double ratio) {
    const DiracOrders o = dirac_orders(wave);
    const double arg = p * r;
    BesselValues v;
    y[0] = -o.sign * ratio * v(sphneum(o.l_bar, arg));
    y[1] = -o.sign * ratio * v(sphbess(o.l_bar, arg));
    y[2] = v(sphneum(o.l, arg));
    y[3] = v(sphbess(o.l, arg));
    return v.complete();
}

}  // namespace skarven
