# The module against the program's result files, a Python potential against the built-in one,
# errors as Python exceptions, and two Python threads computing at once.
import subprocess
import threading

import numpy as np
import pytest

import skarven

YUKAWA = "pot_type = yukawa\ng = 1.5\nm = 0.8\nr0 = 0\n"


def run_program(program, tmp_path, settings):
    """Runs the program on `settings` in tmp_path with root "out"; returns the completed process."""
    (tmp_path / "run.inp").write_text(settings)
    return subprocess.run([program, "run.inp", "out"], cwd=tmp_path, capture_output=True,
                          text=True, timeout=120)


def columns(path, column):
    """The text of one data column of a result file (lines not starting with ';')."""
    return [line.split()[column] for line in path.read_text().splitlines()
            if line.strip() and not line.startswith(";")]


@pytest.mark.parametrize("solver,scheme,l,kappa", [
    ("fast", "non-relativistic", 1, None),
    ("eigen", "non-relativistic", 0, None),
    ("fast", "relativistic", 0, -1),
])
def test_reproduces_the_programs_result_files(program, tmp_path, solver, scheme, l, kappa):
    settings = (f"{YUKAWA}scheme = {scheme}\nl = {l}\nbasis = laguerre\nlambda = 1.3\ne = 0.7\n"
                f"nstart = 5\nnend = 60\nsolver = {solver}\nenergies = T\nestart = 0.2\n"
                "eend = 1.2\nestep = 0.25\nscreen = F\n")
    if kappa is not None:
        settings += f"kappa = {kappa}\nv_light = finite\n"
    assert run_program(program, tmp_path, settings).returncode == 0
    problem = skarven.Problem(potential=skarven.yukawa(g=1.5, m=0.8), l=l, kappa=kappa,
                              lam=1.3, dirac=kappa is not None)
    by_n = skarven.phase_shift_scan(problem, e=0.7, n1=5, n2=60, route=solver)
    by_e = skarven.phase_shifts(problem, 60, [0.2, 0.45, 0.7, 0.95, 1.2], route=solver)
    # The files' F26.16 fields, as text: the same bits give the same digits.
    assert columns(tmp_path / "out", 0) == [f"{n}" for n in by_n.n]
    assert columns(tmp_path / "out", 2) == [f"{d:.16f}" for d in by_n.delta]
    assert columns(tmp_path / "out", 1) == [f"{t:.16f}" for t in by_n.tan_delta]
    assert columns(tmp_path / "out.en", 2) == [f"{d:.16f}" for d in by_e.delta]



def test_partial_waves_under_a_coulomb_tail(program, tmp_path):
    """zc reaches the partial waves: the module gives the digits of the program's .pw (delta and
    sigma_l of each wave) and .dcs (dsigma/dOmega and the ratio to Rutherford, theta = 0 left
    out)."""
    settings = (f"{YUKAWA}zc = -1.5\nscheme = non-relativistic\nl = 0\nbasis = laguerre\n"
                "e = 0.7\nnstart = 60\nnend = 60\nsolver = fast\nenergies = T\nestart = 0.5\n"
                "eend = 1.5\nestep = 0.5\nlmax = 6\nangles = 5\nscreen = F\n")
    assert run_program(program, tmp_path, settings).returncode == 0
    problem = skarven.Problem(potential=skarven.yukawa(g=1.5, m=0.8))
    problem.zc = -1.5
    r = skarven.partial_waves(problem, 60, [0.5, 1.0, 1.5], lmax=6, angles=5)
    assert list(r.angles) == [45.0, 90.0, 135.0, 180.0]
    assert r.coulomb_phase.shape == r.delta.shape and r.rutherford_ratio.shape == r.dsigma.shape
    for w in range(len(r.l)):
        assert columns(tmp_path / "out.pw", 1 + 2 * w) == [f"{d:.16f}" for d in r.delta[w]]
        assert columns(tmp_path / "out.pw", 2 + 2 * w) == [f"{s:.16f}" for s in r.coulomb_phase[w]]
    assert columns(tmp_path / "out.dcs", 1) == [f"{x:.15E}" for x in r.dsigma.ravel()]
    assert columns(tmp_path / "out.dcs", 2) == [f"{x:.15E}" for x in r.rutherford_ratio.ravel()]
    free = skarven.partial_waves(skarven.Problem(potential=skarven.yukawa(g=1.5, m=0.8)), 60,
                                 [0.5], lmax=6, angles=5)
    assert free.coulomb_phase.shape[0] == 0 and len(free.angles) == 5

