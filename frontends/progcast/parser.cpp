// A recursive-descent parser for the B(PN)2 program grammar.
//
// Lists and chains (declarations, `;` and `||` chains, alternatives,
// labels, binary operators of one level) are read in loops; only nesting
// (blocks, loops, parentheses, prefix operators) recurses.  Each recursive
// call takes an entry of the parser stack, whose size is bounded, so deep
// nesting ends the parse with "parser stack overflow" long before the
// machine's stack could run out.
//
// After a syntax error the parser skips to one of ; end od < do || and goes
// on, reporting no further syntax error until it has taken one of end ;
// const var [] do od enter (or three tokens); at the end of the input in
// that state it gives up.
#include "parser.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "bpn2_scanner.h"
#include "mnet_base.h"

namespace progcast {

using namespace bpn2lex;
using bpn2::IdentRec;
using bpn2::Node;
using bpn2::Tree;
using mnet::report;

namespace {

struct GiveUp {};  // the parser gave up (end of input after an error, stack overflow)

// The part of the machine stack the parser may take: half of what the
// process may use, at most 32 MB.  Deep nesting ends the parse with "parser
// stack overflow" before the stack could run out, whatever the build makes
// of the size of the parser's frames, and leaves room for the translation,
// whose recursion follows the same nesting.
class StackBudget {
public:
    StackBudget() : base_(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0))) {
        std::uintptr_t limit = 8u << 20;
        rlimit rl{};
        if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) limit = rl.rlim_cur;
        budget_ = std::min<std::uintptr_t>(limit, 64u << 20) / 2;
    }
    bool exceeded() const {
        const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        return here < base_ && base_ - here > budget_;
    }

private:
    std::uintptr_t base_;
    std::uintptr_t budget_;
};

Tree tree(Node* n) { return Tree(n); }

Tree node(std::int32_t kind, Tree a = nullptr, Tree b = nullptr) {
    return tree(bpn2::new_node(kind, a.release(), b.release()));
}

// A pending call of a procedure declared later in its group.
struct Group {
    std::vector<Node*> pending;
    std::vector<IdentRec*> procedures;
};

class Parser {
public:
    Parser(const std::string& text, const ParseOptions& options) : options_(options) { scanner_.set_input(text); }

    Tree program();

    int syntax_errors = 0;
    int old_syntax = 0;
    bool procedure_called = false;

private:
    // --- tokens
    const Lexeme& tok(std::size_t k = 0) {
        while (buffer_.size() <= k) buffer_.push_back(scanner_.next());
        return buffer_[k];
    }
    int t(std::size_t k = 0) { return tok(k).token; }
    Lexeme advance() {
        Lexeme l = tok();
        buffer_.pop_front();
        ++taken_;
        if (error_state_ > 0) {
            switch (l.token) {
            case END: case ';': case CONST: case VAR: case CHOICE: case DO: case OD: case ENTER:
                error_state_ = 0;
                break;
            default:
                --error_state_;
            }
        }
        return l;
    }

    // --- errors
    void syntax_error() {
        if (!error_state_) report(mnet::ERROR_UNCOUNTED, "parse error");
        ++syntax_errors;
        error_state_ = 3;
    }
    [[noreturn]] void give_up() { throw GiveUp(); }
    static bool sync_token(int k) {
        return k == ';' || k == END || k == OD || k == '<' || k == DO || k == PARALLEL;
    }
    // Skips to a token the parser can go on from; takes at least one token
    // when it stopped at this token before.
    void recover() {
        if (taken_ == last_recovery_) {
            if (t() == T_EOF) give_up();
            skip();
        }
        while (!sync_token(t())) {
            if (t() == T_EOF) give_up();
            skip();
        }
        last_recovery_ = taken_;
    }
    void skip() {
        buffer_.pop_front();
        ++taken_;
    }
    bool expect(int k) {
        if (t() == k) {
            advance();
            return true;
        }
        syntax_error();
        if (t() == T_EOF) give_up();
        if (t() == END || t() == OD) return false;  // for the construct around
        recover();
        if (t() == k) {
            advance();
            return true;
        }
        return false;
    }

