// The incremental stubborn-set algorithm (PtIncrementalAlg, with the cycle
// check of the CFFD mode PtRedInc) and the searches that check a property
// while the graph is generated (PtOnTheFly, PtProCFFD, the infinite-path
// search PtInfinite/PtInside and the Buchi search PtBuchi/PtInner/PtActual).
#include <cstdio>
#include <string>
#include <vector>

#include "alloc.h"
#include "encode.h"
#include "internal.h"
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

// ---- the searches ----

namespace {

bool HasStep(const PATH* path) { return path->steps != nullptr && !LstEmpty(path->steps); }

STEP* Newest(const PATH* path) { return static_cast<STEP*>(path->steps->_first->_node); }

bool Unexpanded(GRAPH* graph, unsigned long node) { return GphAwCount(graph, node) == TULM_NONE; }

// Whether the arrow of a step has a successor among its world's arrows:
// chained arrows run from the last stored down to ordinal 0, stored ones
// follow each other up to the count.
bool HasNextArrow(GRAPH* graph, const STEP* step) {
    uint32_t ordinal = GphAwOrdinal(graph, step->awAddr);
    if (_freeExpansion)
        return ordinal != 0;
    return ordinal + 1UL < GphAwCount(graph, step->world);
}

// Moves the newest step to its world's next arrow (the path's end follows).
void MoveToNext(GRAPH* graph, PATH* path) {
    STEP* step = Newest(path);
    unsigned long aw = step->awAddr;
    unsigned long succ = 0;
    GphFlNext(graph, &aw, &succ);
    step->awAddr = aw;
    path->end = succ;
}

// _awCount, _awFirst and _ndFirst of a node expanded before.
void LoadArrows(GRAPH* graph, unsigned long node) {
    _awCount = GphAwCount(graph, node);
    _awFirst = TULM_NONE;
    _ndFirst = TULM_NONE;
    if (_awCount != 0 && _awCount != TULM_NONE) {
        unsigned long aw = 0, succ = 0;
        GphFlFirst(graph, node, &aw, &succ);
        _awFirst = static_cast<uint32_t>(aw);
        _ndFirst = static_cast<uint32_t>(succ);
    }
}

// Calls f(arrow, target) for every arrow of an expanded node.
template <typename F>
void EachArrow(GRAPH* graph, unsigned long node, F f) {
    uint32_t count = GphAwCount(graph, node);
    if (count == 0 || count == TULM_NONE)
        return;
    unsigned long aw = 0, succ = 0;
    GphFlFirst(graph, node, &aw, &succ);
    for (uint32_t k = 0;; ++k) {
        f(aw, succ);
        if (_freeExpansion ? GphAwOrdinal(graph, aw) == 0 : k + 1 >= count)
            return;
        GphFlNext(graph, &aw, &succ);
    }
}

void BeginExpansion() {
    _awCount = 0;
    _awFirst = TULM_NONE;
    _ndFirst = TULM_NONE;
}

// ---- the node tree: exactly the nodes on _path[0], root included ----

// Per step of _path[0]: whether its target went into the tree with it (a
// target that is a node of the path already stays there for that node).
std::vector<char> owned;

bool TreeInsert(unsigned long node) {
    if (_nodeTree == nullptr)
        _nodeTree = BalTrCreate(&lngBalTools);
    unsigned long* element = LngCons(node);
    if (BalTrInsert(_nodeTree, element, &node, TRUE) == nullptr)
        return true;
    Deallocate(element);
    return false;
}

void TreeErase(unsigned long node) {
    if (_nodeTree != nullptr)
        BalTrDelete(_nodeTree, nullptr, &node, TRUE);
}

bool InTree(unsigned long node) { return _nodeTree != nullptr && BalTrElement(_nodeTree, &node) != nullptr; }

// A new search on _path[0] from its end: the tree holds the root alone.
void StartTree() {
    if (_nodeTree != nullptr)
        BalTrDestroy(_nodeTree, TRUE);
    _nodeTree = BalTrCreate(&lngBalTools);
    TreeInsert(_path[0]->end);
    owned.clear();
}

void EndTree() {
    if (_nodeTree != nullptr)
        BalTrDestroy(_nodeTree, TRUE);
    _nodeTree = BalTrCreate(&lngBalTools);
    owned.clear();
}

void Push0(unsigned long aw, unsigned long node) {
    PthInsLast(_path[0], aw, node);
    owned.push_back(TreeInsert(node) ? 1 : 0);
}

// The next arrow of _path[0]'s newest step, backtracking as long as there
// is none; false once the path has no step left.
bool Advance0(GRAPH* graph) {
    PATH* path = _path[0];
    while (HasStep(path)) {
        if (HasNextArrow(graph, Newest(path))) {
            if (owned.back())
                TreeErase(path->end);
            MoveToNext(graph, path);
            owned.back() = TreeInsert(path->end) ? 1 : 0;
            return true;
        }
        if (owned.back())
            TreeErase(path->end);
        owned.pop_back();
        PthDelLast(path);
    }
    return false;
}

// The next arrow of a nested search's newest step, or one step back; the
// search does not go below `floor` steps.  False when it is at its floor
// with no next arrow.
bool Advance(GRAPH* graph, PATH* path, std::size_t* depth, std::size_t floor) {
    while (*depth > floor) {
        if (HasNextArrow(graph, Newest(path))) {
            MoveToNext(graph, path);
            return true;
        }
        PthDelLast(path);
        --*depth;
    }
    return false;
}

bool InfiniteState() { return _ptFlyPlc != nullptr && (_ptFlyPlc->_flag & PLC_INFINITE); }

// The on-the-fly search runs from every node of the nested searches under
// CFFD and when the tester has livelock states.
bool WithOnTheFly() { return _ptCFFD || (_onTheFly & FLY_LIVELOCK); }

void OnTheFlyFrom(unsigned long node) {
    PthDracsid(_path[0]);
    _path[0] = PthCreate(node);
    PlcDecode(GphNode(_graph[0], node));
    PtOnTheFly();
}

// The depth-first search of the CFFD-preserving reduction in a graph:
// nodes reached over hot arrows are expanded while the reduction's cycle
// check asks to look further.
void CffdSearch(GRAPH* graph) {
    PATH* path = _path[0];
    _path[3] = path;
    StartTree();
    for (;;) {
        bool expand = !HasStep(path) ||
                      (Unexpanded(graph, path->end) && GphAwHot(graph, Newest(path)->awAddr));
        if (expand) {
            if (HasStep(path))
                PlcDecode(GphNode(graph, path->end));
            BeginExpansion();
            FndEnbl();
            if (_ptECnt >= 2 && _ptInvisCnt >= 1) {
                _ptRecurs = 0;
                engine::ExpandEnabled(true);
                if (_ptRecurs && _awCount != 0) {
                    Push0(_awFirst, _ndFirst);
                    continue;
                }
            } else {
                engine::ExpandEnabled(false);
            }
        }
        if (!Advance0(graph))
            break;
    }
    EndTree();
}

}  // namespace

