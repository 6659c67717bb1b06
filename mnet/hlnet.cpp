#include "mnet_hlnet.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "mnet_commands.h"
#include "mnet_labels.h"
#include "mnet_textform.h"
#include "outfile.h"

namespace mnet {

namespace {
// ---------------------------------------------------------------------------
// Entry fields of the VOS text family.
enum FieldKind { F_FLAG, F_NUMBER, F_PAIR, F_STRING, F_SPECIAL };

struct Field {
    char letter = 0;  // '0' leading number, '@' number pair, '"' bare string, else the letter
    std::int32_t a = 0, b = 0;
    char join = 0;    // '@', '<' or '>' of a number pair
    bool has_number = false;
    std::string text;
};

using KindOf = int (*)(char);  // field kind of a letter, -1 when unknown

// Next character of an entry: blanks skipped; a '%' comment or a line break
// ends the entry ('\n'); EOF at the end of the file.
int entry_char(std::FILE* f) {
    for (;;) {
        int c = std::getc(f);
        if (c == ' ' || c == '\t' || c == '\b' || c == 0 || c == '\r') continue;
        if (c == '%') {
            while ((c = std::getc(f)) != EOF && c != '\n') {
            }
            return c == EOF ? EOF : '\n';
        }
        return c;
    }
}

[[noreturn]] void unknown_token(int c) {
    char m[40];
    std::snprintf(m, sizeof m, "unknown token '%c'", c);
    syntax_error(m);
}

// Reads the fields of one entry up to its line end (consumed; the caller
// counts the line).  Returns false when the file ended before any field.
bool read_entry(std::FILE* f, KindOf kind_of, std::vector<Field>& fields) {
    fields.clear();
    bool any = false;
    for (;;) {
        int c = entry_char(f);
        if (c == EOF) return any;
        any = true;
        if (c == '\n') return true;
        Field fd;
        if (std::isdigit(c) || c == '-') {
            std::ungetc(c, f);
            fd.a = ReadNumber(f);
            int d = SkipBlanks(f);
            if (d == '@' || d == '<' || d == '>') {
                fd.letter = '@';
                fd.join = static_cast<char>(d);
                fd.b = ReadNumber(f);
            } else {
                if (d != EOF) std::ungetc(d, f);
                fd.letter = '0';
            }
        } else if (c == '"' || c == '\'') {
            std::ungetc(c, f);
            fd.letter = '"';
            fd.text = ReadEnclString(f);
        } else {
            int k = kind_of(static_cast<char>(c));
            fd.letter = static_cast<char>(c);
            switch (k) {
            case F_FLAG: break;
            case F_NUMBER: fd.a = ReadNumber(f); break;
            case F_PAIR: ReadCoordinates(f, fd.a, fd.b); break;
            case F_STRING: fd.text = ReadEnclString(f); break;
            case F_SPECIAL: {
                // S: a flag, or a drawing position n@m (on the same line)
                // that is dropped.
                int d;
                while ((d = std::getc(f)) == ' ' || d == '\t') {
                }
                if (d != EOF) std::ungetc(d, f);
                if (d != EOF && (std::isdigit(d) || d == '-')) {
                    fd.a = ReadNumber(f);
                    if (SkipBlanks(f) != '@') syntax_error("missing '@'");
                    fd.b = ReadNumber(f);
                    fd.has_number = true;
                }
                break;
            }
            default: unknown_token(c);
            }
        }
        fields.push_back(std::move(fd));
    }
}

int kind_block(char c) {
    switch (c) {
    case 'b': case 'u': case 'R': case 'T': return F_STRING;
    case 'n': case 'N': case 'a': case 'A': return F_PAIR;
    default: return -1;
    }
}

int kind_place(char c) {
    switch (c) {
    case 'e': case 'x': return F_FLAG;
    case 'z': case 'y': case 'b': case 'Z': case 'u': case 'R': return F_STRING;
    case 'v': case 'M': case 'm': case 'c': case 'k': case 's': case 't': return F_NUMBER;
    case 'A': case 'B': case 'N': case 'a': case 'n': return F_PAIR;
    default: return -1;
    }
}

int kind_trans(char c) {
    switch (c) {
    case 'r': return F_FLAG;
    case 'S': return F_SPECIAL;
    case 'i': case 'b': case 'g': case 'u': case 'P': case 'R': return F_STRING;
    case 'v': case 'c': case 's': case 't': return F_NUMBER;
    case 'A': case 'H': case 'N': case 'a': case 'h': case 'j': case 'n': return F_PAIR;
    default: return -1;
    }
}

int kind_arc(char c) {
    switch (c) {
    case 'p': return F_STRING;
    case 'v': case 'w': case 'c': case 't': return F_NUMBER;
    case ',': case 'J': case 'N': case 'Q': case 'n': case 'q': return F_PAIR;
    default: return -1;
    }
}

int kind_text(char c) { return c == 'N' ? F_PAIR : -1; }

// Identifiers of one section: entries count from 1; while every identifier
// equals its entry's position, an entry without one takes its position.
struct IdRule {
    const char* what;
    const char* dup_what = nullptr;  // name in the "multiply used" message
    std::uint32_t position = 0;
    bool sequential = true;
    std::int64_t largest = 0;

