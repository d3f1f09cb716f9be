// Fuzzes the whole dialogue: arbitrary bytes as typed input, with small number
// files. It must never crash or hang, must end at the end of its input with
// status 0, and every search report must carry the counts that a direct count
// over the files gives. Runs needle's own main, renamed needleMain, in-process.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "freshProgram.h"
#include "frontend/numberReader.h"
#include "frontend/programState.h"
#include "frontend/standardInput.h"
#include "oracle.h"

int needleMain(int argc, char** argv);

namespace {

// Both files hold the same numbers, so both searches find the same instances.
const std::vector<std::int32_t> kNumbers = {5, 1, 5, 9, -3, 0, 2147483647, -2147483647 - 1,
                                            7, 7, 7, 2, 3,  1, 10,         -1};

struct InputEnded {};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before needleMain's own call, which would otherwise replace the buffers
    // set below.
    std::ios::sync_with_stdio(false);
    readStandardInputDirectly();
    const auto dir = std::filesystem::temp_directory_path() /
                     ("needle-dialogue-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    std::vector<std::int32_t> sorted = kNumbers;
    std::sort(sorted.begin(), sorted.end());
    std::ofstream unsorted("numbers.txt"), ascending("sortedNumbers.txt");
    for (std::size_t i = 0; i < kNumbers.size(); ++i) {
        unsorted << kNumbers[i] << (i % 3 == 2 ? '\n' : ' ');
        ascending << sorted[i] << '\n';
    }
    whenInputEnds = [] { throw InputEnded{}; };
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetProgramState();
    std::stringbuf input(std::string(reinterpret_cast<const char*>(data), size));
    std::stringbuf output, errors;
    std::cin.rdbuf(&input);
    std::cin.clear();
    std::cout.rdbuf(&output);
    std::cerr.rdbuf(&errors);

    int status = -1;
    try {
        char name[] = "needle";
        char* arguments[] = {name, nullptr};
        status = needleMain(1, arguments);
    } catch (const InputEnded&) {
        status = 0;
    }
    std::cin.rdbuf(nullptr);
    std::cout.rdbuf(nullptr);
    std::cerr.rdbuf(nullptr);
    check(status == 0);
    check(errors.str().empty());

    const std::string said = output.str();
    const std::regex reportLine(
        "There were (-?[0-9]+) instances of (-?[0-9]+) in the file with ([0-9]+) comparisons "
        "made\n");
    const auto n = static_cast<std::int64_t>(kNumbers.size());
    const auto mostProbes = static_cast<std::int64_t>(std::floor(std::log2(kNumbers.size()))) + 1;
    for (auto it = std::sregex_iterator(said.begin(), said.end(), reportLine);
         it != std::sregex_iterator(); ++it) {
        const std::int64_t instances = std::stoll((*it)[1]);
        const auto target = static_cast<std::int32_t>(std::stoll((*it)[2]));
        const std::int64_t comparisons = std::stoll((*it)[3]);
        check(instances == std::count(kNumbers.begin(), kNumbers.end(), target));
        // The linear search compares every number, the binary one probes.
        check(comparisons == n || (comparisons >= 1 && comparisons <= mostProbes));
    }
    return 0;
}