    struct Depth {
        explicit Depth(Parser& p) : p_(p) {
            if (++p_.depth_ > PARSER_STACK_LIMIT || p_.stack_.exceeded()) {
                report(mnet::ERROR_UNCOUNTED, "parser stack overflow");
                throw GiveUp();
            }
        }
        ~Depth() { --p_.depth_; }
        Parser& p_;
    };

    void old(const char* warning) {
        ++old_syntax;
        if (!options_.no_old_warnings) report(mnet::WARNING, "%s", warning);
    }

    // --- declarations
    std::int32_t const_expr();
    std::int32_t pos_expr();
    bpn2::RangePtr set();
    void decl();
    void pdecl();
    void proc_decl();
    IdentRec* par_list();
    void open_group();
    void close_group();

    // --- commands
    Tree scope();
    Tree block();
    Tree com();
    Tree seq();
    Tree labelled();
    Tree primary_com();
    Tree atomic_action(bool old_form);
    Tree loop();
    Tree call();
    void alternatives(Tree first, std::vector<Tree>& out);

    // --- expressions
    Tree expression();
    Tree and_expr();
    Tree cmp_expr();
    Tree add_expr();
    Tree mul_expr();
    Tree unary();
    Tree primary();
    Tree identifier_use();

    bool com_start(int k) { return k == '<' || k == '[' || k == DO || k == BEGIN_ || k == IDENT; }
    bool scope_start(int k) {
        return k == CONST || k == VAR || k == PROC || k == PROCGRP || k == '<' || k == '[' || k == IDENT ||
               k == BEGIN_ || k == DO;
    }

    StackBudget stack_;
    bpn2lex::Scanner scanner_;
    ParseOptions options_;
    std::deque<Lexeme> buffer_;
    std::size_t taken_ = 0;
    std::size_t last_recovery_ = static_cast<std::size_t>(-1);
    int error_state_ = 0;
    int depth_ = 0;
    std::vector<Group> groups_;
    Group outside_;  // calls waiting at the outermost level
};

// ---------------------------------------------------------------------------
// Declarations.

std::int32_t Parser::pos_expr() {
    const Lexeme l = tok();
    switch (l.token) {
    case NUMBER:
    case CONST_IDENT:
        advance();
        return l.value;
    case TRUE_:
        advance();
        return mnet::VAL_TT;
    case FALSE_:
        advance();
        return mnet::VAL_FF;
    default:
        syntax_error();
        recover();
        return 0;
    }
}

std::int32_t Parser::const_expr() {
    if (t() == '-' && t(1) == NUMBER) {
        advance();
        std::int32_t v = advance().value;
        if (v > -mnet::VAL_MIN) mnet::fatal("Constant out of range !");
        return -v;
    }
    return pos_expr();
}

bpn2::RangePtr Parser::set() {
    bpn2::RangePtr list;
    if (t() == '[') {
        old("old syntax in set declaration");
        advance();
        std::int32_t a = const_expr();
        expect(',');
        std::int32_t b = const_expr();
        expect(']');
        return bpn2::merge_range(bpn2::new_range(a, b), list);
    }
    if (!expect('{')) return list;
    for (;;) {
        std::int32_t a = const_expr();
        std::int32_t b = a;
        if (t() == '.' && t(1) == '.') {
            advance();
            advance();
            b = const_expr();
        }
        list = bpn2::merge_range(bpn2::new_range(a, b), list);
        if (t() != ',') break;
        advance();
    }
    expect('}');
    return list;
}

