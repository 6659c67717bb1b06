// The instance codec and the table readers: a hand-built table file read
// back, keys and state strings against decoded models on random nets, let
// sets, tester and Büchi parts, and malformed files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
#include "fileaux.h"
#include "inst.h"
#include "petri_test.h"
#include "testutil.h"

using supporttest::Hex;
using testsupport::read_file;
using supporttest::RunChild;
using testsupport::TempDir;
using testsupport::write_file;

namespace {

// A table file built byte by byte.
struct Dat {
    std::string bytes;
    Dat& Word(uint32_t w) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((w >> (8 * i)) & 0xFF);
        return *this;
    }
    Dat& Record(const std::vector<int>& content) {
        Word(static_cast<uint32_t>(content.size()));
        for (int b : content)
            bytes += static_cast<char>(b);
        return *this;
    }
    Dat& Name(const std::string& name) {
        Word(static_cast<uint32_t>(name.size()));
        bytes += name;
        return *this;
    }
};

// A small net: p (arity 1) holding <3> and 2<-1>, q (arity 0) holding 5
// (or nothing), t with variable x, one class, no tester.
Dat SmallNet(bool qMarked = true) {
    Dat dat;
    dat.Word(qMarked ? 58 : 52).Word(0xFFFFFFFF).Word(1);
    dat.Record({0x03, 0x02, 0x01});  // 2 places: arities 1, 0
    dat.Record({0x02, 0x02});        // 1 transition of 1 variable
    dat.Record({0x01});              // no fd variable
    dat.Word(0);                     // no let set
    dat.Record({0x01, 0x04});              // p <3>
    dat.Record({0x01, 0x11, 0x82, 0x01});  // p 2<-1>
    if (qMarked)
        dat.Record({0x02, 0x05});  // q 5
    dat.Word(0xFFFFFFFF);
    dat.Name("t").Name("x").Word(0).Name("p").Name("q");
    return dat;
}

// Opens the table file, reads word 0 and the tables.
BINARYFILE OpenTables(const std::string& name, int withRanges, uint32_t* word0 = nullptr) {
    BINARYFILE file = OpenRead(name.c_str(), TRUE);
    unsigned char head[4];
    ReadBytes(head, 4, file);
    if (word0 != nullptr)
        *word0 = static_cast<uint32_t>(head[0] | head[1] << 8 | head[2] << 16 | head[3] << 24);
    InsReadTables(file, withRanges);
    return file;
}

std::string Printed(const std::function<void(FILE*)>& print) {
    char* text = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&text, &size);
    print(stream);
    std::fclose(stream);
    std::string result(text, size);
    std::free(text);
    return result;
}

TUPLE* MakeTuple(const std::vector<DOMAIN>& values) {
    TUPLE* tuple = TupCons(static_cast<uint32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i)
        tuple->_array[i] = values[i];
    return tuple;
}

// The decoded form of a place key: place, arity, values.
struct PlaceKey {
    uint32_t place;
    std::vector<DOMAIN> values;
    bool operator<(const PlaceKey& other) const {
        if (place != other.place)
            return place < other.place;
        if (values.size() != other.values.size())
            return values.size() < other.values.size();
        return values < other.values;
    }
};

int Sign(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

}  // namespace

