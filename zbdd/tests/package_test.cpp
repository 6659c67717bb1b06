// The ZBDD package against std::set of bitmasks: random operation sequences
// on at most 12 variables, with node arrays small enough to force garbage
// collections.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

#include "output.h"
#include "zbdd.h"

using namespace zbdd;

namespace {

using Family = std::set<std::uint32_t>;  // markings as bitmasks over variables

// The sets of a diagram, by walking all its paths to terminal 1.
void collect(std::uint32_t n, std::uint32_t prefix, Family& out) {
    const ZbddManager& m = manager();
    if (n == 0) return;
    if (n == 1) {
        out.insert(prefix);
        return;
    }
    collect(m.lo(n), prefix, out);
    collect(m.hi(n), prefix | (1u << m.var(n)), out);
}
Family family(const Zbdd& z) {
    Family f;
    collect(z.node(), 0, f);
    return f;
}

Zbdd build(const Family& f, std::uint32_t nVars) {
    Zbdd z(0);
    for (std::uint32_t mask : f) {
        Zbdd one(1);
        for (std::uint32_t v = 0; v < nVars; ++v)
            if (mask >> v & 1) one = change(one, v);
        z = unite(z, one);
    }
    return z;
}

struct Pair {
    std::uint32_t var, code;
};

Family fireOracle(const Family& p, const std::vector<Pair>& pairs) {
    Family out;
    for (std::uint32_t m : p) {
        bool ok = true;
        std::uint32_t next = m;
        for (const Pair& x : pairs) {
            std::uint32_t bit = 1u << x.var;
            bool marked = m & bit;
            switch (x.code) {
            case kConsume: ok &= marked; next &= ~bit; break;
            case kTest: ok &= marked; break;
            case kProduce:
            case kInhibitProduce: ok &= !marked; next |= bit; break;
            case kInhibit: ok &= !marked; break;
            }
        }
        if (ok) out.insert(next);
    }
    return out;
}

Family preOracle(const Family& p, const std::vector<Pair>& pairs) {
    Family out;
    for (std::uint32_t m : p) {
        bool ok = true;
        std::uint32_t prev = m;
        for (const Pair& x : pairs) {
            std::uint32_t bit = 1u << x.var;
            bool marked = m & bit;
            switch (x.code) {
            case kConsume: ok &= !marked; prev |= bit; break;
            case kTest: ok &= marked; break;
            case kProduce:
            case kInhibitProduce: ok &= marked; prev &= ~bit; break;
            case kInhibit: ok &= !marked; break;
            }
        }
        if (ok) out.insert(prev);
    }
    return out;
}

class PackageTest : public testing::Test {
protected:
    void TearDown() override { manager().deleteManager(); }
};

// One random sequence of operations over a pool of diagrams, each checked
// against its family of bitmasks.
// With growing off the node array keeps its size, so collections free
// nodes whose indices come back as other nodes while cache entries survive.
void randomSequence(std::uint64_t seed, std::uint32_t maxNodes, bool movraneCodes, bool growing = true) {
    std::mt19937_64 rng(seed);
    const std::uint32_t nVars = 1 + rng() % 12;
    manager().initManager(maxNodes, 64, nVars, 6, 5, 5, 4);
    if (!growing) manager().setNodeLimit(maxNodes);
    auto randomFamily = [&] {
        Family f;
        int n = rng() % 12;
        for (int i = 0; i < n; ++i) f.insert(rng() % (1u << nVars));
        return f;
    };
    auto randomVector = [&](std::vector<Pair>& pairs) {
        TransitionVector tv;
        pairs.clear();
        for (std::uint32_t v = 0; v < nVars; ++v) {
            if (rng() % 3 != 0) continue;
            std::uint32_t code = rng() % (movraneCodes ? 5 : 3);
            pairs.push_back({v, code});
            tv.push_back(v);
            tv.push_back(code);
        }
        tv.push_back(nVars);
        return tv;
    };
    // A few transitions, each with its own auxiliary number, as the
    // checkers use them: cache entries of one never answer another.
    std::vector<std::vector<Pair>> transPairs(4);
    std::vector<TransitionVector> transVectors;
    for (auto& pairs : transPairs) transVectors.push_back(randomVector(pairs));
    std::vector<std::pair<Zbdd, Family>> pool;
    for (int i = 0; i < 4; ++i) {
        Family f = randomFamily();
        pool.emplace_back(build(f, nVars), f);
    }
    for (int step = 0; step < 120; ++step) {
        auto& a = pool[rng() % pool.size()];
        auto& b = pool[rng() % pool.size()];
        std::uint32_t var = rng() % nVars;
        Zbdd z;
        Family f;
        int op = rng() % 10;
        switch (op) {
        case 0: z = unite(a.first, b.first); f = a.second; f.insert(b.second.begin(), b.second.end()); break;
        case 1:
            z = intersect(a.first, b.first);
            for (auto x : a.second)
                if (b.second.count(x)) f.insert(x);
            break;
        case 2:
            z = difference(a.first, b.first);
            for (auto x : a.second)
                if (!b.second.count(x)) f.insert(x);
            break;
        case 3:
            z = subset0(a.first, var);
            for (auto x : a.second)
                if (!(x >> var & 1)) f.insert(x);
            break;
        case 4:
            z = onset(a.first, var);
            for (auto x : a.second)
                if (x >> var & 1) f.insert(x);
            break;
        case 5:
            z = change(a.first, var);
            for (auto x : a.second) f.insert(x ^ (1u << var));
            break;
        case 6: {
            std::uint32_t aux = rng() % 4;
            z = fireUnion(a.first, b.first, transVectors[aux], aux);
            f = fireOracle(a.second, transPairs[aux]);
            f.insert(b.second.begin(), b.second.end());
            break;
        }
        case 7: {
            std::uint32_t aux = rng() % 4;
            z = image(a.first, transVectors[aux], aux);
            f = fireOracle(a.second, transPairs[aux]);
            break;
        }
        case 8: {
            std::uint32_t aux = rng() % 4;
            z = preImage(a.first, transVectors[aux], aux);
            f = preOracle(a.second, transPairs[aux]);
            break;
        }
        default: f = randomFamily(); z = build(f, nVars); break;
        }
        ASSERT_EQ(family(z), f) << "seed " << seed << " step " << step << " op " << op;
        // Canonical: the same family built afresh is the same node.
        ASSERT_EQ(build(f, nVars).node(), z.node()) << "seed " << seed << " step " << step;
        std::uint64_t count = 0;
        ASSERT_TRUE(z.stateCount().toUint64(count));
        ASSERT_EQ(count, f.size());
        pool[rng() % pool.size()] = {z, f};
    }
}

}  // namespace

