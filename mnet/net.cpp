#include "mnet_net.h"

#include <algorithm>
#include <bitset>
#include <unordered_set>
#include <cctype>
#include <memory>
#include <unordered_map>

namespace mnet {

void* M_last_inserted = nullptr;
unsigned long transition_counter = 0;

void add_reference(std::vector<RefEntry>& refs, std::uint16_t number, std::uint16_t decoration) {
    if (refs.size() >= 65535) fatal("Overflow: too many references of one element !");
    refs.push_back(RefEntry{number, decoration});
}

void add_block_number(std::vector<std::uint16_t>& blocks, std::uint16_t number) {
    if (blocks.size() >= 65535) fatal("Overflow: too many blocks of one element !");
    blocks.push_back(number);
}

MNet* M_new_net() {
    install_memory_handler();
    return new MNet();
}

MPlace* new_place() { return new MPlace(); }

void copy_u16_array(TypeComponent* destination, const TypeComponent& source) { *destination = source; }
void copy_u16_array(ValueSet* destination, const ValueSet& source) { *destination = source; }

void MergePlaceInfo(MPlace* p, const MPlace* q) {
    std::unordered_set<std::uint32_t> held(p->blocks.begin(), p->blocks.end());
    for (std::uint16_t b : q->blocks)
        if (held.insert(b).second) add_block_number(p->blocks, b);
    auto key = [](const RefEntry& e) { return std::uint32_t(e.number) << 16 | e.decoration; };
    held.clear();
    for (const RefEntry& r : p->refs) held.insert(key(r));
    for (const RefEntry& r : q->refs)
        if (held.insert(key(r)).second) add_reference(p->refs, r.number, r.decoration);
}

MTransition* new_transition() {
    ++transition_counter;
    if (transition_counter > max_transitions) fatal("Maximum number of transitions exceeded !");
    return new MTransition();
}

MTransition* new_phantom() {
    auto* t = new MTransition();
    t->phantom = true;
    return t;
}

// ---------------------------------------------------------------------------
// Ordered insertion by number.
namespace {
template <class E, class Make>
E* ordered_insert(E** first, E** last, std::uint32_t number, E** cursor, const char* what, Make make) {
    E* at = (cursor && *cursor && (*cursor)->number <= number) ? *cursor : *first;
    while (at && at->number < number) at = at->next;
    if (at && at->number == number) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR: HL.M_fast_insert_%s(): %s '%u' already exists.\n", what, what, number);
        std::exit(1);
    }
    E* e = make();
    e->number = number;
    if (at) {
        e->next = at;
        e->prev = at->prev;
        if (at->prev) at->prev->next = e;
        else *first = e;
        at->prev = e;
    } else {
        e->prev = *last;
        if (*last) (*last)->next = e;
        else *first = e;
        *last = e;
    }
    if (cursor) *cursor = e;
    M_last_inserted = e;
    return e;
}
}  // namespace

MPlace* M_fast_insert_place(MNet* net, std::uint32_t number, MPlace** cursor) {
    MPlace* p = ordered_insert(&net->first_place, &net->last_place, number, cursor, "place",
                               [] { return new_place(); });
    ++net->place_count;
    return p;
}

MTransition* M_fast_insert_transition(std::uint32_t* count, MTransition** first, MTransition** last,
                                      std::uint32_t number, MTransition** cursor, int phantom) {
    MTransition* t = ordered_insert(first, last, number, cursor, "transition",
                                    [phantom] { return phantom ? new_phantom() : new_transition(); });
    ++*count;
    return t;
}

