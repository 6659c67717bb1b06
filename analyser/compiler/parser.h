// The parser of formulas, integer-valued expressions and marking
// expressions.
//
// Statement readers collect the text of an argument as the texts of the
// preprocessor's tokens and ask for the kind of value they need.  The parser
// scans that text again with its own tokens (longest match), keeps its
// stacks on the heap (at most 10000 entries; deeper input reports "parser
// stack overflow"), and reports at most one error per text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formula.h"
#include "marking.h"

namespace tulc {

// Clears the pending-error state before a new text.
void ParserReset();

// Parses the pieces.  Exactly the non-null result slot says what is wanted:
// a formula; else an integer when integer is given; else a marking.  On
// failure ParseErrorState() is non-zero (an error has been reported).
void ParseText(Formula* formula, std::uint32_t* integer, Marking* marking, const std::vector<std::string>& pieces);

// Limits of the parser: stack entries, and nesting of formula operators.
constexpr std::size_t kParserStackLimit = 10000;
constexpr std::uint32_t kFormulaDepthLimit = 1000;

}  // namespace tulc
