#include "oracle.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <sstream>
#include <unordered_set>

namespace oracle {

// ---------------------------------------------------------------------------
// Building.

namespace {
E leaf(Expr::Kind k, const Decl* d) {
    auto e = std::make_shared<Expr>();
    e->kind = k;
    e->decl = d;
    return e;
}
}  // namespace

E num(int v) {
    auto e = std::make_shared<Expr>();
    e->value = v;
    return e;
}
E truth(bool v) { return num(v ? TT : FF); }
E read(const Decl& d) { return leaf(Expr::Read, &d); }
E pre(const Decl& d) { return leaf(Expr::Pre, &d); }
E post(const Decl& d) { return leaf(Expr::Post, &d); }
E recv(const Decl& c) { return leaf(Expr::Recv, &c); }
E send(const Decl& c) { return leaf(Expr::Send, &c); }
E empty(const Decl& c) { return leaf(Expr::Empty, &c); }
E full(const Decl& c) { return leaf(Expr::Full, &c); }
E bin(E l, const std::string& op, E r) {
    auto e = std::make_shared<Expr>();
    e->kind = Expr::Bin;
    e->op = op;
    e->left = std::move(l);
    e->right = std::move(r);
    return e;
}
E negate(E x) {
    auto e = std::make_shared<Expr>();
    e->kind = Expr::Not;
    e->left = std::move(x);
    return e;
}

namespace {
std::shared_ptr<Com> com(Com::Kind k) {
    auto c = std::make_shared<Com>();
    c->kind = k;
    return c;
}
}  // namespace

C action(E e) {
    auto c = com(Com::Action);
    c->expr = std::move(e);
    return c;
}
C seq(std::vector<C> parts) {
    auto c = com(Com::Seq);
    c->parts = std::move(parts);
    return c;
}
C par(std::vector<C> parts) {
    auto c = com(Com::Par);
    c->parts = std::move(parts);
    return c;
}
C loop(std::vector<std::pair<C, bool>> alts, C enter) {
    auto c = com(Com::Loop);
    c->alts = std::move(alts);
    c->enter = std::move(enter);
    return c;
}
C block(std::vector<const Decl*> decls, C body) {
    auto c = com(Com::Block);
    c->decls = std::move(decls);
    c->body = std::move(body);
    return c;
}
C call(const Decl& p, std::vector<Arg> args) {
    auto c = com(Com::Call);
    c->proc = &p;
    c->args = std::move(args);
    return c;
}

namespace {
Decl& add(Program& p, Decl::Kind k, const std::string& name) {
    p.decls.push_back(std::make_unique<Decl>());
    Decl& d = *p.decls.back();
    d.kind = k;
    d.id = static_cast<int>(p.decls.size() - 1);
    d.name = name;
    return d;
}
}  // namespace

Decl& Program::var(const std::string& name, std::vector<int> values, std::optional<int> init) {
    Decl& d = add(*this, Decl::Var, name);
    d.values = std::move(values);
    d.init = init;
    return d;
}
Decl& Program::chan(const std::string& name, int capacity, std::vector<int> values) {
    Decl& d = add(*this, Decl::Chan, name);
    d.capacity = capacity;
    d.values = std::move(values);
    return d;
}
Decl& Program::proc(const std::string& name, std::vector<std::pair<const Decl*, int>> params, int instances) {
    Decl& d = add(*this, Decl::Proc, name);
    d.params = std::move(params);
    d.instances = instances;
    return d;
}
Decl& Program::param(const std::string& name, std::vector<int> values) { return var(name, std::move(values)); }

// ---------------------------------------------------------------------------
// Source text.

namespace {

std::string value_text(int v) { return v == TT ? "true" : v == FF ? "false" : std::to_string(v); }

std::string set_text(const std::vector<int>& values) {
    std::string s = "{";
    for (std::size_t k = 0; k < values.size(); ++k) s += (k ? ", " : "") + value_text(values[k]);
    return s + "}";
}

int level(const Expr& e) {
    if (e.kind == Expr::Not) return 3;
    if (e.kind != Expr::Bin) return 8;
    const std::string& o = e.op;
    if (o == "or") return 1;
    if (o == "and") return 2;
    if (o == "+" || o == "-") return 5;
    if (o == "*" || o == "/" || o == "%") return 6;
    return 4;
}

std::string expr_text(const Expr& e);

std::string operand(const Expr& e, int min_level) {
    std::string s = expr_text(e);
    return level(e) >= min_level ? s : "(" + s + ")";
}

std::string expr_text(const Expr& e) {
    switch (e.kind) {
    case Expr::Const: return value_text(e.value);
    case Expr::Read: return e.decl->name;
    case Expr::Pre: return "'" + e.decl->name;
    case Expr::Post: return e.decl->name + "'";
    case Expr::Recv: return e.decl->name + "?";
    case Expr::Send: return e.decl->name + "!";
    case Expr::Empty: return e.decl->name + "??";
    case Expr::Full: return e.decl->name + "!!";
    case Expr::Not: return "not " + operand(*e.left, 4);
    case Expr::Neg: return "-" + operand(*e.left, 7);
    case Expr::Bin: {
        const int l = level(e);
        if (e.op == "and") return operand(*e.left, 3) + " and " + operand(*e.right, 2);
        if (l == 4) return operand(*e.left, 5) + " " + e.op + " " + operand(*e.right, 5);
        return operand(*e.left, l) + " " + e.op + " " + operand(*e.right, l + 1);
    }
    }
    return "";
}

std::string com_text(const Com& c, const std::string& indent);

std::string decl_text(const Decl& d, const std::string& indent) {
    switch (d.kind) {
    case Decl::Var:
        return indent + "var " + d.name + " : " + set_text(d.values) +
               (d.init ? " init " + value_text(*d.init) : std::string()) + ";\n";
    case Decl::Chan:
    case Decl::Stack:
        return indent + "var " + d.name + " : " + (d.kind == Decl::Chan ? "chan " : "stack ") +
               std::to_string(d.capacity) + " of " + set_text(d.values) + ";\n";
    case Decl::Proc: {
        std::string s = indent + "proc " + d.name;
        if (!d.params.empty()) {
            s += "(";
            for (std::size_t k = 0; k < d.params.size(); ++k) {
                const auto& [p, mode] = d.params[k];
                s += (k ? ", " : "");
                s += mode == 1 ? "val " : mode == 2 ? "const " : mode == 3 ? "res " : "ref ";
                s += p->name + " : ";
                if (p->kind == Decl::Chan) s += "chan " + std::to_string(p->capacity) + " of ";
                s += set_text(p->values);
            }
            s += ")";
        }
        return s + " _max_ " + std::to_string(d.instances) + "\n" + com_text(*d.body, indent) + ";\n";
    }
    }
    return "";
}

std::string com_text(const Com& c, const std::string& indent) {
    switch (c.kind) {
    case Com::Action: return indent + "<" + expr_text(*c.expr) + ">";
    case Com::Seq: {
        std::string s;
        for (std::size_t k = 0; k < c.parts.size(); ++k) {
            const Com& p = *c.parts[k];
            s += k ? ";\n" : "";
            s += p.kind == Com::Par ? indent + "begin\n" + com_text(p, indent + "  ") + "\n" + indent + "end"
                                    : com_text(p, indent);
        }
        return s;
    }
    case Com::Par: {
        std::string s;
        for (std::size_t k = 0; k < c.parts.size(); ++k) s += (k ? "\n" + indent + "||\n" : "") + com_text(*c.parts[k], indent);
        return s;
    }
    case Com::Loop: {
        std::string s = indent + "do\n";
        if (c.enter) s += com_text(*c.enter, indent + "  ") + "\n" + indent + "enter\n";
        for (std::size_t k = 0; k < c.alts.size(); ++k) {
            if (k) s += indent + "[]\n";
            s += com_text(*c.alts[k].first, indent + "  ") + (c.alts[k].second ? "; repeat\n" : "; exit\n");
        }
        return s + indent + "od";
    }
    case Com::Block: {
        std::string s = indent + "begin\n";
        for (const Decl* d : c.decls)
            if (d->kind != Decl::Proc) s += decl_text(*d, indent + "  ");
        for (const Decl* d : c.decls)
            if (d->kind == Decl::Proc) s += decl_text(*d, indent + "  ");
        return s + com_text(*c.body, indent + "  ") + "\n" + indent + "end";
    }
    case Com::Call: {
        std::string s = indent + c.proc->name;
        if (c.args.empty()) return s;
        s += "(";
        for (std::size_t k = 0; k < c.args.size(); ++k)
            s += (k ? ", " : "") + (c.args[k].ident ? c.args[k].ident->name : expr_text(*c.args[k].expr));
        return s + ")";
    }
    }
    return "";
}

}  // namespace

std::string Program::text() const { return com_text(*root, "") + "\n"; }

// ---------------------------------------------------------------------------
// The interpreter.  A state is the remaining program as a term, the values
// of the variables and the contents of the channels by slot, and the
// instances of the procedures in use.  A slot is a declaration's number
// times 16 plus the instance of the call it belongs to (0 outside calls):
// the value parameters of each call have slots of their own, a reference
// parameter is the slot of its argument.  (Declarations of blocks inside a
// procedure's body are not told apart by call.)

namespace {

enum : int { UNDEF = -100000 };

void collect(const Expr& e, std::vector<const Expr*>& leaves) {
    if (e.kind == Expr::Bin || e.kind == Expr::Not || e.kind == Expr::Neg) {
        collect(*e.left, leaves);
        if (e.right) collect(*e.right, leaves);
    } else if (e.kind != Expr::Const) {
        leaves.push_back(&e);
    }
}

using Slot = int;
Slot slot_of(int id, int instance = 0) { return id * 16 + instance; }
int decl_of(Slot s) { return s / 16; }

// With parallel declarations an Init or Fin node counts the declarations
// done in the bits of i; otherwise i is the next one (upwards for Init,
// downwards for Fin).
bool parallel_decls = false;
// Calls take any free instance and may end in any order; otherwise the
// instances of a procedure form a stack.
bool instance_set = false;

using Env = std::vector<std::pair<int, Slot>>;  // formal parameter -> slot

struct Term {
    enum Kind { Done, Atom, Seq, Par, Choice, Again, Init, Body, Fin, Call, InCall } kind = Done;
    const Com* c = nullptr;
    int i = 0;  // InCall: the instance
    std::vector<Term> kids;
    Env env;    // InCall
};

struct State {
    Term term;
    std::map<Slot, int> store;
    std::map<Slot, std::deque<int>> chans;
    std::map<int, int> used;  // procedure -> bits of its instances in use
};

void key(const Term& t, std::string& out) {
    out += char('a' + t.kind);
    out += std::to_string(reinterpret_cast<std::uintptr_t>(t.c)) + "," + std::to_string(t.i);
    for (const auto& [f, sl] : t.env) out += ":" + std::to_string(f) + ">" + std::to_string(sl);
    out += "[";
    for (const Term& k : t.kids) key(k, out);
    out += "]";
}

std::string key(const State& s) {
    std::string out;
    key(s.term, out);
    for (const auto& [sl, v] : s.store) out += std::to_string(sl) + "=" + std::to_string(v) + ",";
    out += "|";
    for (const auto& [sl, q] : s.chans) {
        out += std::to_string(sl) + ":";
        for (int v : q) out += std::to_string(v) + ",";
    }
    out += "|";
    for (const auto& [p, bits] : s.used) out += std::to_string(p) + ":" + std::to_string(bits) + ",";
    return out;
}

Term start(const Com& c);

Term normal(Term t) {
    switch (t.kind) {
    case Term::Seq: {
        for (Term& k : t.kids) k = normal(std::move(k));
        while (!t.kids.empty() && t.kids.front().kind == Term::Done) t.kids.erase(t.kids.begin());
        if (t.kids.empty()) return Term();
        if (t.kids.size() == 1) return std::move(t.kids.front());
        return t;
    }
    case Term::Par: {
        std::vector<Term> kids;
        for (Term& k : t.kids) {
            Term n = normal(std::move(k));
            if (n.kind != Term::Done) kids.push_back(std::move(n));
        }
        if (kids.empty()) return Term();
        t.kids = std::move(kids);
        return t;
    }
    case Term::Again: {
        Term ch;
        ch.kind = Term::Choice;
        ch.c = t.c;
        for (const auto& a : t.c->alts) ch.kids.push_back(start(*a.first));
        return ch;
    }
    case Term::Init:
        if (t.i == (parallel_decls ? (1 << t.c->decls.size()) - 1 : static_cast<int>(t.c->decls.size()))) {
            Term b;
            b.kind = Term::Body;
            b.c = t.c;
            b.kids.push_back(start(*t.c->body));
            return normal(std::move(b));
        }
        return t;
    case Term::Body:
        t.kids[0] = normal(std::move(t.kids[0]));
        if (t.kids[0].kind == Term::Done) {
            Term f;
            f.kind = Term::Fin;
            f.c = t.c;
            f.i = parallel_decls ? 0 : static_cast<int>(t.c->decls.size()) - 1;
            return normal(std::move(f));
        }
        return t;
    case Term::Fin:
        if (parallel_decls) return t.i == (1 << t.c->decls.size()) - 1 ? Term() : t;
        return t.i < 0 ? Term() : t;
    case Term::InCall:
        t.kids[0] = normal(std::move(t.kids[0]));
        return t;
    default:
        return t;
    }
}

Term start(const Com& c) {
    Term t;
    t.c = &c;
    switch (c.kind) {
    case Com::Action: t.kind = Term::Atom; return t;
    case Com::Call: t.kind = Term::Call; return t;
    case Com::Seq:
    case Com::Par:
        t.kind = c.kind == Com::Seq ? Term::Seq : Term::Par;
        for (const C& p : c.parts) t.kids.push_back(start(*p));
        return normal(std::move(t));
    case Com::Loop: {
        Term again;
        again.kind = Term::Again;
        again.c = &c;
        if (!c.enter) return normal(std::move(again));
        t.kind = Term::Seq;
        t.kids.push_back(start(*c.enter));
        t.kids.push_back(std::move(again));
        return normal(std::move(t));
    }
    case Com::Block:
        t.kind = Term::Init;
        return normal(std::move(t));
    }
    return t;
}

// An event's place in the term: the indices of the kids from the root, and
// the environments of the calls around it.
using Path = std::vector<int>;

struct Event {
    Term::Kind kind;  // Atom, Call, InCall (return), Init, Fin
    const Term* node;
    Path path;
    std::vector<const Env*> envs;  // outermost first
    int which = 0;                 // Init, Fin: the declaration
};

Slot resolve(const Event& e, int id) {
    for (auto it = e.envs.rbegin(); it != e.envs.rend(); ++it)
        for (const auto& [formal, sl] : **it)
            if (formal == id) return sl;
    return slot_of(id);
}

void events(const Term& t, Path& path, std::vector<const Env*>& envs, std::vector<Event>& out) {
    auto into = [&](int k) {
        path.push_back(k);
        events(t.kids[static_cast<std::size_t>(k)], path, envs, out);
        path.pop_back();
    };
    switch (t.kind) {
    case Term::Atom:
    case Term::Call:
        out.push_back({t.kind, &t, path, envs});
        break;
    case Term::Init:
    case Term::Fin:
        if (!parallel_decls) {
            out.push_back({t.kind, &t, path, envs, t.i});
            break;
        }
        for (std::size_t k = 0; k < t.c->decls.size(); ++k)
            if (!(t.i >> k & 1)) out.push_back({t.kind, &t, path, envs, static_cast<int>(k)});
        break;
    case Term::InCall:
        if (t.kids[0].kind == Term::Done) {
            out.push_back({Term::InCall, &t, path, envs});
        } else {
            envs.push_back(&t.env);
            into(0);
            envs.pop_back();
        }
        break;
    case Term::Seq:
    case Term::Body:
        into(0);
        break;
    case Term::Par:
    case Term::Choice:
        for (std::size_t k = 0; k < t.kids.size(); ++k) into(static_cast<int>(k));
        break;
    default:
        break;
    }
}

// The term with the nodes at the paths replaced; a choice on the way
// becomes the alternative taken.
Term replace(const Term& t, const std::vector<std::pair<Path, Term>>& changes, std::size_t depth) {
    for (const auto& [p, r] : changes)
        if (p.size() == depth) return r;
    Term out = t;
    std::map<int, std::vector<std::pair<Path, Term>>> by_kid;
    for (const auto& ch : changes) by_kid[ch.first[depth]].push_back(ch);
    for (auto& [k, list] : by_kid)
        out.kids[static_cast<std::size_t>(k)] = replace(t.kids[static_cast<std::size_t>(k)], list, depth + 1);
    if (t.kind == Term::Choice) {
        const int k = by_kid.begin()->first;
        Term taken = out.kids[static_cast<std::size_t>(k)];
        if (!t.c->alts[static_cast<std::size_t>(k)].second) return taken;
        Term again;
        again.kind = Term::Again;
        again.c = t.c;
        Term s;
        s.kind = Term::Seq;
        s.kids.push_back(std::move(taken));
        s.kids.push_back(std::move(again));
        return s;
    }
    return out;
}

// --- actions

struct Binding {
    std::map<Slot, int> pre, post, sent, received;
    const State* state = nullptr;
    const Event* event = nullptr;
    bool failed = false;
};

bool numeric(int v) { return v != TT && v != FF; }

class Explorer {
public:
    Explorer(const Program& p, const std::set<std::string>& observed) : p_(p), observed_(observed) {
        for (const auto& d : p.decls) decls_.push_back(d.get());
    }

