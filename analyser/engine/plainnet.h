/* The successor machinery of the engine at the level of transition
 * instances: the settings and shared globals, net initialisation and the
 * marking encoding (netkit3), transition firing (netkit), the successor
 * driver with its predicates and stop conditions (plainnet), and the
 * outputs (netkit3).
 *
 * The current marking lives in the _count words of the places of _tblPlc;
 * a node of the graph holds it encoded by PlcEncode.  Per node to expand the
 * engine main decodes it (PlcDecode), points the end of _path[0] at the node
 * and calls PtFollowers, which fires the transitions through TrnFire and
 * records the node's arrows (PtGphUpdate). */
#ifndef PLAINNET_H
#define PLAINNET_H

#include <stdio.h>

#include "absolute.h"
#include "avlset.h"
#include "dynam.h"
#include "fileaux.h"
#include "graph.h"
#include "mark.h"
#include "radix.h"
#include "tulm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- settings (plainnet), set by the engine main before generation ---- */
extern int _ptStub;       /* stubborn sets */
extern int _ptDelAlg;     /* the deletion algorithm instead of the incremental one */
extern int _ptSleep;      /* sleep sets */
extern int _ptCFFD;       /* CFFD-preserving reduction */
extern int _ptSy;         /* symmetries */
extern int _ptLazy;       /* lazy stubborn sets */
extern int _ptDefVis;     /* default visibility */
extern int _ptTryAgain;   /* exhaustive pass of the deletion algorithm */
extern int _trRnd, _plRnd;/* random orders */
extern unsigned _ptVerbose;

/* ---- flags owned by the engine main ---- */
/* _onTheFly (inst.h): 1 tester present, 2/4/8/16 reject, deadlock, livelock,
 * infinite conditions, 32 livelock check active, 64 inner search running,
 * 128 Buchi section. */
#define FLY_TESTER 1u
#define FLY_REJECT 2u
#define FLY_DEADLOCK 4u
#define FLY_LIVELOCK 8u
#define FLY_INFINITE 16u
#define FLY_LLCHECK 32u
#define FLY_INNER 64u
#define FLY_BUCHI 128u
extern int _dots;          /* progress dots */
extern int _freeExpansion; /* arrows of a node chained */
extern int _elimination;   /* collapse chains of forced invisible steps */

/* ---- globals of the engine main ---- */
/* The value of _back after GphPutNode/GphFndNode for a new node. */
#define NEW_NODE ((unsigned long) -1L)
extern unsigned long _back;
/* [0] on-the-fly search path, [1] outer path of the infinite-path and
 * Buchi searches, [2] their inner path, [3] the path whose end is the node
 * whose arrows are being stored. */
extern PATH *_path[4];
/* The nodes on the search path (lngBalTools). */
extern AVLSET *_nodeTree;
/* The state read by _buchiOK and compiled propositions. */
extern STATE *_evalState;
/* ZEL output: the LTS file, the file of its arc lines, the symbol names. */
extern FILE *_zelFile;
extern FILE *_zelArcFile;
extern AVLSET *_zelTree;
extern FILE *_vosFile;
/* The actions of the ZEL users' LTS and the invisible one. */
extern LIST *_actList;
extern ACTION *_iAction;
/* The state being expanded by the generated _Followers and the successor
 * it builds. */
extern STATE *_state;
extern STATE *_folState;
/* The path whose end is the node being expanded, for the generated code. */
#define nowPath (_path[3])
#define PthEnd(path) ((path)->end)

/* ---- the generated code ---- */
extern BOOL (*_buchiOK)(void);
void _CompInst(void);
void _CompPrec(void);
BOOL _BuchiOK(void);
void _Followers(void);

/* ---- tables and working globals (plainnet) ---- */
extern AVLSET *_plcAvlset;   /* place instances while they are created */
extern AVLSET **_trnAvlset;  /* per class, while transitions are created */
extern RADIX *_tblPlc;       /* PLC * by place index */
extern RADIX *_dupTblPlc;    /* scratch copy for symmetric images */
extern RADIX **_tblTrn;      /* per class: TRN * by slot */
extern unsigned *_higher;    /* per class: 1 constrained, 2 never fired here, 4 blocks a lower one */
extern unsigned long _nTrVisible;
extern uint32_t _awCount, _awFirst, _ndFirst, _ndAddr, _awAddr;
extern unsigned long _ptECnt, _ptInvisCnt;
extern TRN *ptFirst, *ptInvFirst;
extern unsigned _ptClass;
extern unsigned long _ptBest;
extern int _ptRecurs;
extern AVLSET *_ptSlpSet[4];
extern PLC *_ptFlyPlc, *buPlc;
extern TRN *ptTrn, *pt2Trn;
extern unsigned long ptM;
extern int ptDoIt;
extern LIST *_binOrList;
extern LIST *visibles;