// ---------------------------------------------------------------------------
// Arcs.
namespace {
MPlace* find_place(MPlace* first, std::uint32_t number, MPlace* hint) {
    MPlace* p = (hint && hint->number <= number) ? hint : first;
    while (p && p->number < number) p = p->next;
    return (p && p->number == number) ? p : nullptr;
}

MTransition* find_trans(MTransition* first, std::uint32_t number, MTransition* hint) {
    MTransition* t = (hint && hint->number <= number) ? hint : first;
    while (t && t->number < number) t = t->next;
    return (t && t->number == number) ? t : nullptr;
}

// to_place: arc from the transition to the place (TP).
MArc* insert_edge(bool to_place, const char* name, MPlace* first_place, MTransition* first_trans,
                  std::uint32_t pn, std::uint32_t tn, MPlace** pc, MTransition** tc, MArc** ac, int phantom) {
    MPlace* hint = pc ? *pc : nullptr;
    if (ac && *ac && (*ac)->place && (!hint || (*ac)->place->number > hint->number) && (*ac)->place->number <= pn)
        hint = (*ac)->place;
    MPlace* p = find_place(first_place, pn, hint);
    if (!p) {
        std::fprintf(stderr, "WARNING: NN.%s(): place '%d' does not exist.\n", name, static_cast<int>(pn));
        return nullptr;
    }
    MArc** plist = to_place ? (phantom ? &p->phantom_in : &p->in) : (phantom ? &p->phantom_out : &p->out);
    MArc* before = nullptr;  // last arc with a smaller transition number
    for (MArc* a = *plist; a && a->trans->number <= tn; a = a->pnext) {
        if (a->trans->number == tn) {
            if (pc) *pc = p;
            if (tc) *tc = a->trans;
            if (ac) *ac = a;
            return a;
        }
        before = a;
    }
    MTransition* th = tc ? *tc : nullptr;
    if (!(th && th->number <= tn) && before) th = before->trans;
    MTransition* t = find_trans(first_trans, tn, th);
    if (!t) {
        std::fprintf(stderr, "WARNING: NN.%s(): transition '%d' does not exist.\n", name, static_cast<int>(tn));
        return nullptr;
    }
    auto* arc = new MArc();
    arc->place = p;
    arc->trans = t;
    // Into the place's list after `before`.
    arc->pprev = before;
    arc->pnext = before ? before->pnext : *plist;
    if (arc->pnext) arc->pnext->pprev = arc;
    if (before) before->pnext = arc;
    else *plist = arc;
    // Into the transition's list after the last arc with a smaller place number.
    MArc** tlist = to_place ? &t->post : &t->pre;
    MArc* tb = nullptr;
    for (MArc* a = *tlist; a && a->place->number < pn; a = a->tnext) tb = a;
    arc->tprev = tb;
    arc->tnext = tb ? tb->tnext : *tlist;
    if (arc->tnext) arc->tnext->tprev = arc;
    if (tb) tb->tnext = arc;
    else *tlist = arc;
    if (pc) *pc = p;
    if (tc) *tc = t;
    if (ac) *ac = arc;
    M_last_inserted = arc;
    return arc;
}
}  // namespace

MArc* M_fast_insert_TP_edge(MPlace* first_place, MTransition* first_trans, std::uint32_t pn, std::uint32_t tn,
                            MPlace** pc, MTransition** tc, MArc** ac, int phantom) {
    return insert_edge(true, "M_fast_insert_TP_edge", first_place, first_trans, pn, tn, pc, tc, ac, phantom);
}

MArc* fast_insert_PT_edge(MPlace* first_place, MTransition* first_trans, std::uint32_t pn, std::uint32_t tn,
                          MPlace** pc, MTransition** tc, MArc** ac, int phantom) {
    return insert_edge(false, "fast_insert_PT_edge", first_place, first_trans, pn, tn, pc, tc, ac, phantom);
}

// ---------------------------------------------------------------------------
// Union and place selection.
namespace {
template <class E>
void append_list(E*& first_a, E*& last_a, E* first_b, E* last_b) {
    if (!first_b) return;
    if (last_a) {
        last_a->next = first_b;
        first_b->prev = last_a;
    } else {
        first_a = first_b;
    }
    last_a = last_b;
}

void move_block_list(MNet* a, MNet* b);
}  // namespace

MNet* M_union(MNet* a, MNet* b) {
    if (!b) return a;
    append_list(a->first_place, a->last_place, b->first_place, b->last_place);
    append_list(a->first_trans, a->last_trans, b->first_trans, b->last_trans);
    append_list(a->first_phantom, a->last_phantom, b->first_phantom, b->last_phantom);
    a->place_count += b->place_count;
    a->trans_count += b->trans_count;
    a->phantom_count += b->phantom_count;
    move_block_list(a, b);
    delete b;
    return a;
}

MPlace* M_select_places(MNet* net, std::uint8_t bits_a, std::uint8_t bits_b) {
    MPlace *head_a = nullptr, *tail_a = nullptr, *head_b = nullptr, *tail_b = nullptr;
    for (MPlace* p = net->last_place; p;) {
        MPlace* earlier = p->prev;
        if (p->type & bits_a) {
            if (tail_a) tail_a->prev = p;
            else head_a = p;
            tail_a = p;
        } else if (p->type & bits_b) {
            if (tail_b) tail_b->prev = p;
            else head_b = p;
            tail_b = p;
        }
        p = earlier;
    }
    if (tail_a) tail_a->prev = nullptr;
    if (tail_b) tail_b->prev = nullptr;
    net->last_place = head_a;
    return head_b;
}

