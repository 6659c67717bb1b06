// Compile-time tuples and markings of the net compiler.
//
// A marking is a multiset of value tuples.  The compiler evaluates the
// marking expressions of a net description (initial markings, limits, tester
// conditions, let relations, #if conditions, #verify atoms in the initial
// marking) with these values; the generated code does the same at run time
// with the marking lists of the support library, whose operations have the
// same meaning.
//
// Invariant of a normalised marking: entries sorted by CompareTuples, each
// tuple at most once, no count 0.  Sum() may leave a marking unnormalised
// (entries appended, to make long sums linear); every other operation
// normalises its operands first.  A count that would pass 2^32-1 is not
// wrapped: normalising reports it through the overflow flag.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tulc {

using Tuple = std::vector<std::uint32_t>;

// -1, 0 or 1: the smaller arity is smaller; equal arities compare field by
// field as unsigned numbers.
int CompareTuples(const Tuple& a, const Tuple& b);

// "TUPLE <.1, 2.>\n" after indent dots, the text that error reports show.
std::string TupleText(const Tuple& t, unsigned indent = 0);

struct Multup {
    std::uint32_t count = 1;
    Tuple tuple;
};

class Marking {
public:
    Marking() = default;
    static Marking Single(Tuple t, std::uint32_t count = 1);

    // Entries in order; normalises first.
    const std::vector<Multup>& Entries() const;
    bool Empty() const { return entries_.empty(); }
    // Sorts and merges.  Returns false when a merged count passed 2^32-1
    // (the count is then clamped, and the caller reports the error).
    bool Normalize() const;

    // Appends a tuple already in order behind every present one (range
    // enumeration); the caller guarantees the order.
    void AppendOrdered(Tuple t, std::uint32_t count = 1);

    // The operations of the marking expressions.  Each returns false when a
    // count overflowed.
    bool Add(Marking&& other);                            // m1 + m2
    bool Subtract(const Marking& other);                  // m1 - m2 (counts stop at 0)
    bool Intersect(const Marking& other);                 // m1 & m2 (minimum)
    bool Scale(std::uint32_t factor);                     // e m (factor 0 empties)
    static bool Cartes(const Marking& a, const Marking& b, Marking& out);  // m1 * m2
    // card(m): the sum of the counts, wrapping like every integer value.
    std::uint32_t Card() const;

    static bool Less(const Marking& a, const Marking& b);    // proper sub-multiset
    static bool Lequal(const Marking& a, const Marking& b);  // sub-multiset
    static bool Equal(const Marking& a, const Marking& b);
    // A total order on normalised markings (used to identify constants).
    static int Compare(const Marking& a, const Marking& b);

    // Keeps entry i when keep[i] is non-zero (the filter m : e, whose
    // condition the caller evaluated per entry of Entries()).
    void KeepMask(const std::vector<char>& keep);

private:
    mutable std::vector<Multup> entries_;
    mutable bool sorted_ = true;
};

}  // namespace tulc
