// The scanner's kernel for every x86-64 processor: SSE2, 16 bytes at a time.
#include "scan/simd/sse2.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel sse2Kernel;
const ScanKernel sse2Kernel{"sse2", loadWindow<Sse2>, countWindow<Sse2>};
}  // namespace scan
