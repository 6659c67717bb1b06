// The dlbacktrack program: reads a prefix, decides whether the net has a
// reachable deadlock and prints the verdict with a deadlocking configuration.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dlbacktrack_search.h"

namespace dlbacktrack {

// Processor time summed over successive readings of a counter of
// `counter_bits` bits: a reading below the one before means that the counter
// wrapped, so the sum stays right however long the run takes.
class ProcessTime {
public:
    explicit ProcessTime(unsigned counter_bits = 8 * sizeof(std::clock_t),
                         double ticks_per_second = CLOCKS_PER_SEC);
    void reading(std::uint64_t raw);      // the first reading starts the count
    void sample();                        // reads clock()
    double seconds() const { return static_cast<double>(ticks_) / ticks_per_second_; }

private:
    std::uint64_t mask_;
    double ticks_per_second_;
    bool started_ = false;
    std::uint64_t last_ = 0;
    std::uint64_t ticks_ = 0;
};

enum class Verdict {
    NoDeadlock,      // "TRUE"
    Deadlock,        // "FALSE" with the events of a deadlocking configuration
    DeadlockEvery,   // "FALSE - EVERY": no cut-off, no configuration named
};

struct CheckResult {
    Verdict verdict = Verdict::NoDeadlock;
    bool search_form = false;              // decided by the search (not by the list form)
    std::vector<std::uint32_t> witness;    // event numbers in output order
};

// Decides the prefix.  `step` is called once per search step.
CheckResult check_prefix(const PrefixGraph& prefix, const std::function<void()>& step = {});

// "TRUE\n", "FALSE - EVERY\n" or "FALSE\n" with the witness items and ".\n\n".
std::string result_text(const PrefixGraph& prefix, const CheckResult& result);
// Items "%s(%s)" joined by ", ", wrapped with ",\n  " past 65 columns.
std::string item_list(const std::vector<std::pair<std::string, std::string>>& items);
std::string time_line(double seconds);
std::string usage_text(const std::string& program);

// The check with its output: the result to file2 (when not empty) and to
// standard output, then, after a search, the time line.
void CheckDeadlocks(const PrefixGraph& prefix, const std::string& file1, const std::string& file2);

// The whole program; returns the exit code (0 or 10; 3 ends it from inside).
int run(int argc, char** argv);

}  // namespace dlbacktrack