    // The identifier of the next entry (fields: its '0' field if any).
    template <class Map>
    std::uint32_t next(const std::vector<Field>& fields, const Map& used) {
        ++position;
        const Field* id = nullptr;
        for (const Field& f : fields)
            if (f.letter == '0') id = &f;
        char m[80];
        if (!id) {
            if (!sequential) {
                std::snprintf(m, sizeof m, "missing %s identifier", what);
                syntax_error(m);
            }
            return check(position, used);
        }
        if (id->a < 1) {
            std::snprintf(m, sizeof m, "%s identifier %d out of range", what, id->a);
            syntax_error(m);
        }
        if (static_cast<std::uint32_t>(id->a) != position) sequential = false;
        return check(static_cast<std::uint32_t>(id->a), used);
    }

    template <class Map>
    std::uint32_t check(std::uint32_t n, const Map& used) {
        if (n <= largest && used.count(n)) {
            char m[80];
            std::snprintf(m, sizeof m, "%s identifier %u multiply used", dup_what ? dup_what : what, n);
            syntax_error(m);
        }
        if (n > largest) largest = n;
        return n;
    }
};

std::string read_word(std::FILE* f) {
    std::string w;
    ReadCmdToken(f, w, 512);
    return w;
}

// First character of the next line that is not a comment line; put back.
int peek_line(std::FILE* f) {
    int c = SkipSeparators(f);
    if (c != EOF) std::ungetc(c, f);
    return c;
}

const Field* find_last(const std::vector<Field>& fields, char letter) {
    const Field* r = nullptr;
    for (const Field& f : fields)
        if (f.letter == letter) r = &f;
    return r;
}

// "(1,2,3)" of BL identifiers -> global block numbers.
std::vector<std::uint16_t> block_numbers(const std::string& text,
                                         const std::unordered_map<std::uint32_t, MBlock*>& blocks) {
    if (text.empty() || text[0] != '(') syntax_error("BlockList should begin with '('");
    std::vector<std::uint16_t> out;
    std::size_t i = 1;
    while (i < text.size()) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        std::uint64_t n = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            n = n * 10 + static_cast<unsigned>(text[i] - '0');
            if (n > UINT32_MAX) syntax_error("block identifier out of range");
            ++i;
        }
        auto it = blocks.find(static_cast<std::uint32_t>(n));
        if (it == blocks.end()) {
            char m[80];
            std::snprintf(m, sizeof m, "block identifier %u does not exist", static_cast<unsigned>(n));
            syntax_error(m);
        }
        out.push_back(it->second->number);
    }
    return out;
}

struct Extent {
    MNet* net;
    std::int64_t max_x = INT_MIN, max_y = INT_MIN;
    void add(std::int32_t x, std::int32_t y) {
        if (x < net->origin_x) net->origin_x = x;
        if (y < net->origin_y) net->origin_y = y;
        if (std::int64_t(x) + 30 > max_x) max_x = std::int64_t(x) + 30;
        if (std::int64_t(y) + 30 > max_y) max_y = std::int64_t(y) + 30;
    }
};

std::uint16_t ref_argument(const std::string& text) {
    const char* p = text.c_str() + 5;
    char* end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p || v < 0 || v > 65535) syntax_error("reference has wrong format");
    return static_cast<std::uint16_t>(v);
}

void set_element(void* e, ElementKind k) {
    command_element = e;
    command_element_kind = k;
}

// One transition entry (ordinary or phantom).
void fill_transition(MTransition* t, const std::vector<Field>& fields, Extent& ext,
                     const std::unordered_map<std::uint32_t, MBlock*>& blocks, std::string* p_text) {
    set_element(t, ElementKind::Transition);
    bool have_pos = false, refined = false;
    std::int32_t x = 0, y = 0;
    if (const Field* v = find_last(fields, 'v')) {
        if (v->a < 0) syntax_error("flag word out of range");
        t->flags = static_cast<std::uint32_t>(v->a);
    }
    for (const Field& f : fields) {
        switch (f.letter) {
        case '@': x = f.a; y = f.b; have_pos = true; break;
        case 'i': t->label = parse_actionset(f.text, t); break;
        case 'b':
            t->label_text = f.text;
            if (f.text.find("$NAME$") != std::string::npos) add_command(18, 0, 0, 0);
            break;
        case 'g': t->guard = parse_guard(f.text, t); break;
        case 'u':
            for (std::uint16_t n : block_numbers(f.text, blocks)) add_block_number(t->blocks, n);
            for (std::uint16_t n : block_numbers(f.text, blocks))
                for (auto& kv : blocks)
                    if (kv.second->number == n) kv.second->has_elements = 1;
            break;
        case 'S':
            if (!f.has_number) t->flags |= TR_PHANTOM_SYNC;
            break;
        case 'P':
            if (p_text) *p_text = f.text;
            break;
        case 'R':
            if (f.text.compare(0, 5, "$REF$") == 0) add_command(17, 0, ref_argument(f.text), 0);
            break;
        case 'r':
            if (refined) syntax_error("refined flag doubly defined");
            refined = true;
            break;
        default: break;
        }
    }
    if (no_scoping()) {
        if (t->flags & 1) x += 60;
        if (t->flags & 2) y -= 60;
    }
    (void)have_pos;
    t->x = x;
    t->y = y;
    ext.add(x, y);
}

