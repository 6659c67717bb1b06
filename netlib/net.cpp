// The net record: allocation, name order, look-ups, inserts, deletes and
// markings.  A name index and a number index per list are kept beside the
// linked lists so that look-ups and sorted inserts do not walk the lists.
#include "net.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <unordered_map>
#include <new>

#include "vos.h"

namespace netlib {

// ---------------------------------------------------------------------------
// allocation

Edition edition = Edition::Standard;

[[noreturn]] void memory_overflow(const char* operation, std::size_t size) {
    std::fflush(stdout);
    if (edition == Edition::Cosweep)
        std::fprintf(stderr, "ERROR: NN.%s(): memory overflow.\n", operation);
    else
        std::fprintf(stderr, "ERROR: NN.%s(): memory overflow (size=%zu).\n", operation, size);
    std::fflush(stderr);
    std::exit(3);
}

namespace {
const char* new_handler_routine = "Malloc";
void allocation_failed() { memory_overflow(new_handler_routine, 0); }
}  // namespace

void install_memory_handler(const char* routine) {
    new_handler_routine = routine;
    std::set_new_handler(allocation_failed);
}

void* Malloc(std::size_t size) {
    void* p = std::calloc(size ? size : 1, 1);
    if (!p) memory_overflow("Malloc", size);
    return p;
}

void* Calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) memory_overflow("Calloc", SIZE_MAX);
    std::size_t total = count * size;
    void* p = std::calloc(total ? total : 1, 1);
    if (!p) memory_overflow("Calloc", total);
    return p;
}

void* Realloc(void* block, std::size_t size) {
    void* p = std::realloc(block, size ? size : 1);
    if (!p) memory_overflow("Realloc", size);
    return p;
}

char* Strdup(const char* s) {
    if (!s) s = "";
    std::size_t n = std::strlen(s) + 1;
    char* p = static_cast<char*>(std::malloc(n));
    if (!p) memory_overflow("Strdup", n);
    std::memcpy(p, s, n);
    return p;
}

void Free(void* block) { std::free(block); }

void NodeExtrasDeleter::operator()(NodeExtras* e) const { delete e; }
void ArcExtrasDeleter::operator()(ArcExtras* e) const { delete e; }

NameCell::~NameCell() {
    std::unique_ptr<NameCell> rest = std::move(next);
    while (rest) rest = std::move(rest->next);
}

// ---------------------------------------------------------------------------
// name order

namespace {

constexpr std::size_t kNameLimit = 200;

bool g_length_order = true;
unsigned g_order_epoch = 0;   // changes whenever the order is switched

int compare_prefix(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), kNameLimit);
    std::size_t m = std::min(b.size(), kNameLimit);
    int r = std::memcmp(a.data(), b.data(), std::min(n, m));
    if (r != 0) return r;
    return n < m ? -1 : (n > m ? 1 : 0);
}

void warn(const char* operation, const char* pattern, ...) __attribute__((format(printf, 2, 3)));
void warn(const char* operation, const char* pattern, ...) {
    std::fprintf(stderr, "WARNING: NN.%s(): ", operation);
    va_list args;
    va_start(args, pattern);
    std::vfprintf(stderr, pattern, args);
    va_end(args);
}

}  // namespace

bool name_less(std::string_view a, std::string_view b) {
    if (g_length_order) {
        if (a.size() != b.size()) return a.size() < b.size();
        return compare_prefix(a, b) < 0;
    }
    return compare_prefix(a, b) < 0;
}

bool name_equal(std::string_view a, std::string_view b) {
    if (g_length_order && a.size() != b.size()) return false;
    return compare_prefix(a, b) == 0;
}

void use_length_order() {
    if (!g_length_order) ++g_order_epoch;
    g_length_order = true;
}

void use_lexical_order() {
    if (g_length_order) ++g_order_epoch;
    g_length_order = false;
}

namespace {

// Sorts the name indices in [first, last) into name order, ties by index.
void sort_by_keys(const NameTable& names, std::size_t* first, std::size_t* last) {
    // Sort keys that decide most comparisons without touching the names:
    // the length (in length order) and the first sixteen bytes, big-endian.
    struct Key {
        std::uint64_t head, tail;
        std::uint32_t length;   // 0 in lexical order; names reach no 2^32 bytes
        std::uint32_t index;
    };
    // Eight bytes of a name from `from` on, big-endian, zeros past its end.
    auto bytes = [](std::string_view n, std::size_t from) {
        unsigned char b[8] = {};
        const std::size_t size = std::min(n.size(), kNameLimit);
        if (from < size) std::memcpy(b, n.data() + from, std::min<std::size_t>(8, size - from));
        std::uint64_t v = 0;
        for (unsigned char c : b) v = (v << 8) | c;
        return v;
    };
    const std::size_t n = static_cast<std::size_t>(last - first);
    std::vector<Key> keys(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string_view name = names[first[k]];
        keys[k] = {bytes(name, 0), bytes(name, 8), g_length_order ? static_cast<std::uint32_t>(name.size()) : 0u,
                   static_cast<std::uint32_t>(first[k])};
    }
    auto key_less = [&](const Key& a, const Key& b) {
        if (a.length != b.length) return a.length < b.length;
        if (a.head != b.head) return a.head < b.head;
        if (a.tail != b.tail) return a.tail < b.tail;
        int r = compare_prefix(names[a.index], names[b.index]);
        if (r != 0) return r < 0;
        return a.index < b.index;   // equal names: first given first
    };
    // Radix sort from the most significant byte of (length, head, tail),
    // digits 0-3, 4-11 and 12-19.  A range is first scanned for the first
    // digit on which its keys differ (digits all keys share split nothing),
    // then split by that digit into up to 256 ranges that go on behind it;
    // short ranges, and ranges whose keys are all equal, are sorted by
    // comparison. The split is stable, so ranges of names given in order
    // stay in order and end at the check for that.  The stack holds at most
    // 255 ranges per digit.
    constexpr int kDigits = 20;
    constexpr std::size_t kSmall = 64;
    auto digit = [](const Key& k, int d) -> std::uint32_t {
        if (d < 4) return (k.length >> (8 * (3 - d))) & 0xffu;
        if (d < 12) return static_cast<std::uint32_t>(k.head >> (8 * (11 - d))) & 0xffu;
        return static_cast<std::uint32_t>(k.tail >> (8 * (19 - d))) & 0xffu;
    };
    // The first of the `count` big-endian bytes of `diff` that is not zero.
    auto first_byte = [](std::uint64_t diff, int count) {
        int d = 0;
        while (((diff >> (8 * (count - 1 - d))) & 0xffu) == 0) ++d;
        return d;
    };
    struct Range {
        std::size_t from, to;
    };
    std::vector<Range> stack{{0, n}};
    std::vector<Key> other;
    while (!stack.empty()) {
        const Range r = stack.back();
        stack.pop_back();
        if (r.to - r.from <= kSmall) {
            std::sort(keys.begin() + r.from, keys.begin() + r.to, key_less);
            continue;
        }
        std::size_t k = r.from + 1;
        while (k < r.to && key_less(keys[k - 1], keys[k])) ++k;
        if (k == r.to) continue;
        const Key& first_key = keys[r.from];
        std::uint64_t head = 0, tail = 0;
        std::uint32_t length = 0;
        for (k = r.from + 1; k < r.to; ++k) {
            length |= keys[k].length ^ first_key.length;
            head |= keys[k].head ^ first_key.head;
            tail |= keys[k].tail ^ first_key.tail;
        }
        int d;
        if (length != 0) d = first_byte(length, 4);
        else if (head != 0) d = 4 + first_byte(head, 8);
        else if (tail != 0) d = 12 + first_byte(tail, 8);
        else d = kDigits;
        if (d == kDigits) {
            std::sort(keys.begin() + r.from, keys.begin() + r.to, key_less);
            continue;
        }
        std::size_t count[256] = {};
        for (k = r.from; k < r.to; ++k) ++count[digit(keys[k], d)];
        std::size_t next[256];
        std::size_t sum = r.from;
        for (int v = 0; v < 256; ++v) {
            next[v] = sum;
            if (count[v] > 1) stack.push_back({sum, sum + count[v]});
            sum += count[v];
        }
        other.resize(r.to - r.from);
        for (k = r.from; k < r.to; ++k) other[next[digit(keys[k], d)]++ - r.from] = keys[k];
        std::copy(other.begin(), other.end(), keys.begin() + r.from);
    }
    for (std::size_t k = 0; k < n; ++k) first[k] = keys[k].index;
}

// Puts the name indices in [first, last) into name order when they form a
// few runs in order whose ranges of names do not overlap (several kinds of
// nodes, each numbered in sequence, given in turn): the runs are then laid
// end to end in the order of their first names.  False, with the indices
// untouched, for anything else.  `buffer` is scratch space.
bool join_ordered_runs(const NameTable& names, std::size_t* first, std::size_t* last,
                       std::vector<std::size_t>& buffer) {
    constexpr std::size_t kMaxRuns = 32;
    struct Run {
        std::size_t* from;
        std::size_t* to;
    };
    Run runs[kMaxRuns];
    std::size_t count = 0;
    for (std::size_t* k = first; k != last;) {
        std::size_t* end = k + 1;
        while (end != last && compare_prefix(names[end[-1]], names[*end]) <= 0) ++end;
        if (count == kMaxRuns) return false;
        runs[count++] = {k, end};
        k = end;
    }
    if (count <= 1) return true;
    // Equal names across runs keep the order of their indices only when
    // the runs are strictly apart, so ties count as overlap.
    std::sort(runs, runs + count,
              [&](const Run& a, const Run& b) { return compare_prefix(names[*a.from], names[*b.from]) < 0; });
    for (std::size_t r = 1; r < count; ++r)
        if (compare_prefix(names[runs[r - 1].to[-1]], names[*runs[r].from]) >= 0) return false;
    buffer.clear();
    for (std::size_t r = 0; r < count; ++r) buffer.insert(buffer.end(), runs[r].from, runs[r].to);
    std::copy(buffer.begin(), buffer.end(), first);
    return true;
}

}  // namespace

