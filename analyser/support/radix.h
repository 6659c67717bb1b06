/* Radix pointer blocks: a fixed-size array of pointers indexed by number,
 * stored as a tree of blocks of at most 2048 slots, so that large tables
 * need no single huge allocation.  Every slot starts null; every block is
 * exactly as large as the slots below it need.  At most 4194304 slots (two
 * levels); RadixPut and RadixGet never allocate and make no bounds check. */
#ifndef RADIX_H
#define RADIX_H

#include "absolute.h"
#include "dynam.h"

#ifdef __cplusplus
extern "C" {
#endif

/* root: the top block (null for size 0); bits: the shift of the top level,
 * 0 up to 2048 slots, 11 up to 4194304; tools: used by copy and destroy
 * with elements. */
typedef struct RADIX {
    void **root;
    unsigned long ptrCount;
    unsigned bits;
    const TOOLS *tools;
} RADIX;

/* A larger size is an internal error. */
RADIX *RadixCreate(unsigned long ptrCount, const TOOLS *tools);
/* Same size and shape; every non-null slot copied by tools->_copy when
 * elCopy, else shared.  Null slots stay null. */
RADIX *RadixCopy(RADIX *block, int elCopy);
/* Frees the blocks and the record; with elDiscard every non-null slot goes
 * to tools->_discard, from the last slot of each leaf down. */
void RadixDestroy(RADIX *block, int elDiscard);
/* Slot number := Pvoid(element). */
void RadixPut(RADIX *block, void *element, unsigned long number);
void *RadixGet(RADIX *block, unsigned long number);

/* Call f on slots 0, 1, ... (RadixBackApply: from the last slot down), null
 * elements included, until a call returns non-zero; return that slot's
 * address, or null.  The Addr/Bkdr walks hand f the slot's address, so that
 * it can replace the element.  The macros let callers pass functions over
 * their own element types. */
void **(RadixApply)(RADIX *block, int (*f)(void *element));
void **(RadixBackApply)(RADIX *block, int (*f)(void *element));
void **(RadixAddrApply)(RADIX *block, int (*f)(void **slot));
void **(RadixBkdrApply)(RADIX *block, int (*f)(void **slot));
#define RadixApply(block, f) (RadixApply)((block), (int (*)(void *)) (f))
#define RadixBackApply(block, f) (RadixBackApply)((block), (int (*)(void *)) (f))
#define RadixAddrApply(block, f) (RadixAddrApply)((block), (int (*)(void **)) (f))
#define RadixBkdrApply(block, f) (RadixBkdrApply)((block), (int (*)(void **)) (f))

#ifdef __cplusplus
}
#endif

#endif