void read_arcs(std::FILE* f, MNet* net, bool tp, bool phantom,
               const std::unordered_map<std::uint32_t, MTransition*>& trans,
               const std::unordered_map<std::uint32_t, MPlace*>& places, bool until_p) {
    std::vector<Field> fields;
    MPlace* pc = nullptr;
    MTransition* tc = nullptr;
    MArc* ac = nullptr;
    for (;;) {
        int c = peek_line(f);
        if (c == EOF) return;
        if (until_p ? c == 'P' : !std::isdigit(c)) return;
        read_entry(f, kind_arc, fields);
        std::int64_t first = -1, second = -1;
        char join = 0;
        for (const Field& fd : fields) {
            if (fd.letter == '@') {
                first = fd.a;
                second = fd.b;
                join = fd.join;
            } else if (fd.letter == '0') {
                first = fd.a;
            }
        }
        std::int64_t tn = tp ? first : second, pn = tp ? second : first;
        bool t_first = tp;
        auto bad_t = [&] { return tn < 1 || !trans.count(static_cast<std::uint32_t>(tn)); };
        auto bad_p = [&] { return pn < 1 || !places.count(static_cast<std::uint32_t>(pn)); };
        if (t_first ? bad_t() : bad_p())
            syntax_error(t_first ? "arc: incorrect transition identifier" : "arc: incorrect place identifier");
        if (t_first ? bad_p() : bad_t())
            syntax_error(t_first ? "arc: incorrect place identifier" : "arc: incorrect transition identifier");
        if (join != (tp ? '<' : '>')) syntax_error(tp ? "'<' expected" : "'>' expected");
        const Field* p = find_last(fields, 'p');
        if (!p) syntax_error("arc: missing arc annotation");
        MTransition* first_t = phantom ? net->first_phantom : net->first_trans;
        auto pnum = static_cast<std::uint32_t>(pn), tnum = static_cast<std::uint32_t>(tn);
        // The identifier tables give the elements at once: searches start there.
        pc = places.at(pnum);
        tc = trans.at(tnum);
        ac = nullptr;
        MArc* arc = tp ? M_fast_insert_TP_edge(net->first_place, first_t, pnum, tnum, &pc, &tc, &ac, phantom)
                       : fast_insert_PT_edge(net->first_place, first_t, pnum, tnum, &pc, &tc, &ac, phantom);
        if (const Field* v = find_last(fields, 'v')) {
            if (v->a < 0 || v->a > 65535) syntax_error("arc flag out of range");
            arc->flags = static_cast<std::uint16_t>(v->a);
        }
        set_element(arc, ElementKind::Arc);
        arc->inscription = parse_arclabel(p->text, arc->trans);
        ++scan.line;
    }
}

void expect_word(const std::string& w, const char* k1, const char* k2, const char* message) {
    if (w != k1 && (!k2 || w != k2)) syntax_error(message);
}
}  // namespace

