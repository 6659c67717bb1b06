// The low-level net record: places, transitions, weighted arcs and a marking.
//
// Places and transitions live in doubly linked lists kept in name order
// (readers in block mode and the unfolder append in creation order instead).
// Every arc lies in two lists: the postset of its source and the preset of its
// target.  Arc lists of a place are sorted by transition name, those of a
// transition by place name.  A name index kept beside the lists makes look-ups
// and sorted inserts logarithmic, so large nets read in linear-logarithmic time.
//
// Look-ups by number use a number index that follows the numbers the nodes
// carry (set by renumber, the appends, block readers, or directly).
//
// Misuse (no net, unknown name) warns on standard error with
// "WARNING: NN.<operation>(): ..." and returns 0 or an empty pointer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"

namespace netlib {

struct NET_ARC;
struct NET_NODE;
struct NodeExtras;   // optional fields a reader keeps for writing back (vos.h)
struct ArcExtras;    // inscription, v value of an arc kept by a reader (vos.h)
struct NetIndex;     // name and number index of a net (private)

// Deleter so that NET_NODE/NET_ARC can own incomplete types.
struct NodeExtrasDeleter { void operator()(NodeExtras*) const; };
struct ArcExtrasDeleter { void operator()(ArcExtras*) const; };

struct NET_NODE {
    NET_NODE* prev = nullptr;
    NET_NODE* next = nullptr;
    NET_ARC* preset = nullptr;   // first arc ending in this node
    NET_ARC* postset = nullptr;  // first arc starting in this node
    std::string name;
    // Owned attachment: the kept optional fields of a reader; freed with the node.
    std::unique_ptr<NodeExtras, NodeExtrasDeleter> extras;
    // Non-owning link for the user of the net (the unfolder ties a prefix node
    // to the node of the unfolded net that labels it).  Never freed here.
    void* link = nullptr;
    std::uint32_t number = 0;    // 1-based position among its kind, 0 until numbered
    std::int32_t kind = 0;       // places: 0 ordinary, 1 entry, 2 exit (3, 4 unfolder)
    std::uint32_t aux = 0;       // places: component number; free otherwise
    std::int32_t marking = 0;    // tokens of a place

    // Kept by the library; do not change directly.
    NET_ARC* preset_tail = nullptr;   // last arc of the preset list
    NET_ARC* postset_tail = nullptr;  // last arc of the postset list
    std::uint8_t node_type = 0;       // 1 place, 2 transition
};

struct NET_ARC {
    // Links in the arc list of its transition (preset of t for a place->t arc,
    // postset of t for a t->place arc).
    NET_ARC* t_prev = nullptr;
    NET_ARC* t_next = nullptr;
    // Links in the arc list of its place (postset of p for p->t, preset for t->p).
    NET_ARC* p_prev = nullptr;
    NET_ARC* p_next = nullptr;
    NET_NODE* place = nullptr;
    NET_NODE* transition = nullptr;
    std::int32_t weight = 1;
    std::unique_ptr<ArcExtras, ArcExtrasDeleter> extras;
};

// Flag bit 0: the nodes of each list were allocated as one block by a reader.
constexpr std::uint8_t NET_BLOCK_ALLOCATED = 1;

struct NET {
    NET_NODE* first_place = nullptr;
    NET_NODE* last_place = nullptr;
    NET_NODE* first_transition = nullptr;
    NET_NODE* last_transition = nullptr;
    std::uint32_t places = 0;
    std::uint32_t transitions = 0;
    std::uint32_t components = 0;
    std::uint8_t flags = 0;
    std::string identifier;      // format class: "PlainNet", "PetriBox", ...
    bool has_extras = false;     // the reader kept optional fields (write_VOS needs them)

    NET();
    ~NET();                      // frees every node and arc
    NET(const NET&) = delete;
    NET& operator=(const NET&) = delete;

    // Internals of the library.
    std::unique_ptr<NetIndex> index;
    std::vector<std::unique_ptr<NET_NODE[]>> node_blocks;
};

// Singly linked cell of name lists and marking lists (200-character names).
struct NameCell {
    std::string name;
    std::int32_t tokens = 0;      // marking lists only
    std::unique_ptr<NameCell> next;

