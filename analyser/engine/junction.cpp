// The and/or graph of the deletion algorithm for the current state: what
// each transition needs to stay in a stubborn set.
//
// - A disabled transition needs one of its disabling places with every
//   supplier of that place: the place lists it in its _orPredAnd, each
//   supplier lists the place in its _plcPredAO, and _nOrSucc counts the
//   disabling places still usable.
// - An enabled transition t needs every transition that its firing
//   conflicts with over its pure-input and mostly-input arcs: the ones that
//   take tokens from such a place, and the readers and net gainers that t's
//   firing would disable.  Each such transition u is both alternatives of a
//   BINOR link of t, so that deleting u deletes t whatever state the
//   link's flags are reset to (3: both alternatives present).
//
// Every transition of the table gets its node, so the graph is built
// transition by transition in table order: no walk descends from one node
// into another.
#include "walk.h"

using namespace engine::walk;

namespace {

LIST* Grow(LIST** list, const TOOLS* tools) {
    if (*list == nullptr)
        *list = LstCreate(tools);
    return *list;
}

bool HasSupplier(const PLC* p) {
    if (Has(p->_lp._pureIn))
        return true;
    if (p->_mostIn == nullptr)
        return false;
    for (const LISTNODE* cell = p->_mostIn->_first; cell != nullptr; cell = cell->_next)
        if (static_cast<const PLDRC*>(cell->_node)->_out <= p->_count)
            return true;
    return false;
}

// t needs u: a link whose two alternatives are u.
void Needs(TRN* t, TRN* u) {
    if (u == t)
        return;
    BINOR* link = BinOrCons(t);
    LstInsLast(_binOrList, link);
    LstInsLast(Grow(&u->_ut._t._orStrongPredAO, &binOrTools), link);
    LstInsLast(Grow(&u->_ut._t._orWeakPredAO, &binOrTools), link);
    if (t->_ut._t._binOr == nullptr)
        t->_ut._t._binOr = link;
}

// The links of an enabled t over one class of its token-consuming arcs.
void Consuming(TRN* t, ArcClass k) {
    LIST* arcs = ArcsOf(t, k);
    if (arcs == nullptr)
        return;
    for (const LISTNODE* a = arcs->_first; a != nullptr; a = a->_next) {
        PLC* p = PlaceOf(a->_node, k);
        unsigned long rest = p->_count - Takes(a->_node, k) + PutsBack(a->_node, k);
        for (const Sub& sub : kConflictList) {
            LIST* list = ListOf(p, sub.list);
            if (list == nullptr)
                continue;
            for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
                if (Admitted(cell, sub.admit, rest))
                    Needs(t, TrnAt(cell, sub.list));
        }
    }
}

// The suppliers of a disabling place p are linked to it once per graph;
// each disabled transition waiting for p is noted in p's _orPredAnd.
void WaitFor(TRN* t, PLC* p) {
    if (p->_up._orPredAnd != nullptr) {
        LstInsLast(p->_up._orPredAnd, t);
        return;
    }
    LstInsLast(Grow(&p->_up._orPredAnd, &trnTools), t);
    for (const Sub& sub : kSupplierList) {
        LIST* list = ListOf(p, sub.list);
        if (list == nullptr)
            continue;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
            if (Admitted(cell, sub.admit, p->_count))
                LstInsLast(Grow(&TrnAt(cell, sub.list)->_ut._t._plcPredAO, &plcTools), p);
    }
}

}  // namespace

void TrnNdPrIn(TRN* trn) { Consuming(trn, kPrIn); }
void TrnNdMsIn(TRN* trn) { Consuming(trn, kMsIn); }

void TrnOA(TRN* trn) {
    trn->_flag |= TRN_MARK16;
    if (trn->_flag & TRN_ENABLED) {
        TrnNdPrIn(trn);
        TrnNdMsIn(trn);
        return;
    }
    // The disabling arcs up to the first whose place nothing can refill: a
    // transition that waits for such a place needs nothing.
    trn->_ut._t._nOrSucc = 0;
    for (ArcClass k : {kPrIn, kNeutral, kMsIn, kMsOut}) {
        LIST* arcs = ArcsOf(trn, k);
        if (arcs == nullptr)
            continue;
        for (const LISTNODE* a = arcs->_first; a != nullptr; a = a->_next) {
            if (!Disabling(a->_node, k))
                continue;
            ++trn->_ut._t._nOrSucc;
            if (!HasSupplier(PlaceOf(a->_node, k)))
                return;
        }
    }
    for (ArcClass k : {kPrIn, kNeutral, kMsIn, kMsOut}) {
        LIST* arcs = ArcsOf(trn, k);
        if (arcs == nullptr)
            continue;
        for (const LISTNODE* a = arcs->_first; a != nullptr; a = a->_next)
            if (Disabling(a->_node, k))
                WaitFor(trn, PlaceOf(a->_node, k));
    }
}

int TrnAndOr(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (!(trn->_flag & TRN_MARK16))
        TrnOA(trn);
    return 0;
}

int TrnPreAO(TRN* trn) {
    if (trn == nullptr)
        return 1;
    trn->_flag &= ~(TRN_DELETED | TRN_MARK4 | TRN_MARK8 | TRN_MARK16);
    return 0;
}

int TrnAOClean(TRN* trn) {
    if (trn == nullptr)
        return 1;
    for (LIST** list : {&trn->_ut._t._plcPredAO, &trn->_ut._t._orStrongPredAO, &trn->_ut._t._orWeakPredAO}) {
        if (*list != nullptr)
            LstDestroy(*list, FALSE);
        *list = nullptr;
    }
    trn->_ut._t._binOr = nullptr;
    return 0;
}

int TrnDupOr(TRN* trn) {
    if (trn == nullptr)
        return 1;
    trn->_ut._t._dupNOrSucc = trn->_ut._t._nOrSucc;
    return 0;
}
