#include "mnet_terms.h"

#include <algorithm>

#include "mnet_commands.h"
#include "mnet_labels.h"
#include "mnet_net.h"

namespace mnet {

TermTable new_term_table() { return TermTable(1); }

void valueset_add_range(ValueSet& set, std::int32_t lo, std::int32_t hi) {
    if (lo > hi) return;
    if (set.empty() || set.back() < lo) {  // ranges given in ascending order
        for (std::int32_t v = lo; v <= hi; ++v) set.push_back(v);
        return;
    }
    ValueSet out;
    out.reserve(set.size() + static_cast<std::size_t>(hi - lo + 1));
    auto it = set.begin();
    while (it != set.end() && *it < lo) out.push_back(*it++);
    for (std::int32_t v = lo; v <= hi; ++v) out.push_back(v);
    while (it != set.end() && *it <= hi) ++it;
    while (it != set.end()) out.push_back(*it++);
    set.swap(out);
}

void restrict_var(RestrictionList& list, std::uint16_t var, std::uint16_t component, const ValueSet& set) {
    auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(var, component),
                               [](const Restriction& r, const std::pair<std::uint16_t, std::uint16_t>& k) {
                                   return std::make_pair(r.var, r.component) < k;
                               });
    if (it != list.end() && it->var == var && it->component == component) {
        ValueSet both;
        std::set_intersection(it->values.begin(), it->values.end(), set.begin(), set.end(),
                              std::back_inserter(both));
        it->values.swap(both);
        return;
    }
    list.insert(it, Restriction{var, component, set});
}

TermTable* current_nodes = nullptr;

std::uint16_t add_node(TermTable& table, std::uint16_t kind, std::uint16_t left, std::uint16_t right) {
    if (table.empty()) table.emplace_back();
    if (table.size() >= 65535) fatal("Overflow: too many term nodes !");
    table.push_back(TermNode{kind, left, right});
    return static_cast<std::uint16_t>(table.size() - 1);
}

std::uint16_t add_node(std::uint16_t kind, std::uint16_t left, std::uint16_t right) {
    if (!current_nodes) fatal("Internal Error: no term table !");
    return add_node(*current_nodes, kind, left, right);
}

ForeachExpansion foreach_expansion;

namespace {
int arity(std::uint16_t kind, bool expand) {
    switch (kind) {
    case N_AND: case N_OR: case N_EQ: case N_NE: case N_LT: case N_GT: case N_LE: case N_GE:
    case N_ADD: case N_SUB: case N_MUL: case N_DIV: case N_MOD:
        return 2;
    case N_NOT: case N_PAREN: case N_NEG:
        return 1;
    case N_FOREACH:
        return expand ? -1 : 1;
    case N_CONST: case N_VAR: case 0:
        return 0;
    default:
        fatal("Internal Error: Unknown node type !");
    }
}

std::uint16_t copy_tree(const TermTable& src, std::uint16_t root, TermTable& dst, bool expand);

// Copies one FOREACH node with expansion: the body once per value of the
// entry's list, from the last value to the first, joined by "and" nodes.
std::uint16_t expand_foreach(const TermTable& src, const TermNode& n, TermTable& dst) {
    const ValueSet* values = foreach_expansion.values ? foreach_expansion.values(n.right) : nullptr;
    if (!values || values->empty()) return add_node(dst, N_CONST, static_cast<std::uint16_t>(VAL_TT), 0);
    std::uint16_t result = 0;
    for (std::size_t k = values->size(); k-- > 0;) {
        if (foreach_expansion.before_copy) foreach_expansion.before_copy(n.right, (*values)[k], k);
        std::uint16_t c = copy_tree(src, n.left, dst, true);
        result = result ? add_node(dst, N_AND, result, c) : c;
    }
    return result;
}

std::uint16_t copy_tree(const TermTable& src, std::uint16_t root, TermTable& dst, bool expand) {
    struct Frame {
        std::uint16_t node;
        int done;
        std::uint16_t copies[2];
    };
    std::vector<Frame> stack;
    stack.push_back({root, 0, {0, 0}});
    std::uint16_t last = 0;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.node >= src.size()) fatal("Internal Error: Unknown node type !");
        const TermNode n = src[f.node];
        int a = arity(n.kind, expand);
        if (a < 0) {
            last = expand_foreach(src, n, dst);
        } else if (f.done < a) {
            std::uint16_t child = f.done == 0 ? n.left : n.right;
            stack.push_back({child, 0, {0, 0}});
            continue;
        } else {
            TermNode c = n;
            if (a >= 1) c.left = f.copies[0];
            if (a == 2) c.right = f.copies[1];
            last = add_node(dst, c.kind, c.left, c.right);
            if (!expand && recording_template()) {
                if (n.kind == N_CONST && n.right) set_command_arg3(51, n.right, last);
                if (n.kind == N_VAR && n.left >= 0x8000)
                    set_command_arg3(54, 65536 - static_cast<std::intptr_t>(n.left), last);
            }
        }
        stack.pop_back();
        if (!stack.empty()) {
            Frame& p = stack.back();
            p.copies[p.done++] = last;
        }
    }
    return last;
}
}  // namespace

