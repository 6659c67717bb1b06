// The B(PN)2 program parser of progcast: the grammar with its old-syntax
// forms and error recovery, the semantic checks done while parsing, and the
// parse driver.
#pragma once

#include <cstdio>
#include <string>

#include "bpn2_idents.h"

namespace progcast {

struct ParseOptions {
    bool allow_fragments = false;    // -a: a program that is not one block is wrapped into one
    bool no_old_warnings = false;    // -o
};

// The parser's stack: beyond this many entries (nested constructs, counted
// by the parsing routines they open) the parse ends with "parser stack
// overflow"; it ends so as well before the routines could take more than
// half of the machine stack.
enum : int { PARSER_STACK_LIMIT = 10000 };

// Parses a program.  Prints "Parse complete." or "Parse aborted.", whether
// the program has procedures and how often it used old syntax on the
// message stream.  Returns 0 with the syntax tree in `tree` (null for a
// program of declarations only), 1 after errors (a syntax error counts as
// one), 2 when the parser gave up.  Creates the identifier table.
int parse_program(const std::string& text, std::FILE* messages, const ParseOptions& options, bpn2::Tree& tree);

}  // namespace progcast
