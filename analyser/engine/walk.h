// The walks over the transitions of the first class table: the resumable
// dependency closures of the incremental stubborn-set algorithm (the
// visitors in walker, the Tarjan walk in walker2, the visibility span in
// walker3), and the declarations of the deletion algorithm (its and/or
// graph in junction, the rest in plainnet2).
//
// No walk recurses on the call stack.  A walk is a driver (Drive below)
// plus a step for one transition.  The step either finishes the transition
// or stops to descend into another one: it leaves its resume point in the
// transition's _where (bits 3 and up: which visitor or stage, bits 0 to 2:
// which place list or link list it was in), the position in that list in
// _cursor, and the transition to descend into in ptTrn.  The driver links
// the child to its parent through _down and runs the child's step; when the
// child finishes, the parent's step is called again and resumes.  The list
// of the transition's own arcs keeps its cursor (_this) on the current arc:
// only the transition's own step walks it.
//
// A visitor is one step over one arc class of a transition c: through the
// places of those arcs it meets the transitions c depends on, descends into
// the first one not yet visited, and accounts for the others and for each
// child that returns.  The families differ in which arcs they follow, which
// place lists they read, what "visited" means and what accounting does.
#pragma once

#include <vector>

#include "inst.h"
#include "plainnet.h"

// ---- the incremental algorithm's globals (walker2, walker3, plainnet3) ----
extern unsigned long _ptNow;      // depth-first counter
extern unsigned long _ptSgCount;  // closed components so far
extern unsigned long _ptSzBest;   // enabled transitions in the best component (kNoSize: none)
extern unsigned long _ptCounter;  // countdown of the lazy mode
extern TRN* _ptKingTrn;           // an enabled invisible transition met by the walk
extern unsigned long ptV;         // countdown of the disabling-arc choice, then the value handed up
extern unsigned long ptSz;        // enabled transitions of the component being closed
extern TRN *ptVisible, *ptInvisible;

// The Tarjan walk's stack: the top is the last element.  Reused from state
// to state, so that a closure allocates nothing once it has grown.
extern std::vector<TRN*> ptList;

// The deletion algorithm's candidate filter and the candidate of the
// current trial (plainnet2).
extern int pt_visible;
extern TRN* ptDone;

// Visible blocks of the deletion algorithm: a null-terminated array of
// lists of TRN *, one colour letter per block, and whether they are used.
extern "C" {
extern int _blocked;
extern LIST** _visBlock;
extern char* _visColour;
}

// The resumable steps and walks (the names of the stubborn-set code).
int TrnStub(TRN* trn);
void TrnVisit(TRN* trn);
void TrnTivis(TRN* trn);
int TrnVisStub(TRN* trn);
void TrnSpan(TRN* trn);
void TrnNaps(TRN* trn);
int TrnAntiVisit(TRN* trn);
int TrnDsPrIn(TRN* trn);
int TrnDsNeutral(TRN* trn);
int TrnDsMsIn(TRN* trn);
int TrnDsMsOut(TRN* trn);
void TrnEnNeutral(TRN* trn);
void TrnEnMsOut(TRN* trn);
void TrnEnPrIn(TRN* trn);
void TrnEnMsIn(TRN* trn);
int TrnDvPrIn(TRN* trn);
int TrnDvNeutral(TRN* trn);
int TrnDvMsIn(TRN* trn);
int TrnDvMsOut(TRN* trn);
void TrnEvNeutral(TRN* trn);
void TrnEvMsOut(TRN* trn);
void TrnEvPrIn(TRN* trn);
void TrnEvMsIn(TRN* trn);
// The and/or graph (junction).
int TrnAndOr(TRN* trn);
void TrnOA(TRN* trn);
void TrnNdPrIn(TRN* trn);
void TrnNdMsIn(TRN* trn);
int TrnPreAO(TRN* trn);
int TrnAOClean(TRN* trn);
int TrnDupOr(TRN* trn);
// The deletion algorithm (plainnet2): the trial, undo and commit of a
// deletion, one deletion run, the run with visible blocks, the cycle check.
void TrnDry(TRN* trn);
void TrnCancel(TRN* trn);
void TrnSatWet(TRN* trn);
int TrnTryDel(TRN* trn);
void DelThem(unsigned long nInitial, unsigned long limCand, int vremCheck, int fromScratch, int tp_visible,
             int sCollected);
