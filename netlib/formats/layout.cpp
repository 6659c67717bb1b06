// Export of a net with kept extras as a plain list of places, transitions,
// edges and tokens for a drawing tool.
#include <cstdio>
#include <string>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"
#include "vos.h"

namespace netlib {
namespace {

const NodeExtras& extras_of(const NET_NODE* node) {
    static const NodeExtras none;
    return node->extras ? *node->extras : none;
}

void write_node(std::FILE* out, const NET* net, const NET_NODE* node, bool place) {
    const NodeExtras& e = extras_of(node);
    std::fprintf(out, "Name %s ", node->name.c_str());
    std::fprintf(out, "Position %d %d\n", e.x, e.y);
    std::fprintf(out, " %d %d", e.x, e.y);
    if (!e.label.empty()) {
        std::fprintf(out, "\"%s\"", e.label.c_str());
    } else if (place && net->identifier == "HLNet" && node->kind >= 0 && node->kind <= 2) {
        std::fprintf(out, "\"%c\"", "0ex"[node->kind]);
    } else {
        std::fprintf(out, "\"\"");
    }
    std::fprintf(out, " \"%s\"\n", e.text.c_str());
}

void write_edge(std::FILE* out, unsigned number, const NET_NODE* from, const NET_NODE* to, const NET_ARC* arc) {
    const NodeExtras& a = extras_of(from);
    const NodeExtras& b = extras_of(to);
    long mx = (static_cast<long>(a.x) + b.x) / 2, my = (static_cast<long>(a.y) + b.y) / 2;
    std::fprintf(out, "Name HLEdge%u ", number);
    std::fprintf(out, "From %s ", from->name.c_str());
    std::fprintf(out, "To %s\n", to->name.c_str());
    std::fprintf(out, " %ld %ld", mx, my);
    std::fprintf(out, " %ld %ld", mx, my);
    std::fprintf(out, "\"%s\"\n", arc->extras ? arc->extras->inscription.c_str() : "");
}

}  // namespace

void export_layout(NET* net, const std::string& path) {
    if (!net || !net->has_extras) syntax_error("Internal Error: 'CM_storeCoordinates' not set");
    fmt_detail::InFile file(path, "w");
    if (!file) syntax_error("Could not open file for writing");
    std::FILE* out = file.get();
    std::fprintf(out, "Place\n");
    for (NET_NODE* p = net->first_place; p; p = p->next) write_node(out, net, p, true);
    std::fprintf(out, "\nTransition\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next) write_node(out, net, t, false);
    std::fprintf(out, "\nEdge\n");
    unsigned edges = 0;
    for (NET_NODE* t = net->first_transition; t; t = t->next)
        for (NET_ARC* a = t->postset; a; a = a->t_next) write_edge(out, ++edges, t, a->place, a);
    for (NET_NODE* p = net->first_place; p; p = p->next)
        for (NET_ARC* a = p->postset; a; a = a->p_next) write_edge(out, ++edges, p, a->transition, a);
    std::fprintf(out, "\nToken\n");
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        const NodeExtras& e = extras_of(p);
        if (e.hl_initial.empty()) continue;
        std::fprintf(out, "Name %s ", p->name.c_str());
        std::fprintf(out, " \"%s\"\n", e.hl_initial.c_str());
    }
    std::fprintf(out, "\n");
    bool ok = !std::ferror(out);
    if (!file.close() || !ok) syntax_error("Could not write file");
}

}  // namespace netlib
