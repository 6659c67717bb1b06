/* The shared header of the state-space analyser: the net records of the
 * engine (place and transition instances with their arcs), the element
 * tools through which the containers handle them, the function-definition
 * macros of the generated code and the engine's shared byte buffer.
 *
 * The engine works on place instances (a place with a tuple of values) and
 * transition instances.  A PLC keeps the tokens of its instance in the
 * current marking (_count); a TRN keeps its arcs sorted into five classes
 * by what firing does to each place:
 *   _pureIn   only takes tokens,          _pureOut  only puts tokens,
 *   _neutral  takes and puts back equally (a test),
 *   _mostIn   takes more than it puts,    _mostOut  puts more than it takes.
 * A place keeps the mirror image of the same arcs.  The records are created
 * while the instance code of the net runs (GetPlc, GetTrn, PutInArc,
 * PutOutArc, TrnReform) and then moved into numbered tables (PlcFill,
 * TrnFill). */
#ifndef TULM_H
#define TULM_H

#include <stdio.h>

#include "absolute.h"
#include "avlset.h"
#include "dynam.h"
#include "radix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Function definitions and declarations of generated code: FE0/DE0 for a
 * function without parameters, FE1/DE1 for one with a single parameter.
 * A definition is followed by "{", a declaration by a comment. */
#define FE0(type, name) type name(void)
#define FE1(type, name, ptype, pname) type name(ptype pname)
#define DE0(type, name) extern type name(void);
#define DE1(type, name, ptype, pname) extern type name(ptype pname);

/* Prints a text on a stream (run-time failure messages).  For the generated
 * code only: a one-letter macro would take the name P from every C++ source
 * that includes this header (define TULM_GENERATED to have it in C++). */
#if !defined(__cplusplus) || defined(TULM_GENERATED)
#define P(stream, text) ((void) fputs((text), (stream)))
#endif

/* "No node", "no arrow", "no element": the 32-bit all-ones word of the
 * graph files. */
#define TULM_NONE 0xFFFFFFFFu

struct TRN;

/* Place flags. */
#define PLC_DEAD 1u         /* deletion algorithm: dead */
#define PLC_TDEAD 2u        /* deletion algorithm: tentatively dead */
#define PLC_REJECT 4u       /* tester: reject state */
#define PLC_DEADLOCK 8u     /* tester: deadlock state */
#define PLC_LIVELOCK 16u    /* tester: livelock state */
#define PLC_INFINITE 32u    /* tester: infinite-path state */
#define PLC_BUCHI 64u       /* a state of the Buchi automaton: _lp is _next */
#define PLC_FLY (PLC_REJECT | PLC_DEADLOCK | PLC_LIVELOCK | PLC_INFINITE | PLC_BUCHI)

/* A place instance. */
typedef struct PLC {
    unsigned char *_key;   /* place key in the number code; owned, freed by PlcFill */
    unsigned _flag;
    unsigned long _count;  /* tokens in the current marking */
    union {
        LIST *_pureIn;     /* PLARC: transitions that only put tokens here */
        LIST *_next;       /* PLC * (not owned): Buchi states that may follow */
    } _lp;
    LIST *_pureOut;        /* PLARC: transitions that only take tokens */
    LIST *_neutral;        /* PLARC: transitions that test */
    LIST *_mostIn;         /* PLDRC: transitions that put more than they take */
    LIST *_mostOut;        /* PLDRC: transitions that take more than they put */
    union {
        LIST *_orPredAnd;  /* deletion algorithm (not owned) */
        unsigned long _ind;/* symmetries: index in the place table */
    } _up;
} PLC;

/* A link of the and/or graph of the deletion algorithm; new ones have
 * _flag 3. */
typedef struct BINOR {
    unsigned _flag;
    struct TRN *_trn;
} BINOR;

/* Transition flags; bits 256 to 4096 keep the copy of bits 1 to 16 that
 * TrnStore saves. */
#define TRN_ENABLED 1u
#define TRN_DELETED 2u      /* deletion algorithm; the reach mark of the incremental one */
#define TRN_MARK4 4u
#define TRN_MARK8 8u
#define TRN_MARK16 16u
#define TRN_VISIBLE 32u
#define TRN_INITIAL 64u     /* Buchi section: enabled only in the start node */
#define TRN_DUMMY 128u      /* enabled only when nothing checked before it is */
#define TRN_WORK 31u        /* bits 1 to 16 */

