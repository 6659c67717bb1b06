/* AVL sets: the ordered set of the analyser.
 *
 * A height-balanced binary search tree of untyped elements ordered by the
 * key comparison of the set's tools.  It serves as dictionary (find by key),
 * as ordered multiset (elements with equal keys are kept apart and ordered
 * by their addresses, the smaller address first) and as sorted sequence
 * (walks in key order, prefix searches, successors).  The set never owns its
 * keys: a key is whatever the comparison understands, usually a part of the
 * element.  Deletion is not re-entrant from inside a comparison. */
#ifndef AVLSET_H
#define AVLSET_H

#include "absolute.h"
#include "dynam.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Element tools of a set.  keyCmp(element, key) is negative, 0 or positive
 * as the element's key is smaller than, equal to or greater than key;
 * prefix(element, prefix) is non-zero when prefix is a prefix of the
 * element's key (null when the set is never searched by prefix). */
typedef struct BALTOOLS {
    void *(*copy)(void *element);
    void (*discard)(void *element);
    int (*keyCmp)(void *element, const void *key);
    int (*prefix)(void *element, const void *prefix);
} BALTOOLS;

/* One node.  The element is the first field, so a node pointer is also a
 * pointer to its element slot.  balance: -1 left subtree higher, 0 equal,
 * +1 right subtree higher. */
typedef struct AVL {
    void *element;
    int balance;
    struct AVL *left;
    struct AVL *right;
} AVL;

typedef struct AVLSET {
    unsigned long elCount;
    AVL *root;
    const BALTOOLS *tools;
} AVLSET;

/* {BalTrCp, BalTrDc}: containers of sets. */
extern const TOOLS balTrTools;

AVLSET *BalTrCreate(const BALTOOLS *tools);
/* Same tools, count and shape; elements copied with copy when elCopy. */
AVLSET *BalTrCopy(AVLSET *set, int elCopy);
/* Frees the nodes in key order (discarding each element first when
 * elDiscard) and the set. */
void BalTrDestroy(AVLSET *set, int elDiscard);
void *BalTrCp(void *set);
void BalTrDc(void *set);
/* A set of the same shape under new tools, each element replaced by
 * f(element); f must keep the order under the new tools. */
AVLSET *BalTrImage(AVLSET *set, const BALTOOLS *tools, void *(*f)(void *element));

/* Inserts Pvoid(element) under key.  Returns null when inserted; returns the
 * stored element (and inserts nothing) when one with an equal key exists and
 * unique is set, or when this very pointer is stored under that key. */
void *BalTrInsert(AVLSET *set, void *element, const void *key, int unique);
/* With a non-null element removes exactly that element under key; with a
 * null element one element whose key equals key (the first on the search
 * path).  The element is discarded when elDiscard.  Returns the removed
 * element (with elDiscard only a non-null mark, not to be dereferenced), or
 * null when nothing matched. */
void *BalTrDelete(AVLSET *set, void *element, const void *key, int elDiscard);
/* An element whose key equals key (the first on the search path), or null. */
void *BalTrElement(AVLSET *set, const void *key);
/* The least element whose key is not smaller than key; null when none, or
 * when usePrefix is set and key is not a prefix of its key. */
void *BalTrGrEqPrefix(AVLSET *set, const void *key, int usePrefix);
/* The least element after (key, element) in the set's order; null when none,
 * or when prefix is non-null and not a prefix of its key. */
void *BalTrNext(AVLSET *set, void *element, const void *key, const void *prefix);
void *BalTrFirst(AVLSET *set);
void *BalTrLast(AVLSET *set);

/* Calls f on the elements in ascending (BalTrBackApply: descending) order
 * until a call returns non-zero; returns that element's node, or null.  The
 * macros let callers pass functions over their own element types. */
AVL *(BalTrApply)(AVLSET *set, int (*f)(void *element));
AVL *(BalTrBackApply)(AVLSET *set, int (*f)(void *element));
#define BalTrApply(set, f) (BalTrApply)((set), (int (*)(void *)) (f))
#define BalTrBackApply(set, f) (BalTrBackApply)((set), (int (*)(void *)) (f))

#ifdef __cplusplus
}
#endif

#endif
