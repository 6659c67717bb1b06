// Symbol tables of the M-net library (actions, variables, references,
// tuples), the term types built from their numbers (action multisets and
// inscriptions) with their operations, and the renderers that turn terms back
// into text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "mnet_base.h"

namespace mnet {

// Term codes.
enum : std::uint16_t {
    CONST_BASE = 10256,   // constant code = value + CONST_BASE
    TUPLE_BASE = 43024,   // tuple code = tuple number + TUPLE_BASE
    CODE_FF = 43020,
    CODE_TT = 43021,
    CODE_DOT = 43022,
    NO_COMPONENT = 65535,
};
// Plain values of the built-in constants.
enum : std::int32_t { VAL_MIN = -10000, VAL_MAX = 32763, VAL_FF = 32764, VAL_TT = 32765, VAL_DOT = 32766, VAL_NONE = 32767 };

inline bool is_var_code(std::uint16_t c) { return c < 256; }
inline bool is_tuple_code(std::uint16_t c) { return c >= TUPLE_BASE; }
inline bool is_const_code(std::uint16_t c) { return c >= 256 && c < TUPLE_BASE; }
inline std::uint16_t const_to_code(std::int32_t v) { return static_cast<std::uint16_t>(v + CONST_BASE); }

// A set of plain values, ascending, each at most once.
using ValueSet = std::vector<std::int32_t>;
// A tuple: its elements are term codes.
using Tuple = std::vector<std::uint16_t>;

// Communication variable of a transition; its index is the variable slot.
struct ComVar {
    std::uint16_t var = 0;    // variable code
    std::uint16_t flags = 0;  // 1: once written with '~', 2: once with '-'; a kind below
};
// The kind of a variable, which lookups by name respect.  A variable named
// after an identifier of the modelled program (a channel's value, an access
// 'x) and a variable of the net's own making (a template's counter k, the
// instance id) may share a name in one transition and still stay two
// variables: a lookup finds only variables of the kind it asks for.  A
// private variable (a parameter handed over by a call) is found by no
// lookup at all; it is known by its slot only.  The written text keeps
// equally named variables apart by their slots.
enum : std::uint16_t { COMVAR_NET = 0, COMVAR_PROGRAM = 0x100, COMVAR_PRIVATE = 0x200 };
constexpr std::uint16_t COMVAR_KIND_MASK = COMVAR_PROGRAM | COMVAR_PRIVATE;
using ComVars = std::vector<ComVar>;
enum { MAX_COMVARS = 256, MAX_PARAMS = 10 };

struct ActionTerm {
    std::uint16_t code = 0;
    std::uint16_t nparams = 0;
    std::uint16_t params[MAX_PARAMS] = {};
    std::uint16_t mult = 1;
};
// Sorted by code, parameter count and parameters.
using ActionSet = std::vector<ActionTerm>;

struct InscTerm {
    std::uint16_t code = 0;
    std::uint16_t count = 0;
};
// Sorted by term code.
using Inscription = std::vector<InscTerm>;

// A reference record: a range of the source text.  Records of the front ends
// (identifiers, syntax-tree elements) derive from it and are entered into the
// reference table directly; the table does not copy them.
struct RefRecord {
    std::uint32_t line1 = 0, col1 = 0, line2 = 0, col2 = 0;
    std::uint8_t kind = 0;              // class byte
    std::optional<std::string> text;    // definition text (records read from a file)
    std::optional<std::string> label;   // printable text (records read from a file)
    ValueSet range;                     // declared range (definitions of kind V, C, S)
    std::int32_t capacity = 0;          // capacity (kinds C and S)
    virtual ~RefRecord() = default;
};

// ---------------------------------------------------------------------------
// Tables.
void init_symtabs();
void init_action_buffers();
void init_var_buffers();
enum class Symtab { Actions, Variables, References, Tuples };
// Frees one table.  Of the reference table, records of the classes 9, 10
// and 11 (and in source-net mode all records) are deleted; the others belong
// to the front end that entered them.  Records are made with new.
void free_symtab(Symtab which);

std::uint16_t action_code(const std::string& name);
std::string& action_name(std::uint16_t code, std::string& buffer);
std::uint16_t var_code(const std::string& name);
const std::string& var_name(std::uint16_t code);
std::uint16_t ref_code(RefRecord* record);
RefRecord* ref_get(std::uint16_t number);  // null when absent
std::size_t ref_count();
std::uint16_t intern_tuple(Tuple&& tuple);
const Tuple& get_tuple(std::uint16_t number);
std::size_t action_count();
std::size_t variable_count();
extern std::uint16_t max_multiplicity;

void print_action_table();
void print_variable_table();

// ---------------------------------------------------------------------------
// Action multisets.
ActionSet new_actset();
ActionSet new_single_actset(std::uint16_t code);
ActionSet copy_actset(const ActionSet& s);
void copy_action_term(ActionTerm& dst, const ActionTerm& src, const std::uint16_t* map);
void copy_actset_into(ActionSet& dst, const ActionSet& src, const std::uint16_t* map);
int compare_action_terms(const ActionTerm& a, const ActionTerm& b);
int compare_action_heads(const ActionTerm& a, const ActionTerm& b);
std::size_t actset_size(const ActionSet& s);
std::uint16_t actset_multiplicity(const ActionSet& s);
const ActionTerm* find_action(std::uint16_t code, std::uint16_t nparams, const ActionSet* s);
bool actset_equal(const ActionSet& a, const ActionSet& b);
ActionSet& actset_union(ActionSet& a, const ActionSet& b);
ActionSet& actset_add_term(ActionSet& a, const ActionTerm& t);
ActionSet& actset_minus_exact(ActionSet& a, const ActionSet& b);
ActionSet& actset_minus(ActionSet& a, const ActionSet& b);
ActionSet& actset_remove_pair(ActionSet& a, const ActionTerm* term, const std::uint16_t* map, std::uint16_t n);
int actsets_disjoint(const ActionSet& a, const ActionSet& b);

// ---------------------------------------------------------------------------
// Inscriptions.
Inscription new_inscription(std::uint16_t code);
Inscription copy_inscription(const Inscription& s, const std::uint16_t* map);
void inscription_assign(Inscription& dst, const Inscription& src, const std::uint16_t* map);
std::uint16_t substitute_tuple(std::uint16_t tuple_code, const std::uint16_t* map);
Inscription& inscription_union(Inscription& a, const Inscription& b);
Inscription& inscription_add(Inscription& a, std::uint16_t code, std::uint16_t count);
std::size_t inscription_size(const Inscription& s);
std::uint16_t inscription_count(std::uint16_t code, const Inscription* s);
int inscription_identical(const Inscription& a, const Inscription& b);

bool u16_array_equal(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b);
bool valueset_equal(const ValueSet& a, const ValueSet& b);

// ---------------------------------------------------------------------------
// Rendering.
void append_term_text(std::uint16_t code, const ComVars& vars, std::string& buffer);
std::string& render_term(std::uint16_t code, const ComVars& vars, std::string& buffer);
std::string& render_action_term(const ActionTerm& t, const ComVars& vars, std::string& buffer);
void print_actset(std::FILE* f, const ActionSet& s, const ComVars& vars);
void print_inscription(std::FILE* f, const Inscription& s, const ComVars& vars);
std::string actset_text(const ActionSet& s, const ComVars& vars);
std::string inscription_text(const Inscription& s, const ComVars& vars);

}  // namespace mnet
