// Laguerre polynomials and the basis functions of both components at one radius.
//
// The basis functions are products of a power, an exponential and a Laguerre polynomial whose
// factors leave the double range long before the product does (e^-x/2 underflows near x = 1490
// while L_n overflows there for n above about 53). Where every factor is a normal double the
// literal product is used; elsewhere the polynomial is carried as mantissa and binary exponent
// and the power and exponential as a logarithm, so the result is the true value or 0 where that
// underflows.

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "basis.hpp"

namespace skarven {

namespace {

// m * 2^e.
struct Scaled {
    double m = 0.0;
    int e = 0;
};

// The recurrence is renormalised (by an exact power of two) once a value exceeds this, which
// leaves room for one step's growth by the factor |x| + 2k + alpha.
constexpr double rescale_above = 0x1p150;
// Renormalising needs that room: beyond this argument the recurrence runs unscaled. Basis
// functions with y beyond it are 0: e^(-y/2) outweighs any power of y for n, l < 2^31.
constexpr double scaled_domain = 1.0e100;

// Cody-Waite split of ln 2 for reducing a logarithm to a binary exponent.
constexpr double ln2_hi = 6.93147180369123816490e-01;
constexpr double ln2_lo = 1.90821492927058770002e-10;
constexpr double ln2 = 0.69314718055994530942;

// L_0^(alpha)(x), L_1^(alpha)(x), ... in order by the three-term recurrence, with the first three
// polynomials written out. Values are renormalised by powers of two, which is exact, so wherever
// the plain recurrence stays finite ldexp(m, e) is bit for bit its value; the value of an index
// does not depend on how far the sequence is run.
class LaguerreSequence {
  public:
    LaguerreSequence(double alpha, double x)
        : alpha_(alpha), x_(x), rescale_(std::fabs(x) <= scaled_domain) {}

    Scaled next() {
        const int k = index_++;
        if (k == 0) return Scaled{1.0, 0};
        if (k == 1) {
            last_ = 1.0 + alpha_ - x_;
            return Scaled{last_, 0};
        }
        if (k == 2) {
            const double current =
                0.5 * alpha_ * (3.0 + alpha_) + 1.0 - (2.0 - 0.5 * x_ + alpha_) * x_;
            before_ = last_;
            last_ = current;
            return Scaled{last_, 0};
        }
        const double current = ((2 * k - 1 + alpha_ - x_) * last_ - (k - 1 + alpha_) * before_) / k;
        before_ = last_;
        last_ = current;
        if (rescale_ && std::fabs(last_) > rescale_above) {
            int shift = 0;
            std::frexp(std::max(std::fabs(last_), std::fabs(before_)), &shift);
            last_ = std::ldexp(last_, -shift);
            before_ = std::ldexp(before_, -shift);
            exponent_ += shift;
        }
        return Scaled{last_, exponent_};
    }

