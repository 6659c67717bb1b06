#include "automata_oracle.h"

#include <cctype>
#include <cstdint>
#include <deque>
#include <fstream>
#include <map>
#include <stdexcept>

namespace oracle {

namespace {

// ---------------------------------------------------------------------------
// Labels: an expression between '<' and '>'.  Values follow the low-level
// guard evaluation: 16-bit numbers, and the truth values as two reserved
// values.

constexpr int FF = -32768, TT = -32767;

enum Access { PLAIN, PRE, POST };

struct Expr {
    enum Kind { NUM, VAR, NOT, NEG, BIN } kind = NUM;
    int value = 0;   // NUM: the value; VAR: the variable; BIN: the operator
    Access access = PLAIN;
    int a = -1, b = -1;
};

struct ParseError {};

class LabelParser {
public:
    // The label of automaton a names its own variables and the global ones.
    LabelParser(const std::string& text, const System& s, int a) : s_(s), automaton_(a) { tokenize(text); }

    // The whole label; the nodes end up in `nodes`, the root returned.
    int label() {
        int root = disjunction();
        if (pos_ != tokens_.size()) throw ParseError();
        return root;
    }
    std::vector<Expr> nodes;

private:
    void tokenize(const std::string& t) {
        std::size_t i = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                std::size_t j = i;
                while (j < t.size() && (std::isalnum(static_cast<unsigned char>(t[j])) || t[j] == '_')) ++j;
                std::string w = t.substr(i, j - i);
                bool lower = true, upper = true;
                for (char ch : w) {
                    lower = lower && !std::isupper(static_cast<unsigned char>(ch));
                    upper = upper && !std::islower(static_cast<unsigned char>(ch));
                }
                if (lower || upper) {
                    std::string k;
                    for (char ch : w) k += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
                    if (k == "or") w = "|";
                    else if (k == "and") w = "&";
                    else if (k == "not") w = "!";
                    else if (k == "true" || k == "false") w = k;
                }
                tokens_.push_back(w);
                i = j;
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                std::size_t j = i;
                while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ++j;
                tokens_.push_back(t.substr(i, j - i));
                i = j;
            } else if ((c == '<' || c == '>') && i + 1 < t.size() && t[i + 1] == '=') {
                tokens_.push_back(t.substr(i, 2));
                i += 2;
            } else {
                tokens_.push_back(std::string(1, c));
                ++i;
            }
        }
    }
    const std::string& peek() const {
        static const std::string end;
        return pos_ < tokens_.size() ? tokens_[pos_] : end;
    }
    std::string next() {
        if (pos_ >= tokens_.size()) throw ParseError();
        return tokens_[pos_++];
    }
    int add(Expr e) {
        nodes.push_back(e);
        return static_cast<int>(nodes.size()) - 1;
    }
    int binary(char op, int a, int b) {
        Expr e;
        e.kind = Expr::BIN;
        e.value = op;
        e.a = a;
        e.b = b;
        return add(e);
    }
    int variable(const std::string& name, Access access) {
        for (std::size_t v = 0; v < s_.variables.size(); ++v)
            if (s_.variables[v].name == name && (s_.variables[v].owner < 0 || s_.variables[v].owner == automaton_)) {
                Expr e;
                e.kind = Expr::VAR;
                e.value = static_cast<int>(v);
                e.access = access;
                return add(e);
            }
        throw ParseError();
    }
    static bool is_name(const std::string& t) {
        return !t.empty() && (std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_') && t != "true" &&
               t != "false";
    }

    // or (left) < and (right) < not < comparisons (none) < + - < * / % <
    // unary minus.
    int disjunction() {
        int e = conjunction();
        while (peek() == "|") {
            next();
            e = binary('|', e, conjunction());
        }
        return e;
    }
    int conjunction() {
        int e = negation();
        if (peek() != "&") return e;
        next();
        return binary('&', e, conjunction());
    }
    int negation() {
        if (peek() != "!") return comparison();
        next();
        Expr e;
        e.kind = Expr::NOT;
        e.a = negation();
        return add(e);
    }
    int comparison() {
        int e = sum();
        static const std::map<std::string, char> ops{{"=", '='}, {"#", '#'}, {"<", '<'},
                                                     {">", '>'}, {"<=", 'l'}, {">=", 'g'}};
        auto it = ops.find(peek());
        if (it == ops.end()) return e;
        next();
        e = binary(it->second, e, sum());
        if (ops.count(peek())) throw ParseError();
        return e;
    }
    int sum() {
        int e = product();
        while (peek() == "+" || peek() == "-") {
            const char op = next()[0];
            e = binary(op, e, product());
        }
        return e;
    }
    int product() {
        int e = unary();
        while (peek() == "*" || peek() == "/" || peek() == "%") {
            const char op = next()[0];
            e = binary(op, e, unary());
        }
        return e;
    }
    int unary() {
        if (peek() != "-") return primary();
        next();
        Expr e;
        e.kind = Expr::NEG;
        e.a = unary();
        return add(e);
    }
    int primary() {
        const std::string t = next();
        if (t == "(") {
            int e = disjunction();
            if (next() != ")") throw ParseError();
            return e;
        }
        if (t == "!") {  // a negation below a comparison's operand: "x = !y"
            Expr e;
            e.kind = Expr::NOT;
            e.a = negation();
            return add(e);
        }
        if (t == "'") {
            const std::string name = next();
            if (!is_name(name)) throw ParseError();
            return variable(name, PRE);
        }
        if (t == "true" || t == "false") {
            Expr e;
            e.value = t == "true" ? TT : FF;
            return add(e);
        }
        if (std::isdigit(static_cast<unsigned char>(t[0]))) {
            Expr e;
            e.value = std::stoi(t);
            return add(e);
        }
        if (!is_name(t)) throw ParseError();
        if (peek() == "'") {
            next();
            return variable(t, POST);
        }
        return variable(t, PLAIN);
    }

    const System& s_;
    int automaton_;
    std::vector<std::string> tokens_;
    std::size_t pos_ = 0;
};

struct Label {
    std::vector<Expr> nodes;
    int root = -1;
    std::vector<bool> changes;  // named before or after: any new value
    std::vector<bool> kept;     // read plainly: the value stays
};

Label parse_label(const std::string& text, const System& s, int automaton) {
    if (text.size() < 2 || text.front() != '<' || text.back() != '>') throw ParseError();
    LabelParser p(text.substr(1, text.size() - 2), s, automaton);
    Label l;
    l.root = p.label();
    l.nodes = std::move(p.nodes);
    l.changes.assign(s.variables.size(), false);
    l.kept.assign(s.variables.size(), false);
    for (const Expr& e : l.nodes) {
        if (e.kind != Expr::VAR) continue;
        if (e.access == PLAIN) l.kept[e.value] = true;
        else l.changes[e.value] = true;
    }
    return l;
}

int wrap(int v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }
bool numeric(int v) { return v > TT; }

// The value of node n; `error` is set by a zero divisor.
int eval(const Label& l, int n, const std::vector<int>& pre, const std::vector<int>& post, bool& error) {
    const Expr& e = l.nodes[n];
    switch (e.kind) {
    case Expr::NUM: return e.value;
    case Expr::VAR: return e.access == POST ? post[e.value] : pre[e.value];
    case Expr::NOT: return eval(l, e.a, pre, post, error) == TT ? FF : TT;
    case Expr::NEG: return wrap(-eval(l, e.a, pre, post, error));
    case Expr::BIN: break;
    }
    const int a = eval(l, e.a, pre, post, error);
    if (e.value == '&' || e.value == '|') {
        if (e.value == '&' && a == FF) return FF;
        if (e.value == '|' && a == TT) return TT;
        return eval(l, e.b, pre, post, error);
    }
    const int b = eval(l, e.b, pre, post, error);
    switch (e.value) {
    case '+': return wrap(a + b);
    case '-': return wrap(a - b);
    case '*': return wrap(a * b);
    case '/':
    case '%':
        if (b == 0) {
            error = true;
            return 0;
        }
        return wrap(e.value == '/' ? a / b : a % b);
    case '=': return a == b ? TT : FF;
    case '#': return a != b ? TT : FF;
    case '<': return numeric(a) && numeric(b) && a < b ? TT : FF;
    case '>': return numeric(a) && numeric(b) && a > b ? TT : FF;
    case 'l': return (numeric(a) && numeric(b)) ? (a <= b ? TT : FF) : (a == b ? TT : FF);
    case 'g': return (numeric(a) && numeric(b)) ? (a >= b ? TT : FF) : (a == b ? TT : FF);
    default: throw std::logic_error("operator");
    }
}

bool fires(const Label& l, const std::vector<int>& pre, const std::vector<int>& post) {
    for (std::size_t v = 0; v < pre.size(); ++v)
        if ((l.kept[v] || !l.changes[v]) && post[v] != pre[v]) return false;
    bool error = false;
    const int value = eval(l, l.root, pre, post, error);
    return !error && value == TT;
}

// Every valuation that agrees with `base` on the variables not in `free`.
template <class F>
void each_valuation(const System& s, std::vector<int> base, const std::vector<bool>& free, F f) {
    std::vector<int> v = base;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (free[i]) v[i] = s.variables[i].lo;
    for (;;) {
        f(v);
        std::size_t i = 0;
        for (; i < v.size(); ++i) {
            if (!free[i]) continue;
            if (v[i] < s.variables[i].hi) {
                ++v[i];
                break;
            }
            v[i] = s.variables[i].lo;
        }
        if (i == v.size()) return;
    }
}

enum : int { NOT_STARTED = -2, ENDED = -3 };

}  // namespace

