// The ZBDD encoding of a net: one variable per place in the order of a greedy
// heuristic, one transition vector per transition, the transitions ordered
// by token flow from the initial marking; the reachability set by a chained
// fixpoint of fireUnion, and the safety check on it.
#pragma once

#include <cstdint>
#include <vector>

#include "nettables.h"
#include "zbdd.h"

namespace zbdd {

struct TransitionRecord {
    int index = 0;
    int presetArcs = 0;     // every arc of the preset, read arcs included
    int producedPlaces = 0;  // postset arcs without the read-arc flag
    TransitionVector vector;
};

class NetEncoding {
public:
    NetEncoding() = default;
    NetEncoding(const NetEncoding&) = delete;
    NetEncoding& operator=(const NetEncoding&) = delete;
    ~NetEncoding();

    // Steps of the set-up: scheduler places, transition records, firing
    // order, variable order, vectors, and the package with the model size
    // and as many external references as given.
    void setupEncoding(const NetTables& net, bool variableHeuristic, bool transitionHeuristic,
                       const ModelSize& size, std::uint32_t maxExtRefs);
    // Releases the handles, then the package.
    void teardown();

    void computeRS();
    // True when no marking of the set enables a transition by its preset
    // while a place it produces is marked; otherwise prints the witness.
    bool safeQ(const Zbdd& set) const;
    void dumpVectors() const;

    const NetTables* net = nullptr;
    bool hasPnScheduler = false;
    bool hasBaScheduler = false;
    int pnScheduler = 0;  // place index, meaningful when hasPnScheduler
    int baScheduler = 0;
    int nP = 0, nT = 0, nOrd = 0;
    std::vector<TransitionRecord> records;  // by transition index
    std::vector<std::uint32_t> variableOf;  // place index -> variable
    std::vector<int> firingOrder;           // positions -> transition index
    std::vector<int> placeOf;               // variable -> place index

    Zbdd rs;
    Zbdd init;  // the initial marking, made by computeRS and the checks
    Zbdd acc;
    Zbdd da;

    Zbdd initialMarking() const;

private:
    void orderTransitions(bool heuristic);
    void orderVariables(bool heuristic);
    void buildVectors();
    bool packageOwned_ = false;
};

// Arc flags to vector codes for the pairs of one transition.
std::uint32_t presetCode(int flag);

}  // namespace zbdd
