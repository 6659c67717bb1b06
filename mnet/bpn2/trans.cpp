// Blocks, declarations, commands and expressions.
//
// Chains of sequences, parallel compositions, alternatives and labels are
// walked with explicit stacks, and long chains are composed as balanced
// trees: the box operations walk the places of their first operand, so a
// chain composed one box at a time would cost time quadratic in its length.
#include <algorithm>
#include <functional>

#include "bpn2_trans.h"

namespace bpn2 {

using namespace mnet;

TranslationState translation;

void init_translation() { translation = TranslationState(); }

std::uint16_t position_reference(PosRec* p) {
    if (!p) return 0;
    std::uint16_t n = ref_code(p);
    if (ref_get(n) == p && p->kind >= 9 && p->kind <= 11) hand_over_position(p);
    return n;
}

AccessIdent access_of(const IdentRec* r) {
    return AccessIdent{r->name, r->mode == BY_REFERENCE, r->level >= translation.procedure_level};
}

ValueSet new_instance_set(std::int32_t n) {
    if (MNetOptions[1] & OPT1_FRESH_INSTANCES) translation.instance_counter = 1;
    if (n < 0) n = 0;
    if (std::int64_t(translation.instance_counter) + n - 1 > VAL_MAX) fatal("Too many procedure instances !");
    ValueSet set;
    for (std::int32_t k = 0; k < n; ++k) set.push_back(translation.instance_counter + k);
    translation.instance_counter += n;
    return set;
}

namespace {

// ---------------------------------------------------------------------------
// Boxes from templates.

// A data box: the actions of its transitions join the block's scope list.
MNet* data_box(int n, bool required) {
    ActionSet* saved_runtime = template_runtime.collected;
    ActionSet* saved_reader = action_collector;
    template_runtime.collected = &translation.collected;
    action_collector = &translation.collected;
    MNet* box = get_box(n, required);
    template_runtime.collected = saved_runtime;
    action_collector = saved_reader;
    return box;
}

std::string value_text(std::int32_t v) {
    switch (v) {
    case VAL_TT: return "tt";
    case VAL_FF: return "ff";
    case VAL_DOT: return "dot";
    default: return std::to_string(v);
    }
}

std::int32_t instances_of(const IdentRec* p) {
    return p->number == NO_VALUE ? default_procedure_instances : p->number;
}

void make_instances(IdentRec* p) {
    if (p->instances_made) return;
    p->instances = new_instance_set(instances_of(p));
    p->instances_made = true;
}

// Template parameters of the boxes of a procedure (its box, init, term and
// calls).
void procedure_params(IdentRec* p) {
    TemplateParams& tp = template_params;
    tp.name = p->name;
    tp.new_ids = p->instances;
    tp.id_set = *default_place_type;
    tp.max = static_cast<std::int16_t>(instances_of(p));
    tp.base_id = static_cast<std::int16_t>(
        (p->instances.empty() ? translation.instance_counter : p->instances.front()) - 1);
}

DeclTriple variable_boxes(IdentRec* r) {
    TemplateParams& tp = template_params;
    tp.decl_set = range_list_to_set(r->ranges.get());
    tp.id_set = *default_place_type;
    const bool initialised = r->number != NO_VALUE;
    tp.init = static_cast<std::int16_t>(
        initialised ? r->number : (r->ranges && !r->ranges->ranges.empty() ? r->ranges->ranges.front().low : 0));
    DeclTriple t;
    t.data = data_box(initialised ? BOX_INITVAR : BOX_VAR, true);
    if (initialised && t.data && t.data->first_place && t.data->first_place->initial_marking == "{$INIT$}")
        t.data->first_place->initial_marking = "{" + value_text(r->number) + "}";
    t.init = get_box(initialised ? BOX_INITVAR_INIT : BOX_VAR_INIT, true);
    t.term = get_box(initialised ? BOX_INITVAR_TERM : BOX_VAR_TERM, true);
    return t;
}

DeclTriple channel_boxes(IdentRec* r) {
    TemplateParams& tp = template_params;
    tp.decl_set = range_list_to_set(r->ranges.get());
    tp.id_set = *default_place_type;
    const std::int32_t capacity = r->number;
    int first = BOX_CHAN0;
    if (capacity == 1) {
        first = BOX_CHAN1;
    } else if (capacity > 1) {
        first = r->kind == STACK ? BOX_STACK : BOX_CHAN;
        tp.capacity = static_cast<std::int16_t>(capacity);
        tp.capacity_plus_one = static_cast<std::int16_t>(capacity + 1);
    }
    DeclTriple t;
    t.data = data_box(first, true);
    t.init = get_box(first + 1, true);
    t.term = get_box(first + 2, true);
    return t;
}

DeclTriple procedure_boxes(IdentRec* p) {
    if (translation.procedure) fatal("Nested procedures are not allowed !");
    const std::uint16_t reference = template_params.reference;
    make_instances(p);
    qualify_ref_params(p->next_param, p->name);

    // The body, with the procedure's instances as the type of its places.
    const ValueSet* saved_type = default_place_type;
    const int saved_level = translation.procedure_level;
    const std::int16_t saved_max = template_params.max;
    default_place_type = &p->instances;
    translation.procedure_level = p->level + 1;
    translation.procedure = p;
    template_params.max = static_cast<std::int16_t>(instances_of(p));
    MNet* body = p->body ? trans_block(p->body.get()) : nullptr;
    default_place_type = saved_type;
    translation.procedure_level = saved_level;
    translation.procedure = nullptr;
    template_params.max = saved_max;

    procedure_params(p);
    template_params.reference = reference;
    template_runtime.refinement = body;
    DeclTriple t;
    t.data = data_box((MNetOptions[0] & OPT0_PROC_INSTANCE_SET) ? BOX_PROC_SET : BOX_PROC, false);
    FreeNet(&template_runtime.refinement);  // a box without $BODY$, or no box
    if (t.data && p->kind == PROCEDURE_PARAMS) {
        if (!template_runtime.marks[MARK_PAR_PRE] || !template_runtime.marks[MARK_PAR_POST])
            fatal("PAR_PRE and/or PAR_POST not specified !");
        trans_params(p->next_param, t.data);
    }
    procedure_params(p);
    template_params.reference = reference;
    t.init = get_box(BOX_PROC_INIT, true);
    t.term = get_box(BOX_PROC_TERM, true);
    return t;
}

// ---------------------------------------------------------------------------
// Commands.

// Composes the boxes as a balanced tree.
MNet* compose(std::vector<MNet*>& boxes, std::size_t lo, std::size_t hi, MNet* (*op)(MNet*, MNet*)) {
    if (hi - lo == 1) return boxes[lo];
    std::size_t mid = lo + (hi - lo) / 2;
    MNet* a = compose(boxes, lo, mid, op);
    MNet* b = compose(boxes, mid, hi, op);
    return op(a, b);
}

MNet* compose(std::vector<MNet*>& boxes, MNet* (*op)(MNet*, MNet*)) {
    return boxes.empty() ? nullptr : compose(boxes, 0, boxes.size(), op);
}

// The operands of a chain of nodes of one kind, left to right.
std::vector<Node*> chain_operands(Node* n, std::int32_t kind) {
    std::vector<Node*> out, stack{n};
    while (!stack.empty()) {
        Node* m = stack.back();
        stack.pop_back();
        if (m->kind == kind) {
            stack.push_back(m->b);
            stack.push_back(m->a);
        } else {
            out.push_back(m);
        }
    }
    return out;
}

MNet* atomic_action(Node* c) {
    begin_action(nullptr);
    expr(c->a);
    end_action();
    const std::uint16_t reference = position_reference(c->pos);
    CurrentAction& a = current_action;
    MNet* box = M_atomic_box(a.label, &a.guard, &a.restrictions, a.vars, reference);
    add_id_var(box->first_trans);
    return box;
}

MNet* chain(Node* c, std::uint8_t& flags) {
    std::vector<MNet*> boxes;
    for (Node* op : chain_operands(c, c->kind)) boxes.push_back(trans_command(op, flags));
    if (c->kind == K_PAR) {
        flags |= 1;
        return compose(boxes, M_parallel);
    }
    return compose(boxes, M_sequence);
}

// The repeat and the exit part of a set of alternatives.
std::pair<MNet*, MNet*> alt_set(Node* alts, std::uint8_t& flags) {
    std::vector<MNet*> repeats, exits;
    for (Node* a : chain_operands(alts, K_ALT)) {
        if (a->kind == K_REPEAT) repeats.push_back(trans_command(a->a, flags));
        else if (a->kind == K_EXIT) exits.push_back(trans_command(a->a, flags));
        else fatal("Internal Error: Unknown node type in alt_set !");
    }
    return {compose(repeats, M_choice), compose(exits, M_choice)};
}

MNet* loop(Node* c, std::uint8_t& flags) {
    MNet* init = c->b ? trans_command(c->b, flags) : nullptr;
    auto [repeat, exit] = alt_set(c->a, flags);
    if (!exit) exit = M_place_chain_box(0);
    return M_iteration(repeat, exit, init);
}

MNet* call(Node* c) {
    IdentRec* p = c->ident;
    make_instances(p);
    procedure_params(p);
    template_params.reference = position_reference(c->pos);
    MNet* box = get_box(BOX_PROC_CALL, true);
    if (!template_runtime.marks[MARK_CALL_PAR] || !template_runtime.marks[MARK_RETURN_PAR])
        fatal("CALL_PAR and/or RETURN_PAR not specified !");
    trans_call_args(p, c->args, box);
    return box;
}

MNet* labelled(Node* c, std::uint8_t& flags) {
    std::vector<Node*> labels;
    Node* n = c;
    for (; n->kind == K_LABEL; n = n->a) labels.push_back(n);
    MNet* box = trans_command(n, flags);
    for (std::size_t k = labels.size(); k-- > 0;)
        if (box) add_place_references(box->first_place, PLACE_ENTRY, position_reference(labels[k]->pos), 0);
    return box;
}

// ---------------------------------------------------------------------------
// Expressions.

std::uint16_t leaf(const Node* n) {
    const IdentRec* r = n->ident;
    const AccessIdent x = access_of(r);
    const bool capacity = r->number > 0;
    switch (n->value) {
    case ACC_PLAIN: return read_value(x);
    case ACC_PRE: return pre_value(x);
    case ACC_POST: return post_value(x);
    case ACC_RECEIVE: return channel_value(x, capacity ? 0 : 4);
    case ACC_SEND: return channel_value(x, capacity ? 2 : 6);
    case ACC_EMPTY: return channel_value(x, capacity ? 1 : 5);
    case ACC_FULL: return channel_value(x, capacity ? 3 : 7);
    default: fatal("Internal Error: Unknown node type in expr !");
    }
}

bool binary(std::int32_t k) {
    return k == N_AND || k == N_OR || (k >= N_EQ && k <= N_MOD);
}
bool unary(std::int32_t k) { return k == N_NOT || k == N_PAREN || k == N_NEG; }

}  // namespace

// ---------------------------------------------------------------------------

MNet* trans_block(Node* block) {
    ++translation.block_level;
    const std::uint16_t reference = position_reference(block->pos);
    ActionSet saved = std::move(translation.collected);
    translation.collected.clear();
    block->decls = reverse_idents(block->decls);
    Declarations d = trans_decls(block->decls);
    ActionSet scope = std::move(translation.collected);
    translation.collected = std::move(saved);

    std::uint8_t flags = 0;
    MNet* result;
    if (block->a) {
        MNet* body = trans_command(block->a, flags);
        if (d.data) {
            BlockParts parts;
            parts.body = body;
            parts.data = d.data;
            parts.init = d.init;
            parts.term = d.term;
            result = compose_block(parts, scope);
        } else {
            result = body;
            FreeNet(&d.init);
            FreeNet(&d.term);
        }
    } else {
        result = d.data;
        FreeNet(&d.init);
        FreeNet(&d.term);
    }
    if (translation.free_memory)
        for (IdentRec* r = block->decls; r; r = r->next)
            if (r->kind == PROCEDURE || r->kind == PROCEDURE_PARAMS) ValueSet().swap(r->instances);
    if (result) {
        if (reference) {
            add_place_references(result->first_place, PLACE_ENTRY, reference, 1);
            add_place_references(result->first_place, PLACE_EXIT, reference, 2);
        }
        std::uint16_t number = 0;
        if (d.block_name)
            new_named_block(d.block_name->name, static_cast<std::uint16_t>(d.block_name->level), &number,
                            reference, flags);
        else
            new_unnamed_block(static_cast<std::uint16_t>(translation.block_level), &number, reference, flags);
        block_to_places(result, number);
        block_to_transitions(result, number);
        block_to_phantoms(result, number);
        M_add_block(result, number);
    }
    --translation.block_level;
    return result;
}

Declarations trans_decls(IdentRec* decls) {
    Declarations out;
    DeclTriple triple;
    for (IdentRec* r = decls; r; r = r->next) {
        if (r->mode != DECLARED) continue;
        DeclTriple t;
        switch (r->kind) {
        case UNDECLARED:
        case CONSTANT:
        case OTHER_NAME:
            continue;
        case BLOCK_NAME:
            out.block_name = r;
            continue;
        case VARIABLE:
        case CHANNEL:
        case STACK:
        case PROCEDURE:
        case PROCEDURE_PARAMS:
            template_params.name = r->name;
            template_params.reference = ref_code(r);
            t = r->kind == VARIABLE ? variable_boxes(r) : r->kind == CHANNEL || r->kind == STACK ? channel_boxes(r)
                                                                                               : procedure_boxes(r);
            break;
        default:
            fatal("Internal Error: Unknown declaration type !");
        }
        triple = merge_declarations(triple, t);
    }
    out.init = triple.init;
    out.data = triple.data;
    out.term = triple.term;
    return out;
}

MNet* trans_command(Node* c, std::uint8_t& flags) {
    switch (c->kind) {
    case K_BLOCK: return trans_block(c);
    case K_ACTION: return atomic_action(c);
    case K_SEQ:
    case K_PAR: return chain(c, flags);
    case K_LOOP: return loop(c, flags);
    case K_CALL:
    case K_CALL_ARGS: return call(c);
    case K_LABEL: return labelled(c, flags);
    default: fatal("Internal Error: Unknown node type in com !");
    }
}

std::uint16_t expr(const Node* e) {
    struct Frame {
        const Node* n;
        int stage;
        std::uint16_t right;
    };
    std::vector<Frame> stack{{e, 0, 0}};
    std::uint16_t result = 0;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const Node* n = f.n;
        const std::uint16_t kind = static_cast<std::uint16_t>(n->kind);
        if (binary(n->kind)) {
            // The right operand first, then the left one.
            if (f.stage == 0) {
                f.stage = 1;
                stack.push_back({n->b, 0, 0});
                continue;
            }
            if (f.stage == 1) {
                f.right = result;
                f.stage = 2;
                stack.push_back({n->a, 0, 0});
                continue;
            }
            result = add_node(kind, result, f.right);
        } else if (unary(n->kind)) {
            if (f.stage == 0) {
                f.stage = 1;
                stack.push_back({n->a, 0, 0});
                continue;
            }
            result = add_node(kind, result, 0);
        } else if (n->kind == N_CONST) {
            result = add_node(N_CONST, static_cast<std::uint16_t>(n->value), 0);
        } else if (n->kind == N_VAR) {
            result = leaf(n);
        } else {
            fatal("Internal Error: Unknown node type in expr !");
        }
        stack.pop_back();
    }
    return result;
}

}  // namespace bpn2
