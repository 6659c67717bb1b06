// The deletion algorithm of stubborn sets (PtDeletionAlg): from the set of
// all transitions, candidates are deleted one at a time; a deletion
// propagates through the and/or graph (junction) to every transition that
// can no longer stay, and it stands only when a strong candidate (an
// enabled transition that nothing outside the set can disable) survives.
// What remains enabled and undeleted is fired.
//
// Transition flags: 0x02 deleted, 0x04 deleted by the current trial, 0x08
// tried or protected, 0x10 alive in the best result of the exhaustive pass
// (while the graph is built: node built).  Place flags: 0x01 dead, 0x02
// dead by the current trial.
//
// A trial records every change it makes (flags set, counts lowered), so
// that its undo is the exact inverse and its commit turns exactly the
// tentative marks into permanent ones.  The propagation runs on a work
// list, not on the call stack.
#include <vector>

#include "walk.h"

int pt_visible = 0;
TRN* ptDone = nullptr;
int _blocked = 0;
LIST** _visBlock = nullptr;
char* _visColour = nullptr;

namespace {

constexpr unsigned long kMaxExhaustive = 5;
constexpr unsigned long kNone = ~0UL;

// The candidate tables: the candidates of the run, the strong candidates,
// the visible candidates, and every visible transition.
std::vector<TRN*> candidates, strongCands, visCands, visibleTbl;
bool visiblesCollected = false;

template <class F>
void EachTrn(F f) {
    RADIX* table = _tblTrn[0];
    for (unsigned long i = 0; i < table->ptrCount; ++i)
        if (auto* t = static_cast<TRN*>(RadixGet(table, i)))
            f(t);
}

template <class F>
void EachPlc(F f) {
    for (unsigned long i = 0; i < _tblPlc->ptrCount; ++i)
        if (auto* p = static_cast<PLC*>(RadixGet(_tblPlc, i)))
            f(p);
}

template <class F>
void EachOf(LIST* list, F f) {
    if (list != nullptr)
        for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
            f(cell->_node);
}

bool LivelockTester() { return _onTheFly != 0 && _ptFlyPlc != nullptr && (_ptFlyPlc->_flag & PLC_LIVELOCK); }

// ---- trial, undo, commit ----

enum class Kind { kTrn, kPlc, kLink, kCount };
struct Change {
    Kind kind;
    void* at;
    unsigned bits;
};
std::vector<Change> trial;
std::vector<TRN*> work;

void Tentatively(TRN* t) {
    t->_flag |= TRN_MARK4;
    trial.push_back({Kind::kTrn, t, TRN_MARK4});
    work.push_back(t);
}

void SetLink(BINOR* b, unsigned bit) {
    b->_flag |= bit;
    trial.push_back({Kind::kLink, b, bit});
}

constexpr unsigned kGone = TRN_DELETED | TRN_MARK4;

// The places t supplies die; a disabled transition that has no disabling
// place left goes.
void KillPlaces(TRN* t) {
    EachOf(t->_ut._t._plcPredAO, [](void* node) {
        auto* p = static_cast<PLC*>(node);
        if (p->_flag & (PLC_DEAD | PLC_TDEAD))
            return;
        p->_flag |= PLC_TDEAD;
        trial.push_back({Kind::kPlc, p, PLC_TDEAD});
        EachOf(p->_up._orPredAnd, [](void* waiting) {
            auto* u = static_cast<TRN*>(waiting);
            if ((u->_flag & kGone) || u->_ut._t._nOrSucc == 0)
                return;
            --u->_ut._t._nOrSucc;
            trial.push_back({Kind::kCount, u, 0});
            if (u->_ut._t._nOrSucc == 0)
                Tentatively(u);
        });
    });
}

// The links in which t is an alternative lose it; a transition whose link
// has no alternative left goes.
void UseUpLinks(TRN* t) {
    EachOf(t->_ut._t._orStrongPredAO, [](void* node) {
        auto* b = static_cast<BINOR*>(node);
        if ((b->_flag & 5) != 1)
            return;
        SetLink(b, 4);
        if (!(b->_trn->_flag & kGone) && (b->_flag & 0x0A) != 2)
            Tentatively(b->_trn);
    });
    EachOf(t->_ut._t._orWeakPredAO, [](void* node) {
        auto* b = static_cast<BINOR*>(node);
        if ((b->_flag & 0x0A) != 2)
            return;
        SetLink(b, 8);
        if (!(b->_trn->_flag & kGone) && (b->_flag & 5) != 1)
            Tentatively(b->_trn);
    });
}

// ---- collectors and tests ----

bool Candidate(const TRN* t) {
    if ((t->_flag & (TRN_ENABLED | TRN_DELETED)) != TRN_ENABLED)
        return false;
    bool visible = (t->_flag & TRN_VISIBLE) != 0;
    if (visible && pt_visible == 0 && (_ptCFFD || _onTheFly != 0 || _blocked))
        return false;
    if (!visible && pt_visible == 1 && (_ptCFFD || _blocked))
        return false;
    return true;
}

void Collect(std::vector<TRN*>* table) {
    table->clear();
    EachTrn([table](TRN* t) {
        if (Candidate(t))
            table->push_back(t);
    });
}

void SCollect() {
    strongCands.clear();
    EachTrn([](TRN* t) {
        if ((t->_flag & (TRN_ENABLED | TRN_DELETED | TRN_MARK4)) != TRN_ENABLED)
            return;
        if ((t->_flag & TRN_VISIBLE) && (_ptCFFD || LivelockTester()))
            return;
        strongCands.push_back(t);
    });
}

void WCollect() {
    int saved = pt_visible;
    pt_visible = 1;
    Collect(&visCands);
    pt_visible = saved;
}

void VCollect() {
    visibleTbl.clear();
    EachTrn([](TRN* t) {
        if (t->_flag & TRN_VISIBLE)
            visibleTbl.push_back(t);
    });
    visiblesCollected = true;
}

// The trial of the (ptM + 1)-th eligible entry of the table; null when
// there is none.  A countdown beyond the eligible entries starts over at
// the first.
TRN* Pick(const std::vector<TRN*>& table) {
    ptDone = nullptr;
    for (int pass = 0; pass < 2 && ptDone == nullptr; ++pass) {
        if (pass == 1)
            ptM = 0;
        for (TRN* t : table)
            if (TrnTryDel(t))
                break;
    }
    return ptDone;
}

bool VisibleRemoved() {
    for (TRN* t : visibleTbl)
        if (TrnVRemoved(t))
            return true;
    return false;
}

bool StrongSurvives() {
    for (TRN* t : strongCands)
        if (TrnFndStrong(t))
            return true;
    return false;
}

unsigned long Remaining(bool invisibleOnly) {
    ptM = 0;
    EachTrn([invisibleOnly](TRN* t) { invisibleOnly ? TrnCntICand(t) : TrnCntCand(t); });
    return ptM;
}

// ---- the graph ----

void BuildGraph() {
    EachPlc(PlcIniFlag);
    _binOrList = LstCreate(&binOrTools);
    EachTrn(TrnAndOr);
    // Every reset of an attempt restores the counts from this copy.
    EachTrn(TrnDupOr);
}

void TearDown() {
    EachPlc(PlcAOClean);
    EachTrn(TrnAOClean);
    if (_binOrList != nullptr)
        LstDestroy(_binOrList, TRUE);
    _binOrList = nullptr;
}

// Back to the graph as built: no deletions, every count and link fresh.
void ResetGraph() {
    EachTrn([](TRN* t) {
        t->_flag &= ~(TRN_DELETED | TRN_MARK4 | TRN_MARK8);
        t->_ut._t._nOrSucc = t->_ut._t._dupNOrSucc;
    });
    EachPlc(PlcIniFlag);
    EachOf(_binOrList, [](void* node) { static_cast<BINOR*>(node)->_flag = 3; });
}

// ---- the exhaustive pass ----

void Backup(TRN* t) {
    if ((t->_flag & (TRN_ENABLED | TRN_DELETED)) == TRN_ENABLED)
        t->_flag |= TRN_MARK16;
    else
        t->_flag &= ~TRN_MARK16;
}

bool Alive(const TRN* t) { return (t->_flag & TRN_MARK16) != 0; }

// The next increasing k-tuple over [0, total) in lexicographic order.
bool NextTuple(std::vector<unsigned long>* ind, unsigned long k, unsigned long total) {
    for (unsigned long j = k; j-- > 0;) {
        if ((*ind)[j] < total - k + j) {
            ++(*ind)[j];
            for (unsigned long i = j + 1; i < k; ++i)
                (*ind)[i] = (*ind)[i - 1] + 1;
            return true;
        }
    }
    return false;
}

// Tries to keep fewer candidates by protecting k of them at a time and
// deleting greedily around them; the best result is restored at the end.
void Exhaustive(unsigned long nInitial, unsigned long n, bool vremCheck, bool fromScratch) {
    const unsigned long total = candidates.size();
    unsigned long limit = nInitial > kMaxExhaustive ? 1 : n - 1;
    EachTrn(Backup);
    std::vector<unsigned long> candInd(kMaxExhaustive, 0);
    unsigned long k = 1;
    unsigned long first = 0;
    while (first < total && Alive(candidates[first]))
        ++first;
    if (first == total)
        return;
    candInd[0] = first;
    for (;;) {
        ResetGraph();
        if (!fromScratch) {
            ptM = 0;
            while (Pick(visCands) != nullptr) {
                TrnSatWet(ptDone);
                ptM = 0;
            }
        }
        for (unsigned long j = 0; j < k; ++j)
            candidates[candInd[j]]->_flag |= TRN_MARK8;
        ptM = 0;
        while (Pick(candidates) != nullptr) {
            bool keep = true;
            for (unsigned long j = 0; j < k && keep; ++j)
                keep = !(candidates[candInd[j]]->_flag & TRN_MARK4);
            if (keep && vremCheck && VisibleRemoved())
                keep = false;
            if (keep && !StrongSurvives())
                keep = false;
            if (keep)
                TrnSatWet(ptDone);
            else
                TrnCancel(ptDone);
            ptM = 0;
        }
        unsigned long v = Remaining(vremCheck);
        if (v <= k)
            return;
        if (v <= limit) {
            limit = v - 1;
            for (TRN* t : candidates)
                Backup(t);
        }
        for (;;) {
            if (!NextTuple(&candInd, k, total)) {
                ++k;
                if (k > limit || k > total || k >= kMaxExhaustive) {
                    // Back to the best result.
                    EachTrn([](TRN* t) {
                        t->_flag &= ~TRN_MARK4;
                        if (Alive(t))
                            t->_flag &= ~TRN_DELETED;
                        else
                            t->_flag |= TRN_DELETED;
                    });
                    return;
                }
                for (unsigned long j = 0; j < k; ++j)
                    candInd[j] = j;
            }
            bool alive = true;
            for (unsigned long j = 0; j < k && alive; ++j)
                alive = Alive(candidates[candInd[j]]);
            if (alive)
                break;
        }
    }
}

int TrnDelCheck(TRN* t) {
    if ((t->_flag & (TRN_ENABLED | TRN_DELETED)) == TRN_ENABLED)
        TrnFire(t);
    return 0;
}

}  // namespace

