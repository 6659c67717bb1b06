#include "cosweep_search.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "cosweep_error.h"
#include "prefixfile.h"

namespace cosweep {

CoSearch::CoSearch(const Prefix& prefix, netlib::NET* net) : prefix_(prefix), net_(net) {
    for (const netlib::NET_NODE* p = net_->first_place; p; p = p->next)
        longest_place_ = std::max(longest_place_, p->name.size());
    const std::uint32_t places = prefix_.places.count();
    place_number_.reserve(places);
    for (std::uint32_t p = 1; p <= places; ++p) place_number_.emplace(prefix_.places[p], p);
    // Conditions by place: counted, then filled in ascending order.
    place_conditions_.offset.assign(std::size_t(places) + 2, 0);
    for (std::uint32_t c = 1; c <= prefix_.conditions; ++c) ++place_conditions_.offset[prefix_.condition_place[c] + 1];
    for (std::uint32_t p = 1; p <= places; ++p) place_conditions_.offset[p + 1] += place_conditions_.offset[p];
    place_conditions_.items.resize(prefix_.conditions);
    std::vector<std::uint32_t> fill(place_conditions_.offset.begin(), place_conditions_.offset.end() - 1);
    for (std::uint32_t c = 1; c <= prefix_.conditions; ++c)
        place_conditions_.items[fill[prefix_.condition_place[c]]++] = c;
}

std::uint64_t CoSearch::row_start(std::uint32_t k) {
    // Rows 2..k-1 take ceil(j/8) bytes for j = 1..k-2.
    const std::uint64_t m = k - 2, q = m / 8, r = m % 8;
    return 8 * (q * (q + 1) / 2) + r * (q + 1);
}

void CoSearch::read_co_relation(const std::string& path) {
    const std::uint32_t n = prefix_.conditions;
    const std::uint64_t size = n > 1 ? row_start(n + 1) : 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(prefixfile::open_for_reading(path), &std::fclose);
    if (!f) throw CosweepError("ERROR: " + path + " kann nicht geoeffnet werden!\n");
    matrix_.assign(static_cast<std::size_t>(size), 0);
    // A short matrix would make concurrent conditions look dependent and
    // answer "NO!" for reachable markings.
    if (std::fread(matrix_.data(), 1, matrix_.size(), f.get()) != matrix_.size())
        throw CosweepError("ERROR: " + path + " ist zu kurz fuer das Praefix!\n");
}

bool CoSearch::IsCo(std::uint32_t a, std::uint32_t b) const {
    if (a == b) return true;
    const std::uint32_t h = std::max(a, b), l = std::min(a, b) - 1;
    return (matrix_[row_start(h) + l / 8] & (0x80u >> (l % 8))) != 0;
}

bool CoSearch::ReadMarkingLine(std::FILE* f, const std::string& file) {
    const std::string unreadable = "ERROR: Datei " + file + " konnte nicht geoeffnet werden!\n";
    names_.clear();
    int c = std::getc(f);
    if (c == EOF) {
        if (std::ferror(f)) throw CosweepError(unreadable);
        return true;
    }
    std::vector<std::string> raw;
    std::string name;
    // A name longer than every place name is no place; it is not kept
    // beyond that, so that a line without end cannot grow without bound.
    const std::size_t keep = longest_place_ + 1;
    for (; c != '\n' && c != EOF; c = std::getc(f)) {
        if (c == '\r') {
            const int d = std::getc(f);
            if (d == '\n' || d == EOF) break;
            std::ungetc(d, f);
        }
        if (c == ' ') {
            raw.push_back(std::move(name));
            name.clear();
        } else if (name.size() < keep) {
            name += static_cast<char>(c);
        } else {
            break;
        }
    }
    if (std::ferror(f)) throw CosweepError(unreadable);
    if (raw.empty() && name.empty()) {
        // Empty lines at the end of the file end it.
        do c = std::getc(f); while (c == '\n' || c == '\r');
        if (c == EOF && !std::ferror(f)) return true;
        std::ungetc(c, f);
    }
    raw.push_back(std::move(name));
    // A repeated name denotes the same place: the line is the set of its places.
    std::unordered_set<std::string> seen;
    for (std::string& n : raw) {
        if (!seen.insert(n).second) continue;
        if (n.size() > longest_place_ || net_->places == 0 || !netlib::find_P(net_, n))
            throw CosweepError("\nERROR: " + n + " ist keine Stelle im Netz!\n", CosweepError::Stream::Out);
        names_.push_back(std::move(n));
    }
    return false;
}

void CoSearch::ConditionsOfPlaces() {
    const std::size_t m = names_.size();
    if (m > prefix_.conditions) throw CosweepError("ERROR: Netz hat zu wenig Stellen!\n");
    lists_.clear();
    lists_.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        auto it = place_number_.find(names_[i]);
        if (it == place_number_.end()) continue;
        for (std::uint32_t c : place_conditions_[it->second]) lists_[i].append(c);
    }
    no_condition_ = std::any_of(lists_.begin(), lists_.end(), [](const auto& l) { return l.is_empty(); });
}

void CoSearch::CoSetSearch() {
    using Cell = List<std::uint32_t>::Cell;
    const std::size_t m = lists_.size();
    chosen_.clear();
    if (m == 0) return;
    // Depth-first over the lists with an explicit stack of positions: at each
    // level the next condition that is co with every chosen one is taken.
    std::vector<const Cell*> pos(m, nullptr);
    pos[0] = lists_[0].first();
    std::size_t level = 0;
    for (;;) {
        const Cell* cell = pos[level];
        if (!cell) {
            // List exhausted: undo the choice of the level above.
            if (level == 0) return;
            --level;
            chosen_.pop_back();
            pos[level] = pos[level]->next.get();
            continue;
        }
        const std::uint32_t c = cell->value;
        bool acceptable = true;
        for (std::uint32_t x : chosen_)
            if (!IsCo(c, x)) {
                acceptable = false;
                break;
            }
        if (!acceptable) {
            pos[level] = cell->next.get();
            continue;
        }
        chosen_.push_back(c);
        if (chosen_.size() == m) {
            found_ = true;
            PrepareSequence();
            return;
        }
        ++level;
        pos[level] = lists_[level].first();
    }
}

bool CoSearch::decide_line() {
    ConditionsOfPlaces();
    if (!no_condition_) CoSetSearch();
    return found_;
}

void CoSearch::MarkPast(std::uint32_t condition) {
    std::vector<std::uint32_t> stack{condition};
    while (!stack.empty()) {
        std::uint32_t c = stack.back();
        stack.pop_back();
        std::uint32_t e = prefix_.condition_pre[c];
        if (e == 0 || marked_[e]) continue;
        marked_[e] = 1;
        for (std::uint32_t b : prefix_.preset[e]) stack.push_back(b);
    }
}

void CoSearch::PrepareSequence() {
    marked_.assign(prefix_.events + 1, 0);
    std::sort(chosen_.begin(), chosen_.end());
    for (std::uint32_t c : chosen_) MarkPast(c);
}

std::vector<std::string> CoSearch::firing_sequence() const {
    std::vector<std::string> seq;
    for (std::uint32_t e = 1; e < marked_.size(); ++e)
        if (marked_[e]) seq.emplace_back(prefix_.label(e));
    return seq;
}

void CoSearch::PrintFiringSequence(std::FILE* out) const {
    std::fputs("#", out);
    for (const std::string& t : firing_sequence()) std::fprintf(out, " %s", t.c_str());
    std::fputs("\n", out);
}

}  // namespace cosweep
