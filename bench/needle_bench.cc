// The benchmark: needle's number-file reading against the plain `>>` loop, on
// page-cached files of several shapes, with throughput, spread and peak memory.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "bench/haystack.h"
#include "frontend/programState.h"
#include "plainLoop.h"
#include "scan/numberScanner.h"
#include "search/binarySearch.h"

namespace fs = std::filesystem;

namespace {

// What a method found, so that every method can be checked against the others.
// A text search tool only counts matching lines: its numbers are -1.
struct Counts {
    std::int64_t numbers = 0;
    std::int64_t matches = 0;
    std::int64_t checksum = 0;
    bool operator==(const Counts& o) const {
        if (numbers < 0 || o.numbers < 0) {
            return matches == o.matches;
        }
        return numbers == o.numbers && matches == o.matches && checksum == o.checksum;
    }
};

bool installed(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The lines equal to `target` that a text search tool counts in `file`:
// `command` with the target (after -e: it may start with a minus) and the
// file appended, run through the shell.
Counts toolCount(const std::string& command, const fs::path& file, std::int32_t target) {
    const std::string line =
        command + " -e " + std::to_string(target) + " '" + file.string() + "' 2>/dev/null";
    FILE* child = popen(line.c_str(), "r");
    long long lines = -1;
    if (child == nullptr || std::fscanf(child, "%lld", &lines) != 1) {
        lines = -1;
    }
    if (child != nullptr) {
        pclose(child);
    }
    return {-1, lines, 0};
}

Counts plainLinear(const fs::path& file, std::int32_t target) {
    std::ifstream in(file);
    const PlainCount c = plainCount(in, target);
    return {c.numbers, c.matches, 0};
}

// Whether the loads check what they loaded (matches and a checksum), which
// takes time of its own: once per method, in a run that is not timed.
bool checkingLoads = true;

Counts listCounts(const std::vector<std::int32_t>& list, std::int32_t target) {
    Counts c;
    c.numbers = static_cast<std::int64_t>(list.size());
    if (!checkingLoads) {
        return c;
    }
    for (const std::int32_t v : list) {
        c.matches += v == target;
        c.checksum = c.checksum * 31 + v;
    }
    return c;
}

Counts plainLoad(const fs::path& file, std::int32_t target) {
    std::ifstream in(file);
    return listCounts(plainList(in), target);
}

Counts needleLinear(const fs::path& file, std::int32_t target, const ScanKernel& kernel) {
    std::ifstream in(file);
    const NumberCount c = countNumbers(*in.rdbuf(), target, kernel);
    return {c.numbers, c.matches, 0};
}

Counts needleLoad(const fs::path& file, std::int32_t target, const ScanKernel& kernel) {
    std::vector<std::int32_t>().swap(sortedList);
    sortedFile.open(file);
    loadSortedList(kernel);
    sortedFile.close();
    const Counts c = listCounts(sortedList, target);
    std::vector<std::int32_t>().swap(sortedList);
    return c;
}

// What no loader can beat here: storing that many numbers in fresh memory,
// whose every page the kernel must supply, ahead as the load has them
// supplied.
Counts freshMemory(const fs::path& file, std::int32_t target) {
    static std::vector<std::int32_t> numbers;
    static fs::path numbersOf;
    if (numbersOf != file) {
        numbersOf = file;
        std::ifstream in(file);
        numbers = plainList(in);
    }
    std::vector<std::int32_t> copy;
    copy.reserve(numbers.size());
    supplyRoomFor(copy, numbers.size());
    copy.insert(copy.end(), numbers.begin(), numbers.end());
    return listCounts(copy, target);
}

struct Timing {
    double medianSeconds = 0, fastestSeconds = 0, slowestSeconds = 0;
    double userSeconds = 0;  // per run, on average: the time spent in this process's own code
    Counts counts;
};

// The processor time this process has spent in its own code, not in the
// kernel's on its behalf (reading files, supplying pages).
double userSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec) * 1e-6;
}

