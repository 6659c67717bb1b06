// Compile-time evaluation and simplification of expression trees.
//
// Both run on explicit stacks.  The evaluator is a small machine whose
// frames remember how far each node got (which operand is next); operands
// that the operator's short-cut makes unnecessary are never evaluated, in
// the same cases as in the generated code.
#include <algorithm>

#include "diag.h"
#include "exprtree.h"
#include "net.h"

namespace tulc {

namespace {

const Marking* (*placeMarking)(std::uint32_t index) = nullptr;

const Marking* InitialMarking(std::uint32_t index) {
    auto& places = Net().places;
    return index < places.size() ? &places[index]->initial : nullptr;
}

void ReportOnce(const std::string& message, int state) {
    if (ParseErrorState() != 0) return;
    ReportError(message);
    ParseErrorState() = state;
}

void CountOverflow() { ReportOnce("Count overflow: a multiplicity exceeds 4294967295", kErrMarking); }

// Field reference: the field of the current tuple.
std::uint32_t FieldValue(std::uint32_t index, const Tuple* current) {
    if (current && current->size() > index) return (*current)[index];
    if (ParseErrorState() == 0) {
        ReportError("Illegal field reference: " + std::to_string(index));
        if (current) ErrText(TupleText(*current));
        ParseErrorState() = kErrExpression;
    }
    return 0;
}

std::uint32_t DivisionByZero() {
    ReportOnce("Division by zero", kErrExpression);
    return 0;
}

std::uint32_t Apply(std::uint32_t op, std::uint32_t a, std::uint32_t b) {
    switch (op) {
    case I_MUL: return a * b;
    case I_DIV: return b ? a / b : DivisionByZero();
    case I_REM: return b ? a % b : DivisionByZero();
    case I_SUB: return a - b;
    case I_ADD: return a + b;
    case I_SHL: return a << (b & 31);
    case I_SHR: return a >> (b & 31);
    case I_LT: return a < b;
    case I_LE: return a <= b;
    case I_EQ: return a == b;
    case I_NE: return a != b;
    case I_AND: return a & b;
    case I_XOR: return a ^ b;
    case I_OR: return a | b;
    case I_LAND: return a && b;
    case I_LOR: return a || b;
    default: return 0;
    }
}

// The left value that decides a binary operator without its right operand.
bool ShortCut(std::uint32_t op, std::uint32_t a, std::uint32_t* result) {
    switch (op) {
    case I_MUL:
    case I_SHL:
    case I_SHR:
    case I_AND:
    case I_LAND:
        if (a == 0) {
            *result = 0;
            return true;
        }
        return false;
    case I_OR:
        if (a == 0xFFFFFFFFu) {
            *result = a;
            return true;
        }
        return false;
    case I_LOR:
        if (a != 0) {
            *result = 1;
            return true;
        }
        return false;
    default: return false;
    }
}

Marking Enumerate(const Tuple& low, const Tuple& high) {
    Marking out;
    if (ParseErrorState() != 0) return out;
    for (std::size_t k = 0; k < low.size(); ++k)
        if (high[k] < low[k]) return out;
    // All tuples of the box, the first field outermost, in increasing order.
    Tuple t = low;
    for (;;) {
        out.AppendOrdered(t);
        std::size_t k = t.size();
        while (k > 0) {
            --k;
            if (t[k] < high[k]) {
                ++t[k];
                for (std::size_t j = k + 1; j < t.size(); ++j) t[j] = low[j];
                break;
            }
            if (k == 0) return out;
        }
        if (t.empty()) return out;
    }
}

class Evaluator {
public:
    explicit Evaluator(const Tuple* current) : current_(current) {}

    std::uint32_t Int(const INTNODE& n) {
        frames_.push_back({&n, nullptr, 0, 0});
        Run();
        std::uint32_t v = ints_.back();
        ints_.pop_back();
        return v;
    }

