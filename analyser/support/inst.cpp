// The number code's checked reader, the instance codec, the let sets, the
// table readers and the text forms of keys.
//
// Keys and state strings made by this module (and by the engine from them)
// are trusted: the hot decoders read them without bounds checks.  The table
// file is not: its readers check every length, number and index before they
// use it.
#include "inst.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "alloc.h"
#include "internal.h"

uint32_t* _magProfile = nullptr;
uint32_t _ingNofClasses = 1;
uint32_t _ingNofTrans = 0;
uint32_t* _ingNofVars = nullptr;
uint32_t* _ingNofFd = nullptr;
AVLSET** _ingRanges = nullptr;
uint32_t _monPlInd = 0xFFFFFFFF;
DOMAIN** _x_ = nullptr;
uint32_t* _z_ = nullptr;
unsigned long insMarkingOffset = 0;
unsigned _onTheFly = 0;
int _zel = 0;
int _vos = 0;

namespace {

using support::InternalError;

// The number of arrays in _x_.
uint32_t buchiLists = 0;

// Names read from the table file.
struct Names {
    std::vector<std::string> transitions;
    std::vector<std::vector<std::string>> variables;  // per transition
    std::vector<std::vector<uint32_t>> order;         // per transition: variables by name
    std::vector<std::string> enums;
    std::vector<std::string> classes;  // classes 1 .. n - 1
    std::vector<std::string> places;
};
Names names;

template <typename T>
void Release(std::vector<T>& table) {
    std::vector<T>().swap(table);
}

// The state of TravRange for its step VisComb.
struct Traversal {
    unsigned count = 0;
    DOMAIN* values = nullptr;
    void (*function)(void) = nullptr;
};
Traversal traversal;

// The growing-buffer rule of the encoders; returns the buffer.
unsigned char* Room(unsigned char** buffer, unsigned* size, size_t length, const char* who) {
    if (length > INT_MAX)
        InternalError("\n%s: %zu bytes exceed an encoding's length\n", who, length);
    if (length >= *size) {
        auto grown = static_cast<unsigned>(length + length / 2 + 1);
        Deallocate(*buffer);
        *buffer = static_cast<unsigned char*>(YarraColla(grown, 1));
        *size = grown;
    }
    return *buffer;
}

uint32_t CheckedTransition(int trIndex, const char* who) {
    auto tr = static_cast<uint32_t>(trIndex);
    if (tr >= _ingNofTrans)
        InternalError("\n%s: transition %u of %u\n", who, tr, _ingNofTrans);
    return tr;
}

uint32_t ArityOf(const unsigned char** p, uint32_t place) {
    if (**p != NUM_ARITY)
        return _magProfile[place];
    ++*p;
    return NumGet(p);
}

int Sign(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// A record of the table file: its bytes with a NUL after them.
class Record {
public:
    Record() = default;
    Record(unsigned char* data, uint32_t length) : data_(data), length_(length) {}
    Record(Record&& other) noexcept : data_(std::exchange(other.data_, nullptr)), length_(other.length_) {}
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { Deallocate(data_); }
    const unsigned char* begin() const { return data_; }
    const unsigned char* end() const { return data_ + length_; }
    uint32_t length() const { return length_; }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(data_)); }
    unsigned char* Release() { return std::exchange(data_, nullptr); }

private:
    unsigned char* data_ = nullptr;
    uint32_t length_ = 0;
};

// Reads the table file from its current position, checking every length
// against what is left of the file.
class TableReader {
public:
    TableReader(BINARYFILE file, const char* who) : file_(file), who_(who) {
        off_t here = lseek(file, 0, SEEK_CUR);
        struct stat status = {};
        position_ = here < 0 ? 0 : static_cast<unsigned long>(here);
        size_ = here >= 0 && fstat(file, &status) == 0 && S_ISREG(status.st_mode)
                    ? static_cast<unsigned long>(status.st_size)
                    : ULONG_MAX;
    }

    [[noreturn]] void Malformed(const char* what) const {
        InternalError("\n%s: malformed table file: %s\n", who_, what);
    }

    unsigned long Position() const { return position_; }
    unsigned long Remaining() const { return size_ > position_ ? size_ - position_ : 0; }

