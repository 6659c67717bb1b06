#include "fragments.h"

#include <memory>
#include <vector>

#include "bpn2_scanner.h"
#include "failure.h"
#include "mnet_base.h"
#include "references.h"
#include "source_copy.h"

namespace autocast {

using bpn2::IdentRec;
using bpn2::Node;
using bpn2::Tree;
using bpn2lex::Lexeme;

namespace {

struct FragmentState {
    std::unique_ptr<bpn2lex::Scanner> scanner;
    std::uint32_t declarations = 0;
    FragmentResult result;
};

FragmentState& S() {
    static FragmentState s;
    return s;
}

bpn2lex::Scanner& scanner() {
    if (!S().scanner) {
        bpn2lex::ScannerOptions options;
        options.procedure_groups = false;
        S().scanner = std::make_unique<bpn2lex::Scanner>(options);
    }
    return *S().scanner;
}

// Binary operators: node kind, precedence level (higher binds tighter) and
// associativity.  Level 3 is the prefix not, level 7 the unary minus.
enum Assoc { LEFT, RIGHT, NONASSOC };
struct BinaryOp {
    std::uint16_t kind;
    int level;
    Assoc assoc;
};
constexpr int NOT_LEVEL = 3, NEG_LEVEL = 7;

bool binary_op(int token, BinaryOp& op) {
    using namespace bpn2lex;
    switch (token) {
    case OR: op = {mnet::N_OR, 1, LEFT}; return true;
    case AND: op = {mnet::N_AND, 2, RIGHT}; return true;
    case '=': op = {mnet::N_EQ, 4, NONASSOC}; return true;
    case '#': op = {mnet::N_NE, 4, NONASSOC}; return true;
    case '<': op = {mnet::N_LT, 4, NONASSOC}; return true;
    case '>': op = {mnet::N_GT, 4, NONASSOC}; return true;
    case GE: op = {mnet::N_GE, 4, NONASSOC}; return true;
    case LE: op = {mnet::N_LE, 4, NONASSOC}; return true;
    case '+': op = {mnet::N_ADD, 5, LEFT}; return true;
    case '-': op = {mnet::N_SUB, 5, LEFT}; return true;
    case '*': op = {mnet::N_MUL, 6, LEFT}; return true;
    case '/': op = {mnet::N_DIV, 6, LEFT}; return true;
    case MOD: op = {mnet::N_MOD, 6, LEFT}; return true;
    default: return false;
    }
}

Tree node(std::int32_t kind, Tree a = nullptr, Tree b = nullptr) {
    return Tree(bpn2::new_node(kind, a.release(), b.release()));
}

Tree leaf(IdentRec* r, std::int32_t mode) {
    Tree n = node(mnet::N_VAR);
    n->ident = r;
    n->value = mode;
    return n;
}

Tree constant(std::int32_t value) {
    Tree n = node(mnet::N_CONST);
    n->value = value;
    return n;
}

class Parser {
public:
    explicit Parser(bpn2lex::Scanner& s) : s_(s) {}
    void fragment(FragmentResult& result);

private:
    // The lookahead is read only when a decision needs it, as an LALR
    // parser reads it, so that the actions run in the same order relative
    // to the scanner (which declares nothing, but looks identifiers up).
    int t() {
        if (!have_) {
            la_ = s_.next();
            have_ = true;
        }
        return la_.token;
    }
    Lexeme take() {
        t();
        have_ = false;
        return std::move(la_);
    }
    void expect(int token) {
        if (t() != token) error();
        take();
    }
    [[noreturn]] static void error() { parse_failure("parse error"); }

    void declarations();
    void declaration();
    bpn2::RangePtr set();
    std::int32_t const_expr();
    std::int32_t pos_expr();
    IdentRec* heading();
    IdentRec* par_list();
    Tree action();
    Tree expression();
    Tree operand(std::size_t depth);

