// Readers of flatnet's inputs: the high-level net through the M-net
// library's section reader, and the front ends' reference files through its
// token routines.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <unordered_map>

#include "failure.h"
#include "hlnet.h"
#include "mnet_base.h"
#include "mnet_sections.h"

namespace flatnet {

namespace {

// While a reader runs, the token routines and the section reader report
// their errors as flatnet's syntax failures.
class ErrorHookScope {
public:
    ErrorHookScope() : saved_(mnet::error_hook) {
        mnet::error_hook = [](const std::string& message) { syntax_failure(message); };
    }
    ~ErrorHookScope() { mnet::error_hook = saved_; }
    ErrorHookScope(const ErrorHookScope&) = delete;
    ErrorHookScope& operator=(const ErrorHookScope&) = delete;

private:
    mnet::ErrorHook saved_;
};

// ---------------------------------------------------------------------------
// High-level net.

// The variables one entry of a section fills.  Every field letter of the
// section that the handler does not read goes to a sink, so that the
// entry's canonical text holds only its leading numbers: an explicit 0 can
// then be told from a missing identifier.
struct Entry {
    std::optional<std::string> name, label, blocks, type, initial, current, reference, sync, guard, action,
        inscription;
    std::optional<mnet::NumberPair> pair;
    std::int32_t entry_flags = 0, exit_flags = 0, v = 0;
    std::string text;

    std::optional<std::string> string_sink;
    std::optional<mnet::NumberPair> pair_sink;
    std::int32_t number_sink = 0;

    // The last leading number of the entry, if any.
    std::optional<std::int64_t> identifier() const {
        std::optional<std::int64_t> id;
        std::size_t i = 0;
        while (i < text.size()) {
            std::size_t end = text.find(' ', i);
            if (end == std::string::npos) end = text.size();
            if (end > i) id = std::stoll(text.substr(i, end - i));
            i = end + 1;
        }
        return id;
    }
};

const mnet::SectionDescription& description(const std::string& keyword) {
    for (const mnet::SectionDescription& d : mnet::any_net_sections())
        if (d.keyword == keyword) return d;
    throw std::logic_error("no section " + keyword);
}

mnet::SectionHandler make_handler(const std::string& keyword, Entry& e, std::function<int()> callback) {
    mnet::SectionHandler h;
    h.keyword = keyword;
    h.callback = std::move(callback);
    h.text = &e.text;
    std::unordered_map<char, void*> wanted = {
        {'"', &e.name},        {'\'', &e.name},      {'@', &e.pair},     {'b', &e.label},
        {'u', &e.blocks},      {'R', &e.reference},  {'v', &e.v},        {'p', &e.inscription},
    };
    if (keyword == "PL") {
        wanted.insert({{'Z', &e.type}, {'z', &e.initial}, {'y', &e.current}, {'e', &e.entry_flags},
                       {'x', &e.exit_flags}});
    } else if (keyword == "TR" || keyword == "PTR") {
        wanted.insert({{'P', &e.sync}, {'g', &e.guard}, {'i', &e.action}});
    }
    for (const mnet::SectionField& f : description(keyword).fields) {
        if (f.letter == '0') continue;
        auto it = wanted.find(f.letter);
        void* target = it != wanted.end() ? it->second
                       : f.type == mnet::SF_STRING ? static_cast<void*>(&e.string_sink)
                       : f.type == mnet::SF_PAIR   ? static_cast<void*>(&e.pair_sink)
                                                   : static_cast<void*>(&e.number_sink);
        h.targets.push_back({f.letter, target});
    }
    return h;
}

// Node numbers: entries without a number are numbered by their position
// while every number given so far equalled its entry's position.
class Numbering {
public:
    Numbering(const char* prefix, bool places) : prefix_(prefix), places_(places) {}