MNet* M_drop_selected(MNet* net, std::uint8_t bits) {
    MPlace* prev = nullptr;
    net->last_place = nullptr;
    for (MPlace* p = net->first_place; p;) {
        p->prev = prev;
        MPlace* nx = p->next;
        if (!nx) net->last_place = p;
        if (p->type & bits) RemovePlace(net, p);
        else prev = p;
        p = nx;
    }
    if (!net->first_place) net->last_place = nullptr;
    return net;
}

// ---------------------------------------------------------------------------
// Blocks.
namespace {
std::vector<std::unique_ptr<BlockInfo>>& block_table() {
    static std::vector<std::unique_ptr<BlockInfo>> t;
    return t;
}
std::uint16_t unnamed_counter = 0;

std::uint16_t append_block(std::unique_ptr<BlockInfo> b) {
    auto& t = block_table();
    if (t.size() >= 65535) fatal("Overflow: too many blocks !");
    t.push_back(std::move(b));
    return static_cast<std::uint16_t>(t.size());
}

MBlock* find_net_block(const MNet* net, std::uint16_t number) {
    for (MBlock* b = net->first_block; b; b = b->next)
        if (b->number == number) return b;
    return nullptr;
}

void append_net_block(MNet* net, MBlock* b) {
    b->prev = net->last_block;
    b->next = nullptr;
    if (net->last_block) net->last_block->next = b;
    else net->first_block = b;
    net->last_block = b;
    ++net->block_count;
}

// The union's blocks: b's blocks that a lacks move to the end of a's list,
// the others are freed.  The blocks are moved, not copied, and the numbers
// held are marked in a bit set that is cleared again afterwards, so that a
// union allocates nothing (the parallel composition of many automata adds
// each small net to an ever larger one).
void move_block_list(MNet* a, MNet* b) {
    static std::bitset<65536> held;
    for (MBlock* x = a->first_block; x; x = x->next) held.set(x->number);
    for (MBlock* x = b->first_block; x;) {
        MBlock* next = x->next;
        if (held.test(x->number)) {
            delete x;
        } else {
            held.set(x->number);
            append_net_block(a, x);
        }
        x = next;
    }
    for (MBlock* x = a->first_block; x; x = x->next) held.reset(x->number);
    b->first_block = b->last_block = nullptr;
    b->block_count = 0;
}
}  // namespace

void init_blocks() {
    free_blocks();
    block_table().reserve(10);
}

void free_blocks() { block_table().clear(); }

std::size_t block_table_size() { return block_table().size(); }

void new_named_block(const std::string& name, std::uint16_t level, std::uint16_t* number_out,
                     std::uint16_t reference, std::uint16_t value) {
    auto b = std::make_unique<BlockInfo>();
    b->name = name;
    b->level = level;
    b->reference = reference;
    b->value = value;
    std::uint16_t n = append_block(std::move(b));
    if (number_out) *number_out = n;
}

void new_unnamed_block(std::uint16_t level, std::uint16_t* number_out, std::uint16_t reference,
                       std::uint16_t value) {
    ++unnamed_counter;
    new_named_block("unnamed_block_" + std::to_string(unnamed_counter), level, number_out, reference, value);
}

BlockInfo* get_block(std::uint16_t number) {
    auto& t = block_table();
    if (number < 1 || number > t.size()) return nullptr;
    return t[number - 1].get();
}

MBlock* M_fast_insert_block(MNet* net, std::uint32_t identifier, MBlock** cursor, const std::string& name) {
    MBlock* at = (cursor && *cursor && (*cursor)->identifier <= identifier) ? *cursor : net->first_block;
    while (at && at->identifier < identifier) at = at->next;
    if (at && at->identifier == identifier) {
        std::fflush(stdout);
        std::fprintf(stderr, "ERROR: HL.M_fast_insert_block(): block '%u' already exists.\n", identifier);
        std::exit(1);
    }
    auto* b = new MBlock();
    b->identifier = identifier;
    new_named_block(name, 0, &b->number, 0, 0);
    if (at) {
        b->next = at;
        b->prev = at->prev;
        if (at->prev) at->prev->next = b;
        else net->first_block = b;
        at->prev = b;
        ++net->block_count;
    } else {
        append_net_block(net, b);
    }
    if (cursor) *cursor = b;
    M_last_inserted = b;
    return b;
}

