#include "guard.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace flatnet {

void guard_parse_error(std::uint32_t transition, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "transition id %u: %s\n", transition, message.c_str());
}

// ---------------------------------------------------------------------------
// Scanner.

namespace {

constexpr std::size_t MAX_WORD = 128;

bool word_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '@' || c == '_' || c == '\''; }
bool word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '!' || c == '?' || c == '_' || c == '@' || c == '\'';
}

GuardTokenValue token(int type, std::int64_t number = 0, std::string text = std::string()) {
    return GuardTokenValue{type, number, std::move(text)};
}

GuardTokenValue next_token(const std::string& s, std::size_t& i) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= s.size()) return token(0);
    const char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
        GuardTokenValue t = token(NUMBER);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (t.number <= MAX_NUMBER) t.number = t.number * 10 + (s[i] - '0');
            ++i;
        }
        return t;
    }
    if (word_start(c)) {
        std::size_t start = i;
        while (i < s.size() && i - start < MAX_WORD && word_char(s[i])) ++i;
        std::string w = s.substr(start, i - start);
        if (w.size() == 3 && w[0] == 'p' && w[1] == 'r' && std::isdigit(static_cast<unsigned char>(w[2]))) {
            --i;  // the digit is read again as a number
            return token(PROJ);
        }
        if (w == "ff") return token(FALSE);
        if (w == "tt") return token(TRUE);
        if (w == "dot") return token(DOT_TOKEN);
        if (w == "and") return token(AND);
        if (w == "or") return token(OR);
        if (w == "not") return token(NOT);
        if (w == "pr") return token(PROJ);
        if (w == "X") return token(CROSS);
        return token(IDENT, 0, std::move(w));
    }
    ++i;
    const char d = i < s.size() ? s[i] : '\0';
    switch (c) {
    case '|': return token(OR);
    case '&': return token(AND);
    case '!': return token(NOT);
    case '<':
        if (d == '=') {
            ++i;
            return token(LE);
        }
        break;
    case '>':
        if (d == '=') {
            ++i;
            return token(GE);
        }
        break;
    case '.':
        if (d == '.') {
            ++i;
            return token(DOTDOT);
        }
        break;
    }
    return token(static_cast<unsigned char>(c));
}

}  // namespace

std::vector<GuardTokenValue> guard_lex(const std::string& text) {
    std::vector<GuardTokenValue> out;
    std::size_t i = 0;
    do out.push_back(next_token(text, i));
    while (out.back().type != 0);
    return out;
}

// ---------------------------------------------------------------------------
// Parser: declarations by recursive structure of fixed depth, expressions
// by operator precedence with explicit stacks (no recursion on nesting).

namespace {

struct ParseError {};

// Precedence levels from low to high.
int precedence(int op) {
    switch (op) {
    case OR: return 1;
    case AND: return 2;
    case NOT: return 3;
    case '=': case '#': case '<': case '>': case GE: case LE: return 4;
    case '+': case '-': return 5;
    case '*': case '/': case '%': return 6;
    case UNARYMINUS: return 7;
    default: return 0;
    }
}

bool binary_operator(int t) { return t != NOT && t != UNARYMINUS && precedence(t) > 0; }

class Parser {
public:
    Parser(const std::string& text, NameTable& names, Guard& g) : tokens_(guard_lex(text)), names_(names), g_(g) {}

    void parse() {
        if (peek().type == IDENT && tokens_.size() > 1 && tokens_[1].type == '{') {
            declaration();
            while (peek().type == AND) {
                ++pos_;
                declaration();
            }
            expect(':');
        }
        g_.root = expression();
        expect(0);
    }

private:
    const GuardTokenValue& peek() const { return tokens_[pos_]; }
    const GuardTokenValue& take() {
        const GuardTokenValue& t = tokens_[pos_];
        if (t.type != 0) ++pos_;
        return t;
    }
    void expect(int type) {
        if (take().type != type) throw ParseError{};
    }

    std::uint32_t identifier() {
        const GuardTokenValue& t = take();
        if (t.type != IDENT) throw ParseError{};
        return names_.name_to_code(t.text);
    }

    Value number(std::int64_t n) {
        if (n > MAX_NUMBER || n < MIN_NUMBER) throw ParseError{};
        return static_cast<Value>(n);
    }

    // const: NUMBER | TRUE | FALSE | DOT_TOKEN; in sets also '-' NUMBER.
    Value constant(bool negative_allowed) {
        const GuardTokenValue& t = take();
        switch (t.type) {
        case NUMBER: return number(t.number);
        case TRUE: return tt;
        case FALSE: return ff;
        case DOT_TOKEN: return dot;
        case '-':
            if (negative_allowed && peek().type == NUMBER) return number(-take().number);
            break;
        }
        throw ParseError{};
    }

    // ident mset
    void declaration() {
        Guard::Declaration d{identifier(), {}};
        d.domain.push_back(set());
        while (peek().type == CROSS) {
            ++pos_;
            d.domain.push_back(set());
        }
        g_.declared.add(d.code);
        g_.declarations.push_back(std::move(d));
    }

