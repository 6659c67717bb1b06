// Foundation of the M-net library: the settings a front end gives the
// library, the report routine with its error counter, memory tracking, the
// allocation routines, and the character-level token routines with their
// shared scanner state and the syntax-error exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace mnet {

// ---------------------------------------------------------------------------
// Settings.  A front end sets these from its command line before it builds a
// net; the library only reads them.

// Three option bytes; the bit names below are the one table of their meaning.
extern std::uint8_t MNetOptions[3];

enum : std::uint8_t {
    // byte 0
    OPT0_PROC_INSTANCE_SET = 0x01,
    OPT0_CHECK_CONSISTENCY = 0x02,
    OPT0_REMOVE_DUPLICATES = 0x04,
    OPT0_DEAD_TRANSITIONS = 0x08,
    OPT0_PARALLEL_DECLS = 0x10,
    OPT0_NO_SCOPING = 0x20,
    OPT0_DOUBLED_ITERATION = 0x40,
    OPT0_COPIED_ITERATION = 0x80,
    // byte 1
    OPT1_SHORT_OUTPUT = 0x01,
    OPT1_BLOCKS = 0x02,
    OPT1_PHANTOMS = 0x04,
    OPT1_UNITE_NAMES = 0x08,
    OPT1_REPORT_REBINDING = 0x10,
    OPT1_SOURCE_NET = 0x20,
    OPT1_FRESH_INSTANCES = 0x80,
    // byte 2
    OPT2_OMIT_INIT_TERM = 0x01,
};

inline bool short_output() { return MNetOptions[1] & OPT1_SHORT_OUTPUT; }
inline bool blocks_in_output() { return MNetOptions[1] & OPT1_BLOCKS; }
inline bool phantoms_in_output() { return MNetOptions[1] & OPT1_PHANTOMS; }
inline bool source_net_mode() { return MNetOptions[1] & OPT1_SOURCE_NET; }
inline bool no_scoping() { return MNetOptions[0] & OPT0_NO_SCOPING; }

// Front-end kinds.
enum FrontEndKind : int { FE_BPN2 = 0, FE_CHART = 1, FE_IF = 2, FE_AUTOMATA = 3 };

extern int frontend_kind;            // FE_BPN2 unless a front end says otherwise
extern bool procedure_semantics;     // B(PN)2 procedure semantics switch
extern std::uint16_t scale;          // factor of written coordinates (1)
extern unsigned long max_transitions;  // 2147483648 unless set
// Naming mode of communication variables (the variable rendering mode).
enum VariableNaming : int {
    NAMING_SLOTS = 0,  // written with their slot, x@3 (the default)
    NAMING_ID = 1,     // as 0, and new_comvars names fresh variables "id", "ie", ...
                       // (statecast sets it around each statement box)
    NAMING_NAMES = 2,  // autocast: written by name; synchronisation unites
                       // equally named variables and reports the variables
                       // it unites
    NAMING_BPN2 = 3,   // progcast -n: B(PN)2 names, written by name as in 2
};
extern int variable_rendering_mode;  // NAMING_SLOTS unless a front end sets another
inline bool variables_by_name() {
    return variable_rendering_mode == NAMING_NAMES || variable_rendering_mode == NAMING_BPN2;
}
// Maximum number of variables in one arc label (progcast -v): the limit a
// front end passes to M_synchronise.
extern std::uint16_t max_arc_variables;             // 2 unless set
// Number of instances of a procedure that declares none (progcast -i).
extern std::uint16_t default_procedure_instances;   // 2 unless set
extern std::uint16_t arc_weight_bound;  // 1 at start
extern std::string net_file_name;    // output net; empty = none
extern std::string ref_file_name;    // output reference file; empty = none
extern std::string source_file_name; // source text of the references

// ---------------------------------------------------------------------------
// Parser state of a front end (the front end keeps it; the library reads it).
extern int parsing_flag;
extern int scanner_line;
extern std::string scanner_token;

// ---------------------------------------------------------------------------
// Reports.
enum : int { INFO = 0, WARNING = 1, ERROR = 2, FATAL = 3, ERROR_UNCOUNTED = 66 };

extern int error_counter;

// Writes one message on the error stream; level 3 ends the program (code 1).
void report(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Memory tracking (progcast -f): while on, MYmalloc registers its blocks and
// release() frees only registered blocks.
extern bool memory_tracking;
int release(void* block);
void FreeAll(int exit_code);

// Allocation: zero-filled, ends the program with code 3 when memory runs out.
void* MYmalloc(std::size_t size);
void* Realloc(void* pointer, std::size_t size);
char* MYstrdup(const char* text);
// Makes failing operator new end the program like MYmalloc does.
void install_memory_handler();
[[noreturn]] void memory_overflow(const char* routine);

// ---------------------------------------------------------------------------
// Scanner state shared by the readers and the token routines.
struct ScanState {
    std::string file;
    int line = 1;
};
extern ScanState scan;

// "ERROR: syntax error in file '%s', line %d: %s.\n", exit code 10.
[[noreturn]] void syntax_error(const std::string& message);

// Replaceable error hook of the token routines and the section reader.  When
// a replacement returns, the routine that called it throws ReadAborted.
using ErrorHook = void (*)(const std::string&);
extern ErrorHook error_hook;
struct ReadAborted : std::runtime_error {
    using std::runtime_error::runtime_error;
};
[[noreturn]] void token_error(const std::string& message);

// Character-level routines.
int SkipSeparators(std::FILE* f);
void SkipLine(std::FILE* f);
int SkipBlanks(std::FILE* f);
std::int32_t ReadNumber(std::FILE* f);
void ReadCoordinates(std::FILE* f, std::int32_t& x, std::int32_t& y);
int PeekSymbol(std::FILE* f, int c);
int PeekDigit(std::FILE* f);
int ReadSymbol(std::FILE* f, int c);
std::size_t ReadWord(std::FILE* f, char* buffer, std::size_t size);
// Token module: the word goes into the token buffer (returned).
const std::string& ReadCmdToken(std::FILE* f);
const std::string& RL_ReadEnclString(std::FILE* f);
const std::string& token_buffer();

// The HLNet reader's own routines: a word of at most size-1 characters (the
// rest of the word is skipped), and a quoted string read whole.
std::size_t ReadCmdToken(std::FILE* f, std::string& out, std::size_t size);
std::string ReadEnclString(std::FILE* f);

// Writes a text as a quoted string: between double quotes, or between
// single quotes when it holds a double quote.
void write_quoted(std::FILE* f, const std::string& text);

// Checked narrowing used wherever a 16-bit code or count grows.
std::uint16_t checked_u16(std::size_t value, const char* what);

}  // namespace mnet