void M_add_block(MNet* net, std::uint16_t number) {
    BlockInfo* info = get_block(number);
    if (info) {
        for (MBlock* b = net->first_block; b; b = b->next) {
            BlockInfo* sub = get_block(b->number);
            if (!sub || sub->level != info->level + 1) continue;
            bool known = false;
            for (std::uint16_t c : info->children) known = known || c == b->number;
            if (!known) {
                if (info->children.size() >= 65535) fatal("Overflow: too many sub-blocks !");
                info->children.push_back(b->number);
            }
        }
    }
    auto* b = new MBlock();
    b->number = number;
    append_net_block(net, b);
}

void block_to_places(MPlace* first, std::uint16_t number) {
    for (MPlace* p = first; p; p = p->next)
        if (p->type == PLACE_INTERNAL) add_block_number(p->blocks, number);
}

void block_to_places(MNet* net, std::uint16_t number) { block_to_places(net->first_place, number); }

void block_to_transitions(MNet* net, std::uint16_t number) {
    for (MTransition* t = net->first_trans; t; t = t->next) add_block_number(t->blocks, number);
}

void block_to_phantoms(MNet* net, std::uint16_t number) {
    for (MTransition* t = net->first_phantom; t; t = t->next) add_block_number(t->blocks, number);
}

void copy_place_blocks(MPlace* to, const MPlace* from) { to->blocks = from->blocks; }
void copy_transition_blocks(MTransition* to, const MTransition* from) { to->blocks = from->blocks; }

void copy_block_list(MNet* to, const MNet* from) {
    free_block_list(to);
    for (MBlock* b = from->first_block; b; b = b->next) {
        auto* c = new MBlock(*b);
        append_net_block(to, c);
    }
    to->block_count = from->block_count;
}

void merge_block_list(MNet* a, const MNet* b) {
    std::unordered_map<std::uint16_t, bool> held;
    for (MBlock* x = a->first_block; x; x = x->next) held[x->number] = true;
    for (MBlock* x = b->first_block; x; x = x->next) {
        if (held.count(x->number)) continue;
        held[x->number] = true;
        append_net_block(a, new MBlock(*x));
    }
}

void free_block_list(MNet* net) {
    for (MBlock* b = net->first_block; b;) {
        MBlock* n = b->next;
        delete b;
        b = n;
    }
    net->first_block = net->last_block = nullptr;
    net->block_count = 0;
}

std::uint32_t block_in_net(const MNet* net, std::uint16_t number) {
    MBlock* b = find_net_block(net, number);
    return b ? b->has_elements : 0;
}

void M_block_boxes(MNet* net) {
    std::unordered_map<std::uint16_t, MBlock*> index;
    for (MBlock* b = net->first_block; b; b = b->next) index.emplace(b->number, b);
    auto widen = [](MBlock* b, std::int32_t x, std::int32_t y) {
        if (!b->has_elements) {
            b->min_x = b->max_x = x;
            b->min_y = b->max_y = y;
            b->has_elements = 1;
        } else {
            if (x < b->min_x) b->min_x = x;
            if (x > b->max_x) b->max_x = x;
            if (y < b->min_y) b->min_y = y;
            if (y > b->max_y) b->max_y = y;
        }
    };
    for (MPlace* p = net->first_place; p; p = p->next)
        for (std::uint16_t n : p->blocks) {
            auto it = index.find(n);
            if (it == index.end()) std::fprintf(stderr, "Internal error: places: blocknr (%u) not found\n", n);
            else widen(it->second, p->x, p->y);
        }
    for (MTransition* t = net->first_trans; t; t = t->next)
        for (std::uint16_t n : t->blocks) {
            auto it = index.find(n);
            if (it == index.end()) std::fprintf(stderr, "Internal error: blocknr (%u) not found\n", n);
            else widen(it->second, t->x, t->y);
        }
    for (MBlock* b = net->first_block; b; b = b->next) {
        if (b->has_elements) {
            b->centre_x = (b->min_x + b->max_x) / 2;
            b->centre_y = (b->min_y + b->max_y) / 2;
        } else {
            b->min_x = b->min_y = b->max_x = b->max_y = b->centre_x = b->centre_y = 10;
        }
    }
}

