// Radix pointer blocks.  A block of shift s > 0 holds pointers to blocks of
// shift s - 11; a block of shift 0 is a leaf of element pointers.  Of the
// blocks under one parent all but the last cover 2^s slots; the last covers
// the rest.  The walks recurse over the levels only (at most two).
#include "radix.h"

#include "alloc.h"
#include "internal.h"

namespace {

constexpr unsigned kLevelBits = 11;
constexpr unsigned long kLevelMask = (1UL << kLevelBits) - 1;
constexpr unsigned long kMaxSlots = 1UL << (2 * kLevelBits);

// Entries of a block of the given shift covering count slots.
unsigned long Entries(unsigned long count, unsigned shift) { return ((count - 1) >> shift) + 1; }

// Slots covered by child i of a block of the given shift covering count.
unsigned long ChildCount(unsigned long count, unsigned shift, unsigned long i, unsigned long entries) {
    return i + 1 < entries ? 1UL << shift : ((count - 1) & ((1UL << shift) - 1)) + 1;
}

void** Alloc(unsigned long count, unsigned shift) {
    unsigned long entries = Entries(count, shift);
    auto** block = static_cast<void**>(YarraColla(entries, sizeof(void*)));
    if (shift > 0)
        for (unsigned long i = 0; i < entries; ++i)
            block[i] = Alloc(ChildCount(count, shift, i, entries), shift - kLevelBits);
    return block;
}

// A copy of the blocks, slots mapped by copy (null slots stay null) or
// shared when copy is null.
void** Copy(void** block, unsigned long count, unsigned shift, void* (*copy)(void*)) {
    unsigned long entries = Entries(count, shift);
    auto** made = static_cast<void**>(YarraColla(entries, sizeof(void*)));
    for (unsigned long i = 0; i < entries; ++i) {
        if (shift > 0)
            made[i] = Copy(static_cast<void**>(block[i]), ChildCount(count, shift, i, entries),
                           shift - kLevelBits, copy);
        else
            made[i] = block[i] != nullptr && copy != nullptr ? Pvoid(copy(block[i])) : block[i];
    }
    return made;
}

void Dispose(void** block, unsigned long count, unsigned shift, void (*discard)(void*)) {
    unsigned long entries = Entries(count, shift);
    if (shift > 0) {
        for (unsigned long i = 0; i < entries; ++i)
            Dispose(static_cast<void**>(block[i]), ChildCount(count, shift, i, entries),
                    shift - kLevelBits, discard);
    } else if (discard != nullptr) {
        for (unsigned long i = entries; i-- > 0;)
            if (block[i] != nullptr)
                discard(block[i]);
    }
    Deallocate(block);
}

// The walks: f receives the element (byAddress false) or the slot address.
template <bool byAddress, bool backwards, typename F>
void** Walk(void** block, unsigned long count, unsigned shift, F f) {
    unsigned long entries = Entries(count, shift);
    for (unsigned long k = 0; k < entries; ++k) {
        unsigned long i = backwards ? entries - 1 - k : k;
        if (shift > 0) {
            void** found = Walk<byAddress, backwards>(static_cast<void**>(block[i]),
                                                      ChildCount(count, shift, i, entries),
                                                      shift - kLevelBits, f);
            if (found != nullptr)
                return found;
        } else if constexpr (byAddress) {
            if (f(&block[i]))
                return &block[i];
        } else if (f(block[i])) {
            return &block[i];
        }
    }
    return nullptr;
}

template <bool byAddress, bool backwards, typename F>
void** WalkAll(RADIX* block, F f) {
    if (block->root == nullptr)
        return nullptr;
    return Walk<byAddress, backwards>(block->root, block->ptrCount, block->bits, f);
}

}  // namespace

extern "C" {

RADIX* RadixCreate(unsigned long ptrCount, const TOOLS* tools) {
    if (ptrCount > kMaxSlots)
        support::InternalError("\nRadixCreate: %lu slots exceed %lu\n", ptrCount, kMaxSlots);
    auto* block = static_cast<RADIX*>(Etacolla(sizeof(RADIX)));
    block->ptrCount = ptrCount;
    block->tools = tools;
    block->bits = 0;
    while (ptrCount > 0 && ((ptrCount - 1) >> (block->bits + kLevelBits)) != 0)
        block->bits += kLevelBits;
    block->root = ptrCount > 0 ? Alloc(ptrCount, block->bits) : nullptr;
    return block;
}

RADIX* RadixCopy(RADIX* block, int elCopy) {
    auto* copy = static_cast<RADIX*>(Etacolla(sizeof(RADIX)));
    *copy = *block;
    if (block->root != nullptr)
        copy->root = Copy(block->root, block->ptrCount, block->bits,
                          elCopy && block->tools != nullptr ? block->tools->_copy : nullptr);
    return copy;
}

void RadixDestroy(RADIX* block, int elDiscard) {
    if (block == nullptr)
        return;
    if (block->root != nullptr)
        Dispose(block->root, block->ptrCount, block->bits,
                elDiscard && block->tools != nullptr ? block->tools->_discard : nullptr);
    Deallocate(block);
}

void RadixPut(RADIX* block, void* element, unsigned long number) {
    void** slots = block->root;
    for (unsigned shift = block->bits; shift > 0; shift -= kLevelBits)
        slots = static_cast<void**>(slots[(number >> shift) & kLevelMask]);
    slots[number & kLevelMask] = Pvoid(element);
}

void* RadixGet(RADIX* block, unsigned long number) {
    void** slots = block->root;
    for (unsigned shift = block->bits; shift > 0; shift -= kLevelBits)
        slots = static_cast<void**>(slots[(number >> shift) & kLevelMask]);
    return slots[number & kLevelMask];
}

void**(RadixApply)(RADIX* block, int (*f)(void*)) { return WalkAll<false, false>(block, f); }

void**(RadixBackApply)(RADIX* block, int (*f)(void*)) { return WalkAll<false, true>(block, f); }

void**(RadixAddrApply)(RADIX* block, int (*f)(void**)) { return WalkAll<true, false>(block, f); }

void**(RadixBkdrApply)(RADIX* block, int (*f)(void**)) { return WalkAll<true, true>(block, f); }

}  // extern "C"
