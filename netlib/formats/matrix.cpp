// Incidence-matrix text (writer and reader), the start-marking appendix and
// the net part of GSPN net descriptions.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"

namespace netlib {
namespace {

using fmt_detail::format;

constexpr std::int32_t kMaxInt32 = 0x7fffffff;

std::size_t digits(std::int32_t v) { return format("%d", v).size(); }

void pad(std::FILE* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) std::fputc(' ', out);
}

// ---- GSPN ------------------------------------------------------------------------

// Reads the file line by line; errors name the line they stand in.
class LineReader {
public:
    explicit LineReader(std::FILE* f) : f_(f) {}

    // Reads the next line (without its line break); false at the end of the file.
    bool next(std::string& line) {
        line.clear();
        int c = std::fgetc(f_);
        if (c == EOF) return false;
        number_ = next_number_++;
        while (c != EOF && c != '\n') {
            line += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    std::string need() {
        std::string line;
        if (!next(line)) fail_at_end();
        return line;
    }
    void skip(std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i) need();
    }
    [[noreturn]] void fail(const std::string& text) {
        scan.line = number_;
        syntax_error(text);
    }
    [[noreturn]] void fail_at_end() {
        scan.line = next_number_;
        syntax_error("gspn_ini(): unexpected end of file");
    }

private:
    std::FILE* f_;
    int number_ = 0;
    int next_number_ = 1;
};

// Fields of one line.
class Fields {
public:
    explicit Fields(const std::string& line) : line_(line) {}

    bool name(std::string& out) {
        skip_blanks();
        out.clear();
        while (pos_ < line_.size() && std::isalnum(static_cast<unsigned char>(line_[pos_]))) out += line_[pos_++];
        return !out.empty();
    }
    bool integer(long& out) {
        skip_blanks();
        const char* start = line_.c_str() + pos_;
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(start, &end, 10);
        if (end == start || errno == ERANGE || v < -kMaxInt32 || v > kMaxInt32) return false;
        pos_ += static_cast<std::size_t>(end - start);
        out = v;
        return true;
    }
    bool count(std::uint32_t& out) {
        long v = 0;
        if (!integer(v) || v < 0) return false;
        out = static_cast<std::uint32_t>(v);
        return true;
    }
    bool real() {
        skip_blanks();
        const char* start = line_.c_str() + pos_;
        char* end = nullptr;
        std::strtod(start, &end);
        if (end == start) return false;
        pos_ += static_cast<std::size_t>(end - start);
        return true;
    }
    bool word(const char* w) {
        skip_blanks();
        std::string s(w);
        if (line_.compare(pos_, s.size(), s) != 0) return false;
        pos_ += s.size();
        return true;
    }

private:
    void skip_blanks() {
        while (pos_ < line_.size() && std::isspace(static_cast<unsigned char>(line_[pos_]))) ++pos_;
    }
    const std::string& line_;
    std::size_t pos_ = 0;
};

class GspnReader {
public:
    GspnReader(std::FILE* f, NET* net) : in_(f), net_(net) {}

    // False when the net has inhibitor arcs.
    bool run() {
        in_.skip(2);
        for (;;) {
            std::string line = in_.need();
            while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
            if (line == "|") break;
        }
        in_.skip(1);
        std::uint32_t marking_params = 0, places = 0, rate_params = 0, transitions = 0, groups = 0;
        {
            std::string line = in_.need();
            Fields fields(line);
            if (!fields.word("f") || !fields.count(marking_params) || !fields.count(places) ||
                !fields.count(rate_params) || !fields.count(transitions) || !fields.count(groups))
                in_.fail("gspn_ini(): header line 'f' expected");
        }
        in_.skip(marking_params);
        for (std::uint32_t i = 0; i < places; ++i) {
            std::string line = in_.need();
            Fields fields(line);
            std::string name;
            long tokens = 0;
            if (!fields.name(name) || !fields.integer(tokens) || tokens < 0) in_.fail("gspn_ini(): place expected");
            NET_NODE* p = insert_place(net_, name, static_cast<std::int32_t>(tokens));
            order_.push_back(p);
        }
        in_.skip(groups);
        for (std::uint32_t i = 0; i < transitions; ++i) {
            std::string line = in_.need();
            Fields fields(line);
            std::string name;
            long a = 0, b = 0, c = 0;
            std::uint32_t inputs = 0;
            if (!fields.name(name) || !fields.real() || !fields.integer(a) || !fields.integer(b) ||
                !fields.integer(c) || !fields.count(inputs))
                in_.fail("gspn_ini(): transition expected");
            NET_NODE* t = insert_transition(net_, name);
            read_arcs(t, inputs, true);
            read_arcs(t, arc_count(), false);
            if (arc_count() > 0) {
                std::fprintf(stderr, "WARNING: NN.gspn_ini(): net contains inhibitor arcs.\n");
                return false;
            }
        }
        return true;
    }

private:
    std::uint32_t arc_count() {
        std::string line = in_.need();
        Fields fields(line);
        std::uint32_t n = 0;
        if (!fields.count(n)) in_.fail("gspn_ini(): number of arcs expected");
        return n;
    }

