// The dependency walks of the stubborn-set algorithms over the transitions
// of the first class table: the choice of the disabling arc, the reset of
// the visit marks and the first visitors of the Tarjan walk (Ds, En); the
// walk itself is in walker2, the visibility span in walker3.
//
// A disabled transition depends on the transitions that can add tokens to
// one of its disabling places (the chosen one); an enabled transition on
// every transition that could disable it, or that its firing could
// disable.
#include "walk.h"

using namespace engine::walk;

unsigned long ptV = 0;

unsigned long engine::walk::DisablingArcs(const TRN* t) {
    unsigned long n = 0;
    for (ArcClass k : {kPrIn, kNeutral, kMsIn, kMsOut}) {
        LIST* arcs = ArcsOf(t, k);
        if (arcs == nullptr)
            continue;
        for (const LISTNODE* cell = arcs->_first; cell != nullptr; cell = cell->_next)
            n += Disabling(cell->_node, k) ? 1 : 0;
    }
    return n;
}

void engine::walk::ChooseDisablingArc(const TRN* t) {
    ptV = 0;
    if (_plRnd)
        ptV = PtRandom(static_cast<unsigned>(DisablingArcs(t)));
}

int TrnAntiVisit(TRN* trn) {
    if (trn == nullptr)
        return 1;
    Val(trn) = 0;
    trn->_flag &= ~TRN_DELETED;
    return 0;
}

int TrnDsPrIn(TRN* trn) { return Visitor<Tarjan, kChosen>(trn, kPrIn, kSuppliers); }
int TrnDsNeutral(TRN* trn) { return Visitor<Tarjan, kChosen>(trn, kNeutral, kSuppliers); }
int TrnDsMsIn(TRN* trn) { return Visitor<Tarjan, kChosen>(trn, kMsIn, kSuppliers); }
int TrnDsMsOut(TRN* trn) { return Visitor<Tarjan, kChosen>(trn, kMsOut, kSuppliers); }
void TrnEnNeutral(TRN* trn) { Visitor<Tarjan, kEvery>(trn, kNeutral, kTakers); }
void TrnEnMsOut(TRN* trn) { Visitor<Tarjan, kEvery>(trn, kMsOut, kTakers); }
