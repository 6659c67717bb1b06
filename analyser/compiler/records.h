// Records of the net description that tulc compiles.
//
// The statement parsers create them, post-processing and the #verify
// translation complete them, and the code generator and the table writer
// read them.  Ownership: the net tables (net.h) own places and transitions;
// a transition owns its arcs, variables, gates and comp text; an arc owns its
// tuple patterns; a tuple pattern owns its field and multiplicity fragments.
// Every other pointer below is a non-owning reference whose target lives as
// long as the net.  The Cons functions create records; copying a record
// copies what it owns and shares the variables and places it refers to;
// destroying it frees what it owns.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "marking.h"

namespace tulc {

struct VARIABLE;

// A place of the net.
struct PLACE {
    std::string name;
    // Common arity of the place's tuples; -1 until the first tuple (of the
    // initial marking or of an arc) fixes it.
    std::int32_t arity = -1;
    // Limit tuples, at most one per arity, sorted by arity; empty when the
    // place has no lo(...) or hi(...) clause.
    std::vector<Tuple> low, high;
    Marking initial;

    // The limit tuple of this arity, or null.
    const Tuple* LowOf(std::size_t arity) const;
    const Tuple* HighOf(std::size_t arity) const;
};

std::unique_ptr<PLACE> PlaceCons(std::string name, std::vector<Tuple> low, std::vector<Tuple> high,
                                 Marking initial);

// A text fragment of a field, a gate or a multiplicity expression: the C
// text that the code generator writes for it.
struct TEXTPART {
    enum Flags : std::uint32_t {
        kTested = 1,    // code generator's mark on a field or gate already tested
        kLiteral = 2,   // text
        kVariable = 4,  // reference to var
        kList = 8,      // parts, standing for their concatenation
    };
    std::uint32_t flags = 0;
    std::string text;               // kLiteral
    VARIABLE* var = nullptr;        // kVariable (not owned)
    std::vector<TEXTPART> parts;    // kList

    bool IsLiteral() const { return flags & kLiteral; }
    bool IsVariable() const { return flags & kVariable; }
    bool IsList() const { return flags & kList; }
};

// A literal.  A plain decimal number (first digit not 0, all digits) whose
// value has bit 31 set is stored as "0x%lx".
TEXTPART TextLiteral(const std::string& text);
TEXTPART TextVariable(VARIABLE* var);
TEXTPART TextList(std::vector<TEXTPART> parts);
// A literal is constant; a variable when its bound mark (flag 1) is set; a
// list when all its parts are.
bool TextIsConstant(const TEXTPART& t);
// The C text: literals unchanged, variables as their C names.
std::string TextString(const TEXTPART& t);
void TextPrint(std::FILE* stream, const TEXTPART& t);

// A variable of a transition.
struct VARIABLE {
    enum Flags : std::uint32_t {
        kBound = 1,
        kLimited = 2,      // has a range from place limits
        kInput = 4,        // occurs in the in block
        kOutput = 8,       // occurs in the out block and not in the in block
        kFolding = 16,     // named in the fd list
        kGate = 32,        // used in a gate
        kCounting = 64,    // occurs in a count expression
        kReported = 128,   // an error about it was given
        kCountBound = 256, // bound through a count expression
        kLoopLabel = 512,  // code generator only
        kLet = 1024,       // named in the let list
    };
    std::optional<std::string> name;  // none for the tester-state variables of #verify
    std::string cname;                // "/*x*/_v[0]", set by post-processing
    std::uint32_t low = 0, high = 0xFFFFFFFFu;
    // The guaranteed range of the code generator.
    std::uint32_t guaranteedLow = 0, guaranteedHigh = 0xFFFFFFFFu;
    std::uint32_t flags = 0;
    // The count expressions through which the variable is bound (owned by
    // their tuple patterns).
    std::vector<const TEXTPART*> countExprs;

    bool Has(std::uint32_t f) const { return (flags & f) != 0; }
};

std::unique_ptr<VARIABLE> VarCons(std::optional<std::string> name);

// A tuple pattern (term) of an arc: [multiplicity] <. field, ... .>.
struct MTUPLE {
    std::unique_ptr<TEXTPART> multiplicity;  // count expression, or null
    std::uint32_t count = 0;                 // constant multiplicity
    std::uint32_t arity = 0;
    std::vector<TEXTPART> fields;            // arity entries
    std::string label;                       // "/*mtuple from p*/", set by post-processing
    std::uint32_t position = 0;              // within the arc, set by post-processing

    MTUPLE() = default;
    MTUPLE(const MTUPLE& o);
    MTUPLE& operator=(const MTUPLE& o);
    MTUPLE(MTUPLE&&) = default;
    MTUPLE& operator=(MTUPLE&&) = default;
};

MTUPLE MtupleCons(std::uint32_t arity);

// An arc between a transition and a place.
struct ARC {
    enum Flags : std::uint32_t { kFirstGroup = 1, kLastGroup = 2 };  // code generator's search groups
    PLACE* place = nullptr;
    std::vector<MTUPLE> tuples;
    std::uint32_t index = 0;  // among the input or among the output arcs (post-processing)
    std::uint32_t flags = 0;
};

std::unique_ptr<ARC> ArcCons(PLACE* place, std::vector<MTUPLE> tuples);

// A transition of the net.
struct TRANSITION {
    enum Kind : std::uint32_t { kOrdinary = 0, kInitialize = 1, kDummy = 2 };
    std::string name;
    std::uint32_t kind = kOrdinary;
    std::uint32_t fdCount = 0;  // the fd variables are the first fdCount variables
    std::vector<std::unique_ptr<ARC>> inArcs, outArcs;
    std::vector<ARC*> allArcs;  // input arcs, then output arcs
    std::vector<std::unique_ptr<VARIABLE>> variables;
    std::optional<std::vector<std::string>> comp;  // token texts of the comp block
    std::vector<TEXTPART> gates;
    // Encoded value tuples of the let relation (number code, without the
    // terminating NUL); present in let mode only.
    std::optional<std::vector<std::string>> letSet;
    // Numbers of the #verify sub-automata whose atoms mention a place of one
    // of the transition's arcs.
    std::vector<std::uint32_t> subAutomata;

    // Refills allArcs from inArcs and outArcs.
    void FillAllArcs();
};

// A transition of kind 0 without arcs, variables, gates or comp text; with
// an empty let set in let mode.
std::unique_ptr<TRANSITION> TransCons(std::string name, bool letMode);
// New arcs from / to the place, appended to the input / output arcs.
ARC* TransAddIn(TRANSITION& t, PLACE* place, std::vector<MTUPLE> tuples);
ARC* TransAddOut(TRANSITION& t, PLACE* place, std::vector<MTUPLE> tuples);

// A node of the precedence-class graph.
struct CLASSNODE {
    enum Flags : std::uint32_t { kWalkMark = 1, kInhibitor = 2, kNothing = 4 };
    std::uint32_t number = 0;
    std::uint32_t flags = 0;
    std::vector<CLASSNODE*> higher, lower;  // sorted by class number, no duplicates
};

std::unique_ptr<CLASSNODE> ClassCons(std::uint32_t number);

// Numbers as the generated code and the messages write them: "%lu" / "%u",
// or "0x%lx" / "0x%x" when bit 31 is set.
std::string ULongText(std::uint32_t value);
std::string UIntText(std::uint32_t value);

}  // namespace tulc
