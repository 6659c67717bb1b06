#include "problems.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace vorga {

namespace {

double seconds_since(std::clock_t start) {
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

constexpr std::uint32_t kNoMoreDisjuncts = UINT32_MAX;

}  // namespace

// ---------------------------------------------------------------- mc_problem

mc_problem::mc_problem(const unfolding& u, const Settings& s)
    : unf(u), safe(s.safe), memory(s.memory), branching(s.branching), shortest(s.shortest) {
    store.init_store(u);
    store.fix_cutoffs();
    search = branching != 0 ? &mc_problem::BranchingSearch : &mc_problem::DepthFirstSearch;
}

mc_problem::~mc_problem() { store.free_store(); }

void mc_problem::report_generation() { std::printf("\ngenerating: %.2f sec.\n", gen_time); }

void mc_problem::report_solving() {
    std::printf("\nsolving: %.2f sec.\n%" PRIu64 " compatible vectors explored\n", solve_time, explored);
}

void mc_problem::report_disjunct_generation(double t) {
    std::printf("\ndisjunct %u: generating: %.2f sec.\n", disjunct, t);
}

void mc_problem::report_disjunct_solving(double t) {
    std::printf("\ndisjunct %u: solving: %.2f sec.\n", disjunct, t);
}

bool mc_problem::run_single() {
    best = unf.n_events() + 1;
    gen_time = solve_time = 0;
    std::clock_t t0 = std::clock();
    (this->*generator)();
    gen_time = seconds_since(t0);
    report_generation();
    t0 = std::clock();
    (this->*search)();
    solve_time = seconds_since(t0);
    report_solving();
    if (best > unf.n_events()) return false;
    ExtractTrail();
    return true;
}

bool mc_problem::run_disjuncts() {
    disjunct = 0;
    best = unf.n_events() + 1;
    gen_time = solve_time = 0;
    for (;;) {
        std::clock_t t0 = std::clock();
        (this->*generator)();
        double g = seconds_since(t0);
        gen_time += g;
        if (disjunct == kNoMoreDisjuncts) break;
        ++disjunct;
        report_disjunct_generation(g);
        // Each disjunct searches with the cut-off events fixed at 0.
        store.level = 1;
        store.fix_cutoffs();
        t0 = std::clock();
        (this->*search)();
        double sv = seconds_since(t0);
        solve_time += sv;
        report_disjunct_solving(sv);
        if (best <= unf.n_events() && !shortest) break;
    }
    report_generation();
    report_solving();
    if (best > unf.n_events()) return false;
    ExtractTrail();
    return true;
}

bool mc_problem::search_impl(bool branching_search) {
    struct Frame {
        std::uint32_t level = 0;
        std::uint32_t next = 0;  // next variable to consider
        std::uint32_t cur = 0;   // variable of the branch being explored
        std::vector<std::uint8_t> mask;
    };
    const std::uint32_t n = store.n_vars;
    std::vector<Frame> stack;
    enum class Entry { stop, cut, pushed };
    // Entering a level: the -t bound, the solution test, the branching mask.
    auto enter = [&]() {
        if (shortest && store.ones >= best) return Entry::cut;
        bool ok = branching_search ? constr->holds() : constr->holds_active();
        if (ok) {
            store.save_solution();
            best = store.solution_size();
            if (!shortest) return Entry::stop;
        }
        Frame f;
        f.level = store.level;
        // In the plain search every variable before the parent's branch is
        // fixed by now, so the scan can start behind it.
        if (!branching_search && !stack.empty()) f.next = stack.back().cur + 1;
        if (branching_search) {
            f.mask.assign(n / 8 + 1, 0);
            const mask_slot_t fill = mask;
            (this->*fill)(f.mask);
        }
        stack.push_back(std::move(f));
        return Entry::pushed;
    };
    // Back in a frame after the branch on f.cur failed: undo it and keep the
    // variable at 0 for the rest of this frame.
    auto close_branch = [&](Frame& f) {
        store.undo(f.level + 1);
        constr->undo(f.level + 1);
        store.level = f.level;
        store.exclude_event(f.cur);
    };
    Entry first = enter();
    if (first == Entry::stop) return true;
    if (first == Entry::cut) return false;
    while (!stack.empty()) {
        Frame& f = stack.back();
        std::uint32_t v = f.next;
        while (v < n && (!store.is_free(v) || (branching_search && mask_bit(f.mask, v)))) ++v;
        if (v >= n) {
            std::uint32_t lvl = f.level;
            store.undo(lvl);
            constr->undo(lvl);
            stack.pop_back();
            if (stack.empty()) return false;
            close_branch(stack.back());
            continue;
        }
        f.next = v + 1;
        f.cur = v;
        store.level = f.level + 1;
        if (store.include_event(v)) {
            ++explored;
            if (constr->propagate() != PROP_CONTRADICTION) {
                Entry r = enter();  // may reallocate the stack: f is not used after this
                if (r == Entry::stop) return true;
                if (r == Entry::pushed) continue;
            }
        }
        close_branch(stack.back());
    }
    return false;
}

void mc_problem::ExtractTrail() {
    const std::uint32_t ne = unf.n_events(), nc = unf.n_conditions();
    std::vector<std::uint8_t> marked(nc, 0);
    for (std::uint32_t c = 0; c < nc; ++c) marked[c] = unf.conditions[c].producer == 0;
    std::vector<std::uint8_t>& sol = store.saved;
    std::uint32_t left = 0;
    for (std::uint32_t e = 0; e < ne; ++e) left += sol[e];
    trail.emplace();
    std::uint32_t i = 0, idle = 0;
    while (left > 0 && idle <= ne) {
        if (sol[i]) {
            const Event& ev = unf.events[i];
            bool ready = std::all_of(ev.preset.begin(), ev.preset.end(), [&](std::uint32_t c) { return marked[c - 1]; });
            if (ready) {
                trail->emplace_back(i + 1, ev.transition);
                sol[i] = 0;
                for (std::uint32_t c : ev.preset) marked[c - 1] = 0;
                for (std::uint32_t c : ev.postset) marked[c - 1] = 1;
                --left;
                idle = 0;
            } else {
                ++idle;
            }
        } else {
            ++idle;
        }
        i = i + 1 == ne ? 0 : i + 1;
    }
}

void mc_problem::add_place_tokens(lin_constr& row, std::uint32_t place, std::int64_t factor) const {
    for (std::uint32_t c : unf.place_conditions[place]) {
        const Condition& cond = unf.conditions[c - 1];
        if (cond.producer) {
            if (unf.events[cond.producer - 1].cutoff) continue;
            row.func.add(cond.producer - 1, factor);
        } else {
            row.bound -= factor;
        }
        for (std::uint32_t f : cond.consumers)
            if (!unf.events[f - 1].cutoff) row.func.add(f - 1, -factor);
    }
}

void mc_problem::print_size(const constraint& sys, std::size_t rows) const {
    std::size_t mon = sys.size();
    double cells = static_cast<double>(rows) * unf.n_events();
    std::printf("\nsystem size: constraints: %zu; monoms: %zu; matrix density: %.2f%%\n", rows, mon,
                cells > 0 ? mon * 100.0 / cells : 0.0);
}

// ---------------------------------------------------------------- deadlock

deadlock_mc_problem::deadlock_mc_problem(const unfolding& u, const Settings& s)
    : mc_problem(u, s), internal(s.internal) {
    std::printf("\nDeadlock checking mode\n");
    using P = deadlock_mc_problem;
    auto slot = [](void (P::*g)()) { return static_cast<gen_slot_t>(g); };
    generator = slot(&P::gen_ddlk_nonlin);
    switch (memory) {
        case 1: generator = slot(&P::gen_ddlk_unsafe); break;
        case 2:
            if (safe) {
                generator = slot(&P::gen_ddlk_safe);
            } else {
                std::printf("\n-M2 is defined for safe nets only; -M4 is substituted instead\n");
                raise(1);
            }
            break;
        case 3:
            std::printf("\n-M3 is not implemented yet; -M4 is substituted instead\n");
            raise(1);
            break;
        default:
            if (memory >= 5) {
                std::printf("\n-M%d is not defined; -M4 is substituted instead\n", memory);
                raise(1);
            }
            break;
    }
    if (branching == 1) {
        search = &mc_problem::BranchingSearch;
    } else {
        if (branching >= 2) {
            std::printf("\n-!%d is not defined; -! is substituted instead\n", branching);
            raise(1);
        }
        search = &mc_problem::DepthFirstSearch;
    }
}

void deadlock_mc_problem::read_input(const char* path) {
    if (!path) return;
    std::FILE* in = prefixfile::open_for_reading(path, false);
    if (!in) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path);
        raise(2);
        return;
    }
    terminal_places_parser p(in, unf);
    terminals = p.parse();
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (read_error) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path);
        raise(2);
        return;
    }
    // Whatever made the parse fail, the check goes on without the terminal
    // marking, with a warning.
    if (!terminals) {
        std::fprintf(stderr, "\n Warning: failure when parsing %s. Terminal markings will be considered as deadlocks\n",
                     path);
        raise(1);
    }
}

