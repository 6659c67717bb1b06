// The group search of the symmetries (CompSymm): one more place fixed at a
// time, the branches that a known element covers pruned, the group closed
// under multiplication whenever a new generator is found; the output lines
// and the place keys freed afterwards.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "alloc.h"
#include "inst.h"
#include "internal.h"
#include "mirror.h"
#include "mirrorkit.h"
#include "plainnet.h"

using namespace engine::mirror;

namespace {

// ---- the group ----

bool IsIdentity(const Mapping& m) {
    for (std::size_t i = 0; i < m.size(); ++i)
        if (m[i] != i)
            return false;
    return true;
}

std::set<Mapping> group;
std::vector<Mapping> generators;

Mapping Compose(const Mapping& g, const Mapping& h) {
    Mapping r(h.size());
    for (std::size_t i = 0; i < h.size(); ++i)
        r[i] = g[h[i]];
    return r;
}

// Whether the mapping, with some permutation of the transitions, keeps every
// arc: the transitions' arcs renamed through it are the transitions' arcs.
bool IsAutomorphism(const Mapping& m) {
    for (std::size_t p = 0; p < m.size(); ++p)
        if (PlaceKey(net.places[p]) != PlaceKey(net.places[m[p]]))
            return false;
    using Sig = std::vector<std::pair<std::uint64_t, unsigned long>>;
    auto signature = [&](std::uint32_t t, bool renamed) {
        Sig s;
        for (const Arc& a : net.trnIn[t])
            s.emplace_back(2 * std::uint64_t{renamed ? m[a.other] : a.other}, a.weight);
        for (const Arc& a : net.trnOut[t])
            s.emplace_back(2 * std::uint64_t{renamed ? m[a.other] : a.other} + 1, a.weight);
        std::sort(s.begin(), s.end());
        s.emplace_back(~std::uint64_t{0}, net.trnClass[t]);
        return s;
    };
    std::map<Sig, long> balance;
    for (std::uint32_t t = 0; t < net.trns.size(); ++t) {
        ++balance[signature(t, false)];
        --balance[signature(t, true)];
    }
    for (const auto& entry : balance)
        if (entry.second != 0)
            return false;
    return true;
}

// A new generator g: the products with the known elements, then the closure
// under the generators.
void AddGenerator(const Mapping& g) {
    std::set<Mapping> front;
    bool skipIdentity = true;
    for (const Mapping& h : group) {
        if (skipIdentity) {
            skipIdentity = false;
            continue;
        }
        Mapping gh = Compose(g, h);
        if (group.count(gh))
            engine::Fail("\nFirstExpand: if y and z are old and x * y = z then x = z * y^(-1)\nis no new generator\n");
        if (!front.insert(gh).second)
            engine::Fail("\nFirstExpand: no group: x * y == x * z though y != z\n");
    }
    if (!group.insert(g).second)
        engine::Fail("\nDeSyP: old mapping instead of new generator\n");
    group.insert(front.begin(), front.end());
    if (!front.insert(g).second)
        engine::Fail("\nDeSyP: no group: x * y == x * z though y != z\n");
    generators.push_back(g);
    while (!front.empty()) {
        std::set<Mapping> next;
        for (const Mapping& f : front)
            for (const Mapping& gen : generators) {
                Mapping x = Compose(gen, f);
                if (!group.count(x))
                    next.insert(std::move(x));
            }
        group.insert(next.begin(), next.end());
        front = std::move(next);
    }
}

// A known element that maps every fixed place (singleton pair) as the
// constraint does.
bool Covered(const Cnstr& c) {
    for (const Mapping& m : group) {
        bool agrees = true;
        for (const Pair& p : c.places)
            if (p.domain.size() == 1 && m[p.domain[0]] != p.range[0]) {
                agrees = false;
                break;
            }
        if (agrees)
            return true;
    }
    return false;
}

long FirstOpen(const Cnstr& c) {
    for (std::size_t i = 0; i < c.places.size(); ++i)
        if (c.places[i].domain.size() > 1)
            return static_cast<long>(i);
    return -1;
}

// One level of the search: the base constraint with the place x taken out
// of its pair, and the images still to try.
struct Level {
    Cnstr base;
    std::vector<std::uint32_t> images;
    std::size_t next = 0;
};

Level Open(Cnstr c, long at) {
    Pair pair = std::move(c.places[static_cast<std::size_t>(at)]);
    c.places.erase(c.places.begin() + at);
    std::uint32_t x = pair.domain.front();
    Level level;
    level.images = pair.range;
    pair.domain.erase(pair.domain.begin());
    c.places.insert(c.places.begin(), std::move(pair));
    c.places.push_back({{x}, {}});
    level.base = std::move(c);
    return level;
}

void Search(Cnstr top) {
    std::vector<Level> stack;
    long open = FirstOpen(top);
    stack.push_back(Open(std::move(top), open));
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.images.size()) {
            stack.pop_back();
            continue;
        }
        std::uint32_t y = level.images[level.next++];
        Cnstr c = level.base;
        Pair& first = c.places.front();
        first.range.erase(std::find(first.range.begin(), first.range.end(), y));
        c.places.back().range = {y};
        if (!ExhaustRefine(&c) || Covered(c))
            continue;
        long open = FirstOpen(c);
        if (open >= 0) {
            stack.push_back(Open(std::move(c), open));
            continue;
        }
        Mapping m(net.places.size());
        for (const Pair& p : c.places)
            m[p.domain[0]] = p.range[0];
        if (!IsAutomorphism(m))
            continue;
        if (group.empty()) {
            if (!IsIdentity(m))
                engine::Fail("\nDeSyP: the first mapping found is not the identity mapping\n");
            group.insert(m);
        } else {
            AddGenerator(m);
        }
    }
}

