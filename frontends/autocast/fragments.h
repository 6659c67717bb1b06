// The parser of the B(PN)2 fragments that autocast finds in its inputs:
// the process declaration (a procedure heading), the project's and every
// automaton's variable declarations, and the label of every arc (an atomic
// action followed by ';').
//
// The fragments are scanned by the B(PN)2 scanner one after the other, so
// that source positions run on through their concatenation; every fragment
// is appended to the temporary source copy as it is handed to the scanner,
// and the copy therefore holds exactly the text the positions point into.
//
// The grammar is a cut-down B(PN)2 without commands, blocks or error
// recovery.  Declarations and the procedure heading are flat; expressions
// are read by a shift-reduce loop over an explicit stack that holds the
// symbols an LALR parser would hold, so that nesting deeper than the
// parser stack's 10000 entries ends with "parser stack overflow" at the
// same point.
#pragma once

#include <cstdint>
#include <string>

#include "bpn2_idents.h"

namespace autocast {

enum ResultKind : int { RESULT_DECLARATIONS = 0, RESULT_EXPRESSION = 1, RESULT_PROCEDURE = 2 };

// Entries of the parser stack; pushing the 10000th ends the parse.
enum : std::size_t { PARSER_STACK_LIMIT = 10000 };

// The results of the last parse, kept until the next one.
struct FragmentResult {
    int kind = -1;
    // An atomic action: node 2 whose first operand is the expression and
    // whose position record (kind 10) spans from '<' to the closing '>'.
    bpn2::Tree action;
    // A procedure heading: the procedure's record, its parameters attached.
    bpn2::IdentRec* process = nullptr;
};
const FragmentResult& fragment_result();

// Parses the fragment whole.  A syntax error or a stack overflow throws a
// Failure with "error while parsing: parse error" (or "parser stack
// overflow"); semantic errors are reported and counted by the library.
void pfa_parse(const std::string& fragment);

// Opens a new identifier level and parses the text, which must be
// declarations ("got expression instead of vardecls"); an empty text is
// accepted without parsing.
void parse_var_declarations(const std::string& text);

// Throws the Failure "error while parsing: <message>\n" (status 1).
[[noreturn]] void parse_failure(const std::string& message);

// Cuts the name of every reference parameter at its last '@' (undoes the
// qualification "name@procedure").
void cut_ref_param_names(bpn2::IdentRec* params);

// Identifiers declared in the identifier lists of var declarations so far.
std::uint32_t declaration_counter();

// A fresh scanner (positions from line 1, column 1), the counter at 0 and
// no results: the state at program start.
void reset_fragments();

}  // namespace autocast
