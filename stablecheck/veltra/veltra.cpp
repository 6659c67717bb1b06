// Program container, Api, propagation and search of the Veltra solver.
#include "veltra.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace veltra {

void internal_error(const char* what, const char* file, int line) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: internal error: assertion '%s' failed\n", file, line, what);
    std::abort();
}

// -------------------------------------------------------------- Queue, Stack

void Queue::init(std::size_t n) {
    items_.assign(n + 1, nullptr);
    top_ = bottom_ = 0;
}

void Queue::push(Atom* a) {
    items_[top_] = a;
    top_ = top_ + 1 == items_.size() ? 0 : top_ + 1;
    VELTRA_ASSERT(top_ != bottom_);
}

Atom* Queue::pop() {
    VELTRA_ASSERT(top_ != bottom_);
    Atom* a = items_[bottom_];
    bottom_ = bottom_ + 1 == items_.size() ? 0 : bottom_ + 1;
    return a;
}

void Stack::init(std::size_t n) {
    items_.assign(n, nullptr);
    top_ = 0;
}

void Stack::push(Atom* a) {
    VELTRA_ASSERT(top_ < items_.size());
    items_[top_++] = a;
}

Atom* Stack::pop() {
    VELTRA_ASSERT(top_ > 0);
    return items_[--top_];
}

// ------------------------------------------------------------------ Program

void Program::queue_true(Atom* a) {
    if (a->is_true || a->queued_true) return;
    if (a->is_false || a->queued_false) {
        queue_conflict = true;
        return;
    }
    a->queued_true = true;
    value_queue.push(a);
}

void Program::queue_false(Atom* a) {
    if (a->is_false || a->queued_false) return;
    if (a->is_true || a->queued_true) {
        queue_conflict = true;
        return;
    }
    a->queued_false = true;
    value_queue.push(a);
}

void Program::queue_upper(Atom* a) {
    if (a->queued_upper || !a->in_loop) return;
    a->queued_upper = true;
    upper_queue.push(a);
}

void Program::support(Rule* r, Atom* h) {
    if (h->in_upper || h->is_false) return;
    h->in_upper = true;
    h->source = r;
    upper_work.push_back(h);
}

void Program::check_single_support(Atom* h) {
    if (!h->is_true || h->active_heads != 1) return;
    for (auto it = h->heads_begin(); it != h->heads_end(); ++it)
        if (!(*it)->is_inactive()) {
            (*it)->force_body_true(*this);
            return;
        }
}

void Program::print(std::FILE* out) const {
    for (const auto& r : rules)
        if (!r->is_inactive()) r->print(out);
    bool any = false;
    for (const auto& a : atoms) {
        if (!a->must_true && !a->must_false) continue;
        std::fprintf(out, "%s", any ? ", " : "compute { ");
        any = true;
        if (a->must_true) std::fprintf(out, "%s", a->display_name());
        if (a->must_false) std::fprintf(out, "%snot %s", a->must_true ? ", " : "", a->display_name());
    }
    if (any) std::fprintf(out, " }\n");
}

// ---------------------------------------------------------------------- Api

Api::Api(Veltra& solver) : solver_(solver), program_(solver.program) {
    head_.reserve(32);
    pos_.reserve(32);
    neg_.reserve(32);
}

Atom* Api::new_atom() {
    auto index = static_cast<std::uint32_t>(program_.atoms.size());
    program_.atoms.push_back(std::make_unique<Atom>(&program_, index));
    return program_.atoms.back().get();
}

void Api::set_name(Atom* a, const char* name) {
    VELTRA_ASSERT(a);
    if (name) {
        a->name = name;
        a->has_name = true;
    } else {
        a->name.clear();
        a->has_name = false;
    }
}

void Api::set_compute(Atom* a, bool value) {
    VELTRA_ASSERT(a);
    if (value)
        a->must_true = true;
    else
        a->must_false = true;
}

void Api::reset_compute(Atom* a, bool value) {
    VELTRA_ASSERT(a);
    if (value)
        a->must_true = false;
    else
        a->must_false = false;
}

