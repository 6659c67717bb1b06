// The box algebra over M-nets: the place product and the box operations built
// on it (sequence, choice, parallel composition, iteration, refinement, the
// elementary boxes and their layout), synchronisation and restriction with
// the dead-transition check, scoping, block composition, duplicate place
// removal, the consistency check and the finishing of a net.
//
// Every operation takes ownership of the nets given to it and returns the
// resulting net; an operand whose elements move into the result is freed.
#pragma once

#include <cstdint>
#include <string>

#include "mnet_net.h"
#include "mnet_terms.h"

namespace mnet {

// ---------------------------------------------------------------------------
// Elementary boxes; their places take the default place type.

// Layout unit: element rows and columns are two units (60) apart.
enum : std::int32_t { LAYOUT_UNIT = 30, LAYOUT_ROW = 60 };

MNet* M_atomic_box(const ActionSet& label, Guard* guard, RestrictionList* restrictions, ComVars& comvars,
                   std::uint16_t reference);
MNet* M_place_chain_box(std::uint16_t n);

// ---------------------------------------------------------------------------
// Place product and box operations.

// Glues every place of A whose type has a bit of selA with every place of B
// whose type has a bit of selB.  A is changed in place; B loses its selected
// places.
void M_place_product(MNet* a, MNet* b, std::uint8_t sel_b, std::uint8_t sel_a);
// A missing (null) operand yields the other one.
MNet* M_sequence(MNet* a, MNet* b);
MNet* M_choice(MNet* a, MNet* b);
MNet* M_parallel(MNet* a, MNet* b);
// [I * R * E]; R and I may be null.
MNet* M_iteration(MNet* body, MNet* exit, MNet* init);
MNet* M_iteration_repeat(MNet* body, MNet* exit, MNet* init);
MNet* M_iteration_copied(MNet* body, MNet* exit, MNet* init);
MNet* M_iteration_doubled(MNet* body, MNet* exit, MNet* init);
// Replaces transition t of N by the box D.
MNet* M_refine(MNet* n, MTransition* t, MNet* d);

// Layout.
void M_move(MNet* net, std::int32_t dx, std::int32_t dy);
void M_layout_side_by_side(MNet* a, MNet* b);
void M_rotate_left(MNet* net);
void M_rotate_right(MNet* net);
void M_stretch_vertical(MNet* net, std::int32_t y1, std::int32_t y2, std::int32_t d);

// ---------------------------------------------------------------------------
// Synchronisation, restriction, scoping.

// Joined transitions whose guard can never hold, dropped so far.
extern std::uint16_t dead_transition_counter;

// Adds to the net, for each action of the list in turn, the closure of
// joins over that action and its conjugate: every transition holding ^a is
// joined with every one holding a (itself included), and every join again
// with the others while its label still holds the action.  An action is
// closed once however often the list names it (as a or ^a, with whatever
// parameters).  A join equal (trans_equal) to one already there is dropped;
// chains end where a merged arc carries more than `limit` tokens, where the
// dead-transition check drops a join, and for transitions without arcs after
// max(limit, 1) copies, counted over the whole list.  The result, up to
// trans_equal, does not depend on the order of the transition list.
MNet* M_synchronise(MNet* net, const ActionSet& actions, std::uint16_t limit);
MNet* M_restrict(MNet* net, const ActionSet& actions);
// t1 holds the odd-coded term p (^a), t2 the even-coded term q (a).
MTransition* sync_pair(MNet* net, MTransition* t1, MTransition* t2, const ActionTerm& p, const ActionTerm& q,
                       std::uint16_t limit);
// True when a renaming of communication variables maps t onto u: labels,
// guards and arcs alike term by term, and every variable restricted alike
// (variables that occur only in restrictions pair with any restricted alike).
bool trans_equal(const MTransition* t, const MTransition* u);
// True when the guard of t can hold for some values of its variables (always
// true while the dead-transition check is off).
bool check_transition_bindings(const MTransition* t);
// The satisfiability test itself, whatever the options say.
bool transition_satisfiable(const MTransition* t);

// Synchronises over each action of the list as above and then deletes every
// transition that still holds the action or its conjugate.
MNet* M_scope(MNet* net, const ActionSet& actions, std::uint16_t limit);
void mark_for_scope(MTransition* t, const ActionTerm& a);
MTransition* M_delete_transition(MNet* net, MTransition* t);

// ---------------------------------------------------------------------------
// Block composition and finishing.

struct DeclTriple {
    MNet* init = nullptr;
    MNet* data = nullptr;
    MNet* term = nullptr;
};

// The boxes of a block.  Each part is set by name (the type takes no
// positional initialiser), so that no call can swap data and
// initialisation:
//     BlockParts parts;
//     parts.body = body;
//     parts.data = data;
//     compose_block(parts, actions);
// Missing parts are null.
struct BlockParts {
    explicit BlockParts() = default;
    MNet* body = nullptr;
    MNet* data = nullptr;
    MNet* init = nullptr;
    MNet* term = nullptr;
};

// ((init ; body) ; term) in parallel with data, scoped over the actions
// unless scoping is off; missing parts are skipped.
MNet* compose_block(const BlockParts& parts, const ActionSet& actions);
DeclTriple merge_declarations(DeclTriple old_triple, DeclTriple new_triple);
void finish_net(MNet* net);
void sort_transition_references(MNet* net);

// ---------------------------------------------------------------------------
// Duplicate place removal and the consistency check.

void remove_duplicate_places(MNet* net, std::uint32_t* removed_places, std::uint32_t* removed_transitions,
                             std::uint32_t* preserved);
void number_elements(MNet* net);
int CheckNet(MNet* net);

}  // namespace mnet