std::vector<std::size_t> name_order(const NameTable& names) {
    // Names are mostly given in order, or in a few runs in order (numbered
    // in sequence, a few kinds of nodes in turn).  In length order a stable
    // counting sort by length comes first; each run of one length, or in
    // lexical order the whole list, is then checked, and only a run found
    // out of order is sorted by its keys.
    const std::size_t n = names.size();
    std::vector<std::size_t> order(n);
    std::vector<std::size_t> runs{0};
    std::size_t longest = 0;
    if (g_length_order)
        for (std::size_t k = 0; k < n; ++k) longest = std::max(longest, names[k].size());
    if (g_length_order && longest <= 2 * n + 256) {
        std::vector<std::size_t> at(longest + 2, 0);
        for (std::size_t k = 0; k < n; ++k) ++at[names[k].size() + 1];
        for (std::size_t l = 1; l < at.size(); ++l) {
            if (at[l] != 0) runs.push_back(at[l - 1] + at[l]);
            at[l] += at[l - 1];
        }
        for (std::size_t k = 0; k < n; ++k) order[at[names[k].size()]++] = k;
    } else {
        for (std::size_t k = 0; k < n; ++k) order[k] = k;
        if (g_length_order) {   // lengths far apart: the keys sort by them
            sort_by_keys(names, order.data(), order.data() + n);
            return order;
        }
        runs.push_back(n);
    }
    std::vector<std::size_t> merged;
    for (std::size_t r = 1; r < runs.size(); ++r) {
        std::size_t* first = order.data() + runs[r - 1];
        std::size_t* last = order.data() + runs[r];
        if (!join_ordered_runs(names, first, last, merged)) sort_by_keys(names, first, last);
    }
    return order;
}

int duplicate_policy = 2;

// ---------------------------------------------------------------------------
// the index kept beside the lists

namespace {

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const { return name_less(a, b); }
};

struct ListIndex {
    // name -> first node of the list that carries it
    std::map<std::string, NET_NODE*, NameLess> by_name;
    bool names_valid = true;
    unsigned epoch = 0;
    std::size_t duplicates = 0;   // nodes whose name is carried by an earlier node

    // number -> first node of the list with that number
    std::vector<NET_NODE*> by_number;
    bool numbers_valid = false;

    // node -> 1-based position in the list
    std::map<const NET_NODE*, std::uint32_t> positions;
    bool positions_valid = false;
};

}  // namespace

struct NetIndex {
    ListIndex places;
    ListIndex transitions;
    struct Block {
        NET_NODE* begin;
        std::size_t size;
    };
    std::vector<Block> blocks;
};

