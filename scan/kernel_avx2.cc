// The scanner's kernel for x86-64 processors with AVX2, BMI1 and POPCNT.
#include "scan/simd/avx2.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel avx2Kernel;
const ScanKernel avx2Kernel{"avx2", loadWindow<Avx2>, countWindow<Avx2>};
}  // namespace scan
