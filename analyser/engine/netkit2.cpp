// The net records' constructors, copies, discards and comparisons, and the
// tool tables through which lists, AVL sets and radix tables handle them.
// The union of a record is read as the one of the current reduction mode.
#include <cstring>

#include "alloc.h"
#include "fileaux.h"
#include "inst.h"
#include "plainnet.h"

namespace {

template <typename T>
T* New() {
    return static_cast<T*>(YarraColla(1, sizeof(T)));
}

LIST* CopyList(LIST* list, bool elements) { return list != nullptr ? LstCopy(list, elements ? TRUE : FALSE) : nullptr; }

void DestroyList(LIST* list, bool elements) {
    if (list != nullptr)
        LstDestroy(list, elements ? TRUE : FALSE);
}

int Order(unsigned long a, unsigned long b) { return a < b ? -1 : a > b ? 1 : 0; }

template <typename T, T* (*Copy)(T*)>
void* CopyTool(void* element) {
    return Copy(static_cast<T*>(element));
}
template <typename T, void (*Discard)(T*)>
void DiscardTool(void* element) {
    Discard(static_cast<T*>(element));
}
template <typename T, typename K, int (*Compare)(T*, K*)>
int CompareTool(void* element, const void* key) {
    return Compare(static_cast<T*>(element), static_cast<K*>(const_cast<void*>(key)));
}

}  // namespace

PLC* PlcCons(void) { return New<PLC>(); }

PLC* PlcCopy(PLC* plc) {
    PLC* copy = New<PLC>();
    copy->_count = plc->_count;
    copy->_flag = plc->_flag;
    copy->_key = plc->_key != nullptr ? DataCopy(plc->_key) : nullptr;
    if (plc->_flag & PLC_BUCHI) {
        copy->_lp._next = CopyList(plc->_lp._next, false);
    } else {
        copy->_lp._pureIn = CopyList(plc->_lp._pureIn, true);
        copy->_pureOut = CopyList(plc->_pureOut, true);
        copy->_neutral = CopyList(plc->_neutral, true);
        copy->_mostIn = CopyList(plc->_mostIn, true);
        copy->_mostOut = CopyList(plc->_mostOut, true);
    }
    if (_ptDelAlg)
        copy->_up._orPredAnd = CopyList(plc->_up._orPredAnd, false);
    else if (_ptSy)
        copy->_up._ind = plc->_up._ind;
    return copy;
}

void PlcDiscard(PLC* plc) {
    Deallocate(plc->_key);
    if (plc->_flag & PLC_BUCHI) {
        DestroyList(plc->_lp._next, false);
    } else {
        DestroyList(plc->_lp._pureIn, true);
        DestroyList(plc->_pureOut, true);
        DestroyList(plc->_neutral, true);
        DestroyList(plc->_mostIn, true);
        DestroyList(plc->_mostOut, true);
    }
    if (_ptDelAlg)
        DestroyList(plc->_up._orPredAnd, false);
    Deallocate(plc);
}

int PlcKeyCmp(PLC* plc, unsigned char* key) { return BTupComp(plc->_key, key); }

TRN* TrnCons(void) { return New<TRN>(); }

TRN* TrnCopy(TRN* trn) {
    TRN* copy = New<TRN>();
    copy->_key = trn->_key != nullptr ? DataCopy(trn->_key) : nullptr;
    copy->_number = trn->_number;
    copy->_flag = trn->_flag;
    if (trn->_block != nullptr) {
        std::size_t n = 0;
        while (trn->_block[n] != TULM_NONE)
            ++n;
        copy->_block = static_cast<unsigned*>(Etacolla((n + 1) * sizeof(unsigned)));
        std::memcpy(copy->_block, trn->_block, (n + 1) * sizeof(unsigned));
    }
    copy->_pureIn = CopyList(trn->_pureIn, true);
    copy->_pureOut = CopyList(trn->_pureOut, true);
    copy->_neutral = CopyList(trn->_neutral, true);
    copy->_mostIn = CopyList(trn->_mostIn, true);
    copy->_mostOut = CopyList(trn->_mostOut, true);
    if (_ptDelAlg) {
        copy->_ut._t._plcPredAO = CopyList(trn->_ut._t._plcPredAO, false);
        copy->_ut._t._orStrongPredAO = CopyList(trn->_ut._t._orStrongPredAO, false);
        copy->_ut._t._orWeakPredAO = CopyList(trn->_ut._t._orWeakPredAO, false);
        copy->_ut._t._nOrSucc = trn->_ut._t._nOrSucc;
        copy->_ut._t._dupNOrSucc = trn->_ut._t._dupNOrSucc;
        copy->_ut._t._binOr = trn->_ut._t._binOr;
    } else if (_ptStub) {
        copy->_ut._n = trn->_ut._n;
    } else {
        copy->_ut._higher = CopyList(trn->_ut._higher, false);
    }
    return copy;
}