    Behaviour run() {
        State s0;
        s0.term = start(*p_.root);
        Behaviour b;
        std::deque<State> queue;
        std::unordered_set<std::string> seen;
        seen.insert(key(s0));
        queue.push_back(std::move(s0));
        while (!queue.empty()) {
            State s = std::move(queue.front());
            queue.pop_front();
            b.reachable.insert(valuation(s));
            std::vector<State> next = successors(s);
            if (next.empty()) {
                if (s.term.kind == Term::Done) b.terminates = true;
                else b.deadlocks.insert(valuation(s));
            }
            for (State& n : next)
                if (seen.insert(key(n)).second) queue.push_back(std::move(n));
        }
        b.states = seen.size();
        return b;
    }

private:
    const Decl& decl(Slot s) const { return *decls_[static_cast<std::size_t>(decl_of(s))]; }

    std::vector<std::string> valuation(const State& s) const {
        std::vector<std::string> v;
        for (const auto& [sl, value] : s.store) {
            const Decl& d = decl(sl);
            if (sl % 16 == 0 && observed_.count(d.name)) v.push_back(d.name + "=" + std::to_string(value));
        }
        std::sort(v.begin(), v.end());
        return v;
    }

    int eval(const Expr& e, Binding& b) const {
        switch (e.kind) {
        case Expr::Const: return e.value;
        case Expr::Read:
        case Expr::Pre: return b.pre.at(resolve(*b.event, e.decl->id));
        case Expr::Post: return b.post.at(resolve(*b.event, e.decl->id));
        case Expr::Recv: return b.received.at(resolve(*b.event, e.decl->id));
        case Expr::Send: return b.sent.at(resolve(*b.event, e.decl->id));
        case Expr::Empty:
        case Expr::Full: {
            const Slot c = resolve(*b.event, e.decl->id);
            auto it = b.state->chans.find(c);
            const std::size_t n = it == b.state->chans.end() ? 0 : it->second.size();
            const bool v = e.kind == Expr::Empty ? n == 0 : static_cast<int>(n) == decl(c).capacity;
            return v ? TT : FF;
        }
        case Expr::Not: return eval(*e.left, b) == TT ? FF : TT;
        case Expr::Neg: return -eval(*e.left, b);
        case Expr::Bin: {
            const int l = eval(*e.left, b), r = eval(*e.right, b);
            const std::string& o = e.op;
            if (o == "and") return l == TT && r == TT ? TT : FF;
            if (o == "or") return l == TT || r == TT ? TT : FF;
            if (o == "=") return l == r ? TT : FF;
            if (o == "#") return l != r ? TT : FF;
            if (o == "<") return numeric(l) && numeric(r) && l < r ? TT : FF;
            if (o == ">") return numeric(l) && numeric(r) && l > r ? TT : FF;
            if (o == "<=") return (numeric(l) && numeric(r)) ? (l <= r ? TT : FF) : (l == r ? TT : FF);
            if (o == ">=") return (numeric(l) && numeric(r)) ? (l >= r ? TT : FF) : (l == r ? TT : FF);
            if (o == "+") return l + r;
            if (o == "-") return l - r;
            if (o == "*") return l * r;
            if ((o == "/" || o == "%") && r == 0) {
                b.failed = true;
                return 0;
            }
            return o == "/" ? l / r : l % r;
        }
        }
        return 0;
    }

