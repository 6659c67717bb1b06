// Transition instances and their firing: the find-or-create operations of
// the instance code, the save and restore of the transition marks, the
// current marking as a multiset state, and TrnFire, which fires one
// enabled transition, stores the successor and the arrow, writes the ZEL
// arc line, decides the verdicts that one step can decide, collapses chains
// of forced invisible steps (elimination) and puts the marking back.
//
// The marking is changed in place and restored exactly; apart from the
// shared byte buffer (which only grows) a firing allocates nothing.
#include <cstdio>
#include <vector>

#include "alloc.h"
#include "encode.h"
#include "fileaux.h"
#include "inst.h"
#include "internal.h"
#include "mirror.h"
#include "plainnet.h"

int _new = 0;
int ptFaithful = 1;
uint32_t ptEqNdAddr = TULM_NONE;
int ptBranching = 0;

namespace {

template <typename Arc>
void ForArcs(LIST* list, void (*step)(Arc*)) {
    if (list == nullptr)
        return;
    for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next)
        step(static_cast<Arc*>(cell->_node));
}

// The label value of a step: the transition's number, doubled with
// symmetries (odd when the target is only an image).
unsigned long LabelValue(const TRN* trn) { return _ptSy ? 2 * trn->_number : trn->_number; }

// The successor in the current marking, stored in the graph or found there
// (with symmetries also as an image).  Sets _back and ptFaithful.
uint32_t StoreState(GRAPH* graph) {
    unsigned length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    ptFaithful = 1;
    if (!_ptSy)
        return GphPutNode(graph, _engBuffer, length, &_back);
    _back = NEW_NODE;
    uint32_t node = GphFndNode(graph, _engBuffer, &_back);
    if (node != TULM_NONE)
        return node;
    if (_plcSymmetries != nullptr && BalTrApply(_plcSymmetries, FndEquiv) != nullptr) {
        ptFaithful = 0;
        return ptEqNdAddr;
    }
    length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    return GphPutNode(graph, _engBuffer, length, &_back);
}

// Writes the codes of the values into the buffer, NUL-terminated; returns
// the length.
unsigned WriteLabel(const std::vector<unsigned long>& values) {
    unsigned long length = 0;
    for (unsigned long v : values)
        length += NumLen(static_cast<uint32_t>(v));
    EngReserve(length);
    unsigned char* p = _engBuffer;
    for (unsigned long v : values)
        p = NumPut(static_cast<uint32_t>(v), p);
    *p = 0;
    return static_cast<unsigned>(length);
}

// The ZEL arc line of the arrow being stored.
struct ZelLine {
    bool pending = false;
    unsigned long source = 0;  // node address
    unsigned long target = 0;
    unsigned long label = 0;
    bool image = false;
};
ZelLine zelLine;

void WriteZel(unsigned long target) {
    GRAPH* g = _graph[0];
    std::fprintf(_zelArcFile, "%lu %lu %lu", static_cast<unsigned long>(GphOrdinal(g, zelLine.source)),
                 static_cast<unsigned long>(GphOrdinal(g, target)), zelLine.label);
    if (zelLine.image)
        std::fputs(" -- arc explained by the state equivalence relation", _zelArcFile);
    std::fputc('\n', _zelArcFile);
    zelLine.pending = false;
}

bool InNodeTree(unsigned long node) { return _nodeTree != nullptr && BalTrElement(_nodeTree, &node) != nullptr; }

// ---- elimination ----

struct ChainStep {
    TRN* trn;
    uint32_t node;
};

// Saved state of the firing that the chain starts from.
struct ChainContext {
    int recurs;
    unsigned long best;
    unsigned llcheck;
    unsigned long eCnt, invisCnt;
    TRN *first, *invFirst;
    bool watch;  // CFFD or the livelock check: the chain keeps a node tree
    unsigned long savedEnd;
    AVLSET* savedTree;
};

std::vector<ChainStep> chain;  // reused: no allocation per chain once grown

