#include "buchi.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "diag.h"

namespace tulc {

namespace {

// Truth of an operand in a tableau state: constant, or a closure bit
// (possibly negated).
struct Truth {
    int constant = -1;  // 0 or 1, or -1 for a bit
    std::uint32_t bit = 0;
    bool negate = false;

    bool On(std::uint32_t v) const {
        if (constant >= 0) return constant != 0;
        return (((v >> bit) & 1u) != 0) != negate;
    }
};

Truth TruthOf(const FORMULA* f, const Closure& closure) {
    Truth t;
    while (IsNegation(f)) {
        t.negate = !t.negate;
        f = f->left.get();
    }
    if (!f || IsTrue(f)) {
        t.constant = (f != nullptr) != t.negate;
        return t;
    }
    std::size_t i = 0;
    while (i < closure.entries.size() && !ForEqual(closure.entries[i], f)) ++i;
    if (i == closure.entries.size()) InternalError("\nInternal error in ForOn\n");
    t.bit = static_cast<std::uint32_t>(i);
    return t;
}

std::unique_ptr<BUCHISTATE> NewState(std::uint32_t flags, std::uint32_t label) {
    auto s = std::make_unique<BUCHISTATE>();
    s->flags = flags;
    s->label = label;
    return s;
}

// The successors of a state, whatever its kind of list.
template <class F>
void ForEachSucc(const BUCHISTATE& s, F&& f) {
    if (s.flags & BUCHISTATE::kEdgeRecords) {
        for (const auto& e : s.edges) f(e.target);
    } else {
        for (BUCHISTATE* t : s.succ) f(t);
    }
}

struct Tableau {
    Automaton states;
    std::vector<std::uint32_t> vectors;  // closure label per state (list order)
};

// The tableau graph of a closure: consistent bit vectors and the edges
// that keep every until true until its right operand holds.
Tableau BuildTableau(const Closure& c, const Truth& formula) {
    const std::uint32_t m = static_cast<std::uint32_t>(c.entries.size());
    const std::uint32_t u = c.untils;
    std::vector<Truth> left(m), right(m);
    for (std::uint32_t i = 0; i < m; ++i) {
        if (i < u || i >= u + c.atoms) {
            left[i] = TruthOf(c.entries[i]->left.get(), c);
            right[i] = TruthOf(c.entries[i]->right.get(), c);
        }
    }
    Tableau tab;
    const std::uint64_t count = std::uint64_t(1) << m;
    for (std::uint64_t w = 0; w < count; ++w) {
        const std::uint32_t v = static_cast<std::uint32_t>(w);
        bool ok = true;
        for (std::uint32_t i = 0; i < u && ok; ++i) {
            bool holds = (v >> i) & 1u;
            if (holds)
                ok = left[i].On(v) || right[i].On(v);
            else
                ok = !right[i].On(v);
        }
        for (std::uint32_t i = u + c.atoms; i < m && ok; ++i) {
            bool holds = (v >> i) & 1u;
            bool impl = !left[i].On(v) || right[i].On(v);
            ok = holds == impl;
        }
        if (!ok) continue;
        auto s = NewState(BUCHISTATE::kAccepting | (formula.On(v) ? std::uint32_t(BUCHISTATE::kStart) : 0u), v);
        tab.states.push_back(std::move(s));
        tab.vectors.push_back(v);
    }
    BuchiNumber(tab.states);
    // Edges from the start states on: s -> t when every until that holds in
    // s without its right operand holds in t, and an until that does not hold
    // in s holds in t only when its left operand fails in s.  The states are
    // grouped by their until bits, so a state looks only at the groups that
    // qualify.
    const std::uint32_t untilMask = u >= 32 ? 0xFFFFFFFFu : ((1u << u) - 1);
    std::vector<std::uint32_t> patterns;
    std::vector<std::vector<std::size_t>> groups;
    {
        std::unordered_map<std::uint32_t, std::size_t> at;
        for (std::size_t k = 0; k < tab.states.size(); ++k) {
            const std::uint32_t pat = tab.vectors[k] & untilMask;
            auto it = at.find(pat);
            if (it == at.end()) {
                it = at.emplace(pat, patterns.size()).first;
                patterns.push_back(pat);
                groups.emplace_back();
            }
            groups[it->second].push_back(k);
        }
    }
    std::vector<BUCHISTATE*> queue;
    std::vector<char> reached(tab.states.size(), 0);
    for (std::size_t k = 0; k < tab.states.size(); ++k)
        if (tab.states[k]->Start()) {
            reached[k] = 1;
            queue.push_back(tab.states[k].get());
        }
    std::vector<std::size_t> targets;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        BUCHISTATE* s = queue[q];
        const std::uint32_t v = s->label;
        std::uint32_t required = 0, forbidden = 0;
        for (std::uint32_t i = 0; i < u; ++i) {
            bool holds = (v >> i) & 1u;
            if (holds && !right[i].On(v)) required |= 1u << i;
            if (!holds && left[i].On(v)) forbidden |= 1u << i;
        }
        targets.clear();
        for (std::size_t g = 0; g < patterns.size(); ++g)
            if ((patterns[g] & required) == required && (patterns[g] & forbidden) == 0)
                targets.insert(targets.end(), groups[g].begin(), groups[g].end());
        std::sort(targets.begin(), targets.end());
        for (std::size_t k : targets) {
            s->succ.push_back(tab.states[k].get());
            if (!reached[k]) {
                reached[k] = 1;
                queue.push_back(tab.states[k].get());
            }
        }
    }
    return tab;
}

// The promise automaton over the until entries: a state per set of
// promises still to be kept.
Automaton BuildPromise(const Closure& c, const Automaton& tableau) {
    const std::uint32_t u = c.untils;
    std::vector<Truth> right(u);
    for (std::uint32_t j = 0; j < u; ++j) right[j] = TruthOf(c.entries[j]->right.get(), c);
    Automaton states;
    const std::uint64_t count = std::uint64_t(1) << u;
    states.push_back(NewState(BUCHISTATE::kStart | BUCHISTATE::kAccepting | BUCHISTATE::kEdgeRecords, 0));
    for (std::uint64_t p = 1; p < count; ++p)
        states.push_back(NewState(BUCHISTATE::kEdgeRecords, static_cast<std::uint32_t>(p)));
    BuchiNumber(states);
    std::vector<char> reached(states.size(), 0);
    std::vector<std::size_t> queue{0};
    reached[0] = 1;
    // Per source state: the tableau states that lead to each target, so that
    // the edges come out with the targets in list order, then the tableau
    // states in list order.
    std::vector<std::vector<std::uint32_t>> byTarget(states.size());
    for (std::size_t q = 0; q < queue.size(); ++q) {
        BUCHISTATE* r = states[queue[q]].get();
        for (auto& b : byTarget) b.clear();
        for (const auto& s : tableau) {
            const std::uint32_t v = s->label;
            // The entries this step decides: the untils true in s when no
            // promise is pending, else the pending ones.  Each of them is
            // pending next exactly when its right operand fails in s; the
            // other entries are free.
            const std::uint32_t constrained = r->label != 0 ? r->label : v & static_cast<std::uint32_t>(count - 1);
            std::uint32_t value = 0;
            for (std::uint32_t j = 0; j < u; ++j)
                if (((constrained >> j) & 1u) && !right[j].On(v)) value |= 1u << j;
            const std::uint32_t free = static_cast<std::uint32_t>(count - 1) & ~constrained;
            // Every subset of the free entries, combined with the fixed ones.
            std::uint32_t sub = 0;
            do {
                byTarget[value | sub].push_back(v);
                sub = (sub - free) & free;
            } while (sub != 0);
        }
        for (std::size_t pi = 0; pi < states.size(); ++pi) {
            for (std::uint32_t v : byTarget[pi]) r->edges.push_back({v, states[pi].get()});
            if (!byTarget[pi].empty() && !reached[pi]) {
                reached[pi] = 1;
                queue.push_back(pi);
            }
        }
    }
    return states;
}

// Pair states of a product, created for the pairs reachable from the start
// pairs only: the others are pruned anyway, and the reached ones keep the
// order of a construction over all pairs (first component outer).
struct PairIndex {
    std::unordered_map<std::uint64_t, std::size_t> at;  // key -> index in nodes
    std::vector<std::uint64_t> nodes;                    // keys in the order reached