void TrnDry(TRN* trn) {
    trial.clear();
    work.clear();
    Tentatively(trn);
    while (!work.empty()) {
        TRN* t = work.back();
        work.pop_back();
        KillPlaces(t);
        UseUpLinks(t);
    }
}

void TrnCancel(TRN*) {
    for (auto c = trial.rbegin(); c != trial.rend(); ++c) {
        switch (c->kind) {
        case Kind::kTrn: static_cast<TRN*>(c->at)->_flag &= ~c->bits; break;
        case Kind::kPlc: static_cast<PLC*>(c->at)->_flag &= ~c->bits; break;
        case Kind::kLink: static_cast<BINOR*>(c->at)->_flag &= ~c->bits; break;
        case Kind::kCount: ++static_cast<TRN*>(c->at)->_ut._t._nOrSucc; break;
        }
    }
    trial.clear();
}

void TrnSatWet(TRN*) {
    for (const Change& c : trial) {
        switch (c.kind) {
        case Kind::kTrn: {
            auto* t = static_cast<TRN*>(c.at);
            t->_flag = (t->_flag & ~TRN_MARK4) | TRN_DELETED;
            break;
        }
        case Kind::kPlc: {
            auto* p = static_cast<PLC*>(c.at);
            p->_flag = (p->_flag & ~PLC_TDEAD) | PLC_DEAD;
            break;
        }
        case Kind::kLink: {
            auto* b = static_cast<BINOR*>(c.at);
            b->_flag &= c.bits == 4 ? ~5u : ~0x0Au;
            break;
        }
        case Kind::kCount: break;
        }
    }
    trial.clear();
}

