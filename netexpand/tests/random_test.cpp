// Random coloured nets: the explicit explorer on flatnet's low-level net
// against a direct simulator of the high-level net, written from the
// definitions: a binding gives every variable a value, the guard must hold
// (declared-only variables existentially), the arc inscriptions evaluated
// under it must give tuples of the places' types, and firing moves the
// multisets.  Under the ".hl_ll_ref" mapping both must have the same
// reachable markings, the same labelled steps and the same deadlocks.
// Where the expansion is 1-safe, trelmik and dlbacktrack must agree too.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>

#include "driver.h"
#include "failure.h"
#include "petri_test.h"

using testsupport::TempDir;

namespace {

using Value = std::int16_t;
constexpr Value FF = -32768, TT = -32767, DOT = -32766;
using Tuple = std::vector<Value>;

std::string name_of(Value v) {
    return v == FF ? "ff" : v == TT ? "tt" : v == DOT ? "dot" : std::to_string(v);
}

// The tuples of a product of sets, the last component fastest.
std::vector<Tuple> product(const std::vector<std::vector<Value>>& sets) {
    std::vector<Tuple> values{Tuple{}};
    for (const auto& set : sets) {
        std::vector<Tuple> next;
        for (const Tuple& t : values)
            for (Value v : set) {
                Tuple u = t;
                u.push_back(v);
                next.push_back(u);
            }
        values = next;
    }
    return values;
}

// ---------------------------------------------------------------------------
// The high-level net of the test.

struct Place {
    std::string name;
    std::vector<std::vector<Value>> type;  // sorted component sets; {dot} when untyped
    bool untyped = true;
    bool entry = false;                    // untyped entry place without a marking text
    std::map<Tuple, int> initial;

