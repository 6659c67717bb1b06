#include <algorithm>
#include <unordered_map>

#include "bpn2_idents.h"

namespace bpn2 {

using mnet::report;
using mnet::ERROR;
using mnet::WARNING;

namespace {

bool truth(std::int32_t v) { return v == mnet::VAL_FF || v == mnet::VAL_TT; }

// The identifier table.  `live` is the identifier list in push order (the
// newest last); `by_name` finds the newest record of a name at once.
struct Table {
    std::vector<std::unique_ptr<IdentRec>> records;
    std::vector<PosRec*> positions;  // owned; null where the reference table took one
    IdentRec sentinel;
    std::vector<IdentRec*> live;
    std::unordered_map<std::string, std::vector<IdentRec*>> by_name;
    std::vector<IdentRec*> declaring;  // declared since the last give_typ
    int level = 0;
    bool group_mode = false;
    // Arguments of the call being read.
    IdentRec* formal = nullptr;
    bool formals_known = false;

    Table() {
        sentinel.name = "-";
        sentinel.kind = VARIABLE;
        sentinel.mode = DECLARED;
    }
    ~Table() { clear(); }
    void clear() {
        for (PosRec* p : positions) delete p;  // null once the reference table took it
        positions.clear();
        records.clear();
        live.clear();
        by_name.clear();
        declaring.clear();
        level = 0;
        group_mode = false;
        formal = nullptr;
        formals_known = false;
    }
};

Table& T() {
    static Table t;
    return t;
}

void push(IdentRec* r) {
    T().live.push_back(r);
    T().by_name[r->name].push_back(r);
}

IdentRec* make(const std::string& name, int level) {
    Table& t = T();
    t.records.push_back(std::make_unique<IdentRec>());
    IdentRec* r = t.records.back().get();
    r->name = name;
    r->kind = UNDECLARED;
    r->mode = DECLARED;
    r->level = level;
    push(r);
    return r;
}

void set_range(IdentRec* r, const SourceRange& p) {
    r->line1 = p.line1;
    r->col1 = p.col1;
    r->line2 = p.line2;
    r->col2 = p.col2;
}

// The newest record of the name at the given level, or null.
IdentRec* at_level(const std::string& name, int level) {
    IdentRec* r = find_ident(name);
    return r && r->level == level ? r : nullptr;
}

IdentRec* declare_at(const IdentToken& token, int level, const char* message) {
    const std::string& name = token.ident ? token.ident->name : std::string();
    IdentRec* r = at_level(name, level);
    if (r && r->kind != UNDECLARED) {
        report(ERROR, message, name.c_str());
        return r;
    }
    if (!r) r = make(name, level);
    set_range(r, token.pos);
    T().declaring.push_back(r);
    return r;
}

bool procedure_class(std::uint8_t c) { return c == PROCEDURE || c == PROCEDURE_PARAMS; }

}  // namespace

// ---------------------------------------------------------------------------
// Ranges.

Range new_range(std::int32_t a, std::int32_t b) {
    if (truth(a) != truth(b)) {
        report(ERROR, "true/false and numbers were mixed in a single declaration");
        return Range{mnet::VAL_FF, mnet::VAL_TT};
    }
    return Range{std::min(a, b), std::max(a, b)};
}

RangePtr merge_range(Range r, RangePtr list) {
    if (!list) {
        list = std::make_shared<RangeList>();
        list->ranges.push_back(r);
        return list;
    }
    if (!list->ranges.empty() && truth(list->ranges.front().low) != truth(r.low)) {
        report(ERROR, "true/false and numbers were mixed in a single declaration");
        return list;
    }
    // In place: the ranges are sorted and neither overlap nor touch, so the
    // ones r overlaps or touches are one run found by binary search (a long
    // set written element by element stays linear in its length).
    std::vector<Range>& v = list->ranges;
    auto first = std::partition_point(v.begin(), v.end(),
                                      [&](const Range& q) { return std::int64_t(q.high) + 1 < r.low; });
    auto last = first;
    for (; last != v.end() && std::int64_t(r.high) + 1 >= last->low; ++last) {
        r.low = std::min(r.low, last->low);
        r.high = std::max(r.high, last->high);
    }
    v.insert(v.erase(first, last), r);
    return list;
}

bool in_range(const RangeList* list, std::int32_t v) {
    if (!list) return false;
    for (const Range& r : list->ranges)
        if (r.low <= v && v <= r.high) return true;
    return false;
}

bool range_subset(const RangeList* a, const RangeList* b) {
    if (!a) return true;
    for (const Range& r : a->ranges) {
        bool inside = false;
        if (b)
            for (const Range& q : b->ranges) inside = inside || (q.low <= r.low && r.high <= q.high);
        if (!inside) return false;
    }
    return true;
}

ValueSet range_list_to_set(const RangeList* list) {
    ValueSet set;
    if (list)
        for (const Range& r : list->ranges) mnet::valueset_add_range(set, r.low, r.high);
    return set;
}

// ---------------------------------------------------------------------------
// Identifiers.

void init_idents() { T().clear(); }
void free_idents() { T().clear(); }
int current_level() { return T().level; }
void set_procedure_group_mode(bool on) { T().group_mode = on; }
bool procedure_group_mode() { return T().group_mode; }

IdentRec* new_ident(const std::string& name) {
    if (T().level == 0 && T().group_mode) open_scope();
    return make(name, T().level);
}

IdentRec* find_ident(const std::string& name) {
    auto it = T().by_name.find(name);
    if (it == T().by_name.end() || it->second.empty()) return name == "-" ? &T().sentinel : nullptr;
    return it->second.back();
}

IdentRec* lookup_ident(const std::string& name, IdentToken& token) {
    IdentRec* r = find_ident(name);
    token.found = r != nullptr;
    if (!r) r = new_ident(name);
    token.ident = r;
    return r;
}

IdentRec* declare_ident(const IdentToken& token) {
    return declare_at(token, T().level, "multiple declaration of identifier %s");
}

IdentRec* declare_param(const IdentToken& token) {
    IdentRec* r = declare_at(token, T().level + 1, "multiple declaration of parameter %s");
    if (r->kind == UNDECLARED) r->mode = BY_VALUE;
    return r;
}

void give_typ(std::uint8_t cls, RangePtr ranges, std::int32_t value) {
    std::vector<IdentRec*> names;
    names.swap(T().declaring);
    for (IdentRec* r : names) {
        if (r->kind != UNDECLARED) continue;
        r->kind = cls;
        r->ranges = ranges;
        switch (cls) {
        case VARIABLE:
            if (value != NO_VALUE && !in_range(ranges.get(), value)) {
                report(ERROR, "invalid initialization");
                value = NO_VALUE;
            }
            r->number = value;
            r->range = range_list_to_set(ranges.get());
            break;
        case CONSTANT:
            r->number = value;
            break;
        case CHANNEL:
        case STACK:
            if (value < 0) report(ERROR, "Capacity must be positive !");
            else if (value > mnet::VAL_MAX) report(ERROR, "Capacity must be a number !");
            r->number = value;
            r->capacity = value;
            r->range = range_list_to_set(ranges.get());
            break;
        case PROCEDURE:
        case PROCEDURE_PARAMS:
        case BLOCK_NAME:
            break;
        default:
            mnet::fatal("Internal error: Unknown type in give_typ !");
        }
    }
}

void check_ident(IdentRec* r, std::uint8_t cls) {
    if (!r) return;
    if (r->kind == UNDECLARED) {
        // Only calls may wait for a procedure declared later in the group.
        if (!(T().group_mode && procedure_class(cls))) report(ERROR, "undeclared identifier %s", r->name.c_str());
        return;
    }
    if (r->kind != cls) report(ERROR, "incorrect use of identifier %s", r->name.c_str());
    if (procedure_class(r->kind)) r->use = USED_FULLY;
}

void check_ident2(IdentRec* r, std::uint8_t cls1, std::uint8_t cls2) {
    if (!r) return;
    if (r->kind == UNDECLARED) {
        report(ERROR, "undeclared identifier %s", r->name.c_str());
        return;
    }
    if (r->kind != cls1 && r->kind != cls2) report(ERROR, "incorrect use of identifier %s", r->name.c_str());
}

bool check_proc_ident(IdentRec* r, std::uint8_t cls) {
    if (!r) return false;
    if (r->kind == UNDECLARED) {
        if (T().group_mode) return true;
        report(ERROR, "undeclared identifier %s", r->name.c_str());
        return false;
    }
    if (r->kind != cls) report(ERROR, "incorrect use of identifier %s", r->name.c_str());
    if (procedure_class(r->kind)) r->use = USED_FULLY;
    return false;
}

void open_scope() { ++T().level; }

IdentRec* close_scope() {
    Table& t = T();
    if (t.level == 0 && t.group_mode) open_scope();
    IdentRec* head = nullptr;
    IdentRec* tail = nullptr;
    std::vector<IdentRec*> kept;
    kept.reserve(t.live.size());
    // Newest first, as the identifier list holds them.
    for (auto it = t.live.rbegin(); it != t.live.rend(); ++it) {
        IdentRec* r = *it;
        if (r->level != t.level) {
            kept.push_back(r);
            continue;
        }
        if (r->use < USED_MIN && r->kind != UNDECLARED && r->kind != BLOCK_NAME && r->kind != OTHER_NAME)
            report(WARNING, "identifier %s declared but not used", r->name.c_str());
        auto& same = t.by_name[r->name];
        same.erase(std::find(same.begin(), same.end(), r));
        if (same.empty()) t.by_name.erase(r->name);
        r->next = nullptr;
        if (tail) tail->next = r;
        else head = r;
        tail = r;
    }
    t.live.assign(kept.rbegin(), kept.rend());
    --t.level;
    return head;
}

IdentRec* reverse_idents(IdentRec* list) {
    IdentRec* out = nullptr;
    while (list) {
        IdentRec* next = list->next;
        list->next = out;
        out = list;
        list = next;
    }
    return out;
}

void set_next_param(IdentRec* procedure, IdentRec* params) {
    if (procedure) procedure->next_param = params;
}

IdentRec* append_param(IdentRec* list, std::uint8_t mode, IdentRec* param) {
    if (!param) return list;
    param->mode = mode;
    if (!list || list == param) {
        param->next_param = nullptr;
        return param;
    }
    IdentRec* last = list;
    while (last->next_param) {
        if (last == param) return list;
        last = last->next_param;
    }
    if (last == param) return list;
    param->next_param = nullptr;
    last->next_param = param;
    return list;
}

PosRec* new_pos(const SourceRange& first, const SourceRange& last, std::uint8_t kind) {
    auto* p = new PosRec();
    p->line1 = first.line1;
    p->col1 = first.col1;
    p->line2 = last.line2;
    p->col2 = last.col2;
    p->kind = kind;
    p->slot = T().positions.size();
    T().positions.push_back(p);
    return p;
}

void hand_over_position(PosRec* p) {
    auto& list = T().positions;
    if (p && p->slot < list.size() && list[p->slot] == p) list[p->slot] = nullptr;
}

// ---------------------------------------------------------------------------
// Syntax tree.

Node* new_node(std::int32_t kind, Node* a, Node* b) {
    Node* n = new Node();
    n->kind = kind;
    n->a = a;
    n->b = b;
    return n;
}

void TreeDeleter::operator()(Node* n) const { delete_tree(n); }

void delete_tree(Node* root) {
    std::vector<Node*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        switch (n->kind) {
        case K_BLOCK: case K_ACTION: case K_SEQ: case K_PAR: case K_LOOP: case K_REPEAT: case K_EXIT:
        case K_ALT: case K_CALL: case K_CALL_ARGS: case K_LABEL:
        case mnet::N_AND: case mnet::N_OR: case mnet::N_NOT: case mnet::N_CONST: case mnet::N_VAR:
        case mnet::N_PAREN: case mnet::N_EQ: case mnet::N_NE: case mnet::N_LT: case mnet::N_GT:
        case mnet::N_LE: case mnet::N_GE: case mnet::N_ADD: case mnet::N_SUB: case mnet::N_MUL:
        case mnet::N_DIV: case mnet::N_MOD: case mnet::N_NEG:
            break;
        default:
            mnet::fatal("Internal Error: Unknown node type in delete_tree !");
        }
        if (n->a) stack.push_back(n->a);
        if (n->b) stack.push_back(n->b);
        for (ArgEntry& e : n->args)
            if (e.expr) stack.push_back(e.expr);
        delete n;
    }
}

