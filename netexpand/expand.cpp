// Expansion of places and transitions; the phantoms are in phantoms.cpp.
#include "expand.h"

#include <algorithm>
#include <limits>
#include <map>

#include "expand_parts.h"
#include "failure.h"
#include "guard.h"

namespace flatnet {

// ---------------------------------------------------------------------------
// Shared pieces.

std::vector<Occurrence> occurrences(const Inscription& ins, std::size_t place_dimension) {
    std::vector<Occurrence> out;
    for (const InscriptionElement& e : ins) {
        if (!e.tuple) {
            if (e.terms[0].variable)
                out.push_back({e.terms[0].code, 0, static_cast<std::uint32_t>(place_dimension)});
            continue;
        }
        for (std::size_t j = 0; j < e.terms.size(); ++j)
            if (e.terms[j].variable) out.push_back({e.terms[j].code, static_cast<std::uint32_t>(j), 1});
    }
    return out;
}

std::vector<std::uint64_t> radices(const PlaceType& type) {
    std::vector<std::uint64_t> r(type.dimension(), 1);
    for (std::size_t j = type.dimension(); j-- > 1;) r[j - 1] = r[j] * type.components[j].size();
    return r;
}

std::uint32_t append_arcs(std::vector<LLArc>& scratch, std::vector<LLArc>& out, std::uint32_t transition_number) {
    std::stable_sort(scratch.begin(), scratch.end(), [](const LLArc& a, const LLArc& b) { return a.place < b.place; });
    const std::size_t start = out.size();
    for (const LLArc& a : scratch) {
        if (out.size() > start && out.back().place == a.place) {
            std::uint64_t w = std::uint64_t{out.back().weight} + a.weight;
            if (w > std::numeric_limits<std::uint32_t>::max())
                fatal(format("arc weight of transition %u is too large", transition_number));
            out.back().weight = static_cast<std::uint32_t>(w);
        } else {
            out.push_back(a);
        }
    }
    scratch.clear();
    return static_cast<std::uint32_t>(out.size() - start);
}

void check_node_count(std::size_t count, const char* what) {
    if (count >= std::numeric_limits<std::uint32_t>::max()) fatal(format("too many low-level %s", what));
}

namespace {

[[noreturn]] void text_failure(const std::string& context, const TextError& e) {
    throw Failure(EXIT_FATAL, "Error in " + context + ": " + e.what() + "\n");
}

// Step 1 for one place: its markings, its type and its arcs' inscriptions.
void parse_place_texts(HLPlace& p, NameTable& names) {
    try {
        if (p.initial_text) p.initial = parse_marking(*p.initial_text);
    } catch (const TextError& e) {
        text_failure(format("initial marking of place %u", p.number), e);
    }
    try {
        if (p.current_text) p.current = parse_marking(*p.current_text);
    } catch (const TextError& e) {
        text_failure(format("current marking of place %u", p.number), e);
    }
    try {
        if (p.type_text) p.type = parse_place_type(*p.type_text);
    } catch (const TextError& e) {
        text_failure(format("type of place %u", p.number), e);
    }
    auto parse = [&](std::vector<HLArc*>& arcs, bool to_place) {
        for (HLArc* a : arcs) {
            try {
                a->inscription = parse_arc_inscription(a->text, p.type.dimension(), names);
            } catch (const TextError& e) {
                const std::string& t = a->transition->name;
                text_failure(format("annotation of arc from %s to %s", to_place ? t.c_str() : p.name.c_str(),
                                    to_place ? p.name.c_str() : t.c_str()),
                             e);
            }
        }
    };
    parse(p.in, true);
    parse(p.out, false);
    parse(p.phantom_in, true);
    parse(p.phantom_out, false);
}

// ---------------------------------------------------------------------------
// Places.

// Index of a tuple in the type's enumeration, or -1 when it is not a
// tuple of the type.
std::int64_t tuple_index(const PlaceType& type, const std::vector<std::uint64_t>& radix, const Tuple& t) {
    if (t.size() != type.dimension()) return -1;
    std::uint64_t index = 0;
    for (std::size_t j = 0; j < t.size(); ++j) {
        std::int64_t pos = position_in(type.components[j], t[j]);
        if (pos < 0) return -1;
        index += static_cast<std::uint64_t>(pos) * radix[j];
    }
    return static_cast<std::int64_t>(index);
}

void expand_place(HLPlace& p, LLNet& ll) {
    const std::uint64_t n = p.type.size(p.number);
    if (n > std::numeric_limits<std::uint32_t>::max() - 1 - ll.places.size())
        fatal(format("type of place %u has too many values", p.number));
    p.first_low_level = ll.places.size();
    p.instances = n;
    // An untyped place without a marking text is marked when it is an
    // entry place.
    const std::uint32_t no_text = p.type.untyped && p.kind == 1 ? 1 : 0;
    const std::uint32_t initial = p.initial_text ? 0 : no_text, current = p.current_text ? 0 : no_text;
    ll.places.reserve(ll.places.size() + n);
    for (std::uint64_t i = 0; i < n; ++i) ll.places.push_back(LLPlace{&p, i, initial, current});
    const std::vector<std::uint64_t> radix = radices(p.type);
    for (const MarkingEntry& e : p.initial) {
        std::int64_t i = tuple_index(p.type, radix, e.tuple);
        if (i >= 0) ll.places[p.first_low_level + static_cast<std::size_t>(i)].initial = e.count;
    }
    for (const MarkingEntry& e : p.current) {
        std::int64_t i = tuple_index(p.type, radix, e.tuple);
        if (i >= 0) ll.places[p.first_low_level + static_cast<std::size_t>(i)].current = e.count;
    }
}

// ---------------------------------------------------------------------------
// Transitions.

struct Domain {
    std::vector<ValueSet> sets;
    bool valid = true;
};

// A variable's domain: its first occurrence gives the sets, every further
// one intersects them; a different number of components spoils it.
void occur(std::map<std::uint32_t, Domain>& vars, std::uint32_t code, const ValueSet* sets, std::size_t count) {
    auto [it, fresh] = vars.try_emplace(code);
    Domain& d = it->second;
    if (fresh) {
        d.sets.assign(sets, sets + count);
    } else if (d.valid) {
        if (d.sets.size() != count) d.valid = false;
        else
            for (std::size_t j = 0; j < count; ++j) d.sets[j] = intersect(d.sets[j], sets[j]);
    }
}

// One position of an odometer: a component of a variable.
struct Wheel {
    const ValueSet* set;
    std::uint32_t slot;  // where its value lies in the binding
};

// Sets every wheel to its first value.
void reset(const std::vector<Wheel>& wheels, std::vector<std::uint32_t>& index, std::vector<Value>& binding) {
    for (std::size_t k = 0; k < wheels.size(); ++k) {
        index[k] = 0;
        binding[wheels[k].slot] = (*wheels[k].set)[0];
    }
}

// Advances the odometer, the last wheel fastest; false when it went round.
bool advance(const std::vector<Wheel>& wheels, std::vector<std::uint32_t>& index, std::vector<Value>& binding) {
    for (std::size_t k = wheels.size(); k-- > 0;) {
        const ValueSet& s = *wheels[k].set;
        if (++index[k] < s.size()) {
            binding[wheels[k].slot] = s[index[k]];
            return true;
        }
        index[k] = 0;
        binding[wheels[k].slot] = s[0];
    }
    return false;
}

// An inscription element ready for the odometer: the low-level place of a
// binding is `base` plus, per variable component, the table entry of that
// wheel's current index (its position in the place's set times the radix).
struct ElementPlan {
    std::size_t base = 0;
    std::uint32_t count = 0;
    std::int32_t v = 0;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint64_t>>> terms;  // (wheel, table)