    void read_arcs(NET_NODE* t, std::uint32_t n, bool input) {
        for (std::uint32_t i = 0; i < n; ++i) {
            std::string line = in_.need();
            Fields fields(line);
            long weight = 0, position = 0, x = 0;
            std::uint32_t points = 0;
            if (!fields.integer(weight) || weight < 0 || !fields.integer(position) || !fields.count(points) ||
                !fields.integer(x))
                in_.fail("gspn_ini(): arc expected");
            if (position < 1 || static_cast<std::size_t>(position) > order_.size())
                in_.fail("gspn_ini(): arc: incorrect place number");
            const std::string& place = order_[static_cast<std::size_t>(position) - 1]->name;
            if (input)
                insert_PT_con(net_, place, t->name, static_cast<std::int32_t>(weight));
            else
                insert_TP_con(net_, place, t->name, static_cast<std::int32_t>(weight));
            in_.skip(points);
        }
    }

    LineReader in_;
    NET* net_;
    std::vector<NET_NODE*> order_;   // places in the file's order
};

}  // namespace

// ---- incidence matrix ------------------------------------------------------------

void output_matrix(NET* net, std::FILE* out) {
    if (!net) {
        std::fprintf(stderr, "WARNING: NN.%s(): not a net.\n", "output_matrix");
        return;
    }
    std::vector<NET_NODE*> columns;
    std::unordered_map<const NET_NODE*, std::size_t> column_of;
    for (NET_NODE* t = net->first_transition; t; t = t->next) {
        column_of.emplace(t, columns.size());
        columns.push_back(t);
    }
    // Column widths: the name or the widest entry, and one blank.
    std::vector<std::size_t> width(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::int32_t in = 0, out_w = 0;
        for (NET_ARC* a = columns[c]->preset; a; a = a->t_next) out_w = std::max(out_w, a->weight);
        for (NET_ARC* a = columns[c]->postset; a; a = a->t_next) in = std::max(in, a->weight);
        std::size_t entry = 5 + digits(in) + digits(out_w);
        width[c] = std::max(columns[c]->name.size(), entry) + 1;
    }
    std::size_t longest = 0;
    for (NET_NODE* p = net->first_place; p; p = p->next) longest = std::max(longest, p->name.size());

    std::fprintf(out, "%d %d \n", static_cast<int>(net->places), static_cast<int>(net->transitions));
    std::fprintf(out, "Inzidenzmatrix: \n");
    pad(out, longest + 4);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::fputs(columns[c]->name.c_str(), out);
        pad(out, width[c] - columns[c]->name.size());
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> row(columns.size());
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        std::fill(row.begin(), row.end(), std::make_pair(0, 0));
        for (NET_ARC* a = p->preset; a; a = a->p_next) {
            auto it = column_of.find(a->transition);
            if (it != column_of.end()) row[it->second].first = a->weight;
        }
        for (NET_ARC* a = p->postset; a; a = a->p_next) {
            auto it = column_of.find(a->transition);
            if (it != column_of.end()) row[it->second].second = a->weight;
        }
        std::fprintf(out, " \n");
        std::fputs(p->name.c_str(), out);
        pad(out, longest + 2 - p->name.size());
        std::fprintf(out, " |");
        for (std::size_t c = 0; c < columns.size(); ++c) {
            std::string entry = row[c].first ? format("(-%d,", row[c].first) : std::string("( 0,");
            entry += row[c].second ? format("%d) ", row[c].second) : std::string("0) ");
            std::fputs(entry.c_str(), out);
            if (entry.size() < width[c]) pad(out, width[c] - entry.size());
        }
    }
    std::fprintf(out, " \n");
}

void print_net_matrix(NET* net) { output_matrix(net, stdout); }