/* A transition instance. */
typedef struct TRN {
    unsigned char *_key;   /* instance key; owned, freed by TrnFill */
    unsigned long _number; /* running number over all classes */
    unsigned _flag;
    unsigned _where;       /* resume point of the resumable walks */
    void *_cursor;         /* the walk's saved list cursor */
    struct TRN *_down;     /* the transition below this one on the walk's stack */
    unsigned *_block;      /* block numbers ended by 0xFFFFFFFF, or null; owned */
    LIST *_pureIn;         /* TRARC */
    LIST *_pureOut;        /* TRARC */
    LIST *_neutral;        /* TRARC */
    LIST *_mostIn;         /* TRDRC */
    LIST *_mostOut;        /* TRDRC */
    union {
        LIST *_higher;     /* plain mode: TRN * of higher classes that block it */
        struct {
            unsigned long _val, _dupVal, _min;
        } _n;              /* incremental stubborn sets */
        struct {
            LIST *_plcPredAO, *_orStrongPredAO, *_orWeakPredAO;
            unsigned long _nOrSucc, _dupNOrSucc;
            BINOR *_binOr;
        } _t;              /* deletion algorithm */
    } _ut;
} TRN;

/* Arc records, owned by the list that holds them.  PLDRC: _in tokens the
 * transition puts into the place, _out tokens it takes; TRDRC: _in tokens
 * taken from the place, _out tokens put into it. */
typedef struct PLARC {
    TRN *_trn;
    unsigned long _weight;
} PLARC;
typedef struct PLDRC {
    TRN *_trn;
    unsigned long _in, _out;
} PLDRC;
typedef struct TRARC {
    PLC *_plc;
    unsigned long _weight;
} TRARC;
typedef struct TRDRC {
    PLC *_plc;
    unsigned long _in, _out;
} TRDRC;

/* Constructors, copies, discards and comparisons (netkit2).  The copies
 * and discards follow the reduction mode (_ptDelAlg, _ptStub, _ptSy): the
 * union of each record is the one of the mode. */
PLC *PlcCons(void);
PLC *PlcCopy(PLC *plc);
void PlcDiscard(PLC *plc);
int PlcKeyCmp(PLC *plc, unsigned char *key);
TRN *TrnCons(void);
TRN *TrnCopy(TRN *trn);
void TrnDiscard(TRN *trn);
int TrnKeyCmp(TRN *trn, unsigned char *key);
PLARC *PlArcCons(TRN *trn, unsigned long weight);
PLDRC *PlDrcCons(TRN *trn, unsigned long in, unsigned long out);
TRARC *TrArcCons(PLC *plc, unsigned long weight);
TRDRC *TrDrcCons(PLC *plc, unsigned long in, unsigned long out);
BINOR *BinOrCons(TRN *trn);
PLARC *PlArcCopy(PLARC *arc);
PLDRC *PlDrcCopy(PLDRC *arc);
TRARC *TrArcCopy(TRARC *arc);
TRDRC *TrDrcCopy(TRDRC *arc);
BINOR *BinOrCopy(BINOR *link);
int PlArcCompare(PLARC *arc, PLARC *key);
int PlDrcCompare(PLDRC *arc, PLDRC *key);
int TrArcCompare(TRARC *arc, TRARC *key);
int TrDrcCompare(TRDRC *arc, TRDRC *key);

extern const TOOLS plcTools, trnTools, plArcTools, plDrcTools, trArcTools, trDrcTools, binOrTools;
extern const BALTOOLS plcBalTools, trnBalTools, plArcBalTools, plDrcBalTools, trArcBalTools, trDrcBalTools;

/* Transition flags set by the instance code. */
#define TrnSVisible(trn) ((void) ((trn)->_flag |= TRN_VISIBLE))
#define TrnSInitial(trn) ((void) ((trn)->_flag |= TRN_INITIAL))
#define TrnSDummy(trn) ((void) ((trn)->_flag |= TRN_DUMMY))

/* The engine's shared byte buffer: every encoder that needs n bytes and
 * finds n not below _engBfSize replaces it by a zero-filled one of
 * n + n/2 + 1 bytes (old contents are not kept). */
extern unsigned char *_engBuffer;
extern unsigned _engBfSize;
#define EngBuffer() (_engBuffer)
#define EngABuffer() (&_engBuffer)
#define EngABufSize() (&_engBfSize)
/* Makes the buffer hold at least n + 1 bytes (netkit3). */
void EngReserve(unsigned long n);

#ifdef __cplusplus
}
#endif

#endif
