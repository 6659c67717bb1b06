// The VOS low-level net format: reader and writers.
//
// read_VOS_lists reads a file of the newer format in one pass into lists.
// Each line's syntax is checked as it is read; at the end of a node section
// the identifiers of its entries are resolved (the section is positional
// when every identifier given equals the position of its entry), and each
// arc is resolved as it is read.  An error in identifiers or arc ends waits
// until the whole file has passed its syntax checks.  net_from_lists makes
// the net record of the lists.
#include "vos.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "outfile.h"
#include "scanner.h"

namespace netlib {

VosOptions vos_options;

namespace {

std::string format_text(const char* pattern, long value) {
    char buf[160];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

// ---------------------------------------------------------------------------
// character source with any number of pushed-back characters

class Source {
public:
    explicit Source(std::FILE* f) : f_(f) {}

    int get() {
        int c;
        if (!pending_.empty()) {
            c = static_cast<unsigned char>(pending_.back());
            pending_.pop_back();
        } else {
            if (pos_ == len_ && !fill()) return EOF;
            c = static_cast<unsigned char>(buffer_[pos_++]);
        }
        if (c == '\n') ++scan.line;
        return c;
    }

    void unget(int c) {
        if (c == EOF) return;
        if (c == '\n') --scan.line;
        if (pending_.empty() && pos_ > 0 && buffer_[pos_ - 1] == static_cast<char>(c)) --pos_;
        else pending_.push_back(static_cast<char>(c));
    }

    int peek() {
        if (!pending_.empty()) return static_cast<unsigned char>(pending_.back());
        if (pos_ == len_ && !fill()) return EOF;
        return static_cast<unsigned char>(buffer_[pos_]);
    }

    // Skips blanks that do not end the line.
    void skip_inline_blanks() {
        int c;
        do c = get(); while (is_inline_blank(c));
        unget(c);
    }

    // Skips the rest of the line including its line break.
    void skip_line() {
        int c;
        do c = get(); while (c != '\n' && c != EOF);
    }

    // Appends to `out` the characters up to the first `stop`, which is read
    // too; false at the end of the file (everything up to it appended).
    bool read_until(char stop, std::string& out) {
        while (!pending_.empty()) {
            int c = get();
            if (c == static_cast<unsigned char>(stop)) return true;
            out += static_cast<char>(c);
        }
        for (;;) {
            if (pos_ == len_ && !fill()) return false;
            const char* begin = buffer_ + pos_;
            const char* end = buffer_ + len_;
            const char* hit = static_cast<const char*>(std::memchr(begin, stop, static_cast<std::size_t>(end - begin)));
            const char* last = hit ? hit : end;
            out.append(begin, last);
            scan.line += static_cast<int>(std::count(begin, last, '\n'));
            pos_ = static_cast<std::size_t>(last - buffer_);
            if (hit) {
                ++pos_;
                return true;
            }
        }
    }

    // The common form of an arc line, "<digits><join><digits>" from the
    // start of the line right up to its break, read at once from the buffer
    // by plain_lines: take(first, second) for each line.
    template <class Take>
    std::size_t plain_pairs(char join, Take take) {
        const char* const end = buffer_ + len_;
        return plain_lines([&](const char*& p) {
            long a, b;
            if (!plain_number(p, end, a) || *p != join) return false;
            ++p;
            if (!plain_number(p, end, b) || *p != '\n') return false;
            take(a, b);
            return true;
        });
    }

    // The common form of a node line, "<digits>\"<name>\"" and, where
    // `marked` allows it, "M<digits>", right up to the line break (a name
    // without quote characters or line breaks), read by plain_lines:
    // take(id, name, tokens) for each line, `tokens` 0 without "M" and
    // `name` a view of the buffer that holds during the call.
    template <class Take>
    std::size_t plain_nodes(bool marked, Take take) {
        const char* const end = buffer_ + len_;
        return plain_lines([&](const char*& p) {
            long number, marking = 0;
            if (!plain_number(p, end, number) || number == 0 || *p != '"') return false;
            const char* const first = ++p;
            while (p < end && *p != '"' && *p != '\'' && *p != '\n') ++p;
            if (p + 1 >= end || *p != '"') return false;
            const char* const last = p++;
            if (marked && *p == 'M') {
                ++p;
                if (!plain_number(p, end, marking)) return false;
            }
            if (*p != '\n') return false;
            take(number, std::string_view(first, static_cast<std::size_t>(last - first)), marking);
            return true;
        });
    }

    bool error() const { return std::ferror(f_) != 0; }

    static bool is_inline_blank(int c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == '\b' || c == '\0';
    }

private:
    static bool is_digit_char(char c) { return c >= '0' && c <= '9'; }

    // A number of at most nine digits (so in range) from p, followed by a
    // character before `end` that is no digit.
    static bool plain_number(const char*& p, const char* end, long& v) {
        const char* const start = p;
        v = 0;
        while (p < end && is_digit_char(*p) && p - start < 9) v = v * 10 + (*p++ - '0');
        return p > start && p < end && !is_digit_char(*p);
    }

    // Lines of one plain form read one after another from the buffer:
    // line(p) reads a line from p and hands it on while scan.line is still
    // its line, leaving p at its break, or finds another form or the end of
    // the buffer (false, nothing handed on, the line left unread).  The
    // number of lines read.
    template <class Line>
    std::size_t plain_lines(Line line) {
        if (!pending_.empty()) return 0;
        std::size_t lines = 0;
        for (const char* p = buffer_ + pos_; line(p); ++lines) {
            pos_ = static_cast<std::size_t>(++p - buffer_);
            ++scan.line;
        }
        return lines;
    }

    bool fill() {
        pos_ = 0;
        len_ = std::fread(buffer_, 1, sizeof buffer_, f_);
        return len_ != 0;
    }

    std::FILE* f_;
    std::vector<char> pending_;
    char buffer_[1 << 16];
    std::size_t pos_ = 0, len_ = 0;
};

bool inline_blank(int c) { return Source::is_inline_blank(c); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// A signed number whose first character has been read.
long read_number(Source& in, int c) {
    bool negative = false;
    if (c == '-') {
        negative = true;
        in.skip_inline_blanks();
        c = in.get();
    }
    if (!is_digit(c)) {
        in.unget(c);
        syntax_error(edition == Edition::Cosweep ? "ReadNumber(): digit expected" : "digit expected");
    }
    const long limit = negative ? -static_cast<long>(INT32_MIN) : INT32_MAX;
    long value = 0;
    while (is_digit(c)) {
        value = value * 10 + (c - '0');
        if (value > limit) syntax_error("number out of range");
        c = in.get();
    }
    in.unget(c);
    return negative ? -value : value;
}

long read_number(Source& in) {
    in.skip_inline_blanks();
    return read_number(in, in.get());
}

// Reads "@m" after the first number of a pair.
long read_pair_second(Source& in, const char* missing_at) {
    in.skip_inline_blanks();
    int c = in.get();
    if (c != '@') {
        in.unget(c);
        if (missing_at) syntax_error(missing_at);
        if (edition == Edition::Cosweep) syntax_error("ReadSymbol: unexpected character read");
        std::string text = "'@' expected, but ";
        if (c == EOF) text += "end of file";
        else if (c == '\n') text += "end of line";
        else text += std::string("'") + static_cast<char>(c) + "'";
        syntax_error(text + " was found");
    }
    return read_number(in);
}

// A string enclosed in single or double quotes.
std::string read_quoted(Source& in) {
    in.skip_inline_blanks();
    int quote = in.get();
    if (quote != '\'' && quote != '"') {
        in.unget(quote);
        syntax_error("ReadEnclString(): string leading ' or \" expected");
    }
    std::string s;
    const int start = scan.line;
    if (!in.read_until(static_cast<char>(quote), s)) {
        scan.line = start;   // where the string began
        syntax_error(std::string("ReadEnclString(): closing ") + static_cast<char>(quote) + " is missing");
    }
    return s;
}

// A name: one quoted string, or several written without a blank between
// them, which join (a name holding both quote characters is written so).
std::string read_name(Source& in) {
    std::string s = read_quoted(in);
    for (;;) {
        int c = in.get();
        in.unget(c);
        if (c != '"' && c != '\'') return s;
        s += read_quoted(in);
    }
}

// A word of the header: up to white space.
std::string read_header_word(Source& in) {
    int c;
    for (;;) {
        c = in.get();
        if (c == '%') {
            in.skip_line();
            continue;
        }
        if (c == EOF || !std::isspace(c)) break;
    }
    std::string w;
    while (c != EOF && !std::isspace(c)) {
        if (w.size() < 30) w += static_cast<char>(c);
        c = in.get();
    }
    in.unget(c);
    return w;
}

// ---------------------------------------------------------------------------
// entries

enum class Section { None, BL, PL, TR, PTR, TP, PT, PTP, PPT, TX, End };

struct NodeEntry {
    int line = 0;
    long id = 0;          // 0: none given
    bool has_name = false;
    std::string name;
    long initial = 0;     // M
    long current = 0;     // m
    long component = 0;   // C
    bool entry = false;
    bool exit = false;
    bool has_label = false;
    std::string label;    // kept for the label lists
    std::unique_ptr<NodeExtras, NodeExtrasDeleter> extras;
};

struct ArcEntry {
    int line = 0;
    long first = 0;
    long second = 0;
    long weight = 1;
    std::unique_ptr<ArcExtras, ArcExtrasDeleter> extras;
};

struct SectionInfo {
    long entries = 0;
    bool positional = true;   // every identifier given equals its position
    long largest = 0;
};

// Maps identifiers to entry indexes without trusting their size.
class IdTable {
public:
    void reset(long largest, long entries) {
        positions_ = 0;
        dense_ = largest <= 4 * entries + 1024;
        if (dense_) table_.assign(static_cast<std::size_t>(largest) + 1, -1);
        else sparse_.clear();
    }
    // The identifiers of a positional section: the positions 1 to `entries`.
    void positions(long entries) {
        positions_ = entries;
        std::vector<long>().swap(table_);
        sparse_.clear();
    }
    // False when the identifier is taken already.
    bool add(long id, long index) {
        if (dense_) {
            if (table_[static_cast<std::size_t>(id)] >= 0) return false;
            table_[static_cast<std::size_t>(id)] = index;
            return true;
        }
        return sparse_.emplace(id, index).second;
    }
    long get(long id) const {
        if (id <= 0) return -1;
        if (positions_ > 0) return id <= positions_ ? id - 1 : -1;
        if (dense_) return id < static_cast<long>(table_.size()) ? table_[static_cast<std::size_t>(id)] : -1;
        auto it = sparse_.find(id);
        return it == sparse_.end() ? -1 : it->second;
    }

private:
    long positions_ = 0;
    bool dense_ = true;
    std::vector<long> table_;
    std::unordered_map<long, long> sparse_;
};

// What a node entry leaves until its section is resolved.
struct PendingNode {
    long id;          // 0: none given
    int line;
    bool has_name;
};

// The state of one read: the lists being filled and what their identifiers
// need until they are resolved.
struct FileEntries {
    explicit FileEntries(VosLists& l) : lists(l) {}
    VosLists& lists;
    SectionInfo pl, tr, ptr;
    bool box = false;                   // a PetriBox file
    std::vector<PendingNode> pending;   // entries of the node section being read
    IdTable place_ids, trans_ids, phantom_ids;
    // The first error in identifiers or arc ends.  Such an error is reported
    // only once the whole file has passed its syntax checks, and the first
    // one in file order wins (identifiers of places, of transitions, of
    // phantom transitions, then the arcs in their sections).
    bool failed = false;
    int error_line = 0;
    std::string error_text;
    void defer(int line, const std::string& text) {
        if (failed) return;
        failed = true;
        error_line = line;
        error_text = text;
    }
};

NodeExtras& extras_of(NodeEntry& e) {
    if (!e.extras) e.extras.reset(new NodeExtras);
    return *e.extras;
}

ArcExtras& extras_of(ArcEntry& e) {
    if (!e.extras) e.extras.reset(new ArcExtras);
    return *e.extras;
}

[[noreturn]] void unknown_token(int c) {
    syntax_error(std::string("unknown token '") + static_cast<char>(c) + "'");
}

long nonnegative(long v, const char* text) {
    if (v < 0) syntax_error(text);
    return v;
}

// The identifier or the coordinates given by a bare number.
void node_number(Source& in, int c, NodeEntry& e, const char* bad_identifier) {
    long first = read_number(in, c);
    in.skip_inline_blanks();
    if (in.peek() == '@') {
        long second = read_pair_second(in, nullptr);
        if (vos_options.keep_extras) {
            extras_of(e).x = static_cast<std::int32_t>(first);
            extras_of(e).y = static_cast<std::int32_t>(second);
        }
        return;
    }
    if (first <= 0) syntax_error(bad_identifier);
    e.id = first;
}

// Reads one field of a place entry; c is its first character.
void place_field(Source& in, int c, NodeEntry& e) {
    bool keep = vos_options.keep_extras;
    switch (c) {
    case '"': case '\'':
        in.unget(c);
        e.name = read_name(in);
        e.has_name = true;
        return;
    case 'M':
        e.initial = nonnegative(read_number(in), "negative marking");
        return;
    case 'm':
        e.current = nonnegative(read_number(in), "negative marking");
        return;
    case 'C':
        e.component = nonnegative(read_number(in), "negative component number");
        return;
    case 'e':
        if (e.exit) syntax_error("both exit and entry flag found");
        e.entry = true;
        return;
    case 'x':
        if (e.entry) syntax_error("both entry and exit flag found");
        e.exit = true;
        return;
    case 'Z': case 'z': case 'y': {
        std::string s = read_quoted(in);
        // A high-level marking field discards a low-level marking before it.
        e.initial = e.current = 0;
        if (keep) {
            NodeExtras& x = extras_of(e);
            (c == 'Z' ? x.type : c == 'z' ? x.hl_initial : x.hl_current) = std::move(s);
        }
        return;
    }
    case 'b': case 'R': case 'T': {
        std::string s = read_quoted(in);
        if (c == 'b' && collect_labels) {
            e.label = s;
            e.has_label = true;
        }
        if (keep) {
            NodeExtras& x = extras_of(e);
            (c == 'b' ? x.label : c == 'R' ? x.reference : x.text) = std::move(s);
        }
        return;
    }
    case 'u':
        read_quoted(in);
        return;
    case 'A': case 'B': case 'N': case 'a': case 'n':
        read_number(in);
        read_pair_second(in, nullptr);
        return;
    case 'c': case 'k': case 's': case 't': case 'v':
        read_number(in);
        return;
    default:
        if (is_digit(c) || c == '-') return node_number(in, c, e, "incorrect place identifier");
        unknown_token(c);
    }
}

// Reads one field of a transition entry (phantom: in PTR).
void transition_field(Source& in, int c, NodeEntry& e, bool phantom) {
    bool keep = vos_options.keep_extras && !phantom;
    switch (c) {
    case '"': case '\'':
        in.unget(c);
        e.name = read_name(in);
        e.has_name = true;
        return;
    case 'i': case 'b': case 'g': case 'R': case 'T': {
        std::string s = read_quoted(in);
        if (c == 'b' && collect_labels && !phantom) {
            e.label = s;
            e.has_label = true;
        }
        if (keep) {
            NodeExtras& x = extras_of(e);
            (c == 'i' ? x.action : c == 'b' ? x.label : c == 'g' ? x.guard : c == 'R' ? x.reference : x.text) =
                std::move(s);
        }
        return;
    }
    case 'P': case 'u':
        read_quoted(in);
        return;
    case 'r':
        return;
    case 'S':
        if (phantom) {
            read_number(in);
            read_pair_second(in, "missing '@'");
        }
        return;
    case 'A': case 'H': case 'N': case 'a': case 'h': case 'j': case 'n':
        read_number(in);
        read_pair_second(in, nullptr);
        return;
    case 'c': case 's': case 't': case 'v':
        read_number(in);
        return;
    default:
        if (is_digit(c) || c == '-')
            return node_number(in, c, e,
                               phantom ? "incorrect phantom transition identifier" : "incorrect transition identifier");
        unknown_token(c);
    }
}

void arc_field(Source& in, int c, ArcEntry& e) {
    switch (c) {
    case 'w':
        e.weight = nonnegative(read_number(in), "negative arc weight");
        return;
    case 'p': {
        std::string s = read_quoted(in);
        if (vos_options.keep_extras) extras_of(e).inscription = std::move(s);
        return;
    }
    case 'v': {
        long v = nonnegative(read_number(in), "negative number");
        if (vos_options.keep_extras) extras_of(e).v = static_cast<std::uint32_t>(v);
        return;
    }
    case ',': case 'J': case 'N': case 'Q': case 'n': case 'q':
        read_number(in);
        read_pair_second(in, nullptr);
        return;
    case 'c': case 't':
        read_number(in);
        return;
    default:
        unknown_token(c);
    }
}

void block_field(Source& in, int c) {
    switch (c) {
    case '"': case '\'':
        in.unget(c);
        read_quoted(in);
        return;
    case 'A': case 'N': case 'a': case 'n':
        read_number(in);
        read_pair_second(in, nullptr);
        return;
    case 'R': case 'T': case 'b': case 'u':
        read_quoted(in);
        return;
    default:
        if (is_digit(c) || c == '-') {
            read_number(in, c);
            in.skip_inline_blanks();
            if (in.peek() == '@') read_pair_second(in, nullptr);
            return;
        }
        unknown_token(c);
    }
}

void text_field(Source& in, int c) {
    switch (c) {
    case '"': case '\'':
        in.unget(c);
        read_quoted(in);
        return;
    case 'N':
        read_number(in);
        read_pair_second(in, nullptr);
        return;
    default:
        unknown_token(c);
    }
}

// Next field of the current line: its first character, or 0 at the end of
// the line (the line break is left for the caller; a comment is skipped).
int next_field(Source& in) {
    in.skip_inline_blanks();
    int c = in.get();
    if (c == '%') {
        do c = in.get(); while (c != '\n' && c != EOF);
    }
    if (c == '\n' || c == EOF) {
        in.unget(c);
        return 0;
    }
    return c;
}

// ---------------------------------------------------------------------------
// line classification

const char* const kKeywords[] = {"BL", "PL", "TR", "PTR", "TP", "PT", "PTP", "PPT", "TX"};

bool keyword_prefix(const std::string& w) {
    for (const char* k : kKeywords)
        if (std::strncmp(k, w.c_str(), w.size()) == 0 && std::strlen(k) >= w.size()) return true;
    return false;
}

bool is_keyword(const std::string& w) {
    for (const char* k : kKeywords)
        if (w == k) return true;
    return false;
}

Section section_of(const std::string& w) {
    static const Section sections[] = {Section::BL, Section::PL, Section::TR, Section::PTR, Section::TP,
                                       Section::PT, Section::PTP, Section::PPT, Section::TX};
    for (std::size_t k = 0; k < 9; ++k)
        if (w == kKeywords[k]) return sections[k];
    return Section::None;
}

enum class LineKind { End, Skip, Empty, Keyword, Entry };

// Looks at the start of a line.  A section keyword alone on its line is
// returned in `word`; for an entry the characters looked at are pushed back.
LineKind classify(Source& in, std::string& word) {
    word.clear();
    in.skip_inline_blanks();
    int c = in.get();
    if (c == EOF) return LineKind::End;
    if (c == '\n') return LineKind::Empty;
    if (c == '%') {
        in.skip_line();
        return LineKind::Skip;
    }
    while (c >= 'A' && c <= 'Z' && keyword_prefix(word + static_cast<char>(c))) {
        word += static_cast<char>(c);
        c = in.get();
    }
    bool ends = c == EOF || c == '\n' || c == '%' || inline_blank(c);
    in.unget(c);
    if (ends && is_keyword(word)) return LineKind::Keyword;   // the caller skips the line
    for (std::size_t k = word.size(); k > 0; --k) in.unget(word[k - 1]);
    word.clear();
    return LineKind::Entry;
}

// ---------------------------------------------------------------------------
// the entries: syntax, identifiers and arc ends

void note_position(SectionInfo& info, NodeEntry& e) {
    long position = ++info.entries;
    if (e.id != 0 && e.id != position) info.positional = false;
    info.largest = std::max(info.largest, e.id != 0 ? e.id : position);
}

void add_node(Section s, FileEntries& file, NodeEntry& e, std::string_view name);

void read_node_entry(Source& in, Section s, FileEntries& file) {
    NodeEntry e;
    e.line = scan.line;
    while (int c = next_field(in)) {
        if (s == Section::PL) place_field(in, c, e);
        else transition_field(in, c, e, s == Section::PTR);
    }
    add_node(s, file, e, e.name);
}

// Node entries read from the start of their lines in the plain form, as
// many as follow one another, up to and with their line breaks; false, with
// nothing read, when the next line has another form.
bool read_plain_node(Source& in, Section s, FileEntries& file) {
    NodeEntry e;
    e.has_name = true;
    return in.plain_nodes(s == Section::PL, [&](long id, std::string_view name, long tokens) {
        e.line = scan.line;
        e.id = id;
        e.initial = tokens;
        add_node(s, file, e, name);
    }) > 0;
}

// Files the entry e of the node section s under `name` (empty while it has
// none: its section's resolution names it).
void add_node(Section s, FileEntries& file, NodeEntry& e, std::string_view name) {
    note_position(s == Section::PL ? file.pl : s == Section::TR ? file.tr : file.ptr, e);
    file.pending.push_back({e.id, e.line, e.has_name});
    if (s == Section::PTR) return;   // checked, not put into the net
    VosLists& l = file.lists;
    const bool keep = vos_options.keep_extras;
    if (s == Section::PL) {
        VosPlace n;
        const bool box = file.box;
        long tokens = vos_options.use_current_marking ? e.current : e.initial;
        if (box && !vos_options.use_current_marking && e.entry) tokens = 1;
        n.marking = static_cast<std::int32_t>(tokens);
        n.kind = box ? (e.entry ? 1 : e.exit ? 2 : 0) : 0;
        n.component = static_cast<std::uint32_t>(e.component);
        if (e.has_label) l.place_labels.emplace_back(static_cast<std::uint32_t>(l.places.size()), std::move(e.label));
        if (keep) {
            extras_of(e).current = static_cast<std::int32_t>(e.current);
            l.place_extras.push_back(std::move(e.extras));
        }
        l.places.push_back(n);
        l.place_names.push_back(name);
    } else {
        if (e.has_label)
            l.transition_labels.emplace_back(static_cast<std::uint32_t>(l.transition_names.size()),
                                             std::move(e.label));
        if (keep) {
            extras_of(e);
            l.transition_extras.push_back(std::move(e.extras));
        }
        l.transition_names.push_back(name);
    }
}

// Resolves the identifier of each entry of the node section s by the rules
// of its section; names the nodes without a name after their identifiers.
void resolve_section(Section s, FileEntries& file) {
    const SectionInfo& info = s == Section::PL ? file.pl : s == Section::TR ? file.tr : file.ptr;
    IdTable& ids = s == Section::PL ? file.place_ids : s == Section::TR ? file.trans_ids : file.phantom_ids;
    const char* missing = s == Section::PL   ? "missing place identifier"
                          : s == Section::TR ? "missing transition identifier"
                                             : "missing phantom transition identifier";
    const char* multiply = s == Section::PL   ? "place identifier %ld multiply used"
                           : s == Section::TR ? "transition identifier %ld multiply used"
                                              : "phantom transition identifier %ld multiply used";
    NameTable* names = s == Section::PL   ? &file.lists.place_names
                       : s == Section::TR ? &file.lists.transition_names
                                          : nullptr;
    // Nodes without a name are named after their identifiers (or positions).
    auto name_unnamed = [&](auto identifier) {
        if (!names) return;
        bool all_named = true;
        for (const PendingNode& e : file.pending) all_named = all_named && e.has_name;
        if (all_named) return;
        NameTable named;
        named.reserve(names->size(), 0);
        for (std::size_t k = 0; k < file.pending.size(); ++k)
            if (file.pending[k].has_name) named.push_back((*names)[k]);
            else named.push_back(format_text(s == Section::PL ? "PL%ld" : "TR%ld", identifier(k)));
        *names = std::move(named);
    };
    if (info.positional) {
        // Every identifier given is its entry's position: no table, and
        // nothing to check.
        ids.positions(info.entries);
        name_unnamed([](std::size_t k) { return static_cast<long>(k) + 1; });
        std::vector<PendingNode>().swap(file.pending);
        return;
    }
    ids.reset(info.largest, info.entries);
    for (std::size_t k = 0; k < file.pending.size(); ++k) {
        PendingNode& e = file.pending[k];
        if (e.id == 0) {
            file.defer(e.line, missing);
            e.id = static_cast<long>(k) + 1;
        }
        if (!ids.add(e.id, static_cast<long>(k))) file.defer(e.line, format_text(multiply, e.id));
    }
    name_unnamed([&](std::size_t k) { return file.pending[k].id; });
    std::vector<PendingNode>().swap(file.pending);
}

// The entry position of an arc's end, or -1 after deferring the error.
long arc_end(FileEntries& file, const IdTable& ids, long id, int line, const char* text) {
    long k = ids.get(id);
    if (k < 0) file.defer(line, text);
    return k;
}

void add_arc(Section s, FileEntries& file, ArcEntry& e);

void read_arc_entry(Source& in, Section s, FileEntries& file) {
    ArcEntry e;
    e.line = scan.line;
    int join = (s == Section::TP || s == Section::PTP) ? '<' : '>';
    e.first = read_number(in);
    in.skip_inline_blanks();
    int c = in.get();
    if (c != join) {
        in.unget(c);
        syntax_error(join == '<' ? "'<' expected" : "'>' expected");
    }
    e.second = read_number(in);
    while (int f = next_field(in)) arc_field(in, f, e);
    add_arc(s, file, e);
}

// Arc entries read from the start of their lines in the plain form, as many
// as follow one another, up to and with their line breaks; false, with
// nothing read, when the next line has another form.
bool read_plain_arc(Source& in, Section s, FileEntries& file) {
    ArcEntry e;
    return in.plain_pairs(s == Section::TP ? '<' : '>', [&](long first, long second) {
        e.line = scan.line;
        e.first = first;
        e.second = second;
        add_arc(s, file, e);
    }) > 0;
}

// Resolves the ends of the entry e of the arc section s and files the arc.
void add_arc(Section s, FileEntries& file, ArcEntry& e) {
    const char* bad_place = "arc: incorrect place identifier";
    const char* bad_transition = "arc: incorrect transition identifier";
    const char* bad_phantom = "arc: incorrect phantom transition identifier";
    long place = -1, transition = -1;
    switch (s) {
    case Section::TP:
        transition = arc_end(file, file.trans_ids, e.first, e.line, bad_transition);
        if (transition >= 0) place = arc_end(file, file.place_ids, e.second, e.line, bad_place);
        break;
    case Section::PT:
        place = arc_end(file, file.place_ids, e.first, e.line, bad_place);
        if (place >= 0) transition = arc_end(file, file.trans_ids, e.second, e.line, bad_transition);
        break;
    case Section::PTP:
        // Phantom transitions and their arcs are checked, not put into the net.
        if (arc_end(file, file.phantom_ids, e.first, e.line, bad_phantom) >= 0)
            arc_end(file, file.place_ids, e.second, e.line, bad_place);
        return;
    default:
        if (arc_end(file, file.place_ids, e.first, e.line, bad_place) >= 0)
            arc_end(file, file.phantom_ids, e.second, e.line, bad_phantom);
        return;
    }
    if (place < 0 || transition < 0) return;
    VosLists& l = file.lists;
    VosArc a;
    a.place = static_cast<std::uint32_t>(place);
    a.transition = static_cast<std::uint32_t>(transition);
    a.weight = static_cast<std::int32_t>(e.weight);
    a.place_to_transition = s == Section::PT;
    l.arcs.push_back(a);
    if (vos_options.keep_extras) l.arc_extras.push_back(std::move(e.extras));
}

// The section that a keyword may open after section s, or None.
Section follows(Section s, Section k) {
    switch (s) {
    case Section::None: return (k == Section::BL || k == Section::PL) ? k : Section::None;
    case Section::BL: return k == Section::PL ? k : Section::None;
    case Section::PL: return k == Section::TR ? k : Section::None;
    case Section::TR: return (k == Section::PTR || k == Section::TP) ? k : Section::None;
    case Section::PTR: return k == Section::TP ? k : Section::None;
    case Section::TP: return k == Section::PT ? k : Section::None;
    case Section::PT: return (k == Section::PTP || k == Section::TX) ? k : Section::None;
    case Section::PTP: return k == Section::PPT ? k : Section::None;
    case Section::PPT: return k == Section::TX ? k : Section::None;
    default: return Section::None;
    }
}

// The keyword missing after section s when the file goes on with `word`
// (empty at the end of the file), or nullptr when that is acceptable there.
const char* missing_keyword(Section s, const std::string& word) {
    switch (s) {
    case Section::None:
    case Section::BL: return "keyword 'PL' expected";
    case Section::PL: return "keyword 'TR' expected";
    case Section::TR: return (!word.empty() && word[0] == 'P') ? "keyword 'PTR' expected" : "keyword 'TP' expected";
    case Section::PTR: return "keyword 'TP' expected";
    case Section::TP: return "keyword 'PT' expected";
    case Section::PT: return (!word.empty() && word[0] == 'P') ? "keyword 'PTP' expected" : nullptr;
    case Section::PTP: return "keyword 'PPT' expected";
    default: return nullptr;
    }
}

void read_entries(Source& in, FileEntries& file) {
    if (read_header_word(in) != "VOS") syntax_error("keyword 'VOS' expected");
    std::string& identifier = file.lists.identifier;
    identifier = read_header_word(in);
    if (identifier != "PetriBox" && identifier != "PlainNet" && identifier != "HLNet")
        syntax_error("format identifier ( 'PlainNet', 'PetriBox', 'HLNet' ) expected");
    file.box = identifier == "PetriBox";
    if (read_header_word(in).compare(0, 8, "FORMAT_N") != 0)
        syntax_error("keyword 'FORMAT_N' or 'FORMAT_N2' expected");
    in.skip_line();

    Section s = Section::None;
    std::string word;
    for (;;) {
        // Default lines stand before the first section.
        if (s == Section::None) {
            in.skip_inline_blanks();
            if (in.peek() == 'D') {
                std::string d;
                int c = in.get();
                while (c != EOF && std::isalpha(c)) {
                    d += static_cast<char>(c);
                    c = in.get();
                }
                in.unget(c);
                if (d != "DPL" && d != "DTR" && d != "DPT")
                    syntax_error("read_new_VOS(): unknown keyword '" + d + "'");
                in.skip_line();
                continue;
            }
        }
        // Plain node and arc lines, the bulk of a large file, go straight to
        // their entries.
        if ((s == Section::PL || s == Section::TR) && read_plain_node(in, s, file)) continue;
        if ((s == Section::TP || s == Section::PT) && read_plain_arc(in, s, file)) continue;
        LineKind kind = classify(in, word);
        if (kind == LineKind::End) {
            if (const char* m = missing_keyword(s, word)) syntax_error(m);
            return;
        }
        if (kind == LineKind::Skip) continue;
        if (kind == LineKind::Keyword) {
            Section next = follows(s, section_of(word));
            if (next != Section::None) {
                in.skip_line();
                if (s == Section::PL || s == Section::TR || s == Section::PTR) resolve_section(s, file);
                s = next;
                // Nets have a few arcs per node: room for two per node spares
                // the arc list most of its regrowth.
                if (s == Section::TP)
                    file.lists.arcs.reserve(2 * (file.lists.place_names.size() + file.lists.transition_names.size()));
                continue;
            }
            if (const char* m = missing_keyword(s, word)) syntax_error(m);
            // Otherwise the line is read as an entry of the section.
            for (std::size_t k = word.size(); k > 0; --k) in.unget(word[k - 1]);
            kind = LineKind::Entry;
        }
        if (s == Section::None && kind == LineKind::Empty) continue;
        switch (s) {
        case Section::None:
            syntax_error("keyword 'PL' expected");
        case Section::PL: case Section::TR: case Section::PTR:
            if (kind == LineKind::Empty) {
                in.unget('\n');
            }
            read_node_entry(in, s, file);
            in.skip_line();
            break;
        case Section::TP: case Section::PT: case Section::PTP: case Section::PPT:
            if (kind == LineKind::Empty) break;
            read_arc_entry(in, s, file);
            in.skip_line();
            break;
        case Section::BL: case Section::TX:
            if (kind == LineKind::Empty) break;
            while (int c = next_field(in)) {
                if (s == Section::BL) block_field(in, c);
                else text_field(in, c);
            }
            in.skip_line();
            break;
        default:
            break;
        }
    }
}

[[noreturn]] void error_at(int line, const std::string& text) {
    scan.line = line;
    syntax_error(text);
}

[[noreturn]] void cannot_open(const char* operation, const std::string& path) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: CM.%s(): could not open file '%s' for reading.\n", operation, path.c_str());
    std::fflush(stderr);
    std::exit(4);
}

}  // namespace

// ---------------------------------------------------------------------------
// readers

namespace {

// Reads the rest of the header of an opened file as read_VOS does; true for
// the newer format.  `identifier` receives the file identifier.
bool read_VOS_header(std::FILE* f, std::string& identifier) {
    // Each header word, with the line it stands on for the error messages.
    int line = 1;
    auto word = [&]() {
        std::ungetc(next_nonblank(f), f);
        line = scan.line;
        return read_word(f, 30);
    };
    auto fail = [&](const char* text) {
        scan.line = line;
        syntax_error(text);
    };
    if (word() != "VOS") fail("keyword 'VOS' expected");
    identifier = word();
    static const char* const known[] = {"PetriBox", "Net", "PlainNet", "CENet", "HLNet"};
    if (std::none_of(std::begin(known), std::end(known), [&](const char* k) { return identifier == k; }))
        fail("file identifier ( 'PlainNet', 'PetriBox', ... ) expected");
    std::string format = word();
    if (format.compare(0, 8, "FORMAT_N") == 0) return true;
    if (format != "FORMAT_A") fail("keyword 'FORMAT_A' expected");
    return false;
}

std::unique_ptr<VosLists> read_new_VOS_lists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) cannot_open(edition == Edition::Cosweep ? "read_VOS" : "read_new_VOS", path);
    scan.file = path;
    scan.line = 1;
    std::unique_ptr<VosLists> lists(new VosLists);
    lists->has_extras = vos_options.keep_extras;
    FileEntries file(*lists);
    {
        Source in(f);
        read_entries(in, file);
        bool failed = in.error();
        std::fclose(f);
        if (failed) syntax_error("read error");
    }
    if (file.failed) error_at(file.error_line, file.error_text);
    lists->file_order = vos_options.allow_block_mode && file.pl.positional && file.tr.positional;
    if (!lists->file_order) vos_options.allow_block_mode = false;   // off for the rest of the run
    return lists;
}

}  // namespace

