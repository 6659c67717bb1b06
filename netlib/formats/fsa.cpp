// Reader of communicating finite automata.  Every automaton of the file is a
// state machine; the product net holds all their states as places, their
// local moves as transitions, and one synchronised transition for each pair of
// a call in one automaton and a matching accept in another.  The call and
// accept moves themselves are removed at the end.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"

namespace netlib {
namespace {

using fmt_detail::format;

constexpr std::size_t kKeywordLimit = 512;
constexpr std::size_t kNameLimit = 4096;

enum MoveKind : std::uint32_t { kLocal = 0, kCall = 1, kAccept = 2 };

struct Move {
    NET_NODE* transition = nullptr;
    NET_NODE* source = nullptr;       // place of the state block it stands in
    std::uint32_t target = 0;         // target state number
    std::uint32_t kind = kLocal;
    bool partner_part = false;        // "; second . message ..." given
    std::string first, second;        // names as written
    std::vector<std::uint32_t> ids;   // message and arguments, or the local identifier
    // Communication record: entries after kind and count (caller, callee,
    // message, arguments; or caller only; or own index and identifier).
    std::vector<std::uint32_t> record;
};

struct Automaton {
    std::string name;
    std::uint32_t number = 0;         // 1-based position in the file
    std::uint32_t start = 0;
    std::vector<Move> moves;
};

std::string node_name(std::uint32_t automaton, std::uint32_t k) { return format("%05u%016u", automaton, k); }

class FsaReader {
public:
    FsaReader(std::FILE* f, NET* net) : f_(f), net_(net) {}

    void parse() {
        std::string word = read_name(kKeywordLimit);
        while (!word.empty()) {
            if (word != "FSA") syntax_error("CM.read_FSA(): keyword 'FSA' expected");
            automata_.emplace_back();
            Automaton& a = automata_.back();
            a.number = static_cast<std::uint32_t>(automata_.size());
            a.name = read_name(kNameLimit);
            expect_char(f_, ':');
            static const char* const header[] = {"STATES", "TRANSITIONS", "START", "ACCEPT"};
            for (const char* keyword : header) {
                if (read_name(kKeywordLimit) != keyword)
                    syntax_error(format("CM.read_FSA(): keyword '%s' expected", keyword));
                expect_char(f_, '=');
                std::uint32_t n = read_number();
                if (std::string(keyword) == "START") a.start = n;
            }
            word = read_name(kKeywordLimit);
            while (word == "STATE") {
                std::uint32_t k = read_number();
                std::uint32_t before = net_->places;
                NET_NODE* place = fast_insert_place(net_, node_name(a.number, k), k == a.start ? 1 : 0, place_cursor_);
                if (place && net_->places != before) {
                    place->number = k;
                    place->aux = a.number;
                }
                expect_char(f_, ':');
                word = read_name(kKeywordLimit);
                while (word == "TRANS") {
                    read_move(a, place);
                    word = read_name(kKeywordLimit);
                }
            }
        }
    }

    void build() {
        std::unordered_map<std::string, std::uint32_t> index;   // automaton name -> 0-based index
        for (std::uint32_t i = 0; i < automata_.size(); ++i) index.emplace(automata_[i].name, i);
        const std::uint32_t count = static_cast<std::uint32_t>(automata_.size());
        auto lookup = [&](const std::string& name) {
            auto it = index.find(name);
            return it == index.end() ? count : it->second;
        };
        for (std::uint32_t j = 0; j < count; ++j) {
            for (Move& m : automata_[j].moves) {
                switch (m.kind) {
                case kCall:
                    m.record = {j};
                    if (m.partner_part) m.record.push_back(lookup(m.second));
                    break;
                case kAccept:
                    m.record = {lookup(m.first)};
                    if (m.partner_part) m.record.push_back(j);
                    break;
                default:
                    m.record = {j};
                    break;
                }
                m.record.insert(m.record.end(), m.ids.begin(), m.ids.end());
                // A target state without a state block has no place: the
                // library's warning is all that happens.
                insert_TP_con(net_, node_name(automata_[j].number, m.target), m.transition->name, 1);
            }
        }
    }