    NameCell() = default;
    NameCell(const NameCell&) = delete;
    NameCell& operator=(const NameCell&) = delete;
    // Frees the rest of the chain iteratively (no recursion on long chains).
    ~NameCell();
};
using NameList = std::unique_ptr<NameCell>;

// ---- editions -------------------------------------------------------------
// The library is shared by every program; a program may select the edition it
// is built for before it does anything else.  The cosweep edition differs in
// messages only where noted at each operation: allocation failures name no
// size, the reader-side inserts always warn about an existing name (naming
// the operation) and never exit, the token readers use their own syntax
// error texts and print nothing before one, read_new_VOS names read_VOS when
// a file cannot be opened, and the writers leave out text entries (write_VOS)
// and components (write_VOS_PlainNet), the latter writing a marking once.
enum class Edition { Standard, Cosweep };
extern Edition edition;

// ---- allocation: returns the memory or ends the program (exit 3) ----------
// "ERROR: NN.%s(): memory overflow (size=%d).\n"
// (cosweep edition: "ERROR: NN.%s(): memory overflow.\n")
void* Malloc(std::size_t size);                 // zero-filled
void* Calloc(std::size_t count, std::size_t size);
void* Realloc(void* block, std::size_t size);
char* Strdup(const char* s);
void Free(void* block);
// Ends the program as an exhausted Malloc would (for C++ allocation failures).
[[noreturn]] void memory_overflow(const char* operation, std::size_t size);
// Makes every failed C++ allocation (operator new) of the program end it as
// an exhausted Malloc does: memory_overflow with the routine's name (size 0:
// the size of such a request is not known), exit code 3.  Each program's main
// installs it before anything else; a program with a memory message of its
// own installs its own handler with std::set_new_handler instead.
void install_memory_handler(const char* routine = "Malloc");

// ---- name order ------------------------------------------------------------
bool name_less(std::string_view a, std::string_view b);
bool name_equal(std::string_view a, std::string_view b);
void use_length_order();   // default: shorter first, then first 200 bytes
void use_lexical_order();  // first 200 bytes
// The positions of `names` in name order; equal names keep the order given.
std::vector<std::size_t> name_order(const NameTable& names);

// Duplicate policy of the reader-side inserts: 1 error+exit 1, 2 warn, other silent.
extern int duplicate_policy;

// ---- life cycle -------------------------------------------------------------
NET* new_net();
void delete_net(NET*& net);

// ---- look-up ----------------------------------------------------------------
NET_NODE* find_P(NET* net, const std::string& name);
NET_NODE* find_T(NET* net, const std::string& name);
NET_NODE* find_P_num(NET* net, std::uint32_t number);
NET_NODE* find_T_num(NET* net, std::uint32_t number);
NET_ARC* find_PT_connection(NET* net, const std::string& place, const std::string& trans);
NET_ARC* find_TP_connection(NET* net, const std::string& place, const std::string& trans);
NET_ARC* find_PT_connection_num(NET* net, std::uint32_t place, std::uint32_t trans);
NET_ARC* find_TP_connection_num(NET* net, std::uint32_t place, std::uint32_t trans);
NET_NODE* next_place(NET* net, NET_NODE* node);
NET_NODE* next_transition(NET* net, NET_NODE* node);
NET_ARC* next_PT_connection(NET* net, NET_ARC* arc);
NET_ARC* next_TP_connection(NET* net, NET_ARC* arc);
std::uint32_t row_index(NET* net, const std::string& place);
std::uint32_t column_index(NET* net, const std::string& trans);
NET_NODE* fast_find_P_num(NET* net, std::uint32_t number, NET_NODE*& cursor);
NET_NODE* fast_find_T_num(NET* net, std::uint32_t number, NET_NODE*& cursor);

// ---- counts and queries -----------------------------------------------------
std::uint32_t place_number(NET* net);
std::uint32_t trans_number(NET* net);
std::uint32_t component_number(NET* net);
std::uint16_t max_placename_length(NET* net);
std::uint16_t max_transitionname_length(NET* net);
std::int32_t place_successor_number(NET* net, const std::string& place);
std::int32_t trans_successor_number(NET* net, const std::string& trans);
std::int32_t place_predecessor_number(NET* net, const std::string& place);
std::int32_t trans_predecessor_number(NET* net, const std::string& trans);
NameList place_successor_list(NET* net, const std::string& place);
NameList trans_successor_list(NET* net, const std::string& trans);
NameList place_predecessor_list(NET* net, const std::string& place);
NameList trans_predecessor_list(NET* net, const std::string& trans);
std::int32_t PT_connection(NET* net, const std::string& place, const std::string& trans);
std::int32_t TP_connection(NET* net, const std::string& place, const std::string& trans);
std::int32_t marking(NET* net, const std::string& place);
bool name_unused(NET* net, const std::string& name);

// ---- inserts -----------------------------------------------------------------
NET_NODE* insert_place(NET* net, const std::string& name, std::int32_t tokens);
NET_NODE* insert_transition(NET* net, const std::string& name);
NET_NODE* fast_insert_place(NET* net, const std::string& name, std::int32_t tokens, NET_NODE*& cursor);
// The same, giving a new place the component number `aux` (an existing place
// keeps its own).
NET_NODE* fast_insert_place(NET* net, const std::string& name, std::int32_t tokens, NET_NODE*& cursor,
                            std::uint32_t aux);
NET_NODE* fast_insert_transition(NET* net, const std::string& name, NET_NODE*& cursor);
NET_ARC* insert_PT_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight);
NET_ARC* insert_TP_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight);
void insert_PTP_con(NET* net, const std::string& place, const std::string& trans,
                    std::int32_t pt_weight, std::int32_t tp_weight);
