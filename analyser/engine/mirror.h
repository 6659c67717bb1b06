/* Symmetries of the net: the automorphism group as place permutations,
 * computed once before generation.  The firing code looks a new marking up
 * under every stored permutation (FndEquiv, plainnet.h). */
#ifndef MIRROR_H
#define MIRROR_H

#include "avlset.h"
#include "dynam.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Every group element, the identity included unless CompSymm removed it: a
 * RADIX whose slot i holds the index of the image of place i, as
 * (void *) (uintptr_t) index.  The generators in the order found. */
extern AVLSET *_plcSymmetries;
extern LIST *_plcSyGenerators;
/* Symmetries keep the initial marking. */
extern int _plcIMkSymm;
/* Computes the group once the net tables exist; with delIdMap the identity
 * is left out of _plcSymmetries. */
void CompSymm(int delIdMap);
/* Frees the group and the generators. */
void SymmRelease(void);

#ifdef __cplusplus
}
#endif

#endif
