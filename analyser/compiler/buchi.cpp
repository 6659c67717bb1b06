#include "buchi.h"

#include <algorithm>
#include <map>

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
    // in s holds in t only when its left operand fails in s.
    const std::uint32_t untilMask = u >= 32 ? 0xFFFFFFFFu : ((1u << u) - 1);
    std::vector<BUCHISTATE*> queue;
    std::vector<char> reached(tab.states.size(), 0);
    for (std::size_t k = 0; k < tab.states.size(); ++k)
        if (tab.states[k]->Start()) {
            reached[k] = 1;
            queue.push_back(tab.states[k].get());
        }
    for (std::size_t q = 0; q < queue.size(); ++q) {
        BUCHISTATE* s = queue[q];
        const std::uint32_t v = s->label;
        std::uint32_t required = 0, forbidden = 0;
        for (std::uint32_t i = 0; i < u; ++i) {
            bool holds = (v >> i) & 1u;
            if (holds && !right[i].On(v)) required |= 1u << i;
            if (!holds && left[i].On(v)) forbidden |= 1u << i;
        }
        for (std::size_t k = 0; k < tab.states.size(); ++k) {
            const std::uint32_t t = tab.vectors[k] & untilMask;
            if ((t & required) != required || (t & forbidden) != 0) continue;
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
    for (std::size_t q = 0; q < queue.size(); ++q) {
        BUCHISTATE* r = states[queue[q]].get();
        for (std::size_t pi = 0; pi < states.size(); ++pi) {
            const std::uint32_t p = states[pi]->label;
            for (const auto& s : tableau) {
                const std::uint32_t v = s->label;
                // The entries this step decides: the untils true in s when no
                // promise is pending, else the pending ones.
                std::uint32_t constrained = r->label;
                if (constrained == 0) constrained = v & static_cast<std::uint32_t>(count - 1);
                bool ok = true;
                for (std::uint32_t j = 0; j < u && ok; ++j) {
                    if (!((constrained >> j) & 1u)) continue;
                    bool pending = (p >> j) & 1u;
                    ok = pending == !right[j].On(v);
                }
                if (!ok) continue;
                r->edges.push_back({v, states[pi].get()});
                if (!reached[pi]) {
                    reached[pi] = 1;
                    queue.push_back(pi);
                }
            }
        }
    }
    return states;
}

// The product of the tableau and the promise automaton.
Automaton PromiseProduct(Automaton tableau, Automaton promise) {
    Automaton out;
    std::map<std::pair<const BUCHISTATE*, const BUCHISTATE*>, BUCHISTATE*> pairs;
    for (const auto& s : tableau) {
        for (const auto& p : promise) {
            bool has = false;
            for (const auto& e : p->edges) has = has || e.label == s->label;
            if (!has) continue;
            const bool empty = p->label == 0;
            std::uint32_t flags = 0;
            if (empty) flags |= BUCHISTATE::kAccepting | (s->Start() ? std::uint32_t(BUCHISTATE::kStart) : 0u);
            out.push_back(NewState(flags, s->label));
            pairs[{s.get(), p.get()}] = out.back().get();
        }
    }
    for (const auto& s : tableau) {
        for (const auto& p : promise) {
            auto from = pairs.find({s.get(), p.get()});
            if (from == pairs.end()) continue;
            for (BUCHISTATE* t : s->succ)
                for (const auto& e : p->edges) {
                    if (e.label != s->label) continue;
                    auto to = pairs.find({t, e.target});
                    if (to != pairs.end()) from->second->succ.push_back(to->second);
                }
        }
    }
    BuchiNumber(out);
    BuchiPrune(out);
    return out;
}

bool LabelsAgree(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t both = (a >> 1) & (b >> 1) & 0x55555555u;
    return ((a ^ b) & both) == 0;
}

// Conjunction: each pair of agreeing states in two copies; copy 0 waits for
// an accepting state of a, copy 1 for one of b.
Automaton Product(Automaton a, Automaton b) {
    Automaton out;
    std::map<std::pair<const BUCHISTATE*, const BUCHISTATE*>, std::size_t> pairs;  // -> index of copy 0
    for (const auto& s : a)
        for (const auto& t : b) {
            if (!LabelsAgree(s->label, t->label)) continue;
            pairs[{s.get(), t.get()}] = out.size();
            std::uint32_t flags = 0;
            if (s->Start() && t->Start()) flags |= BUCHISTATE::kStart;
            if (s->Accepting()) flags |= BUCHISTATE::kAccepting;
            out.push_back(NewState(flags, s->label | t->label));
            out.push_back(NewState(0, s->label | t->label));
        }
    for (const auto& s : a)
        for (const auto& t : b) {
            auto from = pairs.find({s.get(), t.get()});
            if (from == pairs.end()) continue;
            BUCHISTATE* copy0 = out[from->second].get();
            BUCHISTATE* copy1 = out[from->second + 1].get();
            for (BUCHISTATE* s2 : s->succ)
                for (BUCHISTATE* t2 : t->succ) {
                    auto to = pairs.find({s2, t2});
                    if (to == pairs.end()) continue;
                    copy0->succ.push_back(out[to->second + (s->Accepting() ? 1 : 0)].get());
                    copy1->succ.push_back(out[to->second + (t->Accepting() ? 0 : 1)].get());
                }
        }
    BuchiNumber(out);
    BuchiPrune(out);
    return out;
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
    for (auto& s : states) {
        s->number = 0;
        s->flags &= ~BUCHISTATE::kMark;
    }
    // Tarjan's components, iteratively; "useful" (the mark) is decided when
    // a component is complete, after every component it reaches.
    std::map<const BUCHISTATE*, std::uint32_t> low;
    std::vector<BUCHISTATE*> sccStack;
    std::map<const BUCHISTATE*, bool> onStack;
    std::uint32_t counter = 0;
    struct Frame {
        BUCHISTATE* s;
        std::size_t next;
    };
    auto succAt = [](const BUCHISTATE* s, std::size_t i) -> BUCHISTATE* {
        if (s->flags & BUCHISTATE::kEdgeRecords) return i < s->edges.size() ? s->edges[i].target : nullptr;
        return i < s->succ.size() ? s->succ[i] : nullptr;
    };
    for (auto& root : states) {
        if (!root->Start() || root->number != 0) continue;
        std::vector<Frame> dfs;
        auto enter = [&](BUCHISTATE* s) {
            s->number = ++counter;
            low[s] = s->number;
            sccStack.push_back(s);
            onStack[s] = true;
            dfs.push_back({s, 0});
        };
        enter(root.get());
        while (!dfs.empty()) {
            Frame& f = dfs.back();
            BUCHISTATE* t = succAt(f.s, f.next);
            if (t) {
                ++f.next;
                if (t->number == 0)
                    enter(t);
                else if (onStack[t])
                    low[f.s] = std::min(low[f.s], t->number);
                continue;
            }
            BUCHISTATE* s = f.s;
            dfs.pop_back();
            if (!dfs.empty()) low[dfs.back().s] = std::min(low[dfs.back().s], low[s]);
            if (low[s] != s->number) continue;
            // s is the root of a component: pop it.
            std::vector<BUCHISTATE*> comp;
            BUCHISTATE* x;
            do {
                x = sccStack.back();
                sccStack.pop_back();
                onStack[x] = false;
                comp.push_back(x);
            } while (x != s);
            bool accepting = false, nontrivial = comp.size() > 1, useful = false;
            for (BUCHISTATE* y : comp) {
                accepting = accepting || y->Accepting();
                ForEachSucc(*y, [&](BUCHISTATE* z) {
                    if (z == y) nontrivial = true;
                    if (z->flags & BUCHISTATE::kMark) useful = true;
                });
            }
            if (useful || (accepting && nontrivial))
                for (BUCHISTATE* y : comp) y->flags |= BUCHISTATE::kMark;
        }
    }
    for (auto& s : states) {
        if (!(s->flags & BUCHISTATE::kMark)) continue;
        auto useless = [](const BUCHISTATE* t) { return !(t->flags & BUCHISTATE::kMark); };
        s->succ.erase(std::remove_if(s->succ.begin(), s->succ.end(), useless), s->succ.end());
        s->edges.erase(std::remove_if(s->edges.begin(), s->edges.end(),
                                      [&](const BuchiEdge& e) { return useless(e.target); }),
                       s->edges.end());
    }
    states.erase(std::remove_if(states.begin(), states.end(),
                                [](const std::unique_ptr<BUCHISTATE>& s) { return !(s->flags & BUCHISTATE::kMark); }),
                 states.end());
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