    void product() {
        const std::uint32_t count = static_cast<std::uint32_t>(automata_.size());
        std::uint32_t synchronised = 0;
        for (std::uint32_t j = 0; j < count; ++j) {
            for (const Move& t1 : automata_[j].moves) {
                if (!t1.partner_part) continue;
                std::uint32_t caller = t1.record[0], callee = t1.record[1];
                std::uint32_t partner, wanted;
                if (t1.kind == kCall && caller < callee) {
                    partner = callee;
                    wanted = kAccept;
                } else if (t1.kind == kAccept && callee < caller) {
                    partner = caller;
                    wanted = kCall;
                } else {
                    continue;
                }
                if (partner >= count) continue;
                const Automaton& other = automata_[partner];
                for (const Move& t2 : other.moves) {
                    if (t2.kind != wanted || t2.record != t1.record) continue;
                    std::string name = node_name(count + 1, ++synchronised);
                    NET_NODE* t = fast_insert_transition(net_, name, trans_cursor_);
                    insert_PT_con(net_, t1.source->name, t->name, 1);
                    insert_PT_con(net_, t2.source->name, t->name, 1);
                    insert_TP_con(net_, node_name(automata_[j].number, t1.target), t->name, 1);
                    insert_TP_con(net_, node_name(other.number, t2.target), t->name, 1);
                }
            }
        }
        for (const Automaton& a : automata_)
            for (const Move& m : a.moves)
                if (m.kind != kLocal) delete_transition_node(net_, m.transition);
        renumber(net_);
    }

private:
    // A letter or digit, then letters, digits, '-' and '_'; the empty word at
    // the end of the file.
    std::string read_name(std::size_t limit) {
        int c = next_nonblank(f_);
        if (c == EOF) return {};
        if (!std::isalnum(c)) syntax_error("ReadFSAName(): identifier expected");
        std::string name;
        while (c != EOF && (std::isalnum(c) || c == '-' || c == '_')) {
            if (name.size() + 1 >= limit) syntax_error("ReadFSAName(): identifier string size exceeded");
            name += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c != EOF) std::ungetc(c, f_);
        return name;
    }

    // A decimal number after blanks and tabs; a line break in its place
    // counts the line and gives 0.
    std::uint32_t read_number() {
        int c = std::fgetc(f_);
        while (c == ' ' || c == '\t' || c == '\r') c = std::fgetc(f_);
        if (c == '\n') {
            ++scan.line;
            return 0;
        }
        if (c == EOF || !std::isdigit(c)) syntax_error("ReadFSANumber(): digit expected");
        std::uint64_t value = 0;
        while (c != EOF && std::isdigit(c)) {
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
            if (value > 0xffffffffULL) syntax_error("ReadFSANumber(): number too large");
            c = std::fgetc(f_);
        }
        if (c != ' ' && c != EOF) std::ungetc(c, f_);
        return static_cast<std::uint32_t>(value);
    }

    std::uint32_t identifier(const std::string& name) {
        auto it = identifiers_.emplace(name, static_cast<std::uint32_t>(identifiers_.size()));
        return it.first->second;
    }

    void read_message(Move& m) {
        expect_char(f_, '.');
        m.ids.push_back(identifier(read_name(kNameLimit)));
        while (test_char(f_, ';')) m.ids.push_back(identifier(read_name(kNameLimit)));
    }

    void read_move(Automaton& a, NET_NODE* source) {
        Move m;
        m.source = source;
        std::string kind = read_name(kKeywordLimit);
        expect_char(f_, '(');
        m.first = read_name(kNameLimit);
        if (kind == "call") {
            if (m.first != a.name) syntax_error("CM.read_FSA(): name of FSA expected");
            m.kind = kCall;
            if (test_char(f_, ';')) {
                m.partner_part = true;
                m.second = read_name(kNameLimit);
                read_message(m);
            }
        } else if (kind == "accept") {
            m.kind = kAccept;
            if (test_char(f_, ';')) {
                m.partner_part = true;
                m.second = read_name(kNameLimit);
                if (m.second != a.name) syntax_error("CM.read_FSA(): name of FSA expected");
                read_message(m);
            }
        } else if (kind == "internal" || kind == "exception") {
            if (m.first != a.name) syntax_error("CM.read_FSA(): name of FSA expected");
            if (test_char(f_, ';')) m.ids.push_back(identifier(read_name(kNameLimit)));
        } else if (kind == "terminate") {
            if (m.first != a.name) syntax_error("CM.read_FSA(): name of FSA expected");
        } else {
            syntax_error(format("CM.read_FSA(): unexpected keyword '%s' found", kind.c_str()));
        }
        std::uint32_t i = static_cast<std::uint32_t>(a.moves.size()) + 1;
        m.transition = fast_insert_transition(net_, node_name(a.number, i), trans_cursor_);
        m.transition->kind = static_cast<std::int32_t>(a.number);
        if (source) insert_PT_con(net_, source->name, m.transition->name, 1);
        expect_char(f_, ')');
        expect_char(f_, '-');
        expect_char(f_, '-');
        expect_char(f_, '-');
        expect_char(f_, '>');
        m.target = read_number();
        a.moves.push_back(std::move(m));
    }

    std::FILE* f_;
    NET* net_;
    std::vector<Automaton> automata_;
    std::unordered_map<std::string, std::uint32_t> identifiers_;
    NET_NODE* place_cursor_ = nullptr;
    NET_NODE* trans_cursor_ = nullptr;
};

}  // namespace

NET* read_FSA(const std::string& path) {
    fmt_detail::InFile in(path, "r");
    if (!in) fmt_detail::open_failure("ERROR: CM.read_FSA(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    NET* net = new_net();
    net->components = 1;
    FsaReader reader(in.get(), net);
    reader.parse();
    reader.build();
    reader.product();
    return net;
}

}  // namespace netlib