/* ---- netkit: instances, firing ---- */
extern int _new; /* set by GetTrn for the instance code */
PLC *GetPlc(unsigned char *key);
TRN *GetTrn(unsigned cls, unsigned char *key, int *isNew);
int TrnStore(TRN *trn);
int TrnRestore(TRN *trn);
/* The current marking as a multiset state; the caller discards it. */
STATE *PtState(void);
void TrnFire(TRN *trn);
int TrnLookStack(TRN *trn);
int FndEquiv(RADIX *perm);
int TrnHowBest(TRN *trn);
int TrnHowDelCheck(TRN *trn);
extern int ptFaithful;
extern uint32_t ptEqNdAddr;
extern int ptBranching;

/* ---- netkit3: initialisation, encoding, outputs, random numbers ---- */
void PtInit(BINARYFILE dat);
void PtLTSInit(void);
void PutInArc(TRN *trn, unsigned long weight, unsigned plIndex, TUPLE *tuple);
void PutOutArc(TRN *trn, unsigned long weight, unsigned plIndex, TUPLE *tuple);
void TrnReform(TRN *trn);
int TrnPrec(TRN *trn);
void PlcFill(void);
void TrnFill(void);
unsigned PlcEncode(RADIX *table, unsigned char **buf, unsigned *size);
void PlcDecode(unsigned char *contents);
int PlcIniFlag(PLC *plc);
int PlcAOClean(PLC *plc);
/* Frees the net tables (places, transitions, classes). */
void PtRelease(void);
/* Precedence helpers of the generated precedence code. */
extern TRN *_lowTrn;
extern unsigned _hiClass;
#define TrnAvlset(cls) (_trnAvlset[(cls)])
void SetLowTrn(TRN *trn);
void SetHiClass(unsigned cls);
int Lower(unsigned cls);
void SetHigher(unsigned cls);
void SetSelfHigher(unsigned cls);

void LTSBegin(char *name, int separate);
void PtZelOutput(void);
void LTSEnd(void);
void LTSOutput(GRAPH *graph);
void PtOutput(BINARYFILE file);
void PtVosOutput(char *base);
void PtSRandom(unsigned seed);
unsigned PtTerm(void);
unsigned PtRandom(unsigned domSize);

/* ---- plainnet: the successor driver ---- */
int TrnEnblCheck(TRN *trn);
void FndEnbl(void);
int AfterEnbl(TRN *trn1, TRN *trn2);
int TrnReCheck(TRN *trn);
int TrnPrecCheck(TRN *trn);
int TrnBest(TRN *trn);
int TrnChkRe(TRN *trn);
int TrnRedInc(TRN *trn);
int TrnRedDel(TRN *trn);
int TrnChkEnbl(TRN *trn);
int TrnCntCand(TRN *trn);
int TrnCntICand(TRN *trn);
int TrnVRemoved(TRN *trn);
int TrnWorseVis(TRN *trn);
int TrnFndStrong(TRN *trn);
int PtNewSleep(unsigned long *number);
int PtOldSleep(unsigned long *number);
void PtFollowers(void);
void PtExpand(void);
void PtGphUpdate(void);
void PtC1(unsigned long awAddr, unsigned long ndAddr) ANA_NORETURN;
void PtC2(unsigned long awAddr, unsigned long ndAddr);
void PtC3(unsigned long awAddr, unsigned long ndAddr) ANA_NORETURN;
void PtC4(unsigned long awAddr, unsigned long ndAddr) ANA_NORETURN;
/* A token count that the number code cannot hold: message, exit 8. */
void PtCountOverflow(unsigned long place, unsigned long count) ANA_NORETURN;

/* ---- the reductions (stubborn sets, on-the-fly and Buchi checks) ---- */
void PtIncrementalAlg(void);
void PtRedInc(void);
void PtDeletionAlg(void);
void PtOnTheFly(void);
void PtProCFFD(void);
PATH *PtInfinite(void);
void PtInside(void);
PATH *PtBuchi(void);
void PtInner(void);
void PtActual(void);
/* Frees what the reductions keep from state to state (candidate tables,
 * the symmetry group). */
void PtReleaseReductions(void);

#ifdef __cplusplus
}
#endif

/* Generated code gets the run-time layer of its accessors with the engine's
 * names (C++ sources include tulrt.h themselves). */
#if !defined(__cplusplus) || defined(TULM_GENERATED)
#include "tulrt.h"
#endif

#endif
