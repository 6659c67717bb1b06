// An operator-precedence parser with typed operands.
//
// The grammar (line, formula, expression, easyexpression, marking,
// easy_marking, rangelist, range) is parsed with two explicit stacks: the
// operands (each an integer expression, a marking, a formula or a range,
// and whether it is "easy", that is a primary) and the pending operators
// and open brackets.  A binary operator reduces the pending operators of
// higher precedence first, then takes its meaning from its left operand:
// "*" between markings is the cartesian product, between integers the
// product.  A reduction whose operand kinds do not fit is left for later, as
// an LR parser would shift: - 1<.2.> == p is -(1<.2.> == p).
#include "parser.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "diag.h"
#include "net.h"

namespace tulc {

namespace {

enum PT {
    T_LPAR, T_RPAR, T_LBRACK, T_RBRACK, T_LMARK, T_RMARK, T_EMPTY, T_CARD, T_FIELD,
    T_UNTIL, T_UNLESS, T_OR, T_IMPLIES, T_AND, T_NOT, T_EVENTUALLY, T_HENCEFORTH,
    T_COMMA, T_D_PERIOD, T_QUEST, T_COLON, T_D_BAR, T_D_ET, T_BAR, T_CARET, T_ET,
    T_EQ, T_NE, T_LT, T_LE, T_GT, T_GE, T_RSHIFT, T_LSHIFT, T_PLUS, T_MINUS,
    T_ASTERISK, T_SLASH, T_PERCENT, T_EXCL, T_TILDE, T_STRING, T_NUMBER, T_EOL,
    T_OTHER, T_END,
};

struct Tok {
    PT type = T_END;
    std::uint32_t number = 0;
    std::size_t start = 0;   // characters consumed before the token
    std::size_t length = 0;
    std::size_t End() const { return start + length; }
};

// Scans the collected pieces; a newline ends the text.
class Scanner {
public:
    explicit Scanner(const std::vector<std::string>& pieces) : pieces_(pieces) {}

    Tok Next() {
        int c;
        do c = Get();
        while (c == ' ' || c == '\t');
        Tok t;
        t.start = column_ - (c < 0 ? 0 : 1);
        if (c < 0) {
            t.start = column_;
            t.type = T_END;
            return t;
        }
        if (c == '\n') return Done(t, T_EOL);
        if (c >= '0' && c <= '9') {
            unsigned long long v = 0;
            bool saturated = false;
            for (; c >= '0' && c <= '9'; c = Get()) {
                unsigned d = static_cast<unsigned>(c - '0');
                if (v > (~0ull - d) / 10) saturated = true;
                if (!saturated) v = v * 10 + d;
            }
            Unget(c);
            t.number = static_cast<std::uint32_t>(saturated ? ~0ull : v);
            return Done(t, T_NUMBER);
        }
        if (IsNameStart(c)) {
            std::string word;
            for (; IsNameStart(c) || (c >= '0' && c <= '9'); c = Get()) word += static_cast<char>(c);
            Unget(c);
            return Done(t, Keyword(word));
        }
        int d = Get();
        auto two = [&](char second, PT type) -> std::optional<Tok> {
            if (d == second) return Done(t, type);
            return std::nullopt;
        };
        std::optional<Tok> r;
        switch (c) {
        case '<': (r = two('.', T_LMARK)) || (r = two('=', T_LE)) || (r = two('<', T_LSHIFT)); break;
        case '>': (r = two('=', T_GE)) || (r = two('>', T_RSHIFT)); break;
        case '.': (r = two('>', T_RMARK)) || (r = two('.', T_D_PERIOD)); break;
        case '|': r = two('|', T_D_BAR); break;
        case '&': r = two('&', T_D_ET); break;
        case '=': r = two('=', T_EQ); break;
        case '!': r = two('=', T_NE); break;
        default: break;
        }
        if (r) return *r;
        Unget(d);
        switch (c) {
        case '(': return Done(t, T_LPAR);
        case ')': return Done(t, T_RPAR);
        case '[': return Done(t, T_LBRACK);
        case ']': return Done(t, T_RBRACK);
        case ',': return Done(t, T_COMMA);
        case '?': return Done(t, T_QUEST);
        case ':': return Done(t, T_COLON);
        case '|': return Done(t, T_BAR);
        case '^': return Done(t, T_CARET);
        case '&': return Done(t, T_ET);
        case '<': return Done(t, T_LT);
        case '>': return Done(t, T_GT);
        case '+': return Done(t, T_PLUS);
        case '-': return Done(t, T_MINUS);
        case '*': return Done(t, T_ASTERISK);
        case '/': return Done(t, T_SLASH);
        case '%': return Done(t, T_PERCENT);
        case '!': return Done(t, T_EXCL);
        case '~': return Done(t, T_TILDE);
        default: return Done(t, T_OTHER);
        }
    }

private:
    static bool IsNameStart(int c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
    }
    static PT Keyword(const std::string& w) {
        static const struct {
            const char* word;
            PT type;
        } words[] = {
            {"empty", T_EMPTY},     {"card", T_CARD},     {"field", T_FIELD},     {"until", T_UNTIL},
            {"unless", T_UNLESS},   {"or", T_OR},         {"implies", T_IMPLIES}, {"and", T_AND},
            {"not", T_NOT},         {"eventually", T_EVENTUALLY}, {"henceforth", T_HENCEFORTH},
        };
        for (const auto& k : words)
            if (w == k.word) return k.type;
        return T_STRING;
    }
    Tok Done(Tok t, PT type) {
        t.type = type;
        t.length = column_ - t.start;
        return t;
    }
    int Get() {
        if (pushed_ >= 0) {
            int c = pushed_;
            pushed_ = -1;
            ++column_;
            return c;
        }
        while (piece_ < pieces_.size() && pos_ >= pieces_[piece_].size()) {
            ++piece_;
            pos_ = 0;
        }
        if (piece_ < pieces_.size()) {
            ++column_;
            return static_cast<unsigned char>(pieces_[piece_][pos_++]);
        }
        if (!eolSent_) {
            eolSent_ = true;
            ++column_;
            return '\n';
        }
        return -1;
    }
    void Unget(int c) {
        if (c < 0) return;
        pushed_ = c;
        --column_;
    }