  private:
    double alpha_;
    double x_;
    bool rescale_;
    int index_ = 0;
    double before_ = 1.0;  // L_(k-2)
    double last_ = 1.0;    // L_(k-1)
    int exponent_ = 0;
};

// m * e^lg without overflow or underflow on the way; saturates at the largest double where the
// true value is beyond it.
double scaled_exp(double m, double lg) {
    if (m == 0.0 || std::isnan(m) || lg == -HUGE_VAL) return 0.0;
    int me = 0;
    const double fm = std::frexp(m, &me);
    const double u = lg + me * ln2;
    if (u < -760.0) return 0.0;
    if (u > 760.0) return std::copysign(DBL_MAX, m);
    const double k = std::floor(u / ln2);
    const double f = (u - k * ln2_hi) - k * ln2_lo;
    const double value = std::ldexp(fm * std::exp(f), static_cast<int>(k));
    if (std::isinf(value)) return std::copysign(DBL_MAX, m);
    return value;
}

bool is_normal(double value) {
    return std::isnormal(value);
}

// p * ln|x|, with 0 for p = 0 also at x = 0.
double log_power(double x, double p) {
    return p == 0 ? 0.0 : p * std::log(std::fabs(x));
}

// Sign of x^p (x < 0 only in the oscillator basis, whose orders are integers).
double power_sign(double x, double p) {
    return (x < 0.0 && std::fmod(p, 2.0) != 0.0) ? -1.0 : 1.0;
}

// Factors of one radius shared by all indices.
struct BasisPoint {
    bool gauss = false;
    bool zero = false;  // the polynomial argument is so large that every value underflows
    double l = 0.0;
    double lambda = 0.0;
    double r = 0.0;
    double x = 0.0;
    double y = 0.0;  // polynomial argument: x or x^2
    double alpha = 0.0;
    double log_e = 0.0;  // ln E = -y/2
};

BasisPoint basis_point(const Basis& basis, double l, double r) {
    BasisPoint p;
    p.gauss = basis.kind == BasisKind::oscillator;
    p.l = l;
    p.lambda = basis.lambda;
    p.r = r;
    p.x = p.lambda * r;
    p.y = p.gauss ? p.x * p.x : p.x;
    p.alpha = p.gauss ? p.l + 0.5 : 2.0 * p.l + 1.0;
    p.zero = !(std::fabs(p.y) <= scaled_domain);
    p.log_e = -0.5 * p.y;
    return p;
}

// E = e^(-y/2).
double exponential_factor(const BasisPoint& p) {
    return std::exp(-0.5 * p.y);
}

// phi_n = P E L_n with the literal product where P, E and P E are normal doubles, else from the
// logarithm of P E and the scaled polynomial.
double basis_phi(const BasisPoint& p, double power, double e_factor, const Scaled& poly) {
    if (p.zero) return 0.0;
    const double weight = power * e_factor;
    const double plain = std::ldexp(poly.m, poly.e);
    if (is_normal(power) && is_normal(e_factor) && is_normal(weight) && std::isfinite(plain)) {
        const double value = plain * weight;
        if (std::isfinite(value)) return value;
    }
    const double lg = log_power(p.x, p.l + 1) + p.log_e + poly.e * ln2;
    return scaled_exp(power_sign(p.x, p.l + 1) * poly.m, lg);
}

// psi_n = (kappa/r) phi_n + E [lambda^(l+1) (l+1) r^l A - Q A - D P (B - A)] with
// Q = -(dE/dr) P / E and D = dy/dr, which makes it d(phi_n)/dr + (kappa/r) phi_n. The literal
// form is used where all its factors are normal; otherwise the same quantity as
// lambda x^l E [(kappa + l + 1 - r Q/P) A - r D (B - A)], which has no 1/r.
double basis_psi(const BasisPoint& p, double kappa, double phi, const Scaled& a, const Scaled& b) {
    if (p.zero) return 0.0;
    const double l = p.l;
    const double x = p.x;
    const double r = p.r;
    const double power = std::pow(x, l + 1);
    const double e_factor = exponential_factor(p);
    const double q = p.gauss ? p.lambda * p.lambda * r * power : 0.5 * p.lambda * power;
    const double d = p.gauss ? 2.0 * p.lambda * x : p.lambda;
    const double first = std::pow(p.lambda, l + 1) * (l + 1) * std::pow(r, l);
    const double dp = d * power;
    const double a_plain = std::ldexp(a.m, a.e);
    const double b_plain = std::ldexp(b.m, b.e);
    const double weight = power * e_factor;
    if (is_normal(r) && is_normal(power) && is_normal(e_factor) && is_normal(weight) &&
        is_normal(q) && is_normal(d) && is_normal(first) && is_normal(dp) &&
        std::isfinite(a_plain) && std::isfinite(b_plain) && std::isfinite(phi)) {
        const double value = (kappa / r) * phi +
                             e_factor * (first * a_plain - q * a_plain - dp * (b_plain - a_plain));
        if (std::isfinite(value)) return value;
    }
    // Both polynomials on the larger of their two scales.
    const int shift = std::max(a.e, b.e);
    const double am = std::ldexp(a.m, a.e - shift);
    const double bm = std::ldexp(b.m, b.e - shift);
    const double rq = p.gauss ? p.y : 0.5 * x;  // r Q / P
    const double rd = p.gauss ? 2.0 * p.y : x;  // r D
    const double bracket = (kappa + l + 1 - rq) * am - rd * (bm - am);
    const double lg = std::log(p.lambda) + log_power(x, l) + p.log_e + shift * ln2;
    return scaled_exp(power_sign(x, l) * bracket, lg);
}

}  // namespace

// Both polynomial sequences (alpha and alpha + 1) run once to count - 1.
void basis_values(const Basis& basis, const Order& order, int count, double r, double* phi,
                  double* psi) {
    const BasisPoint p = basis_point(basis, order.l, r);
    if (p.zero) {
        std::fill_n(phi, count, 0.0);
        if (psi != nullptr) std::fill_n(psi, count, 0.0);
        return;
    }
    const double power = std::pow(p.x, p.l + 1);
    const double e_factor = exponential_factor(p);
    const double kappa = order.kappa;
    LaguerreSequence a(p.alpha, p.y);
    LaguerreSequence b(p.alpha + 1.0, p.y);
    for (int k = 0; k < count; ++k) {
        const Scaled a_k = a.next();
        phi[k] = basis_phi(p, power, e_factor, a_k);
        if (psi != nullptr) psi[k] = basis_psi(p, kappa, phi[k], a_k, b.next());
    }
}

}  // namespace skarven
