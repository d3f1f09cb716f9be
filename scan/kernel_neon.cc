// The scanner's kernel for AArch64: NEON, 16 bytes at a time.
#include "scan/simd/neon.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel neonKernel;
const ScanKernel neonKernel{"neon", loadWindow<Neon>, countWindow<Neon>};
}  // namespace scan
