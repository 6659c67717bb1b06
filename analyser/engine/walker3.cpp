// The visibility span (TrnVisStub, TrnSpan, TrnNaps) and its visitors
// (Dv, Ev).
//
// The visibility span is plain reachability over the dependencies of the
// Tarjan walk; it marks its transitions with the span mark and notes an
// enabled invisible one as _ptKingTrn.

#include "walk.h"

using namespace engine::walk;

namespace {
const Visitors kSpanVisitors = {{TrnDvPrIn, TrnDvNeutral, TrnDvMsIn, TrnDvMsOut},
                                {TrnEvNeutral, TrnEvMsOut, TrnEvPrIn, TrnEvMsIn}};
}  // namespace

int TrnVisStub(TRN* trn) {
    if (trn == nullptr)
        return 1;
    if (Val(trn) == 0 && (trn->_flag & TRN_VISIBLE))
        TrnSpan(trn);
    return 0;
}

void TrnSpan(TRN* trn) { Drive<TrnNaps>(trn); }

void TrnNaps(TRN* trn) {
    if ((trn->_where >> 3) == 0) {
        Val(trn) = SpanMark();
        if ((trn->_flag & (TRN_ENABLED | TRN_VISIBLE)) == TRN_ENABLED)
            _ptKingTrn = trn;
    }
    RunClasses<false>(trn, kSpanVisitors);
}

int TrnDvPrIn(TRN* trn) { return Visitor<Span, kChosen>(trn, kPrIn, kSuppliers); }
int TrnDvNeutral(TRN* trn) { return Visitor<Span, kChosen>(trn, kNeutral, kSuppliers); }
int TrnDvMsIn(TRN* trn) { return Visitor<Span, kChosen>(trn, kMsIn, kSuppliers); }
int TrnDvMsOut(TRN* trn) { return Visitor<Span, kChosen>(trn, kMsOut, kSuppliers); }
void TrnEvNeutral(TRN* trn) { Visitor<Span, kEvery>(trn, kNeutral, kTakers); }
void TrnEvMsOut(TRN* trn) { Visitor<Span, kEvery>(trn, kMsOut, kTakers); }
void TrnEvPrIn(TRN* trn) { Visitor<Span, kEvery>(trn, kPrIn, kConflicts); }
void TrnEvMsIn(TRN* trn) { Visitor<Span, kEvery>(trn, kMsIn, kConflicts); }