    bool Add(std::uint64_t key) {
        if (!at.emplace(key, nodes.size()).second) return false;
        nodes.push_back(key);
        return true;
    }
};

// The product of the tableau and the promise automaton: a pair (s, P) for
// every tableau state s that labels an edge of P.
Automaton PromiseProduct(Automaton tableau, Automaton promise) {
    BuchiNumber(tableau);
    BuchiNumber(promise);
    const std::uint64_t np = promise.size();
    // The edges of each promise state by the tableau state that labels them.
    std::unordered_map<std::uint32_t, std::size_t> byLabel;
    for (std::size_t k = 0; k < tableau.size(); ++k) byLabel[tableau[k]->label] = k;
    std::vector<std::unordered_map<std::size_t, std::vector<std::size_t>>> out(promise.size());
    for (std::size_t p = 0; p < promise.size(); ++p)
        for (const auto& e : promise[p]->edges)
            out[p][byLabel.at(e.label)].push_back(e.target->number - 1);
    auto exists = [&](std::size_t s, std::size_t p) { return out[p].count(s) != 0; };
    auto key = [&](std::size_t s, std::size_t p) { return s * np + p; };
    PairIndex reached;
    for (std::size_t s = 0; s < tableau.size(); ++s)
        if (tableau[s]->Start() && !promise.empty() && promise[0]->label == 0 && exists(s, 0)) reached.Add(key(s, 0));
    for (std::size_t q = 0; q < reached.nodes.size(); ++q) {
        const std::size_t s = reached.nodes[q] / np, p = reached.nodes[q] % np;
        for (const BUCHISTATE* t : tableau[s]->succ)
            for (std::size_t target : out[p].at(s))
                if (exists(t->number - 1, target)) reached.Add(key(t->number - 1, target));
    }
    std::vector<std::uint64_t> order = reached.nodes;
    std::sort(order.begin(), order.end());
    Automaton states;
    std::unordered_map<std::uint64_t, BUCHISTATE*> made;
    for (std::uint64_t k : order) {
        const std::size_t s = k / np, p = k % np;
        std::uint32_t flags = 0;
        if (promise[p]->label == 0) flags |= BUCHISTATE::kAccepting | (tableau[s]->Start() ? std::uint32_t(BUCHISTATE::kStart) : 0u);
        states.push_back(NewState(flags, tableau[s]->label));
        made[k] = states.back().get();
    }
    for (std::uint64_t k : order) {
        const std::size_t s = k / np, p = k % np;
        BUCHISTATE* from = made[k];
        for (const BUCHISTATE* t : tableau[s]->succ)
            for (std::size_t target : out[p].at(s)) {
                auto to = made.find(key(t->number - 1, target));
                if (to != made.end()) from->succ.push_back(to->second);
            }
    }
    BuchiNumber(states);
    BuchiPrune(states);
    return states;
}

bool LabelsAgree(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t both = (a >> 1) & (b >> 1) & 0x55555555u;
    return ((a ^ b) & both) == 0;
}

// Conjunction: each pair of agreeing states in two copies; copy 0 waits for
// an accepting state of a, copy 1 for one of b.
Automaton Product(Automaton a, Automaton b) {
    BuchiNumber(a);
    BuchiNumber(b);
    const std::uint64_t nb = b.size();
    // Node key: (s * |b| + t) * 2 + copy.
    auto key = [&](std::size_t s, std::size_t t, int copy) { return (s * nb + t) * 2 + static_cast<std::uint64_t>(copy); };
    auto next = [&](std::uint64_t k, std::vector<std::uint64_t>& out) {
        const std::size_t s = static_cast<std::size_t>(k / 2 / nb), t = static_cast<std::size_t>(k / 2 % nb);
        const int copy = static_cast<int>(k % 2);
        const int to = copy == 0 ? (a[s]->Accepting() ? 1 : 0) : (b[t]->Accepting() ? 0 : 1);
        out.clear();
        for (const BUCHISTATE* s2 : a[s]->succ)
            for (const BUCHISTATE* t2 : b[t]->succ)
                if (LabelsAgree(s2->label, t2->label)) out.push_back(key(s2->number - 1, t2->number - 1, to));
    };
    PairIndex reached;
    for (std::size_t s = 0; s < a.size(); ++s)
        for (std::size_t t = 0; t < b.size(); ++t)
            if (a[s]->Start() && b[t]->Start() && LabelsAgree(a[s]->label, b[t]->label)) reached.Add(key(s, t, 0));
    std::vector<std::uint64_t> succ;
    for (std::size_t q = 0; q < reached.nodes.size(); ++q) {
        next(reached.nodes[q], succ);
        for (std::uint64_t k : succ) reached.Add(k);
    }
    std::vector<std::uint64_t> order = reached.nodes;
    std::sort(order.begin(), order.end());
    Automaton states;
    std::unordered_map<std::uint64_t, BUCHISTATE*> made;
    for (std::uint64_t k : order) {
        const std::size_t s = static_cast<std::size_t>(k / 2 / nb), t = static_cast<std::size_t>(k / 2 % nb);
        std::uint32_t flags = 0;
        if (k % 2 == 0) {
            if (a[s]->Start() && b[t]->Start()) flags |= BUCHISTATE::kStart;
            if (a[s]->Accepting()) flags |= BUCHISTATE::kAccepting;
        }
        states.push_back(NewState(flags, a[s]->label | b[t]->label));
        made[k] = states.back().get();
    }
    for (std::uint64_t k : order) {
        next(k, succ);
        for (std::uint64_t k2 : succ) made[k]->succ.push_back(made.at(k2));
    }
    BuchiNumber(states);
    BuchiPrune(states);
    return states;
}

void Union(Automaton& a, Automaton b) {
    for (auto& s : b) a.push_back(std::move(s));
    BuchiNumber(a);
}

}  // namespace

