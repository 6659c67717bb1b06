// The separate computation of maximal configurations (-k).
//
// Reduction rules keep the set of maximal configurations: conditions that
// decide no conflict go, events that follow a single condition merge into
// its producer (their number lists join), and events every configuration
// holds move to the common list.  On what is left, two events are in
// conflict when they, or events before them, consume one condition; the
// maximal configurations are the maximal sets of pairwise conflict-free
// events, listed root by root with candidate ("free") and excluded ("prev")
// lists.
#include "kconf.h"

#include <algorithm>
#include <deque>

#include "outfile.h"

namespace trelmik {

namespace {

struct KCond {
    bool alive = true;
    std::uint32_t pre = 0;                // event index + 1, 0 = none
    std::vector<std::uint32_t> consumers; // event indices + 1, ascending
};

struct KEvent {
    bool alive = true;
    std::vector<std::uint32_t> inputs, outputs;  // condition indices + 1
    std::vector<std::uint32_t> numbers;          // run events it stands for, ascending
};

void erase_value(std::vector<std::uint32_t>& v, std::uint32_t x) {
    v.erase(std::remove(v.begin(), v.end(), x), v.end());
}

void merge_into(std::vector<std::uint32_t>& into, const std::vector<std::uint32_t>& from) {
    std::vector<std::uint32_t> m;
    std::set_union(into.begin(), into.end(), from.begin(), from.end(), std::back_inserter(m));
    into.swap(m);
}

void print_list(std::FILE* out, const std::vector<std::uint32_t>& v) {
    std::fputc('{', out);
    for (std::size_t i = 0; i < v.size(); ++i) std::fprintf(out, i ? ",%u" : "%u", v[i]);
    std::fputs("}\n", out);
}

class Reducer {
public:
    explicit Reducer(const Prefix& pf) {
        conds.resize(pf.conditions());
        events.resize(pf.events());
        for (std::uint32_t c = 1; c <= pf.conditions(); ++c) {
            conds[c - 1].pre = pf.cond_pre[c - 1];
            pf.for_each_consumer(c, [&](std::uint32_t e) { conds[c - 1].consumers.push_back(e); });
        }
        for (std::uint32_t e = 1; e <= pf.events(); ++e) {
            KEvent& ev = events[e - 1];
            ev.inputs.assign(pf.ev_pre_conds.begin() + pf.ev_pre_begin[e - 1], pf.ev_pre_conds.begin() + pf.ev_pre_begin[e]);
            for (std::uint32_t k = 0; k < pf.ev_post_count[e - 1]; ++k) ev.outputs.push_back(pf.ev_post_first[e - 1] + k);
            ev.numbers = {e};
        }
        initial = pf.initial_conditions;
    }

    std::vector<KCond> conds;
    std::vector<KEvent> events;
    std::vector<std::uint32_t> common;
    std::uint32_t initial = 0;

