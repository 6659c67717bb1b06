#include "dlbacktrack_prefix.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

namespace dlbacktrack {

void NetDeleter::operator()(netlib::NET* net) const {
    netlib::delete_net(net);
}

namespace {

constexpr std::size_t kMaxName = 300;   // longest name kept; the rest of a name is dropped

std::string format(const char* fmt, const std::string& a) {
    std::string out;
    for (const char* p = fmt; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += a;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string event_name(std::uint32_t n) { return "E" + std::to_string(n); }
std::string condition_name(std::uint32_t n) { return "B" + std::to_string(n); }

// Reads a whole file; false when it cannot be opened.
bool slurp(const std::string& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data.clear();
    char buf[1 << 16];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        data.append(buf, static_cast<std::size_t>(in.gcount()));
    return !in.bad();   // a directory opens but cannot be read
}

// Interns transition names so that each event holds an index, not a copy.
class LabelTable {
public:
    explicit LabelTable(std::vector<std::string>& labels) : labels_(labels) {}
    std::uint32_t intern(const std::string& name) {
        auto it = index_.find(name);
        if (it != index_.end()) return it->second;
        auto id = static_cast<std::uint32_t>(labels_.size());
        labels_.push_back(name);
        index_.emplace(name, id);
        return id;
    }
private:
    std::vector<std::string>& labels_;
    std::unordered_map<std::string, std::uint32_t> index_;
};

// Appends a name to the configuration list unless it is there already.
class NameCollector {
public:
    explicit NameCollector(std::vector<std::string>& names) : names_(names) {}
    void add(const std::string& name) {
        if (seen_.insert(name).second) names_.push_back(name);
    }
private:
    std::vector<std::string>& names_;
    std::unordered_set<std::string> seen_;
};

// ---------------------------------------------------------------------------
// Token routines of the ".unf" reader, over the file's text in memory.
class UnfScanner {
public:
    UnfScanner(const std::string& text, const std::string& file) : text_(text), file_(file) {}

    int get() {
        if (pos_ >= text_.size()) { ++pos_; return EOF; }
        int c = static_cast<unsigned char>(text_[pos_++]);
        if (c == '\n') ++line_;
        return c;
    }
    void unget(int c) {
        --pos_;
        if (c == '\n') --line_;
    }

    [[noreturn]] void error(const std::string& message) const {
        throw ReadError(ReadError::Kind::Syntax, message, file_, line_);
    }

    // Reads blanks and tabs and returns the first other character.
    int SkipBlankTab() {
        int c;
        do c = get(); while (c == ' ' || c == '\t');
        return c;
    }
    // Next character after blanks and tabs: consumed when it is ch.
    bool test_char(int ch) {
        int c = SkipBlankTab();
        if (c == ch) return true;
        unget(c);
        return false;
    }
    // Next character after all white space must be ch.
    void expect_char(int ch) {
        int c;
        do c = get(); while (c != EOF && std::isspace(c));
        if (c == ch) return;
        char buf[80];
        if (c == EOF)
            std::snprintf(buf, sizeof buf, "'%c' expected, but end of file was found", ch);
        else
            std::snprintf(buf, sizeof buf, "'%c' expected, but '%c' was found", ch, c);
        error(buf);
    }
    void skip_lines(int n) {
        for (int i = 0; i < n; ++i) {
            int c;
            do c = get(); while (c != '\n' && c != EOF);
            if (c == EOF) return;
        }
    }
    // A word up to white space or ',' after any white space (at most n characters kept).
    std::string read_word(std::size_t n) {
        int c;
        do c = get(); while (c != EOF && std::isspace(c));
        std::string w;
        while (c != EOF && !std::isspace(c) && c != ',') {
            if (w.size() < n) w += static_cast<char>(c);
            c = get();
        }
        if (c == ',') unget(c);
        return w;
    }
    // A name: an optional '^' and a run of non-blank characters.  Inside the
    // tables a name ends at white space only, so names such as "p_1" are read
    // whole; inside the cut-off and configuration lists (`in_list`) it also
    // ends at ',', '.', '(' and ')'.  At most kMaxName characters are kept.
    std::string ReadString(bool in_list) {
        std::string s;
        int c = SkipBlankTab();
        if (c == '^') {
            s += '^';
            c = SkipBlankTab();
        }
        auto name_char = [in_list](int ch) {
            if (ch == EOF || std::isspace(ch)) return false;
            return !in_list || (ch != ',' && ch != '.' && ch != '(' && ch != ')');
        };
        if (!name_char(c)) error("ReadString(): alphanumerische Zeichenkette erwartet");
        while (name_char(c)) {
            if (s.size() < kMaxName) s += static_cast<char>(c);
            c = get();
        }
        unget(c);
        return s;
    }
    std::uint32_t ReadNum() {
        int c = SkipBlankTab();
        if (c == '-') c = get();
        if (c == EOF || !std::isdigit(c)) error("ReadNum(): Ziffer erwartet");
        std::uint64_t v = 0;
        while (c != EOF && std::isdigit(c)) {
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
            if (v > 0xFFFFFFFFu) error("ReadNum(): Zahl zu gross");
            c = get();
        }
        if (c != ' ') unget(c);
        return static_cast<std::uint32_t>(v);
    }
    bool NumberAhead() {
        int c = SkipBlankTab();
        if (c == '-') c = get();
        if (c != EOF && std::isdigit(c)) {
            unget(c);
            return true;
        }
        return false;
    }
    int SkipToSeparator() {
        int c;
        do c = get(); while (c != ',' && c != '.' && c != EOF);
        if (c == EOF) return c;
        int d = get();
        if (d != '\n') unget(d);
        return c;
    }
    // "(k)" with the kind letter of a condition; '-' stands for kinds above 4.
    int ReadPlaceLabel() {
        expect_char('(');
        int c = get();
        static const char letters[] = "0exid";
        int kind = -1;
        for (int k = 0; k < 5; ++k)
            if (c == letters[k]) kind = k;
        if (c == '-') kind = 5;
        if (kind < 0) error("ReadPlaceLabel(): Unbekanntes Stellen-Label");
        expect_char(')');
        return kind;
    }
    // "-->" after blanks and tabs: consumed when present.
    bool arrow_ahead() {
        int c = SkipBlankTab();
        if (c != '-') {
            unget(c);
            return false;
        }
        if (get() != '-' || get() != '>') error("'-->' expected");
        return true;
    }

private:
    const std::string& text_;
    const std::string& file_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// Checks the flow relation of the events against the condition records.
void check_presets(const std::vector<std::uint32_t>& preset_count, UnfScanner* scanner,
                   const std::string& file) {
    for (std::size_t e = 1; e < preset_count.size(); ++e) {
        if (preset_count[e] != 0) continue;
        std::string message = "Ereignis " + event_name(static_cast<std::uint32_t>(e)) +
                              " hat keine Vorbedingung";
        if (scanner) scanner->error("readUNF(): " + message);
        throw ReadError(ReadError::Kind::Fatal, "readMCI(): " + message + " in '" + file + "'");
    }
}

}  // namespace

// ---------------------------------------------------------------------------
PrefixFile readUNF_data(const std::string& text, const std::string& name) {
    UnfScanner s(text, name);
    PrefixFile pf;
    LabelTable labels(pf.labels);
    netlib::NET* net = nullptr;

    s.skip_lines(7);
    std::uint32_t conditions = s.ReadNum();
    if (conditions == 0) s.error("readUNF(): Netz enthaelt keine Bedingungen");
    pf.net.reset(netlib::new_net());
    net = pf.net.get();
    s.skip_lines(1);
    std::uint32_t events = s.ReadNum();
    s.skip_lines(5);

    std::vector<netlib::NET_NODE*> event_nodes(1, nullptr);
    pf.event_label.assign(1, 0);
    for (std::uint32_t k = 1; k <= events; ++k) {
        std::uint32_t n = s.ReadNum();
        if (n != k) s.error("readUNF(): Ereignis Nummer " + std::to_string(k) + " erwartet");
        s.expect_char('.');
        std::string ename = s.ReadString(false);
        if (net->transitions > 0 && netlib::find_T(net, ename))
            s.error("readUNF(): Ereignis '" + ename + "' mehrfach vorhanden");
        event_nodes.push_back(netlib::append_transition(net, ename));
        pf.event_label.push_back(labels.intern(s.ReadString(false)));
        s.skip_lines(1);
    }
    pf.cutoff.assign(events + 1, 0);

    auto check_event = [&](std::uint32_t e) {
        if (e == 0 || e > events)
            s.error("readUNF(): Ereignis " + std::to_string(e) + " existiert nicht");
    };
    std::vector<std::uint32_t> preset_count(events + 1, 0);
    s.skip_lines(3);
    for (std::uint32_t k = 1; k <= conditions; ++k) {
        std::uint32_t first = s.ReadNum();
        std::uint32_t pre = 0;
        if (s.arrow_ahead()) {
            pre = first;
            check_event(pre);
            s.ReadNum();   // the condition's own number
        }
        s.expect_char('.');
        s.ReadPlaceLabel();
        s.expect_char('<');
        s.ReadNum();
        s.expect_char('>');
        std::string cname = s.ReadString(false);
        netlib::NET_NODE* cond = netlib::append_place(net, cname, 0);
        s.ReadString(false);   // the place of the unfolded net
        if (pre) netlib::append_TP_arc(net, event_nodes[pre], cond, 1);
        if (s.arrow_ahead()) {
            std::uint32_t last = pre;
            do {
                std::uint32_t e = s.ReadNum();
                check_event(e);
                if (e <= last)
                    s.error("readUNF(): Nachereignisse von " + cname +
                            " nicht aufsteigend oder vor dem Vorereignis");
                last = e;
                netlib::append_PT_arc(net, cond, event_nodes[e], 1);
                ++preset_count[e];
            } while (s.test_char(','));
        }
        s.skip_lines(1);
    }
    check_presets(preset_count, &s, name);

    s.skip_lines(1);
    if (!s.NumberAhead()) s.error("readUNF(): Anzahl der Cutoff-Ereignisse erwartet");
    std::uint32_t k = s.ReadNum();
    if (k > 0) {
        if (s.read_word(kMaxName) != "cutoff") s.error("readUNF(): 'cutoff' erwartet");
        pf.cutoff_count = k;
        s.skip_lines(1);
        for (std::uint32_t i = 0; i < k; ++i) {
            std::string cname = s.ReadString(true);
            netlib::NET_NODE* ev = net->transitions > 0 ? netlib::find_T(net, cname) : nullptr;
            if (!ev) s.error("readUNF(): Cutoff-Ereignis '" + cname + "' existiert nicht");
            pf.cutoff[ev->number] = 1;
            // Skips the corresponding event; the list ends with '.'.
            int sep = s.SkipToSeparator();
            if (sep != (i + 1 < k ? ',' : '.')) s.error("readUNF(): Cutoff-Liste unvollstaendig");
        }
    } else {
        s.skip_lines(2);
    }

    if (pf.cutoff_count == 0) {
        s.skip_lines(1);
        if (s.NumberAhead()) {
            std::uint32_t count = s.ReadNum();
            if (s.read_word(kMaxName) == "maximal") {
                s.skip_lines(1);
                NameCollector names(pf.config_names);
                if (count > 0) {
                    // The first configuration; an empty one is a lone '.'.
                    if (!s.test_char('.')) {
                        int sep;
                        do {
                            names.add(s.ReadString(true));
                            sep = s.SkipToSeparator();
                        } while (sep == ',');
                    }
                }
            }
        }
    }
    return pf;
}

PrefixFile readUNF(const std::string& path) {
    if (path.empty()) throw ReadError(ReadError::Kind::Fatal, "readUNF(): Dateiname fehlt");
    std::string text;
    if (!slurp(path, text))
        throw ReadError(ReadError::Kind::Fatal,
                        format("readUNF(): kann Datei nicht oeffnen: '%s'", path));
    return readUNF_data(text, path);
}

// ---------------------------------------------------------------------------
namespace {

// Little-endian 32-bit values of a ".mci" file, every read checked.
class MciCursor {
public:
    MciCursor(const std::string& data, const std::string& file) : data_(data), file_(file) {}

    std::uint32_t u32() {
        if (data_.size() - pos_ < 4) truncated();
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(data_[pos_ + static_cast<std::size_t>(i)]);
        pos_ += 4;
        return v;
    }
    // A NUL-terminated string.
    std::string cstring() {
        std::size_t end = data_.find('\0', pos_);
        if (end == std::string::npos) truncated();
        std::string s = data_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return s;
    }
    std::size_t remaining() const { return data_.size() - pos_; }

    [[noreturn]] void truncated() const {
        throw ReadError(ReadError::Kind::Fatal,
                        format("readMCI(): Datei '%s' ist unvollstaendig", file_));
    }
    [[noreturn]] void malformed(const std::string& what) const {
        throw ReadError(ReadError::Kind::Fatal,
                        format("readMCI(): Datei '%s' ist fehlerhaft: ", file_) + what);
    }

private:
    const std::string& data_;
    const std::string& file_;
    std::size_t pos_ = 0;
};

}  // namespace

PrefixFile readMCI_data(const std::string& data, const std::string& name) {
    MciCursor in(data, name);
    PrefixFile pf;

    std::uint32_t conditions = in.u32();
    if (conditions == 0)
        throw ReadError(ReadError::Kind::Fatal, "readMCI(): Netz enthaelt keine Bedingungen");
    std::uint32_t events = in.u32();
    // Every event takes 4 bytes and every condition record at least 12, so a
    // count that the file cannot hold is caught before anything is allocated.
    if (static_cast<std::uint64_t>(events) * 4 + static_cast<std::uint64_t>(conditions) * 12 >
        in.remaining())
        in.truncated();

    pf.net.reset(netlib::new_net());
    netlib::NET* net = pf.net.get();
    std::vector<std::uint32_t> trans_of(events + 1, 0);
    std::vector<netlib::NET_NODE*> event_nodes(events + 1, nullptr);
    for (std::uint32_t i = 1; i <= events; ++i) {
        trans_of[i] = in.u32();
        event_nodes[i] = netlib::append_transition(net, event_name(i));
    }
    pf.cutoff.assign(events + 1, 0);

    auto check_event = [&](std::uint32_t e, const char* what) {
        if (e == 0 || e > events)
            in.malformed(std::string(what) + " " + std::to_string(e) + " existiert nicht");
    };
    std::vector<std::uint32_t> preset_count(events + 1, 0);
    pf.condition_place.assign(conditions + 1, 0);
    for (std::uint32_t i = 1; i <= conditions; ++i) {
        netlib::NET_NODE* cond = netlib::append_place(net, condition_name(i), 0);
        pf.condition_place[i] = in.u32();   // the place of the unfolded net
        std::uint32_t pre = in.u32();
        if (pre != 0) {
            check_event(pre, "Vorereignis");
            netlib::append_TP_arc(net, event_nodes[pre], cond, 1);
        }
        std::uint32_t last = pre;
        for (std::uint32_t e = in.u32(); e != 0; e = in.u32()) {
            check_event(e, "Nachereignis");
            if (e <= last)
                in.malformed("Nachereignisse von " + condition_name(i) +
                             " nicht aufsteigend oder vor dem Vorereignis");
            last = e;
            netlib::append_PT_arc(net, cond, event_nodes[e], 1);
            ++preset_count[e];
        }
    }
    check_presets(preset_count, nullptr, name);

    // Cut-off pairs in detection order; every listed event is marked.
    for (std::uint32_t e = in.u32(); e != 0; e = in.u32()) {
        check_event(e, "Cutoff-Ereignis");
        std::uint32_t corresponding = in.u32();
        if (corresponding > events) check_event(corresponding, "korrespondierendes Ereignis");
        pf.cutoff[e] = 1;
        ++pf.cutoff_count;
    }

    // Maximal configurations; only the first is kept, and only without cut-offs.
    NameCollector names(pf.config_names);
    bool first = true;
    for (std::uint32_t e = in.u32(); e != 0; e = in.u32()) {
        bool keep = first && pf.cutoff_count == 0;
        for (; e != 0; e = in.u32()) {
            check_event(e, "Konfigurationsereignis");
            if (keep) names.add(event_name(e));
        }
        first = false;
    }

    // Name block: places, transitions, longest name, then the two name lists,
    // each closed by an empty name.
    std::uint32_t places = in.u32();
    std::uint32_t transitions = in.u32();
    in.u32();   // longest name length: a bound only
    if (static_cast<std::uint64_t>(places) + transitions + 2 > in.remaining()) in.truncated();
    pf.place_names.reserve(places);
    for (std::uint32_t i = 0; i < places; ++i) pf.place_names.push_back(in.cstring());
    if (!in.cstring().empty()) in.malformed("Stellennamen nicht abgeschlossen");
    pf.labels.reserve(transitions);
    for (std::uint32_t i = 0; i < transitions; ++i) pf.labels.push_back(in.cstring());
    if (!in.cstring().empty()) in.malformed("Transitionsnamen nicht abgeschlossen");

    pf.event_label.assign(events + 1, 0);
    for (std::uint32_t i = 1; i <= events; ++i) {
        if (trans_of[i] == 0 || trans_of[i] > transitions)
            in.malformed("Transition " + std::to_string(trans_of[i]) + " von " + event_name(i) +
                         " existiert nicht");
        pf.event_label[i] = trans_of[i] - 1;
    }
    return pf;
}

PrefixFile readMCI(const std::string& path) {
    if (path.empty()) throw ReadError(ReadError::Kind::Fatal, "readMCI(): Dateiname fehlt");
    std::string data;
    if (!slurp(path, data))
        throw ReadError(ReadError::Kind::Fatal,
                        format("readMCI(): kann Datei nicht oeffnen: '%s'", path));
    return readMCI_data(data, path);
}

}  // namespace dlbacktrack