void Api::begin_rule(RuleKind kind) {
    kind_ = kind;
    head_.clear();
    pos_.clear();
    neg_.clear();
    atleast_ = 0;
}

void Api::add_head(Atom* a) {
    VELTRA_ASSERT(a);
    head_.push_back(a);
}

void Api::add_body(Atom* a, bool positive) {
    VELTRA_ASSERT(a);
    (positive ? pos_ : neg_).push_back(a);
}

void Api::set_atleast(std::int64_t k) { atleast_ = k; }

void Api::end_rule() {
    std::unique_ptr<Rule> r;
    switch (kind_) {
    case RuleKind::basic:
        VELTRA_ASSERT(head_.size() == 1);
        r = std::make_unique<BasicRule>(head_[0], pos_, neg_);
        break;
    case RuleKind::constraint:
        VELTRA_ASSERT(head_.size() == 1);
        r = std::make_unique<ConstraintRule>(head_[0], pos_, neg_, atleast_);
        break;
    case RuleKind::choice:
        VELTRA_ASSERT(!head_.empty());
        r = std::make_unique<ChoiceRule>(head_, pos_, neg_);
        break;
    }
    program_.rules.push_back(std::move(r));
    head_.clear();
    pos_.clear();
    neg_.clear();
    atleast_ = 0;
}

void Api::done() {
    for (auto& a : program_.atoms) {
        a->occ.assign(std::size_t(a->head_count) + a->neg_count + a->pos_count, nullptr);
        a->head_fill = 0;
        a->neg_fill = a->neg_count;
        a->pos_fill = a->pos_count;
        a->pos_counted = a->pos_count;
    }
    for (auto& r : program_.rules) {
        r->register_occurrences();
        if (!r->is_inactive())
            for (std::size_t i = 0; i < r->head_size(); ++i) r->head(i)->active_heads++;
    }
    solver_.init();
}

// ------------------------------------------------------------------- Veltra

void Veltra::init() {
    const std::size_t n = program.atoms.size();
    program.value_queue.init(n);
    program.upper_queue.init(n);
    program.upper_work.clear();
    program.upper_work.reserve(n);
    stack_.init(n);
    tested_.init(n);
    undecided_.clear();
    undecided_.reserve(n);
    for (auto& a : program.atoms) {
        a->list_pos = static_cast<std::uint32_t>(undecided_.size());
        undecided_.push_back(a.get());
    }
    atomtop_ = static_cast<std::uint32_t>(n);
    log_.clear();
    log_.reserve(n);
    collected_.clear();
    collected_.reserve(n);
    initialised_ = true;
}

void Veltra::log_atom(Atom* a) {
    if (a->logged) return;
    a->logged = true;
    log_.push_back(a);
}

void Veltra::set_true(Atom* a) {
    Program& p = program;
    a->is_true = true;
    stack_.push(a);
    for (auto it = a->neg_begin(); it != a->neg_end(); ++it) (*it)->literal_false(p, true);
    for (auto it = a->pos_begin(); it != a->pos_end(); ++it) (*it)->literal_true(p, false);
    if (a->active_heads == 0)
        p.queue_conflict = true;  // nothing can support it
    else
        p.check_single_support(a);
}

void Veltra::set_false(Atom* a) {
    Program& p = program;
    a->is_false = true;
    stack_.push(a);
    if (a->in_upper) {
        a->in_upper = false;
        a->source = nullptr;
        for (auto it = a->pos_begin(); it != a->pos_upper_end(); ++it) (*it)->undo_upper_literal_true(p);
    }
    a->source = nullptr;
    for (auto it = a->pos_begin(); it != a->pos_upper_end(); ++it) (*it)->literal_false(p, false);
    for (auto it = a->pos_upper_end(); it != a->pos_end(); ++it) (*it)->literal_false(p, true);
    for (auto it = a->neg_begin(); it != a->neg_end(); ++it) (*it)->literal_true(p, true);
    for (auto it = a->heads_begin(); it != a->heads_end(); ++it)
        if (!(*it)->is_inactive()) (*it)->force_last_literal_false(p);
}

