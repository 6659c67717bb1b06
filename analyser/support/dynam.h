/* Cursor lists: the generic singly linked list of the analyser.
 *
 * A list carries a cursor (_this: a cell, or null meaning "before the first
 * cell") that insertions and deletions move, so that walks can be
 * interleaved with edits, and a table of element tools with which copies and
 * destruction copy and discard the elements.  Lists never hold null
 * elements: the walks stop at the first null element.  A global stack saves
 * and restores cursors around nested walks of one list. */
#ifndef DYNAM_H
#define DYNAM_H

#include "absolute.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Element tools of a container (lists here, radix blocks too): _copy gives
 * a new copy of an element or null on failure, _discard frees one. */
typedef struct TOOLS {
    void *(*_copy)(void *element);
    void (*_discard)(void *element);
} TOOLS;

typedef struct LISTNODE {
    struct LISTNODE *_next;
    void *_node;
} LISTNODE;

/* _first and _last are both null or both set; _tools may be null for lists
 * whose elements are never copied or discarded. */
typedef struct LIST {
    LISTNODE *_first;
    LISTNODE *_this;
    LISTNODE *_last;
    const TOOLS *_tools;
} LIST;

/* {StrCp, Deallocate}: lists of strings. */
extern const TOOLS strTools;
/* {LstCp, LstDc}: lists of lists. */
extern const TOOLS lstTools;

LIST *LstCreate(const TOOLS *tools);
/* Frees the cells (passing each element to _discard first when elDiscard)
 * and the list. */
void LstDestroy(LIST *list, int elDiscard);

/* Insertions store Pvoid(element), return it and put the cursor on the new
 * cell.  LstInsNext inserts after the cursor (at the head when the cursor is
 * null). */
void *LstInsFirst(LIST *list, void *element);
void *LstInsLast(LIST *list, void *element);
void *LstInsNext(LIST *list, void *element);

/* Deletions return the element, or null when it was discarded (elDiscard)
 * or nothing was removed.
 * LstDelFirst: a cursor on the head moves to the new head.
 * LstDelNext: removes the cell after the cursor (the head when the cursor is
 *   null; nothing when the cursor is on the last cell); a null list gives 0.
 * LstDelete: the first cell holding this very pointer; a cursor on it moves
 *   to its predecessor (null for the head); a null list gives 0.
 * LstDelLast: a cursor on the tail moves to the new tail. */
void *LstDelFirst(LIST *list, int elDiscard);
void *LstDelNext(LIST *list, int elDiscard);
void *LstDelete(LIST *list, void *element, int elDiscard);
void *LstDelLast(LIST *list, int elDiscard);

/* A new list with the same tools and elements (copied by _copy when elCopy).
 * The source's cursor walks it and ends null.  When a copy fails, the partial
 * list is destroyed with its elements and the result is null. */
LIST *LstCopy(LIST *list, int elCopy);
/* Moves b's cells to the end of a and leaves b empty (not freed); a's cursor
 * stays.  Null when either is null.  A list catenated to itself stays as it
 * is. */
LIST *LstCatenate(LIST *a, LIST *b);
/* Number of cells; 0 for a null list. */
unsigned long LstSize(LIST *list);
/* 1-based position of the first cell holding this pointer, 0 when absent. */
unsigned long LstWhich(LIST *list, void *element);
/* Element of the n-th cell (1-based), null for 0 or beyond the end. */
void *LstElement(LIST *list, unsigned long n);

/* The global cursor stack (last in, first out, shared by all lists). */
LIST *LstInit(void);
/* Pushes the list's cursor cell; returns it. */
void *LstStore(LIST *list);
/* Pops the top into the list's cursor; returns the element of that cell, or
 * 0 when the cell is null. */
void *LstRestore(LIST *list);

/* A new copy of a NUL-terminated string. */
char *StrCp(const char *text);
/* LstCopy(list, TRUE) and LstDestroy(list, TRUE) as element tools. */
void *LstCp(void *list);
void LstDc(void *list);

/* Walks the list from the head with its own cursor, element being each
 * element in turn (a TYPE *); the walk ends at the first null element, with
 * element null.  LstGet inside the walk is the current cell.  A body that
 * deletes the current cell (the cursor moves back to its predecessor) goes on
 * with the right cell. */
#define LSTFOR(list, element, TYPE) \
    for ((list)->_this = (list)->_first; \
         ((element) = (TYPE *) ((list)->_this != NULL ? (list)->_this->_node : NULL)) != NULL; \
         (list)->_this = ((list)->_this != NULL ? (list)->_this->_next : (list)->_first))
#define LstEmpty(list) ((list)->_first == NULL)
/* The cursor, as an opaque position. */
#define LstGet(list) ((void *) (list)->_this)
/* Puts the cursor back on a position from LstGet (null: before the head). */
#define LstSet(list, cursor) ((list)->_this = (LISTNODE *) (cursor))

#ifdef __cplusplus
}
#endif

#endif