std::shared_ptr<inequat> deadlock_mc_problem::not_terminal() {
    if (!terminals || terminals->empty()) {
        std::fprintf(stderr, "\n Warning: no terminal places in the net.\n");
        raise(1);
        return nullptr;
    }
    std::vector<int> kind(unf.n_places, 0);
    std::int64_t exits = 0;
    for (const auto& [place, k] : *terminals) {
        kind[place - 1] = k;
        if (k > 0) ++exits;
    }
    auto row = std::make_shared<inequat>();
    row->bound = exits - 1;
    for (const Condition& c : unf.conditions) {
        int k = kind[c.place - 1];
        std::int64_t sign = k > 0 ? 1 : -1;  // exit conditions count up, the others down
        if (k <= 0 && internal && k == 0) continue;
        if (c.producer && unf.events[c.producer - 1].cutoff) continue;
        if (c.producer)
            row->func.add(c.producer - 1, sign);
        else
            row->bound -= sign;
        for (std::uint32_t f : c.consumers)
            if (!unf.events[f - 1].cutoff) row->func.add(f - 1, -sign);
    }
    row->normalise();
    return row;
}

void deadlock_mc_problem::gen_ddlk_unsafe() {
    auto sys = std::make_shared<lin_constr_system>();
    sys->members.reserve(100);
    for (const Event& e : unf.events) {
        auto row = std::make_shared<inequat_unsafe_ddlk>();
        row->bound = static_cast<std::int64_t>(e.preset.size()) - 1;
        for (std::uint32_t c : e.preset) {
            const Condition& cond = unf.conditions[c - 1];
            if (cond.producer)
                row->func.add(cond.producer - 1, 1);
            else
                row->bound -= 1;
            for (std::uint32_t f : cond.consumers)
                if (!unf.events[f - 1].cutoff) row->func.add(f - 1, -1);
        }
        row->normalise();
        sys->add(row);
    }
    if (terminals)
        if (auto t = not_terminal()) sys->add(t);
    print_size(*sys, sys->members.size());
    constr = sys;
}