    Marking Mk(const MKNODE& n) {
        frames_.push_back({nullptr, &n, 0, 0});
        Run();
        Marking m = std::move(mks_.back());
        mks_.pop_back();
        if (!m.Normalize()) CountOverflow();
        return m;
    }

private:
    struct Frame {
        const INTNODE* in;
        const MKNODE* mn;
        std::uint32_t stage;
        std::uint32_t aux;
    };
    struct FilterState {
        Marking m;
        std::vector<char> keep;
        const Tuple* saved;
    };

    void PushInt(const INTNODE* n) { frames_.push_back({n, nullptr, 0, 0}); }
    void PushMk(const MKNODE* n) { frames_.push_back({nullptr, n, 0, 0}); }
    std::uint32_t PopInt() {
        std::uint32_t v = ints_.back();
        ints_.pop_back();
        return v;
    }
    Marking PopMk() {
        Marking m = std::move(mks_.back());
        mks_.pop_back();
        return m;
    }

    void Run() {
        while (!frames_.empty()) {
            std::size_t top = frames_.size() - 1;
            if (frames_[top].in)
                StepInt(top);
            else
                StepMk(top);
        }
    }

    // Each step either pushes an operand (the frame's stage advances) or
    // finishes the node: its frame is popped and its value pushed.
    void StepInt(std::size_t fi) {
        Frame f = frames_[fi];
        const INTNODE& n = *f.in;
        auto next = [&](std::uint32_t stage) { frames_[fi].stage = stage; };
        auto done = [&](std::uint32_t v) {
            frames_.pop_back();
            ints_.push_back(v);
        };
        switch (n.op) {
        case I_CONST: return done(n.value);
        case I_FIELD:
        case I_NEG:
        case I_NOT:
        case I_COMPL:
            if (f.stage == 0) return next(1), PushInt(n.i1.get());
            {
                std::uint32_t a = PopInt();
                if (n.op == I_FIELD) return done(FieldValue(a, current_));
                if (n.op == I_NEG) return done(0u - a);
                if (n.op == I_NOT) return done(a == 0);
                return done(~a);
            }
        case I_CARD:
            if (f.stage == 0) return next(1), PushMk(n.m1.get());
            return done(PopMk().Card());
        case I_DIV:
        case I_REM:
            // The divisor first; the dividend only when the divisor is not 0.
            if (f.stage == 0) return next(1), PushInt(n.i2.get());
            if (f.stage == 1) {
                if (ints_.back() == 0) {
                    ints_.pop_back();
                    return done(DivisionByZero());
                }
                return next(2), PushInt(n.i1.get());
            }
            {
                std::uint32_t a = PopInt();
                std::uint32_t r = PopInt();
                return done(n.op == I_DIV ? a / r : a % r);
            }
        case I_COND:
            if (f.stage == 0) return next(1), PushInt(n.i1.get());
            if (f.stage == 1) return next(2), PushInt(PopInt() ? n.i2.get() : n.i3.get());
            frames_.pop_back();  // the branch's value is the result
            return;
        case I_MLT:
            // An empty right operand gives 0 without the left one.
            if (f.stage == 0) return next(1), PushMk(n.m2.get());
            if (f.stage == 1) {
                if (mks_.back().Empty()) {
                    mks_.pop_back();
                    return done(0);
                }
                return next(2), PushMk(n.m1.get());
            }
            {
                Marking a = PopMk();
                Marking b = PopMk();
                return done(Marking::Less(a, b));
            }
        case I_MLE:
            // An empty left operand gives 1 without the right one.
            if (f.stage == 0) return next(1), PushMk(n.m1.get());
            if (f.stage == 1) {
                if (mks_.back().Empty()) {
                    mks_.pop_back();
                    return done(1);
                }
                return next(2), PushMk(n.m2.get());
            }
            {
                Marking b = PopMk();
                Marking a = PopMk();
                return done(Marking::Lequal(a, b));
            }
        case I_MEQ:
        case I_MNE:
            if (f.stage == 0) return next(1), PushMk(n.m1.get());
            if (f.stage == 1) return next(2), PushMk(n.m2.get());
            {
                Marking b = PopMk();
                Marking a = PopMk();
                bool eq = Marking::Equal(a, b);
                return done(n.op == I_MEQ ? eq : !eq);
            }
        default:
            // Binary integer operators: left, short-cut, right.
            if (f.stage == 0) return next(1), PushInt(n.i1.get());
            if (f.stage == 1) {
                std::uint32_t r;
                if (ShortCut(n.op, ints_.back(), &r)) {
                    ints_.pop_back();
                    return done(r);
                }
                return next(2), PushInt(n.i2.get());
            }
            {
                std::uint32_t b = PopInt();
                std::uint32_t a = PopInt();
                return done(Apply(n.op, a, b));
            }
        }
    }

