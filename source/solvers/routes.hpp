#pragma once
// The two routes to the Green's-function element at the basis edge, as objects that own their
// state: the reference route (one eigen-decomposition per point) and the fast route (a bordered
// factorisation over basis sizes, one decomposition of the pencil for the energies).

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "potential.hpp"
#include "skarven/options.hpp"
#include "skarven/problem.hpp"

namespace skarven {

// Receives the warnings a route would otherwise lose (routine, message).
using WarningSink = std::function<void(std::string_view, std::string_view)>;

// Energies of an energy pass; the fast route decomposes around a reference energy inside.
struct EnergyWindow {
    double first = 0.0;
    double last = 0.0;
    double step = 0.0;
};

// One problem's route. A basis-size pass runs at one energy over the sizes first, first + 1, ...,
// last in turn; an energy pass runs at one size for any energies and, after a basis-size pass
// that ended at that size, reuses its potential matrix. Elements are of (J + V)^-1 at the last
// first-component index (Schroedinger and Dirac alike). Errors throw Error; nothing is printed
// or written. One object serves one thread; independent objects may run concurrently.
class Route {
  public:
    virtual ~Route() = default;

    // `saved`, when not null, is the potential matrix at size `first` in the saved file's
    // ordering (lower triangle of an order x order column-major matrix), used instead of
    // integrating it.
    void begin_sizes(double e, int first, int last, const std::vector<double>* saved) {
        set_energy(e);
        first_ = first;
        last_ = last;
        saved_ = saved;
    }
    virtual double size_element(int n) = 0;
    // The potential matrix at the size the basis-size pass has reached, in the saved file's
    // ordering (Dirac: phi_(n-1) ... phi_0, psi_0 ... psi_(n-1)), lower triangle filled.
    virtual std::vector<double> potential_in_saved_order(int n) const = 0;

    virtual void begin_energies(int n, const EnergyWindow& window) = 0;
    virtual double energy_element(double e) = 0;
    // The bound states of the wave in the truncated problem of the energy pass (after
    // begin_energies): eigenvalues below 0, in the Dirac scheme above the negative-energy sea
    // too. Empty where the route keeps no decomposition to count from or it failed.
    virtual std::optional<int> bound_states() { return std::nullopt; }

    const Problem& problem() const { return potential_.problem(); }

  protected:
    Route(const Problem& problem, int largest_size)
        : potential_(problem, largest_size), order_(basis_order(problem)) {}
    bool dirac() const { return problem().scheme.dirac; }
    void set_energy(double e) {
        e_ = e;
        k_ = wave_number(problem().scheme, e);
    }

    PotentialMatrix potential_;
    Order order_;  // basis_order of the problem
    // The basis-size pass: its energy and wave number, sizes and saved matrix of the first size.
    double e_ = 0.0;
    double k_ = 0.0;
    int first_ = 0;
    int last_ = 0;
    const std::vector<double>* saved_ = nullptr;
};

// Where the fast route takes its potential blocks from (PotentialMatrix::blocks unless
// replaced); the tests hand it the element-by-element integrals to compare both routes on
// identical matrices.
using PotentialBlocksSource = std::function<void(PotentialMatrix&, int n, std::vector<double>& phi,
                                                 std::vector<double>& psi)>;

// A route for basis sizes up to `largest_size`.
std::unique_ptr<Route> make_route(RouteKind kind, const Problem& problem, int largest_size,
                                  WarningSink warn = {}, PotentialBlocksSource blocks = {});

// Dirac, Laguerre basis and v ~ -Z/r at the origin (either sign of kappa): the edge element then
// takes the lower rows beyond the basis into account (consistent_edge). Every other run keeps the
// plain element.
bool keeps_outer_lower_rows(const Problem& problem);
// That edge element at basis size n and energy e from the elements of (J + V)^-1 at phi_(n-1)
// (g_phi), psi_(n-1) (g_psi) and between them (g_mixed), in a basis of order l.
double consistent_edge(const Problem& problem, double l, double e, int n, double g_phi,
                       double g_mixed, double g_psi);

// Throws Error("g", ...) naming the basis size when a potential element is not finite.
void require_finite_potential(const std::vector<double>& values, int n);

}  // namespace skarven
