// Input layer of the preprocessor: the stack of open input files, the
// pushback store into which expansions and numbers are written back as
// characters, the tokenizer, and the keyword table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tulc {

enum TokenKind : int {
    TK_OPEN_BRACE = 0,
    TK_OPEN_BRACKET = 1,
    TK_OPEN_PAREN = 2,
    TK_TUPLE_OPEN = 3,  // "<."
    TK_STRING = 4,
    TK_WHITE = 5,
    TK_NAME = 6,
    TK_HASH = 7,
    TK_OTHER = 8,
    TK_CLOSE_BRACE = 9,
    TK_CLOSE_BRACKET = 10,
    TK_CLOSE_PAREN = 11,
    TK_NEWLINE = 12,
    TK_NUMBER = 13,
    TK_NOT = 14,
    TK_TILDE = 15,
    TK_STAR = 16,
    TK_SLASH = 17,
    TK_PERCENT = 18,
    TK_PLUS = 19,
    TK_MINUS = 20,
    TK_SHIFT_LEFT = 21,
    TK_SHIFT_RIGHT = 22,
    TK_LESS = 23,
    TK_LESS_EQUAL = 24,
    TK_GREATER = 25,
    TK_GREATER_EQUAL = 26,
    TK_EQUAL = 27,
    TK_NOT_EQUAL = 28,
    TK_AMPERSAND = 29,
    TK_CARET = 30,
    TK_BAR = 31,
    TK_AND = 32,
    TK_OR = 33,
    TK_QUESTION = 34,
    TK_COLON = 35,
    TK_COMMA = 36,
    TK_TUPLE_CLOSE = 37,  // ".>"
    TK_RANGE = 38,        // ".."
    TK_SEMICOLON = 39,
    TK_COMMENT = 40,
};

struct Token {
    std::string text;
    TokenKind kind = TK_OTHER;
    // Macro-call nesting of the text the token was read from: 0 for file
    // text, n for the expansion of a call made n calls deep.
    std::uint32_t depth = 0;
};

// Whether the token separates others only (white space, comment, newline).
inline bool IsLayout(const Token& t) {
    return t.kind == TK_WHITE || t.kind == TK_COMMENT || t.kind == TK_NEWLINE;
}

enum class CommentMode { kDrop, kBlank, kKeep };

// Resets the layer: no open file, an empty pushback store, no include
// directories, no open-file names.
void ppio_init();
// Include directories, searched in this order (the driver inserts each new
// -I directory at the front).
void ppio_set_include_dirs(std::vector<std::string> dirs);
void ppio_set_comment_mode(CommentMode mode);
// The files this run writes while it reads its input: none of them may be
// read as an input, in any spelling (the text passed through to a file read
// again would grow it without end, and the file would be replaced after it
// was read).
void ppio_set_output_files(std::vector<std::string> names);

// Opens the file as ppio_push_file finds it (the name itself unless search
// is 1, then the include directories); a file that cannot be opened, or that
// is one of the outputs, ends the run with its message.
std::FILE* ppio_open_input(const std::string& name, int search);

// Makes the file the current input; search is 1 for #include <file>.
void ppio_push_file(const std::string& name, int search);
void ppio_pop_file();
bool ppio_has_file();
// The current file's name (as given to ppio_push_file) and line.
const std::string& ppio_file_name();
std::uint32_t ppio_line();
// Newlines read so far minus those pushed back, in the current file.
std::uint32_t ppio_lines_read();

int ppio_getc();
void ppio_ungetc(int c);
// Pushes text back with the nesting depth of the last character read.
void ppio_unget_string(const std::string& text);
// Pushes back the expansion of a macro call of this nesting depth.
void ppio_unget_expansion(const std::string& text, std::uint32_t depth);
// "%lu", or "0x%lx" when hex is asked for and bit 31 is set.
void ppio_unget_number(std::uint32_t value, bool hex);
void ppio_unget_unsigned(std::uint32_t value);

// The next token, or none at the end of the input.
std::optional<Token> get_token();
void unget_token(const Token& t);

// While above 0 a backslash before a newline joins lines.
void ppio_enter_control_line();
void ppio_leave_control_line();
int ppio_control_depth();

// Whether a comment has been read (it switches on line synchronisation).
bool ppio_comment_seen();

// Control words of the keyword table; 0 for any other word.
int KeywordCode(const std::string& word);
enum Keyword : int {
    KW_NONE = 0,
    KW_DEFINE = 1,
    KW_UNDEF = 2,
    KW_IF = 3,
    KW_IFDEF = 4,
    KW_IFNDEF = 5,
    KW_ELSE = 6,
    KW_ENDIF = 7,
    KW_INCLUDE = 8,
    KW_ENUM = 9,
    KW_PREC = 10,
    KW_PLACE = 11,
    KW_TRANS = 12,
    KW_ENDTR = 13,
    KW_TESTER = 14,
    KW_VERIFY = 15,
};

}  // namespace tulc