void Parser::decl() {
    if (advance().token == CONST) {
        if (t() == CONST_IDENT) {
            report(mnet::WARNING, "attempt at redeclaring an constant identifier");
            advance();
            expect('=');
            const_expr();
            expect(';');
            return;
        }
        if (t() != IDENT) {
            syntax_error();
            recover();
            if (t() == ';') advance();
            return;
        }
        const Lexeme name = advance();
        expect('=');
        std::int32_t v = const_expr();
        if (name.ident.ident->kind != bpn2::UNDECLARED) {
            report(mnet::ERROR, "identifier %s already used", name.ident.ident->name.c_str());
        } else {
            bpn2::declare_ident(name.ident);
            bpn2::give_typ(bpn2::CONSTANT, nullptr, v);
        }
        expect(';');
        return;
    }
    // var
    for (;;) {
        if (t() != IDENT) {
            syntax_error();
            recover();
            if (t() == ';') advance();
            return;
        }
        bpn2::declare_ident(advance().ident);
        if (t() != ',') break;
        advance();
    }
    expect(':');
    if (t() == CHAN || t() == STACK) {
        const std::uint8_t cls = advance().token == CHAN ? bpn2::CHANNEL : bpn2::STACK;
        std::int32_t capacity = const_expr();
        expect(OF);
        bpn2::RangePtr ranges = set();
        bpn2::give_typ(cls, ranges, capacity);
    } else {
        bpn2::RangePtr ranges = set();
        std::int32_t init = bpn2::NO_VALUE;
        if (t() == INIT) {
            advance();
            init = const_expr();
        }
        bpn2::give_typ(bpn2::VARIABLE, ranges, init);
    }
    expect(';');
}

IdentRec* Parser::par_list() {
    IdentRec* list = nullptr;
    for (;;) {
        std::uint8_t mode = bpn2::BY_VALUE;
        switch (t()) {
        case VAL: advance(); break;
        case CONST: advance(); mode = bpn2::BY_CONST; break;
        case RES: advance(); mode = bpn2::BY_RESULT; break;
        case REF: advance(); mode = bpn2::BY_REFERENCE; break;
        default: old("old syntax (missing keyword VAL)"); break;
        }
        if (t() != IDENT) {
            syntax_error();
            recover();
            return list;
        }
        IdentRec* p = bpn2::declare_param(advance().ident);
        expect(':');
        if (mode == bpn2::BY_REFERENCE && (t() == CHAN || t() == STACK)) {
            const std::uint8_t cls = advance().token == CHAN ? bpn2::CHANNEL : bpn2::STACK;
            std::int32_t capacity = const_expr();
            expect(OF);
            bpn2::RangePtr ranges = set();
            bpn2::give_typ(cls, ranges, capacity);
        } else {
            bpn2::give_typ(bpn2::VARIABLE, set(), bpn2::NO_VALUE);
        }
        list = bpn2::append_param(list, mode, p);
        if (t() != ',') return list;
        advance();
    }
}

void Parser::proc_decl() {
    advance();  // proc
    mnet::procedure_semantics = true;
    if (t() != IDENT) {
        syntax_error();
        recover();
        return;
    }
    const Lexeme name = advance();
    IdentRec* params = nullptr;
    bool with_params = false;
    if (t() == '(') {
        advance();
        with_params = true;
        params = par_list();
        expect(')');
    }
    std::int32_t instances = bpn2::NO_VALUE;
    if (t() == MAX) {
        advance();
        instances = const_expr();
        if (instances == mnet::VAL_TT || instances == mnet::VAL_FF) {
            report(mnet::ERROR, "Maximum of PROC-instances must be a number !");
        } else if (instances < 0) {
            report(mnet::ERROR, "Maximum of PROC-instances must be positive !");
        }
    }
    IdentRec* p = bpn2::declare_ident(name.ident);
    const bool fresh = p->kind == bpn2::UNDECLARED;
    bpn2::give_typ(with_params ? bpn2::PROCEDURE_PARAMS : bpn2::PROCEDURE, nullptr, 0);
    if (fresh) {
        p->number = instances;
        bpn2::set_next_param(p, params);
        if (!groups_.empty()) groups_.back().procedures.push_back(p);
    }
    if (t() != BEGIN_) {
        syntax_error();
        recover();
        return;
    }
    Tree body = block();
    if (fresh) p->body = std::move(body);
}