void PtOnTheFly(void) {
    GRAPH* graph = _graph[0];
    PATH* path = _path[0];
    _path[3] = path;
    _onTheFly &= ~FLY_INNER;
    if (LivelockPlace())
        _onTheFly |= FLY_LLCHECK;
    else
        _onTheFly &= ~FLY_LLCHECK;
    const bool monitor = (_onTheFly & FLY_INFINITE) != 0;
    const bool llcheck = (_onTheFly & FLY_LLCHECK) != 0;
    StartTree();
    for (;;) {
        unsigned long end = path->end;
        if (HasStep(path)) {
            bool pass = monitor ? !GphFresh(graph, end, 1) : !Unexpanded(graph, end);
            if (!pass) {
                unsigned long aw = Newest(path)->awAddr;
                pass = _ptCFFD && !llcheck ? !GphAwHot(graph, aw) : !GphAwInvisible(graph, aw);
            }
            if (pass) {
                if (!Advance0(graph))
                    break;
                continue;
            }
        }
        bool expanded = false;
        if (monitor) {
            GphConsume(graph, end, 1);
            if (!Unexpanded(graph, end)) {
                LoadArrows(graph, end);
                if (llcheck)
                    EachArrow(graph, end, [&](unsigned long aw, unsigned long target) {
                        if (GphAwInvisible(graph, aw) && (target == end || InTree(target)))
                            PtC3(aw, target);
                    });
                expanded = true;
                _ptRecurs = 0;
            }
        }
        if (!expanded) {
            if (HasStep(path))
                PlcDecode(GphNode(graph, end));
            BeginExpansion();
            FndEnbl();
            bool reduce = _ptCFFD ? _ptECnt >= 2 && _ptInvisCnt >= 1 : _ptECnt > 1 && _ptStub;
            engine::ExpandEnabled(reduce);
        }
        if (_awCount != 0 && (llcheck || (_ptCFFD && _ptRecurs))) {
            Push0(_awFirst, _ndFirst);
            continue;
        }
        if (!Advance0(graph))
            break;
    }
    EndTree();
}

void PtProCFFD(void) { CffdSearch(_graph[0]); }

