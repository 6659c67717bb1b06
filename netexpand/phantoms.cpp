// Phantom transitions: each stands for the synchronisation of a group of
// transitions.  Its variables are matched with those of every partner, and
// every instance of a partner induces, through the matching, a binding of
// the phantom; each distinct induced binding makes one low-level phantom.
#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "expand_parts.h"
#include "failure.h"

namespace flatnet {

namespace {

// The variables of an inscription, each once, with the dimension of its
// first occurrence.
std::vector<std::pair<std::uint32_t, std::uint32_t>> distinct_variables(const HLArc& a) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const Occurrence& o : occurrences(a.inscription, a.place->type.dimension()))
        if (std::none_of(out.begin(), out.end(), [&o](const auto& v) { return v.first == o.code; }))
            out.emplace_back(o.code, o.dimension);
    return out;
}

// The first arc of a list (sorted by place number) at the place.
const HLArc* arc_at(const std::vector<HLArc*>& arcs, const HLPlace* place) {
    auto it = std::lower_bound(arcs.begin(), arcs.end(), place->number,
                               [](const HLArc* a, std::uint32_t n) { return a->place->number < n; });
    return it != arcs.end() && (*it)->place == place ? *it : nullptr;
}

// A phantom arc that carries a variable, as the backtracking sees it.
struct MatchArc {
    const HLArc* arc;
    bool input;
    std::uint32_t code;
    std::uint32_t dimension;
    std::size_t var = 0;  // index into the phantom's variables
};

void resolve_partners(HLNet& net, HLTransition& phantom) {
    phantom.partners.clear();
    if (!phantom.sync) return;
    std::vector<std::int64_t> numbers;
    try {
        numbers = parse_number_list(*phantom.sync);
    } catch (const TextError& e) {
        throw Failure(EXIT_FATAL, format("Error in list of sync transitions of %s: %s\n", phantom.name.c_str(), e.what()));
    }
    std::unordered_set<std::uint32_t> seen;
    for (std::int64_t n : numbers) {
        if (n < 1) continue;
        auto it = net.transitions.find(static_cast<std::uint32_t>(n));
        if (it != net.transitions.end() && seen.insert(it->first).second) phantom.partners.push_back(&it->second);
    }
}

// Matching over the phantom's arcs (input arcs first): a variable met for
// the first time tries the variables of the partner's arc in order, a
// variable met again must find its partner there.  The first complete match
// of a backtracking over the arcs in this order is taken.  Every arc's test
// concerns one variable alone, so that match gives each variable the first
// candidate of its first arc that all its later arcs offer; it is found so
// variable by variable, which keeps a failing match from trying every
// combination of the other variables' candidates.  Returns the partner of
// each variable.
std::vector<std::uint32_t> match(const HLTransition& phantom, const HLTransition& t, const std::vector<MatchArc>& arcs,
                                 std::size_t variables) {
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> candidates;
    for (const MatchArc& m : arcs) {
        const HLArc* other = arc_at(m.input ? t.in : t.out, m.arc->place);
        if (!other)
            fatal(format("%s is adjacent to %s, but %s is not", phantom.name.c_str(), m.arc->place->name.c_str(),
                         t.name.c_str()));
        candidates.push_back(distinct_variables(*other));
    }
    const std::size_t n = arcs.size();
    auto fits = [&](std::size_t k, std::size_t c) { return candidates[k][c].second == arcs[k].dimension; };
    // The arcs of each variable, in arc order; the first one chooses.
    std::vector<std::vector<std::size_t>> arcs_of(variables);
    for (std::size_t k = 0; k < n; ++k) arcs_of[arcs[k].var].push_back(k);
    std::vector<std::uint32_t> partner(variables, 0);
    std::vector<std::size_t> choice(variables, 0);
    for (std::size_t v = 0; v < variables; ++v) {
        if (arcs_of[v].empty()) continue;
        const std::size_t first = arcs_of[v][0];
        const auto& cands = candidates[first];
        std::size_t c = 0;
        for (; c < cands.size(); ++c) {
            if (!fits(first, c)) continue;
            bool everywhere = true;
            for (std::size_t i = 1; i < arcs_of[v].size() && everywhere; ++i) {
                const std::size_t k = arcs_of[v][i];
                bool found = false;
                for (std::size_t d = 0; d < candidates[k].size() && !found; ++d)
                    found = candidates[k][d].first == cands[c].first && fits(k, d);
                everywhere = found;
            }
            if (everywhere) break;
        }
        if (c == cands.size()) fatal(format("cannot match variables of %s and %s", phantom.name.c_str(), t.name.c_str()));
        partner[v] = cands[c].first;
        choice[v] = c;
    }
    for (std::size_t a = 0; a < n; ++a) {
        const std::size_t v = arcs[a].var;
        if (arcs_of[v][0] != a) continue;
        bool untried = false;
        for (std::size_t c = choice[v] + 1; c < candidates[a].size(); ++c) untried = untried || fits(a, c);
        if (untried) {
            std::fflush(stdout);
            std::fprintf(stderr, "Warning: matching the variables of %s and %s is ambiguous\n", phantom.name.c_str(),
                         t.name.c_str());
            break;
        }
    }
    return partner;
}

// A component of a phantom's inscription element: a component of one of
// its variables' values, or a constant.
struct PhantomTerm {
    bool variable;
    std::uint32_t offset;  // into the induced values
    Value value;
};
struct PhantomElement {
    const HLArc* arc;
    std::vector<std::uint64_t> radix;
    std::uint32_t count;
    std::vector<PhantomTerm> components;
};

}  // namespace

