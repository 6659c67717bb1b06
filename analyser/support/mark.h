/* Tuples, multisets and markings: the marking arithmetic of the analyser.
 *
 * A place holds a multiset of value tuples.  A marking is a LIST of MULTUP
 * (tuple with multiplicity) with the tools multupTools; markings built by
 * MarInsert are sorted ascending by TupCompare, hold each tuple once and
 * never hold a count of 0.  A state is an array of markings, one per place.
 * Counts are 32-bit: a count that would pass 2^32 - 1 is an internal error
 * that ends the process, never a wrapped count.  All comparisons and the
 * arithmetic use _count; _freeCount (the part of the count not yet consumed
 * by the transition instance being built) is carried along by MultupCopy and
 * left alone by MarInsert, MarProduct and MarSubtract. */
#ifndef MARK_H
#define MARK_H

#include <stdint.h>

#include "absolute.h"
#include "dynam.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TUPLE {
    uint32_t _arity;
    DOMAIN *_array; /* _arity values; null for arity 0 */
} TUPLE;

typedef struct MULTUP {
    uint32_t _count;
    uint32_t _freeCount;
    TUPLE *_tuple; /* owned */
} MULTUP;

typedef LIST MARKING;
/* A STATE * is an array of _magNofPlaces markings, indexed by place. */
typedef MARKING *STATE;

/* The number of places of the net (read from the table file). */
extern uint32_t _magNofPlaces;

/* {MultupCopy, MultupDiscard}. */
extern const TOOLS multupTools;

/* A new tuple of zero values. */
TUPLE *TupCons(uint32_t arity);
TUPLE *TupCopy(TUPLE *tuple);
void TupDiscard(TUPLE *tuple);
/* -1, 0 or 1: the smaller arity is smaller; equal arities compare value by
 * value as unsigned numbers. */
int TupCompare(TUPLE *a, TUPLE *b);
/* On _err: indent dots, "TUPLE <.", the values as "%lu" separated by ", ",
 * ".>\n"; flushes _err. */
void TupDump(TUPLE *tuple, unsigned indent);

/* {count, freeCount = count, tuple}; takes the tuple over.  A count above
 * 2^32 - 1 is an internal error. */
MULTUP *MultupCons(unsigned long count, TUPLE *tuple);
MULTUP *MultupCopy(MULTUP *multup);
void MultupDiscard(MULTUP *multup);

/* Inserts in order; an equal tuple present gets the count added and the new
 * multituple is discarded.  A multituple of count 0 is discarded. */
void MarInsert(MARKING *m, MULTUP *x);
/* a := a + b; returns a.  b is unchanged (MarAdd(a, a) doubles a). */
MARKING *MarAdd(MARKING *a, MARKING *b);
/* a := a - b, counts never below 0; returns a (MarSubtract(a, a) empties). */
MARKING *MarSubtract(MARKING *a, MARKING *b);
/* a := the entry-wise minimum of a and b; returns a. */
MARKING *MarIntersect(MARKING *a, MARKING *b);
/* Every count times n; returns the marking.  n = 0 destroys m and returns a
 * new empty marking; n = 1 returns m untouched. */
MARKING *MarProduct(MARKING *m, unsigned long n);
/* A new marking of all concatenations x.y (x of a, y of b) with count
 * x.count * y.count. */
MARKING *MarCartes(MARKING *a, MARKING *b);
/* 1 when a is a proper sub-multiset of b (both sorted), else 0. */
int MarLess(MARKING *a, MARKING *b);
/* 1 when a is a sub-multiset of b (both sorted), else 0. */
int MarLequal(MARKING *a, MARKING *b);
/* 1 when both hold the same tuples with the same counts, else 0. */
int MarEqual(MARKING *a, MARKING *b);
/* Appends b's entries to a without merging or sorting and frees b's list
 * record; returns a. */
MARKING *MarAddDiscard(MARKING *a, MARKING *b);

/* A new state holding, per place and in the same order, a multituple
 * {count = freeCount, freeCount, copy of the tuple} for every entry with a
 * non-zero free count; null when there are no places. */
STATE *StaFrCopy(STATE *state);
/* Destroys every place's marking with its entries, then the array. */
void StaDiscard(STATE *state);

#ifdef __cplusplus
}
#endif

#endif