void deadlock_mc_problem::gen_ddlk_safe() {
    auto sys = std::make_shared<lin_constr_system>();
    const std::uint32_t nt = unf.n_transitions;
    std::vector<std::shared_ptr<inequat_safe_ddlk>> rows(nt);
    std::vector<std::uint32_t> last(nt, 0);
    std::vector<std::size_t> presize(nt, 0);
    for (auto& r : rows) {
        r = std::make_shared<inequat_safe_ddlk>();
        r->bound = -1;
    }
    for (std::uint32_t c = 1; c <= unf.n_conditions(); ++c) {
        const Condition& cond = unf.conditions[c - 1];
        for (std::uint32_t f : cond.consumers) {
            std::uint32_t t = unf.events[f - 1].transition - 1;
            if (last[t] == c) continue;
            last[t] = c;
            presize[t] = unf.events[f - 1].preset.size();
            inequat_safe_ddlk& row = *rows[t];
            if (cond.producer)
                row.func.add(cond.producer - 1, 1);
            else
                row.bound -= 1;
            for (std::uint32_t g : cond.consumers)
                if (!unf.events[g - 1].cutoff) row.func.add(g - 1, -1);
        }
    }
    for (std::uint32_t t = 0; t < nt; ++t)
        if (last[t] != 0) {
            rows[t]->bound += static_cast<std::int64_t>(presize[t]);
            rows[t]->normalise();
            sys->add(rows[t]);
        }
    if (terminals)
        if (auto t = not_terminal()) sys->add(t);
    print_size(*sys, sys->members.size());
    constr = sys;
}

void deadlock_mc_problem::gen_ddlk_nonlin() {
    std::shared_ptr<inequat> term;
    if (terminals) term = not_terminal();
    constr = std::make_shared<deadlock_constr>(unf, term);
}

