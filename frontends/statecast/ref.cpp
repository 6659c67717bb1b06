#include "ref.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>
#include <sstream>
#include <unordered_map>

#include "mnet_base.h"
#include "mnet_textform.h"
#include "outfile.h"

namespace statecast {

namespace {

struct SideFiles {
    std::deque<PosRec> records;
    std::deque<PosRec> unnumbered;  // beyond the 16-bit reference numbers
    std::vector<std::pair<std::string, std::int32_t>> properties;
    std::unordered_map<std::string, std::int32_t> property_index;  // first pair of each name
    std::vector<PidEntry> pids;
    std::vector<const SignalObj*> signals;
};

SideFiles& S() {
    static SideFiles s;
    return s;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void reset_side_files() { S() = SideFiles(); }

PosRec* new_posrec(RefKind kind, const Pos& from, const Pos& to, Ident* construct) {
    auto& records = S().records;
    // Reference numbers are 16-bit: constructs beyond the last number are
    // kept unnumbered, and the net elements made from them carry no
    // reference.
    bool numbered = records.size() < 65535;
    if (!numbered && S().unnumbered.empty())
        mnet::report(mnet::WARNING, "more than 65535 source references: the rest of the specification has none");
    PosRec& r = numbered ? records.emplace_back() : S().unnumbered.emplace_back();
    r.line1 = from.line;
    r.col1 = from.col1;
    r.line2 = to.line;
    r.col2 = to.col2;
    r.kind = kind;
    r.construct = construct;
    r.number = numbered ? static_cast<std::uint16_t>(records.size()) : 0;
    return &r;
}

const std::deque<PosRec>& posrecs() { return S().records; }

// ---------------------------------------------------------------------------
// Properties.

namespace {
// The first word of the next line that holds one; the rest of that line is
// skipped.
std::string header_word(std::FILE* f) {
    int c;
    do c = std::fgetc(f);
    while (c != EOF && std::isspace(c));
    std::string word;
    while (c != EOF && !std::isspace(c)) {
        word += static_cast<char>(c);
        c = std::fgetc(f);
    }
    while (c != EOF && c != '\n') c = std::fgetc(f);
    return word;
}
}  // namespace

void read_if_properties(const std::string& file_name, bool explicit_name) {
    File f(std::fopen(file_name.c_str(), "r"));
    if (!f) {
        if (explicit_name) mnet::report(mnet::WARNING, "could not find properties in file %s\n", file_name.c_str());
        return;
    }
    std::printf("Reading properties from %s\n", file_name.c_str());
    if (header_word(f.get()) != "VOS") mnet::fatal("keyword 'VOS' expected");
    if (header_word(f.get()) != "IF_Properties") mnet::fatal("format identifier 'IF_Properties' expected");
    if (header_word(f.get()).rfind("FORMAT_N", 0) != 0) mnet::fatal("keyword 'FORMAT_N' or 'FORMAT_N2' expected");
    auto& s = S();
    for (;;) {
        int c = std::fgetc(f.get());
        while (c == ' ' || c == '\t' || c == '\r') c = std::fgetc(f.get());
        if (c == EOF) break;
        if (c == '\n') continue;  // an empty line holds no property
        std::string name;
        while (c != EOF && c != ' ' && c != '\t' && c != '=' && c != '\n') {
            name += static_cast<char>(c);
            c = std::fgetc(f.get());
        }
        while (c == ' ' || c == '\t') c = std::fgetc(f.get());
        if (c != '=') mnet::fatal("'=' expected");
        c = std::fgetc(f.get());
        while (c == ' ' || c == '\t') c = std::fgetc(f.get());
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = std::fgetc(f.get());
        }
        if (!std::isdigit(c)) mnet::fatal("number expected after '=' of property %s", name.c_str());
        std::int64_t value = 0;
        while (std::isdigit(c)) {
            if (value < INT32_MAX) value = value * 10 + (c - '0');
            c = std::fgetc(f.get());
        }
        if (value > INT32_MAX) value = INT32_MAX;
        if (negative) value = -value;
        while (c != EOF && c != '\n') c = std::fgetc(f.get());
        s.properties.emplace_back(name, static_cast<std::int32_t>(value));
        s.property_index.emplace(name, static_cast<std::int32_t>(value));
        if (c == EOF) break;
    }
}

std::int32_t get_if_property(const std::string& name, std::int32_t default_value) {
    auto it = S().property_index.find(name);
    return it == S().property_index.end() ? default_value : it->second;
}

// ---------------------------------------------------------------------------
// Information file.

void add_pid_entry(const std::string& name, std::int32_t instance, std::int32_t pid) {
    S().pids.push_back({name, instance, pid});
}

void add_signal_entry(const SignalObj* signal) { S().signals.push_back(signal); }

const std::vector<PidEntry>& pid_entries() { return S().pids; }

std::string signal_instance_text(const SignalObj* signal, std::int32_t number) {
    std::string text = signal->ident->name + "(";
    std::int64_t rest = number - signal->first;
    for (std::size_t i = 0; i < signal->size.size(); ++i) {
        std::int32_t size = signal->size[i] > 0 ? signal->size[i] : 1;
        std::int32_t digit = static_cast<std::int32_t>(rest % size);
        rest /= size;
        if (i) text += ",";
        const Type* type = signal->params[i];
        if (type && type->marker == Type::PID) {
            if (digit == 0) text += "nil";
            else if (digit == 1) text += "env";
            else if (static_cast<std::size_t>(digit - 2) < S().pids.size()) {
                const PidEntry& e = S().pids[static_cast<std::size_t>(digit - 2)];
                text += e.name + "[" + std::to_string(e.instance) + "]";
            }
        } else if (type && type->is_boolean()) {
            text += digit ? "True" : "False";
        } else {
            text += std::to_string(signal->lo[i] + digit);
        }
    }
    return text + ")";
}

void write_if_information(const std::string& file_name, const Program& program) {
    File f(outfile::open(file_name, "w"));
    if (!f) mnet::fatal("could not open file %s for writing\n", file_name.c_str());
    std::printf("Writing state information to %s\n", file_name.c_str());
    std::FILE* out = f.get();
    std::fputs("VOS\nIF_Information\nFORMAT_N\nSTATE\n", out);
    for (const auto& e : program.state_entries)
        std::fprintf(out, "%s.%s = %d\n", e.process.c_str(), e.state.c_str(), e.number);
    std::fputs("PID\n", out);
    for (const auto& e : S().pids) std::fprintf(out, "%s[%d] = %d\n", e.name.c_str(), e.instance, e.pid);
    std::fputs("SIGNAL\n", out);
    for (const SignalObj* s : S().signals)
        for (std::int32_t n = s->first; n <= s->last; ++n)
            std::fprintf(out, "%s = %d\n", signal_instance_text(s, n).c_str(), n);
    if (std::ferror(out) || std::fclose(f.release()) != 0)
        mnet::fatal("could not write file %s\n", file_name.c_str());
}

// ---------------------------------------------------------------------------
// Reference file.

std::string source_slice(const std::vector<std::string>& lines, const PosRec& r) {
    std::string out;
    if (lines.empty() || r.line1 == 0) return out;
    std::uint32_t last = static_cast<std::uint32_t>(lines.size());
    std::uint32_t l1 = std::min(r.line1, last), l2 = std::min(std::max(r.line2, l1), last);
    for (std::uint32_t l = l1; l <= l2; ++l) {
        const std::string& line = lines[l - 1];
        std::size_t from = l == l1 && r.col1 > 0 ? r.col1 - 1 : 0;
        bool whole_end = l < l2 || r.line2 > last || r.line2 < r.line1;
        std::size_t to = whole_end ? line.size() : std::min<std::size_t>(r.col2, line.size());
        for (std::size_t i = from; i < to; ++i)
            if (line[i] != '"') out += line[i];
    }
    return out;
}

namespace {

std::vector<std::string> source_lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

std::string type_text(const Ident* construct) {
    const Type* t = construct ? construct->var_type() : nullptr;
    if (t && t->marker == Type::PID) return "PId";
    return mnet::valueset_text(t ? t->values : ValueSet{});
}

ValueSet pid_range(std::int32_t first, std::int32_t count) {
    ValueSet v;
    for (std::int32_t i = 0; i < count; ++i) v.push_back(first + i);
    return v;
}

void write_entries(std::FILE* out, const char* prefix, const std::vector<std::uint32_t>& numbers,
                   const std::vector<const std::vector<mnet::RefEntry>*>& lists) {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        bool first = true;
        for (const mnet::RefEntry& e : *lists[i]) {
            if (!e.number) continue;  // an unnumbered construct
            if (first) std::fprintf(out, "%s%u T\"", prefix, numbers[i]);
            std::fprintf(out, "%s%u:%u", first ? "" : "*", e.number, e.decoration);
            first = false;
        }
        if (!first) std::fputs("\"\n", out);
    }
}

template <class Element>
void write_section(std::FILE* out, const char* keyword, const char* prefix, Element* first) {
    std::fprintf(out, "%s\n", keyword);
    std::vector<std::uint32_t> numbers;
    std::vector<const std::vector<mnet::RefEntry>*> lists;
    for (Element* e = first; e; e = e->next) {
        numbers.push_back(e->number);
        lists.push_back(&e->refs);
    }
    write_entries(out, prefix, numbers, lists);
}

}  // namespace

void write_if_references(const std::string& file_name, mnet::MNet* net, const std::string& source_text) {
    File f(outfile::open(file_name, "w"));
    if (!f) mnet::fatal("could not open file %s for writing\n", file_name.c_str());
    std::printf("Writing references to %s\n", file_name.c_str());
    std::vector<std::string> lines = source_lines(source_text);
    std::FILE* out = f.get();
    std::fputs("VOS\nReferences_IF_HL\nFORMAT_N\nDEF\n", out);
    static const char letters[] = "KECRSX VIOPUAWLT";
    bool toggle = false;
    for (const PosRec& r : S().records) {
        std::fprintf(out, "%u R\"(%u,%u;%u,%u)\"", r.number, r.line1, r.col1, r.line2, r.col2);
        if (r.kind < 16 && r.kind != 6) std::fputc(letters[r.kind], out);
        switch (r.kind) {
        case RK_CHANNEL:
        case RK_ROUTE: {
            const RouteObj* route = r.construct && r.construct->cls == CL_ROUTE ? r.construct->as<RouteObj>() : nullptr;
            std::string names = "{";
            if (route)
                for (std::size_t i = 0; i < route->signals.size(); ++i)
                    names += (i ? "," : "") + route->signals[i]->name;
            names += "}";
            std::fputs(quoted(names).c_str(), out);
            std::fprintf(out, "c\"%d\"u\"%d\"i", route ? route->capacity : 0, route ? route->version : 0);
            std::fputs(quoted(mnet::valueset_text(route ? pid_range(route->pid_first, route->instances) : ValueSet{}))
                           .c_str(),
                       out);
            break;
        }
        case RK_TOGGLE:
            std::fputs(toggle ? "\"<\"" : "\">\"", out);
            toggle = !toggle;
            break;
        case RK_VARIABLE:
        case RK_IN_PARAM:
        case RK_OUT_PARAM:
            std::fputs(quoted(type_text(r.construct)).c_str(), out);
            break;
        case RK_PROCESS: {
            const ProcessObj* p =
                r.construct && r.construct->cls == CL_PROCESS ? r.construct->as<ProcessObj>() : nullptr;
            std::fputs(quoted(mnet::valueset_text(p ? pid_range(p->pid_first, p->max) : ValueSet{})).c_str(), out);
            std::fprintf(out, "c\"%d\"", p ? p->capacity : 0);
            break;
        }
        case RK_PROCEDURE:
            std::fputs(quoted(mnet::valueset_text(ValueSet{})).c_str(), out);
            break;
        case RK_SYSTEM:
        case RK_ENV:
        case RK_SIGNAL:
        case RK_STATEMENT:
        case RK_W:
        case RK_L:
        case RK_TEXT:
            break;
        default:
            mnet::report(mnet::WARNING, "can't happen: %s:%u (%u)", "ref", __LINE__, r.kind);
            break;
        }
        if (r.extra) std::fprintf(out, "u\"%u\"", r.extra);
        std::fputc('b', out);
        if (r.kind == RK_STATEMENT || r.kind == RK_W || r.kind == RK_TEXT)
            std::fputs(quoted(source_slice(lines, r)).c_str(), out);
        else
            std::fputs(quoted(r.construct ? r.construct->name : std::string()).c_str(), out);
        std::fputc('\n', out);
    }
    write_section(out, "PL", "P", net->first_place);
    write_section(out, "TR", "T", net->first_trans);
    if (mnet::phantoms_in_output()) write_section(out, "PTR", "PT", net->first_phantom);
    if (std::ferror(out) || std::fclose(f.release()) != 0)
        mnet::fatal("could not write file %s\n", file_name.c_str());
}

}  // namespace statecast
