/* The reachability graph of the analyser, kept in a set of binary files that
 * share one base name:
 *   nodes      "gph"  an 84-byte header of 21 words, then node records;
 *   arrows     "aws"  arrow records (and, once computed, the successor lists
 *                     of the strongly connected components);
 *   addresses  "adr"  the address of each node by ordinal, then one 3-word
 *                     record per component;
 *   hash       "hsh"  the node hash, while the generation is unfinished;
 *   stack      "stk"  the node stack of the sleep-set generation.
 * The second graph of the Buchi search uses the suffixes reversed ("phg",
 * "wsa", ...).  All words are 32-bit little-endian; every address is a byte
 * offset in its file; 0xFFFFFFFF means "none".
 *
 * Node record: ordinal, arrow count (0xFFFFFFFF while unexpanded), first
 * arrow (for a terminal node: the terminal node stored before it), [next
 * lower (depth-first), [check word]], component word, predecessor (last
 * arrow entering the node), left child, right child (links of the hash
 * tree; after the component search the left child links the members of the
 * component), contents length, contents (the encoded marking).
 * Arrow record: ordinal << 2 | hot << 1 | visible, source, previous arrow
 * entering the same target, target, [next arrow of the same source (free
 * expansion)], label length, label.
 *
 * Modules: statestore (open, flush, memory copies, close, header, stop
 * report, shortest paths), statequery (queries and components) and the
 * graph store of the engine main (storing nodes and arrows, the hash, the
 * stack). */
#ifndef GRAPH_H
#define GRAPH_H

#include <stdint.h>
#include <stdio.h>

#include "absolute.h"
#include "avlset.h"
#include "dynam.h"
#include "fileaux.h"
#include "radix.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Header words. */
enum {
    GW_FLAGS = 0,       /* option flags, below */
    GW_NODES = 1,       /* number of nodes */
    GW_ARROWS = 2,      /* number of arrows */
    GW_COMPS = 3,       /* strongly connected components (0: not computed) */
    GW_TERMCOMPS = 4,   /* nontrivial terminal components */
    GW_LASTTERMCOMP = 5,/* nontrivial terminal component found last */
    GW_TERMNODES = 6,   /* terminal nodes */
    GW_LASTTERM = 7,    /* terminal node stored last (chain through word 2) */
    GW_DONE = 8,        /* nodes completely processed (sleep sets: poppings) */
    GW_NODESEND = 9,    /* length of the nodes file */
    GW_ARROWSEND = 10,  /* length of the arrows file */
    GW_ENGINE = 11,     /* not read by the engine modules: the engine main's successor path */
    GW_BITS = 12,
    GW_HASHSIZE = 13,   /* size of the hash */
    GW_BUFSIZE = 15,    /* contents buffer needed to continue the generation */
    GW_MAXLEN = 16,     /* greatest node contents length */
    GW_SEED = 17,       /* random term of the run */
    GW_STACKDONE = 18,  /* 0xFFFFFFFF once the stack-based generation has finished */
    GW_STACKEND = 19,   /* length of the stack file */
    GW_LASTARROW = 20,  /* address of the last arrow stored */
    GW_COUNT = 21
};
#define GPH_HEADER_BYTES 84u

/* Option flags of header word 0. */
#define GF_ROTATED 0x1u      /* rotated suffixes */
#define GF_UNFOLD 0x2u
#define GF_SYMM 0x4u         /* symmetries */
#define GF_STUB 0x8u         /* stubborn sets */
#define GF_DELALG 0x10u      /* deletion algorithm */
#define GF_BDD 0x20u         /* BDD-based generation */
#define GF_DFS 0x40u         /* depth-first generation */
#define GF_FREE 0x80u        /* free expansion: arrows of a node chained */
#define GF_IMKSYMM 0x100u
#define GF_CFFD 0x200u       /* CFFD-preserving reduction */
#define GF_DEFVIS 0x400u     /* default visibility */
#define GF_SLEEP 0x800u      /* sleep sets with a node stack */
#define GF_ERR 0x1000u       /* an illegal path has been found */
#define GF_INFMON 0x2000u    /* an infinite-path monitor state: nodes carry a check word */

