#pragma once
// Run-wide settings record and parameter-file loader; diagnostics.hpp holds the reporting.

#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.hpp"
#include "skarven/problem.hpp"

namespace skarven {

// Optional trailing argument of the caching routines (s, c, vn): its presence releases the cache.
enum class CacheAction { keep, release };

struct PotentialParams {
    std::string pot_type = std::string(8, ' ');  // text(8)
    double r0 = 0.0;
    double v0 = 0.0;
    double a = 0.0;
    double b = 0.0;
    double z = 0.0;
    double alpha = 0.0;
    double g = 0.0;
    double m = 0.0;
    // The named forms' lengths; the formula (its `v` lines joined), its breaks, and the table
    // file with the samples read from it.
    double radius = 0.0;
    double diffuse = 0.0;
    double range = 0.0;
    std::string formula = {};
    std::string breaks_text = {};
    std::vector<double> breaks = {};
    std::string table = {};
    std::vector<double> table_r = {};
    std::vector<double> table_v = {};
};

struct Projectile {
    double e = 0.0;
    double k = 0.0;
    int l = 0;
    int kappa = 0;
};

struct RunSettings {
    PotentialParams potential;
    double lambda = 0.0;
    bool lambda_auto = false;  // lambda = auto: chosen per wave from the energies
    Projectile projectile;
    double estep = 0.0;
    double eend = 0.0;
    double estart = 0.0;
    double v_light = 0.0;
    int nend = 0;
    int nstart = 0;
    bool shift = false;
    bool scr = false;
    std::string vol = std::string(8, ' ');      // text(8)
    std::string scheme = std::string(16, ' ');  // text(16)
    std::string basis = std::string(8, ' ');    // text(8)
    bool energies = false;
    int pass = 0;
    bool delta_analytic_error = false;
    int ntrunc = 0;
    bool vn_is_loaded = false;
    bool vn_file_match = true;
    std::string solver = std::string(8, ' ');  // text(8): "eigen" or "fast"
    // Partial-wave run: l = 0 ... lmax (-1: one partial wave, the key is absent), stopped after
    // two l whose |sin delta| stay below lconv at every energy; dsigma/dOmega on `angles` angles.
    int lmax = -1;
    double lconv = 0.0;
    int angles = 0;
    // delta = lim delta_N to this absolute error (0: the key is absent, delta_N as before).
    double tolerance = 0.0;
    // Z1 Z2 of a Coulomb tail zc/r in the free problem (0: none, as before).
    double zc = 0.0;
};

// The one process-wide record. Written by the main thread only, outside parallel regions.
extern RunSettings run_record;

// Text of a blank-padded field cut or padded to `width`.
std::string padded(std::string_view text, std::size_t width);
// The fast route (bordered factorisation and one generalised eigen-decomposition) is chosen.
bool fast_solver();
// The Dirac (two-component) scheme is chosen.
bool relativistic_scheme();
// Exact, case-sensitive comparison of a blank-padded field with a value; trailing blanks ignored.
// The energy lambda = auto chooses the scale for: the middle of the energy pass's grid, or the
// one energy.
double window_energy(const RunSettings& settings);
bool text_is(std::string_view field, std::string_view value);
// `text` without its trailing blanks.
std::string_view trimmed(std::string_view text);

// Reads, defaults and validates the parameter file into run_record, or throws Error.
void loadparams(const std::string& filename);
// Wave number from the energy for the current scheme.
void projectile_set_k(Projectile& projectile);
// The energies of the energy pass: grid_energy(s, i) = estart + i estep for i < energy_count(s),
// the integer part of (eend - estart) / estep + 1.1, so that a last energy up to a tenth of a
// step above eend still counts.
int energy_count(const RunSettings& s);
double grid_energy(const RunSettings& s, int i);
// The problem of a run record: its basis, scheme (the speed of light of <v_light>), wave and
// potential. Text values the loader does not know give the laguerre basis, the Schroedinger
// scheme or no potential.
Problem problem_of(const RunSettings& s);
// Decimal digits of n without blanks (I5, then left-adjusted).
std::string convert_int_to_string(int n);
// pot_type as the result headers and the saved matrix show it: at least 8 columns.
std::string pot_type_text(const PotentialParams& potential);
// The hash of the run's formula or table (potential_hash) as 16 hexadecimal digits.
std::string potential_hash_text(const RunSettings& s);

}  // namespace skarven
