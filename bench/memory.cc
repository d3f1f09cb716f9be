// Peak memory of the two searches, each measured in a process of its own.
#include "bench/memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/haystack.h"
#include "bench/methods.h"
#include "scan/numberScanner.h"

namespace {

// The peak resident memory of this process, in KiB, as the kernel recorded it.
long peakKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

}  // namespace

// The child reads its own high-water mark: one taken from outside would
// include what it inherited from this process before exec.
long peakOfChild(const char* mode, const std::filesystem::path& file) {
    const std::string command =
        "/proc/" + std::to_string(getpid()) + "/exe " + mode + " '" + file.string() + "'";
    FILE* child = popen(command.c_str(), "r");
    long peak = -1;
    if (child == nullptr || std::fscanf(child, "%ld", &peak) != 1 || pclose(child) != 0) {
        std::cerr << "child " << mode << " failed\n";
        std::exit(1);
    }
    return peak;
}

int runPeakChild(const char* mode, const char* file) {
    bool worked = false;
    if (std::strcmp(mode, "--peak-linear") == 0) {
        // As the linear search reads on one thread, the window it reads
        // ahead in mapped: without the file open, the peak would leave it out.
        std::ifstream in(file);
        const int fd = open(file, O_RDONLY | O_CLOEXEC);
        worked = fd >= 0 &&
                 scan::countNumbers(*in.rdbuf(), 7, scan::bestKernel(), 1, {fd, 0}).numbers > 0;
        close(fd);
    } else if (std::strcmp(mode, "--peak-load") == 0) {
        worked = !loadOnThreads(file, scan::bestKernel(), 1).empty();
    }
    std::printf("%ld\n", peakKib());
    return worked ? 0 : 1;
}

// The load against its bound, the linear search on a file a hundredth of the
// size against the full one.
void reportPeakMemory(const std::filesystem::path& dir, std::uint64_t numbers) {
#if defined(NEEDLE_EMULATED)
    // The child would be the emulator, and its memory the emulator's.
    static_cast<void>(dir), static_cast<void>(numbers);
    std::printf("\npeak memory: not measured under an emulator\n");
#else
    const std::filesystem::path big = dir / "random.txt";
    const std::filesystem::path little = dir / "little.txt";
    writeHaystackFile(little, HaystackShape::random, numbers / 100);
    const double bound = (1.1 * 4 * static_cast<double>(numbers)) / 1024 + 16 * 1024;
    std::printf(
        "\npeak memory (KiB): load %ld (bound %.0f); linear search %ld on %.0f MB, %ld "
        "on %.1f MB\n",
        peakOfChild("--peak-load", big), bound, peakOfChild("--peak-linear", big),
        static_cast<double>(std::filesystem::file_size(big)) / 1e6,
        peakOfChild("--peak-linear", little),
        static_cast<double>(std::filesystem::file_size(little)) / 1e6);
#endif
}