    void StepMk(std::size_t fi) {
        Frame f = frames_[fi];
        const MKNODE& n = *f.mn;
        auto next = [&](std::uint32_t stage) { frames_[fi].stage = stage; };
        auto done = [&](Marking m) {
            frames_.pop_back();
            mks_.push_back(std::move(m));
        };
        switch (n.op) {
        case MK_CONST: return done(n.constant);
        case MK_PLACE: {
            const Marking* m = placeMarking ? placeMarking(n.place) : nullptr;
            return done(m ? *m : Marking());
        }
        case MK_RANGES: {
            // Every bound in list order, then the enumeration.
            const std::uint32_t bounds = static_cast<std::uint32_t>(2 * n.ranges.size());
            if (f.stage < bounds) {
                const RangePair& r = n.ranges[f.stage / 2];
                next(f.stage + 1);
                return PushInt((f.stage % 2 ? r.high : r.low).get());
            }
            Tuple low(n.ranges.size()), high(n.ranges.size());
            for (std::size_t k = n.ranges.size(); k-- > 0;) {
                high[k] = PopInt();
                low[k] = PopInt();
            }
            return done(Enumerate(low, high));
        }
        case MK_SCALE:
            // A count of 0 gives the empty marking without the marking.
            if (f.stage == 0) return next(1), PushInt(n.scalar.get());
            if (f.stage == 1) {
                std::uint32_t e = PopInt();
                if (e == 0) return done(Marking());
                frames_[fi].aux = e;
                return next(2), PushMk(n.m1.get());
            }
            {
                Marking m = PopMk();
                if (!m.Scale(f.aux)) CountOverflow();
                return done(std::move(m));
            }
        case MK_FILTER:
            if (f.stage == 0) return next(1), PushMk(n.m1.get());
            if (f.stage == 1) {
                Marking m = PopMk();
                if (!m.Normalize()) CountOverflow();
                if (m.Empty()) return done(std::move(m));
                filters_.push_back({std::move(m), {}, current_});
                current_ = &filters_.back().m.Entries()[0].tuple;
                return next(2), PushInt(n.scalar.get());
            }
            {
                FilterState& s = filters_.back();
                s.keep.push_back(PopInt() != 0);
                const auto& entries = s.m.Entries();
                if (s.keep.size() < entries.size()) {
                    current_ = &entries[s.keep.size()].tuple;
                    return PushInt(n.scalar.get());
                }
                current_ = s.saved;
                Marking m = std::move(s.m);
                m.KeepMask(s.keep);
                filters_.pop_back();
                return done(std::move(m));
            }
        default:
            // Binary marking operators.
            if (f.stage == 0) return next(1), PushMk(n.m1.get());
            if (f.stage == 1) {
                // An empty left operand decides a difference.
                if (n.op == MK_DIFF && mks_.back().Empty()) return frames_.pop_back();
                return next(2), PushMk(n.m2.get());
            }
            {
                Marking b = PopMk();
                Marking a = PopMk();
                bool ok = true;
                switch (n.op) {
                case MK_SUM: ok = a.Add(std::move(b)); break;
                case MK_DIFF: ok = a.Subtract(b); break;
                case MK_INTERSECT: ok = a.Intersect(b); break;
                case MK_CARTES: {
                    Marking c;
                    ok = Marking::Cartes(a, b, c);
                    a = std::move(c);
                    break;
                }
                default: break;
                }
                if (!ok) CountOverflow();
                return done(std::move(a));
            }
        }
    }

