// The parser of the IF language: reads a whole system, builds the object
// tree and makes every check of the language as each construct is reduced.
//
// It is written by hand without recursion over the input: nested states,
// if/while bodies and expressions each keep an explicit stack.  The depth of
// the LALR parse stack is modelled (each pending list element and every
// open construct counts), and the parse stops with "parser stack overflow"
// where that stack would exceed 10000 entries.
#pragma once

#include <string>

#include "tree.h"

namespace statecast {

enum ParseResult { PARSE_OK = 0, PARSE_SYNTAX_ERROR = 1, PARSE_STACK_OVERFLOW = 2 };

// The depth beyond which the parse stops.
constexpr int PARSE_STACK_LIMIT = 10000;

// Parses the text into the program: makes the root record "-", parses, and
// leaves the system's record, the pid count and the state entries in the
// program.  Semantic errors are counted by mnet::report and do not change
// the result.
ParseResult parse_if(const std::string& text, Program& program);

}  // namespace statecast