void Parser::open_group() {
    advance();  // procgrp
    groups_.emplace_back();
    bpn2::set_procedure_group_mode(true);
}

void Parser::close_group() {
    Group g = std::move(groups_.back());
    groups_.pop_back();
    bpn2::set_procedure_group_mode(!groups_.empty());
    Group& outer = groups_.empty() ? outside_ : groups_.back();
    for (Node* call : g.pending) {
        IdentRec* match = nullptr;
        for (auto it = g.procedures.rbegin(); it != g.procedures.rend() && !match; ++it)
            if ((*it)->name == call->ident->name) match = *it;
        if (!match) {
            outer.pending.push_back(call);
            continue;
        }
        call->ident = match;
        match->use = bpn2::USED_FULLY;
        const std::uint8_t expected = call->kind == bpn2::K_CALL ? bpn2::PROCEDURE : bpn2::PROCEDURE_PARAMS;
        if (match->kind != expected) report(mnet::ERROR, "incorrect use of identifier %s", match->name.c_str());
        else if (call->kind == bpn2::K_CALL_ARGS) bpn2::check_args(call->args, match->next_param);
    }
}

void Parser::pdecl() {
    Depth d(*this);  // procedure groups nest
    if (t() == PROCGRP) {
        open_group();
        do {
            if (t() == PROC) {
                proc_decl();
            } else if (t() == PROCGRP) {
                pdecl();
                continue;
            } else {
                syntax_error();
                recover();
                if (t() == ';') advance();
                if (t() == T_EOF) give_up();
                continue;
            }
            expect(';');
        } while (t() == PROC || t() == PROCGRP);
        if (t() == ENDGRP) advance();
        else syntax_error();
        close_group();
        expect(';');
        return;
    }
    proc_decl();
    expect(';');
}

// ---------------------------------------------------------------------------
// Commands.

Tree Parser::scope() {
    Depth d(*this);
    while (t() == CONST || t() == VAR) decl();
    while (t() == PROC || t() == PROCGRP) pdecl();
    return com();
}

Tree Parser::block() {
    Depth d(*this);
    const Lexeme begin = advance();
    bpn2::open_scope();
    std::string name;
    if (t() == IDENT && scope_start(t(1))) {
        const Lexeme l = advance();
        name = l.ident.ident->name;
        if (l.ident.ident->kind != bpn2::UNDECLARED) {
            report(mnet::ERROR, "identifier %s already used", name.c_str());
        } else {
            bpn2::declare_ident(l.ident);
            bpn2::give_typ(bpn2::BLOCK_NAME, nullptr, 0);
        }
    }
    Tree command = scope();
    bpn2::SourceRange last = tok().pos;
    if (expect(END) && !name.empty()) {
        if (t() == IDENT) {
            const Lexeme closing = advance();
            if (closing.ident.ident->name != name)
                report(mnet::ERROR, "blocknames differ (BEGIN '%s', END '%s')", name.c_str(),
                       closing.ident.ident->name.c_str());
        } else {
            syntax_error();
        }
    }
    Tree b = node(bpn2::K_BLOCK, std::move(command));
    b->decls = bpn2::close_scope();
    b->pos = bpn2::new_pos(begin.pos, last, 9);
    return b;
}

Tree Parser::com() {
    Depth d(*this);
    Tree left = seq();
    while (t() == PARALLEL) {
        advance();
        Tree right = seq();
        left = node(bpn2::K_PAR, std::move(left), std::move(right));
    }
    return left;
}

Tree Parser::seq() {
    Depth d(*this);
    Tree left = labelled();
    for (;;) {
        if (t() == ';' && t(1) != REPEAT && t(1) != EXIT) {
            advance();
        } else if (com_start(t())) {
            syntax_error();  // a missing ';': go on with the next command
        } else {
            return left;
        }
        Tree right = labelled();
        left = node(bpn2::K_SEQ, std::move(left), std::move(right));
    }
}

