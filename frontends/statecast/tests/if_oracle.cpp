#include "if_oracle.h"

#include <deque>
#include <map>
#include <random>

#include "pipeline.h"

namespace statecast_test {

// ---------------------------------------------------------------------------
// Random systems.  Every process has the variables x (0..2) and b (boolean).

namespace {

constexpr int X = 0, B = 1;  // the two variables of every process

struct Draw {
    std::mt19937_64 rng;
    int below(int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

    OExpr numeric() {
        OExpr e;
        switch (below(3)) {
        case 0: e.kind = OExpr::CONST, e.value = below(3); break;
        case 1: e.kind = OExpr::VAR, e.var = X; break;
        default: e.kind = OExpr::ADD_MOD, e.var = X, e.value = 1 + below(2); break;
        }
        return e;
    }
    OExpr boolean() {
        OExpr e;
        e.boolean = true;
        switch (below(5)) {
        case 0: e.kind = OExpr::CONST, e.value = below(2); break;
        case 1: e.kind = OExpr::VAR, e.var = B; break;
        case 2: e.kind = OExpr::NOT, e.var = B; break;
        case 3: e.kind = OExpr::EQ, e.var = X, e.value = below(3); break;
        default: e.kind = OExpr::LT, e.var = X, e.value = 1 + below(2); break;
        }
        return e;
    }
    OExpr of_type(bool is_bool) { return is_bool ? boolean() : numeric(); }
};

}  // namespace

OSystem random_system(std::uint64_t seed, bool with_routes) {
    Draw d{std::mt19937_64(seed * 0x9e3779b97f4a7c15ull + 12345)};
    OSystem s;
    int nsignals = 1 + d.below(3);
    for (int i = 0; i < nsignals; ++i) s.signals.push_back({"s" + std::to_string(i), d.below(3) - 1});
    int nprocesses = 2;
    if (with_routes) {
        int nroutes = 1 + d.below(2);
        for (int k = 0; k < nroutes; ++k) {
            ORoute r;
            r.kind = static_cast<ORoute::Kind>(d.below(3));
            r.delayed = r.kind == ORoute::MULTICAST && d.chance(50);
            r.from = k == 0 ? 0 : d.below(nprocesses);  // the first from the process that starts
            r.to = d.below(nprocesses);
            r.carries.assign(static_cast<std::size_t>(nsignals), false);
            for (int i = 0; i < nsignals; ++i) r.carries[static_cast<std::size_t>(i)] = d.chance(60);
            r.carries[static_cast<std::size_t>(d.below(nsignals))] = true;
            s.routes.push_back(r);
        }
    }
    for (int p = 0; p < nprocesses; ++p) {
        OProcess proc;
        proc.name = "P" + std::to_string(p);
        proc.initial = p == 1 && d.chance(30) ? 2 : 1;
        proc.vars = {{"x", false}, {"b", true}};
        int nstates = 1 + d.below(3);
        proc.states.resize(static_cast<std::size_t>(nstates));
        for (std::size_t k = 0; k < proc.states.size(); ++k) {
            auto& state = proc.states[k];
            int ntrans = 1 + d.below(2);
            for (int t = 0; t < ntrans; ++t) {
                OTransition tr;
                // the first process starts without waiting for a signal
                bool spontaneous = p == 0 && k == 0 && t == 0;
                if (!spontaneous && d.chance(60)) {
                    tr.input = d.below(nsignals);
                    int param = s.signals[static_cast<std::size_t>(tr.input)].param;
                    tr.input_var = d.chance(70);
                    tr.input_arg = tr.input_var ? (param == 1 ? B : X) : d.below(param == 1 ? 2 : 3);
                }
                if (d.chance(30)) tr.has_provided = true, tr.provided = d.boolean();
                int nstmt = spontaneous ? 1 + d.below(2) : d.below(3);
                for (int m = 0; m < nstmt; ++m) {
                    OStatement st;
                    int kind = d.below(6);  // 0-2 an output, 3 an assignment, 4 an if, 5 a loop
                    if (kind < 3) {
                        st.kind = OStatement::OUTPUT;
                        st.signal = d.below(nsignals);
                        int param = s.signals[static_cast<std::size_t>(st.signal)].param;
                        if (param >= 0) st.expr = d.of_type(param == 1);
                        st.process = d.below(nprocesses);
                        st.instance = d.chance(80) ? 0 : 1;
                        std::vector<int> own;  // the routes from this process
                        for (std::size_t k = 0; k < s.routes.size(); ++k)
                            if (s.routes[k].from == p) own.push_back(static_cast<int>(k));
                        if (!own.empty() && d.chance(80)) {
                            st.route = own[static_cast<std::size_t>(d.below(static_cast<int>(own.size())))];
                            st.process = s.routes[static_cast<std::size_t>(st.route)].to;
                        }
                    } else if (kind == 3) {
                        st.kind = OStatement::TASK;
                        st.var = d.below(2);
                        st.expr = d.of_type(st.var == B);
                    } else if (kind == 5) {
                        st.kind = OStatement::WHILE;
                        st.bound = 1 + d.below(2);
                        st.expr2 = d.boolean();
                    } else {
                        st.kind = OStatement::IF;
                        st.expr = d.boolean();
                        st.var = d.below(2);
                        st.expr2 = d.of_type(st.var == B);
                        st.expr3 = d.of_type(st.var == B);
                    }
                    tr.statements.push_back(st);
                }
                tr.stop = d.chance(10);
                tr.next = d.below(nstates);
                state.push_back(tr);
            }
        }
        s.processes.push_back(proc);
    }
    return s;
}

// ---------------------------------------------------------------------------
// IF text.

namespace {

std::string expr_text(const OExpr& e) {
    const char* var = e.var == B ? "b" : "x";
    switch (e.kind) {
    case OExpr::CONST: return e.boolean ? (e.value ? "true" : "false") : std::to_string(e.value);
    case OExpr::VAR: return var;
    case OExpr::ADD_MOD: return "(x + " + std::to_string(e.value) + ") mod 3";
    case OExpr::EQ: return "x = " + std::to_string(e.value);
    case OExpr::LT: return "x < " + std::to_string(e.value);
    case OExpr::NOT: return "not b";
    }
    return {};
}

const char* var_name(int v) { return v == B ? "b" : "x"; }

}  // namespace

std::string if_text(const OSystem& s) {
    std::string out = "system R;\n  type t = range 0..2;\n";
    for (const auto& sig : s.signals) {
        out += "  signal " + sig.name + "(";
        if (sig.param == 0) out += "t";
        if (sig.param == 1) out += "boolean";
        out += ");\n";
    }
    for (const auto& p : s.processes) {
        out += "  process " + p.name + "(" + std::to_string(p.initial) + ");\n    var x t;\n    var b boolean;\n";
        for (std::size_t k = 0; k < p.states.size(); ++k) {
            out += "    state st" + std::to_string(k) + (k == 0 ? " #start" : "") + ";\n";
            for (const auto& tr : p.states[k]) {
                if (tr.has_provided) out += "      provided " + expr_text(tr.provided) + ";\n";
                if (tr.input >= 0) {
                    const OSignal& sig = s.signals[static_cast<std::size_t>(tr.input)];
                    out += "      input " + sig.name + "(";
                    if (sig.param >= 0) {
                        if (tr.input_var) out += var_name(tr.input_arg);
                        else if (sig.param == 1) out += tr.input_arg ? "true" : "false";
                        else out += std::to_string(tr.input_arg);
                    }
                    out += ");\n";
                }
                for (const auto& st : tr.statements) {
                    switch (st.kind) {
                    case OStatement::TASK:
                        out += "      task " + std::string(var_name(st.var)) + " := " + expr_text(st.expr) + ";\n";
                        break;
                    case OStatement::OUTPUT: {
                        const OSignal& sig = s.signals[static_cast<std::size_t>(st.signal)];
                        std::string to = " to {" + s.processes[static_cast<std::size_t>(st.process)].name + "}" +
                                         std::to_string(st.instance);
                        out += "      output " + sig.name + "(" + (sig.param >= 0 ? expr_text(st.expr) : "") + ")";
                        if (st.route < 0) out += to;
                        else out += " via {r" + std::to_string(st.route) + "}0" +
                                    (s.routes[static_cast<std::size_t>(st.route)].kind == ORoute::PEER ? to : "");
                        out += ";\n";
                        break;
                    }
                    case OStatement::IF:
                        out += "      if " + expr_text(st.expr) + " then task " + var_name(st.var) + " := " +
                               expr_text(st.expr2) + "; else task " + var_name(st.var) + " := " + expr_text(st.expr3) +
                               "; endif\n";
                        break;
                    case OStatement::WHILE:
                        out += "      while x < " + std::to_string(st.bound) + " do task b := " + expr_text(st.expr2) +
                               "; task x := x + 1; endwhile\n";
                        break;
                    }
                }
                out += tr.stop ? "      stop;\n" : "      nextstate st" + std::to_string(tr.next) + ";\n";
            }
            out += "    endstate;\n";
        }
        out += "  endprocess;\n";
    }
    static const char* const kinds[] = {"#peer", "#unicast", "#multicast"};
    for (std::size_t k = 0; k < s.routes.size(); ++k) {
        const ORoute& r = s.routes[k];
        out += "  signalroute r" + std::to_string(k) + "(1) " + kinds[r.kind] + (r.delayed ? " #delay[0,1]" : "") +
               " from " + s.processes[static_cast<std::size_t>(r.from)].name + " to " +
               s.processes[static_cast<std::size_t>(r.to)].name + " with ";
        std::string with;
        for (std::size_t i = 0; i < r.carries.size(); ++i)
            if (r.carries[i]) with += (with.empty() ? "" : ", ") + s.signals[i].name;
        out += with + ";\n";
    }
    return out + "endsystem;\n";
}

// ---------------------------------------------------------------------------
// The interpreter.

namespace {

// Instance i (pid i + 1) is instance i % 2 of process i / 2.
struct IState {
    std::vector<int> state;  // 0 when the instance does not live, else the state index + 1
    std::vector<int> x, b;
    std::vector<int> queue;  // -1 empty, else the signal number
    bool operator<(const IState& o) const {
        return std::tie(state, x, b, queue) < std::tie(o.state, o.x, o.b, o.queue);
    }
};

struct Numbering {
    std::vector<int> first, size;
    explicit Numbering(const OSystem& s) {
        int n = 0;
        for (const auto& sig : s.signals) {
            first.push_back(n);
            int k = sig.param == -1 ? 1 : sig.param == 0 ? 3 : 2;
            size.push_back(k);
            n += k;
        }
    }
};

int eval(const OExpr& e, int x, int b) {
    switch (e.kind) {
    case OExpr::CONST: return e.value;
    case OExpr::VAR: return e.var == B ? b : x;
    case OExpr::ADD_MOD: return (x + e.value) % 3;
    case OExpr::EQ: return x == e.value;
    case OExpr::LT: return x < e.value;
    case OExpr::NOT: return !b;
    }
    return 0;
}

// A statement other than an output, on the instance's variables.
void execute(const OStatement& st, int& x, int& b) {
    if (st.kind == OStatement::TASK) {
        (st.var == B ? b : x) = eval(st.expr, x, b);
    } else if (st.kind == OStatement::WHILE) {
        while (x < st.bound) {
            b = eval(st.expr2, x, b);
            x += 1;
        }
    } else if (st.kind == OStatement::IF) {
        const OExpr& e = eval(st.expr, x, b) ? st.expr2 : st.expr3;
        (st.var == B ? b : x) = eval(e, x, b);
    }
}

std::string canonical(const IState& s) {
    std::string out;
    for (std::size_t i = 0; i < s.state.size(); ++i) {
        out += std::to_string(i + 1) + ":";
        if (!s.state[i]) {
            out += "-|";
            continue;
        }
        out += "s" + std::to_string(s.state[i]) + ",x" + std::to_string(s.x[i]) + ",b" + std::to_string(s.b[i]) +
               ",q" + (s.queue[i] < 0 ? std::string("-") : std::to_string(s.queue[i])) + "|";
    }
    return out;
}

}  // namespace

OracleResult interpret(const OSystem& sys) {
    Numbering num(sys);
    std::size_t n = sys.processes.size() * 2;
    IState init;
    init.state.assign(n, 0);
    init.x.assign(n, 0);
    init.b.assign(n, 0);
    init.queue.assign(n, -1);
    for (std::size_t p = 0; p < sys.processes.size(); ++p)
        for (int k = 0; k < sys.processes[p].initial; ++k) init.state[p * 2 + static_cast<std::size_t>(k)] = 1;
    std::set<IState> seen{init};
    std::deque<IState> todo{init};
    OracleResult result;
    while (!todo.empty()) {
        IState s = todo.front();
        todo.pop_front();
        result.states.insert(canonical(s));
        bool moved = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (!s.state[i]) continue;
            const OProcess& proc = sys.processes[i / 2];
            for (const OTransition& tr : proc.states[static_cast<std::size_t>(s.state[i] - 1)]) {
                IState t = s;
                if (tr.input >= 0) {
                    int head = s.queue[i];
                    auto sig = static_cast<std::size_t>(tr.input);
                    if (head < num.first[sig] || head >= num.first[sig] + num.size[sig]) continue;
                    int value = head - num.first[sig];
                    if (sys.signals[sig].param >= 0) {
                        if (!tr.input_var && value != tr.input_arg) continue;
                    }
                    if (tr.has_provided && !eval(tr.provided, s.x[i], s.b[i])) continue;
                    if (sys.signals[sig].param >= 0 && tr.input_var) (tr.input_arg == B ? t.b[i] : t.x[i]) = value;
                    t.queue[i] = -1;
                } else if (tr.has_provided && !eval(tr.provided, s.x[i], s.b[i])) {
                    continue;
                }
                // The runs of the transition so far: a unicast output
                // branches, an output its route does not carry ends a run.
                std::vector<IState> runs{t};
                for (const OStatement& st : tr.statements) {
                    std::vector<IState> next;
                    for (IState& u : runs) {
                        if (st.kind != OStatement::OUTPUT) {
                            execute(st, u.x[i], u.b[i]);
                            next.push_back(u);
                            continue;
                        }
                        auto sig = static_cast<std::size_t>(st.signal);
                        int number = num.first[sig] + (sys.signals[sig].param >= 0 ? eval(st.expr, u.x[i], u.b[i]) : 0);
                        auto deliver = [number](IState& v, std::size_t to) {
                            if (v.state[to] && v.queue[to] < 0) v.queue[to] = number;  // else lost
                        };
                        std::size_t receiver = static_cast<std::size_t>(st.process) * 2;
                        if (st.route < 0) {
                            deliver(u, receiver + static_cast<std::size_t>(st.instance));
                            next.push_back(u);
                            continue;
                        }
                        const ORoute& route = sys.routes[static_cast<std::size_t>(st.route)];
                        if (!route.carries[sig]) {
                            result.undeclared = result.deadlock = true;
                            continue;
                        }
                        result.routed = true;
                        if (route.kind == ORoute::PEER) {
                            deliver(u, receiver + static_cast<std::size_t>(st.instance));
                        } else if (route.kind == ORoute::MULTICAST) {
                            deliver(u, receiver);
                            deliver(u, receiver + 1);
                        } else {
                            IState other = u;
                            deliver(other, receiver + 1);
                            next.push_back(other);
                            deliver(u, receiver);
                        }
                        next.push_back(u);
                    }
                    runs = std::move(next);
                }
                moved = true;
                for (IState& u : runs) {
                    if (tr.stop) {
                        u.state[i] = 0;
                        u.queue[i] = -1;
                        u.x[i] = u.b[i] = 0;
                    } else {
                        u.state[i] = tr.next + 1;
                    }
                    if (seen.insert(u).second) todo.push_back(u);
                }
            }
        }
        if (!moved) result.deadlock = true;
    }
    return result;
}

// ---------------------------------------------------------------------------
// The net's markings between transitions.

std::set<std::string> net_states(const OSystem& sys, const Run& r) {
    std::size_t n = sys.processes.size() * 2;
    // Per place: what it says of which instance.
    enum What { NONE, LOCK, STATE, X_VAR, B_VAR, QUEUE, SIGNAL };
    struct Meaning {
        What what = NONE;
        std::size_t instance = 0;
        int a = 0, b = 0;
    };
    std::vector<Meaning> meaning(r.place_label.size());
    auto number = [](const std::string& v) { return v == "tt" ? 1 : v == "ff" ? 0 : std::stoi(v); };
    for (std::size_t p = 0; p < r.place_label.size(); ++p) {
        const std::string& label = r.place_label[p];
        if (label == "atom") {
            meaning[p].what = LOCK;
            continue;
        }
        std::string name;
        std::vector<std::string> v;
        if (!split_label(label, name, v) || v.empty() || v[0] == "dot") continue;
        int pid = std::stoi(v[0]);
        if (pid < 1 || static_cast<std::size_t>(pid) > n) continue;
        Meaning m;
        m.instance = static_cast<std::size_t>(pid - 1);
        std::string owner = sys.processes[m.instance / 2].name;
        if (name == "x" && v.size() == 2) m.what = X_VAR, m.a = number(v[1]);
        else if (name == "b" && v.size() == 2) m.what = B_VAR, m.a = number(v[1]);
        else if (name == owner + ".state" && v.size() == 2) m.what = STATE, m.a = number(v[1]);
        else if (name == owner + ".queue" && v.size() == 3) m.what = QUEUE, m.a = number(v[1]), m.b = number(v[2]);
        else if (name == owner + ".signal" && v.size() == 3) m.what = SIGNAL, m.a = number(v[1]), m.b = number(v[2]);
        meaning[p] = m;
    }
    std::set<std::string> out;
    for (const auto& marking : r.space.states) {
        bool lock = false;
        IState s;
        s.state.assign(n, 0);
        s.x.assign(n, -1);
        s.b.assign(n, -1);
        s.queue.assign(n, -1);
        std::vector<int> head(n, -1), length(n, -1);
        std::vector<std::map<int, int>> slots(n);
        for (std::size_t p = 0; p < marking.size(); ++p) {
            if (!marking[p]) continue;
            const Meaning& m = meaning[p];
            switch (m.what) {
            case LOCK: lock = true; break;
            case STATE: s.state[m.instance] = m.a; break;
            case X_VAR: s.x[m.instance] = m.a; break;
            case B_VAR: s.b[m.instance] = m.a; break;
            case QUEUE: head[m.instance] = m.a, length[m.instance] = m.b; break;
            case SIGNAL: slots[m.instance][m.a] = m.b; break;
            case NONE: break;
            }
        }
        if (!lock) continue;
        bool settled = true;
        for (std::size_t i = 0; i < n && settled; ++i) {
            if (!s.state[i]) continue;
            if (s.x[i] < 0 || s.b[i] < 0 || length[i] < 0) settled = false;
            else if (length[i] > 0) s.queue[i] = slots[i].count(head[i]) ? slots[i][head[i]] : -2;
        }
        if (!settled) continue;
        for (std::size_t i = 0; i < n; ++i)
            if (!s.state[i]) s.x[i] = s.b[i] = 0, s.queue[i] = -1;
        out.insert(canonical(s));
    }
    return out;
}

}  // namespace statecast_test
