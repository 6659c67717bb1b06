// The tests' own idea of a ".mci" file, independent of the reader: a plain
// decoder of the words and names into the test support's prefix record, and
// the rules a prefix written by an unfolder always obeys, each stated
// directly on that record.
#pragma once

#include <string>

#include "prefix_support.h"
#include "prefixfile.h"

namespace prefixfile_test {

enum class Oracle {
    Valid,     // a prefix
    Empty,     // no conditions
    Short,     // the bytes end inside the layout (or name lists too small for their counts)
    Invalid,   // complete, but breaking a rule, or with bytes after the end
};

struct Decoded {
    Oracle verdict = Oracle::Short;
    testsupport::Prefix prefix;   // as far as it was decoded
    std::string rule;             // the rule that failed (Invalid)
};

Decoded decode_mci(const std::string& bytes);

// The rules on a decoded record; empty when all hold.
std::string broken_rule(const testsupport::Prefix& p);

// The prefix a reader delivered, checked against the same rules from its
// own fields; empty when they hold.
std::string broken_rule(const prefixfile::Prefix& p);

}  // namespace prefixfile_test