// The declarations of the variables of one owner.
static std::string declarations(const System& s, int owner) {
    std::string t;
    for (const Variable& v : s.variables) {
        if (v.owner != owner) continue;
        t += "var " + v.name + " : {" + std::to_string(v.lo) + ".." + std::to_string(v.hi) + "}";
        if (v.init) t += " init " + std::to_string(*v.init);
        t += ";\n";
    }
    return t;
}

std::string project_text(const System& s) {
    std::string t = "VOS\nPROJECT_vosPFA\nVAR\n" + declarations(s, -1);
    t += "FA\n";
    for (const Automaton& a : s.automata) t += a.file + "\n";
    return t;
}

std::string automaton_text(const System& s, std::size_t index) {
    const Automaton& a = s.automata[index];
    std::string t = "VOS\nFiniteAutomaton\nFORMAT_N2\nPL\n";
    for (std::size_t i = 0; i < a.states.size(); ++i)
        t += std::to_string(i + 1) + " " + std::to_string(60 * i) + "@40 " + a.states[i].kind + " \"" +
             a.states[i].name + "\"\n";
    t += "AR\n";
    for (std::size_t i = 0; i < a.arcs.size(); ++i)
        t += std::to_string(i + 1) + " " + std::to_string(a.arcs[i].from + 1) + ">" + std::to_string(a.arcs[i].to + 1) +
             " " + std::to_string(30 + 60 * a.arcs[i].from) + "@" + std::to_string(80 + 10 * i) + " 0@0 \"" +
             a.arcs[i].label + "\"\n";
    t += "TX\n\"B(PN)2\"\n\"" + declarations(s, static_cast<int>(index)) + "\"\n";
    return t;
}

