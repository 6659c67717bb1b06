// Veltra: a stable-model solver for normal logic programs extended by
// constraint rules (h :- k { literals }) and choice rules ({ h1, ... } :- body).
//
// A program is built through the Api, then Veltra::find_model searches for one
// stable model by propagation (rule firing, backchaining and the upper closure
// that makes unsupported atoms false), optional lookahead and chronological
// backtracking.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace veltra {

// Internal errors stop the program whatever the build type.
[[noreturn]] void internal_error(const char* what, const char* file, int line);
#define VELTRA_ASSERT(cond) \
    ((cond) ? static_cast<void>(0) : ::veltra::internal_error(#cond, __FILE__, __LINE__))

class Rule;
class Program;

// One propositional atom.
class Atom {
public:
    explicit Atom(Program* p, std::uint32_t index) : program(p), index(index) {}

    const char* display_name() const { return has_name ? name.c_str() : "#noname#"; }

    Program* program;
    std::uint32_t index;   // creation order, from 0
    std::string name;
    bool has_name = false;

    // Occurrences: one array holding, in this order, the rules that have the
    // atom as a head, in the negative body and in the positive body.
    std::vector<Rule*> occ;
    std::uint32_t head_count = 0, neg_count = 0, pos_count = 0;
    std::uint32_t head_fill = 0, neg_fill = 0, pos_fill = 0;  // used while registering

    Rule* const* heads_begin() const { return occ.data(); }
    Rule* const* heads_end() const { return occ.data() + head_count; }
    Rule* const* neg_begin() const { return occ.data() + head_count; }
    Rule* const* neg_end() const { return occ.data() + head_count + neg_count; }
    Rule* const* pos_begin() const { return occ.data() + head_count + neg_count; }
    Rule* const* pos_end() const { return occ.data() + occ.size(); }
    // The positive occurrences whose rules count this atom in the upper
    // closure come first; the others follow.
    Rule* const* pos_upper_end() const { return pos_begin() + pos_counted; }
    std::uint32_t pos_counted = 0;
    bool in_loop = true;  // on a positive loop: its support needs tracking

    std::uint32_t active_heads = 0;  // head rules that are not inactive
    Rule* source = nullptr;          // support in the upper closure

    // Truth and bookkeeping flags.
    bool is_true = false;
    bool is_false = false;
    bool in_upper = false;
    bool queued_true = false;
    bool queued_false = false;
    bool queued_upper = false;
    bool collected = false;    // gathered by the current upper-closure pass
    bool logged = false;       // recorded as possibly lacking support
    bool choice = false;       // on the search stack as a choice point
    bool tested_true = false;  // lookahead: testing true decides nothing new
    bool tested_false = false;
    bool on_tested = false;    // on the stack of tested atoms
    bool must_true = false;    // compute statement
    bool must_false = false;
    bool candidate = false;    // may be picked as a choice
    bool cand_mark = false;    // scratch mark of the candidate pass

    std::int64_t score_true = -1, score_false = -1;

    std::uint32_t list_pos = 0;  // position in the undecided list
    // Strongly connected components (scratch).
    std::uint32_t scc_index = 0, scc_low = 0;
    bool scc_on_stack = false;

    bool decided() const { return is_true || is_false; }
};

// A circular queue of atoms: room for n atoms in n + 1 places.
class Queue {
public:
    void init(std::size_t n);
    bool empty() const { return top_ == bottom_; }
    void push(Atom* a);
    Atom* pop();
    void clear() { top_ = bottom_ = 0; }
private:
    std::vector<Atom*> items_;
    std::size_t top_ = 0, bottom_ = 0;
};

// A stack of atoms with a fixed capacity.
class Stack {
public:
    void init(std::size_t n);
    bool empty() const { return top_ == 0; }
    std::size_t size() const { return top_; }
    void push(Atom* a);
    Atom* pop();
    Atom* at(std::size_t i) const { return items_[i]; }
private:
    std::vector<Atom*> items_;
    std::size_t top_ = 0;
};

// Abstract rule.  Every rule keeps its atoms in one array: the heads of a
// choice rule, then the negative body, then the positive body.
class Rule {
public:
    virtual ~Rule() = default;

    // A body literal became false.  free: a negative literal, or a positive
    // one that the rule does not count in the upper closure.
    virtual void literal_false(Program& p, bool free) = 0;
    virtual void fire_initial(Program& p) = 0;
    // A positive body atom entered the upper closure.
    virtual void upper_literal_true(Program& p) = 0;
    // A body literal became true (neg: "not a" with a false).
    virtual void literal_true(Program& p, bool neg) = 0;
    virtual void force_body_true(Program& p) = 0;
    virtual void force_last_literal_false(Program& p) = 0;
    virtual void undo_literal_true(bool neg) = 0;
    virtual void undo_literal_false(bool free) = 0;
    // A positive body atom left the upper closure.
    virtual void undo_upper_literal_true(Program& p) = 0;
    virtual bool is_inactive() const = 0;
    virtual bool is_upper_active() const = 0;
    // The positive body atom b is no longer counted in the upper closure
    // (it lies outside the loops of the rule's heads).
    virtual void uncount_upper_literal(const Atom* b) = 0;
    virtual void register_occurrences() = 0;
    virtual void print(std::FILE* out) const {}

    virtual std::size_t head_size() const = 0;
    virtual Atom* head(std::size_t i) const = 0;

    const std::vector<Atom*>& atoms() const { return atoms_; }
    std::size_t neg_begin() const { return neg_begin_; }
    std::size_t pos_begin() const { return pos_begin_; }

    std::uint32_t scc_mark = 0;  // scratch

protected:
    void print_body(std::FILE* out, bool& first) const;
    std::vector<Atom*> atoms_;
    std::size_t neg_begin_ = 0, pos_begin_ = 0;
};

// h :- a1, ..., am, not b1, ..., not bn.
class BasicRule : public Rule {
public:
    BasicRule(Atom* head, const std::vector<Atom*>& pos, const std::vector<Atom*>& neg);
    void literal_false(Program& p, bool neg) override;
    void fire_initial(Program& p) override;
    void upper_literal_true(Program& p) override;
    void literal_true(Program& p, bool neg) override;
    void force_body_true(Program& p) override;
    void force_last_literal_false(Program& p) override;
    void undo_literal_true(bool neg) override;
    void undo_literal_false(bool neg) override;
    void undo_upper_literal_true(Program& p) override;
    bool is_inactive() const override { return false_count_ > 0; }
    bool is_upper_active() const override { return false_count_ == 0 && upper_missing_ == 0; }
    void uncount_upper_literal(const Atom* b) override {
        if (!b->in_upper) --upper_missing_;
    }
    void register_occurrences() override;
    void print(std::FILE* out) const override;
    std::size_t head_size() const override { return 1; }
    Atom* head(std::size_t) const override { return head_; }
private:
    Atom* head_;
    std::uint32_t not_true_;       // literals not yet true
    std::uint32_t false_count_ = 0;
    std::uint32_t upper_missing_;  // positive literals outside the upper closure
};

// h :- k { a1, ..., am, not b1, ..., not bn }.
class ConstraintRule : public Rule {
public:
    ConstraintRule(Atom* head, const std::vector<Atom*>& pos, const std::vector<Atom*>& neg,
                   std::int64_t bound);
    void literal_false(Program& p, bool neg) override;
    void fire_initial(Program& p) override;
    void upper_literal_true(Program& p) override;
    void literal_true(Program& p, bool neg) override;
    void force_body_true(Program& p) override;
    void force_last_literal_false(Program& p) override;
    void undo_literal_true(bool neg) override;
    void undo_literal_false(bool neg) override;
    void undo_upper_literal_true(Program& p) override;
    bool is_inactive() const override { return false_count_ > 0; }
    bool is_upper_active() const override { return false_count_ <= 0 && upper_missing_ <= 0; }
    void uncount_upper_literal(const Atom* b) override {
        if (!b->in_upper && !b->is_false) --upper_missing_;
    }
    void register_occurrences() override;
    void print(std::FILE* out) const override;
    std::size_t head_size() const override { return 1; }
    Atom* head(std::size_t) const override { return head_; }
private:
    void force_undecided(Program& p, bool value);
    Atom* head_;
    std::int64_t bound_;
    std::int64_t true_needed_;     // true literals still needed to fire
    std::int64_t false_count_;     // starts at k - (m + n); inactive when > 0
    // k - n - (counted positive atoms in upper) - (other positive atoms not
    // false) + (false negative literals)
    std::int64_t upper_missing_;
};

// { h1, ..., hj } :- a1, ..., am, not b1, ..., not bn.
class ChoiceRule : public Rule {
public:
    ChoiceRule(const std::vector<Atom*>& heads, const std::vector<Atom*>& pos,
               const std::vector<Atom*>& neg);
    void literal_false(Program& p, bool neg) override;
    void fire_initial(Program& p) override;
    void upper_literal_true(Program& p) override;
    void literal_true(Program& p, bool neg) override;
    void force_body_true(Program& p) override;
    void force_last_literal_false(Program&) override {}
    void undo_literal_true(bool neg) override;
    void undo_literal_false(bool neg) override;
    void undo_upper_literal_true(Program& p) override;
    bool is_inactive() const override { return false_count_ > 0; }
    bool is_upper_active() const override { return false_count_ == 0 && upper_missing_ == 0; }
    void uncount_upper_literal(const Atom* b) override {
        if (!b->in_upper) --upper_missing_;
    }
    void register_occurrences() override;
    void print(std::FILE* out) const override;
    std::size_t head_size() const override { return head_count_; }
    Atom* head(std::size_t i) const override { return atoms_[i]; }
private:
    std::size_t head_count_;
    std::uint32_t not_true_;
    std::uint32_t false_count_ = 0;
    std::uint32_t upper_missing_;
};

// The program: atoms, rules and the propagation queues.
class Program {
public:
    std::vector<std::unique_ptr<Atom>> atoms;
    std::vector<std::unique_ptr<Rule>> rules;
    Queue value_queue;
    Queue upper_queue;
    bool queue_conflict = false;
    std::vector<Atom*> upper_work;  // atoms that just entered the upper closure

    void queue_true(Atom* a);
    void queue_false(Atom* a);
    void queue_upper(Atom* a);
    // Rule r supports head h in the upper closure when h is outside of it.
    void support(Rule* r, Atom* h);
    // Backchaining: a true atom with one active rule left makes it force its body.
    void check_single_support(Atom* h);

    void print(std::FILE* out) const;
};

class Veltra;

enum class RuleKind { basic = 1, constraint = 2, choice = 3 };

// Builds a program.
class Api {
public:
    explicit Api(Veltra& solver);
    Atom* new_atom();
    void set_name(Atom* a, const char* name);
    void set_compute(Atom* a, bool value);
    void reset_compute(Atom* a, bool value);
    void begin_rule(RuleKind kind);
    void add_head(Atom* a);
    void add_body(Atom* a, bool positive);
    void set_atleast(std::int64_t k);
    void end_rule();
    void done();
private:
    Veltra& solver_;
    Program& program_;
    RuleKind kind_ = RuleKind::basic;
    std::vector<Atom*> head_, pos_, neg_;
    std::int64_t atleast_ = 0;
};

struct Statistics {
    std::int64_t choice_points = 0;
    std::int64_t wrong_choices = 0;
    std::int64_t picked = 0;
    std::int64_t forced = 0;
    std::int64_t truth_assignments = 0;
    std::int64_t models = 0;
    std::int64_t searchspace = 0;
    std::int64_t searchspace_removed = 0;
};

class Veltra {
public:
    Veltra() = default;
    Veltra(const Veltra&) = delete;
    Veltra& operator=(const Veltra&) = delete;

    Program program;

    void init();
    // Returns true when a stable model was found; the assignment then stays
    // in place.  Called again it continues the search after that model.
    bool find_model(bool lookahead);

    const Statistics& stats() const { return stats_; }
    void print_statistics(std::FILE* out) const;

private:
    enum class Pass { fixed, nofix };

    bool setup();
    void reduce_loops();
    bool expand();
    bool process_upper();
    void conflict_cleanup();
    void requeue_logged();
    void log_atom(Atom* a);
    void set_true(Atom* a);
    void set_false(Atom* a);
    void set_value(Atom* a, bool value) { value ? set_true(a) : set_false(a); }
    void undo(Atom* a);
    void unwind_to(std::size_t height);
    void backtrack();
    void choose(Atom* a, bool value);
    void remove_atom(std::uint32_t pos);
    void compact_undecided();
    Pass lookahead_pass();
    // Returns -1 on a conflict (the atom is then fixed), else the score.
    std::int64_t test(Atom* a, bool value);
    void clear_tested();
    void compute_candidates();
    bool all_decided() const { return stack_.size() == program.atoms.size(); }

    Stack stack_;
    Stack tested_;
    std::vector<Atom*> undecided_;
    std::uint32_t atomtop_ = 0;
    std::uint32_t start_ = 0;
    std::size_t choices_on_stack_ = 0;
    std::vector<Atom*> log_;
    std::vector<Atom*> collected_;
    Atom* best_ = nullptr;
    bool best_value_ = false;
    bool conflict_ = false;
    bool no_choice_left_ = false;
    bool setup_done_ = false;
    bool initialised_ = false;
    Statistics stats_;
};

}  // namespace veltra