    // Value tuples in the order of the definition: the last component
    // varies fastest.
    std::vector<Tuple> tuples() const { return product(type); }
    bool holds(const Tuple& t) const {
        if (t.size() != type.size()) return false;
        for (std::size_t j = 0; j < t.size(); ++j)
            if (!std::binary_search(type[j].begin(), type[j].end(), t[j])) return false;
        return true;
    }
};

struct Term {
    bool variable = false;
    std::string var;
    Value value = 0;
};
struct Element {
    int count = 1;
    bool tuple = false;
    std::vector<Term> terms;
};
struct Arc {
    int place;
    std::vector<Element> elements;
};

// Guard expressions: a tree the simulator evaluates and prints.
struct Expr {
    enum Kind { CONST, VAR, PROJ, NOT, NEG, BIN } kind = CONST;
    Value value = 0;
    std::string var;
    int component = 0;
    std::string op;
    std::unique_ptr<Expr> a, b;
};

struct Transition {
    std::string name;
    std::vector<Arc> in, out;
    std::string guard_text;  // as written ("" also stands for tt)
    bool write_guard = true;
    std::unique_ptr<Expr> guard;
    std::vector<std::pair<std::string, std::vector<std::vector<Value>>>> declarations;
};

struct Net {
    std::vector<Place> places;
    std::vector<Transition> transitions;
};

// Values of a binding: every variable with its tuple.
using Env = std::map<std::string, Tuple>;

Value wrap(int v) { return static_cast<Value>(static_cast<std::uint16_t>(v)); }
bool numeric(Value v) { return v >= -32765; }

Value eval(const Expr& e, const Env& env, bool& error) {
    switch (e.kind) {
    case Expr::CONST: return e.value;
    case Expr::VAR: return env.at(e.var)[0];
    case Expr::PROJ: {
        const Tuple& t = env.at(e.var);
        if (static_cast<std::size_t>(e.component) >= t.size()) {
            error = true;
            return DOT;
        }
        return t[e.component];
    }
    case Expr::NOT: return eval(*e.a, env, error) != TT ? TT : FF;
    case Expr::NEG: return wrap(-eval(*e.a, env, error));
    case Expr::BIN: break;
    }
    const Value l = eval(*e.a, env, error);
    if (e.op == "&" && l == FF) return FF;
    if (e.op == "|" && l == TT) return TT;
    const Value r = eval(*e.b, env, error);
    if (e.op == "&" || e.op == "|") return r;
    if (e.op == "=") return l == r ? TT : FF;
    if (e.op == "#") return l != r ? TT : FF;
    if (e.op == "<") return numeric(l) && numeric(r) && l < r ? TT : FF;
    if (e.op == ">") return numeric(l) && numeric(r) && l > r ? TT : FF;
    if (e.op == "<=") return (numeric(l) && numeric(r) ? l <= r : l == r) ? TT : FF;
    if (e.op == ">=") return (numeric(l) && numeric(r) ? l >= r : l == r) ? TT : FF;
    if (e.op == "+") return wrap(l + r);
    if (e.op == "-") return wrap(l - r);
    if (e.op == "*") return wrap(l * r);
    if (r == 0) {
        error = true;
        return l;
    }
    return wrap(e.op == "/" ? l / r : l % r);
}

std::string print(const Expr& e) {
    switch (e.kind) {
    case Expr::CONST: return name_of(e.value);
    case Expr::VAR: return e.var;
    case Expr::PROJ: return "pr" + std::to_string(e.component) + "(" + e.var + ")";
    case Expr::NOT: return "not (" + print(*e.a) + ")";
    case Expr::NEG: return "-(" + print(*e.a) + ")";
    case Expr::BIN: return "(" + print(*e.a) + ") " + e.op + " (" + print(*e.b) + ")";
    }
    return "";
}

std::string set_text(const std::vector<Value>& s) {
    std::string t = "{";
    for (std::size_t i = 0; i < s.size(); ++i) t += (i ? "," : "") + name_of(s[i]);
    return t + "}";
}

std::string tuple_text(const Tuple& t) {
    if (t.size() == 1) return name_of(t[0]);
    std::string s = "(";
    for (std::size_t i = 0; i < t.size(); ++i) s += (i ? "," : "") + name_of(t[i]);
    return s + ")";
}

std::string hl_text(const Net& net) {
    std::ostringstream o;
    o << "VOS\nHLNet\nFORMAT_N\nPL\n";
    for (std::size_t i = 0; i < net.places.size(); ++i) {
        const Place& p = net.places[i];
        o << i + 1 << " " << 40 * i << "@0\"" << p.name << "\"";
        if (p.entry) o << "e";
        if (!p.untyped) {
            o << "Z\"";
            for (std::size_t j = 0; j < p.type.size(); ++j) o << (j ? " X " : "") << set_text(p.type[j]);
            o << "\"";
        }
        if (!p.entry) {
            o << "z\"{";
            bool first = true;
            for (const auto& [t, n] : p.initial) {
                o << (first ? "" : ", ") << n << "*" << tuple_text(t);
                first = false;
            }
            o << "}\"";
        }
        o << "\n";
    }
    o << "TR\n";
    for (std::size_t i = 0; i < net.transitions.size(); ++i) {
        const Transition& t = net.transitions[i];
        o << i + 1 << " " << 40 * i << "@100\"" << t.name << "\"";
        if (t.write_guard) o << "g\"" << t.guard_text << "\"";
        o << "\n";
    }
    auto inscription = [](const Arc& a) {
        std::string s = "{";
        for (std::size_t k = 0; k < a.elements.size(); ++k) {
            const Element& e = a.elements[k];
            s += k ? ", " : "";
            if (e.count != 1) s += std::to_string(e.count) + "*";
            if (e.tuple) s += "(";
            for (std::size_t j = 0; j < e.terms.size(); ++j)
                s += (j ? "," : "") + (e.terms[j].variable ? e.terms[j].var : name_of(e.terms[j].value));
            if (e.tuple) s += ")";
        }
        return s + "}";
    };
    o << "TP\n";
    for (std::size_t i = 0; i < net.transitions.size(); ++i)
        for (const Arc& a : net.transitions[i].out) o << i + 1 << "<" << a.place + 1 << "p\"" << inscription(a) << "\"\n";
    o << "PT\n";
    for (std::size_t i = 0; i < net.transitions.size(); ++i)
        for (const Arc& a : net.transitions[i].in) o << a.place + 1 << ">" << i + 1 << "p\"" << inscription(a) << "\"\n";
    return o.str();
}

// ---------------------------------------------------------------------------
// Generator.

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    Net net() {
        Net n;
        const int places = 3 + pick(2);
        for (int i = 0; i < places; ++i) n.places.push_back(place(i));
        const int transitions = 2 + pick(3);
        for (int i = 0; i < transitions; ++i) n.transitions.push_back(transition(n, i));
        return n;
    }

private:
    int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    Place place(int i) {
        static const std::vector<std::vector<std::vector<Value>>> types = {
            {{DOT}}, {{0, 1, 2}}, {{FF, TT}}, {{1, 2}}, {{0, 1}, {FF, TT}}, {{0, 1, 2}, {0, 1}}, {{-1, 0, 3}},
        };
        Place p;
        p.name = "p" + std::to_string(i + 1);
        const int k = chance(40) ? 1 : pick(static_cast<int>(types.size()));
        p.type = types[k];
        p.untyped = k == 0;
        if (p.untyped && chance(20)) {
            p.entry = true;  // marked with one token without a text
            p.initial[{DOT}] = 1;
            return p;
        }
        const std::vector<Tuple> all = p.tuples();
        for (int t = chance(90) ? 1 + pick(3) : 0; t > 0; --t)
            p.initial[all[pick(static_cast<int>(all.size()))]] += chance(85) ? 1 : 2;
        return p;
    }

