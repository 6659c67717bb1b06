#include "proc2net.h"

#include <algorithm>
#include <climits>

#include "h_body.h"
#include "h_process.h"
#include "h_trans.h"
#include "mnet.h"
#include "mnet_algebra.h"
#include "mnet_templates.h"
#include "node.h"
#include "ref.h"
#include "settings.h"
#include "signet.h"

namespace statecast {

Translation tr;

// ---------------------------------------------------------------------------
// Helpers.

void add_action(mnet::ActionSet& list, const std::string& name, std::uint16_t arity) {
    mnet::ActionTerm t;
    t.code = mnet::action_code(name);
    t.nparams = arity;
    mnet::actset_add_term(list, t);
}

mnet::MNet* scope_unless_disabled(mnet::MNet* net, mnet::ActionSet& list) {
    if (mnet::no_scoping()) return net;
    net = mnet::M_scope(net, list, mnet::max_arc_variables);
    list.clear();
    return net;
}

mnet::MTransition* marked_transition(int k, int box) {
    mnet::MTransition* t = mnet::template_runtime.marks[k];
    if (!t) mnet::fatal("missing mark in template net %s", mnet::box_template(box).file.c_str());
    return t;
}

void select_template_variant(int box, std::int32_t* last_version, std::int32_t version) {
    if (last_version && *last_version == version) return;
    if (version < 0 || version > 9) mnet::fatal("version %d of template %s is not a digit", version,
                                                mnet::box_template(box).file.c_str());
    mnet::set_box_variant(box, static_cast<char>('0' + version));
    if (last_version) *last_version = version;
}

void update_bounding_box(mnet::MNet* net) {
    std::int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    auto see = [&](std::int32_t x, std::int32_t y) {
        min_x = std::min(min_x, x);
        min_y = std::min(min_y, y);
        max_x = std::max(max_x, x);
        max_y = std::max(max_y, y);
    };
    for (mnet::MPlace* p = net->first_place; p; p = p->next) see(p->x, p->y);
    for (mnet::MTransition* t = net->first_trans; t; t = t->next) see(t->x, t->y);
    if (min_x > max_x) return;
    net->origin_x = min_x;
    net->origin_y = min_y;
    net->width = max_x - min_x + 30;
    net->height = max_y - min_y + 30;
}

mnet::MNet* load_template(int box) { return mnet::get_box(box, true); }

void set_instance_set(ValueSet pids) {
    tr.instance_set = std::move(pids);
    mnet::template_params.id_set = tr.instance_set;
    mnet::default_place_type = &tr.instance_set;
}

std::int16_t template_value(std::int32_t v) {
    return static_cast<std::int16_t>(std::max<std::int32_t>(INT16_MIN, std::min<std::int32_t>(v, INT16_MAX)));
}

void restrict_named(mnet::MTransition* t, const std::string& name, const ValueSet& set) {
    std::uint16_t slot = mnet::add_comvar(name, t->comvars, t);
    mnet::restrict_var(t->restrictions, slot, mnet::NO_COMPONENT, set);
}

// ---------------------------------------------------------------------------
// Variables, parameters, signalroutes.

namespace {
// The declared set and initial value of a variable or parameter.
void declared_values(const Type* t, ValueSet& set, std::int32_t& initial) {
    if (t->marker == Type::PID) {
        set = pid_value_set();
        initial = V_NIL;
    } else {
        set = t->values;
        initial = set.empty() ? 0 : set.front();
    }
}
}  // namespace

void translate_variable(Ident* variable, std::uint16_t scope_ref, mnet::MNet*& data, mnet::MNet*& init,
                        mnet::MNet*& term, mnet::ActionSet& list) {
    const Type* t = variable->var_type();
    if (t->marker == Type::CLOCK) {
        mnet::report(mnet::WARNING, "ignoring clock variable %s", variable->name.c_str());
        return;
    }
    auto& params = mnet::template_params;
    std::int32_t initial = 0;
    declared_values(t, params.decl_set, initial);
    params.init = template_value(initial);
    params.name = variable->name;
    params.reference = variable->ref ? variable->ref->number : 0;
    data = mnet::M_parallel(data, load_template(BOX_VARIABLE));
    params.reference = scope_ref;
    init = mnet::M_sequence(init, load_template(BOX_VAR_INIT));
    term = mnet::M_sequence(load_template(BOX_VAR_TERM), term);
    add_action(list, variable->name, 3);
    add_action(list, variable->name + "@init", 2);
    add_action(list, variable->name + "@term", 1);
}

void translate_parameters(const ProcessObj* process, mnet::MNet*& data, mnet::MNet*& term, mnet::ActionSet& list) {
    auto& params = mnet::template_params;
    for (const FormalParam& fp : process->params) {
        Ident* p = fp.ident;
        std::int32_t initial = 0;
        declared_values(p->var_type(), params.decl_set, initial);
        params.name = p->name;
        params.reference = p->ref ? p->ref->number : 0;
        data = mnet::M_parallel(data, load_template(BOX_PARAMETER));
        params.reference = process->ref->number;
        term = mnet::M_sequence(load_template(BOX_VAR_TERM), term);
        add_action(list, p->name, 3);
        add_action(list, p->name + "@init", 2);
        add_action(list, p->name + "@term", 1);
    }
}

namespace {

void translate_signalroute(Ident* ident) {
    RouteObj* route = ident->as<RouteObj>();
    auto& params = mnet::template_params;
    params.name = ident->name;
    params.arg = destination_name(route);
    params.reference = route->ref->number;
    params.decl_set = route->signal_set;
    params.new_ids = destination_pids(route);
    set_instance_set(route_pids(route));
    params.max = template_value(route->instances);
    params.capacity = template_value(route->capacity);
    params.capacity_plus_one = route->reliability == RC_LOSSY ? 1 : 0;
    params.init = route->queue == RC_MULTISET ? 1 : 0;
    params.base_id = static_cast<std::int16_t>(route->overflow);
    int box = (route->delay == RC_URGENT ? BOX_ROUTE_URGENT_PEER : BOX_ROUTE_DELAYED_PEER) +
              (route->casting == RC_UNICAST ? 1 : route->casting == RC_MULTICAST ? 2 : 0);
    select_template_variant(box, nullptr, route->version);
    mnet::MNet* net = load_template(box);
    bool peer = route->casting == RC_PEER;
    for (int k = 0; k < 2; ++k) {
        mnet::MTransition* t = mnet::template_runtime.marks[k];
        if (!t) continue;
        restrict_named(t, "sig", route->signal_set);
        if (peer) restrict_named(t, "targetid", params.new_ids);
    }
    if (route->casting == RC_MULTICAST) {
        mnet::MTransition* t = marked_transition(2, box);
        std::string label = "^" + ident->name + "!(sig,id)";
        for (std::int32_t p : params.new_ids) label += "," + params.arg + "!(sig," + std::to_string(p) + ")";
        t->label = mnet::parse_actionset(label, t);
    }
    tr.processes = mnet::M_parallel(tr.processes, net);

    params.reference = tr.system_ref;
    for (std::int32_t i = 1; i <= route->initial; ++i) {
        params.init = template_value(route->pid_first + i - 1);
        tr.creation = mnet::M_sequence(load_template(BOX_SIG_CREATE), tr.creation);
    }
    tr.init = mnet::M_sequence(tr.init, load_template(BOX_INIT));
    tr.term = mnet::M_sequence(tr.term, load_template(BOX_TERM));

    add_action(tr.comm_list, ident->name + "@init", 0);
    add_action(tr.comm_list, ident->name + "@term", 0);
    add_action(tr.comm_list, ident->name + "@create", 1);
    add_action(tr.comm_list, ident->name + "@kill", 1);
    if (!(route->from_channel && !settings.model_environment))
        add_action(tr.comm_list, ident->name + "!", peer ? 3 : 2);
}

void translate_declarations() {
    if (tr.program->system->name == "env") return;
    tr.walk_list = mnet::new_actset();
    for (Ident* d : tr.system->decls) {
        switch (d->cls) {
        case CL_PROCESS:
            if (d->object && d->as<ProcessObj>()->has_body) translate_process(d);
            else if (d->name != "env") mnet::fatal("can't happen: %s:%u", "proc2net.c", __LINE__);
            break;
        case CL_ROUTE: translate_signalroute(d); break;
        case CL_VAR:
            set_instance_set(ValueSet());
            translate_variable(d, tr.system_ref, tr.processes, tr.init, tr.term, tr.comm_list);
            break;
        case CL_PROCEDURE: mnet::report(mnet::WARNING, "procedure %s will be ignored", d->name.c_str()); break;
        case CL_SIGNAL: case CL_TYPE: case CL_CONST: break;
        case CL_ENV_CHANNEL:
            if (!settings.model_environment) {
                const EnvChannelObj* c = d->as<EnvChannelObj>();
                if (c->source_end)
                    mnet::report(mnet::INFO, "detected input from environment via signalroute %s",
                                 c->route->ident->name.c_str());
                else
                    mnet::report(mnet::INFO, "detected output to environment via action symbol %s", c->name.c_str());
            }
            break;
        default: mnet::fatal("can't happen: %s:%u (%u)", "proc2net.c", __LINE__, d->cls);
        }
    }
    if (tr.processes) tr.processes = scope_unless_disabled(tr.processes, tr.walk_list);
}

}  // namespace

// ---------------------------------------------------------------------------
// The system.

mnet::MNet* translate_system(Program& program) {
    tr = Translation();
    tr.program = &program;
    tr.system = program.system->as<SystemObj>();
    tr.system_ref = tr.system->ref->number;
    tr.system_list = mnet::new_actset();
    tr.comm_list = mnet::new_actset();
    mnet::template_params = mnet::TemplateParams();

    translate_declarations();
    translate_environment();
    if (tr.creation) tr.init = mnet::M_sequence(tr.init, tr.creation);
    if (!tr.system_list.empty()) {
        mnet::template_params.reference = tr.system_ref;
        mnet::MNet* box = load_template(BOX_PRCSTERM);
        box->width = 30;
        marked_transition(0, BOX_PRCSTERM)->label = mnet::copy_actset(tr.system_list);
        tr.init = mnet::M_sequence(tr.init, box);
        add_action(tr.system_list, "atom@get", 0);
        add_action(tr.system_list, "atom@put", 0);
    }
    if (tr.term) tr.init = mnet::M_sequence(tr.init, tr.term);
    if (!tr.processes) return nullptr;
    mnet::MNet* net = mnet::M_parallel(tr.init, tr.processes);
    net = scope_unless_disabled(net, tr.system_list);
    net = scope_unless_disabled(net, tr.comm_list);
    return net;
}

// ---------------------------------------------------------------------------
// Composition operators.

namespace {
std::vector<mnet::MPlace*> places_of_type(mnet::MNet* net, std::uint8_t type) {
    std::vector<mnet::MPlace*> out;
    if (!net) return out;
    for (mnet::MPlace* p = net->first_place; p; p = p->next)
        if (p->type & type) out.push_back(p);
    return out;
}

// Moves the arcs of q onto the loop place and unites its lists into it.
void absorb(mnet::MPlace* loop, mnet::MPlace* q, bool arcs_in, bool arcs_out) {
    mnet::MArc* last = nullptr;
    if (arcs_in) mnet::DuplicateTPEdges(q, loop, &last, 0);
    last = nullptr;
    if (arcs_out) mnet::DuplicatePTEdges(q, loop, &last, 0);
    mnet::MergePlaceInfo(loop, q);
}

std::int32_t bottom(const mnet::MNet* n) { return n->origin_y + n->height; }
}  // namespace

mnet::MNet* process_loop(mnet::MNet* body, mnet::MNet* exit, mnet::MNet* init) {
    if (!body) return init ? mnet::M_sequence(init, exit) : exit;
    if (!init) init = new_statement_box(0);
    std::vector<mnet::MPlace*> body_entry = places_of_type(body, mnet::PLACE_ENTRY);
    std::vector<mnet::MPlace*> body_exit = places_of_type(body, mnet::PLACE_EXIT);
    std::vector<mnet::MPlace*> init_exit = places_of_type(init, mnet::PLACE_EXIT);
    std::vector<mnet::MPlace*> exit_entry = places_of_type(exit, mnet::PLACE_ENTRY);
    if (body_entry.empty() || body_exit.empty()) mnet::fatal("can't happen: %s:%u", "proc2net.c", __LINE__);
    mnet::MArc *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
    mnet::MPlace* loop = mnet::DuplicatePlace(body, body_entry.front(), &a, &b, &c, &d);
    loop->type = mnet::PLACE_INTERNAL;
    for (mnet::MPlace* q : init_exit) absorb(loop, q, true, false);
    for (mnet::MPlace* q : exit_entry) absorb(loop, q, false, true);
    absorb(loop, body_exit.front(), true, false);
    mnet::RemovePlace(body, body_entry.front());
    mnet::RemovePlace(body, body_exit.front());
    for (mnet::MPlace* q : init_exit) mnet::RemovePlace(init, q);
    for (mnet::MPlace* q : exit_entry) mnet::RemovePlace(exit, q);

    if (exit) mnet::M_move(exit, init->origin_x - exit->origin_x, bottom(init) - 60 - exit->origin_y);
    mnet::M_move(body, init->origin_x + init->width + 90 - body->origin_x, init->origin_y + 30 - body->origin_y);
    std::int32_t init_width = init->width;
    std::int32_t body_width = body->width;
    std::int32_t exit_bottom = exit ? bottom(exit) : bottom(init);
    mnet::MNet* result = mnet::M_union(init, body);
    result = mnet::M_union(result, exit);
    result->width = init_width + 90 + body_width;
    result->height = std::max(result->height, exit_bottom - result->origin_y);
    return result;
}

mnet::MNet* sequence_left(mnet::MNet* a, mnet::MNet* b) {
    if (!a) return b;
    if (!b) return a;
    mnet::M_move(b, a->origin_x - b->origin_x, a->origin_y + a->height - 30 - b->origin_y);
    std::int32_t width = a->width;
    a->width = 30;
    mnet::M_place_product(a, b, mnet::PLACE_ENTRY, mnet::PLACE_EXIT);
    a->width = width;
    if (b->width > a->width) {
        a->width = b->width;
        a->origin_x = b->origin_x;
    }
    a->height += b->height - 30;
    return mnet::M_union(a, b);
}

}  // namespace statecast
