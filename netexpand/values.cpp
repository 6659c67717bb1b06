#include "values.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "failure.h"

namespace flatnet {

void append_value_name(std::string& out, Value v) {
    switch (v) {
    case ff: out += "ff"; break;
    case tt: out += "tt"; break;
    case dot: out += "dot"; break;
    default: out += std::to_string(v);
    }
}

std::string value_name(Value v) {
    std::string s;
    append_value_name(s, v);
    return s;
}

std::int64_t position_in(const ValueSet& set, Value v) {
    auto it = std::lower_bound(set.begin(), set.end(), v);
    return it != set.end() && *it == v ? it - set.begin() : -1;
}

ValueSet intersect(const ValueSet& a, const ValueSet& b) {
    ValueSet out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::uint64_t PlaceType::size(std::uint32_t place_number) const {
    std::uint64_t n = 1;
    for (const ValueSet& s : components) {
        if (s.empty()) return 0;
        if (n > std::numeric_limits<std::uint64_t>::max() / s.size())
            fatal(format("type of place %u has more than 2^64 values", place_number));
        n *= s.size();
    }
    return n;
}

namespace {

bool word_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '@' || c == '\'' || c == '_'; }
bool word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '\'' || c == '!' || c == '?';
}

// A cursor over a text form; blanks between tokens are skipped.
class Cursor {
public:
    explicit Cursor(const std::string& text) : t_(text) {}

    char peek() {
        while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
        return i_ < t_.size() ? t_[i_] : '\0';
    }
    bool at_end() { return peek() == '\0'; }
    bool eat(char c) {
        if (peek() != c) return false;
        ++i_;
        return true;
    }
    bool eat(const char* s) {
        peek();
        std::size_t n = std::char_traits<char>::length(s);
        if (t_.compare(i_, n, s) != 0) return false;
        i_ += n;
        return true;
    }
    void expect(char c) {
        if (!eat(c)) throw TextError(format("'%c' expected", c));
    }

    // A decimal number with an optional '-'; 64-bit, saturating far beyond
    // every range the callers accept.
    std::int64_t integer() {
        bool neg = eat('-');
        if (!std::isdigit(static_cast<unsigned char>(peek()))) {
            if (neg) throw TextError("number expected after '-'");
            throw TextError("unknown number");
        }
        std::int64_t v = 0;
        while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) {
            if (v < (std::int64_t{1} << 40)) v = v * 10 + (t_[i_] - '0');
            ++i_;
        }
        return neg ? -v : v;
    }

    std::string word() {
        peek();
        std::string w;
        while (i_ < t_.size() && word_char(t_[i_])) w += t_[i_++];
        return w;
    }

    // A value: a number, "tt", "ff" or "dot".
    Value value() {
        char c = peek();
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return number_value(integer());
        if (std::isalpha(static_cast<unsigned char>(c))) {
            std::size_t start = i_;
            std::string w = word();
            if (w == "tt") return tt;
            if (w == "ff") return ff;
            if (w == "dot") return dot;
            i_ = start;
        }
        throw TextError("unknown number");
    }

    static Value number_value(std::int64_t n) {
        if (n < MIN_NUMBER || n > MAX_NUMBER) throw TextError("number out of range");
        return static_cast<Value>(n);
    }

private:
    const std::string& t_;
    std::size_t i_ = 0;
};

// "{a,b..c,...}": a sorted set without duplicates.
ValueSet parse_set(Cursor& c) {
    c.expect('{');
    ValueSet set;
    if (!c.eat('}')) {
        do {
            Value a = c.value();
            if (c.eat("..")) {
                Value b = c.value();
                if (b < a) throw TextError("first number in range should be smaller than the second");
                for (int v = a; v <= b; ++v) set.push_back(static_cast<Value>(v));
            } else {
                set.push_back(a);
            }
        } while (c.eat(','));
        c.expect('}');
    }
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    return set;
}

// "(v1,v2,...)" or a single value.
Tuple parse_tuple(Cursor& c) {
    Tuple t;
    if (c.eat('(')) {
        do t.push_back(c.value());
        while (c.eat(','));
        if (!c.eat(')')) throw TextError("')' expected");
    } else {
        t.push_back(c.value());
    }
    return t;
}

std::uint32_t count_value(std::int64_t n) {
    if (n < 0) throw TextError("negative count");
    if (n > std::numeric_limits<std::uint32_t>::max()) throw TextError("count out of range");
    return static_cast<std::uint32_t>(n);
}