int inequat_unsafe_ddlk::propagate() {
    std::uint32_t free_pos = 0, free_neg = 0, last_pos = 0, last_neg = 0;
    for (const Term& t : func.pos.items) {
        if (store.is_zero_fixed(t.index)) {
            close_now();
            return PROP_CONSISTENT | PROP_SATISFIED;
        }
        if (store.is_free(t.index)) {
            ++free_pos;
            last_pos = t.index;
        }
    }
    for (const Term& t : func.neg.items) {
        if (store.is_one(t.index)) {
            close_now();
            return PROP_CONSISTENT | PROP_SATISFIED;
        }
        if (store.is_free(t.index)) {
            ++free_neg;
            last_neg = t.index;
        }
    }
    if (free_pos == 0 && free_neg == 0) return PROP_CONTRADICTION;
    if (free_pos == 0 && free_neg == 1) {
        if (!store.include_event(last_neg)) return PROP_CONTRADICTION;
        close_now();
        return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
    }
    if (free_pos == 1 && free_neg == 0) {
        if (!store.exclude_event(last_pos)) return PROP_CONTRADICTION;
        close_now();
        return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
    }
    return PROP_CONSISTENT;
}

int inequat_safe_ddlk::propagate() {
    lin_func::Bounds b = func.bounds();
    std::uint32_t free_neg = 0, last_neg = 0;
    bool free_pos = false;
    for (const Term& t : func.neg.items)
        if (store.is_free(t.index)) {
            ++free_neg;
            last_neg = t.index;
        }
    for (const Term& t : func.pos.items)
        if (store.is_free(t.index)) free_pos = true;
    if (b.F + b.P <= bound) {
        close_now();
        return PROP_CONSISTENT | PROP_SATISFIED;
    }
    if (free_neg == 0) {
        if (b.F > bound) return PROP_CONTRADICTION;
        if (b.F == bound && free_pos) {
            for (const Term& t : func.pos.items)
                if (store.is_free(t.index) && !store.exclude_event(t.index)) return PROP_CONTRADICTION;
            b = func.bounds();
            if (b.F + b.P > bound) return PROP_CONTRADICTION;
            close_now();
            return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
        }
        return PROP_CONSISTENT;
    }
    if (free_neg == 1 && b.F > bound) {
        if (!store.include_event(last_neg)) return PROP_CONTRADICTION;
        return PROP_CONSISTENT | PROP_FIXED;
    }
    return PROP_CONSISTENT;
}

// ---------------------------------------------------------------- deadlock_constr

deadlock_constr::deadlock_constr(const unfolding& u, std::shared_ptr<inequat> term)
    : terminal(std::move(term)), unf_(u) {
    const std::uint32_t n = u.n_events();
    score.assign(n, 0);
    excess.assign(n, 0);
    done.assign(n, 0);
    order_.resize(n);
    for (std::uint32_t e = 0; e < n; ++e) order_[e] = e;
}

std::int64_t deadlock_constr::compute_excess(std::uint32_t e) const {
    const Event& ev = unf_.events[e];
    std::int64_t sum = -(static_cast<std::int64_t>(ev.preset.size()) - 1);
    for (std::uint32_t c : ev.preset) {
        const Condition& cond = unf_.conditions[c - 1];
        std::int64_t m = cond.producer ? store.value[cond.producer - 1] : 1;
        for (std::uint32_t f : cond.consumers) m -= store.value[f - 1];
        sum += m;
    }
    return sum;
}

void deadlock_constr::close_at(std::size_t i) {
    done[order_[i]] = store.level;
    std::swap(order_[i], order_[first_open_]);
    ++first_open_;
}

bool deadlock_constr::eval(bool stop_early) {
    bool ok = true;
    for (std::size_t i = first_open_; i < order_.size(); ++i) {
        std::uint32_t e = order_[i];
        if (store.is_one(e)) {
            close_at(i);
            continue;
        }
        excess[e] = compute_excess(e);
        if (excess[e] > 0) {
            ok = false;
            if (stop_early) return false;
        }
    }
    if (ok && terminal && terminal->stamp == 0) ok = terminal->holds();
    return ok;
}

bool deadlock_constr::holds() { return eval(false); }
bool deadlock_constr::holds_active() { return eval(true); }

