// The incremental stubborn-set algorithm (PtIncrementalAlg, with the cycle
// check of the CFFD mode PtRedInc) and the searches that check a property
// while the graph is generated (PtOnTheFly, PtProCFFD, the infinite-path
// search PtInfinite/PtInside and the Buchi search PtBuchi/PtInner/PtActual).
#include "mirror.h"
#include "walk.h"

using namespace engine::walk;

namespace {

bool OnTheFly() { return _onTheFly != 0; }

bool LivelockPlace() { return _ptFlyPlc != nullptr && (_ptFlyPlc->_flag & PLC_LIVELOCK); }

void ForEachTransition(int (*f)(TRN*)) { RadixApply(_tblTrn[0], f); }

// Whether a walk over the table found a transition (f returned nonzero
// for a transition, not at the end).
bool Finds(int (*f)(TRN*)) {
    void** slot = RadixApply(_tblTrn[0], f);
    return slot != nullptr && *slot != nullptr;
}

void ResetClosure() {
    _ptSgCount = 0;
    _ptNow = 0;
    _ptBest = 0;
    _ptSzBest = kNone;
}

// One closure run: a walk from every qualifying enabled transition in table
// order, until the best component cannot get better.
void ClosureRun() {
    ptList.clear();
    ForEachTransition(TrnStub);
    ptList.clear();
}

}  // namespace

void PtIncrementalAlg(void) {
    ForEachTransition(TrnAntiVisit);
    ResetClosure();
    if (_ptLazy)
        _ptCounter = !_trRnd ? 0 : PtRandom(static_cast<unsigned>(OnTheFly() ? _ptInvisCnt : _ptECnt));
    if (!OnTheFly() && !_ptCFFD) {
        ClosureRun();
    } else if (!_ptCFFD) {
        // On-the-fly checking: a livelock state needs a set that keeps an
        // invisible transition; any other state is expanded fully.
        if (!LivelockPlace()) {
            if (_ptInvisCnt != 0)
                ForEachTransition(TrnVisStub);
        } else if (_ptInvisCnt == 1) {
            TrnSpan(ptInvFirst);
        } else if (_ptInvisCnt >= 2) {
            _ptKingTrn = nullptr;
            ClosureRun();
            if (_ptBest == 0) {
                ForEachTransition(TrnAntiVisit);
                if (_ptKingTrn != nullptr)
                    TrnSpan(_ptKingTrn);
            }
        }
    } else {
        ClosureRun();
        if (_ptBest != 0) {
            if (_ptSzBest == _ptECnt)
                ptBranching = 1;
            else if (!(OnTheFly() && LivelockPlace()) && Finds(TrnWorseVis))
                PtRedInc();
        } else {
            // Every candidate held a visible transition: the span of the
            // visible transitions goes with the best set outside it.
            ForEachTransition(TrnAntiVisit);
            _ptKingTrn = nullptr;
            ForEachTransition(TrnVisStub);
            if (_ptKingTrn == nullptr) {
                ResetClosure();
                ClosureRun();
            }
        }
    }
    if (ptDoIt) {
        ForEachTransition(TrnBest);
        PtGphUpdate();
    }
}

void PtRedInc(void) {
    _ptRecurs = 1;
    ForEachTransition(TrnRedInc);
    if (_ptRecurs == 1)
        return;
    // The set leads back onto the search path: visible transitions must
    // not be left out along the cycle.
    ForEachTransition(TrnAntiVisit);
    if (_ptInvisCnt > 1) {
        _ptKingTrn = nullptr;
        ForEachTransition(TrnVisStub);
        if (_ptKingTrn == nullptr) {
            ResetClosure();
            ClosureRun();
        }
    } else {
        _ptBest = 0;
    }
}

void PtReleaseReductions(void) {
    ptList.clear();
    ptList.shrink_to_fit();
    SymmRelease();
    PtDeletionRelease();
}
