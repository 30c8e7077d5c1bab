#include "continuity.hpp"

#include <cmath>
#include <numbers>

#include "skarven/errors.hpp"

namespace skarven {

namespace {

using std::numbers::pi;

// The branch of `value` nearest `previous`.
double nearest_branch(double value, double previous) {
    return value + pi * std::round((previous - value) / pi);
}

struct Refinement {
    const std::function<double(double)>& delta_at;
    int evaluations = 0;

    // The branch of delta(e1) = value1 carried from (e0, delta0), halving the step while it moves
    // more than continuity_step; false when some piece still does at depth 0.
    bool carry(double e0, double delta0, double e1, double value1, int depth, double& delta1) {
        delta1 = nearest_branch(value1, delta0);
        if (std::fabs(delta1 - delta0) <= continuity_step) return true;
        if (depth == 0) return false;
        const double middle = 0.5 * (e0 + e1);
        ++evaluations;
        const double value = delta_at(middle);
        if (!std::isfinite(value)) return false;
        double delta_middle = 0.0;
        const bool first = carry(e0, delta0, middle, value, depth - 1, delta_middle);
        const bool second = carry(middle, delta_middle, e1, value1, depth - 1, delta1);
        return first && second;
    }
};

}  // namespace

ContinuousDelta continuous_delta(const std::vector<double>& energies,
                                 const std::vector<double>& deltas, std::optional<double> anchor,
                                 const std::function<double(double)>& delta_at, int depth) {
    SKARVEN_CHECK(energies.size() == deltas.size());
    ContinuousDelta result;
    Refinement refinement{delta_at};
    bool have_previous = false;
    double previous_e = 0.0, previous = 0.0;
    for (std::size_t i = 0; i < deltas.size(); ++i) {
        const double value = deltas[i];
        double delta = value;
        Continuity status = Continuity::continuous;
        if (!std::isfinite(value)) {
            status = i == 0 ? Continuity::unanchored : Continuity::jump;
        } else if (!have_previous) {
            if (anchor) {
                // [anchor - pi/2, anchor + pi/2): the half-open end keeps the choice unique.
                delta = value - pi * std::floor((value - *anchor + 0.5 * pi) / pi);
                status = std::fabs(delta - *anchor) <= continuity_step
                             ? Continuity::anchored
                             : Continuity::far_from_anchor;
            } else {
                status = Continuity::unanchored;
            }
            if (i != 0) status = Continuity::jump;
        } else if (!refinement.carry(previous_e, previous, energies[i], value, depth, delta)) {
            status = Continuity::jump;
        }
        if (std::isfinite(delta)) {
            have_previous = true;
            previous_e = energies[i];
            previous = delta;
        }
        result.delta.push_back(delta);
        result.status.push_back(status);
    }
    result.refined = refinement.evaluations;
    return result;
}

const char* continuity_word(Continuity status) {
    switch (status) {
        case Continuity::anchored:
            return "anchored";
        case Continuity::far_from_anchor:
            return "far-from-anchor";
        case Continuity::unanchored:
            return "unanchored";
        case Continuity::continuous:
            return "continuous";
        case Continuity::jump:
            return "jump";
    }
    return "jump";
}

}  // namespace skarven
