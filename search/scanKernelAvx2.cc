// The scanner's kernel for x86-64 processors with AVX2, BMI and POPCNT; this
// file is built with those instructions enabled and used only where they exist.
#if defined(__x86_64__)
#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "search/scanKernel.h"

namespace scan_detail::avx2 {
#include "search/scanKernelImpl.h"
}  // namespace scan_detail::avx2
#endif
