#include "mnet_textform.h"

#include <cctype>

namespace mnet {

std::string valueset_text(const ValueSet& set) {
    std::string out = "{";
    bool first = true;
    auto put = [&](const std::string& s) {
        if (!first) out += ",";
        out += s;
        first = false;
    };
    for (std::size_t i = 0; i < set.size();) {
        std::int32_t v = set[i];
        if (v <= VAL_MAX) {
            std::size_t j = i;
            while (j + 1 < set.size() && set[j + 1] == set[j] + 1 && set[j + 1] <= VAL_MAX) ++j;
            if (j > i) put(std::to_string(v) + ".." + std::to_string(set[j]));
            else put(std::to_string(v));
            i = j + 1;
            continue;
        }
        if (v == VAL_TT) put("tt");
        else if (v == VAL_FF) put("ff");
        else if (v == VAL_DOT) put("dot");
        ++i;
    }
    return out + "}";
}

void PrintValueSet(const ValueSet& set, std::FILE* f) { std::fputs(valueset_text(set).c_str(), f); }

std::string place_type_text(const MPlace* p) {
    std::string out;
    for (std::size_t i = 0; i < p->components.size(); ++i) {
        if (i) out += " X ";
        if (p->components[i]) out += valueset_text(*p->components[i]);
    }
    return out;
}

void print_place_type(const MPlace* p, std::FILE* f) { std::fputs(place_type_text(p).c_str(), f); }

namespace {
// Appends a piece of a term's text; a '-' is kept apart from a following
// name, so that "x - y" is not read back as x followed by the variable -y.
void emit(std::string& out, const std::string& piece) {
    if (piece.empty()) return;
    char c = piece[0];
    if (!out.empty() && out.back() == '-' &&
        (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '\'' || c == '~' || c == '$'))
        out += ' ';
    out += piece;
}

const char* binary_op(std::uint16_t kind) {
    switch (kind) {
    case N_AND: return " & ";
    case N_OR: return " | ";
    case N_EQ: return "=";
    case N_NE: return "#";
    case N_LT: return "<";
    case N_GT: return ">";
    case N_LE: return "<=";
    case N_GE: return ">=";
    case N_ADD: return "+";
    case N_SUB: return "-";
    case N_MUL: return "*";
    case N_DIV: return "/";
    case N_MOD: return "%";
    default: return nullptr;
    }
}

void leaf_text(const TermNode& n, const ComVars& vars, std::string& out) {
    if (n.kind == N_CONST) {
        if (n.left == VAL_TT) emit(out, "tt");
        else if (n.left == VAL_FF) emit(out, "ff");
        else if (n.left == VAL_DOT) emit(out, "dot");
        else emit(out, std::to_string(static_cast<std::int16_t>(n.left)));
        return;
    }
    std::string name;
    append_term_text(n.left, vars, name);
    if (n.right != NO_COMPONENT) emit(out, "pr" + std::to_string(n.right) + "(" + name + ")");
    else emit(out, name);
}

// Binding strength of a node as the guard parser reads it, loosest first;
// leaves and parentheses bind tightest.
int binding(std::uint16_t kind) {
    switch (kind) {
    case N_OR: return 1;
    case N_AND: return 2;
    case N_NOT: return 3;
    case N_EQ: case N_NE: case N_LT: case N_GT: case N_LE: case N_GE: return 4;
    case N_ADD: case N_SUB: return 5;
    case N_MUL: case N_DIV: case N_MOD: return 6;
    case N_NEG: return 7;
    default: return 8;
    }
}

// Whether an operand must be put in parentheses so that the text reads back
// as the same tree: a looser operand always; an equally binding one on the
// right of a binary operator (the parser groups to the left) and on either
// side of a comparison (comparisons do not chain).
// The operand of a parentheses node is written bare.
bool needs_parentheses(std::uint16_t parent, std::uint16_t child, bool right) {
    if (parent != N_NOT && parent != N_NEG && !binary_op(parent)) return false;
    const int p = binding(parent), c = binding(child);
    if (c != p) return c < p;
    if (!binary_op(parent)) return false;
    return right || p == 4;
}
}  // namespace

std::string term_text(const TermTable& table, const ComVars& vars, std::uint16_t index) {
    std::string out;
    struct Frame {
        std::uint16_t node;
        int state;
        bool parenthesised;
    };
    auto kind_of = [&table](std::uint16_t node) {
        if (node >= table.size()) fatal("Internal Error: Unknown node type !");
        return table[node].kind;
    };
    std::vector<Frame> stack{{index, 0, false}};
    // Enters an operand of `parent`, in parentheses when the tree needs them.
    auto enter = [&](std::uint16_t parent, std::uint16_t child, bool right) {
        bool paren = needs_parentheses(parent, kind_of(child), right);
        if (paren) emit(out, "(");
        stack.push_back({child, 0, paren});
    };
    auto leave = [&]() {
        if (stack.back().parenthesised) emit(out, ")");
        stack.pop_back();
    };
    while (!stack.empty()) {
        Frame& f = stack.back();
        const TermNode n = table[f.node];
        kind_of(f.node);
        if (const char* op = binary_op(n.kind)) {
            if (f.state == 0) {
                f.state = 1;
                enter(n.kind, n.left, false);
            } else if (f.state == 1) {
                f.state = 2;
                emit(out, op);
                enter(n.kind, n.right, true);
            } else {
                leave();
            }
            continue;
        }
        switch (n.kind) {
        case N_NOT:
        case N_NEG:
        case N_PAREN:
        case N_FOREACH:
            if (f.state == 0) {
                f.state = 1;
                emit(out, n.kind == N_NOT ? "! " : n.kind == N_NEG ? "-" : n.kind == N_PAREN ? "(" : "");
                enter(n.kind, n.left, false);
            } else {
                if (n.kind == N_PAREN) emit(out, ")");
                leave();
            }
            break;
        case N_CONST:
        case N_VAR:
            leaf_text(n, vars, out);
            leave();
            break;
        case 0:
            leave();
            break;
        default:
            fatal("Internal Error: Unknown node type !");
        }
    }
    return out;
}

void print_term(std::FILE* f, const TermTable& table, const ComVars& vars, std::uint16_t index) {
    std::fputs(term_text(table, vars, index).c_str(), f);
}

std::string guard_text(const MTransition* t) {
    std::string out;
    bool any = false;
    for (const Restriction& r : t->restrictions) {
        if (r.component == 0 || r.component == NO_COMPONENT) {
            if (any) out += " & ";
            append_term_text(r.var, t->comvars, out);
            any = true;
        } else {
            out += "X";
        }
        out += valueset_text(r.values);
    }
    if (any) out += ": ";
    bool first = true;
    for (const TermTable& c : t->guard) {
        if (c.size() < 2) continue;
        if (!first) out += " & ";
        first = false;
        auto root = static_cast<std::uint16_t>(c.size() - 1);
        bool paren = c[root].kind == N_OR && t->guard.size() > 1;
        if (paren) out += "(";
        out += term_text(c, t->comvars, root);
        if (paren) out += ")";
    }
    if (first) out += "tt";
    return out;
}

void print_guard(const MTransition* t, std::FILE* f) { std::fputs(guard_text(t).c_str(), f); }

}  // namespace mnet
