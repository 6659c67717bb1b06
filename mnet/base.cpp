#include "mnet_base.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <list>
#include <new>
#include <unordered_map>

namespace mnet {

std::uint8_t MNetOptions[3] = {0, 0, 0};
int frontend_kind = FE_BPN2;
bool procedure_semantics = false;
std::uint16_t scale = 1;
unsigned long max_transitions = 2147483648UL;
int variable_rendering_mode = NAMING_SLOTS;
std::uint16_t max_arc_variables = 2;
std::uint16_t default_procedure_instances = 2;
std::uint16_t arc_weight_bound = 1;
std::string net_file_name;
std::string ref_file_name;
std::string source_file_name;

int parsing_flag = 0;
int scanner_line = 1;
std::string scanner_token;

int error_counter = 0;

namespace {
const char* level_word(int level) {
    switch (level & 63) {
    case 0: return "info   ";
    case 1: return "warning";
    case 2: return "error  ";
    case 3: return "fatal  ";
    default: return "       ";
    }
}

void vreport(int level, const char* format, va_list args) {
    std::fflush(stdout);
    if (parsing_flag) std::fprintf(stderr, "[line %3d] ", scanner_line);
    std::fputs(level_word(level), stderr);
    if (parsing_flag && (level & 63) == 2)
        std::fprintf(stderr, " %-3d", level == 2 ? error_counter + 1 : error_counter);
    if (parsing_flag && !scanner_token.empty())
        std::fprintf(stderr, " (before or at '%s')", scanner_token.c_str());
    std::fputs(": ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
    if (level == 2) ++error_counter;
    if (level == 3) {
        std::fputs("\n", stderr);
        std::exit(1);
    }
}
}  // namespace

void report(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(level, format, args);
    va_end(args);
}

void fatal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vreport(FATAL, format, args);
    va_end(args);
    std::exit(1);  // not reached
}

// ---------------------------------------------------------------------------
// Memory tracking: the list keeps allocation order so that FreeAll reports
// the blocks in the order they were made; the map finds a block at once.
bool memory_tracking = false;
namespace {
std::list<void*>& tracked() {
    static std::list<void*> blocks;
    return blocks;
}
std::unordered_map<void*, std::list<void*>::iterator>& tracked_index() {
    static std::unordered_map<void*, std::list<void*>::iterator> index;
    return index;
}
void track(void* p) {
    auto& l = tracked();
    l.push_back(p);
    tracked_index()[p] = std::prev(l.end());
}
bool untrack(void* p) {
    auto it = tracked_index().find(p);
    if (it == tracked_index().end()) return false;
    tracked().erase(it->second);
    tracked_index().erase(it);
    return true;
}
}  // namespace

int release(void* block) {
    if (!memory_tracking) {
        std::free(block);
        return 1;
    }
    if (untrack(block)) {
        std::free(block);
        return 1;
    }
    report(INFO, "Memory could not be released: %p", block);
    return 0;
}

void FreeAll(int exit_code) {
    if (memory_tracking) {
        while (!tracked().empty()) {
            void* p = tracked().front();
            report(INFO, "FreeAll: Memory at %p was only implicitly released !", p);
            untrack(p);
            std::free(p);
        }
    }
    if (exit_code != 0) std::exit(exit_code);
}

void memory_overflow(const char* routine) {
    std::fprintf(stderr, "ERROR: NN.%s(): memory overflow.\n", routine);
    std::exit(3);
}

void* MYmalloc(std::size_t size) {
    void* p = std::calloc(size ? size : 1, 1);
    if (!p) memory_overflow("MYmalloc");
    if (memory_tracking) track(p);
    return p;
}

void* Realloc(void* pointer, std::size_t size) {
    bool tracked_block = memory_tracking && (!pointer || untrack(pointer));
    void* p = std::realloc(pointer, size ? size : 1);
    if (!p) memory_overflow("Realloc");
    if (tracked_block) track(p);
    return p;
}

char* MYstrdup(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (!p) memory_overflow("MYstrdup");
    std::memcpy(p, text, n);
    if (memory_tracking) track(p);
    return p;
}

namespace {
void new_failed() { memory_overflow("MYmalloc"); }
}  // namespace
void install_memory_handler() { std::set_new_handler(new_failed); }

std::uint16_t checked_u16(std::size_t value, const char* what) {
    if (value > 65535) fatal("Overflow: too many %s (more than 65535) !", what);
    return static_cast<std::uint16_t>(value);
}

void write_quoted(std::FILE* f, const std::string& text) {
    bool dq = text.find('"') != std::string::npos;
    bool sq = text.find('\'') != std::string::npos;
    if (dq && !sq) {
        std::fputc('\'', f);
        std::fputs(text.c_str(), f);
        std::fputc('\'', f);
        return;
    }
    std::string t = text;
    if (dq) {
        // Neither quote can enclose a text holding both: its double quotes
        // become single ones so that the file stays readable.
        report(WARNING, "text %s holds both quote characters; its double quotes are written as single ones",
               text.c_str());
        for (char& c : t)
            if (c == '"') c = '\'';
    }
    std::fputc('"', f);
    std::fputs(t.c_str(), f);
    std::fputc('"', f);
}

// ---------------------------------------------------------------------------
// Scanner state and token routines.
ScanState scan;

void syntax_error(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: syntax error in file '%s', line %d: %s.\n", scan.file.c_str(),
                 scan.line, message.c_str());
    std::exit(10);
}

ErrorHook error_hook = [](const std::string& m) { syntax_error(m); };

void token_error(const std::string& message) {
    error_hook(message);
    throw ReadAborted(message);
}

namespace {
std::string token_buf;
inline bool is_sep(int c) { return c == ' ' || c == '\t' || c == '\b' || c == 0; }
}  // namespace

