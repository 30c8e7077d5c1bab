#include "routes.hpp"

#include <cmath>
#include <string>

#include "routes_internal.hpp"

namespace skarven {

std::unique_ptr<Route> make_route(RouteKind kind, const Problem& problem, int largest_size,
                                  WarningSink warn, PotentialBlocksSource blocks) {
    if (kind == RouteKind::fast) return make_fast_route(problem, largest_size, std::move(blocks));
    return make_reference_route(problem, largest_size, std::move(warn));
}

// An infinite or undefined potential element would be scaled and diagonalised into a finite but
// meaningless phase shift; the computation ends instead.
void require_finite_potential(const std::vector<double>& values, int n) {
    for (double value : values) {
        if (!std::isfinite(value))
            throw_error("g", "the potential matrix is not finite at N = " + std::to_string(n));
    }
}

}  // namespace skarven
