// Preprocessor directives, the statement loop and the pass-through text.
//
// The statement loop reads tokens of the input layer and sorts them: control
// lines ("#" and a control word) go to the directives here or to the
// statement parsers; every other token is C text for "_.h", with macro
// names expanded, #enum names replaced by their values and precedence class
// names by their numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "ppio.h"

namespace tulc {

// Output streams: macro definitions (.def), #enum definitions (_enum.h) and
// the pass-through text (_.h).
void PreprocInit(std::FILE* def, std::FILE* enumHeader, std::FILE* header, bool lineDirectives);
// Runs until the end of the input; then reports open conditionals.
void StatementLoop();
// The line mark: with -L a "#line" directive for the current input; in
// every case the output position of _.h becomes the input position.
void PassLineMark();
// Count of lines (newlines) written to _.h.
std::uint32_t HeaderLineCount();
void AddHeaderLines(std::uint32_t n);

// Tokens for the statement parsers, with expansion (macro calls, #enum
// values in decimal, or "0x%lx" with hexEnums when bit 31 is set, class
// numbers).  Null at the end of the input.
std::optional<Token> NextToken(bool hexEnums = false);
// The same, skipping white space and comments.
std::optional<Token> NextNonWhite();
// The same, skipping line breaks as well.
std::optional<Token> NextNonLayout();
// Tokens with macro expansion only (names of #prec).
std::optional<Token> NextNonWhiteMacrosOnly();

// Collects tokens with expansion up to one of the stop kinds at bracket
// level 0 ({}, [], (), <. .>).  A "#" starts a control line.  The stop token
// is consumed and stored in *stop.  With lineBound a newline (at any level)
// ends the collection too; it is returned in *stop.  Returns false at the
// end of the input.
bool CollectTokens(std::vector<Token>& out, std::initializer_list<TokenKind> stops, bool lineBound,
                   bool hexEnums, Token* stop);

// "Expected %s,\ngot %s%s%s": an error, or fatal at the end of the input (no
// token); a newline that caused it is pushed back.
void ExpectationReport(const std::string& expectation, const std::optional<Token>& got);
// Drops the tokens up to the end of the line; the newline stays unread.
void DropRestOfLine();

// Set while a #trans statement is parsed.
bool& InTransition();

}  // namespace tulc
