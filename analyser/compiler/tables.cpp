#include "tables.h"

#include <cerrno>
#include <unistd.h>

#include "alloc.h"
#include "diag.h"
#include "fileaux.h"
#include "outfile.h"
#include "net.h"
#include "numcode.h"

namespace tulc {

namespace {

void PutWord(std::string& out, std::uint32_t w) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((w >> (8 * i)) & 0xFF));
}

void PutRecord(std::string& out, const std::string& bytes) {
    PutWord(out, static_cast<std::uint32_t>(bytes.size()));
    out += bytes;
}

// The profile arity of a place; a place that no tuple gave an arity has 0.
std::uint32_t ProfileArity(const PLACE& p) { return p.arity < 0 ? 0u : static_cast<std::uint32_t>(p.arity); }

// A tester value outside the unary limits of the tester place is reported
// and left out.
bool TesterValueOk(std::uint32_t v) {
    const PLACE* tp = Net().testerPlace;
    if (!tp) return true;
    if (!tp->low.empty() && tp->low.front().size() == 1 && v < tp->low.front()[0]) {
        ReportError("tester " + tp->name + ": " + std::to_string(v) + " is below low limit " +
                    std::to_string(tp->low.front()[0]));
        return false;
    }
    if (!tp->high.empty() && tp->high.front().size() == 1 && v > tp->high.front()[0]) {
        ReportError("tester " + tp->name + ": " + std::to_string(v) + " is above high limit " +
                    std::to_string(tp->high.front()[0]));
        return false;
    }
    return true;
}

void BuchiTables(std::string& out) {
    const Automaton& states = Net().buchi;
    PutWord(out, static_cast<std::uint32_t>(states.size()) + 1);
    for (const auto& s : states) {
        std::string r;
        AppendNumber(r, static_cast<std::uint32_t>(s->succ.size()));
        for (const BUCHISTATE* t : s->succ) AppendSigned(r, t->number);
        PutRecord(out, r);
    }
    std::string init;
    std::uint32_t starts = 0;
    for (const auto& s : states) starts += s->Start() ? 1 : 0;
    AppendNumber(init, starts);
    for (const auto& s : states)
        if (s->Start()) AppendSigned(init, s->number);
    PutRecord(out, init);
    for (const auto& s : states) PutWord(out, s->label);
}

}  // namespace

std::string TableBytes() {
    const auto& net = Net();
    std::string out;
    PutWord(out, 0);
    std::uint32_t tester = 0xFFFFFFFFu;
    if (net.testerPlace)
        for (std::size_t i = 0; i < net.places.size(); ++i)
            if (net.places[i].get() == net.testerPlace) tester = static_cast<std::uint32_t>(i);
    PutWord(out, tester);
    PutWord(out, net.ClassCount());
    std::string r;
    AppendNumber(r, static_cast<std::uint32_t>(net.places.size()));
    for (const auto& p : net.places) AppendNumber(r, ProfileArity(*p));
    PutRecord(out, r);
    r.clear();
    AppendNumber(r, static_cast<std::uint32_t>(net.transitions.size()));
    for (const auto& t : net.transitions) {
        std::uint32_t n = static_cast<std::uint32_t>(t->variables.size());
        // The tester-state variables of #verify are not counted.
        if (net.hasVerify) n -= t->kind == TRANSITION::kInitialize ? 1 : 2;
        AppendNumber(r, n);
    }
    PutRecord(out, r);
    r.clear();
    for (const auto& t : net.transitions) AppendNumber(r, t->fdCount);
    PutRecord(out, r);
    for (const auto& t : net.transitions) {
        if (t->letSet)
            for (const auto& entry : *t->letSet) PutRecord(out, entry);
        PutWord(out, 0);
    }
    for (std::size_t i = 0; i < net.places.size(); ++i) {
        const PLACE& p = *net.places[i];
        const std::uint32_t profile = ProfileArity(p);
        for (const auto& e : p.initial.Entries()) {
            r.clear();
            AppendNumber(r, static_cast<std::uint32_t>(i));
            if (e.tuple.size() != profile) {
                r.push_back(static_cast<char>(NUM_ARITY));
                AppendNumber(r, static_cast<std::uint32_t>(e.tuple.size()));
            }
            if (e.tuple.empty()) {
                AppendNumber(r, e.count - 1);
            } else {
                for (std::uint32_t v : e.tuple) AppendSigned(r, v);
                if (e.count != 1) {
                    r.push_back(static_cast<char>(NUM_COUNT));
                    AppendNumber(r, e.count - 2);
                }
            }
            PutRecord(out, r);
        }
    }
    PutWord(out, 0xFFFFFFFFu);
    if (tester != 0xFFFFFFFFu) {
        for (const auto& [value, bits] : net.testerValues) {
            if (!TesterValueOk(value)) continue;
            r.clear();
            AppendSigned(r, value);
            AppendNumber(r, bits);
            PutRecord(out, r);
        }
        PutWord(out, 0xFFFFFFFFu);
        if (net.hasVerify)
            BuchiTables(out);
        else
            PutWord(out, 0);
    }
    const std::uint32_t names = static_cast<std::uint32_t>(out.size());
    for (const auto& t : net.transitions) {
        PutRecord(out, t->name);
        for (const auto& v : t->variables)
            if (v->name) PutRecord(out, *v->name);
    }
    PutWord(out, static_cast<std::uint32_t>(net.enumNames.size()));
    for (const auto& e : net.enumNames) PutRecord(out, e);
    for (const auto& c : net.classNames) PutRecord(out, c);
    for (const auto& p : net.places) PutRecord(out, p->name);
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>((names >> (8 * i)) & 0xFF);
    return out;
}

bool WriteTables(const std::string& fileName) {
    BINARYFILE f = outfile::open_fd(fileName);
    if (f < 0) {
        std::fprintf(_err, "\nCannot open empty file %s for writing\n", fileName.c_str());
        ErrnoOutput(_err);
        ClearErrno();
        return false;
    }
    const std::string bytes = TableBytes();
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(f, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = errno;
            ::close(f);
            errno = e;
            ReportFatal("$Cannot write file " + fileName);
        }
        done += static_cast<std::size_t>(n);
    }
    if (OwnClose(f) != 0) ReportFatal("Cannot write file " + fileName);
    return true;
}

}  // namespace tulc
