#include "exprtree.h"

#include <algorithm>
#include <map>
#include <utility>

namespace tulc {

const MkOpInfo kMkOps[MK_OP_COUNT] = {
    {MS_CONST, false, "constant"}, {MS_PLACE, false, "place"},  {MS_RANGES, false, "<. .>"},
    {MS_INT_MK, false, "e m"},     {MS_MK_MK, true, "*"},       {MS_MK_MK, true, "+"},
    {MS_MK_MK, false, "-"},        {MS_INT_MK, false, ":"},     {MS_MK_MK, true, "&"},
};

const IntOpInfo kIntOps[I_OP_COUNT] = {
    {IS_CONST, false, "number"}, {IS_INT, false, "field"},    {IS_MK, false, "card"},
    {IS_INT, false, "-"},        {IS_INT, false, "!"},        {IS_INT, false, "~"},
    {IS_INT_INT, true, "*"},     {IS_INT_INT, false, "/"},    {IS_INT_INT, false, "%"},
    {IS_INT_INT, false, "-"},    {IS_INT_INT, true, "+"},     {IS_INT_INT, false, "<<"},
    {IS_INT_INT, false, ">>"},   {IS_INT_INT, false, "<"},    {IS_INT_INT, false, "<="},
    {IS_INT_INT, true, "=="},    {IS_INT_INT, true, "!="},    {IS_INT_INT, true, "&"},
    {IS_INT_INT, true, "^"},     {IS_INT_INT, true, "|"},     {IS_INT_INT, false, "&&"},
    {IS_INT_INT, false, "||"},   {IS_INT3, false, "?:"},      {IS_MK_MK, false, "<"},
    {IS_MK_MK, false, "<="},     {IS_MK_MK, true, "=="},      {IS_MK_MK, true, "!="},
};

namespace {

// Nodes whose children have been moved out, destroyed one by one so that a
// deep tree never recurses.
struct Garbage {
    std::vector<IntTree> ints;
    std::vector<MkTree> mks;