    Element element(const Place& p, std::map<std::string, std::size_t>& dims, int reuse) {
        Element e;
        e.count = chance(85) ? 1 : 2;
        const std::size_t d = p.type.size();
        const int kind = chance(65) ? 0 : d > 1 && chance(50) ? 2 : 1;
        auto var = [&](std::size_t dim) {
            // Components are named x, y, z and pairs a, b, mostly reusing a
            // variable of the transition so that values flow; now and then
            // a name of the other kind, which leaves the variable no value.
            const char* pool = (dim == 1) != chance(3) ? "xyz" : "ab";
            std::vector<std::string> same;
            for (const auto& [v, vd] : dims)
                if (vd == dim) same.push_back(v);
            std::string v = !same.empty() && chance(reuse) ? same[pick(static_cast<int>(same.size()))]
                                                         : std::string(1, pool[pick(pool[1] == 'b' ? 2 : 3)]);
            dims.emplace(v, dim);
            return v;
        };
        if (kind == 0) {
            e.terms.push_back(Term{true, var(d), 0});
        } else if (kind == 1) {
            // A constant tuple of the type.
            const std::vector<Tuple> all = p.tuples();
            const Tuple& t = all[pick(static_cast<int>(all.size()))];
            e.tuple = d > 1;
            for (Value v : t) e.terms.push_back(Term{false, "", v});
        } else {
            e.tuple = true;
            for (std::size_t j = 0; j < d; ++j) {
                if (chance(50)) e.terms.push_back(Term{true, var(1), 0});
                else e.terms.push_back(Term{false, "", p.type[j][pick(static_cast<int>(p.type[j].size()))]});
            }
        }
        return e;
    }

