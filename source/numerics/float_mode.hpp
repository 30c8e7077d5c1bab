#pragma once
// The floating-point mode of the engine: subnormal results and inputs count as zero (x86 MXCSR
// flush-to-zero and denormals-are-zero). The program's numbers are computed in this mode, so
// every entry point of a whole computation holds a FloatModeGuard: unit tests and other callers
// get the same bits as the program, and find their own mode again afterwards.

namespace skarven {

// Sets the engine's mode on the calling thread and on every thread of the OpenMP team it
// starts (omp_get_max_threads() threads; a thread the team creates later inherits the mode),
// and gives them all the calling thread's previous mode back when it ends, by return or by an
// exception. Costs two parallel regions; on targets without MXCSR it does nothing.
class FloatModeGuard {
  public:
    FloatModeGuard();
    ~FloatModeGuard();
    FloatModeGuard(const FloatModeGuard&) = delete;
    FloatModeGuard& operator=(const FloatModeGuard&) = delete;

  private:
    unsigned int saved_;  // the caller's control word
};

// Whether the calling thread flushes subnormals to zero (both bits set).
bool subnormals_flushed();

}  // namespace skarven
