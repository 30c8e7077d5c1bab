#include "float_mode.hpp"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define SKARVEN_HAS_MXCSR 1
#endif

namespace skarven {

namespace {

// MXCSR flush-to-zero (0x8000) and denormals-are-zero (0x0040).
constexpr unsigned int flush_bits = 0x8040;

unsigned int control_word() {
#ifdef SKARVEN_HAS_MXCSR
    return _mm_getcsr();
#else
    return 0;
#endif
}

// On the calling thread and the threads of the team: the mode lives in each thread's registers.
// Only the two mode bits change; the rounding mode, masks and exception flags stay as they are.
void set_flush_bits(unsigned int bits) {
#ifdef SKARVEN_HAS_MXCSR
    const auto set = [bits] { _mm_setcsr((_mm_getcsr() & ~flush_bits) | (bits & flush_bits)); };
    set();
#pragma omp parallel
    set();
#else
    (void)bits;
#endif
}

}  // namespace

FloatModeGuard::FloatModeGuard() : saved_(control_word()) {
    set_flush_bits(flush_bits);
}

FloatModeGuard::~FloatModeGuard() {
    set_flush_bits(saved_);
}

bool subnormals_flushed() {
    return (control_word() & flush_bits) == flush_bits;
}

}  // namespace skarven