    template <class List>
    std::uint32_t next(const Entry& e, const List& list) {
        ++position_;
        std::optional<std::int64_t> id = e.identifier();
        if (!id) {
            if (!automatic_) syntax_failure(places_ ? "missing place identifier" : "missing transition identifier");
            id = position_;
        } else if (*id != static_cast<std::int64_t>(position_)) {
            automatic_ = false;
        }
        if (*id < 1 || *id > 0xffffffffLL)
            syntax_failure(places_ ? format("invalid place identifier %lld", static_cast<long long>(*id))
                                   : format("invalid %stransition identifier %lld", prefix_,
                                            static_cast<long long>(*id)));
        if (list.count(static_cast<std::uint32_t>(*id)))
            syntax_failure(places_ ? format("place identifier %lld used twice", static_cast<long long>(*id))
                                   : format("%stransition identifier %lld used twice", prefix_,
                                            static_cast<long long>(*id)));
        return static_cast<std::uint32_t>(*id);
    }

private:
    const char* prefix_;
    bool places_;
    bool automatic_ = true;
    std::uint32_t position_ = 0;
};

// An empty text reads as none.
std::optional<std::string> non_empty(const std::optional<std::string>& s) {
    return s && !s->empty() ? s : std::nullopt;
}

void read_place(HLNet& net, const Entry& e, Numbering& numbering, PlaceCursor& cursor) {
    std::uint32_t number = numbering.next(e, net.places);
    HLPlace& p = M_fast_insert_place(net, number, cursor);
    p.name = e.name ? *e.name : format("P%u", number);
    if (e.pair) {
        p.x = e.pair->first;
        p.y = e.pair->second;
    }
    p.kind = e.entry_flags ? 1 : e.exit_flags ? 2 : 0;
    p.v = e.v;
    p.label = e.label.value_or("");
    p.reference = e.reference.value_or("");
    p.blocks = e.blocks.value_or("");
    p.type_text = non_empty(e.type);
    p.initial_text = non_empty(e.initial);
    p.current_text = non_empty(e.current);
}

void read_transition(std::map<std::uint32_t, HLTransition>& list, const Entry& e, Numbering& numbering,
                     TransitionCursor& cursor, const char* default_prefix) {
    std::uint32_t number = numbering.next(e, list);
    HLTransition& t = M_fast_insert_transition(list, number, cursor);
    t.name = e.name ? *e.name : format("%s%u", default_prefix, number);
    if (e.pair) {
        t.x = e.pair->first;
        t.y = e.pair->second;
    }
    t.v = e.v;
    t.label = e.label.value_or("");
    t.reference = e.reference.value_or("");
    t.blocks = e.blocks.value_or("");
    t.guard = non_empty(e.guard).value_or("tt");
    t.action = e.action.value_or("");
    t.sync = e.sync;
}

// TP and PTP entries name the transition first, PT and PPT the place.
void read_arc(HLNet& net, const Entry& e, bool to_place, bool phantom) {
    const std::int32_t first = e.pair ? e.pair->first : 0, second = e.pair ? e.pair->second : 0;
    const std::int32_t place_id = to_place ? second : first, trans_id = to_place ? first : second;
    auto p = place_id > 0 ? net.places.find(static_cast<std::uint32_t>(place_id)) : net.places.end();
    if (p == net.places.end()) syntax_failure("arc: incorrect place identifier");
    auto& list = phantom ? net.phantoms : net.transitions;
    auto t = trans_id > 0 ? list.find(static_cast<std::uint32_t>(trans_id)) : list.end();
    if (t == list.end()) syntax_failure(format("arc: incorrect %stransition identifier", phantom ? "phantom " : ""));
    if (!e.inscription) syntax_failure("arc: missing arc annotation");
    HLArc& a = to_place ? fast_insert_TP_edge(net, t->second, p->second, phantom)
                        : fast_insert_PT_edge(net, p->second, t->second, phantom);
    a.text = *e.inscription;
    a.v = e.v;
}

// ---------------------------------------------------------------------------
// Reference files.

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// A header word: letters, digits and '_' after separators; empty when none.
std::string header_word(std::FILE* f) {
    int c = mnet::SkipSeparators(f);
    std::string w;
    while (c != EOF && (std::isalnum(c) || c == '_')) {
        w.push_back(static_cast<char>(c));
        c = std::getc(f);
    }
    if (c != EOF) std::ungetc(c, f);
    mnet::SkipLine(f);
    return w;
}

// One raw line without its line break; false at the end of the file.
bool raw_line(std::FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = std::getc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return false;
    ++mnet::scan.line;
    return true;
}

bool is_keyword_line(const std::string& line, const char* keyword) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s == keyword;
}

// Tracks whether a quote opened on earlier lines is still open.
void follow_quotes(const std::string& line, char& open) {
    for (char c : line) {
        if (open) {
            if (c == open) open = 0;
        } else if (c == '"' || c == '\'') {
            open = c;
        }
    }
}

// Entries "<number or name> T\"<text>\"" of one node kind.  Returns the
// keyword of a line that holds only a word (the next section), or an empty
// string at the end of the file.
template <class Attach>
std::string read_entries(std::FILE* f, Attach attach) {
    for (;;) {
        int c = mnet::SkipSeparators(f);
        if (c == EOF) return std::string();
        if (c == '\n' || c == '\r') {
            if (c == '\n') ++mnet::scan.line;
            continue;
        }
        std::string token;
        while (c != EOF && !std::isspace(c)) {
            token.push_back(static_cast<char>(c));
            c = std::getc(f);
        }
        if (c != EOF) std::ungetc(c, f);
        c = mnet::SkipSeparators(f);
        if (c == '\r') c = mnet::SkipSeparators(f);
        if (c == '\n' || c == EOF) {
            if (c == '\n') ++mnet::scan.line;
            return token;
        }
        if (c != 'T') syntax_failure("'T' expected");
        std::string text = mnet::RL_ReadEnclString(f);
        c = mnet::SkipSeparators(f);
        if (c == '\r') c = mnet::SkipSeparators(f);
        if (c != '\n' && c != EOF) syntax_failure("garbage characters after reference");
        attach(token, std::move(text));
        if (c == '\n') ++mnet::scan.line;
    }
}

// Finds a node by number or else by exact name (the first of that name).
template <class Node>
class NodeFinder {
public:
    explicit NodeFinder(std::map<std::uint32_t, Node>& list) : list_(list) {}

