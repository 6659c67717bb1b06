// Character-level token routines of the net readers.
#include "scanner.h"

#include "net.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace netlib {

ScanState scan;

void syntax_error(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: syntax error in file '%s', line %d: %s.\n", scan.file.c_str(), scan.line,
                 text.c_str());
    std::fflush(stderr);
    std::exit(10);
}

namespace {

bool is_blank(int c) { return c != EOF && std::isspace(static_cast<unsigned char>(c)); }
bool is_alnum(int c) { return c != EOF && std::isalnum(static_cast<unsigned char>(c)); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Reads one character and counts a line break.
int get(std::FILE* f) {
    int c = std::getc(f);
    if (c == '\n') ++scan.line;
    return c;
}

// Pushes back a character read by std::getc (not counted).
void unget(std::FILE* f, int c) {
    if (c != EOF) std::ungetc(c, f);
}

std::string shown(int c) {
    if (c == EOF) return "end of file";
    std::string s = "'";
    s += static_cast<char>(c);
    s += "'";
    return s;
}

}  // namespace

int next_nonblank(std::FILE* f) {
    int c;
    do c = get(f); while (is_blank(c));
    return c;
}

int next_significant(std::FILE* f) {
    for (;;) {
        int c = std::getc(f);
        if (c == ' ' || c == '\t' || c == '\b' || c == '\0') continue;
        if (c == '%') {
            do c = std::getc(f); while (c != '\n' && c != EOF);
            if (c == EOF) return EOF;
            ++scan.line;
            continue;
        }
        if (c == '\n') ++scan.line;
        return c;
    }
}

void skip_lines(std::FILE* f, int n) {
    for (int k = 0; k < n; ++k) {
        int c;
        do c = get(f); while (c != '\n' && c != EOF);
        if (c == EOF) return;
    }
}

int test_char(std::FILE* f, int ch) {
    int c = next_nonblank(f);
    if (c == ch) return 1;
    unget(f, c);
    return 0;
}

void expect_char(std::FILE* f, int ch) {
    int c = next_nonblank(f);
    if (c == ch) return;
    if (edition == Edition::Cosweep) syntax_error("ReadSymbol: unexpected character read");
    std::string text = "'";
    text += static_cast<char>(ch);
    text += "' expected, but " + shown(c) + " was found";
    syntax_error(text);
}

std::string read_word(std::FILE* f, std::size_t n) {
    std::string word;
    int c = next_nonblank(f);
    while (c != EOF && !is_blank(c) && c != ',') {
        if (word.size() == n) {
            // Cut: skip the rest of the word.
            while (c != EOF && !is_blank(c) && c != ',') c = get(f);
            break;
        }
        word += static_cast<char>(c);
        c = get(f);
    }
    if (c == ',') unget(f, c);
    return word;
}

long read_integer(std::FILE* f) {
    int c = next_nonblank(f);
    bool negative = false;
    if (c == '-') {
        negative = true;
        c = next_nonblank(f);
    }
    if (!is_digit(c)) syntax_error(edition == Edition::Cosweep ? "ReadNumber(): digit expected" : "digit expected");
    long value = 0;
    const long limit = negative ? -static_cast<long>(INT32_MIN) : INT32_MAX;
    while (is_digit(c)) {
        value = value * 10 + (c - '0');
        if (value > limit) syntax_error("number out of range");
        c = std::getc(f);
    }
    if (c != ' ') unget(f, c);
    return negative ? -value : value;
}

void read_number_pair(std::FILE* f, long& first, long& second) {
    first = read_integer(f);
    expect_char(f, '@');
    second = read_integer(f);
}

std::string ReadString(std::FILE* f, std::size_t n) {
    int c = next_nonblank(f);
    if (c != '\'') syntax_error("ReadString: \"'\" erwartet");
    std::string s;
    for (c = get(f); c != '\'' && c != EOF; c = get(f))
        if (s.size() + 1 < n) s += static_cast<char>(c);
    return s;
}

std::string ReadAlphaName(std::FILE* f, std::size_t n) {
    std::string s;
    int c = next_nonblank(f);
    if (c == '^') {
        s += '^';
        c = next_nonblank(f);
    }
    if (!is_alnum(c)) {
        if (edition != Edition::Cosweep) std::printf("%i.\n", c);
        syntax_error("ReadAlphaName: alphanumerische Zeichenkette erwartet");
    }
    auto word_char = [](int ch) { return is_alnum(ch) || ch == '_' || ch == '?' || ch == '!'; };
    while (word_char(c)) {
        if (s.size() < n) s += static_cast<char>(c);
        c = std::getc(f);
    }
    unget(f, c);
    return s;
}

std::string ReadCmdToken(std::FILE* f, std::size_t n) {
    int c = next_significant(f);
    if (!is_alnum(c)) {
        if (edition != Edition::Cosweep) std::printf("'%c'\n", c == EOF ? ' ' : c);
        syntax_error("ReadCmdToken(): alphanumerical string expected");
    }
    std::string s;
    while (is_alnum(c) || c == '_') {
        if (s.size() < n) s += static_cast<char>(c);
        c = std::getc(f);
    }
    unget(f, c);
    return s;
}

std::string ReadEnclString(std::FILE* f, std::size_t n) {
    int quote = next_significant(f);
    if (quote != '\'' && quote != '"') syntax_error("ReadEnclString(): string leading ' or \" expected");
    std::string s;
    for (;;) {
        int c = get(f);
        if (c == EOF) syntax_error(std::string("ReadEnclString(): closing ") + static_cast<char>(quote) +
                                   " is missing");
        if (c == quote) break;
        if (s.size() < n) s += static_cast<char>(c);
    }
    return s;
}

std::string ReadCommand(std::FILE* f, std::size_t n) {
    std::string s = ReadAlphaName(f, n);
    if (s.size() != 3) syntax_error("ReadCommand(): unknown command found");
    expect_char(f, ':');
    return s;
}

bool collect_labels = false;
LabelList place_labels;
LabelList transition_labels;

static void add_label(LabelList& list, const std::string& label, NET_NODE* node) {
    std::string key;
    for (char c : label)
        if (!std::isspace(static_cast<unsigned char>(c))) key += c;
    auto r = list.entries.emplace(key, LabelEntry());
    if (r.second) ++list.distinct;
    ++r.first->second.count;
    r.first->second.nodes.push_front(node);
    ++list.uses;
}

void add_place_label(const std::string& label, NET_NODE* node) { add_label(place_labels, label, node); }
void add_transition_label(const std::string& label, NET_NODE* node) { add_label(transition_labels, label, node); }

void free_label_list(LabelList& list) { list = LabelList(); }

}  // namespace netlib