// ---------------------------------------------------------------------------
MNet* read_VOS(const std::string& net_path, const char* ref_path) {
    scan.file = net_path;
    scan.line = 1;
    std::FILE* f = std::fopen(net_path.c_str(), "r");
    if (!f) {
        std::fprintf(stderr, "ERROR: CM.read_VOS(): could not open file '%s' for reading.\n", net_path.c_str());
        std::exit(4);
    }
    expect_word(read_word(f), "VOS", nullptr, "keyword 'VOS' expected");
    SkipLine(f);
    expect_word(read_word(f), "HLNet", nullptr, "format identifier 'HLNet' expected");
    SkipLine(f);
    expect_word(read_word(f), "FORMAT_N", "FORMAT_N2", "keyword 'FORMAT_N' or 'FORMAT_N2' expected");
    MNet* net = M_new_net();
    net->box = 1;
    SkipLine(f);
    std::string w = read_word(f);
    while (!w.empty() && w[0] == 'D') {
        if (w != "DPL" && w != "DTR" && w != "DPT") syntax_error("read_new_VOS(): unknown keyword '" + w + "'");
        SkipLine(f);
        w = read_word(f);
    }
    std::vector<Field> fields;
    std::unordered_map<std::uint32_t, MBlock*> blocks;
    Extent ext{net};

    if (w == "BL") {
        SkipLine(f);
        IdRule rule{"block"};
        MBlock* cursor = nullptr;
        std::vector<std::pair<MBlock*, std::string>> sub_lists;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || !std::isdigit(c)) break;
            read_entry(f, kind_block, fields);
            std::uint32_t id = rule.next(fields, blocks);
            const Field* b = find_last(fields, 'b');
            MBlock* blk = M_fast_insert_block(net, id, &cursor, b ? b->text : std::string());
            blocks[id] = blk;
            if (const Field* u = find_last(fields, 'u')) sub_lists.emplace_back(blk, u->text);
            ++scan.line;
        }
        for (auto& [blk, text] : sub_lists) {
            BlockInfo* info = get_block(blk->number);
            for (std::uint16_t n : block_numbers(text, blocks)) {
                if (info->children.size() >= 65535) fatal("Overflow: too many sub-blocks !");
                info->children.push_back(n);
            }
        }
        w = read_word(f);
    }

    expect_word(w, "PL", nullptr, "keyword 'PL' expected");
    SkipLine(f);
    std::unordered_map<std::uint32_t, MPlace*> places;
    {
        IdRule rule{"place"};
        MPlace* cursor = nullptr;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || c == 'T') break;
            read_entry(f, kind_place, fields);
            std::uint32_t id = rule.next(fields, places);
            MPlace* p = M_fast_insert_place(net, id, &cursor);
            places[id] = p;
            set_element(p, ElementKind::Place);
            bool entry = false, exit_flag = false;
            std::int32_t x = 0, y = 0;
            std::string type_text;
            if (const Field* v = find_last(fields, 'v')) {
                if (v->a < 0) syntax_error("flag word out of range");
                p->flags = static_cast<std::uint32_t>(v->a);
            }
            for (const Field& fd : fields) {
                switch (fd.letter) {
                case '@': x = fd.a; y = fd.b; break;
                case 'e':
                    if (exit_flag) syntax_error("both exit and entry flag found");
                    entry = true;
                    break;
                case 'x':
                    if (entry) syntax_error("both entry and exit flag found");
                    exit_flag = true;
                    break;
                case 'z': p->initial_marking = fd.text; break;
                case 'y': p->current_marking = fd.text; break;
                case 'b':
                    p->label = fd.text;
                    if (fd.text.find("$NAME$") != std::string::npos) add_command(5, 0, 0, 0);
                    break;
                case 'Z': type_text = fd.text; break;
                case 'R':
                    if (fd.text.compare(0, 5, "$REF$") == 0) add_command(3, 0, ref_argument(fd.text), 0);
                    else if (fd.text == "$REF_PAR$") add_command(4, 0, 0, 0);
                    break;
                case 'u':
                    for (std::uint16_t n : block_numbers(fd.text, blocks)) {
                        add_block_number(p->blocks, n);
                        for (auto& kv : blocks)
                            if (kv.second->number == n) kv.second->has_elements = 1;
                    }
                    break;
                default: break;
                }
            }
            if (no_scoping()) {
                if (p->flags & 1) x += 60;
                if (p->flags & 2) y -= 60;
            }
            p->x = x;
            p->y = y;
            ext.add(x, y);
            p->type = entry ? PLACE_ENTRY : exit_flag ? PLACE_EXIT : PLACE_INTERNAL;
            parse_sets(type_text, p->components, SEL_RANGE);
            p->read_mark = 1;
            ++scan.line;
        }
    }

    expect_word(read_word(f), "TR", nullptr, "keyword 'TR' expected");
    SkipLine(f);
    std::unordered_map<std::uint32_t, MTransition*> trans;
    std::vector<std::pair<MTransition*, std::string>> p_texts;
    {
        IdRule rule{"transition"};
        MTransition* cursor = nullptr;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || !std::isdigit(c)) break;
            read_entry(f, kind_trans, fields);
            std::uint32_t id = rule.next(fields, trans);
            MTransition* t =
                M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans, id, &cursor, 0);
            trans[id] = t;
            std::string p_text;
            fill_transition(t, fields, ext, blocks, &p_text);
            if (!p_text.empty()) p_texts.emplace_back(t, p_text);
            ++scan.line;
        }
    }

    w = read_word(f);
    std::unordered_map<std::uint32_t, MTransition*> phantoms;
    if (w == "PTR") {
        SkipLine(f);
        IdRule rule{"phantom transition"};
        MTransition* cursor = nullptr;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || !std::isdigit(c)) break;
            read_entry(f, kind_trans, fields);
            std::uint32_t id = rule.next(fields, phantoms);
            MTransition* t = M_fast_insert_transition(&net->phantom_count, &net->first_phantom,
                                                      &net->last_phantom, id, &cursor, 1);
            phantoms[id] = t;
            std::string p_text;
            fill_transition(t, fields, ext, blocks, &p_text);
            if (!p_text.empty()) parse_phantom_list(p_text, t->links, trans);
            ++scan.line;
        }
        w = read_word(f);
    }

    expect_word(w, "TP", nullptr, "keyword 'TP' expected");
    SkipLine(f);
    read_arcs(f, net, true, false, trans, places, true);
    expect_word(read_word(f), "PT", nullptr, "keyword 'PT' expected");
    SkipLine(f);
    read_arcs(f, net, false, false, trans, places, false);
    if (peek_line(f) != EOF) {
        w = read_word(f);
        if (w == "PTP") {
            SkipLine(f);
            read_arcs(f, net, true, true, phantoms, places, false);
            w = peek_line(f) != EOF ? read_word(f) : std::string();
            if (w == "PPT") {
                SkipLine(f);
                read_arcs(f, net, false, true, phantoms, places, false);
                w = peek_line(f) != EOF ? read_word(f) : std::string();
            }
        }
        if (w == "TX") {
            SkipLine(f);
            while (peek_line(f) != EOF) {
                read_entry(f, kind_text, fields);
                ++scan.line;
            }
        }
    }
    std::fclose(f);
    set_element(nullptr, ElementKind::None);
    if (net->place_count || net->trans_count || net->phantom_count) {
        std::int64_t w = ext.max_x - net->origin_x, h = ext.max_y - net->origin_y;
        if (w > INT32_MAX || h > INT32_MAX) fatal("Overflow: the net is wider or higher than 2147483647 units !");
        net->width = static_cast<std::int32_t>(w);
        net->height = static_cast<std::int32_t>(h);
    }
    for (auto& [t, text] : p_texts) parse_phantom_list(text, t->links, phantoms);
    if (source_net_mode() && ref_path) read_REF(ref_path, net);
    return net;
}