int TrnTryDel(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (trn->_flag & (TRN_DELETED | TRN_MARK4 | TRN_MARK8))
        return 0;
    if (--ptM != kNone)
        return 0;
    trn->_flag |= TRN_MARK8;
    ptDone = trn;
    TrnDry(trn);
    return 1;
}

void DelThem(unsigned long nInitial, unsigned long limCand, int vremCheck, int fromScratch, int tp_visible,
             int sCollected) {
    if (fromScratch)
        BuildGraph();
    pt_visible = tp_visible;
    Collect(&candidates);
    if (!sCollected)
        SCollect();
    if (vremCheck && !visiblesCollected)
        VCollect();
    unsigned long n = nInitial, r = nInitial;
    while (r != 0 && n != limCand) {
        ptM = _trRnd ? PtRandom(static_cast<unsigned>(r)) : 0;
        if (Pick(candidates) == nullptr)
            break;
        if (vremCheck && VisibleRemoved()) {
            --r;
            TrnCancel(ptDone);
        } else if (StrongSurvives()) {
            unsigned long m = Remaining(vremCheck);
            unsigned long gone = n > m ? n - m : 0;
            r = r > gone ? r - gone : 0;
            n = m;
            TrnSatWet(ptDone);
        } else {
            --r;
            TrnCancel(ptDone);
        }
    }
    if (_ptTryAgain && n >= 2 && n < nInitial)
        Exhaustive(nInitial, n, vremCheck != 0, fromScratch != 0);
    TearDown();
}