void write_system(const System& s, const std::string& dir) {
    std::ofstream(dir + "/t.prj") << project_text(s);
    for (std::size_t a = 0; a < s.automata.size(); ++a)
        std::ofstream(dir + "/" + s.automata[a].file) << automaton_text(s, a);
}

std::optional<bool> holds(const std::string& label, const System& s, const std::vector<int>& pre,
                          const std::vector<int>& post) {
    try {
        return fires(parse_label(label, s, -1), pre, post);
    } catch (const ParseError&) {
        return std::nullopt;
    }
}

Behaviour explore(const System& s, bool entry_exit) {
    std::vector<std::vector<Label>> labels(s.automata.size());
    for (std::size_t a = 0; a < s.automata.size(); ++a)
        for (const Arc& arc : s.automata[a].arcs)
            labels[a].push_back(parse_label(arc.label, s, static_cast<int>(a)));
    // An automaton ends through a transition that takes a token from every
    // final state: with one token, only when it has exactly one final state.
    std::vector<int> final_state(s.automata.size(), NOWHERE);
    for (std::size_t a = 0; a < s.automata.size(); ++a) {
        int finals = 0;
        for (std::size_t i = 0; i < s.automata[a].states.size(); ++i)
            if (s.automata[a].states[i].kind == '3') {
                ++finals;
                final_state[a] = static_cast<int>(i);
            }
        if (finals != 1) final_state[a] = NOWHERE;
    }
    auto initial_state = [&](std::size_t a) {
        for (std::size_t i = 0; i < s.automata[a].states.size(); ++i)
            if (s.automata[a].states[i].kind == '1') return static_cast<int>(i);
        return NOWHERE;
    };

    using Node = std::pair<std::vector<int>, std::vector<int>>;  // where, values
    std::set<Node> seen;
    std::deque<Node> queue;
    auto visit = [&](Node n) {
        if (seen.insert(n).second) queue.push_back(std::move(n));
    };
    std::vector<int> start_where(s.automata.size());
    for (std::size_t a = 0; a < s.automata.size(); ++a) start_where[a] = entry_exit ? NOT_STARTED : initial_state(a);
    std::vector<int> base(s.variables.size());
    std::vector<bool> uninitialised(s.variables.size());
    for (std::size_t v = 0; v < s.variables.size(); ++v) {
        base[v] = s.variables[v].init.value_or(0);
        uninitialised[v] = !s.variables[v].init;
    }
    each_valuation(s, base, uninitialised, [&](const std::vector<int>& values) { visit({start_where, values}); });

    Behaviour b;
    while (!queue.empty()) {
        const Node n = queue.front();
        queue.pop_front();
        const auto& [where, values] = n;
        View view{where, values};
        for (int& w : view.where)
            if (w < 0) w = NOWHERE;
        for (std::size_t v = 0; v < s.variables.size(); ++v)
            if (s.variables[v].owner >= 0 && view.where[s.variables[v].owner] == NOWHERE) view.values[v] = NOWHERE;
        b.reachable.insert(view);
        bool moved = false;
        for (std::size_t a = 0; a < s.automata.size(); ++a) {
            auto go = [&](int to, const std::vector<int>& post) {
                std::vector<int> w = where;
                w[a] = to;
                visit({w, post});
                moved = true;
            };
            const int at = where[a];
            if (at == NOT_STARTED) {
                go(initial_state(a), values);
                continue;
            }
            if (at < 0) continue;
            const Automaton& aut = s.automata[a];
            for (std::size_t k = 0; k < aut.arcs.size(); ++k) {
                if (aut.arcs[k].from != at) continue;
                const Label& l = labels[a][k];
                each_valuation(s, values, l.changes, [&](const std::vector<int>& post) {
                    if (fires(l, values, post)) go(aut.arcs[k].to, post);
                });
            }
            if (entry_exit && at == final_state[a]) go(ENDED, values);
        }
        if (moved) continue;
        bool ended = true;
        for (int w : where) ended = ended && w == ENDED;
        if (ended) b.all_ended = true;
        else b.dead.insert(view);
    }
    return b;
}

}  // namespace oracle
