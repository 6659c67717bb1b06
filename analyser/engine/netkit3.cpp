// Net initialisation and the marking encoding: the initial marking, tester
// and Buchi sections of the table file, the arcs that the instance code
// adds, the numbered tables, and the node contents of a marking.
//
// Node contents: for every place slot in index order whose count is not 0,
// the number code of the slot and, when the count is not 1, the byte 130
// and the code of count - 2; then one 0 byte.  No other byte is 0, so the
// contents are a C string.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "alloc.h"
#include "encode.h"
#include "fileaux.h"
#include "inst.h"
#include "internal.h"
#include "invoc.h"
#include "plainnet.h"

TRN* _lowTrn = nullptr;
unsigned _hiClass = 0;

namespace {

// The table file from the initial-marking section on.  Every record and
// number is checked against what is left.
class DatReader {
public:
    explicit DatReader(BINARYFILE file) : file_(file) {}

    [[noreturn]] static void Malformed(const char* what) { engine::Fail("\nPtInit: malformed table file: %s\n", what); }

    uint32_t Word() {
        unsigned char bytes[4];
        ReadBytes(bytes, 4, file_);
        return engine::GetWord(bytes);
    }

    // The next record, NUL-terminated in record_.
    void Record(uint32_t length) {
        record_.assign(static_cast<std::size_t>(length) + 1, 0);
        ReadBytes(record_.data(), length, file_);
        p_ = record_.data();
        end_ = p_ + length;
    }

    uint32_t Num(const char* what) {
        uint32_t value = 0;
        if (!NumScan(&p_, end_, &value))
            Malformed(what);
        return value;
    }
    bool Marker(unsigned char marker) {
        if (p_ == end_ || *p_ != marker)
            return false;
        ++p_;
        return true;
    }
    void End(const char* what) const {
        if (p_ != end_)
            Malformed(what);
    }
    std::size_t Offset() const { return static_cast<std::size_t>(p_ - record_.data()); }
    unsigned char* Data() { return record_.data(); }

private:
    BINARYFILE file_;
    std::vector<unsigned char> record_;
    const unsigned char* p_ = nullptr;
    const unsigned char* end_ = nullptr;
};

// The place instance of the tester place with one value.
PLC* TesterPlace(TUPLE* tuple, DOMAIN value) {
    tuple->_array[0] = value;
    TupEncode(static_cast<int>(_monPlInd), tuple, &_engBuffer, &_engBfSize);
    return GetPlc(_engBuffer);
}

void ReadMarking(DatReader& in) {
    for (;;) {
        uint32_t length = in.Word();
        if (length == TULM_NONE)
            return;
        in.Record(length);
        uint32_t place = in.Num("place index");
        if (place >= _magNofPlaces)
            DatReader::Malformed("place index");
        uint32_t arity = in.Marker(NUM_ARITY) ? in.Num("arity") : _magProfile[place];
        std::size_t keyEnd;
        unsigned long count = 1;
        if (arity == 0) {
            // The count follows the place; the key ends before it, so that
            // it names the instance the arcs name.
            keyEnd = in.Offset();
            count = in.Num("count") + 1UL;
        } else {
            for (uint32_t i = 0; i < arity; ++i)
                in.Num("field value");
            keyEnd = in.Offset();
            if (in.Marker(NUM_COUNT))
                count = in.Num("count") + 2UL;
        }
        in.End("initial marking record");
        if (count > UINT32_MAX)
            DatReader::Malformed("count");
        in.Data()[keyEnd] = 0;
        GetPlc(in.Data())->_count = count;
    }
}

void ReadTester(DatReader& in, TUPLE* tuple) {
    static const struct {
        unsigned condition, flag, fly;
    } kConditions[] = {{1, PLC_REJECT, FLY_REJECT},
                       {2, PLC_DEADLOCK, FLY_DEADLOCK},
                       {4, PLC_LIVELOCK, FLY_LIVELOCK},
                       {8, PLC_INFINITE, FLY_INFINITE}};
    for (;;) {
        uint32_t length = in.Word();
        if (length == TULM_NONE)
            return;
        _onTheFly |= FLY_TESTER;
        in.Record(length);
        DOMAIN value = SgnValue(in.Num("tester value"));
        uint32_t condition = in.Num("tester condition");
        in.End("tester record");
        PLC* plc = TesterPlace(tuple, value);
        for (const auto& c : kConditions) {
            if (condition & c.condition) {
                plc->_flag |= c.flag;
                _onTheFly |= c.fly;
            }
        }
        if (plc->_count != 0)
            _ptFlyPlc = plc;
    }
}

void ReadBuchi(DatReader& in, TUPLE* tuple) {
    uint32_t n = in.Word();
    if (n == 0)
        return;
    _onTheFly |= FLY_BUCHI;
    for (uint32_t i = 1; i <= n; ++i) {
        PLC* state = TesterPlace(tuple, i);
        if (!(state->_flag & PLC_BUCHI)) {
            state->_flag |= PLC_BUCHI;
            state->_lp._next = LstCreate(&plcTools);
        }
        if (state->_count != 0)
            _ptFlyPlc = state;
        uint32_t length = in.Word();
        if (length == TULM_NONE)
            DatReader::Malformed("Buchi successors");
        in.Record(length);
        uint32_t m = in.Num("Buchi successor count");
        if (m > length)
            DatReader::Malformed("Buchi successor count");
        for (uint32_t k = 0; k < m; ++k) {
            DOMAIN value = SgnValue(in.Num("Buchi state"));
            // The encoding of the key reuses the buffer: take the state's
            // list again after it.
            PLC* next = TesterPlace(tuple, value);
            LstInsLast(state->_lp._next, next);
        }
        in.End("Buchi successors");
    }
    Deallocate(_z_);
    _z_ = static_cast<uint32_t*>(Etacolla((n - 1UL) * sizeof(uint32_t)));
    for (uint32_t k = 0; k + 1 < n; ++k)
        _z_[k] = in.Word();
}

LIST* NewList(LIST** list, const TOOLS* tools) {
    if (*list == nullptr)
        *list = LstCreate(tools);
    return *list;
}

void DropIfEmpty(LIST** list) {
    if (*list != nullptr && LstEmpty(*list)) {
        LstDestroy(*list, TRUE);
        *list = nullptr;
    }
}

TRARC* ArcTo(LIST* list, PLC* plc) {
    TRARC* arc;
    if (list != nullptr) {
        for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
            arc = static_cast<TRARC*>(cell->_node);
            if (arc->_plc == plc)
                return arc;
        }
    }
    engine::Fail("\nTrnReform: no arc to the place\n");
}

