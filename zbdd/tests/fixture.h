// Shared helpers of the zbdd tests: nets of the test support written as
// APNN, the checkers' sets read back as explicit markings, quiet output.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "encoding.h"
#include "nettables.h"
#include "petri_test.h"

namespace zbdd_test {

// The net as APNN text; places "p<i>", transitions "t<i>".  A place that a
// transition both consumes and produces is written as two ordinary arcs,
// which the reader joins into a read arc.
std::string toApnn(const testsupport::TestNet& net);

// Sends the checkers' progress output to /dev/null for the test's life.
class QuietOutput {
public:
    QuietOutput();
    ~QuietOutput();
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    std::FILE* sink_;
};

// Reads the text into the tables (messages suppressed by the caller) and
// sets up the encoding with a small package.
void setup(zbdd::NetTables& tables, zbdd::NetEncoding& enc, const std::string& text, zbdd::Dialect dialect,
           std::uint32_t maxNodes = 30000, std::uint32_t refs = 10000);

// The markings of a set as vectors over the place indices of the net.
std::set<std::vector<int>> markings(const zbdd::Zbdd& set, const zbdd::NetEncoding& enc);

}  // namespace zbdd_test
