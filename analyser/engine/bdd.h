/* Hooks of BDD-based graph generation.  This analyser has none: a graph
 * opened with the BDD flag holds no BDD, and releasing one does nothing. */
#ifndef BDD_H
#define BDD_H

#include "dynam.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Releases the BDD of a BDD-based graph into _bddList. */
void BddCat(void *bdd);
extern LIST *_bddList;
extern const TOOLS bddTools;

#ifdef __cplusplus
}
#endif

#endif
