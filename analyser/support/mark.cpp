// Tuples, multituples and markings.
//
// The binary operations walk their second operand in order and keep their
// place in the first one: when the second operand is sorted (the normal
// case) each walk costs the sum of the two lengths, and an entry that comes
// out of order merely restarts the search at the head.  The walks use cell
// pointers of their own, so that both operands may be one marking.
#include "mark.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "internal.h"

uint32_t _magNofPlaces = 0;

namespace {

void* MultupCopyTool(void* multup) { return MultupCopy(static_cast<MULTUP*>(multup)); }
void MultupDiscardTool(void* multup) { MultupDiscard(static_cast<MULTUP*>(multup)); }

MULTUP* Entry(const LISTNODE* cell) { return static_cast<MULTUP*>(cell->_node); }

uint32_t AddCounts(uint32_t a, uint32_t b, const char* operation) {
    if (a > UINT32_MAX - b)
        support::InternalError("\n%s: count %u + %u exceeds 4294967295\n", operation, a, b);
    return a + b;
}

uint32_t MultiplyCounts(uint32_t a, unsigned long b, const char* operation) {
    unsigned long product = 0;
    if (__builtin_mul_overflow(static_cast<unsigned long>(a), b, &product) || product > UINT32_MAX)
        support::InternalError("\n%s: count %u * %lu exceeds 4294967295\n", operation, a, b);
    return static_cast<uint32_t>(product);
}

// The search of the walks.  Starting after `from` (a cell whose tuple is
// smaller than `tuple`; null: at the head), returns the last cell with a
// smaller tuple (null when none) and in *equal the cell with an equal tuple,
// or null.
LISTNODE* Find(MARKING* m, LISTNODE* from, TUPLE* tuple, LISTNODE** equal) {
    LISTNODE* previous = from;
    LISTNODE* cell = from != nullptr ? from->_next : m->_first;
    int cmp = 1;
    while (cell != nullptr && (cmp = TupCompare(tuple, Entry(cell)->_tuple)) > 0) {
        previous = cell;
        cell = cell->_next;
    }
    *equal = cell != nullptr && cmp == 0 ? cell : nullptr;
    return previous;
}

// A position hint for a walk over the entries of a second operand: reset to
// the head whenever the operand's entries stop ascending.
struct Hint {
    LISTNODE* from = nullptr;
    TUPLE* last = nullptr;

    LISTNODE* Start(TUPLE* tuple) {
        if (last != nullptr && TupCompare(tuple, last) < 0)
            from = nullptr;
        last = tuple;
        return from;
    }
};

// Adds y's count to m: to the entry of the same tuple, or as a new entry
// (y itself when owned, else a copy).  Returns the cell before that entry.
LISTNODE* AddEntry(MARKING* m, LISTNODE* from, MULTUP* y, bool owned, const char* operation) {
    LISTNODE* equal = nullptr;
    LISTNODE* previous = Find(m, from, y->_tuple, &equal);
    if (equal != nullptr) {
        Entry(equal)->_count = AddCounts(Entry(equal)->_count, y->_count, operation);
        m->_this = equal;
        if (owned)
            MultupDiscard(y);
    } else {
        m->_this = previous;
        LstInsNext(m, owned ? y : MultupCopy(y));
    }
    return previous;
}

// Removes every entry of m.
void Clear(MARKING* m) {
    while (m->_first != nullptr)
        LstDelFirst(m, TRUE);
    m->_this = nullptr;
}

}  // namespace

