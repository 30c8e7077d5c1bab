#include "skarven/problem.hpp"

#include <cmath>

namespace skarven {

// The compiled-in user potential (hartree) at radius r (bohr): edit it here and rebuild.
double user_potential(double /*r*/) {
    return 0.0;
}

double potential_value(const Potential& p, double r) {
    switch (p.kind) {
        case PotentialKind::well:
            return (p.a <= r && r <= p.b) ? p.v0 : 0.0;
        case PotentialKind::coulomb:
            return -p.z / std::pow(r, p.alpha);
        case PotentialKind::yukawa:
            return -p.g * p.g * std::exp(-p.m * r) / r;
        case PotentialKind::user:
            if (p.batch_formula) {
                double v = 0.0;
                p.batch_formula(1, &r, &v);
                return v;
            }
            return p.formula ? p.formula(r) : user_potential(r);
        case PotentialKind::none:
            break;
    }
    return 0.0;
}

double wave_number(const Scheme& scheme, double e) {
    if (scheme.dirac) return std::sqrt(e * (2.0 * scheme.light * scheme.light + e)) / scheme.light;
    return std::sqrt(2.0 * e);
}

}  // namespace skarven
