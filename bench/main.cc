// The benchmark: needle's count and load, with every kernel the processor
// runs, against the plain `>>` loops, a bare read() and the text search tools,
// on page-cached files of several shapes; then the searches' peak memory.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench/haystack.h"
#include "bench/memory.h"
#include "bench/methods.h"
#include "bench/timing.h"
#include "scan/numberScanner.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    std::uint64_t numbers = 20'000'000;  // in each file
    int runs = 5;                        // timed runs of each method
};

constexpr const char kUsage[] =
    "usage: needle_bench [--numbers N] [--runs N]\n"
    "  --numbers N  numbers in each generated file (20000000)\n"
    "  --runs N     timed runs of each method, the median reported (5)\n";

// Reads the options; false, after a message, for anything it does not know.
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (hasValue && std::strcmp(argv[i], "--numbers") == 0) {
            options.numbers = std::strtoull(argv[++i], nullptr, 10);
        } else if (hasValue && std::strcmp(argv[i], "--runs") == 0) {
            options.runs = std::atoi(argv[++i]);
        } else {
            std::fputs(kUsage, stderr);
            return false;
        }
    }
    if (options.runs < 1) {
        std::fputs(kUsage, stderr);
        return false;
    }
    return true;
}

// Methods timed together, in rounds, and reported together.
struct Group {
    std::string label;
    bool load = false;            // the load's group: its line gives user time a number
    Method plain;                 // what "x plain" is measured against
    std::vector<Method> kernels;  // needle with each kernel the processor runs, best first
    // For each of `kernels`, where its one-thread row is among them (a count
    // or load split over threads is compared with it).
    std::vector<std::size_t> oneThread;
    std::vector<Method> others;  // each compared with needle's best kernel
};

struct Report {
    std::vector<std::string> ratios;  // printed after the table
    bool countsAgree = true;
};

// Times a group, checks that its methods found the same, and prints its rows.
void runGroup(const Group& group, double megabytes, const Options& options, Report& report) {
    std::vector<Method> methods = {group.plain};
    methods.insert(methods.end(), group.kernels.begin(), group.kernels.end());
    methods.insert(methods.end(), group.others.begin(), group.others.end());
    const std::vector<Timing> timings = timeInRounds(methods, options.runs);
    const Timing& plain = timings.front();

    for (std::size_t m = 0; m < methods.size(); ++m) {
        if (!timings[m].counts.agreesWith(plain.counts)) {
            report.countsAgree = false;
            std::printf("COUNTS DIFFER for %s on %s\n", methods[m].name.c_str(),
                        group.label.c_str());
        }
        const Timing& t = timings[m];
        std::printf("| %s | %.0f | %s | %.0f (%.0f-%.0f) | %.1f | %.1f |\n", group.label.c_str(),
                    megabytes, methods[m].name.c_str(), megabytes / t.medianSeconds,
                    megabytes / t.slowestSeconds, megabytes / t.fastestSeconds,
                    t.medianSeconds * 1e9 / static_cast<double>(options.numbers),
                    plain.medianSeconds / t.medianSeconds);
    }
    // For every kernel, one line: each other method's time over its own.
    const std::size_t firstOther = 1 + group.kernels.size();
    for (std::size_t k = 1; k < firstOther; ++k) {
        std::string line = group.label + ": " + methods[k].name + " against ";
        for (std::size_t m = 0; m < methods.size(); ++m) {
            if (m == 0 || m >= firstOther) {
                line += (m == 0 ? "" : ", ") + ratioText(methods[m].name, timings[m], timings[k]);
            }
        }
        if (!group.oneThread.empty() && group.oneThread[k - 1] != k - 1) {
            const std::size_t one = 1 + group.oneThread[k - 1];
            line += ", " + ratioText(methods[one].name, timings[one], timings[k]);
        }
        if (group.load) {
            // With the user time of filling fresh memory alone beside it:
            // some virtual machines charge the host's page faults there.
            const auto nsANumber = [&](const Timing& t) {
                char text[32];
                std::snprintf(text, sizeof text, "%.2f",
                              t.userSeconds * 1e9 / static_cast<double>(options.numbers));
                return std::string(text);
            };
            line += "; user time " + nsANumber(timings[k]) + " ns a number";
            for (std::size_t m = firstOther; m < methods.size(); ++m) {
                line += ", " + methods[m].name + " " + nsANumber(timings[m]);
            }
        }
        report.ratios.push_back(line);
    }
}

// The split counts measured: two threads, and all the processor has if more.
std::vector<unsigned> threadCounts() {
    const unsigned all = std::max(std::thread::hardware_concurrency(), 1u);
    return all > 2 ? std::vector<unsigned>{2, all} : std::vector<unsigned>{2};
}