/* One open graph. */
typedef struct GRAPH {
    char *name;              /* base name */
    int reason;              /* 0 generation, 1 components, 2 read only */
    BINARYFILE nodes, arrows, addrs, stack;
    uint32_t glob[GW_COUNT]; /* the header */
    RADIX *hash;
    void *bdd;
    AVLSET *avlSet;          /* BDD-based generation only */
    MMFILE *mmnodes, *mmarrows, *mmaddrs, *mmstack;
    uint32_t latest_node;    /* node whose fixed words are cached, 0xFFFFFFFF none */
    uint32_t *latest_rec;
    unsigned char *latest_contents;
    uint32_t *arrow_rec;
    uint32_t *sgc_rec;
    void *vis_stack;         /* working fields of the component search */
    void *list;
    unsigned long now;
    unsigned long m, p, q;
    unsigned next_lower_pos, check_pos, sgc_val_pos, predecessors_pos;
    unsigned left_child_pos, right_child_pos, datalen_pos, num_node_fields;
    unsigned aw_datalen_pos, num_arrow_fields;
} GRAPH;

/* The open graphs: [0] the state graph, [1] the second graph of the Buchi
 * search with stubborn sets. */
extern GRAPH *_graph[2];

/* ---- statestore: the file set ---- */

/* reason 0 continues an interrupted generation, 1 computes components,
 * 2 reads.  Null after a message on _err when the graph cannot be used so. */
GRAPH *GphOpen(char *name, int reason, int rotSuff);
/* Writes the header and every memory copy back. */
void GphFlush(GRAPH *graph);
/* Loads the files into memory copies; len is the room for the growing
 * files of a generation. */
void GphMapToMem(GRAPH *graph, unsigned long len);
/* Writes back, keeps or deletes the hash, frees; clears its _graph entry. */
void GphClose(GRAPH *graph);
/* Counts a processed node (a popping, with sleep sets). */
void GphIncGenCount(GRAPH *graph);
uint32_t GphGenCount(GRAPH *graph);
uint32_t GphBufSize(GRAPH *graph);
uint32_t GphBits(GRAPH *graph);
uint32_t GphSeed(GRAPH *graph);
void GphSetSeed(GRAPH *graph, unsigned seed);
int GphUnfold(GRAPH *graph);
int GphSymm(GRAPH *graph);
int GphStub(GRAPH *graph);
int GphDelAlg(GRAPH *graph);
int GphDfs(GRAPH *graph);
int GphFreeExpansion(GRAPH *graph);
int GphIMkSymm(GRAPH *graph);
int GphCFFD(GRAPH *graph);
int GphDefVis(GRAPH *graph);
int GphSleep(GRAPH *graph);
int GphErr(GRAPH *graph);
/* 1 when the generation has finished: nodes exist and (sleep sets) the
 * stack has run empty or (else) every node has been processed. */
int GphComplete(GRAPH *graph);
/* The field positions of the node and arrow records from the flags. */
void GphFieldPositions(GRAPH *graph);

/* ---- the graph store (engine main) ---- */

/* A new file set with its first header: the option flags, the hash size,
 * the random seed, counts 0.  Null after a message when a file cannot be
 * created.  The graph is open for generation (reason 0). */
GRAPH *GphCreate(char *name, uint32_t flags, uint32_t hashSize, uint32_t seed);
/* The node of these contents: found, or appended as a new unexpanded node.
 * *back is (unsigned long) -1 when the node is new, else the last arrow
 * that enters it (0xFFFFFFFF when none). */
uint32_t GphPutNode(GRAPH *graph, unsigned char *contents, unsigned long length, unsigned long *back);
/* The node of these contents (contents NUL-terminated), 0xFFFFFFFF when
 * absent; back (when not null) as for GphPutNode. */
uint32_t GphFndNode(GRAPH *graph, unsigned char *contents, unsigned long *back);
/* Appends an arrow; ordinal is the arrow's number among its source's arrows
 * (_awCount), first the source's arrow stored before it (chained with free
 * expansion).  Returns the arrow's address. */
uint32_t GphPutArrow(GRAPH *graph, unsigned char *label, unsigned long length, unsigned long ordinal,
                     unsigned long from, unsigned long to, unsigned long first, unsigned long back,
                     int invisible);
/* Records an expanded node: arrow count, first arrow and (sleep sets) the
 * sleep set it was expanded with (lngBalTools elements, copied). */
void GphUpdate(GRAPH *graph, unsigned long node, unsigned long awCount, unsigned long awFirst, AVLSET *sleepSet);
/* Records a node without successors (chained through header word 7). */
void GphAddTermNode(GRAPH *graph, unsigned long node);
/* Removes every node from this one to the end of the nodes file. */
void GphErase(GRAPH *graph, unsigned long node, unsigned char *buffer);
/* Pushes a node with the sleep set it was reached with (copied; null is
 * the empty set) on the stack file. */