    void remove_cond(std::uint32_t c) {
        KCond& k = conds[c - 1];
        k.alive = false;
        if (k.pre) erase_value(events[k.pre - 1].outputs, c);
        for (std::uint32_t e : k.consumers) erase_value(events[e - 1].inputs, c);
        k.consumers.clear();
    }
    void remove_event(std::uint32_t e) {
        KEvent& ev = events[e - 1];
        ev.alive = false;
        for (std::uint32_t c : ev.inputs) erase_value(conds[c - 1].consumers, e);
        for (std::uint32_t c : ev.outputs) conds[c - 1].pre = 0;
        ev.inputs.clear();
        ev.outputs.clear();
    }
    bool consumers_subset(std::uint32_t a, std::uint32_t b) const {
        const auto& x = conds[a - 1].consumers;
        const auto& y = conds[b - 1].consumers;
        return std::includes(y.begin(), y.end(), x.begin(), x.end());
    }
    // Of two output conditions whose consumers are nested, the one with fewer goes.
    void reduce_outputs(std::uint32_t p) {
        std::vector<std::uint32_t>& outs = events[p - 1].outputs;
        if (outs.size() < 2) return;
        std::size_t i = 0;
        while (i < outs.size()) {
            const std::uint32_t a = outs[i];
            bool gone = false;
            std::size_t j = i + 1;
            while (j < outs.size()) {
                const std::uint32_t b = outs[j];
                if (consumers_subset(a, b)) {
                    remove_cond(a);
                    gone = true;
                    break;
                }
                if (consumers_subset(b, a)) remove_cond(b);
                else ++j;
            }
            if (!gone) ++i;
        }
    }
    void run() {
        for (std::uint32_t c = 1; c <= initial && c <= conds.size(); ++c) {
            const KCond& k = conds[c - 1];
            if (k.pre == 0 && k.consumers.size() == 1 && events[k.consumers[0] - 1].inputs.size() >= 2) remove_cond(c);
        }
        for (std::uint32_t e = 1; e <= events.size(); ++e)
            if (events[e - 1].alive) reduce_outputs(e);
        bool again = true;
        while (again) {
            again = false;
            for (std::uint32_t c = 1; c <= conds.size(); ++c) {
                KCond& k = conds[c - 1];
                if (!k.alive) continue;
                if (k.consumers.empty() && k.pre && events[k.pre - 1].outputs.size() >= 2) {
                    remove_cond(c);
                    again = true;
                } else if (k.pre == 0 && k.consumers.size() == 1) {
                    const std::uint32_t e = k.consumers[0];
                    remove_cond(c);
                    if (events[e - 1].inputs.empty()) {
                        merge_into(common, events[e - 1].numbers);
                        remove_event(e);
                    }
                    again = true;
                } else if (k.pre && k.consumers.size() == 1 && events[k.consumers[0] - 1].inputs.size() == 1) {
                    const std::uint32_t p = k.pre, q = k.consumers[0];
                    remove_cond(c);
                    // q's outputs now start in p; every event q stands for joins p's list.
                    for (std::uint32_t o : events[q - 1].outputs) {
                        conds[o - 1].pre = p;
                        events[p - 1].outputs.push_back(o);
                    }
                    events[q - 1].outputs.clear();
                    merge_into(events[p - 1].numbers, events[q - 1].numbers);
                    remove_event(q);
                    reduce_outputs(p);
                    again = true;
                }
            }
        }
    }
};

}  // namespace

SeparateResult separate_configurations(const Prefix& pf, bool no_configs, std::FILE* out,
                                       const std::string& config_file) {
    SeparateResult res;
    std::FILE* file = nullptr;
    if (!no_configs) {
        file = outfile::open(config_file);
        if (!file) {
            std::fflush(stdout);
            std::fputs("Could not open file for writing.\n", stderr);
            throw ExitRequest{111};
        }
    }
    struct Closer {
        std::FILE*& f;
        ~Closer() { if (f) std::fclose(f); }
    } closer{file};

    Reducer r(pf);
    r.run();

    // Events in their new order: roots first.
    std::vector<std::uint32_t> order, stay, moved, rest;
    bool chain = true;
    auto is_root = [&](std::uint32_t e) {
        for (std::uint32_t c : r.events[e - 1].inputs)
            if (r.conds[c - 1].pre != 0) return false;
        return true;
    };
    for (std::uint32_t e = 1; e <= r.events.size(); ++e) {
        if (!r.events[e - 1].alive) continue;
        if (is_root(e)) {
            if (chain) stay.push_back(e);
            else moved.push_back(e);
        } else {
            chain = false;
            rest.push_back(e);
        }
    }
    order.assign(moved.rbegin(), moved.rend());
    order.insert(order.end(), stay.begin(), stay.end());
    const std::uint32_t R = static_cast<std::uint32_t>(order.size());
    order.insert(order.end(), rest.begin(), rest.end());
    const std::uint32_t n = static_cast<std::uint32_t>(order.size());
    std::vector<std::uint32_t> number(r.events.size() + 1, 0), level(n + 1, 0);
    for (std::uint32_t i = 0; i < n; ++i) number[order[i]] = i + 1;

    std::uint32_t count = 0;
    auto output = [&](const std::vector<std::uint32_t>& config) {  // new numbers
        ++count;
        std::vector<std::uint32_t> events = r.common;
        for (std::uint32_t x : config) {
            const auto& nums = r.events[order[x - 1] - 1].numbers;
            events.insert(events.end(), nums.begin(), nums.end());
        }
        std::vector<std::uint32_t> sorted = events;
        std::sort(sorted.begin(), sorted.end());
        res.sets.push_back(sorted);
        if (no_configs) return;
        std::fprintf(out, "=== %5u ===> ", count);
        std::size_t column = 0;
        for (std::size_t i = 0; i < events.size(); ++i) {
            std::fprintf(out, i ? ",E%u" : "E%u", events[i]);
            const std::string word = "E" + std::to_string(events[i]);
            if (i == 0) {
                std::fputs(word.c_str(), file);
                column = word.size();
            } else {
                column += word.size() + 1;
                if (column > 75) {
                    std::fputs(",\n  ", file);
                    column = 0;
                } else {
                    std::fputc(',', file);
                }
                std::fputs(word.c_str(), file);
            }
        }
        std::fputc('\n', out);
        std::fputs(".\n", file);
    };

    if (n == 0) {
        if (!r.common.empty()) output({});
    } else {
        for (std::uint32_t i = 1; i <= n; ++i) {
            const std::uint32_t e = order[i - 1];
            std::uint32_t lv = 1;
            if (i > R)
                for (std::uint32_t c : r.events[e - 1].inputs)
                    if (r.conds[c - 1].pre) lv = std::max(lv, level[number[r.conds[c - 1].pre]] + 1);
            level[i] = lv;
            std::fprintf(out, "E%utopo: (%u) ", i, lv);
            print_list(out, r.events[e - 1].numbers);
        }

        // Conflict table, filled backwards from the conditions nobody consumes.
        std::fputs("Calculate Conflict Table\n", out);
        std::vector<std::uint8_t> table(std::size_t(n) * n, 0);
        auto conflict = [&](std::uint32_t a, std::uint32_t b) -> std::uint8_t& { return table[std::size_t(a - 1) * n + (b - 1)]; };
        std::vector<std::vector<std::uint32_t>> cset(r.conds.size()), eset(n + 1);
        std::vector<std::uint32_t> cpending(r.conds.size(), 0), epending(n + 1, 0);
        std::vector<std::uint32_t> stack;
        for (std::uint32_t c = 1; c <= r.conds.size(); ++c) {
            const KCond& k = r.conds[c - 1];
            if (!k.alive) continue;
            cpending[c - 1] = static_cast<std::uint32_t>(k.consumers.size());
        }
        for (std::uint32_t i = 1; i <= n; ++i) {
            eset[i] = {i};
            epending[i] = static_cast<std::uint32_t>(r.events[order[i - 1] - 1].outputs.size());
        }
        std::vector<std::uint32_t> ready;  // events whose outputs are all done
        auto finish_event = [&](std::uint32_t s) {
            for (std::uint32_t c : r.events[order[s - 1] - 1].inputs) {
                for (std::uint32_t a : cset[c - 1])
                    for (std::uint32_t b : eset[s]) {
                        if (a == b) {
                            std::fflush(out);
                            std::fputs("CNFLupdate_table: SELBSTKONFLIKT", stderr);
                            throw ExitRequest{1};
                        }
                        conflict(a, b) = conflict(b, a) = 3;
                    }
                merge_into(cset[c - 1], eset[s]);
                if (--cpending[c - 1] == 0 && r.conds[c - 1].pre) stack.push_back(c);
            }
        };
        for (std::uint32_t c = 1; c <= r.conds.size(); ++c)
            if (r.conds[c - 1].alive && r.conds[c - 1].consumers.empty() && r.conds[c - 1].pre) stack.push_back(c);
        // Events without output conditions (cut-offs under -C) are done at once.
        for (std::uint32_t i = 1; i <= n; ++i)
            if (epending[i] == 0) ready.push_back(i);
        for (std::uint32_t s : ready) finish_event(s);
        while (!stack.empty()) {
            const std::uint32_t c = stack.back();
            stack.pop_back();
            const std::uint32_t s = number[r.conds[c - 1].pre];
            merge_into(eset[s], cset[c - 1]);
            if (--epending[s] == 0) finish_event(s);
        }
        std::fputs("Konflikttabelle:\n", out);
        std::uint32_t d = 1;
        for (std::uint32_t i = 1; i <= n; ++i) {
            std::fprintf(out, "%6d. | ", static_cast<int>(i));
            std::uint32_t free_count = 0;
            for (std::uint32_t j = 1; j <= n; ++j) {
                std::fputc(j == i ? 'O' : conflict(i, j) ? '#' : '-', out);
                if (j != i && !conflict(i, j)) ++free_count;
            }
            std::fputc('\n', out);
            d = std::max(d, free_count + 1);
        }
        std::fprintf(out, "maxevent=%u\n", R);

        struct Block {
            bool empty = true;
            std::uint32_t level = 0;
            std::vector<std::uint32_t> config;
            std::deque<std::uint32_t> free, prev;
        };
        auto print_block = [&](const char* tag, const Block& b) {
            std::fputs(tag, out);
            std::fputs("CONFIGBLOCK: ", out);
            if (b.empty) {
                std::fputs("[is empty]\n", out);
                return;
            }
            auto list = [&](auto begin, auto end) {
                if (begin == end) {
                    std::fputs("<empty>", out);
                    return;
                }
                for (auto it = begin; it != end; ++it) std::fprintf(out, it == begin ? "%d" : ",%d", static_cast<int>(*it));
            };
            std::fprintf(out, "(lev=%u) ", b.level);
            std::fputs("config=", out);
            list(b.config.begin(), b.config.end());
            std::fputs("; free=", out);
            list(b.free.begin(), b.free.end());
            std::fputs("; prev=", out);
            list(b.prev.begin(), b.prev.end());
            std::fputc('\n', out);
        };
        auto emit = [&](Block& b) {
            if (b.prev.empty()) output(b.config);
            b = Block();
        };
        for (std::uint32_t i = 1; i <= R; ++i) {
            std::vector<Block> stack_blocks(1);  // the lowest block stays empty
            Block b;
            b.empty = false;
            b.config = {i};
            b.level = level[i];
            for (std::uint32_t j = i + 1; j <= n; ++j)
                if (!conflict(i, j)) b.free.push_back(j);
            for (std::uint32_t k = i - 1; k >= 1; --k)
                if (!conflict(i, k)) b.prev.push_back(k);
            std::fputs("----------------------------\n", out);
            print_block("1 BUILD      : ", b);
            if (b.free.empty()) {
                print_block("1 OUTPUT     : ", b);
                emit(b);
                continue;
            }
            bool shift = true;
            for (;;) {
                if (shift) {
                    const std::uint32_t y = b.free.front();
                    b.free.pop_front();
                    b.config.push_back(y);
                    b.level = level[y];
                    print_block("1 SHIFT      : ", b);
                }
                // Entry.
                if (b.empty) {
                    if (stack_blocks.size() == 1) break;
                    b = std::move(stack_blocks.back());
                    stack_blocks.pop_back();
                }
                print_block("1 WHILE_ENTRY: ", b);
                // Every later free event is an alternative to the last one
                // chosen (which the copy excludes): events of another level
                // too, or configurations that leave out an event of the
                // last one's level for a later conflict would be lost.
                if (!b.free.empty()) {
                    std::fputs("1 USEFUL\n", out);
                    stack_blocks.push_back(b);
                    Block& copy = stack_blocks.back();
                    print_block("2 COPY       : ", copy);
                    const std::uint32_t z = copy.free.front();
                    copy.free.pop_front();
                    const std::uint32_t replaced = copy.config.back();
                    copy.config.back() = z;
                    copy.prev.push_front(replaced);
                    print_block("2 STEP & PUSH: ", copy);
                } else {
                    std::fputs("1 NOT USEFUL\n", out);
                }
                // Calculate.
                const std::uint32_t x = b.config.back();
                auto drop = [&](std::deque<std::uint32_t>& q) {
                    q.erase(std::remove_if(q.begin(), q.end(), [&](std::uint32_t y) { return conflict(x, y) != 0; }), q.end());
                };
                drop(b.free);
                drop(b.prev);
                print_block("1 CALCULATE  : ", b);
                if (!b.free.empty()) {
                    shift = true;
                    continue;
                }
                print_block("1 OUTPUT     : ", b);
                emit(b);
                shift = false;
            }
        }
    }

    std::fputs("Events which are contained in each configuration : ", out);
    print_list(out, r.common);
    for (std::uint32_t i = 1; i <= n; ++i) {
        std::fprintf(out, "E%uneu: ", i);
        print_list(out, r.events[order[i - 1] - 1].numbers);
    }
    std::fprintf(out, "There %s %u maximal configuration%s.\n", count == 1 ? "is" : "are", count, count == 1 ? "" : "s");
    if (file) {
        bool bad = std::ferror(file) != 0;
        bad |= std::fclose(file) != 0;
        file = nullptr;
        if (bad) {
            std::fflush(out);
            std::fprintf(stderr, "error: cannot write file '%s'.\n", config_file.c_str());
            throw ExitRequest{5};
        }
    }
    res.configurations = count;
    res.events = n;
    for (const KCond& k : r.conds) res.conditions += k.alive;

    Prefix& q = res.reduced;
    std::vector<std::uint32_t> cnum(r.conds.size() + 1, 0);
    for (std::uint32_t c = 1; c <= r.conds.size(); ++c) {
        const KCond& k = r.conds[c - 1];
        if (!k.alive) continue;
        cnum[c] = q.conditions() + 1;
        q.cond_place.push_back(pf.cond_place[c - 1]);
        q.cond_pre.push_back(k.pre ? number[k.pre] : 0);
        q.cond_kind.push_back(pf.cond_kind[c - 1]);
        q.cond_has_row.push_back(0);
        q.initial_conditions += c <= pf.initial_conditions;
    }
    q.cond_first_arc.assign(q.conditions(), 0);
    q.cond_last_arc.assign(q.conditions(), 0);
    q.ev_pre_begin.push_back(0);
    for (std::uint32_t i = 1; i <= n; ++i) {
        const KEvent& ev = r.events[order[i - 1] - 1];
        q.ev_trans.push_back(pf.ev_trans[ev.numbers.front() - 1]);
        for (std::uint32_t c : ev.inputs) q.ev_pre_conds.push_back(cnum[c]);
        q.ev_pre_begin.push_back(static_cast<std::uint32_t>(q.ev_pre_conds.size()));
        q.ev_post_first.push_back(0);
        q.ev_post_count.push_back(0);
        q.ev_depth.push_back(level[i]);
        q.ev_size.push_back(0);
        q.is_cutoff.push_back(0);
    }
    // Consumers in ascending (new) event number.
    for (std::uint32_t i = 1; i <= n; ++i)
        for (std::uint32_t k = q.ev_pre_begin[i - 1]; k < q.ev_pre_begin[i]; ++k) {
            const std::uint32_t c = q.ev_pre_conds[k];
            q.arc_event.push_back(i);
            q.arc_next.push_back(0);
            const std::uint32_t a = static_cast<std::uint32_t>(q.arc_event.size());
            if (q.cond_last_arc[c - 1] == 0) q.cond_first_arc[c - 1] = a;
            else q.arc_next[q.cond_last_arc[c - 1] - 1] = a;
            q.cond_last_arc[c - 1] = a;
        }
    q.cutoffs = pf.cutoffs;
    q.trans_used = pf.trans_used;
    q.buckets = pf.buckets;
    q.cuts = pf.cuts;
    q.cut_cells = pf.cut_cells;
    return res;
}

}  // namespace trelmik
