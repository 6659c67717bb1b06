#include "writers.h"

#include <charconv>

#include "failure.h"
#include "outfile.h"

namespace flatnet {

// ---------------------------------------------------------------------------
// Output file.

OutputFile::OutputFile(const std::string& path) : file_(outfile::open(path, "w")), path_(path) {
    if (!file_) syntax_failure("Could not open file for writing");
    buffer_.reserve(1 << 16);
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);
}

void OutputFile::flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) failed_ = true;
    buffer_.clear();
}

OutputFile& OutputFile::put(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= (1 << 16)) flush();
    return *this;
}

OutputFile& OutputFile::put(char c) {
    buffer_.push_back(c);
    if (buffer_.size() >= (1 << 16)) flush();
    return *this;
}

OutputFile& OutputFile::number(std::int64_t n) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    return put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

OutputFile& OutputFile::quoted(std::string_view text) {
    const bool dq = text.find('"') != std::string_view::npos, sq = text.find('\'') != std::string_view::npos;
    if (dq && !sq) return put('\'').put(text).put('\'');
    if (!dq) return put('"').put(text).put('"');
    // Neither quote can enclose a text holding both: its double quotes
    // become single ones, so that the file stays readable.
    std::string t(text);
    for (char& c : t)
        if (c == '"') c = '\'';
    return put('"').put(t).put('"');
}

void OutputFile::close() {
    flush();
    const bool bad = std::ferror(file_) != 0;
    const bool close_failed = std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed_ || bad || close_failed)
        throw Failure(EXIT_SYNTAX, format("ERROR: could not write file '%s'.\n", path_.c_str()));
}

// ---------------------------------------------------------------------------
// Writers.

namespace {

const char* format_line(bool extended) { return extended ? "FORMAT_N2\n" : "FORMAT_N\n"; }

// A letter with a quoted text, when the text is not empty.
void text_field(OutputFile& out, char letter, const std::string& text) {
    if (!text.empty()) out.put(letter).quoted(text);
}

// "%d@%d" of a position.
void position(OutputFile& out, std::int64_t x, std::int64_t y) { out.number(x).put('@').number(y); }

// Fields a transition and a phantom line share: position, v, b, R, u, and
// the partner list "P\"(n1,n2,...)\"".
void transition_line(OutputFile& out, const LLTransition& t, const char* name, bool blocks, bool phantoms,
                     bool mark, const PartnerLists& partners, std::size_t index,
                     const std::vector<LLTransition>& partner_nodes) {
    const HLTransition& h = *t.hl;
    out.put('"').put(name).number(t.number).put('"');
    position(out, std::int64_t{h.x} + 6 * std::int64_t{t.ordinal}, std::int64_t{h.y} + 6 * std::int64_t{t.ordinal});
    if (h.v) out.put('v').number(h.v);
    text_field(out, 'b', h.label);
    text_field(out, 'R', h.reference);
    if (blocks) text_field(out, 'u', h.blocks);
    if (phantoms && partners.count(index) > 0) {
        if (mark) out.put('S');
        out.put("P\"(");
        for (std::size_t k = partners.begin[index]; k < partners.begin[index + 1]; ++k) {
            if (k > partners.begin[index]) out.put(',');
            out.number(partner_nodes[partners.items[k]].number);
        }
        out.put(")\"");
    }
    out.put('\n');
}

// The arcs of the written transitions: output arcs "t<p" (TP), input arcs
// "p>t" (PT).
void arc_lines(OutputFile& out, const std::vector<LLTransition>& nodes, const std::vector<LLArc>& arcs, bool outputs) {
    for (const LLTransition& t : nodes) {
        if (!t.number) continue;
        const std::size_t first = t.first_arc + (outputs ? t.inputs : 0);
        const std::size_t end = first + (outputs ? t.outputs : t.inputs);
        for (std::size_t i = first; i < end; ++i) {
            const LLArc& a = arcs[i];
            if (outputs) out.number(t.number).put('<').number(std::int64_t{a.place} + 1);
            else out.number(std::int64_t{a.place} + 1).put('>').number(t.number);
            if (a.v) out.put('v').number(a.v);
            if (a.weight >= 2) out.put('w').number(a.weight);
            out.put('\n');
        }
    }
}

}  // namespace

