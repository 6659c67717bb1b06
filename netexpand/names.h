// The name table of variables (guards and arc inscriptions share it) and
// the code lists built from it.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace flatnet {

// Names are mapped to the codes 1, 2, ... in order of first appearance; code
// 0 is never given out.
class NameTable {
public:
    std::uint32_t name_to_code(const std::string& name);
    const std::string& code_to_name(std::uint32_t code) const { return names_[code - 1]; }
    std::size_t size() const { return names_.size(); }
    void reset();

private:
    std::vector<std::string> names_;
    std::unordered_map<std::string, std::uint32_t> codes_;
};

// A sorted list of (code, count) pairs, each code once.
class CodeList {
public:
    using Entry = std::pair<std::uint32_t, std::uint16_t>;

    // Adds `count` to the code's count (the sum of lists).
    void add(std::uint32_t code, std::uint32_t count = 1);
    // Union: the larger count of equal codes.
    CodeList& unite(const CodeList& other);
    // Sum: counts of equal codes added.  A count past 65535 ends the run.
    CodeList& sum(const CodeList& other);
    // The codes of this list that are not in the other.
    CodeList difference(const CodeList& other) const;
    bool contains(std::uint32_t code) const;

    const std::vector<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

private:
    std::vector<Entry> entries_;
};

}  // namespace flatnet