void TrnDiscard(TRN* trn) {
    Deallocate(trn->_key);
    Deallocate(trn->_block);
    DestroyList(trn->_pureIn, true);
    DestroyList(trn->_pureOut, true);
    DestroyList(trn->_neutral, true);
    DestroyList(trn->_mostIn, true);
    DestroyList(trn->_mostOut, true);
    if (_ptDelAlg) {
        DestroyList(trn->_ut._t._plcPredAO, false);
        DestroyList(trn->_ut._t._orStrongPredAO, false);
        DestroyList(trn->_ut._t._orWeakPredAO, false);
    } else if (!_ptStub) {
        DestroyList(trn->_ut._higher, false);
    }
    Deallocate(trn);
}

int TrnKeyCmp(TRN* trn, unsigned char* key) { return InsComp(trn->_key, key); }

PLARC* PlArcCons(TRN* trn, unsigned long weight) {
    auto* arc = New<PLARC>();
    arc->_trn = trn;
    arc->_weight = weight;
    return arc;
}

PLDRC* PlDrcCons(TRN* trn, unsigned long in, unsigned long out) {
    auto* arc = New<PLDRC>();
    arc->_trn = trn;
    arc->_in = in;
    arc->_out = out;
    return arc;
}

TRARC* TrArcCons(PLC* plc, unsigned long weight) {
    auto* arc = New<TRARC>();
    arc->_plc = plc;
    arc->_weight = weight;
    return arc;
}

TRDRC* TrDrcCons(PLC* plc, unsigned long in, unsigned long out) {
    auto* arc = New<TRDRC>();
    arc->_plc = plc;
    arc->_in = in;
    arc->_out = out;
    return arc;
}

BINOR* BinOrCons(TRN* trn) {
    auto* link = New<BINOR>();
    link->_flag = 3;
    link->_trn = trn;
    return link;
}

PLARC* PlArcCopy(PLARC* arc) { return PlArcCons(arc->_trn, arc->_weight); }
PLDRC* PlDrcCopy(PLDRC* arc) { return PlDrcCons(arc->_trn, arc->_in, arc->_out); }
TRARC* TrArcCopy(TRARC* arc) { return TrArcCons(arc->_plc, arc->_weight); }
TRDRC* TrDrcCopy(TRDRC* arc) { return TrDrcCons(arc->_plc, arc->_in, arc->_out); }

BINOR* BinOrCopy(BINOR* link) {
    auto* copy = New<BINOR>();
    *copy = *link;
    return copy;
}

int PlArcCompare(PLARC* arc, PLARC* key) { return Order(arc->_weight, key->_weight); }
int TrArcCompare(TRARC* arc, TRARC* key) { return Order(arc->_weight, key->_weight); }

namespace {
template <typename Drc>
int DrcOrder(const Drc* arc, const Drc* key) {
    int c = Order(arc->_in, key->_in);
    return c != 0 ? c : Order(arc->_out, key->_out);
}
}  // namespace

int PlDrcCompare(PLDRC* arc, PLDRC* key) { return DrcOrder(arc, key); }
int TrDrcCompare(TRDRC* arc, TRDRC* key) { return DrcOrder(arc, key); }

const TOOLS plcTools = {CopyTool<PLC, PlcCopy>, DiscardTool<PLC, PlcDiscard>};
const TOOLS trnTools = {CopyTool<TRN, TrnCopy>, DiscardTool<TRN, TrnDiscard>};
const TOOLS plArcTools = {CopyTool<PLARC, PlArcCopy>, Deallocate};
const TOOLS plDrcTools = {CopyTool<PLDRC, PlDrcCopy>, Deallocate};
const TOOLS trArcTools = {CopyTool<TRARC, TrArcCopy>, Deallocate};
const TOOLS trDrcTools = {CopyTool<TRDRC, TrDrcCopy>, Deallocate};
const TOOLS binOrTools = {CopyTool<BINOR, BinOrCopy>, Deallocate};

const BALTOOLS plcBalTools = {CopyTool<PLC, PlcCopy>, DiscardTool<PLC, PlcDiscard>,
                              CompareTool<PLC, unsigned char, PlcKeyCmp>, nullptr};
const BALTOOLS trnBalTools = {CopyTool<TRN, TrnCopy>, DiscardTool<TRN, TrnDiscard>,
                              CompareTool<TRN, unsigned char, TrnKeyCmp>, nullptr};
const BALTOOLS plArcBalTools = {CopyTool<PLARC, PlArcCopy>, Deallocate, CompareTool<PLARC, PLARC, PlArcCompare>,
                                nullptr};
const BALTOOLS plDrcBalTools = {CopyTool<PLDRC, PlDrcCopy>, Deallocate, CompareTool<PLDRC, PLDRC, PlDrcCompare>,
                                nullptr};
const BALTOOLS trArcBalTools = {CopyTool<TRARC, TrArcCopy>, Deallocate, CompareTool<TRARC, TRARC, TrArcCompare>,
                                nullptr};
const BALTOOLS trDrcBalTools = {CopyTool<TRDRC, TrDrcCopy>, Deallocate, CompareTool<TRDRC, TRDRC, TrDrcCompare>,
                                nullptr};