    const std::vector<std::string>& pieces_;
    std::size_t piece_ = 0, pos_ = 0, column_ = 0;
    bool eolSent_ = false;
    int pushed_ = -1;
};

enum class Kind { kInt, kMk, kFormula, kRange };

struct Operand {
    Kind kind = Kind::kInt;
    bool easy = false;  // an easyexpression or an easy_marking
    IntTree i;
    MkTree m;
    Formula f;
    RangePair r;
    std::uint32_t depth = 0;  // nesting of formula operators
};

enum class OpType { kMarker, kQuestion, kPrefix, kBinary, kCond, kFilter, kScalar };
enum class Marker { kParen, kCard, kField, kTuple };
enum class Cat { kInt, kMk, kMkCompare, kFormula, kRange };

enum FormulaOp : std::uint32_t { F_NOT, F_EVENTUALLY, F_HENCEFORTH, F_AND, F_OR, F_IMPLIES, F_UNTIL, F_UNLESS };

struct StackOp {
    OpType type = OpType::kMarker;
    Marker marker = Marker::kParen;
    Cat cat = Cat::kInt;
    std::uint32_t code = 0;  // IntOp, MkOp or FormulaOp
    bool swap = false;       // a > b is built as b < a
    int prec = 0;
    bool formulaPrefix = false;
    std::size_t base = 0;             // kMarker: operand count when opened
    std::vector<RangePair> ranges;    // kTuple
};

// Precedence of a binary token (higher binds tighter); 0 when not binary.
int TokenPrec(PT t) {
    switch (t) {
    case T_D_PERIOD: return 1;
    case T_UNTIL:
    case T_UNLESS: return 2;
    case T_OR:
    case T_IMPLIES: return 3;
    case T_AND: return 4;
    case T_QUEST: return 6;
    case T_D_BAR: return 7;
    case T_D_ET: return 8;
    case T_BAR: return 9;
    case T_CARET: return 10;
    case T_ET: return 11;
    case T_EQ:
    case T_NE: return 12;
    case T_LT:
    case T_LE:
    case T_GT:
    case T_GE: return 13;
    case T_LSHIFT:
    case T_RSHIFT: return 14;
    case T_PLUS:
    case T_MINUS: return 15;
    case T_ASTERISK:
    case T_SLASH:
    case T_PERCENT: return 16;
    default: return 0;
    }
}
constexpr int kFormulaPrefixPrec = 5;
constexpr int kPrefixPrec = 17;
constexpr int kSumPrec = 15;  // marking + - and &

bool StartsEasyMarking(PT t) { return t == T_STRING || t == T_EMPTY || t == T_LMARK || t == T_LPAR; }
bool StartsEasyExpression(PT t) { return t == T_NUMBER || t == T_CARD || t == T_FIELD || t == T_LPAR; }

IntTree IntMake(IntTree n) { return ParseErrorState() ? nullptr : std::move(n); }
MkTree MkMake(MkTree n) { return ParseErrorState() ? nullptr : std::move(n); }

class Parser {
public:
    Parser(const std::vector<std::string>& pieces) : pieces_(pieces), scan_(pieces) {}

