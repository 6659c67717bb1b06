// The box-template table, loading, and the template command interpreter.
//
// A command names an element of the template net; M_copy_net links every
// template element to its copy (the `copy` fields), so the effect of a
// command falls on the copy made by the get_box that runs it.
#include "mnet_templates.h"

#include <cstdio>
#include <cstdlib>

#include "mnet_algebra.h"
#include "mnet_hlnet.h"
#include "mnet_labels.h"

namespace mnet {

namespace {

const char* const template_files[BOX_TEMPLATE_COUNT] = {
    "var_box.hl_net", "var_init.hl_net", "var_term.hl_net",
    "initvar_box.hl_net", "initvar_init.hl_net", "initvar_term.hl_net",
    "chan0_box.hl_net", "chan0_init.hl_net", "chan0_term.hl_net",
    "chan1_box.hl_net", "chan1_init.hl_net", "chan1_term.hl_net",
    "chan_box_0.hl_net", "chan_init_0.hl_net", "chan_term_0.hl_net",
    "stack_box.hl_net", "stack_init.hl_net", "stack_term.hl_net",
    "proc_box_0.hl_net", "proc_box_set_0.hl_net", "proc_init_0.hl_net", "proc_term_0.hl_net",
    "proc_call_0.hl_net", "val_par.hl_net", "const_par.hl_net", "res_par.hl_net",
    "varref_par.hl_net", "varref_par_rec.hl_net", "chan0ref_par.hl_net", "chan0ref_par_rec.hl_net",
    "chanref_par.hl_net", "chanref_par_rec.hl_net",
    "channel_0.hl_net", "signalroute.hl_net", "init.hl_net", "term.hl_net", "create.hl_net",
    "connect.hl_net", "process_0.hl_net", "process_exit.hl_net", "variable.hl_net",
    "var_init.hl_net", "var_term.hl_net", "procedure.hl_net", "proc_call.hl_net",
    "prcd_in_parm.hl_net", "prcd_inout_parm.hl_net", "proc_create.hl_net", "label.hl_net",
    "join.hl_net", "sigroute_up_0.hl_net", "sigroute_uu_0.hl_net", "sigroute_um_0.hl_net",
    "sigroute_dp_0.hl_net", "sigroute_du_0.hl_net", "sigroute_dm_0.hl_net", "sig_create.hl_net",
    "prcsparm.hl_net", "prcsterm.hl_net", "process_stop.hl_net", "env.hl_net",
};

struct Table {
    BoxTemplate entries[BOX_TEMPLATE_COUNT];
    std::string directory;
    Table() {
        for (int n = 0; n < BOX_TEMPLATE_COUNT; ++n) entries[n].file = template_files[n];
    }
};

Table& table() {
    static Table t;
    return t;
}

BoxTemplate& entry(int n) {
    if (n < 0 || n >= BOX_TEMPLATE_COUNT) fatal("Internal Error: Unknown box template %d !", n);
    return table().entries[n];
}

void forget(BoxTemplate& e) {
    FreeNet(&e.net);
    e.commands.clear();
    e.late_commands.clear();
    e.state = BoxTemplate::State::NotLoaded;
}

const char* directory_word() {
    switch (frontend_kind) {
    case FE_AUTOMATA: return "autocast/nets";
    case FE_IF: return "statecastnet/nets";
    case FE_CHART: return "chartcast/nets";
    default: return procedure_semantics ? "progcast/___procs.hl" : "progcast/no_procs.hl";
    }
}

bool readable(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// ---------------------------------------------------------------------------
// Elements of the copy.

MPlace* place_of(const TemplateCommand& c) {
    if (c.element_kind != ElementKind::Place || !c.element) fatal("Internal Error: Unknown command type !");
    return static_cast<MPlace*>(c.element)->copy;
}

MTransition* transition_of(const TemplateCommand& c) {
    if (c.element_kind == ElementKind::Transition && c.element) return static_cast<MTransition*>(c.element)->copy;
    if (c.element_kind == ElementKind::Arc && c.element) return static_cast<MArc*>(c.element)->copy->trans;
    fatal("Internal Error: Unknown command type !");
}

MArc* arc_of(const TemplateCommand& c) {
    if (c.element_kind != ElementKind::Arc || !c.element) fatal("Internal Error: Unknown command type !");
    return static_cast<MArc*>(c.element)->copy;
}

std::int32_t macro_value(std::intptr_t a) { return *reinterpret_cast<const std::int16_t*>(a); }
const ValueSet& set_argument(std::intptr_t a) { return *reinterpret_cast<const ValueSet*>(a); }
const std::string& text_argument(std::intptr_t a) { return *reinterpret_cast<const std::string*>(a); }

// Bounds of a range command: immediate values or macro values.
std::int32_t low_bound(const TemplateCommand& c) {
    return (c.flags & CMD_LOW_IMMEDIATE) ? static_cast<std::int32_t>(c.a1) : macro_value(c.a1);
}
std::int32_t high_bound(const TemplateCommand& c) {
    return (c.flags & CMD_HIGH_IMMEDIATE) ? static_cast<std::int32_t>(c.a2) : macro_value(c.a2);
}

// Type component k of a place; placeholders and missing components become
// empty sets.
ValueSet& component(MPlace* p, std::intptr_t k) {
    if (k < 0 || k >= MAX_TYPE_COMPONENTS) fatal("Internal Error: Unknown command type !");
    auto index = static_cast<std::size_t>(k);
    if (p->components.size() <= index) p->components.resize(index + 1);
    if (!p->components[index]) p->components[index] = ValueSet();
    return *p->components[index];
}

std::uint16_t restriction_component(std::intptr_t a3) {
    return a3 == CMD_CANCELLED ? static_cast<std::uint16_t>(NO_COMPONENT) : static_cast<std::uint16_t>(a3);
}

// The guard node that a command of kind 51 or 54 targets.  A guard kept
// whole for FOREACH expansion is one table indexed as parsed; a normalised
// guard is searched for the node that still carries the macro number.
TermNode* macro_node(MTransition* t, const TemplateCommand& c, bool constant) {
    const auto counter = static_cast<std::uint16_t>(c.a2);
    auto matches = [&](const TermNode& n) {
        return constant ? n.kind == N_CONST && n.right == counter
                        : n.kind == N_VAR && n.left == static_cast<std::uint16_t>(65536 - counter);
    };
    if (t->guard.size() == 1 && c.a3 > 0 && static_cast<std::size_t>(c.a3) < t->guard[0].size() &&
        matches(t->guard[0][static_cast<std::size_t>(c.a3)]))
        return &t->guard[0][static_cast<std::size_t>(c.a3)];
    for (TermTable& table : t->guard)
        for (TermNode& n : table)
            if (matches(n)) return &n;
    fatal("Internal Error: Command not found !");
}

std::uint16_t comvar_slot(MTransition* t, const std::string& name_text) {
    return add_comvar(substitute_macros(name_text), t->comvars, t);
}

void add_token(MArc* a, std::uint16_t code) { inscription_add(a->inscription, code, 1); }

void add_action(MTransition* t, const ActionTerm& source) {
    std::string name;
    action_name(static_cast<std::uint16_t>(source.code & ~1u), name);
    ActionTerm term = source;
    term.code = static_cast<std::uint16_t>(action_code(substitute_macros(name)) | (source.code & 1u));
    actset_add_term(t->label, term);
    if (template_runtime.collected) actset_add_term(*template_runtime.collected, term);
}

void run_command(const TemplateCommand& c, MNet*& box, TermTable* foreach_table);

// Runs a FOREACH body's commands before one copy of the body.  Its macro
// nodes lie in the table being expanded, at the positions they were parsed.
void run_foreach_commands(const CommandList& list) {
    TermTable* source = foreach_source;
    MNet* no_box = nullptr;
    for (const auto& c : list) run_command(*c, no_box, source);
}

void expand_foreach_guard(MTransition* t) {
    if (t->guard.size() != 1) return;
    ForeachExpansion saved = foreach_expansion;
    foreach_expansion.values = [](std::uint16_t k) -> const ValueSet* {
        if (k >= 10 || !template_runtime.foreach[k].used) return nullptr;
        return &template_runtime.foreach[k].values;
    };
    foreach_expansion.before_copy = [](std::uint16_t k, std::int32_t value, std::size_t position) {
        if (k >= 10 || !template_runtime.foreach[k].used) return;
        template_params.element = static_cast<std::int16_t>(value);
        template_params.index = static_cast<std::int16_t>(position + 1);
        if (const CommandList* sub = template_runtime.foreach[k].commands) run_foreach_commands(*sub);
    };
    TermTable whole = std::move(t->guard[0]);
    t->guard = normalize_guard(std::move(whole), true);
    foreach_expansion = saved;
    for (ForeachEntry& e : template_runtime.foreach) e = ForeachEntry();
}

void run_command(const TemplateCommand& c, MNet*& box, TermTable* foreach_table) {
    TemplateRuntime& rt = template_runtime;
    switch (c.kind) {
    case 1:
        component(place_of(c), c.a3) = set_argument(c.a1);
        break;
    case 2:
        valueset_add_range(component(place_of(c), c.a3), low_bound(c), high_bound(c));
        break;
    case 3:
        add_reference(place_of(c)->refs, template_params.reference, static_cast<std::uint16_t>(c.a2));
        break;
    case 4:
        rt.remembered_place = place_of(c);
        break;
    case 5: {
        MPlace* p = place_of(c);
        if (p->label) p->label = substitute_macros(*p->label);
        break;
    }
    case 11:
        restrict_var(transition_of(c)->restrictions, static_cast<std::uint16_t>(c.a2), restriction_component(c.a3),
                     set_argument(c.a1));
        break;
    case 12: {
        RestrictionList& list = transition_of(c)->restrictions;
        const auto var = static_cast<std::uint16_t>(c.flags & 0xff);
        const std::uint16_t comp = restriction_component(c.a3);
        restrict_var(list, var, comp, ValueSet());  // present already, or an empty entry
        for (Restriction& r : list)
            if (r.var == var && r.component == comp) valueset_add_range(r.values, low_bound(c), high_bound(c));
        break;
    }
    case 13: {
        MTransition* t = transition_of(c);
        auto slot = static_cast<std::size_t>(c.a2);
        if (slot >= t->comvars.size()) fatal("Internal Error: Command not found !");
        // A name made from the program's names ($NAME$, $ARG$) is the
        // program's variable: the translation's accesses of that name find
        // it, and it never joins a variable of the template's own.
        const std::string text = var_name(t->comvars[slot].var);
        t->comvars[slot].var = var_code(substitute_macros(text));
        if (text.find("$NAME$") != std::string::npos || text.find("$ARG$") != std::string::npos)
            t->comvars[slot].flags |= COMVAR_PROGRAM;
        break;
    }
    case 14:
        add_action(transition_of(c), *reinterpret_cast<const ActionTerm*>(c.a1));
        break;
    case 15: {
        MTransition* t = transition_of(c);
        if (!rt.refinement) fatal("Internal Error: no net to refine a transition with !");
        MNet* body = rt.refinement;
        rt.refinement = nullptr;
        box = M_refine(box, t, body);
        break;
    }
    case 16:
        if (c.a2 < 0 || c.a2 > 3) fatal("Internal Error: Unknown command type !");
        rt.marks[c.a2] = transition_of(c);
        break;
    case 17:
        add_reference(transition_of(c)->refs, template_params.reference, static_cast<std::uint16_t>(c.a2));
        break;
    case 18: {
        MTransition* t = transition_of(c);
        if (t->label_text) t->label_text = substitute_macros(*t->label_text);
        break;
    }
    case 21:
        add_token(arc_of(c), c.a1 ? const_to_code(macro_value(c.a1)) : static_cast<std::uint16_t>(c.a2));
        break;
    case 22: {
        Tuple copy = *reinterpret_cast<const Tuple*>(c.a1);  // the template keeps its own tuple
        add_token(arc_of(c), static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(copy))));
        break;
    }
    case 23: {
        ValueSet values = std::move(rt.value_list);
        rt.value_list.clear();
        const auto& sub = *reinterpret_cast<const CommandList*>(c.a1);
        for (std::size_t k = 0; k < values.size(); ++k) {
            template_params.index = static_cast<std::int16_t>(k + 1);
            template_params.element = static_cast<std::int16_t>(values[k]);
            for (const auto& s : sub) run_command(*s, box, foreach_table);
        }
        break;
    }
    case 24: {
        MArc* a = arc_of(c);
        add_token(a, comvar_slot(a->trans, text_argument(c.a1)));
        break;
    }
    case 31:
    case 32: {
        auto& tuple = *reinterpret_cast<Tuple*>(c.a3);
        auto k = static_cast<std::size_t>(c.a2);
        if (k >= tuple.size()) fatal("Internal Error: Command not found !");
        tuple[k] = c.kind == 31 ? const_to_code(macro_value(c.a1))
                                : comvar_slot(transition_of(c), text_argument(c.a1));
        break;
    }
    case 41:
        rt.value_list = set_argument(c.a1);
        break;
    case 42:
        valueset_add_range(rt.value_list, low_bound(c), high_bound(c));
        break;
    case 43:
        if (c.a1 != CMD_CANCELLED) rt.value_list = set_argument(c.a1);
        break;
    case 51:
    case 54: {
        TermNode* n;
        if (foreach_table) {
            if (c.a3 <= 0 || static_cast<std::size_t>(c.a3) >= foreach_table->size())
                fatal("Internal Error: Command not found !");
            n = &(*foreach_table)[static_cast<std::size_t>(c.a3)];
        } else {
            n = macro_node(transition_of(c), c, c.kind == 51);
        }
        if (c.kind == 51) n->left = static_cast<std::uint16_t>(macro_value(c.a1));
        else n->left = comvar_slot(transition_of(c), text_argument(c.a1));
        break;
    }
    case 52: {
        if (c.a3 < 0 || c.a3 >= 10) fatal("Internal Error: Unknown command type !");
        ForeachEntry& e = rt.foreach[c.a3];
        e.values = std::move(rt.value_list);
        rt.value_list.clear();
        e.nodes = static_cast<std::uint16_t>(c.flags & 0xffff);
        e.commands = reinterpret_cast<const CommandList*>(c.a1);
        e.used = true;
        break;
    }
    case 53:
        expand_foreach_guard(transition_of(c));
        break;
    default:
        fatal("Internal Error: Unknown command type !");
    }
}

}  // namespace

