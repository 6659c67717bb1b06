// Values of the high-level nets and the text forms that carry them: place
// types, markings, arc inscriptions and the partner lists of phantom
// transitions.
//
// A value is a signed 16-bit word.  The three lowest words are reserved:
// ff, tt and dot; every word from -32765 up is a number.  Sets of values are
// kept sorted, so ff < tt < dot < every number.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "names.h"

namespace flatnet {

using Value = std::int16_t;
constexpr Value ff = -32768;
constexpr Value tt = -32767;
constexpr Value dot = -32766;
constexpr int MIN_NUMBER = -32765;
constexpr int MAX_NUMBER = 32767;

inline bool is_boolean(Value v) { return v == ff || v == tt; }
inline bool is_numeric(Value v) { return v >= MIN_NUMBER; }

// "tt", "ff", "dot" or the number.
std::string value_name(Value v);
void append_value_name(std::string& out, Value v);

using ValueSet = std::vector<Value>;  // sorted, distinct
using Tuple = std::vector<Value>;

// Position of v in the set, or -1.
std::int64_t position_in(const ValueSet& set, Value v);
// Intersection of two sorted sets.
ValueSet intersect(const ValueSet& a, const ValueSet& b);

// A place type: one value set per component.  An untyped place has the one
// component {dot}.
struct PlaceType {
    std::vector<ValueSet> components{ValueSet{dot}};
    bool untyped = true;

    std::size_t dimension() const { return components.size(); }
    // Number of value tuples; "Error: ..." when it does not fit 64 bits.
    std::uint64_t size(std::uint32_t place_number) const;
};

// A marking: tuples with their counts, sorted by tuple, each tuple once.
struct MarkingEntry {
    Tuple tuple;
    std::uint32_t count = 0;
};
using Marking = std::vector<MarkingEntry>;

// One element of an arc inscription: count times a variable, a constant or
// a tuple of them.  A single variable on a place of several components
// stands for all of them.
struct InscriptionTerm {
    bool variable = false;
    std::uint32_t code = 0;  // variable code
    Value value = 0;         // constant
};
struct InscriptionElement {
    std::uint32_t count = 1;
    bool tuple = false;
    std::vector<InscriptionTerm> terms;
};
using Inscription = std::vector<InscriptionElement>;

// Error of a text form; the caller adds its context ("Error in %s: %s").
struct TextError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

PlaceType parse_place_type(const std::string& text);
Marking parse_marking(const std::string& text);
// The partner list of a phantom: "(n1,n2,...)", 32-bit numbers.
std::vector<std::int64_t> parse_number_list(const std::string& text);
// The inscription of an arc to a place of `dimension` components; variable
// names are entered into the name table.
Inscription parse_arc_inscription(const std::string& text, std::size_t dimension, NameTable& names);

}  // namespace flatnet