// ---------------------------------------------------------------------------
// Writer.
namespace {
void write_string_field(std::FILE* f, char letter, const std::string& text) {
    std::fputc(letter, f);
    write_quoted(f, text);
}

void write_transition(std::FILE* f, MNet* net, MTransition* t) {
    if (!short_output()) std::fprintf(f, "%u ", t->number);
    std::fprintf(f, "%lld@%lld", static_cast<long long>(t->x) * scale, static_cast<long long>(t->y) * scale);
    if (!t->label.empty()) write_string_field(f, 'i', actset_text(t->label, t->comvars));
    if (t->label_text && (source_net_mode() || frontend_kind != FE_BPN2)) write_string_field(f, 'b', *t->label_text);
    if (!(source_net_mode() && frontend_kind == FE_BPN2)) {
        write_ref_label(f, t->refs, false, t->number);
        if (t->flags & TR_REPEAT) std::fputs("b\"REPEAT\"", f);
    }
    if (t->flags) std::fprintf(f, "v%u", t->flags);
    write_string_field(f, 'g', guard_text(t));
    if (blocks_in_output()) write_block_list(f, net, t->blocks);
    if (phantoms_in_output() && (t->flags & TR_PHANTOM_SYNC)) std::fputc('S', f);
    write_phantom_links(f, net, t);
    std::fputc('\n', f);
}

void write_arcs(std::FILE* f, MTransition* first, bool post) {
    for (MTransition* t = first; t; t = t->next)
        for (MArc* a = post ? t->post : t->pre; a; a = a->tnext) {
            if (post) std::fprintf(f, "%u<%u", t->number, a->place->number);
            else std::fprintf(f, "%u>%u", a->place->number, t->number);
            write_string_field(f, 'p', inscription_text(a->inscription, t->comvars));
            if (a->flags & 4) std::fputs("v4", f);
            std::fputc('\n', f);
        }
}
}  // namespace

void write_HLNet(MNet* net, std::FILE* f) {
    std::uint32_t n = 0;
    for (MPlace* p = net->first_place; p; p = p->next) p->number = ++n;
    n = 0;
    for (MTransition* t = net->first_trans; t; t = t->next) t->number = ++n;
    n = 0;
    for (MTransition* t = net->first_phantom; t; t = t->next) t->number = ++n;
    std::fprintf(f, "VOS\nHLNet\n%s\n", (blocks_in_output() || phantoms_in_output()) ? "FORMAT_N2" : "FORMAT_N");
    if (blocks_in_output()) write_BL_section(net, f, false);
    std::fputs("PL\n", f);
    for (MPlace* p = net->first_place; p; p = p->next) {
        if (!short_output()) std::fprintf(f, "%u ", p->number);
        std::fprintf(f, "%lld@%lld", static_cast<long long>(p->x) * scale, static_cast<long long>(p->y) * scale);
        switch (p->type & 3) {
        case PLACE_ENTRY:
            std::fputc('e', f);
            if (!source_net_mode()) std::fputs("z\"{dot}\"y\"{dot}\"", f);
            break;
        case PLACE_EXIT: std::fputc('x', f); break;
        default:
            if (!short_output()) std::fputc(' ', f);
        }
        if (p->initial_marking) write_string_field(f, 'z', *p->initial_marking);
        if (p->current_marking) write_string_field(f, 'y', *p->current_marking);
        if (p->label) write_string_field(f, 'b', *p->label);
        write_ref_label(f, p->refs, true, p->number);
        write_string_field(f, 'Z', place_type_text(p));
        if (blocks_in_output()) write_block_list(f, net, p->blocks);
        std::fputc('\n', f);
    }
    std::fputs("TR\n", f);
    for (MTransition* t = net->first_trans; t; t = t->next) write_transition(f, net, t);
    if (phantoms_in_output()) {
        std::fputs("PTR\n", f);
        for (MTransition* t = net->first_phantom; t; t = t->next) write_transition(f, net, t);
    }
    std::fputs("TP\n", f);
    write_arcs(f, net->first_trans, true);
    std::fputs("PT\n", f);
    write_arcs(f, net->first_trans, false);
    if (phantoms_in_output()) {
        std::fputs("PTP\n", f);
        write_arcs(f, net->first_phantom, true);
        std::fputs("PPT\n", f);
        write_arcs(f, net->first_phantom, false);
    }
}

void write_output_file(const std::string& path, MNet* net, void (*writer)(MNet*, std::FILE*)) {
    std::FILE* f = outfile::open(path, "w");
    if (!f) {
        std::fprintf(stderr, "Error: Could not open file %s !\n", path.c_str());
        std::exit(3);
    }
    std::printf("Writing in file %s ...\n", path.c_str());
    writer(net, f);
    bool failed = std::ferror(f) != 0;
    failed = (std::fclose(f) != 0) || failed;
    if (failed) {
        std::fprintf(stderr, "Error: Could not write file %s !\n", path.c_str());
        std::exit(3);
    }
}