void Veltra::undo(Atom* a) {
    if (a->is_true) {
        a->is_true = false;
        for (auto it = a->neg_begin(); it != a->neg_end(); ++it) (*it)->undo_literal_false(true);
        for (auto it = a->pos_begin(); it != a->pos_end(); ++it) (*it)->undo_literal_true(false);
    } else if (a->is_false) {
        a->is_false = false;
        for (auto it = a->pos_begin(); it != a->pos_upper_end(); ++it) (*it)->undo_literal_false(false);
        for (auto it = a->pos_upper_end(); it != a->pos_end(); ++it) (*it)->undo_literal_false(true);
        for (auto it = a->neg_begin(); it != a->neg_end(); ++it) (*it)->undo_literal_true(true);
    }
    // An atom back outside the upper closure must look for support again.
    if (!a->in_upper) log_atom(a);
}

void Veltra::unwind_to(std::size_t height) {
    while (stack_.size() > height) {
        Atom* a = stack_.pop();
        if (a->choice) {
            a->choice = false;
            --choices_on_stack_;
        }
        undo(a);
    }
}

// After a conflict: drop the queued values; atoms waiting for the upper
// closure keep waiting (through the log), since their support is in doubt.
void Veltra::conflict_cleanup() {
    Program& p = program;
    while (!p.value_queue.empty()) {
        Atom* a = p.value_queue.pop();
        a->queued_true = a->queued_false = false;
    }
    while (!p.upper_queue.empty()) {
        Atom* a = p.upper_queue.pop();
        a->queued_upper = false;
        log_atom(a);
    }
    for (Atom* a : p.upper_work) log_atom(a);
    p.upper_work.clear();
    p.queue_conflict = false;
}

// Every logged atom that is not false is checked by the next upper-closure pass.
void Veltra::requeue_logged() {
    for (Atom* a : log_) {
        a->logged = false;
        if (!a->is_false) program.queue_upper(a);
    }
    log_.clear();
}

bool Veltra::process_upper() {
    Program& p = program;
    collected_.clear();
    while (!p.upper_queue.empty()) {
        Atom* a = p.upper_queue.pop();
        a->queued_upper = false;
        if (a->is_false) continue;
        log_atom(a);  // until the pass ends well, its support is in doubt
        if (a->in_upper) {
            a->in_upper = false;
            a->source = nullptr;
            for (auto it = a->pos_begin(); it != a->pos_upper_end(); ++it)
                (*it)->undo_upper_literal_true(p);
        }
        if (!a->collected) {
            a->collected = true;
            collected_.push_back(a);
        }
    }
    // Support again whatever still has a rule whose positive body lies in
    // the upper closure, and everything that this brings back.
    auto& work = p.upper_work;
    for (Atom* a : collected_) {
        if (a->in_upper || a->is_false || a->active_heads == 0) continue;
        for (auto it = a->heads_begin(); it != a->heads_end(); ++it)
            if ((*it)->is_upper_active()) {
                p.support(*it, a);
                break;
            }
        while (!work.empty()) {
            Atom* x = work.back();
            work.pop_back();
            for (auto it = x->pos_begin(); it != x->pos_upper_end(); ++it) (*it)->upper_literal_true(p);
        }
    }
    // What is left outside is unfounded.
    bool ok = true;
    for (Atom* a : collected_) {
        a->collected = false;
        if (a->in_upper || a->is_false) continue;
        if (a->is_true)
            ok = false;
        else
            p.queue_false(a);
    }
    collected_.clear();
    return ok;
}

bool Veltra::expand() {
    Program& p = program;
    for (;;) {
        if (p.queue_conflict) {
            conflict_cleanup();
            return false;
        }
        if (!p.value_queue.empty()) {
            Atom* a = p.value_queue.pop();
            if (a->queued_true) {
                a->queued_true = false;
                if (a->is_false) {
                    p.queue_conflict = true;
                    continue;
                }
                if (!a->is_true) set_true(a);
            } else if (a->queued_false) {
                a->queued_false = false;
                if (a->is_true) {
                    p.queue_conflict = true;
                    continue;
                }
                if (!a->is_false) set_false(a);
            }
            continue;
        }
        if (!p.upper_queue.empty()) {
            if (!process_upper()) {
                conflict_cleanup();
                return false;
            }
            continue;
        }
        break;
    }
    // At a fixpoint every atom that is not false is in the upper closure.
    for (Atom* a : log_) a->logged = false;
    log_.clear();
    return true;
}

