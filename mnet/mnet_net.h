// The M-net record: typed places, transitions with action labels and guards,
// arcs with inscriptions, blocks and phantom transitions, with the ordered
// insert, union, copy, remove and free operations, the global block table and
// the global transition counter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mnet_symtab.h"
#include "mnet_terms.h"

namespace mnet {

struct MArc;
struct MPlace;
struct MTransition;
struct MBlock;

// Reference entry of an element: reference number and decoration code.
struct RefEntry {
    std::uint16_t number = 0;
    std::uint16_t decoration = 0;
};

// A type component: a value set, or a placeholder that a template fills.
using TypeComponent = std::optional<ValueSet>;
enum { MAX_TYPE_COMPONENTS = 4 };

enum : std::uint8_t { PLACE_INTERNAL = 0, PLACE_ENTRY = 1, PLACE_EXIT = 2 };
enum : std::uint32_t { TR_PHANTOM_SYNC = 8, TR_OFFSET = 16, TR_REPEAT = 32, TR_PROCEDURE = 64 };

struct MPlace {
    MPlace* prev = nullptr;
    MPlace* next = nullptr;
    MArc* in = nullptr;         // arcs from transitions (TP)
    MArc* out = nullptr;        // arcs to transitions (PT)
    MArc* phantom_in = nullptr;
    MArc* phantom_out = nullptr;
    std::uint8_t type = PLACE_INTERNAL;
    std::vector<TypeComponent> components;  // at most 4
    std::uint32_t number = 0;
    std::uint16_t read_mark = 0;
    std::vector<RefEntry> refs;
    std::vector<std::uint16_t> blocks;
    std::int32_t x = 0, y = 0;
    std::uint32_t flags = 0;
    std::optional<std::string> initial_marking, current_marking, label;
    MPlace* copy = nullptr;     // link to the copy while a net is copied
};

struct MTransition {
    MTransition* prev = nullptr;
    MTransition* next = nullptr;
    MArc* pre = nullptr;   // arcs from places
    MArc* post = nullptr;  // arcs to places
    ActionSet label;
    RestrictionList restrictions;
    Guard guard;
    ComVars comvars;
    std::uint32_t number = 0;
    std::vector<RefEntry> refs;
    std::vector<std::uint16_t> blocks;
    std::vector<MTransition*> links;  // phantom links
    std::int32_t x = 0, y = 0;
    std::uint32_t flags = 0;
    std::optional<std::string> label_text;
    std::uint16_t macro_counter = 0;  // macro leaves of the guard while a template is read
    bool phantom = false;
    MTransition* copy = nullptr;
};

struct MArc {
    MArc* tprev = nullptr;  // in the transition's pre-set or post-set list
    MArc* tnext = nullptr;
    MArc* pprev = nullptr;  // in the place's list
    MArc* pnext = nullptr;
    MPlace* place = nullptr;
    MTransition* trans = nullptr;
    Inscription inscription;
    MArc* copy = nullptr;
    std::uint16_t flags = 0;
};

struct MBlock {
    MBlock* prev = nullptr;
    MBlock* next = nullptr;
    std::uint16_t number = 0;       // global block number
    std::uint32_t identifier = 0;   // BL identifier under which it was read
    std::int32_t min_x = 32767, min_y = 32767, max_x = 0, max_y = 0;
    std::int32_t centre_x = 0, centre_y = 0;
    std::uint32_t has_elements = 0;
};

struct MNet {
    MPlace* first_place = nullptr;
    MPlace* last_place = nullptr;
    MTransition* first_trans = nullptr;
    MTransition* last_trans = nullptr;
    MBlock* first_block = nullptr;
    MBlock* last_block = nullptr;
    MTransition* first_phantom = nullptr;
    MTransition* last_phantom = nullptr;
    std::uint32_t place_count = 0, trans_count = 0;
    std::uint32_t box = 0;
    std::uint32_t block_count = 0, phantom_count = 0;
    std::int32_t width = 0, height = 0;  // layout extent; wide enough for any row of boxes
    std::int32_t origin_x = 32767, origin_y = 32767;
};

struct BlockInfo {
    std::string name;
    std::uint16_t level = 0;
    std::uint16_t value = 0;
    std::vector<std::uint16_t> children;
    std::uint16_t reference = 0;
};

// ---------------------------------------------------------------------------
// Insert, find, union.
extern void* M_last_inserted;
MNet* M_new_net();
MPlace* M_fast_insert_place(MNet* net, std::uint32_t number, MPlace** cursor);
MTransition* M_fast_insert_transition(std::uint32_t* count, MTransition** first, MTransition** last,
                                      std::uint32_t number, MTransition** cursor, int phantom);
MArc* M_fast_insert_TP_edge(MPlace* first_place, MTransition* first_trans, std::uint32_t place_number,
                            std::uint32_t trans_number, MPlace** place_cursor, MTransition** trans_cursor,
                            MArc** arc_cursor, int phantom);
MArc* fast_insert_PT_edge(MPlace* first_place, MTransition* first_trans, std::uint32_t place_number,
                          std::uint32_t trans_number, MPlace** place_cursor, MTransition** trans_cursor,
                          MArc** arc_cursor, int phantom);
MNet* M_union(MNet* a, MNet* b);
MPlace* M_select_places(MNet* net, std::uint8_t bits_a, std::uint8_t bits_b);
MNet* M_drop_selected(MNet* net, std::uint8_t bits);

// Element lists with checked 16-bit counts.
void add_reference(std::vector<RefEntry>& refs, std::uint16_t number, std::uint16_t decoration);
void add_block_number(std::vector<std::uint16_t>& blocks, std::uint16_t number);

// ---------------------------------------------------------------------------
// Blocks.
void init_blocks();
void free_blocks();
std::size_t block_table_size();
void new_named_block(const std::string& name, std::uint16_t level, std::uint16_t* number_out,
                     std::uint16_t reference, std::uint16_t value);
void new_unnamed_block(std::uint16_t level, std::uint16_t* number_out, std::uint16_t reference,
                       std::uint16_t value);
BlockInfo* get_block(std::uint16_t number);
MBlock* M_fast_insert_block(MNet* net, std::uint32_t identifier, MBlock** cursor, const std::string& name);
void M_add_block(MNet* net, std::uint16_t number);
void block_to_places(MPlace* first, std::uint16_t number);
void block_to_places(MNet* net, std::uint16_t number);  // from the net's first place
void block_to_transitions(MNet* net, std::uint16_t number);
void block_to_phantoms(MNet* net, std::uint16_t number);
void copy_place_blocks(MPlace* to, const MPlace* from);
void copy_transition_blocks(MTransition* to, const MTransition* from);
void copy_block_list(MNet* to, const MNet* from);
void merge_block_list(MNet* a, const MNet* b);
void free_block_list(MNet* net);
std::uint32_t block_in_net(const MNet* net, std::uint16_t number);
void M_block_boxes(MNet* net);
void write_block_list(std::FILE* f, const MNet* net, const std::vector<std::uint16_t>& numbers);
void write_BL_section(const MNet* net, std::FILE* f, bool reference_form);

// ---------------------------------------------------------------------------
// Phantom transitions.
MTransition* new_phantom();
void add_phantom_link(MTransition* t, MTransition* other);
void copy_phantom_links(MTransition* to, const MTransition* from);
MTransition* M_Copy2PTransition(MNet* net, MTransition* t);
// Reads "(n,m,...)"; each number is looked up in the table of identifiers.
void parse_phantom_list(const std::string& text, std::vector<MTransition*>& links,
                        const std::unordered_map<std::uint32_t, MTransition*>& table);
void write_phantom_links(std::FILE* f, const MNet* net, const MTransition* t);

// ---------------------------------------------------------------------------
// Copy, remove, free; the global transition counter.
extern unsigned long transition_counter;
MPlace* new_place();
MTransition* new_transition();  // counted against max_transitions
// The destination receives a copy of the value set; a component that is not
// a value set (a placeholder a template fills) is passed on as it is.
void copy_u16_array(TypeComponent* destination, const TypeComponent& source);
void copy_u16_array(ValueSet* destination, const ValueSet& source);
bool type_equal(const MPlace* p, const MPlace* q);
bool dot_type(const MPlace* p);
MPlace* DuplicatePlace(MNet* net, MPlace* p, MArc** last_in, MArc** last_out, MArc** last_pin,
                       MArc** last_pout);
MArc* DuplicateTPEdges(MPlace* from, MPlace* to, MArc** last, int phantom);
MArc* DuplicatePTEdges(MPlace* from, MPlace* to, MArc** last, int phantom);
MTransition* DuplicateTrans(MNet* net, MTransition* t, MArc** last_pre, MArc** last_post,
                            const std::uint16_t* map);
// Unites q's block numbers and reference entries into p: those p does not
// hold yet are appended in q's order.
void MergePlaceInfo(MPlace* p, const MPlace* q);
MPlace* RemovePlace(MNet* net, MPlace* p);
MTransition* RemoveTrans(MNet* net, MTransition* t, int phantom);
void FreeNet(MNet** net);
MNet* M_copy_net(MNet* net);
// A small box: two places and a transition.  The arc operations join a
// place, found by number from the start place (forwards or backwards), with
// the box's transition; number 0 takes the box's first place for a pre-set
// arc and its second place for a post-set arc.  New arcs go to the head of
// both lists.
struct SmallBox {
    MPlace* first = nullptr;
    MPlace* second = nullptr;
    MTransition* trans = nullptr;
};
MArc* add_pre_arc(std::uint32_t place_number, const Inscription& inscription, MPlace* start, SmallBox& box,
                  std::uint16_t flags);
MArc* add_post_arc(std::uint32_t place_number, const Inscription& inscription, MPlace* start, SmallBox& box,
                   std::uint16_t flags);
void add_arcs(std::uint32_t place_number, const Inscription& inscription, MPlace* start, SmallBox& box,
              std::uint16_t flags);
void add_place_references(MPlace* first, std::uint8_t type_bits, std::uint16_t number, std::uint16_t kind);
std::string* join_labels(const std::optional<std::string>& a, const std::optional<std::string>& b,
                         std::optional<std::string>& out);

}  // namespace mnet