// ---------------------------------------------------------------------------
// Arguments.

namespace {

void check_pair(ArgEntry& e, IdentRec* formal) {
    e.mode = formal->mode;
    const std::uint8_t mode = formal->mode;
    if (!e.ident) {
        if (mode == BY_RESULT) report(ERROR, "pass by result expected for parameter %s", formal->name.c_str());
        else if (mode == BY_REFERENCE)
            report(ERROR, "pass by reference expected for parameter %s", formal->name.c_str());
        return;
    }
    IdentRec* a = e.ident;
    const char* name = a->name.c_str();
    auto superset = [&] {
        if (!range_subset(formal->ranges.get(), a->ranges.get()))
            report(WARNING, "argument %s must have superset as range", name);
    };
    auto subset = [&] {
        if (!range_subset(a->ranges.get(), formal->ranges.get()))
            report(WARNING, "argument %s must have subset as range", name);
    };
    switch (a->kind) {
    case UNDECLARED:
        report(ERROR, "undeclared identifier %s", name);
        break;
    case VARIABLE:
        switch (mode) {
        case BY_VALUE: case BY_CONST:
            subset();
            a->use |= USED_AS_ARGUMENT;
            break;
        case BY_RESULT:
            superset();
            subset();
            a->use |= USED_AS_ARGUMENT;
            break;
        case BY_REFERENCE:
            if (formal->kind != VARIABLE && !T().group_mode) report(ERROR, "argument %s has incompatible type", name);
            superset();
            a->use |= USED_BY_REFERENCE;
            break;
        default:
            mnet::fatal("Internal Error: Unknown parameter type at VAR !");
        }
        break;
    case CHANNEL:
    case STACK:
        switch (mode) {
        case BY_VALUE: case BY_CONST: case BY_RESULT:
            report(ERROR, "argument %s has incompatible type", name);
            break;
        case BY_REFERENCE:
            if (formal->kind != a->kind && !T().group_mode) report(ERROR, "argument %s has incompatible type", name);
            superset();
            if (formal->number != a->number) report(ERROR, "argument %s has incompatible capacity", name);
            a->use |= USED_FULLY;
            break;
        default:
            mnet::fatal("Internal Error: Unknown parameter type at CHAN/STACK !");
        }
        break;
    case PROCEDURE:
    case PROCEDURE_PARAMS:
        report(ERROR, "incorrect use of procedure %s as argument", name);
        break;
    default:
        // A constant, block name or other name where a variable or channel
        // is expected.
        report(ERROR, "incorrect use of identifier %s", name);
        break;
    }
}

}  // namespace