    void Take(INTNODE& n) {
        if (n.m1) mks.push_back(std::move(n.m1));
        if (n.m2) mks.push_back(std::move(n.m2));
        if (n.i1) ints.push_back(std::move(n.i1));
        if (n.i2) ints.push_back(std::move(n.i2));
        if (n.i3) ints.push_back(std::move(n.i3));
    }
    void Take(MKNODE& n) {
        for (auto& r : n.ranges) {
            if (r.low) ints.push_back(std::move(r.low));
            if (r.high) ints.push_back(std::move(r.high));
        }
        n.ranges.clear();
        if (n.scalar) ints.push_back(std::move(n.scalar));
        if (n.m1) mks.push_back(std::move(n.m1));
        if (n.m2) mks.push_back(std::move(n.m2));
    }
    void Release() {
        while (!ints.empty() || !mks.empty()) {
            if (!ints.empty()) {
                IntTree n = std::move(ints.back());
                ints.pop_back();
                Take(*n);
            } else {
                MkTree n = std::move(mks.back());
                mks.pop_back();
                Take(*n);
            }
        }
    }
};

bool HasChildren(const INTNODE& n) { return n.m1 || n.m2 || n.i1 || n.i2 || n.i3; }
bool HasChildren(const MKNODE& n) { return !n.ranges.empty() || n.scalar || n.m1 || n.m2; }

// A node of either family, for the walks below.
struct AnyNode {
    const INTNODE* i = nullptr;
    const MKNODE* m = nullptr;
};

// The children of a node in operand order.
void Children(const AnyNode& n, std::vector<AnyNode>& out) {
    out.clear();
    if (n.i) {
        const INTNODE& x = *n.i;
        if (x.m1) out.push_back({nullptr, x.m1.get()});
        if (x.m2) out.push_back({nullptr, x.m2.get()});
        if (x.i1) out.push_back({x.i1.get(), nullptr});
        if (x.i2) out.push_back({x.i2.get(), nullptr});
        if (x.i3) out.push_back({x.i3.get(), nullptr});
    } else {
        const MKNODE& x = *n.m;
        for (const auto& r : x.ranges) {
            out.push_back({r.low.get(), nullptr});
            out.push_back({r.high.get(), nullptr});
        }
        if (x.scalar) out.push_back({x.scalar.get(), nullptr});
        if (x.m1) out.push_back({nullptr, x.m1.get()});
        if (x.m2) out.push_back({nullptr, x.m2.get()});
    }
}

// Post-order walk: combine(node, values of its children) for every node;
// returns the root's value.
template <class Value, class Combine>
Value PostOrder(AnyNode root, Combine&& combine) {
    struct Item {
        AnyNode node;
        bool expanded;
    };
    std::vector<Item> stack{{root, false}};
    std::vector<Value> values;
    std::vector<AnyNode> kids;
    while (!stack.empty()) {
        Item& it = stack.back();
        if (!it.expanded) {
            it.expanded = true;
            AnyNode node = it.node;
            Children(node, kids);
            for (auto k = kids.rbegin(); k != kids.rend(); ++k) stack.push_back({*k, false});
            continue;
        }
        AnyNode node = it.node;
        stack.pop_back();
        Children(node, kids);
        std::size_t n = kids.size();
        std::vector<Value> args(values.end() - static_cast<std::ptrdiff_t>(n), values.end());
        values.resize(values.size() - n);
        values.push_back(combine(node, args));
    }
    return values.back();
}

// Canonical numbers of trees: two trees get the same number exactly when
// they are structurally equal.
class Canon {
public:
    std::uint32_t Id(AnyNode root) {
        return PostOrder<std::uint32_t>(root, [this](const AnyNode& n, std::vector<std::uint32_t>& kids) {
            std::vector<std::uint64_t> key;
            key.push_back(n.i ? 0 : 1);
            if (n.i) {
                key.push_back(n.i->op);
                if (n.i->op == I_CONST) key.push_back(n.i->value);
                if (kIntOps[n.i->op].swappable && kids.size() == 2 && kids[1] < kids[0]) std::swap(kids[0], kids[1]);
            } else {
                key.push_back(n.m->op);
                if (n.m->op == MK_CONST) key.push_back(MarkingId(n.m->constant));
                if (n.m->op == MK_PLACE) key.push_back(n.m->place);
                if (n.m->op == MK_RANGES) key.push_back(n.m->ranges.size());
                if (kMkOps[n.m->op].swappable && kids.size() == 2 && kids[1] < kids[0]) std::swap(kids[0], kids[1]);
            }
            key.insert(key.end(), kids.begin(), kids.end());
            auto it = ids_.emplace(std::move(key), static_cast<std::uint32_t>(ids_.size()));
            return it.first->second;
        });
    }

private:
    struct MarkingLess {
        bool operator()(const Marking& a, const Marking& b) const { return Marking::Compare(a, b) < 0; }
    };
    std::uint64_t MarkingId(const Marking& m) {
        auto it = markings_.emplace(m, static_cast<std::uint32_t>(markings_.size()));
        return it.first->second;
    }
    std::map<std::vector<std::uint64_t>, std::uint32_t> ids_;
    std::map<Marking, std::uint32_t, MarkingLess> markings_;
};

}  // namespace

INTNODE::~INTNODE() {
    if (!HasChildren(*this)) return;
    Garbage g;
    g.Take(*this);
    g.Release();
}

MKNODE::~MKNODE() {
    if (!HasChildren(*this)) return;
    Garbage g;
    g.Take(*this);
    g.Release();
}

IntTree IntConst(std::uint32_t value) {
    auto n = std::make_unique<INTNODE>();
    n->op = I_CONST;
    n->value = value;
    return n;
}

IntTree IntUnary(std::uint32_t op, IntTree a) {
    auto n = std::make_unique<INTNODE>();
    n->op = op;
    n->i1 = std::move(a);
    return n;
}

IntTree IntBinary(std::uint32_t op, IntTree a, IntTree b) {
    auto n = std::make_unique<INTNODE>();
    n->op = op;
    n->i1 = std::move(a);
    n->i2 = std::move(b);
    return n;
}

IntTree IntCond(IntTree a, IntTree b, IntTree c) {
    auto n = std::make_unique<INTNODE>();
    n->op = I_COND;
    n->i1 = std::move(a);
    n->i2 = std::move(b);
    n->i3 = std::move(c);
    return n;
}

IntTree IntCard(MkTree m) {
    auto n = std::make_unique<INTNODE>();
    n->op = I_CARD;
    n->m1 = std::move(m);
    return n;
}

IntTree IntMkCompare(std::uint32_t op, MkTree a, MkTree b) {
    auto n = std::make_unique<INTNODE>();
    n->op = op;
    n->m1 = std::move(a);
    n->m2 = std::move(b);
    return n;
}

MkTree MkConst(Marking m) {
    auto n = std::make_unique<MKNODE>();
    n->op = MK_CONST;
    n->constant = std::move(m);
    return n;
}

MkTree MkPlace(std::uint32_t index) {
    auto n = std::make_unique<MKNODE>();
    n->op = MK_PLACE;
    n->place = index;
    return n;
}

MkTree MkRanges(std::vector<RangePair> ranges) {
    auto n = std::make_unique<MKNODE>();
    n->op = MK_RANGES;
    n->ranges = std::move(ranges);
    return n;
}

MkTree MkScalar(std::uint32_t op, IntTree scalar, MkTree m) {
    auto n = std::make_unique<MKNODE>();
    n->op = op;
    n->scalar = std::move(scalar);
    n->m1 = std::move(m);
    return n;
}

MkTree MkBinary(std::uint32_t op, MkTree a, MkTree b) {
    auto n = std::make_unique<MKNODE>();
    n->op = op;
    n->m1 = std::move(a);
    n->m2 = std::move(b);
    return n;
}

RangePair PairCons(IntTree low, IntTree high) { return RangePair{std::move(low), std::move(high)}; }

namespace {

// Copies a tree of either family; the slots of the new nodes are filled
// from an explicit work list.
void CopyInto(AnyNode root, IntTree* intOut, MkTree* mkOut) {
    struct Job {
        AnyNode src;
        IntTree* dstInt;
        MkTree* dstMk;
    };
    std::vector<Job> jobs{{root, intOut, mkOut}};
    while (!jobs.empty()) {
        Job j = jobs.back();
        jobs.pop_back();
        if (j.src.i) {
            const INTNODE& s = *j.src.i;
            auto n = std::make_unique<INTNODE>();
            n->op = s.op;
            n->value = s.value;
            if (s.m1) jobs.push_back({{nullptr, s.m1.get()}, nullptr, &n->m1});
            if (s.m2) jobs.push_back({{nullptr, s.m2.get()}, nullptr, &n->m2});
            if (s.i1) jobs.push_back({{s.i1.get(), nullptr}, &n->i1, nullptr});
            if (s.i2) jobs.push_back({{s.i2.get(), nullptr}, &n->i2, nullptr});
            if (s.i3) jobs.push_back({{s.i3.get(), nullptr}, &n->i3, nullptr});
            *j.dstInt = std::move(n);
        } else {
            const MKNODE& s = *j.src.m;
            auto n = std::make_unique<MKNODE>();
            n->op = s.op;
            n->constant = s.constant;
            n->place = s.place;
            n->ranges.resize(s.ranges.size());
            for (std::size_t k = 0; k < s.ranges.size(); ++k) {
                if (s.ranges[k].low) jobs.push_back({{s.ranges[k].low.get(), nullptr}, &n->ranges[k].low, nullptr});
                if (s.ranges[k].high) jobs.push_back({{s.ranges[k].high.get(), nullptr}, &n->ranges[k].high, nullptr});
            }
            if (s.scalar) jobs.push_back({{s.scalar.get(), nullptr}, &n->scalar, nullptr});
            if (s.m1) jobs.push_back({{nullptr, s.m1.get()}, nullptr, &n->m1});
            if (s.m2) jobs.push_back({{nullptr, s.m2.get()}, nullptr, &n->m2});
            *j.dstMk = std::move(n);
        }
    }
}

}  // namespace

IntTree IntCopy(const INTNODE& n) {
    IntTree out;
    CopyInto({&n, nullptr}, &out, nullptr);
    return out;
}

MkTree MkCopy(const MKNODE& n) {
    MkTree out;
    CopyInto({nullptr, &n}, nullptr, &out);
    return out;
}

RangePair PairCopy(const RangePair& p) {
    return RangePair{p.low ? IntCopy(*p.low) : nullptr, p.high ? IntCopy(*p.high) : nullptr};
}

void IntReplace(INTNODE& node, IntTree other) {
    // Detach the old operands first: other may be one of them.
    Garbage g;
    g.Take(node);
    node.op = other->op;
    node.value = other->value;
    node.m1 = std::move(other->m1);
    node.m2 = std::move(other->m2);
    node.i1 = std::move(other->i1);
    node.i2 = std::move(other->i2);
    node.i3 = std::move(other->i3);
    other.reset();
    g.Release();
}

void MkReplace(MKNODE& node, MkTree other) {
    Garbage g;
    g.Take(node);
    node.op = other->op;
    node.constant = std::move(other->constant);
    node.place = other->place;
    node.ranges = std::move(other->ranges);
    node.scalar = std::move(other->scalar);
    node.m1 = std::move(other->m1);
    node.m2 = std::move(other->m2);
    other.reset();
    g.Release();
}

bool IntEqual(const INTNODE& a, const INTNODE& b) {
    if (&a == &b) return true;
    Canon c;
    return c.Id({&a, nullptr}) == c.Id({&b, nullptr});
}

bool MkEqual(const MKNODE& a, const MKNODE& b) {
    if (&a == &b) return true;
    Canon c;
    return c.Id({nullptr, &a}) == c.Id({nullptr, &b});
}

namespace {

std::uint32_t DepthOf(AnyNode root) {
    return PostOrder<std::uint32_t>(root, [](const AnyNode& n, const std::vector<std::uint32_t>& kids) {
        std::uint32_t deepest = 0;
        for (std::uint32_t k : kids) deepest = std::max(deepest, k);
        if (n.i) {
            switch (kIntOps[n.i->op].shape) {
            case IS_CONST: return std::uint32_t(0);
            case IS_INT: return deepest;            // unary operators, field reference
            case IS_MK: return deepest;             // card: the marking depth
            case IS_INT3: return deepest;           // conditional
            case IS_MK_MK: return deepest + 1;      // comparison of markings
            case IS_INT_INT:
                return (n.i->op == I_LAND || n.i->op == I_LOR) ? deepest : deepest + 1;
            }
            return deepest;
        }
        switch (kMkOps[n.m->op].shape) {
        case MS_CONST:
        case MS_PLACE: return std::uint32_t(0);
        default: return deepest + 1;
        }
    });
}

}  // namespace

std::uint32_t IntDepth(const INTNODE& n) { return DepthOf({&n, nullptr}); }
std::uint32_t MkDepth(const MKNODE& n) { return DepthOf({nullptr, &n}); }

std::vector<std::uint32_t> PlacesOf(const INTNODE& root) {
    std::vector<std::uint32_t> places;
    std::vector<AnyNode> stack{{&root, nullptr}}, kids;
    while (!stack.empty()) {
        AnyNode n = stack.back();
        stack.pop_back();
        if (n.m && n.m->op == MK_PLACE) places.push_back(n.m->place);
        Children(n, kids);
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    return places;
}

}  // namespace tulc