    uint32_t Word(const char* what) {
        if (Remaining() < 4)
            Malformed(what);
        unsigned char bytes[4];
        ReadBytes(bytes, 4, file_);
        position_ += 4;
        return support::GetWord(bytes);
    }

    Record Bytes(uint32_t length, const char* what) {
        if (Remaining() < length)
            Malformed(what);
        auto* data = static_cast<unsigned char*>(Etacolla(static_cast<size_t>(length) + 1));
        ReadBytes(data, length, file_);
        data[length] = '\0';
        position_ += length;
        return Record(data, length);
    }

    Record Next(const char* what) { return Bytes(Word(what), what); }

private:
    BINARYFILE file_;
    const char* who_;
    unsigned long position_;
    unsigned long size_;
};

// The numbers of one record.
class Fields {
public:
    Fields(const TableReader& reader, const Record& record)
        : reader_(reader), p_(record.begin()), end_(record.end()) {}

    uint32_t Num(const char* what) {
        uint32_t value = 0;
        if (!NumScan(&p_, end_, &value))
            reader_.Malformed(what);
        return value;
    }
    DOMAIN Sgn(const char* what) { return SgnValue(Num(what)); }
    bool Marker(unsigned char marker) {
        if (p_ == end_ || *p_ != marker)
            return false;
        ++p_;
        return true;
    }
    bool AtEnd() const { return p_ == end_; }
    void End(const char* what) const {
        if (p_ != end_)
            reader_.Malformed(what);
    }

private:
    const TableReader& reader_;
    const unsigned char* p_;
    const unsigned char* end_;
};

// A list of n numbers after its count in a record ("count" numbers follow
// when withCount, else n is given).
std::vector<uint32_t> NumberList(TableReader& in, const char* what, bool withCount, uint32_t n) {
    Record record = in.Next(what);
    Fields fields(in, record);
    if (withCount)
        n = fields.Num(what);
    if (n > record.length())
        in.Malformed(what);
    std::vector<uint32_t> numbers(n);
    for (uint32_t& number : numbers)
        number = fields.Num(what);
    fields.End(what);
    return numbers;
}

uint32_t* TableOf(const std::vector<uint32_t>& numbers) {
    auto* table = static_cast<uint32_t*>(Etacolla(numbers.size() * sizeof(uint32_t)));
    if (!numbers.empty())
        std::memcpy(table, numbers.data(), numbers.size() * sizeof(uint32_t));
    return table;
}

void FreeRanges() {
    if (_ingRanges != nullptr)
        for (uint32_t t = 0; t < _ingNofTrans; ++t)
            BalTrDestroy(_ingRanges[t], TRUE);
    Deallocate(_ingRanges);
    _ingRanges = nullptr;
}

void FreeTables() {
    FreeRanges();
    Deallocate(_magProfile);
    Deallocate(_ingNofVars);
    Deallocate(_ingNofFd);
    _magProfile = _ingNofVars = _ingNofFd = nullptr;
}

void FreeBuchi() {
    for (uint32_t k = 0; k < buchiLists; ++k)
        Deallocate(_x_[k]);
    Deallocate(_x_);
    Deallocate(_z_);
    _x_ = nullptr;
    _z_ = nullptr;
    buchiLists = 0;
}

std::vector<std::string> NameList(TableReader& in, uint32_t count, const char* what) {
    std::vector<std::string> list;
    for (uint32_t k = 0; k < count; ++k)
        list.push_back(in.Next(what).Text());
    return list;
}

// The enumeration names: a count word, then the names.
std::vector<std::string> EnumNames(TableReader& in) {
    uint32_t count = in.Word("enumeration count");
    if (count > in.Remaining() / 4)
        in.Malformed("enumeration count");
    return NameList(in, count, "enumeration name");
}

void PrintValue(DOMAIN value, FILE* stream) {
    uint32_t index = ~static_cast<uint32_t>(value);
    if (index < names.enums.size())
        std::fputs(names.enums[index].c_str(), stream);
    else
        std::fprintf(stream, "%lu", static_cast<unsigned long>(value));
}

}  // namespace