    Transition transition(const Net& n, int i) {
        Transition t;
        t.name = "t" + std::to_string(i + 1);
        std::map<std::string, std::size_t> dims;
        const int places = static_cast<int>(n.places.size());
        int tokens = 0;
        std::set<int> used;
        for (int a = 1 + pick(2); a > 0; --a) {
            int p = pick(places);
            if (!used.insert(p).second) continue;
            Arc arc{p, {}};
            for (int k = 1 + (chance(15) ? 1 : 0); k > 0; --k) {
                arc.elements.push_back(element(n.places[p], dims, 25));
                tokens += arc.elements.back().count;
            }
            t.in.push_back(std::move(arc));
        }
        // Never more tokens out than in: the state space stays finite.
        // Outputs mostly go to a place of an input's type, so that the
        // input's variables can carry their values on.
        std::vector<int> like_inputs;
        for (int p = 0; p < places; ++p)
            for (const Arc& in : t.in)
                if (n.places[p].type == n.places[in.place].type) {
                    like_inputs.push_back(p);
                    break;
                }
        used.clear();
        for (int a = chance(80) ? 1 + pick(2) : 0; a > 0 && tokens > 0; --a) {
            int p = !like_inputs.empty() && chance(75) ? like_inputs[pick(static_cast<int>(like_inputs.size()))]
                                                       : pick(places);
            if (!used.insert(p).second) continue;
            Element e = element(n.places[p], dims, 85);
            e.count = std::min(e.count, tokens);
            tokens -= e.count;
            t.out.push_back(Arc{p, {e}});
        }
        guard(t, dims);
        return t;
    }

    std::unique_ptr<Expr> leaf(const std::map<std::string, std::size_t>& dims, bool numbers = false) {
        auto e = std::make_unique<Expr>();
        if (numbers && chance(40)) {
            e->value = static_cast<Value>(pick(3));
            return e;
        }
        if (!dims.empty() && chance(70)) {
            auto it = std::next(dims.begin(), pick(static_cast<int>(dims.size())));
            e->var = it->first;
            if (it->second > 1 || chance(10)) {
                e->kind = Expr::PROJ;
                // Now and then beyond the variable's dimension.
                e->component = chance(10) ? static_cast<int>(it->second) : pick(static_cast<int>(it->second));
            } else {
                e->kind = Expr::VAR;
            }
        } else {
            static const Value constants[] = {0, 1, 2, 3, TT, FF, DOT};
            e->value = constants[pick(7)];
        }
        return e;
    }

    std::unique_ptr<Expr> expr(const std::map<std::string, std::size_t>& dims, int depth) {
        if (depth == 0 || chance(30)) return leaf(dims);
        auto e = std::make_unique<Expr>();
        const int k = pick(10);
        if (k == 0) {
            e->kind = Expr::NOT;
            e->a = expr(dims, depth - 1);
            return e;
        }
        if (k == 1) {
            e->kind = Expr::NEG;
            e->a = expr(dims, depth - 1);
            return e;
        }
        static const char* const ops[] = {"&", "|", "=", "#", "<", ">", "<=", ">=", "+", "-", "*", "/", "%", "="};
        e->kind = Expr::BIN;
        e->op = ops[pick(14)];
        e->a = expr(dims, depth - 1);
        e->b = expr(dims, depth - 1);
        return e;
    }