void BuchiNumber(Automaton& states) {
    std::uint32_t n = 0;
    for (auto& s : states) s->number = ++n;
}

void BuchiPrune(Automaton& states) {
    BuchiNumber(states);
    const std::size_t n = states.size();
    auto index = [](const BUCHISTATE* s) { return static_cast<std::size_t>(s->number - 1); };
    auto succAt = [](const BUCHISTATE* s, std::size_t i) -> BUCHISTATE* {
        if (s->flags & BUCHISTATE::kEdgeRecords) return i < s->edges.size() ? s->edges[i].target : nullptr;
        return i < s->succ.size() ? s->succ[i] : nullptr;
    };
    // Tarjan's components, iteratively, from every start state; a component
    // is useful when it is non-trivial and holds an accepting state, or when
    // it reaches a useful state.  Components complete after every component
    // they reach, so that is known when it is needed.
    std::vector<std::uint32_t> visit(n, 0), low(n, 0);
    std::vector<char> onStack(n, 0), useful(n, 0);
    std::vector<std::size_t> sccStack;
    std::uint32_t counter = 0;
    struct Frame {
        BUCHISTATE* s;
        std::size_t next;
    };
    std::vector<Frame> dfs;
    for (auto& root : states) {
        if (!root->Start() || visit[index(root.get())] != 0) continue;
        auto enter = [&](BUCHISTATE* s) {
            const std::size_t i = index(s);
            visit[i] = low[i] = ++counter;
            sccStack.push_back(i);
            onStack[i] = 1;
            dfs.push_back({s, 0});
        };
        enter(root.get());
        while (!dfs.empty()) {
            Frame& f = dfs.back();
            BUCHISTATE* t = succAt(f.s, f.next);
            const std::size_t i = index(f.s);
            if (t) {
                ++f.next;
                const std::size_t j = index(t);
                if (visit[j] == 0)
                    enter(t);
                else if (onStack[j])
                    low[i] = std::min(low[i], visit[j]);
                continue;
            }
            dfs.pop_back();
            if (!dfs.empty()) {
                const std::size_t p = index(dfs.back().s);
                low[p] = std::min(low[p], low[i]);
            }
            if (low[i] != visit[i]) continue;
            std::vector<std::size_t> comp;
            std::size_t x;
            do {
                x = sccStack.back();
                sccStack.pop_back();
                onStack[x] = 0;
                comp.push_back(x);
            } while (x != i);
            bool accepting = false, nontrivial = comp.size() > 1, reachesUseful = false;
            for (std::size_t y : comp) {
                accepting = accepting || states[y]->Accepting();
                for (std::size_t k = 0; BUCHISTATE* z = succAt(states[y].get(), k); ++k) {
                    if (index(z) == y) nontrivial = true;
                    if (useful[index(z)]) reachesUseful = true;
                }
            }
            if (reachesUseful || (accepting && nontrivial))
                for (std::size_t y : comp) useful[y] = 1;
        }
    }
    for (auto& s : states) {
        if (!useful[index(s.get())]) continue;
        auto useless = [&](const BUCHISTATE* t) { return !useful[index(t)]; };
        s->succ.erase(std::remove_if(s->succ.begin(), s->succ.end(), useless), s->succ.end());
        s->edges.erase(std::remove_if(s->edges.begin(), s->edges.end(),
                                      [&](const BuchiEdge& e) { return useless(e.target); }),
                       s->edges.end());
    }
    std::size_t out = 0;
    for (std::size_t k = 0; k < n; ++k)
        if (useful[k]) states[out++] = std::move(states[k]);
    states.resize(out);
    for (auto& s : states) s->flags &= ~BUCHISTATE::kMark;
    BuchiNumber(states);
}