def test_python_potential_reproduces_the_built_in_yukawa():
    calls = []

    def v(r):
        assert isinstance(r, np.ndarray) and r.dtype == np.float64 and r.ndim == 1
        calls.append(r.size)
        with np.errstate(divide="ignore"):
            return -2.25 * np.exp(-0.8 * r) / r

    for route in ("fast", "eigen"):
        calls.clear()
        built_in = skarven.Problem(potential=skarven.yukawa(g=1.5, m=0.8), l=1)
        given = skarven.Problem(potential=v, l=1)
        expected = skarven.phase_shift_scan(built_in, e=0.7, n1=20, n2=120, route=route).delta
        computed = skarven.phase_shift_scan(given, e=0.7, n1=20, n2=120, route=route).delta
        # Different rules (Gauss-Laguerre exact for the built-in, panels for a callable), both
        # converged to about 1e-12 of the largest element.
        np.testing.assert_allclose(computed, expected, rtol=0, atol=1e-12)
        # A rule's worth of radii per call, never one call per point or element.
        assert 0 < len(calls) <= 10 and min(calls) >= 64, calls
    # Cut at r0: the eigen route's double-exponential levels, one call per level.
    calls.clear()
    cut = dict(potential=skarven.yukawa(g=1.5, m=0.8, r0=4.0), l=0)
    exact = skarven.phase_shift_scan(skarven.Problem(**cut), e=0.7, n1=20, n2=80, route="eigen")
    cut["potential"] = skarven.user(v, r0=4.0)
    given = skarven.phase_shift_scan(skarven.Problem(**cut), e=0.7, n1=20, n2=80, route="eigen")
    np.testing.assert_allclose(given.delta, exact.delta, rtol=0, atol=1e-12)
    assert 0 < len(calls) <= 20, calls


def test_errors_raise_value_error_with_the_programs_line(program, tmp_path):
    settings = f"{YUKAWA}scheme = non-relativistic\nl = 0\nbasis = laguerre\nlambda = 0\ne = 1\nnend = 10\n"
    run = run_program(program, tmp_path, settings)
    assert run.returncode == 1
    line = run.stdout.splitlines()[-1]
    assert line == "Error (loadparams): <lambda> must be positive."
    with pytest.raises(ValueError) as error:
        skarven.phase_shift_scan(skarven.Problem(potential=skarven.yukawa(1.5, 0.8), lam=0.0),
                                 e=1.0, n1=1, n2=10)
    assert str(error.value) == line
    with pytest.raises(ValueError, match=r"^Error \(loadparams\): <e> must be positive\.$"):
        skarven.phase_shifts(skarven.Problem(potential=skarven.yukawa(1.5, 0.8)), 10, [1.0, -1.0])
    with pytest.raises(ValueError, match="route must be"):
        skarven.phase_shift_scan(skarven.Problem(potential=skarven.yukawa(1.5, 0.8)), 1.0, 1, 10,
                                 route="slow")
    # A Python potential's own exception comes out unchanged, and the module goes on working.
    with pytest.raises(ZeroDivisionError):
        skarven.phase_shift_scan(skarven.Problem(potential=lambda r: 1 / 0), e=1.0, n1=1, n2=10)
    zero = skarven.Problem(potential=lambda r: 0.0 * r)
    assert np.all(np.abs(skarven.phase_shift_scan(zero, 1.0, 1, 3).delta) < 1e-12)


def test_two_threads_give_the_bits_of_one():
    problems = [
        (skarven.Problem(potential=skarven.yukawa(g=1.5, m=0.8), l=2, lam=2.0), 2),
        (skarven.Problem(potential=lambda r: -np.exp(-r * r), dirac=True), 1),
    ]
    energies = np.linspace(0.3, 1.5, 7)
    alone = [skarven.phase_shifts(p, 120, energies, threads=t).delta for p, t in problems]
    results = [None, None]

    def work(k):
        p, t = problems[k]
        results[k] = [skarven.phase_shifts(p, 120, energies, threads=t).delta for _ in range(3)]

    threads = [threading.Thread(target=work, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for k in range(2):
        for delta in results[k]:
            assert delta.tobytes() == alone[k].tobytes()


def test_formula_and_the_limit():
    """A formula written as the built-in Yukawa gives its delta_N; the limit covers the
    independently integrated s wave (tests/data/limit_reference.txt)."""
    built_in = skarven.Problem(potential=skarven.yukawa(g=1.0, m=1.0))
    written = skarven.Problem(potential=skarven.formula("-exp(-r)/r"))
    a = skarven.phase_shift_scan(built_in, 1.0, 1, 80).delta
    b = skarven.phase_shift_scan(written, 1.0, 1, 80).delta
    assert np.max(np.abs(a - b)) < 1e-12
    limit = skarven.phase_shift_limit(built_in, 1.0, 1e-7, nmax=800)
    assert limit.converged and abs(limit.delta - 0.9334314568477643) <= limit.error
    with pytest.raises(ValueError, match="tolerance"):
        skarven.phase_shift_limit(built_in, 1.0, 0.0)
    with pytest.raises(ValueError):
        skarven.phase_shift_scan(skarven.Problem(potential=skarven.table([0, 1, 2], [0, 0, 0])),
                                 1.0, 1, 5)
