// Readers of vorga's data files: the terminal places of a net from its
// ".ll_net" file, lists of places with or without coefficients, and systems of
// linear constraints over places.  Place names are looked up in the unfolding;
// an unknown name is a syntax error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "constraints.h"
#include "unfolding.h"

namespace vorga {

// (place number, coefficient) pairs sorted by place, merged, no zero coefficients.
using PlaceList = std::vector<Term>;
// (place number, kind): kind -1 entry place, +1 exit place.
using TerminalList = std::vector<std::pair<std::uint32_t, int>>;

class parser {
public:
    explicit parser(std::FILE* in) : in_(in) { cur_ = std::getc(in_); }
    virtual ~parser() = default;

protected:
    std::FILE* in_;  // borrowed
    int cur_;        // one-character look-ahead; EOF at the end

    void next() { cur_ = std::getc(in_); }
    void skip_ws();
    // A quoted name or an identifier; white space after it is skipped.
    bool read_name(std::string& name);
    // A decimal literal that fits a 32-bit signed integer.
    bool read_uint(std::int64_t& v);
};

class unf_parser : public parser {
public:
    unf_parser(std::FILE* in, const unfolding& u) : parser(in), unf_(u) {}

protected:
    const unfolding& unf_;
};

class terminal_places_parser : public unf_parser {
public:
    using unf_parser::unf_parser;
    std::optional<TerminalList> parse();
    std::uint32_t code = 0;  // worst code recorded while parsing
};

class coef_list_unf_parser : public unf_parser {
public:
    using unf_parser::unf_parser;
    std::optional<PlaceList> parse();
};

class list_unf_parser : public unf_parser {
public:
    using unf_parser::unf_parser;
    std::optional<PlaceList> parse();
};

// Linear functions over places: the indices of the result are place numbers.
class lin_func_unf_parser : public unf_parser {
public:
    using unf_parser::unf_parser;
    std::unique_ptr<lin_func> parse();

protected:
    bool read_term(std::uint32_t& place, std::int64_t& coef);
};

class lin_constr_unf_parser : public lin_func_unf_parser {
public:
    using lin_func_unf_parser::lin_func_unf_parser;
    std::shared_ptr<lin_constr> parse();
};

class lin_constr_system_unf_parser : public lin_constr_unf_parser {
public:
    using lin_constr_unf_parser::lin_constr_unf_parser;
    std::unique_ptr<lin_constr_system> parse();
};

// Sorts a place list by place, sums equal places and drops zero coefficients.
void finish_place_list(PlaceList& list);

}  // namespace vorga
