// Reader of the VOS low-level net text for the tests: a scanner over the
// whole text (quoted strings may span lines), sections recognised by a line
// that starts with two capital letters, and entries made of fields.
#include "petri_test.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <stdexcept>

namespace testsupport {

namespace {

struct ParseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One field of an entry: a letter (0 for a leading number or pair, '"'
// for a bare name) with a number, a pair or a text.
struct Field {
    char letter = 0;
    bool pair = false;
    bool has_number = false;
    long long a = 0, b = 0;
    char joint = 0;  // '@', '<' or '>' of a pair
    std::string text;
};

class Scanner {
public:
    explicit Scanner(const std::string& t) : t_(t) {}

    bool at_end() const { return i_ >= t_.size(); }
    int line() const { return line_; }

    [[noreturn]] void fail(const std::string& what) const {
        throw ParseError("line " + std::to_string(line_) + ": " + what);
    }

    // The word of a header line, with the rest of the line skipped.
    std::string header_word() {
        skip_blanks();
        std::string w;
        while (!at_end() && (std::isalnum(static_cast<unsigned char>(t_[i_])) || t_[i_] == '_')) w += t_[i_++];
        skip_line();
        return w;
    }

    void skip_line() {
        while (!at_end() && t_[i_] != '\n') ++i_;
        if (!at_end()) {
            ++i_;
            ++line_;
        }
    }

    // Skips empty and comment lines; true when the next line starts a
    // section (two capital letters).
    bool next_line_is_keyword() {
        for (;;) {
            skip_blanks();
            if (at_end()) return false;
            if (t_[i_] == '\n' || t_[i_] == '%') {
                skip_line();
                continue;
            }
            return upper(i_) && upper(i_ + 1);
        }
    }

    std::string keyword() {
        std::string w;
        while (!at_end() && upper(i_)) w += t_[i_++];
        return w;
    }

    // The fields up to the end of the current line.
    std::vector<Field> entry() {
        std::vector<Field> fields;
        for (;;) {
            skip_blanks();
            if (at_end()) break;
            char c = t_[i_];
            if (c == '\n') {
                ++i_;
                ++line_;
                break;
            }
            if (c == '%') {
                skip_line();
                break;
            }
            Field f;
            if (std::isdigit(static_cast<unsigned char>(c)) || c == '-') {
                read_number_or_pair(f);
            } else if (c == '"' || c == '\'') {
                f.letter = '"';
                f.text = quoted();
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == ',') {
                f.letter = c;
                ++i_;
                skip_blanks();
                if (!at_end() && (t_[i_] == '"' || t_[i_] == '\'')) f.text = quoted();
                else if (!at_end() && (std::isdigit(static_cast<unsigned char>(t_[i_])) || t_[i_] == '-'))
                    read_number_or_pair(f);
            } else {
                fail(std::string("unknown token '") + c + "'");
            }
            fields.push_back(std::move(f));
        }
        return fields;
    }

private:
    bool upper(std::size_t k) const { return k < t_.size() && t_[k] >= 'A' && t_[k] <= 'Z'; }

    void skip_blanks() {
        while (!at_end() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\r')) ++i_;
    }

    long long number() {
        skip_blanks();
        bool neg = false;
        if (!at_end() && t_[i_] == '-') {
            neg = true;
            ++i_;
        }
        if (at_end() || !std::isdigit(static_cast<unsigned char>(t_[i_]))) fail("digit expected");
        long long v = 0;
        while (!at_end() && std::isdigit(static_cast<unsigned char>(t_[i_]))) {
            v = v * 10 + (t_[i_++] - '0');
            if (v > (1LL << 40)) fail("number too large");
        }
        return neg ? -v : v;
    }

    void read_number_or_pair(Field& f) {
        f.has_number = true;
        f.a = number();
        skip_blanks();
        if (!at_end() && (t_[i_] == '@' || t_[i_] == '<' || t_[i_] == '>')) {
            f.pair = true;
            f.joint = t_[i_++];
            f.b = number();
        }
    }

    std::string quoted() {
        char q = t_[i_++];
        std::string s;
        while (!at_end() && t_[i_] != q) {
            if (t_[i_] == '\n') ++line_;
            s += t_[i_++];
        }
        if (at_end()) fail("unterminated string");
        ++i_;
        return s;
    }

    const std::string& t_;
    std::size_t i_ = 0;
    int line_ = 1;
};

// Node of a PL or TR section: identifiers map to indices.
struct NodeTable {
    std::map<long long, int> by_id;
    int count = 0;  // entries so far, for positional identifiers

    int add(const std::vector<Field>& fields, Scanner& s) {
        ++count;
        long long id = count;
        for (const Field& f : fields)
            if (f.letter == 0 && !f.pair) id = f.a;
        if (!by_id.emplace(id, static_cast<int>(by_id.size())).second)
            s.fail("identifier " + std::to_string(id) + " used twice");
        return static_cast<int>(by_id.size()) - 1;
    }
    int find(long long id, Scanner& s, const char* what) const {
        auto it = by_id.find(id);
        if (it == by_id.end()) s.fail(std::string("arc: incorrect ") + what + " identifier");
        return it->second;
    }
};

void add_arc(std::vector<int>& places, std::vector<int>& weights, int place, int w) {
    for (std::size_t i = 0; i < places.size(); ++i)
        if (places[i] == place) {
            weights[i] += w;
            return;
        }
    places.push_back(place);
    weights.push_back(w);
}

TestNet parse(const std::string& text) {
    Scanner s(text);
    if (s.header_word() != "VOS") s.fail("keyword 'VOS' expected");
    const std::string id = s.header_word();
    if (id != "PetriBox" && id != "PlainNet" && id != "HLNet") s.fail("unknown format identifier '" + id + "'");
    const bool petribox = id == "PetriBox";
    if (s.header_word().compare(0, 8, "FORMAT_N") != 0) s.fail("keyword 'FORMAT_N' expected");

    TestNet net;
    NodeTable places, transitions;
    std::string section;
    while (!s.at_end()) {
        if (s.next_line_is_keyword()) {
            section = s.keyword();
            // Default lines carry their fields on the keyword's line.
            if (section[0] == 'D') s.skip_line();
            else s.entry();
            continue;
        }
        if (s.at_end()) break;
        std::vector<Field> fields = s.entry();
        if (fields.empty()) continue;
        if (section == "PL") {
            places.add(fields, s);
            std::string name = "PL" + std::to_string(places.count);
            int marking = 0;
            bool entry = false, high_level_last = false;
            for (const Field& f : fields) {
                if (f.letter == '"') name = f.text;
                else if (f.letter == 'M') {
                    marking = static_cast<int>(f.a);
                    high_level_last = false;
                } else if (f.letter == 'm') high_level_last = false;
                else if (f.letter == 'Z' || f.letter == 'z' || f.letter == 'y') high_level_last = true;
                else if (f.letter == 'e') entry = true;
            }
            if (petribox && entry) marking = 1;
            else if (petribox && high_level_last) marking = 0;
            net.place_names.push_back(name);
            net.m0.push_back(marking);
        } else if (section == "TR") {
            transitions.add(fields, s);
            std::string name = "TR" + std::to_string(transitions.count);
            for (const Field& f : fields)
                if (f.letter == '"') name = f.text;
            net.trans_names.push_back(name);
            net.pre.emplace_back();
            net.post.emplace_back();
            net.pre_weight.emplace_back();
            net.post_weight.emplace_back();
        } else if (section == "TP" || section == "PT") {
            const Field* arc = nullptr;
            int w = 1;
            for (const Field& f : fields) {
                if (f.letter == 0 && f.pair) arc = &f;
                else if (f.letter == 'w') w = static_cast<int>(f.a);
            }
            const char joint = section == "TP" ? '<' : '>';
            if (!arc || arc->joint != joint) s.fail(std::string("'") + joint + "' expected");
            if (section == "TP") {
                int t = transitions.find(arc->a, s, "transition"), q = places.find(arc->b, s, "place");
                add_arc(net.post[t], net.post_weight[t], q, w);
            } else {
                int q = places.find(arc->a, s, "place"), t = transitions.find(arc->b, s, "transition");
                add_arc(net.pre[t], net.pre_weight[t], q, w);
            }
        } else if (section == "BL" || section == "PTR" || section == "PTP" || section == "PPT" ||
                   section == "TX") {
            // Not part of the low-level net.
        } else {
            s.fail(section.empty() ? "entry outside a section" : "unknown section '" + section + "'");
        }
    }
    return net;
}

}  // namespace

std::optional<TestNet> parse_vos(const std::string& text, std::string* error) {
    try {
        return parse(text);
    } catch (const ParseError& e) {
        if (error) *error = e.what();
        return std::nullopt;
    }
}

std::optional<TestNet> read_vos(const std::string& path, std::string* error) {
    return parse_vos(read_file(path), error);
}

}  // namespace testsupport
