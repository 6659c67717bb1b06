/* The engine's headers compiled as C in the order the generated header "_.h"
 * includes them, with their macros used as the generated code uses them. */
#include <stdio.h>
#include "absolute.h"
#include "tulm.h"
#include "alloc.h"
#include "dynam.h"
#include "radix.h"
#include "avlset.h"
#include "bdd.h"
#include "fileaux.h"
#include "graph.h"
#include "mark.h"
#include "inst.h"
#include "encode.h"
#include "plainnet.h"
#include "mirror.h"

DE0(void, _X0)/*x*/
DE1(BOOL, _P1,
    TRN *, trn)

int EngineCHeadersSmoke(void);

FE0(void, _X0)
{
    P(_err, "");
}

FE1(BOOL, _P1,
    TRN *, trn)
{
    TrnSVisible(trn);
    return(FALSE);
}

int EngineCHeadersSmoke(void)
{
    TRN trn = {0};
    PATH path = {0};
    _X0();
    (void) _P1(&trn);
    _path[3] = &path;
    path.end = 84;
    return (trn._flag & TRN_VISIBLE) != 0 && PthEnd(nowPath) == 84 &&
           EngABufSize() == &_engBfSize && ((unsigned long) -1L) == NEW_NODE;
}