void Upsilon();
void PtRedDel(int sCollected);
// Frees the candidate tables and the trial's records.
void PtDeletionRelease();

namespace engine::walk {

// "None" of the countdowns and sizes.
constexpr unsigned long kNone = ~0UL;

// The four arc classes a walk follows, in the order of the resume points of
// a disabled transition.  Pure-output arcs are never followed.
enum ArcClass : unsigned { kPrIn = 0, kNeutral = 1, kMsIn = 2, kMsOut = 3 };

inline LIST* ArcsOf(const TRN* t, ArcClass k) {
    switch (k) {
    case kPrIn: return t->_pureIn;
    case kNeutral: return t->_neutral;
    case kMsIn: return t->_mostIn;
    default: return t->_mostOut;
    }
}
inline bool Has(const LIST* list) { return list != nullptr && list->_first != nullptr; }
inline bool SingleWeight(ArcClass k) { return k == kPrIn || k == kNeutral; }
inline PLC* PlaceOf(const void* arc, ArcClass k) {
    return SingleWeight(k) ? static_cast<const TRARC*>(arc)->_plc : static_cast<const TRDRC*>(arc)->_plc;
}
// Tokens the transition takes from the place, and puts back.
inline unsigned long Takes(const void* arc, ArcClass k) {
    return SingleWeight(k) ? static_cast<const TRARC*>(arc)->_weight : static_cast<const TRDRC*>(arc)->_in;
}
inline unsigned long PutsBack(const void* arc, ArcClass k) {
    switch (k) {
    case kPrIn: return 0;
    case kNeutral: return static_cast<const TRARC*>(arc)->_weight;
    default: return static_cast<const TRDRC*>(arc)->_out;
    }
}
// An arc whose place holds fewer tokens than the arc takes.
inline bool Disabling(const void* arc, ArcClass k) { return PlaceOf(arc, k)->_count < Takes(arc, k); }

// The place lists a walk reads, and which of their arcs it admits: all, the
// suppliers that can fire within the place's tokens (_out at most the
// count), or the readers and net gainers that the current transition's
// firing would disable (needing more than is left after it).
enum PlaceList : unsigned { kPlPureIn, kPlPureOut, kPlNeutral, kPlMostIn, kPlMostOut };
enum Admit : unsigned { kAll, kOutWithinCount, kWeightAboveRest, kOutAboveRest };
struct Sub {
    PlaceList list;
    Admit admit;
};

inline LIST* ListOf(const PLC* p, PlaceList l) {
    switch (l) {
    case kPlPureIn: return p->_lp._pureIn;
    case kPlPureOut: return p->_pureOut;
    case kPlNeutral: return p->_neutral;
    case kPlMostIn: return p->_mostIn;
    default: return p->_mostOut;
    }
}
inline TRN* TrnAt(const LISTNODE* cell, PlaceList l) {
    return l == kPlMostIn || l == kPlMostOut ? static_cast<const PLDRC*>(cell->_node)->_trn
                                             : static_cast<const PLARC*>(cell->_node)->_trn;
}
inline bool Admitted(const LISTNODE* cell, Admit admit, unsigned long limit) {
    switch (admit) {
    case kAll: return true;
    case kOutWithinCount: return static_cast<const PLDRC*>(cell->_node)->_out <= limit;
    case kWeightAboveRest: return static_cast<const PLARC*>(cell->_node)->_weight > limit;
    default: return static_cast<const PLDRC*>(cell->_node)->_out > limit;
    }
}

// The place lists in the order of their sub-points (sub-point = index + 1).
struct Subs {
    const Sub* sub;
    unsigned count;
};
// The transitions that can add tokens to a place.
inline constexpr Sub kSupplierList[] = {{kPlPureIn, kAll}, {kPlMostIn, kOutWithinCount}};
inline constexpr Subs kSuppliers = {kSupplierList, 2};
// For an enabled transition's test and net-gain arcs: the transitions that
// can take tokens from the place.
inline constexpr Sub kTakerList[] = {{kPlPureOut, kAll}, {kPlMostOut, kAll}};
inline constexpr Subs kTakers = {kTakerList, 2};
// For an enabled transition's net-loss arcs: the takers, and the readers
// and net gainers its firing would disable.
inline constexpr Sub kConflictList[] = {
    {kPlPureOut, kAll}, {kPlMostOut, kAll}, {kPlNeutral, kWeightAboveRest}, {kPlMostIn, kOutAboveRest}};
inline constexpr Subs kConflicts = {kConflictList, 4};
// Every transition with an input arc from the place.
inline constexpr Sub kInputList[] = {{kPlPureOut, kAll}, {kPlNeutral, kAll}, {kPlMostIn, kAll}, {kPlMostOut, kAll}};
inline constexpr Subs kInputs = {kInputList, 4};

// Which arcs of the class a visitor follows: the chosen disabling arc only
// (the countdown ptV over the disabling arcs of all classes picks it),
// every arc, or every disabling arc.
enum Arcs { kChosen, kEvery, kEveryDisabling };

// Walks the place lists of the arc's place p from sub-list `from`, after the
// cell `after` (null: from the first cell).  Returns true when it stopped to
// descend.
template <class F>
bool WalkPlace(TRN* c, PLC* p, Subs subs, unsigned from, const LISTNODE* after, unsigned long rest) {
    for (unsigned s = from; s < subs.count; ++s) {
        const Sub& sub = subs.sub[s];
        LIST* list = ListOf(p, sub.list);
        const LISTNODE* cell = s == from && after != nullptr ? after->_next : list != nullptr ? list->_first : nullptr;
        unsigned long limit = sub.admit == kOutWithinCount ? p->_count : rest;
        for (; cell != nullptr; cell = cell->_next) {
            if (!Admitted(cell, sub.admit, limit))
                continue;
            TRN* u = TrnAt(cell, sub.list);
            if (F::Skip(c, u))
                continue;
            if (!F::Visited(u)) {
                c->_cursor = const_cast<LISTNODE*>(cell);
                c->_where = s + 1;
                ptTrn = u;
                return true;
            }
            F::Met(c, u, p);
        }
    }
    return false;
}

// Per arc before its place is walked: true to walk it.  The or-visitors
// link a place's suppliers once per graph and only note the transition at a
// place met before.
template <class F, Arcs A>
bool Select(TRN* c, const void* arc, ArcClass k) {
    if constexpr (A == kEvery) {
        (void) c, (void) arc, (void) k;
        return true;
    } else if constexpr (A == kChosen) {
        (void) c;
        return Disabling(arc, k) && --ptV == kNone;
    } else {
        return Disabling(arc, k) && F::Enter(c, PlaceOf(arc, k));
    }
}

// One visitor of family F over arc class k of c.  For the chosen-arc
// visitors the result is 1 when this class held the chosen arc (whether it
// descended or finished), else 0; the others return 0.
template <class F, Arcs A>
int Visitor(TRN* c, ArcClass k, Subs subs) {
    LIST* arcs = ArcsOf(c, k);
    const unsigned held = A == kChosen ? 1 : 0;
    unsigned sub = c->_where & 7u;
    if (sub != 0) {
        // Resuming after a descent: account for the child, go on behind it.
        c->_where = 0;
        if (F::Stopped())
            return static_cast<int>(held);
        const void* arc = arcs->_this->_node;
        PLC* p = PlaceOf(arc, k);
        const auto* cell = static_cast<const LISTNODE*>(c->_cursor);
        F::Returned(c, TrnAt(cell, subs.sub[sub - 1].list), p);
        if (WalkPlace<F>(c, p, subs, sub - 1, cell, p->_count - Takes(arc, k) + PutsBack(arc, k)))
            return static_cast<int>(held);
        if (A == kChosen)
            return 1;
        arcs->_this = arcs->_this->_next;
    } else {
        arcs->_this = arcs->_first;
    }
    for (; arcs->_this != nullptr; arcs->_this = arcs->_this->_next) {
        const void* arc = arcs->_this->_node;
        if (!Select<F, A>(c, arc, k))
            continue;
        PLC* p = PlaceOf(arc, k);
        if (WalkPlace<F>(c, p, subs, 0, nullptr, p->_count - Takes(arc, k) + PutsBack(arc, k)))
            return static_cast<int>(held);
        if (A == kChosen)
            return 1;
    }
    return 0;
}

// The driver of every walk: runs Step on t, descends while a step leaves
// its _where set, and returns to the parent when a step finishes.  With a
// Stop test, a walk that meets it unwinds the chain of parents (clearing
// their _down and _where) and ends.
template <void (*Step)(TRN*), bool (*Stop)() = nullptr>
void Drive(TRN* t) {
    TRN* c = t;
    for (;;) {
        Step(c);
        if (c->_where != 0) {
            ptTrn->_down = c;
            c = ptTrn;
            continue;
        }
        if constexpr (Stop != nullptr) {
            if (Stop()) {
                for (TRN* a = c; a != nullptr;) {
                    TRN* below = a->_down;
                    a->_down = nullptr;
                    a->_where = 0;
                    a = below;
                }
                return;
            }
        }
        TRN* parent = c->_down;
        if (parent == nullptr)
            return;
        c->_down = nullptr;
        c = parent;
    }
}

// The visit marks of the incremental algorithm.
inline unsigned long& Val(TRN* t) { return t->_ut._n._val; }
inline unsigned long& Min(TRN* t) { return t->_ut._n._min; }
// The value that marks the transitions of a visibility span: above every
// depth-first number, below every component identifier.
inline unsigned long SpanMark() { return _tblTrn[0]->ptrCount + 1; }

// The early stop of the closure: nothing smaller than one enabled
// transition exists, or the lazy mode has its first acceptable component.
inline bool ClosureDone() { return _ptSzBest == 1 || (_ptLazy && _ptBest != 0); }

// The Tarjan walk (Ds, En): a transition is visited once it has a mark;
// what it hands up (its mark, or a finished child's result in ptV) lowers
// the lowlink, and its reach mark passes on.
struct Tarjan {
    static bool Skip(const TRN*, const TRN*) { return false; }
    static bool Visited(TRN* u) { return Val(u) != 0; }
    static void Met(TRN* c, TRN* u, PLC*) {
        ptV = Val(u);
        Returned(c, u, nullptr);
    }
    static void Returned(TRN* c, TRN* u, PLC*) {
        if (ptV < Min(c))
            Min(c) = ptV;
        c->_flag |= u->_flag & TRN_DELETED;
    }
    static bool Stopped() { return ClosureDone(); }
};

// The visibility span (Dv, Ev): plain reachability, nothing accounted.
struct Span {
    static bool Skip(const TRN*, const TRN*) { return false; }
    static bool Visited(TRN* u) { return Val(u) != 0; }
    static void Met(TRN*, TRN*, PLC*) {}
    static void Returned(TRN*, TRN*, PLC*) {}
    static bool Stopped() { return false; }
};

// The visitors of a walk step: for a disabled transition by class (resume
// points 1 to 4), for an enabled one in the order neutral, mostly output,
// pure input, mostly input (resume points 5 to 8).
struct Visitors {
    int (*disabled[4])(TRN*);
    void (*enabled[4])(TRN*);
};
inline constexpr ArcClass kEnabledOrder[4] = {kNeutral, kMsOut, kPrIn, kMsIn};

// How the classes of a step ended.
enum ClassesEnd { kClassesDone, kDescends, kStoppedEarly };

// The number of disabling arcs of a transition over the four classes.
unsigned long DisablingArcs(const TRN* t);
// The countdown that picks the disabling arc: 0, or a random one of them.
void ChooseDisablingArc(const TRN* t);

// Runs (or resumes) the visitors of c's classes.  A disabled c follows its
// chosen disabling arc only: the first class that held it decides.  With
// kStops the closure's early stop ends the step after any visitor.
template <bool kStops>
ClassesEnd RunClasses(TRN* c, const Visitors& v) {
    unsigned point = c->_where >> 3;
    c->_where &= 7u;
    if (!(c->_flag & TRN_ENABLED)) {
        if (point == 0)
            ChooseDisablingArc(c);
        for (unsigned k = point != 0 ? point - 1 : 0; k < 4; ++k) {
            if (k + 1 != point && !Has(ArcsOf(c, static_cast<ArcClass>(k))))
                continue;
            if (v.disabled[k](c) == 0)
                continue;
            if (c->_where != 0) {
                c->_where |= (k + 1) << 3;
                return kDescends;
            }
            break;
        }
        return kStops && ClosureDone() ? kStoppedEarly : kClassesDone;
    }
    for (unsigned i = point != 0 ? point - 5 : 0; i < 4; ++i) {
        if (i + 5 != point && !Has(ArcsOf(c, kEnabledOrder[i])))
            continue;
        v.enabled[i](c);
        if (c->_where != 0) {
            c->_where |= (i + 5) << 3;
            return kDescends;
        }
        if (kStops && ClosureDone())
            return kStoppedEarly;
    }
    return kClassesDone;
}

}  // namespace engine::walk