bool Veltra::setup() {
    Program& p = program;
    for (auto& r : p.rules) r->fire_initial(p);
    // First upper closure, from scratch.
    auto& work = p.upper_work;
    for (auto& r : p.rules)
        if (r->is_upper_active())
            for (std::size_t i = 0; i < r->head_size(); ++i) p.support(r.get(), r->head(i));
    while (!work.empty()) {
        Atom* x = work.back();
        work.pop_back();
        for (auto it = x->pos_begin(); it != x->pos_upper_end(); ++it) (*it)->upper_literal_true(p);
    }
    for (auto& a : p.atoms)
        if (!a->in_upper) {
            if (a->queued_true) {
                conflict_cleanup();
                return false;
            }
            if (!a->is_false) set_false(a.get());
        }
    const std::size_t unfounded = stack_.size();
    bool ok = expand();
    if (ok) {
        for (auto& a : p.atoms) {
            Atom* x = a.get();
            if (x->must_false) {
                if (x->is_true) {
                    ok = false;
                    break;
                }
                if (!x->is_false) {
                    p.queue_false(x);
                }
            }
            if (x->must_true) {
                if (x->is_false) {
                    ok = false;
                    break;
                }
                if (!x->is_true) p.queue_true(x);
            }
        }
        if (ok)
            ok = expand();
        else
            conflict_cleanup();
    }
    stats_.truth_assignments += static_cast<std::int64_t>(stack_.size() - unfounded);
    if (!ok) return false;
    stats_.truth_assignments -= 1;
    reduce_loops();
    for (auto& a : p.atoms) {
        a->tested_true = a->tested_false = false;
        a->on_tested = false;
    }
    return true;
}

// Loop reduction: a rule keeps a positive body atom in its upper-closure
// count only when the atom lies on a positive loop through one of the rule's
// heads.  Atoms on no positive loop need no support tracking at all: they
// are unfounded exactly when none of their rules is active.
void Veltra::reduce_loops() {
    struct Frame {
        Atom* atom;
        std::size_t occ;
        std::size_t head;
    };
    auto& atoms = program.atoms;
    for (auto& a : atoms) {
        a->scc_index = 0;
        a->scc_low = 0;
        a->scc_on_stack = false;
    }
    std::uint32_t index = 0;
    std::vector<Atom*> comp;
    std::vector<Frame> dfs;
    comp.reserve(atoms.size());
    dfs.reserve(atoms.size());
    auto visit = [&](Atom* b) {
        b->scc_index = b->scc_low = ++index;
        b->scc_on_stack = true;
        comp.push_back(b);
        dfs.push_back(Frame{b, 0, 0});
    };
    for (auto& root : atoms) {
        if (root->scc_index != 0) continue;
        visit(root.get());
        while (!dfs.empty()) {
            Frame& f = dfs.back();
            Atom* a = f.atom;
            bool descended = false;
            while (f.occ < a->pos_count) {
                Rule* r = a->occ[std::size_t(a->head_count) + a->neg_count + f.occ];
                if (f.head >= r->head_size()) {
                    ++f.occ;
                    f.head = 0;
                    continue;
                }
                Atom* b = r->head(f.head++);
                if (b->scc_index == 0) {
                    visit(b);
                    descended = true;
                    break;
                }
                if (b->scc_on_stack) a->scc_low = std::min(a->scc_low, b->scc_index);
            }
            if (descended) continue;
            if (a->scc_low == a->scc_index) {
                std::size_t first = comp.size();
                do {
                    --first;
                } while (comp[first] != a);
                const bool big = comp.size() - first > 1;
                for (std::size_t q = first; q < comp.size(); ++q) {
                    comp[q]->scc_on_stack = false;
                    comp[q]->scc_low = a->scc_index;  // names the component
                    comp[q]->in_loop = big;
                }
                comp.resize(first);
            }
            const std::uint32_t low = a->scc_low;
            dfs.pop_back();
            if (!dfs.empty()) dfs.back().atom->scc_low = std::min(dfs.back().atom->scc_low, low);
        }
    }
    // A positive self-loop is a loop too.
    for (auto& ap : atoms) {
        Atom* b = ap.get();
        for (auto it = b->pos_begin(); it != b->pos_end() && !b->in_loop; ++it)
            for (std::size_t h = 0; h < (*it)->head_size(); ++h)
                if ((*it)->head(h) == b) b->in_loop = true;
    }
    // Partition every atom's positive occurrences: counted ones first.
    for (auto& ap : atoms) {
        Atom* b = ap.get();
        Rule** pos = b->occ.data() + b->head_count + b->neg_count;
        std::size_t keep = 0;
        for (std::size_t i = 0; i < b->pos_count; ++i) {
            Rule* r = pos[i];
            bool counted = false;
            for (std::size_t h = 0; h < r->head_size() && !counted; ++h)
                counted = r->head(h)->scc_low == b->scc_low;
            if (counted) {
                std::swap(pos[keep], pos[i]);
                ++keep;
            } else {
                r->uncount_upper_literal(b);
            }
        }
        b->pos_counted = static_cast<std::uint32_t>(keep);
    }
}