    // '{' elements '}': single constants, a..b and [a,b] ranges.
    ValueSet set() {
        expect('{');
        ValueSet s;
        auto range = [&s](Value a, Value b) {
            for (int v = a; v <= b; ++v) s.push_back(static_cast<Value>(v));
        };
        do {
            if (peek().type == '[') {
                ++pos_;
                Value a = constant(true);
                expect(',');
                Value b = constant(true);
                expect(']');
                range(a, b);
            } else {
                Value a = constant(true);
                if (peek().type == DOTDOT) {
                    ++pos_;
                    range(a, constant(true));
                } else {
                    s.push_back(a);
                }
            }
        } while (peek().type == ',' && (++pos_, true));
        expect('}');
        std::sort(s.begin(), s.end());
        s.erase(std::unique(s.begin(), s.end()), s.end());
        return s;
    }

    std::int32_t node(int type, std::int32_t left, std::int32_t right = 0) {
        g_.nodes.push_back(GuardNode{type, left, right});
        return static_cast<std::int32_t>(g_.nodes.size() - 1);
    }

    // Applies the operator on top of the operator stack to the operands.
    void reduce(std::vector<int>& ops, std::vector<std::int32_t>& out) {
        int op = ops.back();
        ops.pop_back();
        if (op == NOT || op == UNARYMINUS) {
            out.back() = node(op, out.back());
            return;
        }
        std::int32_t right = out.back();
        out.pop_back();
        out.back() = node(op, out.back(), right);
    }

    std::int32_t expression() {
        std::vector<int> ops;  // operators and '(' markers
        std::vector<std::int32_t> out;
        for (;;) {
            // An operand, after any prefix operators and opening parentheses.
            for (;;) {
                int t = peek().type;
                if (t == '(' || t == NOT) ops.push_back(take().type);
                else if (t == '-') {
                    ++pos_;
                    ops.push_back(UNARYMINUS);
                } else break;
            }
            const GuardTokenValue& t = take();
            switch (t.type) {
            case IDENT: {
                std::uint32_t code = names_.name_to_code(t.text);
                g_.used.add(code);
                out.push_back(node(IDENT, static_cast<std::int32_t>(code)));
                break;
            }
            case PROJ: {
                const GuardTokenValue& n = take();
                if (n.type != NUMBER || n.number > MAX_NUMBER) throw ParseError{};
                expect('(');
                std::uint32_t code = identifier();
                expect(')');
                g_.used.add(code);
                out.push_back(node(PROJ, static_cast<std::int32_t>(code), static_cast<std::int32_t>(n.number)));
                break;
            }
            case NUMBER: out.push_back(node(NUMBER, number(t.number))); break;
            case TRUE: out.push_back(node(NUMBER, tt)); break;
            case FALSE: out.push_back(node(NUMBER, ff)); break;
            case DOT_TOKEN: out.push_back(node(NUMBER, dot)); break;
            default: throw ParseError{};
            }
            // Closing parentheses, then a binary operator or the end.
            for (;;) {
                int op = peek().type;
                if (op == ')') {
                    ++pos_;
                    while (!ops.empty() && ops.back() != '(') reduce(ops, out);
                    if (ops.empty()) throw ParseError{};
                    ops.pop_back();
                    continue;
                }
                if (!binary_operator(op)) {
                    while (!ops.empty()) {
                        if (ops.back() == '(') throw ParseError{};
                        reduce(ops, out);
                    }
                    return out.back();
                }
                const int p = precedence(op);
                const bool comparison = p == 4;
                while (!ops.empty() && ops.back() != '(' &&
                       (precedence(ops.back()) > p || (precedence(ops.back()) == p && !comparison)))
                    reduce(ops, out);
                if (comparison && !ops.empty() && precedence(ops.back()) == p) throw ParseError{};
                ops.push_back(op);
                ++pos_;
                break;
            }
        }
    }

    std::vector<GuardTokenValue> tokens_;
    std::size_t pos_ = 0;
    NameTable& names_;
    Guard& g_;
};

}  // namespace

Guard guard_parse(const std::string& text, std::uint32_t transition, NameTable& names) {
    Guard g;
    try {
        Parser(text, names, g).parse();
        g.ok = true;
    } catch (const ParseError&) {
        guard_parse_error(transition, "parse error");
    }
    return g;
}

// ---------------------------------------------------------------------------
// Code and evaluation.