std::vector<PhantomMatching> match_phantoms(HLNet& net) {
    std::vector<PhantomMatching> out;
    for (auto& [number, phantom] : net.phantoms) {
        resolve_partners(net, phantom);
        PhantomMatching m;
        m.phantom = &phantom;
        std::vector<MatchArc> arcs;
        for (bool input : {true, false}) {
            for (const HLArc* a : input ? phantom.in : phantom.out) {
                auto vars = distinct_variables(*a);
                if (vars.empty()) continue;
                if (vars.size() > 1)
                    fatal(format("more than one variable on inscription of arc at phantom transition %s",
                                 phantom.name.c_str()));
                arcs.push_back(MatchArc{a, input, vars[0].first, vars[0].second});
                if (std::none_of(m.variables.begin(), m.variables.end(),
                                 [&vars](const auto& v) { return v.first == vars[0].first; }))
                    m.variables.push_back(vars[0]);
            }
        }
        std::sort(m.variables.begin(), m.variables.end());
        for (MatchArc& a : arcs)
            a.var = static_cast<std::size_t>(
                std::lower_bound(m.variables.begin(), m.variables.end(), std::make_pair(a.code, 0u)) -
                m.variables.begin());
        for (const HLTransition* t : phantom.partners) m.partner_codes.push_back(match(phantom, *t, arcs, m.variables.size()));
        out.push_back(std::move(m));
    }
    return out;
}

void expand_phantoms(const std::vector<PhantomMatching>& matchings, LLNet& ll) {
    std::vector<LLArc> scratch;
    std::vector<Value> values;
    for (const PhantomMatching& m : matchings) {
        HLTransition& phantom = *m.phantom;
        phantom.first_instance = ll.phantoms.size();
        phantom.instances = 0;
        // Offsets of the variables in the induced values.
        std::vector<std::uint32_t> offset;
        std::uint32_t size = 0;
        for (const auto& v : m.variables) {
            offset.push_back(size);
            size += v.second;
        }
        auto var_offset = [&](std::uint32_t code) {
            auto it = std::lower_bound(m.variables.begin(), m.variables.end(), std::make_pair(code, 0u));
            return offset[static_cast<std::size_t>(it - m.variables.begin())];
        };
        std::vector<PhantomElement> elements[2];
        for (int side = 0; side < 2; ++side)
            for (const HLArc* a : side == 0 ? phantom.in : phantom.out) {
                const PlaceType& type = a->place->type;
                for (const InscriptionElement& e : a->inscription) {
                    PhantomElement pe{a, radices(type), e.count, {}};
                    for (std::size_t j = 0; j < type.dimension(); ++j) {
                        const InscriptionTerm& term = e.tuple ? e.terms[j] : e.terms[0];
                        if (!term.variable) pe.components.push_back({false, 0, term.value});
                        else pe.components.push_back({true, var_offset(term.code) + static_cast<std::uint32_t>(e.tuple ? 0 : j), 0});
                    }
                    elements[side].push_back(std::move(pe));
                }
            }
        auto place_of = [&](const PhantomElement& e) {
            const HLPlace& p = *e.arc->place;
            std::uint64_t index = p.first_low_level;
            for (std::size_t j = 0; j < e.components.size(); ++j) {
                const PhantomTerm& c = e.components[j];
                const Value v = c.variable ? values[c.offset] : c.value;
                const std::int64_t pos = position_in(p.type.components[j], v);
                if (pos < 0)
                    fatal(format("value %s on arc between place %u and phantom transition %s is out of the place's type",
                                 value_name(v).c_str(), p.number, phantom.name.c_str()));
                index += static_cast<std::uint64_t>(pos) * e.radix[j];
            }
            return static_cast<std::uint32_t>(index);
        };

        std::unordered_map<std::string, std::uint32_t> made;
        std::string key;
        values.assign(size, 0);
        for (std::size_t k = 0; k < phantom.partners.size(); ++k) {
            const HLTransition& t = *phantom.partners[k];
            if (t.instances == 0) continue;
            // Where each variable's partner lies in the partner's bindings.
            std::vector<std::uint32_t> source;
            for (std::uint32_t code : m.partner_codes[k]) {
                auto it = std::lower_bound(t.arc_variables.begin(), t.arc_variables.end(), std::make_pair(code, 0u));
                source.push_back(it->second);
            }
            for (std::size_t inst = 0; inst < t.instances; ++inst) {
                const Value* binding = t.bindings.data() + inst * t.binding_size;
                for (std::size_t i = 0; i < m.variables.size(); ++i)
                    std::copy_n(binding + source[i], m.variables[i].second, values.begin() + offset[i]);
                key.assign(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(Value));
                auto [it, fresh] = made.try_emplace(key, static_cast<std::uint32_t>(ll.phantoms.size()));
                if (fresh) {
                    check_node_count(ll.phantoms.size(), "phantom transitions");
                    LLTransition p;
                    p.hl = &phantom;
                    p.ordinal = static_cast<std::uint32_t>(phantom.instances++);
                    p.first_arc = ll.phantom_arcs.size();
                    for (const PhantomElement& e : elements[0])
                        if (e.count) scratch.push_back(LLArc{place_of(e), e.count, e.arc->v});
                    p.inputs = append_arcs(scratch, ll.phantom_arcs, phantom.number);
                    for (const PhantomElement& e : elements[1])
                        if (e.count) scratch.push_back(LLArc{place_of(e), e.count, e.arc->v});
                    p.outputs = append_arcs(scratch, ll.phantom_arcs, phantom.number);
                    ll.phantoms.push_back(p);
                }
                ll.sync.emplace_back(static_cast<std::uint32_t>(t.first_instance + inst), it->second);
            }
        }
    }
}

}  // namespace flatnet
