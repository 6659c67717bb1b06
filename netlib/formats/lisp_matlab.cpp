// Readers of nets given as data of other languages: LISP definitions of
// transitions and initial tokens, and Matlab scripts with sparse arc and
// marking matrices (the unfolder's own prefix script among them).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"

namespace netlib {
namespace {

using fmt_detail::format;

constexpr std::size_t kNameLimit = 4096;

// ---- LISP ------------------------------------------------------------------------

class LispReader {
public:
    LispReader(std::FILE* f, NET* net) : f_(f), net_(net) {}

    void run() {
        expect_char(f_, '(');
        if (read_name() != "define") syntax_error("CM.read_LISP(): keyword 'define' expected");
        if (read_name() != "transitions") syntax_error("CM.read_LISP(): keyword 'transitions' expected");
        expect_char(f_, '\'');
        expect_char(f_, '(');
        std::uint32_t k = 0;
        while (!test_char(f_, ')')) {
            expect_char(f_, '(');
            NET_NODE* t = fast_insert_transition(net_, format("T%u", ++k), trans_cursor_);
            t->number = k;
            expect_char(f_, '(');
            while (!test_char(f_, ')')) insert_PT_con(net_, place(read_name())->name, t->name, 1);
            expect_char(f_, '(');
            while (!test_char(f_, ')')) insert_TP_con(net_, place(read_name())->name, t->name, 1);
            expect_char(f_, ')');
        }
        expect_char(f_, ')');
        expect_char(f_, '(');
        if (read_name() != "define") syntax_error("CM.read_LISP(): keyword 'define' expected");
        if (read_name() != "initial-tokens") syntax_error("CM.read_LISP(): keyword 'initial-tokens' expected");
        expect_char(f_, '\'');
        expect_char(f_, '(');
        // Each name is one token: a place named twice holds two, which the
        // unfolder refuses as a net that is not 1-safe.
        while (!test_char(f_, ')')) ++place(read_name())->marking;
        expect_char(f_, ')');
    }

private:
    // Letters, digits, '-' and '.' after blanks.
    std::string read_name() {
        int c = next_nonblank(f_);
        std::string name;
        while (c != EOF && (std::isalnum(c) || c == '-' || c == '.')) {
            if (name.size() + 1 >= kNameLimit) syntax_error("ReadLISPName(): identifier string size exceeded");
            name += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c != EOF) std::ungetc(c, f_);
        if (name.empty()) syntax_error("ReadLISPName(): identifier expected");
        return name;
    }

    // The place of a name; a new place is numbered in order of appearance.
    NET_NODE* place(const std::string& name) {
        NET_NODE* p = fmt_detail::lookup_place(net_, name);
        if (!p) {
            p = fast_insert_place(net_, name, 0, place_cursor_);
            p->number = ++places_;
        }
        return p;
    }

    std::FILE* f_;
    NET* net_;
    std::uint32_t places_ = 0;
    NET_NODE* place_cursor_ = nullptr;
    NET_NODE* trans_cursor_ = nullptr;
};

// ---- Matlab ------------------------------------------------------------------------

class MatlabReader {
public:
    MatlabReader(std::FILE* f, NET* net) : f_(f), net_(net) {}

    void run() {
        bool noticed = false;
        for (;;) {
            std::string word = read_word();
            if (word.empty()) syntax_error(format("unknown identifier: '%s'", word.c_str()));
            std::string upper = word;
            for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (upper == "FUNCTION") {
                skip_lines(f_, 1);
            } else if (upper == "FM" || upper == "FP" || upper == "M0") {
                open_matrix();
                read_rows(upper[0] == 'M' ? Matrix::Marking : upper[1] == 'M' ? Matrix::PlaceToTrans
                                                                                : Matrix::TransToPlace);
            } else if (upper == "PLACEFUNCTION" || upper == "TRANSITIONFUNCTION" || upper == "CUT_OFF" ||
                       upper == "GL") {
                if (!noticed) std::fprintf(stderr, "Hmm... you are just calculating the unfolding of an unfolding.\n");
                noticed = true;
                open_matrix();
                read_rows(Matrix::Dropped);
            } else if (upper == "IF") {
                return;
            } else {
                skip_assignment(word);
            }
        }
    }

private:
    enum class Matrix { PlaceToTrans, TransToPlace, Marking, Dropped };