unsigned long counter = 0;

void SymmOut(const Mapping& m, const char* label) {
    std::fprintf(_out, "%s %lu:\n", label, counter++);
    for (std::size_t i = 0; i < m.size(); ++i) {
        PlKeyOut(net.places[i]->_key, _out, 0);
        std::fputs(" -> ", _out);
        PlKeyOut(net.places[m[i]]->_key, _out, 0);
        std::fputs("\n", _out);
    }
}

// A place after the computation: the keys that only the printed mappings
// needed are released where the table fill would have released them, and
// the place's table index gives way to the deletion algorithm's list.
void PlcNorm(PLC* plc, int delAlg) {
    if (_ptVerbose && !_vos && !(_onTheFly & FLY_BUCHI)) {
        Deallocate(plc->_key);
        plc->_key = nullptr;
    }
    if (delAlg)
        plc->_up._orPredAnd = nullptr;
}

}  // namespace

void CompSymm(int delIdMap) {
    const int delAlg = _ptDelAlg;
    _ptDelAlg = 0;
    SymmRelease();
    BuildNet();
    inSetA.assign(std::max(net.places.size(), net.trns.size()), 0);
    inSetB = inSetA;
    stamp = 0;
    group.clear();
    generators.clear();

    std::vector<Key> keys;
    for (PLC* plc : net.places)
        keys.push_back(PlaceKey(plc));
    Cnstr c;
    c.places = Classes(keys);
    bool symmetric = FirstOpen(c) >= 0;
    if (symmetric) {
        keys.clear();
        for (std::uint32_t t = 0; t < net.trns.size(); ++t)
            keys.push_back(TrnKey(t));
        c.trns = Classes(keys);
        if (!ExhaustRefine(&c))
            engine::Fail("\nCompSymm: initial refinement failed\n");
        symmetric = FirstOpen(c) >= 0;
    }
    if (symmetric) {
        Search(std::move(c));
        if (group.empty() || !IsIdentity(*group.begin()))
            engine::Fail("\nCompSymm: the least mapping is not the identity mapping\n");
    }
    if (symmetric && group.size() > 1) {
        std::fprintf(_out,
                     "\n%lu non-identity place mappings in symmetries\n%u non-identity place mappings generate the "
                     "group\n",
                     static_cast<unsigned long>(group.size() - 1), static_cast<unsigned>(generators.size()));
        counter = 1;
        if (_ptVerbose != 0)
            for (const Mapping& g : generators)
                SymmOut(g, "Generator");
        if (_ptVerbose & 2) {
            std::set<Mapping> gens(generators.begin(), generators.end());
            bool first = true;
            for (const Mapping& m : group) {
                if (first) {
                    first = false;
                    continue;
                }
                if (!gens.count(m))
                    SymmOut(m, "Symmetry");
            }
        }
    } else {
        std::fputs("\nNo non-identity place mapping in any symmetry\n", _out);
        group.clear();
        Mapping identity(net.places.size());
        for (std::uint32_t i = 0; i < identity.size(); ++i)
            identity[i] = i;
        group.insert(identity);
    }
    std::fflush(_out);

    _plcSymmetries = BalTrCreate(&mrepBalTools);
    bool first = true;
    for (const Mapping& m : group) {
        if (first && delIdMap) {
            first = false;
            continue;  // the identity, the least element
        }
        first = false;
        RADIX* r = Mrep(m);
        BalTrInsert(_plcSymmetries, r, r, TRUE);
    }
    _plcSyGenerators = LstCreate(&mrepTools);
    for (const Mapping& g : generators)
        LstInsLast(_plcSyGenerators, Mrep(g));

    _ptDelAlg = delAlg;
    if (delAlg || _ptVerbose)
        for (PLC* plc : net.places)
            PlcNorm(plc, delAlg);
    if (_ptVerbose)
        DelPlaNames();
    group.clear();
    generators.clear();
    net = Net();
}

void SymmRelease(void) {
    if (_plcSymmetries != nullptr)
        BalTrDestroy(_plcSymmetries, TRUE);
    _plcSymmetries = nullptr;
    if (_plcSyGenerators != nullptr)
        LstDestroy(_plcSyGenerators, TRUE);
    _plcSyGenerators = nullptr;
}
