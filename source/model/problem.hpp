#pragma once
// The scattering problem as plain values: basis, scheme, partial wave and potential. Atomic
// units throughout (hartree, bohr). The make_* functions validate and throw Error with the
// parameter file's messages; the structs themselves hold whatever they are given.

#include <functional>

namespace skarven {

// Laguerre: phi_n = (lambda r)^(l+1) e^(-lambda r/2) L_n^(2l+1)(lambda r). Oscillator (the
// parameter file's "gauss"): phi_n = (lambda r)^(l+1) e^(-(lambda r)^2/2) L_n^(l+1/2)((lambda r)^2).
enum class BasisKind { laguerre, oscillator };

struct Basis {
    BasisKind kind = BasisKind::laguerre;
    double lambda = 1.0;  // scale, 1/bohr
};

// Schroedinger, or Dirac with a finite speed of light (two components per basis function).
struct Scheme {
    bool dirac = false;
    double light = 0.0;  // speed of light in atomic units (Dirac only)
};

// Orbital l; in the Dirac scheme also kappa (kappa = -(l+1) for j = l + 1/2, kappa = l for
// j = l - 1/2). The Schroedinger scheme ignores kappa.
struct Wave {
    int l = 0;
    int kappa = 0;
};

// well: v0 on a <= r <= b (a = 0 the square well, a > 0 the shell); coulomb: -z / r^alpha;
// yukawa: -g^2 e^(-m r) / r; user: `formula`, or the compiled-in formula when it is empty.
// coulomb, yukawa and user are cut to 0 beyond r0 when r0 > 0.
enum class PotentialKind { none, well, coulomb, yukawa, user };

struct Potential {
    PotentialKind kind = PotentialKind::none;
    double r0 = 0.0;
    double v0 = 0.0;
    double a = 0.0;
    double b = 0.0;
    double z = 0.0;
    double alpha = 0.0;
    double g = 0.0;
    double m = 0.0;
    std::function<double(double)> formula;  // user only
};

struct Problem {
    Basis basis;
    Scheme scheme;
    Wave wave;
    Potential potential;
};

// The compiled-in user potential (zero as shipped).
double user_potential(double r);

// v(r) in hartree for the potential, without the cut at r0 (the quadrature owns the cut).
double potential_value(const Potential& potential, double r);

// Wave number (1/bohr) from the kinetic energy e (hartree): sqrt(2e) in the Schroedinger scheme,
// sqrt(e (2c^2 + e)) / c in the Dirac scheme.
double wave_number(const Scheme& scheme, double e);

}  // namespace skarven