// PutInArc and PutOutArc: placeSide is the place's list of the arc's
// direction seen from the place, trnSide the transition's.
void PutArc(TRN* trn, unsigned long weight, unsigned plIndex, TUPLE* tuple, bool input) {
    TupEncode(static_cast<int>(plIndex), tuple, &_engBuffer, &_engBfSize);
    PLC* plc = GetPlc(_engBuffer);
    LIST** placeSide = input ? &plc->_pureOut : &plc->_lp._pureIn;
    LIST** trnSide = input ? &trn->_pureIn : &trn->_pureOut;
    if (*placeSide != nullptr && !LstEmpty(*placeSide)) {
        auto* first = static_cast<PLARC*>((*placeSide)->_first->_node);
        if (first->_trn == trn) {
            // Arcs of one transition come together, newest first: the same
            // place again adds to the same arc.
            first->_weight += weight;
            ArcTo(*trnSide, plc)->_weight += weight;
            return;
        }
    }
    LstInsFirst(NewList(placeSide, &plArcTools), PlArcCons(trn, weight));
    LstInsLast(NewList(trnSide, &trArcTools), TrArcCons(plc, weight));
}

unsigned long slotCounter = 0;

int PlcToTbl(PLC* plc) {
    unsigned long slot = slotCounter++;
    if (_ptSy)
        plc->_up._ind = slot;
    if (!_vos && !(_onTheFly & FLY_BUCHI) && !(_ptSy && _ptVerbose)) {
        Deallocate(plc->_key);
        plc->_key = nullptr;
    }
    RadixPut(_tblPlc, plc, slot);
    return 0;
}

