// Parameter passing: the parameter boxes of a procedure box and the
// argument passing of a call box.
//
// A value, constant or result parameter lives in a place of (value,
// instance) that PAR_PRE fills with the value the call hands over and
// PAR_POST empties (handing a result back).  A reference parameter "x@P"
// has no place of its own: the call box forwards the instance's accesses of
// x@P to the argument, while the call runs, through one small box per kind
// of access, connected with a copy of the call box's argument place that
// holds (instance, caller).
#include "bpn2_trans.h"

namespace bpn2 {

using namespace mnet;

namespace {

const char* const too_many_parameters = "Too many VAL/RES-parameters for a single procedure !";

// An arc at the head of the place's list and at the end of the
// transition's: the place sits behind every place the transition already
// has arcs with, and the transition before the place's other partners.
MArc* add_arc(MPlace* p, MTransition* t, bool to_place, Inscription insc, bool place_tail = false) {
    auto* a = new MArc();
    a->place = p;
    a->trans = t;
    a->inscription = std::move(insc);
    MArc*& plist = to_place ? p->in : p->out;
    if (place_tail && plist) {
        MArc* last = plist;
        while (last->pnext) last = last->pnext;
        last->pnext = a;
        a->pprev = last;
    } else {
        a->pnext = plist;
        if (plist) plist->pprev = a;
        plist = a;
    }
    MArc*& tlist = to_place ? t->post : t->pre;
    if (!tlist) {
        tlist = a;
    } else {
        MArc* last = tlist;
        while (last->tnext) last = last->tnext;
        last->tnext = a;
        a->tprev = last;
    }
    return a;
}

Inscription tuple_of(std::uint16_t first, std::uint16_t second) {
    return new_inscription(static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(Tuple{first, second})));
}

// The single action term of a template transition (PAR_PRE, CALL_PAR, ...).
ActionTerm take_term(MTransition* t) {
    if (t->label.empty()) fatal("Internal Error: no action on a marked transition !");
    ActionTerm term = t->label.front();
    t->label.erase(t->label.begin());
    return term;
}

void add_param(ActionTerm& term, std::uint16_t slot) {
    if (term.nparams >= MAX_PARAMS) fatal("%s", too_many_parameters);
    term.params[term.nparams++] = slot;
}

void put_term(MTransition* t, const ActionTerm& term) { actset_add_term(t->label, term); }

// The collected term of the action with one parameter takes the final
// parameter count of the transition's action.
void update_collected(const ActionTerm& final_term) {
    ActionSet& s = translation.collected;
    const std::uint16_t conjugate = static_cast<std::uint16_t>(final_term.code | 1u);
    for (std::size_t k = 0; k < s.size(); ++k)
        if (s[k].code == conjugate && s[k].nparams == 1) {
            ActionTerm t = s[k];
            t.nparams = final_term.nparams;
            s.erase(s.begin() + static_cast<long>(k));
            actset_add_term(s, t);
            return;
        }
}

void add_conjugate(const ActionTerm& t) {
    ActionTerm c = t;
    c.code = static_cast<std::uint16_t>(c.code | 1u);
    actset_add_term(translation.collected, c);
}

// Joins the equalities as a and b and ... nested to the right, the and-nodes
// appended from the innermost outwards, so that the root comes last.
void join_conjuncts(const std::vector<std::uint16_t>& conjuncts) {
    if (conjuncts.empty()) return;
    std::uint16_t acc = conjuncts.back();
    for (std::size_t k = conjuncts.size() - 1; k-- > 0;) acc = add_node(N_AND, conjuncts[k], acc);
}

// Ends the action under construction and gives it to the transition, whose
// action term `term` (taken off its label) comes back with its new
// parameters.
void finish_action(MTransition* t, const ActionTerm& term) {
    end_action();
    CurrentAction& a = current_action;
    t->guard = std::move(a.guard);
    t->comvars = std::move(a.vars);
    t->restrictions = std::move(a.restrictions);
    put_term(t, term);
    actset_union(t->label, a.label);
    a.guard.clear();
    a.vars.clear();
    a.restrictions.clear();
}

// One forwarding box of a reference parameter, united with the call box
// and connected with the argument's place.
void ref_box(MNet*& box, int number, IdentRec* formal, IdentRec* actual, MPlace* arg_place, int mode,
             const char* ext, std::uint16_t flag) {
    template_params.name = formal->name;
    template_params.arg = actual->name;
    template_params.ext = ext;
    MNet* rb = get_box(number, true);
    MTransition* t = rb->first_trans;
    if (!t) fatal("Internal Error: no transition in a reference box !");
    begin_action(&t->comvars);
    if (mode < 0) access_term(access_of(actual));
    else channel_term(access_of(actual), mode);
    end_action();
    CurrentAction& a = current_action;
    t->comvars = std::move(a.vars);
    actset_union(t->label, a.label);
    for (TermTable& c : a.guard) t->guard.push_back(std::move(c));
    a.guard.clear();
    a.vars.clear();
    if (!t->refs.empty()) t->refs.front().decoration = flag;

    M_move(rb, box->origin_x - rb->origin_x, box->origin_y - rb->origin_y);
    rb->width = box->width;
    rb->height = box->height;
    box = M_union(box, rb);
    const std::uint16_t proc = add_comvar("-proc", t->comvars, t);
    const std::uint16_t id = add_comvar("~id", t->comvars, t);
    add_arc(arg_place, t, false, tuple_of(proc, id), true);
    add_arc(arg_place, t, true, tuple_of(proc, id), true);
}

}  // namespace

