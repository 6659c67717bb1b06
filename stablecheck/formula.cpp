#include "formula.h"

#include "bra_process.h"

#include <cctype>
#include <utility>

namespace velcheck {

std::int32_t FormulaTree::add(int kind, std::int32_t left, std::int32_t right, std::uint32_t place) {
    TreeNode n;
    n.kind = kind;
    n.left = left;
    n.right = right;
    n.place = place;
    nodes.push_back(n);
    return static_cast<std::int32_t>(nodes.size() - 1);
}

std::int32_t FormulaTree::copy(std::int32_t n) {
    // Post-order copy with an explicit stack: (source node, children done).
    std::vector<std::pair<std::int32_t, bool>> stack{{n, false}};
    std::vector<std::int32_t> results;
    while (!stack.empty()) {
        auto [src, done] = stack.back();
        stack.pop_back();
        const TreeNode s = at(src);
        if (!done) {
            stack.emplace_back(src, true);
            if (s.right >= 0) stack.emplace_back(s.right, false);
            if (s.left >= 0) stack.emplace_back(s.left, false);
            continue;
        }
        std::int32_t l = -1, r = -1;
        if (s.right >= 0) {
            r = results.back();
            results.pop_back();
        }
        if (s.left >= 0) {
            l = results.back();
            results.pop_back();
        }
        results.push_back(add(s.kind, l, r, s.place));
    }
    return results.back();
}

// ------------------------------------------------------------------ scanner

namespace {

class Scanner {
public:
    Scanner(std::FILE* in, const BraProcess& prefix) : in_(in), prefix_(prefix) {}

