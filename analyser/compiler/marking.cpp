#include "marking.h"

#include <algorithm>
#include <limits>

namespace tulc {

namespace {

constexpr std::uint64_t kMaxCount = std::numeric_limits<std::uint32_t>::max();

bool TupleLess(const Multup& a, const Multup& b) { return CompareTuples(a.tuple, b.tuple) < 0; }

}  // namespace

int CompareTuples(const Tuple& a, const Tuple& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

std::string TupleText(const Tuple& t, unsigned indent) {
    std::string s(indent, '.');
    s += "TUPLE <.";
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i) s += ", ";
        s += std::to_string(t[i]);
    }
    s += ".>\n";
    return s;
}

Marking Marking::Single(Tuple t, std::uint32_t count) {
    Marking m;
    if (count) m.entries_.push_back({count, std::move(t)});
    return m;
}

const std::vector<Multup>& Marking::Entries() const {
    Normalize();
    return entries_;
}

bool Marking::Normalize() const {
    if (sorted_) return true;
    sorted_ = true;
    std::stable_sort(entries_.begin(), entries_.end(), TupleLess);
    bool ok = true;
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (out > 0 && CompareTuples(entries_[out - 1].tuple, entries_[i].tuple) == 0) {
            std::uint64_t sum = std::uint64_t(entries_[out - 1].count) + entries_[i].count;
            if (sum > kMaxCount) {
                ok = false;
                sum = kMaxCount;
            }
            entries_[out - 1].count = static_cast<std::uint32_t>(sum);
        } else {
            if (out != i) entries_[out] = std::move(entries_[i]);
            ++out;
        }
    }
    entries_.resize(out);
    return ok;
}

void Marking::AppendOrdered(Tuple t, std::uint32_t count) {
    if (count) entries_.push_back({count, std::move(t)});
}

bool Marking::Add(Marking&& other) {
    if (other.entries_.empty()) return true;
    if (entries_.empty()) {
        entries_ = std::move(other.entries_);
        sorted_ = other.sorted_;
        return true;
    }
    // Appending keeps a long chain of sums linear; the merge is done once,
    // when the marking is next read.  An ordered append stays sorted.
    bool stays_sorted = sorted_ && other.sorted_ &&
                        CompareTuples(entries_.back().tuple, other.entries_.front().tuple) < 0;
    for (auto& e : other.entries_) entries_.push_back(std::move(e));
    sorted_ = stays_sorted;
    return true;
}

bool Marking::Subtract(const Marking& other) {
    bool ok = Normalize() & other.Normalize();
    std::vector<Multup> out;
    std::size_t j = 0;
    const auto& b = other.entries_;
    for (auto& e : entries_) {
        while (j < b.size() && CompareTuples(b[j].tuple, e.tuple) < 0) ++j;
        if (j < b.size() && CompareTuples(b[j].tuple, e.tuple) == 0) {
            if (e.count > b[j].count) out.push_back({e.count - b[j].count, std::move(e.tuple)});
        } else {
            out.push_back(std::move(e));
        }
    }
    entries_ = std::move(out);
    return ok;
}

bool Marking::Intersect(const Marking& other) {
    bool ok = Normalize() & other.Normalize();
    std::vector<Multup> out;
    std::size_t j = 0;
    const auto& b = other.entries_;
    for (auto& e : entries_) {
        while (j < b.size() && CompareTuples(b[j].tuple, e.tuple) < 0) ++j;
        if (j < b.size() && CompareTuples(b[j].tuple, e.tuple) == 0)
            out.push_back({std::min(e.count, b[j].count), std::move(e.tuple)});
    }
    entries_ = std::move(out);
    return ok;
}

bool Marking::Scale(std::uint32_t factor) {
    bool ok = Normalize();
    if (factor == 0) {
        entries_.clear();
        return ok;
    }
    for (auto& e : entries_) {
        std::uint64_t c = std::uint64_t(e.count) * factor;
        if (c > kMaxCount) {
            ok = false;
            c = kMaxCount;
        }
        e.count = static_cast<std::uint32_t>(c);
    }
    return ok;
}

bool Marking::Cartes(const Marking& a, const Marking& b, Marking& out) {
    bool ok = a.Normalize() & b.Normalize();
    out = Marking();
    bool product_ok = true;
    for (const auto& x : a.entries_) {
        for (const auto& y : b.entries_) {
            Tuple t;
            t.reserve(x.tuple.size() + y.tuple.size());
            t.insert(t.end(), x.tuple.begin(), x.tuple.end());
            t.insert(t.end(), y.tuple.begin(), y.tuple.end());
            std::uint64_t c = std::uint64_t(x.count) * y.count;
            if (c > kMaxCount) {
                product_ok = false;
                c = kMaxCount;
            }
            out.entries_.push_back({static_cast<std::uint32_t>(c), std::move(t)});
        }
    }
    out.sorted_ = false;
    return ok & product_ok & out.Normalize();
}

std::uint32_t Marking::Card() const {
    std::uint32_t sum = 0;
    for (const auto& e : entries_) sum += e.count;
    return sum;
}

void Marking::KeepMask(const std::vector<char>& keep) {
    Normalize();
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i < keep.size() && keep[i]) {
            if (out != i) entries_[out] = std::move(entries_[i]);
            ++out;
        }
    }
    entries_.resize(out);
}

bool Marking::Lequal(const Marking& a, const Marking& b) {
    a.Normalize();
    b.Normalize();
    std::size_t j = 0;
    for (const auto& x : a.entries_) {
        while (j < b.entries_.size() && CompareTuples(b.entries_[j].tuple, x.tuple) < 0) ++j;
        if (j == b.entries_.size() || CompareTuples(b.entries_[j].tuple, x.tuple) != 0) return false;
        if (x.count > b.entries_[j].count) return false;
        ++j;
    }
    return true;
}

bool Marking::Less(const Marking& a, const Marking& b) { return Lequal(a, b) && !Equal(a, b); }

bool Marking::Equal(const Marking& a, const Marking& b) { return Compare(a, b) == 0; }

int Marking::Compare(const Marking& a, const Marking& b) {
    a.Normalize();
    b.Normalize();
    const auto& x = a.entries_;
    const auto& y = b.entries_;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (int c = CompareTuples(x[i].tuple, y[i].tuple)) return c;
        if (x[i].count != y[i].count) return x[i].count < y[i].count ? -1 : 1;
    }
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return 0;
}

}  // namespace tulc