    std::vector<State> successors(const State& s) {
        std::vector<Event> evs;
        Path path;
        std::vector<const Env*> envs;
        events(s.term, path, envs, evs);
        std::vector<State> out;
        for (const Event& e : evs) {
            switch (e.kind) {
            case Term::Atom:
                if (!handshake(e)) atoms(s, {&e}, out);
                break;
            case Term::Init: init(s, e, out); break;
            case Term::Fin: fin(s, e, out); break;
            case Term::Call: call(s, e, out); break;
            case Term::InCall: ret(s, e, out); break;
            default: break;
            }
        }
        // Handshakes over channels of capacity 0: a sender with a receiver
        // of another thread.
        for (std::size_t i = 0; i < evs.size(); ++i)
            for (std::size_t j = 0; j < evs.size(); ++j)
                if (i != j && evs[i].kind == Term::Atom && evs[j].kind == Term::Atom &&
                    concurrent(s.term, evs[i].path, evs[j].path) && partners(evs[i], evs[j]))
                    atoms(s, {&evs[i], &evs[j]}, out);
        return out;
    }

    // The channel of capacity 0 that the action sends to (or receives from).
    std::optional<Slot> chan0(const Event& e, Expr::Kind k) const {
        std::vector<const Expr*> leaves;
        collect(*e.node->c->expr, leaves);
        for (const Expr* l : leaves)
            if (l->kind == k && l->decl->capacity == 0) return resolve(e, l->decl->id);
        return std::nullopt;
    }
    bool handshake(const Event& e) const { return chan0(e, Expr::Send) || chan0(e, Expr::Recv); }
    bool partners(const Event& sender, const Event& receiver) const {
        auto c = chan0(sender, Expr::Send);
        return c && c == chan0(receiver, Expr::Recv);
    }
    static bool concurrent(const Term& root, const Path& a, const Path& b) {
        const Term* t = &root;
        std::size_t k = 0;
        while (k < a.size() && k < b.size() && a[k] == b[k]) t = &t->kids[static_cast<std::size_t>(a[k++])];
        return t->kind == Term::Par;
    }