TemplateRuntime template_runtime;

BoxTemplate& box_template(int n) { return entry(n); }

void set_box_variant(int n, char variant) {
    BoxTemplate& e = entry(n);
    std::size_t dot = e.file.find('.');
    if (dot == std::string::npos || dot == 0) return;
    e.file[dot - 1] = variant;
    if (e.state != BoxTemplate::State::NotLoaded) forget(e);
}

void set_template_directory(const std::string& directory) {
    std::string& d = table().directory;
    d = directory;
    if (!d.empty() && d.back() != '/') d += '/';
}

const std::string& template_directory() { return table().directory; }

MNet* load_box(int n, bool required) {
    BoxTemplate& e = entry(n);
    if (e.state == BoxTemplate::State::Loaded) return e.net;
    if (e.state == BoxTemplate::State::Missing) return nullptr;
    const unsigned long saved_counter = transition_counter;
    std::string& dir = table().directory;
    if (dir.empty()) {
        const char* home = std::getenv("VOSHOME");
        if (!home) fatal("Environment variable $VOSHOME must be set !\n");
        dir = std::string(home) + "/lib/" + directory_word() + "/";
    }
    const std::string path = dir + e.file;
    if (!required && !readable(path)) {
        e.state = BoxTemplate::State::Missing;
        return nullptr;
    }
    CommandList* saved_commands = current_commands;
    CommandList* saved_late = current_late_commands;
    current_commands = &e.commands;
    current_late_commands = &e.late_commands;
    e.net = read_VOS(path, nullptr);
    current_commands = saved_commands;
    current_late_commands = saved_late;
    e.state = BoxTemplate::State::Loaded;
    transition_counter = saved_counter;
    return e.net;
}