unsigned trnClass = 0;
unsigned long trnNumber = 0;

int TrnToTbl(TRN* trn) {
    RadixPut(_tblTrn[trnClass], trn, slotCounter++);
    Deallocate(trn->_key);
    trn->_key = nullptr;
    trn->_number = trnNumber++;
    if (trn->_flag & TRN_VISIBLE)
        ++_nTrVisible;
    return 0;
}

// The place records of _tblPlc and _dupTblPlc by slot, in one array each:
// the encoder and decoder walk every slot of a table for every state.
std::vector<PLC*> tableSlots[2];

void CacheSlots() {
    for (int k = 0; k < 2; ++k) {
        RADIX* table = k == 0 ? _tblPlc : _dupTblPlc;
        tableSlots[k].clear();
        if (table != nullptr)
            for (unsigned long i = 0; i < table->ptrCount; ++i)
                tableSlots[k].push_back(static_cast<PLC*>(RadixGet(table, i)));
    }
}

// The slots of a table, or null for a table of no cache.
PLC* const* Slots(const RADIX* table) {
    if (table == _tblPlc && tableSlots[0].size() == table->ptrCount)
        return tableSlots[0].data();
    if (table == _dupTblPlc && tableSlots[1].size() == table->ptrCount)
        return tableSlots[1].data();
    return nullptr;
}

void CheckCount(unsigned long slot, unsigned long count) {
    if (count > UINT32_MAX)
        PtCountOverflow(slot, count);
}

}  // namespace

void EngReserve(unsigned long n) {
    if (n < _engBfSize)
        return;
    unsigned long size = n + n / 2 + 1;
    if (size > UINT32_MAX)
        engine::Fail("\nEngine buffer of %lu bytes\n", size);
    Deallocate(_engBuffer);
    _engBuffer = static_cast<unsigned char*>(YarraColla(size, 1));
    _engBfSize = static_cast<unsigned>(size);
}

void PtInit(BINARYFILE dat) {
    _nTrVisible = 0;
    for (AVLSET*& set : _ptSlpSet)
        set = nullptr;
    _plcAvlset = BalTrCreate(&plcBalTools);
    _tblTrn = static_cast<RADIX**>(YarraColla(_ingNofClasses, sizeof(RADIX*)));
    _trnAvlset = static_cast<AVLSET**>(YarraColla(_ingNofClasses, sizeof(AVLSET*)));
    _higher = static_cast<unsigned*>(YarraColla(_ingNofClasses, sizeof(unsigned)));
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        _trnAvlset[c] = BalTrCreate(&trnBalTools);
    _ptFlyPlc = nullptr;
    DatReader in(dat);
    ReadMarking(in);
    if (_onTheFly != 0) {
        if (_monPlInd >= _magNofPlaces)
            DatReader::Malformed("tester place");
        TUPLE* tuple = TupCons(1);
        ReadTester(in, tuple);
        ReadBuchi(in, tuple);
        TupDiscard(tuple);
    }
}

void PtLTSInit(void) {
    _nTrVisible = 0;
    for (AVLSET*& set : _ptSlpSet)
        set = nullptr;
    _plcAvlset = BalTrCreate(&plcBalTools);
    _tblTrn = static_cast<RADIX**>(YarraColla(1, sizeof(RADIX*)));
    _trnAvlset = static_cast<AVLSET**>(YarraColla(1, sizeof(AVLSET*)));
    _trnAvlset[0] = BalTrCreate(&trnBalTools);
    _higher = static_cast<unsigned*>(YarraColla(1, sizeof(unsigned)));
}

void PutInArc(TRN* trn, unsigned long weight, unsigned plIndex, TUPLE* tuple) {
    PutArc(trn, weight, plIndex, tuple, true);
}

void PutOutArc(TRN* trn, unsigned long weight, unsigned plIndex, TUPLE* tuple) {
    PutArc(trn, weight, plIndex, tuple, false);
}