void write_outputs(MNet* net) {
    if (!net_file_name.empty()) write_output_file(net_file_name, net, write_HLNet);
    if (!ref_file_name.empty()) write_output_file(ref_file_name, net, write_BPN2_refs);
}

void commit_outputs() {
    std::string failed;
    if (!outfile::commit(&failed)) {
        std::fflush(stdout);
        std::fprintf(stderr, "Error: Could not write file %s !\n", failed.c_str());
        std::exit(3);
    }
}

// ---------------------------------------------------------------------------
// Source text of references.
namespace {
struct SourceText {
    bool loaded = false;
    std::vector<std::string> lines;
};
SourceText& source() {
    static SourceText s;
    return s;
}

void load_source() {
    SourceText& s = source();
    if (s.loaded) return;
    s.loaded = true;
    std::ifstream in(source_file_name, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) s.lines.push_back(line);
}

const char* decoration_suffix(std::uint16_t d) {
    switch (d) {
    case 2: return "'";
    case 32: return "@init";
    case 64: return "@term";
    case 128: return "@access";
    case 256: return "@read";
    case 512: return "@write";
    case 1024: return "@full";
    case 2048: return "@empty";
    case 4096: return "@shift";
    case 8192: return "@call";
    case 16384: return "@return";
    default: return "";
    }
}
}  // namespace

void reset_source_text() { source() = SourceText(); }

std::string source_ref_text(std::uint16_t number, std::uint16_t decoration) {
    if (number == 0) return {};
    RefRecord* r = ref_get(number);
    if (!r) return {};
    load_source();
    const auto& lines = source().lines;
    std::uint32_t l1 = r->line1, c1 = r->col1, l2 = r->line2, c2 = r->col2;
    if (l1 > l2 || (l1 == l2 && c1 >= c2)) {
        report(INFO, "Nonsensical reference: %u,%u;%u,%u", l1, c1, l2, c2);
        return {};
    }
    if (l2 > lines.size()) {
        report(INFO, "Reference out of source code: %u,%u;%u,%u", l1, c1, l2, c2);
        return {};
    }
    // Positions outside their lines would read outside the source.
    if (l1 < 1 || c1 < 1 || c1 > lines[l1 - 1].size() + 1 || c2 < 1 || c2 - 1 > lines[l2 - 1].size()) {
        report(INFO, "Nonsensical reference: %u,%u;%u,%u", l1, c1, l2, c2);
        return {};
    }
    std::string out;
    if (decoration & 1) out += "'";
    if (l1 == l2) {
        out += lines[l1 - 1].substr(c1 - 1, c2 - c1);
    } else {
        out += lines[l1 - 1].substr(c1 - 1);
        out += "\n";
        for (std::uint32_t l = l1 + 1; l < l2; ++l) out += lines[l - 1] + "\n";
        out += lines[l2 - 1].substr(0, c2 - 1);
    }
    out += decoration_suffix(decoration);
    return out;
}

void write_source_ref(std::uint16_t number, std::uint16_t decoration, std::FILE* f) {
    std::fputs(source_ref_text(number, decoration).c_str(), f);
}

void write_ref_coords(std::uint16_t number, int quote_flags, std::FILE* f) {
    RefRecord* r = number ? ref_get(number) : nullptr;
    if (quote_flags & 1) std::fputc('\'', f);
    if (r) std::fprintf(f, "(%u,%u;%u,%u)", r->line1, r->col1, r->line2, r->col2);
    else std::fputs("(0,0;0,0)", f);
    if (quote_flags & 2) std::fputc('\'', f);
}

void write_ref_label(std::FILE* f, const std::vector<RefEntry>& refs, bool for_places, std::uint32_t) {
    if (refs.empty() || short_output()) return;
    std::string text;
    bool any = false;
    for (const RefEntry& e : refs) {
        bool selected = (e.decoration & 4) || (!for_places && (e.decoration == 0 || no_scoping()));
        if (!selected) continue;
        if (any) text += "*";
        any = true;
        text += source_ref_text(e.number, e.decoration);
    }
    if (any) write_string_field(f, 'b', text);
}