void write_block_list(std::FILE* f, const MNet* net, const std::vector<std::uint16_t>& numbers) {
    bool any = false;
    for (std::uint16_t n : numbers) {
        if (!block_in_net(net, n)) continue;
        std::fputs(any ? "," : "u\"(", f);
        std::fprintf(f, "%u", n);
        any = true;
    }
    if (any) std::fputs(")\"", f);
}

void write_BL_section(const MNet* net, std::FILE* f, bool reference_form) {
    bool first = true;
    for (MBlock* b = net->first_block; b; b = b->next) {
        if (!b->has_elements) continue;
        if (first) std::fputs("BL\n", f);
        first = false;
        BlockInfo* info = get_block(b->number);
        if (reference_form) {
            std::fprintf(f, "B%u T\"%d:0\"", b->number, info ? info->reference : 0);
        } else {
            std::fprintf(f, "%u \"B%u\"%lld@%lld", b->number, b->number, static_cast<long long>(b->centre_x) * scale,
                         static_cast<long long>(b->centre_y) * scale);
            std::fputs("b", f);
            write_quoted(f, info ? info->name : std::string());
            if (info) write_block_list(f, net, info->children);
        }
        std::fputs("\n", f);
    }
}

// ---------------------------------------------------------------------------
// Phantom transitions.
void add_phantom_link(MTransition* t, MTransition* other) {
    if (t->links.size() >= 65535) fatal("Overflow: too many phantom links !");
    t->links.push_back(other);
}

void copy_phantom_links(MTransition* to, const MTransition* from) { to->links = from->links; }

namespace {
// Copies the arcs of list `from` (linked through tnext) as arcs of transition
// `to`, joined to the same places on the given place-list side.
void copy_trans_arcs(MArc* from, MTransition* to, bool post, bool phantom_side, const std::uint16_t* map,
                     MArc** last_out) {
    MArc* last = nullptr;
    for (MArc* a = from; a; a = a->tnext) {
        auto* c = new MArc();
        c->place = a->place;
        c->trans = to;
        c->flags = a->flags;
        inscription_assign(c->inscription, a->inscription, map);
        MArc** plist = post ? (phantom_side ? &a->place->phantom_in : &a->place->in)
                            : (phantom_side ? &a->place->phantom_out : &a->place->out);
        c->pnext = *plist;
        if (*plist) (*plist)->pprev = c;
        *plist = c;
        c->tprev = last;
        if (last) last->tnext = c;
        else (post ? to->post : to->pre) = c;
        last = c;
    }
    if (last_out) *last_out = last;
}
}  // namespace

MTransition* M_Copy2PTransition(MNet* net, MTransition* t) {
    if (!net || !t) fatal("M_Copy2PTransition: net or transition is NULL-pointer.");
    MTransition* c = new_phantom();
    c->next = net->first_phantom;
    if (net->first_phantom) net->first_phantom->prev = c;
    else net->last_phantom = c;
    net->first_phantom = c;
    ++net->phantom_count;
    c->label = t->label;
    c->comvars = t->comvars;
    c->guard = t->guard;
    c->restrictions = t->restrictions;
    c->refs = t->refs;
    c->label_text = t->label_text;
    c->blocks = t->blocks;
    c->x = t->x;
    c->y = t->y;
    c->flags = t->flags & ~TR_PHANTOM_SYNC;
    copy_trans_arcs(t->pre, c, false, true, nullptr, nullptr);
    copy_trans_arcs(t->post, c, true, true, nullptr, nullptr);
    return c;
}

void parse_phantom_list(const std::string& text, std::vector<MTransition*>& links,
                        const std::unordered_map<std::uint32_t, MTransition*>& table) {
    if (text.empty() || text[0] != '(') syntax_error("phantom list should begin with '('");
    std::size_t i = 1;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        std::uint64_t n = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            n = n * 10 + static_cast<unsigned>(text[i] - '0');
            if (n > 0xffffffffu) syntax_error("phantom list has wrong format");
            ++i;
        }
        if (i < text.size() && text[i] == ',') ++i;
        auto it = table.find(static_cast<std::uint32_t>(n));
        if (it == table.end()) syntax_error("phantom list has wrong format");
        if (links.size() >= 65535) fatal("Overflow: too many phantom links !");
        links.push_back(it->second);
    }
}

void write_phantom_links(std::FILE* f, const MNet*, const MTransition* t) {
    if (!phantoms_in_output() || t->links.empty()) return;
    std::fputs("P\"(", f);
    for (std::size_t i = 0; i < t->links.size(); ++i) std::fprintf(f, i ? ",%u" : "%u", t->links[i]->number);
    std::fputs(")\"", f);
}