std::vector<unsigned long> ChainValues(std::size_t from, std::size_t to, bool image) {
    std::vector<unsigned long> values;
    for (std::size_t k = from; k < to; ++k)
        values.push_back(LabelValue(chain[k].trn));
    if (image && !values.empty())
        values.back() += 1;
    return values;
}

// Stores the final state again after the chain's nodes were erased; it must
// come out new.
uint32_t StoreAgain(GRAPH* graph) {
    unsigned length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    uint32_t node = GphPutNode(graph, _engBuffer, length, &_back);
    if (_back != NEW_NODE) {
        std::fputs("\n", _out);
        std::fflush(_out);
        std::fputs("\nInternal error in TrnFire\n", _err);
        std::fflush(_err);
        Abort();
    }
    return node;
}

// Redirects the source's last arrow to node with the label of the chain
// transitions [0, to).
void Redirect(GRAPH* graph, std::size_t to, bool image, uint32_t node, unsigned long* back, int cold) {
    unsigned length = WriteLabel(ChainValues(0, to, image));
    GphChLastArrow(graph, _engBuffer, length, node, back, cold);
    if (_ndFirst == chain[0].node)
        _ndFirst = node;
}

void CountNode(GRAPH* graph) {
    if (!_ptSleep)
        GphIncGenCount(graph);
    if (graph == _graph[0] && _dots)
        DotOutput();
}

// A stop found inside a chain: the chain's working sets go, the expanded
// node is recorded, the report is written and the run ends.
[[noreturn]] void ChainStop(GRAPH* graph, ChainContext& ctx, uint32_t final, const char* message, PATH* path,
                            int loop) {
    chain.clear();
    if (ctx.watch) {
        if (_nodeTree != nullptr)
            BalTrDestroy(_nodeTree, TRUE);
        _nodeTree = nullptr;
        if (ctx.savedTree != nullptr)
            BalTrDestroy(ctx.savedTree, TRUE);
        ctx.savedTree = nullptr;
    }
    PtGphUpdate();
    if (zelLine.pending)
        WriteZel(final);
    engine::ReportStop(message);
    GphSetSeed(graph, PtTerm());
    ExOnTheFly(graph, path, loop);
}