void TrnReform(TRN* trn) {
    if (trn->_pureIn == nullptr || trn->_pureOut == nullptr)
        return;
    std::vector<TRARC*> inputs;
    for (LISTNODE* cell = trn->_pureIn->_first; cell != nullptr; cell = cell->_next)
        inputs.push_back(static_cast<TRARC*>(cell->_node));
    for (TRARC* input : inputs) {
        if (trn->_pureIn == nullptr || trn->_pureOut == nullptr)
            break;
        PLC* p = input->_plc;
        if (p->_lp._pureIn == nullptr || LstEmpty(p->_lp._pureIn) ||
            static_cast<PLARC*>(p->_lp._pureIn->_first->_node)->_trn != trn)
            continue;
        unsigned long in = input->_weight;
        TRARC* output = ArcTo(trn->_pureOut, p);
        unsigned long out = output->_weight;
        LstDelete(trn->_pureIn, input, TRUE);
        DropIfEmpty(&trn->_pureIn);
        LstDelFirst(p->_pureOut, TRUE);
        DropIfEmpty(&p->_pureOut);
        LstDelete(trn->_pureOut, output, FALSE);
        auto* placeOutput = static_cast<PLARC*>(LstDelFirst(p->_lp._pureIn, FALSE));
        DropIfEmpty(&trn->_pureOut);
        DropIfEmpty(&p->_lp._pureIn);
        if (in == out) {
            LstInsLast(NewList(&trn->_neutral, &trArcTools), output);
            LstInsLast(NewList(&p->_neutral, &plArcTools), placeOutput);
            continue;
        }
        Deallocate(output);
        Deallocate(placeOutput);
        if (in < out) {
            LstInsLast(NewList(&trn->_mostOut, &trDrcTools), TrDrcCons(p, in, out));
            LstInsLast(NewList(&p->_mostIn, &plDrcTools), PlDrcCons(trn, out, in));
        } else {
            LstInsLast(NewList(&trn->_mostIn, &trDrcTools), TrDrcCons(p, in, out));
            LstInsLast(NewList(&p->_mostOut, &plDrcTools), PlDrcCons(trn, out, in));
        }
    }
}

int TrnPrec(TRN* trn) {
    if (FdEqual(_lowTrn->_key, trn->_key)) {
        _higher[_hiClass] |= 4;
        LstInsLast(NewList(&_lowTrn->_ut._higher, &trnTools), trn);
    }
    return 0;
}

void SetLowTrn(TRN* trn) { _lowTrn = trn; }

void SetHiClass(unsigned cls) {
    _hiClass = cls;
    _higher[cls] &= ~4u;
}

int Lower(unsigned cls) { return (_higher[cls] & 4) != 0; }

void SetHigher(unsigned cls) { _higher[cls] |= 1; }

void SetSelfHigher(unsigned cls) { _higher[cls] |= 2; }

void PlcFill(void) {
    _tblPlc = RadixCreate(_plcAvlset->elCount, &plcTools);
    slotCounter = 0;
    BalTrApply(_plcAvlset, PlcToTbl);
    if (_ptSy) {
        int delAlg = _ptDelAlg;
        _ptDelAlg = 0;
        _dupTblPlc = RadixCopy(_tblPlc, TRUE);
        _ptDelAlg = delAlg;
    }
    BalTrDestroy(_plcAvlset, FALSE);
    _plcAvlset = nullptr;
    CacheSlots();
}

void TrnFill(void) {
    trnNumber = 0;
    for (trnClass = 0; trnClass < _ingNofClasses; ++trnClass) {
        _tblTrn[trnClass] = RadixCreate(_trnAvlset[trnClass]->elCount, &trnTools);
        slotCounter = 0;
        BalTrApply(_trnAvlset[trnClass], TrnToTbl);
        BalTrDestroy(_trnAvlset[trnClass], FALSE);
    }
    Deallocate(_trnAvlset);
    _trnAvlset = nullptr;
}