    // Returns a token; for TOK_PLACE sets place().  An unknown place name
    // sets unknown() and returns TOK_ERROR.
    int next() {
        for (;;) {
            int c = get();
            if (c == EOF) return TOK_END;
            if (c == '%') {
                while (c != '\n' && c != EOF) c = get();
                if (c == EOF) return TOK_END;
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') continue;
            switch (c) {
            case '!': case 0xB3: return TOK_BANG;
            case '?': case 0xB4: return TOK_QUERY;
            case '#': case 0xB6: return TOK_BOX;
            case '^': case 0xB7: return TOK_DIAMOND;
            case 0xB0: return TOK_IMPLIES;
            case 0xAF: return TOK_EQUIV;
            case '+': case 0xC7: return TOK_OR;
            case '*': case 0xAC: return TOK_AND;
            case '-': case 0xAE: return TOK_NOT;
            case '0': return TOK_FALSE;
            case '1': return TOK_TRUE;
            case '.': return TOK_END;
            case '=': {
                const int d = get();
                if (d == '>') return TOK_IMPLIES;
                unget(d);
                return TOK_ERROR;
            }
            case '<': {
                const int d = get();
                if (d == '=') {
                    const int e = get();
                    if (e == '>') return TOK_EQUIV;
                    unget(e);
                }
                unget(d);
                return TOK_ERROR;
            }
            default:
                break;
            }
            if (std::isalpha(c) || c == '_') {
                name_.clear();
                while (c != EOF && (std::isalnum(c) || c == '_' || c == '.')) {
                    name_.push_back(static_cast<char>(c));
                    c = get();
                }
                unget(c);
                place_ = prefix_.FindPlace(name_);
                if (place_ == 0) {
                    unknown_ = true;
                    return TOK_ERROR;
                }
                return TOK_PLACE;
            }
            return c;  // any other character stands for itself
        }
    }
    std::uint32_t place() const { return place_; }
    bool unknown() const { return unknown_; }
    const std::string& name() const { return name_; }

private:
    int get() {
        if (!pending_.empty()) {
            const int c = pending_.back();
            pending_.pop_back();
            return c;
        }
        const int c = std::fgetc(in_);
        return c == EOF ? EOF : static_cast<unsigned char>(c);
    }
    void unget(int c) {
        if (c != EOF) pending_.push_back(c);
    }
    std::FILE* in_;
    const BraProcess& prefix_;
    std::vector<int> pending_;
    std::string name_;
    std::uint32_t place_ = 0;
    bool unknown_ = false;
};

int precedence(int op) {
    switch (op) {
    case TOK_EQUIV: return 1;
    case TOK_IMPLIES: return 2;
    case TOK_OR: return 3;
    case TOK_AND: return 4;
    default: return 0;
    }
}

bool is_prefix_op(int t) { return t == TOK_BOX || t == TOK_DIAMOND || t == TOK_NOT; }

int closing(int open) { return open == '(' ? ')' : open == '[' ? ']' : '}'; }

}  // namespace

ParseResult ParseFormula(std::FILE* in, const BraProcess& prefix, FormulaTree& tree, std::FILE* err) {
    ParseResult result;
    Scanner scanner(in, prefix);
    std::vector<int> ops;                // operators and open brackets
    std::vector<std::int32_t> operands;  // subtrees
    bool expect_operand = true;
    std::string error;

    auto too_large = [&] { return tree.nodes.size() > max_formula_nodes; };
    auto apply_binary = [&](int op) {
        const std::int32_t r = operands.back();
        operands.pop_back();
        const std::int32_t l = operands.back();
        operands.pop_back();
        std::int32_t n;
        switch (op) {
        case TOK_IMPLIES:
            n = tree.add(TOK_OR, tree.add(TOK_NOT, -1, l), r);
            break;
        case TOK_EQUIV: {
            if (tree.nodes.size() * 2 > max_formula_nodes) {
                error = "formula too large";
                return;
            }
            const std::int32_t l2 = tree.copy(l), r2 = tree.copy(r);
            n = tree.add(TOK_OR, tree.add(TOK_AND, tree.add(TOK_NOT, -1, l), tree.add(TOK_NOT, -1, r)),
                         tree.add(TOK_AND, l2, r2));
            break;
        }
        default:
            n = tree.add(op, l, r);
            break;
        }
        operands.push_back(n);
    };
    auto apply_prefix = [&] {
        while (!ops.empty() && is_prefix_op(ops.back())) {
            const int op = ops.back();
            ops.pop_back();
            const std::int32_t f = operands.back();
            operands.pop_back();
            std::int32_t n;
            if (op == TOK_BOX)
                n = tree.add(TOK_NOT, -1, tree.add(TOK_DIAMOND, -1, tree.add(TOK_NOT, -1, f)));
            else
                n = tree.add(op, -1, f);
            operands.push_back(n);
        }
    };

    for (;;) {
        const int t = scanner.next();
        if (scanner.unknown()) {
            std::fprintf(err, "Scanner(): Placename: \"%s\" Unknown !\n", scanner.name().c_str());
            result.unknown_place = true;
            result.message = "unknown place";
            return result;
        }
        if (ops.size() + operands.size() > max_parser_stack) {
            error = "parser stack overflow";
            break;
        }
        if (expect_operand) {
            if (is_prefix_op(t) || t == '(' || t == '[' || t == '{') {
                ops.push_back(t);
                continue;
            }
            if (t == TOK_FALSE || t == TOK_TRUE || t == TOK_PLACE) {
                operands.push_back(t == TOK_PLACE ? tree.add(TOK_PLACE, -1, -1, scanner.place())
                                                  : tree.add(t));
                apply_prefix();
                expect_operand = false;
                continue;
            }
            error = "parse error";
            break;
        }
        const int prec = precedence(t);
        if (prec > 0) {
            while (!ops.empty() && precedence(ops.back()) >= prec && error.empty()) {
                const int op = ops.back();
                ops.pop_back();
                apply_binary(op);
            }
            if (!error.empty()) break;
            ops.push_back(t);
            expect_operand = true;
            continue;
        }
        if (t == ')' || t == ']' || t == '}' || t == TOK_END) {
            while (!ops.empty() && precedence(ops.back()) > 0 && error.empty()) {
                const int op = ops.back();
                ops.pop_back();
                apply_binary(op);
            }
            if (!error.empty()) break;
            if (t == TOK_END) {
                if (!ops.empty()) {
                    error = "parse error";
                    break;
                }
                tree.root = operands.back();
                result.ok = true;
                return result;
            }
            if (ops.empty() || closing(ops.back()) != t) {
                error = "parse error";
                break;
            }
            ops.pop_back();
            apply_prefix();
            if (too_large()) {
                error = "formula too large";
                break;
            }
            continue;
        }
        error = "parse error";
        break;
    }
    std::fprintf(err, "\nPARSING-ERROR (%s)!!!\n\n", error.c_str());
    result.message = error;
    return result;
}

bool IsSimpleReachability(const FormulaTree& tree) {
    if (tree.root < 0) return true;
    std::size_t diamonds = 0;
    std::vector<std::int32_t> stack{tree.root};
    while (!stack.empty()) {
        const TreeNode& n = tree.at(stack.back());
        stack.pop_back();
        if (n.kind == TOK_DIAMOND) ++diamonds;
        if (n.left >= 0) stack.push_back(n.left);
        if (n.right >= 0) stack.push_back(n.right);
    }
    return diamonds <= 1;
}

namespace {

bool is_const(const TreeNode& n) { return n.kind == TOK_TRUE || n.kind == TOK_FALSE; }

// Simplifies one node whose children are simplified already; returns the
// index of the node that replaces it.
std::int32_t simplify(FormulaTree& t, std::int32_t i) {
    const TreeNode n = t.at(i);
    switch (n.kind) {
    case TOK_TRUE:
    case TOK_FALSE:
    case TOK_PLACE:
        return i;
    case TOK_DIAMOND:
        return is_const(t.at(n.right)) ? n.right : i;
    case TOK_OR:
    case TOK_AND: {
        const bool is_or = n.kind == TOK_OR;
        const int absorbing = is_or ? TOK_TRUE : TOK_FALSE;
        const int neutral = is_or ? TOK_FALSE : TOK_TRUE;
        const TreeNode& l = t.at(n.left);
        const TreeNode& r = t.at(n.right);
        if (l.kind == absorbing) return n.left;
        if (r.kind == absorbing) return n.right;
        if (l.kind == neutral) return n.right;
        if (r.kind == neutral) return n.left;
        if (l.kind == TOK_PLACE && r.kind == TOK_PLACE && l.place == r.place) return n.left;
        auto negates = [&](const TreeNode& a, const TreeNode& b) {
            return a.kind == TOK_PLACE && b.kind == TOK_NOT && t.at(b.right).kind == TOK_PLACE &&
                   t.at(b.right).place == a.place;
        };
        if (negates(l, r) || negates(r, l)) return t.add(absorbing);
        return i;
    }
    case TOK_NOT: {
        const TreeNode c = t.at(n.right);
        if (c.kind == TOK_FALSE) return t.add(TOK_TRUE);
        if (c.kind == TOK_TRUE) return t.add(TOK_FALSE);
        if (c.kind == TOK_NOT) return c.right;
        if ((c.kind == TOK_AND || c.kind == TOK_OR) && t.at(c.left).kind == TOK_NOT &&
            t.at(c.right).kind == TOK_NOT) {
            const int dual = c.kind == TOK_AND ? TOK_OR : TOK_AND;
            const std::int32_t f = t.at(c.left).right, g = t.at(c.right).right;
            return simplify(t, t.add(dual, f, g));
        }
        return i;
    }
    default:
        VELCHECK_ASSERT(!"unknown formula node");
    }
    return i;
}

}  // namespace

void TreeOptimize(FormulaTree& tree) {
    if (tree.root < 0) return;
    // Post-order: (node, children done); results replace the child links.
    std::vector<std::pair<std::int32_t, bool>> stack{{tree.root, false}};
    std::vector<std::int32_t> results;
    while (!stack.empty()) {
        auto [i, done] = stack.back();
        stack.pop_back();
        if (!done) {
            stack.emplace_back(i, true);
            const TreeNode& n = tree.at(i);
            if (n.right >= 0) stack.emplace_back(n.right, false);
            if (n.left >= 0) stack.emplace_back(n.left, false);
            continue;
        }
        if (tree.at(i).right >= 0) {
            tree.at(i).right = results.back();
            results.pop_back();
        }
        if (tree.at(i).left >= 0) {
            tree.at(i).left = results.back();
            results.pop_back();
        }
        results.push_back(simplify(tree, i));
    }
    tree.root = results.back();
}

void EvaluatePlacesInAnyState(FormulaTree& tree, std::int32_t subtree, const BraProcess& prefix) {
    std::vector<std::int32_t> stack{subtree};
    while (!stack.empty()) {
        TreeNode& n = tree.at(stack.back());
        stack.pop_back();
        if (n.kind == TOK_PLACE) {
            if (!prefix.IsPlaceInPrefix(n.place)) {
                n.kind = TOK_FALSE;
                n.place = 0;
            }
            continue;
        }
        if (n.left >= 0) stack.push_back(n.left);
        if (n.right >= 0) stack.push_back(n.right);
    }
}

void EvaluatePlacesInInitialState(FormulaTree& tree, const BraProcess& prefix) {
    if (tree.root < 0) return;
    std::vector<std::int32_t> stack{tree.root};
    while (!stack.empty()) {
        const std::int32_t i = stack.back();
        stack.pop_back();
        TreeNode& n = tree.at(i);
        if (n.kind == TOK_DIAMOND) {
            EvaluatePlacesInAnyState(tree, n.right, prefix);
            continue;
        }
        if (n.kind == TOK_PLACE) {
            n.kind = prefix.IsPlaceInitiallyMarked(n.place) ? TOK_TRUE : TOK_FALSE;
            n.place = 0;
            continue;
        }
        if (n.left >= 0) stack.push_back(n.left);
        if (n.right >= 0) stack.push_back(n.right);
    }
}

void TreeDisplay(std::FILE* out, const FormulaTree& tree, const BraProcess& prefix) {
    if (tree.root < 0) return;
    // Items: a node to print, or a literal text to print.
    struct Item {
        std::int32_t node;
        const char* text;
    };
    std::vector<Item> stack{{tree.root, nullptr}};
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (it.text) {
            std::fputs(it.text, out);
            continue;
        }
        const TreeNode& n = tree.at(it.node);
        switch (n.kind) {
        case TOK_FALSE: std::fputs("false", out); break;
        case TOK_TRUE: std::fputs("true", out); break;
        case TOK_PLACE: std::fputs(prefix.PlaceName(n.place).c_str(), out); break;
        case TOK_DIAMOND:
        case TOK_NOT:
            stack.push_back({-1, ")"});
            stack.push_back({n.right, nullptr});
            stack.push_back({-1, n.kind == TOK_DIAMOND ? "D " : "not "});
            std::fputs("(", out);
            break;
        case TOK_OR:
        case TOK_AND:
            stack.push_back({-1, ")"});
            stack.push_back({n.right, nullptr});
            stack.push_back({-1, n.kind == TOK_OR ? " or " : " and "});
            stack.push_back({n.left, nullptr});
            std::fputs("(", out);
            break;
        default:
            std::fprintf(stderr, "TreeDisplay(): default ?\n");
            std::exit(1);
        }
    }
}

}  // namespace velcheck
