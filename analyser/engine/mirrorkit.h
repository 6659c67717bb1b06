// The pieces of the symmetry computation that its two modules share:
// the mappings, the net as relations between indices, the degree keys and
// the constraints with their refinement (mirror), used by the group search
// (mirror2).
#pragma once

#include <cstdint>
#include <vector>

#include "avlset.h"
#include "dynam.h"
#include "radix.h"
#include "tulm.h"

namespace engine::mirror {

using Mapping = std::vector<std::uint32_t>;  // image index by place index

// The mapping as the firing code reads it (mirror.h).
RADIX* Mrep(const Mapping& m);
extern const TOOLS mrepTools;
extern const BALTOOLS mrepBalTools;

struct Arc {
    std::uint32_t other;  // transition of a place's arc, place of a transition's arc
    unsigned long weight;
};

struct Net {
    std::vector<PLC*> places;
    std::vector<TRN*> trns;
    std::vector<unsigned> trnClass;
    // p -> t (t takes weight from p) and t -> p (t puts weight into p), seen
    // from either side.
    std::vector<std::vector<Arc>> placeOut, placeIn, trnIn, trnOut;
};

extern Net net;
// The net of the current tables.
void BuildNet();

// The degree of a record as a key compared lexicographically.
using Key = std::vector<unsigned long>;
Key PlaceKey(const PLC* plc);
Key TrnKey(std::uint32_t t);

struct Pair {
    std::vector<std::uint32_t> domain, range;  // sorted
};
struct Cnstr {
    std::vector<Pair> places, trns;  // in list order
};

// The classes of equal keys, in key order, as pairs of the class with
// itself.
std::vector<Pair> Classes(const std::vector<Key>& keys);

// Membership marks of the refinement, by index.
extern std::vector<std::uint32_t> inSetA, inSetB;
extern std::uint32_t stamp;

enum class Split { kNone, kSplit, kFailed };
Split Refine(Cnstr* c);
// Refines until nothing splits; false when a pair fails.
bool ExhaustRefine(Cnstr* c);

}  // namespace engine::mirror