unsigned PlcEncode(RADIX* table, unsigned char** buf, unsigned* size) {
    _ptFlyPlc = nullptr;
    unsigned long slots = table->ptrCount;
    PLC* const* cached = Slots(table);
    auto at = [&](unsigned long i) { return cached != nullptr ? cached[i] : static_cast<PLC*>(RadixGet(table, i)); };
    unsigned long length = 0;
    for (unsigned long i = 0; i < slots; ++i) {
        unsigned long count = at(i)->_count;
        if (count == 0)
            continue;
        CheckCount(i, count);
        length += NumLen(static_cast<uint32_t>(i));
        if (count != 1)
            length += 1 + NumLen(static_cast<uint32_t>(count - 2));
    }
    if (length >= *size) {
        unsigned long grown = length + length / 2 + 1;
        Deallocate(*buf);
        *buf = static_cast<unsigned char*>(YarraColla(grown, 1));
        *size = static_cast<unsigned>(grown);
    }
    unsigned char* p = *buf;
    for (unsigned long i = 0; i < slots; ++i) {
        PLC* plc = at(i);
        if (plc->_count == 0)
            continue;
        p = NumPut(static_cast<uint32_t>(i), p);
        if (plc->_count != 1) {
            *p++ = NUM_COUNT;
            p = NumPut(static_cast<uint32_t>(plc->_count - 2), p);
        }
        if (plc->_flag & PLC_FLY)
            _ptFlyPlc = plc;
    }
    *p = 0;
    return static_cast<unsigned>(length);
}

void PlcDecode(unsigned char* contents) {
    unsigned long slots = _tblPlc->ptrCount;
    PLC* const* cached = Slots(_tblPlc);
    auto at = [&](unsigned long i) { return cached != nullptr ? cached[i] : static_cast<PLC*>(RadixGet(_tblPlc, i)); };
    for (unsigned long i = 0; i < slots; ++i)
        at(i)->_count = 0;
    _ptFlyPlc = nullptr;
    const unsigned char* p = contents;
    const unsigned char* end = contents + std::strlen(reinterpret_cast<char*>(contents));
    while (p < end) {
        uint32_t slot = 0;
        if (!NumScan(&p, end, &slot) || slot >= slots)
            engine::Fail("\nPlcDecode: node contents out of range\n");
        unsigned long count = 1;
        if (*p == NUM_COUNT) {
            uint32_t code = 0;
            ++p;
            if (!NumScan(&p, end, &code))
                engine::Fail("\nPlcDecode: node contents out of range\n");
            count = code + 2UL;
        }
        PLC* plc = at(slot);
        plc->_count = count;
        if (count == 1 && (plc->_flag & PLC_FLY))
            _ptFlyPlc = plc;
    }
}

int PlcIniFlag(PLC* plc) {
    plc->_flag &= ~(PLC_DEAD | PLC_TDEAD);
    return 0;
}

int PlcAOClean(PLC* plc) {
    if (plc->_up._orPredAnd != nullptr)
        LstDestroy(plc->_up._orPredAnd, FALSE);
    plc->_up._orPredAnd = nullptr;
    return 0;
}

void PtRelease(void) {
    if (_plcAvlset != nullptr)
        BalTrDestroy(_plcAvlset, TRUE);
    _plcAvlset = nullptr;
    if (_trnAvlset != nullptr) {
        for (uint32_t c = 0; c < _ingNofClasses; ++c)
            if (_trnAvlset[c] != nullptr)
                BalTrDestroy(_trnAvlset[c], TRUE);
        Deallocate(_trnAvlset);
        _trnAvlset = nullptr;
    }
    if (_tblTrn != nullptr) {
        for (uint32_t c = 0; c < _ingNofClasses; ++c)
            if (_tblTrn[c] != nullptr)
                RadixDestroy(_tblTrn[c], TRUE);
        Deallocate(_tblTrn);
        _tblTrn = nullptr;
    }
    if (_tblPlc != nullptr)
        RadixDestroy(_tblPlc, TRUE);
    _tblPlc = nullptr;
    if (_dupTblPlc != nullptr)
        RadixDestroy(_dupTblPlc, TRUE);
    _dupTblPlc = nullptr;
    CacheSlots();
    Deallocate(_higher);
    _higher = nullptr;
    for (AVLSET*& set : _ptSlpSet) {
        if (set != nullptr)
            BalTrDestroy(set, TRUE);
        set = nullptr;
    }
    _ptFlyPlc = nullptr;
    buPlc = nullptr;
    _nTrVisible = 0;
}

// ---- outputs: LTS text, binary net, instance net; random numbers ----

