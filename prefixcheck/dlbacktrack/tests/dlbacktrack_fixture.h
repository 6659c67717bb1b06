// Test-only prefixes: a writer of ".mci" and ".unf" files and a small
// reference unfolder (McMillan's cut-off criterion by local-configuration
// size) for little nets, so that the checker can be tried on prefixes of
// random nets.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "petri_test.h"

namespace dlbacktrack_test {

struct FixturePrefix {
    std::vector<std::string> places;        // names of the unfolded net, numbered from 1
    std::vector<std::string> transitions;
    std::vector<std::uint32_t> event_trans;  // event k+1 -> transition number (from 1)
    struct Condition {
        std::uint32_t place = 1;             // from 1
        std::uint32_t pre = 0;               // pre-event, 0 for an initial condition
        std::vector<std::uint32_t> post;     // consumers, ascending
        int kind = 0;                        // 0 ordinary, 3 behind a cut-off
    };
    std::vector<Condition> conds;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cutoffs;  // (cut-off, corresponding)
    std::vector<std::vector<std::uint32_t>> configs;

    std::uint32_t add_event(std::uint32_t transition);
    // A condition of `place` after `pre` (0: initial), consumed by `post`.
    std::uint32_t add_condition(std::uint32_t place, std::uint32_t pre,
                                std::vector<std::uint32_t> post = {});
};

std::string mci_bytes(const FixturePrefix& p);
std::string unf_text(const FixturePrefix& p, const std::string& file_name,
                     const std::string& net_file = "net.ll_net");

// The prefix of a small 1-safe net; `complete` is false when more than
// `max_events` events would be needed.
FixturePrefix reference_unfold(const testsupport::TestNet& net, std::size_t max_events,
                               bool& complete);

}  // namespace dlbacktrack_test
