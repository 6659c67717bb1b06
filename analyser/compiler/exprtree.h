// Expression trees of the net description and their operator tables.
//
// Two families: marking-valued nodes (MKNODE, value a Marking) and
// integer-valued nodes (INTNODE, value an unsigned 32-bit number; values
// wrap, comparisons are unsigned).  The operator number of a node indexes its
// family's table, whose shape says which operand fields the node uses.
//
// Trees can be as deep as the input is long (a sum of 10^5 tuples is a
// left-deep chain), so every walk over them (evaluation, simplification,
// copy, comparison, depth, destruction) keeps its own stack instead of
// recursing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "marking.h"

namespace tulc {

struct INTNODE;
struct MKNODE;

enum MkOp : std::uint32_t {
    MK_CONST = 0,      // shape 0: constant marking (empty, or folded)
    MK_PLACE = 1,      // shape 1: place name (index in the place list)
    MK_RANGES = 2,     // shape 2: <. range, ... .>
    MK_SCALE = 3,      // shape 3: e m
    MK_CARTES = 4,     // shape 4: m1 * m2
    MK_SUM = 5,        // shape 4: m1 + m2
    MK_DIFF = 6,       // shape 4: m1 - m2
    MK_FILTER = 7,     // shape 3: m : e
    MK_INTERSECT = 8,  // shape 4: m1 & m2
    MK_OP_COUNT = 9,
};

enum IntOp : std::uint32_t {
    I_CONST = 0,  // shape 0
    I_FIELD = 1,  // shape 4: field[e]
    I_CARD = 2,   // shape 1: card(m)
    I_NEG = 3,    // shape 4: -e
    I_NOT = 4,    // shape 4: !e
    I_COMPL = 5,  // shape 4: ~e
    I_MUL = 6,    // shape 5
    I_DIV = 7,
    I_REM = 8,
    I_SUB = 9,
    I_ADD = 10,
    I_SHL = 11,
    I_SHR = 12,
    I_LT = 13,  // a > b is built as b < a
    I_LE = 14,  // a >= b is built as b <= a
    I_EQ = 15,
    I_NE = 16,
    I_AND = 17,
    I_XOR = 18,
    I_OR = 19,
    I_LAND = 20,
    I_LOR = 21,
    I_COND = 22,  // shape 6: a ? b : c
    I_MLT = 23,   // shape 2: m1 < m2 (m1 > m2 is built as m2 < m1)
    I_MLE = 24,   // shape 2: m1 <= m2
    I_MEQ = 25,   // shape 2
    I_MNE = 26,   // shape 2
    I_OP_COUNT = 27,
};

// Operand shapes.
enum MkShape : std::uint32_t { MS_CONST = 0, MS_PLACE = 1, MS_RANGES = 2, MS_INT_MK = 3, MS_MK_MK = 4 };
enum IntShape : std::uint32_t { IS_CONST = 0, IS_MK = 1, IS_MK_MK = 2, IS_INT = 4, IS_INT_INT = 5, IS_INT3 = 6 };

struct MkOpInfo {
    MkShape shape;
    bool swappable;  // structural equality accepts the swapped operand order
    const char* text;
};
struct IntOpInfo {
    IntShape shape;
    bool swappable;
    const char* text;
};
extern const MkOpInfo kMkOps[MK_OP_COUNT];
extern const IntOpInfo kIntOps[I_OP_COUNT];

// One field of a tuple range: low..high (a single value e is {e, copy of e}).
struct RangePair {
    std::unique_ptr<INTNODE> low, high;
};

struct MKNODE {
    std::uint32_t op = MK_CONST;
    Marking constant;                 // MS_CONST
    std::uint32_t place = 0;          // MS_PLACE
    std::vector<RangePair> ranges;    // MS_RANGES
    std::unique_ptr<INTNODE> scalar;  // MS_INT_MK: the count (MK_SCALE) or the condition (MK_FILTER)
    std::unique_ptr<MKNODE> m1;       // MS_INT_MK: the marking; MS_MK_MK: left
    std::unique_ptr<MKNODE> m2;       // MS_MK_MK: right