Tree Parser::labelled() {
    Depth d(*this);
    std::vector<Lexeme> labels;
    while (t() == IDENT && t(1) == ':') {
        labels.push_back(advance());
        advance();
    }
    Tree c = primary_com();
    for (std::size_t k = labels.size(); k-- > 0;) {
        Tree l = node(bpn2::K_LABEL, std::move(c));
        l->ident = labels[k].ident.ident;
        l->pos = bpn2::new_pos(labels[k].pos, labels[k].pos, 12);
        c = std::move(l);
    }
    return c;
}

Tree Parser::primary_com() {
    Depth d(*this);
    switch (t()) {
    case '<': return atomic_action(false);
    case '[': return atomic_action(true);
    case BEGIN_: return block();
    case DO: return loop();
    case IDENT: return call();
    default:
        syntax_error();
        recover();
        return nullptr;
    }
}

Tree Parser::atomic_action(bool old_form) {
    Depth d(*this);
    const Lexeme open = advance();
    if (old_form) old("old syntax in atomic action");
    Tree e = expression();
    bpn2::SourceRange last = tok().pos;
    expect(old_form ? int(']') : int(CA));
    Tree a = node(bpn2::K_ACTION, std::move(e));
    a->pos = bpn2::new_pos(open.pos, last, 10);
    return a;
}

void Parser::alternatives(Tree first, std::vector<Tree>& out) {
    Tree c = std::move(first);
    for (;;) {
        int kind = bpn2::K_EXIT;
        if (t() == ';' && (t(1) == REPEAT || t(1) == EXIT)) {
            advance();
            kind = advance().token == REPEAT ? bpn2::K_REPEAT : bpn2::K_EXIT;
        } else {
            syntax_error();
            if (t() == T_EOF) give_up();
            if (t() != OD && t() != END) recover();
        }
        out.push_back(node(kind, std::move(c)));
        if (t() != CHOICE) return;
        advance();
        c = com();
    }
}

Tree Parser::loop() {
    Depth d(*this);
    advance();  // do
    Tree first = com();
    Tree entry;
    std::vector<Tree> alts;
    if (t() == ENTER) {
        advance();
        entry = std::move(first);
        alternatives(com(), alts);
    } else {
        alternatives(std::move(first), alts);
    }
    expect(OD);
    Tree set = std::move(alts.front());
    for (std::size_t k = 1; k < alts.size(); ++k) set = node(bpn2::K_ALT, std::move(set), std::move(alts[k]));
    return node(bpn2::K_LOOP, std::move(set), std::move(entry));
}

Tree Parser::call() {
    const Lexeme name = advance();
    IdentRec* p = name.ident.ident;
    procedure_called = true;
    Tree c;
    bool pending;
    bpn2::SourceRange last = name.pos;
    if (t() == '(') {
        pending = bpn2::check_proc_ident(p, bpn2::PROCEDURE_PARAMS);
        advance();
        c = node(bpn2::K_CALL_ARGS);
        bpn2::start_arguments(pending ? nullptr : p);
        for (;;) {
            if (t() == IDENT && (t(1) == ',' || t(1) == ')')) {
                bpn2::check_arg(c->args, bpn2::ARG_IDENTIFIER, advance().ident.ident, nullptr);
            } else {
                Tree e = expression();
                if (e && e->kind == mnet::N_PAREN) syntax_error();  // an argument is no bare parenthesis
                bpn2::check_arg(c->args, bpn2::ARG_EXPRESSION, nullptr, e.release());
            }
            if (t() != ',') break;
            advance();
        }
        last = tok().pos;
        expect(')');
        bpn2::end_arguments();
    } else {
        pending = bpn2::check_proc_ident(p, bpn2::PROCEDURE);
        c = node(bpn2::K_CALL);
    }
    c->ident = p;
    c->pos = bpn2::new_pos(name.pos, last, 11);
    if (pending) (groups_.empty() ? outside_ : groups_.back()).pending.push_back(c.get());
    return c;
}

