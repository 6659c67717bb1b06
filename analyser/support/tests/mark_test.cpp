// Markings against std::map multisets on random operations.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "alloc.h"
#include "mark.h"
#include "testutil.h"

using supporttest::RunChild;

namespace {

// Tuples order by arity first, then value by value as unsigned numbers.
struct TupleOrder {
    bool operator()(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) const {
        if (a.size() != b.size())
            return a.size() < b.size();
        return a < b;
    }
};
using Multiset = std::map<std::vector<uint32_t>, uint64_t, TupleOrder>;

TUPLE* MakeTuple(const std::vector<uint32_t>& values) {
    TUPLE* tuple = TupCons(static_cast<uint32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i)
        tuple->_array[i] = values[i];
    return tuple;
}

std::vector<uint32_t> Values(const TUPLE* tuple) {
    return std::vector<uint32_t>(tuple->_array, tuple->_array + tuple->_arity);
}

// The marking as a multiset; checks that it is sorted, unique and free of
// zero counts.
Multiset Model(MARKING* m) {
    Multiset model;
    const std::vector<uint32_t>* last = nullptr;
    for (LISTNODE* cell = m->_first; cell != nullptr; cell = cell->_next) {
        auto* entry = static_cast<MULTUP*>(cell->_node);
        EXPECT_NE(entry->_count, 0u);
        auto [it, fresh] = model.emplace(Values(entry->_tuple), entry->_count);
        EXPECT_TRUE(fresh);
        if (last != nullptr) {
            EXPECT_TRUE(TupleOrder()(*last, it->first));
        }
        last = &it->first;
    }
    return model;
}

std::vector<uint32_t> RandomTuple(std::mt19937& random) {
    static const uint32_t values[] = {0, 1, 2, 7, 0x7FFFFFFF, 0xFFFFFFFF};
    std::vector<uint32_t> tuple(random() % 3);
    for (uint32_t& v : tuple)
        v = values[random() % 6];
    return tuple;
}

// A random marking and its model; unsorted markings (entries appended in
// random order, equal tuples apart) serve as second operands.
MARKING* RandomMarking(std::mt19937& random, Multiset& model, bool sorted) {
    MARKING* m = LstCreate(&multupTools);
    int n = static_cast<int>(random() % 7);
    for (int i = 0; i < n; ++i) {
        std::vector<uint32_t> tuple = RandomTuple(random);
        uint32_t count = 1 + random() % 4;
        model[tuple] += count;
        MULTUP* x = MultupCons(count, MakeTuple(tuple));
        if (sorted)
            MarInsert(m, x);
        else
            LstInsLast(m, x);
    }
    return m;
}

}  // namespace

TEST(Mark, RandomArithmeticAgreesWithMaps) {
    std::mt19937 random(5);
    for (int round = 0; round < 1500; ++round) {
        Multiset ma, mb;
        MARKING* a = RandomMarking(random, ma, true);
        ASSERT_EQ(Model(a), ma);
        bool sortedB = random() % 2;
        MARKING* b = RandomMarking(random, mb, sortedB);
        int op = static_cast<int>(random() % 7);
        if (op == 0) {
            ASSERT_EQ(MarAdd(a, b), a);
            for (auto& [t, c] : mb)
                ma[t] += c;
        } else if (op == 1) {
            ASSERT_EQ(MarSubtract(a, b), a);
            for (auto& [t, c] : mb)
                if (ma.count(t)) {
                    if (ma[t] > c)
                        ma[t] -= c;
                    else
                        ma.erase(t);
                }
        } else if (op == 2) {
            ASSERT_EQ(MarIntersect(a, b), a);
            for (auto it = ma.begin(); it != ma.end();) {
                uint64_t other = mb.count(it->first) ? mb[it->first] : 0;
                it->second = std::min(it->second, other);
                it = it->second == 0 ? ma.erase(it) : std::next(it);
            }
        } else if (op == 3) {
            unsigned long n = random() % 4;
            a = MarProduct(a, n);
            for (auto it = ma.begin(); it != ma.end();) {
                it->second *= n;
                it = it->second == 0 ? ma.erase(it) : std::next(it);
            }
        } else if (op == 4) {
            MARKING* c = MarCartes(a, b);
            Multiset mc;
            for (auto& [x, cx] : ma)
                for (auto& [y, cy] : mb) {
                    std::vector<uint32_t> t = x;
                    t.insert(t.end(), y.begin(), y.end());
                    mc[t] += cx * cy;
                }
            ASSERT_EQ(Model(c), mc);
            LstDestroy(c, TRUE);
        } else if (sortedB) {
            // Comparisons of sorted markings.
            bool lequal = true;
            for (auto& [t, c] : ma)
                lequal = lequal && mb.count(t) && c <= mb[t];
            ASSERT_EQ(MarLequal(a, b), lequal);
            ASSERT_EQ(MarLess(a, b), lequal && ma != mb);
            ASSERT_EQ(MarEqual(a, b), ma == mb);
            ASSERT_EQ(MarLequal(b, a) && MarLequal(a, b), ma == mb);
        } else {
            // A marking with itself.
            MARKING* copy = LstCopy(a, TRUE);
            ASSERT_EQ(MarLess(a, a), 0);
            ASSERT_EQ(MarLequal(a, a), 1);
            ASSERT_EQ(MarEqual(a, copy), 1);
            ASSERT_EQ(MarIntersect(a, a), a);
            ASSERT_EQ(Model(a), ma);
            MARKING* square = MarCartes(a, a);
            MARKING* expected = MarCartes(a, copy);
            ASSERT_EQ(MarEqual(square, expected), 1);
            MarAdd(a, a);
            for (auto& [t, c] : ma)
                c *= 2;
            ASSERT_EQ(Model(a), ma);
            ASSERT_EQ(MarLess(copy, a), !ma.empty());
            MarSubtract(a, a);
            ma.clear();
            LstDestroy(square, TRUE);
            LstDestroy(expected, TRUE);
            LstDestroy(copy, TRUE);
        }
        ASSERT_EQ(Model(a), ma);
        LstDestroy(a, TRUE);
        LstDestroy(b, TRUE);
    }
}

