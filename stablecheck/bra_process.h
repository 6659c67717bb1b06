// The branching process (finite complete prefix) that velcheck reads from a
// ".mci" file, the sets of conditions and events derived from it, and the
// closure and replay operations that turn a solver model into a checked
// configuration.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "prefixfile.h"

namespace velcheck {

// Internal errors: always checked, whatever the build type.
[[noreturn]] void internal_error(const char* what, const char* file, int line);
#define VELCHECK_ASSERT(cond) \
    ((cond) ? static_cast<void>(0) : ::velcheck::internal_error(#cond, __FILE__, __LINE__))

// A set of n bits in 32-bit words; bit k lies in word k/32 at position k%32.
struct BITARRAY {
    std::uint32_t bits = 0;
    std::uint32_t words = 0;
    std::vector<std::uint32_t> data;
};

BITARRAY NewBitArray(std::uint32_t n);
inline void DeleteBitArray(BITARRAY& a) {
    a.data.clear();
    a.data.shrink_to_fit();
    a.bits = a.words = 0;
}
void CopyBitArray(const BITARRAY& src, BITARRAY& dst);
void AndBitArray(const BITARRAY& a, const BITARRAY& b, BITARRAY& dst);
void OrBitArray(const BITARRAY& a, const BITARRAY& b, BITARRAY& dst);
void NotBitArray(const BITARRAY& a, BITARRAY& dst);

// Element i (numbered from 1) is bit i-1.
inline bool TestBit(const BITARRAY& a, std::uint32_t i) {
    const std::uint32_t k = i - 1;
    return (a.data[k >> 5] >> (k & 31)) & 1u;
}
inline void SetBit(BITARRAY& a, std::uint32_t i) {
    const std::uint32_t k = i - 1;
    a.data[k >> 5] |= 1u << (k & 31);
}
inline void ClearBit(BITARRAY& a, std::uint32_t i) {
    const std::uint32_t k = i - 1;
    a.data[k >> 5] &= ~(1u << (k & 31));
}

// A stack of unsigned 32-bit values in pages of 1024 values.
class UlStack {
public:
    static constexpr std::size_t page_size = 1024;
    UlStack();
    ~UlStack();
    UlStack(const UlStack&) = delete;
    UlStack& operator=(const UlStack&) = delete;

    void push(std::uint32_t v);
    std::uint32_t pop();
    bool empty() const { return cursor_ == 0 && page_->next == nullptr; }
    std::size_t pages() const;

private:
    struct Page {
        std::uint32_t* values;
        Page* next;  // the previous (older) page
    };
    Page* page_;
    std::size_t cursor_ = 0;
};

// A relation list of a prefix node: offsets into one array.
using Adjacency = prefixfile::Relation;

class BraProcess {
public:
    // Takes over a prefix read by the shared reader and derives the sets.
    void Load(prefixfile::Prefix&& prefix);
    // Reads the ".mci" file through the shared reader; on a failure returns
    // false and sets error to the reader's message.
    bool ReadPrefix(std::FILE* file, std::string& error);
    bool ReadPrefixBytes(const std::vector<unsigned char>& bytes, std::string& error);

    std::uint32_t FindPlace(const std::string& name) const;
    const std::string& PlaceName(std::uint32_t p) const { return place_names[p - 1]; }
    const std::string& TransitionName(std::uint32_t t) const { return trans_names[t - 1]; }
    bool IsPreEventCutoff(std::uint32_t c) const {
        return cond_pre[c] != 0 && TestBit(cutoffs, cond_pre[c]);
    }
    bool IsCutoff(std::uint32_t e) const { return TestBit(cutoffs, e); }
    bool IsPlaceInitiallyMarked(std::uint32_t p) const;
    bool IsPlaceInPrefix(std::uint32_t p) const;
    std::uint32_t GiveAnyPreEvent(std::uint32_t p) const;

    void MarkTouchingEvents(const BITARRAY& conds, BITARRAY& events) const;
    void EnablednessClosure(const BITARRAY& start);
    void CausalClosure(BITARRAY& events) const;
    std::uint32_t ContinueToDeadlock(BITARRAY& config) const;

    // Relations, numbered from 1.  Preset lists and consumer lists hold their
    // items in file order; postsets in ascending condition number.
    std::uint32_t conditions = 0;  // C
    std::uint32_t events = 0;      // E
    std::vector<std::uint32_t> cond_place;  // [C + 1]
    std::vector<std::uint32_t> cond_pre;    // [C + 1], 0 for an initial condition
    Adjacency consumers;                    // per condition
    std::vector<std::uint32_t> event_trans; // [E + 1]
    Adjacency preset;                       // per event
    Adjacency postset;                      // per event
    std::vector<std::uint32_t> corresponding;  // [E + 1], for cut-offs
    std::uint32_t arcs = 0;
    std::uint32_t first_cutoff = 0;
    BITARRAY cutoffs;

    BITARRAY initial_conditions;
    BITARRAY conflict_conditions;
    BITARRAY conflict_events;
    BITARRAY unconsumed_conditions;
    BITARRAY single_pre_event_events;

    std::vector<std::string> place_names;
    std::vector<std::string> trans_names;

    BITARRAY relevant_events;
    BITARRAY relevant_conditions;

private:
    void ComputeDerivedSets();
    std::unordered_map<std::string, std::uint32_t> place_index_;
    std::vector<std::uint32_t> first_cond_of_place_;  // [P + 1], 0 = none
    std::vector<bool> place_initial_;                 // [P + 1]
};

}  // namespace velcheck
