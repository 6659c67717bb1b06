// The ".mci" reader: little-endian 32-bit values, then the name block; see
// the layout in the unfolder's writer.  Every value is checked as soon as it
// is read, so a damaged file or a device that never ends is refused early;
// counts are checked against the bytes the input can still hold before
// anything is allocated for them.
#include <cerrno>
#include <memory>

#include "input.h"
#include "prefix_checks.h"

namespace prefixfile {

namespace {

class MciReader {
public:
    MciReader(detail::ByteInput& in, const std::string& name) : in_(in), name_(name) {}

    Prefix read();

private:
    std::uint32_t word() {
        std::uint32_t v;
        if (!in_.u32(v)) end_of_input();
        return v;
    }
    [[noreturn]] void end_of_input() const {
        if (in_.failed()) throw ReadError(Failure::ReadFailed, "readMCI(): Lesefehler in Datei '" + name_ + "'");
        truncated();
    }
    [[noreturn]] void truncated() const {
        throw ReadError(Failure::Truncated, "readMCI(): Datei '" + name_ + "' ist unvollstaendig");
    }
    [[noreturn]] void malformed(const std::string& what) const {
        throw ReadError(Failure::Malformed, "readMCI(): Datei '" + name_ + "' ist fehlerhaft: " + what);
    }
    void check(const std::string& fault) const {
        if (!fault.empty()) malformed(fault);
    }
    void read_names(NameTable& table, std::uint32_t count, const char* what);