    std::uint32_t place(const std::vector<std::uint32_t>& index) const {
        std::uint64_t p = base;
        for (const auto& [wheel, table] : terms) p += table[index[wheel]];
        return static_cast<std::uint32_t>(p);
    }
};

class TransitionExpansion {
public:
    TransitionExpansion(HLTransition& t, NameTable& names, LLNet& ll) : t_(t), names_(names), ll_(ll) {}

    void run() {
        t_.first_instance = ll_.transitions.size();
        t_.instances = 0;
        Guard guard = guard_parse(t_.guard, t_.number, names_);
        std::map<std::uint32_t, Domain> vars;
        CodeList arc_codes;
        for (const std::vector<HLArc*>* arcs : {&t_.in, &t_.out})
            for (const HLArc* a : *arcs) collect(*a, vars, arc_codes);
        // A failed parse leaves no guard to evaluate: no instances.
        if (!guard.ok) return;
        for (const Guard::Declaration& d : guard.declarations)
            occur(vars, d.code, d.domain.data(), d.domain.size());
        const CodeList declared_only = guard.declared.difference(arc_codes);
        for (const CodeList::Entry& e : guard.used.entries())
            if (!vars.count(e.first))
                fatal(format("Untyped variable %s in annotation of transition %d.\n",
                             names_.code_to_name(e.first).c_str(), static_cast<int>(t_.number)));
        for (const auto& [code, d] : vars)
            if (!d.valid || std::any_of(d.sets.begin(), d.sets.end(), [](const ValueSet& s) { return s.empty(); }))
                return;

        // The binding: the arc variables in code order, then the declared-
        // only ones, each with all its components.
        std::map<std::uint32_t, VariableSlot> slots;
        std::uint32_t offset = 0;
        auto lay_out = [&](const CodeList& codes, std::vector<Wheel>& wheels) {
            for (const CodeList::Entry& e : codes.entries()) {
                const Domain& d = vars.at(e.first);
                slots[e.first] = VariableSlot{offset, static_cast<std::uint32_t>(d.sets.size())};
                first_wheel_[e.first] = static_cast<std::uint32_t>(wheels.size());
                for (const ValueSet& s : d.sets) wheels.push_back(Wheel{&s, offset++});
            }
        };
        std::vector<Wheel> outer, inner;
        lay_out(arc_codes, outer);
        t_.binding_size = offset;
        for (const CodeList::Entry& e : arc_codes.entries()) t_.arc_variables.emplace_back(e.first, slots[e.first].offset);
        lay_out(declared_only, inner);
        const GuardProgram program(guard, t_.number, [&slots](std::uint32_t code) { return slots.at(code); });

        std::vector<ElementPlan> in_plans = plans(t_.in, vars), out_plans = plans(t_.out, vars);
        std::vector<Value> binding(offset);
        std::vector<std::uint32_t> outer_index(outer.size()), inner_index(inner.size());
        reset(outer, outer_index, binding);
        do {
            // Declared-only variables are existential: the first inner
            // binding that satisfies the guard makes the instance.
            reset(inner, inner_index, binding);
            bool satisfied = false;
            do {
                bool error = false;
                satisfied = program.evaluate(binding.data(), error) == tt && !error;
            } while (!satisfied && advance(inner, inner_index, binding));
            if (satisfied) add_instance(in_plans, out_plans, outer_index, binding);
        } while (advance(outer, outer_index, binding));
    }

private:
    void collect(const HLArc& a, std::map<std::uint32_t, Domain>& vars, CodeList& arc_codes) {
        const HLPlace& p = *a.place;
        CodeList codes;
        for (const Occurrence& o : occurrences(a.inscription, p.type.dimension())) {
            occur(vars, o.code, &p.type.components[o.component], o.dimension);
            codes.add(o.code);
        }
        arc_codes.unite(codes);
        for (const InscriptionElement& e : a.inscription)
            for (std::size_t j = 0; j < e.terms.size(); ++j)
                if (!e.terms[j].variable && position_in(p.type.components[j], e.terms[j].value) < 0)
                    fatal(format("constant out of range on arc between place %u and transition %u", p.number,
                                 t_.number));
    }

