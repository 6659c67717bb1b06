// Net records, initialisation from the table file, arcs, the marking
// encoding and the random numbers, each on its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "alloc.h"
#include "encode.h"
#include "enginetest.h"
#include "fileaux.h"
#include "inst.h"
#include "plainnet.h"
#include "testutil.h"

using enginetest::Hex;

namespace {

std::string Bytes(const unsigned char* data, std::size_t n) { return std::string(reinterpret_cast<const char*>(data), n); }

// A table of place records with the given counts (slot = index).
RADIX* Table(const std::vector<unsigned long>& counts) {
    RADIX* table = RadixCreate(counts.size(), &plcTools);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        PLC* plc = PlcCons();
        plc->_count = counts[i];
        RadixPut(table, plc, i);
    }
    return table;
}

std::string Encode(RADIX* table) {
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    unsigned length = PlcEncode(table, &buffer, &size);
    EXPECT_GT(size, length);
    std::string text = Bytes(buffer, length + 1);
    Deallocate(buffer);
    return text;
}

TEST(EngineEncoding, NodeContents) {
    std::vector<unsigned long> counts(201, 0);
    counts[0] = 1;
    counts[200] = 3;
    RADIX* table = Table(counts);
    EXPECT_EQ(Hex(Encode(table)), "01 84 49 02 82 02 00");
    // Decoding sets every count, the ones not named to 0.
    _tblPlc = table;
    std::string contents = "\x02\x82\x01";  // slot 1, count 2
    PlcDecode(reinterpret_cast<unsigned char*>(contents.data()));
    EXPECT_EQ(static_cast<PLC*>(RadixGet(table, 0))->_count, 0u);
    EXPECT_EQ(static_cast<PLC*>(RadixGet(table, 1))->_count, 2u);
    EXPECT_EQ(static_cast<PLC*>(RadixGet(table, 200))->_count, 0u);
    EXPECT_EQ(Hex(Encode(table)), "02 82 01 00");
    static_cast<PLC*>(RadixGet(table, 1))->_count = 0;
    EXPECT_EQ(Hex(Encode(table)), "00") << "an empty marking is the single byte 0";
    _tblPlc = nullptr;
    RadixDestroy(table, TRUE);
}

// The buffer grows to length + length / 2 + 1 when the length is not below
// its size, and keeps its size otherwise.
TEST(EngineEncoding, BufferGrowth) {
    RADIX* table = Table({1, 1, 1, 1});
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    EXPECT_EQ(PlcEncode(table, &buffer, &size), 4u);
    EXPECT_EQ(size, 7u);
    unsigned char* same = buffer;
    EXPECT_EQ(PlcEncode(table, &buffer, &size), 4u);
    EXPECT_EQ(buffer, same);
    Deallocate(buffer);
    RadixDestroy(table, TRUE);
}

// Contents naming a slot beyond the table, or a broken number, are internal
// errors; a count beyond 32 bits stops with a message instead of merging
// states.
TEST(EngineEncoding, RefusesWhatItCannotHold) {
    auto bad = supporttest::RunChild([] {
        RADIX* table = Table({1, 1});
        _tblPlc = table;
        std::string contents = "\x05";
        PlcDecode(reinterpret_cast<unsigned char*>(contents.data()));
    });
    EXPECT_EQ(bad.signal, SIGABRT);
    EXPECT_NE(bad.err.find("PlcDecode: node contents out of range"), std::string::npos);
    auto truncated = supporttest::RunChild([] {
        RADIX* table = Table({1, 1});
        _tblPlc = table;
        std::string contents = "\x02\x82";
        PlcDecode(reinterpret_cast<unsigned char*>(contents.data()));
    });
    EXPECT_EQ(truncated.signal, SIGABRT);
    auto big = supporttest::RunChild([] {
        RADIX* table = Table({0, 0x100000000UL});
        unsigned char* buffer = nullptr;
        unsigned size = 0;
        PlcEncode(table, &buffer, &size);
    });
    EXPECT_TRUE(big.exited);
    EXPECT_EQ(big.code, 8);
    EXPECT_NE(big.err.find("Place 1 would hold 4294967296 tokens"), std::string::npos) << big.err;
}

