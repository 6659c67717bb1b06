// The successor driver: enabledness, the firing of the enabled transitions
// of the current state in plain, precedence, stubborn-set and sleep-set
// mode, the graph update of the expanded node, and the stop conditions of
// the on-the-fly checks.
//
// The per-transition functions are applied over a class table with
// RadixApply, which stops at the first nonzero result; a null slot ends a
// walk.  The flag bits 1 to 16 of the transitions are valid from one
// enabledness pass to the next.
#include <cstdio>
#include <initializer_list>

#include "alloc.h"
#include "fileaux.h"
#include "inst.h"
#include "internal.h"
#include "plainnet.h"

// Settings.
int _ptStub = 0;
int _ptDelAlg = 0;
int _ptSleep = 0;
int _ptCFFD = 0;
int _ptSy = 0;
int _ptLazy = 0;
int _ptDefVis = 0;
int _ptTryAgain = 0;
int _trRnd = 0;
int _plRnd = 0;
unsigned _ptVerbose = 0;

// Tables.
AVLSET* _plcAvlset = nullptr;
AVLSET** _trnAvlset = nullptr;
RADIX* _tblPlc = nullptr;
RADIX* _dupTblPlc = nullptr;
RADIX** _tblTrn = nullptr;
unsigned* _higher = nullptr;
unsigned long _nTrVisible = 0;

// Working globals.
uint32_t _awCount = 0;
uint32_t _awFirst = TULM_NONE;
uint32_t _ndFirst = TULM_NONE;
uint32_t _ndAddr = TULM_NONE;
uint32_t _awAddr = TULM_NONE;
unsigned long _ptECnt = 0;
unsigned long _ptInvisCnt = 0;
TRN* ptFirst = nullptr;
TRN* ptInvFirst = nullptr;
unsigned _ptClass = 0;
unsigned long _ptBest = 0;
int _ptRecurs = 0;
AVLSET* _ptSlpSet[4] = {nullptr, nullptr, nullptr, nullptr};
PLC* _ptFlyPlc = nullptr;
PLC* buPlc = nullptr;
TRN* ptTrn = nullptr;
TRN* pt2Trn = nullptr;
unsigned long ptM = 0;
// The stubborn-set algorithms fire what they choose only while this is set:
// the sleep-set expansion and the chains of the elimination clear it to
// compute a set without firing it.
int ptDoIt = 1;
LIST* _binOrList = nullptr;
LIST* visibles = nullptr;
BOOL (*_buchiOK)(void) = nullptr;

namespace {

bool ArcsAllow(const TRN* trn) {
    for (LIST* list : {trn->_pureIn, trn->_neutral}) {
        if (list == nullptr)
            continue;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
            const auto* arc = static_cast<const TRARC*>(cell->_node);
            if (arc->_plc->_count < arc->_weight)
                return false;
        }
    }
    for (LIST* list : {trn->_mostIn, trn->_mostOut}) {
        if (list == nullptr)
            continue;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
            const auto* arc = static_cast<const TRDRC*>(cell->_node);
            if (arc->_plc->_count < arc->_in)
                return false;
        }
    }
    return true;
}

bool AnyEnabled(LIST* list) {
    if (list == nullptr)
        return false;
    for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
        if (static_cast<const TRN*>(cell->_node)->_flag & TRN_ENABLED)
            return true;
    return false;
}

bool Chosen(const TRN* trn) {
    return trn->_ut._n._val == _ptBest || trn->_ut._n._val == _tblTrn[0]->ptrCount + 1;
}

bool Deleted(const TRN* trn) { return (trn->_flag & (TRN_MARK4 | TRN_DELETED)) != 0; }

// A place's transitions that take tokens from it: any of them deleted?
bool TakerDeleted(const PLC* plc) {
    for (LIST* list : {plc->_pureOut, plc->_mostOut}) {
        if (list == nullptr)
            continue;
        bool drc = list == plc->_mostOut;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
            const TRN* t = drc ? static_cast<const PLDRC*>(cell->_node)->_trn
                               : static_cast<const PLARC*>(cell->_node)->_trn;
            if (Deleted(t))
                return true;
        }
    }
    return false;
}

const TRN* stopTrn = nullptr;

int ClearAfterStop(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (trn->_number > stopTrn->_number)
        trn->_flag &= ~TRN_WORK;
    return 0;
}

// One enabledness pass over a class table.  A pass that stops early (at an
// initialisation transition of the Buchi section) clears the flags of the
// transitions it did not reach, so that none fires on a stale flag.
void EnblPass(RADIX* table) {
    void** stop = RadixApply(table, TrnEnblCheck);
    if (stop != nullptr && *stop != nullptr) {
        stopTrn = static_cast<const TRN*>(*stop);
        RadixApply(table, ClearAfterStop);
    }
}