TEST_F(PackageTest, RandomSequencesAgreeWithBitmaskSets) {
    for (std::uint64_t seed = 1; seed <= 40; ++seed) randomSequence(seed, 100000, seed % 2 == 0);
    EXPECT_EQ(manager().statistics().collections, 0u);
}

TEST_F(PackageTest, TinyNodeArrayCollectsWithoutChangingResults) {
    for (bool growing : {false, true}) {
        std::uint32_t collections = 0, grown = 0;
        for (std::uint64_t seed = 100; seed < 130; ++seed) {
            randomSequence(seed, 400, seed % 2 == 1, growing);
            collections += manager().statistics().collections;
            grown += manager().maxNodes() > 400;
        }
        if (growing) {
            EXPECT_GT(grown, 0u);
        } else {
            EXPECT_GT(collections, 0u);
            EXPECT_EQ(grown, 0u);
        }
    }
}

TEST_F(PackageTest, CollectionGrowsFullTablesAndKeepsLiveCacheEntries) {
    ZbddManager& m = manager();
    // The universe over twelve variables needs twelve nodes: an array of
    // ten grows instead of running out.  A small array grows at once and
    // keeps the ten nodes made, so the retry makes only two more.
    m.initManager(10, 50, 12, 4, 4, 4, 4);
    {
        Zbdd u(-1);
        EXPECT_EQ(u.stateCount().toString(), "4096");
        EXPECT_EQ(m.maxNodes(), 20u);
        EXPECT_EQ(m.statistics().collections, 0u);
        EXPECT_EQ(m.statistics().nodesMade, 12u);
    }
    // Beyond the loose limit the first collection frees all ten (nothing
    // holds them) and so does not grow; the retry fails again and the
    // second collection must grow.
    m.initManager(10, 50, 12, 4, 4, 4, 4);
    m.setLooseLimit(0);
    {
        Zbdd u(-1);
        EXPECT_EQ(u.stateCount().toString(), "4096");
        EXPECT_EQ(m.maxNodes(), 20u);
        EXPECT_EQ(m.statistics().collections, 2u);
    }
    // A collection that frees a quarter or more keeps the size; one that
    // frees less doubles it, up to the limit.
    m.initManager(40, 50, 12, 4, 4, 4, 4);
    m.setNodeLimit(100);
    std::vector<Zbdd> held;
    auto hold = [&](std::initializer_list<std::uint32_t> marked) {
        std::vector<std::uint8_t> marking(12, 0);
        for (std::uint32_t v : marked) marking[v] = 1;
        held.push_back(markingToZbdd(marking));
    };
    hold({0});
    hold({0, 1});
    hold({0, 1, 2});
    hold({0, 1, 2, 3});
    hold({0, 1, 2, 3, 4});  // 15 nodes live, 25 free
    EXPECT_FALSE(m.garbageCollect());
    EXPECT_EQ(m.maxNodes(), 40u);
    hold({0, 1, 2, 3, 4, 5});
    hold({0, 1, 2, 3, 4, 5, 6});
    hold({9});
    hold({10});
    hold({11});  // 31 nodes live, 9 free
    EXPECT_TRUE(m.garbageCollect());
    EXPECT_EQ(m.maxNodes(), 80u);
    EXPECT_EQ(m.statistics().liveNodes, 31u);
    EXPECT_TRUE(m.garbageCollect(true));
    EXPECT_EQ(m.maxNodes(), 100u);
    EXPECT_FALSE(m.garbageCollect(true));
    EXPECT_EQ(m.maxNodes(), 100u);
    // Entries whose nodes survive answer after the collection; the grown
    // array hands out its lowest free index first.
    Zbdd p = change(Zbdd(1), 0), q = change(Zbdd(1), 1);
    Zbdd pq = unite(p, q);
    m.garbageCollect();
    const std::uint32_t hits = m.statistics().binOpHits;
    EXPECT_EQ(unite(q, p), pq);
    EXPECT_EQ(m.statistics().binOpHits, hits + 1);
}