// ---------------------------------------------------------------------------
// Copy, remove, free.
bool type_equal(const MPlace* p, const MPlace* q) { return p->components == q->components; }

bool dot_type(const MPlace* p) {
    return p->components.size() == 1 && p->components[0] && p->components[0]->size() == 1 &&
           (*p->components[0])[0] == VAL_DOT;
}

namespace {
MArc* duplicate_place_arcs(MArc* from, MPlace* to, bool incoming, bool phantom, MArc** last_out) {
    MArc* last = nullptr;
    MArc* head = nullptr;
    for (MArc* a = from; a; a = a->pnext) {
        auto* c = new MArc();
        c->place = to;
        c->trans = a->trans;
        c->flags = a->flags;
        c->inscription = a->inscription;
        c->pprev = last;
        if (last) last->pnext = c;
        else head = c;
        last = c;
        MArc** tlist = incoming ? &a->trans->post : &a->trans->pre;
        c->tnext = *tlist;
        if (*tlist) (*tlist)->tprev = c;
        *tlist = c;
    }
    MArc** plist = incoming ? (phantom ? &to->phantom_in : &to->in) : (phantom ? &to->phantom_out : &to->out);
    if (head) {
        // Append behind what the new place already holds.
        MArc* t = *plist;
        while (t && t->pnext) t = t->pnext;
        if (t) {
            t->pnext = head;
            head->pprev = t;
        } else {
            *plist = head;
        }
    }
    if (last_out) *last_out = last;
    return head;
}
}  // namespace

MArc* DuplicateTPEdges(MPlace* from, MPlace* to, MArc** last, int phantom) {
    return duplicate_place_arcs(phantom ? from->phantom_in : from->in, to, true, phantom != 0, last);
}

MArc* DuplicatePTEdges(MPlace* from, MPlace* to, MArc** last, int phantom) {
    return duplicate_place_arcs(phantom ? from->phantom_out : from->out, to, false, phantom != 0, last);
}

MPlace* DuplicatePlace(MNet* net, MPlace* p, MArc** last_in, MArc** last_out, MArc** last_pin,
                       MArc** last_pout) {
    if (!net || !p) fatal("DuplicatePlace: no net or no place given");
    ++net->place_count;
    MPlace* c = new_place();
    c->next = net->first_place;
    if (net->first_place) net->first_place->prev = c;
    else net->last_place = c;
    net->first_place = c;
    c->type = p->type;
    c->components = p->components;
    c->refs = p->refs;
    c->blocks = p->blocks;
    c->initial_marking = p->initial_marking;
    c->current_marking = p->current_marking;
    c->label = p->label;
    c->flags = p->flags;
    c->read_mark = p->read_mark;
    c->x = p->x;
    c->y = p->y;
    DuplicateTPEdges(p, c, last_in, 0);
    DuplicatePTEdges(p, c, last_out, 0);
    DuplicateTPEdges(p, c, last_pin, 1);
    DuplicatePTEdges(p, c, last_pout, 1);
    return c;
}

MTransition* DuplicateTrans(MNet* net, MTransition* t, MArc** last_pre, MArc** last_post,
                            const std::uint16_t* map) {
    if (!net || !t) fatal("DuplicateTrans: no net or no transition given !");
    ++net->trans_count;
    MTransition* c = new_transition();
    c->next = net->first_trans;
    if (net->first_trans) net->first_trans->prev = c;
    else net->last_trans = c;
    net->first_trans = c;
    c->flags = t->flags;
    c->x = t->x;
    c->y = t->y;
    copy_trans_arcs(t->pre, c, false, false, map, last_pre);
    copy_trans_arcs(t->post, c, true, false, map, last_post);
    return c;
}

namespace {
void unlink_from_place(MArc* a, MArc** plist) {
    if (a->pprev) a->pprev->pnext = a->pnext;
    else *plist = a->pnext;
    if (a->pnext) a->pnext->pprev = a->pprev;
}

void unlink_from_trans(MArc* a, MArc** tlist) {
    if (a->tprev) a->tprev->tnext = a->tnext;
    else *tlist = a->tnext;
    if (a->tnext) a->tnext->tprev = a->tprev;
}

void drop_link(MTransition* t, const MTransition* gone) {
    for (std::size_t i = 0; i < t->links.size();) {
        if (t->links[i] == gone) {
            t->links[i] = t->links.back();
            t->links.pop_back();
        } else {
            ++i;
        }
    }
}
}  // namespace

