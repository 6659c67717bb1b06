#include "h_trans.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "mnet.h"
#include "mnet_algebra.h"
#include "mnet_templates.h"
#include "node.h"
#include "proc2net.h"
#include "ref.h"
#include "signet.h"

namespace statecast {

using mnet::MNet;
using mnet::MTransition;

MNet* new_statement_box(std::uint16_t reference) {
    mnet::ComVars vars;
    int saved = mnet::variable_rendering_mode;
    mnet::variable_rendering_mode = mnet::NAMING_ID;
    mnet::new_comvars(vars, 1);
    mnet::variable_rendering_mode = saved;
    return mnet::M_atomic_box(mnet::new_actset(), nullptr, nullptr, vars, reference);
}

MTransition* duplicate_transition(MNet* box, MTransition* t) {
    mnet::MArc *pre = nullptr, *post = nullptr;
    MTransition* c = mnet::DuplicateTrans(box, t, &pre, &post, nullptr);
    c->label = t->label;
    c->label_text = t->label_text;
    c->comvars = t->comvars;
    c->restrictions = t->restrictions;
    c->guard = t->guard;
    c->refs = t->refs;
    c->blocks = t->blocks;
    return c;
}

namespace {

// The loop place's outgoing arcs came from the body's entry place first and
// from the exit's entry places after them, but the union puts the exit's
// transitions before the body's: arc lists follow the order of their
// transitions in the net, so the exit's arcs move to the front.
void exit_arcs_first(mnet::MPlace* loop, const MNet* exit) {
    std::unordered_set<const MTransition*> of_exit;
    for (const MTransition* t = exit->first_trans; t; t = t->next) of_exit.insert(t);
    std::vector<mnet::MArc*> arcs;
    for (mnet::MArc* a = loop->out; a; a = a->pnext) arcs.push_back(a);
    std::stable_partition(arcs.begin(), arcs.end(), [&](const mnet::MArc* a) { return of_exit.count(a->trans) > 0; });
    mnet::MArc* prev = nullptr;
    for (mnet::MArc* a : arcs) {
        a->pprev = prev;
        if (prev) prev->pnext = a;
        prev = a;
    }
    if (prev) prev->pnext = nullptr;
    loop->out = arcs.empty() ? nullptr : arcs.front();
}

}  // namespace

MNet* iteration_loop(MNet* body, MNet* exit) {
    mnet::MPlace* entry = nullptr;
    mnet::MPlace* body_exit = nullptr;
    for (mnet::MPlace* p = body->first_place; p; p = p->next) {
        if (p->type == mnet::PLACE_ENTRY && !entry) entry = p;
        if (p->type == mnet::PLACE_EXIT && !body_exit) body_exit = p;
    }
    std::vector<mnet::MPlace*> exit_entries;
    for (mnet::MPlace* p = exit->first_place; p; p = p->next)
        if (p->type == mnet::PLACE_ENTRY) exit_entries.push_back(p);
    if (!entry || !body_exit) mnet::fatal("can't happen: %s:%u", "h_trans.c", __LINE__);
    mnet::MArc *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
    mnet::MPlace* loop = mnet::DuplicatePlace(body, entry, &a, &b, &c, &d);
    for (mnet::MPlace* q : exit_entries) {
        mnet::MArc* last = nullptr;
        mnet::DuplicatePTEdges(q, loop, &last, 0);
        mnet::MergePlaceInfo(loop, q);
    }
    mnet::MArc* last = nullptr;
    mnet::DuplicateTPEdges(body_exit, loop, &last, 0);
    mnet::MergePlaceInfo(loop, body_exit);
    mnet::RemovePlace(body, entry);
    mnet::RemovePlace(body, body_exit);
    for (mnet::MPlace* q : exit_entries) mnet::RemovePlace(exit, q);
    exit_arcs_first(loop, exit);

    mnet::M_move(body, exit->origin_x + exit->width + 90 - body->origin_x, exit->origin_y + 30 - body->origin_y);
    std::int32_t width = exit->width + 90 + body->width;
    std::int32_t exit_bottom = exit->origin_y + exit->height;
    MNet* result = mnet::M_union(exit, body);
    result->width = width;
    result->height = std::max(result->height, exit_bottom - result->origin_y);
    return result;
}

namespace {

// ---- small helpers on a statement box's transition ---------------------------

MTransition* only_transition(MNet* box) { return box->first_trans; }

void add_label(MTransition* t, const std::string& text) {
    mnet::ActionSet set = mnet::parse_actionset(text, t);
    mnet::actset_union(t->label, set);
}

void append_guard_text(MTransition* t, const std::string& text) {
    mnet::Guard g = mnet::parse_guard(text, t);
    for (auto& c : g) t->guard.push_back(std::move(c));
}

ValueSet range_set(std::int32_t lo, std::int32_t hi) {
    ValueSet v;
    mnet::valueset_add_range(v, lo, hi);
    return v;
}

// The term of the action named `code` in the label, taken out of it (the
// label is kept sorted; the caller puts the changed term back).
bool take_term(MTransition* t, std::uint16_t code, std::uint16_t nparams, mnet::ActionTerm& out) {
    for (auto it = t->label.begin(); it != t->label.end(); ++it)
        if (it->code == code && it->nparams == nparams) {
            out = *it;
            t->label.erase(it);
            return true;
        }
    return false;
}

void put_term(MTransition* t, const mnet::ActionTerm& term) { mnet::actset_add_term(t->label, term); }

// q?(s, t, id) with the state constants.
mnet::ActionTerm state_term(MTransition* t, std::int32_t from, std::int32_t to) {
    mnet::ActionTerm q;
    q.code = mnet::action_code("q?");
    q.nparams = 3;
    q.params[0] = mnet::const_to_code(from);
    q.params[1] = mnet::const_to_code(to);
    q.params[2] = mnet::add_comvar("id", t->comvars, t);
    return q;
}

// The guard conjuncts of an expression, e or !(e), in a table of their own.
void append_condition(MTransition* t, const Expr* e, bool negated) {
    mnet::TermTable table = mnet::new_term_table();
    mnet::TermTable* saved = mnet::current_nodes;
    use_term_table(table);
    std::uint16_t root = translate_expression(t, {}, e);
    if (negated) mnet::add_node(mnet::N_NOT, mnet::add_node(mnet::N_PAREN, root, 0), 0);
    mnet::current_nodes = saved;
    append_guard_terms(t, std::move(table));
}

const ProcessObj* current_process() { return tr.process; }


// ---- statements ---------------------------------------------------------------

MNet* nextstate_box(const StateObj* source, const Stmt* s) {
    if (!source) mnet::fatal("can't happen: %s:%u (%u)", "h_trans.c", __LINE__, s->kind);
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    const StateObj* target = s->target ? s->target->as<StateObj>() : source;
    put_term(t, state_term(t, source->number, target->number));
    if (source->atomic()) add_label(t, "atom@put");
    t->label_text = "nextstate " + (s->target ? s->target->name : std::string("-"));
    return box;
}

// The box of the process's stop statement: its instance's state becomes 0.
// A transition of an atomic state ends with it, so it gives the lock back.
MNet* stop_box(const StateObj* source, const Stmt* s) {
    mnet::template_params.name = current_process()->ident->name;
    mnet::template_params.reference = s->ref->number;
    MNet* box = load_template(BOX_PROCESS_STOP);
    if (source && source->atomic() && box->last_trans) add_label(box->last_trans, "atom@put");
    return box;
}

MNet* task_box(const Stmt* s) {
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    add_variable_access(t, s->target, true);
    append_equation(t, s->target->name + "'", {s->target}, s->expr);
    t->label_text = "task " + s->target->name + ":=...";
    return box;
}

MNet* fork_route_box(const Stmt* s) {
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    const std::string& r = s->name->name;
    if (s->target) {
        add_variable_access(t, s->target, true);
        add_label(t, r + "@create(" + s->target->name + "')");
    } else {
        add_label(t, r + "@create(srid)");
    }
    t->label_text = "fork " + r;
    return box;
}

// The type class of a parameter: numeric, boolean or pid.
std::uint8_t type_class(const Type* t) {
    if (t->marker == Type::PID) return ET_PID;
    if (t->is_boolean()) return ET_BOOLEAN;
    return ET_NUMERIC;
}

MNet* fork_process_box(const Stmt* s) {
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    const Ident* target = s->name;
    const std::string& name = target ? target->name : std::string("?");
    t->label_text = "fork " + name;
    const ProcessObj* p = target && target->cls == CL_PROCESS ? dynamic_cast<const ProcessObj*>(target->object) : nullptr;
    if (!p || !p->has_body) mnet::fatal("create request on %s: not a process", name.c_str());
    if (s->args.size() > p->params.size())
        mnet::fatal("too many arguments in create request for process %s", name.c_str());
    for (std::size_t k = 0; k < s->args.size(); ++k)
        if (s->args[k]->type != type_class(p->params[k].ident->var_type()))
            mnet::fatal("argument type mismatch in create request for process %s", name.c_str());
    WrittenSet written;
    if (s->target) {
        add_variable_access(t, s->target, true);
        add_label(t, name + "@create(" + s->target->name + "')");
        written.push_back(s->target);
    } else {
        add_label(t, name + "@create(prid)");
    }
    mnet::ActionTerm create;
    if (!take_term(t, mnet::action_code(name + "@create"), 1, create))
        mnet::fatal("can't happen: %s:%u", "h_trans.c", __LINE__);
    for (std::size_t k = 0; k < s->args.size(); ++k) {
        const Expr* e = s->args[k];
        std::uint16_t code;
        if (e->constant) {
            code = mnet::const_to_code(eval_constant(e));
        } else if (e->kind == EK_VARIABLE && is_self(e->ident)) {
            code = mnet::add_comvar("id", t->comvars, t);
        } else if (e->kind == EK_VARIABLE && e->ident) {
            add_variable_access(t, e->ident, false);
            bool old = !written.empty() && written.front() == e->ident;
            code = value_before(t, e->ident, old);
        } else {
            std::string v = "@pin" + std::to_string(k);
            append_equation(t, v, written, e);
            code = mnet::add_comvar(v, t->comvars, t);
        }
        create.params[create.nparams++] = code;
    }
    put_term(t, create);
    return box;
}

// The processes with body and the signalroutes of the system, in
// declaration order.
std::vector<const Ident*> killable() {
    std::vector<const Ident*> out;
    for (const PidOwner& o : pid_owners(tr.system)) out.push_back(o.ident);
    return out;
}

MNet* kill_box(const Stmt* s) {
    MNet* a = new_statement_box(s->ref->number);
    MTransition* t0 = only_transition(a);
    for (const Ident* o : killable()) {
        MTransition* c = duplicate_transition(a, t0);
        c->label_text = "kill " + o->name;
        mnet::TermTable table = mnet::new_term_table();
        mnet::TermTable* saved = mnet::current_nodes;
        use_term_table(table);
        std::uint16_t e = translate_expression(c, {}, s->expr);
        std::uint16_t x = mnet::add_comvar("exprid", c->comvars, c);
        std::uint16_t id = mnet::add_comvar("id", c->comvars, c);
        std::uint16_t eq = mnet::add_node(mnet::N_EQ, mnet::add_node(mnet::N_VAR, x, mnet::NO_COMPONENT),
                                          mnet::add_node(mnet::N_PAREN, e, 0));
        std::uint16_t ne = mnet::add_node(mnet::N_NE, mnet::add_node(mnet::N_VAR, x, mnet::NO_COMPONENT),
                                          mnet::add_node(mnet::N_VAR, id, mnet::NO_COMPONENT));
        mnet::add_node(mnet::N_AND, eq, ne);
        mnet::current_nodes = saved;
        append_guard_terms(c, std::move(table));
        add_label(c, o->name + "@kill(exprid)");
        restrict_named(c, "exprid", o->cls == CL_ROUTE ? route_pids(o->as<RouteObj>()) : process_pids(o));
    }
    mnet::RemoveTrans(a, t0, 0);
    mnet::template_params.name = current_process()->ident->name;
    mnet::template_params.reference = s->ref->number;
    MNet* b = load_template(BOX_PROCESS_STOP);
    if (MTransition* last = b->last_trans) {
        last->label_text = "kill self";
        append_equation(last, "id", {}, s->expr);
    }
    return mnet::M_choice(a, b);
}

MNet* output_box(const Stmt* s) {
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    const std::string& signal_name = s->target->name;
    t->label_text = "output " + signal_name;
    if (!s->via && !s->to) return box;
    const SignalObj* sig = s->target->as<SignalObj>();
    std::size_t n = sig->size.size();
    if (n == 0) {
        append_guard_text(t, "sig=" + std::to_string(sig->first));
    } else {
        std::string text = "sig=" + std::to_string(sig->first);
        std::int64_t divisor = 1;
        for (std::size_t i = 0; i < n; ++i) {
            text += "+c" + std::to_string(i);
            if (i > 0) text += "*" + std::to_string(divisor);
            divisor *= sig->size[i];
        }
        append_guard_text(t, text);
        for (std::size_t i = 0; i < n; ++i) {
            std::string c = "c" + std::to_string(i), d = "d" + std::to_string(i);
            restrict_named(t, c, range_set(0, sig->size[i] - 1));
            const Type* pt = sig->params[i];
            const Expr* a = s->args[i];
            if (pt->is_boolean()) {
                append_guard_text(t, d + "=ff&" + c + "=0|" + d + "=tt&" + c + "=1");
                restrict_named(t, d, ValueSet{V_FALSE, V_TRUE});
                append_equation(t, d, {}, a);
            } else if (pt->marker == Type::PID) {
                append_guard_text(t, d + "=dot&" + c + "=0|" + d + ">=0&" + c + "=" + d + "+1");
                restrict_named(t, d, pid_value_set());
                append_equation(t, d, {}, a);
            } else if (sig->lo[i] == 0) {
                append_equation(t, c, {}, a);
            } else {
                // c = (a) - lo
                mnet::TermTable table = mnet::new_term_table();
                mnet::TermTable* saved = mnet::current_nodes;
                use_term_table(table);
                std::uint16_t value = translate_expression(t, {}, a);
                std::uint16_t left = mnet::add_node(mnet::N_VAR, mnet::add_comvar(c, t->comvars, t), mnet::NO_COMPONENT);
                std::uint16_t lo = mnet::add_node(mnet::N_CONST, static_cast<std::uint16_t>(static_cast<std::int16_t>(sig->lo[i])), 0);
                mnet::add_node(mnet::N_EQ, left, mnet::add_node(mnet::N_SUB, mnet::add_node(mnet::N_PAREN, value, 0), lo));
                mnet::current_nodes = saved;
                append_guard_terms(t, std::move(table));
            }
        }
    }
    if (s->via) append_equation(t, "via", {}, s->via);
    if (s->to) append_equation(t, "target", {}, s->to);

    if (s->via) {
        for (const Ident* d : tr.system->decls) {
            if (d->cls != CL_ROUTE) continue;
            const RouteObj* r = d->as<RouteObj>();
            if (!r->from || r->from != current_process()->ident) continue;
            MTransition* c = duplicate_transition(box, t);
            bool peer = r->casting == RC_PEER;
            if (!peer) {
                add_label(c, d->name + "!(sig,via)");
                if (s->to) restrict_named(c, "target", pid_value_set());
            } else if (s->to) {
                add_label(c, d->name + "!(sig,via,target)");
            } else {
                restrict_named(c, "sig", range_set(sig->first, sig->last));
                restrict_named(c, "via", route_pids(r));
            }
        }
    } else {
        for (const PidOwner& o : pid_owners(tr.system)) {
            if (o.ident->cls != CL_PROCESS) continue;
            MTransition* c = duplicate_transition(box, t);
            add_label(c, o.ident->name + "!(sig,target)");
        }
    }
    mnet::RemoveTrans(box, t, 0);
    return box;
}

MNet* simple_statement(const StateObj* source, const Stmt* s) {
    switch (s->kind) {
    case SK_NEXTSTATE: return nextstate_box(source, s);
    case SK_STOP: return stop_box(source, s);
    case SK_TEXT: {
        MNet* box = new_statement_box(s->ref->number);
        only_transition(box)->label_text = s->text;
        return box;
    }
    case SK_TASK: return task_box(s);
    case SK_FORK_ROUTE: return fork_route_box(s);
    case SK_FORK_PROCESS: return fork_process_box(s);
    case SK_KILL: return kill_box(s);
    case SK_OUTPUT: return output_box(s);
    default: mnet::fatal("can't happen: %s:%u (%u)", "h_trans.c", __LINE__, s->kind);
    }
}

// The guarded box of an if or while branch.
MNet* branch_box(const Stmt* s, bool negated) {
    MNet* box = new_statement_box(s->ref->number);
    MTransition* t = only_transition(box);
    append_condition(t, s->expr, negated);
    if (s->kind == SK_IF) t->label_text = negated ? "if/else" : "if/then";
    else t->label_text = negated ? "while/exit" : "while/do";
    return box;
}

}  // namespace

// The statements of if and while bodies are translated on an explicit
// stack: a frame per open list.
MNet* translate_statements(const StateObj* source, const std::vector<Stmt*>& statements) {
    struct Frame {
        const std::vector<Stmt*>* list;
        const StateObj* source;
        const Stmt* owner;  // the if or while whose list this is; null at the top
        int part;           // 0 the then or while body, 1 the else list
        MNet* branch;       // the guarded box in front of the list
        MNet* then_net;     // if, in the else list: the finished then branch
        std::size_t next = 0;
        MNet* acc = nullptr;
    };
    std::vector<Frame> stack;
    stack.push_back({&statements, source, nullptr, 0, nullptr, nullptr});
    for (;;) {
        Frame& f = stack.back();
        if (f.next < f.list->size()) {
            const Stmt* s = (*f.list)[f.next++];
            if (s->kind == SK_IF || s->kind == SK_WHILE) {
                MNet* box = branch_box(s, false);
                stack.push_back({&s->then_list, nullptr, s, 0, box, nullptr});
                continue;
            }
            if (MNet* n = simple_statement(f.source, s)) f.acc = mnet::M_sequence(f.acc, n);
            continue;
        }
        if (!f.owner) return f.acc;
        MNet* done = mnet::M_sequence(f.branch, f.acc);
        const Stmt* s = f.owner;
        int part = f.part;
        MNet* then_net = f.then_net;
        stack.pop_back();
        if (s->kind == SK_IF && part == 0) {
            MNet* box = branch_box(s, true);
            stack.push_back({&s->else_list, nullptr, s, 1, box, done});
            continue;
        }
        MNet* n = s->kind == SK_IF ? mnet::M_choice(then_net, done) : iteration_loop(done, branch_box(s, true));
        stack.back().acc = mnet::M_sequence(stack.back().acc, n);
    }
}

}  // namespace statecast
