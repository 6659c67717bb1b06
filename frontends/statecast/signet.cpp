#include "signet.h"

#include "mnet_base.h"
#include "mnet_terms.h"

namespace statecast {

namespace {

[[noreturn]] void missing(unsigned line, const std::string& name) {
    mnet::fatal("can't happen: %s:%u (%s)", "signet", line, name.c_str());
}

const ProcessObj* body_process(const Ident* r) {
    if (!r || r->cls != CL_PROCESS || !r->object) return nullptr;
    const ProcessObj* p = dynamic_cast<const ProcessObj*>(r->object);
    return p && p->has_body ? p : nullptr;
}

ValueSet consecutive(std::int32_t first, std::int32_t count) {
    ValueSet v;
    for (std::int32_t i = 0; i < count; ++i) v.push_back(first + i);
    return v;
}

// The object a via or to clause names: the process or route of a {X} e
// cast, looked up among the system's declarations.
const Ident* clause_name(const Expr* e) {
    while (e && e->kind == EK_PAREN) e = e->left;
    return e && e->kind == EK_PID_OF ? e->ident : nullptr;
}

void check_clause(const SystemObj* system, const Expr* clause, const char* which) {
    const Ident* named = clause_name(clause);
    if (!named || named->name == "env") return;
    int found = 0;
    for (const Ident* d : system->decls)
        if (d->name == named->name && (body_process(d) || d->cls == CL_ROUTE)) ++found;
    if (found == 0) mnet::fatal("undefined name %s in %s clause", named->name.c_str(), which);
    if (found > 1) mnet::report(mnet::WARNING, "ambiguous name %s in %s clause", named->name.c_str(), which);
}

}  // namespace

void analyse_routes(Program& program) {
    SystemObj* system = program.system->as<SystemObj>();
    for (Ident* d : system->decls) {
        if (d->cls != CL_ROUTE) continue;
        RouteObj* r = d->as<RouteObj>();
        r->signal_set.clear();
        for (const Ident* s : r->signals) {
            const SignalObj* sig = s->as<SignalObj>();
            mnet::valueset_add_range(r->signal_set, sig->first, sig->last);
        }
    }
    for (const Stmt* out : program.outputs) {
        check_clause(system, out->via, "via");
        check_clause(system, out->to, "to");
    }
}

ValueSet process_pids(const Ident* process) {
    const ProcessObj* p = body_process(process);
    if (!p) missing(__LINE__, process ? process->name : std::string("?"));
    return consecutive(p->pid_first, p->max);
}

ValueSet route_pids(const RouteObj* route) { return consecutive(route->pid_first, route->instances); }

ValueSet destination_pids(const RouteObj* route) {
    if (route->to_channel) return ValueSet{0};
    return process_pids(route->to);
}

std::string destination_name(const RouteObj* route) {
    if (route->to_channel) return route->to_channel->name;
    if (!route->to) missing(__LINE__, route->ident ? route->ident->name : std::string("?"));
    return route->to->name;
}

std::int32_t signal_instance_count(const SystemObj* system) {
    std::int32_t n = 0;
    for (const Ident* d : system->decls)
        if (d->cls == CL_SIGNAL) n = std::max(n, d->as<SignalObj>()->last + 1);
    return n;
}

}  // namespace statecast