    // The result: kind and value; kNone for an empty line.
    enum class Result { kNone, kMarking, kFormula, kFailed };
    Result Run(Marking* marking, Formula* formula);

private:
    // ----- errors
    void SyntaxError(const Tok& at) {
        std::fputs("parse error\n", ErrStream());
        std::fflush(ErrStream());
        MarkFailed();
        if (ParseErrorState() == 0) {
            const char* header;
            int state;
            ErrorContext(&header, &state);
            ErrText(header);
            Echo(at.End(), std::max<std::size_t>(at.length, 1));
            ParseErrorState() = state;
        }
        failed_ = true;
    }
    void StackOverflow() {
        ErrText("parser stack overflow\n");
        MarkFailed();
        if (ParseErrorState() == 0) ParseErrorState() = kErrExpression;
        failed_ = true;
    }
    // Which error rule would catch the error here.
    void ErrorContext(const char** header, int* state) {
        *header = "Error in expression:\n";
        *state = kErrExpression;
        const StackOp* marker = nullptr;
        for (auto it = ops_.rbegin(); it != ops_.rend(); ++it)
            if (it->type == OpType::kMarker || it->type == OpType::kQuestion) {
                marker = &*it;
                break;
            }
        bool wantsMarking = false;
        if (expectOperand_ && !ops_.empty()) {
            const StackOp& top = ops_.back();
            wantsMarking = (top.type == OpType::kBinary && (top.cat == Cat::kMk || top.cat == Cat::kMkCompare)) ||
                           top.type == OpType::kScalar ||
                           (top.type == OpType::kMarker && top.marker == Marker::kCard);
        } else if (!expectOperand_ && marker && marker->type == OpType::kMarker && marker->marker == Marker::kCard) {
            wantsMarking = true;
        }
        // An operator still waiting for its operands makes the context an
        // expression (or a marking).
        const StackOp* pending = nullptr;
        for (auto it = ops_.rbegin(); it != ops_.rend() && it->type != OpType::kMarker; ++it)
            if (it->type == OpType::kBinary || it->type == OpType::kPrefix || it->type == OpType::kCond) {
                pending = &*it;
                break;
            }
        if (!expectOperand_ && pending && pending->type == OpType::kBinary &&
            (pending->cat == Cat::kMk || pending->cat == Cat::kMkCompare))
            wantsMarking = true;
        if (wantsMarking) {
            *header = "Error in marking expression:\n";
            *state = kErrMarking;
        } else if ((ops_.empty() && operands_.empty()) || (!expectOperand_ && !marker && !pending)) {
            *header = "Error in formula:\n";
            *state = kErrFormula;
        }
    }
    void Echo(std::size_t column, std::size_t length) {
        std::string s;
        for (const auto& p : pieces_) s += p;
        s += "\n";
        s += std::string(column >= length ? column - length : 0, ' ');
        s += std::string(length, '^');
        s += "\n";
        ErrText(s);
    }

    bool CheckStack() {
        if (operands_.size() + ops_.size() > kParserStackLimit) {
            StackOverflow();
            return false;
        }
        return true;
    }

