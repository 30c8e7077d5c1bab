#pragma once
// How a phase shift is computed: the route, the threads, and the range delta is reported in.

namespace skarven {

// eigen: the whole matrix of every point diagonalised (O(M^3) per basis size or energy); fast: a
// factorisation grown by bordering over basis sizes (O(M^2) per size) and one decomposition of
// the pencil for all energies (O(M) per energy after O(M^3) once). Both give the same phase
// shifts to about 1e-10.
enum class RouteKind { eigen, fast };

struct Options {
    RouteKind route = RouteKind::fast;
    // OpenMP threads of this call (0: the caller's setting). Results are the same bits at any
    // count.
    int threads = 0;
    // delta in [0, pi) instead of (-pi/2, pi/2].
    bool shift = false;
};

}  // namespace skarven