    bpn2lex::Scanner& s_;
    Lexeme la_;
    bool have_ = false;
};

void Parser::fragment(FragmentResult& result) {
    using namespace bpn2lex;
    switch (t()) {
    case CONST:
    case VAR:
        declarations();
        if (t() != T_EOF) error();
        result.kind = RESULT_DECLARATIONS;
        break;
    case '<':
        result.action = action();
        if (t() != T_EOF) error();
        result.kind = RESULT_EXPRESSION;
        break;
    case PROC:
        result.process = heading();
        if (t() != T_EOF) error();
        result.kind = RESULT_PROCEDURE;
        break;
    default: error();
    }
}

// ---------------------------------------------------------------------------
// Declarations.

void Parser::declarations() {
    do declaration();
    while (t() == bpn2lex::CONST || t() == bpn2lex::VAR);
}

void Parser::declaration() {
    using namespace bpn2lex;
    if (take().token == CONST) {
        if (t() != IDENT) error();
        const Lexeme name = take();
        expect('=');
        const std::int32_t value = const_expr();
        IdentRec* r = name.ident.ident;
        if (r->kind != bpn2::UNDECLARED) {
            mnet::report(mnet::ERROR, "identifier %s already used", r->name.c_str());
        } else {
            bpn2::declare_ident(name.ident);
            bpn2::give_typ(bpn2::CONSTANT, nullptr, value);
        }
    } else {
        for (;;) {
            if (t() != IDENT) error();
            IdentRec* r = bpn2::declare_ident(take().ident);
            set_object_number(r, static_cast<std::uint16_t>(++S().declarations));
            if (t() != ',') break;
            take();
        }
        expect(':');
        if (t() == CHAN || t() == STACK) {
            const std::uint8_t cls = take().token == CHAN ? bpn2::CHANNEL : bpn2::STACK;
            const std::int32_t capacity = const_expr();
            expect(OF);
            bpn2::RangePtr ranges = set();
            bpn2::give_typ(cls, ranges, capacity);
        } else {
            bpn2::RangePtr ranges = set();
            std::int32_t init = bpn2::NO_VALUE;
            if (t() == INIT) {
                take();
                init = const_expr();
            }
            bpn2::give_typ(bpn2::VARIABLE, ranges, init);
        }
    }
    expect(';');
}

bpn2::RangePtr Parser::set() {
    expect('{');
    bpn2::RangePtr list;
    for (;;) {
        const std::int32_t a = const_expr();
        std::int32_t b = a;
        if (t() == '.') {
            take();
            expect('.');
            b = const_expr();
        }
        list = bpn2::merge_range(bpn2::new_range(a, b), list);
        if (t() == '}') break;
        if (t() != ',') error();
        take();
    }
    take();
    return list;
}

std::int32_t Parser::const_expr() {
    if (t() != '-') return pos_expr();
    take();
    if (t() != bpn2lex::NUMBER) error();
    const std::int32_t v = -take().value;
    if (v < mnet::VAL_MIN) mnet::fatal("Constant out of range !");
    return v;
}

std::int32_t Parser::pos_expr() {
    using namespace bpn2lex;
    switch (t()) {
    case NUMBER:
    case CONST_IDENT: return take().value;
    case TRUE_: take(); return mnet::VAL_TT;
    case FALSE_: take(); return mnet::VAL_FF;
    default: error();
    }
}

// ---------------------------------------------------------------------------
// Procedure heading.

IdentRec* Parser::heading() {
    using namespace bpn2lex;
    take();  // proc
    if (t() != IDENT) error();
    IdentRec* p = bpn2::declare_ident(take().ident);
    bpn2::give_typ(bpn2::BLOCK_NAME, nullptr, 0);
    if (t() == '(') {
        take();
        IdentRec* params = par_list();
        expect(')');
        bpn2::set_next_param(p, params);
    }
    return p;
}

IdentRec* Parser::par_list() {
    using namespace bpn2lex;
    IdentRec* list = nullptr;
    for (;;) {
        std::uint8_t mode;
        switch (t()) {
        case VAL: mode = bpn2::BY_VALUE; break;
        case CONST: mode = bpn2::BY_CONST; break;
        case RES: mode = bpn2::BY_RESULT; break;
        case REF: mode = bpn2::BY_REFERENCE; break;
        default: error();
        }
        take();
        if (t() != IDENT) error();
        IdentRec* p = bpn2::declare_param(take().ident);
        expect(':');
        if (mode == bpn2::BY_REFERENCE && (t() == CHAN || t() == STACK)) {
            const std::uint8_t cls = take().token == CHAN ? bpn2::CHANNEL : bpn2::STACK;
            const std::int32_t capacity = const_expr();
            expect(OF);
            bpn2::RangePtr ranges = set();
            bpn2::give_typ(cls, ranges, capacity);
        } else {
            bpn2::give_typ(bpn2::VARIABLE, set(), bpn2::NO_VALUE);
        }
        list = bpn2::append_param(list, mode, p);
        if (t() != ',') return list;
        take();
    }
}

// ---------------------------------------------------------------------------
// Atomic action.

Tree Parser::action() {
    const Lexeme open = take();  // '<'
    Tree e = expression();
    const Lexeme close = take();  // the closing '>'
    expect(';');
    Tree a = node(bpn2::K_ACTION, std::move(e));
    a->pos = bpn2::new_pos(open.pos, close.pos, 10);
    return a;
}

// The symbols of the parser stack above its bottom state and the '<':
// operands (expressions), '(' and the prefix and binary operators.
struct Symbol {
    enum Type : std::uint8_t { OPERAND, OPEN, PREFIX, BINARY } type;
    std::uint16_t kind = 0;  // node kind of an operator
    int level = 0;           // its precedence level
    Tree tree;               // an operand
};

Tree Parser::expression() {
    using namespace bpn2lex;
    std::vector<Symbol> stack;
    // Entries of the parser stack after pushing `extra` more symbols: the
    // bottom state, '<' and the symbols.
    auto grow = [&](std::size_t extra) {
        if (2 + stack.size() + extra >= PARSER_STACK_LIMIT) parse_failure("parser stack overflow");
    };
    auto shift = [&](Symbol::Type type, std::uint16_t kind, int level) {
        grow(1);
        take();
        stack.push_back(Symbol{type, kind, level, nullptr});
    };
    // Reduces the operand on top with the operator below it.
    auto reduce = [&] {
        Tree right = std::move(stack.back().tree);
        stack.pop_back();
        const Symbol op = std::move(stack.back());
        stack.pop_back();
        if (op.type == Symbol::PREFIX) {
            stack.push_back(Symbol{Symbol::OPERAND, 0, 0, node(op.kind, std::move(right))});
        } else {
            Tree left = std::move(stack.back().tree);
            stack.back().tree = node(op.kind, std::move(left), std::move(right));
        }
    };
    for (;;) {
        // An operand is expected: prefixes and '(' pile up.
        const int k = t();
        if (k == '(') {
            shift(Symbol::OPEN, 0, 0);
            continue;
        }
        if (k == '!' || k == NOT) {
            shift(Symbol::PREFIX, mnet::N_NOT, NOT_LEVEL);
            continue;
        }
        if (k == '-') {
            shift(Symbol::PREFIX, mnet::N_NEG, NEG_LEVEL);
            continue;
        }
        Tree e = operand(2 + stack.size());
        stack.push_back(Symbol{Symbol::OPERAND, 0, 0, std::move(e)});
        // An operand is on top: reduce while the operator below binds
        // tighter than the lookahead, then shift the next operator, close a
        // parenthesis or end at the closing '>'.
        for (;;) {
            const Symbol* below = stack.size() >= 2 ? &stack[stack.size() - 2] : nullptr;
            BinaryOp op{};
            const bool binary = binary_op(t(), op);
            if (below && (below->type == Symbol::PREFIX || below->type == Symbol::BINARY)) {
                if (!binary || below->level > op.level || (below->level == op.level && op.assoc == LEFT)) {
                    reduce();
                    continue;
                }
                if (below->level == op.level && op.assoc == NONASSOC) error();
            } else if (below) {  // '('
                if (t() == ')') {
                    grow(1);
                    take();
                    Tree inner = std::move(stack.back().tree);
                    stack.pop_back();
                    stack.back() = Symbol{Symbol::OPERAND, 0, 0, node(mnet::N_PAREN, std::move(inner))};
                    continue;
                }
            } else if (t() == CA) {
                return std::move(stack.back().tree);
            }
            if (!binary) error();
            shift(Symbol::BINARY, op.kind, op.level);
            break;
        }
    }
}

// An operand: an identifier use, a primed or quoted variable, a channel
// access or a constant.  `depth` is the number of parser stack entries
// below it.
Tree Parser::operand(std::size_t depth) {
    using namespace bpn2lex;
    auto grow_to = [&](std::size_t extra) {
        if (depth + extra >= PARSER_STACK_LIMIT) parse_failure("parser stack overflow");
    };
    grow_to(1);
    switch (t()) {
    case '\'': {
        take();
        if (t() != IDENT) error();
        grow_to(2);
        IdentRec* r = take().ident.ident;
        bpn2::check_ident(r, bpn2::VARIABLE);
        r->use |= 0x11;
        return leaf(r, bpn2::ACC_PRE);
    }
    case IDENT: {
        IdentRec* r = take().ident.ident;
        std::int32_t mode;
        switch (t()) {
        case '\'': mode = bpn2::ACC_POST; break;
        case '?': mode = bpn2::ACC_RECEIVE; break;
        case '!': mode = bpn2::ACC_SEND; break;
        case EMPTY: mode = bpn2::ACC_EMPTY; break;
        case FULL: mode = bpn2::ACC_FULL; break;
        default:
            bpn2::check_ident(r, bpn2::VARIABLE);
            r->use |= 0x22;
            return leaf(r, bpn2::ACC_PLAIN);
        }
        grow_to(2);
        take();
        if (mode == bpn2::ACC_POST) {
            bpn2::check_ident(r, bpn2::VARIABLE);
            r->use |= 0x11;
            return leaf(r, mode);
        }
        bpn2::check_ident2(r, bpn2::CHANNEL, bpn2::STACK);
        if ((mode == bpn2::ACC_EMPTY || mode == bpn2::ACC_FULL) && r->kind != bpn2::UNDECLARED && r->number == 0)
            mnet::report(mnet::ERROR, "illegal use of chan-0-identifier %s", r->name.c_str());
        static const std::uint8_t use[] = {0x11, 0x22, 0x44, 0x88};
        r->use |= use[mode - bpn2::ACC_RECEIVE];
        return leaf(r, mode);
    }
    case NUMBER:
    case TRUE_:
    case FALSE_:
    case CONST_IDENT: return constant(pos_expr());
    default: error();
    }
}

}  // namespace

const FragmentResult& fragment_result() { return S().result; }

void pfa_parse(const std::string& fragment) {
    FragmentResult& result = S().result;
    result = FragmentResult();
    source_copy().append(fragment.data(), fragment.size());
    scanner().set_input(fragment);
    Parser(scanner()).fragment(result);
}

void parse_var_declarations(const std::string& text) {
    bpn2::open_scope();
    if (text.empty()) return;
    pfa_parse(text);
    if (fragment_result().kind != RESULT_DECLARATIONS) parse_failure("got expression instead of vardecls");
}

void parse_failure(const std::string& message) {
    throw Failure(EXIT_FAILURE_STATUS, "error while parsing: " + message + "\n");
}

void cut_ref_param_names(IdentRec* params) {
    for (IdentRec* p = params; p; p = p->next_param) {
        if (p->mode != bpn2::BY_REFERENCE) continue;
        const std::size_t at = p->name.rfind('@');
        if (at != std::string::npos) p->name.erase(at);
    }
}

std::uint32_t declaration_counter() { return S().declarations; }

void reset_fragments() {
    S().scanner.reset();
    S().declarations = 0;
    S().result = FragmentResult();
}

}  // namespace autocast
