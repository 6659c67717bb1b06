// Character-level token routines shared by every net reader.  The routines
// read from a C stream and keep the current file name and line number in one
// global state, so that every syntax error is reported alike:
// "ERROR: syntax error in file '%s', line %d: %s.\n" and exit code 10.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>

namespace netlib {

struct ScanState {
    std::string file;   // name of the file being read
    int line = 1;       // current line number
};
extern ScanState scan;

[[noreturn]] void syntax_error(const std::string& text);

int next_nonblank(std::FILE* f);          // counts line breaks it passes
int next_significant(std::FILE* f);       // skips blanks and '%' comments
void skip_lines(std::FILE* f, int n);
int test_char(std::FILE* f, int ch);      // 1 and consumed, or 0 and pushed back
void expect_char(std::FILE* f, int ch);
// Word up to white space or ',' of at most n characters (rest skipped).
std::string read_word(std::FILE* f, std::size_t n);
long read_integer(std::FILE* f);          // "digit expected"; overflow is an error
void read_number_pair(std::FILE* f, long& first, long& second);
std::string ReadString(std::FILE* f, std::size_t n);
std::string ReadAlphaName(std::FILE* f, std::size_t n);
std::string ReadCmdToken(std::FILE* f, std::size_t n);
std::string ReadEnclString(std::FILE* f, std::size_t n);
std::string ReadCommand(std::FILE* f, std::size_t n);

// ---- label lists -------------------------------------------------------------
// The labels of places and of transitions, white space removed, in byte
// order; each with the nodes that carry it, newest first.  The readers fill
// them only while collect_labels is set.
struct NET_NODE;
struct LabelEntry {
    std::uint32_t count = 0;
    std::deque<NET_NODE*> nodes;
};
struct LabelList {
    std::map<std::string, LabelEntry> entries;
    std::uint32_t uses = 0;       // labels added
    std::uint32_t distinct = 0;   // entries made
};
extern bool collect_labels;
extern LabelList place_labels;
extern LabelList transition_labels;
void add_place_label(const std::string& label, NET_NODE* node);
void add_transition_label(const std::string& label, NET_NODE* node);
void free_label_list(LabelList& list);

}  // namespace netlib