TermTable* foreach_source = nullptr;

Guard normalize_guard(TermTable&& table, bool expand) {
    Guard out;
    TermTable src = std::move(table);
    if (src.size() < 2) return out;
    TermTable* saved_source = foreach_source;
    if (expand) foreach_source = &src;
    std::uint16_t node = static_cast<std::uint16_t>(src.size() - 1);
    std::vector<std::uint16_t> conjuncts;
    while (src[node].kind == N_AND) {
        conjuncts.push_back(src[node].left);
        node = src[node].right;
        if (node >= src.size()) fatal("Internal Error: Unknown node type !");
    }
    conjuncts.push_back(node);
    for (std::uint16_t c : conjuncts) {
        TermTable t = new_term_table();
        copy_tree(src, c, t, expand);
        out.push_back(std::move(t));
    }
    foreach_source = saved_source;
    return out;
}


void new_comvars(ComVars& list, std::size_t n) {
    std::string name = (procedure_semantics || variable_rendering_mode == NAMING_ID) ? "id" : "@c";
    for (std::size_t i = 0; i < n; ++i) {
        if (list.size() >= MAX_COMVARS) fatal("Transition has too many ComVars !");
        list.push_back(ComVar{var_code(name), 0});
        ++name[1];
    }
}

CurrentAction current_action;

void begin_action(const ComVars* vars) {
    CurrentAction& a = current_action;
    a.label.clear();
    a.vars.clear();
    if (vars) a.vars = *vars;
    else new_comvars(a.vars, 1);
    a.nodes = new_term_table();
    a.nodes.reserve(100);
    current_nodes = &a.nodes;
    a.restrictions.clear();
    a.procedure_action = false;
    a.extra.clear();
    a.guard.clear();
}

void free_work_buffers() {
    if (current_nodes == &current_action.nodes) current_nodes = nullptr;
    current_action = CurrentAction();
    max_multiplicity = 1;
}

void end_action() {
    CurrentAction& a = current_action;
    if (a.vars.size() > MAX_COMVARS) fatal("A single action produces a transition with too many ComVars !");
    a.guard = normalize_guard(std::move(a.nodes), false);
    a.nodes = new_term_table();
    for (auto& c : a.extra) a.guard.push_back(std::move(c));
    a.extra.clear();
    if (current_nodes == &a.nodes) current_nodes = nullptr;
}

// ---------------------------------------------------------------------------
// Variable and channel access of the current action.
const ValueSet& dot_set() {
    static const ValueSet dot{VAL_DOT};
    return dot;
}
const ValueSet* default_place_type = &dot_set();

