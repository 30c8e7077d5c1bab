#include "coefficients.hpp"

#include "potential.hpp"

#include <mpfr.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace skarven {

namespace {

// The free problem at one energy. Dividing row n - 1 of the free relation
// J(n-1, n-2) t(n-2) + J(n-1, n-1) t(n-1) + J(n-1, n) t(n) = 0 (J = psipsi/2 - k^2 fifi/2) by
// its common factor leaves, for n >= 2,
//   oscillator: (n-1) t(n-2) + (2n + l - 1/2 - q^2) t(n-1) + (n + l + 1/2) t(n) = 0,
//   Laguerre:   (n-1) t(n-2) - 2(n + l) x t(n-1) + (n + 2l + 1) t(n) = 0,
// with q = k/lambda and x = (q^2 - 1/4)/(q^2 + 1/4). q^2 is carried as hi + lo: the oscillator
// coefficients at n in the thousands follow its last bits (their phase is about 2 sqrt(n q^2)).
// With a Coulomb tail zc/r (Sommerfeld parameter eta = zc/k) the Laguerre row gains the diagonal
// of 1/r, which is the weight (n + 2l + 1)!/n! itself, and reads
//   (n-1) t(n-2) - 2((n + l) x - eta y) t(n-1) + (n + 2l + 1) t(n) = 0,  y = sin(theta),
// with x = cos(theta): the Pollaczek relation (Yamani and Fishman, J. Math. Phys. 16 (1975) 410).
// A non-integral l (Laguerre basis of order 2l + 1, no Coulomb tail) keeps the Laguerre row as it
// is: the relation holds at any real order.
struct FreeProblem {
    bool gauss;
    double l;
    bool integral;  // l is an integer: the closed forms of t(0), t(1) are finite sums
    double q;
    double q2;
    double q2_lo;
    double eta;
};

FreeProblem free_problem(const Basis& basis, double l, double k, double eta) {
    const double q = k / basis.lambda;
    const double q2 = q * q;
    const bool oscillator = basis.kind == BasisKind::oscillator;
    return {oscillator, l, l == std::floor(l), q, q2, std::fma(q, q, -q2), eta};
}

// Where the relation stops being safe in double precision. In rows whose characteristic roots
// are real the irregular solution is the recessive one (c_n falls off as s_n grows: below
// n ~ q^2/4 in the oscillator basis, at small n for larger l in both), and the double relation
// loses the log2 of the ratio of the roots in each such row. Up to the row returned (two past
// the last such row, and in the oscillator basis past the turning point to where the roots
// have a negative real part) the relation runs in extended precision.
struct Prefix {
    int last;
    double lost_bits;
};

Prefix plan_prefix(const FreeProblem& p, int top) {
    const double l = p.l;
    const double z = p.q2;
    const double x = (z - 0.25) / (z + 0.25);
    const double y2 = z / ((z + 0.25) * (z + 0.25));
    double lost = 0.0;
    int last = 1;
    for (int n = 2; n <= top; ++n) {
        const double a = n - 1.0;
        double b, c, disc;  // the row is a t(n-2) + b t(n-1) + c t(n); disc = b^2 - 4ac
        if (p.gauss) {
            b = 2.0 * n + l - 0.5 - z;
            c = n + l + 0.5;
            disc = (l + 1.5) * (l + 1.5) - 2.0 * z * (2.0 * n + l - 0.5) + z * z;
        } else if (p.eta == 0.0) {
            b = -2.0 * (n + l) * x;
            c = n + 2.0 * l + 1.0;
            disc = 4.0 * ((l + 1.0) * (l + 1.0) - (n + l) * (n + l) * y2);
        } else {
            // disc/4 = (l+1)^2 + eta^2 y^2 - 2 (n+l) x eta y - (n+l)^2 y^2: positive at n + l = 0,
            // a downward parabola in n + l, so it too stays negative once it is.
            const double mid = (n + l) * x - p.eta * std::sqrt(y2);
            b = -2.0 * mid;
            c = n + 2.0 * l + 1.0;
            disc = 4.0 * (mid * mid - a * c);
        }
        if (disc <= 0.0) break;  // disc falls with n: no real roots further on
        lost += 2.0 * std::log2(std::fabs(b) + std::sqrt(disc)) - std::log2(4.0 * a * c);
        last = n;
    }
    if (p.gauss) last = std::max(last, static_cast<int>(std::ceil((z - l + 0.5) / 2.0)));
    return {std::min(top, last + 2), lost};
}

// An MPFR number of a fixed precision that lives for one scope.
class Big {
  public:
    explicit Big(mpfr_prec_t bits) { mpfr_init2(value_, bits); }
    ~Big() { mpfr_clear(value_); }
    Big(const Big&) = delete;
    Big& operator=(const Big&) = delete;
    operator mpfr_ptr() { return value_; }

