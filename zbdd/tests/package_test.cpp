// The ZBDD package against std::set of bitmasks: random operation sequences
// on at most 12 variables, with node arrays small enough to force garbage
// collections.
#include <gtest/gtest.h>

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
void randomSequence(std::uint64_t seed, std::uint32_t maxNodes, bool movraneCodes) {
    std::mt19937_64 rng(seed);
    const std::uint32_t nVars = 1 + rng() % 12;
    manager().initManager(maxNodes, 64, nVars, 6, 5, 5, 4);
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
    std::uint32_t collections = 0;
    for (std::uint64_t seed = 100; seed < 130; ++seed) {
        randomSequence(seed, 400, seed % 2 == 1);
        collections += manager().statistics().collections;
    }
    EXPECT_GT(collections, 0u);
}