namespace {
// The slot of the variable of that name and kind in the current action,
// added when absent.
std::uint16_t current_slot(const std::string& name, std::uint16_t flags, std::uint16_t kind) {
    ComVars& vars = current_action.vars;
    std::uint16_t code = var_code(name);
    std::size_t slot = find_comvar(vars, code, kind);
    if (slot == vars.size()) {
        if (vars.size() >= MAX_COMVARS) fatal("A single action produces a transition with too many ComVars !");
        vars.push_back(ComVar{code, kind});
    }
    vars[slot].flags = static_cast<std::uint16_t>(vars[slot].flags | flags);
    return static_cast<std::uint16_t>(slot);
}

void raise_bound(long value) {
    if (value > arc_weight_bound && value <= 65535) arc_weight_bound = static_cast<std::uint16_t>(value);
}

// The conjunct var = dot or 'x = x' as a table of its own.
void add_equality_conjunct(std::uint16_t left_slot, bool right_is_dot, std::uint16_t right_slot) {
    TermTable t = new_term_table();
    std::uint16_t l = add_node(t, N_VAR, left_slot, NO_COMPONENT);
    std::uint16_t r = right_is_dot ? add_node(t, N_CONST, static_cast<std::uint16_t>(VAL_DOT), 0)
                                   : add_node(t, N_VAR, right_slot, NO_COMPONENT);
    add_node(t, N_EQ, l, r);
    current_action.extra.push_back(std::move(t));
}

// The parameter that procedure semantics adds to an access of a variable:
// an instance, a variable of the net's own even where its name is made from
// the identifier's.
std::uint16_t instance_param(const std::string& name, bool reference, bool at_level) {
    if (reference) {
        raise_bound(long(template_params.max) - 1);
        return current_slot("id", 1, COMVAR_NET);
    }
    if (instance_set_declared() && at_level) return current_slot("id", 0, COMVAR_NET);
    std::string v = "id_" + name;
    const bool fresh = find_comvar(current_action.vars, var_code(v), COMVAR_NET) == current_action.vars.size();
    std::uint16_t slot = current_slot(v, 0, COMVAR_NET);
    if (fresh) add_equality_conjunct(slot, true, 0);
    return slot;
}

const ActionTerm& find_or_add(const ActionTerm& t) {
    for (const ActionTerm& x : current_action.label)
        if (compare_action_terms(x, t) == 0) return x;
    actset_add_term(current_action.label, t);
    for (const ActionTerm& x : current_action.label)
        if (compare_action_terms(x, t) == 0) return x;
    fatal("Internal Error: action term lost !");
}
}  // namespace

const ActionTerm& access_term(const AccessIdent& x) {
    ActionTerm t;
    t.code = action_code(x.name);
    std::uint16_t flags = x.reference_param ? 1 : 0;
    t.params[0] = current_slot("'" + x.name, flags, COMVAR_PROGRAM);
    t.params[1] = current_slot(x.name + "'", flags, COMVAR_PROGRAM);
    t.nparams = 2;
    if (procedure_semantics) {
        t.params[2] = instance_param(x.name, x.reference_param, x.at_procedure_level);
        t.nparams = 3;
    }
    return find_or_add(t);
}

std::uint16_t pre_value(const AccessIdent& x) {
    return add_node(N_VAR, access_term(x).params[0], NO_COMPONENT);
}

std::uint16_t post_value(const AccessIdent& x) {
    return add_node(N_VAR, access_term(x).params[1], NO_COMPONENT);
}

std::uint16_t read_value(const AccessIdent& x) {
    const ActionTerm& t = access_term(x);
    std::uint16_t pre = t.params[0], post = t.params[1];
    bool seen = false;
    for (const TermTable& c : current_action.extra)
        for (std::size_t i = 1; i < c.size(); ++i) seen = seen || (c[i].kind == N_VAR && c[i].left == pre);
    if (!seen) add_equality_conjunct(pre, false, post);
    return add_node(N_VAR, pre, NO_COMPONENT);
}

const ActionTerm& channel_term(const AccessIdent& c, int mode) {
    std::string name = c.name;
    if (mode & 2) name += (mode & 1) ? "!!" : "!";
    else name += (mode & 1) ? "??" : "?";
    ActionTerm t;
    t.code = action_code(name);
    t.params[0] = current_slot((mode & 4) ? c.name : name, 0, COMVAR_PROGRAM);
    t.nparams = 1;
    if (procedure_semantics) {
        t.params[1] = instance_param(c.name, c.reference_param, c.at_procedure_level);
        t.nparams = 2;
    }
    return find_or_add(t);
}

const ActionTerm& channel_term(const std::string& c, int mode) { return channel_term(AccessIdent{c, false, false}, mode); }

std::uint16_t channel_value(const AccessIdent& c, int mode) {
    if (mode & 4) current_action.procedure_action = true;
    return add_node(N_VAR, channel_term(c, mode).params[0], NO_COMPONENT);
}

std::uint16_t channel_value(const std::string& c, int mode) { return channel_value(AccessIdent{c, false, false}, mode); }

void add_id_var(MTransition* t) {
    t->flags |= TR_PROCEDURE;
    if (!current_action.procedure_action) return;
    t->flags |= TR_PHANTOM_SYNC;
    if (instance_set_declared()) {
        const std::uint16_t code = var_code("id");
        std::size_t slot = find_comvar(t->comvars, code, COMVAR_NET);
        if (slot == t->comvars.size()) {
            if (t->comvars.size() >= MAX_COMVARS) fatal("Transition has too many ComVars !");
            t->comvars.push_back(ComVar{code, COMVAR_NET});
        }
        t->comvars[slot].flags |= 1;
        raise_bound(template_params.max);
    }
}

}  // namespace mnet
