// The token scanner shared by the APNN net reader and pelwick's automaton
// reader: backslash keywords, braces, identifiers, signed decimal numbers and
// "//" comments.  Blanks, tabs and carriage returns separate tokens; a newline
// counts a line.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zbdd {

struct Token {
    enum Kind { Keyword, LBrace, RBrace, Ident, Number, End } kind = End;
    std::string text;  // the token's text ("" at the end of the input)
    int value = 0;     // numbers
    int line = 1;      // line where the token ends
};

class Scanner {
public:
    // onError receives the line and the lexical message and must not return.
    using ErrorFn = std::function<void(int line, const std::string& message)>;
    Scanner(const std::string& text, std::vector<std::string> keywords, bool atInIdentifiers, ErrorFn onError);

    Token next();
    int line() const { return line_; }

private:
    [[noreturn]] void error(const std::string& message);
    const std::string& text_;
    std::vector<std::string> keywords_;
    bool atInIdentifiers_;
    ErrorFn onError_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// A decimal text with an optional sign into an int; false when it does not fit.
bool parseInt(const std::string& text, int& out);

}  // namespace zbdd