void start_arguments(IdentRec* procedure) {
    Table& t = T();
    t.formals_known = procedure && procedure->kind == PROCEDURE_PARAMS;
    t.formal = t.formals_known ? procedure->next_param : nullptr;
}

void check_arg(std::vector<ArgEntry>& args, int kind, IdentRec* ident, Node* expr) {
    Table& t = T();
    if (kind != ARG_EXPRESSION && kind != ARG_IDENTIFIER) mnet::fatal("Internal Error: Unknown argument type !");
    ArgEntry e;
    e.ident = kind == ARG_IDENTIFIER ? ident : nullptr;
    e.expr = kind == ARG_EXPRESSION ? expr : nullptr;
    if (t.formals_known && !t.formal) {
        report(ERROR, "too many arguments");
        args.push_back(e);  // kept, so that the tree frees it
        return;
    }
    if (t.formals_known) {
        check_pair(e, t.formal);
        t.formal = t.formal->next_param;
    }
    args.push_back(e);
}

void end_arguments() {
    Table& t = T();
    if (t.formals_known && t.formal) report(ERROR, "too few arguments");
    t.formal = nullptr;
    t.formals_known = false;
}

void check_args(std::vector<ArgEntry>& args, IdentRec* formals) {
    IdentRec* f = formals;
    std::size_t i = 0;
    for (; i < args.size() && f; ++i, f = f->next_param) check_pair(args[i], f);
    if (i < args.size()) report(ERROR, "too many arguments");
    if (f) report(ERROR, "too few arguments");
}

}  // namespace bpn2