namespace {
std::string fatalText(const std::function<void()>& f) {
    try {
        f();
    } catch (const Fatal& e) {
        return e.what();
    }
    return "no error";
}
}  // namespace

TEST_F(PackageTest, NodesCachesAndCollection) {
    ZbddManager& m = manager();
    m.initManager(50, 20, 4, 4, 4, 4, 4);
    EXPECT_EQ(m.getNode(2, 1, 0), 1u);  // zero suppression: no node made
    EXPECT_EQ(m.statistics().nodesMade, 0u);
    const std::uint32_t a = m.getNode(3, 0, 1);
    EXPECT_EQ(a, 2u);  // the free list starts at the lowest index
    EXPECT_EQ(m.getNode(3, 0, 1), a);
    Zbdd keep = Zbdd::fromNode(m.getNode(1, a, 1));
    m.getNode(0, 1, 1);  // garbage: held by nothing
    m.garbageCollect();
    EXPECT_EQ(keep.node(), 3u);
    EXPECT_EQ(m.lo(keep.node()), a);
    EXPECT_EQ(m.statistics().liveNodes, 2u);
    EXPECT_EQ(m.getNode(2, 0, 1), 4u);  // the lowest free index again
    // unite(P, Q) and unite(Q, P) share one cache entry; difference does not.
    Zbdd p = change(Zbdd(1), 0), q = change(Zbdd(1), 1);
    const std::uint32_t hits = m.statistics().binOpHits;
    Zbdd pq = unite(p, q);
    EXPECT_EQ(unite(q, p), pq);
    EXPECT_EQ(m.statistics().binOpHits, hits + 1);
    EXPECT_NE(difference(p, q), difference(q, p));
    // fireUnion with an empty Q is the image; with an empty P it is Q.
    const TransitionVector tv{0, kConsume, 1, kProduce, 4};
    EXPECT_EQ(fireUnion(pq, Zbdd(0), tv, 0), image(pq, tv, 0));
    EXPECT_EQ(fireUnion(Zbdd(0), pq, tv, 0), pq);
    // A produced place marked in every marking: no successor.
    EXPECT_TRUE(image(change(p, 1), tv, 1).isEmpty());
    EXPECT_EQ(Zbdd(0).toText(), "Z");
    EXPECT_EQ(Zbdd(1).toText(), "O");
    EXPECT_EQ(p.toText(), "(Z 0 O)");
}

TEST_F(PackageTest, CountsAndLongInts) {
    EXPECT_EQ(LongInt(999999999).toString(), "999999999");
    LongInt big(999999999);
    big += LongInt(1);
    EXPECT_EQ(big.toString(), "1000000000");
    big += big;
    EXPECT_EQ(big.toString(), "2000000000");
    for (std::uint32_t n : {1u, 30u, 40u, 100u}) {
        manager().initManager(1000, 10, n, 6, 4, 4, 4);
        Zbdd universe(-1);
        EXPECT_EQ(universe.nodeCount(), n);
        LongInt expected(1);
        for (std::uint32_t i = 0; i < n; ++i) expected += expected;
        EXPECT_EQ(universe.stateCount().toString(), expected.toString()) << n;
    }
    EXPECT_EQ(LongInt(1).toString(), "1");
    manager().initManager(1000, 10, 40, 6, 4, 4, 4);
    EXPECT_EQ(Zbdd(-1).stateCount().toString(), "1099511627776");
}