namespace {

ListIndex& list_index(NET* net, const NET_NODE* node) {
    return node->node_type == 2 ? net->index->transitions : net->index->places;
}

NET_NODE*& list_head(NET* net, bool transitions) {
    return transitions ? net->first_transition : net->first_place;
}
NET_NODE*& list_tail(NET* net, bool transitions) {
    return transitions ? net->last_transition : net->last_place;
}

void rebuild_names(ListIndex& ix, NET_NODE* head) {
    ix.by_name.clear();
    ix.duplicates = 0;
    for (NET_NODE* n = head; n; n = n->next) {
        auto r = ix.by_name.emplace(n->name, n);
        if (!r.second) ++ix.duplicates;
    }
    ix.names_valid = true;
    ix.epoch = g_order_epoch;
}

ListIndex& names_of(NET* net, bool transitions) {
    ListIndex& ix = transitions ? net->index->transitions : net->index->places;
    if (!ix.names_valid || ix.epoch != g_order_epoch) rebuild_names(ix, list_head(net, transitions));
    return ix;
}

// A node, looked up by name; the first node of the list that carries it.
NET_NODE* lookup(NET* net, bool transitions, const std::string& name) {
    ListIndex& ix = names_of(net, transitions);
    auto it = ix.by_name.find(name);
    if (it == ix.by_name.end()) return nullptr;
    if (!name_equal(it->second->name, name)) {
        // A name was changed behind the index's back: rebuild once.
        rebuild_names(ix, list_head(net, transitions));
        it = ix.by_name.find(name);
        if (it == ix.by_name.end()) return nullptr;
    }
    return it->second;
}

void index_add_name(ListIndex& ix, NET_NODE* node) {
    if (!ix.names_valid) return;
    auto r = ix.by_name.emplace(node->name, node);
    if (!r.second) {
        ++ix.duplicates;
        // An earlier node of the same name exists; for an appended node that
        // one stays first in list order.  For a node linked elsewhere the
        // index may name the wrong one: rebuild later.
        if (node->next) ix.names_valid = false;
    }
}

void index_remove_name(ListIndex& ix, NET_NODE* node) {
    if (!ix.names_valid) return;
    auto it = ix.by_name.find(node->name);
    if (it != ix.by_name.end() && it->second == node) {
        ix.by_name.erase(it);
        // Another node of the same name may have to take its place.
        if (ix.duplicates > 0) ix.names_valid = false;
    } else if (ix.duplicates > 0) {
        --ix.duplicates;
    } else {
        ix.names_valid = false;
    }
}

void rebuild_numbers(ListIndex& ix, NET_NODE* head, std::uint32_t count) {
    // Numbers far beyond the node count are found by a walk instead.
    std::size_t cap = static_cast<std::size_t>(count) * 2 + 64;
    std::size_t size = 1;
    for (NET_NODE* n = head; n; n = n->next)
        if (n->number < cap && n->number + 1u > size) size = n->number + 1u;
    ix.by_number.assign(size, nullptr);
    for (NET_NODE* n = head; n; n = n->next)
        if (n->number != 0 && n->number < size && !ix.by_number[n->number]) ix.by_number[n->number] = n;
    ix.numbers_valid = true;
}

NET_NODE* lookup_number(NET* net, bool transitions, std::uint32_t number) {
    if (number == 0) return nullptr;
    ListIndex& ix = transitions ? net->index->transitions : net->index->places;
    auto hit = [&]() -> NET_NODE* {
        if (!ix.numbers_valid || number >= ix.by_number.size()) return nullptr;
        NET_NODE* n = ix.by_number[number];
        return (n && n->number == number) ? n : nullptr;
    };
    if (NET_NODE* n = hit()) return n;
    // Numbers are public fields that readers set directly: refresh the index.
    rebuild_numbers(ix, list_head(net, transitions), transitions ? net->transitions : net->places);
    if (NET_NODE* n = hit()) return n;
    if (number >= ix.by_number.size())
        for (NET_NODE* n = list_head(net, transitions); n; n = n->next)
            if (n->number == number) return n;
    return nullptr;
}

void list_changed(ListIndex& ix) { ix.positions_valid = false; }

bool in_block(NET* net, const NET_NODE* node) {
    for (const auto& b : net->index->blocks)
        if (node >= b.begin && node < b.begin + b.size) return true;
    return false;
}

// Links a fresh node before `before` (or at the tail when empty).
void link_node(NET* net, bool transitions, NET_NODE* node, NET_NODE* before) {
    NET_NODE*& head = list_head(net, transitions);
    NET_NODE*& tail = list_tail(net, transitions);
    node->next = before;
    node->prev = before ? before->prev : tail;
    if (node->prev) node->prev->next = node; else head = node;
    if (before) before->prev = node; else tail = node;
}

void unlink_node(NET* net, bool transitions, NET_NODE* node) {
    NET_NODE*& head = list_head(net, transitions);
    NET_NODE*& tail = list_tail(net, transitions);
    if (node->prev) node->prev->next = node->next; else head = node->next;
    if (node->next) node->next->prev = node->prev; else tail = node->prev;
    node->prev = node->next = nullptr;
}

NET_NODE* make_node(bool transitions, const std::string& name, std::int32_t tokens) {
    auto* n = new NET_NODE;
    n->name = name;
    n->marking = transitions ? 0 : tokens;
    n->node_type = transitions ? 2 : 1;
    return n;
}

// ---- arc lists.  Every arc has a place side (p_prev/p_next) and a
// transition side (t_prev/t_next).  A place->transition arc lies in the
// postset of its place and the preset of its transition; a
// transition->place arc in the postset of its transition and the preset of
// its place.

struct Side {
    bool place_side;   // links p_* (in a place's list) or t_* (transition's)
    NET_ARC*& head;
    NET_ARC*& tail;
};

NET_ARC*& nxt(NET_ARC* a, bool place_side) { return place_side ? a->p_next : a->t_next; }
NET_ARC*& prv(NET_ARC* a, bool place_side) { return place_side ? a->p_prev : a->t_prev; }

// Side lists of an arc: pt = place->transition.
Side place_list(NET_ARC* a, bool pt) {
    NET_NODE* p = a->place;
    return pt ? Side{true, p->postset, p->postset_tail} : Side{true, p->preset, p->preset_tail};
}
Side trans_list(NET_ARC* a, bool pt) {
    NET_NODE* t = a->transition;
    return pt ? Side{false, t->preset, t->preset_tail} : Side{false, t->postset, t->postset_tail};
}

// The last arc of a list; the stored tail is checked and mended if needed.
NET_ARC* last_arc(Side s) {
    if (!s.head) {
        s.tail = nullptr;
        return nullptr;
    }
    NET_ARC* a = s.tail ? s.tail : s.head;
    while (nxt(a, s.place_side)) a = nxt(a, s.place_side);
    s.tail = a;
    return a;
}

void link_after(Side s, NET_ARC* arc, NET_ARC* after) {
    bool ps = s.place_side;
    if (!after) {
        prv(arc, ps) = nullptr;
        nxt(arc, ps) = s.head;
        if (s.head) prv(s.head, ps) = arc;
        else s.tail = arc;
        s.head = arc;
        return;
    }
    nxt(arc, ps) = nxt(after, ps);
    prv(arc, ps) = after;
    if (nxt(after, ps)) prv(nxt(after, ps), ps) = arc;
    else s.tail = arc;
    nxt(after, ps) = arc;
}

void append_to(Side s, NET_ARC* arc) { link_after(s, arc, last_arc(s)); }

void unlink_from(Side s, NET_ARC* arc) {
    bool ps = s.place_side;
    NET_ARC* p = prv(arc, ps);
    NET_ARC* n = nxt(arc, ps);
    if (p) nxt(p, ps) = n; else s.head = n;
    if (n) prv(n, ps) = p; else s.tail = p;
    prv(arc, ps) = nxt(arc, ps) = nullptr;
}

// Name of the node at the other end of an arc, seen from the list side.
const std::string& other_name(NET_ARC* a, bool place_side) {
    return place_side ? a->transition->name : a->place->name;
}

// Links the arc after the last arc whose other end is less.
void link_sorted(Side s, NET_ARC* arc) {
    bool ps = s.place_side;
    const std::string& key = other_name(arc, ps);
    NET_ARC* tail = last_arc(s);
    if (!tail || name_less(other_name(tail, ps), key)) {
        link_after(s, arc, tail);
        return;
    }
    NET_ARC* after = nullptr;
    for (NET_ARC* a = s.head; a && name_less(other_name(a, ps), key); a = nxt(a, ps)) after = a;
    link_after(s, arc, after);
}

// The arc between p and t in the given direction.  Every arc stands in both
// lists, so walking them in step ends with the shorter one: an arc not met
// by then is in neither (a node with many arcs gains new ones in constant time).
NET_ARC* find_arc(NET_NODE* p, NET_NODE* t, bool pt) {
    NET_ARC* a = pt ? p->postset : p->preset;   // place side
    NET_ARC* b = pt ? t->preset : t->postset;   // transition side
    while (a && b) {
        if (a->transition == t) return a;
        if (b->place == p) return b;
        a = a->p_next;
        b = b->t_next;
    }
    return nullptr;
}

NET_ARC* new_arc(NET_NODE* p, NET_NODE* t, std::int32_t weight) {
    auto* a = new NET_ARC;
    a->place = p;
    a->transition = t;
    a->weight = weight;
    return a;
}

NET_ARC* link_arc_sorted(NET_NODE* p, NET_NODE* t, std::int32_t weight, bool pt) {
    NET_ARC* a = new_arc(p, t, weight);
    link_sorted(place_list(a, pt), a);
    link_sorted(trans_list(a, pt), a);
    return a;
}

void remove_arc(NET_ARC* a, bool pt) {
    unlink_from(place_list(a, pt), a);
    unlink_from(trans_list(a, pt), a);
    delete a;
}

// Frees a node's arcs: every arc is unlinked from the other end's list.
void drop_arcs(NET_NODE* node) {
    bool is_place = node->node_type != 2;
    // postset: place->transition arcs of a place, transition->place of a transition
    while (NET_ARC* a = node->postset) remove_arc(a, is_place);
    while (NET_ARC* a = node->preset) remove_arc(a, !is_place);
}

void release_node(NET* net, NET_NODE* node) {
    if (in_block(net, node)) {
        // The block is released with the net; free what the node owns now.
        std::string().swap(node->name);
        node->extras.reset();
        node->link = nullptr;
        node->preset = node->postset = node->preset_tail = node->postset_tail = nullptr;
        node->node_type = 0;
    } else {
        delete node;
    }
}

NET_NODE* delete_node(NET* net, NET_NODE* node) {
    bool transitions = node->node_type == 2;
    NET_NODE* successor = node->next;
    drop_arcs(node);
    ListIndex& ix = list_index(net, node);
    index_remove_name(ix, node);
    if (ix.numbers_valid && node->number < ix.by_number.size() && ix.by_number[node->number] == node)
        ix.by_number[node->number] = nullptr;
    list_changed(ix);
    unlink_node(net, transitions, node);
    if (transitions) --net->transitions; else --net->places;
    release_node(net, node);
    return successor;
}

// Inserts a new node at its sorted position; `existing` gets the node that
// already carries the name, if any.
NET_NODE* sorted_insert(NET* net, bool transitions, const std::string& name, std::int32_t tokens,
                        NET_NODE*& existing) {
    ListIndex& ix = names_of(net, transitions);
    auto it = ix.by_name.lower_bound(name);
    if (it != ix.by_name.end() && name_equal(it->first, name)) {
        existing = it->second;
        return nullptr;
    }
    existing = nullptr;
    NET_NODE* node = make_node(transitions, name, tokens);
    link_node(net, transitions, node, it == ix.by_name.end() ? nullptr : it->second);
    ix.by_name.emplace_hint(it, node->name, node);
    list_changed(ix);
    if (transitions) ++net->transitions; else ++net->places;
    return node;
}

NET_NODE* checked_place(NET* net, const std::string& name, const char* op) {
    NET_NODE* p = net->places ? lookup(net, false, name) : nullptr;
    if (!p) warn(op, "place '%s' does not exist.\n", name.c_str());
    return p;
}

NET_NODE* checked_transition(NET* net, const std::string& name, const char* op) {
    NET_NODE* t = net->transitions ? lookup(net, true, name) : nullptr;
    if (!t) warn(op, "transition '%s' does not exist.\n", name.c_str());
    return t;
}

NameList make_cell(const std::string& name, std::int32_t tokens) {
    NameList c(new NameCell);
    c->name = name.substr(0, kNameLimit);
    c->tokens = tokens;
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------
// life cycle

NET::NET() : index(new NetIndex) {}

NET::~NET() {
    for (NET_NODE* n = first_place; n; n = n->next)
        while (NET_ARC* a = n->postset) {
            n->postset = a->p_next;
            delete a;
        }
    for (NET_NODE* n = first_transition; n; n = n->next)
        while (NET_ARC* a = n->postset) {
            n->postset = a->t_next;
            delete a;
        }
    for (NET_NODE* head : {first_place, first_transition}) {
        NET_NODE* n = head;
        while (n) {
            NET_NODE* next = n->next;
            if (!in_block(this, n)) delete n;
            n = next;
        }
    }
    first_place = last_place = first_transition = last_transition = nullptr;
    // node_blocks free the block nodes.
}

NET* new_net() { return new NET; }

void delete_net(NET*& net) {
    delete net;
    net = nullptr;
}

// ---------------------------------------------------------------------------
// look-up

NET_NODE* find_P(NET* net, const std::string& name) {
    if (!net) return warn("find_P", "not a net.\n"), nullptr;
    if (!net->first_place) return warn("find_P", "net without places.\n"), nullptr;
    if (name.empty()) return warn("find_P", "no place name.\n"), nullptr;
    return lookup(net, false, name);
}

NET_NODE* find_T(NET* net, const std::string& name) {
    if (!net) return warn("find_T", "not a net.\n"), nullptr;
    if (!net->first_transition) return warn("find_T", "net without transitions.\n"), nullptr;
    if (name.empty()) return warn("find_T", "no transition name.\n"), nullptr;
    return lookup(net, true, name);
}

NET_NODE* find_P_num(NET* net, std::uint32_t number) {
    if (!net) return warn("find_P_num", "not a net.\n"), nullptr;
    if (!net->first_place) return warn("find_P_num", "net without places.\n"), nullptr;
    NET_NODE* n = lookup_number(net, false, number);
    if (!n) warn("find_P_num", "a place numbered %u does not exist\n", number);
    return n;
}

NET_NODE* find_T_num(NET* net, std::uint32_t number) {
    if (!net) return warn("find_T_num", "not a net.\n"), nullptr;
    if (!net->first_transition) return warn("find_T_num", "net without transitions.\n"), nullptr;
    NET_NODE* n = lookup_number(net, true, number);
    if (!n) warn("find_T_num", "a transition numbered %u does not exist\n", number);
    return n;
}

static NET_ARC* find_connection(NET* net, const std::string& place, const std::string& trans, bool pt,
                                const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    NET_NODE* p = checked_place(net, place, op);
    if (!p) return nullptr;
    NET_NODE* t = checked_transition(net, trans, op);
    if (!t) return nullptr;
    return find_arc(p, t, pt);
}

NET_ARC* find_PT_connection(NET* net, const std::string& place, const std::string& trans) {
    return find_connection(net, place, trans, true, "find_PT_connection");
}

NET_ARC* find_TP_connection(NET* net, const std::string& place, const std::string& trans) {
    return find_connection(net, place, trans, false, "find_TP_connection");
}

static NET_ARC* find_connection_num(NET* net, std::uint32_t place, std::uint32_t trans, bool pt,
                                    const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    NET_NODE* p = lookup_number(net, false, place);
    if (!p) return warn(op, "a place numbered %u does not exist\n", place), nullptr;
    NET_NODE* t = lookup_number(net, true, trans);
    if (!t) return warn(op, "a transition numbered %u does not exist\n", trans), nullptr;
    return find_arc(p, t, pt);
}

NET_ARC* find_PT_connection_num(NET* net, std::uint32_t place, std::uint32_t trans) {
    return find_connection_num(net, place, trans, true, "find_PT_connection_num");
}

NET_ARC* find_TP_connection_num(NET* net, std::uint32_t place, std::uint32_t trans) {
    return find_connection_num(net, place, trans, false, "find_TP_connection_num");
}

NET_NODE* next_place(NET* net, NET_NODE* node) {
    if (!net) return warn("next_place", "not a net.\n"), nullptr;
    if (!net->first_place) return warn("next_place", "net without places.\n"), nullptr;
    return node ? node->next : net->first_place;
}

NET_NODE* next_transition(NET* net, NET_NODE* node) {
    if (!net) return warn("next_transition", "not a net.\n"), nullptr;
    if (!net->first_transition) return warn("next_transition", "net without transitions.\n"), nullptr;
    return node ? node->next : net->first_transition;
}

static NET_ARC* next_connection(NET* net, NET_ARC* arc, bool pt, const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    if (!net->first_place) return warn(op, "net without places.\n"), nullptr;
    NET_NODE* p;
    if (arc) {
        if (arc->p_next) return arc->p_next;
        p = arc->place->next;
    } else {
        p = net->first_place;
    }
    for (; p; p = p->next) {
        NET_ARC* first = pt ? p->postset : p->preset;
        if (first) return first;
    }
    return nullptr;
}

NET_ARC* next_PT_connection(NET* net, NET_ARC* arc) {
    return next_connection(net, arc, true, "next_PT_connection");
}

NET_ARC* next_TP_connection(NET* net, NET_ARC* arc) {
    return next_connection(net, arc, false, "next_TP_connection");
}

static std::uint32_t position_of(NET* net, bool transitions, const std::string& name, const char* op) {
    if (!net) return warn(op, "not a net.\n"), 0;
    NET_NODE* node = (transitions ? net->transitions : net->places) ? lookup(net, transitions, name) : nullptr;
    if (!node) {
        warn(op, transitions ? "transition '%s' does not exist.\n" : "place '%s' does not exist.\n",
             name.c_str());
        return 0;
    }
    ListIndex& ix = transitions ? net->index->transitions : net->index->places;
    if (!ix.positions_valid) {
        ix.positions.clear();
        std::uint32_t k = 0;
        for (NET_NODE* n = list_head(net, transitions); n; n = n->next) ix.positions.emplace(n, ++k);
        ix.positions_valid = true;
    }
    return ix.positions[node];
}

std::uint32_t row_index(NET* net, const std::string& place) {
    return position_of(net, false, place, "row_index");
}

std::uint32_t column_index(NET* net, const std::string& trans) {
    return position_of(net, true, trans, "column_index");
}

NET_NODE* fast_find_P_num(NET* net, std::uint32_t number, NET_NODE*& cursor) {
    if (!net) return warn("fast_find_P_num", "not a net.\n"), nullptr;
    NET_NODE* n = lookup_number(net, false, number);
    if (n) cursor = n;
    return n;
}

NET_NODE* fast_find_T_num(NET* net, std::uint32_t number, NET_NODE*& cursor) {
    if (!net) return warn("fast_find_T_num", "not a net.\n"), nullptr;
    NET_NODE* n = lookup_number(net, true, number);
    if (n) cursor = n;
    return n;
}

// ---------------------------------------------------------------------------
// counts and queries

std::uint32_t place_number(NET* net) {
    if (!net) return warn("place_number", "not a net.\n"), 0;
    return net->places;
}

std::uint32_t trans_number(NET* net) {
    if (!net) return warn("trans_number", "not a net.\n"), 0;
    return net->transitions;
}

std::uint32_t component_number(NET* net) {
    if (!net) return warn("component_number", "not a net.\n"), 0;
    return net->components;
}

static std::uint16_t max_name_length(NET_NODE* head) {
    std::size_t m = 0;
    for (NET_NODE* n = head; n; n = n->next) m = std::max(m, n->name.size());
    return static_cast<std::uint16_t>(std::min<std::size_t>(m, 0xFFFF));
}

std::uint16_t max_placename_length(NET* net) {
    if (!net) return warn("max_placename_length", "not a net.\n"), 0;
    return max_name_length(net->first_place);
}

std::uint16_t max_transitionname_length(NET* net) {
    if (!net) return warn("max_transitionname_length", "not a net.\n"), 0;
    return max_name_length(net->first_transition);
}

namespace {

// The arc list of a node: successors (postset) or predecessors (preset).
NET_NODE* node_for(NET* net, bool transitions, const std::string& name, const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    return transitions ? checked_transition(net, name, op) : checked_place(net, name, op);
}

std::int32_t weight_sum(NET_ARC* a, bool place_side) {
    std::int64_t s = 0;
    for (; a; a = nxt(a, place_side)) s += a->weight;
    return static_cast<std::int32_t>(std::max<std::int64_t>(INT32_MIN, std::min<std::int64_t>(INT32_MAX, s)));
}

NameList neighbour_list(NET_ARC* a, bool place_side) {
    NameList head;
    NameCell* tail = nullptr;
    for (; a; a = nxt(a, place_side)) {
        const std::string& name = other_name(a, place_side);
        for (std::int32_t k = 0; k < a->weight; ++k) {
            NameList c = make_cell(name, 0);
            NameCell* raw = c.get();
            if (tail) tail->next = std::move(c); else head = std::move(c);
            tail = raw;
        }
    }
    return head;
}

}  // namespace

std::int32_t place_successor_number(NET* net, const std::string& place) {
    NET_NODE* n = node_for(net, false, place, "place_successor_number");
    return n ? weight_sum(n->postset, true) : 0;
}

std::int32_t trans_successor_number(NET* net, const std::string& trans) {
    NET_NODE* n = node_for(net, true, trans, "trans_successor_number");
    return n ? weight_sum(n->postset, false) : 0;
}

std::int32_t place_predecessor_number(NET* net, const std::string& place) {
    NET_NODE* n = node_for(net, false, place, "place_predecessor_number");
    return n ? weight_sum(n->preset, true) : 0;
}

std::int32_t trans_predecessor_number(NET* net, const std::string& trans) {
    NET_NODE* n = node_for(net, true, trans, "trans_predecessor_number");
    return n ? weight_sum(n->preset, false) : 0;
}

NameList place_successor_list(NET* net, const std::string& place) {
    NET_NODE* n = node_for(net, false, place, "place_successor_list");
    return n ? neighbour_list(n->postset, true) : nullptr;
}

NameList trans_successor_list(NET* net, const std::string& trans) {
    NET_NODE* n = node_for(net, true, trans, "trans_successor_list");
    return n ? neighbour_list(n->postset, false) : nullptr;
}

NameList place_predecessor_list(NET* net, const std::string& place) {
    NET_NODE* n = node_for(net, false, place, "place_predecessor_list");
    return n ? neighbour_list(n->preset, true) : nullptr;
}

NameList trans_predecessor_list(NET* net, const std::string& trans) {
    NET_NODE* n = node_for(net, true, trans, "trans_predecessor_list");
    return n ? neighbour_list(n->preset, false) : nullptr;
}

static std::int32_t connection_weight(NET* net, const std::string& place, const std::string& trans, bool pt,
                                      const char* op) {
    if (!net || place.empty() || trans.empty()) return warn(op, "not a net or no P/T name.\n"), 0;
    NET_NODE* p = net->places ? lookup(net, false, place) : nullptr;
    NET_NODE* t = net->transitions ? lookup(net, true, trans) : nullptr;
    if (!p || !t) return 0;
    NET_ARC* a = find_arc(p, t, pt);
    return a ? a->weight : 0;
}

std::int32_t PT_connection(NET* net, const std::string& place, const std::string& trans) {
    return connection_weight(net, place, trans, true, "PT_connection");
}

std::int32_t TP_connection(NET* net, const std::string& place, const std::string& trans) {
    return connection_weight(net, place, trans, false, "TP_connection");
}

std::int32_t marking(NET* net, const std::string& place) {
    if (!net) return warn("marking", "not a net.\n"), 0;
    NET_NODE* p = checked_place(net, place, "marking");
    return p ? p->marking : 0;
}

bool name_unused(NET* net, const std::string& name) {
    if (!net) return warn("name_unused", "not a net.\n"), false;
    return !(net->places && lookup(net, false, name)) && !(net->transitions && lookup(net, true, name));
}

// ---------------------------------------------------------------------------
// inserts

NET_NODE* insert_place(NET* net, const std::string& name, std::int32_t tokens) {
    if (!net) return warn("insert_place", "not a net.\n"), nullptr;
    NET_NODE* existing;
    NET_NODE* n = sorted_insert(net, false, name, tokens, existing);
    if (existing) warn("insert_place", "place '%s' already exists.\n", name.c_str());
    return n ? n : existing;
}

NET_NODE* insert_transition(NET* net, const std::string& name) {
    if (!net) return warn("insert_transition", "not a net.\n"), nullptr;
    NET_NODE* existing;
    NET_NODE* n = sorted_insert(net, true, name, 0, existing);
    if (existing) warn("insert_transition", "transition '%s' already exists.\n", name.c_str());
    return n ? n : existing;
}

static NET_NODE* policy_insert(NET* net, bool transitions, const std::string& name, std::int32_t tokens,
                               NET_NODE*& cursor) {
    const char* op = transitions ? "fast_insert_transition" : "fast_insert_place";
    if (!net) return warn(op, "not a net.\n"), nullptr;
    NET_NODE* existing;
    NET_NODE* n = sorted_insert(net, transitions, name, tokens, existing);
    if (existing && edition == Edition::Cosweep) {
        // No duplicate policy in this edition: always a warning.
        warn(op, "%s '%s' already exists.\n", transitions ? "transition" : "place", name.c_str());
        n = existing;
    } else if (existing) {
        const char* what = transitions ? "transition" : "place";
        if (duplicate_policy == 1) {
            std::fflush(stdout);
            std::fprintf(stderr, "ERROR: %s '%s' already exists.\n", what, name.c_str());
            std::exit(1);
        }
        if (duplicate_policy == 2) std::fprintf(stderr, "WARNING: %s '%s' already exists.\n", what, name.c_str());
        n = existing;
    }
    cursor = n;
    return n;
}

NET_NODE* fast_insert_place(NET* net, const std::string& name, std::int32_t tokens, NET_NODE*& cursor) {
    return policy_insert(net, false, name, tokens, cursor);
}

NET_NODE* fast_insert_place(NET* net, const std::string& name, std::int32_t tokens, NET_NODE*& cursor,
                            std::uint32_t aux) {
    const bool is_new = net && (net->places == 0 || !lookup(net, false, name));
    NET_NODE* n = policy_insert(net, false, name, tokens, cursor);
    if (n && is_new) n->aux = aux;
    return n;
}

NET_NODE* fast_insert_transition(NET* net, const std::string& name, NET_NODE*& cursor) {
    return policy_insert(net, true, name, 0, cursor);
}

static NET_ARC* insert_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight,
                           bool pt, const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    NET_NODE* p = net->places ? lookup(net, false, place) : nullptr;
    NET_NODE* t = net->transitions ? lookup(net, true, trans) : nullptr;
    if (!p || !t) {
        warn(op, "place '%s' or transition '%s' does not exist.\n", place.c_str(), trans.c_str());
        return nullptr;
    }
    if (weight == 0) return nullptr;
    if (NET_ARC* a = find_arc(p, t, pt)) {
        a->weight = weight;
        return a;
    }
    return link_arc_sorted(p, t, weight, pt);
}

NET_ARC* insert_PT_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight) {
    return insert_con(net, place, trans, weight, true, "insert_PT_con");
}

