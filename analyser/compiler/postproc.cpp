#include "postproc.h"

#include <algorithm>
#include <unordered_map>

#include "butra.h"
#include "diag.h"
#include "preproc.h"
#include "statements.h"

namespace tulc {

NetTables& Net() {
    static NetTables tables;
    return tables;
}

void NetTablesInit() {
    Settings keep = Net().settings;
    Net() = NetTables();
    Net().settings = keep;
}

PLACE* NetTables::FindPlace(const std::string& name) const {
    auto it = placeIndex.find(name);
    return it == placeIndex.end() ? nullptr : places[it->second].get();
}

std::optional<std::uint32_t> ClassNumber(const std::string& name) {
    auto& n = Net().classNumbers;
    auto it = n.find(name);
    if (it == n.end()) return std::nullopt;
    return it->second;
}

namespace {

std::uint32_t DeclareClass(const std::string& name) {
    auto& net = Net();
    if (auto k = ClassNumber(name)) return *k;
    net.classNames.push_back(name);
    const std::uint32_t k = static_cast<std::uint32_t>(net.classNames.size());
    net.classNumbers[name] = k;
    return k;
}

CLASSNODE* Node(std::uint32_t k) {
    auto& nodes = Net().classNodes;
    if (nodes.size() <= k) nodes.resize(k + 1);
    if (!nodes[k]) nodes[k] = ClassCons(k);
    return nodes[k].get();
}

bool InsertSorted(std::vector<CLASSNODE*>& list, CLASSNODE* c) {
    auto at = std::lower_bound(list.begin(), list.end(), c,
                               [](const CLASSNODE* x, const CLASSNODE* y) { return x->number < y->number; });
    if (at != list.end() && *at == c) return false;
    list.insert(at, c);
    return true;
}

bool InsertSorted(std::vector<std::uint32_t>& list, std::uint32_t k) {
    auto at = std::lower_bound(list.begin(), list.end(), k);
    if (at != list.end() && *at == k) return false;
    list.insert(at, k);
    return true;
}

// Makes higher a direct higher class of lower; false when it was one.
bool Link(CLASSNODE* lower, CLASSNODE* higher) {
    bool added = InsertSorted(lower->higher, higher);
    InsertSorted(higher->lower, lower);
    return added;
}

void ClearMarks() {
    for (auto& n : Net().classNodes)
        if (n) n->flags &= ~CLASSNODE::kWalkMark;
}

// Marks every class reachable from start over the higher (or lower) lists,
// start included.
void MarkReachable(CLASSNODE* start, bool upward) {
    std::vector<CLASSNODE*> stack{start};
    while (!stack.empty()) {
        CLASSNODE* c = stack.back();
        stack.pop_back();
        if (c->flags & CLASSNODE::kWalkMark) continue;
        c->flags |= CLASSNODE::kWalkMark;
        for (CLASSNODE* d : upward ? c->higher : c->lower) stack.push_back(d);
    }
}

// One pass over an edge set; true when a relation was added.
bool ClosePass(const std::map<std::uint32_t, std::vector<std::uint32_t>>& edges, bool upward) {
    bool added = false;
    auto& nodes = Net().classNodes;
    for (const auto& [a, targets] : edges) {
        CLASSNODE* an = nodes[a].get();
        ClearMarks();
        for (std::uint32_t b : targets) MarkReachable(nodes[b].get(), upward);
        // Already related directly: nothing to add.
        for (CLASSNODE* d : upward ? an->higher : an->lower) d->flags &= ~CLASSNODE::kWalkMark;
        for (auto& n : nodes) {
            if (!n || !(n->flags & CLASSNODE::kWalkMark)) continue;
            added = (upward ? Link(an, n.get()) : Link(n.get(), an)) || added;
        }
    }
    ClearMarks();
    return added;
}

std::string Ordinal(std::uint32_t n) {
    const char* suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : "th";
    return std::to_string(n) + suffix;
}

void NameTuples(TRANSITION& t) {
    for (int out = 0; out < 2; ++out) {
        auto& arcs = out ? t.outArcs : t.inArcs;
        const char* dir = out ? "to" : "from";
        std::uint32_t index = 0;
        for (auto& arc : arcs) {
            arc->index = index++;
            std::uint32_t pos = 0;
            for (auto& m : arc->tuples) {
                m.position = pos++;
                if (arc->tuples.size() == 1)
                    m.label = std::string("/*mtuple ") + dir + " " + arc->place->name + "*/";
                else
                    m.label = "/*" + Ordinal(pos) + " mtuple " + dir + " " + arc->place->name + "*/";
            }
        }
    }
}

}  // namespace

void PrecStatement() {
    auto t = NextNonWhiteMacrosOnly();
    if (!t || t->kind != TK_NAME) {
        ExpectationReport("name in #prec", t);
        DropRestOfLine();
        return;
    }
    std::uint32_t a = DeclareClass(t->text);
    for (;;) {
        auto op = NextNonWhiteMacrosOnly();
        if (!op) ReportFatal("Unexpected end of file");
        if (op->kind == TK_NEWLINE) {
            unget_token(*op);
            return;
        }
        if (op->kind != TK_LESS && op->kind != TK_GREATER && op->kind != TK_SHIFT_LEFT && op->kind != TK_SHIFT_RIGHT) {
            ExpectationReport("\"<\", \">\", \"<<\", or \">>\" in #prec", op);
            DropRestOfLine();
            return;
        }
        auto n = NextNonWhiteMacrosOnly();
        if (!n || n->kind != TK_NAME) {
            ExpectationReport("name in #prec", n);
            DropRestOfLine();
            return;
        }
        std::uint32_t b = DeclareClass(n->text);
        switch (op->kind) {
        case TK_LESS: PrecRelate(a, b, 0); break;
        case TK_GREATER: PrecRelate(b, a, 0); break;
        case TK_SHIFT_LEFT: PrecRelate(a, b, 1); break;
        default: PrecRelate(b, a, 2); break;
        }
        a = b;
    }
}

void PrecRelate(std::uint32_t lower, std::uint32_t higher, int kind) {
    auto& net = Net();
    CLASSNODE* a = Node(lower);
    CLASSNODE* b = Node(higher);
    Link(a, b);
    if (kind == 1) InsertSorted(net.strongEdges[lower], higher);
    if (kind == 2) InsertSorted(net.weakEdges[higher], lower);
}

void PrecClosure() {
    auto& net = Net();
    while (ClosePass(net.strongEdges, true)) {
    }
    while (ClosePass(net.weakEdges, false)) {
    }
    net.strongEdges.clear();
    net.weakEdges.clear();
    for (auto& n : net.classNodes)
        if (n && std::find(n->lower.begin(), n->lower.end(), n.get()) != n->lower.end()) n->flags |= CLASSNODE::kInhibitor;
    for (auto& n : net.classNodes) {
        if (!n || !(n->flags & CLASSNODE::kInhibitor)) continue;
        ClearMarks();
        for (CLASSNODE* l : n->lower) MarkReachable(l, false);
        bool nothing = true;
        for (auto& m : net.classNodes)
            if (m && (m->flags & CLASSNODE::kWalkMark) && !(m->flags & CLASSNODE::kInhibitor)) nothing = false;
        if (nothing) n->flags |= CLASSNODE::kNothing;
    }
    ClearMarks();
}

ClassKind KindOfClass(std::uint32_t k) {
    auto& nodes = Net().classNodes;
    const CLASSNODE* n = k < nodes.size() ? nodes[k].get() : nullptr;
    if (!n) return kClIndependent;
    if (n->flags & CLASSNODE::kNothing) return kClNothing;
    if (n->flags & CLASSNODE::kInhibitor) return kClInhibitor;
    if (!n->higher.empty()) return kClMedium;
    if (!n->lower.empty()) return kClMaximum;
    return kClIndependent;
}

VARIABLE* FindVariable(const std::string& name, const TRANSITION& t) {
    for (const auto& v : t.variables)
        if (v->name && *v->name == name) return v.get();
    return nullptr;
}

void TesterChecks() {
    auto& net = Net();
    const PLACE* tp = net.testerPlace;
    if (!tp) return;
    const std::string tester = "\"" + tp->name + "\"";
    auto refused = [&](TRANSITION& t) {
        auto two = [&](const std::string& first, const std::string& second) {
            ReportError("Transition " + t.name + ": " + first);
            ReportError(second);
            return true;
        };
        for (ARC* arc : t.allArcs) {
            if (arc->place != tp) continue;
            for (const auto& m : arc->tuples)
                if (m.arity != 1) {
                    ReportError("Transition " + t.name + ": every tuple in the tester " + tester + " must be unary");
                    return true;
                }
        }
        const ARC* in = nullptr;
        const ARC* out = nullptr;
        for (auto& a : t.inArcs)
            if (a->place == tp) in = a.get();
        for (auto& a : t.outArcs)
            if (a->place == tp) out = a.get();
        if (!in && !out) return false;
        if (!in || !out || in->tuples.size() != out->tuples.size())
            return two("attempt to change", "the multiplicity of the tester " + tester);
        if (in->tuples.size() != 1) return two("strange input", "from the tester " + tester);
        const MTUPLE& i = in->tuples[0];
        const MTUPLE& o = out->tuples[0];
        if (!i.multiplicity && i.count != 1) return two("strange input", "from the tester " + tester);
        if (!i.multiplicity && !o.multiplicity)
            return i.count == o.count ? false : two("attempt to change", "the multiplicity of the tester " + tester);
        if (!i.multiplicity || !o.multiplicity)
            return two("potential attempt to change", "the multiplicity of the tester " + tester);
        return false;
    };
    auto& ts = net.transitions;
    std::vector<std::unique_ptr<TRANSITION>> kept;
    for (auto& t : ts) {
        if (refused(*t))
            net.transitionByName.erase(t->name);
        else
            kept.push_back(std::move(t));
    }
    ts = std::move(kept);
}

NETDESC PostProcess() {
    auto& net = Net();
    // The tester's conditions belong to the place of its name.
    if (net.testerName && !net.testerPlace) {
        ReportError("tester \"" + *net.testerName + "\": no #place declares the tester");
        net.testerValues.clear();
    }
    TesterChecks();
    PrecClosure();
    if (net.hasVerify) BuTra();
    for (auto& t : net.transitions) {
        std::uint32_t i = 0;
        for (auto& v : t->variables) {
            std::string c = v->name ? "/*" + *v->name + "*/" : std::string();
            v->cname = c + "_v[" + std::to_string(i++) + "]";
        }
        if (t->comp) {
            // The names of the variables, looked up once per token of the
            // comp text (the first variable of a name, as FindVariable).
            std::unordered_map<std::string, const VARIABLE*> byName;
            for (const auto& v : t->variables)
                if (v->name) byName.emplace(*v->name, v.get());
            for (auto& tok : *t->comp) {
                auto it = byName.find(tok);
                if (it != byName.end()) tok = it->second->cname;
            }
        }
        NameTuples(*t);
    }
    NETDESC d;
    d.places = &net.places;
    d.transitions = &net.transitions;
    d.classNodes = &net.classNodes;
    d.classCount = net.ClassCount();
    d.testerPlace = net.testerPlace;
    d.atoms = &net.verifyAtoms;
    return d;
}

}  // namespace tulc