void write_ll_net(const LLNet& net, const HLNet& hl, const std::string& path, int flags) {
    const bool blocks = flags & OPT_BLOCKS, phantoms = flags & OPT_PHANTOMS;
    OutputFile out(path);
    out.put("VOS\nPetriBox\n").put(format_line(blocks || phantoms));
    out.put("DPL s7n10@-9t2\nDTR s7n10@-9t2\nDPT w1t1\n");
    if (blocks) {
        out.put("BL\n");
        for (const std::string& line : hl.block_lines) out.put(line).put('\n');
    }
    out.put("PL\n");
    for (std::size_t i = 0; i < net.places.size(); ++i) {
        const LLPlace& p = net.places[i];
        const HLPlace& h = *p.hl;
        const PlaceView view = view_of(p);
        out.put("\"P").number(std::int64_t(i) + 1).put('"');
        position(out, view.x, view.y);
        switch (h.kind) {
        case 1: out.put('e'); break;
        case 2: out.put('x'); break;
        case 3: out.put(' '); break;
        }
        if (h.v) out.put('v').number(h.v);
        if (p.initial) out.put('M').number(p.initial);
        if (p.current) out.put('m').number(p.current);
        text_field(out, 'b', label_of(p, view));
        text_field(out, 'R', h.reference);
        if (blocks) text_field(out, 'u', h.blocks);
        out.put('\n');
    }
    out.put("TR\n");
    for (std::size_t i = 0; i < net.transitions.size(); ++i)
        if (net.transitions[i].number)
            transition_line(out, net.transitions[i], "T", blocks, phantoms, true, net.transition_partners, i,
                            net.phantoms);
    if (phantoms) {
        out.put("PTR\n");
        for (std::size_t i = 0; i < net.phantoms.size(); ++i)
            if (net.phantoms[i].number)
                transition_line(out, net.phantoms[i], "PT", blocks, phantoms, false, net.phantom_partners, i,
                                net.transitions);
    }
    out.put("TP\n");
    arc_lines(out, net.transitions, net.arcs, true);
    out.put("PT\n");
    arc_lines(out, net.transitions, net.arcs, false);
    if (phantoms) {
        out.put("PTP\n");
        arc_lines(out, net.phantoms, net.phantom_arcs, true);
        out.put("PPT\n");
        arc_lines(out, net.phantoms, net.phantom_arcs, false);
    }
    out.close();
}

void write_hl_ll_references(const LLNet& net, const std::string& path, int flags) {
    const bool phantoms = flags & OPT_PHANTOMS;
    OutputFile out(path);
    out.put("VOS\nReferences_HL_LL\n").put(format_line(phantoms));
    out.put("PL\n");
    for (std::size_t i = 0; i < net.places.size(); ++i)
        out.put('P').number(std::int64_t(i) + 1).quoted(net.places[i].hl->name).put('\n');
    out.put("TR\n");
    for (const LLTransition& t : net.transitions)
        if (t.number) out.put('T').number(t.number).quoted(t.hl->name).put('\n');
    if (phantoms) {
        out.put("PTR\n");
        for (const LLTransition& t : net.phantoms)
            if (t.number) out.put("PT").number(t.number).quoted(t.hl->name).put('\n');
    }
    out.close();
}

void write_x_LLref(const LLNet& net, const HLNet& hl, const std::string& path, int flags, int kind) {
    const bool blocks = flags & OPT_BLOCKS, phantoms = flags & OPT_PHANTOMS;
    const FrontEndReferences& refs = hl.front_ends[kind];
    OutputFile out(path);
    out.put("VOS\n").put(ll_reference_identifier(kind)).put('\n').put(format_line(blocks || phantoms));
    out.put("DEF\n").put(refs.def);
    if (blocks) out.put("BL\n").put(refs.blocks);
    out.put("PL\n");
    for (std::size_t i = 0; i < net.places.size(); ++i) {
        const LLPlace& p = net.places[i];
        const std::optional<std::string>& text = p.hl->front_end_reference[kind];
        if (text) out.put('P').number(std::int64_t(i) + 1).put(" T").quoted(*text + ";" + view_of(p).values).put('\n');
    }
    auto transitions = [&](const std::vector<LLTransition>& nodes, const char* prefix) {
        for (const LLTransition& t : nodes) {
            const std::optional<std::string>& text = t.hl->front_end_reference[kind];
            if (t.number && text) out.put(prefix).number(t.number).put(" T").quoted(*text).put('\n');
        }
    };
    out.put("TR\n");
    transitions(net.transitions, "T");
    if (phantoms) {
        out.put("PTR\n");
        transitions(net.phantoms, "PT");
    }
    out.close();
}

}  // namespace flatnet
