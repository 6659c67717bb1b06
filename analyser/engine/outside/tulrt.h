/* The run-time layer of the code that tulc generates for a net: accessors
 * of markings, tuples and multituples, state records, queued firings
 * (peers), the engine's modes and checks as the generated code asks for
 * them, the visible blocks of the deletion algorithm and the class of the
 * firing at hand.
 *
 * A marking is a LIST of MULTUP (mark.h) and keeps one cursor, the list's
 * own: MarBegin, MarStep, MarGet and MarSet move and save it, so several
 * tuple patterns on one place share it and save their positions between
 * them.  Everything here is C and C++; the generated code gets it through
 * plainnet.h, which every generated file includes. */
#ifndef TULRT_H
#define TULRT_H

#include <stdio.h>
#include <stdlib.h>

#include "absolute.h"
#include "dynam.h"
#include "fileaux.h"
#include "graph.h"
#include "inst.h"
#include "mark.h"
#include "tulm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* An encoded state as the engine buffer holds it, NUL-terminated. */
typedef unsigned char DATATYPE;

/* ---- markings ---- */
static inline MULTUP *MarThis(MARKING *m) { return m->_this != NULL ? (MULTUP *) m->_this->_node : NULL; }
static inline MULTUP *MarBegin(MARKING *m) {
    m->_this = m->_first;
    return MarThis(m);
}
/* Advances the cursor; from "before the first" to the first. */
static inline MULTUP *MarStep(MARKING *m) {
    m->_this = m->_this != NULL ? m->_this->_next : m->_first;
    return MarThis(m);
}
static inline MULTUP *MarFirst(MARKING *m) { return m->_first != NULL ? (MULTUP *) m->_first->_node : NULL; }
#define MarCreate() LstCreate(&multupTools)
#define MarCopy(m) LstCopy((m), TRUE)
#define MarDiscard(m) LstDestroy((m), TRUE)
#define MarInsLast(m, multup) ((void) LstInsLast((m), (void *) (multup)))
#define MarDelNext(m) ((void) LstDelNext((m), TRUE))
#define MarEmpty(m) LstEmpty(m)
#define MarGet(m) LstGet(m)
#define MarSet(m, position) LstSet((m), (position))
#define MARFOR(m, cursor) for ((cursor) = MarBegin(m); (cursor) != NULL; (cursor) = MarStep(m))

/* ---- tuples and multituples ---- */
#define TupGArity(t) ((t)->_arity)
#define TupGArray(t) ((t)->_array)
#define TupGField(t, i) ((t)->_array[(i)])
#define TupSArity(t, n) ((void) ((t)->_arity = (uint32_t) (n)))
#define TupSField(t, i, v) ((void) ((t)->_array[(i)] = (DOMAIN) (v)))
#define TupIncField(t, i) ((void) ((t)->_array[(i)]++))
#define MultupGTuple(mt) ((mt)->_tuple)
#define MultupGField(mt, i) ((mt)->_tuple->_array[(i)])
#define MultupGArity(mt) ((mt)->_tuple->_arity)
#define MultupGCount(mt) ((unsigned long) (mt)->_count)
#define MultupGFreeCount(mt) ((unsigned long) (mt)->_freeCount)
#define MultupSFreeCount(mt, n) ((void) ((mt)->_freeCount = (uint32_t) (n)))
#define MultupDFreeCount(mt, n) ((void) ((mt)->_freeCount -= (uint32_t) (n)))
#define MultupIFreeCount(mt, n) ((void) ((mt)->_freeCount += (uint32_t) (n)))

/* ---- states ---- */
#define StaGMarking(state, place) ((state)[(place)])
/* A state array of the net's places, every entry null (StaDecode fills
 * it). */
STATE *StaAlloc(void);

/* ---- queued firings ---- */
typedef struct PEER {
    unsigned _trIndex;
    unsigned _visible;
    int _off;            /* switched off by a firing of a higher class */
    DOMAIN *_instance;   /* the transition's values, or null; owned */
    DATATYPE *_buffer;   /* the encoded successor, or null; owned */
} PEER;
/* Copies the transition's _ingNofVars values and the encoded state. */
PEER *PeeCons(unsigned trIndex, DOMAIN *values, DATATYPE *buffer, unsigned visible);
extern const TOOLS peeTools;
#define PeeGTrIndex(p) ((p)->_trIndex)
#define PeeGInstance(p) ((p)->_instance)
#define PeeGBuffer(p) ((p)->_buffer)
#define PeeVisible(p) ((p)->_visible)
#define PeeOn(p) ((p)->_off)
#define PeeSet(p) ((void) ((p)->_off = 1))
#define IngGFdProfile(trIndex) (_ingNofFd[(trIndex)])

/* ---- modes and checks ---- */
extern int _ptStub, _ptDelAlg, _ptDefVis, _freeExpansion;
#define MonPlInd() (_monPlInd)
#define FreeExpansion() (_freeExpansion)
#define PtDefVis() (_ptDefVis)
#define PtStub() (_ptStub)
#define PtDelAlg() (_ptDelAlg)
/* The generated successor function runs for plain generation only: the
 * on-the-fly checks and the step records of ZEL output belong to the
 * engine's instance-level path, so these modes are never on here. */
#define Zel() (0)
#define ZelStep(visible) ((void) (visible))
#define InfNow() (0)
#define DivNow() (0)
#define Reject() (0)
void IllTrace(void);
void IllInfTrace(BOOL now);
void IllDivTrace(BOOL now);

/* ---- visible blocks of the deletion algorithm ---- */
extern int _blocked;
extern LIST **_visBlock;
#define Blocked() (_blocked)
#define ClBlocked() ((void) (_blocked = 0))
/* Room for count blocks (a null-terminated array); SBlock creates block
 * i, CBlock ends the array at i; Block gives block i's list of TRN *. */
void ABlocks(unsigned count);
void SBlock(unsigned i);
void CBlock(unsigned i);
LIST *Block(unsigned i);
/* The transition's block numbers: room for count, then number position
 * by position; (unsigned) -1 ends them. */
void TrnABlocks(TRN *trn, unsigned count);
void TrnSBlock(TRN *trn, unsigned position, unsigned block);

/* The class of the firing at hand; the generated code of a net with
 * several classes defines its own. */
extern unsigned _class;

#ifdef __cplusplus
}
#endif

#endif
