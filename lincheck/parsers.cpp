#include "parsers.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace vorga {

namespace {

constexpr std::size_t kNameBuffer = 1000;

bool is_space(int c) { return c != EOF && std::isspace(static_cast<unsigned char>(c)); }
bool is_digit(int c) { return c != EOF && std::isdigit(static_cast<unsigned char>(c)); }
bool is_alpha(int c) { return c != EOF && std::isalpha(static_cast<unsigned char>(c)); }

}  // namespace

void finish_place_list(PlaceList& list) {
    std::stable_sort(list.begin(), list.end(), [](const Term& a, const Term& b) { return a.index < b.index; });
    std::size_t out = 0;
    for (std::size_t i = 0; i < list.size();) {
        Term t = list[i++];
        while (i < list.size() && list[i].index == t.index) t.coef += list[i++].coef;
        if (t.coef != 0) list[out++] = t;
    }
    list.resize(out);
}

void parser::skip_ws() {
    while (is_space(cur_)) next();
}

bool parser::read_name(std::string& name) {
    name.clear();
    if (cur_ == '"' || cur_ == '\'') {
        int quote = cur_;
        next();
        while (cur_ != quote) {
            if (cur_ == EOF || name.size() + 1 >= kNameBuffer) return false;
            name.push_back(static_cast<char>(cur_));
            next();
        }
        next();
    } else if (is_alpha(cur_) || cur_ == '_') {
        while (is_alpha(cur_) || is_digit(cur_) || cur_ == '_') {
            if (name.size() + 1 >= kNameBuffer) return false;
            name.push_back(static_cast<char>(cur_));
            next();
        }
    } else {
        return false;
    }
    skip_ws();
    return true;
}

bool parser::read_uint(std::int64_t& v) {
    if (!is_digit(cur_)) return false;
    v = 0;
    while (is_digit(cur_)) {
        v = v * 10 + (cur_ - '0');
        if (v > INT32_MAX) return false;
        next();
    }
    return true;
}

std::optional<PlaceList> coef_list_unf_parser::parse() {
    PlaceList list;
    skip_ws();
    if (cur_ == EOF) return list;
    for (;;) {
        std::int64_t coef = 1;
        if (is_digit(cur_)) {
            if (!read_uint(coef)) return std::nullopt;
            skip_ws();
        }
        std::string name;
        if (!read_name(name)) return std::nullopt;
        std::uint32_t p = unf_.lookup_place(name);
        if (p == 0) return std::nullopt;
        list.push_back({p, coef});
        if (cur_ == ',') {
            next();
            skip_ws();
            continue;
        }
        if (cur_ == EOF) break;
        return std::nullopt;
    }
    finish_place_list(list);
    return list;
}

std::optional<PlaceList> list_unf_parser::parse() {
    PlaceList list;
    skip_ws();
    if (cur_ == EOF) return list;
    for (;;) {
        std::string name;
        if (!read_name(name)) return std::nullopt;
        std::uint32_t p = unf_.lookup_place(name);
        if (p == 0) return std::nullopt;
        list.push_back({p, 1});
        if (cur_ == ',') {
            next();
            skip_ws();
            continue;
        }
        if (cur_ == EOF) break;
        return std::nullopt;
    }
    finish_place_list(list);
    return list;
}

bool lin_func_unf_parser::read_term(std::uint32_t& place, std::int64_t& coef) {
    coef = 1;
    if (is_digit(cur_)) {
        if (!read_uint(coef)) return false;
        skip_ws();
        if (cur_ != '*') return false;
        next();
        skip_ws();
    }
    std::string name;
    if (!read_name(name)) return false;
    place = unf_.lookup_place(name);
    return place != 0;
}

std::unique_ptr<lin_func> lin_func_unf_parser::parse() {
    std::map<std::uint32_t, std::int64_t> sums;  // place -> summed coefficient
    std::int64_t sign = 1;
    if (cur_ == '+' || cur_ == '-') {
        sign = cur_ == '-' ? -1 : 1;
        next();
        skip_ws();
    }
    for (;;) {
        std::uint32_t place;
        std::int64_t coef;
        if (!read_term(place, coef)) return nullptr;
        sums[place] += sign * coef;
        if (cur_ != '+' && cur_ != '-') break;
        sign = cur_ == '-' ? -1 : 1;
        next();
        skip_ws();
    }
    auto f = std::make_unique<lin_func>();
    for (const auto& [place, coef] : sums) f->add(place, coef);
    f->normalise();
    return f;
}