    const Tuple* current_;
    std::vector<Frame> frames_;
    std::vector<std::uint32_t> ints_;
    std::vector<Marking> mks_;
    std::vector<FilterState> filters_;
};

// ----- Simplification ----------------------------------------------------

bool IsConst(const IntTree& n) { return n && n->op == I_CONST; }
bool IsEmptyConst(const MkTree& n) { return n && n->op == MK_CONST && n->constant.Empty(); }

IntTree DoubleNot(IntTree x) { return IntUnary(I_NOT, IntUnary(I_NOT, std::move(x))); }

// Rewrites a binary integer node with exactly one constant operand; returns
// the level of the result.  lx is the level of the other operand.
int RewriteOneConstant(IntTree& slot, int lx) {
    INTNODE& n = *slot;
    const bool leftConst = IsConst(n.i1);
    const std::uint32_t c = leftConst ? n.i1->value : n.i2->value;
    IntTree& x = leftConst ? n.i2 : n.i1;
    auto replaceByX = [&] {
        IntTree keep = std::move(x);
        slot = std::move(keep);
        return lx;
    };
    auto replaceByConst = [&](std::uint32_t v) {
        slot = IntConst(v);
        return int(kLevelConst);
    };
    auto replaceBy = [&](std::uint32_t op) {
        IntTree keep = std::move(x);
        slot = IntUnary(op, std::move(keep));
        return lx;
    };
    switch (n.op) {
    case I_MUL:
        if (c == 0) return replaceByConst(0);
        if (c == 1) return replaceByX();
        if (c == 0xFFFFFFFFu) return replaceBy(I_NEG);
        break;
    case I_SUB:
        if (c == 0) return leftConst ? replaceBy(I_NEG) : replaceByX();
        break;
    case I_ADD:
        if (c == 0) return replaceByX();
        break;
    case I_SHL:
    case I_SHR:
        if (c == 0) return leftConst ? replaceByConst(0) : replaceByX();
        break;
    case I_AND:
        if (c == 0) return replaceByConst(0);
        if (c == 0xFFFFFFFFu) return replaceByX();
        break;
    case I_XOR:
        if (c == 0) return replaceByX();
        if (c == 0xFFFFFFFFu) return replaceBy(I_COMPL);
        break;
    case I_OR:
        if (c == 0) return replaceByX();
        if (c == 0xFFFFFFFFu) return replaceByConst(0xFFFFFFFFu);
        break;
    case I_LAND:
        // x && c keeps the 0/1 value of x: !!x.
        if (c == 0) return replaceByConst(0);
        {
            IntTree keep = std::move(x);
            slot = DoubleNot(std::move(keep));
            return lx;
        }
    case I_LOR:
        if (c != 0) return replaceByConst(1);
        {
            IntTree keep = std::move(x);
            slot = DoubleNot(std::move(keep));
            return lx;
        }
    case I_DIV:
    case I_REM:
        if (leftConst) {
            if (c == 0) return replaceByConst(0);
            break;
        }
        if (c == 0) {
            DivisionByZero();
            break;
        }
        // A division by 1 is its left operand.  (Division by 0xFFFFFFFF is
        // not a negation: the values are unsigned, 5 / 0xFFFFFFFF is 0.)
        if (n.op == I_DIV && c == 1) return replaceByX();
        break;
    default: break;
    }
    return lx;
}

class Simplifier {
public:
    int Int(IntTree& root) {
        jobs_.push_back({&root, nullptr, false});
        Run();
        return levels_.back();
    }
    int Mk(MkTree& root) {
        jobs_.push_back({nullptr, &root, false});
        Run();
        return levels_.back();
    }

private:
    struct Job {
        IntTree* i;
        MkTree* m;
        bool expanded;
    };

