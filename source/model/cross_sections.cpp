// Partial-wave sums of a short-range potential. With a_l = exp(2i delta_-l) - 1 and
// b_l = exp(2i delta_+l) - 1 (kappa = -l-1 and kappa = l) the amplitudes are
//     f(theta) = 1/(2ik) sum_l A_l P_l(cos theta),    A_l = (l+1) a_l + l b_l,
//     g(theta) = 1/(2ik) sum_l B_l P_l^1(cos theta),  B_l = b_l - a_l,
// and d sigma / d Omega = |f|^2 + |g|^2 for an unpolarised beam (M. E. Rose, Relativistic
// Electron Theory, Wiley 1961, ch. 5; N. F. Mott and H. S. W. Massey, The Theory of Atomic
// Collisions, 3rd ed., ch. IV). Equal shifts for both kappa give the Schroedinger amplitude of
// A. Messiah, Quantum Mechanics, vol. I, ch. X: A_l = (2l+1)(exp(2i delta_l) - 1), g = 0.
// Under a Coulomb tail (Messiah, ch. XI) each A_l gains the factor exp(2i sigma_l) and the
// Rutherford amplitude f_C adds to f.
#include "cross_sections.hpp"
#include "skarven/errors.hpp"
#include "special.hpp"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace skarven {

namespace {

using std::numbers::pi;

using Complex = std::complex<double>;

// exp(2i delta) - 1 = 2i sin(delta) exp(i delta), without the cancellation at small delta.
Complex s_matrix_minus_one(double delta) {
    return Complex(0.0, 2.0 * std::sin(delta)) * std::polar(1.0, delta);
}

// The coefficients A_l and B_l of f and g (B_0 = 0, since P_0^1 = 0).
void amplitude_coefficients(const PartialWaves& waves, std::vector<Complex>& a_coef,
                            std::vector<Complex>& b_coef) {
    const int size = waves.size();
    SKARVEN_CHECK(static_cast<int>(waves.plus.size()) == size);
    a_coef.assign(size, Complex());
    b_coef.assign(size, Complex());
    for (int l = 0; l < size; ++l) {
        const Complex minus = s_matrix_minus_one(waves.minus[l]);
        const Complex plus = l > 0 ? s_matrix_minus_one(waves.plus[l]) : Complex();
        a_coef[l] = double(l + 1) * minus + double(l) * plus;
        if (l > 0) b_coef[l] = plus - minus;
    }
    if (waves.eta == 0.0) return;
    SKARVEN_CHECK(!waves.relativistic);
    // sigma_l = sigma_(l-1) + atan(eta / l), the recurrence of Gamma(l + 1 + i eta).
    double sigma = coulomb_phase(0, waves.eta);
    for (int l = 0; l < size; ++l) {
        if (l > 0) sigma += std::atan(waves.eta / l);
        a_coef[l] *= std::polar(1.0, 2.0 * sigma);
    }
}

}  // namespace

// P_l by (l+1) P_(l+1) = (2l+1) x P_l - l P_(l-1), and P_l^1 = sin(theta) dP_l/dx by
// l P_(l+1)^1 = (2l+1) x P_l^1 - (l+1) P_(l-1)^1 (no Condon-Shortley sign: only |g| is used).
Amplitudes scattering_amplitudes(double k, const PartialWaves& waves, double theta) {
    std::vector<Complex> a_coef, b_coef;
    amplitude_coefficients(waves, a_coef, b_coef);
    const double x = std::cos(theta);
    const double sine = std::sin(theta);
    Complex f_sum, g_sum;
    double p_prev = 0.0, p = 1.0;    // P_(l-1), P_l
    double p1_prev = 0.0, p1 = 0.0;  // P_(l-1)^1, P_l^1
    for (int l = 0; l < waves.size(); ++l) {
        f_sum += a_coef[l] * p;
        g_sum += b_coef[l] * p1;
        const double p_next = ((2 * l + 1) * x * p - l * p_prev) / (l + 1);
        const double p1_next = l == 0 ? sine : ((2 * l + 1) * x * p1 - (l + 1) * p1_prev) / l;
        p_prev = p;
        p = p_next;
        p1_prev = p1;
        p1 = p1_next;
    }
    const Complex factor(0.0, -0.5 / k);  // 1 / (2ik)
    return {factor * f_sum, factor * g_sum};
}