TEST(Mark, InsertOrderFreeCountsAndStates) {
    MARKING* m = LstCreate(&multupTools);
    MarInsert(m, MultupCons(1, MakeTuple({5, 5})));
    MarInsert(m, MultupCons(2, MakeTuple({9})));  // smaller arity sorts first
    MULTUP* head = static_cast<MULTUP*>(m->_first->_node);
    EXPECT_EQ(Values(head->_tuple), (std::vector<uint32_t>{9}));
    head->_freeCount = 0;
    MarInsert(m, MultupCons(3, MakeTuple({9})));
    EXPECT_EQ(head->_count, 5u);
    EXPECT_EQ(head->_freeCount, 0u);  // merging leaves the free count alone
    MarInsert(m, MultupCons(0, MakeTuple({1})));
    EXPECT_EQ(LstSize(m), 2u);

    // MarProduct(m, 1) returns m; MarAddDiscard appends without sorting.
    EXPECT_EQ(MarProduct(m, 1), m);
    MARKING* tail = LstCreate(&multupTools);
    MarInsert(tail, MultupCons(4, MakeTuple({})));
    EXPECT_EQ(MarAddDiscard(m, tail), m);
    EXPECT_EQ(Values(static_cast<MULTUP*>(m->_last->_node)->_tuple), std::vector<uint32_t>{});

    uint32_t savedPlaces = _magNofPlaces;
    _magNofPlaces = 2;
    STATE* state = static_cast<STATE*>(Etacolla(sizeof(STATE) * 2));
    state[0] = m;
    state[1] = LstCreate(&multupTools);
    LstSet(m, m->_first->_next);
    STATE* copy = StaFrCopy(state);
    EXPECT_EQ(LstGet(m), m->_first->_next);  // the source's cursor is kept
    // The order is kept (unsorted here) and the entry of free count 0 left out.
    std::vector<std::pair<std::vector<uint32_t>, uint32_t>> entries;
    for (LISTNODE* cell = copy[0]->_first; cell != nullptr; cell = cell->_next) {
        auto* entry = static_cast<MULTUP*>(cell->_node);
        EXPECT_EQ(entry->_count, entry->_freeCount);
        entries.emplace_back(Values(entry->_tuple), entry->_count);
    }
    EXPECT_EQ(entries, (decltype(entries){{{5, 5}, 1}, {{}, 4}}));
    EXPECT_TRUE(LstEmpty(copy[1]));
    StaDiscard(copy);
    StaDiscard(state);
    _magNofPlaces = 0;
    EXPECT_EQ(StaFrCopy(nullptr), nullptr);
    _magNofPlaces = savedPlaces;
}

TEST(Mark, TupleDumpAndCountOverflows) {
    auto run = RunChild([] {
        TUPLE* tuple = MakeTuple({3, 0xFFFFFFFF});
        TupDump(tuple, 2);
        TUPLE* empty = TupCons(0);
        TupDump(empty, 0);
        TupDiscard(tuple);
        TupDiscard(empty);
    });
    EXPECT_EQ(run.err, "..TUPLE <.3, 4294967295.>\nTUPLE <..>\n");

    struct Case {
        std::function<void()> body;
        std::string message;
    };
    std::vector<Case> cases = {
        {[] {
             MARKING* m = LstCreate(&multupTools);
             MarInsert(m, MultupCons(0xFFFFFFFF, MakeTuple({1})));
             MarInsert(m, MultupCons(1, MakeTuple({1})));
         },
         "\nMarInsert: count 4294967295 + 1 exceeds 4294967295\n"},
        {[] { MultupCons(0x100000000UL, MakeTuple({})); },
         "\nMultupCons: count 4294967296 exceeds 4294967295\n"},
        {[] {
             MARKING* m = LstCreate(&multupTools);
             MarInsert(m, MultupCons(0x80000000, MakeTuple({})));
             MarProduct(m, 2);
         },
         "\nMarProduct: count 2147483648 * 2 exceeds 4294967295\n"},
        {[] {
             MARKING* m = LstCreate(&multupTools);
             MarInsert(m, MultupCons(0x80000000, MakeTuple({})));
             MarAdd(m, m);
         },
         "\nMarAdd: count 2147483648 + 2147483648 exceeds 4294967295\n"},
    };
    for (const Case& c : cases) {
        auto failed = RunChild(c.body);
        EXPECT_EQ(failed.signal, SIGABRT);
        EXPECT_EQ(failed.out, "\n");
        EXPECT_EQ(failed.err, c.message);
    }
}