    std::unique_ptr<Expr> binary(const char* op, std::unique_ptr<Expr> a, std::unique_ptr<Expr> b) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::BIN;
        e->op = op;
        e->a = std::move(a);
        e->b = std::move(b);
        return e;
    }

    // A condition that often holds: comparisons of variables, their sums
    // and constants, joined by & and |.
    std::unique_ptr<Expr> condition(const std::map<std::string, std::size_t>& dims, int depth) {
        if (depth > 0 && chance(40))
            return binary(chance(60) ? "&" : "|", condition(dims, depth - 1), condition(dims, depth - 1));
        static const char* const cmp[] = {"=", "#", "<", ">", "<=", ">="};
        std::unique_ptr<Expr> left = leaf(dims, true);
        if (chance(30)) left = binary(chance(50) ? "+" : "-", std::move(left), leaf(dims, true));
        std::unique_ptr<Expr> right = leaf(dims, true);
        if (right->kind == left->kind && right->var == left->var && right->component == left->component)
            right = leaf(dims, true);
        auto e = binary(cmp[pick(6)], std::move(left), std::move(right));
        if (chance(15)) {
            auto n = std::make_unique<Expr>();
            n->kind = Expr::NOT;
            n->a = std::move(e);
            return n;
        }
        return e;
    }

    void guard(Transition& t, std::map<std::string, std::size_t> dims) {
        const int k = pick(10);
        if (k < 3) {
            t.write_guard = k == 1;  // g"" reads as tt like a missing guard
            return;
        }
        // Declarations: a declared-only variable, or a restriction of an
        // arc variable.
        std::string text;
        if (chance(50)) {
            std::vector<std::vector<Value>> domain = {{0, 1, 2, 3}};
            if (chance(30)) domain.push_back({FF, TT});
            if (chance(30)) domain = {{-3, -2, -1, 0}};
            t.declarations.emplace_back("v", domain);
            dims["v"] = domain.size();
        }
        if (!dims.empty() && chance(30)) {
            auto it = std::next(dims.begin(), pick(static_cast<int>(dims.size())));
            if (it->first != "v") {
                std::vector<std::vector<Value>> domain(it->second, std::vector<Value>{0, 1, TT});
                t.declarations.emplace_back(it->first, domain);
            }
        }
        for (std::size_t i = 0; i < t.declarations.size(); ++i) {
            text += i ? " and " : "";
            text += t.declarations[i].first;
            for (std::size_t j = 0; j < t.declarations[i].second.size(); ++j)
                text += (j ? " X " : "") + set_text(t.declarations[i].second[j]);
        }
        if (!text.empty()) text += ": ";
        t.guard = chance(70) ? condition(dims, 2) : expr(dims, 3);
        t.guard_text = text + print(*t.guard);
    }

    std::mt19937_64 rng_;
};

// ---------------------------------------------------------------------------
// Simulator of the high-level net.

class Simulator {
public:
    explicit Simulator(const Net& net) : net_(net) {
        for (const Place& p : net.places) {
            offset_.push_back(slots_);
            const std::vector<Tuple> all = p.tuples();
            index_.emplace_back();
            for (std::size_t k = 0; k < all.size(); ++k) index_.back()[all[k]] = static_cast<int>(k);
            slots_ += static_cast<int>(all.size());
        }
    }

    int slots() const { return slots_; }
    int slot(int place, int k) const { return offset_[place] + k; }

    std::vector<int> initial() const {
        std::vector<int> m(slots_, 0);
        for (std::size_t i = 0; i < net_.places.size(); ++i)
            for (const auto& [t, n] : net_.places[i].initial) m[offset_[i] + index_[i].at(t)] += n;
        return m;
    }

    // Every step (transition name, next marking) from the marking.
    std::set<std::pair<std::string, std::vector<int>>> steps(const std::vector<int>& m, bool remove_weighted) const {
        std::set<std::pair<std::string, std::vector<int>>> out;
        for (const Transition& t : net_.transitions) {
            // Each variable takes its values from the sets of its first
            // occurrence (every other occurrence is checked when the tuples
            // are made); a variable that stands for a whole tuple in one
            // place and for a component in another has no value at all.
            std::map<std::string, std::vector<std::vector<Value>>> candidates;
            bool consistent = true;
            for (const std::vector<Arc>* arcs : {&t.in, &t.out})
                for (const Arc& a : *arcs)
                    for (const Element& e : a.elements)
                        for (std::size_t j = 0; j < e.terms.size(); ++j) {
                            if (!e.terms[j].variable) continue;
                            const auto& type = net_.places[a.place].type;
                            std::vector<std::vector<Value>> sets =
                                e.tuple ? std::vector<std::vector<Value>>{type[j]} : type;
                            auto [it, fresh] = candidates.emplace(e.terms[j].var, sets);
                            consistent = consistent && it->second.size() == sets.size();
                        }
            if (!consistent) continue;
            std::vector<std::string> vars;
            for (const auto& [v, sets] : candidates) vars.push_back(v);
            Env env;
            enumerate(vars, 0, candidates, env, [&](const Env& b) {
                if (!declared_ok(t, b) || !guard_holds(t, b)) return;
                std::map<int, int> in, outm;
                if (!tokens(t.in, b, in) || !tokens(t.out, b, outm)) return;
                if (remove_weighted) {
                    for (const auto* ms : {&in, &outm})
                        for (const auto& [s, n] : *ms)
                            if (n >= 2) return;
                }
                std::vector<int> next = m;
                for (const auto& [s, n] : in) {
                    if (next[s] < n) return;
                    next[s] -= n;
                }
                for (const auto& [s, n] : outm) next[s] += n;
                out.emplace(t.name, next);
            });
        }
        return out;
    }

private:
    void enumerate(const std::vector<std::string>& vars, std::size_t i,
                   const std::map<std::string, std::vector<std::vector<Value>>>& candidates, Env& env,
                   const std::function<void(const Env&)>& visit) const {
        if (i == vars.size()) {
            visit(env);
            return;
        }
        for (const Tuple& v : product(candidates.at(vars[i]))) {
            env[vars[i]] = v;
            enumerate(vars, i + 1, candidates, env, visit);
        }
        env.erase(vars[i]);
    }

