// The questions vorga answers, each a problem object that reads its data
// file, generates its constraint over the event variables and searches the
// compatible vectors for a solution, from which the trail is built.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "constraints.h"
#include "parsers.h"
#include "unfolding.h"

namespace vorga {

// The options of one run.
struct Settings {
    std::uint32_t worst = 0;  // worst exit code so far
    bool safe = false;
    std::int8_t branching = -1;  // -![n]; -1 when not given
    std::int8_t memory = -1;     // -M[n]; -1 when not given
    bool internal = false;       // -i
    bool shortest = false;       // -t
    bool wait = false;           // -w
    int mode = 0;                // 0 none, 1 deadlock, 2 reach, 3 cover, 4 ext. reach, 5 mutex
    std::string mci;
    std::optional<std::string> output, data;
};

enum Mode { MODE_NONE = 0, MODE_DEADLOCK, MODE_REACH, MODE_COVER, MODE_EXT_REACH, MODE_MUTEX };

class mc_problem {
public:
    mc_problem(const unfolding& u, const Settings& s);
    virtual ~mc_problem();
    mc_problem(const mc_problem&) = delete;
    mc_problem& operator=(const mc_problem&) = delete;

    // Reads the problem's data file; a null path means there is none.
    virtual void read_input(const char* path) = 0;
    virtual void report_generation();
    virtual void report_solving();
    virtual void report_disjunct_generation(double t);
    virtual void report_disjunct_solving(double t);
    virtual bool run() { return (this->*run_slot)(); }

    std::shared_ptr<constraint> constr;
    const unfolding& unf;
    std::optional<std::vector<std::pair<std::uint32_t, std::uint32_t>>> trail;  // (event, transition)
    std::uint32_t status = 0;
    std::uint64_t explored = 0;
    double gen_time = 0, solve_time = 0;
    bool safe;
    std::int8_t memory, branching;
    bool shortest;
    std::uint32_t best = 0;
    std::uint32_t disjunct = 0;  // UINT32_MAX: no further disjunct

    using gen_slot_t = void (mc_problem::*)();
    using search_slot_t = bool (mc_problem::*)();
    using mask_slot_t = void (mc_problem::*)(std::vector<std::uint8_t>&);
    gen_slot_t generator = nullptr;
    search_slot_t search = nullptr;
    mask_slot_t mask = &mc_problem::constraint_mask;
    search_slot_t run_slot = &mc_problem::run_single;

    bool run_single();
    bool run_disjuncts();
    bool DepthFirstSearch() { return search_impl(false); }
    bool BranchingSearch() { return search_impl(true); }
    void ExtractTrail();
    void raise(std::uint32_t code) {
        if (code > status) status = code;
    }

protected:
    void constraint_mask(std::vector<std::uint8_t>& bits) { constr->branching_mask(bits); }
    bool search_impl(bool branching_search);
    // Adds factor * T(s) for place s to the row (conditions produced by
    // cut-off events are left out; initial conditions go to the bound).
    void add_place_tokens(lin_constr& row, std::uint32_t place, std::int64_t factor) const;
    void print_size(const constraint& sys, std::size_t rows) const;
};

class deadlock_mc_problem : public mc_problem {
public:
    deadlock_mc_problem(const unfolding& u, const Settings& s);
    void read_input(const char* path) override;
    void gen_ddlk_unsafe();
    void gen_ddlk_safe();
    void gen_ddlk_nonlin();
    std::shared_ptr<inequat> not_terminal();

    bool internal;
    std::optional<TerminalList> terminals;
};

class simple_reachability_problem : public mc_problem {
public:
    using mc_problem::mc_problem;
    void read_input(const char* path) override;
    PlaceList marking;

protected:
    // With a coefficient of 2 or more on a safe net: the warning and a system
    // that never holds; returns true when it did so.
    bool unsafe_marking_check();
};

class reachability_problem : public simple_reachability_problem {
public:
    reachability_problem(const unfolding& u, const Settings& s);
    void gen_reach_m1();
    void gen_reach_m2();
    void gen_reach_safe();
};

class coverability_problem : public simple_reachability_problem {
public:
    coverability_problem(const unfolding& u, const Settings& s);
    void gen_cover_m1();
    void gen_cover_safe();
};

class ext_lin_reachability_problem : public mc_problem {
public:
    ext_lin_reachability_problem(const unfolding& u, const Settings& s);
    void read_input(const char* path) override;
    void gen_ext_reach();
    std::unique_ptr<lin_constr_system> system;
};

class mut_exclusion_problem : public simple_reachability_problem {
public:
    mut_exclusion_problem(const unfolding& u, const Settings& s);
    void read_input(const char* path) override;
    void report_disjunct_generation(double t) override;
    void report_disjunct_solving(double t) override;
    void gen_mutex_two();
    void gen_mutex_safe();
    void gen_mutex_pairs();
    void mutex_mask(std::vector<std::uint8_t>& bits);
    void mutex_pair_mask(std::vector<std::uint8_t>& bits);

    std::vector<std::shared_ptr<inequat>> holder;
    std::uint32_t pair_i = 0, pair_j = 0;

private:
    std::shared_ptr<inequat> place_marked(std::uint32_t place);
    void mask_common(std::vector<std::uint8_t>& bits, std::uint32_t first_place, std::uint32_t second_place);
};

// Non-linear deadlock constraint: no event outside the configuration is
// enabled in its final marking, and (optionally) the marking is not terminal.
class deadlock_constr : public constraint {
public:
    deadlock_constr(const unfolding& u, std::shared_ptr<inequat> term);
    void undo(std::uint32_t level) override;
    std::size_t size() const override { return 0; }
    void normalise() override {}
    bool holds() override;
    int propagate() override;
    void branching_mask(std::vector<std::uint8_t>& bits) override;
    void print(std::FILE*) const override {}
    bool holds_active() override;
    virtual int propagate_event(std::uint32_t e);

    std::vector<std::int64_t> score, excess;
    std::vector<std::uint32_t> done;
    std::shared_ptr<inequat> terminal;

private:
    const unfolding& unf_;
    std::vector<std::uint32_t> order_;  // open events from first_open_ on
    std::size_t first_open_ = 0;
    std::int64_t compute_excess(std::uint32_t e) const;
    void close_at(std::size_t i);
    bool eval(bool stop_early);
};

class inequat_unsafe_ddlk : public inequat {
public:
    int propagate() override;
};

class inequat_safe_ddlk : public inequat {
public:
    int propagate() override;
};

// Creates the problem of the settings' mode (prints the mode line and the
// substitution messages).
std::unique_ptr<mc_problem> make_problem(const unfolding& u, const Settings& s);

}  // namespace vorga