void PtRedDel(int sCollected) {
    _ptRecurs = 1;
    RadixApply(_tblTrn[0], TrnRedDel);
    if (_ptRecurs == 1)
        return;
    EachTrn(TrnPreAO);
    if (_ptInvisCnt >= 2)
        DelThem(_ptInvisCnt, 1, 1, 1, 0, sCollected);
}

void PtDeletionAlg(void) {
    EachTrn(TrnPreAO);
    if (_onTheFly != 0 && !_ptCFFD && !_blocked) {
        if (LivelockTester()) {
            if (_ptInvisCnt != 0)
                DelThem(_ptECnt, 1, 0, 1, 1, 0);
        } else if (_ptInvisCnt != 0) {
            DelThem(_ptInvisCnt, _ptInvisCnt == _ptECnt ? 1 : 0, 1, 1, 0, 0);
        }
    } else if ((!_ptCFFD && !_blocked) || _ptInvisCnt == _ptECnt) {
        DelThem(_ptECnt, 1, 0, 1, 0, 0);
        if (Remaining(false) == _ptECnt) {
            ptBranching = 1;
        } else if (_ptCFFD && !LivelockTester()) {
            if (!visiblesCollected)
                VCollect();
            if (VisibleRemoved())
                PtRedDel(0);
        }
    } else {
        // CFFD or blocks, with visible and invisible transitions enabled:
        // the visible candidates go first while a strong candidate stays.
        BuildGraph();
        SCollect();
        WCollect();
        ptM = 0;
        while (Pick(visCands) != nullptr) {
            if (!StrongSurvives())
                break;
            TrnSatWet(ptDone);
            ptM = 0;
        }
        if (ptDone == nullptr) {
            unsigned long m = Remaining(false);
            DelThem(m, 1, 0, 0, 0, 1);
            if (!LivelockTester())
                PtRedDel(1);
        } else {
            TrnCancel(ptDone);
            TearDown();
            EachTrn(TrnPreAO);
            if (_blocked)
                Upsilon();
            else if (_ptInvisCnt > 1)
                DelThem(_ptInvisCnt, 1, 1, 1, 0, 1);
        }
    }
    if (ptDoIt) {
        EachTrn(TrnDelCheck);
        PtGphUpdate();
    }
}

// The run with visible blocks.  Nothing in this system declares visible
// blocks (_blocked stays 0), so they are not built: the run keeps every
// visible transition instead, as without blocks.
void Upsilon() {
    if (_ptInvisCnt > 1)
        DelThem(_ptInvisCnt, 1, 1, 1, 0, 0);
}

void PtDeletionRelease() {
    for (std::vector<TRN*>* table : {&candidates, &strongCands, &visCands, &visibleTbl}) {
        table->clear();
        table->shrink_to_fit();
    }
    visiblesCollected = false;
    trial.clear();
    work.clear();
    trial.shrink_to_fit();
    work.shrink_to_fit();
}