TEST(Inst, HandBuiltTableFileReadsBack) {
    TempDir dir;
    std::string name = dir.file("net.dat");
    write_file(name, SmallNet().bytes);
    _onTheFly = 0;
    uint32_t word0 = 0;
    BINARYFILE file = OpenTables(name, TRUE, &word0);
    EXPECT_EQ(word0, 58u);
    EXPECT_EQ(_magNofPlaces, 2u);
    EXPECT_EQ(_magProfile[0], 1u);
    EXPECT_EQ(_magProfile[1], 0u);
    EXPECT_EQ(_ingNofTrans, 1u);
    EXPECT_EQ(_ingNofVars[0], 1u);
    EXPECT_EQ(_ingNofFd[0], 0u);
    EXPECT_EQ(_ingNofClasses, 1u);
    EXPECT_EQ(_monPlInd, 0xFFFFFFFFu);
    EXPECT_EQ(_ingRanges[0], nullptr);
    EXPECT_EQ(_onTheFly, 0u);
    EXPECT_EQ(insMarkingOffset, 34u);

    STATE* state = InsReadMarking(file);
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    int length = StaEncode(state, &buffer, &size);
    EXPECT_EQ(Hex(buffer, static_cast<size_t>(length) + 1), "04 11 82 01 81 05 81 00");
    EXPECT_EQ(size, 7u + 3 + 1);  // grown from 0 by the rule length + length / 2 + 1
    TUPLE* wide = MakeTuple({3, 4});
    length = TupEncode(0, wide, &buffer, &size);
    EXPECT_EQ(Hex(buffer, static_cast<size_t>(length) + 1), "01 83 03 04 05 00");
    EXPECT_EQ(size, 11u);  // room enough: unchanged

    // Names, in both text forms.
    _vos = 1;
    SeekAbs(file, word0);
    GetZelNames(file);
    GetPlaNames(file);
    DOMAIN x = 3;
    InsEncode(0, 0, &x, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { InsOutput(7, buffer, s, 1); }), "7\"t.x.3\"0@0\n");
    EXPECT_EQ(Printed([&](FILE* s) { InsOutput(7, buffer, s, 0); }), "7 t$x$3\n");
    TUPLE* three = MakeTuple({3});
    TupEncode(0, three, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 1); }), "p.3");
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 0); }), "p <.3.>");
    TUPLE* none = MakeTuple({});
    TupEncode(1, none, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 0); }), "q");
    TupEncode(1, three, &buffer, &size);  // an arity other than the profile's
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 1); }), "q.3");
    // Both releases may run, in either order, without freeing twice.
    DelZelNames(1);
    DelPlaNames();
    DelZelNames(1);

    // Without ZEL and VOS output the place names are read alone.
    _vos = 0;
    SeekAbs(file, word0);
    GetPlaNames(file);
    TupEncode(0, three, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 1); }), "p.3");
    DelPlaNames();
    DelZelNames(0);

    // A second reader seeks to the marking section again.
    SeekAbs(file, insMarkingOffset);
    STATE* again = InsReadMarking(file);
    EXPECT_TRUE(MarEqual(again[0], state[0]));
    EXPECT_TRUE(MarEqual(again[1], state[1]));
    StaDiscard(again);
    StaDiscard(state);
    TupDiscard(wide);
    TupDiscard(three);
    TupDiscard(none);
    Deallocate(buffer);
    OwnClose(file);
}

namespace {

// The small net compiled by tulc, when tulc is built; the table file's bytes
// or "" without tulc.
std::string CompiledSmallNet(const std::string& qClause) {
    std::string tulc = std::string(VOS_BIN_DIR) + "/tulc";
    if (access(tulc.c_str(), X_OK) != 0)
        return "";
    TempDir dir;
    mkdir(dir.file("x.src").c_str(), 0777);
    write_file(dir.file("x.net"), "#place p mk(<.3.> + 2<.0-1.>)\n#place q" + qClause +
                                      "\n#trans t\nin{p:<.x.>;}\nout{p:<.x.>;}\n#endtr\n");
    testsupport::run("cd " + testsupport::shell_quote(dir.path()) + " && TULMPATH=" +
                     testsupport::shell_quote(TULM_SOURCE_PATH) + " ASAN_OPTIONS=detect_leaks=0 " +
                     testsupport::shell_quote(tulc) + " x");
    return read_file(dir.file("x.dat"));
}

}  // namespace

TEST(Inst, TulcWritesTheHandBuiltBytes) {
    std::string compiled = CompiledSmallNet("");
    if (compiled.empty())
        GTEST_SKIP() << "tulc is not built";
    EXPECT_EQ(compiled, SmallNet(false).bytes);
}

// A place of arity 0 marked with five tokens: the count alone.
TEST(Inst, TulcWritesTheArityZeroMarking) {
    std::string compiled = CompiledSmallNet(" mk(5<. .>)");
    if (compiled.empty())
        GTEST_SKIP() << "tulc is not built";
    EXPECT_EQ(compiled, SmallNet(true).bytes);
}

