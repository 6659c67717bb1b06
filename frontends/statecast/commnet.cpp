#include "commnet.h"

#include <algorithm>

#include "mnet_base.h"
#include "node.h"
#include "ref.h"
#include "signet.h"

namespace statecast {

std::string env_channel_name(const std::string& block, std::size_t k) {
    std::string letters;
    for (std::size_t n = k + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), char('a' + (n - 1) % 26));
    return block + "@" + letters;
}

namespace {

// Pids and signal numbers are values of the nets: at most 32763.
void check_total(std::int64_t total, const char* what) {
    if (total > V_MAX) mnet::fatal("too many %s: %lld (at most %d)", what, static_cast<long long>(total), V_MAX);
}

void number_signal(SignalObj* s, std::int32_t pid_values, std::int64_t& counter) {
    s->lo.clear();
    s->size.clear();
    std::int64_t count = 1;
    for (const Type* t : s->params) {
        std::int32_t lo = 0, size = 1;
        if (t && t->marker == Type::PID) {
            lo = -1;
            size = pid_values;
        } else if (t) {
            lo = t->lo;
            size = t->hi - t->lo + 1;
        }
        s->lo.push_back(lo);
        s->size.push_back(size);
        count *= size > 0 ? size : 0;
        check_total(counter + count, "signal instances");
    }
    s->first = static_cast<std::int32_t>(counter);
    s->last = static_cast<std::int32_t>(counter + count - 1);
    counter += count;
    add_signal_entry(s);
}

}  // namespace

void number_system(Program& program) {
    SystemObj* system = program.system->as<SystemObj>();
    const std::string& block = program.system->name;
    std::int64_t pids = 0, signals = 0;
    // First pass: processes and signals.
    for (Ident* d : system->decls) {
        switch (d->cls) {
        case CL_PROCESS: {
            ProcessObj* p = d->as<ProcessObj>();
            if (!p->has_body || d->name == "env") break;
            check_total(pids + p->max, "pids");
            p->pid_first = static_cast<std::int32_t>(pids + 1);
            for (std::int32_t i = 0; i < p->max; ++i) add_pid_entry(d->name, i, p->pid_first + i);
            pids += p->max;
            break;
        }
        case CL_SIGNAL: number_signal(d->as<SignalObj>(), static_cast<std::int32_t>(std::min<std::int64_t>(program.pid_count, V_MAX + 2)), signals); break;
        case CL_ROUTE: case CL_CONST: case CL_TYPE: case CL_VAR: case CL_PROCEDURE: break;
        default: mnet::fatal("can't happen: %s:%u (%u)", "commnet", __LINE__, d->cls);
        }
    }
    // Second pass: signalroutes and their environment channels.
    std::size_t channels = 0;
    std::vector<Ident*> added;
    for (Ident* d : system->decls) {
        if (d->cls != CL_ROUTE) continue;
        RouteObj* r = d->as<RouteObj>();
        check_total(pids + r->instances, "pids");
        r->pid_first = static_cast<std::int32_t>(pids + 1);
        for (std::int32_t i = 0; i < r->instances; ++i) add_pid_entry(d->name, i, r->pid_first + i);
        pids += r->instances;
        for (int end = 0; end < 2; ++end) {
            Ident* e = end == 0 ? r->from : r->to;
            if (!e || e->name != "env") continue;
            EnvChannelObj* c = program.make<EnvChannelObj>();
            c->name = env_channel_name(block, channels++);
            c->route = r;
            c->source_end = end == 0;
            (end == 0 ? r->from_channel : r->to_channel) = c;
            Ident* ci = program.table.make(c->name, CL_ENV_CHANNEL, 1);
            ci->hidden = true;
            ci->object = c;
            added.push_back(ci);
        }
    }
    for (Ident* c : added) system->decls.push_back(c);
    ValueSet all{0};
    for (std::int64_t v = 1; v <= pids; ++v) all.push_back(static_cast<std::int32_t>(v));
    all.push_back(V_NIL);
    set_pid_value_set(std::move(all));
    set_expression_system(system);
    analyse_routes(program);
}

}  // namespace statecast