TEST(EngineRandom, LinearCongruenceOverTheUpperBits) {
    PtSRandom(1);
    EXPECT_EQ(PtRandom(10), 2u);
    EXPECT_EQ(PtRandom(10), 5u);
    EXPECT_EQ(PtRandom(10), 1u);
    unsigned term = PtTerm();
    std::vector<unsigned> a, b;
    for (int k = 0; k < 20; ++k)
        a.push_back(PtRandom(1000));
    PtSRandom(term);
    for (int k = 0; k < 20; ++k)
        b.push_back(PtRandom(1000));
    EXPECT_EQ(a, b);
    for (int k = 0; k < 100; ++k)
        EXPECT_EQ(PtRandom(1), 0u);
}

// ---- transitions and their arcs ----

class EngineArcs : public ::testing::Test {
protected:
    void SetUp() override {
        InsAlloc(4, 2);
        PtLTSInit();
    }
    void TearDown() override { PtRelease(); }

    static TRN* Transition(int index, int* isNew) {
        InsEncode(index, 0, nullptr, &_engBuffer, &_engBfSize);
        return GetTrn(0, _engBuffer, isNew);
    }
    static void In(TRN* t, unsigned long w, unsigned p) { Put(t, w, p, true); }
    static void Out(TRN* t, unsigned long w, unsigned p) { Put(t, w, p, false); }
    static void Put(TRN* t, unsigned long w, unsigned p, bool in) {
        TUPLE* tuple = TupCons(0);
        if (in)
            PutInArc(t, w, p, tuple);
        else
            PutOutArc(t, w, p, tuple);
        TupDiscard(tuple);
    }
    static PLC* Place(unsigned p) {
        TUPLE* tuple = TupCons(0);
        TupEncode(static_cast<int>(p), tuple, &_engBuffer, &_engBfSize);
        TupDiscard(tuple);
        return GetPlc(_engBuffer);
    }
    static std::string Describe(LIST* list, bool drc) {
        if (list == nullptr)
            return "-";
        std::string text;
        for (LISTNODE* cell = list->_first; cell != nullptr; cell = cell->_next) {
            if (!text.empty())
                text += " ";
            if (drc) {
                auto* a = static_cast<TRDRC*>(cell->_node);
                text += std::to_string(a->_in) + "/" + std::to_string(a->_out);
            } else {
                text += std::to_string(static_cast<TRARC*>(cell->_node)->_weight);
            }
        }
        return text;
    }
};

// Arcs to one place added twice merge; taking and giving back the same
// number is a test arc; otherwise the place gets a double arc.
TEST_F(EngineArcs, ReformSortsTheArcClasses) {
    int isNew = 0;
    TRN* t = Transition(0, &isNew);
    EXPECT_EQ(isNew, 1);
    EXPECT_EQ(Transition(0, &isNew), t);
    EXPECT_EQ(isNew, 0) << "the same key twice is the same record";
    In(t, 1, 0);
    In(t, 2, 0);   // merged: 3 from place 0
    In(t, 2, 1);
    Out(t, 2, 1);  // test arc on place 1
    In(t, 1, 2);
    Out(t, 3, 2);  // takes 1, puts 3: mostly output
    Out(t, 1, 3);
    TrnReform(t);
    EXPECT_EQ(Describe(t->_pureIn, false), "3");
    EXPECT_EQ(Describe(t->_pureOut, false), "1");
    EXPECT_EQ(Describe(t->_neutral, false), "2");
    EXPECT_EQ(Describe(t->_mostIn, true), "-");
    EXPECT_EQ(Describe(t->_mostOut, true), "1/3");
    PLC* p1 = Place(1);
    PLC* p2 = Place(2);
    EXPECT_EQ(p1->_lp._pureIn, nullptr);
    EXPECT_EQ(p1->_pureOut, nullptr);
    ASSERT_NE(p1->_neutral, nullptr);
    EXPECT_EQ(static_cast<PLARC*>(p1->_neutral->_first->_node)->_trn, t);
    ASSERT_NE(p2->_mostIn, nullptr);
    auto* d = static_cast<PLDRC*>(p2->_mostIn->_first->_node);
    EXPECT_EQ(d->_in, 3u) << "a place's double arc: put";
    EXPECT_EQ(d->_out, 1u) << "taken";
    EXPECT_EQ(static_cast<PLARC*>(Place(0)->_pureOut->_first->_node)->_weight, 3u);
}

