#include "ctl.h"

#include <utility>

#include "output.h"

namespace zbdd {

namespace {

// Nesting deeper than this is refused like a full parser stack, which keeps
// the recursive parser, printer and evaluator within the process stack.  The
// limit holds for the parser's own recursion and for the height of every
// tree it builds: a chain of operators below a parenthesis adds to the tree's
// height without deepening the parser's recursion.
constexpr int kMaxDepth = 1000;

enum class Tok {
    End, Ident, True, False, Not, And, Or, Implies, Implied, Iff, Xor,
    Verify, Against, Begin, EndWord, A, E, U, EX, AX, EF, AF, EG, AG,
    LParen, RParen, LBracket, RBracket, Semicolon, Dot
};

struct CtlToken {
    Tok kind = Tok::End;
    std::string text;
    int line = 1;
};

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

class CtlLexer {
public:
    explicit CtlLexer(const std::string& text) : text_(text) {}

    CtlToken next() {
        const std::size_t n = text_.size();
        for (;;) {
            if (pos_ >= n) return make(Tok::End, "");
            char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == '/' && pos_ + 1 < n && text_[pos_ + 1] == '/') {
                std::size_t end = text_.find('\n', pos_);
                if (end == std::string::npos) error("Unexpected end-of-file in comment");
                pos_ = end;
            } else {
                break;
            }
        }
        const char c = text_[pos_];
        if (isLetter(c) || c == '_') {
            std::size_t end = pos_ + 1;
            while (end < n && (isLetter(text_[end]) || isDigit(text_[end]) || text_[end] == '_')) ++end;
            std::string word = text_.substr(pos_, end - pos_);
            pos_ = end;
            return make(classify(word), word);
        }
        static const struct {
            const char* text;
            Tok kind;
        } symbols[] = {{"<->", Tok::Iff}, {"<=>", Tok::Iff}, {"||", Tok::Or},      {"->", Tok::Implies},
                       {"=>", Tok::Implies}, {"<-", Tok::Implied}, {"<=", Tok::Implied}, {"==", Tok::Iff},
                       {"><", Tok::Xor},  {"=", Tok::Iff},     {"!", Tok::Not},     {"~", Tok::Not},
                       {"&", Tok::And},   {"*", Tok::And},     {"^", Tok::And},     {"+", Tok::Or},
                       {"|", Tok::Or},    {"%", Tok::Xor},     {"(", Tok::LParen},  {")", Tok::RParen},
                       {"[", Tok::LBracket}, {"]", Tok::RBracket}, {";", Tok::Semicolon}, {".", Tok::Dot}};
        for (const auto& s : symbols) {
            const std::string sym = s.text;
            if (text_.compare(pos_, sym.size(), sym) == 0) {
                pos_ += sym.size();
                return make(s.kind, sym);
            }
        }
        error(format("illegal character: %c '(0x%x)", c, static_cast<unsigned char>(c)));
    }

    int line() const { return line_; }

private:
    static Tok classify(const std::string& w) {
        const std::string u = upper(w);
        if (u == "TRUE") return Tok::True;
        if (u == "FALSE") return Tok::False;
        if (u == "NOT") return Tok::Not;
        if (u == "AND") return Tok::And;
        if (u == "OR") return Tok::Or;
        if (u == "XOR") return Tok::Xor;
        if (u == "IFI" || u == "EQUIV") return Tok::Iff;
        if (u == "IMPLIES") return Tok::Implies;
        if (u == "IMPLIED_BY") return Tok::Implied;
        if (w == "tt") return Tok::True;
        if (w == "ff") return Tok::False;
        static const struct {
            const char* text;
            Tok kind;
        } upperOnly[] = {{"VERIFY", Tok::Verify}, {"AGAINST", Tok::Against}, {"BEGIN", Tok::Begin},
                         {"END", Tok::EndWord},   {"A", Tok::A},             {"E", Tok::E},
                         {"U", Tok::U},           {"EX", Tok::EX},           {"AX", Tok::AX},
                         {"EF", Tok::EF},         {"AF", Tok::AF},           {"EG", Tok::EG},
                         {"AG", Tok::AG}};
        for (const auto& k : upperOnly)
            if (w == k.text) return k.kind;
        return Tok::Ident;
    }
    CtlToken make(Tok kind, std::string text) const { return CtlToken{kind, std::move(text), line_}; }
    [[noreturn]] void error(const std::string& msg) const {
        throw Fatal(format("CTL: Lexical error in line %d: ", line_) + msg + "\n");
    }