TEST(Inst, KeysAndStatesAgreeWithTheirDecodedForms) {
    std::mt19937 random(31);
    const DOMAIN samples[] = {0, 1, 15, 16, 127, 300, 0x7FFFFFFF, 0x80000000, 0xFFFFFF00, 0xFFFFFEFF, 0xFFFFFFFF};
    auto value = [&] { return samples[random() % 11] + static_cast<DOMAIN>(random() % 3); };
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    for (int round = 0; round < 60; ++round) {
        uint32_t places = 1 + random() % 5;
        uint32_t transitions = 1 + random() % 4;
        InsAlloc(places, transitions);
        _ingNofClasses = 1 + random() % 3;
        for (uint32_t p = 0; p < places; ++p)
            _magProfile[p] = random() % 3;
        for (uint32_t t = 0; t < transitions; ++t) {
            _ingNofVars[t] = random() % 4;
            _ingNofFd[t] = _ingNofVars[t] == 0 ? 0 : random() % (_ingNofVars[t] + 1);
        }
        // A random state; some entries of another arity than the profile.
        STATE* state = static_cast<STATE*>(Etacolla(places * sizeof(STATE)));
        for (uint32_t p = 0; p < places; ++p) {
            state[p] = LstCreate(&multupTools);
            for (int k = static_cast<int>(random() % 5); k > 0; --k) {
                uint32_t arity = random() % 4 == 0 ? random() % 3 : _magProfile[p];
                std::vector<DOMAIN> values(arity);
                for (DOMAIN& v : values)
                    v = value();
                uint32_t counts[] = {1, 2, 3, 129, 0xFFFFFFFF};
                TUPLE* tuple = MakeTuple(values);
                bool present = false;
                for (LISTNODE* cell = state[p]->_first; cell != nullptr; cell = cell->_next)
                    present = present || TupCompare(static_cast<MULTUP*>(cell->_node)->_tuple, tuple) == 0;
                if (present)
                    TupDiscard(tuple);
                else
                    MarInsert(state[p], MultupCons(counts[random() % 5], tuple));
            }
        }
        unsigned before = size;
        int length = StaEncode(state, &buffer, &size);
        ASSERT_EQ(std::strlen(reinterpret_cast<char*>(buffer)), static_cast<size_t>(length));
        if (before <= static_cast<unsigned>(length)) {
            ASSERT_EQ(size, static_cast<unsigned>(length + length / 2 + 1));
        }
        STATE* decoded = static_cast<STATE*>(Etacolla(places * sizeof(STATE)));
        StaDecode(buffer, decoded);
        for (uint32_t p = 0; p < places; ++p)
            ASSERT_TRUE(MarEqual(decoded[p], state[p]));
        StaDiscard(decoded);

        // Place keys: round trip and the order of their decoded forms.
        std::vector<std::pair<std::vector<unsigned char>, PlaceKey>> keys;
        for (uint32_t p = 0; p < places; ++p)
            for (LISTNODE* cell = state[p]->_first; cell != nullptr; cell = cell->_next) {
                TUPLE* tuple = static_cast<MULTUP*>(cell->_node)->_tuple;
                length = TupEncode(static_cast<int>(p), tuple, &buffer, &size);
                ASSERT_EQ(std::strlen(reinterpret_cast<char*>(buffer)), static_cast<size_t>(length));
                TUPLE back;
                unsigned place = 99;
                TupDecode(&place, buffer, &back);
                ASSERT_EQ(place, p);
                ASSERT_EQ(TupCompare(&back, tuple), 0);
                Deallocate(back._array);
                keys.emplace_back(std::vector<unsigned char>(buffer, buffer + length + 1),
                                  PlaceKey{p, std::vector<DOMAIN>(tuple->_array, tuple->_array + tuple->_arity)});
            }
        for (auto& [a, ka] : keys)
            for (auto& [b, kb] : keys)
                ASSERT_EQ(BTupComp(a.data(), b.data()), Sign(ka < kb, kb < ka));

        // Transition-instance keys.
        std::vector<std::pair<std::vector<unsigned char>, std::vector<DOMAIN>>> instances;
        for (int k = 0; k < 12; ++k) {
            uint32_t tr = random() % transitions;
            unsigned cls = _ingNofClasses > 1 ? random() % _ingNofClasses : 0;
            std::vector<DOMAIN> values(_ingNofVars[tr]);
            for (DOMAIN& v : values)
                v = random() % 3 == 0 ? 1 : value();
            length = InsEncode(static_cast<int>(tr), cls, values.data(), &buffer, &size);
            unsigned backTr = 99, backClass = 99;
            DOMAIN* back = InsDecode(&backTr, &backClass, buffer);
            ASSERT_EQ(backTr, tr);
            ASSERT_EQ(backClass, cls);
            ASSERT_EQ(std::vector<DOMAIN>(back, back + values.size()), values);
            Deallocate(back);
            std::vector<DOMAIN> full = values;
            full.insert(full.begin(), tr);
            instances.emplace_back(std::vector<unsigned char>(buffer, buffer + length + 1), full);
        }
        for (auto& [a, va] : instances)
            for (auto& [b, vb] : instances) {
                ASSERT_EQ(InsComp(a.data(), b.data()), Sign(va < vb, vb < va));
                uint32_t fa = _ingNofFd[va[0]], fb = _ingNofFd[vb[0]];
                bool fdEqual = fa == fb && std::equal(va.begin() + 1, va.begin() + 1 + fa, vb.begin() + 1);
                ASSERT_EQ(FdEqual(a.data(), b.data()), fdEqual);
            }
        StaDiscard(state);
    }
    Deallocate(buffer);
}