    // Every outcome of the atomic actions fired together.
    void atoms(const State& s, const std::vector<const Event*>& evs, std::vector<State>& out) {
        struct Leaf {
            const Expr* e;
            const Event* ev;
            Slot slot;
        };
        std::vector<Leaf> leaves;
        for (const Event* e : evs) {
            std::vector<const Expr*> ls;
            collect(*e->node->c->expr, ls);
            for (const Expr* l : ls) leaves.push_back({l, e, resolve(*e, l->decl->id)});
        }
        // The choices: the new value of every variable accessed, the value of
        // every send.
        std::set<Slot> accessed, sends;
        for (const Leaf& l : leaves) {
            if (l.e->kind == Expr::Read || l.e->kind == Expr::Pre || l.e->kind == Expr::Post) accessed.insert(l.slot);
            if (l.e->kind == Expr::Send) sends.insert(l.slot);
        }
        std::vector<std::pair<Slot, bool>> choices;  // (slot, is a send)
        for (Slot a : accessed) choices.push_back({a, false});
        for (Slot c : sends) choices.push_back({c, true});
        std::vector<std::size_t> index(choices.size(), 0);
        for (;;) {
            std::map<Slot, int> pre, post, sent, received;
            for (std::size_t k = 0; k < choices.size(); ++k) {
                const auto [sl, is_send] = choices[k];
                const int v = decl(sl).values[index[k]];
                if (is_send) {
                    sent[sl] = v;
                } else {
                    post[sl] = v;
                    auto it = s.store.find(sl);
                    pre[sl] = it == s.store.end() ? UNDEF : it->second;
                }
            }
            State n = s;
            bool ok = true;
            for (const Leaf& l : leaves) {
                if (l.e->kind == Expr::Read) ok = ok && post[l.slot] == pre[l.slot];
                if (l.e->kind != Expr::Recv || !ok) continue;
                if (decl(l.slot).capacity == 0) {
                    ok = sent.count(l.slot) > 0;
                    if (ok) received[l.slot] = sent[l.slot];
                    continue;
                }
                auto& q = n.chans[l.slot];
                if (q.empty()) {
                    ok = false;
                } else if (decl(l.slot).kind == Decl::Stack) {
                    received[l.slot] = q.back();
                    q.pop_back();
                } else {
                    received[l.slot] = q.front();
                    q.pop_front();
                }
            }
            for (Slot c : sends)
                if (ok && decl(c).capacity > 0) {
                    auto& q = n.chans[c];
                    if (static_cast<int>(q.size()) >= decl(c).capacity) ok = false;
                    else q.push_back(sent[c]);
                }
            for (const Event* e : evs) {
                if (!ok) break;
                Binding b;
                b.pre = pre;
                b.post = post;
                b.sent = sent;
                b.received = received;
                b.state = &s;
                b.event = e;
                ok = eval(*e->node->c->expr, b) == TT && !b.failed;
            }
            if (ok) {
                for (const auto& [sl, v] : post) n.store[sl] = v;
                std::vector<std::pair<Path, Term>> changes;
                for (const Event* e : evs) changes.push_back({e->path, Term()});
                n.term = normal(replace(s.term, changes, 0));
                out.push_back(std::move(n));
            }
            std::size_t k = choices.size();
            while (k > 0 && ++index[k - 1] == decl(choices[k - 1].first).values.size()) index[--k] = 0;
            if (k == 0) break;
        }
    }