    const std::string& text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

class CtlParser {
public:
    CtlParser(const std::string& text, const std::string& fileName) : lexer_(text), fileName_(fileName) {
        tok_ = lexer_.next();
    }

    CtlFile parseFile() {
        CtlFile file;
        expect(Tok::Verify);
        expect(Tok::Ident);
        expect(Tok::Against);
        expect(Tok::Begin);
        while (tok_.kind != Tok::EndWord) {
            if (tok_.kind == Tok::Semicolon) {
                advance();
                file.entries.push_back(nullptr);
                continue;
            }
            file.entries.push_back(formula(0));
            expect(Tok::Semicolon);
        }
        advance();
        expect(Tok::Dot);
        if (tok_.kind != Tok::End) error("parse error");
        return file;
    }

private:
    using Ptr = std::unique_ptr<CtlFormula>;

    [[noreturn]] void error(const char* msg) const {
        fatal("CTL: %s: line %d, Error: %s (near `%s').\n", fileName_.c_str(), tok_.line, msg, tok_.text.c_str());
    }
    void advance() { tok_ = lexer_.next(); }
    void expect(Tok kind) {
        if (tok_.kind != kind) error("parse error");
        advance();
    }
    Ptr make(CtlKind kind, Ptr left = nullptr, Ptr right = nullptr) {
        Ptr f = std::make_unique<CtlFormula>();
        f->kind = kind;
        f->left = std::move(left);
        f->right = std::move(right);
        f->line = tok_.line;
        for (const Ptr* child : {&f->left, &f->right})
            if (*child && (*child)->height >= f->height) f->height = (*child)->height + 1;
        if (f->height > kMaxDepth) error("parser stack overflow");
        return f;
    }
    void enter(int depth) const {
        if (depth > kMaxDepth) error("parser stack overflow");
    }

    // The connective level: IMPLIES, IMPLIED, IFF and XOR, left-associative.
    Ptr formula(int depth) {
        enter(depth);
        Ptr left = disjunction(depth + 1);
        for (int chain = 1;; ++chain) {
            CtlKind kind;
            switch (tok_.kind) {
            case Tok::Implies: kind = CtlKind::Implies; break;
            case Tok::Implied: kind = CtlKind::Implied; break;
            case Tok::Iff: kind = CtlKind::Iff; break;
            case Tok::Xor: kind = CtlKind::Xor; break;
            default: return left;
            }
            advance();
            enter(depth + chain);
            left = make(kind, std::move(left), disjunction(depth + 1));
        }
    }
    Ptr disjunction(int depth) {
        Ptr left = conjunction(depth);
        for (int chain = 1; tok_.kind == Tok::Or; ++chain) {
            enter(depth + chain);
            advance();
            left = make(CtlKind::Or, std::move(left), conjunction(depth));
        }
        return left;
    }
    static bool startsUnary(Tok t) {
        switch (t) {
        case Tok::Not: case Tok::EX: case Tok::AX: case Tok::EF: case Tok::AF: case Tok::EG: case Tok::AG:
        case Tok::A: case Tok::E: case Tok::True: case Tok::False: case Tok::Ident: case Tok::LParen:
            return true;
        default:
            return false;
        }
    }
    // AND, also written as two operands side by side.
    Ptr conjunction(int depth) {
        Ptr left = unary(depth);
        for (int chain = 1;; ++chain) {
            if (tok_.kind == Tok::And) {
                advance();
            } else if (!startsUnary(tok_.kind)) {
                return left;
            }
            enter(depth + chain);
            left = make(CtlKind::And, std::move(left), unary(depth));
        }
    }
    Ptr unary(int depth) {
        enter(depth);
        CtlKind kind;
        switch (tok_.kind) {
        case Tok::Not: kind = CtlKind::Not; break;
        case Tok::EX: kind = CtlKind::EX; break;
        case Tok::AX: kind = CtlKind::AX; break;
        case Tok::EF: kind = CtlKind::EF; break;
        case Tok::AF: kind = CtlKind::AF; break;
        case Tok::EG: kind = CtlKind::EG; break;
        case Tok::AG: kind = CtlKind::AG; break;
        case Tok::A:
        case Tok::E: {
            const CtlKind until = tok_.kind == Tok::A ? CtlKind::AU : CtlKind::EU;
            advance();
            const Tok close = tok_.kind == Tok::LBracket ? Tok::RBracket : Tok::RParen;
            if (tok_.kind != Tok::LBracket && tok_.kind != Tok::LParen) error("parse error");
            advance();
            Ptr f = unary(depth + 1);
            expect(Tok::U);
            Ptr g = unary(depth + 1);
            expect(close);
            return make(until, std::move(f), std::move(g));
        }
        case Tok::True: advance(); return make(CtlKind::True);
        case Tok::False: advance(); return make(CtlKind::False);
        case Tok::Ident: {
            Ptr f = make(CtlKind::Ident);
            f->name = tok_.text;
            advance();
            return f;
        }
        case Tok::LParen: {
            advance();
            Ptr f = formula(depth + 1);
            expect(Tok::RParen);
            return make(CtlKind::Paren, std::move(f));
        }
        default: error("parse error");
        }
        advance();
        return make(kind, unary(depth + 1));
    }