// Follows the forced invisible steps from the new target of trn and
// collapses them into the arrow just stored; returns the node that arrow
// finally reaches.  On return the marking is that of the target again.
uint32_t Eliminate(TRN* trn, GRAPH* graph, uint32_t target) {
    ChainContext ctx{};
    ctx.recurs = _ptRecurs;
    ctx.best = _ptBest;
    ctx.llcheck = _onTheFly & FLY_LLCHECK;
    ctx.eCnt = _ptECnt;
    ctx.invisCnt = _ptInvisCnt;
    ctx.first = ptFirst;
    ctx.invFirst = ptInvFirst;
    if (_ptFlyPlc != nullptr && (_ptFlyPlc->_flag & PLC_LIVELOCK))
        _onTheFly |= FLY_LLCHECK;
    else
        _onTheFly &= ~FLY_LLCHECK;
    ptDoIt = 0;
    int cold = 0;
    RadixApply(_tblTrn[0], TrnStore);
    chain.clear();
    chain.push_back({trn, target});
    ctx.watch = _ptCFFD || (_onTheFly & FLY_LLCHECK);
    if (ctx.watch) {
        ctx.savedEnd = _path[0]->end;
        _path[0]->end = TULM_NONE;
        ctx.savedTree = _nodeTree;
        if ((trn->_flag & TRN_VISIBLE) || _nodeTree == nullptr)
            _nodeTree = BalTrCreate(&lngBalTools);
        else
            _nodeTree = BalTrCopy(_nodeTree, TRUE);
        // The chain's own nodes, its first one included: forced steps that
        // run back into it close an invisible cycle whatever trn was.
        unsigned long t = target;
        unsigned long* element = LngCons(t);
        if (BalTrInsert(_nodeTree, element, &t, TRUE) != nullptr)
            Deallocate(element);
    }
    enum { kDeadlock, kEnd, kOld } end;
    for (;;) {
        FndEnbl();
        if (_ptECnt == 0) {
            end = kDeadlock;
            break;
        }
        bool ends = _ptInvisCnt == 0 || (_ptECnt > 1 && !_ptStub);
        if (!ends && _ptStub && _ptECnt > 1) {
            ptBranching = 0;
            if (_ptDelAlg)
                PtDeletionAlg();
            else
                PtIncrementalAlg();
            if (ptBranching) {
                ends = true;
            } else {
                ptFirst = nullptr;
                RadixApply(_tblTrn[0], _ptDelAlg ? TrnHowDelCheck : TrnHowBest);
                ends = ptBranching != 0 || ptFirst == nullptr;
            }
        }
        if (!ends && (ptFirst->_flag & TRN_VISIBLE))
            ends = true;
        if (ends) {
            end = kEnd;
            break;
        }
        TRN* forced = ptFirst;
        if (_ptCFFD && !(_onTheFly & FLY_LLCHECK) && _ptRecurs == 0) {
            if (_nodeTree != nullptr)
                BalTrDestroy(_nodeTree, TRUE);
            _nodeTree = BalTrCreate(&lngBalTools);
            if (!(trn->_flag & TRN_VISIBLE))
                cold = 1;
        }
        engine::Fire(forced);
        uint32_t node = StoreState(graph);
        chain.push_back({forced, node});
        if (_back != NEW_NODE) {
            end = kOld;
            break;
        }
        if (ctx.watch) {
            unsigned long n = node;
            BalTrInsert(_nodeTree, LngCons(n), &n, TRUE);
        }
    }
    if (ctx.watch)
        _path[0]->end = ctx.savedEnd;
    uint32_t first = chain[0].node;
    uint32_t final = chain.back().node;
    bool image = ptFaithful == 0;
    if (end == kEnd || end == kDeadlock) {
        if (chain.size() > 1) {
            GphErase(graph, first, _engBuffer);
            final = StoreAgain(graph);
            Redirect(graph, chain.size(), false, final, nullptr, cold);
            if (end == kEnd && _ptSleep)
                GphPush(graph, final, _ptSlpSet[3]);
        }
        if (end == kDeadlock) {
            GphAddTermNode(graph, final);
            CountNode(graph);
            if (_ptFlyPlc != nullptr && (_ptFlyPlc->_flag & PLC_DEADLOCK))
                ChainStop(graph, ctx, final, "\nDeadlock reached\n", PthCreate(final), 0);
        }
    } else if (final < first) {
        // The chain ran into a node that existed before it.
        GphErase(graph, first, _engBuffer);
        Redirect(graph, chain.size(), image, final, nullptr, cold);
        if ((_onTheFly & FLY_LLCHECK) && InNodeTree(final)) {
            PthInsLast(_path[0], graph->glob[GW_LASTARROW], final);
            ChainStop(graph, ctx, final, "\nLivelock reached\n", _path[0], 1);
        }
        if (_ptSleep)
            GphPush(graph, final, _ptSlpSet[3]);
    } else {
        // The forced steps run into a cycle of the chain's own nodes.
        std::size_t closes = 0;
        while (chain[closes].node != final)
            ++closes;
        GphErase(graph, first, _engBuffer);
        uint32_t node = StoreAgain(graph);
        unsigned long back = 0;
        Redirect(graph, closes + 1, false, node, &back, cold);
        unsigned length = WriteLabel(ChainValues(closes + 1, chain.size(), false));
        uint32_t loop = GphPutArrow(graph, _engBuffer, length, 0, node, node, TULM_NONE, back, 1);
        GphUpdate(graph, node, 1, loop, _ptSlpSet[3]);
        CountNode(graph);
        final = node;
        if ((_onTheFly & FLY_LLCHECK) && InNodeTree(node)) {
            // The report's path: the self-loop alone (the node being
            // expanded keeps its own path until its arrows are recorded).
            PATH* report = PthCreate(node);
            PthInsLast(report, loop, node);
            ChainStop(graph, ctx, final, "\nLivelock reached\n", report, 1);
        }
    }
    for (std::size_t k = chain.size(); k-- > 1;)
        engine::Unfire(chain[k].trn);
    chain.clear();
    RadixApply(_tblTrn[0], TrnRestore);
    _ptRecurs = ctx.recurs;
    _ptBest = ctx.best;
    _onTheFly = (_onTheFly & ~FLY_LLCHECK) | ctx.llcheck;
    _ptECnt = ctx.eCnt;
    _ptInvisCnt = ctx.invisCnt;
    ptFirst = ctx.first;
    ptInvFirst = ctx.invFirst;
    if (!_ptSleep)
        ptDoIt = 1;
    if (ctx.watch) {
        if (_nodeTree != nullptr)
            BalTrDestroy(_nodeTree, TRUE);
        _nodeTree = ctx.savedTree;
    }
    return final;
}

}  // namespace