    static bool in_domain(const Tuple& t, const std::vector<std::vector<Value>>& domain) {
        if (t.size() != domain.size()) return false;
        for (std::size_t j = 0; j < t.size(); ++j)
            if (std::find(domain[j].begin(), domain[j].end(), t[j]) == domain[j].end()) return false;
        return true;
    }

    // Declared arc variables must lie in their declared domains.
    static bool declared_ok(const Transition& t, const Env& b) {
        for (const auto& [v, domain] : t.declarations)
            if (b.count(v) && !in_domain(b.at(v), domain)) return false;
        return true;
    }

    // The guard with the declared-only variables existential.
    bool guard_holds(const Transition& t, const Env& b) const {
        if (!t.guard) return true;
        std::vector<const std::pair<std::string, std::vector<std::vector<Value>>>*> only;
        for (const auto& d : t.declarations)
            if (!b.count(d.first)) only.push_back(&d);
        Env env = b;
        std::function<bool(std::size_t)> search = [&](std::size_t i) {
            if (i == only.size()) {
                bool error = false;
                return eval(*t.guard, env, error) == TT && !error;
            }
            for (const Tuple& v : product(only[i]->second)) {
                env[only[i]->first] = v;
                if (search(i + 1)) return true;
            }
            return false;
        };
        return search(0);
    }

    // The multiset an arc list carries under the binding, by slot; false
    // when a tuple is not of its place's type.
    bool tokens(const std::vector<Arc>& arcs, const Env& b, std::map<int, int>& out) const {
        for (const Arc& a : arcs) {
            const Place& p = net_.places[a.place];
            for (const Element& e : a.elements) {
                Tuple t;
                if (!e.tuple && e.terms[0].variable) t = b.at(e.terms[0].var);
                else
                    for (const Term& term : e.terms) t.push_back(term.variable ? b.at(term.var)[0] : term.value);
                if (!p.holds(t)) return false;
                out[offset_[a.place] + index_[a.place].at(t)] += e.count;
            }
        }
        return true;
    }

    const Net& net_;
    std::vector<int> offset_;
    std::vector<std::map<Tuple, int>> index_;
    int slots_ = 0;
};

// ---------------------------------------------------------------------------
// The comparison.

struct Graph {
    std::set<std::vector<int>> markings;
    std::set<std::pair<std::vector<int>, std::pair<std::string, std::vector<int>>>> steps;
    bool deadlock = false;
};

Graph simulate(const Net& net, bool remove_weighted) {
    Simulator sim(net);
    Graph g;
    std::vector<std::vector<int>> queue{sim.initial()};
    g.markings.insert(queue[0]);
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const std::vector<int> m = queue[i];
        auto steps = sim.steps(m, remove_weighted);
        if (steps.empty()) g.deadlock = true;
        for (const auto& s : steps) {
            g.steps.insert({m, s});
            if (g.markings.insert(s.second).second) queue.push_back(s.second);
        }
    }
    return g;
}