void Veltra::remove_atom(std::uint32_t pos) {
    VELTRA_ASSERT(atomtop_ > 0 && "atomtop");
    Atom* a = undecided_[pos];
    Atom* last = undecided_[atomtop_ - 1];
    undecided_[pos] = last;
    last->list_pos = pos;
    undecided_[atomtop_ - 1] = a;
    a->list_pos = atomtop_ - 1;
    --atomtop_;
}

void Veltra::compact_undecided() {
    std::uint32_t i = 0;
    while (i < atomtop_) {
        if (undecided_[i]->decided())
            remove_atom(i);
        else
            ++i;
    }
}

void Veltra::choose(Atom* a, bool value) {
    stats_.choice_points++;
    stats_.picked++;
    remove_atom(a->list_pos);
    a->choice = true;
    ++choices_on_stack_;
    // The choice mark goes with the atom's place on the stack.
    set_value(a, value);
}

void Veltra::backtrack() {
    if (choices_on_stack_ == 0) {
        no_choice_left_ = true;
        return;
    }
    Atom* c = nullptr;
    while (!stack_.empty()) {
        Atom* a = stack_.pop();
        if (a->choice) {
            c = a;
            break;
        }
        undo(a);
    }
    VELTRA_ASSERT(c);
    c->choice = false;
    --choices_on_stack_;
    const bool value = c->is_true;
    undo(c);
    atomtop_ = std::max(atomtop_, c->list_pos + 1);
    requeue_logged();
    set_value(c, !value);
}

void Veltra::clear_tested() {
    while (!tested_.empty()) {
        Atom* a = tested_.pop();
        a->tested_true = a->tested_false = false;
        a->on_tested = false;
    }
}

std::int64_t Veltra::test(Atom* a, bool value) {
    const std::size_t height = stack_.size();
    stats_.picked++;
    set_value(a, value);
    const bool ok = expand();
    stats_.truth_assignments += static_cast<std::int64_t>(stack_.size() - height) + 1;
    if (!ok) {
        stats_.forced++;
        unwind_to(height);
        requeue_logged();
        set_value(a, !value);
        return -1;
    }
    std::int64_t score = 0;
    for (std::size_t i = height; i < stack_.size(); ++i) {
        Atom* x = stack_.at(i);
        if (x->candidate) ++score;
        if (x->is_true)
            x->tested_true = true;
        else
            x->tested_false = true;
        if (!x->on_tested) {
            x->on_tested = true;
            tested_.push(x);
        }
    }
    unwind_to(height);
    requeue_logged();
    return score;
}