namespace {

char* ltsBase = nullptr;  // base name of the LTS being written
uint32_t ptTerm = 0;

[[noreturn]] void CannotOpen(const char* text, const char* name, int status) {
    std::fprintf(_err, text, name);
    ErrnoOutput(_err);
    Exit(status);
}

unsigned long TransitionCount() {
    unsigned long n = 0;
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        n += _trnAvlset != nullptr ? _trnAvlset[c]->elCount : _tblTrn[c]->ptrCount;
    return n;
}

// Walks of the per-class transition sets in class-then-key order.
FILE* zelStream = nullptr;
unsigned long zelPosition = 0;

int ZelSymbol(TRN* trn) {
    ++zelPosition;
    if (trn->_flag & TRN_VISIBLE)
        InsOutput(zelPosition, trn->_key, zelStream, 0);
    return 0;
}

void PutWordTo(BINARYFILE file, uint32_t word) {
    unsigned char bytes[4];
    engine::PutWord(bytes, word);
    WriteBytes(bytes, 4, file);
}

BINARYFILE keyFile = -1;

int KeyOut(void* element) {
    // Places and transitions both begin with their key.
    unsigned char* key = *static_cast<unsigned char**>(element);
    if (key == nullptr)
        engine::Fail("\nPtOutput: the keys have been released\n");
    unsigned long length = DataLen(key);
    PutWordTo(keyFile, static_cast<uint32_t>(length));
    WriteBytes(key, length, keyFile);
    return 0;
}

FILE* vosStream = nullptr;
unsigned long vosPosition = 0;

int VosTransition(TRN* trn) {
    trn->_number = vosPosition;
    InsOutput(++vosPosition, trn->_key, vosStream, 1);
    return 0;
}

void VosArcs(FILE* file, unsigned long place, LIST* list, bool drc, bool into) {
    if (list == nullptr)
        return;
    for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
        TRN* trn;
        unsigned long weight;
        if (drc) {
            auto* arc = static_cast<PLDRC*>(cell->_node);
            trn = arc->_trn;
            weight = into ? arc->_in : arc->_out;
        } else {
            auto* arc = static_cast<PLARC*>(cell->_node);
            trn = arc->_trn;
            weight = arc->_weight;
        }
        if (into)
            std::fprintf(file, "%lu<%luw%lu\n", trn->_number + 1, place, weight);
        else
            std::fprintf(file, "%lu>%luw%lu\n", place, trn->_number + 1, weight);
    }
}

}  // namespace

void LTSBegin(char* name, int separate) {
    Deallocate(ltsBase);
    ltsBase = StrCp(name);
    char* lts = FileName(name, "lts");
    _zelFile = std::fopen(lts, "w");
    if (_zelFile == nullptr)
        CannotOpen("\nCannot open empty file %s for writing\n", lts, 11);
    Deallocate(lts);
    _zelArcFile = _zelFile;
    if (separate) {
        char* arc = FileName(name, "arc");
        _zelArcFile = std::fopen(arc, "w+");
        if (_zelArcFile == nullptr)
            CannotOpen("\nCannot open empty file %s for reading and writing\n", arc, 11);
        Deallocate(arc);
    }
    // Room for the five header lines, written over by LTSEnd.
    std::fprintf(_zelFile, "%59s\n%59s\n", "", "");
    std::fprintf(_zelFile, "HISTORY |created by %s|\nEND_HEADER\nSYMBOLS\n0 i\n", myName != nullptr ? myName : "");
}

void PtZelOutput(void) {
    zelStream = _zelFile;
    zelPosition = 0;
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        BalTrApply(_trnAvlset[c], ZelSymbol);
    std::fputs("END_SYMBOLS\nARCS\n", _zelFile);
}

