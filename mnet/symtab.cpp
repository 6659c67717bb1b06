#include "mnet_symtab.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

namespace mnet {

namespace {
struct Tables {
    std::vector<std::string> actions;
    std::unordered_map<std::string, std::uint16_t> action_index;
    std::vector<std::string> variables;
    std::unordered_map<std::string, std::uint16_t> variable_index;
    std::vector<RefRecord*> refs;
    std::map<std::array<std::uint32_t, 4>, std::uint16_t> ref_index;
    std::vector<Tuple> tuples;
    std::map<Tuple, std::uint16_t> tuple_index;
};
Tables& T() {
    static Tables t;
    return t;
}
}  // namespace

std::uint16_t max_multiplicity = 1;

void init_symtabs() {
    install_memory_handler();
    free_symtab(Symtab::Actions);
    free_symtab(Symtab::Variables);
    free_symtab(Symtab::References);
    free_symtab(Symtab::Tuples);
}

void init_action_buffers() {
    if (source_net_mode()) max_multiplicity = 10;
}

void init_var_buffers() {}

void free_symtab(Symtab which) {
    Tables& t = T();
    switch (which) {
    case Symtab::Actions:
        t.actions.clear();
        t.action_index.clear();
        break;
    case Symtab::Variables:
        t.variables.clear();
        t.variable_index.clear();
        break;
    case Symtab::References:
        for (RefRecord* r : t.refs) {
            if (source_net_mode() || r->kind == 9 || r->kind == 10 || r->kind == 11) delete r;
        }
        t.refs.clear();
        t.ref_index.clear();
        break;
    case Symtab::Tuples:
        t.tuples.clear();
        t.tuple_index.clear();
        break;
    }
}

std::size_t action_count() { return T().actions.size(); }
std::size_t variable_count() { return T().variables.size(); }
std::size_t ref_count() { return T().refs.size(); }

std::uint16_t action_code(const std::string& name) {
    Tables& t = T();
    auto it = t.action_index.find(name);
    if (it != t.action_index.end()) return it->second;
    if (t.actions.size() >= 32767) fatal("Overflow: too many action names !");
    t.actions.push_back(name);
    auto code = static_cast<std::uint16_t>(2 * t.actions.size());
    t.action_index.emplace(name, code);
    return code;
}

std::string& action_name(std::uint16_t code, std::string& buffer) {
    buffer.clear();
    if (code & 1) buffer = "^";
    std::size_t i = code / 2;
    if (i >= 1 && i <= T().actions.size()) buffer += T().actions[i - 1];
    return buffer;
}

namespace {
std::string var_key(const std::string& name) {
    if (!name.empty() && (name[0] == '~' || name[0] == '-')) return name.substr(1);
    return name;
}
}  // namespace

std::uint16_t var_code(const std::string& name) {
    Tables& t = T();
    std::string key = var_key(name);
    auto it = t.variable_index.find(key);
    if (it != t.variable_index.end()) return it->second;
    if (t.variables.size() >= 65535) fatal("Overflow: too many variable names !");
    t.variables.push_back(key);
    auto code = static_cast<std::uint16_t>(t.variables.size());
    t.variable_index.emplace(std::move(key), code);
    return code;
}

const std::string& var_name(std::uint16_t code) {
    static const std::string none;
    if (code >= 1 && code <= T().variables.size()) return T().variables[code - 1];
    return none;
}

std::uint16_t ref_code(RefRecord* record) {
    Tables& t = T();
    std::array<std::uint32_t, 4> key{record->line1, record->col1, record->line2, record->col2};
    if (!source_net_mode()) {
        auto it = t.ref_index.find(key);
        if (it != t.ref_index.end()) {
            RefRecord* r = t.refs[it->second - 1];
            if (r->line1 == key[0] && r->col1 == key[1] && r->line2 == key[2] && r->col2 == key[3])
                return it->second;
            // The record changed since it was entered: search the table.
            for (std::size_t i = 0; i < t.refs.size(); ++i) {
                RefRecord* q = t.refs[i];
                if (q->line1 == key[0] && q->col1 == key[1] && q->line2 == key[2] && q->col2 == key[3]) {
                    it->second = static_cast<std::uint16_t>(i + 1);
                    return it->second;
                }
            }
        }
    }
    if (t.refs.size() >= 65535) fatal("Overflow: too many references !");
    t.refs.push_back(record);
    auto n = static_cast<std::uint16_t>(t.refs.size());
    t.ref_index.emplace(key, n);
    return n;
}

RefRecord* ref_get(std::uint16_t number) {
    if (number >= 1 && number <= T().refs.size()) return T().refs[number - 1];
    return nullptr;
}

std::uint16_t intern_tuple(Tuple&& tuple) {
    Tables& t = T();
    auto it = t.tuple_index.find(tuple);
    if (it != t.tuple_index.end()) {
        tuple.clear();
        return it->second;
    }
    if (t.tuples.size() >= 65535u - TUPLE_BASE) fatal("Overflow: too many tuples !");
    t.tuples.push_back(tuple);
    auto n = static_cast<std::uint16_t>(t.tuples.size());
    t.tuple_index.emplace(std::move(tuple), n);
    tuple.clear();
    return n;
}

const Tuple& get_tuple(std::uint16_t number) {
    static const Tuple none;
    if (number >= 1 && number <= T().tuples.size()) return T().tuples[number - 1];
    return none;
}

void print_action_table() {
    std::printf("table of action symbols:\n");
    for (std::size_t i = 0; i < T().actions.size(); ++i)
        std::printf("%6u. '%s'.\n", static_cast<unsigned>(2 * (i + 1)), T().actions[i].c_str());
    std::printf("end of action symbols\n");
}

void print_variable_table() {
    std::printf("table of variable symbols:\n");
    for (std::size_t i = 0; i < T().variables.size(); ++i)
        std::printf("%6u. '%s'.\n", static_cast<unsigned>(i + 1), T().variables[i].c_str());
    std::printf("end of variable symbols\n");
}

// ---------------------------------------------------------------------------
// Action multisets.
ActionSet new_actset() { return {}; }

ActionSet new_single_actset(std::uint16_t code) {
    ActionTerm t;
    t.code = code;
    return {t};
}

ActionSet copy_actset(const ActionSet& s) { return s; }

void copy_action_term(ActionTerm& dst, const ActionTerm& src, const std::uint16_t* map) {
    dst = src;
    if (map)
        for (int i = 0; i < src.nparams && i < MAX_PARAMS; ++i)
            if (src.params[i] < 256) dst.params[i] = map[src.params[i]];
}

void copy_actset_into(ActionSet& dst, const ActionSet& src, const std::uint16_t* map) {
    if (!map) {
        dst = src;
        return;
    }
    dst.clear();
    for (const ActionTerm& t : src) {
        ActionTerm c;
        copy_action_term(c, t, map);
        actset_add_term(dst, c);
    }
}

int compare_action_heads(const ActionTerm& a, const ActionTerm& b) {
    if (a.code != b.code) return int(b.code) - int(a.code);
    return int(b.nparams) - int(a.nparams);
}

int compare_action_terms(const ActionTerm& a, const ActionTerm& b) {
    int d = compare_action_heads(a, b);
    if (d) return d;
    for (int i = 0; i < a.nparams && i < MAX_PARAMS; ++i)
        if (a.params[i] != b.params[i]) return int(b.params[i]) - int(a.params[i]);
    return 0;
}

std::size_t actset_size(const ActionSet& s) { return s.size(); }

std::uint16_t actset_multiplicity(const ActionSet& s) {
    std::uint32_t sum = 0;
    for (const auto& t : s) sum += t.mult;
    return static_cast<std::uint16_t>(sum);
}

const ActionTerm* find_action(std::uint16_t code, std::uint16_t nparams, const ActionSet* s) {
    if (!code || !s) return nullptr;
    for (const auto& t : *s)
        if (t.code == code && t.nparams == nparams) return &t;
    return nullptr;
}

bool actset_equal(const ActionSet& a, const ActionSet& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (compare_action_terms(a[i], b[i]) || a[i].mult != b[i].mult) return false;
    return true;
}

namespace {
std::uint16_t add_mult(std::uint16_t a, std::uint16_t b) {
    std::uint32_t s = std::uint32_t(a) + b;
    if (s > 65535) fatal("Overflow: action name too often used. Remedy: 'action'");
    return static_cast<std::uint16_t>(s);
}
}  // namespace

ActionSet& actset_union(ActionSet& a, const ActionSet& b) {
    ActionSet out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size()) out.push_back(a[i++]);
        else if (i == a.size()) out.push_back(b[j++]);
        else {
            int d = compare_action_terms(a[i], b[j]);
            if (d > 0) out.push_back(a[i++]);
            else if (d < 0) out.push_back(b[j++]);
            else {
                ActionTerm t = a[i++];
                t.mult = add_mult(t.mult, b[j++].mult);
                out.push_back(t);
            }
        }
    }
    a.swap(out);
    return a;
}

