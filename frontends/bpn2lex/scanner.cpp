#include <cctype>
#include <cstdio>
#include <cstring>

#include "bpn2_scanner.h"

namespace bpn2lex {

int fragment_code(int token) {
    if (token == PROCGRP || token == ENDGRP) return -1;
    return token >= NUMBER ? token - 2 : token;
}

namespace {

struct Keyword {
    const char* word;
    int token;
};
const Keyword keywords[] = {
    {"begin", BEGIN_}, {"end", END},       {"const", CONST},   {"var", VAR},         {"chan", CHAN},
    {"stack", STACK},  {"proc", PROC},     {"val", VAL},       {"res", RES},         {"ref", REF},
    {"of", OF},        {"init", INIT},     {"do", DO},         {"od", OD},           {"repeat", REPEAT},
    {"exit", EXIT},    {"enter", ENTER},   {"parallel", PARALLEL}, {"not", NOT},     {"and", AND},
    {"or", OR},        {"true", TRUE_},    {"false", FALSE_},  {"_max_", MAX},       {"procgrp", PROCGRP},
    {"endgrp", ENDGRP},
};

bool word_start(int c) { return std::isalpha(c) || c == '_'; }
bool word_char(int c) { return std::isalnum(c) || c == '_'; }

}  // namespace

Scanner::Scanner(ScannerOptions options) : options_(options) {}

void Scanner::set_input(std::string text) {
    text_ = std::move(text);
    i_ = 0;
}

int Scanner::peek(std::size_t k) const {
    return i_ + k < text_.size() ? static_cast<unsigned char>(text_[i_ + k]) : EOF;
}

void Scanner::take() {
    if (text_[i_] == '\n') {
        ++line_;
        column_ = 1;
    } else {
        ++column_;
    }
    ++i_;
}

void Scanner::skip_line_comment() {
    while (peek() != EOF && peek() != '\n') take();
}

Lexeme Scanner::make(int token, std::size_t length) {
    Lexeme l;
    l.token = token;
    l.pos.line1 = l.pos.line2 = line_;
    l.pos.col1 = column_;
    l.pos.col2 = column_ + static_cast<std::uint32_t>(length);
    l.text = text_.substr(i_, length);
    for (std::size_t k = 0; k < length; ++k) take();
    return l;
}

Lexeme Scanner::number() {
    std::size_t n = 0;
    std::int64_t v = 0;
    while (std::isdigit(peek(n))) {
        if (v < 100000) v = v * 10 + (peek(n) - '0');
        ++n;
    }
    if (v > mnet::VAL_MAX) {
        mnet::scanner_line = static_cast<int>(line_);
        mnet::scanner_token = text_.substr(i_, n);
        mnet::fatal("Constant out of range !");
    }
    Lexeme l = make(NUMBER, n);
    l.value = static_cast<std::int32_t>(v);
    return l;
}

Lexeme Scanner::word() {
    std::size_t n = 0;
    bool upper = false, lower = false, digit = false;
    while (word_char(peek(n))) {
        int c = peek(n);
        upper = upper || std::isupper(c);
        lower = lower || std::islower(c);
        digit = digit || std::isdigit(c);
        ++n;
    }
    const std::string w = text_.substr(i_, n);
    // Keywords are written all in lower case or all in upper case.
    if (!digit && !(upper && lower)) {
        std::string key = w;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const Keyword& k : keywords) {
            if (key != k.word) continue;
            if ((k.token == PROCGRP || k.token == ENDGRP) && !options_.procedure_groups) break;
            return make(k.token, n);
        }
    }
    Lexeme l = make(IDENT, n);
    bpn2::IdentRec* r = bpn2::lookup_ident(w, l.ident);
    l.ident.pos = l.pos;
    if (r->kind == bpn2::CONSTANT) {
        l.token = CONST_IDENT;
        l.value = r->number;
        r->use = bpn2::USED_FULLY;
    }
    return l;
}

// After '>': blanks, line ends and comments are skipped; true when what
// follows can only come after an atomic action: the end of the input, "||",
// or one of the keywords end, od, enter and parallel.  Anything else (also a
// ';' after a blank) leaves the '>' a comparison.
bool Scanner::closes_action() {
    for (;;) {
        int c = peek();
        if (c == ' ' || c == '\t' || c == '\n') {
            take();
        } else if (c == '/' && peek(1) == '/') {
            skip_line_comment();
        } else {
            break;
        }
    }
    if (peek() == EOF) return true;
    if (peek() == '|' && peek(1) == '|') return true;
    std::size_t n = 0;
    bool upper = false, lower = false, other = false;
    while (word_char(peek(n))) {
        int c = peek(n++);
        upper = upper || std::isupper(c);
        lower = lower || std::islower(c);
        other = other || !std::isalpha(c);
    }
    if (n == 0 || other || (upper && lower)) return false;
    std::string w = text_.substr(i_, n);
    for (char& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return w == "end" || w == "od" || w == "enter" || w == "parallel";
}

Lexeme Scanner::next() {
    Lexeme l;
    for (;;) {
        int c = peek();
        if (c == EOF) {
            l = Lexeme();
            l.pos.line1 = l.pos.line2 = line_;
            l.pos.col1 = l.pos.col2 = column_;
            break;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            take();
            continue;
        }
        const int d = peek(1);
        if (c == '/' && d == '/') {
            skip_line_comment();
            continue;
        }
        if (c == '|' && d == '|') { l = make(PARALLEL, 2); break; }
        if (c == '|') { l = make(OR, 1); break; }
        if (c == '[' && d == ']') { l = make(CHOICE, 2); break; }
        if (c == '&') { l = make(AND, 1); break; }
        if (c == '<' && d == '=') { l = make(LE, 2); break; }
        if (c == '>' && d == '=') { l = make(GE, 2); break; }
        if (c == '?' && d == '?') { l = make(EMPTY, 2); break; }
        if (c == '!' && d == '!') { l = make(FULL, 2); break; }
        if (c == '%') { l = make(MOD, 1); break; }
        if (std::isdigit(c)) { l = number(); break; }
        if (word_start(c)) { l = word(); break; }
        if (c == '>') {
            // ">;" closes an atomic action and the ';' is read again.
            if (d == ';') {
                l = make(CA, 1);
                break;
            }
            l = make('>', 1);
            if (closes_action()) l.token = CA;
            break;
        }
        if (c != 0 && std::strchr(")<[]!#'(*+,-./:;=?{}", c)) { l = make(c, 1); break; }
        std::putchar(c);
        take();
    }
    mnet::scanner_line = static_cast<int>(l.pos.line1);
    mnet::scanner_token = l.text;
    return l;
}

}  // namespace bpn2lex
