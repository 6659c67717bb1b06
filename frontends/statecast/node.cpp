#include "node.h"

#include <algorithm>
#include <deque>

#include "mnet_base.h"
#include "mnet_labels.h"
#include "mnet_terms.h"

namespace statecast {

namespace {
struct ExpressionContext {
    const SystemObj* system = nullptr;
    const Ident* self = nullptr;
    ValueSet pids;
    unsigned fresh_counter = 0;
};
ExpressionContext& X() {
    static ExpressionContext x;
    return x;
}
}  // namespace

void set_expression_system(const SystemObj* system) { X().system = system; }
void set_self_ident(const Ident* self) { X().self = self; }
bool is_self(const Ident* x) { return x && x == X().self; }
const ValueSet& pid_value_set() { return X().pids; }
void set_pid_value_set(ValueSet set) { X().pids = std::move(set); }
void reset_expressions() { X() = ExpressionContext(); }

// ---------------------------------------------------------------------------
// Nodes.

Expr* new_expression(Program& program, std::uint8_t kind, Expr* left, Expr* right, std::uint8_t expected,
                     std::uint8_t result) {
    Expr* e = program.new_expr();
    e->kind = kind;
    e->left = left;
    e->right = right;
    e->constant = left && left->constant && (!right || right->constant);
    // An operand of unknown type (a failed use) was reported already.
    bool known = left && left->type != ET_ANY && (!right || right->type != ET_ANY);
    if (known && ((right && right->type != left->type) || (expected != ET_ANY && left->type != expected)))
        mnet::report(mnet::ERROR, "type mismatch in expression");
    if (result != ET_ANY) e->type = result;
    else if (left) e->type = left->type;
    else e->type = ET_ANY;
    return e;
}

Expr* new_literal(Program& program, std::int32_t value) {
    Expr* e = program.new_expr();
    e->kind = EK_LITERAL;
    e->value = value;
    e->constant = true;
    if (value == V_FALSE || value == V_TRUE) e->type = ET_BOOLEAN;
    else if (value == V_NIL) e->type = ET_PID;
    else e->type = ET_NUMERIC;
    return e;
}

Expr* new_variable(Program& program, Ident* variable) {
    Expr* e = program.new_expr();
    e->kind = EK_VARIABLE;
    e->ident = variable;
    const Type* t = variable ? variable->var_type() : nullptr;
    if (!t || t->unknown) e->type = ET_ANY;
    else if (t->marker == Type::PID) e->type = ET_PID;
    else if (t->marker == Type::CLOCK) e->type = ET_CLOCK;
    else if (t->is_boolean()) e->type = ET_BOOLEAN;
    else e->type = ET_NUMERIC;
    return e;
}

// ---------------------------------------------------------------------------
// Constant evaluation.

int eval_boolean(std::int32_t value) {
    if (value == V_TRUE) return 1;
    if (value == V_FALSE) return 0;
    mnet::fatal("can't happen: %s:%u (%u)", "node.c", __LINE__, static_cast<unsigned>(value));
}

namespace {

// Pid of {P} e: the first pid of the named object, 0 for objects without
// pids (the environment, the system's own name).
std::int32_t first_pid_of(const Ident* owner) {
    if (!owner || !owner->object) return 0;
    if (owner->cls == CL_ROUTE) return owner->as<RouteObj>()->pid_first;
    if (owner->cls == CL_PROCESS && dynamic_cast<ProcessObj*>(owner->object)) {
        const ProcessObj* p = owner->as<ProcessObj>();
        return p->has_body ? p->pid_first : 0;
    }
    return 0;
}

struct Evaluator {
    bool failed = false;  // an operand of the wrong kind (a type error reported by the parser)
    bool divided_by_zero = false;

    int boolean(std::int64_t v) {
        if (v == V_TRUE) return 1;
        if (v != V_FALSE) failed = true;
        return 0;
    }
    static std::int64_t truth(bool b) { return b ? V_TRUE : V_FALSE; }
    static std::int64_t clamp(std::int64_t v) { return std::max<std::int64_t>(-(1LL << 40), std::min<std::int64_t>(v, 1LL << 40)); }