// In place: sets that collect the actions of many boxes grow one term at a
// time, and a merge into a fresh copy per term would make that quadratic.
ActionSet& actset_add_term(ActionSet& a, const ActionTerm& t) {
    auto at = std::partition_point(a.begin(), a.end(),
                                   [&](const ActionTerm& x) { return compare_action_terms(x, t) > 0; });
    if (at != a.end() && compare_action_terms(*at, t) == 0) at->mult = add_mult(at->mult, t.mult);
    else a.insert(at, t);
    return a;
}

ActionSet& actset_minus_exact(ActionSet& a, const ActionSet& b) {
    for (const ActionTerm& tb : b) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (compare_action_terms(a[i], tb) == 0) {
                if (a[i].mult > tb.mult) a[i].mult = static_cast<std::uint16_t>(a[i].mult - tb.mult);
                else a.erase(a.begin() + static_cast<long>(i));
                break;
            }
        }
    }
    return a;
}

ActionSet& actset_minus(ActionSet& a, const ActionSet& b) {
    for (const ActionTerm& tb : b) {
        for (std::size_t i = 0; i < a.size();) {
            if (compare_action_heads(a[i], tb) == 0) {
                if (a[i].mult > tb.mult) {
                    a[i].mult = static_cast<std::uint16_t>(a[i].mult - tb.mult);
                    ++i;
                } else {
                    a.erase(a.begin() + static_cast<long>(i));
                }
            } else {
                ++i;
            }
        }
    }
    return a;
}