NET_ARC* insert_TP_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight) {
    return insert_con(net, place, trans, weight, false, "insert_TP_con");
}

void insert_PTP_con(NET* net, const std::string& place, const std::string& trans, std::int32_t pt_weight,
                    std::int32_t tp_weight) {
    insert_con(net, place, trans, pt_weight, true, "insert_PTP_con");
    insert_con(net, place, trans, tp_weight, false, "insert_PTP_con");
}

// The fast arc inserts: an existing arc gets the new weight (weight 0
// removes it); a new arc of weight 0 is not made.
static NET_ARC* set_arc(NET_NODE* p, NET_NODE* t, std::int32_t weight, bool pt, ArcCursors& cur) {
    cur.place = p;
    cur.transition = t;
    NET_ARC* a = find_arc(p, t, pt);
    if (a) {
        if (weight == 0) {
            remove_arc(a, pt);
            a = nullptr;
        } else {
            a->weight = weight;
        }
    } else if (weight != 0) {
        a = link_arc_sorted(p, t, weight, pt);
    }
    cur.arc = a;
    return a;
}

static NET_ARC* fast_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight,
                         ArcCursors& cur, bool pt, const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    // The cursors are only written: the index finds the ends directly, and a
    // cursor may point to a node deleted since.
    NET_NODE* p = net->places ? lookup(net, false, place) : nullptr;
    if (!p) return warn(op, "place '%s' does not exist.\n", place.c_str()), nullptr;
    NET_NODE* t = net->transitions ? lookup(net, true, trans) : nullptr;
    if (!t) return warn(op, "transition '%s' does not exist.\n", trans.c_str()), nullptr;
    return set_arc(p, t, weight, pt, cur);
}

