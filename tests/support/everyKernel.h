// A fixture for tests run once for every kernel this build holds: one that
// the processor lacks is skipped, and says why.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/kernelList.h"  // made by scan/CMakeLists.txt from its list of kernels
#include "scan/numberScanner.h"

// The names of every kernel this build holds, best first, whether or not this
// processor runs them.
inline std::vector<const char*> builtKernelNames() {
#define NEEDLE_KERNEL_NAME(name, supported) #name,
    return {NEEDLE_SCAN_KERNELS(NEEDLE_KERNEL_NAME)};
#undef NEEDLE_KERNEL_NAME
}

class EveryKernel : public testing::TestWithParam<const char*> {
  public:
    // How the test of each kernel is named: by the kernel.
    static std::string nameOf(const testing::TestParamInfo<const char*>& kernel) {
        return kernel.param;
    }

  protected:
    void SetUp() override {
        kernel_ = scan::findKernel(GetParam());
        if (kernel_ == nullptr) {
            GTEST_SKIP() << "the " << GetParam()
                         << " kernel is not built for this processor or needs features it lacks";
        }
    }

    const scan::ScanKernel* kernel_ = nullptr;
};