MPlace* RemovePlace(MNet* net, MPlace* p) {
    struct Side {
        MArc* list;
        bool incoming;
    } sides[4] = {{p->in, true}, {p->out, false}, {p->phantom_in, true}, {p->phantom_out, false}};
    for (auto& s : sides)
        for (MArc* a = s.list; a;) {
            MArc* n = a->pnext;
            unlink_from_trans(a, s.incoming ? &a->trans->post : &a->trans->pre);
            delete a;
            a = n;
        }
    MPlace* prev = p->prev;
    if (p->prev) p->prev->next = p->next;
    else net->first_place = p->next;
    if (p->next) p->next->prev = p->prev;
    else net->last_place = p->prev;
    --net->place_count;
    delete p;
    return prev;
}

namespace {
void free_trans_arcs(MTransition* t, bool phantom) {
    for (MArc* a = t->post; a;) {
        MArc* n = a->tnext;
        unlink_from_place(a, phantom ? &a->place->phantom_in : &a->place->in);
        delete a;
        a = n;
    }
    for (MArc* a = t->pre; a;) {
        MArc* n = a->tnext;
        unlink_from_place(a, phantom ? &a->place->phantom_out : &a->place->out);
        delete a;
        a = n;
    }
    t->pre = t->post = nullptr;
}
}  // namespace

MTransition* RemoveTrans(MNet* net, MTransition* t, int phantom) {
    free_trans_arcs(t, phantom != 0);
    MTransition* prev = t->prev;
    MTransition*& first = phantom ? net->first_phantom : net->first_trans;
    MTransition*& last = phantom ? net->last_phantom : net->last_trans;
    if (t->prev) t->prev->next = t->next;
    else first = t->next;
    if (t->next) t->next->prev = t->prev;
    else last = t->prev;
    if (phantom) {
        // The transitions this phantom stands for must not keep a link to it.
        for (MTransition* o : t->links) drop_link(o, t);
        --net->phantom_count;
    } else {
        std::vector<MTransition*> links = std::move(t->links);
        std::sort(links.begin(), links.end());
        links.erase(std::unique(links.begin(), links.end()), links.end());
        for (MTransition* ph : links) {
            drop_link(ph, t);
            if (source_net_mode() && !ph->links.empty()) continue;
            RemoveTrans(net, ph, 1);
        }
        --net->trans_count;
        if (transition_counter) --transition_counter;
    }
    delete t;
    return prev;
}

void FreeNet(MNet** pnet) {
    if (!pnet || !*pnet) return;
    MNet* net = *pnet;
    for (MTransition* t = net->first_trans; t;) {
        MTransition* n = t->next;
        free_trans_arcs(t, false);
        delete t;
        t = n;
    }
    for (MTransition* t = net->first_phantom; t;) {
        MTransition* n = t->next;
        free_trans_arcs(t, true);
        delete t;
        t = n;
    }
    for (MPlace* p = net->first_place; p;) {
        MPlace* n = p->next;
        delete p;
        p = n;
    }
    free_block_list(net);
    delete net;
    *pnet = nullptr;
}