// Adds needle with every kernel to `group`, each on one thread and then on
// each count of threadCounts(), from make(kernel, threads).
template <typename Make>
void addKernels(Group& group, Make make) {
    for (const scan::ScanKernel* kernel : scan::supportedKernels()) {
        const std::size_t one = group.kernels.size();
        group.oneThread.push_back(one);
        group.kernels.push_back(make(*kernel, 1u));
        for (const unsigned threads : threadCounts()) {
            group.oneThread.push_back(one);
            group.kernels.push_back(make(*kernel, threads));
        }
    }
}

std::int32_t firstNumber(const fs::path& file) {
    std::ifstream in(file);
    std::int32_t value = 0;
    in >> value;
    return value;
}

struct Shape {
    const char* name;
    HaystackShape shape;
    bool oneNumberALine;  // where counting matching lines is counting the number
};

// The groups for one file: a count for each target, then the load.
std::vector<Group> groupsFor(const Shape& shape, const fs::path& file) {
    // Each file is searched for its first number; the short lines also for
    // 7 and 42, which a text search tool finds inside many lines and has to
    // check line by line (it skips through the file for a three-digit number).
    std::vector<std::int32_t> targets = {firstNumber(file)};
    if (shape.shape == HaystackShape::shortLines) {
        targets.insert(targets.end(), {7, 42});
    }
    std::vector<Group> groups;
    for (const std::int32_t target : targets) {
        Group count;
        count.label = groups.empty() ? shape.name : shape.name + (", " + std::to_string(target));
        count.plain = plainCountMethod(file, target);
        addKernels(count, [&](const scan::ScanKernel& kernel, unsigned threads) {
            return threads == 1 ? needleCountMethod(file, target, kernel)
                                : needleSplitCountMethod(file, target, kernel, threads);
        });
        count.others.push_back(readAloneMethod(file));
        for (const unsigned threads : threadCounts()) {
            count.others.push_back(readAloneSplitMethod(file, threads));
        }
        for (const char* tool : {"rg -c -x -F", "rg --no-mmap -c -x -F", "grep -c -x -F"}) {
            const std::string command = tool;
            if (shape.oneNumberALine && installed(command.substr(0, command.find(' ')))) {
                count.others.push_back(toolMethod(command, file, target));
            }
        }
        groups.push_back(count);
    }
    Group load;
    load.label = shape.name;
    load.load = true;
    load.plain = plainLoadMethod(file, targets.front());
    addKernels(load, [&](const scan::ScanKernel& kernel, unsigned threads) {
        return needleLoadMethod(file, targets.front(), kernel, threads);
    });
    for (const bool largePages : {false, true}) {
        load.others.push_back(freshMemoryMethod(file, targets.front(), 1, largePages));
        for (const unsigned threads : threadCounts()) {
            load.others.push_back(freshMemoryMethod(file, targets.front(), threads, largePages));
        }
    }
    groups.push_back(load);
    return groups;
}

}  // namespace

int main(int argc, char** argv) {
    // Most haystacks are not sorted: the loader's warning about it is expected.
    std::cerr.rdbuf(nullptr);
    if (argc == 3 && std::strncmp(argv[1], "--peak-", 7) == 0) {
        return runPeakChild(argv[1], argv[2]);
    }
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return 2;
    }

    const fs::path dir = fs::temp_directory_path() / ("needle-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const Shape shapes[] = {{"random", HaystackShape::random, true},
                            {"sorted", HaystackShape::sorted, true},
                            {"small", HaystackShape::small, false},
                            {"short lines", HaystackShape::shortLines, true},
                            {"signs+zeros", HaystackShape::signedZeros, false},
                            {"some signs", HaystackShape::someSigns, false}};

    std::printf("%llu numbers per file, %d runs each; MB/s median (slowest-fastest)\n\n",
                static_cast<unsigned long long>(options.numbers), options.runs);
    std::printf("| file | MB | method | MB/s | ns/number | x plain |\n|---|---|---|---|---|---|\n");
    Report report;
    for (const Shape& shape : shapes) {
        const fs::path file = dir / (std::string(shape.name) + ".txt");
        writeHaystackFile(file, shape.shape, options.numbers);
        const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
        for (const Group& group : groupsFor(shape, file)) {
            runGroup(group, megabytes, options, report);
        }
    }
    std::printf("\n");
    for (const std::string& line : report.ratios) {
        std::printf("%s\n", line.c_str());
    }
    reportPeakMemory(dir, options.numbers);
    fs::remove_all(dir);
    std::printf("counts %s\n", report.countsAgree ? "agree" : "DIFFER");
    return report.countsAgree ? 0 : 1;
}