Veltra::Pass Veltra::lookahead_pass() {
    clear_tested();
    compact_undecided();
    best_ = nullptr;
    if (atomtop_ == 0) return Pass::nofix;
    if (start_ >= atomtop_) start_ = 0;
    std::int64_t best_min = -1, best_max = -1;
    const std::uint32_t top = atomtop_;
    for (std::uint32_t j = 0; j < top; ++j) {
        const std::uint32_t pos = (start_ + j) % top;
        Atom* a = undecided_[pos];
        if (a->decided()) continue;  // decided by a queued upper-closure pass
        bool tested_both = true;
        if (!a->tested_false) {
            const std::int64_t s = test(a, false);
            if (s < 0) {
                start_ = pos;
                remove_atom(pos);
                return Pass::fixed;
            }
            a->score_false = s;
        } else {
            tested_both = false;
        }
        if (!a->tested_true) {
            const std::int64_t s = test(a, true);
            if (s < 0) {
                start_ = pos;
                remove_atom(pos);
                return Pass::fixed;
            }
            a->score_true = s;
        } else {
            tested_both = false;
        }
        if (!tested_both) continue;
        const std::int64_t lo = std::min(a->score_false, a->score_true);
        const std::int64_t hi = std::max(a->score_false, a->score_true);
        if (lo > best_min || (lo == best_min && hi > best_max)) {
            best_ = a;
            best_min = lo;
            best_max = hi;
            best_value_ = a->score_false < a->score_true;
        }
    }
    return Pass::nofix;
}

// Choice candidates: atoms that a negative dependency inside their own
// strongly connected component, or an active choice rule, keeps open.  The
// dependency graph leads from a body atom to the heads of the active rules
// it occurs in; components are found with Tarjan's algorithm on an explicit
// stack.
void Veltra::compute_candidates() {
    struct Frame {
        Atom* atom;
        std::size_t occ;   // next body occurrence
        std::size_t head;  // next head of that rule
    };
    std::uint32_t index = 0;
    std::vector<Atom*> comp;
    comp.reserve(program.atoms.size());
    std::vector<Frame> dfs;
    dfs.reserve(program.atoms.size());
    for (auto& a : program.atoms) {
        a->scc_index = 0;
        a->scc_low = 0;
        a->scc_on_stack = false;
    }
    std::int64_t stay = 0, removed = 0;
    auto visit = [&](Atom* b) {
        b->scc_index = b->scc_low = ++index;
        b->scc_on_stack = true;
        comp.push_back(b);
        dfs.push_back(Frame{b, 0, 0});
    };
    for (std::uint32_t i = 0; i < atomtop_; ++i) {
        Atom* root = undecided_[i];
        if (root->decided() || root->scc_index != 0) continue;
        visit(root);
        while (!dfs.empty()) {
            Frame& f = dfs.back();
            Atom* a = f.atom;
            const std::size_t body = std::size_t(a->neg_count) + a->pos_count;
            bool descended = false;
            while (f.occ < body) {
                Rule* r = a->occ[a->head_count + f.occ];
                if (r->is_inactive() || f.head >= r->head_size()) {
                    ++f.occ;
                    f.head = 0;
                    continue;
                }
                Atom* b = r->head(f.head++);
                if (b->decided()) continue;
                if (b->scc_index == 0) {
                    visit(b);
                    descended = true;
                    break;
                }
                if (b->scc_on_stack) a->scc_low = std::min(a->scc_low, b->scc_index);
            }
            if (descended) continue;
            if (a->scc_low == a->scc_index) {
                const std::uint32_t id = a->scc_index;
                std::size_t first = comp.size();
                do {
                    --first;
                } while (comp[first] != a);
                for (std::size_t q = first; q < comp.size(); ++q) {
                    comp[q]->scc_on_stack = false;
                    comp[q]->scc_low = id;
                }
                for (std::size_t q = first; q < comp.size(); ++q) {
                    Atom* m = comp[q];
                    if (!m->candidate) continue;
                    bool open = false;
                    for (auto it = m->heads_begin(); it != m->heads_end() && !open; ++it) {
                        Rule* r = *it;
                        if (r->is_inactive()) continue;
                        if (dynamic_cast<ChoiceRule*>(r)) {
                            open = true;
                            break;
                        }
                        for (std::size_t k = r->neg_begin(); k < r->pos_begin(); ++k) {
                            const Atom* x = r->atoms()[k];
                            if (!x->decided() && !x->scc_on_stack && x->scc_index != 0 && x->scc_low == id) {
                                open = true;
                                break;
                            }
                        }
                    }
                    if (open) {
                        ++stay;
                    } else {
                        m->candidate = false;
                        ++removed;
                    }
                }
                comp.resize(first);
            }
            const std::uint32_t low = a->scc_low;
            dfs.pop_back();
            if (!dfs.empty()) {
                Atom* parent = dfs.back().atom;
                parent->scc_low = std::min(parent->scc_low, low);
            }
        }
    }
    stats_.searchspace = stay;
    stats_.searchspace_removed = removed;
}

