#pragma once
// The scattering problem as plain values: basis, scheme, partial wave and potential. Atomic
// units throughout (hartree, bohr). validate() and the check_* functions throw Error with the
// parameter file's messages; the structs themselves hold whatever they are given.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace skarven {

// Laguerre: phi_n = (lambda r)^(l+1) e^(-lambda r/2) L_n^(2l+1)(lambda r). Oscillator (the
// parameter file's "gauss"): phi_n = (lambda r)^(l+1) e^(-(lambda r)^2/2) L_n^(l+1/2)((lambda
// r)^2).
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
// yukawa: -g^2 e^(-m r) / r; user: `batch_formula`, else `formula`, else the compiled-in formula.
// The named forms, with R = radius, d = diffuse, s = range:
//   woods_saxon: v0 / (1 + e^((r - R)/d));  hulthen: v0 e^(-r/s) / (1 - e^(-r/s));
//   exponential: v0 e^(-r/s);  gaussian: v0 e^(-(r/s)^2);
//   morse: v0 (2 e^(-(r - R)/s) - e^(-2(r - R)/s)) (v0 is the value at the minimum r = R).
// formula: `expression`, an expression in r (muparser syntax), with `breaks` as panel ends of
// the quadrature; table: a cubic spline through (table_r, table_r * table_v), zero beyond the
// last radius. Every kind but the well is cut to 0 beyond r0 when r0 > 0.
enum class PotentialKind {
    none,
    well,
    coulomb,
    yukawa,
    user,
    woods_saxon,
    hulthen,
    exponential,
    gaussian,
    morse,
    formula,
    table
};

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
    std::function<double(double)> formula = {};  // user; formula and table fill it themselves
    // user only: v[k] = v(r[k]) for k < n in one call. The engine hands it all the points of a
    // quadrature level or rule at once, from one thread at a time and outside its parallel loops,
    // so that a caller with costly calls (an interpreter) pays per rule rather than per point.
    std::function<void(std::size_t n, const double* r, double* v)> batch_formula = {};
    double radius = 0.0;
    double diffuse = 0.0;
    double range = 0.0;
    std::string expression = {};
    std::vector<double> breaks = {};
    std::vector<double> table_r = {};
    std::vector<double> table_v = {};
};

struct Problem {
    Basis basis = {};
    Scheme scheme = {};
    Wave wave = {};
    Potential potential = {};
    // Z1 Z2 (hartree bohr): the Coulomb tail zc/r joins the free problem (Schroedinger scheme,
    // Laguerre basis), and delta is then relative to the Coulomb functions F_l, G_l.
    double zc = 0.0;
};

// The compiled-in user potential (zero as shipped).
double user_potential(double r);

// v(r) in hartree for the potential, without the cut at r0 (the quadrature owns the cut).
// formula and table evaluate through `formula` when it is set (see prepared), else build their
// evaluator for this one call.
double potential_value(const Potential& potential, double r);

// An evaluator of a formula in r, safe to call from several threads at once (each gets a parser
// of its own); throws Error("loadparams", "<v> ...") when the text does not parse.
std::function<double(double)> formula_evaluator(const std::string& expression);
// The table's spline r v(r) / r, zero beyond the last radius; the radii increase, at least 4.
std::function<double(double)> table_evaluator(const std::vector<double>& r,
                                              const std::vector<double>& v);
// The potential with `formula` set to the evaluator of a formula or table potential, so that
// repeated evaluations do not parse or fit again; other kinds are returned as they are.
Potential prepared(Potential potential);
// 64-bit FNV-1a of the formula text and its breaks, or of the table's values: what a saved matrix
// records to know its potential. 0 for the other kinds.
unsigned long long potential_hash(const Potential& potential);

// Wave number (1/bohr) from the kinetic energy e (hartree): sqrt(2e) in the Schroedinger scheme,
// sqrt(e (2c^2 + e)) / c in the Dirac scheme.
double wave_number(const Scheme& scheme, double e);

// Checks of the values against what the method carries in double precision. Each check_* throws
// skarven::Error("loadparams", message) with the parameter file's message for the first value
// out of place, and does nothing otherwise; none prints or reads the run record.
// largest_basis_size is the largest basis of the run (the parameter file's nend): at least 1,
// not checked here.

// ln of the largest unnormalised basis-growth factor of the run, at index largest_basis_size + 1:
// ln((n + 2l + 1)!/n!) for Laguerre, ln(Gamma(n + l + 3/2)/n!) for the oscillator.
double log_basis_growth(BasisKind kind, int l, int largest_basis_size);
// 0 <= l <= 1000, the basis's factorials and gamma values stay in their tables, and the growth
// factor stays below 1e250.
bool l_in_range(BasisKind kind, int l, int largest_basis_size);
// lambda |r| beyond which every basis function of the run has fallen below e^-700 of its largest
// value.
double basis_reach(BasisKind kind, int l, int largest_basis_size);

// Dirac scheme: kappa = l or kappa = -(l + 1) ("<l> and <kappa> are not properly correlated").
void check_wave_pairing(const Scheme& scheme, const Wave& wave);
// well: a < b; yukawa: m > 0; the named forms' lengths positive; a formula that parses, finite
// breaks; a table of at least 4 increasing, finite samples.
void check_potential_parameters(const Potential& potential);
// lambda > 0 ("<lambda> must be positive").
void check_lambda_positive(const Basis& basis);
// l_in_range for the problem's wave ("<l> is out of range").
void check_l_range(const Basis& basis, const Wave& wave, int largest_basis_size);
// 1e-20 <= lambda <= 1e20 ("<lambda> is out of range").
void check_lambda_range(const Basis& basis);
// (k/lambda)^2 at energy e within the basis's limit; `key` names the energy in the message
// ("<key> is too large for <lambda>", " in gaussian basis" added for the oscillator).
void check_energy_fits(const Problem& problem, double e, std::string_view key);
// Strengths relative to lambda^2, the Coulomb power, the well's inner edge against the basis's
// reach, the Yukawa decay rate and the integrability of its 1/r at the origin; a formula without
// a cut must fall faster than 1/r far out.
void check_potential_range(const Problem& problem, int largest_basis_size);
// 1 <= first <= last <= largest_basis ("incorrect values of <nstart> or <nend>", "<nend> is to
// big").
void check_basis_sizes(int first, int last);
// e > 0 ("<e> must be positive").
void check_energy_positive(double e);
// The partial-wave loop: lconv > 0 and angles 0 or 2 ... 100000.
void check_partial_wave_sampling(double lconv, int angles);
// 0 <= lmax <= 40, and the highest wave within l_in_range.
void check_lmax(const Basis& basis, int lmax, int largest_basis_size);
// zc != 0: finite, |zc| <= 1e6, Laguerre basis, Schroedinger scheme.
void check_coulomb_tail(const Problem& problem);
// A potential whose partial-wave sums converge: no uncut Coulomb tail (alpha <= 1, r0 <= 0).
void check_short_range(const Potential& potential);
// The largest basis size the method is validated for.
inline constexpr int largest_basis = 5000;
// Every check above but the energy's and the basis sizes', in the parameter file's order.
void validate(const Problem& problem, int largest_basis_size);

}  // namespace skarven