  private:
    mpfr_t value_;
};

// value = mantissa * 2^exponent, the mantissa a double: extended values before the common
// scale of the tables is known.
struct Scaled {
    double mantissa = 0.0;
    long exponent = 0;
};

Scaled take(mpfr_ptr x) {
    Scaled v;
    v.mantissa = mpfr_get_d_2exp(&v.exponent, x, MPFR_RNDN);
    return v;
}

constexpr mpfr_rnd_t near = MPFR_RNDN;

// Bits lost to cancellation in a sum whose largest term had exponent `peak`.
long cancellation(mpfr_ptr sum, long peak) {
    return mpfr_zero_p(sum) ? peak + 4096 : std::max(0L, peak - mpfr_get_exp(sum));
}

// Kummer series 1F1(-l - 1/2 - j; 1/2 - l; q^2), j = 0 or 1: term ratio
// q^2 (2i - 2l - 3 - 2j) / (i (2i - 2l - 1)), neither factor ever zero. Summed until a term
// past the largest is below the working precision; returns the bits lost to cancellation.
long kummer_series(mpfr_ptr sum, int l, int j, double q, mpfr_prec_t bits) {
    Big term(bits);
    mpfr_set_ui(sum, 1, near);
    mpfr_set_ui(term, 1, near);
    long peak = 1;
    const double past_peak = q * q + l + 2.0;
    for (long i = 1;; ++i) {
        mpfr_mul_d(term, term, q, near);
        mpfr_mul_d(term, term, q, near);
        mpfr_mul_si(term, term, 2 * i - 2 * l - 3 - 2 * j, near);
        mpfr_div_si(term, term, i * (2 * i - 2 * l - 1), near);
        mpfr_add(sum, sum, term, near);
        peak = std::max(peak, static_cast<long>(mpfr_get_exp(term)));
        if (i > past_peak && !mpfr_zero_p(sum) &&
            mpfr_get_exp(term) < mpfr_get_exp(sum) - static_cast<long>(bits) - 2)
            break;
    }
    return cancellation(sum, peak);
}

// Terminating Gauss series 2F1(j + 1, -m; 1/2 - l; u), m = j + 2l + 1: term ratio
// 2 (j + 1 + i)(i - m) u / ((1 - 2l + 2i)(i + 1)). Returns the bits lost to cancellation.
long gauss_series(mpfr_ptr sum, int l, int j, mpfr_ptr u, mpfr_prec_t bits) {
    Big term(bits);
    mpfr_set_ui(sum, 1, near);
    mpfr_set_ui(term, 1, near);
    long peak = 1;
    const long m = j + 2 * l + 1;
    for (long i = 0; i < m; ++i) {
        mpfr_mul(term, term, u, near);
        mpfr_mul_si(term, term, 2 * (j + 1 + i) * (i - m), near);
        mpfr_div_si(term, term, (1 - 2 * l + 2 * i) * (i + 1), near);
        mpfr_add(sum, sum, term, near);
        peak = std::max(peak, static_cast<long>(mpfr_get_exp(term)));
    }
    return cancellation(sum, peak);
}

// A complex MPFR number for the Coulomb closed forms.
struct BigComplex {
    explicit BigComplex(mpfr_prec_t bits) : re(bits), im(bits) {}
    Big re, im;
};

// out = a * b; out may be a or b.
void complex_mul(BigComplex& out, BigComplex& a, BigComplex& b, mpfr_prec_t bits) {
    Big re(bits), t(bits);
    mpfr_mul(re, a.re, b.re, near);
    mpfr_mul(t, a.im, b.im, near);
    mpfr_sub(re, re, t, near);
    mpfr_mul(t, a.re, b.im, near);
    mpfr_fma(out.im, a.im, b.re, t, near);
    mpfr_set(out.re, re, near);
}

// out = a / b; out may be a or b.
void complex_div(BigComplex& out, BigComplex& a, BigComplex& b, mpfr_prec_t bits) {
    BigComplex conj(bits);
    Big norm(bits);
    mpfr_set(conj.re, b.re, near);
    mpfr_neg(conj.im, b.im, near);
    mpfr_sqr(norm, b.re, near);
    mpfr_fma(norm, b.im, b.im, norm, near);
    complex_mul(out, a, conj, bits);
    mpfr_div(out.re, out.re, norm, near);
    mpfr_div(out.im, out.im, norm, near);
}

// F = 2F1(1, b; b + 2l + 2; z) with b = -l + i eta and |z| = 1 (z = e^(-2i theta)). The terms
// T_k z^k, T_k = (b)_k/(b + 2l + 2)_k, fall only as k^-(2l+2), so the series is summed directly
// to k = K - 1 and its tail by Pfaff's transformation, sum_(k>=K) T_k z^k = z^K T_K/(1 - z)
// 2F1(1, 2l + 2; b + 2l + 2 + K; z/(z - 1)), whose terms fall once m/(K + m) |z/(z - 1)| < 1:
// with |z/(z - 1)| = 1/(2y) above 1/2, K of about (bits ln 2)/y makes its smallest term
// negligible. Returns the bits lost to cancellation. Cost O(K) complex MPFR operations.
// l may be real (eta = 0, a Laguerre basis of real order): the series then needs 2l + 2 > 1.
long coulomb_gauss_series(BigComplex& sum, double l, double eta, mpfr_ptr x, mpfr_ptr y,
                          mpfr_prec_t bits) {
    BigComplex z(bits), zeta(bits), term(bits), factor(bits), ratio(bits), power(bits);
    Big t(bits), order(bits);
    mpfr_set_d(order, l, near);  // exact, and so are l + k, 2l + 2 + m below
    // z = (x - i y)^2, 1 - z = 2y (y + i x), -z/(1 - z) = -zeta.
    mpfr_sqr(z.re, x, near);
    mpfr_sqr(t, y, near);
    mpfr_sub(z.re, z.re, t, near);
    mpfr_mul(z.im, x, y, near);
    mpfr_mul_si(z.im, z.im, -2, near);
    BigComplex one_minus_z(bits);
    mpfr_mul(one_minus_z.re, y, y, near);
    mpfr_mul_2ui(one_minus_z.re, one_minus_z.re, 1, near);
    mpfr_mul(one_minus_z.im, x, y, near);
    mpfr_mul_2ui(one_minus_z.im, one_minus_z.im, 1, near);
    complex_div(zeta, z, one_minus_z, bits);
    const double y_d = mpfr_get_d(y, near);
    const double reach = (static_cast<double>(bits) * std::log(2.0) + 20.0) / y_d;
    const long k_top = 2.0 * y_d > 1.0 ? 0
                                       : static_cast<long>(std::ceil(reach)) +
                                             static_cast<long>(std::ceil(4.0 * l)) + 8;
    if (k_top > 100000000L)
        throw_error("s", "the energy is too far from lambda^2/8 for the Coulomb coefficients");
    long peak = 1;
    mpfr_set_ui(sum.re, 0, near);
    mpfr_set_ui(sum.im, 0, near);
    mpfr_set_ui(term.re, 1, near);  // T_k z^k
    mpfr_set_ui(term.im, 0, near);
    for (long k = 0; k < k_top; ++k) {
        mpfr_add(sum.re, sum.re, term.re, near);
        mpfr_add(sum.im, sum.im, term.im, near);
        peak = std::max({peak, static_cast<long>(mpfr_get_exp(term.re)),
                         static_cast<long>(mpfr_get_exp(term.im))});
        // T_(k+1) z^(k+1) = T_k z^k (b + k)/(b + 2l + 2 + k) z
        mpfr_si_sub(ratio.re, k, order, near);
        mpfr_set_d(ratio.im, eta, near);
        mpfr_add_si(factor.re, order, 2 + k, near);
        mpfr_set_d(factor.im, eta, near);
        complex_div(ratio, ratio, factor, bits);
        complex_mul(ratio, ratio, z, bits);
        complex_mul(term, term, ratio, bits);
    }
    // The tail: term = T_K z^K, times sum_m (2l + 2)_m/(b + 2l + 2 + K)_m (-zeta)^m/(1 - z).
    BigComplex tail(bits);
    mpfr_set_ui(tail.re, 1, near);
    mpfr_set_ui(tail.im, 0, near);
    mpfr_set_ui(power.re, 1, near);
    mpfr_set_ui(power.im, 0, near);
    mpfr_neg(zeta.re, zeta.re, near);
    mpfr_neg(zeta.im, zeta.im, near);
    long tail_peak = 1;
    for (long m = 0;; ++m) {
        mpfr_mul_2ui(ratio.re, order, 1, near);
        mpfr_add_si(ratio.re, ratio.re, 2 + m, near);
        mpfr_set_ui(ratio.im, 0, near);
        mpfr_add_si(factor.re, order, 2 + k_top + m, near);
        mpfr_set_d(factor.im, eta, near);
        complex_div(ratio, ratio, factor, bits);
        complex_mul(ratio, ratio, zeta, bits);
        complex_mul(power, power, ratio, bits);
        mpfr_add(tail.re, tail.re, power.re, near);
        mpfr_add(tail.im, tail.im, power.im, near);
        const long e = std::max(mpfr_get_exp(power.re), mpfr_get_exp(power.im));
        tail_peak = std::max(tail_peak, e);
        const long top = std::max(mpfr_get_exp(tail.re), mpfr_get_exp(tail.im));
        if (e < top - static_cast<long>(bits) - 4) break;
        if (m > 1000000L) throw_error("s", "the Coulomb coefficients' series does not converge");
    }
    const long tail_lost =
        std::max(0L, tail_peak - std::max(mpfr_get_exp(tail.re), mpfr_get_exp(tail.im)));
    complex_div(tail, tail, one_minus_z, bits);
    complex_mul(tail, tail, term, bits);
    mpfr_add(sum.re, sum.re, tail.re, near);
    mpfr_add(sum.im, sum.im, tail.im, near);
    const long top = std::max(mpfr_get_exp(sum.re), mpfr_get_exp(sum.im));
    return std::max(tail_lost, std::max(0L, peak - top));
}

// The Coulomb closed forms at the first two indices, with theta = atan2(y, x):
//   s_0 = 2^l |Gamma(l + 1 + i eta)| e^(eta (pi/2 - theta)) y^(l+1)/(2l + 1)!,
//   s_1 = s_0 2((l + 1) x - eta y)/(2l + 2),
// the projections of F_l(eta, q x) on the dual basis (the Laplace transform of Kummer's
// function; at eta = 0 the Gegenbauer form above), and with
//   R = -(2y)^(-l) e^(eta (theta - pi/2))/|Gamma(l + 1 + i eta)|,
//   c_n + i s_n = R Gamma(l + 1 + i eta) e^(-i(n+1) theta) n!/Gamma(n + l + 2 + i eta)
//                 2F1(n + 1, -l + i eta; n + l + 2 + i eta; e^(-2i theta)),
// the irregular partner whose sum c_n + i s_n is the pure e^(-i n theta) solution of the
// relation (Yamani and Fishman 1975; Heller and Yamani, Phys. Rev. A 9 (1974) 1201 at eta = 0).
// Only c_0 needs the series: c_1 follows from the first row, whose term at n = -1 (of the
// weighted form Gamma(n + 2l + 2)/n! t(n)) is R Gamma(2l + 1), so
// c_1 = (2 mid c_0 - R)/(2l + 2) with mid = (l + 1) x - eta y; at eta = 0 this holds for a real
// l as well (the closed form is analytic in n and l). Returns the bits lost to cancellation.
long irregular_start(double l, double eta, mpfr_ptr x, mpfr_ptr y, mpfr_ptr r, mpfr_ptr mid,
                     mpfr_prec_t bits, mpfr_ptr c0, mpfr_ptr c1) {
    // c_0 = R Re((x - i y) F/(l + 1 + i eta))
    BigComplex f(bits), w(bits);
    long lost = coulomb_gauss_series(f, l, eta, x, y, bits);
    mpfr_set(w.re, x, near);
    mpfr_neg(w.im, y, near);
    complex_mul(f, f, w, bits);
    mpfr_set_d(w.re, l, near);
    mpfr_add_ui(w.re, w.re, 1, near);  // l + 1 and 2l + 2 are exact
    mpfr_set_d(w.im, eta, near);
    complex_div(f, f, w, bits);
    mpfr_mul(c0, f.re, r, near);
    // A real part far below the modulus keeps fewer of the series' bits.
    lost = std::max(lost, cancellation(f.re, std::max(mpfr_get_exp(f.re), mpfr_get_exp(f.im))));
    mpfr_mul(c1, c0, mid, near);
    mpfr_mul_2ui(c1, c1, 1, near);
    const long peak = std::max(mpfr_get_exp(c1), mpfr_get_exp(r));
    mpfr_sub(c1, c1, r, near);
    lost = std::max(lost, cancellation(c1, peak));
    mpfr_mul_2ui(w.re, w.re, 1, near);
    mpfr_div(c1, c1, w.re, near);
    return lost;
}

// s_0, s_1 and R of the Coulomb closed forms above at an integral l; c_0, c_1 by irregular_start.
long coulomb_start(const FreeProblem& p, mpfr_ptr x, mpfr_ptr y, mpfr_prec_t bits, mpfr_ptr s0,
                   mpfr_ptr s1, mpfr_ptr c0, mpfr_ptr c1) {
    const int l = static_cast<int>(p.l);
    Big theta(bits), pi(bits), gamma_abs(bits), t(bits), e(bits), mid(bits), r(bits);
    mpfr_atan2(theta, y, x, near);
    mpfr_const_pi(pi, near);
    // |Gamma(l + 1 + i eta)|^2 = pi eta/sinh(pi eta) prod_(j=1..l) (j^2 + eta^2)
    mpfr_mul_d(t, pi, p.eta, near);
    mpfr_sinh(gamma_abs, t, near);
    mpfr_div(gamma_abs, t, gamma_abs, near);
    for (int j = 1; j <= l; ++j) {
        mpfr_set_d(t, p.eta, near);
        mpfr_sqr(t, t, near);
        mpfr_add_ui(t, t, static_cast<unsigned long>(j) * j, near);
        mpfr_mul(gamma_abs, gamma_abs, t, near);
    }
    mpfr_sqrt(gamma_abs, gamma_abs, near);
    // e = e^(eta (pi/2 - theta))
    mpfr_div_2ui(e, pi, 1, near);
    mpfr_sub(e, e, theta, near);
    mpfr_mul_d(e, e, p.eta, near);
    mpfr_exp(e, e, near);
    mpfr_pow_ui(s0, y, l + 1, near);
    mpfr_mul(s0, s0, gamma_abs, near);
    mpfr_mul(s0, s0, e, near);
    mpfr_mul_2ui(s0, s0, l, near);
    for (int i = 2; i <= 2 * l + 1; ++i)
        mpfr_div_ui(s0, s0, i, near);
    // mid = (l + 1) x - eta y
    mpfr_mul_ui(mid, x, l + 1, near);
    mpfr_mul_d(t, y, p.eta, near);
    mpfr_sub(mid, mid, t, near);
    mpfr_mul(s1, s0, mid, near);
    mpfr_div_ui(s1, s1, l + 1, near);
    // R = -1/((2y)^l e |Gamma|)
    mpfr_mul_2ui(r, y, 1, near);
    mpfr_pow_ui(r, r, l, near);
    mpfr_mul(r, r, e, near);
    mpfr_mul(r, r, gamma_abs, near);
    mpfr_si_div(r, -1, r, near);
    return irregular_start(p.l, p.eta, x, y, r, mid, bits, c0, c1);
}

// The free closed forms continued to a real order l > -1/2 (the Coulomb ones at eta = 0):
//   s_0 = 2^l Gamma(l + 1) y^(l+1)/Gamma(2l + 2), s_1 = s_0 x,
// and c_0, c_1 from the outgoing solution with R = -(2y)^(-l)/Gamma(l + 1). The series on the
// unit circle falls as k^-(2l+2), slowly near l = -1/2; its Pfaff tail carries it. Returns the
// bits lost to cancellation.
long real_order_start(const FreeProblem& p, mpfr_ptr x, mpfr_ptr y, mpfr_prec_t bits, mpfr_ptr s0,
                      mpfr_ptr s1, mpfr_ptr c0, mpfr_ptr c1) {
    Big order(bits), gamma_l1(bits), t(bits), r(bits), mid(bits);
    mpfr_set_d(order, p.l, near);
    mpfr_add_ui(mid, order, 1, near);
    mpfr_gamma(gamma_l1, mid, near);
    mpfr_pow(s0, y, mid, near);
    mpfr_mul(s0, s0, gamma_l1, near);
    mpfr_ui_pow(t, 2, order, near);
    mpfr_mul(s0, s0, t, near);
    mpfr_mul_2ui(t, mid, 1, near);
    mpfr_gamma(t, t, near);
    mpfr_div(s0, s0, t, near);
    mpfr_mul(s1, s0, x, near);
    // R = -1/((2y)^l Gamma(l + 1))
    mpfr_mul_2ui(r, y, 1, near);
    mpfr_pow(r, r, order, near);
    mpfr_mul(r, r, gamma_l1, near);
    mpfr_si_div(r, -1, r, near);
    mpfr_mul(mid, mid, x, near);  // (l + 1) x
    return irregular_start(p.l, 0.0, x, y, r, mid, bits, c0, c1);
}

// (2m - 1)!! = 1 * 3 * ... * (2m - 1), times x.
void mul_odd_factorial(mpfr_ptr x, int m) {
    for (int i = 1; i <= m; ++i)
        mpfr_mul_ui(x, x, 2 * i - 1, near);
}

// The leading part of both tables in extended precision, and the differences
// t(last) - sigma t(last - 1) that start the double relation.
struct Head {
    std::vector<Scaled> s, c;
    Scaled s_step, c_step;
};

// t(0), t(1) from the closed forms (Gegenbauer polynomials and the Gauss series in the
// Laguerre basis, the Laguerre polynomials and the Kummer series in the oscillator basis),
// then the relation up to t(last), all with `bits` of precision. Returns the bits the series
// lost to cancellation (their result is good when that stays within the margin).
long fill_head(const FreeProblem& p, int last, int sigma, mpfr_prec_t bits, Head& head) {
    const int l = static_cast<int>(p.l);  // read on the integral paths only
    Big s0(bits), s1(bits), s2(bits), c0(bits), c1(bits), c2(bits), q2(bits), x(bits);
    Big pre(bits), tmp(bits), sum(bits), eta_y(bits), order(bits), weight(bits);
    mpfr_set_d(order, p.l, near);
    long lost = 0;
    mpfr_set_d(q2, p.q, near);
    mpfr_sqr(q2, q2, near);  // exact: 106 bits at most
    if (p.gauss) {
        // s_0 = sqrt(2 pi)/Gamma(l + 3/2) e^(-q^2/2) q^(l+1) = sqrt2 2^(l+1)/(2l+1)!! ...
        // s_1 = -s_0 (2l + 3 - 2 q^2)/(2l + 3)
        // c_0 = sqrt(2/pi) Gamma(l + 1/2)/Gamma(l + 3/2) e^(-q^2/2) q^(-l) K0
        //     = sqrt(2/pi) 2/(2l + 1) e^(-q^2/2) q^(-l) K0
        // c_1 = -sqrt(2/pi) 4/((2l + 1)(2l + 3)) e^(-q^2/2) q^(-l) K1
        mpfr_div_2ui(tmp, q2, 1, near);
        mpfr_neg(tmp, tmp, near);
        mpfr_exp(pre, tmp, near);
        mpfr_set_d(tmp, p.q, near);
        mpfr_pow_ui(tmp, tmp, l + 1, near);
        mpfr_mul(s0, pre, tmp, near);
        mpfr_sqrt_ui(tmp, 2, near);
        mpfr_mul(s0, s0, tmp, near);
        mpfr_mul_2ui(s0, s0, l + 1, near);
        mpfr_set_ui(tmp, 1, near);
        mul_odd_factorial(tmp, l + 1);
        mpfr_div(s0, s0, tmp, near);
        mpfr_mul_2ui(tmp, q2, 1, near);
        mpfr_ui_sub(tmp, 2 * l + 3, tmp, near);
        mpfr_mul(s1, s0, tmp, near);
        mpfr_div_si(s1, s1, -(2 * l + 3), near);
        // pre = sqrt(2/pi) e^(-q^2/2) q^(-l)
        mpfr_const_pi(tmp, near);
        mpfr_ui_div(tmp, 2, tmp, near);
        mpfr_sqrt(tmp, tmp, near);
        mpfr_mul(pre, pre, tmp, near);
        mpfr_set_d(tmp, p.q, near);
        mpfr_pow_ui(tmp, tmp, l, near);
        mpfr_div(pre, pre, tmp, near);
        lost = std::max(lost, kummer_series(sum, l, 0, p.q, bits));
        mpfr_mul(c0, pre, sum, near);
        mpfr_mul_2ui(c0, c0, 1, near);
        mpfr_div_ui(c0, c0, 2 * l + 1, near);
        lost = std::max(lost, kummer_series(sum, l, 1, p.q, bits));
        mpfr_mul(c1, pre, sum, near);
        mpfr_mul_2ui(c1, c1, 2, near);
        mpfr_div_si(c1, c1, -(2 * l + 1) * (2 * l + 3), near);
    } else {
        // With d = 4q^2 + 1: x = (4q^2 - 1)/d, y = 4q/d = sin(theta), u = (1 - x)/2 = 1/d.
        // s_0 = l! 2^l/(2l+1)! y^(l+1) C_0^(l+1)(x) = y^(l+1)/(2l+1)!!, s_1 = s_0 x;
        // c_j = -Gamma(l + 1/2)/sqrt(pi) 2^l/y^l j!/(j + 2l + 1)! 2F1(j + 1, -j - 2l - 1;
        // 1/2 - l; u) with Gamma(l + 1/2) 2^l/sqrt(pi) = (2l - 1)!!.
        Big den(bits), y(bits), u(bits);
        mpfr_mul_2ui(den, q2, 2, near);
        mpfr_add_ui(den, den, 1, near);
        mpfr_sub_ui(x, den, 2, near);
        mpfr_div(x, x, den, near);
        mpfr_set_d(y, p.q, near);
        mpfr_mul_2ui(y, y, 2, near);
        mpfr_div(y, y, den, near);
        mpfr_ui_div(u, 1, den, near);
        if (p.eta != 0.0) {
            lost = coulomb_start(p, x, y, bits, s0, s1, c0, c1);
            mpfr_mul_d(eta_y, y, p.eta, near);
        } else if (!p.integral) {
            lost = real_order_start(p, x, y, bits, s0, s1, c0, c1);
        } else {
            mpfr_pow_ui(s0, y, l + 1, near);
            mpfr_set_ui(tmp, 1, near);
            mul_odd_factorial(tmp, l + 1);
            mpfr_div(s0, s0, tmp, near);
            mpfr_mul(s1, s0, x, near);
            mpfr_pow_ui(pre, y, l, near);
            mpfr_ui_div(pre, 1, pre, near);
            mul_odd_factorial(pre, l);
            for (int i = 2; i <= 2 * l + 1; ++i)
                mpfr_div_ui(pre, pre, i, near);
            mpfr_neg(pre, pre, near);
            lost = std::max(lost, gauss_series(sum, l, 0, u, bits));
            mpfr_mul(c0, pre, sum, near);
            lost = std::max(lost, gauss_series(sum, l, 1, u, bits));
            mpfr_mul(c1, pre, sum, near);
            mpfr_div_ui(c1, c1, 2 * l + 2, near);
        }
    }
    head.s.assign(last + 1, Scaled{});
    head.c.assign(last + 1, Scaled{});
    head.s[0] = take(s0);
    head.c[0] = take(c0);
    head.s[1] = take(s1);
    head.c[1] = take(c1);
    for (int n = 2; n <= last; ++n) {
        const std::array<std::array<mpfr_ptr, 3>, 2> both{{{s0, s1, s2}, {c0, c1, c2}}};
        for (auto [t0, t1, t2] : both) {
            if (p.gauss) {
                // t2 = (2 q^2 t1 - (4n + 2l - 1) t1 - 2(n - 1) t0) / (2n + 2l + 1)
                mpfr_mul_d(t2, t1, p.q, near);
                mpfr_mul_d(t2, t2, p.q, near);
                mpfr_mul_2ui(t2, t2, 1, near);
                mpfr_mul_si(tmp, t1, 4 * n + 2 * l - 1, near);
                mpfr_sub(t2, t2, tmp, near);
                mpfr_mul_si(tmp, t0, 2 * (n - 1), near);
                mpfr_sub(t2, t2, tmp, near);
                mpfr_div_si(t2, t2, 2 * n + 2 * l + 1, near);
            } else if (p.eta != 0.0) {
                // t2 = (2((n + l) x - eta y) t1 - (n - 1) t0) / (n + 2l + 1)
                mpfr_mul_si(t2, x, n + l, near);
                mpfr_sub(t2, t2, eta_y, near);
                mpfr_mul(t2, t2, t1, near);
                mpfr_mul_2ui(t2, t2, 1, near);
                mpfr_mul_si(tmp, t0, n - 1, near);
                mpfr_sub(t2, t2, tmp, near);
                mpfr_div_si(t2, t2, n + 2 * l + 1, near);
            } else {
                // t2 = (2(n + l) x t1 - (n - 1) t0) / (n + 2l + 1); both weights are exact in
                // MPFR for a real l too, so an integral l rounds as with integer factors.
                mpfr_add_si(weight, order, n, near);
                mpfr_mul_2ui(weight, weight, 1, near);
                mpfr_mul(t2, t1, x, near);
                mpfr_mul(t2, t2, weight, near);
                mpfr_mul_si(tmp, t0, n - 1, near);
                mpfr_sub(t2, t2, tmp, near);
                mpfr_mul_2ui(weight, order, 1, near);
                mpfr_add_si(weight, weight, n + 1, near);
                mpfr_div(t2, t2, weight, near);
            }
        }
        mpfr_swap(s0, s1);
        mpfr_swap(s1, s2);
        mpfr_swap(c0, c1);
        mpfr_swap(c1, c2);
        head.s[n] = take(s1);
        head.c[n] = take(c1);
    }
    const auto step = [&](mpfr_ptr t1, mpfr_ptr t0) {
        if (sigma > 0)
            mpfr_sub(tmp, t1, t0, near);
        else
            mpfr_add(tmp, t1, t0, near);
        return take(tmp);
    };
    head.s_step = step(s1, s0);
    head.c_step = step(c1, c0);
    return lost;
}

// Continues both tables from t(last) in long double precision (an ulp of q^2 or of a step moves
// the phase of the coefficients at n = 5000 by some 1e-13 in double). The relation runs on
// u(n) = sigma^n t(n) and its steps d(n) = u(n) - u(n-1):
//   c d(n) = a d(n-1) - r u(n-1),  r = a + sigma b + c,
// which stays accurate where the characteristic roots of u lie close to 1 (Laguerre basis at
// large q: roots near e^(+-i/q); oscillator basis far above the turning point: the roots of t
// near -1), where the plain relation would lose digits in every step.
void continue_relation(const FreeProblem& p, int last, int sigma, double s_step, double c_step,
                       std::vector<double>& t_s, std::vector<double>& t_c) {
    using real = long double;
    const int top = static_cast<int>(t_s.size()) - 1;
    const real l = p.l;
    const real z = static_cast<real>(p.q2) + p.q2_lo;
    // Laguerre: r = 2(n + l) w with w = 1 - x = 2/(4q^2 + 1) for sigma = 1, 1 + x for sigma = -1.
    const real w = sigma > 0 ? 2.0L / (4.0L * z + 1.0L) : 8.0L * z / (4.0L * z + 1.0L);
    // The Coulomb row adds 2 sigma eta y to r.
    const real coulomb = 2.0L * sigma * p.eta * (4.0L * p.q / (4.0L * z + 1.0L));
    const real sign_last = (sigma < 0 && last % 2 != 0) ? -1.0L : 1.0L;
    for (auto [table, step] : {std::pair{&t_s, s_step}, std::pair{&t_c, c_step}}) {
        std::vector<double>& t = *table;
        real u = sign_last * t[last];
        real d = sign_last * step;
        real sign = sign_last;
        for (int n = last + 1; n <= top; ++n) {
            const real a = n - 1.0L;
            if (p.gauss)
                d = (a * d - z * u) / (n + l + 0.5L);
            else if (p.eta == 0.0)
                d = (a * d - 2.0L * (n + l) * w * u) / (n + 2.0L * l + 1.0L);
            else
                d = (a * d - (2.0L * (n + l) * w + coulomb) * u) / (n + 2.0L * l + 1.0L);
            u += d;
            sign = sigma < 0 ? -sign : sign;
            t[n] = static_cast<double>(sign * u);
        }
    }
}

void fill_tables(const FreeProblem& p, int top, std::vector<double>& t_s,
                 std::vector<double>& t_c) {
    if (p.gauss && p.eta != 0.0) throw_error("s", "a Coulomb tail needs the laguerre basis");
    if (!p.integral) {
        if (p.gauss) throw_error("s", "a non-integral order l needs the laguerre basis");
        if (p.eta != 0.0) throw_error("s", "a non-integral order l has no Coulomb tail");
        if (!(p.l > -0.5)) throw_error("s", "a non-integral order l must lie above -1/2");
    } else {
        SKARVEN_CHECK(std::fabs(p.l) <= INT_MAX / 4);  // integral orders come from an int
    }
    if (p.gauss && !(p.q2 <= max_gauss_q2))
        throw_error("s", "k/lambda is above 50, beyond the range of the gauss basis");
    t_s.assign(top + 1, 0.0);
    t_c.assign(top + 1, 0.0);
    // The oscillator relation continues on (-1)^n t(n); the Laguerre one on t(n) when its
    // roots lie near 1 (q^2 >= 1/4) and on (-1)^n t(n) when they lie near -1.
    const int sigma = (p.gauss || p.q2 < 0.25) ? -1 : 1;
    const Prefix prefix = plan_prefix(p, top);
    // The relation loses prefix.lost_bits, the closed forms' series their cancellation; 64
    // more bits leave the result at double precision.
    constexpr long margin = 64;
    auto bits = static_cast<mpfr_prec_t>(margin + 64 + std::ceil(1.1 * prefix.lost_bits));
    // A series that cancels beyond the margin is summed once more with the bits it lost (an
    // exact zero, as c_0 at q^2 = 1/4 in the Laguerre basis, counts as a large loss).
    Head head;
    const long lost = fill_head(p, prefix.last, sigma, bits, head);
    if (lost > margin) fill_head(p, prefix.last, sigma, bits + std::min(lost, 4096L), head);
    // One power of two for both tables keeps the largest value below 2^1000.
    long largest = LONG_MIN;
    for (const auto* part : {&head.s, &head.c}) {
        for (const Scaled& v : *part)
            if (v.mantissa != 0.0) largest = std::max(largest, v.exponent);
    }
    const long shift = largest > 1000 ? 1000 - largest : 0;
    const auto place = [shift](const Scaled& v) {
        const long exponent = v.exponent + shift;
        return exponent < DBL_MIN_EXP ? 0.0 : std::ldexp(v.mantissa, static_cast<int>(exponent));
    };
    for (int n = 0; n <= prefix.last; ++n) {
        t_s[n] = place(head.s[n]);
        t_c[n] = place(head.c[n]);
    }
    continue_relation(p, prefix.last, sigma, place(head.s_step), place(head.c_step), t_s, t_c);
    mpfr_free_cache();  // the constants MPFR keeps between calls
}

}  // namespace

int free_solution_top(int largest_size) {
    return largest_size >= 3 ? largest_size : 5;
}

// Regular coefficients: closed forms for n = 0, 1 (Gegenbauer polynomials in the Laguerre basis,
// Laguerre polynomials in the oscillator basis), then the free relation. Irregular ones: closed
// forms for n = 0, 1 (Gauss series in the Laguerre basis, Kummer series in the oscillator basis),
// then the free relation. With a Coulomb tail (Laguerre basis): the Pollaczek closed forms and a
// Gauss series on the unit circle, then the Coulomb relation. A non-integral order: the Coulomb
// closed forms at eta = 0 continued in l, then the free relation.
FreeSolutions::FreeSolutions(const Basis& basis, double l, double k, int top, double eta)
    : order_(l) {
    SKARVEN_CHECK(top >= 3);
    fill_tables(free_problem(basis, l, k, eta), top, regular_, irregular_);
}

FreeSolutions free_solutions_of(const Problem& problem, double e, int top) {
    const double k = wave_number(problem.scheme, e);
    return FreeSolutions(problem.basis, basis_order(problem).l, k, top,
                         problem.zc == 0.0 ? 0.0 : problem.zc / k);
}

}  // namespace skarven
