// A list of node names kept end to end in one block of characters.
//
// Large nets have millions of short names.  As separate strings each costs a
// string object (and a copy whenever the list regrows); here each costs its
// characters, a closing NUL and one offset, and the list grows without
// touching the names already in it twice.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace netlib {

// One name of a NameTable: a view of its characters, which a NUL follows, so
// that c_str() serves where a C string is wanted.  Valid until the list
// changes.
class Name : public std::string_view {
public:
    Name(const char* data, std::size_t size) : std::string_view(data, size) {}
    const char* c_str() const { return data(); }
    std::string str() const { return std::string(data(), size()); }
};

class NameTable {
public:
    NameTable() = default;
    NameTable(std::initializer_list<std::string_view> names);
    explicit NameTable(const std::vector<std::string>& names);

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    Name operator[](std::size_t i) const {
        const std::uint64_t begin = i == 0 ? 0 : ends_[i - 1];
        return Name(chars_.data() + begin, static_cast<std::size_t>(ends_[i] - begin - 1));
    }

    void push_back(std::string_view name) {
        chars_.insert(chars_.end(), name.begin(), name.end());
        chars_.push_back('\0');
        ends_.push_back(chars_.size());
    }
    // Room for `names` names of `chars` characters in all.
    void reserve(std::size_t names, std::size_t chars);
    // Empties the list and gives its memory back.
    void release();
    // The list with names[order[0]], names[order[1]], ...
    NameTable permuted(const std::vector<std::size_t>& order) const;
    std::vector<std::string> strings() const;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Name;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Name;
        const_iterator(const NameTable* list, std::size_t i) : list_(list), i_(i) {}
        Name operator*() const { return (*list_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++i_;
            return old;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const NameTable* list_;
        std::size_t i_;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

    // All names end to end, each followed by its NUL.
    std::string_view bytes() const { return std::string_view(chars_.data(), chars_.size()); }

    bool operator==(const NameTable& o) const { return ends_ == o.ends_ && chars_ == o.chars_; }
    bool operator!=(const NameTable& o) const { return !(*this == o); }

private:
    std::vector<char> chars_;            // each name followed by a NUL
    std::vector<std::uint64_t> ends_;    // where each name's NUL ends
};

std::ostream& operator<<(std::ostream& out, const NameTable& names);

}  // namespace netlib