    // ----- operands
    void PushOperand(Operand o) { operands_.push_back(std::move(o)); }
    Operand PopOperand() {
        Operand o = std::move(operands_.back());
        operands_.pop_back();
        return o;
    }
    static Operand IntOperand(IntTree i, bool easy) {
        Operand o;
        o.kind = Kind::kInt;
        o.i = std::move(i);
        o.easy = easy;
        return o;
    }
    static Operand MkOperand(MkTree m, bool easy) {
        Operand o;
        o.kind = Kind::kMk;
        o.m = std::move(m);
        o.easy = easy;
        return o;
    }
    // An integer expression used as a formula is an atom.
    static bool AsFormula(Operand& o) {
        if (o.kind == Kind::kFormula) return true;
        if (o.kind != Kind::kInt) return false;
        o.kind = Kind::kFormula;
        o.f = o.i ? ForMakeAtom(std::move(o.i)) : nullptr;
        o.depth = 1;
        o.easy = false;
        return true;
    }
    static bool FormulaLike(const Operand& o) { return o.kind == Kind::kFormula || o.kind == Kind::kInt; }

    // ----- reductions
    std::size_t Arity(const StackOp& op) const {
        switch (op.type) {
        case OpType::kPrefix: return 1;
        case OpType::kCond: return 3;
        default: return 2;
        }
    }
    bool CanReduce(const StackOp& op) const {
        std::size_t n = Arity(op);
        if (operands_.size() < n) return false;
        const Operand* a = &operands_[operands_.size() - n];
        switch (op.type) {
        case OpType::kPrefix: return op.formulaPrefix ? FormulaLike(a[0]) : a[0].kind == Kind::kInt;
        case OpType::kCond: return a[0].kind == Kind::kInt && a[1].kind == Kind::kInt && a[2].kind == Kind::kInt;
        case OpType::kFilter: return a[0].kind == Kind::kMk && a[1].kind == Kind::kInt && a[1].easy;
        case OpType::kScalar: return a[0].kind == Kind::kInt && a[1].kind == Kind::kMk && a[1].easy;
        case OpType::kBinary:
            switch (op.cat) {
            case Cat::kInt:
            case Cat::kRange: return a[0].kind == Kind::kInt && a[1].kind == Kind::kInt;
            case Cat::kMk:
            case Cat::kMkCompare: return a[0].kind == Kind::kMk && a[1].kind == Kind::kMk;
            case Cat::kFormula: return FormulaLike(a[0]) && FormulaLike(a[1]);
            }
            return false;
        default: return false;
        }
    }

    Formula MakeFormula(std::uint32_t code, Formula a, Formula b) {
        switch (code) {
        case F_NOT: return ForNot(std::move(a));
        case F_EVENTUALLY: return ForMake(FORMULA::kUntil, ForTrue(), std::move(a));
        case F_HENCEFORTH: return ForNot(ForMake(FORMULA::kUntil, ForTrue(), ForNot(std::move(a))));
        case F_IMPLIES: return ForMake(FORMULA::kImplies, std::move(a), std::move(b));
        case F_OR: return ForMake(FORMULA::kImplies, ForNot(std::move(a)), std::move(b));
        case F_AND: return ForNot(ForMake(FORMULA::kImplies, std::move(a), ForNot(std::move(b))));
        case F_UNTIL: return ForMake(FORMULA::kUntil, std::move(a), std::move(b));
        case F_UNLESS: {
            // henceforth a, or a until b
            Formula a2 = ForCopy(a.get());
            Formula always = ForMake(FORMULA::kUntil, ForTrue(), ForNot(std::move(a)));
            return ForMake(FORMULA::kImplies, std::move(always), ForMake(FORMULA::kUntil, std::move(a2), std::move(b)));
        }
        default: return nullptr;
        }
    }

