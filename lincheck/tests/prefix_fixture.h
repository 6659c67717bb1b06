// Test support: prefixes written as ".mci" files by hand or by a small
// brute-force unfolder of little safe nets, and a way to run vorga in-process.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "petri_test.h"

namespace vorga_test {

// A prefix as the ".mci" file lists it; every number 1-based.
struct Prefix {
    std::vector<std::uint32_t> event_transition;
    struct Cond {
        std::uint32_t place;
        std::uint32_t producer;  // 0: initial
        std::vector<std::uint32_t> consumers;
    };
    std::vector<Cond> conditions;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cutoffs;  // (cut-off, corresponding)
    std::vector<std::vector<std::uint32_t>> configurations;
    std::vector<std::string> place_names, trans_names;
};

// The bytes of the ".mci" file of the prefix.
std::vector<unsigned char> mci_bytes(const Prefix& p);
bool write_mci(const Prefix& p, const std::string& path);

// The complete prefix of a small 1-safe net (McMillan's size order, conditions
// behind cut-offs included); false when it grew beyond max_events.
bool unfold(const testsupport::TestNet& net, Prefix& out, std::size_t max_events = 3000);

struct VorgaRun {
    int code = -1;
    std::string out, err;
};
// Runs vorga's main routine in this process with the given arguments.
VorgaRun run_vorga(const std::vector<std::string>& args);

// The transition names of the trail printed after "_SEQUENCE:", or false
// when the output holds no trail.
bool trail_of(const std::string& out, std::vector<std::string>& names);

}  // namespace vorga_test
