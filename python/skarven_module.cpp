// The Python module `skarven`: the library's entry points with NumPy arrays in and out. Computation
// runs with the GIL released; a Python potential is called with a NumPy array of radii, one
// quadrature level or rule at a time, under the GIL it takes back for that call.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "skarven/skarven.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

// c of the parameter file's v_light = finite.
constexpr double speed_of_light = 137.0359996287515;

// A Python callable held by a Potential. Copies of the Potential share it through a shared_ptr,
// which the engine copies with the GIL released; only the last owner touches the Python object,
// and it takes the GIL to do so.
struct PythonFunction {
    py::object callable;
    explicit PythonFunction(py::object f) : callable(std::move(f)) {}
    ~PythonFunction() {
        py::gil_scoped_acquire gil;
        callable = py::object();
    }
    PythonFunction(const PythonFunction&) = delete;
    PythonFunction& operator=(const PythonFunction&) = delete;
};

// v(r) for n radii in one Python call. The result may be anything NumPy broadcasts to n floats
// (a scalar for a constant); a Python exception raised by the callable goes through the engine
// as it is and comes out of the module's call unchanged.
void call_python(const PythonFunction& function, std::size_t n, const double* r, double* v) {
    py::gil_scoped_acquire gil;
    py::array_t<double> radii(static_cast<py::ssize_t>(n));
    std::memcpy(radii.mutable_data(), r, n * sizeof(double));
    const py::module_ numpy = py::module_::import("numpy");
    const py::object result = function.callable(radii);
    const py::object values = numpy.attr("broadcast_to")(
        numpy.attr("asarray")(result, "dtype"_a = "float64"), py::make_tuple(n));
    const auto contiguous = py::array_t<double, py::array::c_style | py::array::forcecast>(values);
    std::memcpy(v, contiguous.data(), n * sizeof(double));
}

skarven::Potential user_potential(py::object callable, double r0) {
    skarven::Potential p;
    p.kind = skarven::PotentialKind::user;
    p.r0 = r0;
    auto function = std::make_shared<PythonFunction>(std::move(callable));
    p.batch_formula = [function](std::size_t n, const double* r, double* v) {
        call_python(*function, n, r, v);
    };
    return p;
}

skarven::BasisKind basis_kind(const std::string& name) {
    if (name == "laguerre") return skarven::BasisKind::laguerre;
    if (name == "oscillator" || name == "gauss") return skarven::BasisKind::oscillator;
    throw py::value_error("basis must be \"laguerre\" or \"oscillator\" (\"gauss\"), not \"" +
                          name + "\"");
}

skarven::Options options_of(const std::string& route, int threads, bool shift) {
    skarven::Options options;
    if (route == "fast") {
        options.route = skarven::RouteKind::fast;
    } else if (route == "eigen") {
        options.route = skarven::RouteKind::eigen;
    } else {
        throw py::value_error("route must be \"fast\" or \"eigen\", not \"" + route + "\"");
    }
    if (threads < 0) throw py::value_error("threads must be 0 (the caller's setting) or more");
    options.threads = threads;
    options.shift = shift;
    return options;
}

template <class T>
py::array_t<T> array_of(const std::vector<T>& values) {
    py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
    if (!values.empty()) std::memcpy(out.mutable_data(), values.data(), values.size() * sizeof(T));
    return out;
}

// rows x columns, row-major, from a vector of rows of equal length.
py::array_t<double> matrix_of(const std::vector<std::vector<double>>& rows, std::size_t columns) {
    py::array_t<double> out(
        {static_cast<py::ssize_t>(rows.size()), static_cast<py::ssize_t>(columns)});
    auto view = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < columns; ++j)
            view(i, j) = rows[i][j];
    return out;
}

std::vector<double> energies_of(const py::handle& energies) {
    const auto array =
        py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(energies);
    if (!array || array.ndim() > 1)
        throw py::value_error("energies must be a number or a one-dimensional array of numbers");
    return std::vector<double>(array.data(), array.data() + array.size());
}

// Results as Python objects with NumPy arrays.
struct SizeScan {
    py::array_t<int> n;
    py::array_t<double> tan_delta, delta;
    std::vector<std::string> warnings;
};

