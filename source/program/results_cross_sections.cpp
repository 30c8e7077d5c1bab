// Header block of the partial-wave files (root.pw, root.xs, root.dcs): the usual block of the
// energy pass, then the partial-wave settings, the l reached and the units.
#include <cstdio>
#include <string>
#include <string_view>

#include "results.hpp"
#include "settings.hpp"
#include "text_format.hpp"

namespace skarven {

void write_partial_wave_header(std::FILE* unit, int lmax_reached) {
    write_header(unit);
    const RunSettings& settings = run_record;
    const std::string lines[] = {
        "; lmax     = " + format_int(settings.lmax, 5),
        "; lconv    = " + format_scientific(settings.lconv, 22, 14),
        "; angles   = " + format_int(settings.angles, 5),
        "; lreached = " + format_int(lmax_reached, 5),
        "; units    = atomic (hbar = m = 1): energy in hartree, phase shifts in radians,",
        ";            cross sections in bohr^2, differential cross sections in bohr^2/sr",
        ";"};
    for (const std::string& line : lines) {
        std::fwrite(line.data(), 1, line.size(), unit);
        std::fputc('\n', unit);
    }
}

}  // namespace skarven
