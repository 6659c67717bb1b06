// The scanner of B(PN)2 text, shared by progcast's program parser and
// autocast's fragment parser.
//
// It yields one token at a time with its source range (lines and columns
// from 1, a tab counting as one column, the end column one past the last
// character), classifies words as keywords, constants or identifiers through
// the scoped identifier table, and keeps the report state of the M-net
// library (scanner_line, scanner_token) up to date.  Positions run on across
// several inputs, so that fragments parsed one after the other get the
// positions of their concatenation.
#pragma once

#include <cstdint>
#include <string>

#include "bpn2_idents.h"

namespace bpn2lex {

// Token codes of the program parser; a single character stands for itself.
enum Token : int {
    T_EOF = 0,
    BEGIN_ = 257, END = 258, CONST = 259, VAR = 260, CHAN = 261, STACK = 262, PROC = 263, VAL = 264,
    RES = 265, REF = 266, OF = 267, INIT = 268, DO = 269, OD = 270, REPEAT = 271, EXIT = 272, ENTER = 273,
    PARALLEL = 274, CHOICE = 275, NOT = 276, AND = 277, OR = 278, TRUE_ = 279, FALSE_ = 280, MAX = 281,
    PROCGRP = 282, ENDGRP = 283, NUMBER = 284, CONST_IDENT = 285, IDENT = 286, CA = 287, EMPTY = 288,
    FULL = 289, GE = 290, LE = 291, MOD = 292,
};

// The fragment parser numbers the tokens from NUMBER on one lower by two
// (it has no PROCGRP and ENDGRP).
int fragment_code(int token);

struct Lexeme {
    int token = T_EOF;
    std::int32_t value = 0;            // NUMBER, CONST_IDENT
    bpn2::IdentToken ident;            // IDENT: the identifier and the token's range
    bpn2::SourceRange pos;             // every token
    std::string text;                  // the token's text
};

struct ScannerOptions {
    // The keywords "procgrp" and "endgrp" (programs have them, fragments
    // do not).
    bool procedure_groups = true;
};

class Scanner {
public:
    explicit Scanner(ScannerOptions options = {});

    // The next text to scan; line and column go on from the last input.
    void set_input(std::string text);
    Lexeme next();

    std::uint32_t line() const { return line_; }
    std::uint32_t column() const { return column_; }

private:
    int peek(std::size_t k = 0) const;
    void take();
    void skip_line_comment();
    Lexeme make(int token, std::size_t length);
    Lexeme word();
    Lexeme number();
    bool closes_action();

    ScannerOptions options_;
    std::string text_;
    std::size_t i_ = 0;
    std::uint32_t line_ = 1, column_ = 1;
};

}  // namespace bpn2lex