void engine::Fire(const TRN* trn) {
    ForArcs<TRARC>(trn->_pureIn, [](TRARC* a) { a->_plc->_count -= a->_weight; });
    ForArcs<TRARC>(trn->_pureOut, [](TRARC* a) { a->_plc->_count += a->_weight; });
    // Unsigned arithmetic: the sum is exact whatever the sign of the
    // difference.
    ForArcs<TRDRC>(trn->_mostIn, [](TRDRC* a) { a->_plc->_count = a->_plc->_count + a->_out - a->_in; });
    ForArcs<TRDRC>(trn->_mostOut, [](TRDRC* a) { a->_plc->_count = a->_plc->_count + a->_out - a->_in; });
}

void engine::Unfire(const TRN* trn) {
    ForArcs<TRARC>(trn->_pureIn, [](TRARC* a) { a->_plc->_count += a->_weight; });
    ForArcs<TRARC>(trn->_pureOut, [](TRARC* a) { a->_plc->_count -= a->_weight; });
    ForArcs<TRDRC>(trn->_mostIn, [](TRDRC* a) { a->_plc->_count = a->_plc->_count + a->_in - a->_out; });
    ForArcs<TRDRC>(trn->_mostOut, [](TRDRC* a) { a->_plc->_count = a->_plc->_count + a->_in - a->_out; });
}

void engine::FlushPendingZel() {
    if (zelLine.pending)
        WriteZel(zelLine.target);
}

PLC* GetPlc(unsigned char* key) {
    auto* plc = static_cast<PLC*>(BalTrElement(_plcAvlset, key));
    if (plc != nullptr)
        return plc;
    plc = PlcCons();
    plc->_key = DataCopy(key);
    BalTrInsert(_plcAvlset, plc, plc->_key, TRUE);
    return plc;
}

TRN* GetTrn(unsigned cls, unsigned char* key, int* isNew) {
    if (cls >= _ingNofClasses)
        engine::Fail("\nGetTrn: class %u of %u\n", cls, static_cast<unsigned>(_ingNofClasses));
    auto* trn = static_cast<TRN*>(BalTrElement(_trnAvlset[cls], key));
    if (trn != nullptr) {
        *isNew = 0;
        return trn;
    }
    trn = TrnCons();
    trn->_key = DataCopy(key);
    BalTrInsert(_trnAvlset[cls], trn, trn->_key, TRUE);
    *isNew = 1;
    return trn;
}

int TrnStore(TRN* trn) {
    if (trn == nullptr)
        return 1;
    trn->_flag = (trn->_flag & 0xFFu) | (trn->_flag & TRN_WORK) << 8;
    if (_ptStub && !_ptDelAlg)
        trn->_ut._n._dupVal = trn->_ut._n._val;
    return 0;
}

