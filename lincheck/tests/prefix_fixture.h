// Test support: a way to run vorga in-process and read the trail it prints;
// prefixes come from the shared test support (by hand or by its unfolder).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "petri_test.h"
#include "prefix_support.h"

namespace vorga_test {

// Prefixes are built and written by the shared test support.
using testsupport::mci_bytes;
using testsupport::Prefix;
using testsupport::unfold_prefix;
using testsupport::write_mci;

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
