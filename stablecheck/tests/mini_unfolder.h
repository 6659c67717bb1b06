// Test-only: a plain McMillan unfolder for small 1-safe nets and a writer of
// the ".mci" prefix file, so that velcheck can be tested without trelmik.
#pragma once

#include "petri_test.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace minitest {

struct MiniPrefix {
    std::vector<int> cond_place;               // 0-based place
    std::vector<int> cond_pre;                 // event number or 0
    std::vector<std::vector<int>> cond_post;   // consumer event numbers, ascending
    std::vector<int> ev_trans;                 // 0-based transition
    std::vector<std::pair<int, int>> cutoffs;  // (cut-off, corresponding or 0), detection order
    bool complete = true;                      // false when the event limit was hit
};

// Unfolds the net (events in order of local-configuration size; an event is
// a cut-off when an earlier event or the initial marking has its marking
// with a strictly smaller local configuration).  Cut-offs get their output
// conditions at the end unless behind_cutoffs is false.
MiniPrefix unfold(const testsupport::TestNet& net, bool behind_cutoffs = true, int max_events = 3000);

// The ".mci" bytes of a prefix of the net.
std::vector<unsigned char> to_mci(const testsupport::TestNet& net, const MiniPrefix& pf);

// Little-endian 32-bit words appended to a byte vector.
void put(std::vector<unsigned char>& out, std::uint32_t v);

}  // namespace minitest
