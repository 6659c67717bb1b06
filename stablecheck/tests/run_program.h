// Test-only: runs a program directly (no shell) and collects its output.
#pragma once

#include "petri_test.h"

#include <string>
#include <vector>

namespace minitest {

// Runs argv[0] with the arguments, standard input from /dev/null; the
// outputs go through files in dir.
testsupport::RunResult spawn(const std::vector<std::string>& argv, const std::string& dir);

}  // namespace minitest