// Copies are deep where the record owns, the block included (a null block
// stays null); TrnStore and TrnRestore save and bring back bits 1 to 16.
TEST_F(EngineArcs, CopiesAndSavedMarks) {
    int isNew = 0;
    TRN* t = Transition(1, &isNew);
    In(t, 2, 0);
    Out(t, 1, 3);
    TrnReform(t);
    TRN* copy = TrnCopy(t);
    EXPECT_EQ(copy->_block, nullptr);
    EXPECT_EQ(Describe(copy->_pureIn, false), "2");
    EXPECT_NE(copy->_pureIn, t->_pureIn);
    TrnDiscard(copy);
    t->_block = static_cast<unsigned*>(Etacolla(3 * sizeof(unsigned)));
    t->_block[0] = 4;
    t->_block[1] = 9;
    t->_block[2] = 0xFFFFFFFFu;
    copy = TrnCopy(t);
    ASSERT_NE(copy->_block, t->_block);
    EXPECT_EQ(copy->_block[1], 9u);
    EXPECT_EQ(copy->_block[2], 0xFFFFFFFFu);
    TrnDiscard(copy);
    t->_flag = TRN_ENABLED | TRN_MARK8 | TRN_VISIBLE;
    TrnStore(t);
    t->_flag &= ~(TRN_ENABLED | TRN_MARK8);
    t->_flag |= TRN_DELETED;
    TrnRestore(t);
    EXPECT_EQ(t->_flag, TRN_ENABLED | TRN_MARK8 | TRN_VISIBLE);
}

TEST_F(EngineArcs, StateOfAMarking) {
    Place(0);
    Place(2);
    PlcFill();
    TrnFill();
    STATE* state = PtState();
    for (int p = 0; p < 4; ++p)
        EXPECT_TRUE(LstEmpty(state[p])) << "no tokens: one empty list per place";
    StaDiscard(state);
}

// ---- the table file ----

struct DatWriter {
    std::string bytes;
    void Word(std::uint32_t w) {
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<char>(w >> (8 * k)));
    }
    void Record(const std::string& r) {
        Word(static_cast<std::uint32_t>(r.size()));
        bytes += r;
    }
    static std::string Num(std::uint32_t v) {
        unsigned char b[8];
        return Bytes(b, static_cast<std::size_t>(NumPut(v, b) - b));
    }
    static std::string Sgn(std::int32_t v) { return Num(SgnCode(static_cast<DOMAIN>(v))); }
};

// Place a (arity 0) holds 5 tokens, b (arity 1) <.2.> and 3<.7.>, the
// tester t (arity 1) <.1.>; tester value 1 is a deadlock state, 4 a reject
// and infinite-path state; a Buchi automaton of two states.
std::string TablesWithTesterAndBuchi() {
    DatWriter w;
    w.Word(0);
    w.Word(2);  // tester place
    w.Word(1);
    w.Record(DatWriter::Num(3) + DatWriter::Num(0) + DatWriter::Num(1) + DatWriter::Num(1));
    w.Record(DatWriter::Num(0));
    w.Record("");
    w.Record(DatWriter::Num(0) + DatWriter::Num(4));                                  // a: 5
    w.Record(DatWriter::Num(1) + DatWriter::Sgn(2));                                  // b: <.2.>
    w.Record(DatWriter::Num(1) + DatWriter::Sgn(7) + "\x82" + DatWriter::Num(1));     // b: 3<.7.>
    w.Record(DatWriter::Num(2) + DatWriter::Sgn(1));                                  // t: <.1.>
    w.Word(0xFFFFFFFFu);
    w.Record(DatWriter::Sgn(1) + DatWriter::Num(2));
    w.Record(DatWriter::Sgn(4) + DatWriter::Num(9));
    w.Word(0xFFFFFFFFu);
    w.Word(3);  // two states and the state before the start
    w.Record(DatWriter::Num(2) + DatWriter::Sgn(1) + DatWriter::Sgn(2));
    w.Record(DatWriter::Num(1) + DatWriter::Sgn(2));
    w.Record(DatWriter::Num(1) + DatWriter::Sgn(1));
    w.Word(0x11);
    w.Word(0x22);
    std::uint32_t names = static_cast<std::uint32_t>(w.bytes.size());
    w.Word(0);
    w.Record("a");
    w.Record("b");
    w.Record("t");
    for (int k = 0; k < 4; ++k)
        w.bytes[k] = static_cast<char>(names >> (8 * k));
    return w.bytes;
}