void ClearCounts() {
    _ptRecurs = 0;
    _ptECnt = 0;
    _ptInvisCnt = 0;
    ptFirst = nullptr;
    ptInvFirst = nullptr;
}

unsigned long SetSize(const AVLSET* set) { return set != nullptr ? set->elCount : 0; }

void DestroySet(AVLSET** set) {
    if (*set != nullptr)
        BalTrDestroy(*set, TRUE);
    *set = nullptr;
}

void EmptyPath(PATH* path, unsigned long end) {
    if (path->steps != nullptr && !LstEmpty(path->steps)) {
        LstDestroy(path->steps, TRUE);
        path->steps = LstCreate(&stpTools);
    }
    path->end = end;
}

void BeforeReport() {
    if (_ptStub)
        GphSetSeed(_graph[0], PtTerm());
}

void DropNodeTree(bool always) {
    if ((always || (_onTheFly & FLY_LIVELOCK)) && _nodeTree != nullptr) {
        BalTrDestroy(_nodeTree, TRUE);
        _nodeTree = nullptr;
    }
}

}  // namespace

void engine::ReportStop(const char* message) {
    engine::FlushPendingZel();
    if (_zel)
        LTSEnd();
    std::fputs(message, _out);
}

int TrnEnblCheck(TRN* trn) {
    if (trn == nullptr)
        return 1;
    trn->_flag &= ~TRN_WORK;
    bool buchi = (_onTheFly & FLY_BUCHI) != 0;
    if (buchi) {
        if ((trn->_flag & TRN_DUMMY) && _ptECnt != 0)
            return 0;
        // The second graph (stubborn sets) is the net alone: its nodes
        // never take the initialisation transitions.
        bool start = !_ptStub && _path[3]->end == GphStart(_graph[0]);
        if (start != ((trn->_flag & TRN_INITIAL) != 0))
            return 0;
    }
    if (!ArcsAllow(trn))
        return 0;
    trn->_flag |= TRN_ENABLED;
    if (_ptECnt++ == 0)
        ptFirst = trn;
    if (!(trn->_flag & TRN_VISIBLE)) {
        if (_ptInvisCnt++ == 0)
            ptInvFirst = trn;
    }
    return buchi && (trn->_flag & TRN_INITIAL) ? 1 : 0;
}

void FndEnbl(void) {
    ClearCounts();
    EnblPass(_tblTrn[0]);
}

int AfterEnbl(TRN* trn1, TRN* trn2) {
    engine::Fire(trn1);
    bool enabled = ArcsAllow(trn2);
    engine::Unfire(trn1);
    return enabled ? 1 : 0;
}

int TrnReCheck(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (trn->_flag & TRN_ENABLED)
        TrnFire(trn);
    return 0;
}

int TrnPrecCheck(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if ((trn->_flag & TRN_ENABLED) && !AnyEnabled(trn->_ut._higher))
        TrnFire(trn);
    return 0;
}

int TrnBest(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if ((trn->_flag & TRN_ENABLED) && Chosen(trn))
        TrnFire(trn);
    return 0;
}

int TrnChkRe(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (!(trn->_flag & TRN_ENABLED))
        return 0;
    unsigned long number = trn->_number;
    if (_ptSlpSet[0] != nullptr && BalTrElement(_ptSlpSet[0], &number) != nullptr)
        return 0;
    if (_ptDelAlg && (trn->_flag & TRN_DELETED))
        return 0;
    if (_ptStub && !_ptDelAlg && !Chosen(trn))
        return 0;
    _ptSlpSet[3] = BalTrCreate(&lngBalTools);
    ptTrn = trn;
    BalTrApply(_ptSlpSet[2], PtNewSleep);
    TrnFire(trn);
    DestroySet(&_ptSlpSet[3]);
    BalTrInsert(_ptSlpSet[2], LngCons(number), &number, TRUE);
    return 0;
}

int TrnRedInc(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (!(trn->_flag & TRN_ENABLED) || trn->_ut._n._val != _ptBest)
        return 0;
    TrnLookStack(trn);
    return _ptRecurs == 0 ? 1 : 0;
}

int TrnRedDel(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if ((trn->_flag & (TRN_ENABLED | TRN_DELETED)) != TRN_ENABLED)
        return 0;
    TrnLookStack(trn);
    return _ptRecurs == 0 ? 1 : 0;
}