ActionSet& actset_remove_pair(ActionSet& a, const ActionTerm* term, const std::uint16_t* map, std::uint16_t n) {
    if (!term || n == 0) return a;
    ActionTerm x;
    copy_action_term(x, *term, map);
    x.mult = n;
    ActionTerm y = x;
    x.code = static_cast<std::uint16_t>(term->code & ~1u);
    y.code = static_cast<std::uint16_t>(term->code | 1u);
    ActionSet b;
    actset_add_term(b, x);
    actset_add_term(b, y);
    return actset_minus_exact(a, b);
}

int actsets_disjoint(const ActionSet& a, const ActionSet& b) {
    for (const auto& x : a)
        for (const auto& y : b)
            if ((x.code >> 1) == (y.code >> 1) && x.nparams == y.nparams) return 0;
    return 1;
}

// ---------------------------------------------------------------------------
// Inscriptions.
Inscription new_inscription(std::uint16_t code) { return {InscTerm{code, 1}}; }

std::uint16_t substitute_tuple(std::uint16_t tuple_code, const std::uint16_t* map) {
    Tuple t = get_tuple(static_cast<std::uint16_t>(tuple_code - TUPLE_BASE));
    for (auto& e : t)
        if (e < 256) e = map[e];
    return static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(t)));
}

void inscription_assign(Inscription& dst, const Inscription& src, const std::uint16_t* map) {
    if (!map) {
        dst = src;
        return;
    }
    Inscription out;
    for (const InscTerm& t : src) {
        std::uint16_t c = t.code;
        if (c < 256) c = map[c];
        else if (c >= TUPLE_BASE) c = substitute_tuple(c, map);
        inscription_add(out, c, t.count);
    }
    dst.swap(out);
}

Inscription copy_inscription(const Inscription& s, const std::uint16_t* map) {
    Inscription out;
    inscription_assign(out, s, map);
    return out;
}

namespace {
std::uint16_t add_count(std::uint16_t a, std::uint16_t b) {
    std::uint32_t s = std::uint32_t(a) + b;
    if (s > 65535) fatal("Overflow: variable name too often used. Remedy: 'Variable'");
    return static_cast<std::uint16_t>(s);
}
}  // namespace

Inscription& inscription_union(Inscription& a, const Inscription& b) {
    Inscription out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size()) out.push_back(a[i++]);
        else if (i == a.size()) out.push_back(b[j++]);
        else if (a[i].code < b[j].code) out.push_back(a[i++]);
        else if (a[i].code > b[j].code) out.push_back(b[j++]);
        else {
            InscTerm t = a[i++];
            t.count = add_count(t.count, b[j++].count);
            out.push_back(t);
        }
    }
    a.swap(out);
    return a;
}

Inscription& inscription_add(Inscription& a, std::uint16_t code, std::uint16_t count) {
    auto it = std::lower_bound(a.begin(), a.end(), code,
                               [](const InscTerm& t, std::uint16_t c) { return t.code < c; });
    if (it != a.end() && it->code == code) it->count = add_count(it->count, count);
    else a.insert(it, InscTerm{code, count});
    return a;
}

