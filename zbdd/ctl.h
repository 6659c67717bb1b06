// movrane's CTL formulas: the formula file reader, the printer and the
// evaluation as sets of reachable markings.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "encoding.h"
#include "nettables.h"

namespace zbdd {

enum class CtlKind {
    True, False, Ident, Not, And, Or, Implies, Implied, Iff, Xor, EU, AU, EX, AX, EF, AF, EG, AG, Paren
};

struct CtlFormula {
    CtlKind kind = CtlKind::True;
    std::unique_ptr<CtlFormula> left;
    std::unique_ptr<CtlFormula> right;
    std::string name;  // identifiers
    int place = -1;    // after resolution
    int line = 0;
    int height = 1;  // nodes on the longest path down to a leaf
};

// The formulas of a file in order; an empty entry is a null pointer.
struct CtlFile {
    std::vector<std::unique_ptr<CtlFormula>> entries;
};

// Parses the text of a formula file; errors are fatal with the file name.
CtlFile parseCtlFile(const std::string& text, const std::string& fileName);
// Looks every identifier up among the place names; the first unknown one is
// fatal.
void resolveCtlNames(CtlFile& file, const NetTables& net);
std::string formulaText(const CtlFormula& f);
// The markings of the reachability set that satisfy the formula.
Zbdd evalFormula(const CtlFormula& f, const NetEncoding& enc);
// Checks every formula of the file and prints its verdict.
void checkFormulas(const CtlFile& file, const NetEncoding& enc);

}  // namespace zbdd
