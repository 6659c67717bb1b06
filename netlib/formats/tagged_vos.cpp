// Reader of the old tagged VOS format: after the header lines "VOS", the
// identifier and "FORMAT_A", the net is a sequence of blocks of three-letter
// commands ("PLA:", "TRA:", "ARC:", ...) whose fields are commands too; "end:"
// closes a block and "END:" the file.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "format_util.h"
#include "formats.h"
#include "net.h"
#include "scanner.h"
#include "vos.h"

namespace netlib {
namespace {

using fmt_detail::format;

constexpr std::size_t kCommandLimit = 16;   // longer words are rejected by ReadCommand
constexpr std::size_t kStringLimit = 4096;

// Places and transitions share one table of identifiers.  The table starts
// with room for 2000 identifiers and grows in steps of 1000; each growth is
// reported with the identifier that caused it and the old size.  Entries live
// in a hash map, so sparse or very large identifiers cost no memory.
class IdTable {
public:
    struct Entry {
        char letter;      // 'S' place, 'T' transition
        NET_NODE* node;
    };

    const Entry* find(std::uint32_t id) const {
        auto it = entries_.find(id);
        return it == entries_.end() ? nullptr : &it->second;
    }
    bool contains(std::uint32_t id) const { return entries_.count(id) != 0; }

    void add(std::uint32_t id, char letter, NET_NODE* node) {
        if (id >= size_) {
            // The cosweep edition does not report the growth.
            if (edition != Edition::Cosweep) std::printf("AN: %u, MN: %u\n", id, size_);
            std::uint32_t steps = (id - size_) / kStep + 1;
            size_ += steps * kStep;
        }
        entries_.emplace(id, Entry{letter, node});
    }

private:
    static constexpr std::uint32_t kStep = 1000;
    std::uint32_t size_ = 2000;
    std::unordered_map<std::uint32_t, Entry> entries_;
};

class FormatAReader {
public:
    FormatAReader(std::FILE* f, NET* net) : f_(f), net_(net) {}

    void run() {
        for (;;) {
            std::string cmd = ReadCommand(f_, kCommandLimit);
            if (cmd == "END") return;
            if (cmd == "PLA") {
                read_place(0);
            } else if (cmd == "IPL") {
                read_place(1);
            } else if (cmd == "OPL") {
                read_place(2);
            } else if (cmd == "TRA" || cmd == "RTR") {
                read_transition();
            } else if (cmd == "ARC") {
                read_arc();
            } else if (cmd == "TXT") {
                read_text();
            } else if (!common_field(cmd)) {
                unknown(cmd);
            }
        }
    }

private:
    // Fields that may stand anywhere: skipped lines and comments.
    bool common_field(const std::string& cmd) {
        if (cmd == "FML" || cmd == "haf" || cmd == "set" || cmd == "pap") {
            skip_lines(f_, 1);
            return true;
        }
        if (cmd == "com") {
            ReadString(f_, kStringLimit);
            return true;
        }
        return false;
    }

    void unknown(const std::string& cmd) {
        std::fprintf(stderr, "ERROR: CM.read_VOS(): unknown VOS command found: '%s'.\n", cmd.c_str());
        skip_lines(f_, 1);
    }

    std::uint32_t read_identifier() {
        long id = read_integer(f_);
        if (id < 0 || id > 0x7fffffffL) syntax_error("incorrect identifier");
        return static_cast<std::uint32_t>(id);
    }

    std::int32_t read_int32() {
        long v = read_integer(f_);
        return fmt_detail::checked_int(v, -0x7fffffffL - 1, 0x7fffffffL, "number out of range");
    }

    // Markings are never negative, as in the section format.
    std::int32_t read_marking() {
        std::int32_t v = read_int32();
        if (v < 0) syntax_error("negative marking");
        return v;
    }

    void read_capacity() {
        int c = next_nonblank(f_);
        if (std::isdigit(c) || c == '-') {
            std::ungetc(c, f_);
            read_integer(f_);
            return;
        }
        std::string word;
        while (c != EOF && std::isalnum(c) && word.size() < 16) {
            word += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c != EOF) std::ungetc(c, f_);
        if (word != "Omega") {
            std::fprintf(stderr, "ERROR: CM.read_VOS(): capacity" "'Omega' expected.\n");
            syntax_error("incorrect capacity");
        }
    }

    void attach_extras(NET_NODE* node, long x, long y, const std::string& label, std::int32_t current) {
        if (!vos_options.keep_extras || node->extras) return;
        auto* e = new NodeExtras();
        e->x = static_cast<std::int32_t>(x);
        e->y = static_cast<std::int32_t>(y);
        e->label = label;
        e->current = current;
        node->extras.reset(e);
    }