int deadlock_constr::propagate_event(std::uint32_t e) {
    std::uint32_t n_prod = 0, n_cons = 0, prod = 0, cons = 0;
    for (std::uint32_t c : unf_.events[e].preset) {
        const Condition& cond = unf_.conditions[c - 1];
        if (cond.producer) {
            std::uint32_t p = cond.producer - 1;
            if (store.is_zero_fixed(p)) return PROP_CONSISTENT | PROP_SATISFIED;
            if (store.is_free(p) && !(n_prod == 1 && p == prod)) {
                ++n_prod;
                prod = p;
            }
        }
        for (std::uint32_t f1 : cond.consumers) {
            std::uint32_t f = f1 - 1;
            if (store.is_one(f)) return PROP_CONSISTENT | PROP_SATISFIED;
            if (store.is_free(f) && !(n_cons == 1 && f == cons)) {
                ++n_cons;
                cons = f;
            }
        }
    }
    if (n_prod == 0 && n_cons == 0) return PROP_CONTRADICTION;  // e would be enabled
    if (n_prod == 0 && n_cons == 1) {
        if (!store.include_event(cons)) return PROP_CONTRADICTION;
        return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
    }
    if (n_prod == 1 && n_cons == 0) {
        if (!store.exclude_event(prod)) return PROP_CONTRADICTION;
        return PROP_CONSISTENT | PROP_FIXED | PROP_SATISFIED;
    }
    return PROP_CONSISTENT;
}

int deadlock_constr::propagate() {
    for (;;) {
        bool fixed = false;
        for (std::size_t i = first_open_; i < order_.size(); ++i) {
            int r = propagate_event(order_[i]);
            if (r == PROP_CONTRADICTION) return PROP_CONTRADICTION;
            if (r & PROP_FIXED) fixed = true;
            if (r & PROP_SATISFIED) close_at(i);
        }
        if (terminal && terminal->stamp == 0) {
            int r = terminal->propagate();
            if (r == PROP_CONTRADICTION) return PROP_CONTRADICTION;
            if (r & PROP_FIXED) fixed = true;
        }
        if (!fixed) return PROP_CONSISTENT;
    }
}

void deadlock_constr::undo(std::uint32_t level) {
    while (first_open_ > 0 && done[order_[first_open_ - 1]] >= level) {
        --first_open_;
        done[order_[first_open_]] = 0;
    }
    if (terminal) terminal->undo(level);
    if (stamp >= level) stamp = 0;
}

void deadlock_constr::branching_mask(std::vector<std::uint8_t>& bits) {
    std::fill(score.begin(), score.end(), 0);
    for (std::size_t i = first_open_; i < order_.size(); ++i) {
        std::uint32_t e = order_[i];
        std::int64_t x = excess[e];
        for (std::uint32_t c : unf_.events[e].preset) {
            const Condition& cond = unf_.conditions[c - 1];
            if (cond.producer) score[cond.producer - 1] += x;
            if (x > 0)
                for (std::uint32_t f : cond.consumers) score[f - 1] -= x;
        }
    }
    if (terminal && terminal->stamp == 0) {
        std::int64_t d = terminal->func.last - terminal->bound;
        for (const Term& t : terminal->func.pos.items) score[t.index] += d * t.coef;
        if (terminal->func.last > terminal->bound)
            for (const Term& t : terminal->func.neg.items) score[t.index] += d * t.coef;
    }
    std::fill(bits.begin(), bits.end(), 0);
    for (std::uint32_t e = 0; e < score.size(); ++e)
        if (score[e] >= 0) set_mask_bit(bits, e);
}

// ---------------------------------------------------------------- reachability

void simple_reachability_problem::read_input(const char* path) {
    std::FILE* in = path ? prefixfile::open_for_reading(path, false) : nullptr;
    if (!in) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path ? path : "");
        raise(2);
        return;
    }
    coef_list_unf_parser p(in, unf);
    std::optional<PlaceList> list = p.parse();
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (read_error) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path);
        raise(2);
        return;
    }
    if (!list) {
        std::fprintf(stderr, "\nError: incorrect syntax of %s\n", path);
        raise(2);
        return;
    }
    marking = std::move(*list);
}

bool simple_reachability_problem::unsafe_marking_check() {
    for (const Term& t : marking)
        if (t.coef >= 2) {
            std::fprintf(stderr, "\n Warning: unsafe marking is specified for a safe system\n");
            raise(1);
            auto sys = std::make_shared<lin_constr_system>();
            auto row = std::make_shared<equat>();
            row->bound = -1;
            sys->add(row);
            constr = sys;
            return true;
        }
    return false;
}

