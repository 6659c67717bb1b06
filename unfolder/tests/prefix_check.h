// Checks of a prefix against the net it unfolds and against the explicit
// state space, shared by the unit tests.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "petri_test.h"
#include "unfold.h"

namespace unftest {

trelmik::InputNet to_input(const testsupport::TestNet& net);

// Returns an empty string when the prefix is sound and complete, else what is wrong:
// labels and flow match the net, every event's local configuration is
// conflict-free, every cut-off has the marking of its corresponding event
// (whose local configuration is strictly smaller), and the markings of the
// configurations free of cut-offs are exactly the reachable markings.
std::string check_prefix(const testsupport::TestNet& net, const trelmik::Prefix& pf,
                         bool behind_cutoffs, bool strict_sizes = true);

// McMillan's algorithm written plainly from its description (co rows as bit
// arrays filled by the conflict walk, lists walked naively): the reference the
// fast loop must agree with event by event.
struct RefPrefix {
    std::vector<int> cond_place, cond_pre;             // 0-based place, event number or 0
    std::vector<std::vector<int>> cond_post;           // consumer event numbers
    std::vector<int> ev_trans;                         // 0-based transition
    std::vector<std::vector<int>> ev_pre;              // input conditions (numbers)
    std::vector<std::pair<int, int>> cutoffs;          // detection order
    std::vector<std::vector<bool>> rows;               // bit j: j NOT co (conditions with rows)
    std::vector<bool> has_row;
};
RefPrefix reference_mcmillan(const trelmik::InputNet& net, bool behind_cutoffs, bool last, bool repeat);

// Empty when the fast prefix equals the reference prefix element by element.
std::string compare_with_reference(const trelmik::Prefix& pf, const RefPrefix& ref);

// The events of the local configuration of event e (e included; none for 0).
std::set<std::uint32_t> local_configuration(const trelmik::Prefix& pf, std::uint32_t e);

// Whether conditions a and b are concurrent, from their pasts as sets: the
// union of both is free of conflicts and consumes neither.  `configs`, when
// given, holds the local configuration of every event (index = number).
bool brute_concurrent(const trelmik::Prefix& pf, std::uint32_t a, std::uint32_t b,
                      const std::vector<std::set<std::uint32_t>>* configs = nullptr);

}  // namespace unftest