// ---------------------------------------------------------------------------
// Expressions.  Binding, loosest first: or; and (to the right); not, !;
// comparisons (not associative); + -; * / %; unary minus.

Tree Parser::expression() {
    Depth d(*this);
    Tree left = and_expr();
    while (t() == OR) {
        advance();
        Tree right = and_expr();
        left = node(mnet::N_OR, std::move(left), std::move(right));
    }
    return left;
}

Tree Parser::and_expr() {
    Depth d(*this);
    std::vector<Tree> operands;
    operands.push_back(cmp_expr());
    while (t() == AND) {
        advance();
        operands.push_back(cmp_expr());
    }
    Tree e = std::move(operands.back());
    for (std::size_t k = operands.size() - 1; k-- > 0;) e = node(mnet::N_AND, std::move(operands[k]), std::move(e));
    return e;
}

Tree Parser::cmp_expr() {
    Depth d(*this);
    auto comparison = [&]() -> std::int32_t {
        switch (t()) {
        case '=': return mnet::N_EQ;
        case '#': return mnet::N_NE;
        case '<': return mnet::N_LT;
        case '>': return mnet::N_GT;
        case GE: return mnet::N_GE;
        case LE: return mnet::N_LE;
        default: return 0;
        }
    };
    Tree left = add_expr();
    if (std::int32_t k = comparison()) {
        advance();
        Tree right = add_expr();
        left = node(k, std::move(left), std::move(right));
        if (comparison()) {
            syntax_error();
            recover();
        }
    }
    return left;
}

Tree Parser::add_expr() {
    Depth d(*this);
    Tree left = mul_expr();
    while (t() == '+' || t() == '-') {
        const std::int32_t k = advance().token == '+' ? mnet::N_ADD : mnet::N_SUB;
        Tree right = mul_expr();
        left = node(k, std::move(left), std::move(right));
    }
    return left;
}

Tree Parser::mul_expr() {
    Depth d(*this);
    Tree left = unary();
    while (t() == '*' || t() == '/' || t() == MOD) {
        const int op = advance().token;
        const std::int32_t k = op == '*' ? mnet::N_MUL : op == '/' ? mnet::N_DIV : mnet::N_MOD;
        Tree right = unary();
        left = node(k, std::move(left), std::move(right));
    }
    return left;
}

Tree Parser::unary() {
    Depth d(*this);
    if (t() != '-') return primary();
    advance();
    return node(mnet::N_NEG, unary());
}

Tree Parser::identifier_use() {
    const Lexeme name = advance();
    IdentRec* r = name.ident.ident;
    std::int32_t mode = bpn2::ACC_PLAIN;
    switch (t()) {
    case '\'': mode = bpn2::ACC_POST; break;
    case '?': mode = bpn2::ACC_RECEIVE; break;
    case '!': mode = bpn2::ACC_SEND; break;
    case EMPTY: mode = bpn2::ACC_EMPTY; break;
    case FULL: mode = bpn2::ACC_FULL; break;
    default: break;
    }
    if (mode != bpn2::ACC_PLAIN) advance();
    switch (mode) {
    case bpn2::ACC_PLAIN:
        bpn2::check_ident(r, bpn2::VARIABLE);
        r->use |= 0x22;
        break;
    case bpn2::ACC_POST:
        bpn2::check_ident(r, bpn2::VARIABLE);
        r->use |= 0x11;
        break;
    default:
        bpn2::check_ident2(r, bpn2::CHANNEL, bpn2::STACK);
        if ((mode == bpn2::ACC_EMPTY || mode == bpn2::ACC_FULL) && r->kind != bpn2::UNDECLARED && r->number == 0)
            report(mnet::ERROR, "illegal use of chan-0-identifier %s", r->name.c_str());
        r->use |= mode == bpn2::ACC_RECEIVE ? 0x11 : mode == bpn2::ACC_SEND ? 0x22 : mode == bpn2::ACC_EMPTY ? 0x44 : 0x88;
        break;
    }
    Tree leaf = node(mnet::N_VAR);
    leaf->ident = r;
    leaf->value = mode;
    return leaf;
}