NET* net_from_lists(VosLists& l) {
    std::unique_ptr<NET> net(new_net());
    net->identifier = l.identifier;
    net->has_extras = l.has_extras;
    std::vector<NET_NODE*> places, transitions;
    std::uint32_t components = 0;
    std::size_t place_label = 0, transition_label = 0;
    auto fill_place = [&](NET_NODE* p, std::size_t k) {
        const VosPlace& e = l.places[k];
        p->marking = e.marking;
        p->kind = e.kind;
        p->aux = e.component;
        components = std::max(components, p->aux);
        for (; place_label < l.place_labels.size() && l.place_labels[place_label].first == k; ++place_label)
            add_place_label(l.place_labels[place_label].second, p);
        if (l.has_extras) p->extras = std::move(l.place_extras[k]);
    };
    auto fill_transition = [&](NET_NODE* t, std::size_t k) {
        t->kind = 0;
        for (; transition_label < l.transition_labels.size() && l.transition_labels[transition_label].first == k;
             ++transition_label)
            add_transition_label(l.transition_labels[transition_label].second, t);
        if (l.has_extras) t->extras = std::move(l.transition_extras[k]);
    };
    // A label of a node that is not filled (a repeated name) is passed over.
    auto skip_labels = [](const auto& labels, std::size_t& cursor, std::size_t k) {
        while (cursor < labels.size() && labels[cursor].first == k) ++cursor;
    };

    places = l.file_order ? append_place_block(net.get(), l.place_names) : fast_insert_places(net.get(), l.place_names);
    l.place_names.release();
    transitions = l.file_order ? append_transition_block(net.get(), l.transition_names)
                               : fast_insert_transitions(net.get(), l.transition_names);
    l.transition_names.release();
    if (l.file_order) {
        for (std::size_t k = 0; k < places.size(); ++k) fill_place(places[k], k);
        for (std::size_t k = 0; k < transitions.size(); ++k) fill_transition(transitions[k], k);
    } else {
        renumber(net.get());
        // A name given twice denotes one node; its first entry describes it.
        auto fill_first = [&](const std::vector<NET_NODE*>& nodes, std::uint32_t count, const auto& labels,
                              std::size_t& cursor, const auto& fill) {
            std::vector<bool> seen(count + 1u, false);
            for (std::size_t k = 0; k < nodes.size(); ++k) {
                if (seen[nodes[k]->number]) {
                    skip_labels(labels, cursor, k);
                    continue;
                }
                seen[nodes[k]->number] = true;
                fill(nodes[k], k);
            }
        };
        fill_first(places, net->places, l.place_labels, place_label, fill_place);
        fill_first(transitions, net->transitions, l.transition_labels, transition_label, fill_transition);
    }
    net->components = std::max<std::uint32_t>(components, 1);
    // The node lists are done with; free them before the arcs are made.
    std::vector<VosPlace>().swap(l.places);

    std::vector<NewArc> arcs(l.arcs.size());
    for (std::size_t k = 0; k < l.arcs.size(); ++k) {
        const VosArc& e = l.arcs[k];
        NewArc& a = arcs[k];
        a.place = places[e.place];
        a.transition = transitions[e.transition];
        a.place_to_transition = e.place_to_transition;
        a.weight = e.weight;
        if (l.has_extras) a.extras = std::move(l.arc_extras[k]);
    }
    std::vector<VosArc>().swap(l.arcs);
    insert_arcs(net.get(), arcs);
    return net.release();
}

