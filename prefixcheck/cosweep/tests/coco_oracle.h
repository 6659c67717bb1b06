// Test support of cosweep: the co-relation of a prefix derived from the
// prefix itself (two conditions are co when the union of their local
// configurations is conflict-free and consumes neither), written as a binary
// matrix; and a scratch directory whose "trelmik" stands in for the real one.
#pragma once

#include <string>
#include <vector>

#include "cosweep_prefix.h"
#include "petri_test.h"

namespace cosweep_test {

// co[a][b] for conditions 1..n (index 0 unused).
std::vector<std::vector<bool>> co_relation(const cosweep::Prefix& prefix);
// The matrix file of the prefix in `mci` (rows 2..n, most significant bit first).
std::string coco_bytes(const cosweep::Prefix& prefix);
bool write_coco(const std::string& mci, const std::string& coco);

// The programs' directory.
std::string bin_dir();

// A directory with a stand-in "trelmik" that logs its command line to
// `log()`, unfolds with the real trelmik's default loop and writes the
// matrix with the oracle.  `path_prefix()` puts it before the programs.
class FakeTrelmik {
public:
    FakeTrelmik();
    std::string path_prefix() const;   // "PATH=<dir>:<bin>:$PATH "
    std::string log() const { return testsupport::read_file(dir_.file("log")); }
private:
    testsupport::TempDir dir_;
};

// "PATH=<bin>:$PATH " for runs with the real trelmik.
std::string real_path_prefix();

}  // namespace cosweep_test
