#include "cosweep_net.h"

#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cosweep_error.h"
#include "outfile.h"
#include "scanner.h"
#include "vos.h"

namespace cosweep {

using netlib::NET;
using netlib::NET_ARC;
using netlib::NET_NODE;

DerivedNames derive_names(const std::string& net_file) {
    std::size_t slash = net_file.rfind('/');
    std::size_t dot = net_file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        throw CosweepError("ERROR: Dateiname " + net_file + " hat keine Endung!\n");
    DerivedNames d;
    d.complement = net_file.substr(0, dot + 1) + "comp" + net_file.substr(dot);
    d.stem = d.complement.substr(0, d.complement.rfind('.'));
    return d;
}

void check_no_complement_places(NET* net) {
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        if (p->name.size() < 2 || p->name[0] != '|') continue;
        if (netlib::find_P(net, p->name.substr(1)))
            throw CosweepError("ERROR: Netz hat schon die Komplementstelle " + p->name + "!\n");
    }
}

void ComplementNet(NET* net, const std::string& path, bool components) {
    // The places of the input net, walked from the last to the first; the
    // places added on the way are not among them.
    std::vector<NET_NODE*> original;
    original.reserve(net->places);
    for (NET_NODE* p = net->first_place; p; p = p->next) original.push_back(p);
    for (auto it = original.rbegin(); it != original.rend(); ++it) {
        NET_NODE* p = *it;
        if (p->marking != 0 && p->marking != 1) throw CosweepError("ERROR: Netz ist nicht sicher!\n");
        const std::string comp = "|" + p->name;
        NET_NODE* q = netlib::insert_place(net, comp, 1 - p->marking);
        std::unordered_set<const NET_NODE*> consumers, producers;
        for (NET_ARC* a = p->postset; a; a = a->p_next) consumers.insert(a->transition);
        for (NET_ARC* a = p->preset; a; a = a->p_next) producers.insert(a->transition);
        // A transition that only produces p consumes the complement place; one
        // that only consumes p produces it; one that does both leaves it alone.
        std::vector<const NET_NODE*> to_consume, to_produce;
        for (NET_ARC* a = p->preset; a; a = a->p_next)
            if (!consumers.count(a->transition)) to_consume.push_back(a->transition);
        for (NET_ARC* a = p->postset; a; a = a->p_next)
            if (!producers.count(a->transition)) to_produce.push_back(a->transition);
        for (const NET_NODE* t : to_consume) netlib::insert_PT_con(net, comp, t->name, 1);
        for (const NET_NODE* t : to_produce) netlib::insert_TP_con(net, comp, t->name, 1);
        if (net->has_extras && q) {
            auto x = std::unique_ptr<netlib::NodeExtras, netlib::NodeExtrasDeleter>(new netlib::NodeExtras);
            if (p->extras) {
                // Beside p, as far as the coordinate range allows.
                auto beside = [](std::int32_t v) {
                    return v > INT32_MAX - 15 ? INT32_MAX : static_cast<std::int32_t>(v + 15);
                };
                x->x = beside(p->extras->x);
                x->y = beside(p->extras->y);
            } else {
                x->x = x->y = 15;
            }
            q->extras = std::move(x);
        }
    }
    WriteComplementNet(net, path, components);
}

namespace {

// A text between double quotes, or between single quotes when it holds a
// double quote (so that it reads back as written); names may hold both and
// are written as the net library writes them.
std::string quoted(const std::string& s) {
    char q = s.find('"') == std::string::npos ? '"' : '\'';
    return q + s + q;
}

}  // namespace

void WriteComplementNet(NET* net, const std::string& path, bool components) {
    netlib::scan.file = path;
    netlib::scan.line = 0;
    // The net is written under a temporary name and takes its own once it
    // is complete: a half-written net is never found under it (and trelmik,
    // started next, reads it by that name).
    std::FILE* f = outfile::open(path);
    if (!f) {
        std::printf("VOSfilename: %s\n", path.c_str());
        netlib::syntax_error("Could not open file for writing");
    }
    if (!net->has_extras) {
        std::fclose(f);
        outfile::discard();
        netlib::syntax_error("Internal Error: 'CM_storeCoordinates' not set");
    }
    std::string out;
    auto put = [&](const std::string& s) { out += s; };
    char buf[64];
    auto num = [&](const char* fmt, long a, long b) {
        std::snprintf(buf, sizeof buf, fmt, a, b);
        out += buf;
    };

    const std::string& id = net->identifier.empty() ? std::string("PlainNet") : net->identifier;
    const bool box = id == "PetriBox" || id == "HLNet";
    put("VOS\n" + id + "\nFORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n");

    static const netlib::NodeExtras none;
    std::unordered_map<std::string, long> component;
    long next_component = 0;
    netlib::renumber(net);
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        const netlib::NodeExtras& x = p->extras ? *p->extras : none;
        put(netlib::quoted_name(p->name));
        num("%ld@%ld", x.x, x.y);
        // Entry and exit places of boxes keep their marking as every other
        // place does.
        if (box && p->kind == 1) put("e");
        else if (box && p->kind == 2) put("x");
        std::string marking;
        if (p->marking != 0) {
            std::snprintf(buf, sizeof buf, "M%dm%d", p->marking, p->marking);
            marking = buf;
        }
        // A high-level type or marking read after a low-level marking discards
        // it; the start marking then follows them.
        const bool high_level = !x.type.empty() || !x.hl_initial.empty();
        if (!high_level) put(marking);
        if (!x.label.empty()) put("b" + quoted(x.label));
        if (!x.reference.empty()) put("R" + quoted(x.reference));
        if (!x.type.empty()) put("Z" + quoted(x.type));
        if (!x.hl_initial.empty()) put("z" + quoted(x.hl_initial));
        if (high_level) put(marking);
        if (components) {
            // Each place forms one component with its complement place.
            long c = 0;
            if (p->name.size() > 1 && p->name[0] == '|') {
                auto it = component.find(p->name.substr(1));
                if (it != component.end()) c = it->second;
            }
            if (c == 0) c = ++next_component;
            component.emplace(p->name, c);
            num("C%ld", c, 0);
        }
        put("\n");
    }
    put("TR\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next) {
        const netlib::NodeExtras& x = t->extras ? *t->extras : none;
        put(netlib::quoted_name(t->name));
        num("%ld@%ld", x.x, x.y);
        if (!x.action.empty()) put("i" + quoted(x.action));
        if (!x.label.empty()) put("b" + quoted(x.label));
        if (!x.guard.empty()) put("g" + quoted(x.guard));
        if (!x.reference.empty()) put("R" + quoted(x.reference));
        put("\n");
    }
    put("TP\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next)
        for (NET_ARC* a = t->postset; a; a = a->t_next) num("%ld<%ld\n", t->number, a->place->number);
    put("PT\n");
    for (NET_NODE* p = net->first_place; p; p = p->next)
        for (NET_ARC* a = p->postset; a; a = a->p_next) num("%ld>%ld\n", p->number, a->transition->number);
    put("TX\n\n");

    bool failed = std::fwrite(out.data(), 1, out.size(), f) != out.size();
    failed = std::fclose(f) != 0 || failed;
    if (failed) {
        // The earlier file, if any, stays as it was.
        outfile::discard();
        netlib::syntax_error("Could not write file");
    }
    if (!outfile::commit()) netlib::syntax_error("Could not write file");
}

}  // namespace cosweep