int TrnChkEnbl(TRN* trn) {
    if (trn == nullptr)
        return 0;
    return ArcsAllow(trn) ? 1 : 0;
}

int TrnCntCand(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if ((trn->_flag & (TRN_ENABLED | TRN_DELETED | TRN_MARK4)) == TRN_ENABLED)
        ++ptM;
    return 0;
}

int TrnCntICand(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if ((trn->_flag & (TRN_ENABLED | TRN_DELETED | TRN_MARK4 | TRN_VISIBLE)) == TRN_ENABLED)
        ++ptM;
    return 0;
}

int TrnVRemoved(TRN* trn) {
    if (trn == nullptr)
        return 1;
    return (trn->_flag & TRN_VISIBLE) && Deleted(trn) ? 1 : 0;
}

int TrnWorseVis(TRN* trn) {
    if (trn == nullptr)
        return 0;
    return (trn->_flag & TRN_VISIBLE) && trn->_ut._n._val != _ptBest ? 1 : 0;
}

int TrnFndStrong(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (Deleted(trn))
        return 0;
    for (LIST* list : {trn->_pureIn, trn->_neutral}) {
        if (list == nullptr)
            continue;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
            if (TakerDeleted(static_cast<const TRARC*>(cell->_node)->_plc))
                return 0;
    }
    for (LIST* list : {trn->_mostIn, trn->_mostOut}) {
        if (list == nullptr)
            continue;
        for (const LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
            if (TakerDeleted(static_cast<const TRDRC*>(cell->_node)->_plc))
                return 0;
    }
    return 1;
}

int PtNewSleep(unsigned long* number) {
    pt2Trn = static_cast<TRN*>(RadixGet(_tblTrn[0], *number));
    if (AfterEnbl(ptTrn, pt2Trn) && AfterEnbl(pt2Trn, ptTrn))
        BalTrInsert(_ptSlpSet[3], LngCons(*number), number, TRUE);
    return 0;
}

int PtOldSleep(unsigned long* number) {
    unsigned long n = *number;
    if (BalTrElement(_ptSlpSet[0], &n) != nullptr) {
        BalTrInsert(_ptSlpSet[2], LngCons(n), &n, TRUE);
        return 0;
    }
    // Asleep when the node was expanded before, awake now: fire it.
    ptTrn = static_cast<TRN*>(RadixGet(_tblTrn[0], n));
    _ptSlpSet[3] = BalTrCreate(&lngBalTools);
    BalTrApply(_ptSlpSet[0], PtNewSleep);
    TrnFire(ptTrn);
    DestroySet(&_ptSlpSet[3]);
    BalTrInsert(_ptSlpSet[0], LngCons(n), &n, TRUE);
    return 0;
}

void engine::ExpandEnabled(bool reduce) {
    if (reduce) {
        if (_ptDelAlg)
            PtDeletionAlg();
        else
            PtIncrementalAlg();
    } else {
        RadixApply(_tblTrn[0], TrnReCheck);
        PtGphUpdate();
    }
}

void PtFollowers(void) {
    _path[3] = _path[0];
    _awCount = 0;
    _awFirst = TULM_NONE;
    if (!_ptSleep && !_ptStub) {
        // Unconstrained classes fire as soon as their enabledness is
        // known; constrained ones once every class's is.
        ClearCounts();
        for (uint32_t c = 0; c < _ingNofClasses; ++c) {
            EnblPass(_tblTrn[c]);
            if (_higher[c] == 0)
                RadixApply(_tblTrn[c], TrnReCheck);
        }
        for (uint32_t c = 0; c < _ingNofClasses; ++c) {
            if (_higher[c] == 0 || (_higher[c] & 2))
                continue;
            if (_higher[c] & 1)
                RadixApply(_tblTrn[c], TrnPrecCheck);
            else
                RadixApply(_tblTrn[c], TrnReCheck);
        }
        PtGphUpdate();
        return;
    }
    if (!_ptSleep) {
        FndEnbl();
        engine::ExpandEnabled(_ptECnt > 1);
        return;
    }
    if (_ptSlpSet[1] != nullptr) {
        unsigned long node = _path[3]->end;
        _awCount = GphAwCount(_graph[0], node);
        if (_awCount != 0) {
            unsigned long aw = 0;
            GphFlFirst(_graph[0], node, &aw, nullptr);
            _awFirst = static_cast<uint32_t>(aw);
        }
        _ptSlpSet[2] = BalTrCreate(&lngBalTools);
        if (_ptSlpSet[0] == nullptr)
            _ptSlpSet[0] = BalTrCreate(&lngBalTools);
        BalTrApply(_ptSlpSet[1], PtOldSleep);
        DestroySet(&_ptSlpSet[0]);
        _ptSlpSet[0] = _ptSlpSet[2];
        _ptSlpSet[2] = nullptr;
    } else {
        _ptSlpSet[2] = _ptSlpSet[0] != nullptr ? BalTrCopy(_ptSlpSet[0], TRUE) : BalTrCreate(&lngBalTools);
        PtExpand();
        DestroySet(&_ptSlpSet[2]);
    }
    PtGphUpdate();
    DestroySet(&_ptSlpSet[0]);
    DestroySet(&_ptSlpSet[1]);
}

void PtExpand(void) {
    ptDoIt = 0;
    FndEnbl();
    if (_ptECnt != 0) {
        if ((_onTheFly != 0 || _ptCFFD) && _ptInvisCnt == 0) {
            // Every enabled transition fires; each successor is pushed with
            // an empty sleep set.
            AVLSET* empty = BalTrCreate(&lngBalTools);
            _ptSlpSet[3] = empty;
            RadixApply(_tblTrn[0], TrnReCheck);
            DestroySet(&_ptSlpSet[3]);
        } else {
            if (_ptDelAlg)
                PtDeletionAlg();
            else if (_ptStub)
                PtIncrementalAlg();
            RadixApply(_tblTrn[0], TrnChkRe);
        }
    }
    ptDoIt = 1;
}

void PtGphUpdate(void) {
    unsigned long node = _path[3]->end;
    if (_ptSleep) {
        if (_ptSlpSet[1] != nullptr) {
            if (SetSize(_ptSlpSet[0]) != SetSize(_ptSlpSet[1]))
                GphUpdate(_graph[0], node, _awCount, _awFirst, _ptSlpSet[0]);
        } else if (_awCount == 0 && SetSize(_ptSlpSet[0]) == 0) {
            GphAddTermNode(_graph[0], node);
        } else {
            GphUpdate(_graph[0], node, _awCount, _awFirst, _ptSlpSet[0]);
        }
    } else if ((_onTheFly & FLY_BUCHI) && _ptStub) {
        unsigned long own = _path[0]->end;
        if (_awCount != 0)
            GphUpdate(_graph[1], own, _awCount, _awFirst, _ptSlpSet[0]);
        else
            GphAddTermNode(_graph[1], own);
        GphIncGenCount(_graph[1]);
        return;
    } else if (_awCount == 0) {
        GphAddTermNode(_graph[0], node);
    } else {
        GphUpdate(_graph[0], node, _awCount, _awFirst, _ptSlpSet[0]);
    }
    GphIncGenCount(_graph[0]);
    if (_dots)
        DotOutput();
}

void PtC1(unsigned long awAddr, unsigned long ndAddr) {
    BeforeReport();
    if (awAddr != TULM_NONE)
        PtGphUpdate();
    DropNodeTree(false);
    engine::ReportStop("\nReject state reached\n");
    EmptyPath(_path[3], ndAddr);
    ExOnTheFly(_graph[0], _path[3], 0);
}

void PtC2(unsigned long awAddr, unsigned long ndAddr) {
    if (RadixApply(_tblTrn[0], TrnChkEnbl) != nullptr)
        return;
    BeforeReport();
    if (awAddr != TULM_NONE)
        PtGphUpdate();
    GphAddTermNode(_graph[0], ndAddr);
    GphIncGenCount(_graph[0]);
    if (_dots)
        DotOutput();
    DropNodeTree(false);
    engine::ReportStop("\nDeadlock reached\n");
    EmptyPath(_path[3], ndAddr);
    ExOnTheFly(_graph[0], _path[3], 0);
}

void PtC3(unsigned long awAddr, unsigned long ndAddr) {
    BeforeReport();
    DropNodeTree(true);
    PthInsLast(_path[0], awAddr, ndAddr);
    engine::ReportStop("\nLivelock reached\n");
    ExOnTheFly(_graph[0], _path[0], 1);
}

void PtC4(unsigned long awAddr, unsigned long ndAddr) {
    BeforeReport();
    if (_path[1] != nullptr)
        PthDracsid(_path[1]);
    _path[1] = nullptr;
    DropNodeTree(false);
    PthInsLast(_path[2], awAddr, ndAddr);
    engine::ReportStop("\nIllegal infinite path found\n");
    ExOnTheFly(_graph[0], _path[2], 1);
}

void PtCountOverflow(unsigned long place, unsigned long count) {
    std::fflush(_out);
    engine::Stop(8, "\nPlace %lu would hold %lu tokens: the node contents hold at most 4294967295\n", place, count);
}