Complex rutherford_amplitude(double k, double eta, double theta) {
    const double half_sine = std::sin(0.5 * theta);
    const double sine2 = half_sine * half_sine;
    return -eta / (2.0 * k * sine2) *
           std::polar(1.0, -eta * std::log(sine2) + 2.0 * coulomb_phase(0, eta));
}

double rutherford_cross_section(double k, double eta, double theta) {
    const double half_sine = std::sin(0.5 * theta);
    const double scale = eta / (2.0 * k * half_sine * half_sine);
    return scale * scale;
}

double differential_cross_section(double k, const PartialWaves& waves, double theta) {
    const Amplitudes amplitudes = scattering_amplitudes(k, waves, theta);
    if (waves.eta != 0.0) {
        return std::norm(rutherford_amplitude(k, waves.eta, theta) + amplitudes.direct) +
               std::norm(amplitudes.spin_flip);
    }
    return std::norm(amplitudes.direct) + std::norm(amplitudes.spin_flip);
}

double elastic_cross_section(double k, const PartialWaves& waves) {
    double sum = 0.0;
    for (int l = 0; l < waves.size(); ++l) {
        const double minus = std::sin(waves.minus[l]);
        const double plus = std::sin(waves.plus[l]);
        sum += (l + 1) * minus * minus + l * plus * plus;
    }
    return 4.0 * pi / (k * k) * sum;
}

// Dirac scheme: with int x P_l P_(l+1) dx = 2(l+1)/((2l+1)(2l+3)) and
// int x P_l^1 P_(l+1)^1 dx = 2l(l+1)(l+2)/((2l+1)(2l+3)),
//     int cos(theta) (|f|^2 + |g|^2) dOmega
//         = (2 pi / k^2) sum_l (l+1)/((2l+1)(2l+3)) Re[A_l A*_(l+1) + l(l+2) B_l B*_(l+1)],
// subtracted from the elastic cross section. With equal shifts for both kappa this is the
// Schroedinger sum of sin^2 of neighbouring differences.
double transport_cross_section(double k, const PartialWaves& waves) {
    const int size = waves.size();
    if (waves.eta != 0.0) {
        SKARVEN_CHECK(!waves.relativistic);
        // sin^2(a + d) - sin^2(a) = sin(d) sin(2a + d): no cancellation where delta_l is small.
        double sum = 0.0;
        for (int l = 0; l < size; ++l) {
            const double next = l + 1 < size ? waves.minus[l + 1] : 0.0;
            const double coulomb_step = std::atan(waves.eta / (l + 1));  // sigma_(l+1) - sigma_l
            const double difference = next - waves.minus[l];
            sum += (l + 1) * std::sin(difference) * std::sin(2.0 * coulomb_step + difference);
        }
        return 4.0 * pi / (k * k) * sum;
    }
    if (!waves.relativistic) {
        double sum = 0.0;
        for (int l = 0; l < size; ++l) {
            const double next = l + 1 < size ? waves.minus[l + 1] : 0.0;
            const double difference = std::sin(next - waves.minus[l]);
            sum += (l + 1) * difference * difference;
        }
        return 4.0 * pi / (k * k) * sum;
    }
    std::vector<Complex> a_coef, b_coef;
    amplitude_coefficients(waves, a_coef, b_coef);
    double forward = 0.0;
    for (int l = 0; l + 1 < size; ++l) {
        const double weight = (l + 1.0) / ((2.0 * l + 1.0) * (2.0 * l + 3.0));
        forward += weight * std::real(a_coef[l] * std::conj(a_coef[l + 1]) +
                                      double(l) * (l + 2) * b_coef[l] * std::conj(b_coef[l + 1]));
    }
    return elastic_cross_section(k, waves) - 2.0 * pi / (k * k) * forward;
}

}  // namespace skarven