struct ArcCursors {
    NET_NODE* place = nullptr;
    NET_NODE* transition = nullptr;
    NET_ARC* arc = nullptr;
};
NET_ARC* fast_insert_PT_con(NET* net, const std::string& place, const std::string& trans,
                            std::int32_t weight, ArcCursors& cur);
NET_ARC* fast_insert_TP_con(NET* net, const std::string& place, const std::string& trans,
                            std::int32_t weight, ArcCursors& cur);
NET_ARC* fast_insert_PT_num(NET* net, std::uint32_t place, std::uint32_t trans,
                            std::int32_t weight, ArcCursors& cur);
NET_ARC* fast_insert_TP_num(NET* net, std::uint32_t place, std::uint32_t trans,
                            std::int32_t weight, ArcCursors& cur);
void fast_insert_PTP_con(NET* net, const std::string& place, const std::string& trans,
                         std::int32_t pt_weight, std::int32_t tp_weight, ArcCursors& cur);

// Unsorted appends in creation order (the unfolder's prefix, block-mode readers).
// The node is numbered with its new position; its name may be set later with
// rename_node.  Names must only change through rename_node: the name index
// is kept beside the lists.  Several nodes may carry the same name; a look-up
// then finds the first of them in list order.
NET_NODE* append_place(NET* net, const std::string& name, std::int32_t tokens);
NET_NODE* append_transition(NET* net, const std::string& name);
// Appends an arc at the end of both lists (no sorting).  Weight 0 makes none.
NET_ARC* append_PT_arc(NET* net, NET_NODE* place, NET_NODE* trans, std::int32_t weight);
NET_ARC* append_TP_arc(NET* net, NET_NODE* trans, NET_NODE* place, std::int32_t weight);
void rename_node(NET* net, NET_NODE* node, const std::string& name);
// Numbers places and transitions 1, 2, ... in list order.
void renumber(NET* net);

// ---- deletes -------------------------------------------------------------------
int delete_place(NET* net, const std::string& name);
int delete_transition(NET* net, const std::string& name);
NET_NODE* delete_place_node(NET* net, NET_NODE* node);       // returns the successor
NET_NODE* delete_transition_node(NET* net, NET_NODE* node);  // returns the successor
int delete_P_to_T_con_node(NET* net, NET_ARC* arc);
int delete_T_to_P_con_node(NET* net, NET_ARC* arc);
// delete_P_to_T_connection lowers the weight of the transition->place arc
// (the one find_TP_connection finds) by one, delete_T_to_P_connection that of
// the place->transition arc; an arc reaching 0 is removed.  1 also when
// there is no such arc.
int delete_P_to_T_connection(NET* net, const std::string& place, const std::string& trans);
int delete_T_to_P_connection(NET* net, const std::string& place, const std::string& trans);

// ---- markings --------------------------------------------------------------------
int change_place_marking(NET* net, const std::string& place, std::int32_t tokens);
NameList copy_start_marking(NET* net);
int change_start_marking(NET* net, const NameList& list);
void show_marking(const NameList& list);
void print_name_list(const NameList& list);   // "{a, b}\n"
std::size_t chain_length(const NameList& list);
void free_chain(NameList& list);              // frees every cell, clears the head

// ---- helpers for readers ---------------------------------------------------------
// Allocates one place (transition) per name as one block, appends them to
// the list in the order given, numbers them by position and sets flag bit 0.
// The nodes of a block are released with the net; deleting one frees only
// what it owns.
std::vector<NET_NODE*> append_place_block(NET* net, const NameTable& names);
std::vector<NET_NODE*> append_transition_block(NET* net, const NameTable& names);
// Inserts places (transitions) by name as fast_insert_place would, one after
// the other in the order given (duplicate policy included; new places get no
// tokens); returns the node of each name.  Into an empty list this sorts
// once instead of searching per name.
std::vector<NET_NODE*> fast_insert_places(NET* net, const NameTable& names);
std::vector<NET_NODE*> fast_insert_transitions(NET* net, const NameTable& names);
// An arc for insert_arcs.
struct NewArc {
    NET_NODE* place = nullptr;
    NET_NODE* transition = nullptr;
    bool place_to_transition = true;
    std::int32_t weight = 1;
    std::unique_ptr<ArcExtras, ArcExtrasDeleter> extras;
};
// Inserts many arcs as the fast inserts would, one after the other (a later
// arc between the same ends replaces the weight, weight 0 removes it), but
// sorts them into the arc lists in O(A log A).
void insert_arcs(NET* net, std::vector<NewArc>& arcs);

}  // namespace netlib