GuardProgram::GuardProgram(const Guard& guard, std::uint32_t transition,
                           const std::function<VariableSlot(std::uint32_t)>& slot_of)
    : transition_(transition) {
    if (guard.root < 0) {
        code_.push_back({PUSH, dot});
        return;
    }
    // Post-order walk with an explicit stack; a logical operator emits its
    // test between its operands and patches the jump after the right one.
    struct Frame {
        std::int32_t node;
        int stage;
        std::size_t test = 0;
    };
    std::vector<Frame> stack{{guard.root, 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        const GuardNode& n = guard.nodes[f.node];
        switch (n.type) {
        case NUMBER:
            code_.push_back({PUSH, n.left});
            stack.pop_back();
            continue;
        case IDENT:
        case PROJ: {
            VariableSlot s = slot_of(static_cast<std::uint32_t>(n.left));
            std::int32_t component = n.type == PROJ ? n.right : 0;
            if (static_cast<std::uint32_t>(component) < s.dimension)
                code_.push_back({LOAD, static_cast<std::int32_t>(s.offset) + component});
            else
                code_.push_back({BAD_PROJ, 0});
            stack.pop_back();
            continue;
        }
        case NOT:
        case UNARYMINUS:
            if (f.stage++ == 0) {
                stack.push_back({n.left, 0});
            } else {
                code_.push_back({n.type == NOT ? LOGICAL_NOT : NEGATE, 0});
                stack.pop_back();
            }
            continue;
        default: break;
        }
        if (f.stage == 0) {
            f.stage = 1;
            stack.push_back({n.left, 0});
            continue;
        }
        if (f.stage == 1) {
            f.stage = 2;
            if (n.type == AND || n.type == OR) {
                f.test = code_.size();
                code_.push_back({n.type == AND ? AND_TEST : OR_TEST, 0});
            }
            stack.push_back({n.right, 0});
            continue;
        }
        Op op = ADD;
        switch (n.type) {
        case AND: op = AND_END; break;
        case OR: op = OR_END; break;
        case '=': op = EQ; break;
        case '#': op = NE; break;
        case '<': op = LT; break;
        case '>': op = GT; break;
        case GE: op = GE_OP; break;
        case LE: op = LE_OP; break;
        case '+': op = ADD; break;
        case '-': op = SUB; break;
        case '*': op = MUL; break;
        case '/': op = DIV; break;
        case '%': op = MOD; break;
        }
        code_.push_back({op, 0});
        if (n.type == AND || n.type == OR) code_[f.test].arg = static_cast<std::int32_t>(code_.size());
        stack.pop_back();
    }
}

void GuardProgram::report(const char* message) const { guard_parse_error(transition_, message); }

namespace {
inline Value wrap(std::int32_t v) { return static_cast<Value>(static_cast<std::uint16_t>(v)); }
inline Value truth(bool b) { return b ? tt : ff; }
}  // namespace

Value GuardProgram::evaluate(const Value* binding, bool& error) const {
    std::vector<Value>& st = stack_;
    st.clear();
    const std::size_t n = code_.size();
    for (std::size_t pc = 0; pc < n; ++pc) {
        const Instruction& in = code_[pc];
        switch (in.op) {
        case PUSH: st.push_back(static_cast<Value>(in.arg)); continue;
        case LOAD: st.push_back(binding[in.arg]); continue;
        case BAD_PROJ:
            error = true;
            st.push_back(dot);
            continue;
        case NEGATE:
            if (!is_numeric(st.back())) report("Numerical value expected");
            st.back() = wrap(-std::int32_t{st.back()});
            continue;
        case LOGICAL_NOT:
            if (!is_boolean(st.back())) report("Boolean value expected");
            st.back() = truth(st.back() != tt);
            continue;
        case AND_TEST:
            if (st.back() == ff) pc = static_cast<std::size_t>(in.arg) - 1;
            continue;
        case OR_TEST:
            if (st.back() == tt) pc = static_cast<std::size_t>(in.arg) - 1;
            continue;
        default: break;
        }
        const Value b = st.back();
        st.pop_back();
        Value& a = st.back();
        switch (in.op) {
        case AND_END:
            // The left operand is tt or not Boolean (ff jumped past).
            if (!(a == tt && is_boolean(b))) report("Boolean value expected");
            a = b;
            break;
        case OR_END:
            if (!(a == ff && is_boolean(b))) report("Boolean value expected");
            a = b;
            break;
        case EQ: a = truth(a == b); break;
        case NE: a = truth(a != b); break;
        case LT: a = truth(is_numeric(a) && is_numeric(b) && a < b); break;
        case GT: a = truth(is_numeric(a) && is_numeric(b) && a > b); break;
        case GE_OP: a = truth(is_numeric(a) && is_numeric(b) ? a >= b : a == b); break;
        case LE_OP: a = truth(is_numeric(a) && is_numeric(b) ? a <= b : a == b); break;
        default: {
            if (!is_numeric(a) || !is_numeric(b)) report("Numerical value expected");
            const std::int32_t x = a, y = b;
            switch (in.op) {
            case ADD: a = wrap(x + y); break;
            case SUB: a = wrap(x - y); break;
            case MUL: a = wrap(x * y); break;
            case DIV:
            case MOD:
                if (y == 0) error = true;
                else a = wrap(in.op == DIV ? x / y : x % y);
                break;
            default: break;
            }
        }
        }
    }
    return st.empty() ? dot : st.back();
}

}  // namespace flatnet