reachability_problem::reachability_problem(const unfolding& u, const Settings& s)
    : simple_reachability_problem(u, s) {
    std::printf("\nReachability checking mode\n");
    using P = reachability_problem;
    auto slot = [](void (P::*g)()) { return static_cast<gen_slot_t>(g); };
    generator = slot(&P::gen_reach_m2);
    switch (memory) {
        case 0:
            if (safe) generator = slot(&P::gen_reach_safe);
            break;
        case 1: generator = slot(&P::gen_reach_m1); break;
        case 3:
            if (safe) {
                generator = slot(&P::gen_reach_safe);
            } else {
                std::printf("\n-M3 is defined for safe nets only; -M2 is substituted instead\n");
                raise(1);
            }
            break;
        default:
            if (memory >= 4) {
                std::printf("\n-M%d is not defined; -M2 is substituted instead\n", memory);
                raise(1);
            }
            break;
    }
}

void reachability_problem::gen_reach_m1() {
    if (safe && unsafe_marking_check()) return;
    auto sys = std::make_shared<lin_constr_system>();
    std::vector<std::int64_t> want(unf.n_places, 0);
    for (const Term& t : marking) want[t.index - 1] = t.coef;
    for (std::uint32_t s = 1; s <= unf.n_places; ++s) {
        auto row = std::make_shared<equat>();
        row->bound = -want[s - 1];
        add_place_tokens(*row, s, -1);
        sys->add(row);
    }
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

void reachability_problem::gen_reach_m2() {
    if (safe && unsafe_marking_check()) return;
    auto sys = std::make_shared<lin_constr_system>();
    std::vector<std::uint8_t> listed(unf.n_places, 0);
    for (const Term& t : marking) listed[t.index - 1] = 1;
    auto zero = std::make_shared<equat>();
    for (std::uint32_t s = 1; s <= unf.n_places; ++s)
        if (!listed[s - 1]) add_place_tokens(*zero, s, -1);
    sys->add(zero);
    for (const Term& t : marking) {
        auto row = std::make_shared<equat>();
        row->bound = -t.coef;
        add_place_tokens(*row, t.index, -1);
        sys->add(row);
    }
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

void reachability_problem::gen_reach_safe() {
    if (unsafe_marking_check()) return;
    auto sys = std::make_shared<lin_constr_system>();
    std::vector<std::uint8_t> listed(unf.n_places, 0);
    for (const Term& t : marking) listed[t.index - 1] = 1;
    auto zero = std::make_shared<equat>();
    auto full = std::make_shared<equat>();
    full->bound = -static_cast<std::int64_t>(marking.size());
    for (std::uint32_t s = 1; s <= unf.n_places; ++s) add_place_tokens(listed[s - 1] ? *full : *zero, s, -1);
    sys->add(zero);
    sys->add(full);
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

coverability_problem::coverability_problem(const unfolding& u, const Settings& s)
    : simple_reachability_problem(u, s) {
    std::printf("\nCoverability checking mode\n");
    using P = coverability_problem;
    auto slot = [](void (P::*g)()) { return static_cast<gen_slot_t>(g); };
    generator = slot(&P::gen_cover_m1);
    switch (memory) {
        case 0:
            if (safe) generator = slot(&P::gen_cover_safe);
            break;
        case 2:
            if (safe) {
                generator = slot(&P::gen_cover_safe);
            } else {
                std::printf("\n-M2 is defined for safe nets only; -M1 is substituted instead\n");
                raise(1);
            }
            break;
        default:
            if (memory >= 3) {
                std::printf("\n-M%d is not defined; -M1 is substituted instead\n", memory);
                raise(1);
            }
            break;
    }
}

void coverability_problem::gen_cover_m1() {
    if (safe && unsafe_marking_check()) return;
    auto sys = std::make_shared<lin_constr_system>();
    for (const Term& t : marking) {
        auto row = std::make_shared<inequat>();
        row->bound = -t.coef;
        add_place_tokens(*row, t.index, -1);
        sys->add(row);
    }
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

void coverability_problem::gen_cover_safe() {
    if (unsafe_marking_check()) return;
    auto sys = std::make_shared<lin_constr_system>();
    auto row = std::make_shared<equat>();
    row->bound = -static_cast<std::int64_t>(marking.size());
    for (const Term& t : marking) add_place_tokens(*row, t.index, -1);
    sys->add(row);
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

ext_lin_reachability_problem::ext_lin_reachability_problem(const unfolding& u, const Settings& s)
    : mc_problem(u, s) {
    std::printf("\nExtended reachability checking mode\n");
    generator = static_cast<gen_slot_t>(&ext_lin_reachability_problem::gen_ext_reach);
}

void ext_lin_reachability_problem::read_input(const char* path) {
    std::FILE* in = path ? prefixfile::open_for_reading(path, false) : nullptr;
    if (!in) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path ? path : "");
        raise(2);
        return;
    }
    lin_constr_system_unf_parser p(in, unf);
    system = p.parse();
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (read_error) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path);
        raise(2);
        return;
    }
    if (!system) {
        std::fprintf(stderr, "\n Error: incorrect syntax of %s\n", path);
        raise(2);
        return;
    }
    system->normalise();
}

void ext_lin_reachability_problem::gen_ext_reach() {
    auto sys = std::make_shared<lin_constr_system>();
    for (const auto& m : system->members) {
        const auto* src = static_cast<const lin_constr*>(m.get());
        std::shared_ptr<lin_constr> row;
        if (src->is_inequality())
            row = std::make_shared<inequat>();
        else
            row = std::make_shared<equat>();
        row->bound = src->bound;
        for (const Term& t : src->func.pos.items) add_place_tokens(*row, t.index, t.coef);
        for (const Term& t : src->func.neg.items) add_place_tokens(*row, t.index, t.coef);
        sys->add(row);
    }
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

// ---------------------------------------------------------------- mutual exclusion

mut_exclusion_problem::mut_exclusion_problem(const unfolding& u, const Settings& s)
    : simple_reachability_problem(u, s) {
    std::printf("\nMutual exclusion checking mode\n");
}

void mut_exclusion_problem::read_input(const char* path) {
    std::FILE* in = path ? prefixfile::open_for_reading(path, false) : nullptr;
    if (!in) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path ? path : "");
        raise(2);
        return;
    }
    list_unf_parser p(in, unf);
    std::optional<PlaceList> list = p.parse();
    const bool read_error = std::ferror(in) != 0;
    std::fclose(in);
    if (read_error) {
        std::fprintf(stderr, "\n Error: cannot open %s for input\n", path);
        raise(2);
        return;
    }
    if (!list) {
        std::fprintf(stderr, "\n Error: incorrect syntax of %s\n", path);
        raise(2);
        return;
    }
    if (list->size() < 2) {
        std::fprintf(stderr, "\n Error: at least two places must be specified in %s\n", path);
        raise(2);
        return;
    }
    for (const Term& t : *list)
        if (t.coef > 1) {
            std::fprintf(stderr, "\n Error: place %s is repeated in %s\n", unf.place_names[t.index - 1].c_str(),
                         path);
            raise(2);
            return;
        }
    marking = std::move(*list);
    using P = mut_exclusion_problem;
    mask_slot_t mode_mask;
    if (!safe && marking.size() > 2) {
        generator = static_cast<gen_slot_t>(&P::gen_mutex_pairs);
        run_slot = &mc_problem::run_disjuncts;
        mode_mask = static_cast<mask_slot_t>(&P::mutex_pair_mask);
    } else {
        generator = static_cast<gen_slot_t>(marking.size() == 2 ? &P::gen_mutex_two : &P::gen_mutex_safe);
        run_slot = &mc_problem::run_single;
        mode_mask = static_cast<mask_slot_t>(&P::mutex_mask);
    }
    if (branching >= 2) {
        if (branching >= 3) {
            std::printf("\n-!%d is not defined; -!2 is substituted instead\n", branching);
            raise(1);
        }
        mask = mode_mask;
        search = &mc_problem::BranchingSearch;
    }
}