    // A word of letters, digits and '_' after white space and '%' comments;
    // the empty word at the end of the file.
    std::string read_word() {
        int c;
        for (;;) {
            c = std::fgetc(f_);
            if (c == '%') {
                while (c != '\n' && c != EOF) c = std::fgetc(f_);
            }
            if (c == '\n') {
                ++scan.line;
                continue;
            }
            if (c != EOF && std::isspace(c)) continue;
            break;
        }
        if (c == EOF) return {};
        if (!std::isalnum(c) && c != '_')
            syntax_error(format("identifier or number expected, but '%c' found", c));
        std::string word;
        while (c != EOF && (std::isalnum(c) || c == '_')) {
            if (word.size() >= kNameLimit) syntax_error("identifier too long");
            word += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c != EOF) std::ungetc(c, f_);
        return word;
    }

    std::uint32_t read_number() {
        std::string word = read_word();
        std::uint64_t value = 0;
        bool ok = !word.empty() && word.size() <= 10;
        for (char ch : word) {
            if (!std::isdigit(static_cast<unsigned char>(ch))) ok = false;
            else value = value * 10 + static_cast<std::uint64_t>(ch - '0');
        }
        if (!ok || value > 0x7fffffffULL) syntax_error(format("number expected, but '%s' found", word.c_str()));
        return static_cast<std::uint32_t>(value);
    }

    // "= [" and the rest of that line.
    void open_matrix() {
        expect_char(f_, '=');
        expect_char(f_, '[');
        skip_lines(f_, 1);
    }

    NET_NODE* place(std::uint32_t number) {
        auto it = places_.find(number);
        if (it != places_.end()) return it->second;
        NET_NODE* p = fast_insert_place(net_, format("P%08u", number), 0, place_cursor_);
        p->number = number;
        places_.emplace(number, p);
        return p;
    }

    NET_NODE* transition(std::uint32_t number) {
        auto it = transitions_.find(number);
        if (it != transitions_.end()) return it->second;
        NET_NODE* t = fast_insert_transition(net_, format("T%08u", number), trans_cursor_);
        t->number = number;
        transitions_.emplace(number, t);
        return t;
    }

    // Rows of three numbers up to and including the first whose third number
    // is 0 (the size row), then "];".
    void read_rows(Matrix kind) {
        for (;;) {
            std::uint32_t row = read_number();
            std::uint32_t column = read_number();
            std::uint32_t value = read_number();
            if (value == 0) break;
            switch (kind) {
            case Matrix::PlaceToTrans:
                if (value > 1) syntax_error(format("arc pl %u -> tr %u - weight [%u] > 1", row, column, value));
                fast_insert_PT_con(net_, place(row)->name, transition(column)->name, 1, arcs_);
                break;
            case Matrix::TransToPlace:
                if (value > 1) syntax_error(format("arc tr %u -> pl %u - weight [%u] > 1", column, row, value));
                fast_insert_TP_con(net_, place(row)->name, transition(column)->name, 1, arcs_);
                break;
            case Matrix::Marking:
                // The count is kept as read: the unfolder refuses more than
                // one token as a net that is not 1-safe.
                place(row)->marking = static_cast<std::int32_t>(value);
                break;
            case Matrix::Dropped:
                break;
            }
        }
        expect_char(f_, ']');
        expect_char(f_, ';');
    }

    // Any other word: an assignment of a matrix is skipped, anything else
    // warned about.
    void skip_assignment(const std::string& word) {
        if (!test_char(f_, '=')) {
            std::fprintf(stderr, "WARNING: unidentified syntax in file '%s', line %u after identifier '%s'\n",
                         scan.file.c_str(), static_cast<unsigned>(scan.line), word.c_str());
            return;
        }
        if (!test_char(f_, '[')) {
            skip_lines(f_, 1);
            return;
        }
        for (;;) {
            int c = std::fgetc(f_);
            if (c == EOF) syntax_error("']' expected");
            if (c == '\n') ++scan.line;
            if (c == ']') break;
        }
        expect_char(f_, ';');
    }

    std::FILE* f_;
    NET* net_;
    std::unordered_map<std::uint32_t, NET_NODE*> places_, transitions_;
    NET_NODE* place_cursor_ = nullptr;
    NET_NODE* trans_cursor_ = nullptr;
    ArcCursors arcs_;
};

}  // namespace

NET* read_LISP(const std::string& path) {
    fmt_detail::InFile in(path, "r");
    if (!in) fmt_detail::open_failure("ERROR: CM.read_LISP(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    NET* net = new_net();
    LispReader reader(in.get(), net);
    reader.run();
    return net;
}

NET* read_Matlab(const std::string& path) {
    fmt_detail::InFile in(path, "r");
    if (!in) fmt_detail::open_failure("ERROR: could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    NET* net = new_net();
    duplicate_policy = 0;
    MatlabReader reader(in.get(), net);
    reader.run();
    duplicate_policy = 2;
    return net;
}

}  // namespace netlib