    std::int64_t apply(const Expr* e, std::int64_t a, std::int64_t b) {
        switch (e->kind) {
        case EK_LITERAL: return e->value;
        case EK_PAREN: return a;
        case EK_IMPLIES: return truth(!(boolean(a) && !boolean(b)));
        case EK_OR: return truth(boolean(a) || boolean(b));
        case EK_XOR: return truth(boolean(a) != boolean(b));
        case EK_AND: return truth(boolean(a) && boolean(b));
        case EK_EQ: return truth(a == b);
        case EK_NE: return truth(a != b);
        case EK_GT: return truth(a > b);
        case EK_GE: return truth(a >= b);
        case EK_LT: return truth(a < b);
        case EK_LE: return truth(a <= b);
        case EK_ADD: return clamp(a + b);
        case EK_SUB: return clamp(a - b);
        case EK_MUL: return clamp(a * b);
        case EK_DIV:
        case EK_MOD:
            if (b == 0) {
                divided_by_zero = true;
                return 0;
            }
            return e->kind == EK_DIV ? a / b : a % b;
        case EK_NEG: return -a;
        case EK_NOT: return truth(!boolean(a));
        case EK_PID_INDEX:
            for (const PidOwner& o : pid_owners(X().system))
                if (a >= o.first && a < std::int64_t(o.first) + o.count) return a - o.first;
            return 0;
        case EK_PID_OF: {
            const Ident* owner = e->ident;
            if (owner && owner->cls == CL_PROCESS && owner->object &&
                !(dynamic_cast<ProcessObj*>(owner->object) && owner->as<ProcessObj>()->has_body))
                return 0;
            return clamp(first_pid_of(owner) + a);
        }
        case EK_VARIABLE: mnet::fatal("can't happen: %s:%u", "node.c", __LINE__);
        default: mnet::fatal("can't happen: %s:%u(%u)", "node.c", __LINE__, e->kind);
        }
    }