std::shared_ptr<lin_constr> lin_constr_unf_parser::parse() {
    std::unique_ptr<lin_func> f = lin_func_unf_parser::parse();
    if (!f) return nullptr;
    enum { LT, LE, EQ, GT, GE } rel;
    if (cur_ == '<') {
        next();
        rel = cur_ == '=' ? LE : LT;
        if (rel == LE) next();
    } else if (cur_ == '=') {
        next();
        rel = EQ;
    } else if (cur_ == '>') {
        next();
        rel = cur_ == '=' ? GE : GT;
        if (rel == GE) next();
    } else {
        return nullptr;
    }
    skip_ws();
    // The bound is a plain decimal number.
    std::int64_t n;
    if (!read_uint(n)) return nullptr;
    skip_ws();
    std::shared_ptr<lin_constr> c;
    if (rel == EQ)
        c = std::make_shared<equat>();
    else
        c = std::make_shared<inequat>();
    c->func = std::move(*f);
    switch (rel) {
        case LE: c->bound = n; break;
        case EQ: c->bound = n; break;
        case LT: c->bound = n - 1; break;
        case GE:
        case GT:
            // f >= n  is  -f <= -n
            for (Term& t : c->func.pos.items) t.coef = -t.coef;
            for (Term& t : c->func.neg.items) t.coef = -t.coef;
            std::swap(c->func.pos, c->func.neg);
            c->bound = rel == GE ? -n : -n - 1;
            break;
    }
    return c;
}

std::unique_ptr<lin_constr_system> lin_constr_system_unf_parser::parse() {
    auto sys = std::make_unique<lin_constr_system>();
    sys->members.reserve(100);
    skip_ws();
    while (cur_ != EOF) {
        std::shared_ptr<lin_constr> c = lin_constr_unf_parser::parse();
        if (!c) return nullptr;
        sys->add(std::move(c));
    }
    return sys;
}