void write_matrix(NET* net, const std::string& path) {
    if (!net) {
        std::fprintf(stderr, "WARNING: NN.%s(): not a net.\n", "write_matrix");
        return;
    }
    fmt_detail::InFile file(path, "w");
    if (!file)
        fmt_detail::open_failure("WARNING: NN.write_matrix(): could not open file '%s' for writing.\n", path, 5);
    output_matrix(net, file.get());
    bool ok = !std::ferror(file.get());
    if (!file.close() || !ok) fmt_detail::open_failure("WARNING: NN.write_matrix(): could not write file '%s'.\n", path, 5);
}

void write_netmarking(NET* net, const std::string& path) {
    if (!net) {
        std::fprintf(stderr, "WARNING: NN.%s(): not a net.\n", "write_netmarking");
        return;
    }
    fmt_detail::InFile file(path, "a");
    if (!file)
        fmt_detail::open_failure("WARNING: NN.write_netmarking(): could not open file '%s' for reading.\n", path, 4);
    std::FILE* out = file.get();
    std::fprintf(out, "\nStartmarkierung: \n");
    for (NET_NODE* p = net->first_place; p; p = p->next)
        std::fprintf(out, p == net->first_place ? "( %d" : " ,%d", p->marking);
    std::fprintf(out, " ) \n");
    bool ok = !std::ferror(out);
    if (!file.close() || !ok)
        fmt_detail::open_failure("WARNING: NN.write_netmarking(): could not write file '%s'.\n", path, 5);
}

NET* read_matrix(const std::string& path) {
    fmt_detail::InFile file(path, "r");
    if (!file) fmt_detail::open_failure("WARNING: NN.read_matrix(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    std::FILE* f = file.get();
    std::int32_t places = fmt_detail::checked_int(read_integer(f), 0, kMaxInt32, "incorrect number of places");
    std::int32_t transitions =
        fmt_detail::checked_int(read_integer(f), 0, kMaxInt32, "incorrect number of transitions");
    if (read_word(f, 199) != "Inzidenzmatrix:") syntax_error(edition == Edition::Cosweep ? "Schluesselwort 'Inzidenzmatrix:' erwartet" : "keyword 'Inzidenzmatrix:' expected");

    NET* net = new_net();
    // Columns follow the names of the header row, rows the place names in
    // the order of the file.
    std::vector<NET_NODE*> columns, rows;
    NET_NODE* tcur = nullptr;
    NET_NODE* pcur = nullptr;
    ArcCursors arcs;
    for (std::int32_t i = 0; i < transitions; ++i) {
        std::string name = read_word(f, 199);
        if (name.empty()) syntax_error("transition name expected");
        columns.push_back(fast_insert_transition(net, name, tcur));
    }
    for (std::int32_t r = 0; r < places; ++r) {
        std::string name = read_word(f, 199);
        if (name.empty()) syntax_error("place name expected");
        NET_NODE* p = fast_insert_place(net, name, 0, pcur);
        rows.push_back(p);
        expect_char(f, '|');
        for (NET_NODE* t : columns) {
            expect_char(f, '(');
            std::int32_t to_place = fmt_detail::checked_int(read_integer(f), -kMaxInt32, kMaxInt32, "incorrect arc weight");
            expect_char(f, ',');
            std::int32_t to_trans = fmt_detail::checked_int(read_integer(f), -kMaxInt32, kMaxInt32, "incorrect arc weight");
            expect_char(f, ')');
            if (to_place != 0) fast_insert_TP_con(net, p->name, t->name, std::abs(to_place), arcs);
            if (to_trans != 0) fast_insert_PT_con(net, p->name, t->name, std::abs(to_trans), arcs);
        }
    }
    if (read_word(f, 199) != "Startmarkierung:") syntax_error(edition == Edition::Cosweep ? "Schluesselwort 'Startmarkierung:' erwartet" : "keyword 'Startmarkierung:' expected");
    bool parenthesised = test_char(f, '(');
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r > 0) expect_char(f, ',');
        rows[r]->marking = fmt_detail::checked_int(read_integer(f), -kMaxInt32, kMaxInt32, "incorrect marking");
    }
    if (parenthesised && !test_char(f, ')')) syntax_error(edition == Edition::Cosweep ? "Markierungsvektor: ')' erwartet" : "marking vector: ')' expected");
    return net;
}

// ---- GSPN ------------------------------------------------------------------------------

NET* gspn_ini(const std::string& path) {
    fmt_detail::InFile file(path, "r");
    if (!file) fmt_detail::open_failure("WARNING: NN.gspn_ini(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    NET* net = new_net();
    GspnReader reader(file.get(), net);
    if (!reader.run()) {
        delete_net(net);
        return nullptr;
    }
    return net;
}

}  // namespace netlib
