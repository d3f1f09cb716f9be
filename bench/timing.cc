// Timing methods in rounds, and the lines that compare two of them.
#include "bench/timing.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// The processor time this process has spent in its own code, not in the
// kernel's on its behalf (reading files, supplying pages).
double userSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec) * 1e-6;
}

bool same(const std::optional<long long>& a, const std::optional<long long>& b) {
    return !a || !b || *a == *b;
}

}  // namespace

bool Counts::agreesWith(const Counts& other) const {
    return same(numbers, other.numbers) && same(matches, other.matches) &&
           same(checksum, other.checksum);
}

std::vector<Timing> timeInRounds(const std::vector<Method>& methods, int rounds) {
    std::vector<Timing> timings(methods.size());
    for (std::size_t m = 0; m < methods.size(); ++m) {
        timings[m].counts = methods[m].run(Run::checking);
    }
    std::vector<std::vector<double>> seconds(methods.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t m = 0; m < methods.size(); ++m) {
            const double userBefore = userSeconds();
            const auto start = std::chrono::steady_clock::now();
            methods[m].run(Run::timed);
            const auto stop = std::chrono::steady_clock::now();
            seconds[m].push_back(std::chrono::duration<double>(stop - start).count());
            timings[m].userSeconds += (userSeconds() - userBefore) / rounds;
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

std::string ratioText(const std::string& name, const Timing& other, const Timing& method) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %.2f (%.2f-%.2f)", name.c_str(),
                  other.medianSeconds / method.medianSeconds,
                  other.fastestSeconds / method.slowestSeconds,
                  other.slowestSeconds / method.fastestSeconds);
    return text;
}