    void read_place(std::int32_t kind) {
        std::uint32_t id = 0;
        std::string name, label;
        long x = 0, y = 0, a = 0, b = 0;
        std::int32_t initial = 0, current = 0;
        for (;;) {
            std::string cmd = ReadCommand(f_, kCommandLimit);
            if (cmd == "end") break;
            if (cmd == "idt") id = read_identifier();
            else if (cmd == "nam") name = ReadString(f_, kStringLimit);
            else if (cmd == "mea") label = ReadString(f_, kStringLimit);
            else if (cmd == "dnp" || cmd == "dsz") read_number_pair(f_, a, b);
            else if (cmd == "dpt") read_number_pair(f_, x, y);
            else if (cmd == "dwd") read_integer(f_);
            else if (cmd == "cap") read_capacity();
            else if (cmd == "ima") initial = read_marking();
            else if (cmd == "cma") current = read_marking();
            else if (!common_field(cmd)) unknown(cmd);
        }
        if (id == 0) syntax_error("missing place identifier");
        if (ids_.contains(id)) {
            syntax_error(kind == 0   ? "multiply defined place identificator"
                         : kind == 1 ? "multiply defined place identifer"
                                     : "multiply defined place identifier");
        }
        if (name.empty()) name = format("S%u", id);
        std::int32_t tokens = vos_options.use_current_marking ? current : (kind == 1 ? 1 : initial);
        std::uint32_t before = net_->places;
        NET_NODE* node = fast_insert_place(net_, name, tokens, place_cursor_);
        if (!node) syntax_error("missing place identifier");
        if (net_->places != before) {
            node->kind = kind;
            node->aux = 1;
            net_->components = 1;
        }
        attach_extras(node, x, y, label, current);
        ids_.add(id, 'S', node);
    }

    void read_transition() {
        std::uint32_t id = 0;
        std::string name, label;
        long x = 0, y = 0, a = 0, b = 0;
        for (;;) {
            std::string cmd = ReadCommand(f_, kCommandLimit);
            if (cmd == "end") break;
            if (cmd == "idt") id = read_identifier();
            else if (cmd == "nam") name = ReadString(f_, kStringLimit);
            else if (cmd == "mea") label = ReadString(f_, kStringLimit);
            else if (cmd == "dnp" || cmd == "dsz") read_number_pair(f_, a, b);
            else if (cmd == "dpt") read_number_pair(f_, x, y);
            else if (cmd == "dwd") read_integer(f_);
            else if (!common_field(cmd)) unknown(cmd);
        }
        if (id == 0) syntax_error("missing transition identifier");
        if (ids_.contains(id)) syntax_error("multiply defined transition identifier");
        if (name.empty()) name = format("T%u", id);
        NET_NODE* node = fast_insert_transition(net_, name, trans_cursor_);
        if (!node) syntax_error("missing transition identifier");
        attach_extras(node, x, y, label, 0);
        ids_.add(id, 'T', node);
    }

    void read_arc() {
        std::uint32_t source = 0, dest = 0;
        std::int32_t weight = 1;
        long a = 0, b = 0;
        for (;;) {
            std::string cmd = ReadCommand(f_, kCommandLimit);
            if (cmd == "end") break;
            if (cmd == "sou") source = read_identifier();
            else if (cmd == "des") dest = read_identifier();
            else if (cmd == "wgt") weight = fmt_detail::checked_int(read_integer(f_), 0, 0x7fffffffL, "arc: incorrect weight");
            else if (cmd == "lpt" || cmd == "dpt") read_number_pair(f_, a, b);
            else if (cmd == "dsz") read_integer(f_);
            else if (cmd == "nam" || cmd == "mea") ReadString(f_, kStringLimit);
            else if (cmd == "vsf") next_nonblank(f_);
            else if (!common_field(cmd)) unknown(cmd);
        }
        const IdTable::Entry* from = ids_.find(source);
        if (!from) syntax_error("arc: missing source identifier");
        const IdTable::Entry* to = ids_.find(dest);
        if (!to) syntax_error("arc: missing destination identifier");
        if (from->letter == to->letter) syntax_error("faulty VOS net file: S->S resp. T->T arc found");
        NET_ARC* arc = nullptr;
        if (from->letter == 'S')
            arc = fast_insert_PT_con(net_, from->node->name, to->node->name, weight, arc_cursors_);
        else
            arc = fast_insert_TP_con(net_, to->node->name, from->node->name, weight, arc_cursors_);
        if (arc && vos_options.keep_extras && !arc->extras) arc->extras.reset(new ArcExtras());
    }

    void read_text() {
        long a = 0, b = 0;
        for (;;) {
            std::string cmd = ReadCommand(f_, kCommandLimit);
            if (cmd == "end") break;
            if (cmd == "str") ReadString(f_, kStringLimit);
            else if (cmd == "dpt") read_number_pair(f_, a, b);
            else if (!common_field(cmd)) unknown(cmd);
        }
    }

    std::FILE* f_;
    NET* net_;
    IdTable ids_;
    NET_NODE* place_cursor_ = nullptr;
    NET_NODE* trans_cursor_ = nullptr;
    ArcCursors arc_cursors_;
};

}  // namespace

NET* read_FORMAT_A_impl(std::FILE* f, const std::string& identifier) {
    NET* net = new_net();
    net->identifier = identifier;
    if (vos_options.keep_extras) net->has_extras = true;
    FormatAReader reader(f, net);
    reader.run();
    return net;
}

NET* read_FORMAT_A_file(const std::string& path) {
    fmt_detail::InFile in(path, "r");
    if (!in) fmt_detail::open_failure("ERROR: CM.read_VOS(): could not open file '%s' for reading.\n", path, 4);
    scan.file = path;
    scan.line = 1;
    std::FILE* f = in.get();
    if (read_word(f, 30) != "VOS") syntax_error("keyword 'VOS' expected");
    std::string identifier = read_word(f, 30);
    if (identifier != "PetriBox" && identifier != "Net" && identifier != "PlainNet" && identifier != "CENet" &&
        identifier != "HLNet")
        syntax_error("file identifier ( 'PlainNet', 'PetriBox', ... ) expected");
    if (read_word(f, 30) != "FORMAT_A") syntax_error("keyword 'FORMAT_A' expected");
    return read_FORMAT_A_impl(f, identifier);
}

}  // namespace netlib