    CtlLexer lexer_;
    std::string fileName_;
    CtlToken tok_;
};

void resolve(CtlFormula* f, const NetTables& net) {
    if (!f) return;
    if (f->kind == CtlKind::Ident) {
        f->place = net.findPlaceByName(f->name);
        if (f->place < 0) fatal("Placename %s in line %d is not defined!\n", f->name.c_str(), f->line);
    }
    resolve(f->left.get(), net);
    resolve(f->right.get(), net);
}

void appendText(const CtlFormula& f, std::string& out) {
    static const char* const separators[] = {" * ", " + ", " -> ", " <- ", " <-> ", " % "};
    switch (f.kind) {
    case CtlKind::True: out += "true"; return;
    case CtlKind::False: out += "false"; return;
    case CtlKind::Ident: out += f.name; return;
    case CtlKind::Not: out += "!"; appendText(*f.left, out); return;
    case CtlKind::And: case CtlKind::Or: case CtlKind::Implies:
    case CtlKind::Implied: case CtlKind::Iff: case CtlKind::Xor:
        appendText(*f.left, out);
        out += separators[static_cast<int>(f.kind) - static_cast<int>(CtlKind::And)];
        appendText(*f.right, out);
        return;
    case CtlKind::EU: case CtlKind::AU:
        out += f.kind == CtlKind::AU ? "A [" : "E [";
        appendText(*f.left, out);
        out += " U ";
        appendText(*f.right, out);
        out += "]";
        return;
    case CtlKind::EX: out += "EX "; break;
    case CtlKind::AX: out += "AX "; break;
    case CtlKind::EF: out += "EF "; break;
    case CtlKind::AF: out += "AF "; break;
    case CtlKind::EG: out += "EG "; break;
    case CtlKind::AG: out += "AG "; break;
    case CtlKind::Paren:
        out += "(";
        appendText(*f.left, out);
        out += ")";
        return;
    }
    appendText(*f.left, out);
}

class Evaluator {
public:
    explicit Evaluator(const NetEncoding& enc) : enc_(enc), feeders_(enc.nOrd) {
        // feeders_[i]: the positions whose transition puts a token on a
        // place that the transition at position i takes or reads.
        std::vector<std::vector<int>> producers(enc.nP);
        for (int j = 0; j < enc.nOrd; ++j) {
            const TransitionVector& v = vector(j);
            for (std::size_t k = 0; k + 1 < v.size(); k += 2)
                if (v[k + 1] == kProduce || v[k + 1] == kInhibitProduce) producers[v[k]].push_back(j);
        }
        for (int i = 0; i < enc.nOrd; ++i) {
            const TransitionVector& v = vector(i);
            for (std::size_t k = 0; k + 1 < v.size(); k += 2)
                if (v[k + 1] == kConsume || v[k + 1] == kTest)
                    feeders_[i].insert(feeders_[i].end(), producers[v[k]].begin(), producers[v[k]].end());
        }
    }

