#include "names.h"

namespace netlib {

NameTable::NameTable(std::initializer_list<std::string_view> names) {
    for (std::string_view n : names) push_back(n);
}

NameTable::NameTable(const std::vector<std::string>& names) {
    std::size_t chars = 0;
    for (const std::string& n : names) chars += n.size() + 1;
    reserve(names.size(), chars);
    for (const std::string& n : names) push_back(n);
}

void NameTable::reserve(std::size_t names, std::size_t chars) {
    ends_.reserve(names);
    chars_.reserve(chars);
}

void NameTable::release() {
    std::vector<char>().swap(chars_);
    std::vector<std::uint64_t>().swap(ends_);
}

NameTable NameTable::permuted(const std::vector<std::size_t>& order) const {
    NameTable out;
    out.reserve(order.size(), chars_.size());
    for (std::size_t k : order) out.push_back((*this)[k]);
    return out;
}

std::vector<std::string> NameTable::strings() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (Name n : *this) out.push_back(n.str());
    return out;
}

std::ostream& operator<<(std::ostream& out, const NameTable& names) {
    out << '{';
    for (std::size_t i = 0; i < names.size(); ++i) out << (i ? ", \"" : "\"") << names[i] << '"';
    return out << '}';
}

}  // namespace netlib