PATH* PtInfinite(void) {
    GRAPH* graph = _graph[0];
    PATH* outer = _path[1];
    _path[3] = outer;
    _onTheFly &= ~(FLY_LLCHECK | FLY_INNER);
    unsigned long end = outer->end;
    if (GphFresh(graph, end, 2)) {
        GphConsume(graph, end, 2);
        if (WithOnTheFly() && GphFresh(graph, end, 1)) {
            OnTheFlyFrom(end);
            _path[3] = outer;
            _onTheFly &= ~FLY_LLCHECK;
        }
        if (Unexpanded(graph, end)) {
            PlcDecode(GphNode(graph, end));
            BeginExpansion();
            FndEnbl();
            engine::ExpandEnabled(_ptECnt >= 2 && _ptStub);
        } else {
            LoadArrows(graph, end);
        }
        if (_awCount != 0) {
            PthInsLast(outer, _awFirst, _ndFirst);
            return outer;
        }
        if (!HasStep(outer)) {
            outer->end = TULM_NONE;
            return outer;
        }
    } else {
        _onTheFly |= FLY_INNER;
        PtInside();
        _onTheFly &= ~FLY_INNER;
        _path[3] = outer;
    }
    if (HasNextArrow(graph, Newest(outer))) {
        MoveToNext(graph, outer);
    } else {
        PthDelLast(outer);
        if (!HasStep(outer))
            outer->end = TULM_NONE;
    }
    return outer;
}

void PtInside(void) {
    GRAPH* graph = _graph[0];
    PATH* outer = _path[1];
    PATH* inner = _path[2];
    _path[3] = inner;
    if (!HasStep(outer))
        return;
    const STEP last = *Newest(outer);
    const unsigned long seed = last.world;
    PlcDecode(GphNode(graph, seed));
    if (!InfiniteState() || GphAwInvisible(graph, last.awAddr))
        return;
    while (HasStep(inner))
        PthDelLast(inner);
    inner->end = seed;
    if (outer->end == seed)
        PtC4(last.awAddr, seed);
    PthInsLast(inner, last.awAddr, outer->end);
    std::size_t depth = 1;
    for (;;) {
        unsigned long end = inner->end;
        if (GphFresh(graph, end, 4)) {
            GphConsume(graph, end, 4);
            if (WithOnTheFly() && GphFresh(graph, end, 1)) {
                OnTheFlyFrom(end);
                _path[3] = inner;
                _onTheFly = (_onTheFly & ~FLY_LLCHECK) | FLY_INNER;
            }
            if (Unexpanded(graph, end)) {
                PlcDecode(GphNode(graph, end));
                BeginExpansion();
                FndEnbl();
                engine::ExpandEnabled(_ptECnt >= 2 && _ptStub);
            } else {
                LoadArrows(graph, end);
            }
            // An arrow back into the seed closes the cycle (a new
            // expansion has reported those already).
            EachArrow(graph, end, [&](unsigned long aw, unsigned long target) {
                if (target == seed)
                    PtC4(aw, target);
            });
            if (_awCount != 0) {
                PthInsLast(inner, _awFirst, _ndFirst);
                ++depth;
                continue;
            }
        }
        if (!Advance(graph, inner, &depth, 1))
            break;
    }
    while (HasStep(inner))
        PthDelLast(inner);
}

namespace {

// Expands a node of the product that has not been expanded: from the
// second graph with stubborn sets, else by every enabled transition tried
// with each successor state of the automaton.
void ExpandProduct(GRAPH* graph, unsigned long node) {
    if (_ptStub) {
        PtActual();
        return;
    }
    PlcDecode(GphNode(graph, node));
    buPlc = _ptFlyPlc;
    BeginExpansion();
    FndEnbl();
    engine::ExpandEnabled(false);
}

}  // namespace

PATH* PtBuchi(void) {
    GRAPH* graph = _graph[0];
    PATH* outer = _path[1];
    _path[3] = outer;
    _onTheFly &= ~(FLY_LLCHECK | FLY_INNER);
    unsigned long end = outer->end;
    if (GphFresh(graph, end, 2)) {
        GphConsume(graph, end, 2);
        if (Unexpanded(graph, end)) {
            // The start node fires the initialisation transitions into the
            // product itself.
            if (_ptStub && end != GphStart(graph)) {
                PtActual();
            } else {
                int stub = _ptStub;
                _ptStub = 0;
                PlcDecode(GphNode(graph, end));
                buPlc = _ptFlyPlc;
                BeginExpansion();
                FndEnbl();
                engine::ExpandEnabled(false);
                _ptStub = stub;
            }
        }
        LoadArrows(graph, end);
        if (_awCount != 0) {
            PthInsLast(outer, _awFirst, _ndFirst);
            if (GphFresh(graph, outer->end, 2))
                return outer;
        }
    }
    for (;;) {
        _onTheFly |= FLY_INNER;
        PtInner();
        _onTheFly &= ~FLY_INNER;
        _path[3] = outer;
        if (!HasStep(outer)) {
            outer->end = TULM_NONE;
            return outer;
        }
        if (!HasNextArrow(graph, Newest(outer))) {
            PthDelLast(outer);
            return outer;
        }
        MoveToNext(graph, outer);
        if (GphFresh(graph, outer->end, 2))
            return outer;
    }
}