    Node* find(const std::string& token) {
        bool digits = !token.empty() && token.size() < 11 &&
                      std::all_of(token.begin(), token.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
        if (digits) {
            long long n = std::stoll(token);
            auto it = n <= 0xffffffffLL ? list_.find(static_cast<std::uint32_t>(n)) : list_.end();
            if (it != list_.end()) return &it->second;
        }
        if (by_name_.empty())
            for (auto& [number, node] : list_) by_name_.emplace(node.name, &node);
        auto it = by_name_.find(token);
        return it == by_name_.end() ? nullptr : it->second;
    }

private:
    std::map<std::uint32_t, Node>& list_;
    std::unordered_map<std::string, Node*> by_name_;
};

}  // namespace

HLNet read_hl_net(const std::string& path) {
    ErrorHookScope hook;
    HLNet net;
    Entry e;
    Numbering place_numbers("", true), transition_numbers("", false), phantom_numbers("phantom ", false);
    PlaceCursor place_cursor = net.places.end();
    TransitionCursor trans_cursor = net.transitions.end(), phantom_cursor = net.phantoms.end();
    std::vector<mnet::SectionHandler> handlers;
    handlers.push_back(make_handler("BL", e, [&] {
        net.block_lines.push_back(e.text);
        return 0;
    }));
    // The block entries' fields all belong to the canonical text.
    handlers.back().targets.clear();
    handlers.push_back(make_handler("PL", e, [&] {
        read_place(net, e, place_numbers, place_cursor);
        return 0;
    }));
    handlers.push_back(make_handler("TR", e, [&] {
        read_transition(net.transitions, e, transition_numbers, trans_cursor, "T");
        return 0;
    }));
    handlers.push_back(make_handler("PTR", e, [&] {
        read_transition(net.phantoms, e, phantom_numbers, phantom_cursor, "PT");
        return 0;
    }));
    const struct {
        const char* keyword;
        bool to_place, phantom;
    } arcs[] = {{"TP", true, false}, {"PT", false, false}, {"PTP", true, true}, {"PPT", false, true}};
    for (const auto& a : arcs)
        handlers.push_back(make_handler(a.keyword, e, [&net, &e, a] {
            read_arc(net, e, a.to_place, a.phantom);
            return 0;
        }));
    mnet::ReadAnyNet(path, handlers);
    return net;
}

void read_x_HLref(HLNet& net, const std::string& path, int kind) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file)
        throw Failure(EXIT_REFERENCE,
                      format("ERROR: read_x_HLref(): could not open file '%s' for reading.\n", path.c_str()));
    ErrorHookScope hook;
    std::FILE* f = file.get();
    mnet::scan.file = path;
    mnet::scan.line = 1;
    FrontEndReferences& refs = net.front_ends[kind];

    if (header_word(f) != "VOS") syntax_failure("keyword `VOS' expected");
    if (header_word(f) != hl_reference_identifier(kind))
        syntax_failure(format("format identifier `%s' expected", hl_reference_identifier(kind)));
    if (header_word(f).compare(0, 8, "FORMAT_N") != 0)
        syntax_failure("keyword `FORMAT_N' or `FORMAT_N2' expected");
    if (header_word(f) != "DEF") syntax_failure("keyword 'DEF' expected");

    // DEF lines up to a line "BL" or "PL" outside a quote (definition texts
    // may span lines); then the block lines up to the line starting with P.
    std::string line;
    char quote = 0;
    bool found = false;
    while (raw_line(f, line)) {
        if (!quote && (is_keyword_line(line, "BL") || is_keyword_line(line, "PL"))) {
            found = true;
            break;
        }
        refs.def += line;
        refs.def += '\n';
        follow_quotes(line, quote);
    }
    if (found && is_keyword_line(line, "BL")) {
        found = false;
        while (raw_line(f, line)) {
            if (!line.empty() && line[0] == 'P') {
                found = true;
                break;
            }
            refs.blocks += line;
            refs.blocks += '\n';
        }
    }
    if (!found || !is_keyword_line(line, "PL")) syntax_failure("keyword 'PL' expected");

    NodeFinder<HLPlace> places(net.places);
    std::string keyword = read_entries(f, [&](const std::string& token, std::string text) {
        HLPlace* p = places.find(token);
        if (!p) syntax_failure("invalid place identifier");
        p->front_end_reference[kind] = std::move(text);
    });
    if (keyword != "TR") syntax_failure("keyword 'TR' expected");
    NodeFinder<HLTransition> transitions(net.transitions);
    keyword = read_entries(f, [&](const std::string& token, std::string text) {
        HLTransition* t = transitions.find(token);
        if (!t) syntax_failure("invalid transition identifier");
        t->front_end_reference[kind] = std::move(text);
    });
    if (!keyword.empty()) {
        if (keyword != "PTR") syntax_failure("keyword `PTR' expected");
        NodeFinder<HLTransition> phantoms(net.phantoms);
        keyword = read_entries(f, [&](const std::string& token, std::string text) {
            HLTransition* t = phantoms.find(token);
            if (!t) syntax_failure("invalid phantom transition identifier");
            t->front_end_reference[kind] = std::move(text);
        });
        if (!keyword.empty()) syntax_failure("'T' expected");
    }
    refs.read = true;
}

}  // namespace flatnet