    bool Reduce() {
        StackOp op = std::move(ops_.back());
        ops_.pop_back();
        const std::size_t n = Arity(op);
        std::vector<Operand> a(n);
        for (std::size_t k = n; k-- > 0;) a[k] = PopOperand();
        Operand r;
        switch (op.type) {
        case OpType::kPrefix:
            if (op.formulaPrefix) {
                AsFormula(a[0]);
                r.kind = Kind::kFormula;
                r.depth = a[0].depth + 1;
                r.f = ParseErrorState() ? nullptr : MakeFormula(op.code, std::move(a[0].f), nullptr);
            } else {
                r = IntOperand(IntMake(IntUnary(op.code, std::move(a[0].i))), false);
            }
            break;
        case OpType::kCond:
            r = IntOperand(IntMake(IntCond(std::move(a[0].i), std::move(a[1].i), std::move(a[2].i))), false);
            break;
        case OpType::kFilter:
            r = MkOperand(MkMake(MkScalar(MK_FILTER, std::move(a[1].i), std::move(a[0].m))), false);
            break;
        case OpType::kScalar:
            r = MkOperand(MkMake(MkScalar(MK_SCALE, std::move(a[0].i), std::move(a[1].m))), false);
            break;
        case OpType::kBinary: {
            Operand& x = op.swap ? a[1] : a[0];
            Operand& y = op.swap ? a[0] : a[1];
            switch (op.cat) {
            case Cat::kInt: r = IntOperand(IntMake(IntBinary(op.code, std::move(x.i), std::move(y.i))), false); break;
            case Cat::kMk: r = MkOperand(MkMake(MkBinary(op.code, std::move(x.m), std::move(y.m))), false); break;
            case Cat::kMkCompare:
                r = IntOperand(IntMake(IntMkCompare(op.code, std::move(x.m), std::move(y.m))), false);
                break;
            case Cat::kRange:
                r.kind = Kind::kRange;
                r.r = PairCons(std::move(a[0].i), std::move(a[1].i));
                break;
            case Cat::kFormula:
                AsFormula(a[0]);
                AsFormula(a[1]);
                r.kind = Kind::kFormula;
                r.depth = std::max(a[0].depth, a[1].depth) + 1;
                r.f = ParseErrorState() ? nullptr : MakeFormula(op.code, std::move(a[0].f), std::move(a[1].f));
                break;
            }
            break;
        }
        default: return false;
        }
        if (r.kind == Kind::kFormula && r.depth > kFormulaDepthLimit) {
            StackOverflow();
            return false;
        }
        PushOperand(std::move(r));
        return true;
    }

    // Reduces pending operators that bind tighter than a binary token of
    // precedence prec.
    void ReduceFor(int prec, bool rightAssoc) {
        while (!ops_.empty() && !failed_) {
            const StackOp& top = ops_.back();
            if (top.type == OpType::kMarker || top.type == OpType::kQuestion) return;
            if (!(top.prec > prec || (top.prec == prec && !rightAssoc))) return;
            if (!CanReduce(top)) return;
            Reduce();
        }
    }

    // Reduces everything down to the innermost marker (or "?"); false when
    // an operator cannot be reduced.
    bool ReduceToMarker() {
        while (!ops_.empty() && !failed_) {
            const StackOp& top = ops_.back();
            if (top.type == OpType::kMarker || top.type == OpType::kQuestion) return true;
            if (!CanReduce(top)) return false;
            if (!Reduce()) return false;
        }
        return !failed_;
    }

    void PushOp(StackOp op) { ops_.push_back(std::move(op)); }
    void PushMarker(Marker m) {
        StackOp op;
        op.type = OpType::kMarker;
        op.marker = m;
        op.base = operands_.size();
        PushOp(std::move(op));
    }

    // After a primary: a pending filter or scalar product takes it at once;
    // an easy integer followed by the start of a marking is a count.
    void AfterPrimary(const Tok& next) {
        if (!ops_.empty() && (ops_.back().type == OpType::kFilter || ops_.back().type == OpType::kScalar)) {
            if (!CanReduce(ops_.back())) return SyntaxError(next);
            Reduce();
            expectOperand_ = false;
            return;
        }
        if (operands_.back().kind == Kind::kInt && operands_.back().easy && StartsEasyMarking(next.type)) {
            StackOp op;
            op.type = OpType::kScalar;
            op.prec = kPrefixPrec + 1;
            PushOp(std::move(op));
            expectOperand_ = true;
            return;
        }
        expectOperand_ = false;
    }

    void Operand_(const Tok& t);
    void Operator_(const Tok& t);
    void CloseBracket(const Tok& t);

