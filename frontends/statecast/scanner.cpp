#include "scanner.h"

#include <cctype>
#include <cstdio>
#include <unordered_map>

#include "mnet_base.h"

namespace statecast {

namespace {
const char* const keywords[] = {
    "system", "endsystem", "from", "to", "with", "signal", "signalroute", "process", "endprocess", "state",
    "endstate", "tpc", "save", "deadline", "eager", "delayable", "lazy", "provided", "when", "input", "output",
    "via", "nextstate", "stop", "skip", "informal", "set", "reset", "true", "false", "nil", "task", "or", "xor",
    "and", "mod", "not", "if", "then", "else", "endif", "while", "do", "endwhile", "procedure", "endprocedure",
    "call", "fpar", "in", "out", "fork", "kill", "fifo", "multiset", "reliable", "lossy", "peer", "multicast",
    "unicast", "urgent", "delay", "rate", "start", "stable", "unstable", "const", "type", "range", "enum",
    "endenum", "record", "endrecord", "abstract", "endabstract", "var", "returns",
};
static_assert(sizeof keywords / sizeof keywords[0] == 76, "the IF language has 76 keywords");
static_assert(K_END_OF_KEYWORDS - K_FIRST == 76, "one token per keyword");

bool word_start(int c) { return std::isalpha(c) || c == '_'; }
bool word_char(int c) { return std::isalnum(c) || c == '_'; }
}  // namespace

int keyword_code(const std::string& word) {
    static const std::unordered_map<std::string, int> table = [] {
        std::unordered_map<std::string, int> t;
        for (int i = 0; i < 76; ++i) t.emplace(keywords[i], K_FIRST + i);
        return t;
    }();
    auto it = table.find(word);
    return it == table.end() ? 0 : it->second;
}

Scanner::Scanner(std::string source, IdentTable& table) : src_(std::move(source)), table_(table) {}

int Scanner::peek(std::size_t ahead) const {
    return at_ + ahead < src_.size() ? static_cast<unsigned char>(src_[at_ + ahead]) : EOF;
}

void Scanner::advance() {
    if (src_[at_] == '\n') {
        ++line_;
        col_ = 1;
    } else {
        ++col_;
    }
    ++at_;
}

Token Scanner::next() {
    for (;;) {
        int c = peek();
        if (c == EOF) {
            Token t;
            t.pos = {line_, col_, col_};
            mnet::scanner_line = static_cast<int>(line_);
            mnet::scanner_token.clear();
            return t;
        }
        if (c == '\n' || c == ' ' || c == '\t' || (c == '\r' && peek(1) == '\n')) {
            advance();
            continue;
        }
        if (c == '/' && peek(1) == '/') {
            while (peek() != EOF && peek() != '\n') advance();
            continue;
        }
        Token t;
        t.pos.line = line_;
        t.pos.col1 = col_;
        std::size_t start = at_;
        if (std::isdigit(c)) {
            // Digits saturate, so that any long number is out of range.
            std::int64_t value = 0;
            while (std::isdigit(peek())) {
                if (value <= V_MAX) value = value * 10 + (peek() - '0');
                advance();
            }
            t.code = T_NUMBER;
            t.text = src_.substr(start, at_ - start);
            t.pos.col2 = col_ - 1;
            mnet::scanner_line = static_cast<int>(line_);
            mnet::scanner_token = t.text;
            if (value > V_MAX) mnet::fatal("Constant out of range!");
            t.number = static_cast<std::int32_t>(value);
            return t;
        }
        if (word_start(c)) {
            while (word_char(peek())) advance();
            t.text = src_.substr(start, at_ - start);
            t.pos.col2 = col_ - 1;
            mnet::scanner_line = static_cast<int>(line_);
            mnet::scanner_token = t.text;
            if (int k = keyword_code(t.text)) {
                t.code = k;
                return t;
            }
            t.ident = table_.lookup(t.text, &t.fresh);
            if (t.ident->cls == CL_CONST && t.ident->object) {
                t.code = T_NUMBER;
                t.number = t.ident->as<ConstObj>()->value;
                return t;
            }
            t.code = T_NAME;
            return t;
        }
        if (c == '"') {
            advance();
            while (peek() != EOF && peek() != '"') advance();
            t.text = src_.substr(start + 1, at_ - start - 1);
            if (peek() == '"') advance();
            t.code = T_STRING;
            t.pos.line = line_;  // the string ends on this line
            t.pos.col2 = col_ - 1;
            mnet::scanner_line = static_cast<int>(line_);
            mnet::scanner_token = src_.substr(start, at_ - start);
            return t;
        }
        auto two = [&](int code) {
            advance();
            advance();
            t.code = code;
        };
        int d = peek(1);
        if (c == ':' && d == '=') two(T_ASSIGN);
        else if (c == '=' && d == '>') two(T_IMPLIES);
        else if ((c == '/' && d == '=') || (c == '<' && d == '>')) two(T_NE);
        else if (c == '>' && d == '=') two(T_GE);
        else if (c == '<' && d == '=') two(T_LE);
        else if (c == '{' && d == '#') two(T_OPEN_BODY);
        else if (c == '#' && d == '}') two(T_CLOSE_BODY);
        else if (c == '%') {
            advance();
            t.code = K_MOD;
        } else if (std::string("(,:);!#'*+-./<=>?[]{}").find(static_cast<char>(c)) != std::string::npos) {
            advance();
            t.code = c;
        } else {
            // Any other character is echoed and skipped; the column stays.
            std::putchar(c);
            ++at_;
            continue;
        }
        t.text = src_.substr(start, at_ - start);
        t.pos.col2 = col_ - 1;
        mnet::scanner_line = static_cast<int>(line_);
        mnet::scanner_token = t.text;
        return t;
    }
}

}  // namespace statecast
