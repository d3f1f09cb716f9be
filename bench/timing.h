// Timing methods in rounds, and the lines that compare two of them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a method found, so that methods can be checked against each other.
// Each field is set only by the methods that find it: a text search tool
// counts matching lines only, and the bare read() counts nothing.
struct Counts {
    std::optional<long long> numbers;
    std::optional<long long> matches;
    std::optional<long long> checksum;  // of the values in order, for the loads

    // Whether every count that both found is the same.
    bool agreesWith(const Counts& other) const;
};

// A method's one run. A checking run also finds what is costly to find (the
// loads' matches and checksum); a timed run finds only what it must.
enum class Run { checking, timed };

struct Method {
    std::string name;
    std::function<Counts(Run)> run;
};

struct Timing {
    double medianSeconds = 0;
    double fastestSeconds = 0;
    double slowestSeconds = 0;
    double userSeconds = 0;  // a run's share of this process's own processor time
    Counts counts;           // from the checking run
};

// Runs each method once to check it (which also fills the page cache and
// whatever a method keeps between runs), then times `rounds` rounds, each
// running every method once in turn, so that a slower spell of the machine
// falls on all of them alike.
std::vector<Timing> timeInRounds(const std::vector<Method>& methods, int rounds);

// "name ratio (lowest-highest)": the time of `other` over that of `method`,
// the median's and the range of the two methods' extremes. Above 1, `method`
// is the faster.
std::string ratioText(const std::string& name, const Timing& other, const Timing& method);