Tree Parser::primary() {
    Depth d(*this);
    switch (t()) {
    case '(': {
        advance();
        Tree e = expression();
        expect(')');
        return node(mnet::N_PAREN, std::move(e));
    }
    case NOT:
    case '!':
        advance();
        return node(mnet::N_NOT, cmp_expr());
    case '\'': {
        advance();
        if (t() != IDENT) {
            syntax_error();
            recover();
            return nullptr;
        }
        IdentRec* r = advance().ident.ident;
        bpn2::check_ident(r, bpn2::VARIABLE);
        r->use |= 0x11;
        Tree leaf = node(mnet::N_VAR);
        leaf->ident = r;
        leaf->value = bpn2::ACC_PRE;
        return leaf;
    }
    case IDENT: return identifier_use();
    case NUMBER:
    case TRUE_:
    case FALSE_:
    case CONST_IDENT: {
        Tree leaf = node(mnet::N_CONST);
        leaf->value = pos_expr();
        return leaf;
    }
    default:
        syntax_error();
        recover();
        return nullptr;
    }
}

// ---------------------------------------------------------------------------

Tree Parser::program() {
    bool outer_declarations = false;
    while (t() == CONST || t() == VAR) {
        outer_declarations = true;
        decl();
    }
    Tree result;
    if (t() != T_EOF) {
        while (t() == PROC || t() == PROCGRP) {
            outer_declarations = true;
            pdecl();
        }
        result = com();
        if (t() != T_EOF) {
            syntax_error();
            while (t() != T_EOF) skip();
        }
    }
    if (syntax_errors) return result;
    // The program is one block, or (with -a) wrapped into one; the
    // declarations of the outermost level belong to it.
    if (result && result->kind == bpn2::K_BLOCK && !outer_declarations) {
        // The root.
    } else if (!result) {
        // Declarations only: no tree, an empty net.
        if (!options_.allow_fragments) report(mnet::ERROR, "program is not correct block");
    } else if (options_.allow_fragments) {
        // Every level still open belongs to the block (a procedure group at
        // the outermost level opens one of its own).
        // The chain stays newest first: inner levels before outer ones.
        IdentRec* decls = nullptr;
        IdentRec* tail = nullptr;
        while (bpn2::current_level() >= 0) {
            IdentRec* level = bpn2::close_scope();
            if (!level) continue;
            (tail ? tail->next : decls) = level;
            for (tail = level; tail->next;) tail = tail->next;
        }
        result = node(bpn2::K_BLOCK, std::move(result));
        result->decls = decls;
    } else {
        report(mnet::ERROR, "program is not correct block");
    }
    for (Node* call : outside_.pending) report(mnet::ERROR, "undefined procedure %s", call->ident->name.c_str());
    return result;
}

}  // namespace

int parse_program(const std::string& text, std::FILE* messages, const ParseOptions& options, Tree& tree) {
    bpn2::init_idents();
    mnet::error_counter = 0;
    Parser parser(text, options);
    bool aborted = false;
    Tree result;
    try {
        result = parser.program();
    } catch (const GiveUp&) {
        aborted = true;
    }
    std::fputs(aborted ? "Parse aborted.\n" : "Parse complete.\n", messages);
    std::fputs(mnet::procedure_semantics || parser.procedure_called ? "Program with procedure(s).\n"
                                                                    : "Program without procedures.\n",
               messages);
    if (parser.old_syntax >= 1 && !options.no_old_warnings)
        std::fprintf(messages, "Using old syntax %i time(s).\n", parser.old_syntax);
    if (mnet::error_counter == 0 && parser.syntax_errors == 0 && !aborted) {
        tree = std::move(result);
        return 0;
    }
    return aborted ? 2 : 1;
}

}  // namespace progcast