static NET_ARC* fast_num(NET* net, std::uint32_t place, std::uint32_t trans, std::int32_t weight,
                         ArcCursors& cur, bool pt, const char* op) {
    if (!net) return warn(op, "not a net.\n"), nullptr;
    NET_NODE* p = lookup_number(net, false, place);
    if (!p) return warn(op, "place identifier '%u' does not exist.\n", place), nullptr;
    NET_NODE* t = lookup_number(net, true, trans);
    if (!t) return warn(op, "transition identifier '%u' does not exist.\n", trans), nullptr;
    return set_arc(p, t, weight, pt, cur);
}

NET_ARC* fast_insert_PT_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight,
                            ArcCursors& cur) {
    return fast_con(net, place, trans, weight, cur, true, "fast_insert_PT_con");
}

NET_ARC* fast_insert_TP_con(NET* net, const std::string& place, const std::string& trans, std::int32_t weight,
                            ArcCursors& cur) {
    return fast_con(net, place, trans, weight, cur, false, "fast_insert_TP_con");
}

NET_ARC* fast_insert_PT_num(NET* net, std::uint32_t place, std::uint32_t trans, std::int32_t weight,
                            ArcCursors& cur) {
    return fast_num(net, place, trans, weight, cur, true, "fast_insert_PT_num");
}

