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
        case PotentialKind::woods_saxon:
            return p.v0 / (1.0 + std::exp((r - p.radius) / p.diffuse));
        case PotentialKind::hulthen:
            // e^-x / (1 - e^-x) = 1 / expm1(x): no cancellation near r = 0.
            return p.v0 / std::expm1(r / p.range);
        case PotentialKind::exponential:
            return p.v0 * std::exp(-r / p.range);
        case PotentialKind::gaussian:
            return p.v0 * std::exp(-(r / p.range) * (r / p.range));
        case PotentialKind::morse: {
            const double e = std::exp(-(r - p.radius) / p.range);
            return p.v0 * e * (2.0 - e);
        }
        case PotentialKind::formula:
        case PotentialKind::table:
            return p.formula ? p.formula(r) : prepared(p).formula(r);
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