std::shared_ptr<inequat> mut_exclusion_problem::place_marked(std::uint32_t place) {
    auto row = std::make_shared<inequat>();
    row->bound = -1;
    add_place_tokens(*row, place, -1);
    row->normalise();
    std::printf("\nequation size: %zu monoms.", row->size());
    return row;
}

void mut_exclusion_problem::gen_mutex_two() {
    auto sys = std::make_shared<lin_constr_system>();
    sys->add(place_marked(marking[0].index));
    sys->add(place_marked(marking[1].index));
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

void mut_exclusion_problem::gen_mutex_safe() {
    auto sys = std::make_shared<lin_constr_system>();
    auto row = std::make_shared<inequat>();
    row->bound = -2;
    for (const Term& t : marking) add_place_tokens(*row, t.index, -1);
    sys->add(row);
    sys->normalise();
    print_size(*sys, sys->members.size());
    constr = sys;
}

void mut_exclusion_problem::gen_mutex_pairs() {
    if (disjunct == 0) {
        pair_i = 0;
        pair_j = 1;
        holder.clear();
        holder.push_back(place_marked(marking[0].index));
        holder.push_back(place_marked(marking[1].index));
        auto sys = std::make_shared<lin_constr_system>();
        sys->add(holder[0]);
        sys->add(holder[1]);
        constr = sys;
        return;
    }
    auto* sys = static_cast<lin_constr_system*>(constr.get());
    sys->clear_members();
    ++pair_i;
    if (pair_i == pair_j) {
        pair_i = 0;
        ++pair_j;
        if (pair_j == marking.size()) {
            disjunct = kNoMoreDisjuncts;
            return;
        }
        holder.push_back(place_marked(marking[pair_j].index));
    }
    sys->add(holder[pair_i]);
    sys->add(holder[pair_j]);
}

void mut_exclusion_problem::report_disjunct_generation(double t) {
    if (disjunct == 1)
        std::printf("\ngenerating constraints for places %s and %s: %.2f sec.\n",
                    unf.place_names[marking[0].index - 1].c_str(), unf.place_names[marking[1].index - 1].c_str(), t);
    else if (pair_i == 0)
        std::printf("\ngenerating constraint for place %s: %.2f sec.\n",
                    unf.place_names[marking[pair_j].index - 1].c_str(), t);
}

void mut_exclusion_problem::report_disjunct_solving(double t) {
    std::printf("\nchecking mutual exclusion of places %s and %s: %.2f sec.\n",
                unf.place_names[marking[pair_i].index - 1].c_str(), unf.place_names[marking[pair_j].index - 1].c_str(),
                t);
}

void mut_exclusion_problem::mask_common(std::vector<std::uint8_t>& bits, std::uint32_t a, std::uint32_t b) {
    // Branching goes on below the second level: a branch on an event that
    // precedes both producers of a solution excludes that event when it
    // fails, so a search cut off there would miss the solution.
    std::fill(bits.begin(), bits.end(), 0xff);
    std::vector<std::uint8_t> listed(unf.n_places + 1, 0);
    for (const Term& t : marking) listed[t.index] = 1;
    std::uint32_t s0 = 0;
    if (store.level == 1) {
        s0 = a;
        for (const Condition& c : unf.conditions) {
            if (c.producer) break;
            if (c.place == a || c.place == b) {
                s0 = c.place;
                break;
            }
        }
    }
    for (const Condition& c : unf.conditions)
        if (c.producer && store.is_free(c.producer - 1) && listed[c.place] && c.place != s0)
            clear_mask_bit(bits, c.producer - 1);
}

void mut_exclusion_problem::mutex_mask(std::vector<std::uint8_t>& bits) {
    // At the first level, producers on the place of the first leading initial
    // condition on a listed place (place 1 if none) are left out: a second
    // token there needs a producer on another listed place too.
    std::fill(bits.begin(), bits.end(), 0xff);
    std::vector<std::uint8_t> listed(unf.n_places + 1, 0);
    for (const Term& t : marking) listed[t.index] = 1;
    std::uint32_t s0 = 0;
    if (store.level == 1) {
        s0 = 1;
        for (const Condition& c : unf.conditions) {
            if (c.producer) break;
            if (listed[c.place]) {
                s0 = c.place;
                break;
            }
        }
    }
    for (const Condition& c : unf.conditions)
        if (c.producer && store.is_free(c.producer - 1) && listed[c.place] && c.place != s0)
            clear_mask_bit(bits, c.producer - 1);
}

void mut_exclusion_problem::mutex_pair_mask(std::vector<std::uint8_t>& bits) {
    mask_common(bits, marking[pair_i].index, marking[pair_j].index);
}

// ---------------------------------------------------------------- factory

std::unique_ptr<mc_problem> make_problem(const unfolding& u, const Settings& s) {
    switch (s.mode) {
        case MODE_REACH: return std::make_unique<reachability_problem>(u, s);
        case MODE_COVER: return std::make_unique<coverability_problem>(u, s);
        case MODE_EXT_REACH: return std::make_unique<ext_lin_reachability_problem>(u, s);
        case MODE_MUTEX: return std::make_unique<mut_exclusion_problem>(u, s);
        default: return std::make_unique<deadlock_mc_problem>(u, s);
    }
}

}  // namespace vorga