MNet* get_box(int n, bool required) {
    MNet* net = load_box(n, required);
    if (!net) return nullptr;
    template_runtime.remembered_place = nullptr;
    for (MTransition*& m : template_runtime.marks) m = nullptr;
    MNet* box = M_copy_net(net);
    const BoxTemplate& e = entry(n);
    run_commands(e.commands, box);
    run_commands(e.late_commands, box);
    return box;
}

void free_boxes() {
    for (BoxTemplate& e : table().entries) forget(e);
}

std::string substitute_macros(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t d = text.find('$', i);
        if (d == std::string::npos) {
            out.append(text, i, std::string::npos);
            break;
        }
        out.append(text, i, d - i);
        std::size_t end = text.find('$', d + 1);
        if (end == std::string::npos) fatal("Unknown macro in hl_net-box !");
        const std::string word = text.substr(d, end + 1 - d);
        const TemplateParams& p = template_params;
        if (word == "$NAME$") out += p.name;
        else if (word == "$ARG$") out += p.arg;
        else if (word == "$EXT$") out += p.ext;
        else if (std::int16_t* v = const_macro(word)) out += std::to_string(*v);
        else fatal("Unknown macro in hl_net-box !");
        i = end + 1;
    }
    return out;
}

void run_commands(const CommandList& list, MNet*& box) {
    for (const auto& c : list) run_command(*c, box, nullptr);
}

}  // namespace mnet