NET_ARC* fast_insert_TP_num(NET* net, std::uint32_t place, std::uint32_t trans, std::int32_t weight,
                            ArcCursors& cur) {
    return fast_num(net, place, trans, weight, cur, false, "fast_insert_TP_num");
}

void fast_insert_PTP_con(NET* net, const std::string& place, const std::string& trans, std::int32_t pt_weight,
                         std::int32_t tp_weight, ArcCursors& cur) {
    fast_con(net, place, trans, pt_weight, cur, true, "fast_insert_PTP_con");
    fast_con(net, place, trans, tp_weight, cur, false, "fast_insert_PTP_con");
}

// ---------------------------------------------------------------------------
// unsorted appends, renaming and renumbering

static NET_NODE* append_node(NET* net, bool transitions, const std::string& name, std::int32_t tokens) {
    NET_NODE* node = make_node(transitions, name, tokens);
    link_node(net, transitions, node, nullptr);
    std::uint32_t& count = transitions ? net->transitions : net->places;
    node->number = ++count;
    ListIndex& ix = list_index(net, node);
    index_add_name(ix, node);
    if (ix.numbers_valid && ix.by_number.size() == node->number) ix.by_number.push_back(node);
    list_changed(ix);
    return node;
}

NET_NODE* append_place(NET* net, const std::string& name, std::int32_t tokens) {
    if (!net) return warn("append_place", "not a net.\n"), nullptr;
    return append_node(net, false, name, tokens);
}

NET_NODE* append_transition(NET* net, const std::string& name) {
    if (!net) return warn("append_transition", "not a net.\n"), nullptr;
    return append_node(net, true, name, 0);
}

NET_ARC* append_PT_arc(NET* net, NET_NODE* place, NET_NODE* trans, std::int32_t weight) {
    if (!net || !place || !trans) return warn("append_PT_arc", "not a net or no node.\n"), nullptr;
    if (weight == 0) return nullptr;
    NET_ARC* a = new_arc(place, trans, weight);
    append_to(place_list(a, true), a);
    append_to(trans_list(a, true), a);
    return a;
}

NET_ARC* append_TP_arc(NET* net, NET_NODE* trans, NET_NODE* place, std::int32_t weight) {
    if (!net || !place || !trans) return warn("append_TP_arc", "not a net or no node.\n"), nullptr;
    if (weight == 0) return nullptr;
    NET_ARC* a = new_arc(place, trans, weight);
    append_to(place_list(a, false), a);
    append_to(trans_list(a, false), a);
    return a;
}

