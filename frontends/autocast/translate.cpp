#include "translate.h"

#include <algorithm>

#include "bpn2_trans.h"
#include "fragments.h"
#include "mnet_algebra.h"
#include "mnet_labels.h"
#include "mnet_templates.h"
#include "references.h"

namespace autocast {

DeclarationBoxes collect_declarations() {
    bpn2::translation.collected.clear();
    bpn2::IdentRec* decls = bpn2::reverse_idents(bpn2::close_scope());
    const bpn2::Declarations d = bpn2::trans_decls(decls);
    DeclarationBoxes boxes;
    boxes.data = d.data;
    boxes.init = d.init;
    boxes.term = d.term;
    boxes.actions = std::move(bpn2::translation.collected);
    bpn2::translation.collected.clear();
    return boxes;
}

mnet::MNet* compose_with(mnet::MNet* net, DeclarationBoxes&& declarations) {
    mnet::BlockParts parts;
    parts.body = net;
    parts.data = declarations.data;
    parts.init = declarations.init;
    parts.term = declarations.term;
    return mnet::compose_block(parts, declarations.actions);
}

void translate_arc_label(mnet::MTransition* t, std::uint16_t arc_number, bpn2::IdentRec* process) {
    std::string& label = *t->label_text;
    label += ";";
    pfa_parse(label);
    const FragmentResult& result = fragment_result();
    if (result.kind != RESULT_EXPRESSION) parse_failure("got vardecls instead of expression");
    bpn2::IdentRec* params = process->next_param;
    bpn2::qualify_ref_params(params, process->name);
    mnet::begin_action(nullptr);
    bpn2::expr(result.action->a);
    mnet::end_action();
    cut_ref_param_names(params);

    bpn2::PosRec* pos = result.action->pos;
    const std::uint16_t r = bpn2::position_reference(pos);
    set_object_number(pos, arc_number);
    mnet::CurrentAction& a = mnet::current_action;
    t->label = std::move(a.label);
    t->guard = std::move(a.guard);
    t->restrictions = std::move(a.restrictions);
    t->comvars = std::move(a.vars);
    t->refs.assign(1, mnet::RefEntry{r, 0});
    mnet::add_reference(t->pre->place->refs, r, 1);
    mnet::add_reference(t->post->place->refs, r, 2);
    mnet::add_id_var(t);
}

namespace {

// Whether the action's printed name (a conjugate with its '^') begins with
// the text.
bool named_with(const mnet::ActionTerm& term, const std::string& prefix) {
    std::string name;
    mnet::action_name(term.code, name);
    return name.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

mnet::MNet* build_procedure_box(mnet::MNet* net, const Settings& settings, bpn2::IdentRec* process) {
    if (settings.box_mode == BOX_NONE || !settings.has_id_range()) return net;
    mnet::ValueSet ids;
    mnet::valueset_add_range(ids, settings.id_lo, settings.id_hi);
    mnet::TemplateParams& tp = mnet::template_params;
    tp.reference = mnet::ref_code(process);
    set_record_name(process, process->name);
    tp.name = process->name;
    tp.id_set = ids;
    tp.new_ids = ids;
    const int capacity = settings.id_hi - settings.id_lo + 1;
    tp.max = tp.capacity = static_cast<std::int16_t>(capacity);
    tp.capacity_plus_one = static_cast<std::int16_t>(capacity + 1);
    tp.base_id = static_cast<std::int16_t>(settings.id_lo - 1);
    mnet::template_runtime.refinement = net;
    mnet::default_place_type = &mnet::dot_set();

    bpn2::IdentRec* params = process->next_param;
    bpn2::qualify_ref_params(params, process->name);

    // The box's actions (and its parameters') become the scope list.
    mnet::ActionSet& actions = bpn2::translation.collected;
    actions.clear();
    mnet::template_runtime.collected = &actions;
    mnet::action_collector = &actions;
    mnet::MNet* box = mnet::get_box(settings.box_mode == BOX_SET ? mnet::BOX_PROC_SET : mnet::BOX_PROC, true);
    mnet::template_runtime.collected = nullptr;
    mnet::action_collector = nullptr;
    // A box without a $BODY$ transition would lose the automata.
    if (mnet::template_runtime.refinement) {
        mnet::template_runtime.refinement = nullptr;
        mnet::fatal("BODY not specified !");
    }
    if (params) bpn2::trans_params(params, box);

    // The call and return actions and the accesses of the reference
    // parameters stay open to the callers.
    std::vector<std::string> open{"^" + process->name};
    for (bpn2::IdentRec* p = params; p; p = p->next_param)
        if (p->mode == bpn2::BY_REFERENCE) open.push_back("^" + p->name);
    actions.erase(std::remove_if(actions.begin(), actions.end(),
                                 [&](const mnet::ActionTerm& term) {
                                     return std::any_of(open.begin(), open.end(), [&](const std::string& prefix) {
                                         return named_with(term, prefix);
                                     });
                                 }),
                  actions.end());
    mnet::BlockParts parts;
    parts.body = box;
    mnet::MNet* result = mnet::compose_block(parts, actions);
    actions.clear();
    return result;
}

}  // namespace autocast