    void advance(const State& s, const Event& e, Term t, State n, std::vector<State>& out) {
        n.term = normal(replace(s.term, {{e.path, std::move(t)}}, 0));
        out.push_back(std::move(n));
    }

    void init(const State& s, const Event& e, std::vector<State>& out) {
        const Decl* d = e.node->c->decls[static_cast<std::size_t>(e.which)];
        Term next = *e.node;
        next.i = parallel_decls ? next.i | 1 << e.which : next.i + 1;
        if (d->kind == Decl::Var) {
            for (int v : d->values)
                if (!d->init || v == *d->init) {
                    State n = s;
                    n.store[slot_of(d->id)] = v;
                    advance(s, e, next, std::move(n), out);
                }
        } else {
            advance(s, e, next, s, out);
        }
    }

    void fin(const State& s, const Event& e, std::vector<State>& out) {
        const Decl* d = e.node->c->decls[static_cast<std::size_t>(e.which)];
        State n = s;
        n.store.erase(slot_of(d->id));
        n.chans.erase(slot_of(d->id));
        Term next = *e.node;
        next.i = parallel_decls ? next.i | 1 << e.which : next.i - 1;
        advance(s, e, next, std::move(n), out);
    }

    void call(const State& s, const Event& e, std::vector<State>& out) {
        const Com& c = *e.node->c;
        const Decl& p = *c.proc;
        auto it = s.used.find(p.id);
        const int used = it == s.used.end() ? 0 : it->second;
        for (int inst = 1; inst <= p.instances; ++inst) {
            if (used >> inst & 1) continue;
            State n = s;
            n.used[p.id] = used | 1 << inst;
            Term t;
            t.kind = Term::InCall;
            t.c = &c;
            t.i = inst;
            bool ok = true;
            for (std::size_t k = 0; k < p.params.size() && ok; ++k) {
                const auto& [formal, mode] = p.params[k];
                const Arg& a = c.args[k];
                if (mode == 4) {
                    t.env.push_back({formal->id, resolve(e, a.ident->id)});
                    continue;
                }
                Binding b;
                b.state = &s;
                b.event = &e;
                std::vector<const Expr*> leaves;
                if (a.expr) collect(*a.expr, leaves);
                for (const Expr* l : leaves) {
                    auto v = s.store.find(resolve(e, l->decl->id));
                    b.pre[resolve(e, l->decl->id)] = v == s.store.end() ? UNDEF : v->second;
                }
                auto v = a.ident ? s.store.find(resolve(e, a.ident->id)) : s.store.end();
                const int value = a.ident ? (v == s.store.end() ? UNDEF : v->second) : eval(*a.expr, b);
                ok = std::find(formal->values.begin(), formal->values.end(), value) != formal->values.end();
                const Slot own = slot_of(formal->id, inst);
                t.env.push_back({formal->id, own});
                n.store[own] = value;
            }
            if (!ok) continue;
            t.kids.push_back(start(*p.body));
            advance(s, e, std::move(t), std::move(n), out);
            if (!instance_set) break;  // a stack: the lowest free instance
        }
    }

