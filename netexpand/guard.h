// The guard language of high-level transitions: optional declarations that
// give variables their domains, then a Boolean expression.
//
//   x{1..3} X {tt,ff} and y{-3..3}: pr1(x) = tt & y = x + 1
//
// guard_parse() scans and parses a guard text into an expression tree whose
// node types are the token codes below; GuardProgram turns the tree into a
// flat code with jumps, so that evaluating it for each of millions of
// bindings needs neither recursion nor allocation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "names.h"
#include "values.h"

namespace flatnet {

// Token codes; the expression nodes take the codes of their operators.
// Single-character tokens ('=', '#', '<', '>', '+', '-', '*', '/', '%', '(',
// ...) are their own codes; 0 ends the text.
enum GuardToken : int {
    NOT = 258,
    AND = 259,
    OR = 260,
    TRUE = 261,
    FALSE = 262,
    NUMBER = 263,
    IDENT = 264,
    GE = 265,
    LE = 266,
    DOTDOT = 267,
    PROJ = 268,
    CROSS = 269,
    UNARYMINUS = 270,
    DOT_TOKEN = 271,
};

// {node type, first operand, second operand}: NUMBER (value), IDENT
// (variable code), PROJ (variable code, component from 0), NOT and
// UNARYMINUS (operand node), binary operators (operand nodes).
struct GuardNode {
    int type;
    std::int32_t left;
    std::int32_t right;
};

struct Guard {
    bool ok = false;               // false after a parse error
    std::vector<GuardNode> nodes;
    std::int32_t root = -1;        // the expression; -1 for none
    struct Declaration {
        std::uint32_t code;
        std::vector<ValueSet> domain;  // one set per component
    };
    std::vector<Declaration> declarations;  // in text order
    CodeList used;                 // variables the expression names
    CodeList declared;             // variables of the declarations
};

// Prints "transition id %u: %s\n" on standard error; parsing and
// evaluation go on.
void guard_parse_error(std::uint32_t transition, const std::string& message);

// One token of a guard text, for the scanner's tests.
struct GuardTokenValue {
    int type;
    std::int64_t number = 0;  // NUMBER
    std::string text;         // IDENT
};
// The scanner: the tokens of a text up to its end (the last token is 0).
std::vector<GuardTokenValue> guard_lex(const std::string& text);

// Parses the guard of transition `transition`; errors are reported through
// guard_parse_error and leave ok false.
Guard guard_parse(const std::string& text, std::uint32_t transition, NameTable& names);

// Where a variable's current value (a tuple of `dimension` values) lies in
// the binding array.
struct VariableSlot {
    std::uint32_t offset = 0;
    std::uint32_t dimension = 0;
};

class GuardProgram {
public:
    // The expression of a parsed guard; slot_of gives every variable that
    // the expression uses its place in the binding.
    GuardProgram(const Guard& guard, std::uint32_t transition,
                 const std::function<VariableSlot(std::uint32_t code)>& slot_of);

    // evaluate_guard: the value of the expression under the binding; a
    // guard without an expression is dot.  A zero divisor or a projection
    // beyond a variable's dimension sets `error`; type errors are reported
    // and evaluation goes on.
    Value evaluate(const Value* binding, bool& error) const;

private:
    enum Op : std::uint8_t {
        PUSH, LOAD, BAD_PROJ, NEGATE, LOGICAL_NOT, AND_TEST, AND_END, OR_TEST, OR_END,
        EQ, NE, LT, GT, GE_OP, LE_OP, ADD, SUB, MUL, DIV, MOD,
    };
    struct Instruction {
        Op op;
        std::int32_t arg;  // value, binding offset or jump target
    };
    void report(const char* message) const;

    std::vector<Instruction> code_;
    std::uint32_t transition_;
    mutable std::vector<Value> stack_;
};

}  // namespace flatnet