    std::vector<ElementPlan> plans(const std::vector<HLArc*>& arcs, const std::map<std::uint32_t, Domain>& vars) {
        std::vector<ElementPlan> out;
        for (const HLArc* a : arcs) {
            const PlaceType& type = a->place->type;
            const std::vector<std::uint64_t> radix = radices(type);
            for (const InscriptionElement& e : a->inscription) {
                ElementPlan plan;
                plan.base = a->place->first_low_level;
                plan.count = e.count;
                plan.v = a->v;
                auto add_term = [&](std::uint32_t code, std::uint32_t var_component, std::size_t j) {
                    const ValueSet& domain = vars.at(code).sets[var_component];
                    std::vector<std::uint64_t> table(domain.size());
                    for (std::size_t d = 0; d < domain.size(); ++d)
                        table[d] = static_cast<std::uint64_t>(position_in(type.components[j], domain[d])) * radix[j];
                    plan.terms.emplace_back(first_wheel_.at(code) + var_component, std::move(table));
                };
                if (!e.tuple && e.terms[0].variable) {
                    for (std::size_t j = 0; j < type.dimension(); ++j)
                        add_term(e.terms[0].code, static_cast<std::uint32_t>(j), j);
                } else {
                    for (std::size_t j = 0; j < e.terms.size(); ++j) {
                        if (e.terms[j].variable) add_term(e.terms[j].code, 0, j);
                        else plan.base += position_in(type.components[j], e.terms[j].value) * radix[j];
                    }
                }
                out.push_back(std::move(plan));
            }
        }
        return out;
    }