namespace {

std::vector<std::vector<DOMAIN>> visits;
DOMAIN visitValues[3];

void Visit() { visits.emplace_back(visitValues, visitValues + 2); }

// Two transitions: u with a let set of pairs over (a, b), and v with none;
// a tester place and a Büchi automaton of two states.
Dat LetAndTesterNet() {
    Dat dat;
    dat.Word(0).Word(1).Word(3);                // tester place 1, three classes
    dat.Record({0x03, 0x02, 0x02});             // p arity 1, tester arity 1
    dat.Record({0x03, 0x03, 0x01});             // u 2 variables, v none
    dat.Record({0x02, 0x01});                   // u 1 fd variable
    dat.Record({0x02, 0x11}).Record({0x01, 0x03}).Record({0x01, 0x02}).Record({0x01, 0x03});
    dat.Word(0);                                 // u: {(1,-1), (0,2), (0,1)} and a duplicate
    dat.Word(0);                                 // v: none
    dat.Record({0x02, 0x04});                   // tester <3>
    dat.Word(0xFFFFFFFF);
    dat.Record({0x11, 0x03});                    // tester value -1: deadlock
    dat.Record({0x03, 0x06});                    // value 2: reject, livelock
    dat.Word(0xFFFFFFFF);
    dat.Word(3);                                 // two states
    dat.Record({0x03, 0x02, 0x03});             // state 1 -> 1, 2
    dat.Record({0x02, 0x02});                    // state 2 -> 1
    dat.Record({0x02, 0x03});                    // initial: 2
    dat.Word(0x9).Word(0x6);                    // label words
    return dat;
}

}  // namespace

