// The three rule kinds: counters, propagation and printing.
#include "veltra.h"


namespace veltra {

namespace {

void count_body(const std::vector<Atom*>& pos, const std::vector<Atom*>& neg) {
    for (Atom* a : neg) {
        a->neg_count++;
        a->candidate = true;  // negative dependencies are what choices are made on
    }
    for (Atom* a : pos) a->pos_count++;
}

void register_head(Atom* a, Rule* r) { a->occ[a->head_fill++] = r; }
void register_neg(Atom* a, Rule* r) { a->occ[a->head_count + --a->neg_fill] = r; }
void register_pos(Atom* a, Rule* r) { a->occ[a->head_count + a->neg_count + --a->pos_fill] = r; }

}  // namespace

void Rule::print_body(std::FILE* out, bool& first) const {
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) {
        std::fprintf(out, "%s%s", first ? "" : ", ", atoms_[i]->display_name());
        first = false;
    }
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) {
        std::fprintf(out, "%snot %s", first ? "" : ", ", atoms_[i]->display_name());
        first = false;
    }
}

// ---------------------------------------------------------------- BasicRule

BasicRule::BasicRule(Atom* head, const std::vector<Atom*>& pos, const std::vector<Atom*>& neg)
    : head_(head) {
    atoms_.reserve(pos.size() + neg.size());
    atoms_.insert(atoms_.end(), neg.begin(), neg.end());
    atoms_.insert(atoms_.end(), pos.begin(), pos.end());
    neg_begin_ = 0;
    pos_begin_ = neg.size();
    not_true_ = static_cast<std::uint32_t>(atoms_.size());
    upper_missing_ = static_cast<std::uint32_t>(pos.size());
    head_->head_count++;
    count_body(pos, neg);
}

void BasicRule::register_occurrences() {
    register_head(head_, this);
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) register_neg(atoms_[i], this);
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) register_pos(atoms_[i], this);
}

void BasicRule::literal_false(Program& p, bool) {
    if (++false_count_ == 1) {
        if (--head_->active_heads == 0)
            p.queue_false(head_);
        else
            p.check_single_support(head_);
        if (head_->source == this) p.queue_upper(head_);
    }
}

void BasicRule::fire_initial(Program& p) {
    if (not_true_ == 0 && false_count_ == 0) p.queue_true(head_);
}

void BasicRule::upper_literal_true(Program& p) {
    if (--upper_missing_ == 0 && false_count_ == 0) p.support(this, head_);
}

void BasicRule::literal_true(Program& p, bool) {
    --not_true_;
    if (false_count_ != 0) return;
    if (not_true_ == 0)
        p.queue_true(head_);
    else if (not_true_ == 1 && head_->is_false)
        force_last_literal_false(p);
}

void BasicRule::force_body_true(Program& p) {
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) p.queue_false(atoms_[i]);
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) p.queue_true(atoms_[i]);
}

void BasicRule::force_last_literal_false(Program& p) {
    if (false_count_ != 0) return;
    if (not_true_ == 0) {
        p.queue_true(head_);  // the rule fired: a false head is a conflict
        return;
    }
    if (not_true_ != 1) return;
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i)
        if (!atoms_[i]->is_false) {
            p.queue_true(atoms_[i]);
            return;
        }
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i)
        if (!atoms_[i]->is_true) {
            p.queue_false(atoms_[i]);
            return;
        }
}

void BasicRule::undo_literal_true(bool) { ++not_true_; }

void BasicRule::undo_literal_false(bool) {
    if (--false_count_ == 0) head_->active_heads++;
}

void BasicRule::undo_upper_literal_true(Program& p) {
    ++upper_missing_;
    if (head_->source == this) p.queue_upper(head_);
}

void BasicRule::print(std::FILE* out) const {
    std::fprintf(out, "%s", head_->display_name());
    if (!atoms_.empty()) {
        std::fprintf(out, " :- ");
        bool first = true;
        print_body(out, first);
    }
    std::fprintf(out, ".\n");
}

// ----------------------------------------------------------- ConstraintRule

ConstraintRule::ConstraintRule(Atom* head, const std::vector<Atom*>& pos,
                               const std::vector<Atom*>& neg, std::int64_t bound)
    : head_(head), bound_(bound) {
    atoms_.reserve(pos.size() + neg.size());
    atoms_.insert(atoms_.end(), neg.begin(), neg.end());
    atoms_.insert(atoms_.end(), pos.begin(), pos.end());
    neg_begin_ = 0;
    pos_begin_ = neg.size();
    const auto m = static_cast<std::int64_t>(pos.size());
    const auto n = static_cast<std::int64_t>(neg.size());
    true_needed_ = bound;
    false_count_ = bound - (m + n);
    upper_missing_ = bound - n;
    head_->head_count++;
    count_body(pos, neg);
}

void ConstraintRule::register_occurrences() {
    register_head(head_, this);
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) register_neg(atoms_[i], this);
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) register_pos(atoms_[i], this);
}

void ConstraintRule::force_undecided(Program& p, bool value) {
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) {
        Atom* a = atoms_[i];
        if (a->decided()) continue;
        if (value)
            p.queue_false(a);
        else
            p.queue_true(a);
    }
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) {
        Atom* a = atoms_[i];
        if (a->decided()) continue;
        if (value)
            p.queue_true(a);
        else
            p.queue_false(a);
    }
}