    void ret(const State& s, const Event& e, std::vector<State>& out) {
        const Com& c = *e.node->c;
        const Decl& p = *c.proc;
        const int inst = e.node->i;
        const int used = s.used.at(p.id);
        if (!instance_set && (used >> (inst + 1)) != 0) return;  // not the newest instance
        State n = s;
        n.used[p.id] = used & ~(1 << inst);
        for (std::size_t k = 0; k < p.params.size(); ++k) {
            const auto& [formal, mode] = p.params[k];
            if (mode == 4) continue;
            const Slot own = slot_of(formal->id, inst);
            if (mode == 3) {
                const Slot actual = resolve(e, c.args[k].ident->id);
                const int v = s.store.at(own);
                const auto& vals = decl(actual).values;
                if (std::find(vals.begin(), vals.end(), v) == vals.end()) return;
                n.store[actual] = v;
            }
            n.store.erase(own);
        }
        advance(s, e, Term(), std::move(n), out);
    }

    const Program& p_;
    const std::set<std::string>& observed_;
    std::vector<const Decl*> decls_;
};

}  // namespace

Behaviour run(const Program& p, const std::set<std::string>& observed, bool parallel, bool set) {
    parallel_decls = parallel;
    instance_set = set;
    Behaviour b = Explorer(p, observed).run();
    parallel_decls = false;
    instance_set = false;
    return b;
}

}  // namespace oracle
