// The scanner's kernel for AArch64: NEON, 16 bytes at a time.
#include "scan/simd/neon.h"

#include "scan/generic/kernel.h"
#include "scan/generic/lookBack.h"

namespace scan {
extern const ScanKernel neonKernel;
const ScanKernel neonKernel{"neon", scanEntry<scanChunk>,
                            countEntry<countChunkWith<countWindowLookBack>>};
}  // namespace scan