extern "C" {

const TOOLS multupTools = {MultupCopyTool, MultupDiscardTool};

TUPLE* TupCons(uint32_t arity) {
    auto* tuple = static_cast<TUPLE*>(Etacolla(sizeof(TUPLE)));
    tuple->_arity = arity;
    tuple->_array = static_cast<DOMAIN*>(YarraColla(arity, sizeof(DOMAIN)));
    return tuple;
}

TUPLE* TupCopy(TUPLE* tuple) {
    auto* copy = static_cast<TUPLE*>(Etacolla(sizeof(TUPLE)));
    copy->_arity = tuple->_arity;
    copy->_array = static_cast<DOMAIN*>(Etacolla(sizeof(DOMAIN) * tuple->_arity));
    if (tuple->_arity > 0)
        std::memcpy(copy->_array, tuple->_array, sizeof(DOMAIN) * tuple->_arity);
    return copy;
}

void TupDiscard(TUPLE* tuple) {
    if (tuple == nullptr)
        return;
    Deallocate(tuple->_array);
    Deallocate(tuple);
}

int TupCompare(TUPLE* a, TUPLE* b) {
    if (a->_arity != b->_arity)
        return a->_arity < b->_arity ? -1 : 1;
    for (uint32_t i = 0; i < a->_arity; ++i)
        if (a->_array[i] != b->_array[i])
            return a->_array[i] < b->_array[i] ? -1 : 1;
    return 0;
}

void TupDump(TUPLE* tuple, unsigned indent) {
    for (unsigned i = 0; i < indent; ++i)
        std::fputc('.', _err);
    std::fputs("TUPLE <.", _err);
    for (uint32_t i = 0; i < tuple->_arity; ++i)
        std::fprintf(_err, i == 0 ? "%lu" : ", %lu", static_cast<unsigned long>(tuple->_array[i]));
    std::fputs(".>\n", _err);
    std::fflush(_err);
}

MULTUP* MultupCons(unsigned long count, TUPLE* tuple) {
    if (count > UINT32_MAX)
        support::InternalError("\nMultupCons: count %lu exceeds 4294967295\n", count);
    auto* multup = static_cast<MULTUP*>(Etacolla(sizeof(MULTUP)));
    multup->_count = multup->_freeCount = static_cast<uint32_t>(count);
    multup->_tuple = tuple;
    return multup;
}

MULTUP* MultupCopy(MULTUP* multup) {
    auto* copy = static_cast<MULTUP*>(Etacolla(sizeof(MULTUP)));
    copy->_count = multup->_count;
    copy->_freeCount = multup->_freeCount;
    copy->_tuple = TupCopy(multup->_tuple);
    return copy;
}

void MultupDiscard(MULTUP* multup) {
    if (multup == nullptr)
        return;
    TupDiscard(multup->_tuple);
    Deallocate(multup);
}

void MarInsert(MARKING* m, MULTUP* x) {
    if (x->_count == 0) {
        MultupDiscard(x);
        return;
    }
    AddEntry(m, nullptr, x, true, "MarInsert");
}

MARKING* MarAdd(MARKING* a, MARKING* b) {
    if (a == b) {
        for (LISTNODE* cell = a->_first; cell != nullptr; cell = cell->_next)
            Entry(cell)->_count = AddCounts(Entry(cell)->_count, Entry(cell)->_count, "MarAdd");
        return a;
    }
    Hint hint;
    for (LISTNODE* cell = b->_first; cell != nullptr; cell = cell->_next)
        hint.from = AddEntry(a, hint.Start(Entry(cell)->_tuple), Entry(cell), false, "MarAdd");
    return a;
}

MARKING* MarSubtract(MARKING* a, MARKING* b) {
    if (a == b) {
        Clear(a);
        return a;
    }
    Hint hint;
    for (LISTNODE* cell = b->_first; cell != nullptr; cell = cell->_next) {
        MULTUP* y = Entry(cell);
        LISTNODE* equal = nullptr;
        hint.from = Find(a, hint.Start(y->_tuple), y->_tuple, &equal);
        if (equal == nullptr)
            continue;
        if (Entry(equal)->_count > y->_count) {
            Entry(equal)->_count -= y->_count;
        } else {
            a->_this = hint.from;
            LstDelNext(a, TRUE);
        }
    }
    return a;
}

MARKING* MarIntersect(MARKING* a, MARKING* b) {
    // min(a, b) = a - (a - b).
    MARKING* difference = LstCopy(a, TRUE);
    MarSubtract(difference, b);
    MarSubtract(a, difference);
    LstDestroy(difference, TRUE);
    return a;
}

MARKING* MarProduct(MARKING* m, unsigned long n) {
    if (n == 0) {
        LstDestroy(m, TRUE);
        return LstCreate(&multupTools);
    }
    if (n == 1)
        return m;
    for (LISTNODE* cell = m->_first; cell != nullptr; cell = cell->_next)
        Entry(cell)->_count = MultiplyCounts(Entry(cell)->_count, n, "MarProduct");
    return m;
}

MARKING* MarCartes(MARKING* a, MARKING* b) {
    MARKING* result = LstCreate(&multupTools);
    Hint hint;
    for (LISTNODE* xc = a->_first; xc != nullptr; xc = xc->_next) {
        MULTUP* x = Entry(xc);
        for (LISTNODE* yc = b->_first; yc != nullptr; yc = yc->_next) {
            MULTUP* y = Entry(yc);
            uint32_t xa = x->_tuple->_arity;
            uint32_t ya = y->_tuple->_arity;
            if (xa > UINT32_MAX - ya)
                support::InternalError("\nMarCartes: arity %u + %u exceeds 4294967295\n", xa, ya);
            TUPLE* tuple = TupCons(xa + ya);
            if (xa > 0)
                std::memcpy(tuple->_array, x->_tuple->_array, sizeof(DOMAIN) * xa);
            if (ya > 0)
                std::memcpy(tuple->_array + xa, y->_tuple->_array, sizeof(DOMAIN) * ya);
            MULTUP* product = MultupCons(MultiplyCounts(x->_count, y->_count, "MarCartes"), tuple);
            hint.from = AddEntry(result, hint.Start(tuple), product, true, "MarCartes");
            // The hint's tuple may have been discarded by a merge; the
            // merged entry holds an equal one.
            hint.last = Entry(hint.from != nullptr ? hint.from->_next : result->_first)->_tuple;
        }
    }
    return result;
}

int MarLess(MARKING* a, MARKING* b) {
    bool difference = false;
    LISTNODE* bc = b->_first;
    for (LISTNODE* ac = a->_first; ac != nullptr; ac = ac->_next) {
        MULTUP* x = Entry(ac);
        int cmp = 1;
        while (bc != nullptr && (cmp = TupCompare(Entry(bc)->_tuple, x->_tuple)) < 0) {
            difference = true;
            bc = bc->_next;
        }
        if (bc == nullptr || cmp > 0 || x->_count > Entry(bc)->_count)
            return 0;
        if (x->_count < Entry(bc)->_count)
            difference = true;
        bc = bc->_next;
    }
    return bc != nullptr || difference;
}

int MarLequal(MARKING* a, MARKING* b) {
    LISTNODE* bc = b->_first;
    for (LISTNODE* ac = a->_first; ac != nullptr; ac = ac->_next) {
        MULTUP* x = Entry(ac);
        int cmp = 1;
        while (bc != nullptr && (cmp = TupCompare(Entry(bc)->_tuple, x->_tuple)) < 0)
            bc = bc->_next;
        if (bc == nullptr || cmp > 0 || x->_count > Entry(bc)->_count)
            return 0;
        bc = bc->_next;
    }
    return 1;
}

int MarEqual(MARKING* a, MARKING* b) {
    if (a == b)
        return 1;
    LISTNODE* ac = a->_first;
    LISTNODE* bc = b->_first;
    for (; ac != nullptr && bc != nullptr; ac = ac->_next, bc = bc->_next)
        if (Entry(ac)->_count != Entry(bc)->_count || TupCompare(Entry(ac)->_tuple, Entry(bc)->_tuple) != 0)
            return 0;
    return ac == nullptr && bc == nullptr;
}

MARKING* MarAddDiscard(MARKING* a, MARKING* b) {
    if (a == b)
        return a;
    LstCatenate(a, b);
    Deallocate(b);
    return a;
}

STATE* StaFrCopy(STATE* state) {
    if (_magNofPlaces == 0)
        return nullptr;
    auto* copy = static_cast<STATE*>(Etacolla(sizeof(STATE) * _magNofPlaces));
    for (uint32_t place = 0; place < _magNofPlaces; ++place) {
        MARKING* marking = LstCreate(&multupTools);
        for (LISTNODE* cell = state[place]->_first; cell != nullptr; cell = cell->_next) {
            MULTUP* entry = Entry(cell);
            if (entry->_freeCount != 0)
                LstInsLast(marking, MultupCons(entry->_freeCount, TupCopy(entry->_tuple)));
        }
        marking->_this = nullptr;
        copy[place] = marking;
    }
    return copy;
}

void StaDiscard(STATE* state) {
    if (state == nullptr)
        return;
    for (uint32_t place = 0; place < _magNofPlaces; ++place)
        LstDestroy(state[place], TRUE);
    Deallocate(state);
}

}  // extern "C"
