// The scanner's kernels in order of preference, each run only where the
// processor has the features it was compiled for; detected once.
#include <algorithm>
#include <string_view>
#include <vector>

#include "scan/kernel.h"
#include "scan/kernelList.h"  // made by scan/CMakeLists.txt from its list of kernels
#include "scan/numberScanner.h"

namespace scan {
#define NEEDLE_DECLARE_KERNEL(name, supported) extern const ScanKernel name##Kernel;
NEEDLE_SCAN_KERNELS(NEEDLE_DECLARE_KERNEL)
#undef NEEDLE_DECLARE_KERNEL

const std::vector<const ScanKernel*>& supportedKernels() {
    static const std::vector<const ScanKernel*> kernels = [] {
        std::vector<const ScanKernel*> list;
#define NEEDLE_ADD_IF_SUPPORTED(name, supported) \
    if (supported) {                             \
        list.push_back(&name##Kernel);           \
    }
        NEEDLE_SCAN_KERNELS(NEEDLE_ADD_IF_SUPPORTED)
#undef NEEDLE_ADD_IF_SUPPORTED
        return list;
    }();
    return kernels;
}

const ScanKernel& bestKernel() {
    // The portable kernel runs everywhere, so the list is never empty.
    return *supportedKernels().front();
}

const ScanKernel* findKernel(std::string_view name) {
    const auto& kernels = supportedKernels();
    const auto found = std::find_if(kernels.begin(), kernels.end(),
                                    [name](const ScanKernel* k) { return k->name == name; });
    return found == kernels.end() ? nullptr : *found;
}

const char* kernelName(const ScanKernel& kernel) {
    return kernel.name;
}

}  // namespace scan
