// Test-only branching-process prefixes: a record that lists a prefix the way
// the ".mci" file does, a writer of that file, and a small McMillan unfolder
// of little 1-safe nets, so that checkers can be tried without the unfolder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "petri_test.h"

namespace testsupport {

// A prefix as the ".mci" file lists it; places, transitions, events and
// conditions are numbered from 1.
struct Prefix {
    std::vector<std::string> places;         // names of the unfolded net
    std::vector<std::string> transitions;
    std::vector<std::uint32_t> event_trans;  // event k+1 -> transition number
    struct Condition {
        std::uint32_t place = 1;
        std::uint32_t pre = 0;               // producing event, 0 for an initial condition
        std::vector<std::uint32_t> post;     // consuming events, ascending
        int kind = 0;                        // 0 ordinary, 3 behind a cut-off
    };
    std::vector<Condition> conds;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cutoffs;  // (cut-off, corresponding or 0)
    std::vector<std::vector<std::uint32_t>> configs;                // maximal configurations
    bool complete = true;  // false when the unfolder stopped at its event limit

    std::uint32_t add_event(std::uint32_t transition);
    // A condition of `place` after `pre` (0: initial), consumed by `post`.
    std::uint32_t add_condition(std::uint32_t place, std::uint32_t pre,
                                std::vector<std::uint32_t> post = {});
};

struct UnfoldOptions {
    std::size_t max_events = 3000;
    // Give cut-off events their output conditions (listed after all others).
    bool behind_cutoffs = true;
    // List one maximal configuration: the events taken in ascending order
    // whenever their preset is in the current cut.
    bool maximal_configuration = false;
};

// The prefix of a small 1-safe net: events are added in order of the size of
// their local configuration; an event is a cut-off when the initial marking
// or an earlier event has its marking with a strictly smaller local
// configuration.  Transitions with an empty preset are not unfolded.  When
// more than max_events events would be needed, the events so far are
// returned with `complete` false.
Prefix unfold_prefix(const TestNet& net, const UnfoldOptions& options = UnfoldOptions());

// The ".mci" file of a prefix (little-endian 32-bit words, then the names).
std::vector<unsigned char> mci_bytes(const Prefix& p);
std::string mci_string(const Prefix& p);
bool write_mci(const Prefix& p, const std::string& path);

// Appends a little-endian 32-bit word (for hand-made files).
void put_word(std::vector<unsigned char>& out, std::uint32_t v);

}  // namespace testsupport