std::unique_ptr<VosLists> read_VOS_lists(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) cannot_open("read_VOS", path);
    scan.file = path;
    scan.line = 1;
    std::string identifier;
    const bool newer = read_VOS_header(f, identifier);
    std::fclose(f);
    return newer ? read_new_VOS_lists(path) : nullptr;
}

NET* read_new_VOS(const std::string& path) {
    std::unique_ptr<VosLists> lists = read_new_VOS_lists(path);
    return net_from_lists(*lists);
}

NET* read_VOS(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) cannot_open("read_VOS", path);
    scan.file = path;
    scan.line = 1;
    std::string identifier;
    if (read_VOS_header(f, identifier)) {
        std::fclose(f);
        return read_new_VOS(path);
    }
    NET* net = read_FORMAT_A(f, identifier);
    std::fclose(f);
    return net;
}

// ---------------------------------------------------------------------------
// writers

namespace {

// A name or text between double quotes, or between single quotes when it
// holds a double quote.
std::string quoted(const std::string& s) {
    char q = s.find('"') == std::string::npos ? '"' : '\'';
    return q + s + q;
}

class OutFile {
public:
    explicit OutFile(const std::string& path) : f_(outfile::open(path)) {
        scan.file = path;
        scan.line = 0;
        if (!f_) syntax_error("Could not open file for writing");
    }
    ~OutFile() {
        if (f_) std::fclose(f_);
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    std::FILE* get() const { return f_; }
    void put(const std::string& s) { std::fwrite(s.data(), 1, s.size(), f_); }
    // Closes the file; a failed write is reported, never passed over.
    void finish() {
        bool failed = std::ferror(f_) != 0;
        failed = (std::fclose(f_) != 0) || failed;
        f_ = nullptr;
        if (failed) syntax_error("Could not write file");
    }

private:
    std::FILE* f_;
};

const char kHeaderTail[] = "FORMAT_N\nDPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\nPL\n";

}  // namespace

std::string quoted_name(const std::string& s) {
    std::string out;
    std::size_t start = 0;
    while (start < s.size() || out.empty()) {
        std::size_t end = start;
        bool dq = false, sq = false;
        for (; end < s.size(); ++end) {
            bool d = dq || s[end] == '"', q = sq || s[end] == '\'';
            if (d && q) break;
            dq = d, sq = q;
        }
        out += quoted(s.substr(start, end - start));
        start = end;
    }
    return out;
}

void write_VOS(NET* net, const std::string& path) {
    scan.file = path;
    scan.line = 0;
    if (!net) syntax_error("Internal Error: no net to write");
    if (!net->has_extras) syntax_error("Internal Error: 'CM_storeCoordinates' not set");
    OutFile out(path);
    std::FILE* f = out.get();
    renumber(net);
    const std::string& id = net->identifier.empty() ? std::string("PlainNet") : net->identifier;
    const bool box = id == "PetriBox" || id == "HLNet";
    std::fprintf(f, "VOS\n%s\n%s", id.c_str(), kHeaderTail);
    static const NodeExtras none;
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        const NodeExtras& x = p->extras ? *p->extras : none;
        out.put(quoted_name(p->name));
        std::fprintf(f, "%d@%d", x.x, x.y);
        bool flagged = box && (p->kind == 1 || p->kind == 2);
        if (flagged) out.put(p->kind == 1 ? "e" : "x");
        // The reader gives an entry place of a PetriBox net its token itself;
        // every other marking is written.
        const bool restored = id == "PetriBox" && p->kind == 1;
        if (!x.label.empty()) out.put("b" + quoted(x.label));
        if (!x.reference.empty()) out.put("R" + quoted(x.reference));
        // High-level markings come before the low-level ones, which they
        // would otherwise discard when read back.
        if (!x.type.empty()) out.put("Z" + quoted(x.type));
        if (!x.hl_initial.empty()) out.put("z" + quoted(x.hl_initial));
        if (!x.hl_current.empty()) out.put("y" + quoted(x.hl_current));
        if (!restored && p->marking != 0) std::fprintf(f, "M%d", p->marking);
        if (x.current != 0) std::fprintf(f, "m%d", x.current);
        if (p->aux != 0) std::fprintf(f, "C%u", p->aux);
        if (!x.text.empty() && edition != Edition::Cosweep) out.put("T" + quoted(x.text));
        out.put("\n");
    }
    out.put("TR\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next) {
        const NodeExtras& x = t->extras ? *t->extras : none;
        out.put(quoted_name(t->name));
        std::fprintf(f, "%d@%d", x.x, x.y);
        if (!x.action.empty()) out.put("i" + quoted(x.action));
        if (!x.label.empty()) out.put("b" + quoted(x.label));
        if (!x.guard.empty()) out.put("g" + quoted(x.guard));
        if (!x.reference.empty()) out.put("R" + quoted(x.reference));
        if (!x.text.empty() && edition != Edition::Cosweep) out.put("T" + quoted(x.text));
        out.put("\n");
    }
    auto arc_fields = [&](NET_ARC* a) {
        if (a->extras && !a->extras->inscription.empty()) out.put("p" + quoted(a->extras->inscription));
        if (a->extras && a->extras->v != 0) std::fprintf(f, "v%u", a->extras->v);
        if (a->weight > 1) std::fprintf(f, "w%d", a->weight);
        out.put("\n");
    };
    out.put("TP\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next)
        for (NET_ARC* a = t->postset; a; a = a->t_next) {
            std::fprintf(f, "%u<%u", t->number, a->place->number);
            arc_fields(a);
        }
    out.put("PT\n");
    for (NET_NODE* p = net->first_place; p; p = p->next)
        for (NET_ARC* a = p->postset; a; a = a->p_next) {
            std::fprintf(f, "%u>%u", p->number, a->transition->number);
            arc_fields(a);
        }
    out.put("TX\n\n");
    out.finish();
}

void write_VOS_PlainNet(NET* net, const std::string& path, bool with_components) {
    scan.file = path;
    scan.line = 0;
    if (!net) syntax_error("Internal Error: no net to write");
    OutFile out(path);
    std::FILE* f = out.get();
    renumber(net);
    std::fprintf(f, "VOS\nPlainNet\n%s", kHeaderTail);
    for (NET_NODE* p = net->first_place; p; p = p->next) {
        long c = 10L * p->number + 20;
        out.put(quoted_name(p->name));
        std::fprintf(f, "%ld@%ld", c, c);
        if (p->marking != 0 && edition == Edition::Cosweep) std::fprintf(f, "M%d", p->marking);
        else if (p->marking != 0) std::fprintf(f, "m%dM%d", p->marking, p->marking);
        if (with_components && p->aux != 0 && edition != Edition::Cosweep) std::fprintf(f, "C%u", p->aux);
        out.put("\n");
    }
    out.put("TR\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next) {
        out.put(quoted_name(t->name));
        std::fprintf(f, "%ld@%ld\n", 10L * t->number + 160, 10L * t->number + 20);
    }
    out.put("TP\n");
    for (NET_NODE* t = net->first_transition; t; t = t->next)
        for (NET_ARC* a = t->postset; a; a = a->t_next) {
            std::fprintf(f, "%u<%u", t->number, a->place->number);
            if (a->weight > 1) std::fprintf(f, "w%d", a->weight);
            out.put("\n");
        }
    out.put("PT\n");
    for (NET_NODE* p = net->first_place; p; p = p->next)
        for (NET_ARC* a = p->postset; a; a = a->p_next) {
            std::fprintf(f, "%u>%u", p->number, a->transition->number);
            if (a->weight > 1) std::fprintf(f, "w%d", a->weight);
            out.put("\n");
        }
    out.put("TX\n\n");
    out.finish();
}

}  // namespace netlib