std::size_t inscription_size(const Inscription& s) {
    std::size_t n = 0;
    for (const auto& t : s) n += t.count;
    return n;
}

std::uint16_t inscription_count(std::uint16_t code, const Inscription* s) {
    if (!code || !s) return 0;
    for (const auto& t : *s)
        if (t.code == code) return t.count;
    return 0;
}

int inscription_identical(const Inscription& a, const Inscription& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].code != b[i].code || a[i].count != b[i].count) return 0;
    return 1;
}

bool u16_array_equal(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) { return a == b; }
bool valueset_equal(const ValueSet& a, const ValueSet& b) { return a == b; }

// ---------------------------------------------------------------------------
// Rendering.
namespace {
// Mode 0 writes a variable with its slot number, "x@3" (a final quote stays
// last: "x@3'").  A name that already ends in "@<slot>" is written as it is,
// so that a net read back from its own text renders the same text again.
void append_variable(std::uint16_t slot, const ComVars& vars, std::string& buf) {
    if (slot >= vars.size()) {
        buf += "?";
        return;
    }
    const ComVar& v = vars[slot];
    std::string name = var_name(v.var);
    if (variables_by_name()) {
        bool quote = false;
        if ((v.flags & 1) && !name.empty() && name.back() == '\'') {
            name.pop_back();
            quote = true;
        }
        unsigned same = 0, later = 0;
        for (std::size_t i = 0; i < vars.size(); ++i)
            if (vars[i].var == v.var) {
                ++same;
                if (i >= slot) ++later;
            }
        buf += name;
        if (same > 1) buf += "@" + std::to_string(later);
        if (quote) buf += "'";
        return;
    }
    bool quote = false;
    if (!name.empty() && name.back() == '\'') {
        name.pop_back();
        quote = true;
    }
    std::string suffix = "@" + std::to_string(slot);
    buf += name;
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        buf += suffix;
    if (quote) buf += "'";
}
}  // namespace

void append_term_text(std::uint16_t code, const ComVars& vars, std::string& buffer) {
    if (code < 256) {
        append_variable(code, vars, buffer);
    } else if (code < TUPLE_BASE) {
        std::int32_t v = std::int32_t(code) - CONST_BASE;
        if (v < VAL_FF) buffer += std::to_string(v);
        else if (v == VAL_FF) buffer += "ff";
        else if (v == VAL_TT) buffer += "tt";
        else if (v == VAL_DOT) buffer += "dot";
    } else {
        const Tuple& t = get_tuple(static_cast<std::uint16_t>(code - TUPLE_BASE));
        buffer += "(";
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (i) buffer += ",";
            append_term_text(t[i], vars, buffer);
        }
        buffer += ")";
    }
}

std::string& render_term(std::uint16_t code, const ComVars& vars, std::string& buffer) {
    buffer.clear();
    append_term_text(code, vars, buffer);
    return buffer;
}

std::string& render_action_term(const ActionTerm& t, const ComVars& vars, std::string& buffer) {
    action_name(t.code, buffer);
    if (t.nparams) {
        buffer += "(";
        for (int i = 0; i < t.nparams && i < MAX_PARAMS; ++i) {
            if (i) buffer += ",";
            append_term_text(t.params[i], vars, buffer);
        }
        buffer += ")";
    }
    return buffer;
}

std::string actset_text(const ActionSet& s, const ComVars& vars) {
    std::string out, one;
    bool first = true;
    for (const auto& t : s) {
        render_action_term(t, vars, one);
        for (unsigned k = 0; k < t.mult; ++k) {
            if (!first) out += ",";
            out += one;
            first = false;
        }
    }
    return out;
}

std::string inscription_text(const Inscription& s, const ComVars& vars) {
    std::string out, one;
    bool first = true;
    for (const auto& t : s) {
        render_term(t.code, vars, one);
        for (unsigned k = 0; k < t.count; ++k) {
            if (!first) out += ",";
            out += one;
            first = false;
        }
    }
    return out;
}

void print_actset(std::FILE* f, const ActionSet& s, const ComVars& vars) {
    std::fputs(actset_text(s, vars).c_str(), f);
}

void print_inscription(std::FILE* f, const Inscription& s, const ComVars& vars) {
    std::fputs(inscription_text(s, vars).c_str(), f);
}

}  // namespace mnet