int TrnRestore(TRN* trn) {
    if (trn == nullptr)
        return 1;
    trn->_flag = (trn->_flag & (TRN_VISIBLE | TRN_INITIAL | TRN_DUMMY)) | ((trn->_flag >> 8) & TRN_WORK);
    if (_ptStub && !_ptDelAlg)
        trn->_ut._n._val = trn->_ut._n._dupVal;
    return 0;
}

STATE* PtState(void) {
    if (_magNofPlaces == 0)
        return nullptr;
    auto* state = static_cast<STATE*>(Etacolla(_magNofPlaces * sizeof(MARKING*)));
    for (uint32_t p = 0; p < _magNofPlaces; ++p)
        state[p] = LstCreate(&multupTools);
    unsigned long slots = _tblPlc->ptrCount;
    for (unsigned long i = 0; i < slots; ++i) {
        PLC* plc = static_cast<PLC*>(RadixGet(_tblPlc, i));
        if (plc->_count == 0)
            continue;
        if (plc->_key == nullptr)
            engine::Fail("\nPtState: the place keys have been released\n");
        unsigned place = 0;
        auto* tuple = static_cast<TUPLE*>(Etacolla(sizeof(TUPLE)));
        TupDecode(&place, plc->_key, tuple);
        if (place >= _magNofPlaces)
            engine::Fail("\nPtState: place %u of %u\n", place, static_cast<unsigned>(_magNofPlaces));
        LstInsLast(state[place], MultupCons(plc->_count, tuple));
    }
    return state;
}

void TrnFire(TRN* trn) {
    EngReserve(NumLen(static_cast<uint32_t>(LabelValue(trn) + (_ptSy ? 1 : 0))));
    engine::Fire(trn);
    const bool buchi = (_onTheFly & FLY_BUCHI) != 0;
    GRAPH* graph = buchi && _ptStub ? _graph[1] : _graph[0];
    const unsigned long source = buchi && _ptStub && !_ptSleep ? _path[0]->end : _path[3]->end;
    const int invisible = (trn->_flag & TRN_VISIBLE) ? 0 : 1;
    // The Buchi section without stubborn sets tries the step once for each
    // automaton state that may follow the current one.
    const bool tries = buchi && !_ptStub;
    unsigned long buCount = 0;
    LISTNODE* next = nullptr;
    if (tries) {
        buCount = buPlc->_count;
        buPlc->_count = 0;
        next = buPlc->_lp._next->_first;
    }
    uint32_t target = TULM_NONE;
    bool isNew = false;
    for (bool once = true; tries ? next != nullptr : once; once = false) {
        PLC* state = nullptr;
        if (tries) {
            state = static_cast<PLC*>(next->_node);
            next = next->_next;
            state->_count = 1;
            _evalState = PtState();
            BOOL ok = (*_buchiOK)();
            StaDiscard(_evalState);
            _evalState = nullptr;
            if (!ok) {
                state->_count = 0;
                continue;
            }
        }
        target = StoreState(graph);
        isNew = _back == NEW_NODE;
        unsigned long value = LabelValue(trn) + (ptFaithful ? 0 : 1);
        unsigned char* end = NumPut(static_cast<uint32_t>(value), _engBuffer);
        *end = 0;
        uint32_t arrow = GphPutArrow(graph, _engBuffer, static_cast<unsigned long>(end - _engBuffer), _awCount, source,
                                     target, _awFirst, _back, invisible);
        if (_awCount == 0 || _freeExpansion) {
            _awFirst = arrow;
            _ndFirst = target;
        }
        ++_awCount;
        bool chainFollows = isNew && _elimination && (!_ptSleep || _ptSlpSet[3] == nullptr || _ptSlpSet[3]->elCount == 0) &&
                            !(buchi && graph == _graph[0]);
        if (graph == _graph[0] && _zel) {
            zelLine = {true, source, target, invisible ? 0 : trn->_number + 1, _ptSy && !ptFaithful};
            if (!chainFollows)
                WriteZel(target);
        }
        if (tries && (_onTheFly & FLY_INNER)) {
            if (target == _path[1]->end) {
                PtGphUpdate();
                PtC4(arrow, target);
            }
        } else if (_onTheFly != 0) {
            if (!isNew) {
                if (_onTheFly & FLY_INNER) {
                    // The seed is a node of the first graph: an arrow of the
                    // second graph never closes the cycle.
                    if (graph == _graph[0] && _path[1] != nullptr && _path[1]->steps != nullptr && !LstEmpty(_path[1]->steps) &&
                        target == static_cast<STEP*>(_path[1]->steps->_first->_node)->world) {
                        PtGphUpdate();
                        PtC4(arrow, target);
                    }
                } else if ((_onTheFly & FLY_LLCHECK) && invisible) {
                    if (target == _path[0]->end || InNodeTree(target)) {
                        PtGphUpdate();
                        PtC3(arrow, target);
                    }
                }
            } else if (_ptFlyPlc != nullptr) {
                if (_ptFlyPlc->_flag & PLC_REJECT)
                    PtC1(arrow, target);
                else if (_ptFlyPlc->_flag & PLC_DEADLOCK)
                    PtC2(arrow, target);
            }
        }
        if (tries)
            state->_count = 0;
        if (chainFollows) {
            uint32_t final = Eliminate(trn, graph, target);
            if (zelLine.pending)
                WriteZel(final);
        } else if (_ptSleep) {
            GphPush(graph, target, _ptSlpSet[3]);
        }
    }
    if (tries)
        buPlc->_count = buCount;
    engine::Unfire(trn);
}