TEST_F(PackageTest, ExhaustionAndReferenceMessages) {
    manager().initManager(1000, 3, 4, 4, 4, 4, 4);
    {
        Zbdd a = change(Zbdd(1), 0), b = change(Zbdd(1), 1), c = change(Zbdd(1), 2);
        EXPECT_EQ(fatalText([&] { Zbdd d = change(Zbdd(1), 3); }), "Too many external bdds.\n");
        EXPECT_EQ(manager().statistics().maxRefs, 3u);
    }
    // Twelve variables need more than ten nodes even after a collection,
    // and the array may not grow.
    manager().initManager(10, 50, 12, 4, 4, 4, 4);
    manager().setNodeLimit(10);
    EXPECT_EQ(fatalText([&] { Zbdd u(-1); }), "Out of memory (insert)\n");
    manager().initManager(5, 50, 12, 4, 4, 4, 4);
    EXPECT_EQ(fatalText([&] { markingToZbdd(std::vector<std::uint8_t>(12, 1)); }), "Too many nodes (initial marking)");
}

TEST_F(PackageTest, DeepDiagramsFitTheStack) {
    // 20000 variables: every walk goes 20000 levels deep.
    const std::uint32_t n = 20000;
    manager().initManager(200000, 100, n, 16, 14, 14, 10);
    Zbdd universe(-1);
    Zbdd all = markingToZbdd(std::vector<std::uint8_t>(n, 1));
    EXPECT_EQ(all.nodeCount(), n);
    EXPECT_EQ(all.stateCount().toString(), "1");
    // Move the token of the last place to nowhere, and back.
    const TransitionVector consume{n - 1, kConsume, n}, produce{n - 1, kProduce, n};
    Zbdd less = image(all, consume, 0);
    EXPECT_EQ(fireUnion(less, less, produce, 1), unite(less, all));
    EXPECT_EQ(preImage(less, consume, 0), all);
    EXPECT_EQ(intersect(universe, all), all);
    EXPECT_EQ(difference(all, universe), Zbdd(0));
    EXPECT_EQ(change(less, n - 1), all);
    EXPECT_EQ(subset0(all, n - 1), Zbdd(0));
    EXPECT_EQ(onset(all, n - 1), all);
    std::vector<std::uint8_t> picked(n, 0);
    EXPECT_TRUE(less.pick(picked));
    EXPECT_EQ(picked[n - 1], 0);
    EXPECT_EQ(picked[0], 1);
    // The deepest node "(Z 19999 O)" becomes "O".
    EXPECT_EQ(less.toText().size() + 10, all.toText().size());
    EXPECT_EQ(all.toText().substr(0, 10), "(Z 0 (Z 1 ");
    manager().garbageCollect();
    EXPECT_EQ(all.nodeCount(), n);
    EXPECT_EQ(universe.stateCount().toString().size(), 6021u);  // 2^20000 has 6021 digits
}

TEST_F(PackageTest, StatisticsReport) {
    manager().initManager(100, 10, 3, 2, 2, 2, 2);
    Zbdd u(-1);
    u.stateCount();
    testing::internal::CaptureStdout();
    manager().printStatistics(true);
    manager().printStatistics(false);
    const std::string report = testing::internal::GetCapturedStdout();
    const std::string body =
        "overall number of nodes: 3\nnumber of nodes in nodes-array: 3\n"
        "number of garbage collections: 0\nfireUnion cache hits/miss/sum: 0 0 0\n"
        "binOp cache hits/miss/sum: 0 0 0\nstate number cache hits/miss/sum: 2 3 5\n";
    EXPECT_EQ(report, "max number of refs: 1\n" + body + body);
    testing::internal::CaptureStdout();
    manager().printUniqueHashHistogram();
    const std::string histogram = testing::internal::GetCapturedStdout();
    EXPECT_EQ(histogram.substr(0, 69), "size of uniqueHash: 4\nn | number of lists of length n in uniqueHash:\n");
    // Eleven lines of lengths whose bucket counts add up to the table size.
    int buckets = 0, lines = 0;
    for (std::size_t pos = 69; pos < histogram.size(); ++lines) {
        std::size_t end = histogram.find('\n', pos);
        buckets += std::stoi(histogram.substr(histogram.find(' ', pos) + 1, end));
        pos = end + 1;
    }
    EXPECT_EQ(lines, 11);
    EXPECT_EQ(buckets, 4);
    EXPECT_NE(histogram.find("\n>=10 0\n"), std::string::npos);
}