// ---------------------------------------------------------------------------
// Reference files.
void write_BPN2_refs(MNet* net, std::FILE* f) {
    std::fputs("VOS\nReferences_BPN2_HL\nFORMAT_N\nDEF\n", f);
    for (std::uint16_t n = 1; n != 0; ++n) {
        RefRecord* r = ref_get(n);
        if (!r) break;
        std::fprintf(f, "%u R\"(%u,%u;%u,%u)\"", n, r->line1, r->col1, r->line2, r->col2);
        char letter = 0;
        switch (r->kind) {
        case 2: letter = 'V'; break;
        case 3: letter = 'C'; break;
        case 4: case 5: letter = 'U'; break;
        case 6: letter = 'S'; break;
        case 9: letter = 'E'; break;
        case 10: case 11: letter = 'A'; break;
        case 12: letter = 'L'; break;
        default: break;
        }
        if (letter) std::fputc(letter, f);
        bool texted = letter == 'V' || letter == 'C' || letter == 'S' || letter == 'E';
        if (source_net_mode()) {
            if (r->text && texted) write_quoted(f, *r->text);
            if (r->label) write_string_field(f, 'b', *r->label);
        } else {
            if (texted) {
                std::string t;
                if (letter == 'V') t = valueset_text(r->range);
                else if (letter == 'C' || letter == 'S')
                    t = "{" + std::to_string(r->capacity) + "}" + valueset_text(r->range);
                else {
                    for (std::uint16_t b = 1; b <= block_table_size(); ++b)
                        if (get_block(b)->reference == n) {
                            t = std::to_string(get_block(b)->value);
                            break;
                        }
                }
                write_quoted(f, t);
            }
            write_string_field(f, 'b', source_ref_text(n, 0));
        }
        std::fputc('\n', f);
    }
    if (blocks_in_output() && net->first_block) write_BL_section(net, f, true);
    auto refs_text = [](const std::vector<RefEntry>& refs) {
        std::string s;
        for (std::size_t i = 0; i < refs.size(); ++i) {
            if (i) s += "*";
            s += std::to_string(refs[i].number) + ":" + std::to_string(refs[i].decoration);
        }
        return s;
    };
    std::fputs("PL\n", f);
    for (MPlace* p = net->first_place; p; p = p->next)
        if (!p->refs.empty()) std::fprintf(f, "P%u T\"%s\"\n", p->number, refs_text(p->refs).c_str());
    std::fputs("TR\n", f);
    for (MTransition* t = net->first_trans; t; t = t->next)
        if (!t->refs.empty()) std::fprintf(f, "T%u T\"%s\"\n", t->number, refs_text(t->refs).c_str());
    if (phantoms_in_output()) {
        std::fputs("PTR\n", f);
        for (MTransition* t = net->first_phantom; t; t = t->next)
            if (!t->refs.empty()) std::fprintf(f, "PT%u T\"%s\"\n", t->number, refs_text(t->refs).c_str());
    }
}

namespace {
int kind_def(char c) {
    switch (c) {
    case 'R': case 'b': return F_STRING;
    case 'V': case 'C': case 'U': case 'S': case 'E': case 'A': case 'L': return F_FLAG;
    default: return -1;
    }
}

// Reads one entry of a BL, PL, TR or PTR section of a reference file:
// prefix letters ("B", "P", "T", "PT"), an optional number, and a `T`
// string.  Returns the number (0 when absent) and the list text.
bool read_element_entry(std::FILE* f, const char* prefix, std::int64_t& number, std::string& list,
                        bool& has_list) {
    number = 0;
    has_list = false;
    list.clear();
    auto peek = [f] {
        int d = std::getc(f);
        if (d != EOF) std::ungetc(d, f);
        return d;
    };
    for (;;) {
        int c = entry_char(f);
        if (c == EOF || c == '\n') return true;
        if (c == 'T' && (peek() == '"' || peek() == '\'')) {
            list = ReadEnclString(f);
            has_list = true;
        } else if (c == prefix[0] || std::isdigit(c)) {
            if (!std::isdigit(c))
                for (const char* p = prefix + 1; *p; ++p)
                    if (std::getc(f) != *p) unknown_token(c);
            if (std::isdigit(c)) std::ungetc(c, f);
            if (std::isdigit(peek())) {
                number = ReadNumber(f);
                if (number < 1) syntax_error("reference identifier out of range");
            }
        } else {
            unknown_token(c);
        }
    }
}

// A 16-bit decimal number at i (blanks before it allowed).
bool read_u16(const std::string& text, std::size_t& i, std::uint16_t& out) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    std::uint32_t v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = v * 10 + static_cast<std::uint32_t>(text[i] - '0');
        if (v > 65535) return false;
        ++i;
    }
    out = static_cast<std::uint16_t>(v);
    return i > start;
}

// Reference numbers of the DEF identifiers of the file being read.
using RefNumbers = std::unordered_map<std::uint32_t, std::uint16_t>;

std::uint16_t ref_number(const RefNumbers& numbers, std::uint32_t id) {
    auto it = numbers.find(id);
    return it == numbers.end() ? static_cast<std::uint16_t>(id) : it->second;
}

void parse_ref_list(const std::string& text, std::vector<RefEntry>& refs, const RefNumbers& numbers) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint16_t n = 0, d = 0;
        if (!read_u16(text, i, n) || i >= text.size() || text[i++] != ':' || !read_u16(text, i, d))
            syntax_error("reference specification has wrong format");
        add_reference(refs, ref_number(numbers, n), d);
        if (i < text.size()) {
            if (text[i] != '*') syntax_error("reference specification has wrong format");
            ++i;
        }
    }
}
}  // namespace

