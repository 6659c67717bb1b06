#include "scanner.h"

#include <climits>

#include "output.h"

namespace zbdd {

namespace {
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool parseInt(const std::string& text, int& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    out = static_cast<int>(v);
    return true;
}

Scanner::Scanner(const std::string& text, std::vector<std::string> keywords, bool atInIdentifiers, ErrorFn onError)
    : text_(text), keywords_(std::move(keywords)), atInIdentifiers_(atInIdentifiers), onError_(std::move(onError)) {}

void Scanner::error(const std::string& message) {
    onError_(line_, message);
    throw Fatal(message);  // onError_ does not return; this keeps the promise
}

Token Scanner::next() {
    const std::size_t n = text_.size();
    for (;;) {
        if (pos_ >= n) {
            Token t;
            t.line = line_;
            return t;
        }
        char c = text_[pos_];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++pos_;
        } else if (c == '\n') {
            ++line_;
            ++pos_;
        } else if (c == '/' && pos_ + 1 < n && text_[pos_ + 1] == '/') {
            std::size_t end = text_.find('\n', pos_);
            if (end == std::string::npos) error("Unexpected end-of-file in comment");
            pos_ = end;  // the newline is counted by the loop
        } else {
            break;
        }
    }
    Token t;
    const char c = text_[pos_];
    const std::size_t start = pos_;
    if (c == '{' || c == '}') {
        t.kind = c == '{' ? Token::LBrace : Token::RBrace;
        t.text = std::string(1, c);
        ++pos_;
    } else if (c == '\\') {
        std::size_t end = pos_ + 1;
        while (end < n && isLetter(text_[end])) ++end;
        const std::string word = text_.substr(pos_, end - pos_);
        std::size_t best = 0;
        for (const std::string& k : keywords_)
            if (k.size() > best && word.compare(0, k.size(), k) == 0) best = k.size();
        if (best == 0) error(format("illegal character: %c '(0x%x)", c, static_cast<unsigned char>(c)));
        t.kind = Token::Keyword;
        t.text = word.substr(0, best);
        pos_ += best;
    } else if (isLetter(c) || c == '_' || (atInIdentifiers_ && c == '@')) {
        std::size_t end = pos_ + 1;
        while (end < n && (isLetter(text_[end]) || isDigit(text_[end]) || text_[end] == '_' ||
                           (atInIdentifiers_ && text_[end] == '@')))
            ++end;
        t.kind = Token::Ident;
        t.text = text_.substr(start, end - start);
        pos_ = end;
    } else if (isDigit(c) || ((c == '+' || c == '-') && pos_ + 1 < n && isDigit(text_[pos_ + 1]))) {
        std::size_t end = pos_ + 1;
        while (end < n && isDigit(text_[end])) ++end;
        t.kind = Token::Number;
        t.text = text_.substr(start, end - start);
        pos_ = end;
        if (!parseInt(t.text, t.value)) error("number out of range: " + t.text);
    } else {
        error(format("illegal character: %c '(0x%x)", c, static_cast<unsigned char>(c)));
    }
    t.line = line_;
    return t;
}

}  // namespace zbdd