// Runs each of `methods` once, untimed, with the loads checking what they
// loaded, for the counts (which also fills the page cache and whatever a
// method keeps from one run to the next); then times `runs` rounds, each
// running every method once in turn, so that a spell of a slower machine
// falls on all of them alike.
std::vector<Timing> timeRounds(const std::vector<std::function<Counts()>>& methods, int runs) {
    std::vector<Timing> timings(methods.size());
    checkingLoads = true;
    for (std::size_t m = 0; m < methods.size(); ++m) {
        timings[m].counts = methods[m]();
    }
    checkingLoads = false;
    std::vector<std::vector<double>> seconds(methods.size());
    for (int i = 0; i < runs; ++i) {
        for (std::size_t m = 0; m < methods.size(); ++m) {
            const double userBefore = userSeconds();
            const auto start = std::chrono::steady_clock::now();
            methods[m]();
            seconds[m].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            timings[m].userSeconds += (userSeconds() - userBefore) / runs;
        }
    }
    for (std::size_t m = 0; m < methods.size(); ++m) {
        std::vector<double>& s = seconds[m];
        std::sort(s.begin(), s.end());
        timings[m].medianSeconds = s[s.size() / 2];
        timings[m].fastestSeconds = s.front();
        timings[m].slowestSeconds = s.back();
    }
    return timings;
}

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

