// Helpers of the progcast tests: running progcast and the programs after it,
// and reading an expanded net with the labels of its places.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "oracle.h"
#include "petri_test.h"

namespace progcast_test {

// The template set of the source tree.
std::string voshome();
// A command line running a program of the build with VOSHOME set and leak
// reports off (the programs leave their memory to the end of the process).
std::string program(const std::string& name);
testsupport::RunResult progcast(const std::string& args);

// An expanded net with the labels and exit flags of its places.
struct LowNet {
    testsupport::TestNet net;
    std::vector<std::string> labels;
    std::vector<bool> exit;
};
LowNet read_low_net(const std::string& path);

// The behaviour of the expanded net seen through the variables named: the
// valuations read from the labels "x=v" and "x=(v,...)" of marked places,
// the dead markings with only exit places marked (termination) and the
// other dead markings.
oracle::Behaviour behaviour(const LowNet& n, const std::set<std::string>& observed, bool* safe = nullptr,
                            bool* deadlock = nullptr);

}  // namespace progcast_test
