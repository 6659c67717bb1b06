#include "test_util.h"

#include <sstream>

#include "vos.h"

// Allocation failures must reach the library's own message under the
// sanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace nettest {

std::string literal(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
        out += c;
    }
    return out;
}

std::string syntax_message(const std::string& file, int line, const std::string& text) {
    return "ERROR: syntax error in file '" + file + "', line " + std::to_string(line) + ": " + text + ".\n";
}

namespace {

void describe_extras(std::ostream& o, const netlib::NET_NODE* n) {
    if (!n->extras) return;
    const netlib::NodeExtras& x = *n->extras;
    o << " @" << x.x << "," << x.y << " i[" << x.action << "] b[" << x.label << "] g[" << x.guard << "] R["
      << x.reference << "] Z[" << x.type << "] z[" << x.hl_initial << "] y[" << x.hl_current << "] m" << x.current
      << " T[" << x.text << "]";
}

}  // namespace

std::string describe(netlib::NET* net) {
    std::ostringstream o;
    o << net->identifier << " P" << net->places << " T" << net->transitions << " C" << net->components << "\n";
    for (netlib::NET_NODE* p = net->first_place; p; p = p->next) {
        o << "place " << p->name << " M" << p->marking << " k" << p->kind << " c" << p->aux;
        describe_extras(o, p);
        o << "\n";
        for (netlib::NET_ARC* a = p->postset; a; a = a->p_next) {
            o << "  " << p->name << " -> " << a->transition->name << " w" << a->weight;
            if (a->extras) o << " p[" << a->extras->inscription << "] v" << a->extras->v;
            o << "\n";
        }
        for (netlib::NET_ARC* a = p->preset; a; a = a->p_next) o << "  " << p->name << " <- " << a->transition->name << "\n";
    }
    for (netlib::NET_NODE* t = net->first_transition; t; t = t->next) {
        o << "transition " << t->name << " k" << t->kind;
        describe_extras(o, t);
        o << "\n";
        for (netlib::NET_ARC* a = t->postset; a; a = a->t_next) {
            o << "  " << t->name << " -> " << a->place->name << " w" << a->weight;
            if (a->extras) o << " p[" << a->extras->inscription << "] v" << a->extras->v;
            o << "\n";
        }
        for (netlib::NET_ARC* a = t->preset; a; a = a->t_next) o << "  " << t->name << " <- " << a->place->name << "\n";
    }
    return o.str();
}

static std::string names(netlib::NET_NODE* n) {
    std::string s;
    for (; n; n = n->next) s += (s.empty() ? "" : " ") + n->name;
    return s;
}

std::string place_names(netlib::NET* net) { return names(net->first_place); }
std::string transition_names(netlib::NET* net) { return names(net->first_transition); }

}  // namespace nettest