void LTSEnd(void) {
    unsigned long symbols;
    if (_zelArcFile == _zelFile) {
        symbols = 1 + TransitionCount();
    } else {
        DelZelNames(1);
        symbols = (_zelTree != nullptr ? _zelTree->elCount : 0) + 1;
        if (_zelTree != nullptr)
            BalTrDestroy(_zelTree, TRUE);
        _zelTree = nullptr;
        std::fputs("END_SYMBOLS\nARCS\n", _zelFile);
        std::rewind(_zelArcFile);
        char* line = static_cast<char*>(Etacolla(8192));
        unsigned size = 8192;
        for (;;) {
            int more = BruteReadln(&line, &size, _zelArcFile);
            // At the end BruteReadln leaves an empty buffer, or a last line
            // that it has given a newline.
            if (line[0] != '\0')
                std::fputs(line, _zelFile);
            if (!more)
                break;
        }
        Deallocate(line);
        std::fclose(_zelArcFile);
        char* arc = FileName(ltsBase, "arc");
        std::remove(arc);
        Deallocate(arc);
    }
    std::fputs("END_ARCS\nNODES\nEND_NODES\nEND_LTS\n", _zelFile);
    GRAPH* g = _graph[0];
    unsigned long root = g != nullptr && g->glob[GW_NODES] != 0 ? GphOrdinal(g, GphStart(g)) : 0;
    std::rewind(_zelFile);
    std::fprintf(_zelFile, "LTS |B|\nROOT |%lu|\nNODE_COUNT |%lu|\nARC_COUNT |%lu|\nSYMBOL_COUNT |%lu|", root,
                 g != nullptr ? static_cast<unsigned long>(g->glob[GW_NODES]) : 0UL,
                 g != nullptr ? static_cast<unsigned long>(g->glob[GW_ARROWS]) : 0UL, symbols);
    std::fclose(_zelFile);
    _zelFile = nullptr;
    _zelArcFile = nullptr;
}

void LTSOutput(GRAPH* graph) {
    char* name = FileName(graph->name, "lts");
    FILE* file = std::fopen(name, "w");
    if (file == nullptr) {
        std::fprintf(_err, "\nCannot open file %s for writing\n", name);
        std::fflush(_err);
        Exit(2);
    }
    Deallocate(name);
    const char* program = myName != nullptr ? myName : "";
    if (graph->glob[GW_NODES] == 0) {
        std::fprintf(file,
                     "LTS |B|\nROOT |0|\nNODE_COUNT |1|\nARC_COUNT |0|\nSYMBOL_COUNT |0|\nHISTORY |created by %s|\n"
                     "END_HEADER\nSYMBOLS\nEND_SYMBOLS\nARCS\nEND_ARCS\nNODES\nEND_NODES\nEND_LTS\n",
                     program);
        std::fclose(file);
        return;
    }
    std::vector<ACTION*> symbols;
    if (_iAction != nullptr)
        symbols.push_back(_iAction);
    if (_actList != nullptr)
        for (LISTNODE* cell = _actList->_first; cell != nullptr; cell = cell->_next) {
            auto* action = static_cast<ACTION*>(cell->_node);
            if (action != _iAction && !action->hidden)
                symbols.push_back(action);
        }
    std::fprintf(file,
                 "LTS |B|\nROOT |%lu|\nNODE_COUNT |%lu|\nARC_COUNT |%lu|\nSYMBOL_COUNT |%u|\nHISTORY |created by %s|\n"
                 "END_HEADER\nSYMBOLS\n",
                 static_cast<unsigned long>(GphOrdinal(graph, GphStart(graph))),
                 static_cast<unsigned long>(graph->glob[GW_NODES]), static_cast<unsigned long>(graph->glob[GW_ARROWS]),
                 static_cast<unsigned>(symbols.size()), program);
    for (ACTION* action : symbols)
        std::fprintf(file, "%u %s\n", action->number, action->name);
    std::fputs("END_SYMBOLS\nARCS\n", file);
    bool symmetries = (graph->glob[GW_FLAGS] & GF_SYMM) != 0;
    for (uint32_t ordinal = 0; ordinal < graph->glob[GW_NODES]; ++ordinal) {
        unsigned long node = GphId(graph, ordinal);
        uint32_t count = GphAwCount(graph, node);
        if (count == 0 || count == TULM_NONE)
            continue;
        unsigned long aw = 0, succ = 0;
        GphFlFirst(graph, node, &aw, &succ);
        for (uint32_t k = 0; k < count; ++k) {
            if (k > 0)
                GphFlNext(graph, &aw, &succ);
            const unsigned char* label = GphArrow(graph, aw);
            unsigned long value = NumGet(&label);
            bool odd = false;
            if (symmetries) {
                odd = (value & 1) != 0;
                value >>= 1;
            }
            auto* action = _arpFoldings != nullptr && value < _arpFoldings->ptrCount
                               ? static_cast<ACTION*>(RadixGet(_arpFoldings, value))
                               : nullptr;
            std::fprintf(file, "%lu %lu %u", static_cast<unsigned long>(ordinal),
                         static_cast<unsigned long>(GphOrdinal(graph, succ)), action != nullptr ? action->number : 0u);
            if (odd)
                std::fputs(" -- arc explained by the state equivalence relation", file);
            std::fputc('\n', file);
        }
    }
    std::fputs("END_ARCS\nNODES\nEND_NODES\nEND_LTS\n", file);
    std::fclose(file);
}