    void Run() {
        while (!jobs_.empty()) {
            Job j = jobs_.back();
            if (!j.expanded) {
                jobs_.back().expanded = true;
                PushChildren(j);
                continue;
            }
            jobs_.pop_back();
            if (j.i)
                levels_.push_back(FinishInt(*j.i, PopLevels(CountInt(**j.i))));
            else
                levels_.push_back(FinishMk(*j.m, PopLevels(CountMk(**j.m))));
        }
    }

    static std::size_t CountInt(const INTNODE& n) {
        return (n.m1 ? 1 : 0) + (n.m2 ? 1 : 0) + (n.i1 ? 1 : 0) + (n.i2 ? 1 : 0) + (n.i3 ? 1 : 0);
    }
    static std::size_t CountMk(const MKNODE& n) {
        return 2 * n.ranges.size() + (n.scalar ? 1 : 0) + (n.m1 ? 1 : 0) + (n.m2 ? 1 : 0);
    }

    // Children in operand order; they finish in that order, so their levels
    // lie on the level stack in that order.
    void PushChildren(const Job& j) {
        std::vector<Job> kids;
        if (j.i) {
            INTNODE& n = **j.i;
            if (n.m1) kids.push_back({nullptr, &n.m1, false});
            if (n.m2) kids.push_back({nullptr, &n.m2, false});
            if (n.i1) kids.push_back({&n.i1, nullptr, false});
            if (n.i2) kids.push_back({&n.i2, nullptr, false});
            if (n.i3) kids.push_back({&n.i3, nullptr, false});
        } else {
            MKNODE& n = **j.m;
            for (auto& r : n.ranges) {
                kids.push_back({&r.low, nullptr, false});
                kids.push_back({&r.high, nullptr, false});
            }
            if (n.scalar) kids.push_back({&n.scalar, nullptr, false});
            if (n.m1) kids.push_back({nullptr, &n.m1, false});
            if (n.m2) kids.push_back({nullptr, &n.m2, false});
        }
        jobs_.insert(jobs_.end(), kids.rbegin(), kids.rend());
    }

    std::vector<int> PopLevels(std::size_t n) {
        std::vector<int> out(levels_.end() - static_cast<std::ptrdiff_t>(n), levels_.end());
        levels_.resize(levels_.size() - n);
        return out;
    }

    static int Max(const std::vector<int>& v) {
        int m = kLevelConst;
        for (int x : v) m = std::max(m, x);
        return m;
    }

    int FoldInt(IntTree& slot) {
        std::uint32_t v = IntEvaluate(*slot);
        slot = IntConst(v);
        return kLevelConst;
    }
    int FoldMk(MkTree& slot) {
        Marking m = MkEvaluate(*slot);
        slot = MkConst(std::move(m));
        return kLevelConst;
    }

    int FinishInt(IntTree& slot, const std::vector<int>& lv) {
        INTNODE& n = *slot;
        const int level = Max(lv);
        switch (kIntOps[n.op].shape) {
        case IS_CONST: return kLevelConst;
        case IS_INT:
            if (n.op == I_FIELD) return std::max(level, int(kLevelTuple));
            return level == kLevelConst ? FoldInt(slot) : level;
        case IS_MK:
            return level == kLevelConst ? FoldInt(slot) : level;
        case IS_MK_MK:
            if (level == kLevelConst) return FoldInt(slot);
            if (n.op == I_MLE && IsEmptyConst(n.m1)) {
                slot = IntConst(1);
                return kLevelConst;
            }
            return level;
        case IS_INT3:
            if (lv[0] == kLevelConst) {
                IntTree chosen = std::move(n.i1->value ? n.i2 : n.i3);
                int l = n.i1->value ? lv[1] : lv[2];
                slot = std::move(chosen);
                return l;
            }
            return level;
        case IS_INT_INT:
            if (lv[0] == kLevelConst && lv[1] == kLevelConst) return FoldInt(slot);
            if (lv[0] == kLevelConst || lv[1] == kLevelConst) {
                if (n.op >= I_LT && n.op <= I_NE) return level;  // comparisons fold only when both are constant
                return RewriteOneConstant(slot, lv[0] == kLevelConst ? lv[1] : lv[0]);
            }
            return level;
        }
        return level;
    }