const std::string& token_buffer() { return token_buf; }

int SkipSeparators(std::FILE* f) {
    for (;;) {
        int c = std::getc(f);
        if (is_sep(c)) continue;
        if (c == '%') {
            while ((c = std::getc(f)) != EOF && c != '\n') {
            }
            if (c == EOF) return EOF;
            ++scan.line;
            continue;
        }
        return c;
    }
}

void SkipLine(std::FILE* f) {
    int c;
    while ((c = std::getc(f)) != EOF && c != '\n') {
    }
    ++scan.line;
}

int SkipBlanks(std::FILE* f) {
    for (;;) {
        int c = std::getc(f);
        if (c == '\n') {
            ++scan.line;
            continue;
        }
        if (c != EOF && std::isspace(c)) continue;
        return c;
    }
}

std::int32_t ReadNumber(std::FILE* f) {
    int c = SkipBlanks(f);
    bool neg = false;
    if (c == '-') {
        neg = true;
        c = SkipBlanks(f);
    }
    if (c == EOF || !std::isdigit(c)) {
        if (c != EOF) std::ungetc(c, f);
        token_error("ReadNumber: digit expected");
    }
    std::int64_t v = 0;
    while (c != EOF && std::isdigit(c)) {
        v = v * 10 + (c - '0');
        if (v > static_cast<std::int64_t>(INT32_MAX) + 1) token_error("ReadNumber: number out of range");
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    if (neg) v = -v;
    if (v > INT32_MAX) token_error("ReadNumber: number out of range");
    return static_cast<std::int32_t>(v);
}

void ReadCoordinates(std::FILE* f, std::int32_t& x, std::int32_t& y) {
    x = ReadNumber(f);
    int c = SkipBlanks(f);
    if (c != '@') {
        if (c != EOF) std::ungetc(c, f);
        token_error("ReadCoordinates: `@' expected");
    }
    y = ReadNumber(f);
}

int PeekSymbol(std::FILE* f, int c) {
    int d = SkipBlanks(f);
    if (d == c) return 1;
    if (d != EOF) std::ungetc(d, f);
    return 0;
}

int PeekDigit(std::FILE* f) {
    int d = SkipBlanks(f);
    if (d != EOF) std::ungetc(d, f);
    return d != EOF && std::isdigit(d);
}

int ReadSymbol(std::FILE* f, int c) {
    int d = SkipBlanks(f);
    if (d != c) {
        char msg[80];
        std::snprintf(msg, sizeof msg, "ReadSymbol(): '%c' expected here, but '%c' found", c,
                      d == EOF ? ' ' : d);
        token_error(msg);
    }
    return d;
}

std::size_t ReadWord(std::FILE* f, char* buffer, std::size_t size) {
    int c = SkipBlanks(f);
    std::size_t n = 0;
    while (c != EOF && !std::isspace(c) && c != ',') {
        if (n + 1 < size) buffer[n++] = static_cast<char>(c);
        c = std::getc(f);
    }
    if (c == ',' || c == '\n') std::ungetc(c, f);
    if (size) buffer[n] = 0;
    return n;
}

const std::string& ReadCmdToken(std::FILE* f) {
    token_buf.clear();
    int c = SkipSeparators(f);
    if (c == EOF || !std::isalnum(c)) {
        if (c != EOF) std::ungetc(c, f);
        token_error("ReadCmdToken: alphanumerical string expected");
    }
    while (c != EOF && (std::isalnum(c) || c == '_')) {
        token_buf.push_back(static_cast<char>(c));
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    return token_buf;
}

namespace {
// Reads up to the closing quote q (the opening one is consumed); line breaks
// inside count lines.  Returns false at the end of the file.
bool read_quoted(std::FILE* f, int q, std::string& out) {
    for (;;) {
        int c = std::getc(f);
        if (c == EOF) return false;
        if (c == q) return true;
        if (c == '\n') ++scan.line;
        out.push_back(static_cast<char>(c));
    }
}
}  // namespace

const std::string& RL_ReadEnclString(std::FILE* f) {
    token_buf.clear();
    int c = SkipSeparators(f);
    if (c != '\'' && c != '"') {
        if (c != EOF) std::ungetc(c, f);
        token_error("RL_ReadEnclString: string leading ' or \" expected");
    }
    if (!read_quoted(f, c, token_buf)) {
        char msg[64];
        std::snprintf(msg, sizeof msg, "RL_ReadEnclString: closing %c is missing", c);
        token_error(msg);
    }
    return token_buf;
}

std::size_t ReadCmdToken(std::FILE* f, std::string& out, std::size_t size) {
    out.clear();
    int c = SkipSeparators(f);
    if (c == EOF || !std::isalnum(c)) {
        std::printf("'%c'\n", c == EOF ? ' ' : c);
        if (c != EOF) std::ungetc(c, f);
        syntax_error("ReadCmdToken(): alphanumerical string expected");
    }
    while (c != EOF && (std::isalnum(c) || c == '_')) {
        if (out.size() + 1 < size) out.push_back(static_cast<char>(c));
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    return out.size() > 255 ? 255 : out.size();
}

std::string ReadEnclString(std::FILE* f) {
    int c = std::getc(f);
    if (c != '\'' && c != '"') {
        if (c != EOF) std::ungetc(c, f);
        syntax_error("ReadEnclString(): string leading ' or \" expected");
    }
    std::string out;
    if (!read_quoted(f, c, out)) {
        char msg[64];
        std::snprintf(msg, sizeof msg, "ReadCmdToken(): closing %c is missing", c);
        syntax_error(msg);
    }
    return out;
}

}  // namespace mnet
