// B(PN)2 declarations and semantic checks: value ranges, the scoped table
// of identifiers, the checks of identifier uses and procedure arguments,
// and the syntax tree that the translation (bpn2_trans.h) turns into boxes.
//
// A front end's parser calls these while it reads B(PN)2 text.  Errors and
// warnings go through mnet::report and are counted there; the front end
// stops after parsing when there were any.
//
// Ownership: the identifier table owns every identifier record it ever made
// (records stay valid after their scope is closed, since blocks, calls and
// the reference table point at them) until init_idents or free_idents.
// Position records likewise belong to the table, except those that the
// reference table takes over (mnet::free_symtab deletes its records of the
// kinds 9, 10 and 11).  Syntax trees are freed by delete_tree (or a Tree).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mnet_terms.h"

namespace bpn2 {

using mnet::ValueSet;

// ---------------------------------------------------------------------------
// Value ranges.  A range list is sorted; its ranges are disjoint and not
// adjacent.  The truth values ff (32764) and tt (32765) are values like
// numbers, but one range never mixes them with numbers.
struct Range {
    std::int32_t low = 0, high = 0;
};
struct RangeList {
    std::vector<Range> ranges;
    std::int32_t high() const { return ranges.empty() ? 0 : ranges.back().high; }
};
using RangePtr = std::shared_ptr<RangeList>;

// {min(a, b), max(a, b)}; exactly one truth-value bound is an error and
// gives {ff..tt}.
Range new_range(std::int32_t a, std::int32_t b);
// Inserts the range into the list (a new list when null), merging what it
// overlaps or touches; truth values added to numbers (or the reverse) are an
// error and leave the list unchanged.
RangePtr merge_range(Range r, RangePtr list);
bool in_range(const RangeList* list, std::int32_t v);
// Every range of a lies inside one range of b.
bool range_subset(const RangeList* a, const RangeList* b);
// Every value of every range; an empty set for no list.
ValueSet range_list_to_set(const RangeList* list);

// ---------------------------------------------------------------------------
// Identifiers.
enum IdentClass : std::uint8_t {
    UNDECLARED = 1, VARIABLE = 2, CHANNEL = 3, PROCEDURE = 4, PROCEDURE_PARAMS = 5, STACK = 6,
    CONSTANT = 7, BLOCK_NAME = 8, OTHER_NAME = 12,
};
enum PassMode : std::uint8_t { BY_VALUE = 1, BY_CONST = 2, BY_RESULT = 3, BY_REFERENCE = 4, DECLARED = 5 };
// Use flags: below USED_MIN an identifier counts as not used.
enum : std::uint8_t { USED_MIN = 16, USED_AS_ARGUMENT = 16, USED_BY_REFERENCE = 48, USED_FULLY = 240 };
enum : std::int32_t { NO_VALUE = 32767 };

struct Node;
struct TreeDeleter {
    void operator()(Node* n) const;
};
using Tree = std::unique_ptr<Node, TreeDeleter>;

// An identifier; the record is its own reference record: its source range
// is the declaration's, its class byte (RefRecord::kind) the identifier's
// class, and the reference writer reads its range and capacity.
struct IdentRec : mnet::RefRecord {
    std::string name;
    std::int32_t level = 0;
    IdentRec* next = nullptr;        // chain of a closed scope (newest first) or declaration list
    std::uint8_t mode = DECLARED;    // passing mode of a parameter
    IdentRec* next_param = nullptr;  // procedure: its first parameter; parameter: the next one
    Tree body;                       // procedure: its body block
    std::uint8_t use = 0;
    RangePtr ranges;                 // variable, channel, stack
    ValueSet instances;              // procedure: its instance set,
    bool instances_made = false;     //   once made
    std::int32_t number = NO_VALUE;  // initial value, capacity, or number of instances
    std::uint8_t cls() const { return kind; }
};

// Position record of a block (kind 9), atomic action (10), call (11) or
// labelled command (12).
struct PosRec : mnet::RefRecord {
    std::size_t slot = 0;  // in the identifier table's list of position records
};

// A token's source range and the identifier it names (set by lookup_ident).
struct SourceRange {
    std::uint32_t line1 = 0, col1 = 0, line2 = 0, col2 = 0;
};
struct IdentToken {
    SourceRange pos;
    IdentRec* ident = nullptr;
    bool found = false;
};

// Empties the table: the sentinel "-" alone, level 0, no pending calls; all
// records and position records made so far are freed.
void init_idents();
void free_idents();
int current_level();
IdentRec* new_ident(const std::string& name);
IdentRec* find_ident(const std::string& name);
// The identifier of that name, made (undeclared) when new.
IdentRec* lookup_ident(const std::string& name, IdentToken& token);
IdentRec* declare_ident(const IdentToken& token);
IdentRec* declare_param(const IdentToken& token);
// Gives the identifiers declared since the last give_typ their class, range
// and value (initial value, constant value or capacity).
void give_typ(std::uint8_t cls, RangePtr ranges, std::int32_t value);
void check_ident(IdentRec* r, std::uint8_t cls);
void check_ident2(IdentRec* r, std::uint8_t cls1, std::uint8_t cls2);
// True when the procedure is still undeclared and the call has to wait for
// its declaration in the procedure group being read.
bool check_proc_ident(IdentRec* r, std::uint8_t cls);
void open_scope();
// Unlinks the records of the current level and returns them as a chain,
// newest first; warns about declared identifiers never used.
IdentRec* close_scope();
IdentRec* reverse_idents(IdentRec* list);
void set_next_param(IdentRec* procedure, IdentRec* params);
// Appends the parameter with its passing mode; returns the list's head.
IdentRec* append_param(IdentRec* list, std::uint8_t mode, IdentRec* param);
PosRec* new_pos(const SourceRange& first, const SourceRange& last, std::uint8_t kind);
// The reference table has taken the record over (it frees it).
void hand_over_position(PosRec* p);

// Procedure groups: while on, calls of undeclared procedures wait for their
// declaration.
void set_procedure_group_mode(bool on);
bool procedure_group_mode();

// ---------------------------------------------------------------------------
// Syntax tree.  Node kinds and their fields:
//   1 block: decls, a = command, pos (kind 9)
//   2 atomic action: a = expression, pos (kind 10)
//   3 sequence, 4 parallel: a, b
//   5 loop: a = alternatives, b = entry command or null
//   6 repeat alternative, 7 exit alternative: a = command
//   8 alternative pair: a, b
//   9 call, 10 call with arguments: ident = procedure, args, pos (kind 11)
//   12 labelled command: ident = label, a = command, pos (kind 12)
//   101 .. 118 expressions (mnet::N_AND ...): a, b operands
//   104 constant: value; 105 identifier: ident, value = access mode
enum NodeKind : std::int32_t {
    K_BLOCK = 1, K_ACTION = 2, K_SEQ = 3, K_PAR = 4, K_LOOP = 5, K_REPEAT = 6, K_EXIT = 7, K_ALT = 8,
    K_CALL = 9, K_CALL_ARGS = 10, K_LABEL = 12,
};
enum AccessMode : std::int32_t {
    ACC_PLAIN = 1, ACC_PRE = 2, ACC_POST = 3, ACC_RECEIVE = 4, ACC_SEND = 5, ACC_EMPTY = 6, ACC_FULL = 7,
};
enum ArgKind : int { ARG_EXPRESSION = 1, ARG_IDENTIFIER = 6 };

struct ArgEntry {
    std::uint8_t mode = 0;     // passing mode of the matching formal (0 while unknown)
    IdentRec* ident = nullptr; // a plain identifier argument
    Node* expr = nullptr;      // an expression argument (owned)
};

struct Node {
    std::int32_t kind = 0;
    Node* a = nullptr;  // owned
    Node* b = nullptr;  // owned
    IdentRec* ident = nullptr;
    std::int32_t value = 0;
    PosRec* pos = nullptr;
    IdentRec* decls = nullptr;   // kind 1: declarations
    std::vector<ArgEntry> args;  // kind 10
};

Node* new_node(std::int32_t kind, Node* a = nullptr, Node* b = nullptr);
// Frees a tree without recursion; unknown kinds are fatal.
void delete_tree(Node* n);

// ---------------------------------------------------------------------------
// Procedure arguments.  The current formal parameter moves on with every
// argument; while the procedure's parameters are not known yet (a call in a
// procedure group before the declaration) nothing is checked.
void start_arguments(IdentRec* procedure);  // null: parameters unknown
void check_arg(std::vector<ArgEntry>& args, int kind, IdentRec* ident, Node* expr);
// After the last argument: "too few arguments" when formals are left.
void end_arguments();
// The checks over two whole lists (a call whose procedure was declared
// later): arguments left over are "too many", formals "too few".
void check_args(std::vector<ArgEntry>& args, IdentRec* formals);

}  // namespace bpn2