TEST(Inst, LetSetsTesterAndBuchiParts) {
    TempDir dir;
    std::string name = dir.file("let.dat");
    write_file(name, LetAndTesterNet().bytes);
    _onTheFly = 0;
    BINARYFILE file = OpenTables(name, TRUE);
    ASSERT_NE(_ingRanges[0], nullptr);
    EXPECT_EQ(_ingRanges[0]->elCount, 3u);
    EXPECT_EQ(_ingRanges[1], nullptr);
    EXPECT_EQ(_onTheFly, 1u);
    unsigned long markingAt = insMarkingOffset;

    unsigned char* buffer = nullptr;
    unsigned size = 0;
    DOMAIN in[] = {0, 2};
    DOMAIN out[] = {2, 0};
    EXPECT_EQ(InRange(0, 2, in, &buffer, &size), 1);
    EXPECT_EQ(InRange(0, 2, out, &buffer, &size), 0);
    visits.clear();
    TravRange(0, 2, visitValues, Visit);
    // The set's order: the encoded strings bytewise.
    EXPECT_EQ(visits, (std::vector<std::vector<DOMAIN>>{{0, 1}, {0, 2}, {1, 0xFFFFFFFF}}));

    STATE* state = InsReadMarking(file);
    EXPECT_EQ(_onTheFly, 1u | 4u | 2u | 8u | 128u);
    ASSERT_NE(monitors, nullptr);
    EXPECT_EQ(monitors->elCount, 2u);
    unsigned long minusOne = 0xFFFFFFFF, two = 2;
    EXPECT_EQ(static_cast<MON*>(BalTrElement(monitors, &minusOne))->flag, 2u);
    EXPECT_EQ(static_cast<MON*>(BalTrElement(monitors, &two))->flag, 5u);
    EXPECT_EQ(std::vector<DOMAIN>(_x_[0], _x_[0] + 3), (std::vector<DOMAIN>{1, 2, 0}));
    EXPECT_EQ(std::vector<DOMAIN>(_x_[1], _x_[1] + 2), (std::vector<DOMAIN>{1, 0}));
    EXPECT_EQ(std::vector<DOMAIN>(_x_[2], _x_[2] + 2), (std::vector<DOMAIN>{2, 0}));
    EXPECT_EQ(_z_[0], 9u);
    EXPECT_EQ(_z_[1], 6u);
    StaDiscard(state);
    OwnClose(file);

    // Read again without the let sets: the file still stands at the
    // marking section.
    file = OpenTables(name, FALSE);
    EXPECT_EQ(_ingRanges[0], nullptr);
    EXPECT_EQ(insMarkingOffset, markingAt);
    StaDiscard(InsReadMarking(file));
    OwnClose(file);
    Deallocate(buffer);

    // Internal errors of the let sets.
    struct Case {
        std::function<void()> body;
        std::string message;
    };
    std::vector<Case> cases = {
        {[&] { InRange(1, 1, in, &buffer, &size); }, "\nInRange: internal error\n"},
        {[&] { InRange(0, 0, in, &buffer, &size); }, "\nInRange: internal error\n"},
        {[&] { TravRange(1, 2, visitValues, Visit); }, "\nTravRange: internal error\n"},
        {[&] {
             OpenTables(name, TRUE);
             DOMAIN one[1];  // nothing may be written past it
             TravRange(0, 1, one, Visit);
         },
         "\nVisComb: nVisComb == 1, a - aVisComb == 2\n"},
    };
    for (const Case& c : cases) {
        auto run = RunChild(c.body);
        EXPECT_EQ(run.signal, SIGABRT);
        EXPECT_EQ(run.out, "\n");
        EXPECT_EQ(run.err, c.message);
    }
}

TEST(Inst, NamesEnumerationsAndClasses) {
    TempDir dir;
    std::string name = dir.file("names.dat");
    Dat dat;
    dat.Word(0).Word(0xFFFFFFFF).Word(2);
    dat.Record({0x02, 0x03});        // one place of arity 2
    dat.Record({0x02, 0x04});        // one transition of 3 variables
    dat.Record({0x01});
    dat.Word(0);
    dat.Word(0xFFFFFFFF);
    uint32_t names = static_cast<uint32_t>(dat.bytes.size());
    dat.Name("send").Name("z").Name("a").Name("m");
    dat.Word(2).Name("red").Name("green");
    dat.Name("fast");
    dat.Name("chan");
    write_file(name, dat.bytes);
    _onTheFly = 0;
    BINARYFILE file = OpenTables(name, TRUE);
    StaDiscard(InsReadMarking(file));
    _zel = 1;
    SeekAbs(file, names);
    GetZelNames(file);
    GetPlaNames(file);
    _zel = 0;
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    // z = red (enumeration 0 is -1), a = 5, m = green.
    DOMAIN values[] = {0xFFFFFFFF, 5, 0xFFFFFFFE};
    InsEncode(0, 1, values, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { InsOutput(12, buffer, s, 0); }), "12 send$a$5$m$green$z$red$prec$fast\n");
    InsEncode(0, 0, values, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { InsOutput(1, buffer, s, 1); }), "1\"send.a.5.m.green.z.red.prec.0\"0@0\n");
    TUPLE* tuple = MakeTuple({0xFFFFFFFE, 0xFFFFFFFD});
    TupEncode(0, tuple, &buffer, &size);
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 0); }), "chan <.green, 4294967293.>");
    EXPECT_EQ(Printed([&](FILE* s) { PlKeyOut(buffer, s, 1); }), "chan.green.4294967293");
    TupDiscard(tuple);
    Deallocate(buffer);
    DelPlaNames();
    DelZelNames(1);
    OwnClose(file);
}

