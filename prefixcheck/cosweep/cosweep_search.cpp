#include "cosweep_search.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "cosweep_error.h"
#include "prefixfile.h"

namespace cosweep {

CoSearch::CoSearch(const Prefix& prefix) : prefix_(prefix) {
    const std::uint32_t places = prefix_.places.count();
    for (std::uint32_t p = 1; p <= places; ++p) longest_place_ = std::max(longest_place_, prefix_.places[p].size());
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
    const int fd = ::open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        throw CosweepError("ERROR: " + path + " kann nicht geoeffnet werden!\n");
    }
    // A short matrix would make concurrent conditions look dependent and
    // answer "NO!" for reachable markings.
    const std::string too_short = "ERROR: " + path + " ist zu kurz fuer das Praefix!\n";
    // A regular file is mapped: the search reads a few rows of a matrix that
    // grows with the square of the prefix, so only those pages are loaded.
    if (S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) < size) {
            ::close(fd);
            throw CosweepError(too_short);
        }
        if (size > 0) {
            void* p = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                ::close(fd);
                mapping_ = {p, static_cast<std::size_t>(size)};
                matrix_ = static_cast<const std::uint8_t*>(p);
                return;
            }
        }
    }
    // Otherwise the rows are read, all into one array.
    copy_.reset(new std::uint8_t[static_cast<std::size_t>(size)]);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t k = ::read(fd, copy_.get() + got, static_cast<std::size_t>(size) - got);
        if (k <= 0) break;
        got += static_cast<std::size_t>(k);
    }
    ::close(fd);
    if (got < size) throw CosweepError(too_short);
    matrix_ = copy_.get();
}

CoSearch::~CoSearch() {
    if (mapping_.first) ::munmap(mapping_.first, mapping_.second);
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
        if (!prefix_.places.find(n))
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
    for (std::size_t i = 0; i < m; ++i)
        for (std::uint32_t c : place_conditions_[prefix_.places.find(names_[i])]) lists_[i].append(c);
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
