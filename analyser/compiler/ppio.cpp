#include "ppio.h"

#include <cerrno>
#include <cstdio>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "diag.h"
#include "outfile.h"
#include "preproc.h"

namespace tulc {

namespace {

struct Frame {
    std::FILE* stream = nullptr;
    std::string name;
    std::uint32_t newlines = 0;    // newline characters read from the file
    std::uint32_t pushedBack = 0;  // of those, how many are in the pushback store
};

struct Pushed {
    int c;
    std::uint32_t depth;
};

struct InputLayer {
    std::vector<Frame> frames;  // back() is the current file
    std::set<std::string> openNames;
    std::vector<std::string> includeDirs;
    std::vector<Pushed> store;
    bool midLine = false;
    int controlDepth = 0;
    bool commentSeen = false;
    CommentMode comments = CommentMode::kDrop;
    std::uint32_t lastDepth = 0;  // depth of the last character taken
    std::vector<std::string> outputs;  // files written during the run
};

InputLayer& L() {
    static InputLayer layer;
    return layer;
}

const std::unordered_map<std::string, int>& Keywords() {
    static const std::unordered_map<std::string, int> table = {
        {"define", KW_DEFINE}, {"undef", KW_UNDEF},   {"if", KW_IF},         {"ifdef", KW_IFDEF},
        {"ifndef", KW_IFNDEF}, {"else", KW_ELSE},     {"endif", KW_ENDIF},   {"include", KW_INCLUDE},
        {"enum", KW_ENUM},     {"prec", KW_PREC},     {"place", KW_PLACE},   {"trans", KW_TRANS},
        {"endtr", KW_ENDTR},   {"tester", KW_TESTER}, {"verify", KW_VERIFY},
    };
    return table;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsNameStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$'; }
bool IsNameChar(int c) { return IsNameStart(c) || IsDigit(c); }

TokenKind SingleKind(int c) {
    switch (c) {
    case '{': return TK_OPEN_BRACE;
    case '[': return TK_OPEN_BRACKET;
    case '(': return TK_OPEN_PAREN;
    case '}': return TK_CLOSE_BRACE;
    case ']': return TK_CLOSE_BRACKET;
    case ')': return TK_CLOSE_PAREN;
    case '#': return TK_HASH;
    case '\n': return TK_NEWLINE;
    case '!': return TK_NOT;
    case '~': return TK_TILDE;
    case '*': return TK_STAR;
    case '/': return TK_SLASH;
    case '%': return TK_PERCENT;
    case '+': return TK_PLUS;
    case '-': return TK_MINUS;
    case '<': return TK_LESS;
    case '>': return TK_GREATER;
    case '&': return TK_AMPERSAND;
    case '^': return TK_CARET;
    case '|': return TK_BAR;
    case '?': return TK_QUESTION;
    case ':': return TK_COLON;
    case ',': return TK_COMMA;
    case ';': return TK_SEMICOLON;
    default: return TK_OTHER;
    }
}

// The two-character tokens that begin with c, and their kinds.
bool PairKind(int c, int d, TokenKind* kind) {
    struct Pair {
        char a, b;
        TokenKind k;
    };
    static const Pair pairs[] = {
        {'!', '=', TK_NOT_EQUAL},     {'&', '&', TK_AND},         {'.', '>', TK_TUPLE_CLOSE},
        {'.', '.', TK_RANGE},         {'<', '=', TK_LESS_EQUAL},  {'<', '<', TK_SHIFT_LEFT},
        {'<', '.', TK_TUPLE_OPEN},    {'=', '=', TK_EQUAL},       {'>', '=', TK_GREATER_EQUAL},
        {'>', '>', TK_SHIFT_RIGHT},   {'|', '|', TK_OR},
    };
    for (const auto& p : pairs)
        if (p.a == c && p.b == d) {
            *kind = p.k;
            return true;
        }
    return false;
}

bool StartsPair(int c) { return c == '!' || c == '&' || c == '.' || c == '<' || c == '=' || c == '>' || c == '|'; }

[[noreturn]] void InternalFatalNoFile(const char* function) {
    ReportFatal(std::string(function) + "(): Internal error: No file open!!");
}

void PushChar(int c, std::uint32_t depth) {
    auto& l = L();
    l.store.push_back({c, depth});
    if (c == '\n' && !l.frames.empty()) ++l.frames.back().pushedBack;
}

void PushText(const std::string& text, std::uint32_t depth) {
    for (std::size_t i = text.size(); i-- > 0;) PushChar(static_cast<unsigned char>(text[i]), depth);
}

}  // namespace

void ppio_init() {
    auto& l = L();
    for (auto& f : l.frames)
        if (f.stream) std::fclose(f.stream);
    l = InputLayer();
    l.store.reserve(1024);
}

void ppio_set_include_dirs(std::vector<std::string> dirs) { L().includeDirs = std::move(dirs); }
void ppio_set_comment_mode(CommentMode mode) { L().comments = mode; }

void ppio_set_output_files(std::vector<std::string> names) { L().outputs = std::move(names); }

std::FILE* ppio_open_input(const std::string& name, int search) {
    auto& l = L();
    // A file that this run writes is read as the run has written it so far
    // (the staged file); one of the outputs that the tables and code are
    // made from may not be read at all.
    auto open = [&](const std::string& path) {
        for (const std::string& out : l.outputs)
            if (outfile::same_file(path, out)) ReportFatal("Cannot read file " + name + ": it is written by this run");
        errno = 0;
        return std::fopen(outfile::staged_name(path).c_str(), "r");
    };
    std::FILE* f = nullptr;
    if (search) {
        if (l.includeDirs.empty()) ReportFatal("Cannot open file " + name + " for reading\nEmpty include_path");
    } else {
        f = open(name);
        if (!f) {
            if (l.includeDirs.empty() || errno != ENOENT) ReportFatal("$Cannot open file " + name + " for reading");
            errno = 0;
        }
    }
    for (std::size_t i = 0; !f && i < l.includeDirs.size(); ++i) {
        const std::string& dir = l.includeDirs[i];
        std::string path = (!dir.empty() && dir.back() == '/') ? dir + name : dir + "/" + name;
        f = open(path);
        if (!f) {
            if (errno != ENOENT || i + 1 == l.includeDirs.size()) ReportFatal("$Cannot open file " + path + " for reading");
            errno = 0;
        }
    }
    return f;
}

void ppio_push_file(const std::string& name, int search) {
    auto& l = L();
    if (l.openNames.count(name)) {
        ReportError("Cyclic inclusion: " + name);
        bool first = true;
        for (auto it = l.frames.rbegin(); it != l.frames.rend(); ++it) {
            ErrText(std::string(first ? "" : "which ") + "is included in " + it->name + "\n");
            first = false;
            if (it->name == name) break;
        }
        ExitProgram(1);
    }
    std::FILE* f = ppio_open_input(name, search);
    Frame fr;
    fr.stream = f;
    fr.name = name;
    l.frames.push_back(std::move(fr));
    l.openNames.insert(name);
}

void ppio_pop_file() {
    auto& l = L();
    if (l.frames.empty()) InternalFatalNoFile("ppio_pop_file");
    std::fclose(l.frames.back().stream);
    l.openNames.erase(l.frames.back().name);
    l.frames.pop_back();
}

bool ppio_has_file() { return !L().frames.empty(); }

const std::string& ppio_file_name() {
    static const std::string none;
    return L().frames.empty() ? none : L().frames.back().name;
}

std::uint32_t ppio_lines_read() {
    auto& l = L();
    if (l.frames.empty()) return 0;
    const Frame& f = l.frames.back();
    return f.newlines >= f.pushedBack ? f.newlines - f.pushedBack : 0;
}

std::uint32_t ppio_line() { return ppio_lines_read() + 1; }

int ppio_getc() {
    auto& l = L();
    if (l.frames.empty()) InternalFatalNoFile("ppio_getc");
    if (!l.store.empty()) {
        Pushed p = l.store.back();
        l.store.pop_back();
        l.lastDepth = p.depth;
        Frame& f = l.frames.back();
        if (p.c == '\n' && f.pushedBack > 0) --f.pushedBack;
        return p.c;
    }
    l.lastDepth = 0;
    for (;;) {
        Frame& f = l.frames.back();
        int c = std::getc(f.stream);
        if (c == '\r' || c == 26) continue;
        if (c == '\n') {
            ++f.newlines;
            f.pushedBack = 0;
            l.midLine = false;
            return c;
        }
        if (c != EOF) {
            l.midLine = true;
            return c;
        }
        // A read error (a directory, a device that fails) is not the end of
        // the text: the net would be compiled from part of it.
        if (std::ferror(f.stream)) ReportFatal("$Cannot read file " + f.name);
        if (l.frames.size() == 1) {
            l.midLine = false;
            return -1;
        }
        if (l.midLine) {
            ReportError("Unexpected end of file");
            ReportWarning("Upper level input continues the incomplete line\n(spaceless concatenation)");
            l.midLine = false;
        }
        ppio_pop_file();
        PassLineMark();
    }
}

void ppio_ungetc(int c) {
    if (c < 0) return;
    PushChar(c, L().lastDepth);
}

void ppio_unget_string(const std::string& text) { PushText(text, L().lastDepth); }

void ppio_unget_expansion(const std::string& text, std::uint32_t depth) { PushText(text, depth); }

void unget_token(const Token& t) { PushText(t.text, t.depth); }

void ppio_unget_number(std::uint32_t value, bool hex) {
    char buf[64];
    if (hex && (value & 0x80000000u))
        std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(value));
    else
        std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
    ppio_unget_string(buf);
}

void ppio_unget_unsigned(std::uint32_t value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
    ppio_unget_string(buf);
}

void ppio_enter_control_line() { ++L().controlDepth; }
void ppio_leave_control_line() {
    if (L().controlDepth > 0) --L().controlDepth;
}
int ppio_control_depth() { return L().controlDepth; }
bool ppio_comment_seen() { return L().commentSeen; }

int KeywordCode(const std::string& word) {
    auto it = Keywords().find(word);
    return it == Keywords().end() ? KW_NONE : it->second;
}

std::optional<Token> get_token() {
    auto& l = L();
    for (;;) {
        int c = ppio_getc();
        if (c < 0) return std::nullopt;
        Token t;
        t.depth = l.lastDepth;
        if (IsDigit(c) || IsNameStart(c) || c == ' ' || c == '\t') {
            t.kind = IsDigit(c) ? TK_NUMBER : (c == ' ' || c == '\t') ? TK_WHITE : TK_NAME;
            auto belongs = [&](int d) {
                if (t.kind == TK_NUMBER) return IsDigit(d);
                if (t.kind == TK_NAME) return IsNameChar(d);
                return d == ' ' || d == '\t';
            };
            t.text.push_back(static_cast<char>(c));
            for (;;) {
                int d = ppio_getc();
                if (d < 0) break;
                if (!belongs(d)) {
                    ppio_ungetc(d);
                    break;
                }
                t.text.push_back(static_cast<char>(d));
            }
            return t;
        }
        if (c == '\'' || c == '"') {
            t.kind = TK_STRING;
            t.text.push_back(static_cast<char>(c));
            for (;;) {
                int d = ppio_getc();
                if (d < 0) break;
                t.text.push_back(static_cast<char>(d));
                if (d == '\\') {
                    int e = ppio_getc();
                    if (e < 0) ReportFatal("Premature end inside a string constant.");
                    t.text.push_back(static_cast<char>(e));
                } else if (d == c) {
                    break;
                }
            }
            return t;
        }
        if (c == '/') {
            int d = ppio_getc();
            if (d != '*') {
                ppio_ungetc(d);
                t.kind = TK_SLASH;
                t.text = "/";
                return t;
            }
            // A comment, up to and including the next "*/".
            bool hadFile = ppio_has_file();
            std::string file = ppio_file_name();
            std::uint32_t line = ppio_line();
            t.text = "/*";
            int prev = 0;
            bool closed = false;
            for (;;) {
                int e = ppio_getc();
                if (e < 0) break;
                t.text.push_back(static_cast<char>(e));
                if (prev == '*' && e == '/') {
                    closed = true;
                    break;
                }
                prev = e;
            }
            if (!closed) {
                if (hadFile)
                    ReportError("Unterminated comment starts in " + file + " at line " + std::to_string(line));
                else
                    ReportError("Unterminated comment, I have lost start information?");
            }
            l.commentSeen = true;
            if (l.comments == CommentMode::kKeep) {
                t.kind = TK_COMMENT;
                return t;
            }
            if (l.comments == CommentMode::kBlank) {
                t.kind = TK_WHITE;
                t.text = " ";
                return t;
            }
            continue;
        }
        if (c == '\\' && l.controlDepth > 0) {
            int d = ppio_getc();
            if (d == '\n') continue;
            ppio_ungetc(d);
            t.kind = TK_OTHER;
            t.text = "\\";
            return t;
        }
        t.text.push_back(static_cast<char>(c));
        t.kind = SingleKind(c);
        if (StartsPair(c)) {
            int d = ppio_getc();
            TokenKind k;
            if (d >= 0 && PairKind(c, d, &k)) {
                t.text.push_back(static_cast<char>(d));
                t.kind = k;
            } else {
                ppio_ungetc(d);
            }
        }
        return t;
    }
}

}  // namespace tulc
