// The scanner's kernel for any processor: eight bytes at a time in a 64-bit word.
#include "scan/simd/portable.h"

#include "scan/generic/countWindow.h"
#include "scan/generic/loadWindow.h"

namespace scan {
extern const ScanKernel portableKernel;
const ScanKernel portableKernel{"portable", loadWindow<Portable>, countWindow<Portable>};
}  // namespace scan