bool element_start(char c) { return c == '(' || c == '-' || std::isdigit(static_cast<unsigned char>(c)) || word_start(c); }

}  // namespace

PlaceType parse_place_type(const std::string& text) {
    Cursor c(text);
    PlaceType type;
    type.untyped = false;
    type.components.clear();
    do type.components.push_back(parse_set(c));
    while (c.eat('X'));
    if (!c.at_end()) throw TextError("'X' expected");
    return type;
}

Marking parse_marking(const std::string& text) {
    Cursor c(text);
    Marking m;
    c.expect('{');
    if (!c.eat('}')) {
        do {
            MarkingEntry e;
            char first = c.peek();
            if (first == '-' || std::isdigit(static_cast<unsigned char>(first))) {
                std::int64_t n = c.integer();
                if (c.eat('*') || element_start(c.peek())) {
                    e.count = count_value(n);
                    e.tuple = parse_tuple(c);
                } else {
                    e.count = 1;
                    e.tuple.push_back(Cursor::number_value(n));
                }
            } else {
                e.count = 1;
                e.tuple = parse_tuple(c);
            }
            m.push_back(std::move(e));
        } while (c.eat(','));
        c.expect('}');
    }
    if (!c.at_end()) throw TextError("garbage after marking");
    std::stable_sort(m.begin(), m.end(), [](const MarkingEntry& a, const MarkingEntry& b) { return a.tuple < b.tuple; });
    Marking merged;
    for (MarkingEntry& e : m) {
        if (!merged.empty() && merged.back().tuple == e.tuple) {
            std::uint64_t sum = std::uint64_t{merged.back().count} + e.count;
            merged.back().count = count_value(static_cast<std::int64_t>(sum));
        } else {
            merged.push_back(std::move(e));
        }
    }
    return merged;
}

std::vector<std::int64_t> parse_number_list(const std::string& text) {
    Cursor c(text);
    std::vector<std::int64_t> out;
    c.expect('(');
    if (!c.eat(')')) {
        do {
            std::int64_t n = c.integer();
            if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::uint32_t>::max())
                throw TextError("number out of range");
            out.push_back(n);
        } while (c.eat(','));
        if (!c.eat(')')) throw TextError("')' expected");
    }
    if (!c.at_end()) throw TextError("garbage after list");
    return out;
}

namespace {
InscriptionTerm parse_term(Cursor& c, NameTable& names) {
    InscriptionTerm term;
    char ch = c.peek();
    if (ch == '-' || std::isdigit(static_cast<unsigned char>(ch))) {
        term.value = Cursor::number_value(c.integer());
        return term;
    }
    if (!word_start(ch)) throw TextError("identifier or constant expected");
    std::string w = c.word();
    if (w == "tt") term.value = tt;
    else if (w == "ff") term.value = ff;
    else if (w == "dot") term.value = dot;
    else {
        term.variable = true;
        term.code = names.name_to_code(w);
    }
    return term;
}
}  // namespace

Inscription parse_arc_inscription(const std::string& text, std::size_t dimension, NameTable& names) {
    Cursor c(text);
    if (c.at_end()) throw TextError("annotation string is missing");
    bool braces = c.eat('{');
    Inscription ins;
    do {
        InscriptionElement e;
        char first = c.peek();
        if (first == '-' || std::isdigit(static_cast<unsigned char>(first))) {
            std::int64_t n = c.integer();
            if (c.eat('*') || element_start(c.peek())) {
                e.count = count_value(n);
            } else {
                e.terms.push_back(InscriptionTerm{false, 0, Cursor::number_value(n)});
            }
        }
        if (e.terms.empty()) {
            if (c.eat('(')) {
                e.tuple = true;
                do e.terms.push_back(parse_term(c, names));
                while (c.eat(','));
                if (!c.eat(')')) throw TextError("')' expected");
            } else {
                e.terms.push_back(parse_term(c, names));
            }
        }
        std::size_t dim = e.terms.size() == 1 && e.terms[0].variable && !e.tuple ? dimension : e.terms.size();
        if (dim != dimension) throw TextError("inscription doesn't have the required dimension");
        ins.push_back(std::move(e));
    } while (c.eat(','));
    if ((braces && !c.eat('}')) || !c.at_end()) throw TextError("malformed inscription");
    return ins;
}

}  // namespace flatnet