void PtInner(void) {
    GRAPH* graph = _graph[0];
    PATH* inner = _path[2];
    const unsigned long seed = _path[1]->end;
    _path[3] = inner;
    PlcDecode(GphNode(graph, seed));
    if (!InfiniteState())
        return;
    while (HasStep(inner))
        PthDelLast(inner);
    inner->end = seed;
    std::size_t depth = 0;
    bool atSeed = true;
    for (;;) {
        unsigned long end = inner->end;
        bool fresh = GphFresh(graph, end, 4);
        if (fresh || atSeed) {
            if (fresh)
                GphConsume(graph, end, 4);
            if (Unexpanded(graph, end)) {
                ExpandProduct(graph, end);
                _path[3] = inner;
                if (Unexpanded(graph, end))
                    engine::Fail("\nInternal error in PtInner\n");
            }
            LoadArrows(graph, end);
            EachArrow(graph, end, [&](unsigned long aw, unsigned long target) {
                if (target == seed)
                    PtC4(aw, target);
            });
            atSeed = false;
            if (_awCount != 0) {
                PthInsLast(inner, _awFirst, _ndFirst);
                ++depth;
                continue;
            }
        }
        if (!Advance(graph, inner, &depth, 0))
            break;
    }
}

void PtActual(void) {
    GRAPH* product = _graph[0];
    GRAPH* second = _graph[1];
    PATH* here = _path[3];
    const unsigned long node = here->end;
    PlcDecode(GphNode(product, node));
    buPlc = _ptFlyPlc;
    if (buPlc == nullptr || !(buPlc->_flag & PLC_BUCHI))
        engine::Fail("\nInternal error in PtActual\n");
    buPlc->_count = 0;
    unsigned length = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
    (void) length;
    unsigned long own = GphFndNode(second, _engBuffer, nullptr);
    if (own == TULM_NONE)
        engine::Fail("\nInternal error in PtActual\n");
    PthDracsid(_path[0]);
    _path[0] = PthCreate(own);
    if (Unexpanded(second, own)) {
        CffdSearch(second);
        _path[3] = here;
    }
    if (GphAwCount(second, own) == 0 || Unexpanded(second, own))
        engine::Fail("\nInternal error in PtActual\n");
    PLC* state = buPlc;
    BeginExpansion();
    // The arrows of the node in the second graph, each label copied (the
    // graph's buffer is reused by the lookups below).
    struct Out {
        unsigned long target;
        bool invisible;
        std::string label;
    };
    std::vector<Out> outs;
    ptM = GphAwCount(second, own);
    EachArrow(second, own, [&](unsigned long aw, unsigned long target) {
        const unsigned char* label = GphArrow(second, aw);
        outs.push_back({target, GphAwInvisible(second, aw) != 0, reinterpret_cast<const char*>(label)});
    });
    for (const Out& out : outs) {
        unsigned long zelLabel = 0;
        if (_zel && !out.invisible) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(out.label.c_str());
            unsigned long value = NumGet(&p);
            // With symmetries a label is twice the number (plus one for an
            // image).
            zelLabel = (_ptSy ? value >> 1 : value) + 1;
        }
        for (LISTNODE* cell = state->_lp._next->_first; cell != nullptr; cell = cell->_next) {
            PlcDecode(GphNode(second, out.target));
            auto* next = static_cast<PLC*>(cell->_node);
            next->_count = 1;
            _evalState = PtState();
            BOOL ok = (*_buchiOK)();
            StaDiscard(_evalState);
            _evalState = nullptr;
            if (ok) {
                unsigned len = PlcEncode(_tblPlc, &_engBuffer, &_engBfSize);
                uint32_t target = GphPutNode(product, _engBuffer, len, &_back);
                std::string label = out.label;
                uint32_t arrow = GphPutArrow(product, reinterpret_cast<unsigned char*>(&label[0]), label.size(),
                                             _awCount, node, target, _awFirst, _back, out.invisible ? 1 : 0);
                if (_awCount == 0 || _freeExpansion) {
                    _awFirst = arrow;
                    _ndFirst = target;
                }
                ++_awCount;
                if (_zel)
                    std::fprintf(_zelArcFile, "%lu %lu %lu\n", static_cast<unsigned long>(GphOrdinal(product, node)),
                                 static_cast<unsigned long>(GphOrdinal(product, target)), zelLabel);
            }
            next->_count = 0;
        }
    }
    int stub = _ptStub;
    _ptStub = 0;
    PtGphUpdate();
    _ptStub = stub;
    PlcDecode(GphNode(product, node));
}

void PtReleaseReductions(void) {
    owned.clear();
    owned.shrink_to_fit();
    ptList.clear();
    ptList.shrink_to_fit();
    SymmRelease();
    PtDeletionRelease();
}
