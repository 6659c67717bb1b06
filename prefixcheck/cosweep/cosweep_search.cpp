#include "cosweep_search.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "cosweep_error.h"

namespace cosweep {

namespace {
constexpr std::size_t kMaxName = 100;   // characters kept of a place name in a line
}

void CoSearch::resize_matrix() {
    const std::uint32_t n = prefix_.conditions;
    rows_.clear();
    rows_.resize(n > 1 ? n - 1 : 0);
    for (std::uint32_t k = 2; k <= n; ++k) rows_[k - 2].resize(static_cast<int>(k - 1));
}

void CoSearch::set_co(std::uint32_t a, std::uint32_t b) {
    if (a == b) return;
    std::uint32_t h = std::max(a, b), l = std::min(a, b);
    rows_[h - 2].bit_setzen(static_cast<int>(l - 1));
}

void CoSearch::read_co_relation(const std::string& path) {
    resize_matrix();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw CosweepError("ERROR: " + path + " kann nicht geoeffnet werden!\n");
    bool short_file = false;
    for (BitVektor& row : rows_) {
        auto want = static_cast<std::size_t>(row.anzahl_woerter());
        if (std::fread(row.bytes(), 1, want, f) != want) {
            short_file = true;
            break;
        }
    }
    std::fclose(f);
    // A short matrix would make concurrent conditions look dependent and
    // answer "NO!" for reachable markings.
    if (short_file) throw CosweepError("ERROR: " + path + " ist zu kurz fuer das Praefix!\n");
}

bool CoSearch::IsCo(std::uint32_t a, std::uint32_t b) const {
    if (a == b) return true;
    std::uint32_t h = std::max(a, b), l = std::min(a, b);
    return rows_[h - 2].bit_ON(static_cast<int>(l - 1));
}

bool CoSearch::ReadMarkingLine(std::FILE* f) {
    names_.clear();
    int c = std::getc(f);
    if (c == EOF) return true;
    std::vector<std::string> raw;
    std::string name;
    for (; c != '\n' && c != EOF; c = std::getc(f)) {
        if (c == ' ') {
            raw.push_back(std::move(name));
            name.clear();
        } else if (name.size() < kMaxName) {
            name += static_cast<char>(c);
        }
    }
    raw.push_back(std::move(name));
    // A repeated name denotes the same place: the line is the set of its places.
    std::unordered_set<std::string> seen;
    for (std::string& n : raw) {
        if (!seen.insert(n).second) continue;
        if (net_->places == 0 || !netlib::find_P(net_, n))
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
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < m; ++i) index.emplace(names_[i], i);
    for (std::uint32_t c = 1; c <= prefix_.conditions; ++c) {
        auto it = index.find(prefix_.condition_label(c));
        if (it != index.end()) lists_[it->second].append(c);
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
        std::uint32_t e = prefix_.pre_event[c];
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
        if (marked_[e]) seq.push_back(prefix_.event_label(e));
    return seq;
}

void CoSearch::PrintFiringSequence(std::FILE* out) const {
    std::fputs("#", out);
    for (const std::string& t : firing_sequence()) std::fprintf(out, " %s", t.c_str());
    std::fputs("\n", out);
}

}  // namespace cosweep
