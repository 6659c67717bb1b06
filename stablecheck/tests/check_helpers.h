// Test-only helpers: checks of a prefix through the translator and the
// solver, compared with the explorer by the tests.
#pragma once

#include "bra_process.h"
#include "petri_test.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace minitest {

// Fires the events of the configuration in event order (creation order
// respects causality), by transition name.
std::optional<testsupport::Marking> replay_config(const testsupport::TestNet& net,
                                                  const velcheck::BraProcess& bp,
                                                  const velcheck::BITARRAY& config);

std::FILE* null_out();

// A random formula over the given places, with its text and its meaning.
struct RandomFormula {
    std::string text;
    std::function<bool(const testsupport::Marking&)> holds;
};
RandomFormula random_formula(std::mt19937_64& rng, const testsupport::TestNet& net,
                             const std::vector<int>& places, int depth);

// A deadlock check: whether a deadlock was found and, if so, whether the
// witness passed the sanity check and replays to a dead marking.
struct DeadlockResult {
    bool every = false;  // no cut-offs: the prefix is the whole behaviour
    bool found = false;
    bool witness_ok = false;
};
DeadlockResult check_deadlock(velcheck::BraProcess& bp, const testsupport::TestNet& net, int level,
                              bool lookahead);

// A formula check as the program makes it.
struct Verdict {
    bool ok = false;  // parsed and simple
    bool answer = false;
    bool witness = false;
    velcheck::BITARRAY config;
};
Verdict check_formula(velcheck::BraProcess& bp, const std::string& text, int level, bool lookahead);

}  // namespace minitest