    const std::vector<std::string>& pieces_;
    std::vector<std::size_t> pieceEnds_;  // filled at the first name
    Scanner scan_;
    Tok peek_;
    std::vector<Operand> operands_;
    std::vector<StackOp> ops_;
    bool expectOperand_ = true;
    bool failed_ = false;
    bool done_ = false;
};

// The text of the preprocessor token that covers a column; ends[k] is the
// column after piece k.
std::string PieceAt(const std::vector<std::string>& pieces, const std::vector<std::size_t>& ends,
                    std::size_t column) {
    auto it = std::upper_bound(ends.begin(), ends.end(), column);
    return it == ends.end() ? std::string() : pieces[static_cast<std::size_t>(it - ends.begin())];
}

void Parser::Operand_(const Tok& t) {
    // Only a primary may follow ":" of a filter or stand as a count's marking.
    if (!ops_.empty()) {
        if (ops_.back().type == OpType::kFilter && !StartsEasyExpression(t.type)) return SyntaxError(t);
        if (ops_.back().type == OpType::kScalar && !StartsEasyMarking(t.type)) return SyntaxError(t);
    }
    switch (t.type) {
    case T_NUMBER:
        PushOperand(IntOperand(IntMake(IntConst(t.number)), true));
        peek_ = scan_.Next();
        return AfterPrimary(peek_);
    case T_STRING: {
        if (pieceEnds_.size() != pieces_.size()) {
            std::size_t at = 0;
            pieceEnds_.clear();
            for (const auto& p : pieces_) pieceEnds_.push_back(at += p.size());
        }
        const std::string name = PieceAt(pieces_, pieceEnds_, t.start);
        auto& net = Net();
        auto it = net.placeIndex.find(name);
        MkTree m;
        if (it != net.placeIndex.end()) {
            m = MkMake(MkPlace(it->second));
        } else if (ParseErrorState() == 0) {
            ReportError("Place " + name + " not defined");
            Echo(t.End(), t.length);
            ParseErrorState() = kErrMarking;
        }
        PushOperand(MkOperand(std::move(m), true));
        peek_ = scan_.Next();
        return AfterPrimary(peek_);
    }
    case T_EMPTY:
        PushOperand(MkOperand(MkMake(MkConst(Marking())), true));
        peek_ = scan_.Next();
        return AfterPrimary(peek_);
    case T_CARD:
    case T_FIELD: {
        Tok open = scan_.Next();
        if (open.type != (t.type == T_CARD ? T_LPAR : T_LBRACK)) return SyntaxError(open);
        PushMarker(t.type == T_CARD ? Marker::kCard : Marker::kField);
        break;
    }
    case T_LPAR: PushMarker(Marker::kParen); break;
    case T_LMARK: {
        Tok next = scan_.Next();
        // <. .> is one token of arity 0, as in the terms of a transition:
        // 5<. .> marks a place of arity 0 with five tokens.
        if (next.type == T_RMARK) {
            PushOperand(MkOperand(MkMake(MkConst(Marking::Single(Tuple{}))), true));
            peek_ = scan_.Next();
            return AfterPrimary(peek_);
        }
        PushMarker(Marker::kTuple);
        peek_ = next;
        return;
    }
    case T_MINUS:
    case T_EXCL:
    case T_TILDE: {
        StackOp op;
        op.type = OpType::kPrefix;
        op.code = t.type == T_MINUS ? I_NEG : t.type == T_EXCL ? I_NOT : I_COMPL;
        op.prec = kPrefixPrec;
        PushOp(std::move(op));
        break;
    }
    case T_NOT:
    case T_EVENTUALLY:
    case T_HENCEFORTH: {
        StackOp op;
        op.type = OpType::kPrefix;
        op.formulaPrefix = true;
        op.code = t.type == T_NOT ? F_NOT : t.type == T_EVENTUALLY ? F_EVENTUALLY : F_HENCEFORTH;
        op.prec = kFormulaPrefixPrec;
        PushOp(std::move(op));
        break;
    }
    case T_EOL:
        if (operands_.empty() && ops_.empty()) {
            done_ = true;
            return;
        }
        return SyntaxError(t);
    default: return SyntaxError(t);
    }
    peek_ = scan_.Next();
}

void Parser::CloseBracket(const Tok& t) {
    if (!ReduceToMarker() || ops_.empty() || ops_.back().type != OpType::kMarker) return SyntaxError(t);
    StackOp marker = std::move(ops_.back());
    ops_.pop_back();
    const bool hasOperand = operands_.size() > marker.base;
    auto addRange = [&] {
        Operand o = PopOperand();
        if (o.kind == Kind::kInt) {
            IntTree copy = o.i ? IntCopy(*o.i) : nullptr;
            marker.ranges.push_back(PairCons(std::move(o.i), std::move(copy)));
        } else {
            marker.ranges.push_back(std::move(o.r));
        }
    };
    auto rangeOk = [&] { return operands_.back().kind == Kind::kInt || operands_.back().kind == Kind::kRange; };
    switch (t.type) {
    case T_COMMA:
        if (marker.marker != Marker::kTuple || !hasOperand || !rangeOk()) return SyntaxError(t);
        addRange();
        PushOp(std::move(marker));
        expectOperand_ = true;
        peek_ = scan_.Next();
        return;
    case T_RMARK:
        if (marker.marker != Marker::kTuple || !hasOperand || !rangeOk()) return SyntaxError(t);
        addRange();
        PushOperand(MkOperand(MkMake(MkRanges(std::move(marker.ranges))), true));
        break;
    case T_RBRACK: {
        if (marker.marker != Marker::kField || !hasOperand || operands_.back().kind != Kind::kInt) return SyntaxError(t);
        Operand o = PopOperand();
        PushOperand(IntOperand(IntMake(IntUnary(I_FIELD, std::move(o.i))), true));
        break;
    }
    case T_RPAR: {
        if (!hasOperand) return SyntaxError(t);
        if (marker.marker == Marker::kCard) {
            if (operands_.back().kind != Kind::kMk) return SyntaxError(t);
            Operand o = PopOperand();
            PushOperand(IntOperand(IntMake(IntCard(std::move(o.m))), true));
            break;
        }
        if (marker.marker != Marker::kParen) return SyntaxError(t);
        Operand& o = operands_.back();
        if (o.kind == Kind::kRange) {
            // ( range ) stands only inside <. .>.
            bool inTuple = false;
            for (auto it = ops_.rbegin(); it != ops_.rend(); ++it)
                if (it->type == OpType::kMarker) {
                    inTuple = it->marker == Marker::kTuple || it->marker == Marker::kParen;
                    break;
                }
            if (!inTuple) return SyntaxError(t);
        }
        o.easy = o.kind == Kind::kInt || o.kind == Kind::kMk;
        break;
    }
    default: return SyntaxError(t);
    }
    peek_ = scan_.Next();
    AfterPrimary(peek_);
}

void Parser::Operator_(const Tok& t) {
    switch (t.type) {
    case T_RPAR:
    case T_RBRACK:
    case T_RMARK:
    case T_COMMA: return CloseBracket(t);
    case T_EOL:
        if (!ReduceToMarker() || !ops_.empty() || operands_.size() != 1) return SyntaxError(t);
        done_ = true;
        return;
    case T_COLON: {
        if (operands_.back().kind == Kind::kMk && operands_.back().easy) {
            StackOp op;
            op.type = OpType::kFilter;
            op.prec = kPrefixPrec + 1;
            PushOp(std::move(op));
        } else {
            if (!ReduceToMarker() || ops_.empty() || ops_.back().type != OpType::kQuestion ||
                operands_.back().kind != Kind::kInt)
                return SyntaxError(t);
            ops_.back().type = OpType::kCond;
            ops_.back().prec = TokenPrec(T_QUEST);
        }
        expectOperand_ = true;
        peek_ = scan_.Next();
        return;
    }
    default: break;
    }
    const int prec = TokenPrec(t.type);
    if (prec == 0) return SyntaxError(t);
    const bool rightAssoc = t.type == T_QUEST;
    ReduceFor(prec, rightAssoc);
    if (failed_) return;
    const Operand& left = operands_.back();
    StackOp op;
    op.type = OpType::kBinary;
    op.prec = prec;
    const bool isMk = left.kind == Kind::kMk;
    const bool isInt = left.kind == Kind::kInt;
    switch (t.type) {
    case T_QUEST:
        if (!isInt) return SyntaxError(t);
        op.type = OpType::kQuestion;
        break;
    case T_D_PERIOD:
        if (!isInt) return SyntaxError(t);
        op.cat = Cat::kRange;
        break;
    case T_UNTIL:
    case T_UNLESS:
    case T_OR:
    case T_IMPLIES:
    case T_AND:
        if (!FormulaLike(left)) return SyntaxError(t);
        op.cat = Cat::kFormula;
        op.code = t.type == T_UNTIL ? F_UNTIL : t.type == T_UNLESS ? F_UNLESS : t.type == T_OR ? F_OR
                  : t.type == T_IMPLIES ? F_IMPLIES : F_AND;
        break;
    case T_ASTERISK:
    case T_PLUS:
    case T_MINUS:
    case T_ET:
        if (isMk) {
            op.cat = Cat::kMk;
            op.code = t.type == T_ASTERISK ? MK_CARTES : t.type == T_PLUS ? MK_SUM : t.type == T_MINUS ? MK_DIFF : MK_INTERSECT;
            if (t.type == T_ET) op.prec = kSumPrec;  // & of markings binds like + and -
            break;
        }
        if (!isInt) return SyntaxError(t);
        op.code = t.type == T_ASTERISK ? I_MUL : t.type == T_PLUS ? I_ADD : t.type == T_MINUS ? I_SUB : I_AND;
        break;
    case T_LT:
    case T_LE:
    case T_GT:
    case T_GE:
    case T_EQ:
    case T_NE:
        if (!isMk && !isInt) return SyntaxError(t);
        op.cat = isMk ? Cat::kMkCompare : Cat::kInt;
        op.swap = t.type == T_GT || t.type == T_GE;
        if (t.type == T_LT || t.type == T_GT) op.code = isMk ? I_MLT : I_LT;
        if (t.type == T_LE || t.type == T_GE) op.code = isMk ? I_MLE : I_LE;
        if (t.type == T_EQ) op.code = isMk ? I_MEQ : I_EQ;
        if (t.type == T_NE) op.code = isMk ? I_MNE : I_NE;
        break;
    default:
        if (!isInt) return SyntaxError(t);
        switch (t.type) {
        case T_SLASH: op.code = I_DIV; break;
        case T_PERCENT: op.code = I_REM; break;
        case T_LSHIFT: op.code = I_SHL; break;
        case T_RSHIFT: op.code = I_SHR; break;
        case T_CARET: op.code = I_XOR; break;
        case T_BAR: op.code = I_OR; break;
        case T_D_ET: op.code = I_LAND; break;
        case T_D_BAR: op.code = I_LOR; break;
        default: return SyntaxError(t);
        }
        break;
    }
    PushOp(std::move(op));
    expectOperand_ = true;
    peek_ = scan_.Next();
}

Parser::Result Parser::Run(Marking* marking, Formula* formula) {
    peek_ = scan_.Next();
    while (!failed_ && !done_) {
        if (!CheckStack()) break;
        Tok t = peek_;
        if (expectOperand_)
            Operand_(t);
        else
            Operator_(t);
    }
    if (failed_) return Result::kFailed;
    if (operands_.empty()) return Result::kNone;
    Operand& o = operands_.back();
    if (o.kind == Kind::kMk) {
        if (marking && o.m && ParseErrorState() == 0) *marking = MkEvaluate(*o.m);
        return Result::kMarking;
    }
    AsFormula(o);
    if (formula) *formula = std::move(o.f);
    return Result::kFormula;
}

}  // namespace

void ParserReset() { ParseErrorState() = 0; }

void ParseText(Formula* formula, std::uint32_t* integer, Marking* marking, const std::vector<std::string>& pieces) {
    // A statement spread over several lines reads as one line.
    bool multiline = false;
    for (const auto& p : pieces) multiline = multiline || p.find('\n') != std::string::npos;
    std::vector<std::string> prepared;
    if (multiline) {
        prepared = pieces;
        for (auto& p : prepared) std::replace(p.begin(), p.end(), '\n', ' ');
    }
    Marking m;
    Formula f;
    Parser parser(multiline ? prepared : pieces);
    Parser::Result r = parser.Run(&m, &f);
    if (r == Parser::Result::kFailed || ParseErrorState() != 0) return;
    const bool wantFormula = formula != nullptr;
    const bool wantInteger = !wantFormula && integer != nullptr;
    if (!wantFormula && !wantInteger) {
        if (r == Parser::Result::kFormula) {
            ReportError("Expected marking, got formula");
            ParseErrorState() = kErrMarking;
            return;
        }
        if (marking) *marking = std::move(m);
        return;
    }
    const char* want = wantFormula ? "formula" : "integer-valued expression";
    if (r != Parser::Result::kFormula) {
        ReportError(std::string("Expected ") + want + ", got " + (r == Parser::Result::kMarking ? "marking" : "nothing"));
        ParseErrorState() = wantFormula ? kErrKind : kErrExpression;
        return;
    }
    if (wantFormula) {
        *formula = std::move(f);
        return;
    }
    if (!f || f->kind != FORMULA::kAtom) {
        ReportError("Expected integer-valued expression, got formula");
        ParseErrorState() = kErrExpression;
        return;
    }
    *integer = IntEvaluate(*f->atom);
}

}  // namespace tulc