    detail::ByteInput& in_;
    const std::string& name_;
};

std::string num(std::uint32_t v) { return std::to_string(v); }

void MciReader::read_names(NameTable& table, std::uint32_t count, const char* what) {
    std::string name;
    for (std::uint32_t i = 0; i < count; ++i) {
        name.clear();
        if (!in_.take_string(name)) end_of_input();
        if (name.empty()) malformed(std::string("leerer ") + what + "name");
        if (table.find(name)) malformed(std::string(what) + "name '" + name + "' mehrfach vorhanden");
        table.add(name);
    }
    int end = in_.get();
    if (end == EOF) end_of_input();
    if (end != 0) malformed(std::string(what) + "namen nicht abgeschlossen");
}

Prefix MciReader::read() {
    Prefix p;
    const std::uint32_t C = word();
    if (C == 0) throw ReadError(Failure::Empty, "readMCI(): Netz enthaelt keine Bedingungen");
    const std::uint32_t E = word();
    // Every event takes 4 bytes and every condition at least 12.
    if (!in_.may_hold(std::uint64_t(E) * 4 + std::uint64_t(C) * 12)) truncated();
    p.conditions = C;
    p.events = E;
    // Arrays grow with what the input delivers; they are sized in advance
    // only when the file's size vouches for the counts.
    const bool sized = in_.size_known();

    p.event_transition.reserve(sized ? std::size_t(E) + 1 : 1);
    p.event_transition.push_back(0);
    for (std::uint32_t e = 1; e <= E; ++e) {
        const std::uint32_t t = word();
        if (t == 0) malformed("Transition 0 von E" + num(e) + " existiert nicht");
        p.event_transition.push_back(t);
    }

    if (sized) {
        p.condition_place.reserve(std::size_t(C) + 1);
        p.condition_pre.reserve(std::size_t(C) + 1);
        p.consumers.offset.reserve(std::size_t(C) + 2);
        p.consumers.items.reserve(E);   // every event consumes a condition
    }
    p.condition_place.push_back(0);
    p.condition_pre.push_back(0);
    p.consumers.offset.assign(2, 0);
    for (std::uint32_t c = 1; c <= C; ++c) {
        const std::uint32_t place = word();
        if (place == 0) malformed("Stelle 0 von B" + num(c) + " existiert nicht");
        const std::uint32_t pre = word();
        if (pre > E) malformed("Vorereignis " + num(pre) + " von B" + num(c) + " existiert nicht");
        p.condition_place.push_back(place);
        p.condition_pre.push_back(pre);
        std::uint32_t last = pre;
        for (std::uint32_t e = word(); e != 0; e = word()) {
            if (e > E) malformed("Nachereignis " + num(e) + " von B" + num(c) + " existiert nicht");
            if (e <= last)
                malformed("Nachereignisse von B" + num(c) + " nicht aufsteigend oder vor dem Vorereignis");
            last = e;
            p.consumers.items.push_back(e);
        }
        p.consumers.offset.push_back(static_cast<std::uint32_t>(p.consumers.items.size()));
    }
    detail::build_event_relations(p);
    check(detail::event_without_preset(p));

    // Cut-off pairs in detection order.
    p.cutoff.assign(std::size_t(E) + 1, 0);
    for (std::uint32_t e = word(); e != 0; e = word()) {
        const std::uint32_t corresponding = word();
        if (e > E) malformed("Cutoff-Ereignis " + num(e) + " existiert nicht");
        if (corresponding > E) malformed("korrespondierendes Ereignis " + num(corresponding) + " existiert nicht");
        if (corresponding == e) malformed("Cutoff-Ereignis E" + num(e) + " ist sein eigenes korrespondierendes Ereignis");
        if (p.cutoff[e]) malformed("Cutoff-Ereignis E" + num(e) + " mehrfach aufgefuehrt");
        p.cutoff[e] = 1;
        p.cutoffs.emplace_back(e, corresponding);
    }
    p.cutoff_entries = p.cutoff_count();
    check(detail::consumed_behind_cutoff(p));

    // Maximal configurations, each ended by 0, the list by an empty one.
    std::vector<std::uint8_t> taken;
    for (std::uint32_t e = word(); e != 0; e = word()) {
        const bool first = p.configurations++ == 0;
        if (first) taken.assign(std::size_t(E) + 1, 0);
        for (; e != 0; e = word()) {
            if (e > E) malformed("Konfigurationsereignis " + num(e) + " existiert nicht");
            if (first && !taken[e]) {
                taken[e] = 1;
                p.first_configuration.push_back(e);
            }
        }
    }

    // Name block: the counts, the longest name, then both lists, each
    // closed by an empty name.  Every name takes at least two bytes.
    const std::uint32_t P = word(), T = word();
    p.longest_name = word();
    if (!in_.may_hold(2 * (std::uint64_t(P) + T) + 2)) truncated();
    if (sized) {
        const auto chars = static_cast<std::size_t>(in_.remaining());
        p.places.reserve(P, chars);
        p.transitions.reserve(T, 0);
    }
    read_names(p.places, P, "Stellen");
    read_names(p.transitions, T, "Transitions");
    if (in_.get() != EOF) malformed("Daten nach dem Ende des Praefixes");
    if (in_.failed()) end_of_input();

    for (std::uint32_t e = 1; e <= E; ++e)
        if (p.event_transition[e] > T)
            malformed("Transition " + num(p.event_transition[e]) + " von E" + num(e) + " existiert nicht");
    for (std::uint32_t c = 1; c <= C; ++c)
        if (p.condition_place[c] > P)
            malformed("Stelle " + num(p.condition_place[c]) + " von B" + num(c) + " existiert nicht");
    return p;
}

}  // namespace

Prefix read_mci_bytes(std::string_view bytes, const std::string& name) {
    detail::ByteInput in(bytes);
    return MciReader(in, name).read();
}

Prefix read_mci(std::FILE* file, const std::string& name) {
    detail::ByteInput in(file);
    return MciReader(in, name).read();
}

Prefix read_mci(const std::string& path) {
    if (path.empty()) throw ReadError(Failure::NoName, "readMCI(): Dateiname fehlt");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(open_for_reading(path), &std::fclose);
    if (!f) throw ReadError(Failure::CannotOpen, "readMCI(): kann Datei nicht oeffnen: '" + path + "'");
    return read_mci(f.get(), path);
}

}  // namespace prefixfile