void read_REF(const std::string& path, MNet* net) {
    scan.file = path;
    scan.line = 1;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        std::fprintf(stderr, "ERROR: CM.read_REF(): could not open file '%s' for reading.\n", path.c_str());
        std::exit(4);
    }
    expect_word(read_word(f), "VOS", nullptr, "keyword 'VOS' expected");
    SkipLine(f);
    std::string w = read_word(f);
    if (w.compare(0, 10, "References") != 0) syntax_error("format identifier 'References...' expected");
    SkipLine(f);
    expect_word(read_word(f), "FORMAT_N", "FORMAT_N2", "keyword 'FORMAT_N' or 'FORMAT_N2' expected");
    SkipLine(f);
    expect_word(read_word(f), "DEF", nullptr, "keyword 'DEF' expected");
    SkipLine(f);
    std::vector<Field> fields;
    // The records get the next free numbers of the reference table; the
    // entries below name them by their DEF identifiers.
    RefNumbers numbers;
    {
        IdRule rule{"reference", "definition"};
        std::unordered_map<std::uint32_t, bool> used;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || !std::isdigit(c)) break;
            read_entry(f, kind_def, fields);
            std::uint32_t id = rule.next(fields, used);
            used[id] = true;
            auto* r = new RefRecord();
            char last_kind = 0;
            for (const Field& fd : fields) {
                switch (fd.letter) {
                case 'R': {
                    long a, b, c2, d;
                    char tail;
                    if (std::sscanf(fd.text.c_str(), "(%9ld,%9ld;%9ld,%9ld%c", &a, &b, &c2, &d, &tail) != 5 ||
                        tail != ')' || a < 0 || b < 0 || c2 < 0 || d < 0) {
                        delete r;
                        syntax_error("reference has wrong format");
                    }
                    r->line1 = static_cast<std::uint32_t>(a);
                    r->col1 = static_cast<std::uint32_t>(b);
                    r->line2 = static_cast<std::uint32_t>(c2);
                    r->col2 = static_cast<std::uint32_t>(d);
                    break;
                }
                case 'V': r->kind = 2; last_kind = 'V'; break;
                case 'C': r->kind = 3; last_kind = 'C'; break;
                case 'U': r->kind = 4; last_kind = 'U'; break;
                case 'S': r->kind = 6; last_kind = 'S'; break;
                case 'E': r->kind = 9; last_kind = 'E'; break;
                case 'A': r->kind = 10; last_kind = 'A'; break;
                case 'L': r->kind = 12; last_kind = 'L'; break;
                case '"': r->text = fd.text; break;
                case 'b': r->label = fd.text; break;
                default: break;
                }
            }
            (void)last_kind;
            numbers[id] = ref_code(r);
            ++scan.line;
        }
    }
    std::unordered_map<std::uint32_t, MBlock*> blocks;
    for (MBlock* b = net->first_block; b; b = b->next) blocks[b->identifier] = b;
    std::unordered_map<std::uint32_t, MPlace*> places;
    for (MPlace* p = net->first_place; p; p = p->next) places[p->number] = p;
    std::unordered_map<std::uint32_t, MTransition*> trans, phantoms;
    for (MTransition* t = net->first_trans; t; t = t->next) trans[t->number] = t;
    for (MTransition* t = net->first_phantom; t; t = t->next) phantoms[t->number] = t;

    auto section = [&](const char* prefix, const char* what, auto& table, auto apply, auto stop) {
        IdRule rule{what};
        std::unordered_map<std::uint32_t, bool> seen;
        for (;;) {
            int c = peek_line(f);
            if (c == EOF || stop(c)) break;
            std::int64_t number;
            std::string list;
            bool has_list;
            read_element_entry(f, prefix, number, list, has_list);
            std::vector<Field> idf;
            if (number) {
                Field fd;
                fd.letter = '0';
                fd.a = static_cast<std::int32_t>(number);
                idf.push_back(fd);
            }
            std::uint32_t id = rule.next(idf, seen);
            seen[id] = true;
            auto it = table.find(id);
            if (it == table.end()) {
                char m[80];
                std::snprintf(m, sizeof m, "%s identifier %u does not exist", what, id);
                syntax_error(m);
            }
            if (has_list) apply(it->second, list);
            ++scan.line;
        }
    };
    w = read_word(f);
    if (w == "BL") {
        SkipLine(f);
        section("B", "block", blocks,
                [&numbers](MBlock* b, const std::string& list) {
                    long n = std::strtol(list.c_str(), nullptr, 10);
                    if (n < 0 || n > 65535) syntax_error("reference specification has wrong format");
                    get_block(b->number)->reference = ref_number(numbers, static_cast<std::uint32_t>(n));
                },
                [](int c) { return c == 'P'; });
        w = read_word(f);
    }
    expect_word(w, "PL", nullptr, "keyword 'PL' expected");
    SkipLine(f);
    section("P", "place", places, [&numbers](MPlace* p, const std::string& list) { parse_ref_list(list, p->refs, numbers); },
            [](int c) { return c == 'T'; });
    expect_word(read_word(f), "TR", nullptr, "keyword 'TR' expected");
    SkipLine(f);
    section("T", "transition", trans,
            [&numbers](MTransition* t, const std::string& list) { parse_ref_list(list, t->refs, numbers); },
            [](int c) { return c == 'P'; });
    if (peek_line(f) != EOF) {
        w = read_word(f);
        if (w == "PTR") {
            SkipLine(f);
            section("PT", "phantom transition", phantoms,
                    [&numbers](MTransition* t, const std::string& list) { parse_ref_list(list, t->refs, numbers); },
                    [](int) { return false; });
        }
    }
    std::fclose(f);
}

}  // namespace mnet
