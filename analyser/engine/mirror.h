/* Symmetries of the net: the automorphism group as place permutations,
 * computed once before generation.  The firing code looks a new marking up
 * under every stored permutation (FndEquiv, plainnet.h). */
#ifndef MIRROR_H
#define MIRROR_H

#include "avlset.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Every group element (a RADIX of place indices), the identity included
 * unless CompSymm removed it; a generating set. */
extern AVLSET *_plcSymmetries;
extern AVLSET *_plcSyGenerators;
void CompSymm(int delIdMap);

#ifdef __cplusplus
}
#endif

#endif
