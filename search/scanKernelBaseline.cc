// The scanner's kernel for any processor: SSE2 on x86-64, plain C++ elsewhere.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "search/scanKernel.h"

namespace scan_detail::baseline {
#include "search/scanKernelImpl.h"
}  // namespace scan_detail::baseline
