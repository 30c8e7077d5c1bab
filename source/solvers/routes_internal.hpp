#pragma once
// The two routes' constructors, behind make_route.

#include <memory>

#include "routes.hpp"

namespace skarven {

std::unique_ptr<Route> make_reference_route(const Problem& problem, int largest_size,
                                            WarningSink warn);
std::unique_ptr<Route> make_fast_route(const Problem& problem, int largest_size,
                                       PotentialBlocksSource blocks);

}  // namespace skarven