void qualify_ref_params(IdentRec* params, const std::string& procedure) {
    const std::string suffix = "@" + procedure;
    for (IdentRec* p = params; p; p = p->next_param) {
        ref_code(p);
        const bool qualified =
            p->name.size() > suffix.size() && p->name.compare(p->name.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (p->mode == BY_REFERENCE && !qualified) p->name += suffix;
    }
}

void trans_params(IdentRec* params, MNet*& box) {
    MTransition* pre = template_runtime.marks[MARK_PAR_PRE];
    MTransition* post = template_runtime.marks[MARK_PAR_POST];
    if (!pre || !post) fatal("PAR_PRE and/or PAR_POST not specified !");
    ActionTerm pre_term = take_term(pre);
    ActionTerm post_term = take_term(post);
    for (IdentRec* p = params; p; p = p->next_param) {
        switch (p->mode) {
        case BY_VALUE:
        case BY_CONST:
        case BY_RESULT: {
            template_params.name = p->name;
            template_params.reference = ref_code(p);
            template_params.decl_set = range_list_to_set(p->ranges.get());
            ActionSet* saved_runtime = template_runtime.collected;
            ActionSet* saved_reader = action_collector;
            template_runtime.collected = &translation.collected;
            action_collector = &translation.collected;
            MNet* pb = get_box(p->mode == BY_VALUE ? BOX_VAL_PAR : p->mode == BY_CONST ? BOX_CONST_PAR : BOX_RES_PAR,
                               true);
            template_runtime.collected = saved_runtime;
            action_collector = saved_reader;
            MPlace* place = pb->first_place;
            if (!place) fatal("Internal Error: no place in a parameter box !");
            M_move(pb, box->origin_x + box->width + 30 - pb->origin_x, pre->y + 60 - pb->origin_y);
            box->width += 30 + pb->width;
            box = M_union(box, pb);
            // The parameter's value is a variable of its own: whatever its
            // name, it is none of the box's variables (its instance counter,
            // proc).
            const std::string var = "-" + p->name;
            const std::uint16_t pre_var = add_comvar(var, pre->comvars, pre, COMVAR_PRIVATE);
            add_arc(place, pre, true, tuple_of(pre_var, add_comvar("proc", pre->comvars, pre)));
            const std::uint16_t post_var = add_comvar(var, post->comvars, post, COMVAR_PRIVATE);
            add_arc(place, post, false, tuple_of(post_var, add_comvar("proc", post->comvars, post)));
            add_param(pre_term, pre_var);
            if (p->mode == BY_RESULT) add_param(post_term, post_var);
            break;
        }
        case BY_REFERENCE:
            begin_action(nullptr);
            if (p->kind == VARIABLE) {
                add_conjugate(access_term(access_of(p)));
            } else {
                add_conjugate(channel_term(access_of(p), 0));
                add_conjugate(channel_term(access_of(p), 2));
                if (p->number > 0) {
                    add_conjugate(channel_term(access_of(p), 1));
                    add_conjugate(channel_term(access_of(p), 3));
                }
            }
            begin_action(nullptr);
            break;
        default:
            fatal("Internal Error: Unknown Parameter type !");
        }
    }
    put_term(pre, pre_term);
    put_term(post, post_term);
    update_collected(pre_term);
    update_collected(post_term);
}

void trans_call_args(IdentRec* procedure, const std::vector<ArgEntry>& args, MNet*& box) {
    MTransition* call = template_runtime.marks[MARK_CALL_PAR];
    MTransition* ret = template_runtime.marks[MARK_RETURN_PAR];
    MPlace* arg_template = template_runtime.remembered_place;
    const std::int32_t step = no_scoping() ? 120 : 60;

    // Reference parameters: an argument place and its forwarding boxes each.
    std::vector<MPlace*> ref_places;
    std::int32_t offset = 0;
    IdentRec* f = procedure->next_param;
    for (std::size_t i = 0; f && i < args.size(); f = f->next_param, ++i) {
        if (f->mode != BY_REFERENCE) {
            if (arc_weight_bound < 2) arc_weight_bound = 2;
            continue;
        }
        IdentRec* actual = args[i].ident;
        if (!actual) continue;
        if (!arg_template) fatal("Internal Error: no argument place in the call box !");
        MPlace* place = DuplicatePlace(box, arg_template, nullptr, nullptr, nullptr, nullptr);
        place->number = 1;
        place->refs.clear();
        add_reference(place->refs, ref_code(f), 0);
        ref_places.push_back(place);
        offset += step;
        const bool recursive = actual == f;
        if (actual->kind == VARIABLE) {
            ref_box(box, recursive ? BOX_VARREF_PAR_REC : BOX_VARREF_PAR, f, actual, place, -1, "", 0);
        } else if (actual->number == 0) {
            const int n = recursive ? BOX_CHAN0REF_PAR_REC : BOX_CHAN0REF_PAR;
            ref_box(box, n, f, actual, place, 4, "?", 256);
            ref_box(box, n, f, actual, place, 6, "!", 512);
        } else {
            const int n = recursive ? BOX_CHANREF_PAR_REC : BOX_CHANREF_PAR;
            ref_box(box, n, f, actual, place, 0, "?", 256);
            ref_box(box, n, f, actual, place, 2, "!", 512);
            ref_box(box, n, f, actual, place, 1, "??", 2048);
            ref_box(box, n, f, actual, place, 3, "!!", 1024);
        }
    }
    if (!ref_places.empty()) {
        // Beside the call box, one column per argument place.
        std::int32_t x = box->origin_x + box->width + 30;
        for (MPlace* place : ref_places) {
            place->x = x;
            for (MArc* a = place->out; a; a = a->pnext)
                if (a->trans != ret) {
                    a->trans->x = x + 30;
                    a->trans->y = place->y;
                }
            x += step;
        }
        box->width += offset;
    }

    // The call hands over the values: formal = actual for every value,
    // constant and result parameter.  A formal is a variable of its own,
    // apart from the box's (proc, id) and from the variables of the actual
    // expressions, even where their names agree.
    ActionTerm call_term = take_term(call);
    begin_action(&call->comvars);
    std::vector<std::uint16_t> conjuncts;
    f = procedure->next_param;
    for (std::size_t i = 0; f && i < args.size(); f = f->next_param, ++i) {
        if (f->mode == BY_REFERENCE) continue;
        const std::uint16_t slot = add_comvar(f->name, current_action.vars, nullptr, COMVAR_PRIVATE);
        add_param(call_term, slot);
        const std::uint16_t formal = add_node(N_VAR, slot, NO_COMPONENT);
        const std::uint16_t actual = args[i].ident ? read_value(access_of(args[i].ident)) : expr(args[i].expr);
        conjuncts.push_back(add_node(N_EQ, formal, actual));
    }
    join_conjuncts(conjuncts);
    finish_action(call, call_term);
    add_id_var(call);

    // The return hands the results back: actual' = formal.
    ActionTerm ret_term = take_term(ret);
    begin_action(&ret->comvars);
    conjuncts.clear();
    f = procedure->next_param;
    for (std::size_t i = 0; f && i < args.size(); f = f->next_param, ++i) {
        if (f->mode != BY_RESULT || !args[i].ident) continue;
        const std::uint16_t slot = add_comvar(f->name, current_action.vars, nullptr, COMVAR_PRIVATE);
        add_param(ret_term, slot);
        const ActionTerm& access = access_term(access_of(args[i].ident));
        const std::uint16_t post = add_node(N_VAR, access.params[1], NO_COMPONENT);
        conjuncts.push_back(add_node(N_EQ, post, add_node(N_VAR, slot, NO_COMPONENT)));
    }
    join_conjuncts(conjuncts);
    finish_action(ret, ret_term);
}

}  // namespace bpn2
