// The Tarjan walk of the incremental stubborn-set algorithm (TrnStub,
// TrnVisit, TrnTivis) and the visitors of an enabled transition over its
// conflicts (En).
//
// The Tarjan walk finds the strongly connected components of the
// dependency graph as they close.  A component is a candidate when it holds
// an enabled transition and reaches no other closed component that holds
// one (its root has no reach mark 0x02 before it is counted): its enabled
// transitions then form a stubborn set with everything the component
// reaches.  The best candidate is the one with the fewest enabled
// transitions.  A closed component's transitions carry its identifier, the
// complement of its number, which lies above every depth-first number, so
// meeting them never lowers a lowlink.

#include "walk.h"

using namespace engine::walk;

unsigned long _ptNow = 0;
unsigned long _ptSgCount = 0;
unsigned long _ptSzBest = kNone;
unsigned long _ptCounter = 0;
TRN* _ptKingTrn = nullptr;
unsigned long ptSz = 0;
TRN* ptVisible = nullptr;
TRN* ptInvisible = nullptr;
std::vector<TRN*> ptList;

namespace {

const Visitors kTarjanVisitors = {{TrnDsPrIn, TrnDsNeutral, TrnDsMsIn, TrnDsMsOut},
                                  {TrnEnNeutral, TrnEnMsOut, TrnEnPrIn, TrnEnMsIn}};

bool Stopped() { return ClosureDone(); }

// Whether a closed component with these counts becomes the best: fewer
// enabled transitions; under CFFD none of them visible; under on-the-fly
// checking without CFFD one of them invisible.
bool Better() {
    return ptSz < _ptSzBest && (!_ptCFFD || ptVisible == nullptr) &&
           (_onTheFly == 0 || _ptCFFD || ptInvisible != nullptr);
}

// c is the root of a component: count it, judge it, pop it.
void Close(TRN* c) {
    ptV = ~_ptSgCount;
    if (!(c->_flag & TRN_DELETED)) {
        ptSz = 0;
        ptVisible = ptInvisible = nullptr;
        for (auto it = ptList.rbegin();; ++it) {
            TRN* m = *it;
            if (m->_flag & TRN_ENABLED) {
                ++ptSz;
                c->_flag |= TRN_DELETED;
                (m->_flag & TRN_VISIBLE ? ptVisible : ptInvisible) = m;
            }
            if (m == c)
                break;
        }
        if ((c->_flag & TRN_DELETED) && Better()) {
            _ptSzBest = ptSz;
            _ptBest = ptV;
            _ptKingTrn = ptInvisible;
        }
    }
    const unsigned reach = c->_flag & TRN_DELETED;
    for (;;) {
        TRN* m = ptList.back();
        ptList.pop_back();
        Val(m) = ptV;
        m->_flag |= reach;
        if (_ptKingTrn == nullptr && (m->_flag & (TRN_ENABLED | TRN_VISIBLE)) == TRN_ENABLED)
            _ptKingTrn = m;
        if (m == c)
            break;
    }
    ++_ptSgCount;
}

}  // namespace

int TrnStub(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (!(trn->_flag & TRN_ENABLED) || Val(trn) != 0)
        return 0;
    if ((trn->_flag & TRN_VISIBLE) && (_ptCFFD || _onTheFly != 0))
        return 0;
    if (_ptLazy && !_ptCFFD && --_ptCounter != kNone)
        return 0;
    TrnVisit(trn);
    if (_ptLazy)
        return _ptBest != 0 ? 1 : 0;
    return _ptSzBest == 1 ? 1 : 0;
}

void TrnVisit(TRN* trn) { Drive<TrnTivis, Stopped>(trn); }

void TrnTivis(TRN* trn) {
    if ((trn->_where >> 3) == 0) {
        ptList.push_back(trn);
        Val(trn) = Min(trn) = ++_ptNow;
    }
    switch (RunClasses<true>(trn, kTarjanVisitors)) {
    case kDescends: return;
    case kStoppedEarly: ptV = 0; return;
    case kClassesDone: break;
    }
    if (Min(trn) != Val(trn)) {
        ptV = Min(trn);
        return;
    }
    Close(trn);
}

void TrnEnPrIn(TRN* trn) { Visitor<Tarjan, kEvery>(trn, kPrIn, kConflicts); }
void TrnEnMsIn(TRN* trn) { Visitor<Tarjan, kEvery>(trn, kMsIn, kConflicts); }