void rename_node(NET* net, NET_NODE* node, const std::string& name) {
    if (!net || !node) return warn("rename_node", "not a net or no node.\n");
    ListIndex& ix = list_index(net, node);
    index_remove_name(ix, node);
    node->name = name;
    if (ix.names_valid) {
        auto r = ix.by_name.emplace(node->name, node);
        // With duplicates the first node in list order must win: rebuild later.
        if (!r.second) {
            ++ix.duplicates;
            ix.names_valid = false;
        }
    }
}

static void renumber_list(ListIndex& ix, NET_NODE* head) {
    ix.by_number.assign(1, nullptr);
    std::uint32_t k = 0;
    for (NET_NODE* n = head; n; n = n->next) {
        n->number = ++k;
        ix.by_number.push_back(n);
    }
    ix.numbers_valid = true;
}

void renumber(NET* net) {
    if (!net) return warn("renumber", "not a net.\n");
    renumber_list(net->index->places, net->first_place);
    renumber_list(net->index->transitions, net->first_transition);
}

static std::vector<NET_NODE*> append_block(NET* net, bool transitions, const NameTable& names) {
    std::vector<NET_NODE*> out;
    if (!net || names.empty()) return out;
    std::unique_ptr<NET_NODE[]> block(new NET_NODE[names.size()]);
    NetIndex::Block range{block.get(), names.size()};
    net->node_blocks.push_back(std::move(block));
    net->index->blocks.push_back(range);
    net->flags |= NET_BLOCK_ALLOCATED;
    out.reserve(names.size());
    std::uint32_t& count = transitions ? net->transitions : net->places;
    ListIndex& ix = transitions ? net->index->transitions : net->index->places;
    for (std::size_t k = 0; k < names.size(); ++k) {
        NET_NODE* node = range.begin + k;
        node->name = names[k].str();
        node->node_type = transitions ? 2 : 1;
        link_node(net, transitions, node, nullptr);
        node->number = ++count;
        index_add_name(ix, node);
        out.push_back(node);
    }
    ix.numbers_valid = false;
    list_changed(ix);
    return out;
}

static std::vector<NET_NODE*> bulk_insert(NET* net, bool transitions, const NameTable& names) {
    std::vector<NET_NODE*> out(names.size(), nullptr);
    if (!net || names.empty()) return out;
    if (list_head(net, transitions)) {
        NET_NODE* cursor = nullptr;
        for (std::size_t k = 0; k < names.size(); ++k) out[k] = policy_insert(net, transitions, names[k].str(), 0, cursor);
        return out;
    }
    const std::vector<std::size_t> order = name_order(names);
    ListIndex& ix = names_of(net, transitions);
    std::vector<std::size_t> duplicates;
    std::uint32_t& count = transitions ? net->transitions : net->places;
    // The new nodes are allocated as one block, released with the net.
    std::size_t distinct = 0;
    for (std::size_t i = 0; i < order.size(); ++i)
        if (i == 0 || !name_equal(names[order[i - 1]], names[order[i]])) ++distinct;
    std::unique_ptr<NET_NODE[]> block(new NET_NODE[distinct]);
    NetIndex::Block range{block.get(), distinct};
    net->node_blocks.push_back(std::move(block));
    net->index->blocks.push_back(range);
    std::size_t used = 0;
    NET_NODE* last = nullptr;
    for (std::size_t k : order) {
        if (last && name_equal(last->name, names[k])) {
            out[k] = last;
            duplicates.push_back(k);
            continue;
        }
        last = range.begin + used++;
        last->name = names[k].str();
        last->node_type = transitions ? 2 : 1;
        link_node(net, transitions, last, nullptr);
        ix.by_name.emplace_hint(ix.by_name.end(), last->name, last);
        ++count;
        out[k] = last;
    }
    list_changed(ix);
    // Duplicates are reported in the order given, as one insert after the
    // other would report them.
    std::sort(duplicates.begin(), duplicates.end());
    for (std::size_t k : duplicates) {
        NET_NODE* cursor = nullptr;
        policy_insert(net, transitions, names[k].str(), 0, cursor);
    }
    return out;
}

std::vector<NET_NODE*> fast_insert_places(NET* net, const NameTable& names) {
    if (!net) return warn("fast_insert_places", "not a net.\n"), std::vector<NET_NODE*>(names.size(), nullptr);
    return bulk_insert(net, false, names);
}

std::vector<NET_NODE*> fast_insert_transitions(NET* net, const NameTable& names) {
    if (!net) return warn("fast_insert_transitions", "not a net.\n"), std::vector<NET_NODE*>(names.size(), nullptr);
    return bulk_insert(net, true, names);
}

std::vector<NET_NODE*> append_place_block(NET* net, const NameTable& names) {
    return append_block(net, false, names);
}

std::vector<NET_NODE*> append_transition_block(NET* net, const NameTable& names) {
    return append_block(net, true, names);
}

void insert_arcs(NET* net, std::vector<NewArc>& arcs) {
    if (!net) return warn("insert_arcs", "not a net.\n");
    // Compact records, sorted by list: node, direction, other end.  Names are
    // compared only inside the (small) group of one list.
    struct Item {
        NET_NODE* node;    // the end whose list is being built
        NET_NODE* other;
        std::size_t index;
        bool pt;
    };
    auto by_list = [](const Item& a, const Item& b) {
        if (a.node != b.node) return std::less<NET_NODE*>()(a.node, b.node);
        if (a.pt != b.pt) return a.pt < b.pt;
        if (a.other != b.other) return std::less<NET_NODE*>()(a.other, b.other);
        return a.index < b.index;
    };
    auto sort_groups_by_name = [](std::vector<Item>& items) {
        std::size_t i = 0;
        while (i < items.size()) {
            std::size_t j = i + 1;
            while (j < items.size() && items[j].node == items[i].node && items[j].pt == items[i].pt) ++j;
            if (j - i > 1)
                std::stable_sort(items.begin() + static_cast<std::ptrdiff_t>(i),
                                 items.begin() + static_cast<std::ptrdiff_t>(j),
                                 [](const Item& a, const Item& b) { return name_less(a.other->name, b.other->name); });
            i = j;
        }
    };
    std::vector<Item> items;
    items.reserve(arcs.size());
    for (std::size_t k = 0; k < arcs.size(); ++k)
        if (arcs[k].place && arcs[k].transition)
            items.push_back({arcs[k].place, arcs[k].transition, k, arcs[k].place_to_transition});
    std::sort(items.begin(), items.end(), by_list);
    // The last entry for each pair of ends and direction decides.
    std::vector<Item> place_side;
    place_side.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i + 1 < items.size() && items[i + 1].node == items[i].node && items[i + 1].pt == items[i].pt &&
            items[i + 1].other == items[i].other)
            continue;
        NewArc& spec = arcs[items[i].index];
        bool pt = items[i].pt;
        // An arc that was there before the call: as the fast inserts.
        if (NET_ARC* old = find_arc(spec.place, spec.transition, pt)) {
            if (spec.weight == 0) {
                remove_arc(old, pt);
            } else {
                old->weight = spec.weight;
                old->extras = std::move(spec.extras);
            }
            continue;
        }
        if (spec.weight != 0) place_side.push_back(items[i]);
    }
    std::vector<Item>().swap(items);
    sort_groups_by_name(place_side);
    // A list that was empty takes its group by appending, any other gets each
    // arc at its sorted position.
    auto link_groups = [](const std::vector<Item>& group_items, const std::vector<NET_ARC*>& made, bool places) {
        std::size_t i = 0;
        while (i < group_items.size()) {
            std::size_t j = i + 1;
            while (j < group_items.size() && group_items[j].node == group_items[i].node &&
                   group_items[j].pt == group_items[i].pt)
                ++j;
            bool pt = group_items[i].pt;
            Side first = places ? place_list(made[i], pt) : trans_list(made[i], pt);
            bool was_empty = first.head == nullptr;
            for (std::size_t k = i; k < j; ++k) {
                Side side = places ? place_list(made[k], pt) : trans_list(made[k], pt);
                if (was_empty) append_to(side, made[k]);
                else link_sorted(side, made[k]);
            }
            i = j;
        }
    };
    std::vector<NET_ARC*> made(place_side.size());
    for (std::size_t k = 0; k < place_side.size(); ++k) {
        NewArc& spec = arcs[place_side[k].index];
        made[k] = new_arc(spec.place, spec.transition, spec.weight);
        made[k]->extras = std::move(spec.extras);
        place_side[k].index = k;   // now: the arc made
    }
    link_groups(place_side, made, true);
    // Transition side.
    std::vector<Item> trans_side;
    trans_side.reserve(place_side.size());
    for (const Item& it : place_side) trans_side.push_back({it.other, it.node, it.index, it.pt});
    std::vector<Item>().swap(place_side);
    std::sort(trans_side.begin(), trans_side.end(), by_list);
    sort_groups_by_name(trans_side);
    std::vector<NET_ARC*> made_t(trans_side.size());
    for (std::size_t k = 0; k < trans_side.size(); ++k) made_t[k] = made[trans_side[k].index];
    link_groups(trans_side, made_t, false);
}

