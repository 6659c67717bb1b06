// The ".unf" reader.  The text form is found by fixed line counts and by the
// words "cutoff" and "maximal": 7 lines of header before the condition
// count, 5 before the event table, 3 before the condition table.  Event and
// condition numbers must follow one another; names are runs of non-blank
// characters (inside the cut-off and configuration lists they also end at
// ',', '.', '(' and ')'), of which at most 300 characters are kept.
#include <cctype>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "input.h"
#include "prefix_checks.h"

namespace prefixfile {

namespace {

constexpr std::size_t kMaxName = 300;   // longest name kept; the rest of a name is dropped

// Token routines over the text, with one character of push-back and the
// line count of the scanner.
class UnfScanner {
public:
    UnfScanner(detail::ByteInput& in, const std::string& file) : in_(in), file_(file) {}

    int get() {
        int c;
        if (pushed_ != kNone) {
            c = pushed_;
            pushed_ = kNone;
        } else {
            c = in_.get();
        }
        if (c == '\n') ++line_;
        return c;
    }
    void unget(int c) {
        pushed_ = c;
        if (c == '\n') --line_;
    }

    [[noreturn]] void error(const std::string& message) const {
        if (in_.failed())
            throw ReadError(Failure::ReadFailed, "readUNF(): Lesefehler in Datei '" + file_ + "'");
        throw ReadError(Failure::Syntax, message, file_, line_);
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
    // A name: an optional '^' and a run of non-blank characters; in a list
    // (`in_list`) it also ends at ',', '.', '(' and ')'.
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
    // Reads up to ',' or '.' (or the end); the characters before it are
    // kept in `skipped`.  A line end after the separator is consumed.
    int SkipToSeparator(std::string* skipped = nullptr) {
        int c;
        for (c = get(); c != ',' && c != '.' && c != EOF; c = get())
            if (skipped && skipped->size() < kMaxName + 8) *skipped += static_cast<char>(c);
        if (c == EOF) return c;
        int d = get();
        if (d != '\n') unget(d);
        return c;
    }
    // "(k)" with the kind letter of a condition; '-' stands for kinds above 4.
    void ReadPlaceLabel() {
        expect_char('(');
        int c = get();
        static const char letters[] = "0exid-";
        bool known = false;
        for (const char* l = letters; *l; ++l) known = known || c == *l;
        if (!known) error("ReadPlaceLabel(): Unbekanntes Stellen-Label");
        expect_char(')');
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
    static constexpr int kNone = -2;
    detail::ByteInput& in_;
    const std::string& file_;
    int pushed_ = kNone;
    int line_ = 1;
};

// Names of the unfolded net, numbered in order of first appearance.
class Interner {
public:
    explicit Interner(NameTable& table) : table_(table) {}
    std::uint32_t operator()(const std::string& name) {
        const std::uint32_t known = table_.find(name);
        return known ? known : table_.add(name);
    }

private:
    NameTable& table_;
};

Prefix read(detail::ByteInput& in, const std::string& name) {
    UnfScanner s(in, name);
    Prefix p;
    Interner transition(p.transitions), place(p.places);

    s.skip_lines(7);
    const std::uint32_t conditions = s.ReadNum();
    if (conditions == 0) s.error("readUNF(): Netz enthaelt keine Bedingungen");
    s.skip_lines(1);
    const std::uint32_t events = s.ReadNum();
    s.skip_lines(5);
    p.conditions = conditions;
    p.events = events;

    // Events: number, '.', name, label.
    std::unordered_map<std::string, std::uint32_t> event_of;
    p.event_names.assign(1, "");
    p.event_transition.assign(1, 0);
    for (std::uint32_t k = 1; k <= events; ++k) {
        std::uint32_t n = s.ReadNum();
        if (n != k) s.error("readUNF(): Ereignis Nummer " + std::to_string(k) + " erwartet");
        s.expect_char('.');
        std::string ename = s.ReadString(false);
        if (!event_of.emplace(ename, k).second) s.error("readUNF(): Ereignis '" + ename + "' mehrfach vorhanden");
        p.event_names.push_back(std::move(ename));
        p.event_transition.push_back(transition(s.ReadString(false)));
        s.skip_lines(1);
    }

    // Conditions: [pre-event "-->"] number '.' (kind) <component> name place [--> post-events].
    auto check_event = [&](std::uint32_t e) {
        if (e == 0 || e > events) s.error("readUNF(): Ereignis " + std::to_string(e) + " existiert nicht");
    };
    s.skip_lines(3);
    p.condition_place.assign(1, 0);
    p.condition_pre.assign(1, 0);
    p.consumers.offset.assign(2, 0);
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
        const std::string cname = s.ReadString(false);
        p.condition_place.push_back(place(s.ReadString(false)));
        p.condition_pre.push_back(pre);
        if (s.arrow_ahead()) {
            std::uint32_t last = pre;
            do {
                std::uint32_t e = s.ReadNum();
                check_event(e);
                if (e <= last)
                    s.error("readUNF(): Nachereignisse von " + cname + " nicht aufsteigend oder vor dem Vorereignis");
                last = e;
                p.consumers.items.push_back(e);
            } while (s.test_char(','));
        }
        p.consumers.offset.push_back(static_cast<std::uint32_t>(p.consumers.items.size()));
        s.skip_lines(1);
    }
    detail::build_event_relations(p);
    if (std::string fault = detail::event_without_preset(p); !fault.empty()) s.error("readUNF(): " + fault);

    // "k cutoff events": k names, each with its corresponding event in
    // parentheses; a name that names no event is counted and marks nothing.
    p.cutoff.assign(std::size_t(events) + 1, 0);
    s.skip_lines(1);
    if (!s.NumberAhead()) s.error("readUNF(): Anzahl der Cutoff-Ereignisse erwartet");
    const std::uint32_t k = s.ReadNum();
    if (k > 0) {
        if (s.read_word(kMaxName) != "cutoff") s.error("readUNF(): 'cutoff' erwartet");
        p.cutoff_entries = k;
        s.skip_lines(1);
        for (std::uint32_t i = 0; i < k; ++i) {
            const std::string cname = s.ReadString(true);
            std::string rest;
            const int sep = s.SkipToSeparator(&rest);
            if (sep != (i + 1 < k ? ',' : '.')) s.error("readUNF(): Cutoff-Liste unvollstaendig");
            auto it = event_of.find(cname);
            if (it == event_of.end()) continue;
            const std::uint32_t e = it->second;
            // "(name)", "(@name)" or "(start marking)".
            std::size_t open = rest.find('('), close = rest.rfind(')');
            if (open != std::string::npos && close != std::string::npos && close > open) {
                std::string corresponding = rest.substr(open + 1, close - open - 1);
                if (!corresponding.empty() && corresponding[0] == '@') corresponding.erase(0, 1);
                if (corresponding == cname)
                    s.error("readUNF(): Cutoff-Ereignis '" + cname + "' ist sein eigenes korrespondierendes Ereignis");
            }
            if (p.cutoff[e]) s.error("readUNF(): Cutoff-Ereignis '" + cname + "' mehrfach aufgefuehrt");
            p.cutoff[e] = 1;
            p.cutoffs.emplace_back(e, 0);
        }
    } else {
        s.skip_lines(2);
    }
    if (std::string fault = detail::consumed_behind_cutoff(p); !fault.empty()) s.error("readUNF(): " + fault);

    // The first maximal configuration, when no cut-off is listed.
    if (p.cutoff_entries == 0) {
        s.skip_lines(1);
        if (s.NumberAhead()) {
            const std::uint32_t count = s.ReadNum();
            if (s.read_word(kMaxName) == "maximal") {
                s.skip_lines(1);
                // The first configuration; an empty one is a lone '.'.
                if (count > 0 && !s.test_char('.')) {
                    std::vector<std::uint8_t> taken(std::size_t(events) + 1, 0);
                    int sep;
                    do {
                        auto it = event_of.find(s.ReadString(true));
                        if (it != event_of.end() && !taken[it->second]) {
                            taken[it->second] = 1;
                            p.first_configuration.push_back(it->second);
                        }
                        sep = s.SkipToSeparator();
                    } while (sep == ',');
                }
            }
        }
    }
    if (in.failed()) s.error("");
    return p;
}

}  // namespace

Prefix read_unf_text(std::string_view text, const std::string& name) {
    detail::ByteInput in(text);
    return read(in, name);
}

Prefix read_unf(const std::string& path) {
    if (path.empty()) throw ReadError(Failure::NoName, "readUNF(): Dateiname fehlt");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(open_for_reading(path, false), &std::fclose);
    if (!f) throw ReadError(Failure::CannotOpen, "readUNF(): kann Datei nicht oeffnen: '" + path + "'");
    detail::ByteInput in(f.get());
    return read(in, path);
}

}  // namespace prefixfile