void GphPush(GRAPH *graph, unsigned long node, AVLSET *sleepSet);
/* Pops the top of the stack: 1 with the node and a new sleep set (the
 * caller owns it), 0 when the stack is empty. */
int GphPop(GRAPH *graph, unsigned long *node, AVLSET **sleepSet);
/* A new copy of the sleep set stored with an expanded node, null when the
 * node has not been expanded. */
AVLSET *GphSleepSet(GRAPH *graph, unsigned long node);
/* The hash: size root slots of binary trees of nodes, linked through the
 * nodes' child words.  The hash file holds the roots and the stored sleep
 * sets. */
RADIX *HashCreate(unsigned long size);
void HashRead(RADIX *hash, unsigned long size, BINARYFILE file);
void HashWrite(RADIX *hash, unsigned long size, BINARYFILE file);
void HashDestroy(RADIX *hash);

/* ---- statequery: queries ---- */

uint32_t GphStart(GRAPH *graph);
uint32_t GphOrdinal(GRAPH *graph, unsigned long node);
uint32_t GphId(GRAPH *graph, unsigned long ordinal);
uint32_t GphNdCount(GRAPH *graph);
uint32_t GphGlAwCount(GRAPH *graph);
uint32_t GphSgCount(GRAPH *graph);
uint32_t GphTmSgCount(GRAPH *graph);
uint32_t GphAwCount(GRAPH *graph, unsigned long node);
uint32_t GphCompNumber(GRAPH *graph, unsigned long node);
int GphFresh(GRAPH *graph, unsigned long node, unsigned mask);
void GphConsume(GRAPH *graph, unsigned long node, unsigned mask);
void GphFlFirst(GRAPH *graph, unsigned long node, unsigned long *aw, unsigned long *succ);
void GphFlNext(GRAPH *graph, unsigned long *aw, unsigned long *succ);
void GphPrLast(GRAPH *graph, unsigned long node, unsigned long *aw, unsigned long *pred);
void GphPrPrec(GRAPH *graph, unsigned long *aw, unsigned long *pred);
unsigned char *GphNode(GRAPH *graph, unsigned long node);
unsigned char *GphArrow(GRAPH *graph, unsigned long aw);
uint32_t GphAwOrdinal(GRAPH *graph, unsigned long aw);
int GphAwInvisible(GRAPH *graph, unsigned long aw);
int GphAwHot(GRAPH *graph, unsigned long aw);
void GphChLastArrow(GRAPH *graph, unsigned char *label, unsigned long length, unsigned long target,
                    unsigned long *back, int cold);
void GphStatistics(GRAPH *graph, FILE *stream);
void GphSgSearch(GRAPH *graph);
AVLSET *GphSgGet(GRAPH *graph, unsigned long component);
uint32_t GphSgFlCount(GRAPH *graph, unsigned long component);
AVLSET *GphSgSucc(GRAPH *graph, unsigned long component);
AVLSET *GphTNGet(GRAPH *graph);
AVLSET *GphTmSgGet(GRAPH *graph);

/* ---- statestore: stop report and shortest paths ---- */

/* An action of the ZEL users' LTS. */
typedef struct ACTION {
    unsigned number;
    char *name;
    int hidden;
    LIST *used;
} ACTION;
/* The action of each arrow label value (filled by the engine main). */
extern RADIX *_arpFoldings;
/* The program was built for ZEL users (engine main). */
extern int _zelTulm;

/* Reports a reached node (loop 0) or a loop of the path, writes the error
 * file, marks the graph and exits with status 1. */
void ExOnTheFly(GRAPH *graph, PATH *path, int loop) ANA_NORETURN;

typedef int (*FOOL)(void *formula, GRAPH *graph, unsigned long node);
typedef int (*PTHF)(void *formula, GRAPH *graph, unsigned long node);
/* Breadth-first search of a read-only graph (with its memory copies) for
 * the nearest node that admit accepts, over nodes that along accepts. */
int GphShortest(GRAPH *graph, unsigned long *present, unsigned long *head, unsigned long *tail, PATH **path,
                int *cont, void *formula, FOOL along, PTHF admit);

#ifdef __cplusplus
}
#endif

#endif