extern "C" {

int NumScan(const unsigned char** cursor, const unsigned char* end, uint32_t* value) {
    const unsigned char* p = *cursor;
    if (p >= end || *p == 0)
        return 0;
    if (*p <= 128) {
        *value = static_cast<uint32_t>(*p - 1);
        *cursor = p + 1;
        return 1;
    }
    // A lead byte 132 .. 135 followed by its groups, the most significant
    // one non-zero (so each number has one code) and within 32 bits.
    if (*p < 132 || *p > 135)
        return 0;
    unsigned k = *p - 130u;
    if (end - p <= static_cast<long>(k))
        return 0;
    for (unsigned i = 1; i <= k; ++i)
        if (p[i] == 0 || p[i] > 128)
            return 0;
    if (p[k] == 1 || (k == 5 && p[5] - 1 > 0xF))
        return 0;
    *cursor = p;
    *value = NumGet(cursor);
    return 1;
}

int InsEncode(int trIndex, unsigned cls, DOMAIN* values, unsigned char** buffer, unsigned* size) {
    uint32_t tr = CheckedTransition(trIndex, "InsEncode");
    uint32_t n = _ingNofVars[tr];
    bool withClass = _ingNofClasses > 1;
    size_t length = NumLen(tr) + (withClass ? NumLen(cls) : 0);
    for (uint32_t i = 0; i < n; ++i)
        length += NumLen(SgnCode(values[i]));
    unsigned char* p = NumPut(tr, Room(buffer, size, length, "InsEncode"));
    for (uint32_t i = 0; i < n; ++i)
        p = NumPut(SgnCode(values[i]), p);
    if (withClass)
        p = NumPut(cls, p);
    *p = '\0';
    return static_cast<int>(length);
}

DOMAIN* InsDecode(unsigned* trIndex, unsigned* cls, unsigned char* key) {
    const unsigned char* p = key;
    uint32_t tr = NumGet(&p);
    uint32_t n = _ingNofVars[tr];
    auto* values = static_cast<DOMAIN*>(Etacolla(n * sizeof(DOMAIN)));
    for (uint32_t i = 0; i < n; ++i)
        values[i] = SgnValue(NumGet(&p));
    *trIndex = tr;
    *cls = _ingNofClasses > 1 ? NumGet(&p) : 0;
    return values;
}

int TupEncode(int place, TUPLE* tuple, unsigned char** buffer, unsigned* size) {
    auto index = static_cast<uint32_t>(place);
    if (index >= _magNofPlaces)
        InternalError("\nTupEncode: place %u of %u\n", index, _magNofPlaces);
    bool explicitArity = tuple->_arity != _magProfile[index];
    size_t length = NumLen(index) + (explicitArity ? 1 + NumLen(tuple->_arity) : 0);
    for (uint32_t i = 0; i < tuple->_arity; ++i)
        length += NumLen(SgnCode(tuple->_array[i]));
    unsigned char* p = NumPut(index, Room(buffer, size, length, "TupEncode"));
    if (explicitArity) {
        *p++ = NUM_ARITY;
        p = NumPut(tuple->_arity, p);
    }
    for (uint32_t i = 0; i < tuple->_arity; ++i)
        p = NumPut(SgnCode(tuple->_array[i]), p);
    *p = '\0';
    return static_cast<int>(length);
}

void TupDecode(unsigned* place, unsigned char* key, TUPLE* tuple) {
    const unsigned char* p = key;
    uint32_t index = NumGet(&p);
    uint32_t arity = ArityOf(&p, index);
    tuple->_arity = arity;
    tuple->_array = static_cast<DOMAIN*>(Etacolla(arity * sizeof(DOMAIN)));
    for (uint32_t i = 0; i < arity; ++i)
        tuple->_array[i] = SgnValue(NumGet(&p));
    *place = index;
}

int StaEncode(STATE* state, unsigned char** buffer, unsigned* size) {
    size_t length = 0;
    for (uint32_t place = 0; place < _magNofPlaces; ++place) {
        for (const LISTNODE* cell = state[place]->_first; cell != nullptr; cell = cell->_next) {
            const MULTUP* entry = static_cast<const MULTUP*>(cell->_node);
            const TUPLE* tuple = entry->_tuple;
            if (tuple->_arity != _magProfile[place])
                length += 1 + NumLen(tuple->_arity);
            if (tuple->_arity == 0) {
                length += NumLen(entry->_count - 1);
                continue;
            }
            for (uint32_t i = 0; i < tuple->_arity; ++i)
                length += NumLen(SgnCode(tuple->_array[i]));
            if (entry->_count != 1)
                length += 1 + NumLen(entry->_count - 2);
        }
        length += 1;
    }
    unsigned char* p = Room(buffer, size, length, "StaEncode");
    for (uint32_t place = 0; place < _magNofPlaces; ++place) {
        for (const LISTNODE* cell = state[place]->_first; cell != nullptr; cell = cell->_next) {
            const MULTUP* entry = static_cast<const MULTUP*>(cell->_node);
            const TUPLE* tuple = entry->_tuple;
            if (tuple->_arity != _magProfile[place]) {
                *p++ = NUM_ARITY;
                p = NumPut(tuple->_arity, p);
            }
            if (tuple->_arity == 0) {
                p = NumPut(entry->_count - 1, p);
                continue;
            }
            for (uint32_t i = 0; i < tuple->_arity; ++i)
                p = NumPut(SgnCode(tuple->_array[i]), p);
            if (entry->_count != 1) {
                *p++ = NUM_COUNT;
                p = NumPut(entry->_count - 2, p);
            }
        }
        *p++ = NUM_END_PLACE;
    }
    *p = '\0';
    return static_cast<int>(length);
}

void StaDecode(unsigned char* string, STATE* state) {
    const unsigned char* p = string;
    for (uint32_t place = 0; place < _magNofPlaces; ++place) {
        MARKING* marking = LstCreate(&multupTools);
        while (*p != NUM_END_PLACE) {
            uint32_t arity = ArityOf(&p, place);
            TUPLE* tuple = TupCons(arity);
            unsigned long count = 1;
            if (arity == 0) {
                count = NumGet(&p) + 1UL;
            } else {
                for (uint32_t i = 0; i < arity; ++i)
                    tuple->_array[i] = SgnValue(NumGet(&p));
                if (*p == NUM_COUNT) {
                    ++p;
                    count = NumGet(&p) + 2UL;
                }
            }
            LstInsLast(marking, MultupCons(count, tuple));
        }
        ++p;
        marking->_this = nullptr;
        state[place] = marking;
    }
}

int BTupComp(const unsigned char* a, const unsigned char* b) {
    uint32_t placeA = NumGet(&a);
    uint32_t placeB = NumGet(&b);
    if (placeA != placeB)
        return Sign(placeA, placeB);
    uint32_t arityA = ArityOf(&a, placeA);
    uint32_t arityB = ArityOf(&b, placeB);
    if (arityA != arityB)
        return Sign(arityA, arityB);
    for (uint32_t i = 0; i < arityA; ++i) {
        DOMAIN va = SgnValue(NumGet(&a));
        DOMAIN vb = SgnValue(NumGet(&b));
        if (va != vb)
            return Sign(va, vb);
    }
    return 0;
}

int InsComp(const unsigned char* a, const unsigned char* b) {
    uint32_t trA = NumGet(&a);
    uint32_t trB = NumGet(&b);
    if (trA != trB)
        return Sign(trA, trB);
    for (uint32_t i = 0, n = _ingNofVars[trA]; i < n; ++i) {
        DOMAIN va = SgnValue(NumGet(&a));
        DOMAIN vb = SgnValue(NumGet(&b));
        if (va != vb)
            return Sign(va, vb);
    }
    return 0;
}

int FdEqual(const unsigned char* a, const unsigned char* b) {
    uint32_t n = _ingNofFd[NumGet(&a)];
    if (n != _ingNofFd[NumGet(&b)])
        return 0;
    // Codes are unique, so equal values have equal codes.
    for (uint32_t i = 0; i < n; ++i)
        if (NumGet(&a) != NumGet(&b))
            return 0;
    return 1;
}

int InRange(int trIndex, unsigned count, DOMAIN* values, unsigned char** buffer, unsigned* size) {
    auto tr = static_cast<uint32_t>(trIndex);
    if (count == 0 || tr >= _ingNofTrans || _ingRanges == nullptr || _ingRanges[tr] == nullptr)
        InternalError("\nInRange: internal error\n");
    size_t length = 0;
    for (unsigned i = 0; i < count; ++i)
        length += NumLen(SgnCode(values[i]));
    unsigned char* p = Room(buffer, size, length, "InRange");
    for (unsigned i = 0; i < count; ++i)
        p = NumPut(SgnCode(values[i]), p);
    *p = '\0';
    return BalTrElement(_ingRanges[tr], *buffer) != nullptr;
}

void TravRange(int trIndex, unsigned nVisComb, DOMAIN* aVisComb, void (*function)(void)) {
    auto tr = static_cast<uint32_t>(trIndex);
    if (nVisComb == 0 || tr >= _ingNofTrans || _ingRanges == nullptr || _ingRanges[tr] == nullptr)
        InternalError("\nTravRange: internal error\n");
    Traversal saved = traversal;
    traversal = {nVisComb, aVisComb, function};
    BalTrApply(_ingRanges[tr], VisComb);
    traversal = saved;
}

int VisComb(void* element) {
    const unsigned char* p = static_cast<const unsigned char*>(element);
    unsigned decoded = 0;
    while (*p != '\0') {
        DOMAIN value = SgnValue(NumGet(&p));
        if (decoded < traversal.count)
            traversal.values[decoded] = value;
        ++decoded;
    }
    if (decoded != traversal.count)
        InternalError("\nVisComb: nVisComb == %u, a - aVisComb == %u\n", traversal.count, decoded);
    traversal.function();
    return 0;
}

void InsReadTables(BINARYFILE file, int withRanges) {
    TableReader in(file, "InsReadTables");
    uint32_t tester = in.Word("tester place");
    uint32_t classes = in.Word("class count");
    if (classes == 0)
        in.Malformed("class count");
    std::vector<uint32_t> profile = NumberList(in, "place profile", true, 0);
    if (tester != 0xFFFFFFFF && tester >= profile.size())
        in.Malformed("tester place");
    std::vector<uint32_t> vars = NumberList(in, "variable counts", true, 0);
    auto transitions = static_cast<uint32_t>(vars.size());
    std::vector<uint32_t> fd = NumberList(in, "fd counts", false, transitions);
    for (uint32_t t = 0; t < transitions; ++t)
        if (fd[t] > vars[t])
            in.Malformed("fd count");
    // The let sets: per transition records of encoded values up to a
    // length of 0.  Read past when they are not wanted.
    auto** ranges = static_cast<AVLSET**>(YarraColla(transitions, sizeof(AVLSET*)));
    for (uint32_t t = 0; t < transitions; ++t) {
        for (;;) {
            uint32_t length = in.Word("let set");
            if (length == 0)
                break;
            Record record = in.Bytes(length, "let set");
            Fields fields(in, record);
            while (!fields.AtEnd())
                fields.Num("let value");
            if (!withRanges)
                continue;
            if (ranges[t] == nullptr)
                ranges[t] = BalTrCreate(&dataBalTools);
            unsigned char* element = record.Release();
            if (BalTrInsert(ranges[t], element, element, TRUE) != nullptr)
                Deallocate(element);
        }
    }
    FreeTables();
    _monPlInd = tester;
    if (tester != 0xFFFFFFFF)
        _onTheFly |= 1;
    _ingNofClasses = classes;
    _magNofPlaces = static_cast<uint32_t>(profile.size());
    _magProfile = TableOf(profile);
    _ingNofTrans = transitions;
    _ingNofVars = TableOf(vars);
    _ingNofFd = TableOf(fd);
    _ingRanges = ranges;
    insMarkingOffset = in.Position();
}

STATE* InsReadMarking(BINARYFILE file) {
    TableReader in(file, "InsReadMarking");
    auto* state = static_cast<STATE*>(Etacolla(_magNofPlaces * sizeof(STATE)));
    for (uint32_t place = 0; place < _magNofPlaces; ++place)
        state[place] = LstCreate(&multupTools);
    for (;;) {
        uint32_t length = in.Word("initial marking");
        if (length == 0xFFFFFFFF)
            break;
        Record record = in.Bytes(length, "initial marking");
        Fields fields(in, record);
        uint32_t place = fields.Num("place index");
        if (place >= _magNofPlaces)
            in.Malformed("place index");
        uint32_t arity = fields.Marker(NUM_ARITY) ? fields.Num("arity") : _magProfile[place];
        if (arity > record.length())
            in.Malformed("arity");
        TUPLE* tuple = TupCons(arity);
        unsigned long count = 1;
        if (arity == 0) {
            count = fields.Num("count") + 1UL;
        } else {
            for (uint32_t i = 0; i < arity; ++i)
                tuple->_array[i] = fields.Sgn("field value");
            if (fields.Marker(NUM_COUNT))
                count = fields.Num("count") + 2UL;
        }
        fields.End("initial marking record");
        if (count > UINT32_MAX)
            in.Malformed("count");
        // Each place's entries come sorted, each tuple once.
        MARKING* marking = state[place];
        if (marking->_last != nullptr &&
            TupCompare(static_cast<MULTUP*>(marking->_last->_node)->_tuple, tuple) >= 0)
            in.Malformed("initial marking out of order");
        LstInsLast(marking, MultupCons(count, tuple));
    }
    for (uint32_t place = 0; place < _magNofPlaces; ++place)
        state[place]->_this = nullptr;
    if (_onTheFly == 0)
        return state;
    BalTrDestroy(monitors, TRUE);
    monitors = nullptr;
    for (;;) {
        uint32_t length = in.Word("tester record");
        if (length == 0xFFFFFFFF)
            break;
        Record record = in.Bytes(length, "tester record");
        Fields fields(in, record);
        unsigned long value = fields.Sgn("tester value");
        uint32_t flag = fields.Num("tester condition");
        fields.End("tester record");
        if (monitors == nullptr)
            monitors = BalTrCreate(&monBalTools);
        auto* mon = static_cast<MON*>(BalTrElement(monitors, &value));
        if (mon == nullptr) {
            mon = MonCons(value);
            BalTrInsert(monitors, mon, &value, TRUE);
        }
        mon->flag = flag;
        // Condition bits 1, 2, 4, 8 switch on the checks 2, 4, 8, 16.
        _onTheFly |= (flag & 0xF) << 1;
    }
    uint32_t lists = in.Word("Buchi state count");
    if (lists == 0)
        return state;
    // Each list is a record of at least five bytes.
    if (lists > in.Remaining() / 5)
        in.Malformed("Buchi state count");
    _onTheFly |= 128;
    FreeBuchi();
    _x_ = static_cast<DOMAIN**>(YarraColla(lists, sizeof(DOMAIN*)));
    buchiLists = lists;
    for (uint32_t k = 0; k < lists; ++k) {
        Record record = in.Next("Buchi successors");
        Fields fields(in, record);
        uint32_t count = fields.Num("Buchi successor count");
        if (count > record.length())
            in.Malformed("Buchi successor count");
        auto* successors = static_cast<DOMAIN*>(Etacolla((count + 1UL) * sizeof(DOMAIN)));
        _x_[k] = successors;
        for (uint32_t i = 0; i < count; ++i) {
            DOMAIN s = fields.Sgn("Buchi state");
            if (s == 0 || s >= lists)
                in.Malformed("Buchi state");
            successors[i] = s;
        }
        successors[count] = 0;
        fields.End("Buchi successors");
    }
    _z_ = static_cast<uint32_t*>(Etacolla((lists - 1UL) * sizeof(uint32_t)));
    for (uint32_t k = 0; k + 1 < lists; ++k)
        _z_[k] = in.Word("Buchi label");
    return state;
}

void GetZelNames(BINARYFILE file) {
    TableReader in(file, "GetZelNames");
    Names read;
    for (uint32_t t = 0; t < _ingNofTrans; ++t) {
        read.transitions.push_back(in.Next("transition name").Text());
        read.variables.push_back(NameList(in, _ingNofVars[t], "variable name"));
        const std::vector<std::string>& vars = read.variables.back();
        std::vector<uint32_t> order(vars.size());
        for (uint32_t v = 0; v < order.size(); ++v)
            order[v] = v;
        std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
            return std::strcmp(vars[x].c_str(), vars[y].c_str()) < 0;
        });
        read.order.push_back(std::move(order));
    }
    read.enums = EnumNames(in);
    if (_ingNofClasses != 1)
        read.classes = NameList(in, _ingNofClasses - 1, "class name");
    names.transitions = std::move(read.transitions);
    names.variables = std::move(read.variables);
    names.order = std::move(read.order);
    names.enums = std::move(read.enums);
    names.classes = std::move(read.classes);
}