    void add_instance(const std::vector<ElementPlan>& in_plans, const std::vector<ElementPlan>& out_plans,
                      const std::vector<std::uint32_t>& index, const std::vector<Value>& binding) {
        check_node_count(ll_.transitions.size(), "transitions");
        LLTransition inst;
        inst.hl = &t_;
        inst.ordinal = static_cast<std::uint32_t>(t_.instances);
        inst.first_arc = ll_.arcs.size();
        for (const ElementPlan& p : in_plans)
            if (p.count) scratch_.push_back(LLArc{p.place(index), p.count, p.v});
        inst.inputs = append_arcs(scratch_, ll_.arcs, t_.number);
        for (const ElementPlan& p : out_plans)
            if (p.count) scratch_.push_back(LLArc{p.place(index), p.count, p.v});
        inst.outputs = append_arcs(scratch_, ll_.arcs, t_.number);
        ll_.transitions.push_back(inst);
        ++t_.instances;
        t_.bindings.insert(t_.bindings.end(), binding.begin(), binding.begin() + t_.binding_size);
    }

    HLTransition& t_;
    NameTable& names_;
    LLNet& ll_;
    std::map<std::uint32_t, std::uint32_t> first_wheel_;  // variable code -> its first wheel
    std::vector<LLArc> scratch_;
};

}  // namespace

LLNet unfold_net(HLNet& net, NameTable& names) {
    for (auto& [number, p] : net.places) parse_place_texts(p, names);
    const std::vector<PhantomMatching> matchings = match_phantoms(net);
    LLNet ll;
    for (auto& [number, p] : net.places) expand_place(p, ll);
    for (auto& [number, t] : net.transitions) TransitionExpansion(t, names, ll).run();
    expand_phantoms(matchings, ll);
    return ll;
}

void remove_weighted_transitions(LLNet& net) {
    auto weighted = [](const LLTransition& t, const std::vector<LLArc>& arcs) {
        for (std::size_t i = t.first_arc; i < t.first_arc + t.inputs + t.outputs; ++i)
            if (arcs[i].weight >= 2) return true;
        return false;
    };
    for (LLTransition& t : net.transitions) t.deleted = weighted(t, net.arcs);
    for (LLTransition& t : net.phantoms) t.deleted = weighted(t, net.phantom_arcs);
}

void renumber_ll_net(LLNet& net) {
    // Partner lists without deleted nodes, each in the order the pairs
    // were made.
    auto build = [&net](PartnerLists& lists, std::size_t nodes, bool by_transition) {
        lists.begin.assign(nodes + 1, 0);
        auto live = [&net](const std::pair<std::uint32_t, std::uint32_t>& s) {
            return !net.transitions[s.first].deleted && !net.phantoms[s.second].deleted;
        };
        for (const auto& s : net.sync)
            if (live(s)) ++lists.begin[(by_transition ? s.first : s.second) + 1];
        for (std::size_t i = 0; i < nodes; ++i) lists.begin[i + 1] += lists.begin[i];
        lists.items.assign(lists.begin[nodes], 0);
        std::vector<std::size_t> fill(lists.begin.begin(), lists.begin.end() - 1);
        for (const auto& s : net.sync)
            if (live(s)) lists.items[fill[by_transition ? s.first : s.second]++] = by_transition ? s.second : s.first;
    };
    build(net.transition_partners, net.transitions.size(), true);
    build(net.phantom_partners, net.phantoms.size(), false);
    std::uint32_t n = 0;
    for (LLTransition& t : net.transitions) t.number = t.deleted ? 0 : ++n;
    n = 0;
    for (std::size_t i = 0; i < net.phantoms.size(); ++i) {
        LLTransition& t = net.phantoms[i];
        t.number = !t.deleted && net.phantom_partners.count(i) > 0 ? ++n : 0;
    }
}

}  // namespace flatnet
