// The scanner of the IF language: keywords, names looked up in the
// identifier table as they are read (a constant's name comes back as its
// number), numbers, strings and the operator tokens.
#pragma once

#include <cstdint>
#include <string>

#include "ref.h"
#include "tree.h"

namespace statecast {

// Token codes: single characters are their own code; the others follow.
enum Tok : int {
    T_END = 0,
    T_NUMBER = 256,
    T_NAME,
    T_STRING,
    T_ASSIGN,     // :=
    T_IMPLIES,    // =>
    T_NE,         // /= and <>
    T_GE,         // >=
    T_LE,         // <=
    T_OPEN_BODY,  // {#
    T_CLOSE_BODY, // #}
    K_FIRST,      // the keywords, in the order of the keyword table
    K_SYSTEM = K_FIRST, K_ENDSYSTEM, K_FROM, K_TO, K_WITH, K_SIGNAL, K_SIGNALROUTE, K_PROCESS, K_ENDPROCESS,
    K_STATE, K_ENDSTATE, K_TPC, K_SAVE, K_DEADLINE, K_EAGER, K_DELAYABLE, K_LAZY, K_PROVIDED, K_WHEN, K_INPUT,
    K_OUTPUT, K_VIA, K_NEXTSTATE, K_STOP, K_SKIP, K_INFORMAL, K_SET, K_RESET, K_TRUE, K_FALSE, K_NIL, K_TASK,
    K_OR, K_XOR, K_AND, K_MOD, K_NOT, K_IF, K_THEN, K_ELSE, K_ENDIF, K_WHILE, K_DO, K_ENDWHILE, K_PROCEDURE,
    K_ENDPROCEDURE, K_CALL, K_FPAR, K_IN, K_OUT, K_FORK, K_KILL, K_FIFO, K_MULTISET, K_RELIABLE, K_LOSSY,
    K_PEER, K_MULTICAST, K_UNICAST, K_URGENT, K_DELAY, K_RATE, K_START, K_STABLE, K_UNSTABLE, K_CONST, K_TYPE,
    K_RANGE, K_ENUM, K_ENDENUM, K_RECORD, K_ENDRECORD, K_ABSTRACT, K_ENDABSTRACT, K_VAR, K_RETURNS,
    K_END_OF_KEYWORDS,
};

struct Token {
    int code = T_END;
    Pos pos;                  // keywords, names and ( , : ) ; carry it; the others too
    std::int32_t number = 0;  // T_NUMBER
    std::string text;         // the token's text (a string's contents for T_STRING)
    Ident* ident = nullptr;   // T_NAME
    bool fresh = false;       // the record was made by this scan
};

class Scanner {
public:
    Scanner(std::string source, IdentTable& table);
    Token next();

private:
    int peek(std::size_t ahead = 0) const;
    void advance();  // one character, counting lines and columns

    std::string src_;
    std::size_t at_ = 0;
    std::uint32_t line_ = 1, col_ = 1;
    IdentTable& table_;
};

// The keyword of a word, or 0.
int keyword_code(const std::string& word);

}  // namespace statecast