void PtOutput(BINARYFILE file) {
    if (_plcAvlset == nullptr || _trnAvlset == nullptr)
        engine::Fail("\nPtOutput: the net tables have been filled\n");
    keyFile = file;
    PutWordTo(file, static_cast<uint32_t>(_plcAvlset->elCount));
    BalTrApply(_plcAvlset, KeyOut);
    PutWordTo(file, static_cast<uint32_t>(TransitionCount()));
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        BalTrApply(_trnAvlset[c], KeyOut);
    keyFile = -1;
}

void PtVosOutput(char* base) {
    char* name = FileName(base, "ll_net");
    FILE* file = std::fopen(name, "w");
    if (file == nullptr)
        CannotOpen("\nCannot open empty file %s for writing\n", name, 12);
    Deallocate(name);
    std::fputs("VOS\nPetriBox\nFORMAT_N\nPL\n", file);
    unsigned long places = _tblPlc->ptrCount;
    bool keep = (_onTheFly & FLY_BUCHI) || (_ptSy && _ptVerbose);
    for (unsigned long i = 0; i < places; ++i) {
        PLC* plc = static_cast<PLC*>(RadixGet(_tblPlc, i));
        std::fprintf(file, "%lu\"", i + 1);
        PlKeyOut(plc->_key, file, 1);
        std::fprintf(file, "\"0@0M%lum%luk-1\n", plc->_count, plc->_count);
        if (!keep) {
            Deallocate(plc->_key);
            plc->_key = nullptr;
        }
    }
    std::fputs("TR\n", file);
    vosStream = file;
    vosPosition = 0;
    for (uint32_t c = 0; c < _ingNofClasses; ++c)
        BalTrApply(_trnAvlset[c], VosTransition);
    std::fputs("TP\n", file);
    for (unsigned long i = 0; i < places; ++i) {
        PLC* plc = static_cast<PLC*>(RadixGet(_tblPlc, i));
        if (plc->_flag & PLC_BUCHI)
            continue;
        VosArcs(file, i + 1, plc->_lp._pureIn, false, true);
        VosArcs(file, i + 1, plc->_neutral, false, true);
        VosArcs(file, i + 1, plc->_mostIn, true, true);
        VosArcs(file, i + 1, plc->_mostOut, true, true);
    }
    std::fputs("PT\n", file);
    for (unsigned long i = 0; i < places; ++i) {
        PLC* plc = static_cast<PLC*>(RadixGet(_tblPlc, i));
        if (plc->_flag & PLC_BUCHI)
            continue;
        VosArcs(file, i + 1, plc->_pureOut, false, false);
        VosArcs(file, i + 1, plc->_neutral, false, false);
        VosArcs(file, i + 1, plc->_mostIn, true, false);
        VosArcs(file, i + 1, plc->_mostOut, true, false);
    }
    if (std::fclose(file) != 0)
        engine::Stop(12, "\nCannot write the net file of %s\n", base);
}

void PtSRandom(unsigned seed) { ptTerm = seed; }

unsigned PtTerm(void) { return ptTerm; }

unsigned PtRandom(unsigned domSize) {
    ptTerm = ptTerm * 1103515245u + 12345u;
    return static_cast<unsigned>((static_cast<uint64_t>(ptTerm) * domSize) >> 32);
}