// Peak resident memory, in KiB, of this program re-run as a child doing one
// thing. The child reads its own high-water mark: one taken from outside
// would include what it inherited from this process before exec.
long peakOfChild(const char* mode, const fs::path& file) {
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

int runChild(const std::string& mode, const char* file) {
    bool worked = false;
    if (mode == "--peak-linear") {
        worked = needleLinear(file, 7, bestKernel()).numbers > 0;
    } else if (mode == "--peak-load") {
        sortedFile.open(file);
        loadSortedList();
        worked = !sortedList.empty();
    }
    std::printf("%ld\n", peakKib());
    return worked ? 0 : 1;
}

// Filling a list of `numbers` numbers in fresh memory, in batches as the
// load appends them, with one of the ways of getting its pages: plain, the
// large-page hint, pages supplied ahead (what the load does), or both.
// Returns the milliseconds it took.
double fillList(int strategy, std::size_t numbers) {
    const std::vector<std::int32_t> batch(65536, 7);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::int32_t> list;
    list.reserve(numbers * 2);  // room as the load reserves it, more than is used
    if (strategy & 1) {
        // The hint needs whole pages; the reservation's first partial one is
        // left out.
        const auto first = reinterpret_cast<std::uintptr_t>(list.data());
        const std::uintptr_t page = (first + 4095) / 4096 * 4096;
        static_cast<void>(madvise(reinterpret_cast<void*>(page),
                                  list.capacity() * sizeof list[0] - (page - first),
                                  MADV_HUGEPAGE));
    }
    while (list.size() < numbers) {
        if (strategy & 2) {
            supplyRoomFor(list, batch.size());
        }
        list.insert(list.end(), batch.begin(), batch.end());
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// `needle_bench --fill N`: each way of filling a list of N numbers, each
// run in a fresh process, as the load runs once per process.
int compareFills(std::size_t numbers) {
    const char* const names[] = {"plain pages", "large-page hint", "pages supplied ahead (needle)",
                                 "hint and pages supplied ahead"};
    std::printf("| strategy | ms, each in a fresh process |\n|---|---|\n");
    for (int strategy = 0; strategy < 4; ++strategy) {
        std::printf("| %s |", names[strategy]);
        for (int run = 0; run < 8; ++run) {
            const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --fill-once " +
                                        std::to_string(strategy) + " " + std::to_string(numbers);
            FILE* child = popen(command.c_str(), "r");
            double ms = -1;
            if (child == nullptr || std::fscanf(child, "%lf", &ms) != 1 || pclose(child) != 0) {
                std::cerr << "child failed\n";
                return 1;
            }
            std::printf(" %.0f", ms);
        }
        std::printf(" |\n");
    }
    return 0;
}

// "label: slow time / fast time = median ratio (fastest-slowest ratio)".
std::string timeOver(const std::string& label, const std::string& slowName, const Timing& slow,
                     const std::string& fastName, const Timing& fast) {
    char line[256];
    std::snprintf(line, sizeof line, "%s: %s time / %s time = %.2f (%.2f-%.2f)", label.c_str(),
                  slowName.c_str(), fastName.c_str(), slow.medianSeconds / fast.medianSeconds,
                  slow.fastestSeconds / fast.slowestSeconds,
                  slow.slowestSeconds / fast.fastestSeconds);
    return line;
}

std::int32_t firstNumber(const fs::path& file) {
    std::ifstream in(file);
    std::int32_t value = 0;
    in >> value;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    // Most haystacks are not sorted: the loader's warning about it is expected.
    std::cerr.rdbuf(nullptr);
    if (argc == 3 && std::strncmp(argv[1], "--peak-", 7) == 0) {
        return runChild(argv[1], argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "--fill-once") == 0) {
        std::printf("%f\n", fillList(std::atoi(argv[2]), std::strtoull(argv[3], nullptr, 10)));
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--fill") == 0) {
        return compareFills(std::strtoull(argv[2], nullptr, 10));
    }
    std::uint64_t numbers = 20'000'000;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--numbers") == 0) {
            numbers = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::atoi(argv[i + 1]);
        }
    }

    const fs::path dir = fs::temp_directory_path() / ("needle-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct Shape {
        const char* name;
        HaystackShape shape;
    };
    const Shape shapes[] = {{"random", HaystackShape::random},
                            {"sorted", HaystackShape::sorted},
                            {"small", HaystackShape::small},
                            {"short lines", HaystackShape::shortLines},
                            {"signs+zeros", HaystackShape::signedZeros}};

    std::printf("%llu numbers per file, %d runs each; MB/s median (fastest-slowest)\n\n",
                static_cast<unsigned long long>(numbers), runs);
    std::printf("| file | MB | method | MB/s | ns/number | x plain |\n|---|---|---|---|---|---|\n");
    bool allAgree = true;
    std::vector<std::string> versus;  // the text search tools against needle
    for (const Shape& shape : shapes) {
        const fs::path file = dir / (std::string(shape.name) + ".txt");
        {
            std::ofstream out(file);
            writeHaystack(out, shape.shape, numbers, 42);
        }
        const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
        // What each file is searched for: its first number; on the short
        // lines also 7 and 42, which a text search tool finds inside many
        // lines and has to check line by line (it skips through the file for
        // a three-digit number).
        std::vector<std::int32_t> targets = {firstNumber(file)};
        if (shape.shape == HaystackShape::shortLines) {
            targets.insert(targets.end(), {7, 42});
        }
        struct Method {
            std::string name;
            std::function<Counts(const fs::path&, std::int32_t)> run;
        };
        // Each group starts with the plain method that the others are compared
        // with; needle runs once per kernel this processor has, best first.
        std::vector<Method> counts = {{"plain >> loop", plainLinear}};
        std::vector<Method> loads = {{"plain >> push_back", plainLoad}};
        for (const ScanKernel* kernel : supportedKernels()) {
            const std::string name = kernelName(*kernel);
            counts.push_back({"needle count, " + name,
                              [kernel](auto& f, auto t) { return needleLinear(f, t, *kernel); }});
            loads.push_back({"needle load, " + name,
                             [kernel](auto& f, auto t) { return needleLoad(f, t, *kernel); }});
        }
        loads.push_back({"fresh memory only", freshMemory});
        // The text search tools, where installed, on files of one number a
        // line, where counting matching lines is counting the number.
        if (shape.shape != HaystackShape::small && shape.shape != HaystackShape::signedZeros) {
            for (const char* tool : {"rg -c -x -F", "rg --no-mmap -c -x -F", "grep -c -x -F"}) {
                const std::string command = tool;
                if (installed(command.substr(0, command.find(' ')))) {
                    counts.push_back(
                        {command, [command](auto& f, auto t) { return toolCount(command, f, t); }});
                }
            }
        }
        // The count for every target, the load (which finds every number)
        // for the first.
        std::vector<std::vector<Method>> groups(targets.size(), counts);
        groups.push_back(loads);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const std::vector<Method>& group = groups[g];
            const bool countGroup = g + 1 < groups.size();
            const std::int32_t target = countGroup ? targets[g] : targets[0];
            const std::string label = g == 0 || !countGroup
                                          ? shape.name
                                          : std::string(shape.name) + ", " + std::to_string(target);
            std::vector<std::function<Counts()>> calls;
            for (const Method& method : group) {
                calls.push_back([&method, &file, target] { return method.run(file, target); });
            }
            const std::vector<Timing> timings = timeRounds(calls, runs);
            for (std::size_t m = 0; m < group.size(); ++m) {
                if (!(timings[m].counts == timings.front().counts)) {
                    allAgree = false;
                    std::printf("COUNTS DIFFER for %s on %s\n", group[m].name.c_str(),
                                label.c_str());
                }
            }
            for (std::size_t m = 0; m < group.size(); ++m) {
                const Timing& t = timings[m];
                std::printf("| %s | %.0f | %s | %.0f (%.0f-%.0f) | %.1f | %.1f |\n", label.c_str(),
                            megabytes, group[m].name.c_str(), megabytes / t.medianSeconds,
                            megabytes / t.slowestSeconds, megabytes / t.fastestSeconds,
                            t.medianSeconds * 1e9 / static_cast<double>(numbers),
                            timings[0].medianSeconds / t.medianSeconds);
            }
            // The tools against needle's count with the best kernel (the
            // group's second method), and the plain load against needle's:
            // the one's time over the other's, median and the range of the
            // two runs' extremes.
            const Timing& needle = timings[1];
            for (std::size_t m = 2; countGroup && m < group.size(); ++m) {
                if (group[m].name.rfind("needle", 0) != 0) {
                    versus.push_back(
                        timeOver(label, group[m].name, timings[m], group[1].name, needle));
                }
            }
            if (!countGroup) {
                char user[64];
                std::snprintf(user, sizeof user, "; user time %.2f ns a number",
                              needle.userSeconds * 1e9 / static_cast<double>(numbers));
                versus.push_back(timeOver(label, group[0].name, timings[0], group[1].name, needle) +
                                 user);
            }
        }
    }
    if (!versus.empty()) {
        std::printf("\n");
        for (const std::string& line : versus) {
            std::printf("%s\n", line.c_str());
        }
    }

    // Peak memory: the load against its bound, the linear search on a file a
    // hundredth of the size against the full one.
    const fs::path big = dir / "random.txt";
    const fs::path little = dir / "little.txt";
    {
        std::ofstream out(little);
        writeHaystack(out, HaystackShape::random, numbers / 100, 42);
    }
    const double bound = (1.1 * 4 * static_cast<double>(numbers)) / 1024 + 16 * 1024;
    std::printf(
        "\npeak memory (KiB): load %ld (bound %.0f); linear search %ld on %.0f MB, %ld "
        "on %.1f MB\n",
        peakOfChild("--peak-load", big), bound, peakOfChild("--peak-linear", big),
        static_cast<double>(fs::file_size(big)) / 1e6, peakOfChild("--peak-linear", little),
        static_cast<double>(fs::file_size(little)) / 1e6);
    fs::remove_all(dir);
    std::printf("counts %s\n", allAgree ? "agree" : "DIFFER");
    return allAgree ? 0 : 1;
}