void BuchiRelabel(Automaton& states, const Closure& closure, const std::vector<const FORMULA*>& atoms) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> map;  // closure bit -> global atom index
    for (std::uint32_t i = closure.untils; i < closure.untils + closure.atoms; ++i) {
        std::size_t g = 0;
        while (g < atoms.size() && atoms[g] != closure.entries[i]) ++g;
        if (g == atoms.size()) InternalError("\nInternal error in BuchiRelabel\n");
        map.push_back({i, static_cast<std::uint32_t>(g)});
    }
    for (auto& s : states) {
        std::uint32_t label = 0;
        for (const auto& [bit, g] : map) {
            label |= 2u << (2 * g);
            if ((s->label >> bit) & 1u) label |= 1u << (2 * g);
        }
        s->label = label;
    }
}

Automaton BuchiBuild(const FORMULA* f, bool negated, BuchiContext& ctx) {
    while (IsNegation(f)) {
        f = f->left.get();
        negated = !negated;
    }
    if (ctx.beyondDataModel) return {};
    const bool isFalse = negated ? IsTrue(f) : f == nullptr;
    if (isFalse) return {};
    const bool implication = f && f->kind == FORMULA::kImplies && f->left && f->right;
    if (implication && !negated) {
        // not a or b: the union.
        Automaton first = BuchiBuild(f->right.get(), false, ctx);
        Automaton second = BuchiBuild(f->left.get(), true, ctx);
        Union(first, std::move(second));
        return first;
    }
    if (implication && negated) {
        // c and not d: the product.
        Automaton first = BuchiBuild(f->left.get(), false, ctx);
        Automaton second = BuchiBuild(f->right.get(), true, ctx);
        return Product(std::move(first), std::move(second));
    }
    if (ctx.noteSubAutomaton) ctx.noteSubAutomaton(f);
    Closure closure;
    ForClosure(f, closure, ctx.atoms);
    if (closure.entries.size() > kMaxClosure) {
        ctx.beyondDataModel = true;
        return {};
    }
    Truth start = f ? TruthOf(f, closure) : Truth{};
    if (!f) start.constant = 0;
    if (negated) {
        if (start.constant >= 0)
            start.constant = !start.constant;
        else
            start.negate = !start.negate;
    }
    Tableau tab = BuildTableau(closure, start);
    BuchiPrune(tab.states);
    Automaton promise = BuildPromise(closure, tab.states);
    BuchiPrune(promise);
    Automaton product = PromiseProduct(std::move(tab.states), std::move(promise));
    BuchiRelabel(product, closure, *ctx.atoms);
    return product;
}

}  // namespace tulc
