// Term-node tables (guards and expressions), restriction lists, value-set
// ranges, guard normalisation and the builder of action transitions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mnet_symtab.h"

namespace mnet {

// Node kinds.
enum : std::uint16_t {
    N_AND = 101, N_OR = 102, N_NOT = 103, N_CONST = 104, N_VAR = 105, N_PAREN = 106,
    N_EQ = 107, N_NE = 108, N_LT = 109, N_GT = 110, N_LE = 111, N_GE = 112,
    N_ADD = 113, N_SUB = 114, N_MUL = 115, N_DIV = 116, N_MOD = 117, N_NEG = 118,
    N_FOREACH = 29,
};

struct TermNode {
    std::uint16_t kind = 0, left = 0, right = 0;
};
// A table of term nodes.  Node 0 is the header (kind 0); operand fields hold
// node indices; the root of a tree is the last node.
using TermTable = std::vector<TermNode>;
TermTable new_term_table();  // the header alone
// A guard: its conjuncts, each a table of its own; no conjunct is true.
using Guard = std::vector<TermTable>;

struct Restriction {
    std::uint16_t var = 0;                 // variable slot
    std::uint16_t component = NO_COMPONENT;  // 65535 for a variable without tuple
    ValueSet values;
};
// Sorted by (variable, component); empty = no restriction.
using RestrictionList = std::vector<Restriction>;

// Merges lo..hi into the set; nothing when lo > hi.
void valueset_add_range(ValueSet& set, std::int32_t lo, std::int32_t hi);
// Restricts (var, component) to the set: intersection with an existing entry,
// otherwise a new entry at its sorted place.
void restrict_var(RestrictionList& list, std::uint16_t var, std::uint16_t component, const ValueSet& set);

// The current node table of the guard or expression being built.
extern TermTable* current_nodes;
std::uint16_t add_node(std::uint16_t kind, std::uint16_t left, std::uint16_t right);
std::uint16_t add_node(TermTable& table, std::uint16_t kind, std::uint16_t left, std::uint16_t right);

// FOREACH expansion is done by the template interpreter: it gives the value
// list of a FOREACH entry and sets the template parameters (element, index)
// and runs the entry's command sub-list before each copy of the body.
struct ForeachExpansion {
    std::function<const ValueSet*(std::uint16_t entry)> values;
    std::function<void(std::uint16_t entry, std::int32_t value, std::size_t remaining)> before_copy;
};
extern ForeachExpansion foreach_expansion;
// The table that normalize_guard expands (null otherwise): before each copy
// of a FOREACH body the interpreter sets the body's macro nodes in it.
extern TermTable* foreach_source;

// Splits the tree rooted at the table's last node into its top-level
// conjuncts, each copied as its own table.
Guard normalize_guard(TermTable&& table, bool expand);

// Fresh communication variables "@c", "@d", ... ("id", "ie", ... with
// procedure semantics or the naming mode NAMING_ID).
void new_comvars(ComVars& list, std::size_t n);

// The action under construction.
struct CurrentAction {
    ActionSet label;
    ComVars vars;
    TermTable nodes;
    RestrictionList restrictions;
    bool procedure_action = false;
    Guard extra;   // extra conjuncts
    Guard guard;   // the normalised guard after end_action
};
extern CurrentAction current_action;
void begin_action(const ComVars* vars);
void end_action();
// Frees the work buffers of the symbol tables and the action builder (the
// action under construction, the current node table, the multiplicity of the
// action work buffers); init_action_buffers and init_var_buffers set them up
// again.
void free_work_buffers();

// The default type of the places of elementary boxes: the static {dot} set,
// or a procedure's instance set while its body is translated.  An
// instance-identifier set is declared exactly when it is not {dot}.
const ValueSet& dot_set();
extern const ValueSet* default_place_type;
inline bool instance_set_declared() { return default_place_type != &dot_set(); }

// What the action builder needs to know of an accessed identifier.
struct AccessIdent {
    std::string name;
    bool reference_param = false;     // passed by reference
    bool at_procedure_level = false;  // declared at the current procedure level or deeper
};
// The label term x('x,x') of the current action (x('x,x',i) with procedure
// semantics), added when absent.
const ActionTerm& access_term(const AccessIdent& x);
std::uint16_t pre_value(const AccessIdent& x);   // leaf of 'x
std::uint16_t post_value(const AccessIdent& x);  // leaf of x'
std::uint16_t read_value(const AccessIdent& x);  // leaf of 'x, with the conjunct 'x = x' once
// Channel access; mode bit 2 send, bit 1 doubled, bit 4 the parameter is
// named like the channel itself.  With procedure semantics the second
// parameter is chosen like the third one of an access term; a channel
// given by name alone is a shared channel that is no reference parameter.
const ActionTerm& channel_term(const AccessIdent& c, int mode);
std::uint16_t channel_value(const AccessIdent& c, int mode);
const ActionTerm& channel_term(const std::string& c, int mode);
std::uint16_t channel_value(const std::string& c, int mode);
struct MTransition;
void add_id_var(MTransition* t);

}  // namespace mnet