struct Flattened {
    std::string ll_net;
    testsupport::TestNet net;
    std::vector<int> slot_of_place;          // low-level place -> simulator slot
    std::vector<std::string> hl_transition;  // low-level transition -> its high-level name
};

// Runs flatnet on the net and maps the low-level nodes through the
// ".hl_ll_ref" file.
Flattened flatten(const Net& net, const std::vector<std::string>& options, const TempDir& dir) {
    const std::string base = dir.file("r");
    testsupport::write_file(base + ".hl_net", hl_text(net));
    std::vector<std::string> words{"flatnet"};
    words.insert(words.end(), options.begin(), options.end());
    words.push_back(base + ".hl_net");
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());
    testing::internal::CaptureStderr();  // guard type errors and the missing references
    flatnet::run(flatnet::parse_arguments(static_cast<int>(argv.size()), argv.data(), false, false));
    testing::internal::GetCapturedStderr();

    Flattened f;
    f.ll_net = testsupport::read_file(base + ".ll_net");
    std::string error;
    auto n = testsupport::parse_vos(f.ll_net, &error);
    EXPECT_TRUE(n) << error;
    if (n) f.net = *n;
    Simulator sim(net);
    std::map<std::string, int> place_index, seen;
    for (std::size_t i = 0; i < net.places.size(); ++i) place_index[net.places[i].name] = static_cast<int>(i);
    std::istringstream ref(testsupport::read_file(base + ".hl_ll_ref"));
    std::string line;
    std::map<std::string, std::string> names;  // low-level name -> high-level name
    while (std::getline(ref, line)) {
        std::string::size_type q = line.find('"');
        if (q != std::string::npos) names[line.substr(0, q)] = line.substr(q + 1, line.size() - q - 2);
    }
    for (const std::string& p : f.net.place_names) {
        const std::string& hl = names[p];
        int k = seen[hl]++;
        f.slot_of_place.push_back(sim.slot(place_index.at(hl), k));
    }
    for (const std::string& t : f.net.trans_names) f.hl_transition.push_back(names[t]);
    for (std::size_t i = 0; i < net.places.size(); ++i)
        EXPECT_EQ(seen[net.places[i].name], static_cast<int>(net.places[i].tuples().size())) << net.places[i].name;
    return f;
}

Graph explore(const Flattened& f, int slots) {
    testsupport::StateSpace ss = testsupport::explore(f.net, 50000);
    EXPECT_TRUE(ss.complete);
    auto hl = [&](const testsupport::Marking& m) {
        std::vector<int> v(slots, 0);
        for (std::size_t i = 0; i < m.size(); ++i) v[f.slot_of_place[i]] = m[i];
        return v;
    };
    Graph g;
    for (std::size_t s = 0; s < ss.states.size(); ++s) {
        g.markings.insert(hl(ss.states[s]));
        for (const auto& [t, target] : ss.succ[s])
            g.steps.insert({hl(ss.states[s]), {f.hl_transition[t], hl(ss.states[target])}});
    }
    g.deadlock = testsupport::has_deadlock(ss);
    return g;
}

void check_seeds(std::uint64_t first, std::uint64_t last) {
    for (std::uint64_t seed = first; seed < last; ++seed) {
        Net net = Generator(seed).net();
        const bool remove_weighted = seed % 3 == 0;
        TempDir dir;
        Flattened f = flatten(net, remove_weighted ? std::vector<std::string>{"-"} : std::vector<std::string>{}, dir);
        Graph want = simulate(net, remove_weighted);
        Graph got = explore(f, Simulator(net).slots());
        ASSERT_EQ(got.markings, want.markings) << "seed " << seed << "\n" << hl_text(net) << f.ll_net;
        ASSERT_EQ(got.steps, want.steps) << "seed " << seed << "\n" << hl_text(net) << f.ll_net;
        ASSERT_EQ(got.deadlock, want.deadlock) << "seed " << seed;
    }
}

}  // namespace