PLC* Instance(unsigned place, std::vector<DOMAIN> values) {
    TUPLE* tuple = TupCons(static_cast<uint32_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k)
        tuple->_array[k] = values[k];
    TupEncode(static_cast<int>(place), tuple, &_engBuffer, &_engBfSize);
    TupDiscard(tuple);
    return static_cast<PLC*>(BalTrElement(_plcAvlset, _engBuffer));
}

TEST(EngineTables, InitialMarkingTesterAndBuchiSection) {
    testsupport::TempDir dir;
    testsupport::write_file(dir.file("x.dat"), TablesWithTesterAndBuchi());
    BINARYFILE dat = OpenRead(dir.file("x.dat").c_str(), 1);
    unsigned char word[4];
    ReadBytes(word, 4, dat);
    InsReadTables(dat, TRUE);
    _onTheFly = FLY_TESTER;
    PtInit(dat);
    OwnClose(dat);
    // The count of an arity-0 place is not part of its key: the instance
    // the arcs name holds the 5 tokens.
    ASSERT_NE(Instance(0, {}), nullptr);
    EXPECT_EQ(Instance(0, {})->_count, 5u);
    EXPECT_EQ(Instance(1, {2})->_count, 1u);
    EXPECT_EQ(Instance(1, {7})->_count, 3u);
    EXPECT_EQ(_onTheFly, FLY_TESTER | FLY_DEADLOCK | FLY_REJECT | FLY_INFINITE | FLY_BUCHI);
    PLC* t1 = Instance(2, {1});
    PLC* t2 = Instance(2, {2});
    PLC* t3 = Instance(2, {3});
    ASSERT_TRUE(t1 && t2 && t3);
    EXPECT_EQ(t1->_flag, PLC_DEADLOCK | PLC_BUCHI);
    EXPECT_EQ(Instance(2, {4})->_flag, PLC_REJECT | PLC_INFINITE);
    EXPECT_EQ(_ptFlyPlc, t1) << "the marked tester place";
    auto next = [](PLC* p) {
        std::vector<PLC*> list;
        for (LISTNODE* c = p->_lp._next->_first; c != nullptr; c = c->_next)
            list.push_back(static_cast<PLC*>(c->_node));
        return list;
    };
    EXPECT_EQ(next(t1), (std::vector<PLC*>{t1, t2}));
    EXPECT_EQ(next(t2), (std::vector<PLC*>{t2}));
    EXPECT_EQ(next(t3), (std::vector<PLC*>{t1})) << "the state before the start lists the initial states";
    ASSERT_NE(_z_, nullptr);
    EXPECT_EQ(_z_[0], 0x11u);
    EXPECT_EQ(_z_[1], 0x22u);
    // Keys stay with a Buchi automaton, and the marking reads back as a
    // state per place.
    PlcFill();
    TrnFill();
    STATE* state = PtState();
    EXPECT_EQ(LstSize(state[0]), 1u);
    EXPECT_EQ(LstSize(state[1]), 2u);
    EXPECT_EQ(static_cast<MULTUP*>(state[1]->_last->_node)->_count, 3u);
    EXPECT_EQ(LstSize(state[2]), 1u);
    StaDiscard(state);
    PtRelease();
    _onTheFly = 0;
}

}  // namespace

extern "C" int EngineCHeadersSmoke(void);

// The headers of the generated code compile as C.
TEST(EngineCHeaders, CompileAndRunAsC) { EXPECT_EQ(EngineCHeadersSmoke(), 1); }