MNet* M_copy_net(MNet* net) {
    MNet* c = M_new_net();
    c->box = net->box;
    c->origin_x = net->origin_x;
    c->origin_y = net->origin_y;
    c->width = net->width;
    c->height = net->height;
    copy_block_list(c, net);
    for (MPlace* p = net->first_place; p; p = p->next) {
        MPlace* q = new_place();
        q->type = p->type;
        q->components = p->components;
        q->number = p->number;
        q->read_mark = p->read_mark;
        q->refs = p->refs;
        q->blocks = p->blocks;
        q->x = p->x;
        q->y = p->y;
        q->flags = p->flags;
        q->initial_marking = p->initial_marking;
        q->current_marking = p->current_marking;
        q->label = p->label;
        q->prev = c->last_place;
        if (c->last_place) c->last_place->next = q;
        else c->first_place = q;
        c->last_place = q;
        p->copy = q;
    }
    c->place_count = net->place_count;
    auto copy_transitions = [&](MTransition* first, MTransition*& cfirst, MTransition*& clast, bool phantom) {
        for (MTransition* t = first; t; t = t->next) {
            MTransition* u = phantom ? new_phantom() : new_transition();
            u->label = t->label;
            u->restrictions = t->restrictions;
            u->guard = t->guard;
            u->comvars = t->comvars;
            u->number = t->number;
            u->refs = t->refs;
            u->blocks = t->blocks;
            u->x = t->x;
            u->y = t->y;
            u->flags = t->flags;
            u->label_text = t->label_text;
            u->macro_counter = t->macro_counter;
            u->prev = clast;
            if (clast) clast->next = u;
            else cfirst = u;
            clast = u;
            t->copy = u;
            // Arcs: copies joined to the copied places, transition lists in order.
            for (int side = 0; side < 2; ++side) {
                MArc* last = nullptr;
                for (MArc* a = side ? t->post : t->pre; a; a = a->tnext) {
                    auto* b = new MArc();
                    b->place = a->place->copy;
                    b->trans = u;
                    b->inscription = a->inscription;
                    b->flags = a->flags;
                    a->copy = b;
                    b->tprev = last;
                    if (last) last->tnext = b;
                    else (side ? u->post : u->pre) = b;
                    last = b;
                }
            }
        }
    };
    copy_transitions(net->first_trans, c->first_trans, c->last_trans, false);
    copy_transitions(net->first_phantom, c->first_phantom, c->last_phantom, true);
    c->trans_count = net->trans_count;
    c->phantom_count = net->phantom_count;
    // Place lists in the order of the original's.
    for (MPlace* p = net->first_place; p; p = p->next) {
        MArc* MPlace::*lists[4] = {&MPlace::in, &MPlace::out, &MPlace::phantom_in, &MPlace::phantom_out};
        for (auto l : lists) {
            MArc* last = nullptr;
            for (MArc* a = p->*l; a; a = a->pnext) {
                MArc* b = a->copy;
                b->pprev = last;
                if (last) last->pnext = b;
                else p->copy->*l = b;
                last = b;
            }
        }
    }
    for (int k = 0; k < 2; ++k)
        for (MTransition* t = k ? net->first_phantom : net->first_trans; t; t = t->next)
            for (MTransition* o : t->links) t->copy->links.push_back(o->copy);
    return c;
}

namespace {
MPlace* place_from(MPlace* start, std::uint32_t number) {
    MPlace* p = start;
    if (p && p->number < number)
        while (p && p->number != number) p = p->next;
    else
        while (p && p->number != number) p = p->prev;
    if (!p) fatal("Internal Error: place %u not found !", number);
    return p;
}

MArc* add_box_arc(bool pre, std::uint32_t number, const Inscription& ins, MPlace* start, SmallBox& box,
                  std::uint16_t flags) {
    MPlace* p = number ? place_from(start, number) : (pre ? box.first : box.second);
    if (!p || !box.trans) fatal("Internal Error: place %u not found !", number);
    auto* a = new MArc();
    a->place = p;
    a->trans = box.trans;
    a->inscription = ins;
    a->flags = flags;
    MArc** plist = pre ? &p->out : &p->in;
    MArc** tlist = pre ? &box.trans->pre : &box.trans->post;
    a->pnext = *plist;
    if (*plist) (*plist)->pprev = a;
    *plist = a;
    a->tnext = *tlist;
    if (*tlist) (*tlist)->tprev = a;
    *tlist = a;
    return a;
}
}  // namespace

MArc* add_pre_arc(std::uint32_t number, const Inscription& ins, MPlace* start, SmallBox& box, std::uint16_t flags) {
    return add_box_arc(true, number, ins, start, box, flags);
}

MArc* add_post_arc(std::uint32_t number, const Inscription& ins, MPlace* start, SmallBox& box, std::uint16_t flags) {
    return add_box_arc(false, number, ins, start, box, flags);
}

void add_arcs(std::uint32_t number, const Inscription& ins, MPlace* start, SmallBox& box, std::uint16_t flags) {
    add_box_arc(true, number, ins, start, box, flags);
    add_box_arc(false, number, ins, start, box, flags);
}

void add_place_references(MPlace* first, std::uint8_t type_bits, std::uint16_t number, std::uint16_t kind) {
    for (MPlace* p = first; p; p = p->next)
        if (p->type & type_bits) add_reference(p->refs, number, kind);
}

std::string* join_labels(const std::optional<std::string>& a, const std::optional<std::string>& b,
                         std::optional<std::string>& out) {
    bool ha = a && !a->empty(), hb = b && !b->empty();
    if (!ha && !hb) {
        out.reset();
        return nullptr;
    }
    std::string s = ha ? *a : std::string();
    if (ha && hb) s += "*";
    if (hb) s += *b;
    out = s;
    return &*out;
}

}  // namespace mnet
