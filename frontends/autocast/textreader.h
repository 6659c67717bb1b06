// The token readers of the project and automaton files: a cursor over the
// whole file text that counts lines.  Every reader that meets anything it
// does not expect throws FormatError; the caller turns it into its own
// message with the line counter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace autocast {

struct FormatError {
    int line;
};

class TextReader {
public:
    explicit TextReader(std::string text) : text_(std::move(text)) {}

    int line() const { return line_; }
    std::size_t position() const { return pos_; }
    bool at_end() const { return pos_ >= text_.size(); }
    // The character under the cursor; '\0' at the end of the text.
    char peek() const { return at_end() ? '\0' : text_[pos_]; }
    const std::string& text() const { return text_; }

    // Whether the text at the cursor begins with the word (compared over the
    // word's length only).
    bool begins_with(std::string_view word) const;

    // Blanks, tabs, newlines (each counted) and '%' comments up to the end
    // of their line.
    void skip_separators();
    // Blanks and tabs.
    void skip_blanks();
    // Blanks and tabs, then a newline (left in place), a '%' or the end.
    void end_of_line();
    // The word, then the end of its line.
    void keyword(std::string_view word);
    // Skips the word, which the caller has seen with begins_with.
    void advance(std::size_t n) { pos_ += n; }

    // A double quote, any characters but a double quote (newlines counted),
    // the closing double quote; no escapes.
    std::string quoted();
    // After blanks and tabs: a decimal number of at most 16 bits, followed
    // by a blank or a tab.
    std::uint16_t number();
    // After blanks and tabs: two such numbers joined by the separator ('@'
    // of a position, '>' of an arc), followed by a blank or a tab; the pair
    // never crosses a line.
    std::pair<std::uint16_t, std::uint16_t> pair(char separator);
    // The characters up to the end of the line (not the newline).
    std::string rest_of_line();
    // The newline under the cursor.
    void newline();

    [[noreturn]] void fail() const { throw FormatError{line_}; }

private:
    // Digits up to the character `stop` (0: a blank or a tab), which must
    // follow; at least one digit and at most 65535.
    std::uint16_t decimal(char stop);

    std::string text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace autocast