void ConstraintRule::literal_false(Program& p, bool free) {
    ++false_count_;
    if (free) ++upper_missing_;
    if (false_count_ == 1) {
        if (--head_->active_heads == 0)
            p.queue_false(head_);
        else
            p.check_single_support(head_);
    } else if (false_count_ == 0 && head_->is_true && head_->active_heads == 1) {
        // One more false literal would leave the true head unsupported.
        force_undecided(p, true);
    }
    if (head_->source == this) p.queue_upper(head_);
}

void ConstraintRule::fire_initial(Program& p) {
    if (true_needed_ <= 0) p.queue_true(head_);
}

void ConstraintRule::upper_literal_true(Program& p) {
    --upper_missing_;
    if (is_upper_active()) p.support(this, head_);
}

void ConstraintRule::literal_true(Program& p, bool) {
    --true_needed_;
    if (false_count_ > 0) return;
    if (true_needed_ == 0)
        p.queue_true(head_);
    else if (true_needed_ == 1 && head_->is_false)
        force_undecided(p, false);
}

void ConstraintRule::force_body_true(Program& p) {
    if (false_count_ == 0) force_undecided(p, true);
}

void ConstraintRule::force_last_literal_false(Program& p) {
    if (false_count_ > 0) return;
    if (true_needed_ <= 0)
        p.queue_true(head_);  // fired: a false head is a conflict
    else if (true_needed_ == 1)
        force_undecided(p, false);
}

void ConstraintRule::undo_literal_true(bool) { ++true_needed_; }

void ConstraintRule::undo_literal_false(bool free) {
    if (free) --upper_missing_;
    if (--false_count_ == 0) head_->active_heads++;
}

void ConstraintRule::undo_upper_literal_true(Program& p) {
    ++upper_missing_;
    // The bound may still be met, but perhaps only through atoms that this
    // rule itself brought into the upper closure: look for support afresh.
    if (head_->source == this) p.queue_upper(head_);
}

void ConstraintRule::print(std::FILE* out) const {
    std::fprintf(out, "%s :- %lld { ", head_->display_name(), static_cast<long long>(bound_));
    bool first = true;
    print_body(out, first);
    std::fprintf(out, " }.\n");
}

// --------------------------------------------------------------- ChoiceRule

ChoiceRule::ChoiceRule(const std::vector<Atom*>& heads, const std::vector<Atom*>& pos,
                       const std::vector<Atom*>& neg)
    : head_count_(heads.size()) {
    atoms_.reserve(heads.size() + pos.size() + neg.size());
    atoms_.insert(atoms_.end(), heads.begin(), heads.end());
    atoms_.insert(atoms_.end(), neg.begin(), neg.end());
    atoms_.insert(atoms_.end(), pos.begin(), pos.end());
    neg_begin_ = heads.size();
    pos_begin_ = heads.size() + neg.size();
    not_true_ = static_cast<std::uint32_t>(pos.size() + neg.size());
    upper_missing_ = static_cast<std::uint32_t>(pos.size());
    for (Atom* h : heads) {
        h->head_count++;
        h->candidate = true;
    }
    count_body(pos, neg);
}

void ChoiceRule::register_occurrences() {
    for (std::size_t i = 0; i < head_count_; ++i) register_head(atoms_[i], this);
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) register_neg(atoms_[i], this);
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) register_pos(atoms_[i], this);
}

void ChoiceRule::literal_false(Program& p, bool) {
    if (++false_count_ != 1) return;
    for (std::size_t i = 0; i < head_count_; ++i) {
        Atom* h = atoms_[i];
        if (--h->active_heads == 0)
            p.queue_false(h);
        else
            p.check_single_support(h);
        if (h->source == this) p.queue_upper(h);
    }
}

void ChoiceRule::fire_initial(Program&) {}

void ChoiceRule::upper_literal_true(Program& p) {
    if (--upper_missing_ == 0 && false_count_ == 0)
        for (std::size_t i = 0; i < head_count_; ++i) p.support(this, atoms_[i]);
}

void ChoiceRule::literal_true(Program&, bool) { --not_true_; }

void ChoiceRule::force_body_true(Program& p) {
    for (std::size_t i = neg_begin_; i < pos_begin_; ++i) p.queue_false(atoms_[i]);
    for (std::size_t i = pos_begin_; i < atoms_.size(); ++i) p.queue_true(atoms_[i]);
}

void ChoiceRule::undo_literal_true(bool) { ++not_true_; }

void ChoiceRule::undo_literal_false(bool) {
    if (--false_count_ == 0)
        for (std::size_t i = 0; i < head_count_; ++i) atoms_[i]->active_heads++;
}

void ChoiceRule::undo_upper_literal_true(Program& p) {
    ++upper_missing_;
    for (std::size_t i = 0; i < head_count_; ++i)
        if (atoms_[i]->source == this) p.queue_upper(atoms_[i]);
}

void ChoiceRule::print(std::FILE* out) const {
    std::fprintf(out, "{ ");
    for (std::size_t i = 0; i < head_count_; ++i)
        std::fprintf(out, "%s%s", i ? ", " : "", atoms_[i]->display_name());
    std::fprintf(out, " }");
    if (pos_begin_ > neg_begin_ || atoms_.size() > pos_begin_) {
        std::fprintf(out, " :- ");
        bool first = true;
        print_body(out, first);
    }
    std::fprintf(out, ".\n");
}

}  // namespace veltra