void GetPlaNames(BINARYFILE file) {
    TableReader in(file, "GetPlaNames");
    if (!_zel && !_vos) {
        for (uint32_t t = 0; t < _ingNofTrans; ++t) {
            in.Next("transition name");
            NameList(in, _ingNofVars[t], "variable name");
        }
        names.enums = EnumNames(in);
        if (_ingNofClasses != 1)
            NameList(in, _ingNofClasses - 1, "class name");
    }
    names.places = NameList(in, _magNofPlaces, "place name");
}

void DelZelNames(int withEnums) {
    Release(names.transitions);
    Release(names.variables);
    Release(names.order);
    Release(names.classes);
    if (withEnums)
        Release(names.enums);
}

void DelPlaNames(void) {
    Release(names.enums);
    Release(names.places);
}

void InsAlloc(unsigned nPlaces, unsigned nTrans) {
    FreeTables();
    _magNofPlaces = nPlaces;
    _magProfile = static_cast<uint32_t*>(YarraColla(nPlaces, sizeof(uint32_t)));
    _ingNofClasses = 1;
    _ingNofTrans = nTrans;
    _ingNofVars = static_cast<uint32_t*>(YarraColla(nTrans, sizeof(uint32_t)));
    _ingNofFd = static_cast<uint32_t*>(YarraColla(nTrans, sizeof(uint32_t)));
    _ingRanges = static_cast<AVLSET**>(YarraColla(nTrans, sizeof(AVLSET*)));
}