TEST(Inst, MalformedTableFilesStopWithAMessage) {
    // Each case mutates the small net's bytes.
    struct Case {
        const char* what;
        std::function<void(std::string&)> mutate;
        const char* reader;
        bool marking;  // fails in InsReadMarking
    };
    auto setWord = [](std::string& b, size_t at, uint32_t w) {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<char>((w >> (8 * i)) & 0xFF);
    };
    std::vector<Case> cases = {
        {"place profile", [&](std::string& b) { setWord(b, 12, 0xFFFFFFFF); }, "InsReadTables", false},
        {"place profile", [](std::string& b) { b[16] = 0x05; }, "InsReadTables", false},
        {"place profile", [](std::string& b) { b[17] = static_cast<char>(0x84); }, "InsReadTables", false},
        {"tester place", [&](std::string& b) { setWord(b, 4, 2); }, "InsReadTables", false},
        {"class count", [&](std::string& b) { setWord(b, 8, 0); }, "InsReadTables", false},
        {"fd count", [](std::string& b) { b[29] = 0x03; }, "InsReadTables", false},
        {"let set", [](std::string& b) { b.resize(31); }, "InsReadTables", false},
        {"place index", [](std::string& b) { b[38] = 0x03; }, "InsReadMarking", true},
        {"initial marking record", [&](std::string& b) { setWord(b, 34, 3); b.insert(40, 1, '\x01'); },
         "InsReadMarking", true},
        {"count", [&](std::string& b) { b.replace(53, 1, std::string("\x87\x80\x80\x80\x80\x10", 6)); setWord(b, 48, 7); },
         "InsReadMarking", true},
        {"initial marking out of order", [](std::string& b) { b[39] = 0x11; }, "InsReadMarking", true},
        {"initial marking", [](std::string& b) { b.resize(56); }, "InsReadMarking", true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string name = dir.file("bad.dat");
        std::string bytes = SmallNet().bytes;
        c.mutate(bytes);
        write_file(name, bytes);
        auto run = RunChild([&] {
            _onTheFly = 0;
            BINARYFILE file = OpenTables(name, TRUE);
            if (c.marking)
                InsReadMarking(file);
        });
        EXPECT_EQ(run.signal, SIGABRT) << c.what;
        EXPECT_EQ(run.err, std::string("\n") + c.reader + ": malformed table file: " + c.what + "\n");
    }

    // A Büchi state outside the automaton.
    TempDir dir;
    std::string name = dir.file("buchi.dat");
    std::string bytes = LetAndTesterNet().bytes;
    size_t at = bytes.find(std::string("\x03\x00\x00\x00\x03\x02\x03", 7));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 6] = 0x04;
    write_file(name, bytes);
    auto run = RunChild([&] {
        _onTheFly = 0;
        InsReadMarking(OpenTables(name, TRUE));
    });
    EXPECT_EQ(run.err, "\nInsReadMarking: malformed table file: Buchi state\n");
}

TEST(Inst, ProgressDots) {
    auto run = RunChild([] {
        for (int i = 0; i < 259; ++i)
            DotOutput();
    });
    EXPECT_EQ(run.out, std::string(25, '.') + "\n");
}