    MKNODE() = default;
    MKNODE(const MKNODE&) = delete;
    MKNODE& operator=(const MKNODE&) = delete;
    ~MKNODE();
};

struct INTNODE {
    std::uint32_t op = I_CONST;
    std::uint32_t value = 0;         // IS_CONST
    std::unique_ptr<MKNODE> m1, m2;  // IS_MK, IS_MK_MK
    std::unique_ptr<INTNODE> i1, i2, i3;  // IS_INT, IS_INT_INT, IS_INT3

    INTNODE() = default;
    INTNODE(const INTNODE&) = delete;
    INTNODE& operator=(const INTNODE&) = delete;
    ~INTNODE();
};

using IntTree = std::unique_ptr<INTNODE>;
using MkTree = std::unique_ptr<MKNODE>;

// Constructors by shape.
IntTree IntConst(std::uint32_t value);
IntTree IntUnary(std::uint32_t op, IntTree a);                  // I_FIELD, I_NEG, I_NOT, I_COMPL
IntTree IntBinary(std::uint32_t op, IntTree a, IntTree b);      // shape 5
IntTree IntCond(IntTree a, IntTree b, IntTree c);
IntTree IntCard(MkTree m);
IntTree IntMkCompare(std::uint32_t op, MkTree a, MkTree b);     // shape 2
MkTree MkConst(Marking m);
MkTree MkPlace(std::uint32_t index);
MkTree MkRanges(std::vector<RangePair> ranges);
MkTree MkScalar(std::uint32_t op, IntTree scalar, MkTree m);    // MK_SCALE, MK_FILTER
MkTree MkBinary(std::uint32_t op, MkTree a, MkTree b);          // shape 4
RangePair PairCons(IntTree low, IntTree high);

IntTree IntCopy(const INTNODE& n);
MkTree MkCopy(const MKNODE& n);
RangePair PairCopy(const RangePair& p);
// Moves the contents of other into node (other's node is freed).
void IntReplace(INTNODE& node, IntTree other);
void MkReplace(MKNODE& node, MkTree other);

// Structural equality: same operators and equal operands; constants by
// value, places by index, constant markings as multisets, range lists entry
// by entry; for the operators marked swappable the swapped order as well.
bool IntEqual(const INTNODE& a, const INTNODE& b);
bool MkEqual(const MKNODE& a, const MKNODE& b);

// Nesting depths that size the code generator's temporaries.
std::uint32_t IntDepth(const INTNODE& n);
std::uint32_t MkDepth(const MKNODE& n);

// Indices of the places that the tree names (each once, ascending).
std::vector<std::uint32_t> PlacesOf(const INTNODE& n);

// ----- Compile-time evaluation and simplification -----------------------

// The pending-error state of the expression parser: 0 when no error is
// pending.  Set by the parser's error rules and kind checks, and by the
// compile-time evaluators (which report at most one error per text).
int& ParseErrorState();
enum : int { kErrFormula = 1, kErrKind = 2, kErrExpression = 3, kErrMarking = 4 };

// Installs the evaluators that depend on the net: a place's marking (its
// initial marking), and the folding of field references, division and
// remainder.  Called once at start, before anything is parsed.
void OpTablesInit();

// Evaluates with the current tuple of the field references (none outside
// filters).  Errors are reported once and set ParseErrorState().
std::uint32_t IntEvaluate(const INTNODE& n, const Tuple* current = nullptr);
Marking MkEvaluate(const MKNODE& n, const Tuple* current = nullptr);
// The marking of a range list written between <. and .>.
Marking RangeEnumerate(const std::vector<RangePair>& ranges, const Tuple* current = nullptr);

// Simplifies in place (constant subtrees folded, rewrites with one constant
// operand) and returns the level: 0 constant, 1 depends on the current
// tuple, 2 depends on the marking of the state.
enum Level : int { kLevelConst = 0, kLevelTuple = 1, kLevelState = 2 };
int IntSimplify(IntTree& n);
int MkSimplify(MkTree& n);

}  // namespace tulc
