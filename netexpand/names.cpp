#include "names.h"

#include <algorithm>

#include "failure.h"

namespace flatnet {

std::uint32_t NameTable::name_to_code(const std::string& name) {
    auto [it, fresh] = codes_.emplace(name, static_cast<std::uint32_t>(names_.size() + 1));
    if (fresh) names_.push_back(name);
    return it->second;
}

void NameTable::reset() {
    names_.clear();
    codes_.clear();
}

namespace {
std::uint16_t counted_sum(std::uint32_t a, std::uint32_t b) {
    if (a + static_cast<std::uint64_t>(b) > 65535)
        throw Failure(EXIT_FATAL, "\nUeberlauf: Aktionsname zu haeufig; Abh.: 'Action'\nProgram aborted.\n");
    return static_cast<std::uint16_t>(a + b);
}

// Merges two sorted lists; `combine` gives the count of a code in both.
template <class Combine>
std::vector<CodeList::Entry> merge(const std::vector<CodeList::Entry>& a, const std::vector<CodeList::Entry>& b,
                                   Combine combine) {
    std::vector<CodeList::Entry> out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i].first < b[j].first)) out.push_back(a[i++]);
        else if (i == a.size() || b[j].first < a[i].first) out.push_back(b[j++]);
        else {
            out.emplace_back(a[i].first, combine(a[i].second, b[j].second));
            ++i;
            ++j;
        }
    }
    return out;
}
}  // namespace

void CodeList::add(std::uint32_t code, std::uint32_t count) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), Entry{code, 0},
                               [](const Entry& x, const Entry& y) { return x.first < y.first; });
    if (it != entries_.end() && it->first == code) it->second = counted_sum(it->second, count);
    else entries_.insert(it, Entry{code, counted_sum(0, count)});
}

CodeList& CodeList::unite(const CodeList& other) {
    entries_ = merge(entries_, other.entries_, [](std::uint16_t x, std::uint16_t y) { return std::max(x, y); });
    return *this;
}

CodeList& CodeList::sum(const CodeList& other) {
    entries_ = merge(entries_, other.entries_, [](std::uint16_t x, std::uint16_t y) { return counted_sum(x, y); });
    return *this;
}

CodeList CodeList::difference(const CodeList& other) const {
    CodeList out;
    for (const Entry& e : entries_)
        if (!other.contains(e.first)) out.entries_.push_back(e);
    return out;
}

bool CodeList::contains(std::uint32_t code) const {
    return std::binary_search(entries_.begin(), entries_.end(), Entry{code, 0},
                              [](const Entry& x, const Entry& y) { return x.first < y.first; });
}

}  // namespace flatnet
