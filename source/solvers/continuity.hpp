#pragma once
// delta(E) made continuous over an energy grid. Each delta is known modulo pi; the branch at the
// first energy comes from Levinson's theorem, delta(0+) = n_b pi, and every later one is the
// branch nearest the previous value, with the step refined where delta moves fast.

#include <functional>
#include <numbers>
#include <optional>
#include <vector>

namespace skarven {

enum class Continuity {
    anchored,         // first energy: delta within pi/4 of n_b pi
    far_from_anchor,  // first energy: delta already moved more than pi/4 from n_b pi
    unanchored,       // first energy without a bound-state count: the branch as given
    continuous,       // every (refined) step from the previous energy moved at most pi/4
    jump              // some step still moved more than pi/4 at the finest refinement
};

// A step of the grid moving delta by more than this is halved; beyond pi/2 the nearest branch
// could no longer tell a rise from a fall.
inline constexpr double continuity_step = std::numbers::pi / 4;
// Halvings of one grid step at most: a resonance narrower than step / 2^10 stays a jump.
inline constexpr int continuity_depth = 10;

struct ContinuousDelta {
    std::vector<double> delta;  // per grid energy, on the continuous branch
    std::vector<Continuity> status;
    int refined = 0;  // energies evaluated between the grid's
};

// `deltas` at the increasing `energies`; `anchor` = n_b pi (empty: none); `delta_at` gives delta
// (any branch) at an energy between two of the grid's. The first energy takes the branch in
// [anchor - pi/2, anchor + pi/2). A delta that is not finite is passed on as it is and the next
// energy carries the branch from the last finite one.
ContinuousDelta continuous_delta(const std::vector<double>& energies,
                                 const std::vector<double>& deltas, std::optional<double> anchor,
                                 const std::function<double(double)>& delta_at,
                                 int depth = continuity_depth);

// The continuity word of root.lim.
const char* continuity_word(Continuity status);

}  // namespace skarven