struct EnergyScan {
    py::array_t<double> energies, tan_delta, delta;
    std::vector<std::string> warnings;
};

struct PartialWaves {
    py::array_t<double> energies;
    py::array_t<int> l, kappa;
    py::array_t<double> delta, sigma, sigma_tr, angles, dsigma;
    py::array_t<double> coulomb_phase, rutherford_ratio;  // zc != 0 only, else 0 rows
    int lmax_reached = 0;
    bool converged = false;
};

}  // namespace

PYBIND11_MODULE(skarven, m) {
    m.doc() = R"(Phase shifts of a central potential by the algebraic L^2 basis method.

Atomic units throughout: energies in hartree, lengths in bohr, wave numbers in 1/bohr, cross
sections in bohr^2 (bohr^2/sr for dsigma/dOmega), angles in degrees, phase shifts in radians.
A computation releases the GIL, so Python threads may compute at once; each result is the same
bits it is alone and at any thread count.

    import skarven
    p = skarven.Problem(potential=skarven.yukawa(g=1, m=1), l=0, basis="laguerre", lam=1.0)
    scan = skarven.phase_shift_scan(p, e=1.0, n1=10, n2=200)   # scan.n, scan.delta

Bad input raises ValueError with the program's message line, "Error (routine): message.".)";
    m.attr("__version__") = SKARVEN_VERSION;
    m.attr("speed_of_light") = speed_of_light;

    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const skarven::Error& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const skarven::InternalError& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        }
    });

    py::enum_<skarven::BasisKind>(m, "BasisKind",
                                  "Laguerre or oscillator (the parameter file's \"gauss\") basis.")
        .value("laguerre", skarven::BasisKind::laguerre)
        .value("oscillator", skarven::BasisKind::oscillator);
    py::enum_<skarven::PotentialKind>(m, "PotentialKind", "The kind of a Potential.")
        .value("none", skarven::PotentialKind::none)
        .value("well", skarven::PotentialKind::well)
        .value("coulomb", skarven::PotentialKind::coulomb)
        .value("yukawa", skarven::PotentialKind::yukawa)
        .value("user", skarven::PotentialKind::user)
        .value("woods_saxon", skarven::PotentialKind::woods_saxon)
        .value("hulthen", skarven::PotentialKind::hulthen)
        .value("exponential", skarven::PotentialKind::exponential)
        .value("gaussian", skarven::PotentialKind::gaussian)
        .value("morse", skarven::PotentialKind::morse)
        .value("formula", skarven::PotentialKind::formula)
        .value("table", skarven::PotentialKind::table);

    py::class_<skarven::Basis>(m, "Basis", "The basis: kind and scale lam (1/bohr); x = lam r.")
        .def(py::init([](const py::object& kind, double lam) {
                 skarven::Basis b;
                 b.kind = py::isinstance<py::str>(kind) ? basis_kind(kind.cast<std::string>())
                                                        : kind.cast<skarven::BasisKind>();
                 b.lambda = lam;
                 return b;
             }),
             "kind"_a = "laguerre", "lam"_a = 1.0)
        .def_readwrite("kind", &skarven::Basis::kind)
        .def_readwrite("lam", &skarven::Basis::lambda, "scale lambda of the basis, 1/bohr")
        .def("__repr__", [](const skarven::Basis& b) {
            return std::string("Basis(kind=") +
                   (b.kind == skarven::BasisKind::laguerre ? "'laguerre'" : "'oscillator'") +
                   ", lam=" + py::repr(py::float_(b.lambda)).cast<std::string>() + ")";
        });

    py::class_<skarven::Scheme>(
        m, "Scheme", "Schroedinger (dirac=False) or Dirac with speed of light `light` (a.u.).")
        .def(py::init([](bool dirac, double light) {
                 return skarven::Scheme{dirac, dirac ? light : 0.0};
             }),
             "dirac"_a = false, "light"_a = speed_of_light)
        .def_readwrite("dirac", &skarven::Scheme::dirac)
        .def_readwrite("light", &skarven::Scheme::light,
                       "speed of light in atomic units (Dirac only)");

    py::class_<skarven::Wave>(
        m, "Wave", "The partial wave: orbital l and, in the Dirac scheme, kappa (-(l+1) or l).")
        .def(py::init([](int l, int kappa) {
                 return skarven::Wave{l, kappa};
             }),
             "l"_a = 0, "kappa"_a = 0)
        .def_readwrite("l", &skarven::Wave::l)
        .def_readwrite("kappa", &skarven::Wave::kappa);

    py::class_<skarven::Potential>(
        m, "Potential",
        "A central potential v(r) in hartree; make one with well(), coulomb(), "
        "yukawa() or user().")
        .def_readonly("kind", &skarven::Potential::kind)
        .def_readwrite("r0", &skarven::Potential::r0,
                       "cut-off radius (bohr) of coulomb, yukawa and user; <= 0: none")
        .def_readwrite("v0", &skarven::Potential::v0, "depth of the well (hartree)")
        .def_readwrite("a", &skarven::Potential::a, "inner radius of the well (bohr)")
        .def_readwrite("b", &skarven::Potential::b, "outer radius of the well (bohr)")
        .def_readwrite("z", &skarven::Potential::z, "strength of -z / r^alpha (hartree bohr^alpha)")
        .def_readwrite("alpha", &skarven::Potential::alpha, "power of -z / r^alpha")
        .def_readwrite("g", &skarven::Potential::g,
                       "coupling of -g^2 e^(-m r) / r (g^2 in hartree bohr)")
        .def_readwrite("m", &skarven::Potential::m, "decay rate of the Yukawa potential (1/bohr)")
        .def_readwrite("radius", &skarven::Potential::radius,
                       "radius R of woods_saxon and morse (bohr)")
        .def_readwrite("diffuse", &skarven::Potential::diffuse,
                       "diffuseness d of woods_saxon (bohr)")
        .def_readwrite("range", &skarven::Potential::range,
                       "range s of hulthen, exponential, gaussian and morse (bohr)")
        .def_readonly("expression", &skarven::Potential::expression,
                      "the formula in r of a formula potential")
        .def_readonly("breaks", &skarven::Potential::breaks,
                      "radii (bohr) where a formula potential may jump")
        .def(
            "__call__",
            [](const skarven::Potential& p, const py::handle& r) -> py::object {
                const std::vector<double> radii = energies_of(r);
                std::vector<double> v(radii.size());
                if (p.batch_formula) {
                    p.batch_formula(radii.size(), radii.data(), v.data());
                } else {
                    for (std::size_t k = 0; k < radii.size(); ++k)
                        v[k] = skarven::potential_value(p, radii[k]);
                }
                if (py::isinstance<py::float_>(r) || py::isinstance<py::int_>(r))
                    return py::float_(v[0]);
                return array_of(v);
            },
            "r"_a,
            "v(r) in hartree at radii r (bohr), a number or an array; without the cut at r0.");

    m.def(
        "well",
        [](double v0, double b, double a) {
            skarven::Potential p;
            p.kind = skarven::PotentialKind::well;
            p.v0 = v0;
            p.a = a;
            p.b = b;
            return p;
        },
        "v0"_a, "b"_a, "a"_a = 0.0,
        "Square well (a = 0) or spherical shell: v = v0 (hartree) for a <= r <= b (bohr), 0 "
        "elsewhere.");
    m.def(
        "coulomb",
        [](double z, double alpha, double r0) {
            skarven::Potential p;
            p.kind = skarven::PotentialKind::coulomb;
            p.z = z;
            p.alpha = alpha;
            p.r0 = r0;
            return p;
        },
        "z"_a, "alpha"_a = 1.0, "r0"_a = 0.0,
        "Power-law Coulomb potential v = -z / r^alpha (hartree, r in bohr), cut to 0 beyond r0 > 0 "
        "(bohr).");
    m.def(
        "yukawa",
        [](double g, double m_, double r0) {
            skarven::Potential p;
            p.kind = skarven::PotentialKind::yukawa;
            p.g = g;
            p.m = m_;
            p.r0 = r0;
            return p;
        },
        "g"_a, "m"_a, "r0"_a = 0.0,
        "Yukawa potential v = -g^2 e^(-m r) / r (hartree; m in 1/bohr, r in bohr), cut to 0 beyond "
        "r0 > 0.");
    m.def(
        "user", &user_potential, "v"_a, "r0"_a = 0.0,
        R"(A potential given by a Python callable: v(r) takes a 1-D float64 NumPy array of radii (bohr)
and returns v there (hartree), as an array of the same length or anything that broadcasts to it.
It is called once per quadrature level or rule (hundreds to thousands of radii per call), never per
point or matrix element, from the computing thread with the GIL held. Cut to 0 beyond r0 > 0 (bohr);
with r0 <= 0 the potential must fall off fast enough for the basis integrals to converge.)");

    // The named forms take their textbook parameters; v0 in hartree (negative attracts).
    auto named = [](skarven::PotentialKind kind, double v0, double radius, double diffuse,
                    double range, double r0) {
        skarven::Potential p;
        p.kind = kind;
        p.v0 = v0;
        p.radius = radius;
        p.diffuse = diffuse;
        p.range = range;
        p.r0 = r0;
        return p;
    };
    m.def(
        "woods_saxon",
        [named](double v0, double radius, double diffuse, double r0) {
            return named(skarven::PotentialKind::woods_saxon, v0, radius, diffuse, 0.0, r0);
        },
        "v0"_a, "radius"_a, "diffuse"_a, "r0"_a = 0.0,
        "Woods-Saxon well v = v0 / (1 + e^((r - radius) / diffuse)) (hartree, bohr), cut beyond "
        "r0 > 0.");
    m.def(
        "hulthen",
        [named](double v0, double range, double r0) {
            return named(skarven::PotentialKind::hulthen, v0, 0.0, 0.0, range, r0);
        },
        "v0"_a, "range"_a, "r0"_a = 0.0,
        "Hulthen potential v = v0 e^(-r/range) / (1 - e^(-r/range)) (hartree, bohr); the uncut s "
        "wave has an exact phase shift.");
    m.def(
        "exponential",
        [named](double v0, double range, double r0) {
            return named(skarven::PotentialKind::exponential, v0, 0.0, 0.0, range, r0);
        },
        "v0"_a, "range"_a, "r0"_a = 0.0,
        "Exponential potential v = v0 e^(-r/range) (hartree, bohr).");
    m.def(
        "gaussian",
        [named](double v0, double range, double r0) {
            return named(skarven::PotentialKind::gaussian, v0, 0.0, 0.0, range, r0);
        },
        "v0"_a, "range"_a, "r0"_a = 0.0,
        "Gaussian potential v = v0 e^(-(r/range)^2) (hartree, bohr).");
    m.def(
        "morse",
        [named](double v0, double radius, double range, double r0) {
            return named(skarven::PotentialKind::morse, v0, radius, 0.0, range, r0);
        },
        "v0"_a, "radius"_a, "range"_a, "r0"_a = 0.0,
        "Morse potential v = v0 (2 e^(-(r - radius)/range) - e^(-2 (r - radius)/range)) (hartree, "
        "bohr); v0 is its value at the minimum r = radius.");
    m.def(
        "formula",
        [](const std::string& expression, const std::vector<double>& breaks, double r0) {
            skarven::Potential p;
            p.kind = skarven::PotentialKind::formula;
            p.expression = expression;
            p.breaks = breaks;
            p.r0 = r0;
            return p;
        },
        "v"_a, "breaks"_a = std::vector<double>{}, "r0"_a = 0.0,
        R"doc(A potential given as a formula in r (bohr) for v (hartree), in the parameter file's syntax
(arithmetic, ^, exp, log, sqrt, trigonometric and hyperbolic functions, comparisons, a ? b : c),
e.g. "-50/(1+exp((r-7)/0.6))". breaks: radii where it jumps (quadrature panel ends). Cut beyond
r0 > 0; with r0 <= 0 its tail must fall faster than 1/r. Checked when a computation starts
(ValueError with the parameter file's message).)doc");
    m.def(
        "table",
        [](const py::object& r, const py::object& v) {
            skarven::Potential p;
            p.kind = skarven::PotentialKind::table;
            p.table_r = energies_of(r);
            p.table_v = energies_of(v);
            return p;
        },
        "r"_a, "v"_a,
        R"(A potential tabulated at increasing radii r (bohr, at least 4) with values v (hartree),
interpolated by a cubic spline through r v(r) and zero beyond the last radius.)");

    py::class_<skarven::Problem>(
        m, "Problem", "The scattering problem: basis, scheme, partial wave and potential.")
        .def(
            py::init([](const py::object& potential, int l, std::optional<int> kappa,
                        const py::object& basis, double lam, bool dirac, double light) {
                skarven::Problem p;
                p.potential = py::isinstance<skarven::Potential>(potential)
                                  ? potential.cast<skarven::Potential>()
                                  : user_potential(potential, 0.0);
                p.wave.l = l;
                p.wave.kappa = kappa ? *kappa : (dirac ? -(l + 1) : 0);
                p.basis.kind = py::isinstance<py::str>(basis)
                                   ? basis_kind(basis.cast<std::string>())
                                   : basis.cast<skarven::BasisKind>();
                p.basis.lambda = lam;
                p.scheme = {dirac, dirac ? light : 0.0};
                return p;
            }),
            "potential"_a, "l"_a = 0, "kappa"_a = py::none(), "basis"_a = "laguerre", "lam"_a = 1.0,
            "dirac"_a = false, "light"_a = speed_of_light,
            R"(Problem(potential, l=0, kappa=None, basis="laguerre", lam=1.0, dirac=False, light=137.0359996287515)

potential: a Potential (well, coulomb, yukawa, user) or a Python callable v(r) (as user(v)).
l: orbital quantum number. kappa: Dirac quantum number, l or -(l+1); None gives -(l+1) (j = l + 1/2).
basis: "laguerre" or "oscillator" ("gauss"). lam: basis scale lambda (1/bohr).
dirac: Dirac scheme with speed of light `light` (a.u.; the parameter file's v_light = infinite is 5000).)")
        .def_readwrite("basis", &skarven::Problem::basis)
        .def_readwrite("scheme", &skarven::Problem::scheme)
        .def_readwrite("wave", &skarven::Problem::wave)
        .def_readwrite("potential", &skarven::Problem::potential)
        .def_readwrite(
            "zc", &skarven::Problem::zc,
            "Z1 Z2 (hartree bohr) of a Coulomb tail zc/r in the free problem (Laguerre "
            "basis, Schroedinger scheme); delta is then relative to the Coulomb functions");

    py::class_<SizeScan>(m, "SizeScan", "delta_N against the basis size N.")
        .def_readonly("n", &SizeScan::n, "basis sizes N (int array)")
        .def_readonly("tan_delta", &SizeScan::tan_delta, "tan delta_N")
        .def_readonly("delta", &SizeScan::delta, "delta_N (radians)")
        .def_readonly("warnings", &SizeScan::warnings, "\"routine: message\" of each warning")
        .def("__repr__", [](const SizeScan& s) {
            return "SizeScan(n=" + py::repr(s.n).cast<std::string>() +
                   ", delta=" + py::repr(s.delta).cast<std::string>() + ")";
        });
    py::class_<EnergyScan>(m, "EnergyScan", "delta against energy at one basis size.")
        .def_readonly("energies", &EnergyScan::energies, "energies (hartree)")
        .def_readonly("tan_delta", &EnergyScan::tan_delta, "tan delta")
        .def_readonly("delta", &EnergyScan::delta, "delta (radians)")
        .def_readonly("warnings", &EnergyScan::warnings, "\"routine: message\" of each warning")
        .def("__repr__", [](const EnergyScan& s) {
            return "EnergyScan(energies=" + py::repr(s.energies).cast<std::string>() +
                   ", delta=" + py::repr(s.delta).cast<std::string>() + ")";
        });
    py::class_<PartialWaves>(
        m, "PartialWaves",
        "Phase shifts of every partial wave and the cross sections summed from them.")
        .def_readonly("energies", &PartialWaves::energies, "energies (hartree)")
        .def_readonly("l", &PartialWaves::l, "l of each wave computed (int array)")
        .def_readonly("kappa", &PartialWaves::kappa,
                      "kappa of each wave (Dirac: -l-1 before l; Schroedinger: 0)")
        .def_readonly("delta", &PartialWaves::delta, "delta[wave, energy] (radians)")
        .def_readonly("sigma", &PartialWaves::sigma, "elastic cross section per energy (bohr^2)")
        .def_readonly("sigma_tr", &PartialWaves::sigma_tr,
                      "momentum-transfer cross section per energy (bohr^2)")
        .def_readonly(
            "angles", &PartialWaves::angles,
            "scattering angles (degrees), 0 ... 180 (0 left out with zc); empty without angles")
        .def_readonly("dsigma", &PartialWaves::dsigma, "dsigma/dOmega[energy, angle] (bohr^2/sr)")
        .def_readonly("coulomb_phase", &PartialWaves::coulomb_phase,
                      "with zc: sigma_l = arg Gamma(l + 1 + i eta) [wave, energy] (radians); "
                      "0 rows without")
        .def_readonly("rutherford_ratio", &PartialWaves::rutherford_ratio,
                      "with zc: dsigma/dOmega over the Rutherford cross section [energy, angle]; "
                      "0 rows without")
        .def_readonly("lmax_reached", &PartialWaves::lmax_reached, "the last l computed")
        .def_readonly("converged", &PartialWaves::converged, "two l in a row stayed below lconv");

    m.def(
        "phase_shift_scan",
        [](const skarven::Problem& problem, double e, int n1, int n2, const std::string& route,
           int threads, bool shift) {
            const skarven::Options options = options_of(route, threads, shift);
            skarven::SizeScan scan;
            {
                py::gil_scoped_release release;
                scan = skarven::phase_shifts_by_size(problem, e, n1, n2, options);
            }
            return SizeScan{array_of(scan.sizes), array_of(scan.tan_delta), array_of(scan.delta),
                            scan.warnings};
        },
        "problem"_a, "e"_a, "n1"_a, "n2"_a, py::kw_only(), "route"_a = "fast", "threads"_a = 0,
        "shift"_a = false,
        R"(delta_N at kinetic energy e (hartree) for basis sizes N = n1 ... n2; returns a SizeScan.

route: "fast" (the potential blocks at n2, then O(N^2) per size) or "eigen" (O(N^3) per size);
the two agree to about 1e-10. threads: OpenMP threads of this call (0: the caller's setting).
shift: delta in [0, pi) instead of (-pi/2, pi/2]. delta_N approaches delta algebraically in N.
Raises ValueError for bad input (the parameter file's message).)");

    m.def(
        "phase_shifts",
        [](const skarven::Problem& problem, int n, const py::object& energies,
           const std::string& route, int threads, bool shift) {
            const skarven::Options options = options_of(route, threads, shift);
            const std::vector<double> e = energies_of(energies);
            skarven::EnergyScan scan;
            {
                py::gil_scoped_release release;
                scan = skarven::phase_shifts_by_energy(problem, n, e, options);
            }
            return EnergyScan{array_of(scan.energies), array_of(scan.tan_delta),
                              array_of(scan.delta), scan.warnings};
        },
        "problem"_a, "n"_a, "energies"_a, py::kw_only(), "route"_a = "fast", "threads"_a = 0,
        "shift"_a = false,
        R"(delta at basis size n for each energy (hartree, > 0; a number or a 1-D array); returns an EnergyScan.

The fast route decomposes once, O(n^3), then O(n) per energy; the eigen route is O(n^3) per energy.
threads and shift as in phase_shift_scan.)");

    m.def(
        "partial_waves",
        [](const skarven::Problem& problem, int n, const py::object& energies, int lmax,
           double lconv, int angles, int threads, bool shift) {
            const skarven::Options options = options_of("fast", threads, shift);
            const std::vector<double> e = energies_of(energies);
            skarven::PartialWaveResult r;
            {
                py::gil_scoped_release release;
                r = skarven::partial_waves(problem, n, e, lmax, lconv, angles, options);
            }
            PartialWaves out;
            out.energies = array_of(r.energies);
            std::vector<int> ls, kappas;
            for (const skarven::Wave& w : r.waves) {
                ls.push_back(w.l);
                kappas.push_back(w.kappa);
            }
            out.l = array_of(ls);
            out.kappa = array_of(kappas);
            out.delta = matrix_of(r.delta, r.energies.size());
            out.sigma = array_of(r.sigma);
            out.sigma_tr = array_of(r.sigma_transport);
            out.angles = array_of(r.angles);
            out.dsigma = matrix_of(r.dsigma, r.angles.size());
            out.coulomb_phase = matrix_of(r.coulomb_phase, r.energies.size());
            out.rutherford_ratio = matrix_of(r.rutherford_ratio, r.angles.size());
            out.lmax_reached = r.lmax_reached;
            out.converged = r.converged;
            return out;
        },
        "problem"_a, "n"_a, "energies"_a, "lmax"_a, "lconv"_a = 1e-8, "angles"_a = 0, py::kw_only(),
        "threads"_a = 0, "shift"_a = false,
        R"(Every partial wave l = 0 ... lmax (0 <= lmax <= 40) at basis size n over the energies (hartree),
by the fast route, stopped after two l in a row whose |sin delta| stay below lconv at every energy;
and sigma, sigma_tr (bohr^2) and, with angles >= 2 equally spaced angles over 0 ... 180 degrees,
dsigma/dOmega (bohr^2/sr). The problem's own l and kappa are not used. Needs a short-range
potential; a Coulomb tail is the problem's zc. With zc, delta is relative to the Coulomb
functions, dsigma/dOmega = |f_C + f_N|^2 on the angles without 0, sigma the nuclear part and
sigma_tr the change of the momentum-transfer integral by the short-range potential; coulomb_phase
and rutherford_ratio are filled. Returns a PartialWaves.)");

    py::class_<skarven::Limit>(m, "Limit", "delta = lim delta_N with its error estimate.")
        .def_readonly("delta", &skarven::Limit::delta, "the limit (radians)")
        .def_readonly("error", &skarven::Limit::error, "its estimated absolute error (radians)")
        .def_readonly("n_used", &skarven::Limit::largest_size, "the largest basis size used")
        .def_readonly("converged", &skarven::Limit::converged, "error <= tolerance")
        .def("__repr__", [](const skarven::Limit& l) {
            return "Limit(delta=" + std::to_string(l.delta) + ", error=" + std::to_string(l.error) +
                   ", n_used=" + std::to_string(l.largest_size) +
                   ", converged=" + (l.converged ? "True" : "False") + ")";
        });

    m.def(
        "phase_shift_limit",
        [](const skarven::Problem& problem, double e, double tolerance, int nmax, int threads,
           bool shift) {
            const skarven::Options options = options_of("fast", threads, shift);
            py::gil_scoped_release release;
            return skarven::phase_shift_limit(problem, e, tolerance, nmax, options);
        },
        "problem"_a, "e"_a, "tolerance"_a, "nmax"_a = skarven::largest_basis, py::kw_only(),
        "threads"_a = 0, "shift"_a = false,
        R"(delta = lim delta_N at kinetic energy e (hartree) with an error estimate (radians): delta_N
by the fast route in stages to 100, 200, 400, ... (nmax at most) until the error estimate is at
most `tolerance`. The estimate fits the known approach of delta_N to its limit; its error bar
covered the true error in every case tested. Returns a Limit (converged False when nmax was
reached first).)");

    m.def(
        "exact_phase_shift",
        [](const skarven::Problem& problem, const py::object& e) -> py::object {
            if (py::isinstance<py::float_>(e) || py::isinstance<py::int_>(e)) {
                const std::optional<double> delta =
                    skarven::exact_phase_shift(problem, e.cast<double>());
                return delta ? py::object(py::float_(*delta)) : py::object(py::none());
            }
            const std::vector<double> energies = energies_of(e);
            std::vector<double> out;
            for (double energy : energies)
                out.push_back(skarven::exact_phase_shift(problem, energy).value_or(std::nan("")));
            return array_of(out);
        },
        "problem"_a, "e"_a,
        R"(The exact phase shift (radians, in (-pi/2, pi/2]) of the square well or spherical shell at
kinetic energy e (hartree): a float, or None for other potentials, below the well's top or where
the Bessel functions cannot be computed. With problem.zc != 0, relative to the Coulomb functions
(F_l and G_l matched at the well's edges), and None at or below the well's top. For an array of
energies, an array with NaN there.)");
}
