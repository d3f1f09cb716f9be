// The scanner's kernel for any processor, one byte at a time in portable C++.
#include "scan/simd/portable.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/kernel.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel portableKernel;
const ScanKernel portableKernel{"portable", scanEntry<scanChunkWith<scanWindowLookBack>>,
                                countEntry<countChunkWith<countWindowLookBack>>};
}  // namespace scan