    Zbdd eval(const CtlFormula& f) {
        const Zbdd& rs = enc_.rs;
        switch (f.kind) {
        case CtlKind::True: trace("ID_TRUE\n"); return rs;
        case CtlKind::False: trace("ID_FALSE\n"); return Zbdd(0);
        case CtlKind::Ident:
            debugMessage(2, "ID_IDENT %d\n", f.place);
            return onset(rs, enc_.variableOf[f.place]);
        case CtlKind::Paren: return eval(*f.left);
        case CtlKind::Not: trace("ID_NOT\n"); return neg(eval(*f.left));
        case CtlKind::EX: trace("ID_EX\n"); return ex(eval(*f.left));
        case CtlKind::AX: trace("ID_AX\n"); return ax(eval(*f.left));
        case CtlKind::EF: trace("ID_EF\n"); return eu(rs, eval(*f.left));
        case CtlKind::AF: trace("ID_AF\n"); return neg(eg(neg(eval(*f.left))));
        case CtlKind::AG: trace("ID_AG\n"); return neg(eu(rs, neg(eval(*f.left))));
        case CtlKind::EG: trace("ID_EG\n"); return eg(eval(*f.left));
        default: break;
        }
        static const char* const names[] = {"ID_AND\n", "ID_OR\n", "ID_IMPLIES\n", "ID_IMPLIED\n",
                                            "ID_IFF\n", "ID_XOR\n"};
        if (f.kind == CtlKind::And || f.kind == CtlKind::Or) {
            // A chain a1 AND a2 AND ... AND an leans to the left.  Its
            // operands are evaluated in the usual order (right operand
            // first, so an, ..., a1), but each is combined at once: the
            // chain holds two diagrams, not one per operand, and long
            // conjunctions fit the few external references.
            Zbdd acc = Zbdd(0);
            bool first = true;
            const CtlFormula* link = &f;
            for (; link->kind == f.kind; link = link->left.get()) {
                trace(names[static_cast<int>(f.kind) - static_cast<int>(CtlKind::And)]);
                Zbdd g = eval(*link->right);
                acc = first ? std::move(g) : combine(f.kind, g, acc);
                first = false;
            }
            return combine(f.kind, eval(*link), acc);
        }
        if (f.kind == CtlKind::EU || f.kind == CtlKind::AU)
            trace(f.kind == CtlKind::EU ? "ID_EVENTUALLY ID_UNTIL\n" : "ID_ALWAYS ID_UNTIL\n");
        else
            trace(names[static_cast<int>(f.kind) - static_cast<int>(CtlKind::And)]);
        const Zbdd g = eval(*f.right);  // the right operand first
        const Zbdd h = eval(*f.left);
        switch (f.kind) {
        case CtlKind::And: return intersect(h, g);
        case CtlKind::Or: return unite(h, g);
        case CtlKind::Implies: return unite(neg(h), g);
        case CtlKind::Implied: return unite(h, neg(g));
        case CtlKind::Iff: return intersect(unite(h, neg(g)), unite(neg(h), g));
        case CtlKind::Xor: return unite(intersect(h, neg(g)), intersect(neg(h), g));
        case CtlKind::EU: return eu(h, g);
        default: return au(h, g);
        }
    }

private:
    static void trace(const char* name) { debugMessage(2, "%s", name); }
    // AND or OR of a left operand h and a right operand g.
    static Zbdd combine(CtlKind kind, const Zbdd& h, const Zbdd& g) {
        return kind == CtlKind::And ? intersect(h, g) : unite(h, g);
    }
    Zbdd neg(const Zbdd& x) const { return difference(enc_.rs, x); }
    Zbdd ex(const Zbdd& x) const {
        Zbdd r(0);
        for (int i = 0; i < enc_.nOrd; ++i)
            r = unite(r, preImage(x, enc_.records[enc_.firingOrder[i]].vector, static_cast<std::uint32_t>(i)));
        message(".");
        return intersect(r, enc_.rs);
    }
    Zbdd ax(const Zbdd& x) const { return neg(ex(neg(x))); }
    const TransitionVector& vector(int i) const { return enc_.records[enc_.firingOrder[i]].vector; }
    static std::uint32_t aux(int i) { return static_cast<std::uint32_t>(i); }
    // E[f U g], the least Y with Y = g + (f * EX Y).  Each pass adds the
    // f-predecessors under one transition after the other to the growing Y,
    // as the reachability set adds successors; going backwards, it takes the
    // transitions in the reverse of the firing order (which follows the
    // token flow), so that one pass goes back along a whole chain of
    // transitions, and it goes back at once to the transitions feeding one
    // that added markings, so that a chain running against the firing
    // order (round a ring) takes one pass too.  Only the markings that a
    // transition may not have seen yet need its pre-image: those added
    // since the previous pass began.  Every marking added is in the least
    // fixpoint, and a pass that adds none ends it, so the result is the
    // same as with one whole EX per step.
    Zbdd eu(const Zbdd& f, const Zbdd& g) const {
        Zbdd y = g, fresh = g;
        std::vector<int> work;
        std::vector<char> queued(enc_.nOrd, 0);
        for (;;) {
            Zbdd gained(0);
            for (int i = enc_.nOrd; i-- > 0;) {
                // Markings added by one transition may have predecessors
                // under the transitions feeding it that this pass has
                // already taken: those go again at once, rather than in
                // the next pass.
                work.assign(1, i);
                queued[i] = 1;
                while (!work.empty()) {
                    const int t = work.back();
                    work.pop_back();
                    queued[t] = 0;
                    const Zbdd added = difference(intersect(f, preImage(fresh, vector(t), aux(t))), y);
                    if (added.isEmpty()) continue;
                    y = unite(y, added);
                    fresh = unite(fresh, added);
                    gained = unite(gained, added);
                    for (int u : feeders_[t])
                        if (u > i && !queued[u]) {
                            queued[u] = 1;
                            work.push_back(u);
                        }
                }
            }
            message(".");
            if (gained.isEmpty()) return y;
            fresh = gained;
        }
    }
    // EG f, the greatest Z with Z = f * EX Z (a marking without successors
    // satisfies no EG): Z shrinks to its markings with a successor in Z.
    // Each step takes the pre-images of Z itself, which share the structure
    // of Z (and the cache entries of the step before), rather than of the
    // markings just removed, whose pre-images have no such structure.
    Zbdd eg(const Zbdd& f) const {
        Zbdd z = f;
        for (;;) {
            Zbdd pre(0);
            for (int i = enc_.nOrd; i-- > 0;)
                pre = unite(pre, preImage(z, vector(i), aux(i)));
            Zbdd kept = intersect(z, pre);
            message(".");
            if (kept == z) return z;
            z = kept;
        }
    }
    // A[f U g]: a marking fails it when a path of !g markings leads to one
    // with !f * !g, or when an infinite path keeps !g for ever; a marking
    // without successors that has f satisfies it.
    Zbdd au(const Zbdd& f, const Zbdd& g) const {
        const Zbdd notG = neg(g);
        const Zbdd fails = unite(eu(notG, intersect(notG, neg(f))), eg(notG));
        return neg(fails);
    }
    const NetEncoding& enc_;
    std::vector<std::vector<int>> feeders_;
};

}  // namespace

CtlFile parseCtlFile(const std::string& text, const std::string& fileName) {
    CtlParser parser(text, fileName);
    return parser.parseFile();
}

void resolveCtlNames(CtlFile& file, const NetTables& net) {
    for (auto& f : file.entries) resolve(f.get(), net);
}

std::string formulaText(const CtlFormula& f) {
    std::string out;
    appendText(f, out);
    return out;
}

Zbdd evalFormula(const CtlFormula& f, const NetEncoding& enc) {
    Evaluator e(enc);
    return e.eval(f);
}

void checkFormulas(const CtlFile& file, const NetEncoding& enc) {
    const Zbdd init = enc.initialMarking();
    int number = 0;
    for (const auto& f : file.entries) {
        if (!f) continue;
        ++number;
        const TimeStamp start = takeTime();
        message("Start checking formula %d:\n", number);
        message("%s;\n", formulaText(*f).c_str());
        const Zbdd r = evalFormula(*f, enc);
        if (!intersect(r, init).isEmpty())
            message("\n-> the formula %d is TRUE\n", number);
        else
            message("\n-> the formula %d is FASLE\n", number);
        message("MC time: %s\n\n", elapsedText(start, takeTime()).c_str());
    }
}

}  // namespace zbdd
