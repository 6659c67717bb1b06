// Translation of deadlock and reachability questions about a prefix into
// logic programs for the Veltra solver, and of models back into
// configurations.
#pragma once

#include "bra_process.h"
#include "formula.h"
#include "veltra.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace velcheck {

// A set of word vectors (length n >= 1, then n words), kept by pointer.
class SIMPLEHASH {
public:
    explicit SIMPLEHASH(std::size_t capacity);
    // Returns the stored equal vector, or nullptr after storing this one.
    const std::uint32_t* InsertDataIfNew(const std::uint32_t* vec);
    void Clear();
    std::size_t size() const { return count_; }
    static std::uint32_t Hash(const std::uint32_t* vec);

private:
    struct Slot {
        const std::uint32_t* vec = nullptr;
        std::uint32_t hash = 0;
    };
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
};

class Unf2Velt {
public:
    explicit Unf2Velt(BraProcess& prefix);
    Unf2Velt(const Unf2Velt&) = delete;
    Unf2Velt& operator=(const Unf2Velt&) = delete;

    void SetOptimizationLevel(int level);
    void CreateDeadlockProgram(bool names);
    // Returns true when it decided the answer without solving; sets negated.
    bool CreateReachabilityProgram(FormulaTree& tree, bool names, bool& negated);
    bool SolveProgram(bool lookahead);
    // Builds the witness from the model and closes it causally.
    void ModelToConfiguration();
    bool DeadlockSanityCheck(std::FILE* out);
    void PrintConfiguration(std::FILE* out) const;
    void PrintProgram(std::FILE* out) const { solver_->program.print(out); }
    void PrintStatistics(std::FILE* out) const { solver_->print_statistics(out); }

    veltra::Veltra& solver() { return *solver_; }
    const BITARRAY& witness() const { return witness_; }
    bool has_witness() const { return has_witness_; }

    bool optimize_cutoff_presets = false;
    bool optimize_force_events = false;
    bool optimize_unconsumed_conditions = false;
    bool optimize_merge_events = false;
    bool optimize_use_choice_rules = false;
    bool optimize_remove_duplicates = false;
    bool optimize_sort_rules = false;
    bool optimize_use_multihead_rules = false;
    bool optimize_enabledness_closure = false;

private:
    using Body = std::vector<std::uint32_t>;

    std::uint32_t NewAtom(bool names, const char* fmt, long number);
    veltra::Atom* AtomAt(std::uint32_t index) const;
    std::uint32_t Rep(std::uint32_t e) const;
    // Builds event atoms and rules, marking atoms and conflict rules shared
    // by both programs.  open_events: events never merged or forced (may be null).
    void MakeEventAtoms(bool names, const BITARRAY* open_events);
    void MakeEventRules(const BITARRAY* open_events);
    void MakeConflictRules(bool all_conflict_conditions);
    void MakeMarkingRules();
    Body EventBody(std::uint32_t e);
    Body ConsumerAtoms(std::uint32_t c);
    void EmitSortedLists(std::vector<Body>& lists, veltra::Atom* head, bool by_atom);
    bool Translated(std::uint32_t e) const;
    bool ConditionTranslated(std::uint32_t c) const;
    bool IsOpen(std::uint32_t e, const BITARRAY* open_events) const;

    BraProcess& prefix_;
    std::unique_ptr<veltra::Veltra> solver_;
    std::unique_ptr<veltra::Api> api_;
    veltra::Atom* conflict_ = nullptr;
    veltra::Atom* live_ = nullptr;
    std::vector<veltra::Atom*> atoms_;     // 0: none, 1: always, then atoms
    std::vector<std::uint32_t> e_index_;   // per event
    std::vector<std::uint32_t> be_index_;  // per event
    std::vector<std::uint32_t> rep_;       // per event
    std::vector<std::uint32_t> b_index_;   // per condition
    std::vector<bool> own_b_;              // condition has its own marking atom
    BITARRAY merged_events;
    BITARRAY witness_;
    bool has_witness_ = false;
    bool closure_ = false;   // events outside the closure are left out
    BITARRAY scratch_;       // dedupe of bodies
};

}  // namespace velcheck