// ---------------------------------------------------------------------------
// deletes

int delete_place(NET* net, const std::string& name) {
    if (!net || name.empty()) return warn("delete_place", "not a net or no place.\n"), 0;
    NET_NODE* p = net->places ? lookup(net, false, name) : nullptr;
    if (!p) return warn("delete_place", "place '%s' does not exist.\n", name.c_str()), 1;
    delete_node(net, p);
    return 1;
}

int delete_transition(NET* net, const std::string& name) {
    if (!net || name.empty()) return warn("delete_transition", "not a net or no transition.\n"), 0;
    NET_NODE* t = net->transitions ? lookup(net, true, name) : nullptr;
    if (!t) return warn("delete_transition", "transition '%s' does not exist.\n", name.c_str()), 1;
    delete_node(net, t);
    return 1;
}

NET_NODE* delete_place_node(NET* net, NET_NODE* node) {
    if (!net || !node || node->node_type != 1)
        return warn("delete_place_node", "not a net or no place.\n"), nullptr;
    return delete_node(net, node);
}

NET_NODE* delete_transition_node(NET* net, NET_NODE* node) {
    if (!net || !node || node->node_type != 2)
        return warn("delete_transition_node", "not a net or no transition.\n"), nullptr;
    return delete_node(net, node);
}

int delete_P_to_T_con_node(NET* net, NET_ARC* arc) {
    if (!net) return warn("delete_P_to_T_con_node", "not a net.\n"), 0;
    if (!arc) return warn("delete_P_to_T_con_node", "not a net or no node.\n"), 0;
    remove_arc(arc, true);
    return 1;
}

int delete_T_to_P_con_node(NET* net, NET_ARC* arc) {
    if (!net) return warn("delete_T_to_P_con_node", "not a net.\n"), 0;
    if (!arc) return warn("delete_T_to_P_con_node", "not a net or no node.\n"), 0;
    remove_arc(arc, false);
    return 1;
}

// Each lowers the weight of the arc of the other direction by one (so the
// callers have always used them); an arc that reaches weight 0 is removed.
int delete_P_to_T_connection(NET* net, const std::string& place, const std::string& trans) {
    if (!net || place.empty() || trans.empty())
        return warn("delete_P_to_T_connection", "not a net or no P/T.\n"), 0;
    NET_ARC* a = find_TP_connection(net, place, trans);
    if (a && --a->weight <= 0) remove_arc(a, false);
    return 1;
}

int delete_T_to_P_connection(NET* net, const std::string& place, const std::string& trans) {
    if (!net || place.empty() || trans.empty())
        return warn("delete_T_to_P_connection", "not a net or no P/T.\n"), 0;
    NET_ARC* a = find_PT_connection(net, place, trans);
    if (a && --a->weight <= 0) remove_arc(a, true);
    return 1;
}

// ---------------------------------------------------------------------------
// markings

int change_place_marking(NET* net, const std::string& place, std::int32_t tokens) {
    if (!net || place.empty()) return warn("change_place_marking", "not a net or no place.\n"), 0;
    NET_NODE* p = net->places ? lookup(net, false, place) : nullptr;
    if (!p) return warn("change_place_marking", "place '%s' does not exist.\n", place.c_str()), 0;
    p->marking = tokens;
    return 1;
}

NameList copy_start_marking(NET* net) {
    if (!net) return warn("copy_start_marking", "not a net.\n"), nullptr;
    if (!net->first_place) return warn("copy_start_marking", "net without places.\n"), nullptr;
    NameList head;
    NameCell* tail = nullptr;
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        NameList c = make_cell(p->name, p->marking);
        NameCell* raw = c.get();
        if (tail) tail->next = std::move(c); else head = std::move(c);
        tail = raw;
    }
    return head;
}

int change_start_marking(NET* net, const NameList& list) {
    if (!net) return warn("change_start_marking", "not a net.\n"), 0;
    if (!list) return 0;
    if (chain_length(list) != net->places) {
        warn("change_start_marking", "marking list does not fit to the number of places.\n");
        return 0;
    }
    // A cell holds the first kNameLimit characters of its place's name, so a
    // cell of that length stands for every place whose name begins with it;
    // such cells take those places in list order, as copy_start_marking
    // wrote them.
    std::unordered_map<std::string, std::vector<NET_NODE*>> by_prefix;
    for (const NameCell* c = list.get(); c; c = c->next.get())
        if (c->name.size() >= kNameLimit) by_prefix.emplace(c->name.substr(0, kNameLimit), std::vector<NET_NODE*>());
    if (!by_prefix.empty())
        for (NET_NODE* p = net->last_place; p; p = p->prev)
            if (p->name.size() >= kNameLimit) {
                auto it = by_prefix.find(p->name.substr(0, kNameLimit));
                if (it != by_prefix.end()) it->second.push_back(p);  // last place first: taken from the back
            }
    // Every cell finds its place before any marking changes: a list that
    // fails changes nothing.
    std::vector<std::pair<NET_NODE*, std::int32_t>> changes;
    int result = 1;
    for (const NameCell* c = list.get(); c; c = c->next.get()) {
        NET_NODE* p = nullptr;
        if (c->name.size() >= kNameLimit) {
            std::vector<NET_NODE*>& candidates = by_prefix[c->name.substr(0, kNameLimit)];
            if (!candidates.empty()) p = candidates.back(), candidates.pop_back();
        } else {
            p = lookup(net, false, c->name);
        }
        if (p) {
            changes.emplace_back(p, c->tokens);
        } else {
            warn("change_start_marking", "number of marks of place '%s' has not been changed.\n", c->name.c_str());
            result = 0;
        }
    }
    if (result)
        for (const auto& [p, tokens] : changes) p->marking = tokens;
    return result;
}

void show_marking(const NameList& list) {
    if (!list) return warn("show_marking", "not a marking.\n");
    std::printf("(");
    for (const NameCell* c = list.get(); c; c = c->next.get())
        std::printf(c->next ? "%d, " : "%d)\n", c->tokens);
}

void print_name_list(const NameList& list) {
    std::printf("{");
    for (const NameCell* c = list.get(); c; c = c->next.get())
        std::printf(c->next ? "%s, " : "%s", c->name.c_str());
    std::printf("}\n");
}

std::size_t chain_length(const NameList& list) {
    std::size_t n = 0;
    for (const NameCell* c = list.get(); c; c = c->next.get()) ++n;
    return n;
}

void free_chain(NameList& list) { list.reset(); }

}  // namespace netlib
