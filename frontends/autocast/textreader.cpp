#include "textreader.h"

namespace autocast {

namespace {
bool blank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

bool TextReader::begins_with(std::string_view word) const {
    return text_.compare(pos_, word.size(), word) == 0;
}

void TextReader::skip_separators() {
    while (!at_end()) {
        const char c = text_[pos_];
        if (c == '\n') {
            ++line_;
            ++pos_;
        } else if (blank(c)) {
            ++pos_;
        } else if (c == '%') {
            while (!at_end() && text_[pos_] != '\n') ++pos_;
        } else {
            return;
        }
    }
}

void TextReader::skip_blanks() {
    while (!at_end() && blank(text_[pos_])) ++pos_;
}

void TextReader::end_of_line() {
    skip_blanks();
    if (!at_end() && text_[pos_] != '\n' && text_[pos_] != '%') fail();
}

void TextReader::keyword(std::string_view word) {
    if (!begins_with(word)) fail();
    pos_ += word.size();
    end_of_line();
}

std::string TextReader::quoted() {
    if (peek() != '"') fail();
    const std::size_t start = ++pos_;
    int lines = 0;
    while (!at_end() && text_[pos_] != '"') {
        if (text_[pos_] == '\n') ++lines;
        ++pos_;
    }
    line_ += lines;
    if (at_end()) fail();
    return text_.substr(start, pos_++ - start);
}

std::uint16_t TextReader::decimal(char stop) {
    const std::size_t start = pos_;
    std::uint32_t value = 0;
    for (; !at_end(); ++pos_) {
        const char c = text_[pos_];
        if (stop ? c == stop : blank(c)) break;
        if (c < '0' || c > '9') fail();
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 65535) fail();
    }
    if (pos_ == start || at_end()) fail();
    return static_cast<std::uint16_t>(value);
}

std::uint16_t TextReader::number() {
    skip_blanks();
    return decimal(0);
}

std::pair<std::uint16_t, std::uint16_t> TextReader::pair(char separator) {
    skip_blanks();
    const std::uint16_t first = decimal(separator);
    ++pos_;
    return {first, decimal(0)};
}

std::string TextReader::rest_of_line() {
    const std::size_t start = pos_;
    while (!at_end() && text_[pos_] != '\n') ++pos_;
    return text_.substr(start, pos_ - start);
}

void TextReader::newline() {
    if (peek() != '\n') fail();
    ++pos_;
    ++line_;
}

}  // namespace autocast