bool Veltra::find_model(bool lookahead) {
    VELTRA_ASSERT(initialised_);
    if (!setup_done_) {
        setup_done_ = true;
        if (!setup()) {
            conflict_ = true;
            return false;
        }
        if (lookahead) {
            for (;;) {
                if (lookahead_pass() != Pass::fixed) break;
                const std::size_t h = stack_.size();
                const bool ok = expand();
                stats_.truth_assignments += static_cast<std::int64_t>(stack_.size() - h) + 1;
                if (!ok) {
                    conflict_ = true;
                    return false;
                }
            }
            if (!all_decided()) {
                compute_candidates();
                // The best of the last pass is still undecided: the pass fixed nothing.
                Atom* a = best_;
                const bool value = best_value_;
                clear_tested();
                if (a && !a->decided()) choose(a, value);
            }
        }
    } else {
        if (conflict_ || no_choice_left_) return false;
        backtrack();
    }
    for (;;) {
        if (no_choice_left_) {
            stats_.wrong_choices--;
            return false;
        }
        const std::size_t h = stack_.size();
        const bool ok = expand();
        stats_.truth_assignments += static_cast<std::int64_t>(stack_.size() - h) + 1;
        if (!ok) {
            backtrack();
            stats_.wrong_choices++;
            continue;
        }
        if (all_decided()) {
            stats_.models++;
            return true;
        }
        if (!lookahead) {
            Atom* pick = nullptr;
            std::uint32_t i = 0;
            while (i < atomtop_) {
                Atom* a = undecided_[i];
                if (a->decided()) {
                    remove_atom(i);
                    continue;
                }
                if (a->candidate) {
                    pick = a;
                    break;
                }
                if (!pick) pick = a;
                ++i;
            }
            VELTRA_ASSERT(pick);
            choose(pick, false);
        } else {
            if (lookahead_pass() == Pass::fixed) continue;
            Atom* a = best_;
            VELTRA_ASSERT(a);
            choose(a, best_value_);
        }
    }
}

void Veltra::print_statistics(std::FILE* out) const {
    std::fprintf(out, "Number of choice points: %lld\n", static_cast<long long>(stats_.choice_points));
    std::fprintf(out, "Number of wrong choices: %lld\n", static_cast<long long>(stats_.wrong_choices));
    std::fprintf(out, "Number of atoms: %lld\n", static_cast<long long>(program.atoms.size()));
    std::fprintf(out, "Number of rules: %lld\n", static_cast<long long>(program.rules.size()));
    std::fprintf(out, "Number of picked atoms: %lld\n", static_cast<long long>(stats_.picked));
    std::fprintf(out, "Number of forced atoms: %lld\n", static_cast<long long>(stats_.forced));
    std::fprintf(out, "Number of truth assignments: %lld\n",
                 static_cast<long long>(stats_.truth_assignments));
    std::fprintf(out, "Size of searchspace (removed): %lld (%lld)\n",
                 static_cast<long long>(stats_.searchspace),
                 static_cast<long long>(stats_.searchspace_removed));
}

}  // namespace veltra
