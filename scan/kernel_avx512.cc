// The scanner's kernel for x86-64 processors with AVX-512 (F, BW, VL, VBMI, VBMI2), BMI1 and
// POPCNT.

// GCC 12 takes the placeholder that many AVX-512 intrinsics start from
// (_mm512_undefined_epi32) for an uninitialised variable once they are
// inlined (GCC bug 105593).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "scan/simd/avx512.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel avx512Kernel;
const ScanKernel avx512Kernel{"avx512", loadWindow<Avx512>, countWindow<Avx512>};
}  // namespace scan
