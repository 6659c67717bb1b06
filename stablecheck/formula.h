// Reachability formulas: scanner, parser, formula tree and its simplification.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace veltra {
class Atom;
}

namespace velcheck {

class BraProcess;

// Token codes; node kinds use the same codes.
enum Token : int {
    TOK_END = 0,
    TOK_ERROR = 256,
    TOK_BANG = 258,
    TOK_QUERY = 259,
    TOK_BOX = 260,      // "#"
    TOK_DIAMOND = 261,  // "^"
    TOK_IMPLIES = 262,  // "=>"
    TOK_EQUIV = 263,    // "<=>"
    TOK_OR = 264,       // "+"
    TOK_AND = 265,      // "*"
    TOK_NOT = 266,      // "-"
    TOK_FALSE = 267,    // "0"
    TOK_TRUE = 268,     // "1"
    TOK_PLACE = 269,
};

// A node of the formula tree; children are indices into the tree's node
// array (-1 for none).  Unary nodes keep their operand on the right.
struct TreeNode {
    int kind = 0;
    std::int32_t left = -1;
    std::int32_t right = -1;
    std::uint32_t place = 0;
    veltra::Atom* atom = nullptr;
};

class FormulaTree {
public:
    std::vector<TreeNode> nodes;
    std::int32_t root = -1;

    std::int32_t add(int kind, std::int32_t left = -1, std::int32_t right = -1, std::uint32_t place = 0);
    std::int32_t copy(std::int32_t n);  // deep copy of a subtree
    const TreeNode& at(std::int32_t n) const { return nodes[static_cast<std::size_t>(n)]; }
    TreeNode& at(std::int32_t n) { return nodes[static_cast<std::size_t>(n)]; }
};

// Largest number of tree nodes a formula may expand to ("<=>" copies its operands).
constexpr std::size_t max_formula_nodes = 4000000;
// Deepest nesting the parser accepts.
constexpr std::size_t max_parser_stack = 10000;

struct ParseResult {
    bool ok = false;
    bool unknown_place = false;  // the scanner met a name that is no place
    std::string message;         // what was printed
};

// Parses the formula file against the place names of the prefix.  Prints
// "\nPARSING-ERROR (%s)!!!\n\n" or the scanner's unknown-place message to
// err on failure.
ParseResult ParseFormula(std::FILE* in, const BraProcess& prefix, FormulaTree& tree, std::FILE* err);

bool IsSimpleReachability(const FormulaTree& tree);
void TreeOptimize(FormulaTree& tree);
void EvaluatePlacesInInitialState(FormulaTree& tree, const BraProcess& prefix);
void EvaluatePlacesInAnyState(FormulaTree& tree, std::int32_t subtree, const BraProcess& prefix);
void TreeDisplay(std::FILE* out, const FormulaTree& tree, const BraProcess& prefix);

}  // namespace velcheck