    std::int64_t run(const Expr* root) {
        struct Frame {
            const Expr* e;
            int done;
            std::int64_t v[2];
        };
        std::vector<Frame> stack{{root, 0, {0, 0}}};
        std::int64_t last = 0;
        while (!stack.empty()) {
            Frame& f = stack.back();
            const Expr* e = f.e;
            int operands = e->kind == EK_LITERAL || e->kind == EK_VARIABLE ? 0 : e->right ? 2 : 1;
            if (f.done < operands) {
                const Expr* child = f.done == 0 ? e->left : e->right;
                if (!child) {
                    failed = true;
                    f.v[f.done++] = 0;
                    continue;
                }
                stack.push_back({child, 0, {0, 0}});
                continue;
            }
            last = apply(e, f.v[0], f.v[1]);
            stack.pop_back();
            if (!stack.empty()) stack.back().v[stack.back().done++] = last;
        }
        return last;
    }
};

}  // namespace

std::int32_t eval_constant(const Expr* e) {
    Evaluator ev;
    std::int64_t v = ev.run(e);
    if (ev.failed) return 0;  // the parser reported the type error
    if (ev.divided_by_zero) {
        mnet::report(mnet::ERROR, "division by zero in constant expression");
        return 0;
    }
    bool encoded = (e->type == ET_BOOLEAN && (v == V_TRUE || v == V_FALSE)) || (e->type == ET_PID && v == V_NIL);
    if (!encoded && (v < V_MIN || v > V_MAX)) {
        mnet::report(mnet::ERROR, "value %lld of constant expression out of range", static_cast<long long>(v));
        return 0;
    }
    return static_cast<std::int32_t>(v);
}

// ---------------------------------------------------------------------------
// Terms.

void use_term_table(mnet::TermTable& table) { mnet::current_nodes = &table; }

std::uint16_t fresh_expression_variable(mnet::MTransition* t) {
    std::string name = "e" + std::to_string(X().fresh_counter++);
    return mnet::add_comvar(name, t->comvars, t);
}

void add_variable_access(mnet::MTransition* t, const Ident* x, bool write) {
    const std::string& n = x->name;
    const std::uint16_t code = mnet::action_code(n);
    if (mnet::find_action(code, 3, &t->label)) return;
    mnet::ActionTerm access;
    access.code = code;
    access.nparams = 3;
    access.params[0] = value_before(t, x, write);
    access.params[1] = write ? mnet::add_comvar(n + "'", t->comvars, t) : access.params[0];
    access.params[2] = mnet::add_comvar("id", t->comvars, t);
    access.mult = 1;
    mnet::actset_add_term(t->label, access);
}

std::uint16_t value_before(mnet::MTransition* t, const Ident* x, bool old) {
    if (old) return mnet::add_comvar("'" + x->name, t->comvars, t);
    return mnet::add_comvar(x->name, t->comvars, t, mnet::COMVAR_PROGRAM);
}

void append_guard_terms(mnet::MTransition* t, mnet::TermTable&& table) {
    mnet::Guard conjuncts = mnet::normalize_guard(std::move(table), false);
    for (auto& c : conjuncts) t->guard.push_back(std::move(c));
}

namespace {

std::uint16_t cnode(std::int32_t value) {
    return mnet::add_node(mnet::N_CONST, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 0);
}
std::uint16_t vnode(std::uint16_t slot) { return mnet::add_node(mnet::N_VAR, slot, mnet::NO_COMPONENT); }
std::uint16_t paren(std::uint16_t n) { return mnet::add_node(mnet::N_PAREN, n, 0); }

std::uint16_t binary_node(std::uint8_t kind) {
    switch (kind) {
    case EK_OR: return mnet::N_OR;
    case EK_AND: return mnet::N_AND;
    case EK_EQ: return mnet::N_EQ;
    case EK_NE: return mnet::N_NE;
    case EK_GT: return mnet::N_GT;
    case EK_GE: return mnet::N_GE;
    case EK_LT: return mnet::N_LT;
    case EK_LE: return mnet::N_LE;
    case EK_ADD: return mnet::N_ADD;
    case EK_SUB: return mnet::N_SUB;
    case EK_MUL: return mnet::N_MUL;
    case EK_DIV: return mnet::N_DIV;
    case EK_MOD: return mnet::N_MOD;
    default: return 0;
    }
}

// The conjunction (p = (e)) & (alternatives) of {integer} e, in the
// current table.
void pid_index_terms(std::uint16_t r, std::uint16_t p, std::uint16_t e_root) {
    using namespace mnet;
    std::uint16_t head = add_node(N_EQ, vnode(p), paren(e_root));
    auto alt = [&](std::uint16_t a, std::uint16_t b) { return add_node(N_AND, a, b); };
    std::uint16_t alts = alt(add_node(N_EQ, vnode(p), cnode(V_NIL)), add_node(N_EQ, vnode(r), cnode(0)));
    alts = add_node(N_OR, alts, alt(add_node(N_EQ, vnode(p), cnode(0)), add_node(N_EQ, vnode(r), cnode(0))));
    for (const PidOwner& o : pid_owners(X().system)) {
        std::uint16_t lo = add_node(N_GE, vnode(p), cnode(o.first));
        std::uint16_t hi = add_node(N_LE, vnode(p), cnode(o.first + o.count - 1));
        std::uint16_t val = add_node(N_EQ, vnode(r), add_node(N_SUB, vnode(p), cnode(o.first)));
        alts = add_node(N_OR, alts, alt(alt(lo, hi), val));
    }
    add_node(N_AND, head, paren(alts));
}

}  // namespace

std::uint16_t translate_expression(mnet::MTransition* t, const WrittenSet& written, const Expr* root) {
    using namespace mnet;
    struct Frame {
        explicit Frame(const Expr* expr) : e(expr) {}
        const Expr* e;
        int stage = 0;
        std::uint16_t child[2] = {0, 0};  // [0] left, [1] right
        TermTable* saved = nullptr;
        std::uint16_t r = 0, p = 0;
        TermTable own;
    };
    std::deque<Frame> stack;
    stack.emplace_back(root);
    std::uint16_t last = 0;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const Expr* e = f.e;
        bool binary = e->kind >= EK_IMPLIES && e->kind <= EK_MOD;
        bool unary = e->kind == EK_PAREN || e->kind == EK_NEG || e->kind == EK_NOT || e->kind == EK_PID_INDEX ||
                     e->kind == EK_PID_OF;
        if (binary && f.stage == 0) {  // the right operand first
            f.stage = 1;
            stack.emplace_back(e->right);
            continue;
        }
        if ((binary && f.stage == 1) || (unary && f.stage == 0)) {
            if (e->kind == EK_PID_INDEX) {
                f.r = fresh_expression_variable(t);
                f.p = fresh_expression_variable(t);
                f.saved = current_nodes;
                f.own = new_term_table();
                use_term_table(f.own);
            }
            f.stage = 2;
            stack.emplace_back(e->left);
            continue;
        }
        std::uint16_t l = f.child[0], r = f.child[1];
        switch (e->kind) {
        case EK_LITERAL: last = cnode(e->value); break;
        case EK_VARIABLE: {
            const Ident* x = e->ident;
            if (x == X().self) {
                last = vnode(add_comvar("id", t->comvars, t));
                break;
            }
            add_variable_access(t, x, false);
            bool old = std::find(written.begin(), written.end(), x) != written.end();
            last = vnode(value_before(t, x, old));
            break;
        }
        case EK_PAREN: last = paren(l); break;
        case EK_IMPLIES: last = paren(add_node(N_OR, paren(add_node(N_NOT, l, 0)), r)); break;
        case EK_XOR: {
            std::uint16_t pr = paren(r);
            std::uint16_t pl = paren(l);
            last = paren(add_node(N_NE, pl, pr));
            break;
        }
        case EK_NEG: last = add_node(N_NEG, l, 0); break;
        case EK_NOT: last = paren(add_node(N_NOT, paren(l), 0)); break;
        case EK_PID_INDEX: {
            pid_index_terms(f.r, f.p, l);
            restrict_var(t->restrictions, f.r, NO_COMPONENT, pid_value_set());
            restrict_var(t->restrictions, f.p, NO_COMPONENT, pid_value_set());
            append_guard_terms(t, std::move(f.own));
            use_term_table(*f.saved);
            last = vnode(f.r);
            break;
        }
        case EK_PID_OF: {
            const Ident* owner = e->ident;
            bool process = owner && owner->object && dynamic_cast<ProcessObj*>(owner->object) &&
                           owner->as<ProcessObj>()->has_body;
            bool no_pids = !owner || !owner->object || (owner->cls != CL_ROUTE && !process);
            if (no_pids) {
                last = cnode(0);
                break;
            }
            std::uint16_t f0 = cnode(first_pid_of(owner));
            last = paren(add_node(N_ADD, f0, l));
            break;
        }
        default:
            if (std::uint16_t kind = binary_node(e->kind)) last = add_node(kind, l, r);
            else fatal("can't happen: %s:%u(%u)", "node.c", __LINE__, e->kind);
        }
        stack.pop_back();
        if (!stack.empty()) {
            Frame& parent = stack.back();
            parent.child[parent.stage == 1 ? 1 : 0] = last;
        }
    }
    return last;
}

void append_equation(mnet::MTransition* t, const std::string& lhs, const WrittenSet& written, const Expr* e) {
    using namespace mnet;
    TermTable table = new_term_table();
    TermTable* saved = current_nodes;
    use_term_table(table);
    std::uint16_t value = translate_expression(t, written, e);
    std::uint16_t left = vnode(add_comvar(lhs, t->comvars, t));
    add_node(N_EQ, left, paren(value));
    current_nodes = saved;
    append_guard_terms(t, std::move(table));
}

}  // namespace statecast