class RandomColouredNets : public testing::TestWithParam<int> {};

TEST_P(RandomColouredNets, ExplorerAgreesWithTheHighLevelSimulator) {
    const std::uint64_t first = static_cast<std::uint64_t>(GetParam()) * 100;
    check_seeds(first, first + 100);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomColouredNets, testing::Range(0, 4));

// On the 1-safe expansions, trelmik's prefix and dlbacktrack's verdict
// agree with the explorer; every low-level net, with or without blocks and
// phantoms, reads in trelmik.
TEST(RandomColouredNetsPipe, TrelmikAndDlbacktrackAgree) {
    const std::string bin = VOS_BIN_DIR;
    if (testsupport::read_file(bin + "/trelmik").empty() || testsupport::read_file(bin + "/dlbacktrack").empty())
        GTEST_SKIP() << "trelmik and dlbacktrack are not built";
    int safe = 0;
    for (std::uint64_t seed = 1000; seed < 1200 && safe < 12; ++seed) {
        Net net = Generator(seed).net();
        TempDir dir;
        const std::vector<std::string> options = seed % 2 ? std::vector<std::string>{"-b", "-p"}
                                                           : std::vector<std::string>{};
        Flattened f = flatten(net, options, dir);
        testsupport::StateSpace ss = testsupport::explore(f.net, 50000);
        bool weighted = false;
        for (int t = 0; t < f.net.transitions(); ++t)
            for (std::size_t i = 0; i < f.net.pre[t].size(); ++i) weighted = weighted || f.net.pre_w(t, i) > 1;
        for (int t = 0; t < f.net.transitions(); ++t)
            for (std::size_t i = 0; i < f.net.post[t].size(); ++i) weighted = weighted || f.net.post_w(t, i) > 1;
        const bool marked = std::any_of(f.net.m0.begin(), f.net.m0.end(), [](int n) { return n > 0; });
        if (!ss.safe || weighted || !marked || f.net.transitions() == 0) continue;
        ++safe;
        const std::string base = dir.file("r");
        testsupport::RunResult r =
            testsupport::run("ASAN_OPTIONS=detect_leaks=0 " + bin + "/trelmik -c -m=" + testsupport::shell_quote(base) + " " +
                             testsupport::shell_quote(base + ".ll_net"));
        ASSERT_EQ(r.exit_code, 0) << r.err << f.ll_net;
        r = testsupport::run("ASAN_OPTIONS=detect_leaks=0 " + bin + "/dlbacktrack " + testsupport::shell_quote(base + ".mci"));
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const bool no_deadlock = r.out.rfind("TRUE", 0) == 0;
        EXPECT_EQ(no_deadlock, !testsupport::has_deadlock(ss)) << "seed " << seed << "\n" << f.ll_net << r.out;
    }
    EXPECT_GE(safe, 8);
}

// trelmik reads every expansion, safe or not (-A: read, then stop).
TEST(RandomColouredNetsPipe, TrelmikReadsEveryExpansion) {
    const std::string bin = VOS_BIN_DIR;
    if (testsupport::read_file(bin + "/trelmik").empty()) GTEST_SKIP() << "trelmik is not built";
    TempDir all;
    std::string every;
    for (std::uint64_t seed = 2000; seed < 2016; ++seed) {
        TempDir dir;
        const std::vector<std::string> options = seed % 2 ? std::vector<std::string>{"-b", "-p"}
                                                           : std::vector<std::string>{"-"};
        const std::string copy = all.file(std::to_string(seed) + ".ll_net");
        testsupport::write_file(copy, flatten(Generator(seed).net(), options, dir).ll_net);
        every += " " + testsupport::shell_quote(copy);
    }
    testsupport::RunResult r = testsupport::run("for f in" + every + "; do ASAN_OPTIONS=detect_leaks=0 " + bin +
                                                "/trelmik -A \"$f\" || echo \"$f: $?\"; done");
    EXPECT_EQ(r.out, "") << r.err;
}