void InsOutput(unsigned long number, unsigned char* key, FILE* stream, int vos) {
    const unsigned char* p = key;
    uint32_t tr = NumGet(&p);
    if (tr >= names.transitions.size())
        InternalError("\nInsOutput: no name of transition %u\n", tr);
    char separator = vos ? '.' : '$';
    std::fprintf(stream, "%lu%c%s", number, vos ? '"' : ' ', names.transitions[tr].c_str());
    uint32_t n = _ingNofVars[tr];
    std::vector<DOMAIN> values(n);
    for (DOMAIN& value : values)
        value = SgnValue(NumGet(&p));
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t v = names.order[tr][k];
        std::fprintf(stream, "%c%s%c", separator, names.variables[tr][v].c_str(), separator);
        PrintValue(values[v], stream);
    }
    if (_ingNofClasses > 1) {
        uint32_t cls = NumGet(&p);
        std::fprintf(stream, "%cprec%c", separator, separator);
        if (cls == 0 || cls > names.classes.size())
            std::fprintf(stream, "%u", cls);
        else
            std::fputs(names.classes[cls - 1].c_str(), stream);
    }
    std::fputs(vos ? "\"0@0\n" : "\n", stream);
}

void PlKeyOut(unsigned char* key, FILE* stream, int vos) {
    const unsigned char* p = key;
    uint32_t place = NumGet(&p);
    if (place >= names.places.size())
        InternalError("\nPlKeyOut: no name of place %u\n", place);
    uint32_t arity = ArityOf(&p, place);
    std::fputs(names.places[place].c_str(), stream);
    if (arity == 0)
        return;
    std::fputs(vos ? "." : " <.", stream);
    for (uint32_t i = 0; i < arity; ++i) {
        if (i > 0)
            std::fputs(vos ? "." : ", ", stream);
        PrintValue(SgnValue(NumGet(&p)), stream);
    }
    if (!vos)
        std::fputs(".>", stream);
}

void DotOutput(void) {
    static unsigned long calls = 0;
    static unsigned long dots = 0;
    if (++calls % 10 != 0)
        return;
    std::fputc('.', _out);
    if (++dots % 25 == 0)
        std::fputc('\n', _out);
    std::fflush(_out);
}

}  // extern "C"