namespace {

// Reads the stream into lines; '%' comments (outside quotes) are cut off, and
// a line that held only a comment is dropped so that it does not count as an
// entry.
std::vector<std::string> read_lines(std::FILE* in, int first) {
    std::vector<std::string> lines;
    std::string line;
    bool comment = false, quoted = false;
    int quote = 0;
    auto flush = [&]() {
        bool only_comment = comment && line.find_first_not_of(" \t\r\f\v") == std::string::npos;
        if (!only_comment) lines.push_back(line);
        line.clear();
        comment = quoted = false;
    };
    for (int c = first; c != EOF; c = std::getc(in)) {
        if (c == '\n') {
            flush();
            continue;
        }
        if (comment) continue;
        if (quoted) {
            if (c == quote) quoted = false;
        } else if (c == '"' || c == '\'') {
            quoted = true;
            quote = c;
        } else if (c == '%') {
            comment = true;
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() || comment) flush();
    return lines;
}

std::size_t skip_spaces(const std::string& s, std::size_t i) {
    while (i < s.size() && is_space(static_cast<unsigned char>(s[i]))) ++i;
    return i;
}

// Whether the line begins (after white space) with the keyword followed by
// white space or the end of the line.
bool starts_with_keyword(const std::string& line, const char* kw) {
    std::size_t i = skip_spaces(line, 0);
    std::string k(kw);
    if (line.compare(i, k.size(), k) != 0) return false;
    std::size_t j = i + k.size();
    return j == line.size() || is_space(static_cast<unsigned char>(line[j]));
}

}  // namespace

std::optional<TerminalList> terminal_places_parser::parse() {
    // A word longer than the keywords is neither; the rest of it is not
    // kept, so that input without white space cannot grow without bound.
    auto word = [&]() {
        std::string w;
        skip_ws();
        while (cur_ != EOF && !is_space(cur_) && w.size() <= 8) {
            w.push_back(static_cast<char>(cur_));
            next();
        }
        return w;
    };
    if (word() != "VOS") {
        std::fprintf(stderr, "\n Error: incorrect syntax: the keyword `VOS' is expected\n");
        code = std::max<std::uint32_t>(code, 1);
        return std::nullopt;
    }
    if (word() != "PetriBox") {
        std::fprintf(stderr, "\n Error: incorrect syntax: the keyword `PetriBox' is expected\n");
        code = std::max<std::uint32_t>(code, 1);
        return std::nullopt;
    }
    std::vector<std::string> lines = read_lines(in_, cur_);
    cur_ = EOF;
    std::size_t i = 0;
    // The rest of the identifier's line is not an entry.
    if (!lines.empty()) ++i;
    while (i < lines.size() && !starts_with_keyword(lines[i], "PL")) ++i;
    if (i == lines.size()) {
        std::fprintf(stderr, "\n Error: incorrect syntax\n");
        code = std::max<std::uint32_t>(code, 2);
        return std::nullopt;
    }
    ++i;
    TerminalList list;
    std::uint32_t count = 0;
    for (;; ++i) {
        if (i == lines.size()) {
            std::fprintf(stderr, "\n Error: incorrect syntax\n");
            code = std::max<std::uint32_t>(code, 2);
            return std::nullopt;
        }
        const std::string& line = lines[i];
        if (starts_with_keyword(line, "TR")) break;
        ++count;
        std::size_t k = skip_spaces(line, 0);
        std::int64_t ident = -1;
        auto read_number = [&](std::int64_t& v) {
            v = 0;
            while (k < line.size() && is_digit(static_cast<unsigned char>(line[k]))) {
                if (v < INT32_MAX) v = v * 10 + (line[k] - '0');
                ++k;
            }
        };
        if (k < line.size() && is_digit(static_cast<unsigned char>(line[k]))) {
            std::int64_t v;
            read_number(v);
            if (k < line.size() && line[k] == '@') {
                ++k;
                read_number(v);  // coordinates, not an identifier
            } else {
                ident = v;
            }
        }
        std::optional<std::string> name;
        int kind = 0;
        bool name_slot = true;  // the first free-standing quoted string is the name
        // Reads a quoted string at k; false when it does not end on this line.
        auto quoted = [&](std::string* out) {
            char q = line[k];
            std::size_t end = line.find(q, k + 1);
            if (end == std::string::npos) return false;
            if (out) *out = line.substr(k + 1, end - k - 1);
            k = end + 1;
            return true;
        };
        auto runaway = [&]() {
            std::fprintf(stderr, "\n Error: bad place name (run-away string): %s\n", line.substr(k).c_str());
            code = std::max<std::uint32_t>(code, 2);
        };
        while ((k = skip_spaces(line, k)) < line.size()) {
            char c = line[k];
            if (c == '"' || c == '\'') {
                if (name_slot) {
                    std::string n;
                    if (!quoted(&n)) return std::nullopt;
                    name = n;
                    name_slot = false;
                } else if (!quoted(nullptr)) {
                    runaway();
                    return std::nullopt;
                }
            } else if (is_digit(static_cast<unsigned char>(c)) || c == '-') {
                ++k;
                std::int64_t v;
                read_number(v);
                if (k < line.size() && line[k] == '@') {
                    ++k;
                    if (k < line.size() && line[k] == '-') ++k;
                    read_number(v);
                }
            } else if (is_alpha(static_cast<unsigned char>(c))) {
                ++k;
                if (c == 'e' || c == 'x') {
                    if (kind == 0) kind = c == 'e' ? -1 : 1;
                    continue;
                }
                // The letter's argument: a number, a pair or a quoted string.
                if (k < line.size() && (line[k] == '"' || line[k] == '\'')) {
                    if (!quoted(nullptr)) {
                        runaway();
                        return std::nullopt;
                    }
                }
            } else {
                ++k;
            }
        }
        if (kind == 0) continue;
        std::string pname = name ? *name : "PL" + std::to_string(ident >= 0 ? ident : count);
        std::uint32_t p = unf_.lookup_place(pname);
        if (p == 0) return std::nullopt;
        list.emplace_back(p, kind);
    }
    std::stable_sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

}  // namespace vorga