    int FinishMk(MkTree& slot, const std::vector<int>& lv) {
        MKNODE& n = *slot;
        const int level = Max(lv);
        switch (n.op) {
        case MK_CONST: return kLevelConst;
        case MK_PLACE: return kLevelState;
        case MK_RANGES: {
            bool allConst = true, single = true;
            for (const auto& r : n.ranges) {
                if (!IsConst(r.low) || !IsConst(r.high)) {
                    allConst = false;
                    continue;
                }
                if (r.high->value < r.low->value) {
                    slot = MkConst(Marking());
                    return kLevelConst;
                }
                if (r.high->value != r.low->value) single = false;
            }
            if (allConst && single) return FoldMk(slot);
            // Constant ranges of several values are enumerated at run time.
            return single ? level : int(kLevelState);
        }
        case MK_SCALE: {
            if (IsConst(n.scalar) && n.scalar->value == 0) return slot = MkConst(Marking()), int(kLevelConst);
            if (IsEmptyConst(n.m1)) return slot = MkConst(Marking()), int(kLevelConst);
            if (level == kLevelConst) return FoldMk(slot);
            if (IsConst(n.scalar) && n.scalar->value == 1) {
                MkTree m = std::move(n.m1);
                slot = std::move(m);
                return lv[1];
            }
            return level;
        }
        case MK_FILTER: {
            const int lcond = lv[0], lm = lv[1];
            if (lcond == kLevelConst) {
                if (n.scalar->value == 0) return slot = MkConst(Marking()), int(kLevelConst);
                MkTree m = std::move(n.m1);
                slot = std::move(m);
                return lm;
            }
            if (lm == kLevelConst && lcond == kLevelTuple) return FoldMk(slot);
            return level;
        }
        default: {
            if (level == kLevelConst) return FoldMk(slot);
            const bool e1 = IsEmptyConst(n.m1), e2 = IsEmptyConst(n.m2);
            auto keep = [&](MkTree& m, int l) {
                MkTree k = std::move(m);
                slot = std::move(k);
                return l;
            };
            switch (n.op) {
            case MK_SUM:
                if (e2) return keep(n.m1, lv[0]);
                if (e1) return keep(n.m2, lv[1]);
                break;
            case MK_DIFF:
                if (e2) return keep(n.m1, lv[0]);
                if (e1) return slot = MkConst(Marking()), int(kLevelConst);
                break;
            case MK_CARTES:
            case MK_INTERSECT:
                if (e1 || e2) return slot = MkConst(Marking()), int(kLevelConst);
                break;
            default: break;
            }
            return level;
        }
        }
    }

    std::vector<Job> jobs_;
    std::vector<int> levels_;
};

}  // namespace

int& ParseErrorState() {
    static int state = 0;
    return state;
}

void OpTablesInit() { placeMarking = InitialMarking; }

std::uint32_t IntEvaluate(const INTNODE& n, const Tuple* current) { return Evaluator(current).Int(n); }

Marking MkEvaluate(const MKNODE& n, const Tuple* current) { return Evaluator(current).Mk(n); }

Marking RangeEnumerate(const std::vector<RangePair>& ranges, const Tuple* current) {
    MKNODE node;
    node.op = MK_RANGES;
    for (const auto& r : ranges) node.ranges.push_back(PairCopy(r));
    return MkEvaluate(node, current);
}

int IntSimplify(IntTree& n) { return Simplifier().Int(n); }
int MkSimplify(MkTree& n) { return Simplifier().Mk(n); }

}  // namespace tulc