int TrnLookStack(TRN* trn) {
    engine::Fire(trn);
    PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    GRAPH* graph = (_onTheFly & FLY_BUCHI) ? _graph[1] : _graph[0];
    uint32_t node = GphFndNode(graph, _engBuffer, nullptr);
    if (node == TULM_NONE && _ptSy && _plcSymmetries != nullptr && BalTrApply(_plcSymmetries, FndEquiv) != nullptr)
        node = ptEqNdAddr;
    if (node != TULM_NONE && (node == _path[0]->end || InNodeTree(node)))
        _ptRecurs = 0;
    engine::Unfire(trn);
    return 0;
}

int FndEquiv(RADIX* perm) {
    if (perm == nullptr)
        return 1;
    unsigned long places = _tblPlc->ptrCount;
    for (unsigned long i = places; i-- > 0;) {
        auto image = reinterpret_cast<uintptr_t>(RadixGet(perm, i));
        static_cast<PLC*>(RadixGet(_dupTblPlc, image))->_count = static_cast<PLC*>(RadixGet(_tblPlc, i))->_count;
    }
    PlcEncode(_dupTblPlc, &_engBuffer, &_engBfSize);
    ptEqNdAddr = GphFndNode(_graph[0], _engBuffer, &_back);
    return ptEqNdAddr != TULM_NONE ? 1 : 0;
}

namespace {
// A transition that would be fired: the first is kept in ptFirst, a second
// means branching and stops the walk.
int CountFired(TRN* trn, bool fired) {
    if (!fired)
        return 0;
    if (ptFirst == nullptr) {
        ptFirst = trn;
        return 0;
    }
    ptBranching = 1;
    return 1;
}
}  // namespace

int TrnHowBest(TRN* trn) {
    if (trn == nullptr)
        return 1;
    return CountFired(trn, (trn->_flag & TRN_ENABLED) && (trn->_ut._n._val == _ptBest ||
                                                          trn->_ut._n._val == _tblTrn[0]->ptrCount + 1));
}

int TrnHowDelCheck(TRN* trn) {
    if (trn == nullptr)
        return 1;
    return CountFired(trn, (trn->_flag & (TRN_ENABLED | TRN_DELETED)) == TRN_ENABLED);
}
