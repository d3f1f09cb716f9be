// The scanner's kernel for x86-64 processors with AVX-512 (F, BW, VL), BMI1 and POPCNT.
#include "scan/simd/avx512.h"

#include "scan/generic/kernel.h"
#include "scan/simd/avx512Windows.h"

namespace scan {
extern const ScanKernel avx512Kernel;
const ScanKernel avx512Kernel{"avx512", scanChunkWith<scanWindowAvx512>,
                              countChunkWith<countWindowAvx512>};
}  // namespace scan
